#include "tests/core/AppModelHarness.h"
#include "tests/support/Files.h"

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

TEST_F(AppModelTest, aFullHistoryDropsItsOldestRecordAndRetentionOffKeepsOnlyTheLastResult)
{
    AppStore::Snapshot full;
    for (int i = 0; i < 200; ++i)
        full.history.append({QUuid::createUuid(), dateFromReferenceSeconds(700000000.0 + i), u"old"_s,
                             u"Old %1."_s.arg(i), 1, u"Editor"_s, u"Rules"_s});
    ASSERT_TRUE(AppStore(libraryPath()).save(full));
    AppModel &m = make();
    dictate(u"the newest"_s);
    ASSERT_EQ(m.history().size(), 200);
    EXPECT_EQ(m.history().front().original, u"the newest"_s);
    EXPECT_EQ(m.history().back(), full.history.at(198));
    EXPECT_EQ(savedLibrary().history, m.history());

    m.setRetainHistory(false);
    EXPECT_TRUE(m.history().isEmpty());
    ASSERT_TRUE(m.lastResult()) << "the last result is kept";
    dictate(u"not kept"_s);
    EXPECT_TRUE(m.history().isEmpty());
    EXPECT_EQ(m.lastResult()->original, u"not kept"_s);
    EXPECT_TRUE(savedLibrary().history.isEmpty());
    EXPECT_FALSE(savedLibrary().preferences.retainHistory);

    m.setRetainHistory(true);
    EXPECT_TRUE(m.history().isEmpty()) << "turning it on again brings nothing back";
}

// Each dictation keeps the text it was delivered with, to learn from a later edit; only for what can still
// be edited (a record in history, the last result), or memory grows with every dictation of a long run.
TEST_F(AppModelTest, editBaselinesAreKeptOnlyForRecordsThatCanStillBeEdited)
{
    // Saves fail at once: this is about memory, not the disk.
    ASSERT_TRUE(test::writeFile(dir.filePath(u"orvanta"_s), {}));
    AppModel &m = make();
    for (int i = 0; i < 205; ++i)
        dictate(u"dictation %1"_s.arg(i), 0.3);
    ASSERT_EQ(m.history().size(), 200);
    EXPECT_EQ(m.correctionBaselines().size(), 200);
    for (const TranscriptRecord &record : m.history())
        EXPECT_TRUE(m.correctionBaselines().contains(record.id));

    m.setRetainHistory(false);
    for (int i = 0; i < 5; ++i)
        dictate(u"unkept %1"_s.arg(i), 0.3);
    EXPECT_EQ(m.correctionBaselines().keys(), QList<QUuid>{m.lastResult()->id});
    m.editTranscript(m.lastResult()->id, u"unkept four"_s);
    EXPECT_EQ(m.correctionBaselines().value(m.lastResult()->id), u"unkept four"_s);
}

TEST_F(AppModelTest, editingAResultLearnsFromTheBaselineOnceAndMovesItAndDeliveryCorrectionsLearnToo)
{
    AppModel &m = make();
    dictate(u"Call Jon now."_s);
    const QUuid id = m.lastResult()->id;
    notifications = 0;
    m.editTranscript(id, u"Call John now."_s);
    EXPECT_EQ(notifications, 2) << "one for what was learned, one for the edit";
    ASSERT_EQ(m.dictionary().size(), 1);
    EXPECT_EQ(m.dictionary()[0],
              (DictionaryEntry{m.dictionary()[0].id, u"Jon"_s, u"John"_s, 1, scheduler.wallNow(), true}));
    EXPECT_EQ(m.status(), u"Learned John"_s);
    EXPECT_EQ(m.lastLearning(), u"Learned: Jon → John"_s);
    EXPECT_EQ(m.history()[0].output, u"Call John now."_s);
    EXPECT_EQ(m.lastResult()->output, u"Call John now."_s);
    EXPECT_EQ(m.correctionBaselines().value(id), u"Call John now."_s);
    EXPECT_EQ(savedLibrary().dictionary, m.dictionary());

    m.editTranscript(id, u"Call John now."_s);
    EXPECT_EQ(m.dictionary()[0].occurrenceCount, 1) << "the same edit twice learns nothing the second time";
    EXPECT_TRUE(m.lastLearning().isEmpty());
    m.editTranscript(id, u"Please ring Johnny tomorrow instead."_s);
    EXPECT_TRUE(m.lastLearning().startsWith(u"Nothing learned: several words changed."_s));
    m.editTranscript(id, u"Call John now."_s);

    notifications = 0;
    m.editTranscript(id, u" \n\t"_s);
    EXPECT_EQ(notifications, 0) << "a blank edit is ignored";
    EXPECT_EQ(m.history()[0].output, u"Call John now."_s);

    m.setPreferences(Preferences{.autoLearn = false});
    m.cancelDictation(); // a status to compare against
    m.editTranscript(id, u"Call Joan now."_s);
    EXPECT_EQ(m.lastLearning(), u"Nothing learned: Learn corrections is off in Settings."_s);
    EXPECT_EQ(m.status(), u"Cancelled"_s);
    EXPECT_EQ(m.dictionary().size(), 1);
    EXPECT_EQ(m.history()[0].output, u"Call Joan now."_s);
    EXPECT_EQ(m.correctionBaselines().value(id), u"Call Joan now."_s);

    m.setPreferences(Preferences{});
    m.editTranscript(QUuid::createUuid(), u"Call Jan now."_s);
    EXPECT_EQ(m.dictionary().size(), 1) << "no baseline, nothing learned";

    // A correction delivery saw in the field teaches too, and changes nothing but the dictionary and status.
    const TranscriptRecord before = *m.lastResult();
    deliveryFake->reportCorrection(u"A new ron fires."_s, u"A neuron fires."_s);
    ASSERT_EQ(m.dictionary().size(), 2);
    EXPECT_EQ(m.dictionary()[0].heard, u"new ron"_s);
    EXPECT_EQ(m.status(), u"Learned neuron"_s);
    EXPECT_EQ(*m.lastResult(), before);
    EXPECT_EQ(m.correctionBaselines().value(before.id), before.output);
    notifications = 0;
    deliveryFake->reportCorrection(u"same"_s, u"same"_s);
    EXPECT_EQ(notifications, 0) << "nothing learned: no save, no notification";
}

