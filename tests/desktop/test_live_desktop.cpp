#include "desktop/ColorScheme.h"
#include "desktop/xdg/LiveDesktop.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace Qt::StringLiterals;

namespace {

std::function<QString(const QString &)> installed(QStringList programs)
{
    return [programs](const QString &name) { return programs.contains(name) ? u"/usr/bin/"_s + name : QString(); };
}

} // namespace

TEST(LiveDesktop, privacyPlacesOpenTheDesktopsOwnSettingsPagesOrNothing)
{
    const QUrl sound = *privacySettingsUrl(privacyAnchor::microphone());
    const QUrl access = *privacySettingsUrl(privacyAnchor::accessibility());
    EXPECT_EQ(LiveDesktop::command(sound, installed({u"gnome-control-center"_s})),
              (QStringList{u"/usr/bin/gnome-control-center"_s, u"sound"_s}));
    EXPECT_EQ(LiveDesktop::command(access, installed({u"systemsettings"_s})),
              (QStringList{u"/usr/bin/systemsettings"_s, u"kcm_access"_s}));
    EXPECT_EQ(LiveDesktop::command(sound, installed({u"xdg-open"_s})), std::nullopt)
        << "no settings program: nothing opens";
    EXPECT_EQ(LiveDesktop::command(QUrl(u"settings:bluetooth"_s), installed({u"gnome-control-center"_s})),
              std::nullopt);
    EXPECT_EQ(LiveDesktop::command(QUrl(u"https://example.org/help?a=b c"_s), installed({u"xdg-open"_s})),
              (QStringList{u"/usr/bin/xdg-open"_s, u"https://example.org/help?a=b%20c"_s}));
    EXPECT_EQ(privacySettingsUrl(privacyAnchor::speechRecognition()), std::nullopt);
}

TEST(ColorScheme, thePortalDecidesThenGnomeThenKdeThenGtkTheme)
{
    const struct
    {
        ColorSchemeAnswers answers;
        bool dark;
    } cases[] = {
        {{1u, u"'prefer-light'"_s, std::nullopt, {}}, true},
        {{2u, std::nullopt, u"BreezeDark"_s, u"Adwaita:dark"_s}, false},
        {{0u, u"'prefer-dark'\n"_s, std::nullopt, {}}, true}, // no preference: GNOME's own key
        {{std::nullopt, u"'default'"_s, u"Breeze Dark"_s, {}}, true},
        {{std::nullopt, std::nullopt, u"Breeze"_s, u"Adwaita:dark"_s}, false},
        {{std::nullopt, std::nullopt, std::nullopt, u"Adwaita:dark"_s}, true},
        {{}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(prefersDark(c.answers), c.dark);
    }
}
