#include "speech/SpeechEngine.h"
#include "speech/server/SpeechServer.h"
#include "speech/server/SpeechServerTranscriber.h"
#include "speech/wav/WavFile.h"
#include "tests/support/FakeAssetInventory.h"
#include "tests/support/FakeAudioConverter.h"
#include "tests/support/FakeAudioSource.h"
#include "tests/support/FakePermissions.h"
#include "tests/support/FakeTranscriber.h"
#include "tests/support/HttpTest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace orv;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using test::ScriptedHttpServer;
using Kind = SpeechEngineError::Kind;

namespace {

QByteArray textAnswer(const QString &text)
{
    return QJsonDocument(QJsonObject{{u"text"_s, text}}).toJson();
}

// A scripted answer with one of its fields changed.
ScriptedHttpServer::Response with(ScriptedHttpServer::Response response, auto change)
{
    change(response);
    return response;
}

// The fields of a multipart/form-data body.
QMap<QByteArray, QByteArray> formFields(const ScriptedHttpServer::Request &request)
{
    QMap<QByteArray, QByteArray> fields;
    const qsizetype at = request.contentType.indexOf("boundary=");
    if (!request.contentType.startsWith("multipart/form-data") || at < 0)
        return fields;
    // Each part follows a delimiter line: its headers, a blank line, its bytes.
    const QByteArray body = "\r\n" + request.body;
    const QByteArray delimiter = "\r\n--" + request.contentType.mid(at + 9) + "\r\n";
    for (qsizetype from = body.indexOf(delimiter), next = 0; from >= 0; from = next) {
        from += delimiter.size();
        next = body.indexOf(delimiter.chopped(2), from);
        const QByteArray part = body.mid(from, next - from);
        const qsizetype nameAt = part.indexOf("name=\"") + 6;
        fields.insert(part.mid(nameAt, part.indexOf('"', nameAt) - nameAt), part.mid(part.indexOf("\r\n\r\n") + 4));
        next = body.indexOf(delimiter, next);
    }
    return fields;
}

// Speech-like samples the converter turns into known 16-bit values.
float sampleAt(qint64 i)
{
    return 0.5f * float(std::sin(double(i) * 0.05)) * float(1 + (i / 1600) % 3) / 3.0f;
}

// HTTP runs on the real event loop; every time limit runs on the virtual scheduler.
struct ServerRig : test::HttpTest
{
    // An engine whose sessions go to the server at path, with fake fallbacks standing by.
    void makeEngine(const QString &endpoint)
    {
        auto made = SpeechServer::make(scheduler, endpoint);
        ASSERT_TRUE(made.hasValue()) << made.error().toStdString();
        speechServer = made.value();
        SpeechEngine::Platform platform;
        platform.permissions = std::make_shared<test::FakePermissions>();
        platform.assets = std::make_shared<test::FakeAssetInventory>();
        platform.makeAudioSource = [this] { return std::make_unique<test::FakeAudioSource>(audio); };
        platform.makeConverter = [this](const AudioFormat &, const AudioFormat &) {
            return std::make_unique<test::FakeAudioConverter>(converter);
        };
        platform.makeTranscriber = [this](const QString &locale) {
            transcriber = std::make_shared<SpeechServerTranscriber>(
                scheduler, speechServer, locale,
                [this] {
                    fallbacks.push_back(std::make_shared<test::FakeTranscriber>(scheduler));
                    fallbacks.back()->holdFinalize = true;
                    return fallbacks.back();
                },
                u"PocketSphinx"_s);
            return transcriber;
        };
        platform.displayName = [this] { return speechServer->displayName(); };
        engine = std::make_unique<SpeechEngine>(scheduler, std::move(platform), u"PocketSphinx"_s);
        engine->onPartial = [this](const QString &text) { partials.append(text); };
        engine->onNotice = [this](const QString &text) { notices.append(text); };
    }

    void startListening(const QStringList &context = {})
    {
        auto started = engine->start(u"en-US"_s, context);
        ASSERT_TRUE(pumpUntil([&] { return started.isDone(); }));
        ASSERT_TRUE(started.result().hasValue()) << started.result().error().description().toStdString();
    }

