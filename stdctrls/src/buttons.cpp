// Push button, check box and radio button.
#include "framework/streaming.h"
#include "platform/gdi/checkglyph.h"
#include "stdctrls/button.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/common.h"
#include "stdctrls/messages.h"
#include "stdctrls/radiobutton.h"
#include "stdctrls_internal.h"

namespace ax {

// ---- Button control -------------------------------------------------------------------------

TButtonControl::TButtonControl(TComponent* owner) : TCustomControl(owner) {
    tabStop_ = true;
    color_ = clBtnFace;
}

void TButtonControl::SetWordWrap(bool value) {
    if (wordWrap_ == value) return;
    wordWrap_ = value;
    Invalidate();
}

void TButtonControl::DrawCaption(TCanvas& c, RECT rect, UINT flags) {
    if (wordWrap_) flags = (flags & ~UINT(DT_SINGLELINE | DT_VCENTER)) | DT_WORDBREAK;
    if (!enabled_) {
        // Disabled text: embossed, a highlight copy below right.
        RECT shadow = rect;
        OffsetRect(&shadow, 1, 1);
        c.Font().SetColor(clBtnHighlight);
        CanvasDrawText(c, text_, shadow, flags);
        c.Font().SetColor(clGrayText);
    } else {
        c.Font().SetColor(Font().Color());
    }
    CanvasDrawText(c, text_, rect, flags);
}

void TButtonControl::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_SETFOCUS:
        TCustomControl::Dispatch(m);
        focused_ = true;
        Invalidate();
        return;
    case WM_KILLFOCUS:
        TCustomControl::Dispatch(m);
        focused_ = false;
        pushed_ = spaceDown_ = false;
        Invalidate();
        return;
    case CM_FOCUSCHANGED:
    case CM_ENABLEDCHANGED:
        Invalidate();
        break;
    }
    TCustomControl::Dispatch(m);
}

void TButtonControl::DefaultHandler(TMessage& m) {
    switch (m.Msg) {
    case WM_KEYDOWN:
        if (m.WParam == VK_SPACE && !spaceDown_) {
            spaceDown_ = pushed_ = true;
            Invalidate();
        }
        return;
    case WM_KEYUP:
        if (m.WParam == VK_SPACE && spaceDown_) {
            spaceDown_ = pushed_ = false;
            Invalidate();
            Click();
        }
        return;
    case BM_CLICK: Click(); return;
    case BM_GETCHECK: m.Result = Checked() ? BST_CHECKED : BST_UNCHECKED; return;
    case BM_SETCHECK: SetChecked(m.WParam == BST_CHECKED); return;
    case BM_GETSTATE: m.Result = (Checked() ? BST_CHECKED : 0) | (pushed_ ? BST_PUSHED : 0) | (focused_ ? BST_FOCUS : 0); return;
    }
    TCustomControl::DefaultHandler(m);
}

void TButtonControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbLeft) {
        if (CanFocus() && !focused_) SetFocus();
        pushed_ = true;
        Invalidate();
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

void TButtonControl::MouseMove(TShiftState shift, int x, int y) {
    if (MouseCapture() && (shift & ssLeft)) {
        const RECT r = ClientRect();
        const bool inside = PtInRect(&r, POINT{x, y});
        if (inside != pushed_) {
            pushed_ = inside;
            Invalidate();
        }
    }
    TCustomControl::MouseMove(shift, x, y);
}

void TButtonControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbLeft && pushed_) {
        pushed_ = false;
        Invalidate();
    }
    TCustomControl::MouseUp(button, shift, x, y);
}

// ---- Push button ----------------------------------------------------------------------------

TButton::TButton(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 75, 25); }

void TButton::DefinePublished(TFiler& f) {
    TButtonControl::DefinePublished(f);
    f.Bool("Default", [this] { return default_; }, [this](bool v) { SetDefault(v); }, false);
    f.Bool("Cancel", [this] { return cancel_; }, [this](bool v) { cancel_ = v; }, false);
    f.Integer("ModalResult", [this] { return modalResult_; }, [this](int64_t v) { modalResult_ = TModalResult(v); }, 0);
}

