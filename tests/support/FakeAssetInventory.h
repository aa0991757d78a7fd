#pragma once

#include "speech/AbstractAssetInventory.h"

#include <QMap>

namespace orv::test {

// Languages and model states as the test sets them; a held status or install waits for the test.
class FakeAssetInventory final : public AbstractAssetInventory
{
public:
    // Answers still held end their waiters, as a platform's pending answers do when it goes.
    ~FakeAssetInventory() override;

    QMap<QString, Status> statuses{{QStringLiteral("en-US"), Status::installed}};
    Expected<void, SpeechEngineError> installOutcome;
    bool holdStatus = false;
    bool holdInstall = false;
    AsyncValue<Status> heldStatus;
    AsyncValue<Expected<void, SpeechEngineError>> heldInstall;
    int installs = 0;

    QStringList installedLocales() const override { return statuses.keys(Status::installed); }
    std::optional<QString> supportedLocale(const QString &identifier) const override;
    Task<Status> status(QString locale) override;
    Task<Expected<void, SpeechEngineError>> install(QString locale) override;
};

} // namespace orv::test
