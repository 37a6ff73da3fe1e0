#include "parse/in_order.h"
#include "parse/worker.h"
#include "support/address_space.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <malloc.h>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace ini {
namespace {

using namespace std::chrono_literals;

// A job runs to its end whether or not it gets a thread; without one it has run before Run
// returns, on the caller's thread.
TEST(Worker, RunsAJobOnItsOwnThreadOrInline) {
    for (const Threading threading : {Threading::OwnThread, Threading::Inline}) {
        Worker worker(threading);
        std::thread::id ranOn;
        worker.Run([&] { ranOn = std::this_thread::get_id(); });
        if (threading == Threading::Inline) {
            EXPECT_FALSE(worker.OnThread());
            EXPECT_EQ(ranOn, std::this_thread::get_id());
        }
        while (!worker.WaitFor(std::chrono::milliseconds(10))) {
        }
        worker.Wait();
        EXPECT_NE(ranOn, std::thread::id());
        EXPECT_EQ(ranOn == std::this_thread::get_id(), threading == Threading::Inline);
    }
}

// A producer's steps run by themselves on a thread; without one, each StepInline runs one, and
// says so until the producer is done.
TEST(Worker, RepeatsStepsOnItsThreadOrOneAtATimeForWhoeverWaits) {
    std::atomic<int> steps{0};
    const auto step = [&] { return ++steps < 3; };
    {
        Worker threaded;
        threaded.Repeat(step);
        threaded.Wait();
        EXPECT_EQ(steps, 3);
        EXPECT_FALSE(threaded.StepInline());
    }
    steps = 0;
    Worker inlined(Threading::Inline);
    inlined.Repeat(step);
    EXPECT_EQ(steps, 0);
    int calls = 0;
    while (inlined.StepInline())
        ++calls;
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(steps, 3);
}

// Readers and searches make their Worker while memory may be all but gone: making one must not
// end the program; a job that cannot be started for want of memory says so to the caller.
TEST(Worker, IsMadeWithoutMemoryAndRunSaysWhenThereIsNone) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs far more address space than the limit";
#else
    EXPECT_EQ(test::ExitOfChild([] {
                  ::mallopt(M_ARENA_MAX, 1);
                  if (!test::CapAndTakeHeap(std::size_t{1} << 20, 0))
                      return 3;
                  Worker worker;
                  try {
                      worker.Run([] {});
                  } catch (const std::bad_alloc&) {
                      return 0;
                  }
                  return 4;
              }),
              0);
#endif
}

// Items of uneven cost, done by the caller alone or with threads, come back in their order, each
// once; no more than `ahead` are ever started and not yet taken, besides the one being taken.
TEST(RunInOrder, HandsResultsOnInOrderWithBoundedLookahead) {
    for (const std::size_t helpers : {0u, 1u, 3u}) {
        constexpr std::size_t count = 500, ahead = 4;
        std::atomic<std::size_t> startedCount{0}, takenCount{0}, mostAhead{0};
        std::mutex lock;
        std::set<std::thread::id> workers;
        std::vector<std::size_t> taken;
        RunInOrder<std::size_t>(
            count, helpers, ahead,
            [&](std::size_t item, std::size_t helper) {
                EXPECT_LE(helper, helpers);
                const std::size_t now = ++startedCount - takenCount.load();
                for (std::size_t seen = mostAhead;
                     now > seen && !mostAhead.compare_exchange_weak(seen, now);) {
                }
                {
                    const std::lock_guard hold(lock);
                    workers.insert(std::this_thread::get_id());
                }
                volatile std::size_t spin = 0;
                for (std::size_t i = 0; i < (item * 7919) % 2000; ++i)
                    spin = spin + i;
                return item * 2;
            },
            [&](std::size_t item, std::size_t result) {
                EXPECT_EQ(result, item * 2);
                taken.push_back(item);
                ++takenCount;
                return true;
            });
        ASSERT_EQ(taken.size(), count) << helpers;
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(taken[i], i);
        EXPECT_LE(mostAhead.load(), ahead + 1);
        EXPECT_LE(workers.size(), helpers + 1);
    }
}

// A take that says stop: nothing after it is taken, and few items beyond it were started.
TEST(RunInOrder, StopsWhenTakeSaysSo) {
    std::atomic<std::size_t> started{0};
    std::vector<std::size_t> taken;
    RunInOrder<int>(
        1000, 2, 8,
        [&](std::size_t, std::size_t) {
            ++started;
            return 0;
        },
        [&](std::size_t item, int) {
            taken.push_back(item);
            return item < 10;
        });
    EXPECT_EQ(taken.size(), 11u);
    EXPECT_LE(started.load(), 11u + 8u);
}

// Work that throws, on a helper's thread or the caller's, or a take that throws: the run stops,
// every helper ends, and the caller gets the exception instead of the program ending.
TEST(RunInOrder, CarriesAnExceptionToTheCaller) {
    // Alone, the caller runs every item: the twentieth throws.
    std::size_t taken = 0;
    EXPECT_THROW(RunInOrder<int>(
                     1000, 0, 8,
                     [](std::size_t item, std::size_t) {
                         if (item == 20)
                             throw std::bad_alloc();
                         return 0;
                     },
                     [&](std::size_t, int) { return ++taken > 0; }),
                 std::bad_alloc);
    EXPECT_EQ(taken, 20u);
    // The caller's items wait until a helper has thrown, so a helper surely runs one.
    std::atomic<bool> thrown{false};
    EXPECT_THROW(RunInOrder<int>(
                     1000, 2, 8,
                     [&](std::size_t, std::size_t helper) {
                         if (helper != 0) {
                             thrown = true;
                             throw std::bad_alloc();
                         }
                         const auto deadline = std::chrono::steady_clock::now() + 60s;
                         while (!thrown && std::chrono::steady_clock::now() < deadline)
                             std::this_thread::yield();
                         return 0;
                     },
                     [](std::size_t, int) { return true; }),
                 std::bad_alloc);
    EXPECT_TRUE(thrown);
    taken = 0;
    EXPECT_THROW(RunInOrder<int>(
                     100, 2, 8, [](std::size_t, std::size_t) { return 0; },
                     [&](std::size_t item, int) {
                         if (item == 5)
                             throw std::runtime_error("take");
                         return ++taken > 0;
                     }),
                 std::runtime_error);
    EXPECT_EQ(taken, 5u);
}

} // namespace
} // namespace ini
