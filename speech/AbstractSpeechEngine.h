#pragma once

#include "base/Expected.h"
#include "base/Task.h"
#include "speech/Permissions.h"
#include "speech/SpeechEngineError.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace orv {

// What the app model needs of the speech engine. Callbacks arrive on the main thread, only for the
// current session.
class AbstractSpeechEngine
{
public:
    virtual ~AbstractSpeechEngine() = default;

    std::function<void(const QString &)> onPartial;
    std::function<void(float)> onLevel;
    std::function<void(const QString &)> onStatus;
    std::function<void(const SpeechEngineError &)> onFailure;
    // The recognizer took another road and the dictation goes on (a fallback): a sentence for the user.
    std::function<void(const QString &)> onNotice;
    // The microphone went away mid-dictation (kind inputLost): capture has stopped, and the session waits
    // for finish(), which still delivers the words heard until then.
    std::function<void(const SpeechEngineError &)> onInputLost;

    // Returns once audio is flowing and "Listening…" was sent.
    virtual Task<Expected<void, SpeechEngineError>> start(QString localeIdentifier, QStringList contextualStrings) = 0;
    // Stops capture; the session stays for finish().
    virtual void stopAudio() = 0;
    // The final transcript; empty when there is no session.
    virtual Task<Expected<QString, SpeechEngineError>> finish() = 0;
    // Ends the session at once; safe at any time.
    virtual void cancel() = 0;
    // Locale identifiers of the installed recognition models, sorted ascending.
    virtual Task<QStringList> supportedLocaleIdentifiers() = 0;
    // The microphone and recognition permissions this engine asks for at each start. It owns them; the
    // app model reads their state and asks through them, so there is one source for both.
    virtual Permissions &permissions() = 0;
    // Display name of the recognizer ("PocketSphinx"), used where texts name the speech engine.
    virtual QString displayName() const = 0;
};

} // namespace orv
