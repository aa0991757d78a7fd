// The opt-in hold key from the input devices, fed with recorded event streams through pipes (this machine's
// kernel has no /dev/input), driving the same shortcut service as the X11 keys.
#include "shortcuts/GlobalShortcut.h"
#include "shortcuts/evdev/EvdevHoldKey.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/VirtualScheduler.h"

#include "tests/support/FakeShortcutPlatform.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <deque>
#include <fcntl.h>
#include <set>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace orv {
namespace {

// A keyboard whose events are a recording written into a pipe, SYN reports and all, as read() gets them
// from an event device. Its key state follows what was read, as the kernel's does.
class RecordedKeyboard final : public EvdevKeyboard
{
public:
    RecordedKeyboard(int fd, std::set<unsigned> down) : m_fd(fd), m_down(std::move(down)) {}
    ~RecordedKeyboard() override { ::close(m_fd); }

    int fd() const override { return m_fd; }
    bool read(std::vector<input_event> &events) override
    {
        input_event event{};
        for (;;) {
            const ssize_t got = ::read(m_fd, &event, sizeof event);
            if (got == 0)
                return false; // the writer went away: the device is gone
            if (got != static_cast<ssize_t>(sizeof event))
                return true;
            if (event.type != EV_KEY)
                continue;
            if (event.value == 0)
                m_down.erase(event.code);
            else
                m_down.insert(event.code);
            events.push_back(event);
        }
    }
    std::vector<unsigned> keysDown() const override { return {m_down.begin(), m_down.end()}; }

private:
    int m_fd;
    std::set<unsigned> m_down;
};

// The writing end of one recorded keyboard.
struct Recording
{
    explicit Recording(int fd) : fd(fd) {}
    ~Recording() { ::close(fd); }
    int fd = -1;

    void key(unsigned code, int value) const
    {
        const input_event events[] = {{{}, EV_MSC, MSC_SCAN, 0x1d},
                                      {{}, EV_KEY, static_cast<std::uint16_t>(code), value},
                                      {{}, EV_SYN, SYN_REPORT, 0}};
        ASSERT_EQ(::write(fd, events, sizeof events), static_cast<ssize_t>(sizeof events));
    }
    void press(unsigned code) const { key(code, 1); }
    void release(unsigned code) const { key(code, 0); }
    void tap(unsigned code) const
    {
        press(code);
        release(code);
    }
    void unplug() { ::close(std::exchange(fd, -1)); }
};

class EvdevHoldKeyTest : public ::testing::Test
{
protected:
    // The next open finds these keyboards, each with the keys held at that moment.
    void plugIn(std::vector<std::set<unsigned>> keyboards)
    {
        for (std::set<unsigned> &down : keyboards) {
            int ends[2];
            ASSERT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
            recordings.emplace_back(ends[1]);
            plugged.push_back(std::make_unique<RecordedKeyboard>(ends[0], std::move(down)));
        }
    }

    void start()
    {
        auto backend = std::make_shared<EvdevHoldKey>(keys, [this] { return std::exchange(plugged, {}); });
        GlobalShortcut::Operations ops;
        ops.installHotKeyHandler = [](auto) { return 0; };
        ops.removeHotKeyHandler = [] {};
        ops.registerHotKey = [](GlobalShortcut::HotKey) { return EvdevHoldKey::statusNotOffered; };
        ops.unregisterHotKey = [](GlobalShortcut::HotKey) {};
        ops.observeSession = [](auto, auto) {};
        ops.stopObservingSession = [] {};
        EvdevHoldKey::fill(ops, backend);
        shortcut = std::make_unique<GlobalShortcut>(
            scheduler, std::move(ops), keys,
            test::loggingCallbacks(log, [this](const QString &text) { status = text; }));
        EXPECT_FALSE(shortcut->start()) << "no toggle from the input devices";
        scheduler.runPending();
        log.clear();
    }

    // Lets the event loop read what was written so far, so that the next write comes after it in time.
    void settle()
    {
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        scheduler.runPending();
    }

