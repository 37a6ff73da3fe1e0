#include "parse/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ini {
namespace {

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

} // namespace
} // namespace ini
