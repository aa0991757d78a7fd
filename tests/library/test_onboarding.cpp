#include "library/OnboardingState.h"
#include "library/SettingsKeyValueStore.h"
#include "tests/support/InMemoryKeyValueStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace Qt::StringLiterals;
using Step = OnboardingState::Step;

// A state kept within the steps is resumed (below, across launches); one outside them starts again.
TEST(Onboarding, storedValuesOutsideTheStepsReadAsWelcome)
{
    for (qint64 raw : {qint64(-1), qint64(0), qint64(3), qint64(7)}) {
        test::InMemoryKeyValueStore store;
        store.values.insert(OnboardingState::stepKey, raw);
        EXPECT_EQ(OnboardingState(store).step(), Step::welcome) << raw;
    }
}

TEST(Onboarding, advanceWalksThePagesWritingBothKeysStepFirst)
{
    test::InMemoryKeyValueStore store;
    OnboardingState state(store);
    EXPECT_EQ(state.step(), Step::welcome);
    EXPECT_FALSE(state.isComplete());
    state.goBack();
    EXPECT_TRUE(store.writes.isEmpty()) << "reading and going back from welcome write nothing";

    state.advance(false);
    EXPECT_EQ(state.step(), Step::permissions);
    EXPECT_EQ(store.writes, (QStringList{u"orvanta.onboarding.step=1"_s, u"orvanta.onboarding.complete=false"_s}));

    store.writes.clear();
    state.advance(false);
    EXPECT_EQ(state.step(), Step::permissions);
    EXPECT_TRUE(store.writes.isEmpty()) << "not ready: nothing changes and nothing is written";

    state.advance(true);
    state.goBack();
    EXPECT_EQ(state.step(), Step::permissions);
    state.advance(true);
    EXPECT_EQ(state.step(), Step::shortcut);
    state.advance(false);
    EXPECT_TRUE(state.isComplete());
    EXPECT_EQ(store.values.value(OnboardingState::stepKey).toLongLong(), 2);
    EXPECT_EQ(store.values.value(OnboardingState::completeKey).toBool(), true);

    store.writes.clear();
    state.advance(true);
    state.goBack();
    EXPECT_TRUE(store.writes.isEmpty()) << "a completed flow ignores advance and back";

    state.reset();
    EXPECT_EQ(state.step(), Step::welcome);
    EXPECT_FALSE(state.isComplete());
    EXPECT_EQ(store.writes, (QStringList{u"orvanta.onboarding.step=0"_s, u"orvanta.onboarding.complete=false"_s}));
}

TEST(Onboarding, settingsFileKeepsTheStateAcrossLaunches)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"orvanta/orvanta.conf"_s);
    {
        SettingsKeyValueStore settings(path);
        OnboardingState state(settings);
        state.advance(false);
        state.advance(true);
        state.complete(); // keeps the step
    }
    SettingsKeyValueStore settings(path);
    EXPECT_EQ(settings.integer(u"orvanta.missing"_s), std::nullopt);
    OnboardingState state(settings);
    EXPECT_EQ(state.step(), Step::shortcut);
    EXPECT_TRUE(state.isComplete());
}
