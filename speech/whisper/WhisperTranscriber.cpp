#include "speech/whisper/WhisperTranscriber.h"

#include "base/Scheduler.h"
#include "speech/server/SpeechServer.h"

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

WhisperTranscriber::WhisperTranscriber(
    Scheduler &scheduler, ModelSource model, QString language, LiveFactory makeLive, QString liveName)
    : m_scheduler(scheduler), m_modelSource(std::move(model)), m_language(SpeechServer::languageCode(language)),
      m_makeLive(std::move(makeLive)), m_liveName(std::move(liveName)),
      m_results(std::make_shared<TranscriptionResultStream>(scheduler))
{}

WhisperTranscriber::~WhisperTranscriber()
{
    m_poll.reset();
    for (Utterance &utterance : m_utterances)
        *utterance.cancelled = true;
    m_forward.cancel();
    for (Task<> &answer : m_answers)
        answer.cancel();
}

std::optional<AudioFormat> WhisperTranscriber::bestAudioFormat(const AudioFormat &input)
{
    if (!input.isUsable())
        return std::nullopt;
    // Whisper's rate, which PocketSphinx takes as well.
    return AudioFormat{double(WhisperModel::sampleRate), 1, AudioFormat::SampleType::int16};
}

Expected<void, SpeechEngineError> WhisperTranscriber::setContextualStrings(const QStringList &strings)
{
    m_contextualStrings = strings;
    if (m_prompt.isEmpty())
        m_prompt = SpeechServer::prompt(strings);
    return {};
}

void WhisperTranscriber::setRecentContext(const QStringList &strings)
{
    m_prompt = SpeechServer::prompt(strings);
}

void WhisperTranscriber::notify(const QString &text)
{
    if (onNotice)
        onNotice(text);
}

qsizetype WhisperTranscriber::sampleAt(Duration time) const
{
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time).count();
    return std::clamp<qsizetype>(qsizetype(micros * WhisperModel::sampleRate / 1000000), 0, m_audio.size());
}

// --- the session's start

Task<Expected<void, SpeechEngineError>> WhisperTranscriber::prepare(AudioFormat format)
{
    std::shared_ptr<WhisperTranscriber> self = shared_from_this();
    m_live = m_makeLive ? m_makeLive() : nullptr;
    if (!m_live)
        co_return unexpected(failure(QStringLiteral("%1 is not available.").arg(m_liveName)));
    m_live->onNotice = [weak = weak_from_this()](const QString &text) {
        if (auto self = weak.lock())
            self->notify(text);
    };
    if (auto context = m_live->setContextualStrings(m_contextualStrings); !context)
        co_return context;
    std::shared_ptr<AbstractTranscriber> live = m_live;
    if (auto ready = co_await live->prepare(format); !ready)
        co_return ready;
    if (m_cancelled)
        co_return unexpected(cancellation());

    m_model = m_modelSource ? m_modelSource() : nullptr;
    std::shared_ptr<WhisperModel> model = m_model;
    QString missing = missingModel ? missingModel() : QString();
    if (missing.isEmpty())
        missing = QStringLiteral("No Whisper model is installed.");
    Expected<void, QString> loaded = unexpected(missing);
    if (model)
        loaded = co_await model->whenLoaded();
    if (m_cancelled)
        co_return unexpected(cancellation());
    m_whisperReady = loaded.hasValue();
    if (!loaded)
        notify(QStringLiteral("%1 %2 transcribes this dictation.").arg(loaded.error(), m_liveName));
    co_return Outcome();
}

Expected<void, SpeechEngineError> WhisperTranscriber::start(std::shared_ptr<AnalyzerInputStream> input)
{
    if (m_input)
        return {};
    if (!m_live)
        return unexpected(failure(QStringLiteral("The recognizer was not prepared.")));
    m_liveInput = std::make_shared<AnalyzerInputStream>();
    if (auto started = m_live->start(m_liveInput); !started)
        return started;
    m_input = std::move(input);
    m_forward = forwardLive(weak_from_this(), m_live->results());
    m_poll = std::make_unique<RepeatingTimer>(m_scheduler, pollInterval, [this] { drain(); });
    return {};
}

// --- listening

void WhisperTranscriber::drain()
{
    if (!m_input || !m_liveInput)
        return;
    while (std::optional<AnalyzerInput> chunk = m_input->tryNext()) {
        if (m_whisperReady)
            chunk->appendTo(m_audio, maxSamples);
        m_liveInput->yield(std::move(*chunk));
    }
}

Task<> WhisperTranscriber::forwardLive(Weak weak, std::shared_ptr<TranscriptionResultStream> live)
{
    for (;;) {
        const auto next = co_await live->next();
        std::shared_ptr<WhisperTranscriber> self = weak.lock();
        if (!self || self->m_cancelled)
            co_return;
        if (next && next.value()) {
            self->onLive(*next.value());
            continue;
        }
        if (!next)
            self->m_liveFailure = next.error();
        self->m_liveEnded = true;
        self->checkFinished();
        co_return;
    }
}

