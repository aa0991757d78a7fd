#pragma once

#include <QStringList>

namespace orv {

// `orvanta dictate`: real dictation on this desktop without windows or tray. The global keys are active
// at once; each change of the status line is printed, until the process is interrupted.
namespace HeadlessCommand {

int run(int argc, char *argv[]);

} // namespace HeadlessCommand
} // namespace orv
