#pragma once

#include "library/KeyValueStore.h"

#include <QHash>
#include <QStringList>
#include <QVariant>

namespace orv::test {

// Settings in memory; records every write in order ("key=value").
class InMemoryKeyValueStore final : public KeyValueStore
{
public:
    std::optional<qint64> integer(const QString &key) const override { return read<qint64>(key); }
    std::optional<bool> boolean(const QString &key) const override { return read<bool>(key); }
    std::optional<QString> text(const QString &key) const override { return read<QString>(key); }
    void setInteger(const QString &key, qint64 value) override { record(key, value); }
    void setBoolean(const QString &key, bool value) override { record(key, value); }
    bool setText(const QString &key, const QString &value) override;
    QString location() const override { return QStringLiteral("memory"); }

    bool writable = true; // false: every setText() fails

    QHash<QString, QVariant> values;
    QStringList writes;

private:
    template <typename T>
    std::optional<T> read(const QString &key) const
    {
        return values.contains(key) ? std::optional<T>(values.value(key).value<T>()) : std::nullopt;
    }
    void record(const QString &key, const QVariant &value);
};

} // namespace orv::test
