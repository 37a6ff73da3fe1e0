// Asks the owner of the X clipboard for its text every 10 ms and records how long each answer
// takes: a window that does not answer for a while was not running its events. Runs until the
// file named by its second argument exists, then prints the slowest answer and the 99th
// percentile. Usage: clipboard_probe SECONDS_MAX STOP_FILE
// The viewer must own the clipboard (copy the file name box's text first).

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the answer to one request; false when none came within `limit`.
bool WaitForAnswer(Display* display, Window window, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == SelectionNotify && event.xselection.requestor == window)
                return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left.count()));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: clipboard_probe SECONDS_MAX STOP_FILE\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "clipboard_probe: no X display\n");
        return 1;
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom property = XInternAtom(display, "PROBE_TEXT", False);
    const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[1]));
    std::vector<double> answers;
    int unanswered = 0;
    struct stat info {};
    while (Clock::now() < end && ::stat(argv[2], &info) != 0) {
        const auto asked = Clock::now();
        XConvertSelection(display, clipboard, utf8, property, window, CurrentTime);
        XFlush(display);
        if (WaitForAnswer(display, window, std::chrono::seconds(60)))
            answers.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
        else
            ++unanswered;
        XDeleteProperty(display, window, property);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::sort(answers.begin(), answers.end());
    const double slowest = answers.empty() ? 0 : answers.back();
    const double p99 = answers.empty() ? 0 : answers[answers.size() * 99 / 100];
    std::printf("%zu answers, slowest %.1f ms, 99th percentile %.1f ms, %d unanswered\n",
                answers.size(), slowest, p99, unanswered);
    XCloseDisplay(display);
    return 0;
}
