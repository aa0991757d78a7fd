#pragma once

#include "speech/AbstractMicrophones.h"
#include "speech/RecognizerProgress.h"
#include "speech/SpeechEngine.h"
#include "speech/wav/WavFileSource.h"

#include <functional>
#include <memory>

namespace orv {

class PocketSphinxModel;
class SpeechServer;
class WhisperModel;

// The recognizer each new dictation uses: the embedded Whisper model, a local speech server, or
// PocketSphinx when there is neither. The composition root changes it as the settings change; a session
// under way keeps the one it began with.
struct SpeechServerChoice
{
    bool whisper = false;         // first when set
    QString whisperFile;          // the user's model file; empty: the installed model of the dictation's language
    bool whisperDownloads = true; // a missing model of the catalog is downloaded (the user chose Whisper)
    // The model loaded for the last dictation, kept for the next; a sentence why the last download failed.
    mutable std::shared_ptr<WhisperModel> whisperModel;
    mutable QString whisperProblem;
    std::shared_ptr<SpeechServer> server;
    bool liveText = true; // off where nobody watches the text grow (a file on the command line)
};

// How the application builds its speech engine from the Linux backends: PocketSphinx (loaded at once
// in the background and shared by every session), libsoxr for conversion, and an audio source.
namespace speech {

QString pocketSphinxDisplayName();
QString whisperDisplayName();

// Whether this build has the embedded Whisper recognizer.
bool whisperBuiltIn();
// The Whisper model a dictation in the language (ISO 639-1) uses under choice, loading in the background
// (the one already loaded when its file is the same); nullptr when there is none or no Whisper in this build.
std::shared_ptr<WhisperModel>
whisperModelFor(Scheduler &scheduler, const SpeechServerChoice &choice, const QString &languageCode);
QString whisperModelPath(const std::shared_ptr<WhisperModel> &model);
// Completes once the model is loaded, or with the sentence saying why it cannot be used.
Task<Expected<void, QString>> whisperModelLoaded(std::shared_ptr<WhisperModel> model);

// The recognizer pieces over the given model; the caller adds the audio source and permissions. The
// platform owns the model (with whoever else holds it): its sessions' decoding ends with the last owner.
SpeechEngine::Platform pocketSphinxPlatform(Scheduler &scheduler,
                                            std::shared_ptr<PocketSphinxModel> model,
                                            std::shared_ptr<RecognizerProgress> progress = nullptr);

// The dictation engine of the application: a PulseAudio source and the sound server's permissions, which
// the engine owns. Each dictation records from what microphone() answers at its start (the default
// without it, or where it answers an empty name).
// The model starts loading now, so the first dictation finds it warm.
// With a choice, its server (while one is chosen) transcribes, PocketSphinx standing by.
std::unique_ptr<SpeechEngine> makeLiveSpeechEngine(Scheduler &scheduler,
                                                   std::shared_ptr<const SpeechServerChoice> choice = nullptr,
                                                   std::function<Microphone()> microphone = nullptr);

// An engine that hears a WAV file instead of the microphone; onEnd runs on the source's thread after
// the last buffer of each session. progress follows the recognizer (WavFileSource::Pace::followRecognizer
// needs it).
std::unique_ptr<SpeechEngine> makeFileSpeechEngine(Scheduler &scheduler,
                                                   std::shared_ptr<const WavAudio> audio,
                                                   WavFileSource::Pace pace,
                                                   std::function<void()> onEnd,
                                                   std::shared_ptr<PocketSphinxModel> model = nullptr,
                                                   std::shared_ptr<RecognizerProgress> progress = nullptr,
                                                   std::shared_ptr<const SpeechServerChoice> choice = nullptr);

} // namespace speech
} // namespace orv
