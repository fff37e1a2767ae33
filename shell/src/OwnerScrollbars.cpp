// The owner-drawn scroll bar: properties, layout, mouse and timers. Its
// drawing is in OwnerScrollbarsPaint.cpp.
#include "shell/OwnerScrollbars.h"

#include "framework/streaming.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace ax {

// ---- Colours --------------------------------------------------------------------------------

void TScrollBarColors::Assign(const TPersistent* source) {
    if (const auto* s = dynamic_cast<const TScrollBarColors*>(source)) {
        thumbButton_ = s->thumbButton_;
        background_ = s->background_;
        pageScrollHot_ = s->pageScrollHot_;
        backgroundBlend_ = s->backgroundBlend_;
        Changed(true);
        return;
    }
    TPersistent::Assign(source);
}

void TScrollBarColors::DefinePublished(TFiler& f) {
    DefineColorProperty(
        f, "ThumbButton", [this] { return thumbButton_; }, [this](TColor c) { SetThumbButton(c); },
        clScrollBar);
    DefineColorProperty(
        f, "Background", [this] { return background_; }, [this](TColor c) { SetBackground(c); },
        clScrollBar);
    DefineColorProperty(
        f, "PageScrollHot", [this] { return pageScrollHot_; },
        [this](TColor c) { SetPageScrollHot(c); }, clBlack);
    DefineColorProperty(
        f, "BackgroundBlend", [this] { return backgroundBlend_; },
        [this](TColor c) { SetBackgroundBlend(c); }, clWhite);
}

TPersistent* TScrollBarColors::GetOwner() const {
    return &owner_;
}

void TScrollBarColors::SetThumbButton(TColor value) {
    if (value == thumbButton_) return;
    thumbButton_ = value;
    Changed(false);
}

void TScrollBarColors::SetBackground(TColor value) {
    if (value == background_) return;
    background_ = value;
    Changed(true);
}

void TScrollBarColors::SetBackgroundBlend(TColor value) {
    if (value == backgroundBlend_) return;
    backgroundBlend_ = value;
    Changed(true);
}

void TScrollBarColors::SetPageScrollHot(TColor value) {
    if (value == pageScrollHot_) return;
    pageScrollHot_ = value;
    Changed(false);
}

void TScrollBarColors::Changed(bool brush) {
    owner_.ColorsChanged(brush);
}

// ---- Layout ---------------------------------------------------------------------------------

TScrollBarLayout LayoutScrollBar(int clientWidth, int clientHeight, int min, int max, int pageSize,
                                 int position) {
    TScrollBarLayout l;
    const int height = std::max(clientHeight, 0);
    int arrow = GetSystemMetrics(SM_CYVSCROLL);
    if (height < 2 * arrow) arrow = height / 2;
    l.TopArrow = {0, 0, clientWidth, arrow};
    l.BottomArrow = {0, height - arrow, clientWidth, height};
    l.Track = {0, arrow, clientWidth, height - arrow};
    const int64_t track = l.Track.height();
    const int64_t range = int64_t(max) - min;
    const int64_t span = range - pageSize; // positions Min .. Min + span
    int64_t thumb = range > 0 ? track * std::clamp<int64_t>(pageSize, 0, range) / range : track;
    thumb = std::max<int64_t>(thumb, GetSystemMetrics(SM_CYVTHUMB) / 2);
    if (thumb > track) thumb = 0;
    l.ThumbHeight = int(thumb);
    // The thumb's centre runs between these; an odd thumb keeps its larger
    // half below the centre, so that it never reaches into the bottom arrow.
    const int half = l.ThumbHeight / 2;
    l.InnerTop = l.Track.top + half;
    l.InnerBottom = l.Track.bottom - (l.ThumbHeight - half);
    const int64_t inner = int64_t(l.InnerBottom) - l.InnerTop;
    int centre;
    if (position <= min || span <= 0) {
        centre = l.InnerTop;
    } else if (position >= min + span) {
        centre = l.InnerBottom;
    } else {
        const float ratio = float(inner) / float(span);
        centre = l.InnerTop + int(std::nearbyint(double(int64_t(position) - min) * double(ratio)));
    }
    l.Thumb = {0, centre - half, clientWidth, centre - half + l.ThumbHeight};
    l.PageUp = {0, l.Track.top, clientWidth, l.Thumb.top};
    l.PageDown = {0, l.Thumb.bottom, clientWidth, l.Track.bottom};
    return l;
}

