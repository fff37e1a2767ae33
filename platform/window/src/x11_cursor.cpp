#include "x11_cursor.h"

#include <X11/Xcursor/Xcursor.h>

#include <algorithm>

#include "platform/gdi/gdi.h"
#include "platform/gdi/image.h"

namespace ax {

std::optional<CursorPicture> ReadCursorPicture(HCURSOR cursor) {
    CursorPicture p;
    if (!cursor || !GetIconPixels(cursor, &p.width, &p.height, &p.argb) || p.width <= 0 || p.height <= 0)
        return std::nullopt;
    ICONINFO info;
    if (GetIconInfo(cursor, &info)) {
        p.hotX = int(info.xHotspot);
        p.hotY = int(info.yHotspot);
        // GetIconInfo hands out copies.
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
    }
    return p;
}

Cursor ImageCursors::Get(Display* dpy, const CursorPicture& p) {
    std::string key(reinterpret_cast<const char*>(p.argb.data()), p.argb.size() * sizeof(std::uint32_t));
    key += std::to_string(p.width) + "x" + std::to_string(p.height) + "@" + std::to_string(p.hotX) + "," +
           std::to_string(p.hotY);
    if (auto it = made_.find(key); it != made_.end()) return it->second;
    XcursorImage* image = XcursorImageCreate(p.width, p.height);
    if (!image) return None;
    image->xhot = XcursorDim(std::min(p.hotX, p.width - 1));
    image->yhot = XcursorDim(std::min(p.hotY, p.height - 1));
    // X wants premultiplied alpha.
    for (size_t i = 0; i < p.argb.size(); ++i) {
        const std::uint32_t v = p.argb[i], a = v >> 24;
        auto channel = [&](int shift) { return (((v >> shift) & 0xFF) * a + 127) / 255 << shift; };
        image->pixels[i] = (a << 24) | channel(16) | channel(8) | channel(0);
    }
    const Cursor cursor = XcursorImageLoadCursor(dpy, image);
    XcursorImageDestroy(image);
    if (cursor != None) made_.emplace(std::move(key), cursor);
    return cursor;
}

void ImageCursors::FreeAll(Display* dpy) {
    for (auto& [key, cursor] : made_)
        XFreeCursor(dpy, cursor);
    made_.clear();
}

} // namespace ax
