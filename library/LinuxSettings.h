#pragma once

#include "base/Expected.h"
#include "library/KeyValueStore.h"
#include "shortcuts/ShortcutSettings.h"

#include <QObject>
#include <QString>

#include <memory>

namespace orv {

// The choices only the Linux build has, kept in orvanta.conf beside the setup progress: the hold key, the
// toggle shortcut and the address of the local language-model server. The composition root reads them, the
// Settings page writes them, and whatever depends on one follows changed().
//
// Reads never fail: a missing or unusable key choice reads as the default and stays in the file untouched.
// A stored server address is handed on as it is, so that the server's status can say why it is not used.
// Setters refuse what cannot be used with a sentence saying why and keep the stored value.
class LinuxSettings final : public QObject, public ShortcutSettings
{
    Q_OBJECT

public:
    static QString holdKeyKey() { return QStringLiteral("shortcuts/holdKey"); }
    static QString toggleKey() { return QStringLiteral("shortcuts/toggle"); }
    static QString languageModelEndpointKey() { return QStringLiteral("languageModel/endpoint"); }
    // The key defaults are platform words (platform::defaultHoldKeyName(), platform::defaultToggleName()).
    static QString defaultLanguageModelEndpoint() { return QStringLiteral("http://127.0.0.1:8080"); }

    explicit LinuxSettings(std::unique_ptr<KeyValueStore> store, QObject *parent = nullptr);
    ~LinuxSettings() override;

    QString holdKey() const override;
    QString toggle() const override;
    QString languageModelEndpoint() const;

    // Each emits changed() when the stored value changed.
    Expected<void, QString> setHoldKey(const QString &name);
    Expected<void, QString> setToggle(const QString &shortcut);
    // Loopback addresses only; an empty address means the default.
    Expected<void, QString> setLanguageModelEndpoint(const QString &address);

Q_SIGNALS:
    void changed();

private:
    QString stored(const QString &key) const;
    Expected<void, QString> store(const QString &key, const QString &value);

    std::unique_ptr<KeyValueStore> m_store;
};

} // namespace orv
