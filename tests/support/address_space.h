#pragma once

#include <cstddef>
#include <cstdlib>
#include <fstream>

#include <sys/resource.h>
#include <sys/wait.h>
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