int ScrollBarPositionFromY(const TScrollBarLayout& l, int y, int min, int max, int pageSize) {
    const int64_t span = int64_t(max) - pageSize - min;
    const int64_t inner = int64_t(l.InnerBottom) - l.InnerTop;
    const int last = int(std::max<int64_t>(min, int64_t(min) + std::max<int64_t>(span, 0)));
    if (y < l.InnerTop) return min;
    if (y > l.InnerBottom) return last;
    // A thumb as long as the track, or nothing to scroll: no ratio to take.
    if (inner <= 0 || span <= 0) return y > l.InnerTop ? last : min;
    const float ratio = float(span) / float(inner);
    const int64_t offset = int64_t(std::nearbyint(double(y - l.InnerTop) * double(ratio)));
    return int(std::clamp<int64_t>(int64_t(min) + offset, min, last));
}

// ---- The bar --------------------------------------------------------------------------------

TCustomOwnerDrawScrollbar::TCustomOwnerDrawScrollbar(TComponent* owner)
    : TCustomControl(owner), colors_(std::make_unique<TScrollBarColors>(*this)) {
    SetBounds(0, 0, GetSystemMetrics(SM_CXVSCROLL), 200);
    SetColor(clScrollBar);
    SetTabStop(false);
    BuildBrush();
}

TCustomOwnerDrawScrollbar::~TCustomOwnerDrawScrollbar() {
    CloseTheme();
}

void TCustomOwnerDrawScrollbar::Notification(TComponent* component, TOperation operation) {
    TCustomControl::Notification(component, operation);
    if (operation == opRemove && component == linked_) linked_ = nullptr;
}

void TCustomOwnerDrawScrollbar::SetBounds(int left, int top, int width, int height) {
    if (!HasState(csLoading)) width = GetSystemMetrics(SM_CXVSCROLL);
    TCustomControl::SetBounds(left, top, width, height);
}

void TCustomOwnerDrawScrollbar::SetFlat(bool value) {
    if (value == flat_) return;
    flat_ = value;
    Invalidate();
}

// Min, Max and PageSize keep Position in its range as well: a position
// outside Min .. Max - PageSize would place the thumb outside the track.
void TCustomOwnerDrawScrollbar::SetMin(int value) {
    int max = max_;
    if (!HasState(csLoading) && value >= max) {
        if (max == INT_MIN) max = INT_MIN + 1;
        value = max - 1;
    }
    SetRange(value, max, pageSize_, position_);
}

void TCustomOwnerDrawScrollbar::SetMax(int value) {
    int min = min_;
    if (!HasState(csLoading) && value <= min) {
        if (min == INT_MAX) min = INT_MAX - 1;
        value = min + 1;
    }
    SetRange(min, value, pageSize_, position_);
}

void TCustomOwnerDrawScrollbar::SetPageSize(int value) {
    SetRange(min_, max_, value, position_);
}

void TCustomOwnerDrawScrollbar::SetPosition(int value) {
    SetRange(min_, max_, pageSize_, value);
}

void TCustomOwnerDrawScrollbar::Loaded() {
    TCustomControl::Loaded();
    SetRange(min_, max_, pageSize_, position_);
}

void TCustomOwnerDrawScrollbar::SetRange(int min, int max, int pageSize, int position) {
    if (!HasState(csLoading)) {
        if (max <= min) {
            if (min == INT_MAX) min = INT_MAX - 1;
            max = min + 1;
        }
        const int64_t range = int64_t(max) - min;
        pageSize = int(std::clamp<int64_t>(pageSize, 1, std::min<int64_t>(range, INT_MAX)));
        position = int(std::clamp<int64_t>(position, min, int64_t(max) - pageSize));
    }
    if (min == min_ && max == max_ && pageSize == pageSize_ && position == position_) return;
    min_ = min;
    max_ = max;
    pageSize_ = pageSize;
    position_ = position;
    InvalidateTrack();
}

