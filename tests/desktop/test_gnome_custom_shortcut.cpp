// Adding `orvanta toggle` to GNOME's custom shortcuts, over a GSettings store kept in memory.
#include "desktop/gnome/GnomeCustomShortcut.h"
#include "tests/support/QtPrinters.h"

#include <QMap>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace orv {
namespace {

const QString list = GnomeCustomShortcut::listSchema();
const QString folder = GnomeCustomShortcut::entryFolder();

QString entry(const QString &name)
{
    return GnomeCustomShortcut::entrySchema() + ':'_L1 + folder + name + '/'_L1;
}

// GSettings as the gsettings program shows it: GVariant text, unset keys read as their defaults.
struct MemorySettings
{
    QMap<QPair<QString, QString>, QString> values;
    bool writable = true;

    GnomeCustomShortcut::Access access()
    {
        return {
            [this](const QString &schema, const QString &key) -> std::optional<QString> {
                return values.value({schema, key}, key == u"custom-keybindings" ? u"@as []"_s : u"''"_s);
            },
            [this](const QString &schema, const QString &key, const QString &value) {
                if (writable)
                    values.insert({schema, key}, value);
                return writable;
            },
        };
    }
};

const GnomeCustomShortcut::Shortcut toggle{u"Orvanta: start or finish dictation"_s, u"orvanta toggle"_s,
                                           u"<Control><Alt>space"_s};

// The user's own shortcuts stay as they are: the new one takes the first free entry and is listed after
// them; adding it again finds it instead of listing it twice.
TEST(GnomeCustomShortcut, addsBesideTheUsersShortcutsOnce)
{
    MemorySettings gsettings;
    gsettings.values.insert({list, u"custom-keybindings"_s}, u"['%1custom0/', '%1custom2/']"_s.arg(folder));
    gsettings.values.insert({entry(u"custom0"_s), u"command"_s}, u"'sh -c \\'echo it\\\\'s mine\\''"_s);
    GnomeCustomShortcut gnome(gsettings.access());

    const auto added = gnome.add(toggle);
    ASSERT_TRUE(added) << added.error().toStdString();
    EXPECT_EQ(gsettings.values.value({list, u"custom-keybindings"_s}),
              u"['%1custom0/', '%1custom2/', '%1custom1/']"_s.arg(folder));
    EXPECT_EQ(gsettings.values.value({entry(u"custom1"_s), u"command"_s}), u"'orvanta toggle'"_s);
    EXPECT_EQ(gsettings.values.value({entry(u"custom1"_s), u"binding"_s}), u"'<Control><Alt>space'"_s);
    EXPECT_EQ(gsettings.values.value({entry(u"custom1"_s), u"name"_s}), u"'Orvanta: start or finish dictation'"_s);

    const auto again = gnome.add(toggle);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again.value().contains(u"already"_s)) << again.value().toStdString();
    EXPECT_EQ(gsettings.values.value({list, u"custom-keybindings"_s}).count(u"keybindings/custom"_s), 3);
}

// Settings that cannot be written leave GNOME's list untouched and tell the user where to add it by hand.
TEST(GnomeCustomShortcut, aReadOnlyStoreSaysWhereToAddItByHand)
{
    MemorySettings gsettings;
    gsettings.writable = false;
    const auto added = GnomeCustomShortcut(gsettings.access()).add(toggle);
    ASSERT_FALSE(added);
    EXPECT_TRUE(added.error().contains(u"Custom Shortcuts"_s)) << added.error().toStdString();
    EXPECT_TRUE(added.error().contains(u"orvanta toggle"_s));
    EXPECT_TRUE(gsettings.values.isEmpty());

    EXPECT_EQ(GnomeCustomShortcut::acceleratorOf(true, false, true, true, u"F9"_s), u"<Control><Shift><Super>F9"_s);
    EXPECT_EQ(GnomeCustomShortcut::acceleratorOf(false, true, false, false, u"D"_s), u"<Alt>d"_s);
}

} // namespace
} // namespace orv
