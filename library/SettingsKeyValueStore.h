#pragma once

#include "library/KeyValueStore.h"

#include <QSettings>

#include <memory>
#include <optional>

namespace orv {

// The live key-value store: an INI file, by default $XDG_CONFIG_HOME/orvanta/orvanta.conf. A file that is
// not a regular file of the user's (a named pipe, a device, another account's file or link) is left alone:
// every choice reads as its default, nothing is written, and problem() says why.
class SettingsKeyValueStore final : public KeyValueStore
{
public:
    explicit SettingsKeyValueStore(std::optional<QString> filePath = {});

    // $XDG_CONFIG_HOME/orvanta/orvanta.conf: the one place that says where the file is.
    static QString defaultFilePath();

    std::optional<qint64> integer(const QString &key) const override;
    std::optional<bool> boolean(const QString &key) const override;
    std::optional<QString> text(const QString &key) const override;
    void setInteger(const QString &key, qint64 value) override;
    void setBoolean(const QString &key, bool value) override;
    bool setText(const QString &key, const QString &value) override;
    QString location() const override { return m_path; }

    // Why the file is not used, as a sentence; empty when it is.
    const QString &problem() const { return m_problem; }

private:
    QString m_path;
    QString m_problem;
    // QSettings reads lazily and caches; every read goes through this one object. Null when refused.
    mutable std::unique_ptr<QSettings> m_settings;
};

} // namespace orv
