#include "app/PanelDesktop.h"
#include "tests/support/Files.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using orv::PanelDesktop;

namespace {

std::optional<bool> kdeWith(const QTemporaryDir &dir, const QByteArray &contents)
{
    const QString path = dir.filePath(u"kdeglobals"_s);
    EXPECT_TRUE(orv::test::writeFile(path, contents));
    return PanelDesktop::kdeReduceMotion(path);
}

} // namespace

TEST(PanelDesktop, animationsSwitchedOffMeanReducedMotionAndAnUnreadableAnswerMeansUnknown)
{
    EXPECT_EQ(PanelDesktop::gnomeReduceMotion("false\n"), std::optional<bool>(true));
    EXPECT_EQ(PanelDesktop::gnomeReduceMotion("true\n"), std::optional<bool>(false));
    EXPECT_EQ(PanelDesktop::gnomeReduceMotion(""), std::nullopt);
    EXPECT_EQ(PanelDesktop::gnomeReduceMotion("No such schema “org.gnome.desktop.interface”"), std::nullopt);

    QTemporaryDir dir;
    EXPECT_EQ(kdeWith(dir, "[KDE]\nAnimationDurationFactor=0\n"), std::optional<bool>(true)) << "instant";
    EXPECT_EQ(kdeWith(dir, "[KDE]\nAnimationDurationFactor=0.5\n"), std::optional<bool>(false));
    EXPECT_EQ(kdeWith(dir, "[General]\nColorScheme=Breeze\n"), std::nullopt);
    EXPECT_EQ(PanelDesktop::kdeReduceMotion(dir.filePath(u"missing"_s)), std::nullopt);
}
