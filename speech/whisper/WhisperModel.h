#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "base/Task.h"
#include "speech/PostGate.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct whisper_context;

namespace orv {

// A whisper.cpp model file, loaded once on a worker thread of its own, which then decodes the requests
// of every session one after the other. The answers reach the main thread through the model's gate:
// when the model goes it closes the gate, aborts the decoding under way and joins its thread, so no
// answer arrives after it. A request that is cancelled aborts whisper.cpp's computation at its next step.
class WhisperModel
{
public:
    struct Request
    {
        std::vector<float> samples; // 16 kHz mono
        QString prompt;             // spellings to condition on
        QString language;           // ISO 639-1 code; empty lets a multilingual model detect it
    };
    // The text, or a sentence saying why there is none (empty for a cancelled request).
    using Answer = Expected<QString, QString>;

    static constexpr int sampleRate = 16000;

    // threads 0: one per core.
    WhisperModel(Scheduler &scheduler, QString path, int threads = 0);
    ~WhisperModel();
    WhisperModel(const WhisperModel &) = delete;
    WhisperModel &operator=(const WhisperModel &) = delete;

    const QString &path() const { return m_path; }
    // Starts loading on the worker thread, once.
    void loadInBackground();
    // Completes on the main thread once loaded, or with the sentence saying why the file cannot be used.
    Task<Expected<void, QString>> whenLoaded();
    // After the load: whether the model knows more than English.
    bool isMultilingual() const { return m_multilingual.load(); }

    // Queues a decoding; the answer comes on the main thread. Setting *cancelled aborts it.
    AsyncValue<Answer> decode(Request request, std::shared_ptr<std::atomic<bool>> cancelled);
    // Runs on the worker thread before each decoding, with its cancel flag (tests hold a decoding there).
    void setBeforeDecode(std::function<void(const std::atomic<bool> &)> hook);

    // The encoder's context for audio of this many samples: whisper.cpp encodes a 30 s window unless
    // told less, so a short utterance costs a fraction of it. 50 frames a second, with a margin.
    static int audioContextFor(std::size_t samples);
    // Checks the file's header before whisper.cpp reads it: the sentence saying why it is no model.
    static Expected<void, QString> checkFile(const QString &path);

private:
    struct Job
    {
        Request request;
        std::shared_ptr<std::atomic<bool>> cancelled;
        AsyncValue<Answer> answer;
    };
    void run();
    void load();
    Answer decodeNow(Job &job);
    void answer(const Job &job, Answer result);

    QString m_path;
    int m_threads;
    std::shared_ptr<PostGate> m_gate;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;                                        // under m_lock
    std::shared_ptr<std::atomic<bool>> m_current;                  // the running job's flag, under m_lock
    std::function<void(const std::atomic<bool> &)> m_beforeDecode; // under m_lock
    bool m_stopping = false;                                       // under m_lock
    std::once_flag m_started;
    std::thread m_worker;
    whisper_context *m_context = nullptr; // worker thread only
    std::atomic<bool> m_multilingual{false};
    // The load's outcome, resolved on the main thread.
    AsyncValue<Expected<void, QString>> m_loaded;
};

} // namespace orv
