#pragma once

#include <QString>

namespace orv {

// Why a dictation could not start or finish; description() is the sentence the user reads.
struct SpeechEngineError
{
    enum class Kind
    {
        unsupportedLanguage,
        alreadyRecording,
        microphonePermissionDenied,
        speechPermissionDenied,
        microphoneUnavailable,
        finalizationTimedOut,
        inputLost, // the microphone went away mid-dictation; detail holds its description
        platform,  // an error of the recognizer or sound server; detail holds its own sentence
        cancelled, // the session was cancelled or replaced; never reported to the user
    };

    Kind kind = Kind::cancelled;
    QString detail;          // the locale identifier for unsupportedLanguage, the message for platform
    QString engineName = {}; // the recognizer's display name in the sentences; empty: the default engine's

    QString description() const;
    static QString defaultEngineName();
    bool isCancellation() const { return kind == Kind::cancelled; }
    // The display name only dresses the sentence; it is not part of what went wrong.
    bool operator==(const SpeechEngineError &other) const { return kind == other.kind && detail == other.detail; }
};

} // namespace orv
