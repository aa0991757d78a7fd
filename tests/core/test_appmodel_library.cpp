#include "tests/core/AppModelHarness.h"
#include "tests/support/Files.h"

using namespace orv;
using namespace orv::test;

TEST_F(AppModelTest, aFullHistoryDropsItsOldestRecordAndRetentionOffKeepsOnlyTheLastResult)
{
    AppStore::Snapshot full;
    for (int i = 0; i < 200; ++i)
        full.history.append({QUuid::createUuid(), dateFromReferenceSeconds(700000000.0 + i), QStringLiteral("old"),
                             QStringLiteral("Old %1.").arg(i), 1, QStringLiteral("Editor"), QStringLiteral("Rules")});
    ASSERT_TRUE(AppStore(libraryPath()).save(full));
    AppModel &m = make();
    dictate(QStringLiteral("the newest"));
    ASSERT_EQ(m.history().size(), 200);
    EXPECT_EQ(m.history().front().original, QStringLiteral("the newest"));
    EXPECT_EQ(m.history().back(), full.history.at(198));
    EXPECT_EQ(savedLibrary().history, m.history());

    m.setRetainHistory(false);
    EXPECT_TRUE(m.history().isEmpty());
    EXPECT_TRUE(m.correctionBaselines().isEmpty());
    ASSERT_TRUE(m.lastResult()) << "the last result is kept";
    dictate(QStringLiteral("not kept"));
    EXPECT_TRUE(m.history().isEmpty());
    EXPECT_EQ(m.lastResult()->original, QStringLiteral("not kept"));
    EXPECT_TRUE(m.correctionBaselines().contains(m.lastResult()->id));
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
    ASSERT_TRUE(test::writeFile(dir.filePath(QStringLiteral("orvanta")), {}));
    AppModel &m = make();
    for (int i = 0; i < 205; ++i)
        dictate(QStringLiteral("dictation %1").arg(i), 0.3);
    ASSERT_EQ(m.history().size(), 200);
    EXPECT_EQ(m.correctionBaselines().size(), 200);
    for (const TranscriptRecord &record : m.history())
        EXPECT_TRUE(m.correctionBaselines().contains(record.id));

    m.setRetainHistory(false);
    for (int i = 0; i < 5; ++i)
        dictate(QStringLiteral("unkept %1").arg(i), 0.3);
    EXPECT_EQ(m.correctionBaselines().keys(), QList<QUuid>{m.lastResult()->id});
    m.editTranscript(m.lastResult()->id, QStringLiteral("unkept four"));
    EXPECT_EQ(m.correctionBaselines().value(m.lastResult()->id), QStringLiteral("unkept four"));
}

