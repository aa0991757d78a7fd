// Orvanta as a user runs it through its windows alone: the toolbar's Dictate and Finish while flite speech
// plays into the test microphone, the result in the Overview's test pad, a word corrected there learned.
// (The hold key into another application's field: test_recording_panel_desktop.)
#include "tests/support/DictationDesktop.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RunningOrvanta.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv::test;

namespace {

// The toolbar's record button named `name`, when it shows.
// The Dictate button the window shows: the Overview's own, or the toolbar's on the other pages.
std::optional<AccessibleNode> dictateButton(const AccessibleNode &app, const QString &name)
{
    return app.find([&](const AccessibleNode &node) {
        return node.role() == QLatin1String("push button") && node.name() == name && node.isShowing();
    });
}

// The dictionary entries of the library file, as heard → replacement.
QMap<QString, QString> learnedEntries(const QString &libraryPath)
{
    QFile file(libraryPath);
    QMap<QString, QString> entries;
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QJsonArray dictionary =
        QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("dictionary")).toArray();
    for (const QJsonValue &entry : dictionary)
        entries.insert(entry.toObject().value(QLatin1String("heard")).toString(),
                       entry.toObject().value(QLatin1String("replacement")).toString());
    return entries;
}

void run(const QStringList &xdotool)
{
    QProcess::execute(QStringLiteral("xdotool"), xdotool);
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
    ASSERT_TRUE(waitUntil(
        [&] { return (dictate = dictateButton(*app, QStringLiteral("Start dictation"))).has_value(); }, 15000));
    const QByteArray hello = synthesizeSpeech(QStringLiteral("hello world"), home.path());
    ASSERT_FALSE(hello.isEmpty()) << "flite and sox make the test speech";

    ASSERT_TRUE(dictate->doAction(QStringLiteral("Press")));
    std::optional<AccessibleNode> finish;
    ASSERT_TRUE(waitUntil(
        [&] { return (finish = dictateButton(*app, QStringLiteral("Finish dictation"))).has_value(); }, 10000));
    {
        Speaker speaker(hello);
        waitUntil([&] { return speaker.done(); }, 30000);
    }
    ASSERT_TRUE(finish->doAction(QStringLiteral("Press")));

    const std::optional<AccessibleNode> pad = app->find(QStringLiteral("text"), QStringLiteral("Dictation transcript"));
    ASSERT_TRUE(pad);
    ASSERT_TRUE(waitUntil([&] { return pad->text() == QLatin1String("Hello world."); }, 20000))
        << pad->text().toStdString();

    // The user corrects the word in the pad with the keyboard.
    const QPoint inside = pad->extents().center();
    run({QStringLiteral("mousemove"), QString::number(inside.x()), QString::number(inside.y()), QStringLiteral("click"),
         QStringLiteral("1")});
    ASSERT_TRUE(waitUntil([&] { return pad->isFocused(); }, 5000));
    run({QStringLiteral("key"), QStringLiteral("ctrl+a")});
    run({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), QStringLiteral("Hello World.")});
    ASSERT_TRUE(waitUntil([&] { return pad->text() == QLatin1String("Hello World."); }, 5000))
        << pad->text().toStdString();
    const QString library = home.filePath(QStringLiteral("data/orvanta/library.json"));
    EXPECT_TRUE(waitUntil(
        [&] { return learnedEntries(library).value(QStringLiteral("world")) == QLatin1String("World"); }, 10000))
        << "the correction never reached the library file";
}
