#include "speech/server/SpeechServerTranscriber.h"

#include "base/Scheduler.h"

namespace orv {

namespace {

SpeechEngineError cancellation()
{
    return SpeechEngineError{SpeechEngineError::Kind::cancelled, {}};
}

SpeechEngineError failure(const QString &sentence)
{
    return SpeechEngineError{SpeechEngineError::Kind::platform, sentence};
}

} // namespace

SpeechServerTranscriber::SpeechServerTranscriber(Scheduler &scheduler,
                                                 std::shared_ptr<SpeechServer> server,
                                                 QString locale,
                                                 FallbackFactory makeFallback,
                                                 QString fallbackName)
    : m_scheduler(scheduler), m_server(std::move(server)), m_language(SpeechServer::languageCode(locale)),
      m_makeFallback(std::move(makeFallback)), m_fallbackName(std::move(fallbackName)),
      m_results(std::make_shared<TranscriptionResultStream>(scheduler))
{}

SpeechServerTranscriber::~SpeechServerTranscriber()
{
    m_poll.reset();
    m_live.cancel();
    m_final.cancel();
}

std::optional<AudioFormat> SpeechServerTranscriber::bestAudioFormat(const AudioFormat &input)
{
    if (!input.isUsable())
        return std::nullopt;
    // The servers' own rate; the fallback recognizer takes the same.
    return AudioFormat{double(SpeechServer::sampleRate), 1, AudioFormat::SampleType::int16};
}

Expected<void, SpeechEngineError> SpeechServerTranscriber::setContextualStrings(const QStringList &strings)
{
    m_contextualStrings = strings;
    if (m_prompt.isEmpty())
        m_prompt = SpeechServer::prompt(strings);
    return {};
}

void SpeechServerTranscriber::setRecentContext(const QStringList &strings)
{
    m_prompt = SpeechServer::prompt(strings);
}

void SpeechServerTranscriber::notify(const QString &text)
{
    if (onNotice)
        onNotice(text);
}

Duration SpeechServerTranscriber::audioDuration(qsizetype samples) const
{
    return std::chrono::duration_cast<Duration>(std::chrono::seconds(samples)) / SpeechServer::sampleRate;
}

void SpeechServerTranscriber::freeAudio()
{
    m_audio = std::make_shared<std::vector<qint16>>(); // a request under way keeps its own copy
}

// --- the session's start

Task<Expected<void, SpeechEngineError>> SpeechServerTranscriber::prepare(AudioFormat format)
{
    std::shared_ptr<SpeechServerTranscriber> self = shared_from_this();
    m_format = format;
    std::shared_ptr<SpeechServer> server = m_server;
    const auto probed = co_await server->probe();
    if (probed)
        co_return Outcome();
    if (probed.error().cancelled || m_cancelled)
        co_return unexpected(cancellation());

    // Nothing answers: this session is the fallback's from start to end.
    m_delegate = m_makeFallback ? m_makeFallback() : nullptr;
    if (!m_delegate)
        co_return unexpected(failure(probed.error().message));
    if (auto context = m_delegate->setContextualStrings(m_contextualStrings); !context)
        co_return context;
    notify(QStringLiteral("Speech server not answering — using %1").arg(m_fallbackName));
    std::shared_ptr<AbstractTranscriber> delegate = m_delegate;
    co_return co_await delegate->prepare(format);
}

std::shared_ptr<TranscriptionResultStream> SpeechServerTranscriber::results()
{
    return m_delegate ? m_delegate->results() : m_results;
}

Expected<void, SpeechEngineError> SpeechServerTranscriber::start(std::shared_ptr<AnalyzerInputStream> input)
{
    if (m_delegate)
        return m_delegate->start(std::move(input));
    if (m_input)
        return {};
    m_input = std::move(input);
    m_poll = std::make_unique<RepeatingTimer>(m_scheduler, pollInterval, [this] { drain(); });
    return {};
}

// --- listening

void SpeechServerTranscriber::drain()
{
    if (!m_input)
        return;
    while (std::optional<AnalyzerInput> chunk = m_input->tryNext()) {
        chunk->appendTo(*m_audio, maxSamples);
    }
    const qsizetype liveSamples =
        qsizetype(std::chrono::duration<double>(liveInterval).count() * SpeechServer::sampleRate);
    const bool requestUnderWay = m_live.isValid() && !m_live.isDone();
    if (m_liveText && !m_finalizing && !m_cancelled && !requestUnderWay &&
        qsizetype(m_audio->size()) - m_sentForLive >= liveSamples)
        sendLive();
}

void SpeechServerTranscriber::sendLive()
{
    m_sentForLive = qsizetype(m_audio->size());
    m_live =
        liveRequest(weak_from_this(), m_server->transcribe(m_audio, m_sentForLive, m_prompt, m_language, liveTimeLimit),
                    m_sentForLive);
}

Task<>
SpeechServerTranscriber::liveRequest(Weak weak, Task<Expected<QString, SpeechServer::Failure>> request, qsizetype count)
{
    const auto answer = co_await request;
    std::shared_ptr<SpeechServerTranscriber> self = weak.lock();
    // A failed live request only means the live text updates less often.
    if (!self || self->m_finalizing || self->m_cancelled || !answer)
        co_return;
    self->m_results->push(TranscriptionResult{answer.value(), Duration::zero(), self->audioDuration(count), false});
}

// --- the end

Task<Expected<void, SpeechEngineError>> SpeechServerTranscriber::finalizeAndFinishThroughEndOfInput()
{
    std::shared_ptr<SpeechServerTranscriber> self = shared_from_this();
    if (m_delegate) {
        std::shared_ptr<AbstractTranscriber> delegate = m_delegate;
        co_return co_await delegate->finalizeAndFinishThroughEndOfInput();
    }
    if (m_cancelled)
        co_return unexpected(cancellation());
    if (m_finalizing || m_results->isEnded())
        co_return Outcome();
    m_finalizing = true;
    m_poll.reset();
    m_live.cancel();
    drain(); // the engine ended the input before asking
    if (m_audio->empty()) {
        m_results->finish();
        co_return Outcome();
    }

    const qsizetype count = qsizetype(m_audio->size());
    m_final = m_server->transcribe(m_audio, count, m_prompt, m_language, finalTimeLimit);
    Task<Expected<QString, SpeechServer::Failure>> request = m_final;
    const auto answer = co_await request;
    if (m_cancelled || (!answer && answer.error().cancelled))
        co_return unexpected(cancellation());
    if (answer) {
        freeAudio();
        m_results->push(TranscriptionResult{answer.value(), Duration::zero(), audioDuration(count), true});
        m_results->finish();
        co_return Outcome();
    }
    co_return co_await decodeWithFallback(answer.error().message);
}

Task<Expected<void, SpeechEngineError>> SpeechServerTranscriber::decodeWithFallback(QString why)
{
    std::shared_ptr<SpeechServerTranscriber> self = shared_from_this();
    std::shared_ptr<AbstractTranscriber> fallback = m_makeFallback ? m_makeFallback() : nullptr;
    if (!fallback) {
        m_results->fail(failure(why));
        co_return unexpected(failure(why));
    }
    notify(QStringLiteral("%1 %2 transcribed this dictation instead.").arg(why, m_fallbackName));
    m_rescue = fallback;
    (void)fallback->setContextualStrings(m_contextualStrings);
    auto prepared = co_await fallback->prepare(m_format);
    if (m_cancelled)
        co_return unexpected(cancellation());
    if (!prepared) {
        m_results->fail(prepared.error());
        co_return prepared;
    }

    // The kept audio, in the tenth-of-a-second pieces the microphone delivers.
    auto input = std::make_shared<AnalyzerInputStream>();
    const qsizetype piece = SpeechServer::sampleRate / 10;
    for (qsizetype at = 0; at < qsizetype(m_audio->size()); at += piece) {
        const auto begin = m_audio->begin() + at;
        input->yield(
            AnalyzerInput{std::vector<qint16>(begin, begin + std::min(piece, qsizetype(m_audio->size()) - at))});
    }
    input->finish();
    freeAudio();
    if (auto started = fallback->start(input); !started) {
        m_results->fail(started.error());
        co_return started;
    }
    Task<Outcome> finished = fallback->finalizeAndFinishThroughEndOfInput();
    std::shared_ptr<TranscriptionResultStream> results = fallback->results();
    for (;;) {
        auto next = co_await results->next();
        if (m_cancelled)
            co_return unexpected(cancellation());
        if (!next) {
            m_results->fail(next.error());
            co_return unexpected(next.error());
        }
        if (!next.value())
            break;
        m_results->push(*next.value());
    }
    const Outcome outcome = co_await finished;
    if (m_cancelled)
        co_return unexpected(cancellation());
    if (!outcome)
        m_results->fail(outcome.error());
    else
        m_results->finish();
    co_return outcome;
}

Task<void> SpeechServerTranscriber::cancelAndFinishNow()
{
    std::shared_ptr<SpeechServerTranscriber> self = shared_from_this();
    if (m_delegate) {
        std::shared_ptr<AbstractTranscriber> delegate = m_delegate;
        co_await delegate->cancelAndFinishNow();
        co_return;
    }
    if (m_cancelled)
        co_return; // the watchdog's cancel, then the engine's
    m_cancelled = true;
    m_poll.reset();
    m_live.cancel();
    m_final.cancel();
    freeAudio();
    if (!m_results->isEnded())
        m_results->fail(cancellation());
    if (std::shared_ptr<AbstractTranscriber> rescue = m_rescue)
        co_await rescue->cancelAndFinishNow();
}

} // namespace orv
