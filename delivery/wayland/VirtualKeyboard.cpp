#include "delivery/wayland/VirtualKeyboard.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <QHash>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

namespace orv::wayland {

namespace {

constexpr int flushTimeoutMs = 1000;

xkb_keysym_t keysymOf(char32_t character)
{
    if (character == U'\n' || character == U'\u2028' || character == U'\u2029')
        return XKB_KEY_Return;
    if (character == U'\t')
        return XKB_KEY_Tab;
    if (character < 0x20 || character == 0x7f)
        return XKB_KEY_NoSymbol;
    return xkb_utf32_to_keysym(character);
}

int keymapFile(const QByteArray &keymap)
{
    const int fd = memfd_create("orvanta-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    const qsizetype size = keymap.size() + 1; // with its terminating NUL
    qsizetype written = 0;
    while (written < size) {
        const ssize_t n = write(fd, keymap.constData() + written, size_t(size - written));
        if (n <= 0) {
            close(fd);
            return -1;
        }
        written += n;
    }
    return fd;
}

quint32 milliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return quint32(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

} // namespace

VirtualKeyboard::VirtualKeyboard()
{
    m_display = wl_display_connect(nullptr);
    if (!m_display)
        return;
    static const wl_registry_listener listener = {&VirtualKeyboard::global, &VirtualKeyboard::globalRemove};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &listener, this);
    wl_display_roundtrip(m_display);
}

VirtualKeyboard::~VirtualKeyboard()
{
    if (!m_display)
        return;
    if (m_keyboard)
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
    if (m_manager)
        zwp_virtual_keyboard_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

void VirtualKeyboard::global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    auto *self = static_cast<VirtualKeyboard *>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat) {
        self->m_seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0 && !self->m_manager) {
        self->m_manager = static_cast<zwp_virtual_keyboard_manager_v1 *>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (std::strcmp(interface, "zwlr_data_control_manager_v1") == 0) {
        self->m_dataControl = true;
    }
    (void)version;
}

void VirtualKeyboard::globalRemove(void *, wl_registry *, uint32_t) {}

bool VirtualKeyboard::isAvailable() const
{
    return m_display && m_seat && m_manager && wl_display_get_error(m_display) == 0;
}

QByteArray VirtualKeyboard::keymapFor(const QList<char32_t> &characters)
{
    QByteArray codes;
    QByteArray symbols;
    char name[64];
    for (qsizetype i = 0; i < characters.size() && i < keysPerKeymap; ++i) {
        const xkb_keysym_t keysym = keysymOf(characters.at(i));
        if (keysym == XKB_KEY_NoSymbol || xkb_keysym_get_name(keysym, name, sizeof name) <= 0)
            std::strcpy(name, "NoSymbol");
        codes += "  <K" + QByteArray::number(i + 1) + "> = " + QByteArray::number(i + 9) + ";\n";
        symbols += "  key <K" + QByteArray::number(i + 1) + "> { [ " + name + " ] };\n";
    }
    return "xkb_keymap {\n"
           "xkb_keycodes \"orvanta\" {\n  minimum = 8;\n  maximum = 255;\n" +
           codes +
           "};\n"
           "xkb_types \"orvanta\" { include \"complete\" };\n"
           "xkb_compatibility \"orvanta\" { include \"complete\" };\n"
           "xkb_symbols \"orvanta\" {\n" +
           symbols + "};\n};\n";
}

// The keyboard stays for the session once made: a keyboard that disappears right after typing can take
// the window's keyboard focus with it.
Task<bool> VirtualKeyboard::type(Scheduler &scheduler, QString text)
{
    if (!isAvailable())
        co_return false;
    const std::weak_ptr<int> alive = m_life;
    if (!m_keyboard) {
        m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_manager, m_seat);
        // A keyboard needs a keymap before anything else.
        const int fd = keymapFile(keymapFor({U' '}));
        if (fd < 0)
            co_return false;
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       uint32_t(lseek(fd, 0, SEEK_END)));
        close(fd);
        if (!flush())
            co_return false;
        if (!co_await sleepFor(scheduler, settleDelay) || alive.expired() || !isAvailable())
            co_return false;
    }

    // Characters go in keymaps of up to keysPerKeymap keys, each uploaded before its keys are pressed.
    const QList<uint> characters = text.toUcs4();
    qsizetype next = 0;
    while (next < characters.size()) {
        QList<char32_t> keys;
        QHash<char32_t, int> keyOf;
        qsizetype end = next;
        for (; end < characters.size(); ++end) {
            const char32_t character = characters.at(end);
            if (keyOf.contains(character))
                continue;
            if (keys.size() == keysPerKeymap)
                break;
            keyOf.insert(character, int(keys.size()) + 1);
            keys.append(character);
        }
        const int fd = keymapFile(keymapFor(keys));
        if (fd < 0)
            co_return false;
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       uint32_t(lseek(fd, 0, SEEK_END)));
        close(fd);
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, 0);
        for (qsizetype i = next; i < end; ++i) {
            const char32_t character = characters.at(i);
            if (keysymOf(character) == XKB_KEY_NoSymbol)
                continue;
            const uint32_t key = uint32_t(keyOf.value(character));
            zwp_virtual_keyboard_v1_key(m_keyboard, milliseconds(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
            zwp_virtual_keyboard_v1_key(m_keyboard, milliseconds(), key, WL_KEYBOARD_KEY_STATE_RELEASED);
        }
        if (!flush())
            co_return false;
        next = end;
    }
    co_return true;
}

// Long texts fill the socket: waits, within a bound, for the compositor to take them.
bool VirtualKeyboard::flush()
{
    for (;;) {
        if (wl_display_flush(m_display) >= 0)
            return wl_display_get_error(m_display) == 0;
        if (errno != EAGAIN)
            return false;
        pollfd out{wl_display_get_fd(m_display), POLLOUT, 0};
        if (poll(&out, 1, flushTimeoutMs) <= 0)
            return false;
    }
}

} // namespace orv::wayland
