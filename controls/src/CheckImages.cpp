// The check images of the option check lists: one bitmap of cells (box
// states, marks, radio states) drawn once on first use and kept for the
// program's life.
#include "CheckImages.h"
#include "platform/gdi/checkglyph.h"

namespace ax {

namespace {

constexpr TColor kKey = clOlive; // the transparent colour

void DrawMark(TCanvas& c, int x, int y, TColor color) {
    c.Pen().SetColor(color);
    c.Pen().SetWidth(2);
    c.Polyline({{x + 3, y + 8}, {x + 6, y + 11}, {x + 12, y + 4}});
    c.Pen().SetWidth(1);
}

void Paint(TBitmap& b) {
    b.SetSize(6 * kCheckCell, 3 * kCheckCell);
    TCanvas& c = b.Canvas();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(kKey);
    c.FillRect({0, 0, b.Width(), b.Height()});
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 6; ++column) {
            const int state = column % 3;
            const bool disabled = column >= 3;
            const int x = column * kCheckCell, y = row * kCheckCell;
            const RECT box{x + 1, y + 1, x + 14, y + 14};
            const CheckMark mark = state == 0 ? CheckMark::Unchecked : state == 1 ? CheckMark::Checked
                                                                                  : CheckMark::Grayed;
            if (row < 2) {
                // A grayed radio item reads unchecked, and looks it.
                DrawCheckOrRadio(c.Handle(), box, row == 1, mark, disabled);
            } else if (state != 0) {
                DrawMark(c, x, y, disabled || state == 2 ? clGray : clBlack);
            }
        }
    c.Refresh();
    b.SetTransparentColor(kKey);
    b.SetTransparent(true);
}

} // namespace

TBitmap& CheckImages() {
    // Never freed: drawing handles are not released after the drawing layer
    // has gone at the program's end.
    static TBitmap* images = [] {
        auto* b = new TBitmap;
        Paint(*b);
        return b;
    }();
    return *images;
}

} // namespace ax
