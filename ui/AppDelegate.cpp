#include "ui/AppDelegate.h"

#include "base/FileRead.h"
#include "base/PlatformText.h"
#include "core/AppModel.h"
#include "ui/AboutDialog.h"
#include "ui/MainWindowController.h"
#include "ui/Symbols.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSystemTrayIcon>

namespace orv::ui {

namespace {

// The edit actions go to the focused text widget: line edits and text editors have these slots.
void sendToFocus(const char *method)
{
    if (QWidget *focus = QApplication::focusWidget())
        QMetaObject::invokeMethod(focus, method);
}

// A key name as the settings write it, in the spelling QKeySequence reads.
QKeySequence keySequence(const QString &name)
{
    QString spelled = name;
    spelled.replace(QLatin1String("Super"), QLatin1String("Meta"));
    return QKeySequence::fromString(spelled, QKeySequence::PortableText);
}

QAction *addAction(QMenu *menu, const QString &title, const QKeySequence &keys = {})
{
    QAction *action = menu->addAction(title);
    if (!keys.isEmpty())
        action->setShortcut(keys);
    return action;
}

} // namespace

AppDelegate::AppDelegate(AppModel &model, Options options, QObject *parent)
    : QObject(parent), m_model(&model), m_options(std::move(options))
{
    if (!m_options.trayAvailable)
        m_options.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
}

AppDelegate::~AppDelegate()
{
    if (m_statusItem)
        m_statusItem->hide();
}

void AppDelegate::launch()
{
    m_mainWindow = std::make_unique<MainWindowController>(*m_model, m_options.settingsPath, m_options.choices);
    m_recordingPanel = std::make_unique<RecordingPanel>(*m_model, m_options.panel);
    buildMainMenu();
    buildStatusItem();
    connect(m_mainWindow.get(), &MainWindowController::closed, this, &AppDelegate::windowClosed);
    connect(m_model, &AppModel::changed, this, &AppDelegate::modelChanged);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            becameActive();
    });
    modelChanged();
    // A launch at login after setup starts with no window: the tray icon is all there is.
    if (m_options.launchedAtLogin && m_model->onboarding().isComplete())
        return;
    showMainWindow();
}

void AppDelegate::terminate()
{
    if (m_mainWindow)
        m_mainWindow->saveFrame();
    if (m_model)
        m_model->cancelDictation();
}

