#include "ui/SessionKeysCard.h"

#include "library/LinuxSettings.h"
#include "shortcuts/ShortcutKeys.h"
#include "ui/SettingsLayout.h"
#include "ui/UIComponents.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::ui {

namespace {

using Mechanism = SessionKeysStatus::Mechanism;

QString mechanismText(const SessionKeysStatus::State &state, const QString &holdKey)
{
    switch (state.mechanism) {
    case Mechanism::portal: {
        const QString hold = state.holdTrigger.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(state.holdTrigger);
        const QString toggle =
            state.toggleTrigger.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(state.toggleTrigger);
        return QStringLiteral("Your desktop's global shortcuts: “Hold to dictate”%1 and “Start or finish a "
                              "dictation”%2, as you bound them in the desktop's dialog. Change them in the "
                              "desktop's keyboard settings.")
            .arg(hold, toggle);
    }
    case Mechanism::evdev:
        return QStringLiteral("Hold %1 to speak, release to finish: Orvanta reads it from the keyboard devices, as "
                              "you allowed below. To start and finish with one key, bind the command below.")
            .arg(holdKey);
    case Mechanism::command:
    case Mechanism::x11:
        break;
    }
    return QStringLiteral("This desktop does not let apps watch the keyboard. Bind the command below to a key in "
                          "the desktop's keyboard settings: one press starts a dictation, the next finishes it.");
}

// The toggle as sway's bindsym writes it: xkb's key names and Mod4 for Super.
QString swayKeys(const QString &toggle)
{
    const auto parsed = shortcutkeys::parseToggle(toggle);
    if (!parsed)
        return QStringLiteral("Ctrl+Alt+space");
    return parsed.value().spelled(
        {QStringLiteral("Ctrl"), QStringLiteral("Alt"), QStringLiteral("Shift"), QStringLiteral("Mod4")},
        parsed.value().keysymName());
}

// Where the desktop's own configuration takes the command.
QString hintFor(const QString &desktop, const QString &toggle)
{
    if (desktop.compare(QLatin1String("sway"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("In sway's configuration: bindsym %1 exec orvanta toggle (and bindsym Ctrl+Alt+Escape "
                              "exec orvanta cancel).")
            .arg(swayKeys(toggle));
    return QStringLiteral("“orvanta cancel” cancels a dictation in the same way.");
}

} // namespace

SessionKeysCard::SessionKeysCard(LinuxSettings &settings, QWidget *parent)
    : QWidget(parent), m_settings(settings), m_mechanism(label(QString(), 13, QFont::Normal, Tone::primary, true)),
      m_command(new QLineEdit(SessionKeysStatus::toggleCommand())), m_copy(new QPushButton(QStringLiteral("Copy"))),
      m_hint(label(QString(), 12, QFont::Normal, Tone::secondary, true)),
      m_desktop(new QPushButton(QStringLiteral("Add to GNOME's Keyboard Shortcuts"))),
      m_desktopResult(label(QString(), 12, QFont::Normal, Tone::secondary, true)),
      m_inputDevices(new QCheckBox(QStringLiteral("Read the hold key from the keyboard devices"))),
      m_inputDevicesNote(label(QStringLiteral("Your account is in the “input” group, which lets every program you "
                                              "run read every key you press, passwords included. Orvanta then "
                                              "reads only whether the hold key is down. Takes effect when Orvanta "
                                              "starts again."),
                               12,
                               QFont::Normal,
                               Tone::secondary,
                               true))
{
    describe(m_mechanism, QStringLiteral("How starting and finishing work here"));
    m_command->setReadOnly(true);
    describe(m_command, QStringLiteral("Command to bind"),
             QStringLiteral("Bind this command to a key in the desktop's keyboard settings."));
    describe(m_copy, QStringLiteral("Copy the command"));
    connect(m_copy, &QPushButton::clicked, this, &SessionKeysCard::copyCommand);
    describe(m_desktop, QStringLiteral("Add to the desktop's keyboard shortcuts"),
             QStringLiteral("Adds “orvanta toggle” as a custom shortcut on your toggle's keys."));
    connect(m_desktop, &QPushButton::clicked, this, &SessionKeysCard::addDesktopShortcut);
    describe(m_inputDevices, QStringLiteral("Read the hold key from the keyboard devices"), m_inputDevicesNote->text());
    connect(m_inputDevices, &QCheckBox::toggled, this, &SessionKeysCard::chooseInputDevices);

    auto *grid = new QGridLayout;
    grid->addWidget(m_mechanism, 0, 0, 1, 3);
    grid->addWidget(m_command, 1, 0, 1, 2);
    grid->addWidget(m_copy, 1, 2);
    grid->addWidget(m_hint, 2, 0, 1, 3);
    grid->addWidget(m_desktop, 3, 0, 1, 1, Qt::AlignLeft);
    grid->addWidget(m_desktopResult, 4, 0, 1, 3);
    grid->addWidget(m_inputDevices, 5, 0, 1, 3);
    grid->addWidget(m_inputDevicesNote, 6, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(settingslayout::card(QStringLiteral("Keys on Wayland"), grid));

    connect(&settings.sessionKeys(), &SessionKeysStatus::changed, this, &SessionKeysCard::refresh);
    connect(&settings, &LinuxSettings::changed, this, &SessionKeysCard::refresh);
    refresh();
}

void SessionKeysCard::refresh()
{
    const SessionKeysStatus &status = m_settings.sessionKeys();
    setVisible(status.wayland());
    const SessionKeysStatus::State &state = status.state();
    m_mechanism->setText(mechanismText(state, m_settings.holdKey()));
    m_hint->setText(hintFor(state.desktop, m_settings.toggle()));
    const bool desktopOffered = !state.desktopWithShortcuts.isEmpty() && status.onAddDesktopShortcut;
    m_desktop->setVisible(desktopOffered);
    m_desktopResult->setVisible(desktopOffered && !m_desktopResult->text().isEmpty());
    const bool offerDevices = state.inputDevicesReadable || m_settings.readsInputDevices();
    m_inputDevices->setVisible(offerDevices);
    m_inputDevicesNote->setVisible(offerDevices);
    const QSignalBlocker quiet(m_inputDevices);
    m_inputDevices->setChecked(m_settings.readsInputDevices());
}

void SessionKeysCard::copyCommand()
{
    QGuiApplication::clipboard()->setText(m_command->text());
}

void SessionKeysCard::addDesktopShortcut()
{
    const SessionKeysStatus &status = m_settings.sessionKeys();
    if (!status.onAddDesktopShortcut)
        return;
    const auto added = status.onAddDesktopShortcut();
    m_desktopResult->setText(added ? added.value() : added.error());
    m_desktopResult->setVisible(true);
}

void SessionKeysCard::chooseInputDevices(bool read)
{
    (void)m_settings.setReadsInputDevices(read);
}

} // namespace orv::ui
