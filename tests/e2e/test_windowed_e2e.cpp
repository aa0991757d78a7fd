// Orvanta as a user runs it through its windows alone: the toolbar's Dictate and Finish while flite speech
// plays into the test microphone, the result in the Overview's test pad, a word corrected there learned.
// (The hold key into another application's field: test_recording_panel_desktop.)
#include "library/AppStore.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RunningOrvanta.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

// The Dictate button the window shows: the Overview's own, or the toolbar's on the other pages.
std::optional<AccessibleNode> dictateButton(const AccessibleNode &app, const QString &name)
{
    return app.find([&](const AccessibleNode &node) {
        return node.role() == "push button"_L1 && node.name() == name && node.isShowing();
    });
}

// Whether the library file's dictionary holds the entry.
bool learned(const QString &libraryPath, const QString &heard, const QString &replacement)
{
    const QList<orv::DictionaryEntry> dictionary = orv::AppStore(libraryPath).snapshot().dictionary;
    return std::any_of(dictionary.begin(), dictionary.end(), [&](const orv::DictionaryEntry &entry) {
        return entry.heard == heard && entry.replacement == replacement;
    });
}

void run(const QStringList &xdotool)
{
    QProcess::execute(u"xdotool"_s, xdotool);
}

} // namespace

TEST(WindowedDictation, theToolbarDictatesIntoTheTestPadWhereACorrectedWordIsLearned)
{
    if (!privateDesktopReady())
        GTEST_SKIP() << "needs the private desktop of scripts/with-desktop.sh (X server, AT-SPI, PulseAudio)";
    QTemporaryDir home;
    RunningOrvanta orvanta(QStringLiteral(ORVANTA_BINARY), home.path(), true);
    const std::optional<AccessibleNode> app = orvanta.application();
    ASSERT_TRUE(app);
    std::optional<AccessibleNode> dictate;
    ASSERT_TRUE(waitUntil([&] { return (dictate = dictateButton(*app, u"Start dictation"_s)).has_value(); }, 15000));
    const QByteArray hello = synthesizeSpeech(u"hello world"_s, home.path());
    ASSERT_FALSE(hello.isEmpty()) << "flite and sox make the test speech";

    ASSERT_TRUE(dictate->doAction(u"Press"_s));
    std::optional<AccessibleNode> finish;
    ASSERT_TRUE(waitUntil([&] { return (finish = dictateButton(*app, u"Finish dictation"_s)).has_value(); }, 10000));
    {
        Speaker speaker(hello);
        waitUntil([&] { return speaker.done(); }, 30000);
    }
    ASSERT_TRUE(finish->doAction(u"Press"_s));

    const std::optional<AccessibleNode> pad = app->find(u"text"_s, u"Dictation transcript"_s);
    ASSERT_TRUE(pad);
    ASSERT_TRUE(waitUntil([&] { return pad->text() == "Hello world."_L1; }, 20000)) << pad->text().toStdString();

    // The user corrects the word in the pad with the keyboard.
    const QPoint inside = pad->extents().center();
    run({u"mousemove"_s, QString::number(inside.x()), QString::number(inside.y()), u"click"_s, u"1"_s});
    ASSERT_TRUE(waitUntil([&] { return pad->isFocused(); }, 5000));
    run({u"key"_s, u"ctrl+a"_s});
    run({u"type"_s, u"--delay"_s, u"40"_s, u"Hello World."_s});
    ASSERT_TRUE(waitUntil([&] { return pad->text() == "Hello World."_L1; }, 5000)) << pad->text().toStdString();
    const QString library = home.filePath(u"data/orvanta/library.json"_s);
    EXPECT_TRUE(waitUntil([&] { return learned(library, u"world"_s, u"World"_s); }, 10000))
        << "the correction never reached the library file";
}
