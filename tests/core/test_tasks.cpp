#include "base/Task.h"
#include "tests/support/VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace std::chrono_literals;

namespace {

// The answer once the delay has passed, -1 when cancelled before.
Task<int> sleepThenAnswer(Scheduler &scheduler, Duration delay, int answer)
{
    co_return co_await sleepFor(scheduler, delay) ? answer : -1;
}

Task<int> parentAwaitingChild(Scheduler &scheduler, bool *cancelled)
{
    const int value = co_await sleepThenAnswer(scheduler, 2s, 7);
    *cancelled = (co_await currentCancellation())->isCancelled();
    co_return value;
}

// Counts the end of the frame it lives in, so a test tells a freed frame from a leaked one.
struct FrameEnd
{
    int *ends;
    ~FrameEnd() { ++*ends; }
};

Task<int> waitForAnswer(AsyncValue<int> answer, int *ends, std::vector<std::string> *trace)
{
    const FrameEnd end{ends};
    const int value = co_await answer;
    trace->push_back("child resumed");
    co_return value;
}

Task<> awaitChild(Task<int> child, int *ends, std::vector<std::string> *trace)
{
    const FrameEnd end{ends};
    (void)co_await child;
    trace->push_back("parent resumed");
}

Task<> sleepForever(Scheduler &scheduler, int *ends, std::vector<std::string> *trace)
{
    const FrameEnd end{ends};
    (void)co_await sleepFor(scheduler, 1s);
    trace->push_back("sleeper resumed");
}

} // namespace

TEST(Tasks, sleepsFinishInVirtualTimeAndACancelledOneResumesAtTheNextTurnNotInsideCancel)
{
    test::VirtualScheduler scheduler;
    auto slept = sleepThenAnswer(scheduler, 600s, 42);
    scheduler.advanceSeconds(599.9);
    EXPECT_FALSE(slept.isDone());
    scheduler.advanceSeconds(0.1);
    ASSERT_TRUE(slept.isDone());
    EXPECT_EQ(slept.result(), 42);

    auto task = sleepThenAnswer(scheduler, 25s, 1);
    scheduler.advanceSeconds(1);
    task.cancel();
    EXPECT_FALSE(task.isDone()) << "cancel() must not run the task body re-entrantly";
    scheduler.runPending();
    ASSERT_TRUE(task.isDone());
    EXPECT_EQ(task.result(), -1);
    EXPECT_EQ(scheduler.pendingTimers(), 0u) << "the cancelled sleep must release its timer";
}

TEST(Tasks, awaitedChildSharesTheParentsCancellationButUnlinkedWaitsDoNot)
{
    test::VirtualScheduler scheduler;
    bool cancelled = false;
    auto parent = parentAwaitingChild(scheduler, &cancelled);
    parent.cancel();
    scheduler.runPending();
    ASSERT_TRUE(parent.isDone());
    EXPECT_EQ(parent.result(), -1);
    EXPECT_TRUE(cancelled);

    auto independent = sleepThenAnswer(scheduler, 1s, 5);
    auto waiter = [](Task<int> other) -> Task<int> { co_return co_await other.waitUnlinked(); }(independent);
    waiter.cancel();
    scheduler.advanceSeconds(1);
    ASSERT_TRUE(waiter.isDone());
    EXPECT_EQ(waiter.result(), 5);
}

TEST(Tasks, aDroppedHandleKeepsTheTaskRunningAndAsyncValuesWakeEveryWaiter)
{
    test::VirtualScheduler scheduler;
    AsyncValue<bool> answer;
    int finished = 0;
    auto waitFor = [](AsyncValue<bool> value, int *count) -> Task<> {
        if (co_await value)
            ++*count;
    };
    {
        auto dropped = waitFor(answer, &finished);
    }
    auto kept = waitFor(answer, &finished);
    EXPECT_EQ(finished, 0);
    answer.resolve(true);
    answer.resolve(false); // ignored: the first answer wins
    EXPECT_EQ(finished, 2);
    EXPECT_TRUE(kept.isDone());
}

TEST(Scheduler, repeatingTimerFiresEveryPeriodAndStopsWhenDestroyedAlsoByItsOwnCallback)
{
    test::VirtualScheduler scheduler;
    int ticks = 0;
    auto timer = std::make_unique<RepeatingTimer>(scheduler, 200ms, [&] { ++ticks; });
    scheduler.advanceSeconds(1.0);
    EXPECT_EQ(ticks, 5);
    timer.reset();
    scheduler.advanceSeconds(1.0);
    EXPECT_EQ(ticks, 5);
    EXPECT_EQ(scheduler.pendingTimers(), 0u);

    timer = std::make_unique<RepeatingTimer>(scheduler, 200ms, [&] {
        if (++ticks == 8)
            timer.reset();
    });
    scheduler.advanceSeconds(2.0);
    EXPECT_EQ(ticks, 8);
    EXPECT_EQ(scheduler.pendingTimers(), 0u);
}

TEST(Tasks, aWaitThatCanNoLongerEndFreesItsTaskAndEveryAwaiterWithoutRunningMoreOfThem)
{
    int ends = 0;
    std::vector<std::string> trace;
    AsyncValue<int> answer;
    auto child = waitForAnswer(answer, &ends, &trace);
    auto parent = awaitChild(child, &ends, &trace);
    answer.abandon();
    EXPECT_EQ(ends, 2) << "the child and the parent awaiting it are both freed";
    EXPECT_TRUE(trace.empty()) << "nothing after their suspensions ran";
    EXPECT_FALSE(parent.isDone());
    answer.resolve(1); // too late: the source is gone
    auto late = awaitChild(child, &ends, &trace);
    auto lateAnswer = waitForAnswer(answer, &ends, &trace);
    EXPECT_EQ(ends, 4) << "awaiting what was abandoned ends at once";

    AsyncValue<int> resolved;
    resolved.resolve(3);
    resolved.abandon(); // an answer that came stays
    auto fine = waitForAnswer(resolved, &ends, &trace);
    ASSERT_TRUE(fine.isDone());
    EXPECT_EQ(fine.result(), 3);

    trace.clear();
    ends = 0;
    {
        test::VirtualScheduler scheduler;
        auto sleeping = sleepForever(scheduler, &ends, &trace);
        auto cancelled = sleepForever(scheduler, &ends, &trace);
        auto woken = sleepForever(scheduler, &ends, &trace);
        cancelled.cancel(); // its timer goes, its wake-up is posted: not abandoned
        EXPECT_EQ(ends, 0);
        scheduler.runPending();
        EXPECT_EQ(ends, 1);
        woken.cancel(); // the scheduler goes before the posted wake-up runs
    }
    EXPECT_EQ(ends, 3) << "sleeps their scheduler dropped end their tasks";
    EXPECT_EQ(trace, std::vector<std::string>{"sleeper resumed"});
}
