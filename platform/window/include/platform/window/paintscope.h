#pragma once
// One WM_PAINT's drawing: BeginPaint when made, EndPaint when the scope is
// left, by return or by exception, so the update region is validated, the
// DC given back and the caret shown again whatever the painting did.
#include "platform/window/window.h"

#include <utility>

namespace ax {

class PaintScope {
public:
    explicit PaintScope(HWND window) noexcept : window_(window) { BeginPaint(window, paint_); }
    ~PaintScope() {
        if (window_) EndPaint(window_, paint_);
    }
    PaintScope(PaintScope&& other) noexcept
        : window_(std::exchange(other.window_, HWND{})), paint_(std::exchange(other.paint_, {})) {}
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    PaintScope& operator=(PaintScope&&) = delete;

    HDC DC() const noexcept { return paint_.hdc; }
    const PAINTSTRUCT& Paint() const noexcept { return paint_; }

private:
    HWND window_;
    PAINTSTRUCT paint_;
};

} // namespace ax