TEST_F(AppModelTest, editingAResultLearnsFromTheBaselineOnceAndMovesItAndDeliveryCorrectionsLearnToo)
{
    AppModel &m = make();
    dictate(QStringLiteral("Call Jon now."));
    const QUuid id = m.lastResult()->id;
    notifications = 0;
    m.editTranscript(id, QStringLiteral("Call John now."));
    EXPECT_EQ(notifications, 2) << "one for what was learned, one for the edit";
    ASSERT_EQ(m.dictionary().size(), 1);
    EXPECT_EQ(m.dictionary()[0], (DictionaryEntry{m.dictionary()[0].id, QStringLiteral("Jon"), QStringLiteral("John"),
                                                  1, scheduler.wallNow(), true}));
    EXPECT_EQ(m.status(), QStringLiteral("Learned John"));
    EXPECT_EQ(m.lastLearning(), QStringLiteral("Learned: Jon → John"));
    EXPECT_EQ(m.history()[0].output, QStringLiteral("Call John now."));
    EXPECT_EQ(m.lastResult()->output, QStringLiteral("Call John now."));
    EXPECT_EQ(m.correctionBaselines().value(id), QStringLiteral("Call John now."));
    EXPECT_EQ(savedLibrary().dictionary, m.dictionary());

    m.editTranscript(id, QStringLiteral("Call John now."));
    EXPECT_EQ(m.dictionary()[0].occurrenceCount, 1) << "the same edit twice learns nothing the second time";
    EXPECT_TRUE(m.lastLearning().isEmpty());
    m.editTranscript(id, QStringLiteral("Please ring Johnny tomorrow instead."));
    EXPECT_TRUE(m.lastLearning().startsWith(QStringLiteral("Nothing learned: several words changed.")));
    m.editTranscript(id, QStringLiteral("Call John now."));

    notifications = 0;
    m.editTranscript(id, QStringLiteral(" \n\t"));
    EXPECT_EQ(notifications, 0) << "a blank edit is ignored";
    EXPECT_EQ(m.history()[0].output, QStringLiteral("Call John now."));

    Preferences noLearning = m.preferences();
    noLearning.autoLearn = false;
    m.setPreferences(noLearning);
    m.cancelDictation(); // a status to compare against
    m.editTranscript(id, QStringLiteral("Call Joan now."));
    EXPECT_EQ(m.lastLearning(), QStringLiteral("Nothing learned: Learn corrections is off in Settings."));
    EXPECT_EQ(m.status(), QStringLiteral("Cancelled"));
    EXPECT_EQ(m.dictionary().size(), 1);
    EXPECT_EQ(m.history()[0].output, QStringLiteral("Call Joan now."));
    EXPECT_EQ(m.correctionBaselines().value(id), QStringLiteral("Call Joan now."));

    const QUuid unknown = QUuid::createUuid();
    m.setPreferences(Preferences{});
    m.editTranscript(unknown, QStringLiteral("Call Jan now."));
    EXPECT_EQ(m.correctionBaselines().value(unknown), QStringLiteral("Call Jan now."));
    EXPECT_EQ(m.dictionary().size(), 1) << "no baseline, nothing learned";

    // A correction delivery saw in the field teaches too, and changes nothing but the dictionary and status.
    const TranscriptRecord before = *m.lastResult();
    deliveryFake->reportCorrection(QStringLiteral("A new ron fires."), QStringLiteral("A neuron fires."));
    ASSERT_EQ(m.dictionary().size(), 2);
    EXPECT_EQ(m.dictionary()[0].heard, QStringLiteral("new ron"));
    EXPECT_EQ(m.status(), QStringLiteral("Learned neuron"));
    EXPECT_EQ(*m.lastResult(), before);
    EXPECT_EQ(m.correctionBaselines().value(before.id), before.output);
    notifications = 0;
    deliveryFake->reportCorrection(QStringLiteral("same"), QStringLiteral("same"));
    EXPECT_EQ(notifications, 0) << "nothing learned: no save, no notification";
}

TEST_F(AppModelTest, learningMergesCaseInsensitivelyAManualAdditionIsManualForGoodAndFieldsHold100Characters)
{
    AppModel &m = make();
    m.learn(QStringLiteral("Post Gress"), QStringLiteral("Postgres"), true);
    m.learn(QStringLiteral("kube"), QStringLiteral("Kube"), true);
    const DictionaryEntry original = m.dictionary()[1];
    scheduler.advanceSeconds(2);
    notifications = 0;
    m.addDictionaryEntry(QStringLiteral("  post gress "), QStringLiteral(" PostgreSQL\n"));
    EXPECT_EQ(notifications, 1);
    ASSERT_EQ(m.dictionary().size(), 2);
    EXPECT_EQ(m.dictionary()[1], (DictionaryEntry{original.id, QStringLiteral("Post Gress"),
                                                  QStringLiteral("PostgreSQL"), 2, scheduler.wallNow(), false}));
    m.learn(QStringLiteral("POST GRESS"), QStringLiteral("PostgreSQL"), true);
    EXPECT_FALSE(m.dictionary()[1].automatic) << "an automatic repeat does not make it automatic again";
    EXPECT_EQ(m.dictionary()[1].occurrenceCount, 3);

    m.addDictionaryEntry(QString(), QStringLiteral("Kubernetes"));
    EXPECT_EQ(m.dictionary()[0].heard, QStringLiteral("Kubernetes"));
    EXPECT_EQ(m.dictionary()[0].replacement, QStringLiteral("Kubernetes"));

    notifications = 0;
    m.addDictionaryEntry(QStringLiteral("something"), QStringLiteral("   "));
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(m.dictionary().size(), 3);

    // "é" as e + combining accent: 2 UTF-16 units, 1 character; a flag: 4 units, 1 character.
    const QString accented = QStringLiteral("e\u0301");
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");
    ASSERT_EQ(graphemeCount(accented.repeated(3) + flag), 4);
    m.addDictionaryEntry(accented.repeated(100), QStringLiteral("ok"));
    EXPECT_EQ(m.dictionary().size(), 4) << "100 characters (200 units) are accepted";
    m.addDictionaryEntry(accented.repeated(101), QStringLiteral("ok"));
    m.addDictionaryEntry(QStringLiteral("x"), flag.repeated(101));
    EXPECT_EQ(m.dictionary().size(), 4) << "101 are ignored";
    m.addDictionaryEntry(QStringLiteral("y"), flag.repeated(100));
    EXPECT_EQ(m.dictionary().size(), 5);
}

