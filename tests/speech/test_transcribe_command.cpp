#include "library/AppStore.h"
#include "speech/wav/WavFile.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/SpeechCorpus.h"
#ifdef ORVANTA_HAVE_WHISPER
#include "tests/support/SyntheticWhisperModel.h"
#endif

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

struct Result
{
    int exitCode = -1;
    QString out, err;
};

// The command in a private data and settings folder (the user's own library is never read here), while
// this process serves HTTP (a scripted speech server) on its event loop.
Result orvanta(const QStringList &arguments)
{
    static QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_DATA_HOME"_s, home.path());
    environment.insert(u"XDG_CONFIG_HOME"_s, home.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ORVANTA_BINARY), QStringList{u"transcribe"_s} + arguments);
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, 120000);
    return Result{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
                  QString::fromUtf8(process.readAllStandardError()).trimmed()};
}

// The sentence the engine tests speak, in flite's slt voice, as speech.wav in dir; empty when flite failed.
const QString reportSentence = u"please send the report to the team before noon"_s;
QString spokenReport(const QTemporaryDir &dir)
{
    const QString wav = dir.filePath(u"speech.wav"_s);
    return speechCorpus::synthesize(reportSentence, u"slt"_s, wav) ? wav : QString();
}

} // namespace

TEST(TranscribeCommand, badInputsExitWithAClearSentence)
{
    QTemporaryDir dir;
    const QString text = dir.filePath(u"notes.wav"_s);
    ASSERT_TRUE(test::writeFile(text, "just some text"));
    const Result notWav = orvanta({text});
    EXPECT_EQ(notWav.exitCode, 3);
    EXPECT_TRUE(notWav.err.contains(u"is not a WAV file"_s));
    EXPECT_TRUE(notWav.out.isEmpty());

    EXPECT_EQ(orvanta({}).exitCode, 2);
    EXPECT_EQ(orvanta({u"--mode"_s, u"poetic"_s, text}).exitCode, 2);
}

