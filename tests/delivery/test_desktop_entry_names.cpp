#include "delivery/atspi/DesktopEntryNames.h"
#include "tests/support/Files.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using orv::atspi::DesktopEntryNames;
using orv::test::writeFile;

namespace {

TEST(DesktopEntryNames, findsTheNameUsersKnowFromTheWindowClass)
{
    QTemporaryDir user, system;
    writeFile(system.filePath(u"firefox-esr.desktop"_s),
              "[Desktop Entry]\nName=Firefox ESR\nStartupWMClass=firefox-esr\n\n"
              "[Desktop Action new-window]\nName=New Window\n");
    writeFile(system.filePath(u"debian-xterm.desktop"_s), "[Desktop Entry]\nName=XTerm\nStartupWMClass=XTerm\n");
    writeFile(system.filePath(u"lxterminal.desktop"_s), "[Desktop Entry]\nName=LXTerminal\n");
    writeFile(system.filePath(u"org.gnome.TextEditor.desktop"_s), "[Desktop Entry]\nName=Text Editor\n");
    writeFile(system.filePath(u"broken.desktop"_s), "Name=Not in a group\n");
    // The user's own entry overrides the system's.
    writeFile(user.filePath(u"lxterminal.desktop"_s), "[Desktop Entry]\n# mine\nName = My Terminal\n");
    DesktopEntryNames names({user.path(), system.path()});

    EXPECT_EQ(names.nameFor(u"firefox-esr"_s, u"Navigator"_s), u"Firefox ESR"_s);
    EXPECT_EQ(names.nameFor(u"XTerm"_s, u"xterm"_s), u"XTerm"_s);
    EXPECT_EQ(names.nameFor(u"Lxterminal"_s, u"lxterminal"_s), u"My Terminal"_s);
    EXPECT_EQ(names.nameFor(u"Gnome-text-editor"_s, u"texteditor"_s), u"Text Editor"_s);
    EXPECT_FALSE(names.nameFor(u"Gtk3_target.py"_s, u"gtk3_target.py"_s));
    EXPECT_FALSE(names.nameFor(u"broken"_s, QString()));
    EXPECT_FALSE(names.nameFor(QString(), QString()));
}

} // namespace
