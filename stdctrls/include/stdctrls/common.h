#pragma once
// What the standard controls share: text alignment, the scroll bars a
// control may show, and the drawing helpers of their frames and lines.
#include "framework/graphics.h"

namespace ax {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Draws a 3-D frame of the given width inside rect (top and left in
// topColor, bottom and right in bottomColor) and shrinks rect past it.
void Frame3D(TCanvas& canvas, RECT& rect, TColor topColor, TColor bottomColor, int width);
// The height of one line of the font (the test font gives 13).
int FontLineHeight(TFont& font);

} // namespace ax
