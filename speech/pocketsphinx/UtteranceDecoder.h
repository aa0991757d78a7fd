#pragma once

#include "speech/TranscriptionResult.h"

#include <QString>

#include <functional>
#include <optional>

struct ps_decoder_s;

namespace orv {

// One session's audio through the decoder as it streams. The decoder's voice activity detector opens and
// closes utterances: the growing hypothesis of the open one is a volatile result, and each utterance is
// searched in full (the flat pass and the lattice's best path) as soon as it closes, while the user may
// still be holding the key, so that the end of a dictation leaves only the open utterance to finish.
// Time ranges count the samples fed. The text gets light punctuation: a capital at the start of the
// dictation, "I" for the pronoun, a full stop at its end.
class UtteranceDecoder
{
public:
    using Emit = std::function<void(const TranscriptionResult &)>;

    // The decoder is used under its owner's lock for the life of this object.
    UtteranceDecoder(ps_decoder_s *decoder, Emit emit);

    // False when the decoder cannot start an utterance.
    bool begin();
    void feed(const qint16 *samples, std::size_t count);
    // End of input: the open utterance's final result, then the full stop.
    void finish();
    // A cancelled session: leaves the decoder ready for the next one and reports nothing.
    void abandon();

    // Capital at the start (when asked), "I" for the pronoun, and the full stop (when asked).
    static QString punctuate(const QString &words, bool capitalize, bool fullStop);

private:
    void closeUtterance(Duration end);
    void emitFinal(TranscriptionResult result);
    QString hypothesis() const;

    ps_decoder_s *m_decoder;
    Emit m_emit;
    qint64 m_fed = 0; // samples
    bool m_inUtterance = false;
    qint64 m_utteranceStart = 0;
    qint64 m_lastClosed = 0;
    QString m_lastVolatile;                         // of the open utterance
    std::optional<TranscriptionResult> m_lastFinal; // the latest final with text, to end with the full stop
};

} // namespace orv
