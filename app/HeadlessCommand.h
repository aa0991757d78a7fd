#pragma once

#include <QStringList>

namespace orv {

// `orvanta dictate`: real dictation on this desktop without windows or tray. The global keys are active
// at once; each change of the status line is printed, until the process is interrupted.
namespace HeadlessCommand {

enum class Output
{
    printed, // the status line, results and errors on standard output
    silent,  // nothing but a failure to start (a launch at login)
};

int run(int argc, char *argv[], Output output = Output::printed);

} // namespace HeadlessCommand
} // namespace orv
