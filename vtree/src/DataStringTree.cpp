// The string tree: texts asked from the owner, edited texts handed back,
// and nodes measured and painted as their text.
#include "vtree/DataStringTree.h"

#include "framework/streaming.h"

namespace ax {

TCustomDataStringTree::TCustomDataStringTree(TComponent* owner) : TBaseDataTree(owner) {}

TCustomDataStringTree::~TCustomDataStringTree() = default;

WideString TCustomDataStringTree::Text(PDataNode node, TColumnIndex column) {
    WideString text;
    if (node && node != RootNode()) DoGetText(node, column, ttNormal, text);
    return text;
}

void TCustomDataStringTree::SetText(PDataNode node, TColumnIndex column, const WideString& text) {
    if (!node || node == RootNode()) return;
    DoNewText(node, column, text);
    InvalidateNode(node);
}

void TCustomDataStringTree::SetDefaultText(const WideString& text) {
    if (text == defaultText_) return;
    defaultText_ = text;
    Invalidate();
}

void TCustomDataStringTree::DoGetText(PDataNode node, TColumnIndex column, TDTStringType textType,
                                      WideString& text) {
    text = defaultText_;
    if (OnGetText) OnGetText(this, node, column, textType, text);
}

void TCustomDataStringTree::DoNewText(PDataNode node, TColumnIndex column, const WideString& text) {
    if (OnNewText) OnNewText(this, node, column, text);
}

void TCustomDataStringTree::DoPaintText(PDataNode node, TCanvas& canvas, TColumnIndex column,
                                        TDTStringType textType) {
    if (OnPaintText) OnPaintText(this, canvas, node, column, textType);
}

WideString TCustomDataStringTree::GetEditText(PDataNode node, TColumnIndex column) { return Text(node, column); }

void TCustomDataStringTree::SetEditText(PDataNode node, TColumnIndex column, const WideString& text) {
    SetText(node, column, text);
}

TCanvas& TCustomDataStringTree::MeasureCanvas() {
    // Measuring needs no window: a one-pixel bitmap carries the font.
    if (!measure_) {
        measure_ = std::make_unique<TBitmap>();
        measure_->SetSize(1, 1);
    }
    return measure_->Canvas();
}

int TCustomDataStringTree::DoGetNodeWidth(PDataNode node, TColumnIndex column) {
    TCanvas& canvas = MeasureCanvas();
    canvas.Font().Assign(&Font());
    const WideString text = Text(node, column);
    DoPaintText(node, canvas, column, ttNormal);
    return text.empty() ? 0 : canvas.TextWidth(WideToUtf8(text));
}

void TCustomDataStringTree::DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r) {
    const WideString text = Text(node, column);
    DoPaintText(node, canvas, column, ttNormal);
    if (text.empty()) return;
    const AnsiString utf8 = WideToUtf8(text);
    const int y = r.top + (r.bottom - r.top - canvas.TextHeight(utf8)) / 2;
    canvas.TextRect(r, r.left + TextMargin(), y, utf8);
}

WideString TCustomDataStringTree::DoGetTooltipText(PDataNode node, TColumnIndex column) {
    return Text(node, column);
}

void TCustomDataStringTree::Assign(const TPersistent* source) {
    TBaseDataTree::Assign(source);
    if (const auto* other = dynamic_cast<const TCustomDataStringTree*>(source))
        SetDefaultText(other->defaultText_);
}

void TCustomDataStringTree::DefinePublished(TFiler& f) {
    TBaseDataTree::DefinePublished(f);
    f.String("DefaultText", [this] { return WideToUtf8(defaultText_); },
             [this](const AnsiString& v) { SetDefaultText(Utf8ToWide(v)); }, AnsiString("Node"));
}

void RegisterDataTreeClasses() { RegisterComponentClass<TDataStringTree>("TDataStringTree"); }

} // namespace ax
