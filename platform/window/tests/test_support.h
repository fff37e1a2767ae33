#pragma once
// Shared fixture of the window layer's tests: a manual clock, the headless
// display, the test font and a window class that records its messages.
#include "bounded_wait.h"
#include "platform/gdi/gdi.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "rtl/threads.h"

#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ax::test {

struct Record {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

class Recorder {
public:
    void Add(HWND h, UINT m, WPARAM w, LPARAM l) {
        std::lock_guard<std::mutex> g(mutex_);
        log_.push_back({h, m, w, l});
    }
    std::vector<Record> Take() {
        std::lock_guard<std::mutex> g(mutex_);
        return std::exchange(log_, {});
    }
    // The messages of the listed numbers only, in order.
    std::vector<Record> Only(std::initializer_list<UINT> msgs) {
        std::vector<Record> out;
        for (const Record& r : Take())
            for (UINT m : msgs)
                if (r.msg == m) out.push_back(r);
        return out;
    }

private:
    std::mutex mutex_;
    std::vector<Record> log_;
};

inline Recorder& Log() {
    static Recorder r;
    return r;
}

inline LRESULT RecordingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    Log().Add(h, m, w, l);
    return DefWindowProc(h, m, w, l);
}

inline void RegisterTestClass(const char* name, UINT style = 0, int background = -1) {
    WNDCLASS wc;
    wc.lpszClassName = name;
    wc.style = style;
    wc.lpfnWndProc = RecordingProc;
    if (background >= 0) wc.hbrBackground = SysColorBrushValue(background);
    RegisterClass(wc); // already there from an earlier test: fine
}

// Whether a thread of this process is asleep in a blocking wait.
inline bool ThreadSleeps(DWORD tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t name = line.rfind(')');
    return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S';
}

// Serves everything waiting without blocking.
inline int Pump() {
    MSG m;
    int n = 0;
    while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(m);
        DispatchMessage(m);
        ++n;
    }
    return n;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(&clock);
        SetMainThread(std::this_thread::get_id());
        SelectDisplay(DisplayKind::Headless);
        SetTestFont(true);
        RegisterTestClass("Rec");
        RegisterTestClass("RecDbl", CS_DBLCLKS, COLOR_WINDOW);
        Log().Take();
    }
    void TearDown() override {
        for (HWND h : EnumWindows())
            DestroyWindow(h);
        MSG m;
        while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        }
        SetTimerLimit(-1);
        ReleaseCapture();
        SetClock(nullptr);
        Log().Take();
    }
    ManualClock clock;
};

} // namespace ax::test
