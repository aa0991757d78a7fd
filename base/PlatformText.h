#pragma once

#include <QString>

// The Linux words that stand in the user-facing sentences where the original texts name macOS places,
// keys and services. Defined once here; every sentence composes from these.
namespace orv::platform {

inline QString thisComputer()
{
    return QStringLiteral("this computer");
}
inline QString onThisComputer()
{
    return QStringLiteral("on this computer");
}
inline QString yourComputer()
{
    return QStringLiteral("your computer");
}
inline QString pasteKeys()
{
    return QStringLiteral("Ctrl+V");
}
// What pastes in a terminal emulator, where Ctrl+V is a control character.
inline QString terminalPasteKeys()
{
    return QStringLiteral("Ctrl+Shift+V");
}
// The recognizer's name where the original says "Apple" (its display name, for the default engine).
inline QString recognizerName()
{
    return QStringLiteral("PocketSphinx");
}
inline QString trayName()
{
    return QStringLiteral("panel");
}

// Where the user changes a permission. The original names the System Settings privacy panes.
inline QString microphoneSettingsPlace()
{
    return QStringLiteral("Settings → Sound → Input");
}
inline QString accessibilitySettingsPlace()
{
    return QStringLiteral("Settings → Accessibility");
}
inline QString audioInputSettingsPlace()
{
    return QStringLiteral("your sound settings");
}
inline QString desktopSettings()
{
    return QStringLiteral("your desktop settings");
}

// Sentences that name those places.
inline QString permissionDeniedStatus()
{
    return QStringLiteral("Denied — open ") + desktopSettings();
}
inline QString allowMicrophoneSentence()
{
    return QStringLiteral("Allow Orvanta in ") + microphoneSettingsPlace() + QStringLiteral(".");
}
// Recognition is local and needs no permission on Linux, so no place grants it: the live permissions
// always allow it, and this sentence only states a refusal that a test double can make.
inline QString speechRefusedSentence()
{
    return QStringLiteral("Speech recognition is not allowed for Orvanta ") + onThisComputer() + QStringLiteral(".");
}

// Stand-ins for the language-model texts ("On this Mac", "a supported Apple silicon Mac").
inline QString onThisComputerStatus()
{
    return QStringLiteral("On this computer");
}
inline QString supportedComputer()
{
    return QStringLiteral("a supported computer");
}

// Defaults of the user's key choices (stored in the settings file).
inline QString defaultHoldKeyName()
{
    return QStringLiteral("Right Ctrl");
}
inline QString defaultToggleName()
{
    return QStringLiteral("Ctrl+Alt+Space");
}

} // namespace orv::platform
