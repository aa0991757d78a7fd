#pragma once

#include "desktop/Desktop.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace orv {

// Opens links with xdg-open and "settings:<page>" with the desktop's settings program (GNOME Settings or
// KDE System Settings); opens nothing when neither is installed. The accessibility switch is the property
// org.a11y.Status.IsEnabled of the session's accessibility bus launcher.
class LiveDesktop final : public Desktop
{
public:
    bool openUrl(const QUrl &url) override;
    std::optional<bool> sessionAccessibility() override;
    bool enableSessionAccessibility() override;

    // The program and arguments that open the URL; findExecutable answers a program's path or "".
    static std::optional<QStringList> command(const QUrl &url,
                                              const std::function<QString(const QString &)> &findExecutable);
};

} // namespace orv
