#include "app/TranscribeCommand.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], "transcribe") == 0) {
        QCoreApplication app(argc, argv);
        return orv::TranscribeCommand::run(app.arguments().mid(2));
    }
    std::fputs("Usage: orvanta transcribe [--mode verbatim|clean|structured] [--language ID] [--library FILE] "
               "AUDIO.wav\n",
               stderr);
    return 2;
}
