// The blinking label: a timer shows and hides the label while Blink is on.
#include "controls/BlinkLabel.h"

#include "framework/streaming.h"

namespace ax {

TBlinkLabel::TBlinkLabel(TComponent* owner) : TCustomLabel(owner) {
    Font().SetHeight(-11);
    Font().SetName("MS Sans Serif");
    Font().SetStyle(fsBold);
    SetTransparent(true);
    timer_ = TComponent::Create<TTimer>(this);
    timer_->SetEnabled(false);
    timer_->SetInterval(interval_);
    timer_->OnTimer = [this](TObject*) { BlinkStep(); };
}

void TBlinkLabel::DefinePublished(TFiler& f) {
    TCustomLabel::DefinePublished(f);
    f.Bool("Blink", [this] { return blink_; }, [this](bool v) { SetBlink(v); }, false);
    f.Integer("BlinkInterval", [this] { return interval_; }, [this](int64_t v) { SetBlinkInterval(uint16_t(v)); },
              500);
}

void TBlinkLabel::SetBlink(bool value) {
    if (blink_ != value) {
        blink_ = value;
        timer_->SetEnabled(value);
    }
    if (!timer_->Enabled()) SetVisible(true);
}

void TBlinkLabel::SetBlinkInterval(uint16_t ms) {
    interval_ = ms;
    timer_->SetInterval(ms);
}

void TBlinkLabel::BlinkStep() {
    if (OnBlink) OnBlink(this);
    if (timer_->Enabled()) SetVisible(!Visible());
}

} // namespace ax
