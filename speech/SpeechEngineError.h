#pragma once

#include <QString>

namespace orv {

// Why a dictation could not start or finish; description() is the sentence the user reads.
struct SpeechEngineError
{
    enum class Kind {
        unsupportedLanguage,
        alreadyRecording,
        microphonePermissionDenied,
        speechPermissionDenied,
        microphoneUnavailable,
        finalizationTimedOut,
        platform,  // an error of the recognizer or sound server; detail holds its own sentence
        cancelled, // the session was cancelled or replaced; never reported to the user
    };

    Kind kind = Kind::cancelled;
    QString detail; // the locale identifier for unsupportedLanguage, the message for platform

    QString description() const;
    bool isCancellation() const { return kind == Kind::cancelled; }
    bool operator==(const SpeechEngineError &) const = default;
};

} // namespace orv
