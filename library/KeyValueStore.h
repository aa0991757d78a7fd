#pragma once

#include <QString>

#include <optional>

namespace orv {

// A small persistent key-value store for settings that live outside the library file.
class KeyValueStore
{
public:
    virtual ~KeyValueStore() = default;

    // nullopt when the key is missing; a value of another kind reads as 0 / false.
    virtual std::optional<qint64> integer(const QString &key) const = 0;
    virtual std::optional<bool> boolean(const QString &key) const = 0;
    virtual std::optional<QString> text(const QString &key) const = 0;
    virtual void setInteger(const QString &key, qint64 value) = 0;
    virtual void setBoolean(const QString &key, bool value) = 0;
    // False when the value could not be written to the store's file (it is then not kept either).
    virtual bool setText(const QString &key, const QString &value) = 0;
    // Where the store keeps its values, for messages; empty when nowhere on disk.
    virtual QString location() const = 0;
};

} // namespace orv
