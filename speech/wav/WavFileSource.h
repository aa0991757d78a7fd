#pragma once

#include "speech/AbstractAudioSource.h"
#include "speech/RecognizerProgress.h"
#include "speech/wav/WavFile.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace orv {

// Plays a decoded WAV file into the tap like a microphone, on its own thread: at real-time pace, as fast
// as the tap takes it, or no faster than the recognizer consumes it (so that a long file does not pile
// up in front of it and only the tail is left when the input ends). onEnd is called on that thread
// after the last buffer.
class WavFileSource final : public AbstractAudioSource
{
public:
    enum class Pace
    {
        realTime,
        asFastAsPossible,
        followRecognizer // needs progress; without it, as fast as possible
    };
    // How far the file may run ahead of the recognizer.
    static constexpr Duration maxLead = std::chrono::milliseconds(500);

    WavFileSource(std::shared_ptr<const WavAudio> audio,
                  Pace pace,
                  std::function<void()> onEnd = {},
                  std::shared_ptr<const RecognizerProgress> progress = nullptr);
    ~WavFileSource() override;

    AudioFormat inputFormat() override;
    void installTap(quint32 framesPerBuffer, const AudioFormat &format, TapHandler handler) override;
    void removeTap() override;
    Expected<void, SpeechEngineError> start() override;
    void stop() override;

private:
    void play();

    std::shared_ptr<const WavAudio> m_audio;
    Pace m_pace;
    std::function<void()> m_onEnd;
    std::shared_ptr<const RecognizerProgress> m_progress;
    quint32 m_framesPerBuffer = 0;
    std::mutex m_tapLock; // held while the tap runs, so removeTap() waits for it
    TapHandler m_tap;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace orv
