// The windowless speed button: its states (up, down, exclusive, hot), flat
// and raised frames, the glyph and caption laid out, the group's one "down"
// button, the drop-down menu and the auto-repeat while held.
#include "controls/ExSpeedButton.h"

#include <algorithm>

#include "controls/CtrlUtils.h"
#include "framework/forms.h"
#include "framework/streaming.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquegdiobject.h"
#include "rtl/scopeguard.h"

namespace ax {

namespace {

void Line(HDC dc, int x1, int y1, int x2, int y2, TColor colour) {
    const UniquePen pen(CreatePen(PS_SOLID, 1, ColorToRGB(colour)));
    const ScopedSelection usePen(dc, pen.Get());
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

// A 1-pixel frame inside r: top and left in one colour, bottom and right in
// the other; r shrinks past it.
void Frame(HDC dc, RECT& r, TColor topLeft, TColor bottomRight) {
    Line(dc, r.left, r.bottom - 1, r.left, r.top, topLeft);
    Line(dc, r.left, r.top, r.right - 1, r.top, topLeft);
    Line(dc, r.right - 1, r.top, r.right - 1, r.bottom - 1, bottomRight);
    Line(dc, r.right - 1, r.bottom - 1, r.left - 1, r.bottom - 1, bottomRight);
    InflateRect(&r, -1, -1);
}

// The little arrow of a drop-down button: 5, 3 and 1 pixels wide.
void Arrow(HDC dc, int x, int y, TColor colour) {
    for (int row = 0; row < 3; ++row) Line(dc, x + row, y + row, x + 5 - row, y + row, colour);
}

} // namespace

TExSpeedButton::TExSpeedButton(TComponent* owner)
    : TGraphicControl(owner), glyph_(std::make_unique<TExButtonGlyph>()) {
    SetBounds(0, 0, 25, 25);
    SetShowHint(true);
    SetParentShowHint(false);
    opaque_ = true;
    clicksDisabled_ = true; // the button decides its clicks itself
    glyph_->OnChange = [this](TObject*) { Invalidate(); };
}

TExSpeedButton::~TExSpeedButton() { glyph_->OnChange = nullptr; }

void TExSpeedButton::DefinePublished(TFiler& f) {
    TGraphicControl::DefinePublished(f);
    f.Enum("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, [this] { return int(alignment_); },
           [this](int v) { SetAlignment(TAlignment(v)); }, int(taCenter));
    f.Bool("AllowAllUp", [this] { return allowAllUp_; }, [this](bool v) { SetAllowAllUp(v); }, false);
    f.Bool("AllowTimer", [this] { return allowTimer_; }, [this](bool v) { allowTimer_ = v; }, false);
    f.Integer("GroupIndex", [this] { return groupIndex_; }, [this](int64_t v) { SetGroupIndex(int(v)); }, 0);
    f.Bool("Down", [this] { return down_; }, [this](bool v) { SetDown(v); }, false);
    f.Bool("Flat", [this] { return flat_; }, [this](bool v) { SetFlat(v); }, false);
    f.DefineObject("Glyph", &glyph_->Glyph());
    f.Bool("GrayedInactive", [this] { return grayedInactive_; }, [this](bool v) { SetGrayedInactive(v); }, true);
    f.Integer("InitPause", [this] { return initPause_; }, [this](int64_t v) { initPause_ = uint16_t(v); }, 500);
    f.Enum("Layout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"}, [this] { return int(layout_); },
           [this](int v) { SetLayout(TButtonLayout(v)); }, int(blGlyphTop));
    f.Integer("Margin", [this] { return margin_; }, [this](int64_t v) { SetMargin(int(v)); }, -1);
    f.Bool("MarkDropDown", [this] { return markDropDown_; }, [this](bool v) { SetMarkDropDown(v); }, true);
    f.Integer("ModalResult", [this] { return modalResult_; }, [this](int64_t v) { modalResult_ = int(v); }, 0);
    f.Integer("NumGlyphs", [this] { return NumGlyphs(); }, [this](int64_t v) { SetNumGlyphs(int(v)); }, 1);
    f.Integer("RepeatInterval", [this] { return repeatInterval_; }, [this](int64_t v) { repeatInterval_ = uint16_t(v); }, 100);
    f.Integer("Spacing", [this] { return spacing_; }, [this](int64_t v) { SetSpacing(int(v)); }, 1);
    f.Bool("Transparent", [this] { return transparent_; }, [this](bool v) { SetTransparent(v); }, false);
    f.Bool("WordWrap", [this] { return wordWrap_; }, [this](bool v) { SetWordWrap(v); }, false);
}

void TExSpeedButton::Notification(TComponent* component, TOperation operation) {
    TGraphicControl::Notification(component, operation);
    if (operation == opRemove && component == dropDownMenu_) dropDownMenu_ = nullptr;
}

void TExSpeedButton::SetAlignment(TAlignment value) {
    if (alignment_ == value) return;
    alignment_ = value;
    Invalidate();
}
void TExSpeedButton::SetFlat(bool value) {
    if (flat_ == value) return;
    flat_ = value;
    Invalidate();
}
void TExSpeedButton::SetGrayedInactive(bool value) {
    if (grayedInactive_ == value) return;
    grayedInactive_ = value;
    Invalidate();
}
void TExSpeedButton::SetLayout(TButtonLayout value) {
    if (layout_ == value) return;
    layout_ = value;
    Invalidate();
}
void TExSpeedButton::SetMargin(int value) {
    if (margin_ == value || value < -1) return;
    margin_ = value;
    Invalidate();
}
void TExSpeedButton::SetMarkDropDown(bool value) {
    if (markDropDown_ == value) return;
    markDropDown_ = value;
    Invalidate();
}
void TExSpeedButton::SetSpacing(int value) {
    if (spacing_ == value) return;
    spacing_ = value;
    Invalidate();
}
void TExSpeedButton::SetStyle(TButtonStyle value) {
    if (style_ == value) return;
    style_ = value;
    Invalidate();
}
void TExSpeedButton::SetTransparent(bool value) {
    if (transparent_ == value) return;
    transparent_ = value;
    opaque_ = !value;
    Invalidate();
}
void TExSpeedButton::SetWordWrap(bool value) {
    if (wordWrap_ == value) return;
    wordWrap_ = value;
    Invalidate();
}

void TExSpeedButton::SetDropDownMenu(TPopupMenu* menu) {
    if (dropDownMenu_ == menu) return;
    if (dropDownMenu_) dropDownMenu_->RemoveFreeNotification(this);
    dropDownMenu_ = menu;
    if (menu) menu->FreeNotification(this);
    Invalidate();
}

void TExSpeedButton::SetGroupIndex(int value) {
    if (groupIndex_ == value) return;
    groupIndex_ = value;
    UpdateExclusive();
}

void TExSpeedButton::SetAllowAllUp(bool value) {
    if (allowAllUp_ == value) return;
    allowAllUp_ = value;
    UpdateExclusive();
}

void TExSpeedButton::SetDown(bool value) {
    if (groupIndex_ == 0) value = false;
    if (value == down_) return;
    if (down_ && !allowAllUp_) return;
    down_ = value;
    state_ = value ? bsExclusive : bsUp;
    Invalidate();
    if (value) UpdateExclusive();
}

void TExSpeedButton::UpdateExclusive() {
    if (groupIndex_ == 0 || !Parent()) return;
    TWinControl* parent = Parent();
    for (int i = 0; i < parent->ControlCount(); ++i)
        parent->Controls(i)->Perform(CM_EXBUTTONPRESSED, WPARAM(groupIndex_), reinterpret_cast<LPARAM>(this));
}

void TExSpeedButton::ButtonPressed(TExSpeedButton* sender) {
    if (sender == this || sender->groupIndex_ != groupIndex_) return;
    if (sender->down_ && down_) {
        down_ = false;
        state_ = bsUp;
        Invalidate();
    }
    allowAllUp_ = sender->allowAllUp_;
}

TButtonState TExSpeedButton::PaintState() const {
    if (flat_ && !mouseIn_ && !HasState(csDesigning)) return bsInactive;
    return state_;
}

void TExSpeedButton::SetMouseIn(bool in) {
    if (mouseIn_ == in) return;
    mouseIn_ = in;
    if (in && OnMouseEnter) OnMouseEnter(this);
    if (!in && OnMouseLeave) OnMouseLeave(this);
    if (flat_) Invalidate();
}

void TExSpeedButton::UpdateTracking() {
    bool in = false;
    if (Enabled() && Visible() && Parent() && IsForegroundTask()) {
        POINT p{};
        GetCursorPos(p);
        p = ScreenToClient(p);
        in = p.x >= 0 && p.y >= 0 && p.x < Width() && p.y < Height();
    }
    SetMouseIn(in);
}

void TExSpeedButton::DrawButtonFrame(TCanvas& canvas, RECT& r, TButtonState state) {
    HDC dc = canvas.Handle();
    const bool pressed = state == bsDown || state == bsExclusive;
    if (!pressed) {
        if (NewLook()) {
            if (!flat_) Frame(dc, r, clBtnHighlight, clWindowFrame);
            Frame(dc, r, flat_ ? clBtnHighlight : clBtnFace, clBtnShadow);
        } else if (!flat_) {
            Frame(dc, r, clWindowFrame, clWindowFrame);
            Frame(dc, r, clBtnHighlight, clBtnShadow);
        } else {
            Frame(dc, r, clBtnHighlight, clWindowFrame);
        }
    } else if (NewLook()) {
        Frame(dc, r, clWindowFrame, clBtnHighlight);
        if (!flat_) Frame(dc, r, clBtnShadow, clBtnFace);
    } else if (!flat_) {
        Frame(dc, r, clWindowFrame, clWindowFrame);
        Line(dc, r.left, r.bottom - 1, r.left, r.top, clBtnShadow);
        Line(dc, r.left, r.top, r.right, r.top, clBtnShadow);
    } else {
        Frame(dc, r, clWindowFrame, clBtnHighlight);
    }
    InflateRect(&r, -1, -1);
}

void TExSpeedButton::Paint() { PaintButton(Canvas()); }

void TExSpeedButton::PaintButton(TCanvas& c) {
    if (!Enabled()) {
        state_ = bsDisabled;
        dragging_ = false;
    } else if (state_ == bsDisabled) {
        state_ = (down_ && groupIndex_ != 0) ? bsExclusive : bsUp;
    }
    const TButtonState paint = PaintState();
    RECT r{0, 0, Width(), Height()};
    HDC dc = c.Handle();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clBtnFace);
    if (transparent_) CopyParentImage(*this, c);
    else c.FillRect(r);
    if (paint != bsInactive || state_ == bsExclusive) DrawButtonFrame(c, r, state_);
    else if (flat_) InflateRect(&r, -2, -2);
    if (state_ == bsExclusive && !transparent_ && (!flat_ || paint == bsInactive)) {
        // The dither of face and highlight of a button held down.
        const COLORREF face = ColorToRGB(clBtnFace), light = ColorToRGB(clBtnHighlight);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) ::ax::SetPixel(dc, x, y, ((x + y) & 1) ? light : face);
    }
    int offset = (state_ == bsDown || state_ == bsExclusive) ? 1 : 0;

    // The block of glyph and caption, laid out by Layout, Margin and Spacing.
    const TButtonState imageState = (state_ == bsDisabled || !grayedInactive_) ? state_ : paint;
    const SIZE gs = glyph_->ImageSize();
    const AnsiString caption = Caption();
    c.Font().Assign(&Font());
    SIZE ts{0, 0};
    if (!caption.empty()) {
        RECT calc{0, 0, r.right - r.left, 0};
        DrawText(dc, StripHotkey(caption), &calc, DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE));
        ts = {calc.right, calc.bottom};
    }
    const bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
    const int gap = (gs.cx > 0 && !caption.empty()) ? spacing_ : 0;
    const int available = horizontal ? r.right - r.left : r.bottom - r.top;
    const int block = horizontal ? gs.cx + gap + ts.cx : gs.cy + gap + ts.cy;
    const int start = margin_ < 0 ? (available - block) / 2 : margin_;
    POINT gp{}, tp{};
    switch (layout_) {
    case blGlyphLeft:
        gp = {r.left + start, r.top + (r.bottom - r.top - gs.cy) / 2};
        tp = {gp.x + gs.cx + gap, r.top + (r.bottom - r.top - ts.cy) / 2};
        break;
    case blGlyphRight:
        tp = {r.left + start, r.top + (r.bottom - r.top - ts.cy) / 2};
        gp = {tp.x + ts.cx + gap, r.top + (r.bottom - r.top - gs.cy) / 2};
        break;
    case blGlyphTop:
        gp = {r.left + (r.right - r.left - gs.cx) / 2, r.top + start};
        tp = {r.left + (r.right - r.left - ts.cx) / 2, gp.y + gs.cy + gap};
        break;
    case blGlyphBottom:
        tp = {r.left + (r.right - r.left - ts.cx) / 2, r.top + start};
        gp = {r.left + (r.right - r.left - gs.cx) / 2, tp.y + ts.cy + gap};
        break;
    }
    if (gs.cx > 0) glyph_->Draw(c, gp.x + offset, gp.y + offset, imageState);
    if (!caption.empty()) {
        RECT tr{tp.x + offset, tp.y + offset, tp.x + offset + ts.cx, tp.y + offset + ts.cy};
        if (tr.right > r.right) tr.right = r.right;
        AnsiString shown = caption;
        if (!wordWrap_ && ts.cx > r.right - r.left) shown = ShortenText(caption, c, r.right - r.left);
        const UINT align = alignment_ == taLeftJustify ? DT_LEFT : alignment_ == taRightJustify ? DT_RIGHT : DT_CENTER;
        const UINT flags = align | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE);
        SetBkMode(dc, TRANSPARENT);
        if (state_ == bsDisabled) {
            RECT shadow = tr;
            OffsetRect(&shadow, 1, 1);
            SetTextColor(dc, ColorToRGB(clBtnHighlight));
            DrawText(dc, shown, &shadow, flags);
            SetTextColor(dc, ColorToRGB(clBtnShadow));
        } else {
            SetTextColor(dc, ColorToRGB(clBtnText));
        }
        DrawText(dc, shown, &tr, flags);
    }
    if (markDropDown_ && dropDownMenu_) {
        int x;
        if (gs.cx > 0) x = gp.x + gs.cx + 3;
        else if (!caption.empty()) x = tp.x + ts.cx + 3;
        else x = (r.left + r.right - 7) / 2;
        const int y = (r.top + r.bottom - 3) / 2;
        if (state_ == bsDisabled) {
            Arrow(dc, x + offset + 1, y + offset + 1, clBtnHighlight);
            Arrow(dc, x + offset, y + offset, clBtnShadow);
        } else {
            Arrow(dc, x + offset, y + offset, clBtnText);
        }
    }
}

