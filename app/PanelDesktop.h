#pragma once

#include "ui/RecordingPanel.h"

#include <QObject>
#include <QProcess>

#include <memory>
#include <optional>

namespace orv {

// The desktop as the recording panel sees it on X11: whether a compositing manager runs (the owner of the
// _NET_WM_CM_S<screen> selection), the panel put on every workspace (_NET_WM_DESKTOP 0xFFFFFFFF), and the
// "animations off" preference: GNOME's org.gnome.desktop.interface enable-animations, or KDE's animation
// speed set to instant. The preference is read in the background and the last answer is used, so a showing
// never waits for it.
class PanelDesktop final : public QObject
{
    Q_OBJECT

public:
    PanelDesktop();
    ~PanelDesktop() override;

    ui::RecordingPanel::Platform platform();
    // On a Wayland session: every compositor composites, but a client can neither place a window nor keep
    // it from taking the focus (xdg-shell has no such request, and Debian 12's Qt 6 has no layer-shell),
    // so the panel is not shown; the tray icon and the main window show the dictation instead.
    static ui::RecordingPanel::Platform waylandPlatform();

    bool compositing() const;
    std::optional<bool> reduceMotion();
    static void showOnEveryWorkspace(QWidget &window);

    // What GNOME's setting printed ("true", "false"), KDE's animation factor: the preference or none.
    static std::optional<bool> gnomeReduceMotion(const QByteArray &printed);
    static std::optional<bool> kdeReduceMotion(const QString &kdeglobalsPath);

private:
    void readPreference();

    std::optional<bool> m_reduceMotion;
    std::unique_ptr<QProcess> m_reading;
};

} // namespace orv
