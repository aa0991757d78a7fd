#include "shortcuts/ShortcutKeys.h"

#include "base/CleanText.h"
#include "base/PlatformText.h"

namespace orv {

QString ToggleShortcut::name() const
{
    return spelled({QStringLiteral("Ctrl"), QStringLiteral("Alt"), QStringLiteral("Shift"), QStringLiteral("Super")},
                   key);
}

QString ToggleShortcut::keysymName() const
{
    return key.size() == 1 || key == u"Space" ? key.toLower() : key;
}

QString ToggleShortcut::spelled(const std::array<QString, 4> &modifierNames, const QString &keyName) const
{
    QStringList parts;
    const bool held[] = {control, alt, shift, super};
    for (std::size_t i = 0; i < modifierNames.size(); ++i) {
        if (held[i])
            parts << modifierNames[i];
    }
    parts << keyName;
    return parts.join(QLatin1Char('+'));
}

namespace shortcutkeys {

namespace {

// n for the function key "Fn" (F1 to F35), otherwise 0.
int functionKeyNumber(const QString &key)
{
    bool isNumber = false;
    const int number = key.mid(1).toInt(&isNumber);
    return key.startsWith(QLatin1Char('F')) && isNumber && number >= 1 && number <= 35 ? number : 0;
}

// Keys nobody types: the function keys, Pause and Print.
bool standsAlone(const QString &key)
{
    return key == u"Pause" || key == u"Print" || functionKeyNumber(key) > 0;
}

} // namespace

QStringList holdKeyNames()
{
    return {QStringLiteral("Right Ctrl"),  QStringLiteral("Right Alt"),  QStringLiteral("Right Shift"),
            QStringLiteral("Right Super"), QStringLiteral("Left Super"), QStringLiteral("Menu"),
            QStringLiteral("Pause"),       QStringLiteral("Scroll Lock")};
}

bool isHoldKeyName(const QString &name)
{
    return holdKeyNames().contains(name);
}

Expected<ToggleShortcut, QString> parseToggle(const QString &stored)
{
    // A key name holds nothing a keyboard cannot name: no control or hidden characters reach a grab, a
    // printed status line or a desktop's configuration. Sentences quote what was written without them.
    const QString text = cleanText(stored, false);
    if (text != stored)
        return unexpected(QStringLiteral("“%1” is not a shortcut: it holds characters no key is named by.").arg(text));
    const QStringList parts = text.split(QLatin1Char('+'));
    ToggleShortcut toggle;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts[i].trimmed();
        if (part.isEmpty())
            return unexpected(QStringLiteral("“%1” is not a shortcut: a key name is missing.").arg(text));
        const QString lower = part.toLower();
        const bool last = i + 1 == parts.size();
        if (lower == u"ctrl" || lower == u"control")
            toggle.control = true;
        else if (lower == u"alt")
            toggle.alt = true;
        else if (lower == u"shift")
            toggle.shift = true;
        else if (lower == u"super" || lower == u"meta" || lower == u"win")
            toggle.super = true;
        else if (last)
            toggle.key = part.size() == 1 ? part.toUpper() : part.at(0).toUpper() + part.mid(1);
        else
            return unexpected(QStringLiteral("“%1” is not a shortcut: “%2” is not a modifier.").arg(text, part));
    }
    if (toggle.key.isEmpty())
        return unexpected(QStringLiteral("“%1” is not a shortcut: it has no key besides the modifiers.").arg(text));
    // A grab takes the key from every application: only keys nobody types may go without Ctrl, Alt or Super.
    if (!toggle.control && !toggle.alt && !toggle.super && !standsAlone(toggle.key))
        return unexpected(
            QStringLiteral(
                "“%1” is not a shortcut: without Ctrl, Alt or Super it would take %2 from every application.")
                .arg(text, toggle.key));
    // The X server keeps Ctrl+Alt+F1 to F12 for switching to a text console: a grab of them never fires.
    if (toggle.control && toggle.alt && functionKeyNumber(toggle.key) >= 1 && functionKeyNumber(toggle.key) <= 12)
        return unexpected(QStringLiteral("“%1” is not a shortcut: it switches to a text console.").arg(text));
    // Orvanta sends these itself to paste a dictation; grabbed, they would never reach the text field.
    if (toggle.name() == platform::pasteKeys() || toggle.name() == platform::terminalPasteKeys())
        return unexpected(QStringLiteral("“%1” is not a shortcut: Orvanta pastes dictations with it.").arg(text));
    return toggle;
}

} // namespace shortcutkeys
} // namespace orv
