#pragma once
// An icon or cursor owned by one holder and destroyed with it (DestroyIcon,
// which leaves the stock ones alone).
#include "platform/gdi/image.h"
#include "platform/gdi/uniquehandle.h"

namespace ax {

struct IconDeleter {
    void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};

using UniqueIcon = UniqueHandle<HICON, IconDeleter>;

} // namespace ax
