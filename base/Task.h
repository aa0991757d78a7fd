#pragma once

#include "base/Scheduler.h"

#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

// Asynchronous steps of the application are C++20 coroutines that run on the main thread. A Task starts
// at once (like a Swift Task) and runs until its first suspension; it is awaitable, cancellable, and
// keeps running when its handle is dropped. Cancellation is cooperative: a body reads it after each
// suspension with `co_await currentCancellation()`. Awaiting a Task from inside another Task is a plain
// call: the child shares the caller's cancellation. `waitUnlinked()` waits without that link.
//
// A wait that can no longer end (its AsyncValue abandoned, the scheduler that was to resume a sleep gone)
// ends its task without resuming it: the frame is freed, its locals destroyed, no more of its body runs,
// and whoever awaited that task ends the same way. So tasks never outlive what they wait for as leaks.
namespace orv {

class CancellationState
{
public:
    using CallbackId = std::uint64_t;

    bool isCancelled() const { return m_cancelled; }
    void cancel();
    // Registers fn for the moment of cancellation; returns 0 (and never calls fn) when already cancelled.
    CallbackId onCancel(std::function<void()> fn);
    void removeCallback(CallbackId id);

private:
    bool m_cancelled = false;
    CallbackId m_nextId = 1;
    std::vector<std::pair<CallbackId, std::function<void()>>> m_callbacks;
};

using CancelToken = std::shared_ptr<CancellationState>;

inline void CancellationState::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    auto callbacks = std::move(m_callbacks);
    m_callbacks.clear();
    for (auto &entry : callbacks)
        entry.second();
}

inline CancellationState::CallbackId CancellationState::onCancel(std::function<void()> fn)
{
    if (m_cancelled)
        return 0;
    const CallbackId id = m_nextId++;
    m_callbacks.emplace_back(id, std::move(fn));
    return id;
}

inline void CancellationState::removeCallback(CallbackId id)
{
    std::erase_if(m_callbacks, [id](const auto &entry) { return entry.first == id; });
}

// Awaitables that take part in cancellation expose bindCancellation(); the task binds its token.
template <typename A>
concept CancellationAware = requires(A &a, const CancelToken &token)
{
    a.bindCancellation(token);
};

struct CurrentCancellation
{
};
// `CancelToken token = co_await currentCancellation();` inside a Task body.
inline CurrentCancellation currentCancellation()
{
    return {};
}

template <typename T>
class Task;

namespace detail {

// Ends suspended coroutines that can never be resumed. Each is in exactly one list of waiters, so
// destroying it there is its only end; its promise then ends whoever awaited it.
inline void destroyAll(std::vector<std::coroutine_handle<>> waiters)
{
    for (auto waiter : waiters)
        waiter.destroy();
}

struct TaskStateBase
{
    bool done = false;
    bool abandoned = false;
    std::vector<std::coroutine_handle<>> waiters;
    CancelToken token = std::make_shared<CancellationState>();

    void complete()
    {
        done = true;
        auto pending = std::move(waiters);
        waiters.clear();
        for (auto waiter : pending)
            waiter.resume();
    }
    // The task's frame went without finishing: nobody waiting for it can go on.
    void abandon()
    {
        abandoned = true;
        auto pending = std::move(waiters);
        waiters.clear();
        destroyAll(std::move(pending));
    }
};

template <typename T>
struct TaskState : TaskStateBase
{
    std::optional<T> result;
};

template <>
struct TaskState<void> : TaskStateBase
{
};

template <typename T>
struct WaitAwaiter
{
    std::shared_ptr<TaskState<T>> state;
    CancellationState::CallbackId link = 0;
    CancelToken parent;

    bool await_ready() const noexcept { return state->done; }
    void await_suspend(std::coroutine_handle<> h)
    {
        if (state->abandoned) {
            h.destroy(); // this awaiter lived in that frame: nothing of it may be touched now
            return;
        }
        state->waiters.push_back(h);
        if (parent) {
            auto child = state->token;
            link = parent->onCancel([child] { child->cancel(); });
            if (!link && parent->isCancelled())
                child->cancel();
        }
    }
    T await_resume()
    {
        if (parent && link)
            parent->removeCallback(link);
        if constexpr (!std::is_void_v<T>)
            return *state->result;
    }
};

template <typename T>
struct UnlinkedWait
{
    std::shared_ptr<TaskState<T>> state;
};

template <typename A>
struct IsUnlinkedWait : std::false_type
{
};
template <typename U>
struct IsUnlinkedWait<UnlinkedWait<U>> : std::true_type
{
};

template <typename T>
struct PromiseBase
{
    std::shared_ptr<TaskState<T>> state = std::make_shared<TaskState<T>>();
    bool finished = false;

