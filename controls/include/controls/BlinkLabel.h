#pragma once
// A label that blinks (shows and hides itself on a timer) while Blink is on.
#include "framework/timers.h"
#include "stdctrls/label.h"

namespace ax {

class TBlinkLabel : public TCustomLabel {
public:
    explicit TBlinkLabel(TComponent* owner);
    AnsiString ClassName() const override { return "TBlinkLabel"; }
    void DefinePublished(TFiler& filer) override;
    bool Blink() const { return blink_; }
    // Off leaves the label visible.
    void SetBlink(bool value);
    uint16_t BlinkInterval() const { return interval_; }
    void SetBlinkInterval(uint16_t ms);
    TTimer& Timer() { return *timer_; }
    TNotifyEvent OnBlink;

private:
    void BlinkStep();
    TTimer* timer_ = nullptr;
    bool blink_ = false;
    uint16_t interval_ = 500;
};

} // namespace ax
