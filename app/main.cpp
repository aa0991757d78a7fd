#include "app/HeadlessCommand.h"
#include "app/TranscribeCommand.h"
#include "app/XdgAutostart.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

const char usage[] = "Usage:\n"
                     "  orvanta dictate      dictate into the focused text field (hold Right Ctrl, or Ctrl+Alt+Space)\n"
                     "  orvanta transcribe [--mode verbatim|clean|structured] [--language ID] [--library FILE] "
                     "AUDIO.wav\n";

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], "transcribe") == 0) {
        QCoreApplication app(argc, argv);
        return orv::TranscribeCommand::run(app.arguments().mid(2));
    }
    if (argc >= 2 && std::strcmp(argv[1], "dictate") == 0)
        return orv::HeadlessCommand::run(argc, argv);
    // A launch at login, by the autostart entry. Until the windowed application exists this starts what
    // `dictate` starts, without printing, and shows no window (there is none yet); the windowed
    // application takes over here.
    if (argc >= 2 && QString::fromLocal8Bit(argv[1]) == orv::XdgAutostart::autostartArgument())
        return orv::HeadlessCommand::run(argc, argv, orv::HeadlessCommand::Output::silent);
    std::fputs(usage, argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
    return argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
}
