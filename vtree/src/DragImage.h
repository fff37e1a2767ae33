#pragma once
// The picture of what a tree drags: the captions of the dragged nodes in a
// small window, at most the tree's DragWidth x DragHeight, that follows the
// pointer. It sits beside the pointer's hotspot, never under it, so that
// the window under the pointer is still the drop target.
#include <string>
#include <vector>

#include "framework/forms.h"

namespace ax {

class TDragImage : public THintWindow {
public:
    // Lines that do not fit below maxHeight are left out, the first never.
    TDragImage(const TFont& font, const std::vector<std::string>& lines, int maxWidth, int maxHeight);
    AnsiString ClassName() const override { return "TDragImage"; }
    // Shows the image beside the screen point (the pointer).
    void Follow(POINT pointer);
    const std::vector<std::string>& Lines() const { return lines_; }
    static constexpr int kOffset = 12; // from the pointer to the image's corner

protected:
    void Paint() override;

private:
    std::vector<std::string> lines_;
    int lineHeight_ = 0;
    SIZE size_{};
};

} // namespace ax
