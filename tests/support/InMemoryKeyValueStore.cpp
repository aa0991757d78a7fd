#include "tests/support/InMemoryKeyValueStore.h"

namespace orv::test {

bool InMemoryKeyValueStore::setText(const QString &key, const QString &value)
{
    if (writable)
        record(key, value);
    return writable;
}

void InMemoryKeyValueStore::record(const QString &key, const QVariant &value)
{
    values.insert(key, value);
    writes.append(key + QLatin1Char('=') + value.toString());
}

} // namespace orv::test
