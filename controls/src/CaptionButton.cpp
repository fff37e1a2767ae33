// The caption bar button.
#include "controls/CaptionButton.h"

#include <atomic>
#include <utility>

#include "framework/streaming.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/window/windowdc.h"

namespace ax {

namespace {

std::atomic<WORD> nextHitCode{666};

TCustomForm* OwnerForm(TComponent* owner) {
    auto* form = dynamic_cast<TCustomForm*>(owner);
    if (!form) throw EInvalidOperation("A caption button belongs to a form");
    return form;
}

// One pixel wide or high line, both ends included.
void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour) {
    const RECT r{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
    const UniqueBrush brush(CreateSolidBrush(colour));
    FillRect(dc, &r, brush.Get());
}

} // namespace

TCaptionButton::TCaptionButton(TComponent* owner)
    : TComponent(owner), form_(OwnerForm(owner)), glyph_(std::make_unique<TBitmap>()), hitCode_(nextHitCode++) {
    glyph_->OnChange = [this](TObject*) { Repaint(); };
    hook_ = std::make_unique<TExWindowHook>(nullptr);
    hook_->BeforeMessage = [this](TObject*, TMessage& m, bool&) { BeforeFormMessage(m); };
    hook_->AfterMessage = [this](TObject*, TMessage& m, bool&) { FormMessage(m); };
    hook_->SetWinControl(form_);
}

TCaptionButton::~TCaptionButton() {
    Destroying();
    if (captured_) Release();
    // The caption without the button, then only this button's entry leaves
    // the window's chain.
    if (visible_ && form_->HandleAllocated() && !form_->HasState(csDestroying)) {
        visible_ = false;
        Repaint();
    }
    hook_.reset();
    glyph_->OnChange = nullptr;
}

void TCaptionButton::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.DefineObject("Glyph", glyph_.get());
    f.Integer("RightMargin", [this] { return rightMargin_; }, [this](int64_t v) { SetRightMargin(int(v)); }, 0);
    f.Bool("Visible", [this] { return visible_; }, [this](bool v) { SetVisible(v); }, true);
}

void TCaptionButton::SetGlyph(const TBitmap* glyph) {
    glyph_->Assign(glyph);
    Repaint();
}

void TCaptionButton::SetRightMargin(int margin) {
    if (margin == rightMargin_) return;
    rightMargin_ = margin;
    Repaint();
}

void TCaptionButton::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (!visible && captured_) Release();
    Repaint();
}

void TCaptionButton::Repaint() {
    if (!form_->HandleAllocated()) return;
    const HWND window = form_->Handle();
    // The frame is painted again as active or inactive as it is now.
    SendMessage(window, WM_NCACTIVATE, GetActiveWindow() == window ? TRUE : FALSE, 0);
}

void TCaptionButton::Release() {
    captured_ = false;
    if (form_->HandleAllocated() && GetCapture() == form_->Handle()) ReleaseCapture();
}

bool TCaptionButton::Over(POINT screen) {
    return SendMessage(form_->Handle(), WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)) == LRESULT(hitCode_);
}