POINT TExSpeedButton::DropDownPoint() const {
    const TPopupAlignment a = dropDownMenu_ ? dropDownMenu_->Alignment() : paLeft;
    if (menuPosition_ == dmpBottom) {
        if (a == paRight) return {Width() + 1, Height()};
        if (a == paCenter) return {Width() / 2, Height()};
        return {-1, Height()};
    }
    if (a == paRight) return {-1, -1};
    if (a == paCenter) return {Width() / 2, Height()};
    return {Width(), -1};
}

bool TExSpeedButton::ShowDropDown() {
    if (!dropDownMenu_ || !dropDownMenu_->AutoPopup()) return false;
    const POINT p = const_cast<TExSpeedButton*>(this)->ClientToScreen(DropDownPoint());
    if (TCustomForm* form = GetParentForm(this)) form->SendCancelMode(nullptr);
    dropDownMenu_->SetPopupComponent(this);
    menuTracking_ = true;
    ScopeGuard reset([this] { menuTracking_ = false; });
    dropDownMenu_->Popup(p.x, p.y);
    // A press that closed the menu over the button must not press it again.
    if (Parent() && Parent()->HandleAllocated()) {
        const HWND parent = Parent()->Handle();
        MSG m;
        if (PeekMessage(m, parent, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, PM_NOREMOVE) && m.message != WM_LBUTTONUP) {
            const POINT at{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
            const RECT bounds = BoundsRect();
            if (PtInRect(&bounds, at)) KillMessage(parent, m.message);
        }
    }
    return true;
}

void TExSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TGraphicControl::MouseDown(button, shift, x, y);
    if (button != mbLeft || !Enabled() || menuTracking_) return;
    SetMouseIn(true);
    if (!down_) {
        state_ = bsDown;
        Repaint();
    }
    dragging_ = true;
    if (dropDownMenu_ && ShowDropDown()) {
        // Finished at once, as a release away from the button: no click.
        MouseUp(mbLeft, shift, -1, -1);
        return;
    }
    if (allowTimer_) {
        if (!repeatTimer_) {
            repeatTimer_ = TComponent::Create<TTimer>(this);
            repeatTimer_->OnTimer = [this](TObject*) { TimerStep(); };
        }
        repeatTimer_->SetEnabled(false);
        repeatTimer_->SetInterval(initPause_);
        repeatTimer_->SetEnabled(true);
    }
}