    PromiseBase() = default;
    PromiseBase(const PromiseBase &) = delete;
    PromiseBase &operator=(const PromiseBase &) = delete;
    ~PromiseBase()
    {
        if (!finished)
            state->abandon();
    }

    std::suspend_never initial_suspend() noexcept { return {}; }

    struct FinalAwaiter
    {
        bool await_ready() noexcept { return false; }
        template <typename P>
        void await_suspend(std::coroutine_handle<P> h) noexcept
        {
            auto keep = h.promise().state;
            h.promise().finished = true;
            h.destroy(); // the frame goes first; waiters may drop the last handle
            keep->complete();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { std::terminate(); }

    template <typename U>
    WaitAwaiter<U> await_transform(Task<U> &task);
    template <typename U>
    WaitAwaiter<U> await_transform(Task<U> &&task);
    template <typename U>
    WaitAwaiter<U> await_transform(UnlinkedWait<U> wait)
    {
        return WaitAwaiter<U>{std::move(wait.state), 0, nullptr};
    }
    auto await_transform(CurrentCancellation)
    {
        struct Awaiter
        {
            CancelToken token;
            bool await_ready() const noexcept { return true; }
            void await_suspend(std::coroutine_handle<>) noexcept {}
            CancelToken await_resume() const noexcept { return token; }
        };
        return Awaiter{state->token};
    }
    template <typename A>
    requires(!IsUnlinkedWait<std::remove_cvref_t<A>>::value) A && await_transform(A &&awaitable)
    {
        if constexpr (CancellationAware<std::remove_reference_t<A>>)
            awaitable.bindCancellation(state->token);
        return std::forward<A>(awaitable);
    }
};

} // namespace detail

template <typename T = void>
class [[nodiscard]] Task
{
public:
    struct promise_type;

    Task() = default;

    bool isValid() const { return m_state != nullptr; }
    bool isDone() const { return m_state && m_state->done; }
    bool isCancelled() const { return m_state && m_state->token->isCancelled(); }
    void cancel() const
    {
        if (m_state)
            m_state->token->cancel();
    }
    // The result of a finished task (not for Task<void>).
    template <typename U = T>
    requires(!std::is_void_v<U>) const U &result() const { return *m_state->result; }
    // Awaits completion without sharing the awaiting task's cancellation.
    detail::UnlinkedWait<T> waitUnlinked() const { return {m_state}; }

private:
    template <typename>
    friend struct detail::PromiseBase;
    explicit Task(std::shared_ptr<detail::TaskState<T>> state) : m_state(std::move(state)) {}

    std::shared_ptr<detail::TaskState<T>> m_state;
};

template <typename T>
struct Task<T>::promise_type : detail::PromiseBase<T>
{
    Task get_return_object() { return Task(this->state); }
    template <typename V>
    void return_value(V &&value)
    {
        this->state->result.emplace(std::forward<V>(value));
    }
};

template <>
struct Task<void>::promise_type : detail::PromiseBase<void>
{
    Task get_return_object() { return Task(this->state); }
    void return_void() {}
};

namespace detail {
template <typename T>
template <typename U>
WaitAwaiter<U> PromiseBase<T>::await_transform(Task<U> &task)
{
    return WaitAwaiter<U>{task.m_state, 0, state->token};
}
template <typename T>
template <typename U>
WaitAwaiter<U> PromiseBase<T>::await_transform(Task<U> &&task)
{
    return WaitAwaiter<U>{task.m_state, 0, state->token};
}
} // namespace detail

// A one-shot value delivered later on the main thread (a platform answer, a reply); any number of
// tasks may await it. Like a continuation it does not end early on cancellation.
template <typename T>
class AsyncValue
{
public:
    AsyncValue() : m_state(std::make_shared<State>()) {}

