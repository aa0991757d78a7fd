#include "shortcuts/x11/LiveGlobalShortcut.h"

#include "shortcuts/x11/X11ShortcutBackend.h"

namespace orv {

std::unique_ptr<GlobalShortcut>
makeLiveGlobalShortcut(Scheduler &scheduler, const ShortcutSettings &settings, GlobalShortcut::Callbacks callbacks)
{
    auto backend = std::make_shared<X11ShortcutBackend>(settings);
    return std::make_unique<GlobalShortcut>(scheduler, X11ShortcutBackend::operations(std::move(backend)), settings,
                                            std::move(callbacks));
}

} // namespace orv
