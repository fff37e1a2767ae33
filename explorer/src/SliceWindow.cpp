// The slice window: a posted message per slice, a timer when input waits.
#include "explorer/SliceWindow.h"

#include <utility>

namespace ax {
namespace {

constexpr const char* kSliceWindowClass = "TSliceWindow";
// The next slice is due (posted; a timer when input waits, which a posted
// message would overtake).
constexpr UINT kSliceMessage = WM_USER + 0x141;
constexpr UINT_PTR kSliceTimer = 1;

} // namespace

TSliceWindow::TSliceWindow(std::function<void()> serve) : serve_(std::move(serve)) {
    WNDCLASS wc;
    if (!GetClassInfo(kSliceWindowClass, wc)) {
        wc = WNDCLASS{};
        wc.lpszClassName = kSliceWindowClass;
        wc.lpfnWndProc = &TSliceWindow::WindowProc;
        RegisterClass(wc);
    }
    window_ = CreateWindowEx(0, kSliceWindowClass, "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE);
    SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TSliceWindow::~TSliceWindow() {
    if (!window_) return;
    KillTimer(window_, kSliceTimer);
    SetWindowLongPtr(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

LRESULT TSliceWindow::WindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<TSliceWindow*>(GetWindowLongPtr(h, GWLP_USERDATA));
    if (self && (msg == kSliceMessage || (msg == WM_TIMER && w == kSliceTimer))) {
        self->Serve();
        return 0;
    }
    return DefWindowProc(h, msg, w, l);
}

void TSliceWindow::Schedule() {
    if (scheduled_ || !window_) return;
    scheduled_ = true;
    // Posted messages go before input: with input waiting the slice waits
    // for a timer, which comes after it. (Painting would cost a timer's
    // wait per slice; the gauge draws itself at once.)
    if (LOWORD(GetQueueStatus(QS_INPUT)) != 0) SetTimer(window_, kSliceTimer, 0, nullptr);
    else PostMessage(window_, kSliceMessage, 0, 0);
}

void TSliceWindow::Cancel() {
    // A message already posted finds nothing scheduled and does nothing.
    if (window_) KillTimer(window_, kSliceTimer);
    scheduled_ = false;
}

void TSliceWindow::Serve() {
    if (!scheduled_) return;
    KillTimer(window_, kSliceTimer);
    scheduled_ = false;
    serve_();
}

} // namespace ax
