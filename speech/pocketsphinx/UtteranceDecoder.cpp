#include "speech/pocketsphinx/UtteranceDecoder.h"

#include "speech/pocketsphinx/PocketSphinxModel.h"

#include <QRegularExpression>

#include <pocketsphinx.h>

namespace orv {

namespace {

Duration samplesToTime(qint64 samples)
{
    return std::chrono::duration_cast<Duration>(
        std::chrono::duration<double>(double(samples) / PocketSphinxModel::sampleRate));
}

} // namespace

UtteranceDecoder::UtteranceDecoder(ps_decoder_s *decoder, Emit emit) : m_decoder(decoder), m_emit(std::move(emit)) {}

bool UtteranceDecoder::begin()
{
    return ps_start_utt(m_decoder) >= 0;
}

QString UtteranceDecoder::hypothesis() const
{
    qint32 score = 0;
    const char *text = ps_get_hyp(m_decoder, &score);
    return text ? PocketSphinxModel::spokenForm(QString::fromUtf8(text).trimmed()) : QString();
}

QString UtteranceDecoder::punctuate(const QString &words, bool capitalize, bool fullStop)
{
    static const QRegularExpression pronoun(QStringLiteral("\\bi\\b"));
    QString text = words;
    text.replace(pronoun, QStringLiteral("I"));
    if (capitalize && !text.isEmpty())
        text[0] = text[0].toUpper();
    if (fullStop && !text.isEmpty() && !text.endsWith(QLatin1Char('.')))
        text.append(QLatin1Char('.'));
    return text;
}

void UtteranceDecoder::emitFinal(TranscriptionResult result)
{
    if (!result.text.isEmpty())
        m_lastFinal = result;
    m_emit(result);
}

void UtteranceDecoder::feed(const qint16 *samples, std::size_t count)
{
    if (count == 0)
        return;
    ps_process_raw(m_decoder, samples, count, FALSE, FALSE);
    const qint64 before = m_fed;
    m_fed += qint64(count);
    const bool speaking = ps_get_in_speech(m_decoder);
    if (speaking && !m_inUtterance) {
        m_inUtterance = true;
        m_utteranceStart = before;
    }
    if (!m_inUtterance)
        return;
    if (!speaking) {
        closeUtterance(samplesToTime(m_fed));
        ps_start_utt(m_decoder);
        return;
    }
    const QString text = hypothesis();
    if (!text.isEmpty() && text != m_lastVolatile) {
        m_lastVolatile = text;
        m_emit(TranscriptionResult{punctuate(text, !m_lastFinal, false), samplesToTime(m_utteranceStart),
                                   samplesToTime(m_fed), false});
    }
}

void UtteranceDecoder::closeUtterance(Duration end)
{
    ps_end_utt(m_decoder); // the full search of the utterance runs here
    const QString text = hypothesis();
    // An empty final result still goes out when a volatile one did: it takes that text back.
    if (!text.isEmpty() || !m_lastVolatile.isEmpty())
        emitFinal(
            TranscriptionResult{punctuate(text, !m_lastFinal, false), samplesToTime(m_utteranceStart), end, true});
    m_inUtterance = false;
    m_lastClosed = m_fed;
    m_lastVolatile.clear();
}

void UtteranceDecoder::finish()
{
    if (m_inUtterance) {
        closeUtterance(samplesToTime(m_fed));
    } else {
        ps_end_utt(m_decoder);
        // Speech the detector never confirmed may still have been decoded.
        const QString text = hypothesis();
        if (!text.isEmpty())
            emitFinal(TranscriptionResult{punctuate(text, !m_lastFinal, false), samplesToTime(m_lastClosed),
                                          samplesToTime(m_fed), true});
    }
    // The dictation ends with its last words: the same range again, now with the full stop.
    if (m_lastFinal) {
        TranscriptionResult last = *m_lastFinal;
        last.text = punctuate(last.text, false, true);
        if (last.text != m_lastFinal->text)
            m_emit(last);
    }
}

void UtteranceDecoder::abandon()
{
    ps_end_utt(m_decoder);
}

} // namespace orv