// The 500 bound applies when something is learned; a library that holds more (written by hand, or by
// another version) is kept whole. An id that occurs twice keeps its first entry, silently.
TEST_F(AppModelTest, aStoredDictionaryOfAnySizeIsKeptWholeAndDuplicateIdsKeepTheirFirstEntry)
{
    AppStore::Snapshot stored;
    for (int i = 0; i < 600; ++i)
        stored.dictionary.append(DictionaryEntry{QUuid::createUuid(), QStringLiteral("word%1").arg(i),
                                                 QStringLiteral("Word%1").arg(i), 1, dateFromReferenceSeconds(i),
                                                 false});
    DictionaryEntry twin = stored.dictionary[10];
    twin.replacement = QStringLiteral("Twin");
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
    m.learn(QStringLiteral("newest"), QStringLiteral("Newest"), true);
    EXPECT_EQ(m.dictionary().size(), 500) << "learning applies the bound, dropping the oldest";
    EXPECT_EQ(m.dictionary().front().heard, QStringLiteral("newest"));
    EXPECT_EQ(m.dictionary().back().heard, QStringLiteral("word499"));
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
    m.learn(QStringLiteral("a"), QStringLiteral("A"), false);
    m.learn(QStringLiteral("b"), QStringLiteral("B"), false);
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
    EXPECT_EQ(desktopFake->openedUrls, QList<QUrl>{QUrl(QStringLiteral("settings:sound"))});
    EXPECT_EQ(permissionsFake->microphoneRequests, 0) << "no dialog for a refused permission";

    permissionsFake->microphone = AuthorizationStatus::notDetermined;
    permissionsFake->speech = AuthorizationStatus::notDetermined;
    m.requestPermissions();
    EXPECT_EQ(permissionsFake->microphoneRequests, 1);
    EXPECT_EQ(permissionsFake->speechRequests, 0) << "asked in turn";
    permissionsFake->answerMicrophone(true);
    ASSERT_EQ(permissionsFake->speechRequests, 1);
    notifications = 0;
    permissionsFake->answerSpeech(AuthorizationStatus::denied);
    EXPECT_EQ(m.errorMessage(), QStringLiteral("Speech recognition is not allowed for Orvanta on this computer."));
    EXPECT_EQ(m.speechStatus(), QStringLiteral("Denied — open your desktop settings"));
    EXPECT_EQ(notifications, 2) << "authorizeRecording refreshes, then the request task refreshes";

    m.openPrivacySettings(privacyAnchor::speechRecognition());
    m.openPrivacySettings(QStringLiteral("Privacy_Unknown"));
    m.openPrivacySettings(privacyAnchor::accessibility());
    EXPECT_EQ(desktopFake->openedUrls.last(), QUrl(QStringLiteral("settings:accessibility")));
    EXPECT_EQ(desktopFake->openedUrls.size(), 2) << "local recognition has no settings page to open";
}

