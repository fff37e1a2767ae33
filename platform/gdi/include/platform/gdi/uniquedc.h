#pragma once
// A device context this code created (CreateCompatibleDC, CreateSurfaceDC),
// deleted with its owner (DeleteDC). A DC borrowed from a window is a
// WindowDC (platform/window) instead.
#include "platform/gdi/gdi.h"
#include "platform/gdi/uniquehandle.h"

namespace ax {

struct DCDeleter {
    void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};

using UniqueDC = UniqueHandle<HDC, DCDeleter>;

} // namespace ax
