#include "DragImage.h"

#include <algorithm>

#include "rtl/text.h"

namespace ax {

TDragImage::TDragImage(const TFont& font, const std::vector<std::string>& lines, int maxWidth, int maxHeight)
    : THintWindow(nullptr) {
    SetFont(font);
    SetColor(clWindow);
    Font().SetColor(clWindowText);
    // Measured as painted: with the window's own canvas.
    TCanvas& c = Canvas();
    c.Font().Assign(&Font());
    int widest = 0;
    int height = 2;
    for (const std::string& text : lines) {
        const SIZE extent = c.TextExtent(text);
        lineHeight_ = std::max<int>(lineHeight_, extent.cy);
        if (height + extent.cy > maxHeight && !lines_.empty()) break;
        height += extent.cy;
        widest = std::max<int>(widest, extent.cx);
        lines_.push_back(text);
    }
    size_ = {std::min(widest + 8, maxWidth), std::min(height + 2, maxHeight)};
}

void TDragImage::Follow(POINT pointer) {
    if (lines_.empty()) return;
    ActivateHint(RECT{pointer.x + kOffset, pointer.y + kOffset, pointer.x + kOffset + size_.cx,
                      pointer.y + kOffset + size_.cy},
                 "");
    UpdateWindow(Handle());
}

void TDragImage::Paint() {
    TCanvas& c = Canvas();
    RECT r = ClientRect();
    c.Brush().SetColor(color_);
    c.FillRect(r);
    c.Brush().SetStyle(bsClear);
    c.Font().SetColor(clWindowText);
    RECT line{3, 1, r.right - 2, 1 + lineHeight_};
    for (const std::string& text : lines_) {
        c.TextRect(line, line.left, line.top, text); // clipped to the image's width
        OffsetRect(&line, 0, lineHeight_);
    }
}

} // namespace ax
