#include "speech/SpeechEngineError.h"

#include "base/PlatformText.h"

namespace orv {

QString SpeechEngineError::description() const
{
    const QString engine = engineName.isEmpty() ? defaultEngineName() : engineName;
    switch (kind) {
    case Kind::unsupportedLanguage:
        return QStringLiteral("%1 does not support %2 %3. Choose another language.")
            .arg(engine, detail, platform::onThisComputer());
    case Kind::alreadyRecording:
        return QStringLiteral("A dictation is already running.");
    case Kind::microphonePermissionDenied:
        return QStringLiteral("Allow microphone access for Orvanta in %1.").arg(platform::microphoneSettingsPlace());
    case Kind::speechPermissionDenied:
        return platform::speechRefusedSentence();
    case Kind::microphoneUnavailable:
        return QStringLiteral("No microphone is available. Check your audio input in %1.")
            .arg(platform::audioInputSettingsPlace());
    case Kind::finalizationTimedOut:
        return QStringLiteral("%1 took too long to finish. Your live transcript remains available.").arg(engine);
    case Kind::inputLost:
        return QStringLiteral("The microphone “%1” went away, so the recording ended; the words heard until then "
                              "are kept.")
            .arg(detail);
    case Kind::platform:
        return detail;
    case Kind::cancelled:
        return QString();
    }
    return detail;
}

QString SpeechEngineError::defaultEngineName()
{
    return platform::recognizerName();
}

} // namespace orv
