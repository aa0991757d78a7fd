#include "app/HeadlessCommand.h"
#include "app/MicrophonesCommand.h"
#include "app/SingleInstance.h"
#include "app/TranscribeCommand.h"
#include "app/WindowedCommand.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace {

const char usage[] = "Usage:\n"
                     "  orvanta              start Orvanta with its windows and tray icon\n"
                     "  orvanta --autostart  the same at login: once set up, only the tray icon\n"
                     "  orvanta dictate      dictate into the focused text field (hold Right Ctrl, or Ctrl+Alt+Space)\n"
                     "  orvanta toggle       start or finish a dictation in the running Orvanta (bind it to a key)\n"
                     "  orvanta cancel       cancel the running Orvanta's dictation\n"
                     "  orvanta transcribe [--mode verbatim|clean|structured] [--language ID] [--library FILE] "
                     "[--engine pocketsphinx|whisper|server] AUDIO.wav\n"
                     "  orvanta transcribe --help   the options of transcribe\n"
                     "  orvanta microphones  list the microphones: name, description, default, chosen\n"
                     "  orvanta --version    print the version\n"
                     "  orvanta --help       print this text\n";

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 1)
        return orv::WindowedCommand::run(argc, argv, false);
    if (argc == 2 && std::strcmp(argv[1], "--autostart") == 0)
        return orv::WindowedCommand::run(argc, argv, true);
    if (argc >= 2 && std::strcmp(argv[1], "transcribe") == 0) {
        QCoreApplication app(argc, argv);
        return orv::TranscribeCommand::run(app.arguments().mid(2));
    }
    if (argc == 2 && std::strcmp(argv[1], "microphones") == 0) {
        QCoreApplication app(argc, argv);
        return orv::MicrophonesCommand::run();
    }
    if (argc == 2 && (std::strcmp(argv[1], "toggle") == 0 || std::strcmp(argv[1], "cancel") == 0)) {
        QCoreApplication app(argc, argv);
        const auto command = std::strcmp(argv[1], "toggle") == 0 ? orv::SingleInstance::Command::toggle
                                                                 : orv::SingleInstance::Command::cancel;
        if (const std::optional<QString> problem = orv::SingleInstance::send(command)) {
            QTextStream(stderr) << *problem << Qt::endl;
            return 1;
        }
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "dictate") == 0)
        return orv::HeadlessCommand::run(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("orvanta " ORVANTA_VERSION "\n", stdout);
        return 0;
    }
    std::fputs(usage, argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
    return argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
}
