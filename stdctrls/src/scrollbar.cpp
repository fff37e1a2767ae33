// Scroll bar control: arrows, track and thumb drawn by the drawing layer;
// presses scroll by a line or a page, the thumb is dragged.
#include <algorithm>

#include "framework/streaming.h"
#include "platform/gdi/uniquegdiobject.h"
#include "stdctrls/scrollbar.h"
#include "stdctrls_internal.h"

namespace ax {

TScrollBar::TScrollBar(TComponent* owner) : TCustomControl(owner) {
    SetBounds(0, 0, 121, GetSystemMetrics(SM_CYHSCROLL));
    tabStop_ = true;
    color_ = clBtnFace;
}

void TScrollBar::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.Enum("Kind", {"sbHorizontal", "sbVertical"}, [this] { return int(kind_); }, [this](int v) { SetKind(TScrollBarKind(v)); }, 0);
    f.Integer("Min", [this] { return min_; }, [this](int64_t v) { SetMin(int(v)); }, 0);
    f.Integer("Max", [this] { return max_; }, [this](int64_t v) { SetMax(int(v)); }, 100);
    f.Integer("Position", [this] { return position_; }, [this](int64_t v) { SetPosition(int(v)); }, 0);
    f.Integer("PageSize", [this] { return pageSize_; }, [this](int64_t v) { SetPageSize(int(v)); }, 0);
    f.Integer("SmallChange", [this] { return smallChange_; }, [this](int64_t v) { smallChange_ = int(v); }, 1);
    f.Integer("LargeChange", [this] { return largeChange_; }, [this](int64_t v) { largeChange_ = int(v); }, 1);
}

void TScrollBar::SetKind(TScrollBarKind kind) {
    if (kind_ == kind) return;
    kind_ = kind;
    if (!HasState(csLoading)) SetBounds(left_, top_, height_, width_);
    Invalidate();
}

void TScrollBar::SetParams(int position, int min, int max) {
    if (max < min) throw EInvalidOperation("Scroll bar property out of range");
    min_ = min;
    max_ = max;
    pageSize_ = std::min(pageSize_, max_ - min_ + 1);
    position = std::clamp(position, min_, std::max(min_, max_ - std::max(pageSize_ - 1, 0)));
    const bool changed = position != position_;
    position_ = position;
    Invalidate();
    if (changed) Change();
}

void TScrollBar::SetPageSize(int v) {
    pageSize_ = std::clamp(v, 0, max_ - min_ + 1);
    SetParams(position_, min_, max_);
}

void TScrollBar::Change() {
    if (OnChange) OnChange(this);
}

void TScrollBar::Scroll(TScrollCode code, int& pos) {
    if (OnScroll) OnScroll(this, code, pos);
}

RECT TScrollBar::ArrowRect(bool first) {
    const RECT c = ClientRect();
    if (kind_ == sbHorizontal) {
        const int w = std::min(c.height(), c.width() / 2);
        return first ? RECT{0, 0, w, c.bottom} : RECT{c.right - w, 0, c.right, c.bottom};
    }
    const int h = std::min(c.width(), c.height() / 2);
    return first ? RECT{0, 0, c.right, h} : RECT{0, c.bottom - h, c.right, c.bottom};
}

int TScrollBar::TrackLength() {
    const RECT a = ArrowRect(true), b = ArrowRect(false);
    return kind_ == sbHorizontal ? b.left - a.right : b.top - a.bottom;
}

RECT TScrollBar::ThumbRect() {
    const int track = TrackLength();
    const int thickness = kind_ == sbHorizontal ? ClientHeight() : ClientWidth();
    const int range = max_ - min_ + 1;
    int thumb = pageSize_ > 0 ? std::max(8, track * pageSize_ / range) : std::min(thickness, track);
    if (thumb > track || track < 8) return {};
    const int span = max_ - min_ - std::max(pageSize_ - 1, 0);
    const int offset = span > 0 ? (position_ - min_) * (track - thumb) / span : 0;
    const RECT a = ArrowRect(true);
    if (kind_ == sbHorizontal) return {a.right + offset, 0, a.right + offset + thumb, ClientHeight()};
    return {0, a.bottom + offset, ClientWidth(), a.bottom + offset + thumb};
}