void WhisperTranscriber::onLive(const TranscriptionResult &result)
{
    if (!m_whisperReady || !result.isFinal) {
        m_results->push(result);
        return;
    }
    // A closed utterance: its text shows as provisional until Whisper's replaces it. The live recognizer
    // may send the same utterance again (with its full stop at the end).
    for (Utterance &utterance : m_utterances) {
        if (utterance.start < result.end && result.start < utterance.end) {
            utterance.liveText = result.text;
            if (!utterance.done)
                m_results->push(TranscriptionResult{result.text, utterance.start, utterance.end, false});
            return;
        }
    }
    m_utterances.push_back(Utterance{result.start, result.end, result.text});
    if (m_overdue) { // past the time limit: no more waiting for Whisper
        keepLive(m_utterances.back());
        return;
    }
    m_results->push(TranscriptionResult{result.text, result.start, result.end, false});
    submit(m_utterances.size() - 1);
}

void WhisperTranscriber::submit(std::size_t index)
{
    const Utterance &utterance = m_utterances[index];
    const qsizetype from = sampleAt(utterance.start - margin);
    const qsizetype to = sampleAt(utterance.end + margin);
    WhisperModel::Request request;
    request.samples.reserve(std::size_t(std::max<qsizetype>(0, to - from)));
    for (qsizetype at = from; at < to; ++at)
        request.samples.push_back(float(m_audio[std::size_t(at)]) / 32768.0f);
    request.prompt = m_prompt;
    request.language = m_language;
    m_answers.push_back(awaitAnswer(weak_from_this(), index, m_model->decode(std::move(request), utterance.cancelled)));
}

Task<> WhisperTranscriber::awaitAnswer(Weak weak, std::size_t index, AsyncValue<WhisperModel::Answer> answer)
{
    const WhisperModel::Answer result = co_await answer;
    std::shared_ptr<WhisperTranscriber> self = weak.lock();
    if (!self || self->m_cancelled)
        co_return;
    Utterance &utterance = self->m_utterances[index];
    if (utterance.done)
        co_return; // the time limit gave it the live text already
    if (result) {
        utterance.done = true;
        ++self->m_decoded;
        self->m_results->push(TranscriptionResult{result.value(), utterance.start, utterance.end, true});
    } else {
        if (!result.error().isEmpty() && !self->m_failedNoticeSent) {
            self->m_failedNoticeSent = true;
            self->notify(QStringLiteral("%1 %2's text is kept.").arg(result.error(), self->m_liveName));
        }
        self->keepLive(utterance);
    }
    self->checkFinished();
}

void WhisperTranscriber::keepLive(Utterance &utterance)
{
    utterance.done = true;
    *utterance.cancelled = true;
    ++m_keptLive;
    m_results->push(TranscriptionResult{utterance.liveText, utterance.start, utterance.end, true});
}

void WhisperTranscriber::checkFinished()
{
    if (!m_finalizing || !m_liveEnded)
        return;
    if (std::all_of(m_utterances.begin(), m_utterances.end(), [](const Utterance &u) { return u.done; }))
        m_allAnswered.resolve(true);
}

// --- the end

Task<Expected<void, SpeechEngineError>> WhisperTranscriber::finalizeAndFinishThroughEndOfInput()
{
    std::shared_ptr<WhisperTranscriber> self = shared_from_this();
    if (m_cancelled)
        co_return unexpected(cancellation());
    if (m_finalizing || m_results->isEnded() || !m_live)
        co_return Outcome();
    m_finalizing = true;
    m_poll.reset();
    drain(); // the engine ended the input before asking
    if (m_liveInput)
        m_liveInput->finish();
    // Counted from the release: the live recognizer's own finishing is part of the wait.
    const Scheduler::TimerId limit = m_scheduler.schedule(finalTimeLimit, [weak = weak_from_this()] {
        std::shared_ptr<WhisperTranscriber> self = weak.lock();
        if (!self || self->m_cancelled)
            return;
        self->m_overdue = true;
        int late = 0;
        for (Utterance &utterance : self->m_utterances) {
            if (!utterance.done) {
                self->keepLive(utterance);
                ++late;
            }
        }
        if (late)
            self->notify(
                QStringLiteral("Whisper did not finish in time; %1's text ends this dictation.").arg(self->m_liveName));
        self->checkFinished();
    });
    std::shared_ptr<AbstractTranscriber> live = m_live;
    const Outcome liveOutcome = co_await live->finalizeAndFinishThroughEndOfInput();
    if (m_cancelled)
        co_return unexpected(cancellation());
    if (!liveOutcome) {
        m_scheduler.cancel(limit);
        m_results->fail(liveOutcome.error());
        co_return liveOutcome;
    }

    checkFinished();
    AsyncValue<bool> answered = m_allAnswered;
    co_await answered;
    m_scheduler.cancel(limit);
    if (m_cancelled)
        co_return unexpected(cancellation());
    if (m_liveFailure) {
        m_results->fail(*m_liveFailure);
        co_return unexpected(*m_liveFailure);
    }
    m_audio = {};
    m_results->finish();
    co_return Outcome();
}

Task<void> WhisperTranscriber::cancelAndFinishNow()
{
    std::shared_ptr<WhisperTranscriber> self = shared_from_this();
    if (m_cancelled)
        co_return; // the watchdog's cancel, then the engine's
    m_cancelled = true;
    m_poll.reset();
    for (Utterance &utterance : m_utterances)
        *utterance.cancelled = true;
    m_audio = {};
    if (!m_results->isEnded())
        m_results->fail(cancellation());
    m_allAnswered.resolve(false);
    if (std::shared_ptr<AbstractTranscriber> live = m_live)
        co_await live->cancelAndFinishNow();
}

} // namespace orv
