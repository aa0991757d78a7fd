#include "core/desktop/LiveDesktop.h"

#include <QProcess>
#include <QStandardPaths>

namespace orv {

std::optional<QStringList> LiveDesktop::command(const QUrl &url,
                                                const std::function<QString(const QString &)> &findExecutable)
{
    if (!url.isValid())
        return std::nullopt;
    if (url.scheme() != QStringLiteral("settings")) {
        const QString opener = findExecutable(QStringLiteral("xdg-open"));
        if (opener.isEmpty())
            return std::nullopt;
        return QStringList{opener, url.toString(QUrl::FullyEncoded)};
    }
    const QString page = url.path();
    struct Program
    {
        QString name;
        QString sound;
        QString accessibility;
    };
    const Program programs[] = {
        {QStringLiteral("gnome-control-center"), QStringLiteral("sound"), QStringLiteral("universal-access")},
        {QStringLiteral("systemsettings"), QStringLiteral("kcm_pulseaudio"), QStringLiteral("kcm_access")},
    };
    for (const Program &program : programs) {
        const QString path = findExecutable(program.name);
        if (path.isEmpty())
            continue;
        if (page == QStringLiteral("sound"))
            return QStringList{path, program.sound};
        if (page == QStringLiteral("accessibility"))
            return QStringList{path, program.accessibility};
        return std::nullopt;
    }
    return std::nullopt;
}

bool LiveDesktop::openUrl(const QUrl &url)
{
    const auto program = command(url, [](const QString &name) { return QStandardPaths::findExecutable(name); });
    if (!program)
        return false;
    return QProcess::startDetached(program->first(), program->mid(1));
}

} // namespace orv
