#include "tests/speech/SpeechSession.h"
#include "tests/support/SpeechCorpus.h"

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

// A broken pipeline scores near 100 %; this bound holds even without the reference decoder installed.
constexpr double maxWordErrorRate = 0.20;
// Against PocketSphinx's own decoder on the same audio: no worse, give or take two words in 200.
constexpr double toleranceOverReference = 0.01;

using Recognition = SpokenCorpusTest;

} // namespace

TEST_F(Recognition, wordErrorsAreNoMoreThanPocketSphinxsOwnDecoderMakesOnTheSameAudio)
{
    // Each file is heard by a fresh model, as `orvanta transcribe` and the reference decoder hear it.
    const auto sentences = speechCorpus::everydaySentences();
    const bool compare = speechCorpus::referenceDecoderInstalled();
    int errors = 0, referenceErrors = 0, words = 0;
    for (int i = 0; i < sentences.size(); ++i) {
        const QString path = speak(sentences[i], i);
        const auto outcome = SpeechSession::transcribe(path, {}, true);
        ASSERT_TRUE(outcome.transcript.hasValue()) << outcome.transcript.error().description().toStdString();
        errors += speechCorpus::wordErrors(sentences[i].text, outcome.transcript.value());
        words += int(speechCorpus::words(sentences[i].text).size());
        if (compare) {
            const std::optional<QString> reference = speechCorpus::referenceTranscript(path);
            ASSERT_TRUE(reference) << "pocketsphinx_continuous failed on " << path.toStdString();
            referenceErrors += speechCorpus::wordErrors(sentences[i].text, *reference);
        }
        if (i == 0) {
            EXPECT_FALSE(outcome.partials.isEmpty()) << "the live transcript grows while the audio streams";
            EXPECT_EQ(outcome.statuses.back(), u"Ready"_s);
        }
    }
    const double rate = double(errors) / words;
    std::cout << "word errors in " << words << " words: ours " << errors << ", pocketsphinx_continuous "
              << (compare ? std::to_string(referenceErrors) : "not installed (apt-get install pocketsphinx)") << "\n";
    EXPECT_LE(rate, maxWordErrorRate) << errors << " errors in " << words << " words";
    if (compare) {
        EXPECT_LE(rate, double(referenceErrors) / words + toleranceOverReference)
            << errors << " errors against the reference's " << referenceErrors << " in " << words << " words";
    }
}

TEST_F(Recognition, anyRateChannelCountAndSampleTypeIsConvertedForTheRecognizer)
{
    const speechCorpus::Sentence sentence{u"please close the window because it is getting cold"_s, u"slt"_s};
    const QString original = speak(sentence, 0);
    const QString stereo = m_dir.filePath(u"stereo.wav"_s);
    ASSERT_TRUE(speechCorpus::convert(
        original, stereo, {u"-r"_s, u"44100"_s, u"-c"_s, u"2"_s, u"-e"_s, u"floating-point"_s, u"-b"_s, u"32"_s}));
    const auto outcome = SpeechSession::transcribe(stereo);
    ASSERT_TRUE(outcome.transcript.hasValue());
    EXPECT_LE(speechCorpus::wordErrors(sentence.text, outcome.transcript.value()), 2)
        << outcome.transcript.value().toStdString();
}

namespace {

// The application's scheduler around quit: posts after `gone` would reach a destroyed event loop, so
// they are counted instead.
class QuittingScheduler final : public Scheduler
{
public:
    explicit QuittingScheduler(Scheduler &inner) : m_inner(inner) {}
    TimePoint now() const override { return m_inner.now(); }
    QDateTime wallNow() const override { return m_inner.wallNow(); }
    TimerId schedule(Duration delay, std::function<void()> fn) override
    {
        return m_inner.schedule(delay, std::move(fn));
    }
    void cancel(TimerId id) override { m_inner.cancel(id); }
    void post(std::function<void()> fn) override
    {
        if (gone)
            ++latePosts;
        else
            m_inner.post(std::move(fn));
    }

    std::atomic<bool> gone{false};
    std::atomic<int> latePosts{0};
    Scheduler &m_inner;
};

int threadCount()
{
    return int(QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace

TEST_F(Recognition, aDictationCancelledAtQuitLeavesNoDecodingThreadThatCouldPostAfterwards)
{
    const speechCorpus::Sentence sentence{u"the children played in the park until it got dark"_s, u"rms"_s};
    auto audio = WavFile::read(speak(sentence, 0));
    ASSERT_TRUE(audio);
    auto shared = std::make_shared<const WavAudio>(std::move(audio).value());
    QuittingScheduler scheduler(SpeechSession::scheduler());
    const int threadsBefore = threadCount();
    {
        // The engine owns the model, as the application's does.
        auto engine = speech::makeFileSpeechEngine(
            scheduler, shared, WavFileSource::Pace::realTime, [] {},
            std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish()));
        QStringList partials;
        engine->onPartial = [&](const QString &text) { partials.append(text); };
        auto started = engine->start(u"en-US"_s, {});
        ASSERT_TRUE(waitUntil([&] { return started.isDone() && !partials.isEmpty(); }, 60000))
            << "the decoding is under way";
        engine->cancel(); // as the application's quit does, then everything goes
    }
    scheduler.gone = true;
    EXPECT_LE(threadCount(), threadsBefore) << "a decoding thread outlived the engine that owned its model";
    // A thread left behind posts when it ends: give it the time to show.
    waitUntil([&] { return threadCount() <= threadsBefore; }, 10000);
    EXPECT_EQ(scheduler.latePosts, 0) << "a thread posted to the scheduler after quit";
}