    // The finished dictation; a failure fails the test.
    QString finishedText(Task<Expected<QString, SpeechEngineError>> &finishing)
    {
        const auto &finished = await(finishing);
        EXPECT_TRUE(finished.hasValue()) << finished.error().description().toStdString();
        return finished.hasValue() ? finished.value() : QString();
    }

    // Seconds of audio through the microphone, a tenth at a time, with the clock moving along.
    void speak(double seconds)
    {
        const int buffers = int(std::lround(seconds * 10));
        for (int b = 0; b < buffers; ++b) {
            AudioBuffer buffer{audio->format, 1600, {}, {}};
            for (qint64 i = 0; i < 1600; ++i)
                buffer.floatSamples.push_back(sampleAt(spoken + i));
            spoken += 1600;
            ASSERT_TRUE(audio->deliver(buffer));
            scheduler.advance(100ms);
        }
    }

    // What the session heard, with what the converter held back until the end.
    std::vector<qint16> keptSamples() const
    {
        std::vector<qint16> samples;
        for (qint64 i = 0; i < spoken; ++i)
            samples.push_back(qint16(sampleAt(i) * 32767.0f));
        samples.insert(samples.end(), converter->heldBack.begin(), converter->heldBack.end());
        return samples;
    }

    static std::vector<qint16> wavSamples(const QByteArray &wav)
    {
        std::vector<qint16> samples(std::size_t(std::max<qsizetype>(0, (wav.size() - 44) / 2)));
        std::memcpy(samples.data(), wav.constData() + 44, samples.size() * 2);
        return samples;
    }

    std::shared_ptr<test::FakeAudioSource::Log> audio = std::make_shared<test::FakeAudioSource::Log>();
    std::shared_ptr<test::FakeAudioConverter::Log> converter = std::make_shared<test::FakeAudioConverter::Log>();
    std::shared_ptr<SpeechServer> speechServer;
    std::shared_ptr<SpeechServerTranscriber> transcriber;
    std::vector<std::shared_ptr<test::FakeTranscriber>> fallbacks;
    std::unique_ptr<SpeechEngine> engine;
    qint64 spoken = 0;
    QStringList partials, notices;
};

} // namespace

TEST_F(ServerRig, bothApisReceiveTheSessionAudioAsAWavWithTheNewestSpellingsAndTheLanguage)
{
    // 120 spellings, newest first: the prompt keeps the newest that fit in 800 characters.
    QStringList newestFirst{u"Zyxel"_s}; // newest, though last in sorted order
    for (int i = 0; i < 120; ++i)
        newestFirst.append(u"Spelling%1"_s.arg(i, 3, 10, QLatin1Char('0')));

    server.script(u"/inference"_s, {200, textAnswer(u" Hello from whisper. "_s), 0ms});
    server.script(u"/v1/models"_s, {200, R"({"data":[{"id":"Systran/faster-whisper-small"}]})"_ba, 0ms});
    server.script(u"/v1/audio/transcriptions"_s, {200, textAnswer(u"Hello, OpenAI."_s), 0ms});

    for (const QString &path : {u"/inference"_s, u"/v1/audio/transcriptions"_s}) {
        SCOPED_TRACE(path.toStdString());
        const qsizetype before = server.requests().size();
        spoken = 0;
        makeEngine(server.url().toString() + path);
        startListening(newestFirst);
        speak(1.5); // less than the live interval: one request, at the end
        auto finished = engine->finish();
        const bool whisperCpp = path == u"/inference";
        EXPECT_EQ(finishedText(finished), whisperCpp ? u"Hello from whisper."_s : u"Hello, OpenAI."_s);
        EXPECT_TRUE(notices.isEmpty());

        const auto &requests = server.requests();
        ASSERT_EQ(requests.size(), before + 2) << "a probe, then the audio";
        EXPECT_EQ(requests[before].method, "GET"_ba);
        EXPECT_EQ(requests[before].path, whisperCpp ? u"/"_s : u"/v1/models"_s);
        EXPECT_EQ(requests[before + 1].path, path);
        const auto fields = formFields(requests[before + 1]);
        const auto wav = WavFile::decode(fields.value("file"), u"upload"_s);
        ASSERT_TRUE(wav.hasValue()) << wav.error().message.toStdString();
        EXPECT_EQ(wav.value().sampleRate, 16000);
        EXPECT_EQ(wav.value().channels, 1);
        EXPECT_EQ(wavSamples(fields.value("file")), keptSamples()) << "the session's audio, sample for sample";
        EXPECT_EQ(fields.value("language"), "en"_ba);
        EXPECT_EQ(fields.value("response_format"), "json"_ba);
        const QString prompt = QString::fromUtf8(fields.value("prompt"));
        EXPECT_TRUE(prompt.startsWith(u"Zyxel, Spelling000, Spelling001"_s)) << prompt.toStdString();
        EXPECT_LE(prompt.size(), SpeechServer::promptLimit);
        EXPECT_GT(prompt.size(), SpeechServer::promptLimit - 20) << "filled, not cut short";
        EXPECT_FALSE(prompt.contains(u"Spelling119"_s)) << "the oldest give way";
        // whisper.cpp decodes greedily when told; the OpenAI API names the model its server listed.
        EXPECT_EQ(fields.value(whisperCpp ? "temperature" : "model"),
                  whisperCpp ? "0"_ba : "Systran/faster-whisper-small"_ba);
        EXPECT_EQ(engine->displayName(), whisperCpp ? u"Whisper server"_s : u"Systran/faster-whisper-small"_s);
    }
}