TEST_F(AppModelTest, learningMergesCaseInsensitivelyAManualAdditionIsManualForGoodAndFieldsHold100Characters)
{
    AppModel &m = make();
    m.learn(u"Post Gress"_s, u"Postgres"_s, true);
    m.learn(u"kube"_s, u"Kube"_s, true);
    const DictionaryEntry original = m.dictionary()[1];
    scheduler.advanceSeconds(2);
    notifications = 0;
    m.addDictionaryEntry(u"  post gress "_s, u" PostgreSQL\n"_s);
    EXPECT_EQ(notifications, 1);
    ASSERT_EQ(m.dictionary().size(), 2);
    EXPECT_EQ(m.dictionary()[1],
              (DictionaryEntry{original.id, u"Post Gress"_s, u"PostgreSQL"_s, 2, scheduler.wallNow(), false}));
    m.learn(u"POST GRESS"_s, u"PostgreSQL"_s, true);
    EXPECT_FALSE(m.dictionary()[1].automatic) << "an automatic repeat does not make it automatic again";
    EXPECT_EQ(m.dictionary()[1].occurrenceCount, 3);

    m.addDictionaryEntry(QString(), u"Kubernetes"_s);
    EXPECT_EQ(m.dictionary()[0].heard, u"Kubernetes"_s);
    EXPECT_EQ(m.dictionary()[0].replacement, u"Kubernetes"_s);

    notifications = 0;
    m.addDictionaryEntry(u"something"_s, u"   "_s);
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(m.dictionary().size(), 3);

    // "é" as e + combining accent: 2 UTF-16 units, 1 character; a flag: 4 units, 1 character.
    const QString accented = u"e\u0301"_s;
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");
    ASSERT_EQ(graphemeCount(accented.repeated(3) + flag), 4);
    m.addDictionaryEntry(accented.repeated(100), u"ok"_s);
    EXPECT_EQ(m.dictionary().size(), 4) << "100 characters (200 units) are accepted";
    m.addDictionaryEntry(accented.repeated(101), u"ok"_s);
    m.addDictionaryEntry(u"x"_s, flag.repeated(101));
    EXPECT_EQ(m.dictionary().size(), 4) << "101 are ignored";
    m.addDictionaryEntry(u"y"_s, flag.repeated(100));
    EXPECT_EQ(m.dictionary().size(), 5);
}

