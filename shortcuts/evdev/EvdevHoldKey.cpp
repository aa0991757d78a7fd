#include "shortcuts/evdev/EvdevHoldKey.h"

#include "shortcuts/ShortcutSettings.h"

#include <QDir>
#include <QSocketNotifier>

#include <libevdev/libevdev.h>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

// X11's key codes are the kernel's plus 8; the translator keeps X11's numbering.
constexpr unsigned xOffset = 8;

using Kind = X11KeyTranslator::KeyKind;

struct KeyKindOf
{
    unsigned code;
    Kind kind;
};

constexpr KeyKindOf modifierKeys[] = {
    {KEY_LEFTSHIFT, Kind::shift},   {KEY_RIGHTSHIFT, Kind::shift},  {KEY_LEFTCTRL, Kind::control},
    {KEY_RIGHTCTRL, Kind::control}, {KEY_LEFTALT, Kind::option},    {KEY_RIGHTALT, Kind::option},
    {KEY_LEFTMETA, Kind::command},  {KEY_RIGHTMETA, Kind::command}, {KEY_CAPSLOCK, Kind::lock},
    {KEY_NUMLOCK, Kind::lock},
};

class DeviceKeyboard final : public EvdevKeyboard
{
public:
    DeviceKeyboard(int fd, libevdev *device) : m_fd(fd), m_device(device) {}
    ~DeviceKeyboard() override
    {
        libevdev_free(m_device);
        ::close(m_fd);
    }

    int fd() const override { return m_fd; }

    bool read(std::vector<input_event> &events) override
    {
        unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
        for (;;) {
            input_event event{};
            const int status = libevdev_next_event(m_device, flags, &event);
            if (status == LIBEVDEV_READ_STATUS_SYNC) {
                // Events were dropped: libevdev replays the differences, so every key ends as it is now.
                flags = LIBEVDEV_READ_FLAG_SYNC;
            } else if (status == -EAGAIN) {
                if (flags == LIBEVDEV_READ_FLAG_NORMAL)
                    return true;
                flags = LIBEVDEV_READ_FLAG_NORMAL;
                continue;
            } else if (status < 0) {
                return false;
            }
            if (event.type == EV_KEY)
                events.push_back(event);
        }
    }

    std::vector<unsigned> keysDown() const override
    {
        std::vector<unsigned> down;
        for (unsigned code = 0; code < 256 - xOffset; ++code) {
            if (libevdev_get_event_value(m_device, EV_KEY, code) > 0)
                down.push_back(code);
        }
        return down;
    }

private:
    int m_fd;
    libevdev *m_device;
};

} // namespace

unsigned EvdevHoldKey::holdKeyCode(const QString &name)
{
    static const std::pair<const char *, unsigned> codes[] = {
        {"Right Ctrl", KEY_RIGHTCTRL},  {"Right Alt", KEY_RIGHTALT},     {"Right Shift", KEY_RIGHTSHIFT},
        {"Right Super", KEY_RIGHTMETA}, {"Left Super", KEY_LEFTMETA},    {"Menu", KEY_COMPOSE},
        {"Pause", KEY_PAUSE},           {"Scroll Lock", KEY_SCROLLLOCK},
    };
    for (const auto &[keyName, code] : codes) {
        if (name == QLatin1String(keyName))
            return code;
    }
    return 0;
}

bool EvdevHoldKey::userInInputGroup()
{
    const group *input = getgrnam("input");
    if (!input)
        return false;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    if (count > 0 && getgroups(count, groups.data()) != count)
        return false;
    return getegid() == input->gr_gid || std::find(groups.begin(), groups.end(), input->gr_gid) != groups.end();
}

