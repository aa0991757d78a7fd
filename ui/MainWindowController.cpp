#include "ui/MainWindowController.h"

#include "base/FileRead.h"
#include "core/AppModel.h"
#include "ui/DictionaryViewController.h"
#include "ui/HistoryViewController.h"
#include "ui/OnboardingViewController.h"
#include "ui/OverviewViewController.h"
#include "ui/SettingsViewController.h"
#include "ui/SidebarViewController.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace orv::ui {

namespace {

constexpr int sidebarMinimum = 190;
constexpr int sidebarMaximum = 250;

} // namespace

MainWindowController::MainWindowController(AppModel &model,
                                           QString settingsPath,
                                           LinuxSettings *choices,
                                           QWidget *parent)
    : QMainWindow(parent), m_model(model), m_choices(choices), m_settingsPath(std::move(settingsPath)),
      m_split(new QSplitter), m_sidebar(new SidebarViewController(model)), m_pageStack(new QStackedWidget),
      m_modes(new QStackedWidget),
      m_noTrayLine(label(QStringLiteral("No tray on this desktop: start Orvanta again to bring this window back."),
                         12,
                         QFont::Normal,
                         Tone::secondary,
                         true))
{
    setWindowTitle(QStringLiteral("Orvanta"));
    setAccessibleName(QStringLiteral("Orvanta"));
    setMinimumSize(minimumFrame);

    m_sidebar->setMinimumWidth(sidebarMinimum);
    m_sidebar->setMaximumWidth(sidebarMaximum);
    QPointer<MainWindowController> weak(this);
    m_sidebar->onSelect = [weak](int row) {
        if (weak)
            weak->select(row);
    };
    m_pages = {new OverviewViewController(model), new HistoryViewController(model), new DictionaryViewController(model),
               new SettingsViewController(model, choices)};
    for (QWidget *page : std::as_const(m_pages))
        m_pageStack->addWidget(page);

    m_split->setChildrenCollapsible(false);
    m_split->addWidget(m_sidebar);
    m_split->addWidget(m_pageStack);
    m_split->setCollapsible(0, true);
    m_split->setStretchFactor(1, 1);
    m_split->setHandleWidth(1);
    m_split->setSizes({210, defaultSize.width() - 210});
    select(0);

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_noTrayLine->setContentsMargins(pixelsForPoints(12), pixelsForPoints(6), pixelsForPoints(12), pixelsForPoints(6));
    m_noTrayLine->hide();
    layout->addWidget(m_noTrayLine);
    m_modes->addWidget(m_split);
    layout->addWidget(m_modes, 1);
    setCentralWidget(central);

    buildToolbar();
    m_recordAction->setVisible(m_selectedPage != 0);
    restoreFrame();
    m_sidebar->table()->setFocus();

    connect(&m_model, &AppModel::changed, this, &MainWindowController::refresh);
    refresh();
}

MainWindowController::~MainWindowController() = default;