TEST(TranscribeCommand, aDictationRoadFromFileToFormattedTextThatNeverWritesTheLibrary)
{
    if (auto missing = speechCorpus::missingTools())
        GTEST_SKIP() << missing->toStdString();
    QTemporaryDir dir;
    const QString speech = dir.filePath(u"speech.wav"_s);
    ASSERT_TRUE(speechCorpus::synthesize(u"please send the quarterly report to the finance team by friday"_s, u"slt"_s,
                                         speech));

    AppStore::Snapshot snapshot;
    snapshot.preferences.mode = DictationMode::clean;
    // A second entry under the same id: the app model keeps only the first, and so does the command.
    const QUuid id = QUuid::createUuid();
    const QDateTime modified(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
    snapshot.dictionary = {{id, u"quarterly report"_s, u"Q3 report"_s, 1, modified, false},
                           {id, u"finance team"_s, u"money people"_s, 1, modified.addDays(1), false}};
    const QString library = dir.filePath(u"library.json"_s);
    ASSERT_TRUE(test::writeFile(library, AppStore::encode(snapshot)));
    const QByteArray before = test::readFile(library);

    const Result clean = orvanta({u"--library"_s, library, speech});
    ASSERT_EQ(clean.exitCode, 0) << clean.err.toStdString();
    EXPECT_TRUE(clean.out.startsWith(u"Please send"_s)) << clean.out.toStdString();
    EXPECT_TRUE(clean.out.contains(u"the Q3 report to"_s)) << clean.out.toStdString();
    EXPECT_TRUE(clean.out.endsWith(QLatin1Char('.')));
    EXPECT_FALSE(clean.out.contains(u"money people"_s)) << clean.out.toStdString();

    const Result verbatim = orvanta({u"--mode"_s, u"verbatim"_s, u"--library"_s, library, speech});
    ASSERT_EQ(verbatim.exitCode, 0);
    EXPECT_TRUE(verbatim.out.startsWith(u"Please send the Q3 report"_s)) << verbatim.out.toStdString();
    EXPECT_TRUE(verbatim.out.endsWith(QLatin1Char('.'))) << "the recognizer's light punctuation";
    EXPECT_EQ(test::readFile(library), before) << "the library is only read";

    const Result language = orvanta({u"--language"_s, u"de-CH"_s, u"--library"_s, library, speech});
    EXPECT_EQ(language.exitCode, 4);
    EXPECT_EQ(language.err, u"PocketSphinx does not support de-CH on this computer. Choose another language."_s);

    const QString quiet = dir.filePath(u"quiet.wav"_s);
    ASSERT_TRUE(test::writeFile(quiet, WavFile::encode16(WavAudio{16000, 1, std::vector<float>(8000), 0, {}})));
    const Result nothing = orvanta({u"--library"_s, library, quiet});
    EXPECT_EQ(nothing.exitCode, 5);
    EXPECT_EQ(nothing.err, u"No speech detected"_s);
}

// Spoken punctuation reaches the output as marks and a blank line, in Verbatim as in Clean, with none of
// the command words left.
TEST(TranscribeCommand, spokenPunctuationComesBackAsMarksAndBreaks)
{
    if (auto missing = speechCorpus::missingTools())
        GTEST_SKIP() << missing->toStdString();
    QTemporaryDir dir;
    const QStringList texts = speechCorpus::commandTexts().mid(0, 3);
    const QStringList endings{u" at noon?"_s, u"\n\nSee you tomorrow!"_s, u" back, after lunch."_s};
    const QStringList commandWords{u"question"_s, u"mark"_s, u"paragraph"_s, u"exclamation"_s, u"comma"_s, u"period"_s};
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString speech = dir.filePath(u"c%1.wav"_s.arg(i));
        // awb: slt's "back comma" runs the two k sounds together and is still heard as "back on".
        ASSERT_TRUE(speechCorpus::synthesize(texts[i], u"awb"_s, speech));
        for (const char *mode : {"verbatim", "clean"}) {
            SCOPED_TRACE(texts[i].toStdString() + " " + mode);
            const Result result = orvanta({u"--mode"_s, QString::fromUtf8(mode), speech});
            ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
            EXPECT_TRUE(result.out.endsWith(endings[i])) << result.out.toStdString();
            for (const QString &word : speechCorpus::words(result.out))
                EXPECT_FALSE(commandWords.contains(word)) << result.out.toStdString();
        }
    }
}

TEST(TranscribeCommand, aRecordingOverAMinuteIsFedAtTheRecognizersPaceAndReportsProgress)
{
    // Fed all at once, the recognizer was far behind when the input ended and the finalization bound
    // ran out on the backlog.
    if (auto missing = speechCorpus::missingTools())
        GTEST_SKIP() << missing->toStdString();
    QTemporaryDir dir;
    WavAudio recording{16000, 1, {}, 0, {}};
    const auto sentences = speechCorpus::everydaySentences();
    for (int i = 0; recording.durationSeconds() < 75; ++i) {
        const QString part = dir.filePath(u"part%1.wav"_s.arg(i));
        ASSERT_TRUE(speechCorpus::synthesize(sentences[i % sentences.size()].text, u"slt"_s, part));
        auto audio = WavFile::load(part);
        ASSERT_TRUE(audio);
        recording.samples.insert(recording.samples.end(), audio.value().samples.begin(), audio.value().samples.end());
        recording.samples.insert(recording.samples.end(), 8000, 0.0f); // half a second between sentences
    }
    const QString wav = dir.filePath(u"long.wav"_s);
    ASSERT_TRUE(test::writeFile(wav, WavFile::encode16(recording)));

    const Result result = orvanta({u"--mode"_s, u"verbatim"_s, wav});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.contains(u"train station"_s)) << result.out.toStdString();
    EXPECT_TRUE(result.err.contains(u"Transcribed 1:00 of 1:"_s)) << result.err.toStdString();
}