std::vector<std::unique_ptr<EvdevKeyboard>> EvdevHoldKey::liveKeyboards()
{
    std::vector<std::unique_ptr<EvdevKeyboard>> keyboards;
    const QDir folder(QStringLiteral("/dev/input"));
    for (const QString &name : folder.entryList({QStringLiteral("event*")}, QDir::System)) {
        const int fd = ::open(QFile::encodeName(folder.filePath(name)).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        libevdev *device = nullptr;
        // A keyboard has letter keys; mice, power buttons and lid switches do not.
        if (libevdev_new_from_fd(fd, &device) != 0 || !libevdev_has_event_code(device, EV_KEY, KEY_A) ||
            !libevdev_has_event_code(device, EV_KEY, KEY_SPACE)) {
            if (device)
                libevdev_free(device);
            ::close(fd);
            continue;
        }
        keyboards.push_back(std::make_unique<DeviceKeyboard>(fd, device));
    }
    return keyboards;
}

EvdevHoldKey::EvdevHoldKey(const ShortcutSettings &settings, Open open) : m_settings(settings), m_open(std::move(open))
{}

EvdevHoldKey::~EvdevHoldKey()
{
    removeTap();
}

void EvdevHoldKey::fill(GlobalShortcut::Operations &ops, std::shared_ptr<EvdevHoldKey> backend)
{
    EvdevHoldKey *self = backend.get();
    ops.createTap = [self](std::function<bool(const GlobalShortcut::TapEvent &)> onEvent,
                           std::function<void(GlobalShortcut::TapDisabled)> onDisabled) {
        return self->createTap(std::move(onEvent), std::move(onDisabled));
    };
    ops.enableTap = [self](bool enabled) { self->enableTap(enabled); };
    ops.removeTap = [self] { self->removeTap(); };
    ops.modifierFlags = [self] { return self->modifierFlags(); };
    ops.isTrusted = [] { return true; };
    ops.isSecureInput = [] { return false; };
    ops.waylandSession = true;
    ops.owner = std::move(backend);
}

bool EvdevHoldKey::createTap(std::function<bool(const GlobalShortcut::TapEvent &)> onEvent,
                             std::function<void(GlobalShortcut::TapDisabled)> onDisabled)
{
    removeTap();
    const unsigned hold = holdKeyCode(m_settings.holdKey());
    m_keyboards = m_open();
    if (!hold || m_keyboards.empty()) {
        m_keyboards.clear();
        return false;
    }
    m_translator.clearKeyKindes();
    for (const KeyKindOf &key : modifierKeys)
        m_translator.setKeyKind(static_cast<std::uint8_t>(key.code + xOffset), key.kind);
    m_translator.setKeyKind(static_cast<std::uint8_t>(hold + xOffset), Kind::hold);
    m_translator.releaseAll();
    for (const auto &keyboard : m_keyboards) {
        for (unsigned code : keyboard->keysDown()) {
            if (code + xOffset < 256)
                m_translator.translate(static_cast<std::uint8_t>(code + xOffset), true);
        }
    }
    m_onEvent = std::move(onEvent);
    m_onDisabled = std::move(onDisabled);
    for (std::size_t index = 0; index < m_keyboards.size(); ++index) {
        auto *notifier = new QSocketNotifier(m_keyboards[index]->fd(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, index] { readFrom(index); });
        m_notifiers.push_back(notifier);
    }
    return true;
}

void EvdevHoldKey::removeTap()
{
    for (QSocketNotifier *notifier : m_notifiers) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    m_notifiers.clear();
    m_keyboards.clear();
    m_onEvent = nullptr;
    m_enabled = false;
}

std::uint64_t EvdevHoldKey::modifierFlags() const
{
    char keymap[32] = {};
    for (const auto &keyboard : m_keyboards) {
        for (unsigned code : keyboard->keysDown()) {
            const unsigned x = code + xOffset;
            if (x < 256)
                keymap[x / 8] = static_cast<char>(keymap[x / 8] | (1 << (x % 8)));
        }
    }
    return m_translator.flagsOf(keymap);
}

void EvdevHoldKey::readFrom(std::size_t index)
{
    if (index >= m_keyboards.size() || index >= m_notifiers.size())
        return;
    std::vector<input_event> events;
    const bool open = m_keyboards[index]->read(events);
    for (const input_event &event : events) {
        // 0 release, 1 press, 2 autorepeat: a repeat changes nothing the hold key's logic reads.
        if (event.value == 2 || event.code + xOffset >= 256)
            continue;
        const auto tap = m_translator.translate(static_cast<std::uint8_t>(event.code + xOffset), event.value != 0);
        if (tap && m_enabled && m_onEvent)
            m_onEvent(*tap);
    }
    if (!open) {
        // A keyboard unplugged or taken away (the group changed): the service sets the tap up again later.
        m_notifiers[index]->setEnabled(false);
        if (m_onDisabled) {
            const auto report = m_onDisabled;
            report(GlobalShortcut::TapDisabled::byUserInput);
        }
    }
}

} // namespace orv
