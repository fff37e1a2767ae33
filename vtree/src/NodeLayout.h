#pragma once
// Where the parts of a node's cell lie, in client coordinates: painting
// and hit testing share this one computation.
#include "vtree/BaseDataTree.h"

namespace ax {

struct TBaseDataTree::NodeLayout {
    TColumnIndex column = NoColumn;
    bool main = true;
    RECT cell{};       // the column's part of the row
    RECT indent{};     // main column: margin and indentation, the button cell included
    RECT button{};     // the indentation cell left of the content, when a button shows
    RECT check{};      // check image slot
    RECT stateImage{}; // state image slot
    RECT image{};      // normal image slot
    RECT label{};      // the text and its margins
    int stateIndex = -1;
    int imageIndex = -1;
    bool ghosted = false;
    unsigned level = 0;
};

inline constexpr int kCheckSlotWidth = 16;
inline constexpr int kCheckBoxSize = 13;
inline constexpr int kButtonSize = 9;

} // namespace ax
