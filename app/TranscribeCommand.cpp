#include "app/TranscribeCommand.h"

#include "core/LiveScheduler.h"
#include "core/Task.h"
#include "speech/live/SpeechComposition.h"
#include "speech/wav/WavFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace orv {

namespace {

void printError(const QString &message)
{
    QTextStream(stderr) << message << Qt::endl;
}

struct Options
{
    QString audioPath;
    QString mode = QStringLiteral("verbatim");
    QString language = QStringLiteral("en-US");
};

Task<> transcribe(LiveScheduler &scheduler, Options options, std::shared_ptr<const WavAudio> audio, int *exitCode)
{
    AsyncValue<bool> ended;
    auto engine =
        speech::makeFileSpeechEngine(scheduler, audio, WavFileSource::Pace::asFastAsPossible,
                                     [&scheduler, ended] { scheduler.post([ended] { ended.resolve(true); }); });

    auto started = co_await engine->start(options.language, QStringList());
    if (!started) {
        const auto &error = started.error();
        printError(error.description());
        *exitCode = error.kind == SpeechEngineError::Kind::unsupportedLanguage ||
                            error.kind == SpeechEngineError::Kind::platform
                        ? TranscribeCommand::languageError
                        : TranscribeCommand::recognitionError;
        co_return;
    }
    co_await ended;
    engine->stopAudio();
    auto finished = co_await engine->finish();
    if (!finished) {
        printError(finished.error().description());
        *exitCode = TranscribeCommand::recognitionError;
        co_return;
    }
    const QString text = finished.value().trimmed();
    if (text.isEmpty()) {
        printError(QStringLiteral("No speech detected"));
        *exitCode = TranscribeCommand::noSpeech;
        co_return;
    }
    QTextStream(stdout) << text << Qt::endl;
    *exitCode = TranscribeCommand::success;
}

} // namespace

int TranscribeCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Transcribes a WAV file the way a dictation is transcribed."));
    const QCommandLineOption modeOption(QStringLiteral("mode"), QStringLiteral("verbatim, clean or structured."),
                                        QStringLiteral("mode"));
    const QCommandLineOption languageOption(QStringLiteral("language"),
                                            QStringLiteral("Recognition language, e.g. en-US."), QStringLiteral("ID"));
    const QCommandLineOption libraryOption(QStringLiteral("library"),
                                           QStringLiteral("The library file to read the dictionary and mode from."),
                                           QStringLiteral("FILE"));
    parser.addOptions({modeOption, languageOption, libraryOption});
    parser.addPositionalArgument(QStringLiteral("AUDIO.wav"), QStringLiteral("The speech to transcribe."));
    if (!parser.parse(QStringList{QStringLiteral("orvanta transcribe")} + arguments)) {
        printError(parser.errorText());
        return usageError;
    }
    if (parser.positionalArguments().size() != 1) {
        printError(QStringLiteral("Usage: orvanta transcribe [--mode verbatim|clean|structured] [--language ID] "
                                  "[--library FILE] AUDIO.wav"));
        return usageError;
    }

    Options options;
    options.audioPath = parser.positionalArguments().first();
    if (parser.isSet(languageOption))
        options.language = parser.value(languageOption);
    if (parser.isSet(modeOption)) {
        const QString mode = parser.value(modeOption).toLower();
        if (mode != QLatin1String("verbatim") && mode != QLatin1String("clean") &&
            mode != QLatin1String("structured")) {
            printError(
                QStringLiteral("Unknown mode “%1”: use verbatim, clean or structured.").arg(parser.value(modeOption)));
            return usageError;
        }
        options.mode = mode;
    }

    auto audio = WavFile::read(options.audioPath);
    if (!audio) {
        printError(audio.error().message);
        return audioError;
    }
    if (audio.value().frameCount() == 0) {
        printError(QStringLiteral("No speech detected"));
        return noSpeech;
    }

    LiveScheduler scheduler;
    int exitCode = recognitionError;
    auto shared = std::make_shared<const WavAudio>(std::move(audio).value());
    Task<> running = transcribe(scheduler, options, shared, &exitCode);
    if (!running.isDone()) {
        auto waiter = [](Task<> task) -> Task<> {
            co_await task;
            QCoreApplication::exit(0);
        }(running);
        if (!waiter.isDone())
            QCoreApplication::exec();
    }
    return exitCode;
}

} // namespace orv
