#pragma once

#include "base/Scheduler.h"
#include "delivery/TextDelivery.h"
#include "delivery/atspi/X11Keyboard.h"

#include <memory>

namespace orv::atspi {

class AtspiWorker;
class DesktopEntryNames;

// The live platform operations of text delivery on an X11 desktop: AT-SPI 2 for the focused field, its
// text and its changes (on a worker thread), XTest for the paste keystroke and QClipboard for the
// clipboard. Needs a QGuiApplication on the xcb platform; elsewhere it reports itself untrusted and
// delivery falls back to the clipboard.
class LiveEnvironment : public std::enable_shared_from_this<LiveEnvironment>
{
public:
    // Call before the QGuiApplication is created. libatspi attaches its bus connections to GLib's
    // default main context, which the AT-SPI worker thread iterates; Qt's main loop must not iterate it
    // too, or it takes replies and events the worker waits for (seen: stalls and crashes). This selects
    // Qt's own event dispatcher for the process. Without it the environment reports itself untrusted
    // and delivery uses the clipboard.
    static void configureProcess();
    // The operations table; each operation keeps the live environment alive. One per process.
    static TextDelivery::Environment create(Scheduler &scheduler);
    // The accessibility side alone, for a desktop where no X11 input reaches other applications (Wayland):
    // the active application comes from AT-SPI, no key state is known, nothing is pasted and there is no
    // clipboard; the session's backends add those.
    static TextDelivery::Environment createAccessibility(Scheduler &scheduler);
    // The text delivery service of the running application (own process: this one).
    static std::unique_ptr<TextDelivery> createTextDelivery(Scheduler &scheduler);

    ~LiveEnvironment();

    bool trusted();
    std::optional<ApplicationInfo> application();
    Task<bool> enableAccessibility(qint64 processID);
    // Ctrl+V, Ctrl+Shift+V into a terminal, Shift+Insert with the text also on the primary selection
    // into xterm.
    bool postPaste(bool terminal);

private:
    LiveEnvironment(Scheduler &scheduler, bool x11Input);
    static TextDelivery::Environment makeEnvironment(const std::shared_ptr<LiveEnvironment> &live);
    // The application of the active window as AT-SPI reports it; waits on the accessibility thread for
    // at most activeApplicationWait.
    std::optional<ApplicationInfo> accessibleApplication();
    static constexpr std::chrono::milliseconds activeApplicationWait{300};
    bool accessibilityEnabled();
    QString applicationName(qint64 processID, const QString &windowClass, const QString &instance);
    static QString programName(qint64 processID);
    std::optional<X11Keyboard::ActiveWindow> activeWindow();

    Scheduler &m_scheduler;
    std::shared_ptr<AtspiWorker> m_worker;
    std::unique_ptr<X11Keyboard> m_keyboard;
    std::unique_ptr<DesktopEntryNames> m_desktopNames;
    bool m_x11 = false;
    TimePoint m_statusReadAt{};
    bool m_statusEnabled = false;
};

} // namespace orv::atspi
