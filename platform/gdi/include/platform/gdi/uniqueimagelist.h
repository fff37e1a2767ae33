#pragma once
// An image list owned by one holder and destroyed with it
// (ImageList_Destroy).
#include "platform/gdi/image.h"
#include "platform/gdi/uniquehandle.h"

namespace ax {

struct ImageListDeleter {
    void operator()(HIMAGELIST list) const noexcept { ImageList_Destroy(list); }
};

using UniqueImageList = UniqueHandle<HIMAGELIST, ImageListDeleter>;

} // namespace ax
