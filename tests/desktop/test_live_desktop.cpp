#include "desktop/ColorScheme.h"
#include "desktop/xdg/LiveDesktop.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {

std::function<QString(const QString &)> installed(QStringList programs)
{
    return [programs](const QString &name) {
        return programs.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
    };
}

} // namespace

TEST(LiveDesktop, privacyPlacesOpenTheDesktopsOwnSettingsPagesOrNothing)
{
    const QUrl sound = *privacySettingsUrl(privacyAnchor::microphone());
    const QUrl access = *privacySettingsUrl(privacyAnchor::accessibility());
    EXPECT_EQ(LiveDesktop::command(sound, installed({QStringLiteral("gnome-control-center")})),
              (QStringList{QStringLiteral("/usr/bin/gnome-control-center"), QStringLiteral("sound")}));
    EXPECT_EQ(LiveDesktop::command(access, installed({QStringLiteral("systemsettings")})),
              (QStringList{QStringLiteral("/usr/bin/systemsettings"), QStringLiteral("kcm_access")}));
    EXPECT_EQ(LiveDesktop::command(sound, installed({QStringLiteral("xdg-open")})), std::nullopt)
        << "no settings program: nothing opens";
    EXPECT_EQ(LiveDesktop::command(QUrl(QStringLiteral("settings:bluetooth")),
                                   installed({QStringLiteral("gnome-control-center")})),
              std::nullopt);
    EXPECT_EQ(LiveDesktop::command(QUrl(QStringLiteral("https://example.org/help?a=b c")),
                                   installed({QStringLiteral("xdg-open")})),
              (QStringList{QStringLiteral("/usr/bin/xdg-open"), QStringLiteral("https://example.org/help?a=b%20c")}));
    EXPECT_EQ(privacySettingsUrl(privacyAnchor::speechRecognition()), std::nullopt);
}

TEST(ColorScheme, thePortalDecidesThenGnomeThenKdeThenGtkTheme)
{
    const struct
    {
        ColorSchemeAnswers answers;
        bool dark;
    } cases[] = {
        {{1u, QStringLiteral("'prefer-light'"), std::nullopt, {}}, true},
        {{2u, std::nullopt, QStringLiteral("BreezeDark"), QStringLiteral("Adwaita:dark")}, false},
        {{0u, QStringLiteral("'prefer-dark'\n"), std::nullopt, {}}, true}, // no preference: GNOME's own key
        {{std::nullopt, QStringLiteral("'default'"), QStringLiteral("Breeze Dark"), {}}, true},
        {{std::nullopt, std::nullopt, QStringLiteral("Breeze"), QStringLiteral("Adwaita:dark")}, false},
        {{std::nullopt, std::nullopt, std::nullopt, QStringLiteral("Adwaita:dark")}, true},
        {{}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(prefersDark(c.answers), c.dark);
    }
}
