// The recording panel of the real orvanta on the private desktop (scripts/with-desktop.sh): a GTK text field
// of another application has the focus; a dictation shows the panel, and the field keeps the active window
// and the focus during and after it, whether the dictation ends with the hold key or with a click on the
// panel's Finish button. A screen reader meets the panel as a notification that becomes showing.
#include "tests/support/DictationDesktop.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RunningOrvanta.h"
#include "tests/support/X11TestClient.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

class PanelFocus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!privateDesktopReady())
            GTEST_SKIP() << "needs the private desktop of scripts/with-desktop.sh (X server, AT-SPI, PulseAudio)";
        orvanta = std::make_unique<RunningOrvanta>(QStringLiteral(ORVANTA_BINARY), home.path(), true);
        app = orvanta->application();
        ASSERT_TRUE(app) << "Orvanta never appeared on the accessibility bus";
        ASSERT_TRUE(waitUntil([&] { return app->find(u"push button"_s, u"Start dictation"_s).has_value(); }, 15000));
        speech = synthesizeSpeech(u"hello world"_s, home.path());
        ASSERT_FALSE(speech.isEmpty()) << "flite and sox make the test speech";

        field = std::make_unique<TestField>(QStringLiteral(ORVANTA_GTK_FIELD));
        ASSERT_TRUE(field->waitReady());
        const std::optional<AccessibleNode> gtk = waitForApplication(u"orvanta-gtk-field"_s, 0, 10000);
        ASSERT_TRUE(gtk);
        entry = gtk->find([](const AccessibleNode &node) { return node.role() == "text"_L1; });
        ASSERT_TRUE(entry);
        ASSERT_TRUE(waitUntil([&] { return fieldHasFocus(); }, 5000)) << activeWindowTitle().toStdString();
    }
    bool fieldHasFocus() const { return activeWindowTitle() == "Orvanta GTK field"_L1 && entry->isFocused(); }
    std::optional<AccessibleNode> panel() const
    {
        return app->find([](const AccessibleNode &node) { return node.name() == "Orvanta dictation"_L1; });
    }
    bool panelShowing() const
    {
        const std::optional<AccessibleNode> found = panel();
        return found && found->isShowing();
    }
    // Plays the speech; meanwhile counts the moments the field was not the focus.
    int speakWatchingFocus()
    {
        int lost = 0;
        Speaker speaker(speech);
        waitUntil(
            [&] {
                if (!fieldHasFocus())
                    ++lost;
                return speaker.done();
            },
            30000);
        return lost;
    }

    QTemporaryDir home;
    std::unique_ptr<RunningOrvanta> orvanta;
    std::optional<AccessibleNode> app;
    QByteArray speech;
    std::unique_ptr<TestField> field;
    std::optional<AccessibleNode> entry;
    X11TestClient keys;
};

} // namespace

TEST_F(PanelFocus, aDictationWithTheHoldKeyShowsThePanelAndTheFieldKeepsTheFocus)
{
    const unsigned holdKey = keys.keycode("Control_R");
    keys.press(holdKey);
    ASSERT_TRUE(waitUntil([&] { return panelShowing(); }, 10000)) << "no panel named \"Orvanta dictation\"";
    const AccessibleNode shown = *panel();
    EXPECT_EQ(shown.role(), u"notification"_s);
    EXPECT_TRUE(shown.description().startsWith(u"Orvanta. "_s)) << shown.description().toStdString();
    EXPECT_TRUE(shown.find(u"label"_s, u"Release Right Ctrl to finish"_s));
    EXPECT_TRUE(fieldHasFocus()) << "active: " << activeWindowTitle().toStdString();

    EXPECT_EQ(speakWatchingFocus(), 0) << "the field lost the focus while the panel showed";
    keys.release(holdKey);
    EXPECT_TRUE(waitUntil([&] { return field->text() == "Hello world."_L1; }, 20000)) << field->text().toStdString();
    EXPECT_TRUE(waitUntil([&] { return !panelShowing(); }, 5000));
    EXPECT_TRUE(fieldHasFocus()) << "active: " << activeWindowTitle().toStdString();
}

TEST_F(PanelFocus, clickingThePanelsFinishFinishesAndTheTextStillLandsInTheField)
{
    // The toggle: its key grab takes the field's focus only while the keys are down.
    for (const char *key : {"Control_L", "Alt_L", "space"})
        keys.press(keys.keycode(key));
    for (const char *key : {"space", "Alt_L", "Control_L"})
        keys.release(keys.keycode(key));
    ASSERT_TRUE(waitUntil([&] { return panelShowing(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return fieldHasFocus(); }, 3000));
    EXPECT_EQ(speakWatchingFocus(), 0);

    const QRect window = panel()->extents();
    QProcess::execute(u"xdotool"_s, {u"mousemove"_s, QString::number(window.x() + 8), QString::number(window.y() + 8),
                                     u"click"_s, u"1"_s});
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(fieldHasFocus()) << "a click on the background took the focus: " << activeWindowTitle().toStdString();

    const std::optional<AccessibleNode> finish = panel()->find(u"push button"_s, u"Finish dictation"_s);
    ASSERT_TRUE(finish);
    const QPoint centre = finish->extents().center();
    QProcess::execute(u"xdotool"_s,
                      {u"mousemove"_s, QString::number(centre.x()), QString::number(centre.y()), u"click"_s, u"1"_s});
    EXPECT_TRUE(waitUntil([&] { return field->text() == "Hello world."_L1; }, 20000)) << field->text().toStdString();
    EXPECT_TRUE(fieldHasFocus()) << "active: " << activeWindowTitle().toStdString();
    EXPECT_TRUE(waitUntil([&] { return !panelShowing(); }, 5000));
}
