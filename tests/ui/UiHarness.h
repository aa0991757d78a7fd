#pragma once

#include "library/LinuxSettings.h"
#include "tests/core/AppModelHarness.h"
#include "ui/AppDelegate.h"
#include "ui/UIComponents.h"

#include <QAction>
#include <QMenu>

namespace orv::test {

// The windows over the app model's fakes on the offscreen platform, in virtual time. Permission prompts
// answer at once unless a test holds them.
class WindowsTest : public AppModelTest
{
protected:
    WindowsTest()
    {
        permissions->holdMicrophonePrompt = false;
        permissions->holdSpeechPrompt = false;
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("orvanta.conf")); }

    ui::AppDelegate &launch(bool launchedAtLogin = false)
    {
        if (!model)
            make();
        delegate = std::make_unique<ui::AppDelegate>(
            *model, ui::AppDelegate::Options{settingsPath(), launchedAtLogin, [] {}, [this] { return trayAvailable; },
                                             &choices, panelPlatform});
        delegate->launch();
        return *delegate;
    }

    // Starts a dictation and lets the engine answer, so that it records.
    void startRecording()
    {
        model->toggle();
        scheduler.runPending();
        ASSERT_EQ(model->phase(), RecordingPhase::recording);
    }

    bool trayAvailable = true;
    ui::RecordingPanel::Platform panelPlatform;
    LinuxSettings choices{std::make_unique<InMemoryKeyValueStore>()}; // the Linux choices, in memory
    std::unique_ptr<ui::AppDelegate> delegate;
};

// `page`, made from `args` and shown at `size` the first time it is asked for.
template <class Page, class... Args>
Page &shownOnce(std::unique_ptr<Page> &page, QSize size, Args &&...args)
{
    if (!page) {
        page = std::make_unique<Page>(std::forward<Args>(args)...);
        page->resize(size);
        page->show();
    }
    return *page;
}

// The action titled `title` in `menu`, searching submenus; null when there is none.
inline QAction *findAction(const QList<QAction *> &actions, const QString &title)
{
    for (QAction *action : actions) {
        if (ui::withoutMnemonic(action->text()) == title)
            return action;
        if (action->menu())
            if (QAction *inner = findAction(action->menu()->actions(), title))
                return inner;
    }
    return nullptr;
}

} // namespace orv::test
