#include "app/WindowedCommand.h"

#include "app/DisplayCheck.h"
#include "app/LiveApplication.h"
#include "app/PanelDesktop.h"
#include "app/QuitOnSignals.h"
#include "app/SingleInstance.h"
#include "library/SettingsKeyValueStore.h"
#include "ui/AppDelegate.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTextStream>

namespace orv {

namespace {

// One look on every desktop (Fusion), in the desktop's palette; dark where the session asks for dark
// GTK windows and the platform gave Qt no dark palette of its own.
void applyStyle()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const bool darkSession = qEnvironmentVariable("GTK_THEME").endsWith(QLatin1String(":dark"));
    if (darkSession && !ui::isDark(QApplication::palette()))
        QApplication::setPalette(ui::darkPalette());
}

} // namespace

int WindowedCommand::run(int argc, char *argv[], bool launchedAtLogin)
{
    if (const std::optional<QString> problem = displayProblem()) {
        QTextStream(stderr) << *problem << Qt::endl;
        return 2;
    }
    LiveApplication::configureProcess();
    QApplication::setDesktopFileName(QStringLiteral("io.orvanta.Orvanta"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvanta"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANTA_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    const SingleInstance::Claim claim = instance.claim();
    if (claim == SingleInstance::Claim::forwarded)
        return 0;
    if (claim == SingleInstance::Claim::refused) {
        QTextStream(stderr) << instance.refusal() << Qt::endl;
        return 1;
    }

    QApplication::setWindowIcon(ui::symbols::applicationIcon());
    applyStyle();
    const QuitOnSignals quitOnSignals;

    LiveApplication live({ShortcutController::Registration::afterOnboarding, std::nullopt});
    // When the user comes back: the keys are looked at again, and a local model server may have started or
    // stopped meanwhile.
    const auto becameActive = [&live] {
        live.shortcuts().refreshFn();
        live.model().formatter().checkModel();
    };
    PanelDesktop panelDesktop;
    ui::AppDelegate delegate(live.model(), {SettingsKeyValueStore::defaultFilePath(),
                                            launchedAtLogin,
                                            becameActive,
                                            {},
                                            &live.settings(),
                                            panelDesktop.platform()});
    QObject::connect(&instance, &SingleInstance::showWindowRequested, &delegate, &ui::AppDelegate::showMainWindow);
    delegate.launch();

    const int status = app.exec();
    delegate.terminate();
    live.shutdown();
    return status;
}

} // namespace orv
