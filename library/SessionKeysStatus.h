#pragma once

#include "base/Expected.h"

#include <QObject>
#include <QString>

#include <functional>

namespace orv {

// How starting and finishing reach Orvanta in this session, reported by the composition root that chose the
// key backends, read by Settings → Keys and onboarding's keys step.
class SessionKeysStatus final : public QObject
{
    Q_OBJECT

public:
    enum class Mechanism
    {
        x11,     // the hold key and the toggle on the X display
        portal,  // the desktop portal's global shortcuts, bound in the desktop's dialog
        command, // `orvanta toggle`, bound to a key in the desktop's keyboard settings
        evdev,   // the hold key from the input devices (opt-in), the toggle as for `command`
    };

    struct State
    {
        Mechanism mechanism = Mechanism::x11;
        // The user may read the input devices (member of `input`): the opt-in hold key can be offered.
        bool inputDevicesReadable = false;
        // The desktop whose keyboard settings Orvanta can add `orvanta toggle` to ("GNOME"); empty: none.
        QString desktopWithShortcuts;
        // What the portal's shortcuts are bound to, as the desktop names them; empty when unknown.
        QString holdTrigger;
        QString toggleTrigger;

        bool operator==(const State &) const = default;
    };

    static QString toggleCommand() { return QStringLiteral("orvanta toggle"); }
    static QString cancelCommand() { return QStringLiteral("orvanta cancel"); }

    using QObject::QObject;

    const State &state() const { return m_state; }
    bool wayland() const { return m_state.mechanism != Mechanism::x11; }
    // Emits changed() when it differs.
    void report(const State &state);

    // Adds `orvanta toggle` to the desktop's keyboard shortcuts; set by the composition root where the
    // desktop allows it. Answers the sentence to show.
    std::function<Expected<QString, QString>()> onAddDesktopShortcut;

Q_SIGNALS:
    void changed();

private:
    State m_state;
};

} // namespace orv
