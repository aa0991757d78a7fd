#include "tests/support/FakeAssetInventory.h"

namespace orv::test {

FakeAssetInventory::~FakeAssetInventory()
{
    heldStatus.abandon();
    heldInstall.abandon();
}

std::optional<QString> FakeAssetInventory::supportedLocale(const QString &identifier) const
{
    QString normalized = identifier;
    normalized.replace(QLatin1Char('_'), QLatin1Char('-'));
    for (auto it = statuses.begin(); it != statuses.end(); ++it)
        if (it.key().compare(normalized, Qt::CaseInsensitive) == 0)
            return it.key();
    return std::nullopt;
}

Task<AbstractAssetInventory::Status> FakeAssetInventory::status(QString locale)
{
    if (holdStatus)
        co_return co_await heldStatus;
    co_return statuses.value(locale, Status::unsupported);
}

Task<Expected<void, SpeechEngineError>> FakeAssetInventory::install(QString locale)
{
    ++installs;
    if (holdInstall)
        co_return co_await heldInstall;
    if (installOutcome)
        statuses[locale] = Status::installed;
    co_return installOutcome;
}

} // namespace orv::test
