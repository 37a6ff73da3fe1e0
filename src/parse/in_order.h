#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

namespace ini {

// Runs `work(item, helper)` for every item from 0 to `count` - 1 on the caller's thread and up
// to `helpers` threads more, and hands each result to `take(item, result)` on the caller's
// thread in the order of the items, each as soon as it and those before it are done. `helper`
// tells who runs the work (0 for the caller, 1 up for the threads), so that each can keep what
// it reuses from one item to the next; there are helpers + 1 of them.
//
// At most `ahead` results wait to be taken at a time, so memory stays bounded however many
// items there are. While the next result is not done, the caller starts items itself, so where
// no thread can be had the work runs on the caller's thread alone, one item after another.
// `take` returns false to stop: no new item is started, and those under way are waited for.
// An exception from `work` (on whichever thread) or `take` stops the run the same way and is
// thrown again from RunInOrder on the caller's thread once every helper is done.
namespace detail {

// The shared state of one RunInOrder: who does which item, and the results waiting their turn.
template <typename Result, typename Work, typename Take> class InOrderRun {
public:
    InOrderRun(std::size_t count, std::size_t ahead, Work& work, Take& take)
        : m_count(count), m_ahead(ahead == 0 ? 1 : ahead), m_waiting(m_ahead), m_work(work),
          m_take(take) {}

    // A helper thread's loop: it starts items while there is room ahead of the caller.
    void Help(std::size_t helper) {
        std::unique_lock lock(m_mutex);
        while (!m_stopped) {
            if (MayStart()) {
                RunNext(lock, helper);
                if (m_callerSleeps)
                    m_changed.notify_all();
            } else if (m_started >= m_count) {
                return;
            } else {
                ++m_helpersSleeping;
                m_changed.wait(lock);
                --m_helpersSleeping;
            }
        }
    }

    // The caller takes what is done and, while the next result is not, starts items itself.
    void TakeAll() {
        for (std::unique_lock lock(m_mutex); m_taken < m_count && !m_stopped;) {
            std::optional<Result>& next = m_waiting[m_taken % m_ahead];
            if (!next) {
                if (MayStart()) {
                    RunNext(lock, 0);
                } else {
                    m_callerSleeps = true;
                    m_changed.wait(lock);
                    m_callerSleeps = false;
                }
                continue;
            }
            Result result = std::move(*next);
            next.reset();
            ++m_taken;
            if (m_helpersSleeping > 0)
                m_changed.notify_all(); // room for one more
            lock.unlock();
            const bool goOn = m_take(m_taken - 1, std::move(result));
            lock.lock();
            m_stopped = !goOn;
        }
    }

    void Stop() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

    // Stops the run for what `work` or `take` threw, which the first of them keeps.
    void Fail(std::exception_ptr failure) {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_failure)
                m_failure = std::move(failure);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

    // Once every helper is done: throws what stopped the run, if anything did.
    void ThrowFailure() {
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    bool MayStart() const noexcept { return m_started < m_count && m_started < m_taken + m_ahead; }
    // Runs the next item and puts its result in its slot; the lock is held before and after.
    void RunNext(std::unique_lock<std::mutex>& lock, std::size_t helper) {
        const std::size_t item = m_started++;
        lock.unlock();
        std::optional<Result> result;
        try {
            result.emplace(m_work(item, helper));
        } catch (...) {
            Fail(std::current_exception()); // its slot stays empty: the run ends before it
        }
        lock.lock();
        if (result)
            m_waiting[item % m_ahead].emplace(std::move(*result));
    }

    const std::size_t m_count;
    const std::size_t m_ahead;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::optional<Result>> m_waiting; // item i waits in slot i % ahead
    std::size_t m_started = 0;                    // items given to someone
    std::size_t m_taken = 0;                      // items handed to take
    bool m_stopped = false;
    std::exception_ptr m_failure;
    // Who sleeps: wakes are sent only to those, since a wake costs more than a small item.
    bool m_callerSleeps = false;
    std::size_t m_helpersSleeping = 0;
    Work& m_work;
    Take& m_take;
};

} // namespace detail

template <typename Result, typename Work, typename Take>
void RunInOrder(std::size_t count, std::size_t helpers, std::size_t ahead, Work&& work,
                Take&& take) {
    detail::InOrderRun<Result, std::remove_reference_t<Work>, std::remove_reference_t<Take>> run(
        count, ahead, work, take);
    std::vector<std::thread> threads;
    threads.reserve(std::min(helpers, count));
    for (std::size_t helper = 1; helper <= helpers && helper < count; ++helper) {
        try {
            threads.emplace_back([&run, helper] { run.Help(helper); });
        } catch (const std::exception&) {
            break; // no thread (or no memory for one): the caller does more itself
        }
    }
    try {
        run.TakeAll();
    } catch (...) {
        run.Fail(std::current_exception());
    }
    run.Stop();
    for (std::thread& thread : threads)
        thread.join();
    run.ThrowFailure();
}

} // namespace ini
