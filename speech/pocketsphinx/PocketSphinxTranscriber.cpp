#include "speech/pocketsphinx/PocketSphinxTranscriber.h"

#include "speech/pocketsphinx/UtteranceDecoder.h"

namespace orv {

namespace {

SpeechEngineError failure(const char *sentence)
{
    return SpeechEngineError{SpeechEngineError::Kind::platform, QString::fromUtf8(sentence)};
}

} // namespace

PocketSphinxTranscriber::PocketSphinxTranscriber(Scheduler &scheduler,
                                                 std::weak_ptr<PocketSphinxModel> model,
                                                 std::shared_ptr<RecognizerProgress> progress)
    : m_model(std::move(model)), m_results(std::make_shared<TranscriptionResultStream>(scheduler)),
      m_progress(std::move(progress))
{}

PocketSphinxTranscriber::~PocketSphinxTranscriber()
{
    // The decoding stops at its next chunk; the model joins its thread.
    if (m_input)
        m_input->interrupt();
}

std::optional<AudioFormat> PocketSphinxTranscriber::bestAudioFormat(const AudioFormat &input)
{
    if (!input.isUsable())
        return std::nullopt;
    return AudioFormat{double(PocketSphinxModel::sampleRate), 1, AudioFormat::SampleType::int16};
}

Expected<void, SpeechEngineError> PocketSphinxTranscriber::setContextualStrings(const QStringList &strings)
{
    m_contextualStrings = strings;
    return {};
}

Task<Expected<void, SpeechEngineError>> PocketSphinxTranscriber::prepare(AudioFormat)
{
    std::shared_ptr<PocketSphinxModel> model = m_model.lock();
    if (!model)
        co_return unexpected(failure("The PocketSphinx model is not loaded."));
    Task<Outcome> loaded = model->whenLoaded();
    model.reset(); // not kept alive across the wait
    co_return co_await loaded;
}

Expected<void, SpeechEngineError> PocketSphinxTranscriber::start(std::shared_ptr<AnalyzerInputStream> input)
{
    if (m_input)
        return {};
    std::shared_ptr<PocketSphinxModel> model = m_model.lock();
    if (!model)
        return unexpected(failure("The PocketSphinx model is not loaded."));
    m_input = input;
    Session session{model.get(), model->gate(),       input,      m_results,
                    m_ended,     m_contextualStrings, m_progress, m_addedWords};
    model->startDecoding(
        input, [session] { decode(session); },
        [ended = m_ended, results = m_results, posted = session.endPosted] {
            if (posted->load())
                return;
            results->abandon();
            ended.abandon();
        });
    return {};
}

void PocketSphinxTranscriber::end(const Session &session, Outcome outcome)
{
    *session.endPosted = session.gate->post([results = session.results, ended = session.ended, outcome] {
        if (outcome)
            results->finish();
        else
            results->fail(outcome.error());
        ended.resolve(outcome);
    });
}

void PocketSphinxTranscriber::endHere(Outcome outcome)
{
    if (outcome)
        m_results->finish();
    else
        m_results->fail(outcome.error());
    m_ended.resolve(outcome);
}

void PocketSphinxTranscriber::decode(const Session &session)
{
    std::lock_guard guard(session.model->decoderLock());
    if (!session.model->decoder()) {
        end(session, unexpected(failure("The PocketSphinx model is not loaded.")));
        return;
    }
    *session.addedWords = session.model->addWords(session.contextualStrings);
    if (session.progress)
        session.progress->restart();
    std::shared_ptr<PostGate> gate = session.gate;
    std::shared_ptr<TranscriptionResultStream> results = session.results;
    UtteranceDecoder decoding(session.model->decoder(), [gate, results](const TranscriptionResult &result) {
        gate->post([results, result] { results->push(result); });
    });
    if (!decoding.begin()) {
        end(session, unexpected(failure("PocketSphinx could not start listening.")));
        return;
    }
    while (std::optional<AnalyzerInput> chunk = session.input->next()) {
        if (session.input->isInterrupted())
            break;
        decoding.feed(chunk->samples.data(), chunk->samples.size());
        if (session.progress)
            session.progress->advance(std::chrono::duration_cast<Duration>(
                std::chrono::duration<double>(double(chunk->samples.size()) / PocketSphinxModel::sampleRate)));
    }
    if (session.input->isInterrupted()) {
        // A cancel is answered at once; resetting the decoder for the next session can take a moment.
        end(session, unexpected(SpeechEngineError{SpeechEngineError::Kind::cancelled, {}}));
        decoding.abandon();
        return;
    }
    decoding.finish();
    end(session, {});
}

Task<Expected<void, SpeechEngineError>> PocketSphinxTranscriber::finalizeAndFinishThroughEndOfInput()
{
    if (!m_input)
        endHere({});
    auto ended = m_ended;
    co_return co_await ended;
}

Task<void> PocketSphinxTranscriber::cancelAndFinishNow()
{
    if (!m_input) {
        endHere({});
        co_return;
    }
    m_input->interrupt();
    auto ended = m_ended;
    co_await ended;
}

} // namespace orv
