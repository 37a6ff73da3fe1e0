#pragma once

#include <atomic>
#include <cstddef>

namespace ini {

// The turns of two threads that pass a few slots round: one fills slot after slot, the other
// empties them in the same order. Turn t uses slot t % slots. Waits block (they do not spin):
// the side that waits usually has a whole slot's time to spare.
class SlotTurns {
public:
    explicit SlotTurns(std::size_t slots) noexcept : m_slots(slots) {}

    // Filling side: waits until turn `turn`'s slot has been emptied (or the turns were ended).
    void WaitToFill(std::size_t turn) const noexcept {
        for (std::size_t emptied = m_emptied.load(std::memory_order_acquire);
             turn >= emptied + m_slots; emptied = m_emptied.load(std::memory_order_acquire))
            m_emptied.wait(emptied, std::memory_order_acquire);
    }
    // Filling side: turns before `turns` are filled.
    void Filled(std::size_t turns) noexcept {
        m_filled.store(turns, std::memory_order_release);
        m_filled.notify_all();
    }
    // Emptying side: waits until turn `turn` has been filled.
    void WaitFilled(std::size_t turn) const noexcept {
        for (std::size_t filled = m_filled.load(std::memory_order_acquire); turn >= filled;
             filled = m_filled.load(std::memory_order_acquire))
            m_filled.wait(filled, std::memory_order_acquire);
    }
    // Emptying side: turns before `turns` are emptied; their slots can be filled again.
    void Emptied(std::size_t turns) noexcept {
        m_emptied.store(turns, std::memory_order_release);
        m_emptied.notify_all();
    }
    // Lets every wait on the filling side return from now on, so that a filler can see that it
    // is to stop.
    void ReleaseFiller() noexcept {
        m_emptied.store(SIZE_MAX / 2, std::memory_order_release);
        m_emptied.notify_all();
    }
    // Lets every wait on the emptying side return from now on.
    void ReleaseEmptier() noexcept {
        m_filled.store(SIZE_MAX / 2, std::memory_order_release);
        m_filled.notify_all();
    }

private:
    const std::size_t m_slots;
    std::atomic<std::size_t> m_filled{0};
    std::atomic<std::size_t> m_emptied{0};
};

} // namespace ini
