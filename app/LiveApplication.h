#pragma once

#include "app/ShortcutController.h"
#include "core/AppModel.h"
#include "core/LiveScheduler.h"

#include <memory>

namespace orv {

class ShortcutSettingsFile;

// The composition root: the app model built over the real services of this computer, in the order the
// model owns them, and the global shortcuts wired to it. Needs a QGuiApplication (the clipboard) that
// was created after LiveApplication::configureProcess().
class LiveApplication
{
public:
    struct Options
    {
        ShortcutController::Registration shortcuts = ShortcutController::Registration::afterOnboarding;
        std::optional<QString> libraryPath; // default: $XDG_DATA_HOME/orvanta/library.json
    };

    // Process-wide settings that must precede the QGuiApplication.
    static void configureProcess();

    explicit LiveApplication(const Options &options);
    ~LiveApplication();

    LiveScheduler &scheduler() { return m_scheduler; }
    AppModel &model() { return *m_model; }
    ShortcutController &shortcuts() { return *m_shortcuts; }

    // At termination: the keys are released and any dictation is cancelled; nothing needs saving.
    void shutdown();

private:
    LiveScheduler m_scheduler;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<ShortcutSettingsFile> m_shortcutSettings;
    std::unique_ptr<ShortcutController> m_shortcuts;
};

} // namespace orv
