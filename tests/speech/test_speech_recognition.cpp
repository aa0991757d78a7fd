#include "tests/speech/SpeechSession.h"
#include "tests/support/SpeechCorpus.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

// Measured on the 22 everyday sentences (4 flite voices): see docs/speech.md. The bound leaves room
// for the variance between machines, not for a broken pipeline (which scores near 100 %).
constexpr double maxWordErrorRate = 0.20;

struct Recognition : SpokenCorpusTest
{
};

} // namespace

TEST_F(Recognition, synthesizedSentencesAreTranscribedCloseToTheirText)
{
    const auto sentences = speechCorpus::everydaySentences();
    int errors = 0;
    int words = 0;
    for (int i = 0; i < sentences.size(); ++i) {
        const auto outcome = SpeechSession::transcribe(speak(sentences[i], i));
        ASSERT_TRUE(outcome.transcript.hasValue()) << outcome.transcript.error().description().toStdString();
        errors += speechCorpus::wordErrors(sentences[i].text, outcome.transcript.value());
        words += int(speechCorpus::words(sentences[i].text).size());
        if (i == 0) {
            EXPECT_FALSE(outcome.partials.isEmpty()) << "the live transcript grows while the audio streams";
            EXPECT_EQ(outcome.statuses.back(), QStringLiteral("Ready"));
        }
    }
    const double rate = double(errors) / words;
    RecordProperty("word_error_rate", QString::number(rate, 'f', 3).toStdString());
    EXPECT_LE(rate, maxWordErrorRate) << errors << " errors in " << words << " words";
}

TEST_F(Recognition, anyRateChannelCountAndSampleTypeIsConvertedForTheRecognizer)
{
    const speechCorpus::Sentence sentence{QStringLiteral("please close the window because it is getting cold"),
                                          QStringLiteral("slt")};
    const QString original = speak(sentence, 0);
    const QString stereo = m_dir.filePath(QStringLiteral("stereo.wav"));
    ASSERT_TRUE(speechCorpus::convert(original, stereo,
                                      {QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
                                       QStringLiteral("2"), QStringLiteral("-e"), QStringLiteral("floating-point"),
                                       QStringLiteral("-b"), QStringLiteral("32")}));
    const auto outcome = SpeechSession::transcribe(stereo);
    ASSERT_TRUE(outcome.transcript.hasValue());
    EXPECT_LE(speechCorpus::wordErrors(sentence.text, outcome.transcript.value()), 2)
        << outcome.transcript.value().toStdString();
}

TEST_F(Recognition, contextualStringsAreAcceptedAndLeaveTheGenericVocabularyAlone)
{
    // Contextual strings become vocabulary (test_speech_vocabulary covers the names); they must not
    // disturb a dictation.
    const auto sentence = speechCorpus::nameSentences().front();
    const auto outcome = SpeechSession::transcribe(speak(sentence, 0), speechCorpus::unknownNames());
    ASSERT_TRUE(outcome.transcript.hasValue());
    EXPECT_LE(speechCorpus::wordErrors(sentence.text, outcome.transcript.value()), 3)
        << outcome.transcript.value().toStdString();
}

TEST_F(Recognition, silenceGivesAnEmptyTranscript)
{
    const QString silence = m_dir.filePath(QStringLiteral("silence.wav"));
    WavAudio audio;
    audio.sampleRate = 16000;
    audio.channels = 1;
    audio.samples.assign(16000, 0.0f);
    QFile file(silence);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WavFile::encode16(audio));
    file.close();
    const auto outcome = SpeechSession::transcribe(silence);
    ASSERT_TRUE(outcome.transcript.hasValue());
    EXPECT_TRUE(outcome.transcript.value().trimmed().isEmpty()) << outcome.transcript.value().toStdString();
}
