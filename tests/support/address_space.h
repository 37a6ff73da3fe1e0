#pragma once

#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ini::test {

// The bytes of address space this process holds now.
inline std::size_t AddressSpaceBytes() {
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Caps this process's address space at what it holds now plus `headroom` bytes, so that what a
// test makes next runs out of memory. Meant for a forked child, whose cap cannot hurt the runner;
// false when the cap could not be set.
inline bool CapAddressSpace(std::size_t headroom) {
    const rlim_t limit = static_cast<rlim_t>(AddressSpaceBytes() + headroom);
    const rlimit cap{limit, limit};
    return ::setrlimit(RLIMIT_AS, &cap) == 0;
}

// Caps the address space as CapAddressSpace does, then takes every heap block that can still be
// had, large and small, and gives `leave` bytes of them back: room that earlier work left in the
// heap cannot hide a failure, and what a test makes next has about `leave` bytes. The blocks are
// kept until the process ends (a forked child's). False when the cap could not be set.
inline bool CapAndTakeHeap(std::size_t headroom, std::size_t leave) {
    static std::vector<void*> taken;
    taken.reserve(std::size_t{1} << 17);
    if (!CapAddressSpace(headroom))
        return false;
    constexpr std::size_t large = std::size_t{32} << 10;
    for (const std::size_t size : {large, std::size_t{1} << 10, std::size_t{64}, std::size_t{16}}) {
        while (taken.size() < taken.capacity()) {
            void* const block = std::malloc(size);
            if (block == nullptr)
                break;
            taken.push_back(block);
        }
    }
    for (std::size_t given = 0; given < leave && !taken.empty(); given += large) {
        std::free(taken.front());
        taken.erase(taken.begin());
    }
    return true;
}

// The exit status of a forked child that runs `body()` and exits with what it gives, or -1 when
// the child crashed (or could not be made): a child may cap its own address space.
template <typename Body> int ExitOfChild(Body&& body) {
    const pid_t child = ::fork();
    if (child == 0)
        std::_Exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace ini::test