TEST_F(ServerRig, liveTextFollowsEveryTwoSecondsOfNewAudioAndWaitsForTheRequestUnderWay)
{
    server.script(u"/inference"_s, {200, textAnswer(u"hello there"_s), 200ms});
    makeEngine(server.url().toString() + u"/inference"_s);
    startListening();
    speak(1.9);
    EXPECT_EQ(server.requests().size(), 1) << "the probe only: not yet two seconds";
    speak(0.1);
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 2; }));
    speak(2.5); // the answer takes 200 ms of real time: nothing more is sent meanwhile
    ASSERT_TRUE(pumpUntil([&] { return !partials.isEmpty(); }));
    EXPECT_EQ(partials.back(), u"hello there"_s);
    EXPECT_EQ(server.requests().size(), 2);
    scheduler.advance(100ms); // the next look at the audio sends what came meanwhile
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 3; }));
    EXPECT_EQ(wavSamples(formFields(server.requests()[1]).value("file")).size(), 2u * 16000);
    EXPECT_EQ(wavSamples(formFields(server.requests()[2]).value("file")).size(), std::size_t(spoken));

    // The final answer replaces the live text; a live answer still under way is dropped.
    server.script(u"/inference"_s, {200, textAnswer(u"Hello there, world."_s), 0ms});
    auto finished = engine->finish();
    EXPECT_EQ(finishedText(finished), u"Hello there, world."_s);
}