void AppDelegate::showMainWindow()
{
    m_mainWindow->setTrayAvailable(m_options.trayAvailable());
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    else
        m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void AppDelegate::record()
{
    if (!m_model->onboarding().isComplete()) {
        showMainWindow();
        return;
    }
    m_model->toggle();
}

void AppDelegate::showSettings()
{
    m_mainWindow->showSettings();
    showMainWindow();
}

void AppDelegate::showSetup()
{
    m_model->resetOnboarding();
    showMainWindow();
}

void AppDelegate::cancel()
{
    m_model->cancelDictation();
}

void AppDelegate::chooseMode(const QString &rawMode)
{
    const std::optional<DictationMode> mode = dictationModeFromRaw(rawMode);
    if (!mode)
        return;
    Preferences preferences = m_model->preferences();
    preferences.mode = *mode;
    m_model->setPreferences(preferences);
    m_model->saveLibrary();
    m_model->notifyChanged();
}

void AppDelegate::about()
{
    if (!m_about)
        m_about = new AboutDialog(m_mainWindow.get());
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void AppDelegate::windowClosed()
{
    // The first close tells where Orvanta went; a desktop without a tray shows its own line in the window.
    // A settings file that is not the user's own plain file is left alone, as the window's frame does.
    if (const auto problem = privateFileProblem(m_options.settingsPath);
        problem && problem->kind != FileReadError::Kind::missing)
        return;
    QSettings settings(m_options.settingsPath, QSettings::IniFormat);
    const QString told = MainWindowController::frameKey() + QStringLiteral("/toldAboutTray");
    if (settings.value(told).toBool() || !m_options.trayAvailable())
        return;
    settings.setValue(told, true);
    const AppModel::ShortcutNames &keys = m_model->shortcutNames();
    m_trayNotice = QStringLiteral("Dictate with %1 or %2. Open Orvanta again from its icon in the %3; quit it there.")
                       .arg(keys.holdKey, keys.toggle, platform::trayName());
    m_statusItem->showMessage(QStringLiteral("Orvanta keeps running"), m_trayNotice, QSystemTrayIcon::Information,
                              8000);
}

void AppDelegate::becameActive()
{
    if (!m_model)
        return;
    m_model->refreshStatus();
    if (m_options.becameActive)
        m_options.becameActive();
}

void AppDelegate::buildMainMenu()
{
    // The layout Linux applications share: File, Edit (with Preferences), the application's own menu, Help.
    QMenuBar *bar = m_mainWindow->menuBar();

    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    connect(addAction(file, QStringLiteral("Show &Setup…")), &QAction::triggered, this, &AppDelegate::showSetup);
    file->addSeparator();
    connect(addAction(file, QStringLiteral("&Close Window"), QKeySequence(Qt::CTRL | Qt::Key_W)), &QAction::triggered,
            m_mainWindow.get(), &QWidget::close);
    connect(addAction(file, QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q)), &QAction::triggered, qApp,
            &QCoreApplication::quit);

    QMenu *edit = bar->addMenu(QStringLiteral("&Edit"));
    const struct
    {
        const char *title;
        QKeySequence keys;
        const char *method;
    } editItems[] = {
        {"&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), "undo"},
        {"&Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), "redo"},
        {nullptr, {}, nullptr},
        {"Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X), "cut"},
        {"&Copy", QKeySequence(Qt::CTRL | Qt::Key_C), "copy"},
        {"&Paste", QKeySequence(Qt::CTRL | Qt::Key_V), "paste"},
        {"Select &All", QKeySequence(Qt::CTRL | Qt::Key_A), "selectAll"},
    };
    for (const auto &item : editItems) {
        if (!item.title) {
            edit->addSeparator();
            continue;
        }
        const char *method = item.method;
        connect(addAction(edit, QString::fromUtf8(item.title), item.keys), &QAction::triggered, this,
                [method] { sendToFocus(method); });
    }
    edit->addSeparator();
    connect(addAction(edit, QStringLiteral("Pr&eferences…"), QKeySequence(Qt::CTRL | Qt::Key_Comma)),
            &QAction::triggered, this, &AppDelegate::showSettings);

    QMenu *dictation = bar->addMenu(QStringLiteral("&Dictation"));
    m_menuRecord = addAction(dictation, QStringLiteral("&Start / Stop Recording"));
    connect(m_menuRecord, &QAction::triggered, this, &AppDelegate::record);
    m_menuCancel = addAction(dictation, QStringLiteral("&Cancel Recording"), QKeySequence(Qt::Key_Escape));
    connect(m_menuCancel, &QAction::triggered, this, &AppDelegate::cancel);

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    connect(addAction(help, QStringLiteral("&About Orvanta")), &QAction::triggered, this, &AppDelegate::about);
}

void AppDelegate::buildStatusItem()
{
    m_statusMenu = std::make_unique<QMenu>();
    m_statusMenu->setTitle(QStringLiteral("Orvanta"));
    m_recordMenuItem = addAction(m_statusMenu.get(), QStringLiteral("Start Recording"));
    m_recordMenuItem->setShortcutContext(Qt::WidgetShortcut);
    connect(m_recordMenuItem, &QAction::triggered, this, &AppDelegate::record);
    m_trayCancel = addAction(m_statusMenu.get(), QStringLiteral("Cancel Recording"));
    connect(m_trayCancel, &QAction::triggered, this, &AppDelegate::cancel);
    m_statusMenu->addSeparator();
    QMenu *formatting = m_statusMenu->addMenu(QStringLiteral("Formatting"));
    // Radio items: the one checked is the mode in use.
    auto *modes = new QActionGroup(formatting);
    modes->setExclusive(true);
    for (const DictationMode mode : allDictationModes) {
        QAction *item = addAction(formatting, rawValue(mode));
        item->setData(rawValue(mode));
        item->setToolTip(modeDescription(mode));
        item->setCheckable(true);
        modes->addAction(item);
        m_modeItems.append(item);
        connect(item, &QAction::triggered, this, [this, item] { chooseMode(item->data().toString()); });
    }
    m_statusMenu->addSeparator();
    connect(addAction(m_statusMenu.get(), QStringLiteral("Open Orvanta…")), &QAction::triggered, this,
            &AppDelegate::showMainWindow);
    QAction *quit = addAction(m_statusMenu.get(), QStringLiteral("Quit Orvanta"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WidgetShortcut);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);

    m_statusItem = std::make_unique<QSystemTrayIcon>();
    m_statusItem->setIcon(symbols::trayIcon(false));
    m_statusItem->setContextMenu(m_statusMenu.get());
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            showMainWindow();
    });
    m_statusItem->show();
}

void AppDelegate::refreshShortcutTexts()
{
    const QString &toggle = m_model->shortcutNames().toggle;
    if (toggle == m_shownToggle)
        return;
    m_shownToggle = toggle;
    // The toggle works system-wide through the shortcut service; here it is shown next to the items, and
    // in the main window it also works before the global keys are registered.
    m_menuRecord->setShortcut(keySequence(toggle));
    m_recordMenuItem->setShortcut(keySequence(toggle));
}

void AppDelegate::modelChanged()
{
    if (!m_model)
        return;
    const RecordingPhase phase = m_model->phase();
    const bool recording = phase == RecordingPhase::recording;
    refreshShortcutTexts();
    // The panel shows while a dictation runs, put back under the pointer at each start.
    if (phase != RecordingPhase::idle && !m_recordingPanel->isVisible())
        m_recordingPanel->show();
    else if (phase == RecordingPhase::idle)
        m_recordingPanel->hide();
    m_recordMenuItem->setText(recording ? QStringLiteral("Stop Recording") : QStringLiteral("Start Recording"));
    m_recordMenuItem->setEnabled(m_model->onboarding().isComplete() && phase != RecordingPhase::processing);
    // Cancelling with nothing to cancel would end the watch for corrections of the last dictation and
    // claim "Cancelled": like the global Escape, the items act only while a dictation runs.
    m_menuCancel->setEnabled(phase != RecordingPhase::idle);
    m_trayCancel->setEnabled(phase != RecordingPhase::idle);
    const QString mode = rawValue(m_model->preferences().mode);
    for (QAction *item : std::as_const(m_modeItems))
        item->setChecked(item->data().toString() == mode);

    if (m_trayRecording != recording) {
        m_trayRecording = recording;
        m_statusItem->setIcon(symbols::trayIcon(recording));
    }
    if (m_trayStatus != m_model->status()) {
        m_trayStatus = m_model->status();
        m_statusItem->setToolTip(QStringLiteral("Orvanta — ") + m_trayStatus);
        // What a screen reader reads for the tray's menu.
        m_statusMenu->setAccessibleName(QStringLiteral("Orvanta: ") + m_trayStatus);
    }
}

} // namespace orv::ui
