#include "desktop/Desktop.h"

namespace orv {

std::optional<QUrl> privacySettingsUrl(const QString &anchor)
{
    if (anchor == privacyAnchor::microphone())
        return QUrl(QStringLiteral("settings:sound"));
    if (anchor == privacyAnchor::accessibility())
        return QUrl(QStringLiteral("settings:accessibility"));
    return std::nullopt;
}

} // namespace orv
