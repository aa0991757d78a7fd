#include "tests/support/InMemoryKeyValueStore.h"

namespace orv::test {

std::optional<qint64> InMemoryKeyValueStore::integer(const QString &key) const
{
    if (!values.contains(key))
        return std::nullopt;
    return values.value(key).toLongLong();
}

std::optional<bool> InMemoryKeyValueStore::boolean(const QString &key) const
{
    if (!values.contains(key))
        return std::nullopt;
    return values.value(key).toBool();
}

std::optional<QString> InMemoryKeyValueStore::text(const QString &key) const
{
    if (!values.contains(key))
        return std::nullopt;
    return values.value(key).toString();
}

void InMemoryKeyValueStore::setInteger(const QString &key, qint64 value)
{
    values.insert(key, value);
    writes.append(key + QLatin1Char('=') + QString::number(value));
}

void InMemoryKeyValueStore::setBoolean(const QString &key, bool value)
{
    values.insert(key, value);
    writes.append(key + QLatin1Char('=') + (value ? QStringLiteral("true") : QStringLiteral("false")));
}

bool InMemoryKeyValueStore::setText(const QString &key, const QString &value)
{
    if (!writable)
        return false;
    values.insert(key, value);
    writes.append(key + QLatin1Char('=') + value);
    return true;
}

} // namespace orv::test
