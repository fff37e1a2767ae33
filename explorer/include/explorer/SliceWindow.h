#pragma once
// A message-only window that serves the slices of long work (a check
// spreading over a big folder, a big folder being listed), one message per
// slice, so the window answers between them.
#include "platform/window/window.h"

#include <functional>

namespace ax {

class TSliceWindow {
public:
    explicit TSliceWindow(std::function<void()> serve);
    ~TSliceWindow();
    TSliceWindow(const TSliceWindow&) = delete;
    TSliceWindow& operator=(const TSliceWindow&) = delete;

    // The next slice served after what waits in the queue; once however
    // often it is asked before it is served.
    void Schedule();
    // A slice asked for is not served.
    void Cancel();

private:
    static LRESULT WindowProc(HWND h, UINT msg, WPARAM w, LPARAM l);
    void Serve();

    std::function<void()> serve_;
    HWND window_ = nullptr;
    bool scheduled_ = false;
};

} // namespace ax
