#pragma once
// The bitmap button: a push button with a glyph; its kind gives a standard
// glyph, caption and modal result.
#include "stdctrls/button.h"

namespace ax {

enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };
using TNumGlyphs = int;

class TBitBtn : public TButton {
public:
    explicit TBitBtn(TComponent* owner);
    ~TBitBtn() override;
    AnsiString ClassName() const override { return "TBitBtn"; }
    void DefinePublished(TFiler& filer) override;
    TBitBtnKind Kind() const { return kind_; }
    void SetKind(TBitBtnKind kind);
    // The glyph in use: the custom one, else the kind's.
    TBitmap& Glyph();
    void SetGlyph(const TBitmap& glyph);
    TNumGlyphs NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(TNumGlyphs n);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);
    int Margin() const { return margin_; }
    void SetMargin(int margin);
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);
    TButtonStyle Style() const { return style_; }
    void SetStyle(TButtonStyle style) { style_ = style; }
    // bkClose closes the form and bkHelp asks for help, then OnClick.
    void Click() override;

protected:
    void Paint() override;

private:
    std::unique_ptr<TBitmap> glyph_;
    TBitBtnKind kind_ = bkCustom;
    TNumGlyphs numGlyphs_ = 1;
    TButtonLayout layout_ = blGlyphLeft;
    int margin_ = -1;
    int spacing_ = 4;
    TButtonStyle style_ = bsAutoDetect;
};

} // namespace ax