// The 500 bound applies when something is learned; a library that holds more (written by hand, or by
// another version) is kept whole. An id that occurs twice keeps its first entry, silently.
TEST_F(AppModelTest, aStoredDictionaryOfAnySizeIsKeptWholeAndDuplicateIdsKeepTheirFirstEntry)
{
    AppStore::Snapshot stored;
    for (int i = 0; i < 600; ++i)
        stored.dictionary.append(DictionaryEntry{QUuid::createUuid(), u"word%1"_s.arg(i), u"Word%1"_s.arg(i), 1,
                                                 dateFromReferenceSeconds(i), false});
    DictionaryEntry twin = stored.dictionary[10];
    twin.replacement = u"Twin"_s;
    stored.dictionary.insert(20, twin);
    ASSERT_TRUE(AppStore(libraryPath()).save(stored));
    stored.dictionary.removeAt(20);

    AppModel &m = make();
    EXPECT_FALSE(m.errorMessage());
    EXPECT_EQ(m.dictionary(), stored.dictionary);
    m.clearHistory(); // any save
    EXPECT_EQ(savedLibrary().dictionary, stored.dictionary) << "nothing beyond 500 is lost at the next save";

    m.deleteDictionaryEntry(twin.id);
    EXPECT_EQ(m.dictionary().size(), 599);
    m.learn(u"newest"_s, u"Newest"_s, true);
    EXPECT_EQ(m.dictionary().size(), 500) << "learning applies the bound, dropping the oldest";
    EXPECT_EQ(m.dictionary().front().heard, u"newest"_s);
    EXPECT_EQ(m.dictionary().back().heard, u"word499"_s);
    notifications = 0;
    m.deleteDictionaryEntry(twin.id);
    EXPECT_EQ(notifications, 1) << "saves and notifies even when nothing matched";
    EXPECT_EQ(savedLibrary().dictionary.size(), 500);
}

// A window may pass the id straight from the model's own lists; removing the record must not change the
// id the deletion goes on to use.
TEST_F(AppModelTest, deletingByAnIdHeldInTheModelsOwnListsRemovesExactlyThatOneAndClearingEndsTheLastResult)
{
    AppModel &m = make();
    for (const char *words : {"one", "two", "three"})
        dictate(QString::fromLatin1(words));
    m.learn(u"a"_s, u"A"_s, false);
    m.learn(u"b"_s, u"B"_s, false);
    const QUuid latest = m.history().at(0).id;
    const QUuid middle = m.history().at(1).id;
    const QUuid oldest = m.history().at(2).id;
    m.deleteRecord(m.history().at(1).id);
    EXPECT_FALSE(m.correctionBaselines().contains(middle));
    EXPECT_TRUE(m.correctionBaselines().contains(oldest)) << "the record that moved up keeps its baseline";
    m.deleteRecord(latest);
    EXPECT_EQ(m.history().size(), 1);
    ASSERT_TRUE(m.lastResult()) << "deleting its record keeps the last result";
    EXPECT_FALSE(m.correctionBaselines().contains(latest));
    const QUuid second = m.dictionary().at(1).id;
    m.deleteDictionaryEntry(m.dictionary().at(0).id);
    ASSERT_EQ(m.dictionary().size(), 1);
    EXPECT_EQ(m.dictionary().front().id, second);

    m.clearHistory();
    EXPECT_TRUE(m.history().isEmpty());
    EXPECT_FALSE(m.lastResult());
    EXPECT_TRUE(m.correctionBaselines().isEmpty());
    EXPECT_EQ(savedLibrary().dictionary.size(), 1);
    EXPECT_TRUE(savedLibrary().history.isEmpty());
}

TEST_F(AppModelTest, requestingPermissionsOpensSettingsForRefusalsAndAsksOnlyWhatIsUndetermined)
{
    permissions->microphone = AuthorizationStatus::denied;
    AppModel &m = make();
    m.requestPermissions();
    EXPECT_EQ(desktopFake->openedUrls, QList<QUrl>{QUrl(u"settings:sound"_s)});
    EXPECT_EQ(permissionsFake->microphoneRequests, 0) << "no dialog for a refused permission";

    permissionsFake->microphone = AuthorizationStatus::notDetermined;
    permissionsFake->speech = AuthorizationStatus::notDetermined;
    m.requestPermissions();
    EXPECT_EQ(permissionsFake->microphoneRequests, 1);
    EXPECT_EQ(permissionsFake->speechRequests, 0) << "asked in turn";
    permissionsFake->answerMicrophone(true);
    ASSERT_EQ(permissionsFake->speechRequests, 1);
    permissionsFake->answerSpeech(AuthorizationStatus::denied);
    EXPECT_EQ(m.errorMessage(), u"Speech recognition is not allowed for Orvanta on this computer."_s);
    EXPECT_EQ(m.speechStatus(), u"Denied — open your desktop settings"_s);

    m.openPrivacySettings(privacyAnchor::speechRecognition());
    m.openPrivacySettings(u"Privacy_Unknown"_s);
    EXPECT_EQ(desktopFake->openedUrls.size(), 1) << "local recognition and unknown places have no settings page";
}