void TCaptionButton::BeforeFormMessage(TMessage& m) {
    // The form lets the mouse go when it handles a release: whether the
    // release is a click is decided before.
    if ((m.Msg != WM_LBUTTONUP && m.Msg != WM_NCLBUTTONUP) || !captured_ || !visible_) return;
    if (m.Msg == WM_LBUTTONUP) {
        // Where the mouse is let go decides, whatever moves came before.
        const POINT p = form_->ClientToScreen(POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
        if (!Over(p) && pressed_) DrawCaptionButton(false);
    }
    Release();
    releasedOnButton_ = pressed_;
}

void TCaptionButton::FormMessage(TMessage& m) {
    if (m.Msg == WM_CAPTURECHANGED && captured_) {
        // Someone else took the mouse: the press is over.
        captured_ = false;
        if (pressed_ && visible_) DrawCaptionButton(false);
        return;
    }
    if (!visible_) return;
    switch (m.Msg) {
    case WM_NCPAINT:
    case WM_NCACTIVATE:
        DrawCaptionButton(false);
        break;
    case WM_NCHITTEST:
        if (m.Result == HTCAPTION) {
            POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
            ScreenToClient(form_->Handle(), p);
            if (p.x > rect_.left && p.x < rect_.right) {
                if (captured_ && !pressed_) DrawCaptionButton(true);
                m.Result = hitCode_;
            } else if (pressed_) {
                DrawCaptionButton(false);
            }
        }
        break;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        if (m.WParam == hitCode_) {
            if (!pressed_) DrawCaptionButton(true);
            if (!captured_) {
                captured_ = true;
                SetCapture(form_->Handle());
            }
        } else {
            if (pressed_) DrawCaptionButton(false);
            if (captured_) Release();
        }
        break;
    case WM_MOUSEMOVE:
        // While the mouse is held the messages come to the client area:
        // leaving the button lets it up, coming back presses it again.
        if (captured_) {
            const POINT p = form_->ClientToScreen(POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
            if (!Over(p) && pressed_) DrawCaptionButton(false);
        }
        break;
    case WM_NCLBUTTONUP:
    case WM_LBUTTONUP: {
        const bool click = std::exchange(releasedOnButton_, false);
        if (pressed_) DrawCaptionButton(false);
        // Last: the handler may do anything, this button's end included.
        if (click && OnClick) OnClick(this);
        break;
    }
    default:
        break;
    }
}

void TCaptionButton::DrawCaptionButton(bool pressed) {
    pressed_ = pressed;
    if (!form_->HandleAllocated()) return;
    const HWND window = form_->Handle();
    int frame;
    switch (form_->BorderStyle()) {
    case bsSingle: frame = GetSystemMetrics(SM_CYFRAME) + 1; break;
    case bsDialog:
    case bsToolWindow: frame = GetSystemMetrics(SM_CYBORDER) + 4; break;
    default: frame = GetSystemMetrics(SM_CYFRAME) + 2; break;
    }
    const bool tool = form_->BorderStyle() == bsToolWindow || form_->BorderStyle() == bsSizeToolWin;
    const int height = GetSystemMetrics(tool ? SM_CYSMCAPTION : SM_CYCAPTION) - 8;
    const int width = GetSystemMetrics(tool ? SM_CXSMSIZE : SM_CXSIZE) - 5;
    RECT wr;
    GetWindowRect(window, wr);
    const int x = wr.width() - rightMargin_ - frame;
    rect_ = {x - frame, frame, x - frame + width + 3, height + 2};

    const WindowDC windowDc = WindowDC::WholeWindow(window);
    const HDC dc = windowDc.Get();
    if (!dc) return;
    // The frame's corners, both included.
    const int l = x, t = frame, r = x + width + 3, b = frame + height + 2;
    const RECT inside{l + 1, t + 1, r, b};
    FillRect(dc, &inside, GetSysColorBrush(COLOR_BTNFACE));
    const COLORREF black = 0x000000, dark = 0x808080, light = 0xC0C0C0, white = 0xFFFFFF;
    if (!pressed) {
        const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
        Line(dc, l, t, l, b - 1, highlight);
        Line(dc, l, t, r - 1, t, highlight);
        Line(dc, r, t, r, b, black);
        Line(dc, l, b, r, b, black);
        Line(dc, r - 1, t + 1, r - 1, b - 1, dark);
        Line(dc, l + 1, b - 1, r - 1, b - 1, dark);
    } else {
        Line(dc, l, t, l, b, black);
        Line(dc, l, t, r, t, black);
        Line(dc, r, t + 1, r, b, white);
        Line(dc, l + 1, b, r, b, white);
        Line(dc, l + 1, t + 1, l + 1, b - 1, dark);
        Line(dc, l + 1, t + 1, r - 1, t + 1, dark);
        Line(dc, r - 1, t + 2, r - 1, b - 1, light);
        Line(dc, l + 2, b - 1, r - 1, b - 1, light);
    }
    if (!glyph_->Empty()) {
        const int s = pressed ? 2 : 1;
        StretchBlt(dc, x + s, frame + s, width, height, glyph_->Canvas().Handle(), 0, 0, glyph_->Width(),
                   glyph_->Height(), SRCCOPY);
    }
}

} // namespace ax
