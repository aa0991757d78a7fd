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

} // namespace orv::test
