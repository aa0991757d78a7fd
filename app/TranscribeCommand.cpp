#include "app/TranscribeCommand.h"

#include "base/CleanText.h"
#include "base/FileRead.h"
#include "base/LiveScheduler.h"
#include "base/Task.h"
#include "library/AppStore.h"
#include "library/LinuxSettings.h"
#include "library/SettingsKeyValueStore.h"
#include "refine/DictationText.h"
#include "refine/IntelligenceFormatter.h"
#include "refine/builtin/BuiltinRulesModel.h"
#include "speech/live/SpeechComposition.h"
#include "speech/server/SpeechServer.h"
#include "speech/wav/WavFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextStream>

#include <unistd.h>

#include <cstdio>

namespace orv {

namespace {

void printError(const QString &message)
{
    QTextStream(stderr) << cleanText(message, true) << Qt::endl;
}

struct Options
{
    QString audioPath;
    DictationMode mode = DictationMode::clean;
    QString language = QStringLiteral("en-US");
    QList<DictionaryEntry> dictionary;
    std::shared_ptr<SpeechServer> server; // null: PocketSphinx
    bool whisper = false;
    QString whisperModel; // empty: the installed model of the language
};

QString minutesAndSeconds(Duration duration)
{
    const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// A line on stderr that follows the recognizer through a long file: rewritten in place on a terminal,
// a line every minute of audio otherwise.
class ProgressLine
{
public:
    static constexpr Duration minimumAudio = std::chrono::minutes(1);

    ProgressLine(Scheduler &scheduler, std::shared_ptr<const RecognizerProgress> progress, Duration total)
        : m_progress(std::move(progress)), m_total(total), m_terminal(::isatty(STDERR_FILENO) == 1)
    {
        if (m_total > minimumAudio)
            m_timer = std::make_unique<RepeatingTimer>(scheduler, std::chrono::seconds(1), [this] { report(); });
    }
    ~ProgressLine() { done(); }

    void done()
    {
        if (!m_timer)
            return;
        m_timer.reset();
        if (m_terminal && m_shown)
            QTextStream(stderr) << '\n' << Qt::flush;
    }

private:
    void report()
    {
        const Duration consumed = std::min(m_progress->consumed(), m_total);
        const auto line = [this](Duration done) {
            return QStringLiteral("Transcribed %1 of %2").arg(minutesAndSeconds(done), minutesAndSeconds(m_total));
        };
        if (m_terminal) {
            QTextStream(stderr) << '\r' << line(consumed) << Qt::flush;
            m_shown = true;
        } else if (consumed >= m_nextLine) {
            const Duration minute = consumed - consumed % std::chrono::minutes(1);
            QTextStream(stderr) << line(minute) << Qt::endl;
            m_nextLine = minute + std::chrono::minutes(1);
        }
    }

    std::shared_ptr<const RecognizerProgress> m_progress;
    Duration m_total;
    bool m_terminal;
    bool m_shown = false;
    Duration m_nextLine = std::chrono::minutes(1);
    std::unique_ptr<RepeatingTimer> m_timer;
};

Task<> transcribe(LiveScheduler &scheduler, Options options, std::shared_ptr<const WavAudio> audio, int *exitCode)
{
    AsyncValue<bool> ended;
    // The file goes no faster than the recognizer takes it, so that at its end only the tail is left to
    // finish within the finalization bound, however long the recording.
    // A server takes the whole file in one request at the end, so the file goes in as fast as it can.
    auto progress = std::make_shared<RecognizerProgress>();
    if (options.server) {
        // Asked first: without a server the file must go at PocketSphinx's pace, or a long one would leave
        // its whole decoding to the finalization.
        std::shared_ptr<SpeechServer> server = options.server;
        if (!co_await server->probe()) {
            printError(QStringLiteral("Speech server not answering — using %1").arg(speech::pocketSphinxDisplayName()));
            options.server.reset();
        }
    }
    auto choice = std::make_shared<SpeechServerChoice>();
    choice->server = options.server;
    choice->liveText = false;
    if (options.whisper) {
        // A model that is missing or cannot be loaded leaves the file to PocketSphinx, with the sentence why.
        if (!speech::whisperBuiltIn())
            printError(QStringLiteral("This build has no embedded Whisper; %1 transcribes this file.")
                           .arg(speech::pocketSphinxDisplayName()));
        choice->whisper = speech::whisperBuiltIn();
        choice->whisperFile = options.whisperModel;
        choice->whisperDownloads = false; // the command line uses what is installed
    }
    auto engine = speech::makeFileSpeechEngine(
        scheduler, audio,
        options.server && !options.whisper ? WavFileSource::Pace::asFastAsPossible
                                           : WavFileSource::Pace::followRecognizer,
        [&scheduler, ended] { scheduler.post([ended] { ended.resolve(true); }); }, nullptr, progress, choice);
    QString liveTranscript;
    engine->onPartial = [&liveTranscript](const QString &text) { liveTranscript = text; };
    engine->onNotice = [](const QString &text) { printError(text); };

    auto started = co_await engine->start(options.language, DictationText::contextualStrings(options.dictionary));
    if (!started) {
        const auto &error = started.error();
        printError(error.description());
        *exitCode = error.kind == SpeechEngineError::Kind::unsupportedLanguage ||
                            error.kind == SpeechEngineError::Kind::platform
                        ? TranscribeCommand::languageError
                        : TranscribeCommand::recognitionError;
        co_return;
    }
    ProgressLine progressLine(
        scheduler, progress,
        std::chrono::duration_cast<Duration>(std::chrono::duration<double>(audio->durationSeconds())));
    co_await ended;
    engine->stopAudio();
    auto finished = co_await engine->finish();
    progressLine.done();
    if (!finished) {
        *exitCode = TranscribeCommand::recognitionError;
        if (finished.error().kind != SpeechEngineError::Kind::finalizationTimedOut) {
            printError(finished.error().description());
            co_return;
        }
        // There is no live transcript on a command line: what was recognized goes out as it stands.
        if (liveTranscript.trimmed().isEmpty()) {
            printError(QStringLiteral("%1 took too long to finish.").arg(engine->displayName()));
            co_return;
        }
        QTextStream(stdout) << cleanText(liveTranscript, true).trimmed() << Qt::endl;
        printError(QStringLiteral("%1 took too long to finish; the text recognized until then is printed unformatted.")
                       .arg(engine->displayName()));
        co_return;
    }
    // The road of a dictation's result: dictionary, then the formatter in the chosen mode.
    IntelligenceFormatter formatter(scheduler, std::make_unique<BuiltinRulesModel>(), engine->displayName());
    const DictationText::Refined refined =
        co_await DictationText::refine(formatter, finished.value(), options.mode, options.dictionary);
    if (refined.original.isEmpty()) {
        printError(QStringLiteral("No speech detected"));
        *exitCode = TranscribeCommand::noSpeech;
        co_return;
    }
    const FormattingResult &formatted = refined.formatted;
    if (formatted.notice)
        printError(*formatted.notice);
    QTextStream(stdout) << cleanText(formatted.text, true) << Qt::endl;
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
    const QCommandLineOption engineOption(
        QStringLiteral("engine"),
        QStringLiteral("pocketsphinx (the default), whisper (embedded, PocketSphinx standing by) or server: a local "
                       "speech server such as whisper.cpp's."),
        QStringLiteral("engine"));
    const QCommandLineOption endpointOption(
        QStringLiteral("endpoint"),
        QStringLiteral("The speech server's address on this computer, an http URL or a Unix socket written "
                       "unix:/path/to/socket:/inference (default: the one chosen in Settings, else %1).")
            .arg(LinuxSettings::defaultSpeechServerEndpoint()),
        QStringLiteral("URL"));
    const QCommandLineOption modelOption(
        QStringLiteral("model"),
        QStringLiteral("The Whisper model file (ggml) for --engine whisper (default: the installed model)."),
        QStringLiteral("FILE"));
    parser.addOptions({modeOption, languageOption, libraryOption, engineOption, endpointOption, modelOption});
    parser.addPositionalArgument(QStringLiteral("AUDIO.wav"), QStringLiteral("The speech to transcribe."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    if (!parser.parse(QStringList{QStringLiteral("orvanta transcribe")} + arguments)) {
        printError(parser.errorText());
        return usageError;
    }
    if (parser.isSet(helpOption)) {
        // The parser names the program only; the subcommand belongs in the usage line too.
        QString help = parser.helpText();
        help.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: orvanta transcribe"));
        QTextStream(stdout) << help;
        return success;
    }
    if (parser.positionalArguments().size() != 1) {
        printError(
            QStringLiteral("Usage: orvanta transcribe [--mode verbatim|clean|structured] [--language ID] "
                           "[--library FILE] [--engine pocketsphinx|whisper [--model FILE]|server [--endpoint URL]] "
                           "AUDIO.wav"));
        return usageError;
    }

    Options options;
    options.audioPath = parser.positionalArguments().first();

    // The user's library, read only: its mode, language and dictionary are the defaults.
    const QString libraryPath = parser.isSet(libraryOption) ? parser.value(libraryOption) : AppStore::defaultFilePath();
    if (parser.isSet(libraryOption)) {
        // Only a path that names nothing "does not exist"; one the system refuses (too long, a folder on the
        // way that may not be entered) says why. What is there but no file, the store itself refuses.
        const std::optional<FileReadError> problem = regularFileProblem(libraryPath);
        if (problem && problem->kind == FileReadError::Kind::missing) {
            printError(QStringLiteral("The library file %1 does not exist.").arg(shownPath(libraryPath)));
            return libraryError;
        }
        if (problem && problem->kind == FileReadError::Kind::unreadable) {
            printError(
                QStringLiteral("The library file %1 cannot be read: %2.").arg(shownPath(libraryPath), problem->reason));
            return libraryError;
        }
    }
    const AppStore store(libraryPath);
    if (store.loadError()) {
        printError(*store.loadError());
        return libraryError;
    }
    options.mode = store.snapshot().preferences.mode;
    options.language = store.snapshot().preferences.localeIdentifier;
    options.dictionary = DictationText::dictionaryInUse(store.snapshot().dictionary);

    if (parser.isSet(languageOption))
        options.language = parser.value(languageOption);
    if (parser.isSet(modeOption)) {
        const QString raw = parser.value(modeOption);
        std::optional<DictationMode> mode;
        for (DictationMode candidate : allDictationModes)
            if (rawValue(candidate).compare(raw, Qt::CaseInsensitive) == 0)
                mode = candidate;
        if (!mode) {
            printError(QStringLiteral("Unknown mode “%1”: use verbatim, clean or structured.").arg(raw));
            return usageError;
        }
        options.mode = *mode;
    }

    LiveScheduler scheduler;
    const QString engine = parser.value(engineOption).toLower();
    if (!engine.isEmpty() && engine != u"pocketsphinx" && engine != u"server" && engine != u"whisper") {
        printError(QStringLiteral("Unknown engine “%1”: use pocketsphinx, whisper or server.")
                       .arg(parser.value(engineOption)));
        return usageError;
    }
    if (parser.isSet(modelOption) && engine != u"whisper") {
        printError(QStringLiteral("--model names a Whisper model: use it with --engine whisper."));
        return usageError;
    }
    options.whisper = engine == u"whisper";
    options.whisperModel = parser.value(modelOption);
    if (parser.isSet(endpointOption) && engine != u"server") {
        printError(QStringLiteral("--endpoint names a speech server: use it with --engine server."));
        return usageError;
    }
    if (engine == u"server") {
        auto store = std::make_unique<SettingsKeyValueStore>();
        if (!store->problem().isEmpty())
            printError(store->problem());
        const LinuxSettings settings(std::move(store));
        const QString endpoint =
            parser.isSet(endpointOption) ? parser.value(endpointOption) : settings.speechServerEndpoint();
        auto server = SpeechServer::make(scheduler, endpoint, settings.allowedServerAccounts());
        if (!server) {
            printError(server.error());
            return usageError;
        }
        options.server = server.value();
    }

    auto audio = WavFile::read(options.audioPath);
    if (!audio) {
        printError(audio.error().message);
        return audioError;
    }
    if (const QString notice = audio.value().truncationNotice(shownPath(options.audioPath)); !notice.isEmpty())
        printError(notice);
    if (audio.value().frameCount() == 0) {
        printError(QStringLiteral("No speech detected"));
        return noSpeech;
    }

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
