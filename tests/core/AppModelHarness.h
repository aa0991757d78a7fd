#pragma once

#include "core/AppModel.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeFormatter.h"
#include "tests/support/FakeLoginItemController.h"
#include "tests/support/FakePermissions.h"
#include "tests/support/FakeSpeechEngine.h"
#include "tests/support/FakeTextDelivery.h"
#include "tests/support/InMemoryKeyValueStore.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/VirtualScheduler.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace orv::test {

// The services a model runs over, as fakes; the *Fake pointers stay valid once a model owns them.
struct AppModelFakes
{
    AppModelFakes() { freshServices(); }

    // New fakes, as at the start of a test, for the next model.
    void freshServices()
    {
        loginFake = (login = std::make_unique<FakeLoginItemController>()).get();
        settingsFake = (settings = std::make_unique<InMemoryKeyValueStore>()).get();
        speechFake = (speech = std::make_unique<FakeSpeechEngine>()).get();
        permissionsFake = permissions = &speech->fakePermissions;
        formatterFake = (formatter = std::make_unique<FakeFormatter>()).get();
        deliveryFake = (delivery = std::make_unique<FakeTextDelivery>()).get();
        desktopFake = (desktop = std::make_unique<FakeDesktop>()).get();
        speech->localesAnswer = QStringList{QStringLiteral("en-US")};
        speech->startAnswer = FakeSpeechEngine::StartResult();
        // Permission prompts stay open until a test answers them.
        permissions->holdMicrophonePrompt = true;
        permissions->holdSpeechPrompt = true;
    }

    // Hands the fakes over, with a library at `libraryPath`.
    AppModel::Services services(Scheduler &scheduler, const QString &libraryPath)
    {
        return {scheduler,         std::move(login),     std::move(settings), std::make_unique<AppStore>(libraryPath),
                std::move(speech), std::move(formatter), std::move(delivery), std::move(desktop)};
    }

    std::unique_ptr<FakeLoginItemController> login;
    std::unique_ptr<InMemoryKeyValueStore> settings;
    std::unique_ptr<FakeSpeechEngine> speech;
    FakePermissions *permissions = nullptr; // the speech fake's, which owns them
    std::unique_ptr<FakeFormatter> formatter;
    std::unique_ptr<FakeTextDelivery> delivery;
    std::unique_ptr<FakeDesktop> desktop;

    FakeSpeechEngine *speechFake = nullptr;
    FakePermissions *permissionsFake = nullptr;
    FakeFormatter *formatterFake = nullptr;
    FakeTextDelivery *deliveryFake = nullptr;
    FakeDesktop *desktopFake = nullptr;
    FakeLoginItemController *loginFake = nullptr;
    InMemoryKeyValueStore *settingsFake = nullptr;
};

// Builds a model over fakes and a library in a temporary folder; counts the change notifications.
class AppModelTest : public ::testing::Test, public AppModelFakes
{
protected:
    AppModel &make()
    {
        model = std::make_unique<AppModel>(services(scheduler, libraryPath()));
        QObject::connect(model.get(), &AppModel::changed, model.get(), [this] { ++notifications; });
        return *model;
    }

    QString libraryPath() const { return dir.filePath(QStringLiteral("orvanta/library.json")); }
    AppStore::Snapshot savedLibrary() const { return AppStore(libraryPath()).snapshot(); }

    // Start, let recording begin, speak for `seconds`, finish with `transcript`.
    void dictate(const QString &transcript, double seconds = 1.0)
    {
        model->toggle();
        scheduler.advanceSeconds(seconds);
        speechFake->finishAnswer = FakeSpeechEngine::FinishResult(transcript);
        model->toggle();
        scheduler.runPending();
    }

    VirtualScheduler scheduler;
    QTemporaryDir dir;
    std::unique_ptr<AppModel> model;
    int notifications = 0;
};

} // namespace orv::test
