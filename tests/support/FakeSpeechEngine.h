#pragma once

#include "speech/AbstractSpeechEngine.h"
#include "tests/support/FakePermissions.h"
#include "tests/support/ScriptedAnswers.h"

#include <QList>

#include <optional>

namespace orv::test {

// Scripts the speech engine: each start(), finish() and supportedLocaleIdentifiers() answers at once with
// the scripted value when one is set, otherwise waits for the test to resolve the reply it appended.
class FakeSpeechEngine final : public AbstractSpeechEngine
{
public:
    using StartResult = Expected<void, SpeechEngineError>;
    using FinishResult = Expected<QString, SpeechEngineError>;

    struct StartCall
    {
        QString localeIdentifier;
        QStringList contextualStrings;
    };

    // Replies still pending end with a cancellation, as the engine's own tasks end when it goes.
    ~FakeSpeechEngine() override;

    Task<StartResult> start(QString localeIdentifier, QStringList contextualStrings) override;
    void stopAudio() override { ++stopAudioCalls; }
    Task<FinishResult> finish() override;
    void cancel() override { ++cancelCalls; }
    Task<QStringList> supportedLocaleIdentifiers() override { return answerOrWait(localesAnswer, localeReplies); }
    QString displayName() const override { return QStringLiteral("PocketSphinx"); }
    Permissions &permissions() override { return fakePermissions; }

    // Reports as the engine would.
    void reportPartial(const QString &text) const { callIfSet(onPartial, text); }
    void reportLevel(float level) const { callIfSet(onLevel, level); }
    void reportStatus(const QString &text) const { callIfSet(onStatus, text); }
    void reportFailure(const SpeechEngineError &error) const { callIfSet(onFailure, error); }

    FakePermissions fakePermissions;

    std::optional<StartResult> startAnswer;
    std::optional<FinishResult> finishAnswer;
    std::optional<QStringList> localesAnswer;

    QList<AsyncValue<StartResult>> startReplies;
    QList<AsyncValue<FinishResult>> finishReplies;
    QList<AsyncValue<QStringList>> localeReplies;

    QList<StartCall> startCalls;
    int stopAudioCalls = 0;
    int finishCalls = 0;
    int cancelCalls = 0;
};

} // namespace orv::test
