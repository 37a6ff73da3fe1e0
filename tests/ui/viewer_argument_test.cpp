// The viewer started with a file on its command line loads that very file, whatever its bytes.
// Under the offscreen platform nothing of the window shows outside, so the load is seen as the
// file being opened, through inotify on its folder.
#include "path_bytes.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace ini {
namespace {

namespace fs = std::filesystem;

// Whether a file named `name` is opened in the folder `watch` looks at before the viewer ends or
// `limit` runs out.
bool SeesOpened(int watch, const std::string& name, pid_t viewer, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    alignas(inotify_event) char buffer[64 * 1024];
    while (std::chrono::steady_clock::now() < end) {
        if (kill(viewer, 0) != 0)
            return false;
        pollfd ready{watch, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        const ssize_t got = read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_OPEN) != 0 && event->len > 0 && name == event->name)
                return true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

struct ArgumentCase {
    std::string label;
    // Relative to the test's folder, where the viewer starts.
    std::string folder;
    std::string file;
    bool absolute;
    bool afterOptionsEnd;
};

TEST(ViewerArguments, LoadsTheFileItsBytesName) {
    std::string deep;
    for (const std::string& name : OneByteNames())
        deep += (deep.empty() ? "" : "/") + name;
    const std::vector<ArgumentCase> cases = {
        {"relative", "bad\xffname", "f\xfe.ini", false, false},
        {"every byte, absolute", deep, "f\xfe.ini", true, false},
        {"after --", "", "-\x80.ini", false, true},
        // The window system's own option: after "--" it is a file name all the same.
        {"a window system option after --", "", "-reverse", false, true},
    };
    for (const ArgumentCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder root;
        ASSERT_FALSE(root.Path().empty());
        const fs::path folder = fs::path(root.Path()) / c.folder;
        fs::create_directories(folder);
        std::ofstream(folder / c.file) << "Object A\n  Speed = 1\nEnd\n";
        ASSERT_EQ(chdir(root.Path().c_str()), 0);

        const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, folder.c_str(), IN_OPEN), 0);

        std::string file = c.folder.empty() ? c.file : c.folder + "/" + c.file;
        if (c.absolute)
            file = root.Path() + "/" + file;
        std::string program = INI_VIEWER;
        std::string optionsEnd = "--";
        std::vector<char*> argv{program.data()};
        if (c.afterOptionsEnd)
            argv.push_back(optionsEnd.data());
        argv.push_back(file.data());
        argv.push_back(nullptr);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_CONFIG_HOME", root.Path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", root.Path().c_str(), 1);
        pid_t viewer = 0;
        ASSERT_EQ(posix_spawn(&viewer, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);

        EXPECT_TRUE(SeesOpened(watch, c.file, viewer, std::chrono::seconds(30)))
            << "the viewer did not open the file on its command line";
        kill(viewer, SIGKILL);
        waitpid(viewer, nullptr, 0);
        close(watch);
        ASSERT_EQ(chdir("/"), 0);
    }
}

} // namespace
} // namespace ini
