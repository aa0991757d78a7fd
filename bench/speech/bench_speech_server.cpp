// What Orvanta's side of a local speech server costs per request: WAV encoding, the multipart form and the
// HTTP round trip on loopback to a server that answers at once, for 3, 10 and 30 s of audio; and the time
// from the end of a dictation to its final text over the server's own time (a whole finalization through
// the transcriber). Prints figures; run: build/bench/speech/bench_speech_server [--runs N]
#include "base/LiveScheduler.h"
#include "base/Task.h"
#include "speech/AnalyzerInputStream.h"
#include "speech/server/SpeechServer.h"
#include "speech/server/SpeechServerTranscriber.h"
#include "speech/wav/WavFile.h"
#include "tests/support/ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace orv;

namespace {

std::shared_ptr<std::vector<qint16>> speechLike(double seconds)
{
    auto samples = std::make_shared<std::vector<qint16>>(std::size_t(seconds * SpeechServer::sampleRate));
    for (std::size_t i = 0; i < samples->size(); ++i)
        (*samples)[i] = qint16(8000 * std::sin(double(i) * 0.07) * std::sin(double(i) * 0.0003));
    return samples;
}

template <typename T>
T await(Task<T> task)
{
    while (!task.isDone())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return task.result();
}

struct Figures
{
    double median = 0;
    double p90 = 0;
};

Figures summarize(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, std::size_t(double(ms.size()) * 0.9))]};
}

Task<bool> finalize(std::shared_ptr<SpeechServerTranscriber> transcriber)
{
    auto done = co_await transcriber->finalizeAndFinishThroughEndOfInput();
    co_return done.hasValue();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int runs = 30;
    const QStringList arguments = app.arguments();
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--runs")); at >= 0 && at + 1 < arguments.size())
        runs = std::max(1, arguments[at + 1].toInt());

    LiveScheduler scheduler;
    test::ScriptedHttpServer server;
    if (!server.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    server.script(QStringLiteral("/inference"), {200, QByteArrayLiteral(R"({"text":"Hello world."})")});
    server.script(QStringLiteral("/"), {200, QByteArrayLiteral("<html></html>")});
    auto made = SpeechServer::make(scheduler, server.url().toString() + QStringLiteral("/inference"));
    if (!made) {
        std::fprintf(stderr, "%s\n", qPrintable(made.error()));
        return 1;
    }
    std::shared_ptr<SpeechServer> speechServer = made.value();
    const QString prompt = SpeechServer::prompt(QStringList(100, QStringLiteral("Kubernetes")));

    std::printf("Per request (WAV + form + loopback round trip, server answering at once), %d runs:\n", runs);
    for (double seconds : {3.0, 10.0, 30.0}) {
        auto samples = speechLike(seconds);
        std::vector<double> encode;
        std::vector<double> request;
        for (int run = 0; run < runs + 2; ++run) {
            QElapsedTimer clock;
            clock.start();
            const QByteArray wav =
                WavFile::encodeMono16(samples->data(), qsizetype(samples->size()), SpeechServer::sampleRate);
            const QByteArray form = speechServer->form(wav, prompt, QStringLiteral("en"), "boundary-0123456789");
            const double encoded = double(clock.nsecsElapsed()) / 1e6;
            clock.restart();
            const auto answer = await(speechServer->transcribe(samples, qsizetype(samples->size()), prompt,
                                                               QStringLiteral("en"), std::chrono::seconds(10)));
            const double roundTrip = double(clock.nsecsElapsed()) / 1e6;
            if (!answer) {
                std::fprintf(stderr, "request failed: %s\n", qPrintable(answer.error().message));
                return 1;
            }
            if (run >= 2) { // the first two warm the connection pool and the allocator
                encode.push_back(encoded);
                request.push_back(roundTrip);
            }
            (void)form;
        }
        const Figures e = summarize(encode);
        const Figures r = summarize(request);
        std::printf("  %4.0f s audio (%5.0f KB): encoding %6.2f ms median (p90 %6.2f); whole request %6.2f ms median "
                    "(p90 %6.2f)\n",
                    seconds, double(samples->size()) * 2 / 1024, e.median, e.p90, r.median, r.p90);
    }

    std::printf("Release to final text over the server's own time (finalization through the transcriber):\n");
    for (double seconds : {3.0, 10.0, 30.0}) {
        auto samples = speechLike(seconds);
        std::vector<double> added;
        for (int run = 0; run < runs; ++run) {
            auto transcriber = std::make_shared<SpeechServerTranscriber>(
                scheduler, speechServer, QStringLiteral("en-US"), [] { return nullptr; },
                QStringLiteral("PocketSphinx"));
            transcriber->setLiveText(false);
            (void)await([](std::shared_ptr<SpeechServerTranscriber> t) -> Task<bool> {
                auto prepared = co_await t->prepare(AudioFormat{16000, 1, AudioFormat::SampleType::int16});
                co_return prepared.hasValue();
            }(transcriber));
            auto input = std::make_shared<AnalyzerInputStream>();
            (void)transcriber->start(input);
            for (std::size_t at = 0; at < samples->size(); at += 1600)
                input->yield(AnalyzerInput{
                    std::vector<qint16>(samples->begin() + qsizetype(at),
                                        samples->begin() + qsizetype(std::min(at + 1600, samples->size())))});
            input->finish();
            QElapsedTimer clock;
            clock.start();
            if (!await(finalize(transcriber))) {
                std::fprintf(stderr, "finalization failed\n");
                return 1;
            }
            added.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        const Figures f = summarize(added);
        std::printf("  %4.0f s audio: %6.2f ms median (p90 %6.2f)\n", seconds, f.median, f.p90);
    }
    std::printf("Live text re-sends all audio so far every 2 s of new audio: at 60 s of dictation one request "
                "carries %.0f KB.\n",
                60.0 * SpeechServer::sampleRate * 2 / 1024);
    return 0;
}
