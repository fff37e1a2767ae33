// The combo edit: an edit whose formatting rectangle stops short of a glyph
// button (ellipsis, drop-down arrow or a custom glyph) kept inside its right
// edge; the button and the ClickKey shortcut fire OnButtonClick.
#include "controls/ComboEdit.h"

#include <algorithm>

#include "controls/MaxMin.h"
#include "framework/forms.h"
#include "framework/streaming.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquegdiobject.h"
#include "rtl/scopeguard.h"
#include "stdctrls/common.h"
#include "stdctrls/messages.h"

namespace ax {

namespace {
constexpr int kNaturalWidth = 21;

// The three dots of an ellipsis button, for a button `buttonWidth` wide.
void MakeEllipsis(TBitmap& b, int buttonWidth) {
    const int w = Max(1, buttonWidth - 6);
    b.SetMonochrome(true);
    b.SetSize(w, 4);
    TCanvas& c = b.Canvas();
    c.Brush().SetColor(clWhite);
    c.FillRect({0, 0, w, 4});
    const int gap = Min(Max((w - 6) / 2, 1), 3);
    const int x0 = ((w - 6) - 2 * gap) / 2;
    c.Brush().SetColor(clBlack);
    for (int x : {x0, x0 + gap + 2, x0 + 2 * gap + 4}) c.FillRect({x, 1, x + 2, 3});
}

// The drop-down arrow: 7, 5, 3 and 1 pixels wide.
void MakeArrow(TBitmap& b) {
    b.SetMonochrome(true);
    b.SetSize(7, 4);
    TCanvas& c = b.Canvas();
    c.Brush().SetColor(clWhite);
    c.FillRect({0, 0, 7, 4});
    c.Brush().SetColor(clBlack);
    for (int row = 0; row < 4; ++row) c.FillRect({row, row, 7 - row, row + 1});
}
} // namespace

void TEditButton::PaintButton(TCanvas& c) {
    TExSpeedButton::PaintButton(c);
    if (State() == bsDown || State() == bsExclusive) return;
    HDC dc = c.Handle();
    const UniquePen face(CreatePen(PS_SOLID, 1, ColorToRGB(NewLook() ? clBtnFace : clBtnShadow)));
    const UniquePen light(CreatePen(PS_SOLID, 1, ColorToRGB(clBtnHighlight)));
    const ScopedSelection useFace(dc, face.Get());
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 0, Height() - 1);
    const ScopedSelection useLight(dc, light.Get());
    MoveToEx(dc, 1, 1, nullptr);
    LineTo(dc, 1, Height() - 2);
}

TCustomComboEdit::TCustomComboEdit(TComponent* owner) : TCustomMaskEdit(owner) {
    SetAutoSelect(true);
    holder_ = TComponent::Create<TWinControl>(this);
    holder_->SetBounds(0, 0, kNaturalWidth, 17);
    holder_->SetParent(this);
    button_ = TComponent::Create<TEditButton>(this);
    button_->SetBounds(0, 0, kNaturalWidth, 17);
    button_->SetParent(holder_);
    button_->OnClick = [this](TObject*) { ButtonClickStep(); };
    SetBounds(Left(), Top(), Width(), 21);
}

TCustomComboEdit::~TCustomComboEdit() { button_->OnClick = nullptr; }

void TCustomComboEdit::DefinePublished(TFiler& f) {
    TCustomMaskEdit::DefinePublished(f);
    f.Integer("ClickKey", [this] { return clickKey_; }, [this](int64_t v) { clickKey_ = TShortCut(v); },
              scAlt | VK_DOWN);
    f.Bool("DirectInput", [this] { return directInput_; }, [this](bool v) { SetDirectInput(v); }, true);
    f.Enum("GlyphKind", {"gkCustom", "gkDefault", "gkDropDown", "gkEllipsis"}, [this] { return int(glyphKind_); },
           [this](int v) { SetGlyphKind(TGlyphKind(v)); }, int(gkCustom));
    if (glyphKind_ == gkCustom) f.DefineObject("Glyph", &button_->Glyph());
    f.Integer("ButtonWidth", [this] { return ButtonWidth(); }, [this](int64_t v) { SetButtonWidth(int(v)); },
              glyphKind_ == gkDropDown ? GetSystemMetrics(SM_CXVSCROLL) : kNaturalWidth);
    f.String("ButtonHint", [this] { return ButtonHint(); }, [this](const AnsiString& v) { SetButtonHint(v); });
    f.String("EditMask", [this] { return EditMask(); }, [this](const AnsiString& v) { SetEditMask(v); });
}

void TCustomComboEdit::CreateWnd() {
    TCustomMaskEdit::CreateWnd();
    UpdatePlacement();
}

