#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace ini {

// Where a Worker's work runs. `Inline` is what a machine that refuses a new thread gets; tests
// ask for it to run that path on purpose.
enum class Threading { OwnThread, Inline };

// Work that leaves the caller's thread: on a thread of its own when one can be had, and on the
// caller's otherwise, so that a machine out of threads is slower, never stuck.
//
// Two shapes of work:
// - Run(work): one job. Without a thread it runs at once, before Run returns. Run throws
//   std::bad_alloc when there is no memory to set the job up; making a Worker takes none.
// - Repeat(step): a producer that calls step() until it returns false. Without a thread nothing
//   runs by itself: whoever would wait for the producer calls StepInline() instead, which runs
//   one step on its own thread.
// Either way the work has ended once Wait() returns or the Worker is destroyed; a job that must
// be stopped early has to be told so first (a flag it checks).
class Worker {
public:
    explicit Worker(Threading threading = Threading::OwnThread) noexcept : m_threading(threading) {}
    ~Worker() { Wait(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    template <typename Work> void Run(Work&& work) {
        Wait();
        m_job = std::forward<Work>(work);
        m_finished.emplace();
        m_done = m_finished->get_future();
        const auto job = [this] {
            m_job();
            m_finished->set_value();
        };
        if (!Start(job))
            job(); // inline: the job runs here, now
    }

    template <typename Step> void Repeat(Step&& step) {
        Wait();
        m_step = std::forward<Step>(step);
        if (!Start([this] {
                while (m_step()) {
                }
            }))
            m_inlineSteps = true;
    }

    // Whether the work runs on a thread of its own.
    bool OnThread() const noexcept { return m_thread.joinable(); }

    // For Repeat without a thread: runs one step here; false when there is nothing to run (the
    // work has a thread, or its last step said it was done).
    bool StepInline() {
        if (!m_inlineSteps)
            return false;
        m_inlineSteps = m_step();
        return true;
    }

    // For Run: waits up to `limit` for the job to end; true once it has.
    bool WaitFor(std::chrono::milliseconds limit) const {
        return !m_done.valid() || m_done.wait_for(limit) == std::future_status::ready;
    }

    // Waits for the work's thread to end. A job hands its result, failures included, back through
    // what it captured: an exception that leaves a job on its own thread ends the program.
    void Wait() {
        if (m_thread.joinable())
            m_thread.join();
        m_inlineSteps = false;
    }

private:
    // Starts `body` on a new thread; false when none can be had (or none is wanted).
    template <typename Body> bool Start(const Body& body) {
        if (m_threading == Threading::Inline)
            return false;
        try {
            m_thread = std::thread(body);
            return true;
        } catch (const std::exception&) {
            return false; // refused by the system, or no memory for one
        }
    }

    Threading m_threading;
    std::thread m_thread;
    std::function<void()> m_job;
    // Made by Run, not here: a promise takes memory, and a Worker is made without failing even
    // when there is none left.
    std::optional<std::promise<void>> m_finished;
    std::future<void> m_done;
    std::function<bool()> m_step;
    bool m_inlineSteps = false;
};

// The turns of two sides that pass a few slots round, one filling slot after slot, the other
// emptying them in the same order: turn t uses slot t % slots. Waits block; they do not spin.
class SlotTurns {
public:
    explicit SlotTurns(std::size_t slots) noexcept : m_slots(slots) {}

    // Filling side: waits until turn `turn`'s slot has been emptied (or the filler was released).
    void WaitToFill(std::size_t turn) const noexcept {
        if (turn >= m_slots)
            WaitForAtLeast(m_emptied, turn + 1 - m_slots);
    }
    // Filling side: the turns before `turns` are filled.
    void Filled(std::size_t turns) noexcept {
        m_filled.store(turns, std::memory_order_release);
        m_filled.notify_all();
    }
    // Emptying side: whether turn `turn` has been filled (or the emptier was released).
    bool IsFilled(std::size_t turn) const noexcept {
        return turn < m_filled.load(std::memory_order_acquire);
    }
    // Emptying side: waits until turn `turn` has been filled.
    void WaitFilled(std::size_t turn) const noexcept { WaitForAtLeast(m_filled, turn + 1); }
    // Emptying side: the turns before `turns` are emptied; their slots can be filled again.
    void Emptied(std::size_t turns) noexcept {
        m_emptied.store(turns, std::memory_order_release);
        m_emptied.notify_all();
    }
    // From now on no wait of the filling side waits, so that a filler can see it is to stop.
    void ReleaseFiller() noexcept { Emptied(SIZE_MAX / 2); }
    // From now on no wait of the emptying side waits.
    void ReleaseEmptier() noexcept { Filled(SIZE_MAX / 2); }

private:
    static void WaitForAtLeast(const std::atomic<std::size_t>& count, std::size_t least) noexcept {
        for (std::size_t now = count.load(std::memory_order_acquire); now < least;
             now = count.load(std::memory_order_acquire))
            count.wait(now, std::memory_order_acquire);
    }

    const std::size_t m_slots;
    std::atomic<std::size_t> m_filled{0};
    std::atomic<std::size_t> m_emptied{0};
};

} // namespace ini