TEST(LocaleResolution, exactThenUsEnglishThenSameLanguageThenFirst)
{
    const QStringList english{u"de-DE"_s, u"en-GB"_s, u"en-US"_s};
    EXPECT_EQ(resolveLocaleIdentifier(u"en_GB"_s, english), u"en-GB"_s);
    EXPECT_EQ(resolveLocaleIdentifier(u"EN-au"_s, english), u"en-US"_s);
    EXPECT_EQ(resolveLocaleIdentifier(u"de-AT"_s, {u"de-DE"_s, u"fr-FR"_s}), u"de-DE"_s);
    EXPECT_EQ(resolveLocaleIdentifier(u"xx"_s, {u"fr-FR"_s, u"it-IT"_s}), u"fr-FR"_s);
    EXPECT_EQ(resolveLocaleIdentifier(u"pt-BR"_s, {}), u"pt-BR"_s);
}

TEST_F(AppModelTest, theStartupLocaleTaskRewritesAnUnsupportedLanguageOnce)
{
    AppStore::Snapshot stored;
    stored.preferences.localeIdentifier = u"en-AU"_s;
    ASSERT_TRUE(AppStore(libraryPath()).save(stored));
    speech->localesAnswer.reset();
    AppModel &m = make();
    EXPECT_TRUE(m.supportedLocales().isEmpty());
    notifications = 0;
    speechFake->localeReplies.last().resolve({u"en-US"_s, u"de-DE"_s, u"en-GB"_s});
    EXPECT_EQ(m.supportedLocales(), (QStringList{u"de-DE"_s, u"en-GB"_s, u"en-US"_s}));
    EXPECT_EQ(m.preferences().localeIdentifier, u"en-US"_s);
    EXPECT_EQ(savedLibrary().preferences.localeIdentifier, u"en-US"_s);
    EXPECT_EQ(notifications, 2);
}

TEST_F(AppModelTest, onboardingOperationsCountOnlyMicrophoneAndSpeechAndResetCancels)
{
    permissions->speech = AuthorizationStatus::notDetermined;
    AppModel &m = make();
    m.advanceOnboarding();
    EXPECT_EQ(m.onboarding().step(), OnboardingState::Step::permissions);
    notifications = 0;
    m.advanceOnboarding();
    EXPECT_EQ(m.onboarding().step(), OnboardingState::Step::permissions) << "speech is not yet authorized";
    EXPECT_EQ(notifications, 1);
    permissionsFake->speech = AuthorizationStatus::authorized;
    m.advanceOnboarding();
    EXPECT_EQ(m.onboarding().step(), OnboardingState::Step::shortcut);
    m.completeOnboarding();

    m.toggle();
    ASSERT_EQ(m.phase(), RecordingPhase::recording);
    m.resetOnboarding();
    EXPECT_EQ(m.phase(), RecordingPhase::idle);
    EXPECT_EQ(m.status(), u"Cancelled"_s);
    EXPECT_EQ(m.onboarding().step(), OnboardingState::Step::welcome);
    EXPECT_FALSE(m.onboarding().isComplete());
}

TEST_F(AppModelTest, enablingAccessibilityLooksAgainAndOnceOnOpensItsSettingsAndKeyNamesReachTheHoldKeyStatus)
{
    delivery->trusted = false;
    AppModel &m = make();
    m.enableAccessibility();
    EXPECT_EQ(desktopFake->enableCalls, 1);
    EXPECT_EQ(desktopFake->accessibility, true);
    EXPECT_FALSE(m.accessibilityEnabled()) << "delivery has not seen the switch yet";

    deliveryFake->trusted = true; // delivery's next reading of the switch
    scheduler.advanceSeconds(1.2);
    EXPECT_TRUE(m.accessibilityEnabled()) << "looked again once delivery's reading was fresh";
    EXPECT_TRUE(desktopFake->openedUrls.isEmpty());

    m.enableAccessibility();
    EXPECT_EQ(desktopFake->enableCalls, 1);
    EXPECT_EQ(desktopFake->openedUrls, QList<QUrl>{QUrl(u"settings:accessibility"_s)});

    desktopFake->accessibility.reset(); // no accessibility bus in this session
    m.enableAccessibility();
    EXPECT_TRUE(m.errorMessage()->endsWith(u"this desktop session has no accessibility bus."_s));

    // The configured key names reach the hold key's status until the shortcut service reports.
    notifications = 0;
    m.setShortcutNames({u"Right Alt"_s, u"Ctrl+F9"_s});
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(m.fnShortcutStatus(), u"Enable Accessibility to use Right Alt in other apps."_s);
    m.setShortcutNames({u"Right Alt"_s, u"Ctrl+F9"_s});
    EXPECT_EQ(notifications, 1) << "nothing changed";
    m.setFnShortcutStatus(u"Hold Right Alt to dictate."_s);
    m.setShortcutNames({u"Right Ctrl"_s, u"Ctrl+F9"_s});
    EXPECT_EQ(m.fnShortcutStatus(), u"Hold Right Alt to dictate."_s)
        << "what the service reported stays until it reports again";
    EXPECT_EQ(m.shortcutNames().holdKey, u"Right Ctrl"_s);
}
