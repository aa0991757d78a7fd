#include "desktop/ColorScheme.h"

namespace orv {

bool prefersDark(const ColorSchemeAnswers &answers)
{
    if (answers.portal == 1u || answers.portal == 2u)
        return *answers.portal == 1u;
    if (answers.gnome) {
        const QString value = answers.gnome->trimmed().remove(QLatin1Char('\''));
        if (value == u"prefer-dark" || value == u"prefer-light")
            return value == u"prefer-dark";
    }
    // KDE names its schemes: "BreezeDark", "Breeze Dark", "Oxygen Cold"…
    if (answers.kde && !answers.kde->isEmpty())
        return answers.kde->contains(QLatin1String("dark"), Qt::CaseInsensitive);
    return answers.gtkTheme.endsWith(QLatin1String(":dark"), Qt::CaseInsensitive) ||
           answers.gtkTheme.endsWith(QLatin1String("-dark"), Qt::CaseInsensitive);
}

} // namespace orv
