// Drawing helpers shared by the standard controls.
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquedc.h"
#include "stdctrls/common.h"
#include "stdctrls_internal.h"

namespace ax {

namespace {
// A memory DC with the font selected, released on leaving the scope.
class MeasureDC {
public:
    explicit MeasureDC(TFont& font) : dc_(CreateCompatibleDC(HDC{})), font_(dc_.Get(), font.Handle()) {}
    MeasureDC(const MeasureDC&) = delete;
    MeasureDC& operator=(const MeasureDC&) = delete;
    HDC dc() const { return dc_.Get(); }

private:
    UniqueDC dc_;
    ScopedSelection<HFONT> font_; // after dc_: selected out before the DC goes
};
} // namespace

SIZE MeasureText(TFont& font, const AnsiString& text) {
    MeasureDC m(font);
    SIZE size{};
    GetTextExtentPoint32(m.dc(), text, &size);
    return size;
}

RECT MeasureDrawText(TFont& font, const AnsiString& text, RECT rect, UINT flags) {
    MeasureDC m(font);
    DrawText(m.dc(), text, &rect, flags | DT_CALCRECT);
    return rect;
}

namespace {
// Selects the canvas font and colour for raw text calls, undoing it after.
class TextState {
public:
    explicit TextState(TCanvas& canvas) : dc_(canvas.Handle()), font_(dc_, canvas.Font().Handle()) {
        oldColor_ = SetTextColor(dc_, ColorToRGB(canvas.Font().Color()));
        oldMode_ = SetBkMode(dc_, TRANSPARENT);
    }
    ~TextState() {
        SetBkMode(dc_, oldMode_);
        SetTextColor(dc_, oldColor_);
    }
    TextState(const TextState&) = delete;
    TextState& operator=(const TextState&) = delete;
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    ScopedSelection<HFONT> font_;
    COLORREF oldColor_;
    int oldMode_;
};
} // namespace

int CanvasDrawText(TCanvas& canvas, const AnsiString& text, RECT& rect, UINT flags) {
    TextState state(canvas);
    return DrawText(state.dc(), text, &rect, flags);
}

void CanvasTabbedTextOut(TCanvas& canvas, int x, int y, const AnsiString& text, const std::vector<int>& stops) {
    TextState state(canvas);
    TabbedTextOut(state.dc(), x, y, text, int(stops.size()), stops.data(), x);
}

int FontLineHeight(TFont& font) {
    MeasureDC m(font);
    TEXTMETRIC tm{};
    GetTextMetrics(m.dc(), &tm);
    return tm.tmHeight;
}

void Frame3D(TCanvas& canvas, RECT& rect, TColor topColor, TColor bottomColor, int width) {
    --rect.bottom;
    --rect.right;
    for (int i = 0; i < width; ++i) {
        canvas.Pen().SetColor(topColor);
        canvas.Pen().SetWidth(1);
        canvas.Pen().SetStyle(psSolid);
        canvas.Polyline({{rect.left, rect.bottom}, {rect.left, rect.top}, {rect.right, rect.top}});
        canvas.Pen().SetColor(bottomColor);
        canvas.Polyline({{rect.right, rect.top}, {rect.right, rect.bottom}, {rect.left - 1, rect.bottom}});
        rect.left += 1;
        rect.top += 1;
        rect.right -= 1;
        rect.bottom -= 1;
    }
    ++rect.bottom;
    ++rect.right;
}

} // namespace ax