    // Lets the event loop read the pipes and the service hand on what they meant.
    QStringList seen(int count)
    {
        test::waitUntil([&] {
            scheduler.runPending();
            return log.size() >= count;
        });
        return std::exchange(log, {});
    }

    test::VirtualScheduler scheduler;
    test::FixedShortcutSettings keys;
    std::deque<Recording> recordings; // never moved: each closes its pipe once
    std::vector<std::unique_ptr<EvdevKeyboard>> plugged;
    std::unique_ptr<GlobalShortcut> shortcut;
    QStringList log;
    QString status;
};

// Hold and release; a key typed while holding cancels; a press under a modifier held on another keyboard,
// and a hold key already down at the start, stay inert; autorepeat changes nothing.
TEST_F(EvdevHoldKeyTest, recordedHoldsBeginFinishAndCancelAsOnX11)
{
    plugIn({{}, {KEY_RIGHTCTRL}});
    start();
    EXPECT_EQ(status, GlobalShortcut::statusTexts(keys.hold).ready);
    const Recording &keyboard = recordings[0];
    const Recording &other = recordings[1];

    keyboard.tap(KEY_RIGHTCTRL);
    settle();
    other.release(KEY_RIGHTCTRL);
    settle();
    EXPECT_EQ(seen(0), QStringList()) << "the other keyboard held it at the start: inert";

    keyboard.press(KEY_RIGHTCTRL);
    keyboard.key(KEY_RIGHTCTRL, 2);
    keyboard.key(KEY_RIGHTCTRL, 2);
    keyboard.release(KEY_RIGHTCTRL);
    EXPECT_EQ(seen(2), QStringList({u"fn begin"_s, u"fn finish"_s}));

    keyboard.press(KEY_RIGHTCTRL);
    keyboard.tap(KEY_A);
    keyboard.release(KEY_RIGHTCTRL);
    EXPECT_EQ(seen(2), QStringList({u"fn begin"_s, u"fn cancel"_s}));

    other.press(KEY_LEFTSHIFT);
    settle();
    keyboard.tap(KEY_RIGHTCTRL);
    settle();
    other.release(KEY_LEFTSHIFT);
    settle();
    EXPECT_EQ(seen(0), QStringList()) << "Shift+Right Ctrl is someone else's shortcut";
}

// The chosen hold key is positional: Menu is KEY_COMPOSE whatever the layout, and Right Ctrl then is an
// ordinary modifier.
TEST_F(EvdevHoldKeyTest, theChosenHoldKeyIsReadByItsPosition)
{
    keys.hold = u"Menu"_s;
    plugIn({{}});
    start();
    recordings[0].tap(KEY_RIGHTCTRL);
    recordings[0].tap(KEY_COMPOSE);
    EXPECT_EQ(seen(2), QStringList({u"fn begin"_s, u"fn finish"_s}));
    EXPECT_EQ(EvdevHoldKey::holdKeyCode(u"Right Alt"_s), unsigned{KEY_RIGHTALT});
    EXPECT_EQ(EvdevHoldKey::holdKeyCode(u"Caps Lock"_s), 0u);
}

// A keyboard unplugged in the middle of a hold ends that dictation as cancelled and says so; once the retry
// delay has passed in virtual time the keyboards are looked for again and the key works.
TEST_F(EvdevHoldKeyTest, anUnpluggedKeyboardCancelsAndIsFoundAgain)
{
    plugIn({{}});
    start();
    recordings[0].press(KEY_RIGHTCTRL);
    EXPECT_EQ(seen(1), QStringList({u"fn begin"_s}));
    recordings[0].unplug();
    EXPECT_EQ(seen(1), QStringList({u"fn cancel"_s}));
    EXPECT_EQ(status, GlobalShortcut::statusTexts(keys.hold).interrupted);

    plugIn({{}});
    scheduler.advance(GlobalShortcut::tapRetryDelay);
    EXPECT_EQ(status, GlobalShortcut::statusTexts(keys.hold).ready);
    recordings[1].tap(KEY_RIGHTCTRL);
    EXPECT_EQ(seen(2), QStringList({u"fn begin"_s, u"fn finish"_s}));
}

} // namespace
} // namespace orv