void TCustomOwnerDrawScrollbar::SetOptions(TScrollBarOptions value) {
    if (value == options_) return;
    options_ = value;
    Invalidate();
}

void TCustomOwnerDrawScrollbar::SetLinkedControl(TWinControl* control) {
    if (control == linked_) return;
    if (linked_) linked_->RemoveFreeNotification(this);
    linked_ = control;
    if (linked_) linked_->FreeNotification(this);
}

TScrollBarLayout TCustomOwnerDrawScrollbar::Layout() {
    const RECT client = ClientRect();
    return LayoutScrollBar(client.width(), client.height(), min_, max_, pageSize_, position_);
}

int TCustomOwnerDrawScrollbar::PositionFromY(int y) {
    return ScrollBarPositionFromY(Layout(), y, min_, max_, pageSize_);
}

void TCustomOwnerDrawScrollbar::InvalidateTrack() {
    if (!HandleAllocated()) return;
    const RECT track = Layout().Track;
    // The page areas are drawn when the background is erased.
    InvalidateRect(Handle(), &track, TRUE);
}

void TCustomOwnerDrawScrollbar::ChangeState(TScrollBarState state) {
    const TScrollBarState changed = state_ ^ state;
    state_ = state;
    if (!changed || !HandleAllocated()) return;
    const TScrollBarLayout l = Layout();
    const HWND h = Handle();
    if (changed & (sbsTopArrowPressed | sbsTopArrowHot)) InvalidateRect(h, &l.TopArrow, FALSE);
    if (changed & (sbsBottomArrowPressed | sbsBottomArrowHot))
        InvalidateRect(h, &l.BottomArrow, FALSE);
    if (changed & (sbsThumbPressed | sbsThumbHot)) InvalidateRect(h, &l.Thumb, FALSE);
    if (changed & sbsPageUpPressed) InvalidateRect(h, &l.PageUp, TRUE);
    if (changed & sbsPageDownPressed) InvalidateRect(h, &l.PageDown, TRUE);
    UpdateWindow(h);
}

TCustomOwnerDrawScrollbar::Part TCustomOwnerDrawScrollbar::PartAt(POINT p) {
    const RECT client = ClientRect();
    if (!PtInRect(&client, p)) return Part::None;
    const TScrollBarLayout l = Layout();
    if (PtInRect(&l.TopArrow, p)) return Part::TopArrow;
    if (PtInRect(&l.BottomArrow, p)) return Part::BottomArrow;
    if (PtInRect(&l.Thumb, p)) return Part::Thumb;
    if (PtInRect(&l.PageUp, p)) return Part::PageUp;
    if (PtInRect(&l.PageDown, p)) return Part::PageDown;
    return Part::None;
}

void TCustomOwnerDrawScrollbar::SendScroll(int code, int position) {
    if (!linked_) return;
    SendMessage(linked_->Handle(), WM_VSCROLL, MAKEWPARAM(code, position), 0);
}

void TCustomOwnerDrawScrollbar::Step(Part part) {
    int code = SB_ENDSCROLL;
    int64_t delta = 0;
    switch (part) {
    case Part::TopArrow:
        code = SB_LINEUP, delta = -int64_t(smallChange_);
        break;
    case Part::BottomArrow:
        code = SB_LINEDOWN, delta = smallChange_;
        break;
    case Part::PageUp:
        code = SB_PAGEUP, delta = -int64_t(largeChange_);
        break;
    case Part::PageDown:
        code = SB_PAGEDOWN, delta = largeChange_;
        break;
    default:
        return;
    }
    if (linked_) {
        SendScroll(code);
        SendScroll(SB_ENDSCROLL);
    } else {
        SetPosition(int(std::clamp<int64_t>(position_ + delta, INT_MIN, INT_MAX)));
        if (HandleAllocated()) UpdateWindow(Handle());
    }
}