void MainWindowController::buildToolbar()
{
    m_toolbar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolbar->setObjectName(QStringLiteral("OrvantaToolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolbar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu); // no user customization of the toolbar

    QAction *toggleSidebar =
        m_toolbar->addAction(symbols::icon(QStringLiteral("sidebar.left")), QStringLiteral("Sidebar"));
    toggleSidebar->setToolTip(QStringLiteral("Toggle sidebar"));
    if (QWidget *button = m_toolbar->widgetForAction(toggleSidebar))
        describe(button, QStringLiteral("Toggle sidebar"));
    connect(toggleSidebar, &QAction::triggered, this, [this] { m_sidebar->setVisible(!m_sidebar->isVisible()); });

    auto *space = new QWidget;
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(space);

    m_recordButton = new QPushButton(QStringLiteral("Dictate"));
    m_recordButton->setFocusPolicy(Qt::TabFocus);
    connect(m_recordButton, &QPushButton::clicked, this, &MainWindowController::toggleRecording);
    m_recordAction = m_toolbar->addWidget(m_recordButton);
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    // The button a narrow toolbar shows for its hidden items.
    if (auto *more = m_toolbar->findChild<QWidget *>(QStringLiteral("qt_toolbar_ext_button")))
        describe(more, QStringLiteral("More toolbar items"));
}

void MainWindowController::toggleRecording()
{
    m_model.toggle();
}

QWidget *MainWindowController::currentPage() const
{
    return m_pageStack->currentWidget();
}

void MainWindowController::refresh()
{
    const bool complete = m_model.onboarding().isComplete();
    if (m_showingOnboarding != !complete) {
        m_showingOnboarding = !complete;
        if (complete) {
            m_modes->setCurrentWidget(m_split);
            m_toolbar->show();
            m_sidebar->table()->setFocus();
        } else {
            if (!m_onboarding) {
                m_onboarding = new OnboardingViewController(m_model, m_choices);
                m_modes->addWidget(m_onboarding);
            }
            m_modes->setCurrentWidget(m_onboarding);
            m_toolbar->hide();
        }
    }
    refreshRecordButton();
}

void MainWindowController::refreshRecordButton()
{
    const RecordingPhase phase = m_model.phase();
    const AppModel::ShortcutNames &names = m_model.shortcutNames();
    const QString keys = names.holdKey + QLatin1Char('\n') + names.toggle;
    m_recordButton->setEnabled(phase == RecordingPhase::idle || phase == RecordingPhase::recording);
    const bool recordingNow = phase == RecordingPhase::recording;
    if (m_shownPhase && (*m_shownPhase == RecordingPhase::recording) == recordingNow && m_shownKeys == keys)
        return;
    m_shownPhase = phase;
    m_shownKeys = keys;
    m_recordSymbol = recordingNow ? QStringLiteral("stop.fill") : QStringLiteral("mic");
    m_recordButton->setText(recordingNow ? QStringLiteral("Finish") : QStringLiteral("Dictate"));
    m_recordButton->setIcon(symbols::icon(m_recordSymbol));
    m_recordButton->setToolTip(
        (recordingNow ? QStringLiteral("Finish (%1)") : QStringLiteral("Dictate (%1)")).arg(names.toggle));
    m_recordButton->setAccessibleName(recordingNow ? QStringLiteral("Finish dictation")
                                                   : QStringLiteral("Start dictation"));
    m_recordButton->setAccessibleDescription(
        QStringLiteral("Hold %1 to speak and release to finish. %2 starts or finishes dictation. Global shortcuts "
                       "require Accessibility access.")
            .arg(names.holdKey, names.toggle));
}

void MainWindowController::select(int index)
{
    if (index < 0 || index >= m_pages.size())
        return;
    if (index == m_selectedPage)
        return;
    m_selectedPage = index;
    m_pageStack->setCurrentIndex(index);
    // The Overview has its own Dictate button: one is enough.
    if (m_recordAction)
        m_recordAction->setVisible(index != 0);
    m_sidebar->selectRow(index);
}

void MainWindowController::showSettings()
{
    if (!m_model.onboarding().isComplete())
        return;
    select(3);
    m_sidebar->selectRow(3);
}

void MainWindowController::setTrayAvailable(bool available)
{
    m_noTrayLine->setVisible(!available);
}

// QSettings would wait forever on a named pipe and follow another account's link: such a file is left alone.
bool MainWindowController::settingsUsable() const
{
    const auto problem = privateFileProblem(m_settingsPath);
    return !problem || problem->kind == FileReadError::Kind::missing;
}

void MainWindowController::restoreFrame()
{
    QByteArray geometry;
    QByteArray sidebar;
    if (settingsUsable()) {
        const QSettings settings(m_settingsPath, QSettings::IniFormat);
        geometry = settings.value(frameKey() + QStringLiteral("/geometry")).toByteArray();
        sidebar = settings.value(frameKey() + QStringLiteral("/sidebar")).toByteArray();
    }
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        resize(defaultSize);
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), defaultSize);
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    m_split->restoreState(sidebar);
    // A frame kept on a larger screen, or the default size on a small one, fits the screen it opens on.
    const QScreen *screen = QGuiApplication::screenAt(QWidget::geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(clampedFrame(QWidget::geometry(), screen->availableGeometry(), minimumSize(), assumedDecoration));
}

QRect MainWindowController::clampedFrame(QRect frame, const QRect &area, QSize minimum, QMargins decoration)
{
    const QRect inner = area.marginsRemoved(decoration);
    frame.setSize(frame.size().boundedTo(inner.size()).expandedTo(minimum));
    if (frame.right() > inner.right())
        frame.moveRight(inner.right());
    if (frame.bottom() > inner.bottom())
        frame.moveBottom(inner.bottom());
    if (frame.left() < inner.left())
        frame.moveLeft(inner.left());
    if (frame.top() < inner.top())
        frame.moveTop(inner.top());
    return frame;
}

void MainWindowController::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    const bool narrow = width() < narrowWidth;
    if (m_narrow == narrow)
        return;
    m_narrow = narrow;
    m_sidebar->setVisible(!narrow); // the toolbar's sidebar button still brings it back
}

void MainWindowController::saveFrame() const
{
    if (!settingsUsable())
        return;
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    settings.setValue(frameKey() + QStringLiteral("/geometry"), saveGeometry());
    settings.setValue(frameKey() + QStringLiteral("/sidebar"), m_split->saveState());
}

void MainWindowController::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

void MainWindowController::hideEvent(QHideEvent *event)
{
    // Closing only hides the window; its frame is kept for the next showing and the next run.
    if (!event->spontaneous())
        saveFrame();
    QMainWindow::hideEvent(event);
}

} // namespace orv::ui
