#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
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
// Neither `work` nor `take` may throw.
template <typename Result, typename Work, typename Take>
void RunInOrder(std::size_t count, std::size_t helpers, std::size_t ahead, Work&& work,
                Take&& take) {
    ahead = ahead == 0 ? 1 : ahead;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<Result>> waiting(ahead); // item i waits in slot i % ahead
    std::size_t started = 0;                           // items given to someone
    std::size_t taken = 0;                             // items handed to take
    bool stopped = false;
    // Who sleeps: wakes are sent only to those, since a wake costs more than a small item.
    bool callerSleeps = false;
    std::size_t helpersSleeping = 0;

    const auto mayStart = [&] { return started < count && started < taken + ahead; };
    // Runs the next item and puts its result in its slot; the lock is held before and after.
    const auto runNext = [&](std::unique_lock<std::mutex>& lock, std::size_t helper) {
        const std::size_t item = started++;
        lock.unlock();
        Result result = work(item, helper);
        lock.lock();
        waiting[item % ahead].emplace(std::move(result));
    };
    const auto help = [&](std::size_t helper) {
        std::unique_lock lock(mutex);
        while (!stopped) {
            if (mayStart()) {
                runNext(lock, helper);
                if (callerSleeps)
                    changed.notify_all();
            } else if (started >= count) {
                return;
            } else {
                ++helpersSleeping;
                changed.wait(lock);
                --helpersSleeping;
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t helper = 1; helper <= helpers && helper < count; ++helper) {
        try {
            threads.emplace_back(help, helper);
        } catch (const std::system_error&) {
            break; // fewer threads: the caller does more itself
        }
    }

    // The caller takes what is done and, while the next result is not, starts items itself.
    for (std::unique_lock lock(mutex); taken < count && !stopped;) {
        std::optional<Result>& next = waiting[taken % ahead];
        if (!next) {
            if (mayStart()) {
                runNext(lock, 0);
            } else {
                callerSleeps = true;
                changed.wait(lock);
                callerSleeps = false;
            }
            continue;
        }
        Result result = std::move(*next);
        next.reset();
        ++taken;
        if (helpersSleeping > 0)
            changed.notify_all(); // room for one more
        lock.unlock();
        const bool goOn = take(taken - 1, std::move(result));
        lock.lock();
        stopped = !goOn;
    }
    {
        const std::lock_guard lock(mutex);
        stopped = true;
    }
    changed.notify_all();
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace ini