TEST_F(AppModelTest, activatingOurselvesOrWithoutTrustPreparesNothing)
{
    delivery->frontmost = ApplicationInfo{1000, QStringLiteral("Orvanta")};
    AppModel &m = make();
    EXPECT_TRUE(deliveryFake->preparedProcesses.isEmpty());
    deliveryFake->frontmost = ApplicationInfo{77, QStringLiteral("Terminal")};
    deliveryFake->trusted = false;
    m.prepareActivatedApplication();
    EXPECT_TRUE(deliveryFake->preparedProcesses.isEmpty());
    deliveryFake->trusted = true;
    m.prepareActivatedApplication();
    EXPECT_EQ(deliveryFake->preparedProcesses, QList<qint64>{77});
}

TEST(LocaleResolution, exactThenUsEnglishThenSameLanguageThenFirst)
{
    const QStringList english{QStringLiteral("de-DE"), QStringLiteral("en-GB"), QStringLiteral("en-US")};
    EXPECT_EQ(resolveLocaleIdentifier(QStringLiteral("en_GB"), english), QStringLiteral("en-GB"));
    EXPECT_EQ(resolveLocaleIdentifier(QStringLiteral("en-AU"), english), QStringLiteral("en-US"));
    const QStringList european{QStringLiteral("de-DE"), QStringLiteral("fr-FR")};
    EXPECT_EQ(resolveLocaleIdentifier(QStringLiteral("de-AT"), european), QStringLiteral("de-DE"));
    EXPECT_EQ(resolveLocaleIdentifier(QStringLiteral("xx"), {QStringLiteral("fr-FR"), QStringLiteral("it-IT")}),
              QStringLiteral("fr-FR"));
    EXPECT_EQ(resolveLocaleIdentifier(QStringLiteral("EN-au"), english), QStringLiteral("en-US"));
    EXPECT_EQ(resolveLocaleIdentifier(QStringLiteral("pt-BR"), {}), QStringLiteral("pt-BR"));
}

TEST_F(AppModelTest, theStartupLocaleTaskRewritesAnUnsupportedLanguageOnce)
{
    AppStore::Snapshot stored;
    stored.preferences.localeIdentifier = QStringLiteral("en-AU");
    ASSERT_TRUE(AppStore(libraryPath()).save(stored));
    speech->localesAnswer.reset();
    AppModel &m = make();
    EXPECT_TRUE(m.supportedLocales().isEmpty());
    notifications = 0;
    speechFake->localeReplies.last().resolve(
        {QStringLiteral("en-US"), QStringLiteral("de-DE"), QStringLiteral("en-GB")});
    EXPECT_EQ(m.supportedLocales(),
              (QStringList{QStringLiteral("de-DE"), QStringLiteral("en-GB"), QStringLiteral("en-US")}));
    EXPECT_EQ(m.preferences().localeIdentifier, QStringLiteral("en-US"));
    EXPECT_EQ(savedLibrary().preferences.localeIdentifier, QStringLiteral("en-US"));
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
    EXPECT_EQ(m.status(), QStringLiteral("Cancelled"));
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
    EXPECT_EQ(desktopFake->openedUrls, QList<QUrl>{QUrl(QStringLiteral("settings:accessibility"))});

    desktopFake->accessibility.reset(); // no accessibility bus in this session
    m.enableAccessibility();
    EXPECT_TRUE(m.errorMessage()->endsWith(QStringLiteral("this desktop session has no accessibility bus.")));

    // The configured key names reach the hold key's status until the shortcut service reports.
    notifications = 0;
    m.setShortcutNames({QStringLiteral("Right Alt"), QStringLiteral("Ctrl+F9")});
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(m.fnShortcutStatus(), QStringLiteral("Enable Accessibility to use Right Alt in other apps."));
    m.setShortcutNames({QStringLiteral("Right Alt"), QStringLiteral("Ctrl+F9")});
    EXPECT_EQ(notifications, 1) << "nothing changed";
    m.setFnShortcutStatus(QStringLiteral("Hold Right Alt to dictate."));
    m.setShortcutNames({QStringLiteral("Right Ctrl"), QStringLiteral("Ctrl+F9")});
    EXPECT_EQ(m.fnShortcutStatus(), QStringLiteral("Hold Right Alt to dictate."))
        << "what the service reported stays until it reports again";
    EXPECT_EQ(m.shortcutNames().holdKey, QStringLiteral("Right Ctrl"));
}
