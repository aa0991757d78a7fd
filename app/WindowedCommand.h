#pragma once

namespace orv {

// `orvanta` (and `orvanta --autostart` at login): the application with its windows and tray icon. Exit
// status 2 with one line when no display can be reached; 0 at once when Orvanta already runs in this
// session (that one shows its window).
namespace WindowedCommand {

int run(int argc, char *argv[], bool launchedAtLogin);

} // namespace WindowedCommand
} // namespace orv
