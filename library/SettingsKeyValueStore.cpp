#include "library/SettingsKeyValueStore.h"

#include "base/FileRead.h"
#include "base/OwnedFiles.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace orv {

SettingsKeyValueStore::SettingsKeyValueStore(std::optional<QString> filePath)
    : m_path(filePath ? *filePath : defaultFilePath())
{
    // QSettings opens the file blocking and follows any link: check it first, without waiting on it.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (QFileInfo(folder).isDir()) {
        const Expected<int, QString> trusted = owned::openTrustedFolder(folder);
        if (!trusted)
            m_problem = QStringLiteral("The settings folder %1 cannot be trusted: %2.").arg(folder, trusted.error());
        else
            ::close(trusted.value());
    }
    if (m_problem.isEmpty()) {
        if (const auto problem = privateFileProblem(m_path); problem && problem->kind != FileReadError::Kind::missing)
            m_problem = QStringLiteral("The settings file %1 is not used: %2.").arg(m_path, problem->reason);
    }
    if (m_problem.isEmpty())
        m_settings = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
}

QString SettingsKeyValueStore::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/orvanta/orvanta.conf");
}

std::optional<qint64> SettingsKeyValueStore::integer(const QString &key) const
{
    if (!m_settings)
        return std::nullopt;
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    return ok ? number : 0;
}

std::optional<bool> SettingsKeyValueStore::boolean(const QString &key) const
{
    if (!m_settings)
        return std::nullopt;
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    // The INI file holds text; only "true" and non-zero numbers read as true.
    const QString text = value.toString().trimmed();
    bool isNumber = false;
    const qint64 number = text.toLongLong(&isNumber);
    if (isNumber)
        return number != 0;
    return text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
}

std::optional<QString> SettingsKeyValueStore::text(const QString &key) const
{
    if (!m_settings)
        return std::nullopt;
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

void SettingsKeyValueStore::setInteger(const QString &key, qint64 value)
{
    if (!m_settings)
        return;
    m_settings->setValue(key, value);
    m_settings->sync();
}

void SettingsKeyValueStore::setBoolean(const QString &key, bool value)
{
    if (!m_settings)
        return;
    m_settings->setValue(key, value);
    m_settings->sync();
}

bool SettingsKeyValueStore::setText(const QString &key, const QString &value)
{
    if (!m_settings)
        return false;
    const QVariant previous = m_settings->value(key);
    m_settings->setValue(key, value);
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    // Not on disk: not in memory either, so that what is read is what the next start will read.
    if (previous.isValid())
        m_settings->setValue(key, previous);
    else
        m_settings->remove(key);
    return false;
}

} // namespace orv
