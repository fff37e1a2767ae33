#pragma once
// Messages a tree posts to itself.
#include "platform/window/constants.h"

namespace ax {

// Scroll bars changed while painting; brought up to date afterwards.
inline constexpr UINT kTreeUpdateScrollBars = WM_APP + 0x3D01;
// The in-place editor lost the focus.
inline constexpr UINT kTreeEditorKilled = WM_APP + 0x3D02;

} // namespace ax