void TScrollBar::Paint() {
    TCanvas& c = Canvas();
    HDC dc = c.Handle();
    RECT first = ArrowRect(true), second = ArrowRect(false);
    const RECT client = ClientRect();
    RECT track = kind_ == sbHorizontal ? RECT{first.right, 0, second.left, client.bottom}
                                       : RECT{0, first.bottom, client.right, second.top};
    // The track: a checkerboard of face and highlight, face where x + y is even.
    std::uint32_t cells[64];
    const COLORREF face = GetSysColor(COLOR_BTNFACE), light = GetSysColor(COLOR_BTNHIGHLIGHT);
    for (int i = 0; i < 64; ++i) {
        const COLORREF v = ((i / 8 + i % 8) & 1) ? light : face;
        cells[i] = 0xFF000000u | (std::uint32_t(GetRValue(v)) << 16) | (std::uint32_t(GetGValue(v)) << 8) | GetBValue(v);
    }
    const UniqueBitmap pattern(CreateBitmapFromPixels(8, 8, cells, false));
    const UniqueBrush checker(CreatePatternBrush(pattern.Get()));
    POINT oldOrigin;
    SetBrushOrgEx(dc, 0, 0, &oldOrigin);
    FillRect(dc, &track, checker.Get());
    SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    if (pressed_ == 2 || pressed_ == 3) {
        const RECT t = ThumbRect();
        RECT page = track;
        if (kind_ == sbHorizontal) (pressed_ == 2 ? page.right : page.left) = pressed_ == 2 ? t.left : t.right;
        else (pressed_ == 2 ? page.bottom : page.top) = pressed_ == 2 ? t.top : t.bottom;
        c.Brush().SetColor(cl3DDkShadow);
        c.FillRect(page);
    }
    const UINT inactive = enabled_ ? 0u : UINT(DFCS_INACTIVE);
    DrawFrameControl(dc, &first, DFC_SCROLL,
                     (kind_ == sbHorizontal ? DFCS_SCROLLLEFT : DFCS_SCROLLUP) | inactive | (pressed_ == 0 ? UINT(DFCS_PUSHED) : 0u));
    DrawFrameControl(dc, &second, DFC_SCROLL,
                     (kind_ == sbHorizontal ? DFCS_SCROLLRIGHT : DFCS_SCROLLDOWN) | inactive | (pressed_ == 1 ? UINT(DFCS_PUSHED) : 0u));
    RECT thumb = ThumbRect();
    if (enabled_ && thumb.width() > 0) {
        c.Brush().SetColor(clBtnFace);
        c.FillRect(thumb);
        DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT);
    }
    if (Focused() && thumb.width() > 0) {
        RECT f = ThumbRect();
        InflateRect(&f, -3, -3);
        c.DrawFocusRect(f);
    }
}

void TScrollBar::DoScroll(TScrollCode code) {
    int pos = position_;
    const int top = max_ - std::max(pageSize_ - 1, 0);
    switch (code) {
    case scLineUp: pos -= smallChange_; break;
    case scLineDown: pos += smallChange_; break;
    case scPageUp: pos -= largeChange_; break;
    case scPageDown: pos += largeChange_; break;
    case scTop: pos = min_; break;
    case scBottom: pos = top; break;
    default: break;
    }
    pos = std::clamp(pos, min_, std::max(min_, top));
    Scroll(code, pos);
    SetPosition(pos);
}

void TScrollBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbLeft) {
        const POINT p{x, y};
        const RECT a = ArrowRect(true), b = ArrowRect(false), t = ThumbRect();
        if (PtInRect(&a, p)) pressed_ = 0;
        else if (PtInRect(&b, p)) pressed_ = 1;
        else if (PtInRect(&t, p)) {
            pressed_ = 4;
            dragOffset_ = kind_ == sbHorizontal ? x - t.left : y - t.top;
        } else {
            pressed_ = (kind_ == sbHorizontal ? x < t.left : y < t.top) ? 2 : 3;
        }
        static constexpr TScrollCode codes[] = {scLineUp, scLineDown, scPageUp, scPageDown};
        if (pressed_ < 4) DoScroll(codes[pressed_]);
        Invalidate();
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

void TScrollBar::MouseMove(TShiftState shift, int x, int y) {
    if (pressed_ == 4 && (shift & ssLeft)) {
        const int thumb = kind_ == sbHorizontal ? ThumbRect().width() : ThumbRect().height();
        const int free = TrackLength() - thumb;
        const int start = kind_ == sbHorizontal ? ArrowRect(true).right : ArrowRect(true).bottom;
        const int span = max_ - min_ - std::max(pageSize_ - 1, 0);
        const int at = (kind_ == sbHorizontal ? x : y) - dragOffset_ - start;
        int pos = free > 0 ? min_ + (std::clamp(at, 0, free) * span + free / 2) / free : min_;
        Scroll(scTrack, pos);
        SetPosition(pos);
    }
    TCustomControl::MouseMove(shift, x, y);
}

void TScrollBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbLeft && pressed_ >= 0) {
        if (pressed_ == 4) {
            int pos = position_;
            Scroll(scPosition, pos);
            SetPosition(pos);
        }
        pressed_ = -1;
        int pos = position_;
        Scroll(scEndScroll, pos);
        Invalidate();
    }
    TCustomControl::MouseUp(button, shift, x, y);
}

void TScrollBar::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_KEYDOWN: {
        WORD key = WORD(m.WParam);
        if (DoKeyDown(key, CurrentShiftState())) return;
        switch (key) {
        case VK_LEFT:
        case VK_UP: DoScroll(scLineUp); return;
        case VK_RIGHT:
        case VK_DOWN: DoScroll(scLineDown); return;
        case VK_PRIOR: DoScroll(scPageUp); return;
        case VK_NEXT: DoScroll(scPageDown); return;
        case VK_HOME: DoScroll(scTop); return;
        case VK_END: DoScroll(scBottom); return;
        }
        return;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        TCustomControl::Dispatch(m);
        Invalidate();
        return;
    }
    TCustomControl::Dispatch(m);
}

} // namespace ax
