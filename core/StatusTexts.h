#pragma once

#include <QString>

// Status sentences the app model's parts share.
namespace orv::statusText {

// What the hold key's status says before the shortcut service has reported anything.
inline QString initialFn(const QString &holdKey)
{
    return QStringLiteral("Enable Accessibility to use ") + holdKey + QStringLiteral(" in other apps.");
}

// The model status while the language model is being asked whether it is there.
inline QString checking(const QString &modelName)
{
    return QStringLiteral("Checking ") + modelName + QStringLiteral("…");
}

} // namespace orv::statusText
