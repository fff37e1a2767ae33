// The timer component over a hidden window's timer; an exception in OnTimer
// goes to the controls' exception handler.
#include "framework/timers.h"

#include "framework/controls.h"
#include "framework/streaming.h"

namespace ax {

namespace {
constexpr const char* kTimerClass = "TTimerWindow";
constexpr UINT_PTR kTimerId = 1;
} // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    WNDCLASS wc;
    if (!GetClassInfo(kTimerClass, wc)) {
        wc.lpszClassName = kTimerClass;
        wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_TIMER) {
                auto* timer = reinterpret_cast<TTimer*>(GetWindowLongPtr(h, GWLP_USERDATA));
                if (timer && timer->enabled_ && timer->OnTimer) {
                    try {
                        timer->OnTimer(timer);
                    } catch (...) {
                        HandleControlException();
                    }
                }
                return 0;
            }
            return DefWindowProc(h, msg, w, l);
        };
        RegisterClass(wc);
    }
    window_ = CreateWindowEx(0, kTimerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr);
    SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    UpdateTimer();
}

TTimer::~TTimer() {
    if (window_) {
        KillTimer(window_, kTimerId);
        SetWindowLongPtr(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void TTimer::UpdateTimer() {
    if (!window_) return;
    KillTimer(window_, kTimerId);
    if (enabled_ && interval_ > 0 && !HasState(csDesigning)) SetTimer(window_, kTimerId, interval_);
}

void TTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned ms) {
    if (ms == interval_) return;
    interval_ = ms;
    UpdateTimer();
}

void TTimer::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Bool("Enabled", [this] { return enabled_; }, [this](bool v) { SetEnabled(v); }, true);
    f.Integer("Interval", [this] { return interval_; }, [this](int64_t v) { SetInterval(unsigned(v)); }, 1000);
}

} // namespace ax
