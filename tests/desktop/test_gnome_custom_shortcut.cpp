// Adding `orvanta toggle` to GNOME's custom shortcuts, over a GSettings store kept in memory.
#include "desktop/gnome/GnomeCustomShortcut.h"
#include "tests/support/QtPrinters.h"

#include <QMap>

#include <gtest/gtest.h>

namespace orv {
namespace {

const QString list = GnomeCustomShortcut::listSchema();
const QString folder = GnomeCustomShortcut::entryFolder();

QString entry(const QString &name)
{
    return GnomeCustomShortcut::entrySchema() + QLatin1Char(':') + folder + name + QLatin1Char('/');
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
                return values.value({schema, key},
                                    key == u"custom-keybindings" ? QStringLiteral("@as []") : QStringLiteral("''"));
            },
            [this](const QString &schema, const QString &key, const QString &value) {
                if (writable)
                    values.insert({schema, key}, value);
                return writable;
            },
        };
    }
};

const GnomeCustomShortcut::Shortcut toggle{QStringLiteral("Orvanta: start or finish dictation"),
                                           QStringLiteral("orvanta toggle"), QStringLiteral("<Control><Alt>space")};

// The user's own shortcuts stay as they are: the new one takes the first free entry and is listed after
// them; adding it again finds it instead of listing it twice.
TEST(GnomeCustomShortcut, addsBesideTheUsersShortcutsOnce)
{
    MemorySettings gsettings;
    gsettings.values.insert({list, QStringLiteral("custom-keybindings")},
                            QStringLiteral("['%1custom0/', '%1custom2/']").arg(folder));
    gsettings.values.insert({entry(QStringLiteral("custom0")), QStringLiteral("command")},
                            QStringLiteral("'sh -c \\'echo it\\\\'s mine\\''"));
    GnomeCustomShortcut gnome(gsettings.access());

    const auto added = gnome.add(toggle);
    ASSERT_TRUE(added) << added.error().toStdString();
    EXPECT_EQ(gsettings.values.value({list, QStringLiteral("custom-keybindings")}),
              QStringLiteral("['%1custom0/', '%1custom2/', '%1custom1/']").arg(folder));
    EXPECT_EQ(gsettings.values.value({entry(QStringLiteral("custom1")), QStringLiteral("command")}),
              QStringLiteral("'orvanta toggle'"));
    EXPECT_EQ(gsettings.values.value({entry(QStringLiteral("custom1")), QStringLiteral("binding")}),
              QStringLiteral("'<Control><Alt>space'"));
    EXPECT_EQ(gsettings.values.value({entry(QStringLiteral("custom1")), QStringLiteral("name")}),
              QStringLiteral("'Orvanta: start or finish dictation'"));

    const auto again = gnome.add(toggle);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again.value().contains(QStringLiteral("already"))) << again.value().toStdString();
    EXPECT_EQ(gsettings.values.value({list, QStringLiteral("custom-keybindings")})
                  .count(QStringLiteral("keybindings/custom")),
              3);
}

// Settings that cannot be written leave GNOME's list untouched and tell the user where to add it by hand.
TEST(GnomeCustomShortcut, aReadOnlyStoreSaysWhereToAddItByHand)
{
    MemorySettings gsettings;
    gsettings.writable = false;
    const auto added = GnomeCustomShortcut(gsettings.access()).add(toggle);
    ASSERT_FALSE(added);
    EXPECT_TRUE(added.error().contains(QStringLiteral("Custom Shortcuts"))) << added.error().toStdString();
    EXPECT_TRUE(added.error().contains(QStringLiteral("orvanta toggle")));
    EXPECT_TRUE(gsettings.values.isEmpty());

    EXPECT_EQ(GnomeCustomShortcut::acceleratorOf(true, false, true, true, QStringLiteral("F9")),
              QStringLiteral("<Control><Shift><Super>F9"));
    EXPECT_EQ(GnomeCustomShortcut::acceleratorOf(false, true, false, false, QStringLiteral("D")),
              QStringLiteral("<Alt>d"));
}

} // namespace
} // namespace orv
