#pragma once
// The check images shared by every option check list.
#include "framework/graphics.h"

namespace ax {

// 6 x 3 cells of 16 x 16: row = check kind (boxes, radio buttons, marks),
// column = state (unchecked, checked, grayed), plus 3 for a disabled item.
// Made on first use; it lives as long as the program.
TBitmap& CheckImages();
inline constexpr int kCheckCell = 16;

} // namespace ax