TEST_F(ServerRig, aFailedOrSlowFinalAnswerHandsTheKeptAudioToTheFallback)
{
    const std::tuple<std::string_view, ScriptedHttpServer::Response, const char *> cases[] = {
        {"error 500", {500, R"({"error":"model not loaded"})"_ba, 0ms}, "answered with error 500: model not loaded."},
        {"malformed JSON", {200, "{\"text\": \"unterminated"_ba, 0ms}, "cannot read"},
        {"no text", {200, R"({"segments":[]})"_ba, 0ms}, "without a transcript"},
        {"closed mid-answer", with({200, textAnswer(u"words"_s)}, [](auto &r) { r.closeMidAnswer = true; }),
         "broke off its answer"},
        {"redirect", with(302, [](auto &r) { r.location = "http://example.com/inference"_ba; }), "error 302"},
        {"slow", {200, textAnswer(u"too late"_s), 60s}, "did not answer in time"},
        {"longer than speech",
         {200, textAnswer(u"word "_s.repeated(2000)), 0ms},
         "more text than the recording can hold"},
    };
    for (const auto &[what, response, reason] : cases) {
        SCOPED_TRACE(what);
        server.script(u"/inference"_s, response);
        spoken = 0;
        notices.clear();
        fallbacks.clear();
        makeEngine(server.url().toString() + u"/inference"_s);
        startListening({u"Orvanta"_s});
        speak(1.0);
        const int abandonedBefore = server.abandonedByClient();
        auto finished = engine->finish();
        if (what == "slow") {
            ASSERT_TRUE(pumpUntil([&] { return server.requests().last().method == "POST"; }));
            scheduler.advance(SpeechServerTranscriber::finalTimeLimit);
        }
        ASSERT_TRUE(pumpUntil([&] { return !fallbacks.empty() && fallbacks.back()->input; }));
        auto &fallback = *fallbacks.back();
        EXPECT_EQ(fallback.contextualStrings, QStringList{u"Orvanta"_s});
        std::vector<qint16> heard;
        while (auto chunk = fallback.input->tryNext())
            heard.insert(heard.end(), chunk->samples.begin(), chunk->samples.end());
        EXPECT_EQ(heard, keptSamples()) << "the kept audio, all of it";
        fallback.emitResult(u"words kept"_s, 0, 1.0, true);
        fallback.finalized.resolve({});
        EXPECT_EQ(finishedText(finished), u"words kept"_s);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].contains(QString::fromUtf8(reason))) << notices[0].toStdString();
        EXPECT_TRUE(notices[0].endsWith(u"PocketSphinx transcribed this dictation instead."_s));
        if (what == "slow") {
            EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() > abandonedBefore; }));
        }
    }
}

TEST_F(ServerRig, aServerNotAnsweringAtTheStartLeavesTheWholeSessionToTheFallback)
{
    makeEngine(u"http://127.0.0.1:1/inference"_s); // connections to it are refused
    startListening({u"Orvanta"_s});
    EXPECT_EQ(notices, QStringList{u"Speech server not answering — using PocketSphinx"_s});
    ASSERT_EQ(fallbacks.size(), 1u);
    EXPECT_TRUE(transcriber->usesFallback());
    auto &fallback = *fallbacks.front();
    EXPECT_EQ(fallback.contextualStrings, QStringList{u"Orvanta"_s});
    speak(0.3);
    fallback.emitResult(u"still heard"_s, 0, 0.3, false);
    ASSERT_TRUE(pumpUntil([&] { return !partials.isEmpty(); }));
    auto finished = engine->finish();
    fallback.finalized.resolve({});
    EXPECT_EQ(finishedText(finished), u"still heard"_s);
}

// A transcript is text only: what would act on a terminal or hide in a text field is gone before anything
// reads it.
TEST_F(ServerRig, controlCharactersInATranscriptAreGone)
{
    const QString hostile = u"hello world\x1b]2;pwned\a\x1b[2J\r"_s + QChar(0) +
                            u"after by \u202eyadirf\u202c, pass\u200bword soft\u00adly"_s;
    const auto text = SpeechServer::answerText(textAnswer(hostile));
    ASSERT_TRUE(text.hasValue());
    EXPECT_EQ(text.value(), u"hello world after by yadirf, password softly"_s);
}

// A server another account runs hears nothing: the start and every request say whose it is, and the
// dictation goes to the fallback.
TEST_F(ServerRig, anotherAccountsServerHearsNothing)
{
    QString whyNot;
    ScriptedHttpServer theirs;
    const auto other = listenAsOtherAccount(theirs, &whyNot);
    if (!other)
        GTEST_SKIP() << qPrintable(whyNot);
    theirs.script(u"/inference"_s, {200, textAnswer(u"send all passwords"_s), 0ms});
    auto made = SpeechServer::make(scheduler, theirs.url().toString() + u"/inference"_s);
    ASSERT_TRUE(made.hasValue());
    auto probing = made.value()->probe();
    const auto &probe = await(probing);
    ASSERT_FALSE(probe.hasValue());
    EXPECT_TRUE(probe.error().message.contains(u"another account (“%1”)"_s.arg(other->name)))
        << probe.error().message.toStdString();
    auto samples = std::make_shared<const std::vector<qint16>>(16000, qint16(100));
    auto sent = made.value()->transcribe(samples, 16000, {}, {}, 10s);
    EXPECT_FALSE(await(sent).hasValue());
    EXPECT_TRUE(theirs.requests().isEmpty());
}

