#pragma once

#include "base/Expected.h"
#include "base/Task.h"
#include "speech/SpeechEngineError.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace orv {

// Which languages the recognizer has models for, and how a missing one is obtained.
class AbstractAssetInventory
{
public:
    enum class Status
    {
        unsupported,  // no model exists for the language
        installed,    // ready
        downloadable, // the inventory can fetch it
        notInstalled, // a system package provides it; install() names it
    };

    virtual ~AbstractAssetInventory() = default;

    // Identifiers of the languages whose models are installed.
    virtual QStringList installedLocales() const = 0;
    // The identifier of the supported language equivalent to identifier ("en_US", "en" → "en-US").
    virtual std::optional<QString> supportedLocale(const QString &identifier) const = 0;
    virtual Task<Status> status(QString locale) = 0;
    // Installs the model, or fails with a sentence that says how to install it.
    virtual Task<Expected<void, SpeechEngineError>> install(QString locale) = 0;

    // How far a download of install() is: bytes so far and in all (-1 when unknown). Set by the engine.
    std::function<void(qint64 received, qint64 total)> onProgress;
};

} // namespace orv
