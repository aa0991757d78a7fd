#pragma once

#include "base/Scheduler.h"
#include "base/Task.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace orv::wayland {

// Types text on a wlroots compositor through the virtual-keyboard protocol, on a Wayland connection of
// its own. Each text gets a keymap made for it (one key per distinct character, the character's keysym
// on it), so any character arrives whatever layout the user has. Also notes which clipboard protocol the
// compositor offers. Main thread.
class VirtualKeyboard
{
public:
    // Connects to the session's compositor (WAYLAND_DISPLAY); unusable when that fails.
    VirtualKeyboard();
    ~VirtualKeyboard();
    VirtualKeyboard(const VirtualKeyboard &) = delete;
    VirtualKeyboard &operator=(const VirtualKeyboard &) = delete;

    // Whether the compositor offers virtual keyboards (wlroots does; GNOME and KDE do not).
    bool isAvailable() const;
    // Whether it offers clipboard access without a focused window (wlroots' data-control).
    bool offersDataControl() const { return m_dataControl; }

    // Types text into the focused window; false when the connection cannot send. The compositor drops
    // the first key of a keyboard that has just appeared, so typing begins a moment after it is made.
    Task<bool> type(Scheduler &scheduler, QString text);

    static constexpr Duration settleDelay = std::chrono::milliseconds(150);

    // An XKB keymap with one key per character of `characters` (at most keysPerKeymap), from keycode 9;
    // line breaks become Return and tabs Tab. The key of characters[i] is evdev code i + 1.
    static QByteArray keymapFor(const QList<char32_t> &characters);
    static constexpr int keysPerKeymap = 240;

private:
    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    static void globalRemove(void *data, wl_registry *registry, uint32_t name);
    bool flush();

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    zwp_virtual_keyboard_manager_v1 *m_manager = nullptr;
    zwp_virtual_keyboard_v1 *m_keyboard = nullptr;
    bool m_dataControl = false;
    // A typing that is still waiting holds this weakly.
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

} // namespace orv::wayland
