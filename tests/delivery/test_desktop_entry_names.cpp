#include "delivery/atspi/DesktopEntryNames.h"
#include "tests/support/Files.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using orv::atspi::DesktopEntryNames;
using orv::test::writeFile;

namespace {

TEST(DesktopEntryNames, findsTheNameUsersKnowFromTheWindowClass)
{
    QTemporaryDir user, system;
    writeFile(system.filePath(QStringLiteral("firefox-esr.desktop")),
              "[Desktop Entry]\nName=Firefox ESR\nStartupWMClass=firefox-esr\n\n"
              "[Desktop Action new-window]\nName=New Window\n");
    writeFile(system.filePath(QStringLiteral("debian-xterm.desktop")),
              "[Desktop Entry]\nName=XTerm\nStartupWMClass=XTerm\n");
    writeFile(system.filePath(QStringLiteral("lxterminal.desktop")), "[Desktop Entry]\nName=LXTerminal\n");
    writeFile(system.filePath(QStringLiteral("org.gnome.TextEditor.desktop")), "[Desktop Entry]\nName=Text Editor\n");
    writeFile(system.filePath(QStringLiteral("broken.desktop")), "Name=Not in a group\n");
    // The user's own entry overrides the system's.
    writeFile(user.filePath(QStringLiteral("lxterminal.desktop")), "[Desktop Entry]\n# mine\nName = My Terminal\n");
    DesktopEntryNames names({user.path(), system.path()});

    EXPECT_EQ(names.nameFor(QStringLiteral("firefox-esr"), QStringLiteral("Navigator")), QStringLiteral("Firefox ESR"));
    EXPECT_EQ(names.nameFor(QStringLiteral("XTerm"), QStringLiteral("xterm")), QStringLiteral("XTerm"));
    EXPECT_EQ(names.nameFor(QStringLiteral("Lxterminal"), QStringLiteral("lxterminal")), QStringLiteral("My Terminal"));
    EXPECT_EQ(names.nameFor(QStringLiteral("Gnome-text-editor"), QStringLiteral("texteditor")),
              QStringLiteral("Text Editor"));
    EXPECT_FALSE(names.nameFor(QStringLiteral("Gtk3_target.py"), QStringLiteral("gtk3_target.py")));
    EXPECT_FALSE(names.nameFor(QStringLiteral("broken"), QString()));
    EXPECT_FALSE(names.nameFor(QString(), QString()));
}

} // namespace
