#include "speech/pocketsphinx/PocketSphinxTranscriber.h"

#include <pocketsphinx.h>

namespace orv {

namespace {

Duration samplesToTime(qint64 samples)
{
    return std::chrono::duration_cast<Duration>(
        std::chrono::duration<double>(double(samples) / PocketSphinxModel::sampleRate));
}

QString hypothesis(ps_decoder_t *decoder)
{
    qint32 score = 0;
    const char *text = ps_get_hyp(decoder, &score);
    return text ? QString::fromUtf8(text).trimmed() : QString();
}

} // namespace

PocketSphinxTranscriber::PocketSphinxTranscriber(Scheduler &scheduler, std::shared_ptr<PocketSphinxModel> model)
    : m_scheduler(scheduler), m_model(std::move(model)),
      m_results(std::make_shared<TranscriptionResultStream>(scheduler))
{}

PocketSphinxTranscriber::~PocketSphinxTranscriber()
{
    m_cancelled = true;
    if (m_input)
        m_input->interrupt();
    if (m_thread.joinable())
        m_thread.join();
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
    auto model = m_model;
    co_return co_await model->whenLoaded();
}

Expected<void, SpeechEngineError> PocketSphinxTranscriber::start(std::shared_ptr<AnalyzerInputStream> input)
{
    if (m_thread.joinable())
        return {};
    m_input = input;
    m_thread = std::thread([this, input] { decode(input); });
    return {};
}

void PocketSphinxTranscriber::post(TranscriptionResult result)
{
    auto results = m_results;
    m_scheduler.post([results, result = std::move(result)] { results->push(result); });
}

void PocketSphinxTranscriber::end(Expected<void, SpeechEngineError> outcome)
{
    auto results = m_results;
    auto ended = m_ended;
    m_scheduler.post([results, ended, outcome] {
        if (outcome)
            results->finish();
        else
            results->fail(outcome.error());
        ended.resolve(outcome);
    });
}

void PocketSphinxTranscriber::decode(std::shared_ptr<AnalyzerInputStream> input)
{
    std::lock_guard guard(m_model->decoderLock());
    ps_decoder_t *decoder = m_model->decoder();
    if (!decoder) {
        end(unexpected(SpeechEngineError{SpeechEngineError::Kind::platform,
                                         QStringLiteral("The PocketSphinx model is not loaded.")}));
        return;
    }
    m_addedWords = m_model->addWords(m_contextualStrings);
    if (ps_start_utt(decoder) < 0) {
        end(unexpected(SpeechEngineError{SpeechEngineError::Kind::platform,
                                         QStringLiteral("PocketSphinx could not start listening.")}));
        return;
    }

    qint64 fed = 0;
    bool inUtterance = false;
    qint64 utteranceStart = 0;
    qint64 lastClosed = 0;
    QString lastVolatile;
    auto closeUtterance = [&] {
        ps_end_utt(decoder);
        const QString text = hypothesis(decoder);
        if (!text.isEmpty())
            post(TranscriptionResult{text, samplesToTime(utteranceStart), samplesToTime(fed), true});
        inUtterance = false;
        lastClosed = fed;
        lastVolatile.clear();
    };

    while (std::optional<AnalyzerInput> chunk = input->next()) {
        if (m_cancelled)
            break;
        if (chunk->samples.empty())
            continue;
        ps_process_raw(decoder, chunk->samples.data(), chunk->samples.size(), FALSE, FALSE);
        const qint64 before = fed;
        fed += qint64(chunk->samples.size());
        const bool speaking = ps_get_in_speech(decoder);
        if (speaking && !inUtterance) {
            inUtterance = true;
            utteranceStart = before;
        }
        if (!inUtterance)
            continue;
        if (!speaking) {
            closeUtterance();
            ps_start_utt(decoder);
            continue;
        }
        const QString text = hypothesis(decoder);
        if (!text.isEmpty() && text != lastVolatile) {
            lastVolatile = text;
            post(TranscriptionResult{text, samplesToTime(utteranceStart), samplesToTime(fed), false});
        }
    }
    if (m_cancelled) {
        ps_end_utt(decoder); // leaves the decoder ready for the next session
        end(unexpected(SpeechEngineError{SpeechEngineError::Kind::cancelled, {}}));
        return;
    }
    if (inUtterance) {
        closeUtterance();
    } else {
        ps_end_utt(decoder);
        // Speech the detector never confirmed may still have been decoded.
        const QString text = hypothesis(decoder);
        if (!text.isEmpty())
            post(TranscriptionResult{text, samplesToTime(lastClosed), samplesToTime(fed), true});
    }
    end({});
}

Task<Expected<void, SpeechEngineError>> PocketSphinxTranscriber::finalizeAndFinishThroughEndOfInput()
{
    if (!m_thread.joinable()) {
        m_results->finish();
        m_ended.resolve(Expected<void, SpeechEngineError>());
    }
    auto ended = m_ended;
    co_return co_await ended;
}

Task<void> PocketSphinxTranscriber::cancelAndFinishNow()
{
    m_cancelled = true;
    if (!m_thread.joinable()) {
        m_results->finish();
        m_ended.resolve(Expected<void, SpeechEngineError>());
        co_return;
    }
    m_input->interrupt();
    auto ended = m_ended;
    co_await ended;
}

} // namespace orv
