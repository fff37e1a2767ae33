// The check images of the option check lists: one bitmap of cells (box
// states, marks, radio states) drawn once on first use and kept for the
// program's life.
#include "CheckImages.h"

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
            RECT box{x + 1, y + 1, x + 14, y + 14};
            const UINT inactive = disabled ? UINT(DFCS_INACTIVE) : 0u;
            if (row == 0) {
                const UINT flags = state == 0 ? 0u : state == 1 ? UINT(DFCS_CHECKED)
                                                                : UINT(DFCS_BUTTON3STATE | DFCS_CHECKED);
                DrawFrameControl(c.Handle(), &box, DFC_BUTTON, DFCS_BUTTONCHECK | flags | inactive);
            } else if (row == 1) {
                // A grayed radio item reads unchecked, and looks it.
                DrawFrameControl(c.Handle(), &box, DFC_BUTTON,
                                 DFCS_BUTTONRADIO | (state == 1 ? UINT(DFCS_CHECKED) : 0u) | inactive);
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