void TCustomOwnerDrawScrollbar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseDown(button, shift, x, y);
    if (button != mbLeft) return;
    const Part part = PartAt({x, y});
    TScrollBarState state = state_ | sbsLButtonDown;
    switch (part) {
    case Part::TopArrow:
        state |= sbsTopArrowPressed;
        break;
    case Part::BottomArrow:
        state |= sbsBottomArrowPressed;
        break;
    case Part::PageUp:
        state |= sbsPageUpPressed;
        break;
    case Part::PageDown:
        state |= sbsPageDownPressed;
        break;
    case Part::Thumb:
        state |= sbsThumbPressed;
        break;
    case Part::None:
        break;
    }
    ChangeState(state);
    if (part == Part::None || part == Part::Thumb) return;
    Step(part);
    if (HandleAllocated()) SetTimer(Handle(), DelayTimer, RepeatDelay);
}

void TCustomOwnerDrawScrollbar::MouseMove(TShiftState shift, int x, int y) {
    TCustomControl::MouseMove(shift, x, y);
    if (!HandleAllocated()) return;
    SetTimer(Handle(), HoverTimer, HoverInterval);
    if ((state_ & sbsThumbPressed) && (state_ & sbsLButtonDown)) {
        SetPosition(PositionFromY(y));
        UpdateWindow(Handle());
        SendScroll(SB_THUMBTRACK, position_);
    }
}

void TCustomOwnerDrawScrollbar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbLeft) EndPress();
    TCustomControl::MouseUp(button, shift, x, y);
}

void TCustomOwnerDrawScrollbar::EndPress() {
    StopPressTimers();
    const bool dragged = state_ & sbsThumbPressed;
    ChangeState(state_ & ~(sbsTopArrowPressed | sbsBottomArrowPressed | sbsThumbPressed |
                           sbsPageUpPressed | sbsPageDownPressed | sbsLButtonDown));
    if (dragged) SendScroll(SB_ENDSCROLL);
}

void TCustomOwnerDrawScrollbar::StopPressTimers() {
    if (!HandleAllocated()) return;
    KillTimer(Handle(), DelayTimer);
    KillTimer(Handle(), RepeatTimer);
}

void TCustomOwnerDrawScrollbar::TimerTick(UINT_PTR id) {
    if (id == HoverTimer) {
        UpdateHot();
        return;
    }
    if (id == DelayTimer) {
        KillTimer(Handle(), DelayTimer);
        SetTimer(Handle(), RepeatTimer, RepeatInterval);
    }
    Part part = Part::None;
    if (state_ & sbsTopArrowPressed)
        part = Part::TopArrow;
    else if (state_ & sbsBottomArrowPressed)
        part = Part::BottomArrow;
    else if (state_ & sbsPageUpPressed)
        part = Part::PageUp;
    else if (state_ & sbsPageDownPressed)
        part = Part::PageDown;
    if (part == Part::None) {
        StopPressTimers();
        return;
    }
    if (part == Part::PageUp || part == Part::PageDown) {
        // Paging stops where the thumb has reached the cursor.
        POINT cursor;
        GetCursorPos(cursor);
        cursor = ScreenToClient(cursor);
        const TScrollBarLayout l = Layout();
        const RECT area = part == Part::PageUp ? l.PageUp : l.PageDown;
        if (!PtInRect(&area, cursor)) return;
    }
    Step(part);
}

void TCustomOwnerDrawScrollbar::UpdateHot() {
    POINT cursor;
    GetCursorPos(cursor);
    const Part part = PartAt(ScreenToClient(cursor));
    TScrollBarState state = state_ & ~(sbsTopArrowHot | sbsBottomArrowHot | sbsThumbHot);
    if (part == Part::None) {
        KillTimer(Handle(), HoverTimer);
    } else if (part == Part::TopArrow) {
        state |= sbsTopArrowHot;
    } else if (part == Part::BottomArrow) {
        state |= sbsBottomArrowHot;
    } else if (part == Part::Thumb) {
        state |= sbsThumbHot;
    }
    ChangeState(state);
}

void TCustomOwnerDrawScrollbar::ColorsChanged(bool brush) {
    if (brush) BuildBrush();
    Invalidate();
}

void TCustomOwnerDrawScrollbar::CreateWnd() {
    TCustomControl::CreateWnd();
    OpenTheme();
}