    // The first value wins; later ones are ignored.
    void resolve(T value) const
    {
        if (m_state->value || m_state->abandoned)
            return;
        m_state->value.emplace(std::move(value));
        auto pending = std::move(m_state->waiters);
        m_state->waiters.clear();
        for (auto waiter : pending)
            waiter.resume();
    }
    // No value will ever come (its source went away): the tasks waiting for it end without resuming, and so
    // does any task that awaits it later. A resolved value stays.
    void abandon() const
    {
        if (m_state->value || m_state->abandoned)
            return;
        m_state->abandoned = true;
        auto pending = std::move(m_state->waiters);
        m_state->waiters.clear();
        detail::destroyAll(std::move(pending));
    }
    bool isResolved() const { return m_state->value.has_value(); }
    const T &value() const { return *m_state->value; }

    auto operator co_await() const
    {
        struct Awaiter
        {
            std::shared_ptr<State> state;
            bool await_ready() const noexcept { return state->value.has_value(); }
            void await_suspend(std::coroutine_handle<> h)
            {
                if (state->abandoned)
                    h.destroy(); // this awaiter lived in that frame
                else
                    state->waiters.push_back(h);
            }
            T await_resume() const { return *state->value; }
        };
        return Awaiter{m_state};
    }

private:
    struct State
    {
        std::optional<T> value;
        bool abandoned = false;
        std::vector<std::coroutine_handle<>> waiters;
    };
    std::shared_ptr<State> m_state;
};

// `bool slept = co_await sleepFor(scheduler, 100ms);` false when the task was cancelled before or
// during the sleep; a cancellation resumes the task at the next turn of the loop, not inside cancel().
// A sleep whose scheduler drops it unrun (the scheduler went first) ends its task without resuming it.
class SleepFor
{
public:
    SleepFor(Scheduler &scheduler, Duration duration) : m_scheduler(scheduler), m_duration(duration) {}

    void bindCancellation(const CancelToken &token) { m_token = token; }

    bool await_ready() const noexcept { return m_token && m_token->isCancelled(); }
    void await_suspend(std::coroutine_handle<> h)
    {
        auto pending = std::make_shared<Pending>();
        pending->handle = h;
        m_pending = pending;
        // Only the scheduler's callbacks hold the wake-up: when the last of them goes unrun, so does the task.
        auto wake = std::make_shared<Wake>(pending);
        pending->timer = m_scheduler.schedule(m_duration, [wake] { wake->finish(true); });
        if (m_token) {
            Scheduler *scheduler = &m_scheduler;
            pending->token = m_token;
            pending->link = m_token->onCancel([weak = std::weak_ptr<Wake>(wake), scheduler] {
                auto wake = weak.lock();
                if (!wake)
                    return;
                scheduler->post([wake] { wake->finish(false); });
                scheduler->cancel(wake->pending->timer);
            });
        }
    }
    bool await_resume() const noexcept { return m_pending ? m_pending->slept : false; }

private:
    struct Pending
    {
        std::coroutine_handle<> handle;
        Scheduler::TimerId timer = 0;
        CancelToken token;
        CancellationState::CallbackId link = 0;
        bool slept = false;
        bool finished = false;

        // Returns the handle to resume, once.
        std::coroutine_handle<> end(bool completed)
        {
            if (finished)
                return {};
            finished = true;
            slept = completed;
            if (token && link)
                token->removeCallback(link);
            token.reset();
            return handle;
        }
    };
    struct Wake
    {
        explicit Wake(std::shared_ptr<Pending> p) : pending(std::move(p)) {}
        Wake(const Wake &) = delete;
        Wake &operator=(const Wake &) = delete;
        ~Wake()
        {
            if (auto handle = pending->end(false))
                handle.destroy();
        }
        void finish(bool completed)
        {
            if (auto handle = pending->end(completed))
                handle.resume();
        }
        std::shared_ptr<Pending> pending;
    };

    Scheduler &m_scheduler;
    Duration m_duration;
    CancelToken m_token;
    std::shared_ptr<Pending> m_pending;
};

inline SleepFor sleepFor(Scheduler &scheduler, Duration duration)
{
    return SleepFor(scheduler, duration);
}

} // namespace orv
