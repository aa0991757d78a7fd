#include "tests/support/InMemoryKeyValueStore.h"

using namespace Qt::StringLiterals;

namespace orv::test {

void InMemoryKeyValueStore::setInteger(const QString &key, qint64 value)
{
    record(key, value, QString::number(value));
}

void InMemoryKeyValueStore::setBoolean(const QString &key, bool value)
{
    record(key, value, value ? u"true"_s : u"false"_s);
}

bool InMemoryKeyValueStore::setText(const QString &key, const QString &value)
{
    if (writable)
        record(key, value, value);
    return writable;
}

void InMemoryKeyValueStore::record(const QString &key, const QVariant &value, const QString &shown)
{
    values.insert(key, value);
    writes.append(key + QLatin1Char('=') + shown);
}

} // namespace orv::test
