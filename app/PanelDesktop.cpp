#include "app/PanelDesktop.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace orv {

namespace {

Display *x11Display()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

} // namespace

PanelDesktop::PanelDesktop()
{
    readPreference();
}

PanelDesktop::~PanelDesktop()
{
    if (m_reading) {
        m_reading->disconnect(this);
        m_reading->kill();
        m_reading->waitForFinished(1000);
    }
}

ui::RecordingPanel::Platform PanelDesktop::platform()
{
    return {
        [this] { return compositing(); }, [this] { return reduceMotion(); }, &PanelDesktop::showOnEveryWorkspace, {}};
}

ui::RecordingPanel::Platform PanelDesktop::waylandPlatform()
{
    return {[] { return true; }, [] { return std::optional<bool>(); }, {}, [] { return false; }};
}

bool PanelDesktop::compositing() const
{
    Display *display = x11Display();
    if (!display)
        return false;
    const QByteArray selection = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    const Atom atom = XInternAtom(display, selection.constData(), False);
    return atom != None && XGetSelectionOwner(display, atom) != None;
}

std::optional<bool> PanelDesktop::reduceMotion()
{
    const std::optional<bool> known = m_reduceMotion;
    readPreference(); // for the next showing: the user may change it while Orvanta runs
    return known;
}

void PanelDesktop::showOnEveryWorkspace(QWidget &window)
{
    Display *display = x11Display();
    if (!display)
        return;
    // Read by the window manager when the window is mapped; 0xFFFFFFFF is "all desktops".
    const unsigned long all = 0xFFFFFFFFul;
    XChangeProperty(display, static_cast<Window>(window.winId()), XInternAtom(display, "_NET_WM_DESKTOP", False),
                    XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char *>(&all), 1);
    XFlush(display);
}

std::optional<bool> PanelDesktop::gnomeReduceMotion(const QByteArray &printed)
{
    const QByteArray value = printed.trimmed();
    if (value == "false")
        return true;
    if (value == "true")
        return false;
    return std::nullopt;
}

std::optional<bool> PanelDesktop::kdeReduceMotion(const QString &kdeglobalsPath)
{
    if (!QFile::exists(kdeglobalsPath))
        return std::nullopt;
    const QSettings settings(kdeglobalsPath, QSettings::IniFormat);
    const QVariant factor = settings.value(QStringLiteral("KDE/AnimationDurationFactor"));
    if (!factor.isValid())
        return std::nullopt;
    return factor.toDouble() == 0.0;
}

void PanelDesktop::readPreference()
{
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE"), Qt::CaseInsensitive)) {
        const QString path =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/kdeglobals");
        if (const std::optional<bool> kde = kdeReduceMotion(path)) {
            m_reduceMotion = kde;
            return;
        }
    }
    if (m_reading)
        return;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (program.isEmpty())
        return;
    m_reading = std::make_unique<QProcess>();
    m_reading->setStandardErrorFile(QProcess::nullDevice());
    connect(m_reading.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        const QByteArray printed = m_reading->readAllStandardOutput();
        m_reduceMotion = code == 0 && status == QProcess::NormalExit ? gnomeReduceMotion(printed) : std::nullopt;
        m_reading.release()->deleteLater();
    });
    connect(m_reading.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            m_reading.release()->deleteLater();
    });
    m_reading->start(program, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
                               QStringLiteral("enable-animations")});
}

} // namespace orv