void TCustomOwnerDrawScrollbar::DestroyWnd() {
    StopPressTimers();
    if (HandleAllocated()) KillTimer(Handle(), HoverTimer);
    state_ &=
        ~(sbsTopArrowPressed | sbsBottomArrowPressed | sbsThumbPressed | sbsPageUpPressed |
          sbsPageDownPressed | sbsLButtonDown | sbsTopArrowHot | sbsBottomArrowHot | sbsThumbHot);
    CloseTheme();
    TCustomControl::DestroyWnd();
}

void TCustomOwnerDrawScrollbar::OpenTheme() {
    CloseTheme();
    if (!HandleAllocated() || !UseThemes() || !OpenThemeData) return;
    theme_ = OpenThemeData(Handle(), u"scrollbar");
    if (theme_) state_ |= sbsThemeOpen;
}

void TCustomOwnerDrawScrollbar::CloseTheme() {
    // A library unbound meanwhile took its themes with it.
    if (theme_ && CloseThemeData) CloseThemeData(theme_);
    theme_ = nullptr;
    state_ &= ~sbsThemeOpen;
}

bool TCustomOwnerDrawScrollbar::Themed() const {
    return (options_ & soThemeAware) && theme_ && DrawThemeBackground;
}

void TCustomOwnerDrawScrollbar::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_MOUSEACTIVATE:
        if (!HasState(csDesigning)) {
            m.Result = MA_NOACTIVATE;
            return;
        }
        break;
    case WM_TIMER:
        if (m.WParam == DelayTimer || m.WParam == RepeatTimer || m.WParam == HoverTimer) {
            TimerTick(m.WParam);
            return;
        }
        break;
    case WM_CAPTURECHANGED:
        // Losing the mouse to another window ends a press as a release does.
        if (HandleAllocated() && reinterpret_cast<HWND>(m.LParam) != Handle() &&
            (state_ & sbsLButtonDown))
            EndPress();
        break;
    case WM_CANCELMODE:
        if (state_ & sbsLButtonDown) EndPress();
        break;
    case WM_ERASEBKGND:
        PaintPageAreas(DcFromWParam(m.WParam));
        m.Result = 1;
        return;
    case WM_PRINTCLIENT: {
        const HDC dc = DcFromWParam(m.WParam);
        PaintPageAreas(dc);
        PaintParts(dc);
        m.Result = 0;
        return;
    }
    case WM_SYSCOLORCHANGE:
    case CM_SYSCOLORCHANGE:
        BuildBrush();
        break;
    case WM_THEMECHANGED:
        OpenTheme();
        Invalidate();
        m.Result = 0;
        return;
    case WM_SIZE:
        TCustomControl::Dispatch(m);
        Invalidate();
        return;
    }
    TCustomControl::Dispatch(m);
}

// ---- Published ------------------------------------------------------------------------------

void TOwnerDrawScrollbar::DefinePublished(TFiler& f) {
    TCustomOwnerDrawScrollbar::DefinePublished(f);
    f.DefineObject("Colors", &Colors());
    f.Bool(
        "Flat", [this] { return Flat(); }, [this](bool v) { SetFlat(v); }, false);
    f.Integer(
        "LargeChange", [this] { return LargeChange(); },
        [this](int64_t v) { SetLargeChange(int(v)); }, 1);
    f.Integer(
        "Max", [this] { return Max(); }, [this](int64_t v) { SetMax(int(v)); }, 100);
    f.Integer(
        "Min", [this] { return Min(); }, [this](int64_t v) { SetMin(int(v)); }, 0);
    f.Set(
        "Options", {"soThemeAware"}, [this] { return Options(); },
        [this](unsigned v) { SetOptions(v); }, soThemeAware);
    f.Integer(
        "PageSize", [this] { return PageSize(); }, [this](int64_t v) { SetPageSize(int(v)); }, 1);
    f.Integer(
        "Position", [this] { return Position(); }, [this](int64_t v) { SetPosition(int(v)); }, 0);
    f.Integer(
        "SmallChange", [this] { return SmallChange(); },
        [this](int64_t v) { SetSmallChange(int(v)); }, 1);
}

void RegisterOwnerScrollbarClasses() {
    RegisterComponentClass<TOwnerDrawScrollbar>("TOwnerDrawScrollbar");
}

} // namespace ax
