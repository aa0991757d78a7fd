#pragma once

#include "app/LiveApplication.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/EventLoopWait.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace orv::test {

using namespace Qt::StringLiterals;

// The private desktop of scripts/with-desktop.sh with the test sound server, and a home of its own for the
// library and the settings; set up by runOnTheLiveDesktop.
struct LiveDesktop
{
    QTemporaryDir home;
    bool ready = false;
};
inline LiveDesktop *liveDesktop = nullptr;

// Plays speech into the test sound server (Speaker's arguments) and waits until it is through.
template <class... Arguments>
void speak(Arguments &&...arguments)
{
    Speaker speaker(std::forward<Arguments>(arguments)...);
    waitUntil([&] { return speaker.done(); }, 30000);
}

// A test's main: ready where the display, the sound server and its `source` variable are there; offscreen
// (and every test skipping itself) where not.
inline int runOnTheLiveDesktop(int argc, char **argv, const char *source)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::signal(SIGPIPE, SIG_IGN); // a FIFO whose source was unloaded
    LiveDesktop desktop;
    liveDesktop = &desktop;
    qputenv("XDG_DATA_HOME", desktop.home.filePath(u"data"_s).toUtf8());
    qputenv("XDG_CONFIG_HOME", desktop.home.filePath(u"config"_s).toUtf8());
    desktop.ready = !qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("ORVANTA_TEST_PULSE") &&
                    !qEnvironmentVariableIsEmpty(source);
    if (!desktop.ready)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    LiveApplication::configureProcess();
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace orv::test
