#pragma once
// Helpers shared by the standard controls' sources.
#include <vector>

#include "framework/graphics.h"

namespace ax {

// The extent of text in font, measured on a memory DC (no window needed).
SIZE MeasureText(TFont& font, const AnsiString& text);
// Draws text with DrawText flags on a memory DC to measure it (DT_CALCRECT).
RECT MeasureDrawText(TFont& font, const AnsiString& text, RECT rect, UINT flags);

// DrawText on a canvas with its font and font colour, transparent.
int CanvasDrawText(TCanvas& canvas, const AnsiString& text, RECT& rect, UINT flags);
// TabbedTextOut on a canvas with its font and font colour, transparent.
void CanvasTabbedTextOut(TCanvas& canvas, int x, int y, const AnsiString& text, const std::vector<int>& stops);

} // namespace ax