void TCustomComboEdit::UpdatePlacement() {
    if (placing_) return;
    placing_ = true;
    ScopeGuard done([this] { placing_ = false; });
    const int bw = button_->Width();
    if (ctl3D_) holder_->SetBounds(Width() - bw - 4, 0, bw, Max(Height() - 4, 0));
    else holder_->SetBounds(Width() - bw - 2, 2, bw, Max(Height() - 4, 0));
    button_->SetBounds(0, 0, bw, holder_->Height());
    if (HandleAllocated()) {
        const RECT client = ClientRect();
        RECT format{0, 0, client.right - holder_->Width() - 2, client.bottom + 1};
        Perform(EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&format));
    }
}

int TCustomComboEdit::MinHeight() {
    const int fontHeight = FontLineHeight(Font());
    TFont system;
    const int systemHeight = FontLineHeight(system);
    return Min(systemHeight, fontHeight) + 4 * GetSystemMetrics(SM_CYBORDER) + 1;
}

void TCustomComboEdit::SetButtonWidth(int width) {
    if (width == button_->Width()) return;
    if (HandleAllocated() && width >= ClientWidth()) return;
    button_->SetWidth(width);
    holder_->SetWidth(width);
    UpdatePlacement();
    RebuildGlyph();
}

void TCustomComboEdit::UpdateEditReadOnly() { TCustomMaskEdit::SetReadOnly(readOnly_ || !directInput_); }

void TCustomComboEdit::SetDirectInput(bool value) {
    directInput_ = value;
    UpdateEditReadOnly();
}

void TCustomComboEdit::SetReadOnly(bool value) {
    if (readOnly_ == value) return;
    readOnly_ = value;
    UpdateEditReadOnly();
}

void TCustomComboEdit::SetGlyph(const TBitmap* glyph) {
    button_->SetGlyph(glyph);
    glyphKind_ = gkCustom;
}

void TCustomComboEdit::SetNumGlyphs(int value) {
    if (glyphKind_ == gkDropDown || glyphKind_ == gkEllipsis) value = 1;
    else if (glyphKind_ == gkDefault) value = defaultNumGlyphs_;
    button_->SetNumGlyphs(value);
}

void TCustomComboEdit::SetGlyphKind(TGlyphKind kind) {
    if (glyphKind_ == kind) return;
    glyphKind_ = kind;
    if (kind == gkCustom && HasState(csReading)) button_->Glyph().SetSize(0, 0);
    RebuildGlyph();
    if (kind == gkDefault && !button_->Glyph().Empty())
        SetButtonWidth(Max(button_->Glyph().Width() / button_->NumGlyphs() + 6, ButtonWidth()));
    else if (kind == gkDropDown)
        SetButtonWidth(GetSystemMetrics(SM_CXVSCROLL));
}

void TCustomComboEdit::RebuildGlyph() {
    TBitmap glyph;
    switch (glyphKind_) {
    case gkDefault:
        DefaultGlyph(glyph);
        button_->SetGlyph(&glyph);
        button_->SetNumGlyphs(defaultNumGlyphs_);
        break;
    case gkDropDown:
        MakeArrow(glyph);
        button_->SetGlyph(&glyph);
        button_->SetNumGlyphs(1);
        break;
    case gkEllipsis:
        MakeEllipsis(glyph, button_->Width());
        button_->SetGlyph(&glyph);
        button_->SetNumGlyphs(1);
        break;
    case gkCustom: break;
    }
}

void TCustomComboEdit::ButtonClickStep() {
    if (readOnly_) return;
    ButtonClick();
}

void TCustomComboEdit::ButtonClick() {
    if (OnButtonClick) OnButtonClick(this);
}

void TCustomComboEdit::KeyDown(WORD& key, TShiftState shift) {
    TCustomMaskEdit::KeyDown(key, shift);
    if (key != 0 && clickKey_ != 0 && ShortCut(key, shift) == clickKey_ && ButtonWidth() > 0) {
        ButtonClickStep();
        key = 0;
    }
}

void TCustomComboEdit::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_SIZE:
        TCustomMaskEdit::Dispatch(m);
        if (!HasState(csLoading) && Height() < MinHeight()) SetHeight(MinHeight());
        UpdatePlacement();
        return;
    case CM_ENABLEDCHANGED:
        TCustomMaskEdit::Dispatch(m);
        button_->SetEnabled(Enabled());
        return;
    case CM_CTL3DCHANGED:
        TCustomMaskEdit::Dispatch(m);
        UpdatePlacement();
        return;
    }
    TCustomMaskEdit::Dispatch(m);
}

} // namespace ax
