#pragma once

#include "library/Records.h"

#include <QList>
#include <QMainWindow>

class QAction;
class QLabel;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QToolBar;

namespace orv {

class AppModel;
class LinuxSettings;

namespace ui {

class OnboardingViewController;
class SidebarViewController;

// The main window: the onboarding flow until it is complete, then the sidebar with the four pages and a
// toolbar with the Dictate/Finish button. Redraws from the model on every change notification. Closing it
// only hides it. Its frame is kept in the settings file under "OrvantaMainWindow".
class MainWindowController final : public QMainWindow
{
    Q_OBJECT

public:
    static QString frameKey() { return QStringLiteral("OrvantaMainWindow"); }
    static constexpr QSize defaultSize{1000, 720};
    // Half of a 1280-pixel screen; below narrowWidth the sidebar makes way for the page.
    static constexpr QSize minimumFrame{600, 460};
    static constexpr int narrowWidth = 780;
    // Room the window manager's title bar and borders take around the window, before it is known.
    static constexpr QMargins assumedDecoration{2, 32, 2, 2};

    // `frame` (the window without its decoration) moved and shrunk to lie within `area` with `decoration`
    // around it, never below `minimum`.
    static QRect clampedFrame(QRect frame, const QRect &area, QSize minimum, QMargins decoration);

    // settingsPath: the INI file that keeps the window's frame; choices: the Linux choices for Settings.
    MainWindowController(AppModel &model, QString settingsPath, LinuxSettings *choices, QWidget *parent = nullptr);
    ~MainWindowController() override;

    void toggleRecording();
    void refresh();
    void select(int index);
    // Selects the Settings page once onboarding is complete; the caller shows the window.
    void showSettings();
    // Without a tray, a closed window can only come back by starting Orvanta again; the window says so.
    void setTrayAvailable(bool available);
    void saveFrame() const;
    bool settingsUsable() const;

    int selectedPage() const { return m_selectedPage; }
    bool showingOnboarding() const { return m_showingOnboarding; }
    const QList<QWidget *> &pages() const { return m_pages; }
    QWidget *currentPage() const;
    SidebarViewController *sidebar() const { return m_sidebar; }
    QPushButton *recordButton() const { return m_recordButton; }
    const QString &recordSymbol() const { return m_recordSymbol; }
    QToolBar *mainToolbar() const { return m_toolbar; }
    OnboardingViewController *onboardingController() const { return m_onboarding; }
    QLabel *noTrayLine() const { return m_noTrayLine; }

Q_SIGNALS:
    // The user closed the window (it is hidden; Orvanta goes on).
    void closed();

protected:
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildToolbar();
    void restoreFrame();
    void refreshRecordButton();

    AppModel &m_model;
    LinuxSettings *m_choices;
    QString m_settingsPath;
    QSplitter *m_split;
    SidebarViewController *m_sidebar;
    QStackedWidget *m_pageStack;
    QStackedWidget *m_modes;
    QLabel *m_noTrayLine;
    QList<QWidget *> m_pages;
    int m_selectedPage = -1;
    QPushButton *m_recordButton = nullptr;
    QAction *m_recordAction = nullptr; // the toolbar's place of the record button
    QString m_recordSymbol;
    QToolBar *m_toolbar = nullptr;
    bool m_showingOnboarding = false;
    std::optional<bool> m_narrow; // the sidebar was put away for a narrow window
    OnboardingViewController *m_onboarding = nullptr;
    // What the record button shows now, so that a level report redraws nothing.
    std::optional<RecordingPhase> m_shownPhase;
    QString m_shownKeys;
};

} // namespace ui
} // namespace orv
