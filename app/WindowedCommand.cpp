#include "app/WindowedCommand.h"

#include "app/DisplayCheck.h"
#include "app/HugePages.h"
#include "app/LiveApplication.h"
#include "app/PanelDesktop.h"
#include "app/QuitOnSignals.h"
#include "app/SessionPlatform.h"
#include "app/SingleInstance.h"
#include "desktop/xdg/ColorSchemeWatch.h"
#include "library/AppStore.h"
#include "library/SettingsKeyValueStore.h"
#include "ui/AppDelegate.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QApplication>
#include <QSessionManager>
#include <QStyle>
#include <QStyleFactory>
#include <QTextStream>

#include <future>

namespace orv {

namespace {

// One look on every desktop (Fusion), in the desktop's palette; dark or light as the desktop prefers where
// the platform gave Qt a palette of the other kind.
void applyColorScheme(bool dark)
{
    if (dark != ui::isDark(QApplication::palette()))
        QApplication::setPalette(dark ? ui::darkPalette() : QApplication::style()->standardPalette());
}

} // namespace

int WindowedCommand::run(int argc, char *argv[], bool launchedAtLogin)
{
    HugePages::restartIfWorthIt(argv, AppStore::defaultFilePath());
    // A library of a hundred thousand entries takes longer to read than Qt takes to start: it is read
    // meanwhile. Reading changes nothing on disk that a running instance relies on.
    auto library = std::async(std::launch::async,
                              [path = AppStore::defaultFilePath()] { return std::make_unique<AppStore>(path); });
    const bool wayland = sessionPlatform() == SessionPlatform::wayland;
    if (const std::optional<QString> problem = displayProblem(wayland)) {
        QTextStream(stderr) << *problem << Qt::endl;
        return 2;
    }
    chooseQtPlatform(wayland);
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
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    ColorSchemeWatch colorScheme;
    applyColorScheme(colorScheme.prefersDark());
    colorScheme.onChange = applyColorScheme;
    const QuitOnSignals quitOnSignals;

    LiveApplication live(
        {ShortcutController::Registration::afterOnboarding, std::nullopt, [&library] { return library.get(); }});
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
                                            wayland ? PanelDesktop::waylandPlatform() : panelDesktop.platform()});
    QObject::connect(&instance, &SingleInstance::showWindowRequested, &delegate, &ui::AppDelegate::showMainWindow);
    QObject::connect(&instance, &SingleInstance::toggleRequested, &live.model(), &AppModel::toggle);
    QObject::connect(&instance, &SingleInstance::cancelRequested, &live.model(), &AppModel::cancelDictation);
    delegate.launch();

    // Quit from a menu, a signal or the end of the session: a dictation under way is finished into History
    // and onto the clipboard first.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [&live] { live.finishDictationBeforeQuit(); });
    const int status = app.exec();
    live.finishDictationBeforeQuit();
    delegate.terminate();
    live.shutdown();
    return status;
}

} // namespace orv
