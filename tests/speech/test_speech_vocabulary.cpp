// Contextual strings as recognizer vocabulary, on a model of its own (added words stay for the life of
// the process, so these tests do not share the recognition tests' model).
#include "tests/speech/SpeechSession.h"
#include "tests/support/SpeechCorpus.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

using Vocabulary = SpokenCorpusTest;

bool heard(const QString &transcript, const QString &name)
{
    return speechCorpus::words(transcript).contains(name.toLower());
}

} // namespace

TEST_F(Vocabulary, namesTheModelLacksAreRecognizedOnceGivenAsContextualStrings)
{
    const auto sentences = speechCorpus::nameSentences();
    const QStringList names = speechCorpus::unknownNames();

    // Without the strings the model cannot spell the name.
    const auto before = SpeechSession::transcribe(speak(sentences[0], 100));
    ASSERT_TRUE(before.transcript.hasValue());
    EXPECT_FALSE(heard(before.transcript.value(), names[0])) << before.transcript.value().toStdString();

    int errors = 0, words = 0;
    for (int i = 0; i < sentences.size(); ++i) {
        const auto outcome = SpeechSession::transcribe(speak(sentences[i], i), names);
        ASSERT_TRUE(outcome.transcript.hasValue()) << outcome.transcript.error().description().toStdString();
        const QString text = outcome.transcript.value();
        EXPECT_TRUE(heard(text, names[i % names.size()])) << text.toStdString();
        errors += speechCorpus::wordErrors(sentences[i].text, text);
        words += int(speechCorpus::words(sentences[i].text).size());
    }
    // Measured: 10 of 10 names, 8.6 % WER (docs/speech.md); the bound allows for other machines.
    EXPECT_LE(double(errors) / words, 0.20) << errors << " errors in " << words << " words";
}

TEST_F(Vocabulary, sessionsWithChangingWordSetsKeepDecoding)
{
    // Each session brings a different set: new names, names already added, known words, case variants,
    // punctuation and words flite cannot spell. Any of them used to crash the language model.
    const auto sentences = speechCorpus::nameSentences();
    const QList<QStringList> sets = {
        {u"Zelvorine"_s, u"hello world"_s},
        {u"Quintavox, Brightwater!"_s, u"kubernetes"_s},
        {},
        {u"Okonkwo"_s, u"OKONKWO"_s, u"Okonkwo's"_s},
        {u"Marvelline-Tosk"_s, u"x42"_s, u"Ünterberg"_s, u"Adebayo"_s},
        {u"Grafana"_s, u"Zelvorine"_s},
    };
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < sets.size(); ++i) {
            const int index = (round * int(sets.size()) + i) % int(sentences.size());
            const auto outcome = SpeechSession::transcribe(speak(sentences[index], index), sets[i]);
            ASSERT_TRUE(outcome.transcript.hasValue()) << outcome.transcript.error().description().toStdString();
            EXPECT_LE(speechCorpus::wordErrors(sentences[index].text, outcome.transcript.value()), 4)
                << sentences[index].text.toStdString() << " → " << outcome.transcript.value().toStdString();
        }
    }
    // A name added in an earlier session stays recognizable.
    const auto later = SpeechSession::transcribe(speak(sentences[7], 7));
    ASSERT_TRUE(later.transcript.hasValue());
    EXPECT_TRUE(heard(later.transcript.value(), u"Okonkwo"_s)) << later.transcript.value().toStdString();

    // More words than the language model has classes for: the rest share one class.
    QStringList many;
    for (int i = 0; i < 140; ++i)
        many.append(u"Vorq"_s + QChar(u'a' + i % 26) + QChar(u'a' + i / 26) + u"tel"_s);
    const auto crowded = SpeechSession::transcribe(speak(sentences[2], 2), many);
    ASSERT_TRUE(crowded.transcript.hasValue());
    EXPECT_TRUE(heard(crowded.transcript.value(), u"Okonkwo"_s)) << crowded.transcript.value().toStdString();
}
