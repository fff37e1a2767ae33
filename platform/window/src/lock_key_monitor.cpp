// The lock-key monitor on X11: a connection of its own, opened when the
// first window registers and closed after the last one leaves, that asks
// the X keyboard extension for indicator changes. The indicators are found
// by their names, which every keyboard map of the server uses.
#include "lock_key_monitor.h"

#include "platform/library.h"
#include "platform/window/constants.h"
#include "platform/window/window.h"
#include "x11_thread.h"

#include <X11/XKBlib.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace ax::wm {

namespace {

constexpr char kLibraryName[] = "ExKbMon.dll";

struct Indicator {
    const char* name;
    UINT vk;
    int index = -1; // in the server's indicator map, -1 when it has none
};

class LockKeyMonitor {
public:
    UINT Register(HWND window) {
        std::lock_guard<std::mutex> g(mutex_);
        if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) windows_.push_back(window);
        if (!x_) x_ = Open();
        return kLockKeyNotice;
    }

    void Deregister(HWND window) {
        std::unique_ptr<X11Thread> closing;
        {
            std::lock_guard<std::mutex> g(mutex_);
            std::erase(windows_, window);
            if (windows_.empty()) closing = std::move(x_);
        }
        // Closed outside the lock: the X thread takes it to post.
        closing.reset();
    }

    void Stop() {
        std::unique_ptr<X11Thread> closing;
        {
            std::lock_guard<std::mutex> g(mutex_);
            windows_.clear();
            closing = std::move(x_);
        }
    }

private:
    std::unique_ptr<X11Thread> Open() {
        int event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
        Display* dpy = XkbOpenDisplay(nullptr, &event, &error, &major, &minor, &reason);
        if (!dpy) return nullptr;
        xkbEvent_ = event;
        XkbSelectEvents(dpy, XkbUseCoreKbd, XkbIndicatorStateNotifyMask, XkbIndicatorStateNotifyMask);
        for (Indicator& i : indicators_) {
            int index = -1;
            Bool on = False;
            i.index = XkbGetNamedIndicator(dpy, XInternAtom(dpy, i.name, False), &index, &on, nullptr, nullptr)
                          ? index
                          : -1;
        }
        // Taken by the server before the window hears it is registered: a
        // key pressed after that is seen.
        XSync(dpy, False);
        return std::make_unique<X11Thread>(dpy, [this](XEvent& e) { OnEvent(e); });
    }

    // On the monitor's X thread.
    void OnEvent(XEvent& e) {
        if (e.type != xkbEvent_) return;
        const auto& xkb = reinterpret_cast<const XkbEvent&>(e);
        if (xkb.any.xkb_type != XkbIndicatorStateNotify) return;
        std::vector<HWND> windows;
        {
            std::lock_guard<std::mutex> g(mutex_);
            windows = windows_;
        }
        for (const Indicator& i : indicators_) {
            if (i.index < 0 || !(xkb.indicators.changed & (1u << i.index))) continue;
            const LPARAM on = (xkb.indicators.state >> i.index) & 1;
            for (HWND w : windows) PostMessage(w, kLockKeyNotice, i.vk, on);
        }
    }

    std::mutex mutex_;
    std::vector<HWND> windows_;        // under mutex_
    std::unique_ptr<X11Thread> x_;     // under mutex_
    int xkbEvent_ = 0;                 // set before the thread starts
    Indicator indicators_[3] = {{"Caps Lock", VK_CAPITAL}, {"Num Lock", VK_NUMLOCK}, {"Scroll Lock", VK_SCROLL}};
};

LockKeyMonitor& Monitor() {
    static auto* monitor = new LockKeyMonitor; // outlives the display, which takes it back at its end
    return *monitor;
}

UINT RegisterKeyboardHook(HWND window) {
    return Monitor().Register(window);
}

void DeregisterKeyboardHook(HWND window) {
    Monitor().Deregister(window);
}

} // namespace

void RegisterLockKeyMonitor() {
    RegisterLibraryStandIn(kLibraryName, {{"RegisterKeyboardHook", reinterpret_cast<void*>(&RegisterKeyboardHook)},
                                          {"DeregisterKeyboardHook", reinterpret_cast<void*>(&DeregisterKeyboardHook)}});
}

void UnregisterLockKeyMonitor() {
    UnregisterLibraryStandIn(kLibraryName);
    Monitor().Stop();
}

} // namespace ax::wm
