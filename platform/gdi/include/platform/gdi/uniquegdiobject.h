#pragma once
// A pen, brush, font, bitmap or region owned by one holder and deleted with
// it (DeleteObject). Declare the owner before any ScopedSelection of its
// object, so the object is selected out before it is deleted.
#include "platform/gdi/gdi.h"
#include "platform/gdi/uniquehandle.h"

namespace ax {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};

template <typename Object> using UniqueGdiObject = UniqueHandle<Object, GdiObjectDeleter>;
using UniquePen = UniqueGdiObject<HPEN>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniqueRegion = UniqueGdiObject<HRGN>;

} // namespace ax
