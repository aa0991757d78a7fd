// Shows the windows over the app model's fakes in a chosen state on the current display and saves a
// screenshot of one window, for scripts/screenshots.sh: the recording panel while recording and while
// processing, the Overview page after a dictation that could only be copied, and the main window while the
// first dictation downloads its recognizer's model.
// With --translucent the panel is drawn as for a compositing desktop and the shot takes the screen around
// it, so that its rounded corners show against what lies behind.
// Usage: render_screens recording|processing|overview|downloading OUT.png [--translucent]
#include "core/AppModel.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeFormatter.h"
#include "tests/support/FakeLoginItemController.h"
#include "tests/support/FakeSpeechEngine.h"
#include "tests/support/FakeTextDelivery.h"
#include "tests/support/InMemoryKeyValueStore.h"
#include "tests/support/SyntheticWhisperModel.h"
#include "tests/support/VirtualScheduler.h"
#include "ui/AppDelegate.h"
#include "ui/FloatingRecordingPanel.h"
#include "ui/MainWindowController.h"
#include "ui/UIComponents.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <cstdio>

using namespace orv;
using namespace orv::test;

namespace {

void settle(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvanta"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (qEnvironmentVariable("GTK_THEME").endsWith(QLatin1String(":dark")))
        QApplication::setPalette(ui::darkPalette());
    const QStringList arguments = app.arguments();
    // A multilingual model file with random weights, for the real application's Settings with Whisper.
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("whisper-model")) {
        orv::test::WhisperDimensions dimensions = orv::test::WhisperDimensions::testSized();
        dimensions.vocabulary = 51865;
        return orv::test::writeSyntheticWhisperModel(arguments.at(2), dimensions) ? 0 : 1;
    }
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: render_screens recording|processing|overview|downloading OUT.png "
                             "[--translucent]\n       render_screens whisper-model OUT.bin\n");
        return 2;
    }
    const QString scene = arguments.at(1);
    const bool translucent = arguments.contains(QStringLiteral("--translucent"));

    QTemporaryDir dir;
    VirtualScheduler scheduler;
    auto speech = std::make_unique<FakeSpeechEngine>();
    speech->startAnswer = FakeSpeechEngine::StartResult();
    speech->localesAnswer = QStringList{QStringLiteral("en-US")};
    FakeSpeechEngine *engine = speech.get();
    auto delivery = std::make_unique<FakeTextDelivery>();
    delivery->trusted = scene != QLatin1String("overview");
    delivery->answer = DeliveryResult{DeliveryResult::Outcome::copied,
                                      QStringLiteral("Copied. Click a text field and paste with Ctrl+V.")};
    AppModel model(AppModel::Services{
        scheduler, std::make_unique<FakeLoginItemController>(), std::make_unique<InMemoryKeyValueStore>(),
        std::make_unique<AppStore>(dir.filePath(QStringLiteral("orvanta/library.json"))), std::move(speech),
        std::make_unique<FakeFormatter>(), std::move(delivery), std::make_unique<FakeDesktop>()});
    model.completeOnboarding();
    model.refreshStatus();
    scheduler.runPending();

    ui::RecordingPanel::Platform panelDesktop;
    panelDesktop.compositing = [translucent] { return translucent; };
    ui::AppDelegate delegate(
        model, {dir.filePath(QStringLiteral("orvanta.conf")), false, {}, [] { return true; }, nullptr, panelDesktop});
    delegate.launch();
    const QString spoken = QStringLiteral("please send the weekly report to the team before noon and remember that "
                                          "the meeting moved to thursday afternoon in the large room");
    model.fnBegin();
    scheduler.runPending();
    scheduler.advanceSeconds(7.4);
    engine->reportPartial(spoken);
    engine->reportLevel(0.62f);
    QWidget *shot = delegate.recordingPanel()->window();
    if (scene == QLatin1String("processing")) {
        model.fnFinish(); // the engine's final answer is still to come
        engine->reportStatus(QStringLiteral("Finishing…"));
    } else if (scene == QLatin1String("overview")) {
        engine->finishAnswer =
            FakeSpeechEngine::FinishResult(QStringLiteral("Please send the weekly report to the team before noon."));
        model.fnFinish();
        scheduler.runPending();
        shot = delegate.mainWindow();
    } else if (scene == QLatin1String("downloading")) {
        // As the engine reports a model download (once per percent).
        engine->reportStatus(QStringLiteral("Downloading English… 42 % of 148 MB"));
        shot = delegate.mainWindow();
    } else if (scene != QLatin1String("recording")) {
        std::fprintf(stderr, "unknown scene %s\n", qPrintable(scene));
        return 2;
    }
    settle(900);
    const QRect around = shot->frameGeometry().adjusted(-24, -24, 24, 24);
    const QPixmap pixmap = translucent
                               ? shot->screen()->grabWindow(0, around.x(), around.y(), around.width(), around.height())
                               : shot->screen()->grabWindow(shot->winId());
    if (pixmap.isNull() || !pixmap.save(arguments.at(2))) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    std::printf("%s\n", qPrintable(arguments.at(2)));
    model.cancelDictation();
    return 0;
}
