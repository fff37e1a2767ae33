// Drawing of the owner-drawn scroll bar: the arrows and the thumb when
// painted, the page areas when the background is erased, all of them for
// WM_PRINTCLIENT; themed while a "scrollbar" theme is held, classic
// otherwise.
#include "rtl/scopeguard.h"
#include "shell/OwnerScrollbars.h"

namespace ax {

namespace {

// Theme parts and states of the "scrollbar" class.
constexpr int kArrowButton = 1, kThumbVert = 3, kLowerTrackVert = 6, kUpperTrackVert = 7,
              kGripperVert = 9;
constexpr int kTrackNormal = 1, kTrackPressed = 3;

// State ids in the order disabled, pressed, hot, normal.
int ThemeState(TScrollPaintState state, int disabled, int pressed, int hot, int normal) {
    switch (state) {
    case spsDisabled:
        return disabled;
    case spsPressed:
        return pressed;
    case spsHot:
        return hot;
    default:
        return normal;
    }
}

void FillColor(HDC dc, const RECT& rect, TColor color) {
    const UniqueBrush brush(CreateSolidBrush(ColorToRGB(color)));
    FillRect(dc, &rect, brush.Get());
}

uint32_t Argb(TColor color) {
    const COLORREF c = ColorToRGB(color);
    return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) |
           GetBValue(c);
}

} // namespace

void TCustomOwnerDrawScrollbar::BuildBrush() {
    uint32_t pixels[64];
    const uint32_t a = Argb(colors_->Background()), b = Argb(colors_->BackgroundBlend());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            pixels[y * 8 + x] = (x + y) % 2 == 0 ? a : b;
    const UniqueBitmap bitmap(CreateBitmapFromPixels(8, 8, pixels, false));
    brush_.Reset(CreatePatternBrush(bitmap.Get()));
}

TScrollPaintState TCustomOwnerDrawScrollbar::PartState(Part part) const {
    if (!Enabled()) return spsDisabled;
    TScrollBarState pressed = 0, hot = 0;
    switch (part) {
    case Part::TopArrow:
        pressed = sbsTopArrowPressed, hot = sbsTopArrowHot;
        break;
    case Part::BottomArrow:
        pressed = sbsBottomArrowPressed, hot = sbsBottomArrowHot;
        break;
    case Part::Thumb:
        pressed = sbsThumbPressed, hot = sbsThumbHot;
        break;
    default:
        return spsNormal;
    }
    if (state_ & pressed) return spsPressed;
    if (state_ & hot) return spsHot;
    return spsNormal;
}

void TCustomOwnerDrawScrollbar::OnDC(HDC dc, const std::function<void(TCanvas&)>& draw) {
    TCanvas& canvas = Canvas();
    if (painting_) {
        draw(canvas);
        return;
    }
    canvas.Lock();
    canvas.SetHandle(dc);
    ScopeGuard release([&] {
        canvas.SetHandle({});
        canvas.Unlock();
    });
    draw(canvas);
}

bool TCustomOwnerDrawScrollbar::CustomPaint(HDC dc, TScrollPaintCycle cycle,
                                            TScrollPaintState state, const RECT& rect) {
    if (!OnScrollCustomPaint) return false;
    bool handled = false;
    OnDC(dc,
         [&](TCanvas& canvas) { OnScrollCustomPaint(this, cycle, state, rect, canvas, handled); });
    return handled;
}

void TCustomOwnerDrawScrollbar::Paint() {
    painting_ = true;
    ScopeGuard done([this] { painting_ = false; });
    PaintParts(Canvas().Handle());
}

void TCustomOwnerDrawScrollbar::PaintParts(HDC dc) {
    const TScrollBarLayout l = Layout();
    PaintPart(dc, Part::TopArrow, l);
    PaintPart(dc, Part::BottomArrow, l);
    PaintPart(dc, Part::Thumb, l);
}

void TCustomOwnerDrawScrollbar::PaintPart(HDC dc, Part part, const TScrollBarLayout& l) {
    const TScrollPaintState state = PartState(part);
    RECT rect = part == Part::TopArrow      ? l.TopArrow
                : part == Part::BottomArrow ? l.BottomArrow
                                            : l.Thumb;
    const TScrollPaintCycle cycle = part == Part::TopArrow      ? spcTopArrow
                                    : part == Part::BottomArrow ? spcBottomArrow
                                                                : spcThumb;
    if (CustomPaint(dc, cycle, state, rect)) return;
    if (part == Part::Thumb && l.ThumbHeight <= 0) return;
    if (Themed()) {
        if (part == Part::TopArrow) {
            DrawThemeBackground(theme_, dc, kArrowButton, ThemeState(state, 4, 3, 2, 1), &rect,
                                nullptr);
        } else if (part == Part::BottomArrow) {
            DrawThemeBackground(theme_, dc, kArrowButton, ThemeState(state, 8, 7, 6, 5), &rect,
                                nullptr);
        } else {
            const int id = ThemeState(state, 4, 3, 2, 1);
            DrawThemeBackground(theme_, dc, kThumbVert, id, &rect, nullptr);
            RECT content = rect;
            if (GetThemeBackgroundContentRect && SUCCEEDED(GetThemeBackgroundContentRect(
                                                     theme_, dc, kThumbVert, id, &rect, &content)))
                DrawThemeBackground(theme_, dc, kGripperVert, id, &content, nullptr);
        }
        return;
    }
    if (part == Part::Thumb) {
        // The classic thumb looks the same in every state.
        FillColor(dc, rect, colors_->ThumbButton());
        if (flat_) {
            const UniqueBrush shadow(CreateSolidBrush(ColorToRGB(clBtnShadow)));
            FrameRect(dc, &rect, shadow.Get());
        } else {
            DrawEdge(dc, &rect, EDGE_RAISED, BF_RECT);
        }
        return;
    }
    UINT flags = part == Part::TopArrow ? DFCS_SCROLLUP : DFCS_SCROLLDOWN;
    if (state == spsDisabled) {
        flags |= DFCS_INACTIVE;
    } else {
        if (flat_) flags |= DFCS_FLAT;
        if (state == spsPressed) flags |= flat_ ? DFCS_PUSHED : DFCS_FLAT;
    }
    DrawFrameControl(dc, &rect, DFC_SCROLL, flags);
}

void TCustomOwnerDrawScrollbar::PaintPageAreas(HDC dc) {
    const TScrollBarLayout l = Layout();
    if (CustomPaint(dc, spcPageAreas, spsNormal, l.Track)) return;
    const bool upPressed = state_ & sbsPageUpPressed, downPressed = state_ & sbsPageDownPressed;
    if (Themed()) {
        int upPart = kUpperTrackVert, downPart = kLowerTrackVert;
        if (downPressed)
            upPart = downPart = kUpperTrackVert;
        else if (upPressed)
            upPart = downPart = kLowerTrackVert;
        DrawThemeBackground(theme_, dc, upPart, upPressed ? kTrackPressed : kTrackNormal, &l.PageUp,
                            nullptr);
        DrawThemeBackground(theme_, dc, downPart, downPressed ? kTrackPressed : kTrackNormal,
                            &l.PageDown, nullptr);
        return;
    }
    if (upPressed)
        FillColor(dc, l.PageUp, colors_->PageScrollHot());
    else
        FillRect(dc, &l.PageUp, brush_.Get());
    if (downPressed)
        FillColor(dc, l.PageDown, colors_->PageScrollHot());
    else
        FillRect(dc, &l.PageDown, brush_.Get());
}

} // namespace ax
