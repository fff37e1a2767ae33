#pragma once
// The frame a dock drag shows where the dragged control would land: the
// outline of a rectangle on the screen, drawn as four thin windows above
// every other. The pointer goes through them, so the window under the
// pointer is still the one a drop reaches.
#include <array>
#include <memory>

#include "platform/window/types.h"

namespace ax {

class TCustomControl;

class TDockFrame {
public:
    static constexpr int kThickness = 4;

    TDockFrame();
    ~TDockFrame();
    TDockFrame(const TDockFrame&) = delete;
    TDockFrame& operator=(const TDockFrame&) = delete;

    // Shows the outline of r (screen coordinates), or moves it there.
    void Show(const RECT& r);
    void Hide();
    bool Visible() const { return visible_; }
    RECT Rect() const { return rect_; }

private:
    std::array<std::unique_ptr<TCustomControl>, 4> edges_;
    RECT rect_{};
    bool visible_ = false;
};

} // namespace ax
