#include "delivery/atspi/LiveEnvironment.h"

#include "delivery/atspi/AtspiElement.h"
#include "delivery/atspi/AtspiObserver.h"
#include "delivery/atspi/AtspiReader.h"
#include "delivery/atspi/AtspiWorker.h"
#include "delivery/atspi/ClipboardPasteboard.h"
#include "delivery/atspi/DesktopEntryNames.h"
#include "delivery/atspi/X11Keyboard.h"

#include <QAbstractEventDispatcher>
#include <QClipboard>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <future>

namespace orv::atspi {

namespace {

const QString a11yService = QStringLiteral("org.a11y.Bus");
const QString a11yPath = QStringLiteral("/org/a11y/bus");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString statusInterface = QStringLiteral("org.a11y.Status");
const QString enabledProperty = QStringLiteral("IsEnabled");
constexpr int busTimeoutMs = 500;

template <typename T>
Task<T> answered(T value)
{
    co_return value;
}

} // namespace

LiveEnvironment::LiveEnvironment(Scheduler &scheduler, bool x11Input)
    : m_scheduler(scheduler), m_desktopNames(std::make_unique<DesktopEntryNames>())
{
    m_x11 = x11Input && QGuiApplication::platformName() == QLatin1String("xcb");
    if (m_x11)
        m_keyboard = std::make_unique<X11Keyboard>();
    // With Qt's GLib dispatcher the main thread would race the worker for libatspi's connections
    // (seen: stalls and crashes); then there is no accessibility and delivery uses the clipboard.
    const QAbstractEventDispatcher *dispatcher =
        QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread());
    const bool mainUsesGlib = dispatcher && dispatcher->inherits("QEventDispatcherGlib");
    if ((m_x11 || !x11Input) && !mainUsesGlib)
        m_worker = AtspiWorker::start(scheduler);
}

LiveEnvironment::~LiveEnvironment() = default;

void LiveEnvironment::configureProcess()
{
    qputenv("QT_NO_GLIB", "1");
}

TextDelivery::Environment LiveEnvironment::create(Scheduler &scheduler)
{
    std::shared_ptr<LiveEnvironment> live(new LiveEnvironment(scheduler, true));
    TextDelivery::Environment env = makeEnvironment(live);
    env.pasteboard = std::make_shared<ClipboardPasteboard>();
    env.trusted = [live] { return live->trusted(); };
    env.application = [live] { return live->application(); };
    env.keysHeld = [live] { return live->m_keyboard && live->m_keyboard->keysHeld(); };
    env.postPaste = [live](bool terminal) { return live->postPaste(terminal); };
    return env;
}

TextDelivery::Environment LiveEnvironment::createAccessibility(Scheduler &scheduler)
{
    std::shared_ptr<LiveEnvironment> live(new LiveEnvironment(scheduler, false));
    TextDelivery::Environment env = makeEnvironment(live);
    env.trusted = [worker = live->m_worker] { return worker && worker->isConnected(); };
    env.application = [live] { return live->accessibleApplication(); };
    env.keysHeld = [] { return false; };
    env.postPaste = [](bool) { return false; };
    return env;
}

TextDelivery::Environment LiveEnvironment::makeEnvironment(const std::shared_ptr<LiveEnvironment> &live)
{
    std::shared_ptr<AtspiWorker> worker = live->m_worker;
    TextDelivery::Environment env;
    env.applicationElement = [](qint64 processID) -> Element { return AtspiElement::application(processID); };
    env.enableAccessibility = [live](qint64 processID) { return live->enableAccessibility(processID); };
    if (!worker) { // untrusted: the accessibility operations answer nothing
        env.focusedElement = [] { return answered(std::optional<Element>()); };
        env.attribute = [](Element, QString) { return answered(std::optional<AttributeValue>()); };
        env.stringForRange = [](Element, TextRange) { return answered(std::optional<QString>()); };
        env.processID = [](Element) { return answered(std::optional<qint64>()); };
        env.createObserver = [](qint64, std::function<void(QString)>) -> std::unique_ptr<AccessibilityObserver> {
            return nullptr;
        };
        return env;
    }
    env.focusedElement = [worker] {
        return worker->call<std::optional<Element>>(
            [weak = std::weak_ptr<AtspiWorker>(worker)] { return reader::focusedElement(weak.lock()); });
    };
    env.attribute = [worker](Element element, QString name) {
        return worker->call<std::optional<AttributeValue>>(
            [weak = std::weak_ptr<AtspiWorker>(worker), element = std::move(element), name] {
                return reader::attribute(weak.lock(), element, name);
            });
    };
    env.stringForRange = [worker](Element element, TextRange range) {
        return worker->call<std::optional<QString>>(
            [element = std::move(element), range] { return reader::stringForRange(element, range); });
    };
    env.processID = [worker](Element element) {
        return worker->call<std::optional<qint64>>(
            [element = std::move(element)] { return reader::processID(element); });
    };
    env.createObserver = [worker](qint64,
                                  std::function<void(QString)> callback) -> std::unique_ptr<AccessibilityObserver> {
        if (!worker->isConnected())
            return nullptr;
        return std::make_unique<AtspiObserver>(worker, std::move(callback));
    };
    return env;
}

std::unique_ptr<TextDelivery> LiveEnvironment::createTextDelivery(Scheduler &scheduler)
{
    return std::make_unique<TextDelivery>(scheduler, create(scheduler), QCoreApplication::applicationPid());
}

