#pragma once

#include <cstddef>
#include <fstream>

#include <sys/resource.h>
#include <unistd.h>

namespace ini::test {

// Caps this process's address space at what it holds now plus `headroom` bytes, so that what a
// test makes next runs out of memory. Meant for a forked child, whose cap cannot hurt the runner;
// false when the cap could not be set.
inline bool CapAddressSpace(std::size_t headroom) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit cap{limit, limit};
    return ::setrlimit(RLIMIT_AS, &cap) == 0;
}

} // namespace ini::test