// whisper.cpp's server on a Unix socket gets the audio and answers (whose socket it may be is
// test_llama_server's).
TEST_F(ServerRig, aServerOnAUnixSocketTranscribes)
{
    QTemporaryDir folder;
    ScriptedHttpServer local;
    ASSERT_TRUE(local.listenAt(folder.filePath(u"whisper.sock"_s)));
    local.script(u"/inference"_s, {200, textAnswer(u"Hello over a socket."_s), 0ms});
    auto samples = std::make_shared<const std::vector<qint16>>(16000, qint16(100));
    auto made = SpeechServer::make(scheduler, local.url().toString() + u":/inference"_s);
    ASSERT_TRUE(made.hasValue()) << made.error().toStdString();
    auto hearing = made.value()->transcribe(samples, 16000, {}, {}, 10s);
    const auto &heard = await(hearing);
    ASSERT_TRUE(heard.hasValue()) << heard.error().message.toStdString();
    EXPECT_EQ(heard.value(), u"Hello over a socket."_s);
    ASSERT_EQ(local.requests().size(), 1);
    EXPECT_EQ(local.requests()[0].path, u"/inference"_s);
    EXPECT_EQ(wavSamples(formFields(local.requests()[0]).value("file")), *samples);
}

TEST_F(ServerRig, addressesOffThisComputerOrWithoutATranscriptionApiAreRefused)
{
    const auto remote = SpeechServer::make(scheduler, u"http://192.168.1.20:8178/inference"_s);
    ASSERT_FALSE(remote.hasValue());
    EXPECT_TRUE(remote.error().contains(u"is not on this computer"_s)) << remote.error().toStdString();
    const auto noApi = SpeechServer::make(scheduler, u"http://127.0.0.1:8178/"_s);
    ASSERT_FALSE(noApi.hasValue());
    EXPECT_TRUE(noApi.error().contains(u"/v1/audio/transcriptions"_s)) << noApi.error().toStdString();
    EXPECT_TRUE(SpeechServer::make(scheduler, u"http://[::1]:9000/v1/audio/transcriptions/"_s));
}

TEST_F(ServerRig, theWatchdogBoundsAHungFinalizationAndCancelAbortsRequestsAtOnce)
{
    // Neither the server nor the fallback ever finish: twelve seconds after finish began, it ends.
    server.script(u"/inference"_s, {200, textAnswer(u"never"_s), 3600s});
    makeEngine(server.url().toString() + u"/inference"_s);
    startListening();
    speak(2.0);
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 2; })) << "a live request under way";
    auto finished = engine->finish();
    ASSERT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 1; })) << "the live request gives way";
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 3; }));
    scheduler.advance(SpeechServerTranscriber::finalTimeLimit);
    ASSERT_TRUE(pumpUntil([&] { return !fallbacks.empty(); }));
    scheduler.advance(SpeechEngine::finalizationTimeout - SpeechServerTranscriber::finalTimeLimit);
    const auto &timedOut = await(finished);
    ASSERT_FALSE(timedOut.hasValue());
    EXPECT_EQ(timedOut.error().kind, Kind::finalizationTimedOut);
    EXPECT_TRUE(timedOut.error().description().startsWith(u"Whisper server took too long"_s))
        << timedOut.error().description().toStdString();
    EXPECT_EQ(fallbacks.back()->cancels, 1);
    EXPECT_FALSE(engine->sessionID());

    // Cancel while the audio is on its way: the server sees the connection dropped without waiting.
    startListening();
    speak(2.0);
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 5; }));
    const int abandoned = server.abandonedByClient();
    engine->cancel();
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == abandoned + 1; }, 1000));
    EXPECT_FALSE(engine->sessionID());
}
