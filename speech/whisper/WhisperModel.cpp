#include "speech/whisper/WhisperModel.h"

#include <whisper.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orv {

namespace {

// whisper.cpp and ggml report on stderr; the application shows its own sentences instead.
void quiet(ggml_log_level, const char *, void *) {}

bool aborted(void *flag)
{
    return static_cast<const std::atomic<bool> *>(flag)->load();
}

} // namespace

WhisperModel::WhisperModel(Scheduler &scheduler, QString path, int threads)
    : m_path(std::move(path)), m_threads(threads > 0 ? threads : std::max(1, int(std::thread::hardware_concurrency()))),
      m_gate(std::make_shared<PostGate>(scheduler))
{}

WhisperModel::~WhisperModel()
{
    m_gate->close();
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
        if (m_current)
            *m_current = true;
        for (Job &job : m_jobs)
            *job.cancelled = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
    // Answers that can no longer come end their waiters.
    for (Job &job : m_jobs)
        job.answer.abandon();
    m_loaded.abandon();
    if (m_context)
        whisper_free(m_context);
}

void WhisperModel::loadInBackground()
{
    std::call_once(m_started, [this] { m_worker = std::thread([this] { run(); }); });
}

Task<Expected<void, QString>> WhisperModel::whenLoaded()
{
    loadInBackground();
    AsyncValue<Expected<void, QString>> loaded = m_loaded;
    co_return co_await loaded;
}

void WhisperModel::setBeforeDecode(std::function<void(const std::atomic<bool> &)> hook)
{
    std::lock_guard guard(m_lock);
    m_beforeDecode = std::move(hook);
}

AsyncValue<WhisperModel::Answer> WhisperModel::decode(Request request, std::shared_ptr<std::atomic<bool>> cancelled)
{
    loadInBackground();
    Job job{std::move(request), std::move(cancelled), {}};
    AsyncValue<Answer> answer = job.answer;
    {
        std::lock_guard guard(m_lock);
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_all();
    return answer;
}

int WhisperModel::audioContextFor(std::size_t samples)
{
    constexpr int full = 1500; // 30 s
    const double seconds = double(samples) / sampleRate;
    if (seconds >= 29.0)
        return 0; // the whole window (whisper.cpp's default)
    // Below about 2.5 s of context the encoder's output degrades; round up to whole 64-frame steps.
    const int frames = int(std::ceil(seconds * 50.0)) + 32;
    return std::clamp((frames + 63) / 64 * 64, 128, full);
}

Expected<void, QString> WhisperModel::checkFile(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return unexpected(QStringLiteral("The Whisper model file %1 cannot be read.").arg(path));
    // The magic, then eleven counts: vocabulary, audio context, state, heads, layers, text context, state,
    // heads, layers, mel bands, weight type.
    const QByteArray header = file.read(4 * 12);
    std::int32_t fields[12] = {};
    if (header.size() == sizeof fields)
        std::memcpy(fields, header.constData(), sizeof fields);
    const bool magic = std::uint32_t(fields[0]) == 0x67676d6cu;
    const bool sane = std::all_of(fields + 1, fields + 11, [](std::int32_t n) { return n > 0 && n < (1 << 20); });
    if (!magic || !sane || fields[3] != fields[7])
        return unexpected(QStringLiteral("%1 is not a Whisper model in ggml format.").arg(path));
    return {};
}

// --- the worker thread

void WhisperModel::run()
{
    load();
    for (;;) {
        Job job;
        std::function<void(const std::atomic<bool> &)> before;
        {
            std::unique_lock guard(m_lock);
            m_changed.wait(guard, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_current = job.cancelled;
            before = m_beforeDecode;
        }
        if (before)
            before(*job.cancelled);
        Answer result = decodeNow(job);
        {
            std::lock_guard guard(m_lock);
            m_current.reset();
        }
        answer(job, std::move(result));
    }
}

void WhisperModel::load()
{
    Expected<void, QString> outcome = checkFile(m_path);
    if (outcome) {
        whisper_log_set(quiet, nullptr);
        whisper_context_params params = whisper_context_default_params();
        params.use_gpu = false;
        m_context = whisper_init_from_file_with_params(QFile::encodeName(m_path).constData(), params);
        if (!m_context)
            outcome = unexpected(QStringLiteral("The Whisper model %1 could not be loaded.").arg(m_path));
        else
            m_multilingual = whisper_is_multilingual(m_context) != 0;
    }
    m_gate->post([loaded = m_loaded, outcome] { loaded.resolve(outcome); });
}

WhisperModel::Answer WhisperModel::decodeNow(Job &job)
{
    if (*job.cancelled)
        return unexpected(QString());
    if (!m_context)
        return unexpected(QStringLiteral("The Whisper model %1 is not loaded.").arg(m_path));
    const Request &request = job.request;
    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = m_threads;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_timestamps = false;
    params.print_special = false;
    params.no_context = true;
    params.single_segment = false;
    params.no_timestamps = true;
    params.audio_ctx = audioContextFor(request.samples.size());
    // Dictation waits for this answer: no second pass at a higher temperature, and a bound on the tokens
    // a short utterance can take (a hallucinating decoder would otherwise run to the text context's end).
    params.temperature_inc = 0.0f;
    params.max_tokens = int(10 * request.samples.size() / sampleRate) + 16;
    params.suppress_blank = true;
    const QByteArray prompt = request.prompt.toUtf8();
    params.initial_prompt = prompt.isEmpty() ? nullptr : prompt.constData();
    const QByteArray language = request.language.toLatin1();
    const bool multilingual = m_multilingual.load();
    params.language = multilingual ? (language.isEmpty() ? "auto" : language.constData()) : "en";
    params.detect_language = false;
    params.abort_callback = aborted;
    params.abort_callback_user_data = job.cancelled.get();

    const int status = whisper_full(m_context, params, request.samples.data(), int(request.samples.size()));
    if (*job.cancelled)
        return unexpected(QString());
    if (status != 0)
        return unexpected(QStringLiteral("Whisper could not decode the audio (error %1).").arg(status));
    QString text;
    const int segments = whisper_full_n_segments(m_context);
    for (int i = 0; i < segments; ++i)
        text += QString::fromUtf8(whisper_full_get_segment_text(m_context, i));
    return text.simplified();
}

void WhisperModel::answer(const Job &job, Answer result)
{
    // An answer dropped unread (its scheduler went away first) still ends the task waiting for it, which
    // would otherwise stay suspended for good.
    struct Delivery
    {
        AsyncValue<Answer> answer;
        ~Delivery() { answer.abandon(); }
    };
    auto delivery = std::make_shared<Delivery>(); // made in place: a moved-from copy would abandon too
    delivery->answer = job.answer;
    m_gate->post([delivery, result = std::move(result)] { delivery->answer.resolve(result); });
}

} // namespace orv
