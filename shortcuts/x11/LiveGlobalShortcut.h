#pragma once

#include "shortcuts/GlobalShortcut.h"

#include <memory>

namespace orv {

// The shortcut service of the running application: the X11 backend on $DISPLAY with logind and
// screen-saver notices. Call on the main thread after the QCoreApplication exists. The settings must
// outlive the service.
std::unique_ptr<GlobalShortcut>
makeLiveGlobalShortcut(Scheduler &scheduler, const ShortcutSettings &settings, GlobalShortcut::Callbacks callbacks);

} // namespace orv