void TExSpeedButton::MouseMove(TShiftState shift, int x, int y) {
    TGraphicControl::MouseMove(shift, x, y);
    if (!dragging_) return;
    const bool inside = x >= 0 && x < ClientWidth() && y >= 0 && y < ClientHeight();
    const TButtonState next = inside ? (down_ ? bsExclusive : bsDown) : (down_ ? bsExclusive : bsUp);
    if (next != state_) {
        state_ = next;
        Invalidate();
    }
}

void TExSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TGraphicControl::MouseUp(button, shift, x, y);
    if (button != mbLeft || !dragging_) return;
    dragging_ = false;
    // The button's own rectangle, right and bottom edges outside it.
    const bool inside = x >= 0 && x < ClientWidth() && y >= 0 && y < ClientHeight();
    if (groupIndex_ == 0) {
        state_ = bsUp;
        mouseIn_ = false;
        Invalidate();
    } else if (inside) {
        SetDown(!down_);
        state_ = down_ ? bsExclusive : bsUp;
        Invalidate();
    } else {
        state_ = down_ ? bsExclusive : bsUp;
        Invalidate();
    }
    if (repeatTimer_) repeatTimer_->SetEnabled(false);
    if (inside && !menuTracking_) Click();
    UpdateTracking();
}

void TExSpeedButton::TimerStep() {
    repeatTimer_->SetInterval(repeatInterval_);
    if (state_ == bsDown && MouseCapture()) Click();
}

