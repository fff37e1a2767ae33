#pragma once
// The size grip in a sizeable drop-down's bottom right corner of the
// explorer combo box. Threads: GUI thread only.
#include "framework/controls.h"

namespace ax {

class TDropDownWnd;

// The grip in a sizeable drop-down's bottom right corner: dragging it sizes
// the drop-down.
class TSizeGrabber : public TCustomControl {
public:
    TSizeGrabber(TComponent* owner, TDropDownWnd& dropDown);
    AnsiString ClassName() const override { return "TSizeGrabber"; }
    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    TDropDownWnd& dropDown_;
    bool dragging_ = false;
    POINT start_{};   // screen point of the press
    SIZE startSize_{}; // the drop-down's size then
};

} // namespace ax
