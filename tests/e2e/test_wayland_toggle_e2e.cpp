// The whole road on a headless Wayland desktop: `orvanta dictate` runs, a native GTK 3, GTK 4 or Qt 6 field has the
// focus, `orvanta toggle` starts the dictation, flite's speech plays into the sound server's source, `orvanta toggle`
// finishes it, and the words must be in the field, confirmed. Run under scripts/with-wayland.sh.
#include "tests/support/AtspiClient.h"
#include "tests/support/DictationDesktop.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using namespace orv;
using namespace Qt::StringLiterals;
using orv::test::ChildProcess;
using orv::test::waitUntil;

namespace {

// The lines a child printed so far.
struct Output
{
    ChildProcess &process;
    QStringList lines;

    bool has(const QString &start)
    {
        while (process.canReadLine())
            lines.append(QString::fromUtf8(process.readLine()).trimmed());
        for (const QString &line : std::as_const(lines))
            if (line.startsWith(start))
                return true;
        return false;
    }
};

int toggle()
{
    return ChildProcess::execute(QStringLiteral(ORVANTA_BINARY), {u"toggle"_s}, 10000);
}

struct Field
{
    const char *name;
    const char *program;
};

using WaylandToggleEndToEnd = ::testing::TestWithParam<Field>;

TEST_P(WaylandToggleEndToEnd, aDictationStartedAndFinishedWithOrvantaToggleIsInsertedAndConfirmed)
{
    if (qEnvironmentVariable("ORVANTA_TEST_WAYLAND").isEmpty() || !qEnvironmentVariableIsSet("ORVANTA_TEST_PULSE"))
        GTEST_SKIP() << "needs the Wayland desktop of scripts/with-wayland.sh with its sound server";
    QTemporaryDir work;
    const QByteArray speech = test::synthesizeSpeech(u"hello world"_s, work.path());
    ASSERT_FALSE(speech.isEmpty()) << "flite and sox make the test speech";

    test::TestField field(QString::fromUtf8(GetParam().program));
    ASSERT_TRUE(field.waitReady());
    // A person starts dictating once the field shows its caret: the compositor activates a new window a
    // moment after it is shown.
    ASSERT_TRUE(waitUntil(
        [&] {
            return test::AccessibleNode::desktop()
                .find([&](const test::AccessibleNode &node) {
                    return node.processID() == field.processID() && node.isFocused();
                })
                .has_value();
        },
        10000, 50));

    ChildProcess orvanta;
    ASSERT_TRUE(orvanta.start(QStringLiteral(ORVANTA_BINARY), {u"dictate"_s}));
    Output said{orvanta, {}};
    ASSERT_TRUE(waitUntil([&] { return said.has(u"Orvanta is listening"_s); }, 20000))
        << said.lines.join('\n'_L1).toStdString();
    // The instance holds its bus name by the time it greets; a refused toggle is tried again meanwhile.
    ASSERT_TRUE(waitUntil([&] { return toggle() == 0; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return said.has(u"Listening"_s) || said.has(u"Recording"_s); }, 10000))
        << said.lines.join('\n'_L1).toStdString();
    test::Speaker speaker(speech);
    waitUntil([&] { return speaker.done(); }, 30000);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(toggle(), 0);
    ASSERT_TRUE(waitUntil([&] { return said.has(u"Inserted into"_s); }, 30000))
        << said.lines.join('\n'_L1).toStdString();
    const qint64 elapsed = clock.elapsed();
    EXPECT_TRUE(waitUntil([&] { return field.text().contains("hello world"_L1, Qt::CaseInsensitive); }, 3000))
        << field.text().toStdString();
    std::printf("[measure] %s %s orvanta toggle → “%s”: toggle to Inserted in %lld ms\n",
                qPrintable(qEnvironmentVariable("ORVANTA_TEST_WAYLAND")), GetParam().name, qPrintable(field.text()),
                static_cast<long long>(elapsed));
}

INSTANTIATE_TEST_SUITE_P(NativeFields,
                         WaylandToggleEndToEnd,
                         ::testing::Values(Field{"Gtk3", ORVANTA_GTK_FIELD},
                                           Field{"Gtk4", ORVANTA_GTK4_FIELD},
                                           Field{"Qt6", ORVANTA_QT_FIELD}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
