#pragma once
// TTimer: OnTimer every Interval milliseconds of the installed clock, from
// a hidden window's timer, while Enabled.
#include "framework/classes.h"
#include "platform/window/window.h"

namespace ax {

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    AnsiString ClassName() const override { return "TTimer"; }
    void DefinePublished(TFiler& filer) override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned ms);
    TNotifyEvent OnTimer;
    HWND WindowHandle() const { return window_; }

private:
    void UpdateTimer();
    HWND window_ = nullptr;
    bool enabled_ = true;
    unsigned interval_ = 1000;
};

} // namespace ax