bool LiveEnvironment::accessibilityEnabled()
{
    const TimePoint now = m_scheduler.now();
    if (m_statusReadAt != TimePoint{} && now - m_statusReadAt < std::chrono::seconds(1))
        return m_statusEnabled;
    QDBusMessage get =
        QDBusMessage::createMethodCall(a11yService, a11yPath, propertiesInterface, QStringLiteral("Get"));
    get << statusInterface << enabledProperty;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, busTimeoutMs);
    m_statusEnabled = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                      reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
    m_statusReadAt = now;
    return m_statusEnabled;
}

bool LiveEnvironment::postPaste(bool terminal)
{
    if (!m_keyboard)
        return false;
    const auto window = activeWindow();
    if (window && X11Keyboard::pastesPrimary(window->windowClass, window->instance)) {
        // The text is on the clipboard already; the primary selection gets it too.
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(clipboard->text(QClipboard::Clipboard), QClipboard::Selection);
        return m_keyboard->postPaste(X11Keyboard::PasteKeys::shiftInsert);
    }
    return m_keyboard->postPaste(terminal ? X11Keyboard::PasteKeys::ctrlShiftV : X11Keyboard::PasteKeys::ctrlV);
}

// Accessibility need not be switched on yet: the capture switches it on where a toolkit needs that.
bool LiveEnvironment::trusted()
{
    return m_x11 && m_keyboard && m_keyboard->isOpen() && m_keyboard->hasXTest() && m_worker && m_worker->isConnected();
}

std::optional<ApplicationInfo> LiveEnvironment::application()
{
    if (!m_keyboard)
        return std::nullopt;
    const auto window = activeWindow();
    if (!window)
        return std::nullopt;
    return ApplicationInfo{window->processID, applicationName(window->processID, window->windowClass, window->instance),
                           X11Keyboard::isTerminal(window->windowClass, window->instance)};
}

std::optional<ApplicationInfo> LiveEnvironment::accessibleApplication()
{
    if (!m_worker || !m_worker->isConnected())
        return std::nullopt;
    auto answer = std::make_shared<std::promise<std::optional<reader::ActiveApplication>>>();
    std::future<std::optional<reader::ActiveApplication>> active = answer->get_future();
    m_worker->submit([answer] { answer->set_value(reader::activeApplication()); });
    if (active.wait_for(activeApplicationWait) != std::future_status::ready)
        return std::nullopt;
    const std::optional<reader::ActiveApplication> found = active.get();
    if (!found)
        return std::nullopt;
    // Terminals are not told apart here: none of them exposes its text on this path.
    return ApplicationInfo{found->processID, applicationName(found->processID, found->name, QString()), false};
}

// A window can be in front a moment before its toolkit sets WM_CLASS (xterm under load): its program
// stands in, so the name and the terminal's paste keys are still right.
std::optional<X11Keyboard::ActiveWindow> LiveEnvironment::activeWindow()
{
    auto window = m_keyboard->activeWindowInfo();
    if (window && window->windowClass.isEmpty() && window->instance.isEmpty())
        window->instance = programName(window->processID);
    return window;
}

// The name a user knows: the .desktop entry's, else the one the application gives itself on the
// accessibility bus, else its window class or program name.
QString LiveEnvironment::applicationName(qint64 processID, const QString &windowClass, const QString &instance)
{
    if (const auto name = m_desktopNames->nameFor(windowClass, instance))
        return *name;
    if (m_worker) {
        const QString name = m_worker->applicationName(processID);
        if (!name.isEmpty())
            return name;
    }
    if (!windowClass.isEmpty())
        return windowClass;
    const QString program = programName(processID);
    return program.isEmpty() ? QStringLiteral("your app") : program;
}

// The file name of the process's program; its short name when the link cannot be read.
QString LiveEnvironment::programName(qint64 processID)
{
    if (processID <= 0)
        return {};
    const QString target = QFileInfo(QStringLiteral("/proc/%1/exe").arg(processID)).symLinkTarget();
    if (!target.isEmpty())
        return QFileInfo(target).fileName();
    QFile comm(QStringLiteral("/proc/%1/comm").arg(processID));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(comm.readAll()).trimmed();
}

// Qt applications publish their widgets only while org.a11y.Status says accessibility is on; switching
// it on makes them register on the bus shortly afterwards (the deferred capture waits for that). It
// stays on for the session, as a screen reader leaves it. Chromium and Electron build their tree when a
// reader asks an object for its attributes: that costs the browser the memory and time of keeping its
// accessibility tree, until it restarts.
Task<bool> LiveEnvironment::enableAccessibility(qint64 processID)
{
    const std::shared_ptr<LiveEnvironment> self = shared_from_this();
    bool switched = false;
    if (!accessibilityEnabled()) {
        QDBusMessage set =
            QDBusMessage::createMethodCall(a11yService, a11yPath, propertiesInterface, QStringLiteral("Set"));
        set << statusInterface << enabledProperty << QVariant::fromValue(QDBusVariant(true));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(set, QDBus::Block, busTimeoutMs);
        m_statusReadAt = TimePoint{};
        switched = reply.type() == QDBusMessage::ReplyMessage;
    }
    if (!m_worker)
        co_return switched;
    auto announcing = m_worker->call<bool>([processID] { return reader::announceReader(processID); });
    const bool announced = co_await announcing;
    co_return switched || announced;
}

} // namespace orv::atspi