void TButton::SetDefault(bool value) {
    if (default_ == value) return;
    default_ = value;
    Invalidate();
}

void TButton::Click() {
    if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
    TButtonControl::Click();
}

bool TButton::Active() const {
    if (focused_) return true;
    if (!default_) return false;
    TWinControl* focus = TWinControl::FindControl(GetFocus());
    return !(focus && focus != this && dynamic_cast<TButtonControl*>(focus) &&
             !dynamic_cast<TCustomCheckBox*>(focus) && !dynamic_cast<TRadioButton*>(focus));
}

LRESULT TButton::DialogCode() { return DLGC_BUTTON | (Active() ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON); }

void TButton::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CM_DIALOGKEY:
        if (((m.WParam == VK_RETURN && Active()) || (m.WParam == VK_ESCAPE && cancel_)) && visible_ && enabled_ &&
            Showing()) {
            Click();
            m.Result = 1;
            return;
        }
        m.Result = 0;
        return;
    case CM_DIALOGCHAR:
        if (IsAccel(char(m.WParam), text_) && visible_ && enabled_ && Showing()) {
            Click();
            m.Result = 1;
            return;
        }
        m.Result = 0;
        return;
    }
    TButtonControl::Dispatch(m);
}

RECT TButton::DrawFace(TCanvas& c) {
    RECT r = ClientRect();
    HDC dc = c.Handle();
    if (Active()) {
        c.Brush().SetColor(clWindowFrame);
        c.FrameRect(r);
        InflateRect(&r, -1, -1);
    }
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed_ ? UINT(DFCS_PUSHED) : 0u));
    InflateRect(&r, -2, -2);
    if (pushed_) OffsetRect(&r, 1, 1);
    return r;
}

void TButton::Paint() {
    TCanvas& c = Canvas();
    RECT r = DrawFace(c);
    DrawCaption(c, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (focused_) {
        RECT f = ClientRect();
        InflateRect(&f, -4, -4);
        c.DrawFocusRect(f);
    }
}

// ---- Check box ------------------------------------------------------------------------------

namespace {
constexpr int kBoxSize = 13;

// Box at one side, caption at the other; answers the caption rectangle.
RECT CheckLayout(const RECT& client, TAlignment alignment, RECT& box) {
    const int top = client.top + (client.height() - kBoxSize) / 2;
    RECT text = client;
    if (alignment == taLeftJustify) {
        box = {client.right - kBoxSize, top, client.right, top + kBoxSize};
        text.right = box.left - 4;
    } else {
        box = {client.left, top, client.left + kBoxSize, top + kBoxSize};
        text.left = box.right + 4;
    }
    return text;
}
} // namespace

TCustomCheckBox::TCustomCheckBox(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 97, 17); }

void TCustomCheckBox::DefinePublished(TFiler& f) {
    TButtonControl::DefinePublished(f);
    f.Bool("AllowGrayed", [this] { return allowGrayed_; }, [this](bool v) { allowGrayed_ = v; }, false);
    f.Enum("State", {"cbUnchecked", "cbChecked", "cbGrayed"}, [this] { return int(state_); },
           [this](int v) { SetState(TCheckBoxState(v)); }, 0);
    f.Enum("Alignment", {"taLeftJustify", "taRightJustify"}, [this] { return int(alignment_); },
           [this](int v) { SetAlignment(TAlignment(v)); }, int(taRightJustify));
}

void TCustomCheckBox::SetState(TCheckBoxState state) {
    if (state_ == state) return;
    state_ = state;
    Invalidate();
    if (!HasState(csLoading)) TButtonControl::Click();
}

void TCustomCheckBox::SetAlignment(TAlignment value) {
    if (alignment_ == value) return;
    alignment_ = value;
    Invalidate();
}