void TExSpeedButton::Click() {
    if (modalResult_ != 0)
        if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
    TGraphicControl::Click();
}

void TExSpeedButton::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_LBUTTONDBLCLK:
        if (menuTracking_) return;
        TGraphicControl::Dispatch(m);
        if (down_ && OnDblClick) OnDblClick(this);
        return;
    case CM_EXBUTTONPRESSED:
        ButtonPressed(reinterpret_cast<TExSpeedButton*>(m.LParam));
        return;
    case CM_DIALOGCHAR:
        if (IsAccel(char(m.WParam), Caption()) && Enabled() && Visible()) {
            Click();
            m.Result = 1;
            return;
        }
        break;
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED:
        TGraphicControl::Dispatch(m);
        Invalidate();
        return;
    case CM_SYSCOLORCHANGE:
        glyph_->Invalidate();
        Invalidate();
        return;
    case CM_MOUSEENTER:
        TGraphicControl::Dispatch(m);
        UpdateTracking();
        return;
    case CM_MOUSELEAVE:
        TGraphicControl::Dispatch(m);
        if (!dragging_) UpdateTracking();
        return;
    case CM_ENABLEDCHANGED:
    case CM_VISIBLECHANGED:
        TGraphicControl::Dispatch(m);
        UpdateTracking();
        Invalidate();
        return;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        TGraphicControl::Dispatch(m);
        UpdateTracking();
        return;
    }
    TGraphicControl::Dispatch(m);
}

} // namespace ax