TEST(TranscribeCommand, aSpeechServerTranscribesAndPocketSphinxKeepsTheTextWhenItFails)
{
    if (auto missing = speechCorpus::missingTools())
        GTEST_SKIP() << missing->toStdString();
    QTemporaryDir dir;
    const QString wav = spokenReport(dir);
    ASSERT_FALSE(wav.isEmpty());
    const QStringList verbatim{u"--mode"_s, u"verbatim"_s, u"--engine"_s, u"server"_s, u"--endpoint"_s};

    test::ScriptedHttpServer server;
    ASSERT_TRUE(server.listen());
    const QString endpoint = server.url().toString() + u"/inference"_s;
    server.script(u"/inference"_s, {200, R"({"text": " Server words."})"_ba});
    const Result served = orvanta(verbatim + QStringList{endpoint, wav});
    EXPECT_EQ(served.exitCode, 0) << served.err.toStdString();
    EXPECT_EQ(served.out, u"Server words."_s);
    const auto posts = std::count_if(server.requests().begin(), server.requests().end(),
                                     [](const test::ScriptedHttpServer::Request &r) { return r.method == "POST"; });
    EXPECT_EQ(posts, 1) << "the whole file once, no live requests";
    EXPECT_TRUE(server.requests().last().body.contains("RIFF"));

    // The server fails at the end: PocketSphinx decodes the kept audio and the text comes out all the same.
    server.script(u"/inference"_s, {500, R"({"error":"out of memory"})"_ba});
    const Result failed = orvanta(verbatim + QStringList{endpoint, wav});
    EXPECT_EQ(failed.exitCode, 0) << failed.err.toStdString();
    EXPECT_LE(speechCorpus::wordErrors(reportSentence, failed.out), 2) << failed.out.toStdString();
    EXPECT_TRUE(failed.err.contains(u"out of memory. PocketSphinx transcribed this dictation instead."_s))
        << failed.err.toStdString();

    const Result remote = orvanta(verbatim + QStringList{u"http://10.0.0.2:8178/inference"_s, wav});
    EXPECT_EQ(remote.exitCode, 2);
    EXPECT_TRUE(remote.err.contains(u"is not on this computer"_s)) << remote.err.toStdString();
    EXPECT_TRUE(remote.out.isEmpty());
}

#ifdef ORVANTA_HAVE_WHISPER
// The embedded Whisper over a model with random weights: the file goes all the way through it (its text is
// noise, so only the road is checked); a model that is missing or is no model leaves PocketSphinx's words
// with the sentence why, never an empty transcription.
TEST(TranscribeCommand, theEmbeddedWhisperDecodesTheFileAndAModelThatCannotBeUsedLeavesPocketSphinxsText)
{
    if (auto missing = speechCorpus::missingTools())
        GTEST_SKIP() << missing->toStdString();
    QTemporaryDir dir;
    const QString wav = spokenReport(dir);
    ASSERT_FALSE(wav.isEmpty());
    const QString model = dir.filePath(u"ggml-test.bin"_s);
    ASSERT_TRUE(writeSyntheticWhisperModel(model, WhisperDimensions::testSized()));
    const QStringList whisper{u"--mode"_s, u"verbatim"_s, u"--engine"_s, u"whisper"_s, u"--model"_s};

    const Result decoded = orvanta(whisper + QStringList{model, wav});
    // Random weights may decode to nothing at all, which is "no speech", not a failure.
    EXPECT_TRUE(decoded.exitCode == 0 || decoded.exitCode == 5) << decoded.err.toStdString();
    EXPECT_FALSE(decoded.err.contains(u"PocketSphinx"_s)) << decoded.err.toStdString();

    const QString notAModel = dir.filePath(u"ggml-broken.bin"_s);
    writeFile(notAModel, QByteArray(4096, 'x'));
    for (const QString &path : {dir.filePath(u"missing.bin"_s), notAModel}) {
        const Result fallback = orvanta(whisper + QStringList{path, wav});
        EXPECT_EQ(fallback.exitCode, 0) << fallback.err.toStdString();
        EXPECT_LE(speechCorpus::wordErrors(reportSentence, fallback.out), 2) << fallback.out.toStdString();
        EXPECT_TRUE(fallback.err.contains(path)) << fallback.err.toStdString();
    }
}
#endif