void TCustomCheckBox::Toggle() {
    switch (state_) {
    case cbUnchecked: SetState(allowGrayed_ ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
    }
}

void TCustomCheckBox::Click() { Toggle(); }

void TCustomCheckBox::Dispatch(TMessage& m) {
    if (m.Msg == CM_DIALOGCHAR) {
        m.Result = 0;
        if (IsAccel(char(m.WParam), text_) && CanFocus()) {
            SetFocus();
            if (Focused()) Toggle();
            m.Result = 1;
        }
        return;
    }
    TButtonControl::Dispatch(m);
}

void TCustomCheckBox::Paint() {
    TCanvas& c = Canvas();
    const RECT client = ClientRect();
    c.Brush().SetColor(color_);
    c.FillRect(client);
    RECT box;
    RECT text = CheckLayout(client, alignment_, box);
    const CheckMark mark = state_ == cbChecked  ? CheckMark::Checked
                           : state_ == cbGrayed ? CheckMark::Grayed
                                                : CheckMark::Unchecked;
    DrawCheck(c.Handle(), box, mark, !enabled_, pushed_);
    DrawCaption(c, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (focused_) {
        RECT f = MeasureDrawText(Font(), text_, text, DT_LEFT | DT_SINGLELINE);
        f.top = text.top + (text.height() - f.height()) / 2;
        f.bottom = f.top + MeasureDrawText(Font(), "Wy", text, DT_SINGLELINE).height();
        InflateRect(&f, 1, 0);
        c.DrawFocusRect(f);
    }
}

void TCustomCheckBox::DrawCheck(HDC dc, const RECT& box, CheckMark mark, bool disabled, bool pushed) {
    DrawCheckOrRadio(dc, box, false, mark, disabled || pushed);
}

// ---- Radio button ---------------------------------------------------------------------------

TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner) {
    SetBounds(0, 0, 113, 17);
    tabStop_ = false;
}

void TRadioButton::DefinePublished(TFiler& f) {
    TButtonControl::DefinePublished(f);
    f.Bool("Checked", [this] { return checked_; }, [this](bool v) { SetChecked(v); }, false);
    f.Enum("Alignment", {"taLeftJustify", "taRightJustify"}, [this] { return int(alignment_); },
           [this](int v) { SetAlignment(TAlignment(v)); }, int(taRightJustify));
}

void TRadioButton::SetChecked(bool value) {
    if (checked_ == value) return;
    checked_ = value;
    // Only the checked button of a group is a tab stop.
    SetTabStop(value);
    Invalidate();
    if (!value) return;
    if (parent_)
        for (int i = 0; i < parent_->ControlCount(); ++i)
            if (auto* other = dynamic_cast<TRadioButton*>(parent_->Controls(i)); other && other != this)
                other->SetChecked(false);
    if (!HasState(csLoading)) TButtonControl::Click();
}

void TRadioButton::SetAlignment(TAlignment value) {
    if (alignment_ == value) return;
    alignment_ = value;
    Invalidate();
}

void TRadioButton::Click() { SetChecked(true); }

void TRadioButton::Dispatch(TMessage& m) {
    if (m.Msg == CM_DIALOGCHAR) {
        m.Result = 0;
        if (IsAccel(char(m.WParam), text_) && CanFocus()) {
            SetFocus();
            if (Focused()) SetChecked(true);
            m.Result = 1;
        }
        return;
    }
    TButtonControl::Dispatch(m);
}

void TRadioButton::Paint() {
    TCanvas& c = Canvas();
    const RECT client = ClientRect();
    c.Brush().SetColor(color_);
    c.FillRect(client);
    RECT box;
    RECT text = CheckLayout(client, alignment_, box);
    DrawCheckOrRadio(c.Handle(), box, true, checked_ ? CheckMark::Checked : CheckMark::Unchecked,
                     !enabled_ || pushed_);
    DrawCaption(c, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (focused_) {
        RECT f = MeasureDrawText(Font(), text_, text, DT_LEFT | DT_SINGLELINE);
        f.top = text.top + (text.height() - f.height()) / 2;
        f.bottom = f.top + MeasureDrawText(Font(), "Wy", text, DT_SINGLELINE).height();
        InflateRect(&f, 1, 0);
        c.DrawFocusRect(f);
    }
}

} // namespace ax
