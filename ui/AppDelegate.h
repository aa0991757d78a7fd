#pragma once

#include "ui/RecordingPanel.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace orv {

class AppModel;
class LinuxSettings;

namespace ui {

class AboutDialog;
class MainWindowController;

// The application's windows around the model: the main window, its menu bar, the recording panel, and the
// tray icon with its menu, kept in step with the model on every change notification. The composition root owns the
// model and the global shortcuts; closing the main window does not quit.
class AppDelegate final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString settingsPath; // orvanta.conf, where the main window keeps its frame
        bool launchedAtLogin = false;
        // After the status is read again when the application becomes active (the shortcut service looks at
        // the hold key again).
        std::function<void()> becameActive;
        // Whether the desktop shows a tray; Qt's answer unless a test says otherwise.
        std::function<bool()> trayAvailable;
        // The Linux choices the Settings page shows and changes; they outlive the delegate.
        LinuxSettings *choices = nullptr;
        // What the recording panel needs from the desktop.
        RecordingPanel::Platform panel;
    };

    AppDelegate(AppModel &model, Options options, QObject *parent = nullptr);
    ~AppDelegate() override;

    // Builds the main window, the menus and the tray icon, and shows the window unless this is a launch at
    // login after setup was completed.
    void launch();
    // At termination: the window's frame is kept and any dictation is cancelled.
    void terminate();

    void showMainWindow();
    void record();
    void showSettings();
    void showSetup();
    void cancel();
    void chooseMode(const QString &rawMode);
    void about();

    MainWindowController *mainWindow() const { return m_mainWindow.get(); }
    RecordingPanel *recordingPanel() const { return m_recordingPanel.get(); }
    QSystemTrayIcon *statusItem() const { return m_statusItem.get(); }
    QMenu *statusMenu() const { return m_statusMenu.get(); }
    QAction *recordMenuItem() const { return m_recordMenuItem; }
    // What the tray said when the window was first closed; empty until then.
    const QString &trayNotice() const { return m_trayNotice; }

private:
    void buildMainMenu();
    void buildStatusItem();
    void modelChanged();
    void becameActive();
    void windowClosed();
    void refreshShortcutTexts();

    QPointer<AppModel> m_model;
    Options m_options;
    std::unique_ptr<MainWindowController> m_mainWindow;
    std::unique_ptr<RecordingPanel> m_recordingPanel;
    std::unique_ptr<QMenu> m_statusMenu;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    QAction *m_recordMenuItem = nullptr;
    QAction *m_menuRecord = nullptr;
    QAction *m_menuCancel = nullptr;
    QAction *m_trayCancel = nullptr;
    QList<QAction *> m_modeItems; // the tray's Formatting items
    QPointer<AboutDialog> m_about;
    // What the tray shows now.
    std::optional<bool> m_trayRecording;
    QString m_trayStatus;
    QString m_shownToggle;
    QString m_trayNotice;
};

} // namespace ui
} // namespace orv
