#include "speech/live/SpeechComposition.h"
#include "tests/speech/SpeechSession.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/SpeechCorpus.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace orv;
using namespace orv::test;

TEST(Microphone, withoutASoundServerTheMicrophoneIsUnavailable)
{
    SpeechSession::application();
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/orvanta-no-server");
    auto engine = speech::makeLiveSpeechEngine(SpeechSession::scheduler());
    Permissions *permissions = &engine->permissions();
    auto started = engine->start(QStringLiteral("en-US"), {});
    waitUntil([&] { return started.isDone(); }, 30000);
    // Recognition is local: nothing, not even a missing sound server, refuses it, so the refusal
    // sentence never reaches the user.
    EXPECT_EQ(permissions->speechStatus(), AuthorizationStatus::authorized);
    auto asked = permissions->requestSpeechAuthorization();
    waitUntil([&] { return asked.isDone(); }, 5000);
    ASSERT_TRUE(asked.isDone());
    EXPECT_EQ(asked.result(), AuthorizationStatus::authorized);
    if (saved.isNull())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", saved);
    ASSERT_TRUE(started.isDone());
    ASSERT_FALSE(started.result());
    EXPECT_EQ(started.result().error().kind, SpeechEngineError::Kind::microphoneUnavailable);
    EXPECT_FALSE(engine->sessionID());
}

TEST(Microphone, speechFromTheDefaultSourceIsCapturedMeteredAndRecognized)
{
    const QByteArray fifo = qgetenv("ORVANTA_TEST_MIC_FIFO");
    if (fifo.isEmpty() || qgetenv("ORVANTA_TEST_PULSE").isEmpty())
        GTEST_SKIP() << "no test sound server: run under scripts/with-desktop.sh";
    if (auto missing = speechCorpus::missingTools())
        GTEST_SKIP() << missing->toStdString();
    SpeechSession::application();

    QTemporaryDir dir;
    const QString text = QStringLiteral("please send the quarterly report to the finance team by friday");
    const QByteArray spoken = synthesizeSpeech(text, dir.path());
    ASSERT_FALSE(spoken.isEmpty());

    auto engine = speech::makeLiveSpeechEngine(SpeechSession::scheduler());
    EXPECT_EQ(engine->permissions().microphoneStatus(), AuthorizationStatus::authorized);
    std::vector<float> levels;
    QStringList statuses;
    engine->onLevel = [&](float level) { levels.push_back(level); };
    engine->onStatus = [&](const QString &status) { statuses.append(status); };

    auto started = engine->start(QStringLiteral("en-US"), {});
    ASSERT_TRUE(waitUntil([&] { return started.isDone(); }, 30000));
    ASSERT_TRUE(started.result().hasValue()) << started.result().error().description().toStdString();
    EXPECT_EQ(statuses.back(), QStringLiteral("Listening…"));

    {
        const Speaker speaker(spoken, 0.3, 1.0); // silence, speech, silence
        waitUntil([&] { return speaker.done(); }, 60000);
        ASSERT_TRUE(speaker.delivered());
    }
    waitUntil([] { return false; }, 300); // the server's last fragment
    engine->stopAudio();
    auto finished = engine->finish();
    ASSERT_TRUE(waitUntil([&] { return finished.isDone(); }, 30000));
    ASSERT_TRUE(finished.result().hasValue()) << finished.result().error().description().toStdString();

    ASSERT_GE(levels.size(), 10u) << "about one level per 100 ms buffer";
    EXPECT_GT(*std::max_element(levels.begin(), levels.end()), 0.2f) << "speech shows on the meter";
    EXPECT_LT(levels.front(), 0.05f) << "the leading silence reads near zero";
    EXPECT_EQ(levels.back(), 0.0f) << "the end of the session resets the meter";
    const QString transcript = finished.result().value();
    EXPECT_LE(speechCorpus::wordErrors(text, transcript), 2) << transcript.toStdString();
}
