#pragma once
// A DC borrowed from a window (GetDC, or GetWindowDC for the whole window
// with its frame) for one scope and given back with ReleaseDC, which also
// lets the window manager present what was drawn. Null window: a screen DC.
#include "platform/window/window.h"

#include <utility>

namespace ax {

class WindowDC {
public:
    explicit WindowDC(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    // The DC of the whole window, frame included.
    static WindowDC WholeWindow(HWND window) noexcept { return WindowDC(window, GetWindowDC(window)); }
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(WindowDC&& other) noexcept
        : window_(other.window_), dc_(std::exchange(other.dc_, HDC{})) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    WindowDC& operator=(WindowDC&&) = delete;

    HDC Get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return bool(dc_); }

private:
    WindowDC(HWND window, HDC dc) noexcept : window_(window), dc_(dc) {}

    HWND window_;
    HDC dc_;
};

} // namespace ax
