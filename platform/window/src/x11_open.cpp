// Opening the X display on a thread of its own, given up after a bound.
#include "x11_open.h"

#include "rtl/clock.h"

#include <memory>
#include <mutex>
#include <thread>

namespace ax::wm {

namespace {

// Shared by the caller and the opening thread, which may outlive the wait.
struct Opening {
    TimedCondition done;
    bool finished = false;
    bool abandoned = false;
    Display* dpy = nullptr;
};

} // namespace

Display* OpenDisplayWithin(uint32_t timeoutMs) {
    auto opening = std::make_shared<Opening>();
    std::thread([opening] {
        Display* dpy = XOpenDisplay(nullptr);
        std::lock_guard<std::mutex> lock(opening->done.Mutex());
        if (opening->abandoned) {
            if (dpy) XCloseDisplay(dpy);
        } else {
            opening->dpy = dpy;
        }
        opening->finished = true;
        opening->done.NotifyAll();
    }).detach();
    std::unique_lock<std::mutex> lock(opening->done.Mutex());
    if (!opening->done.WaitFor(lock, timeoutMs, [&] { return opening->finished; })) {
        opening->abandoned = true;
        return nullptr;
    }
    return opening->dpy;
}

} // namespace ax::wm
