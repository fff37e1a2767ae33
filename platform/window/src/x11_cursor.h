#pragma once
// Cursors drawn by the program (not the stock ones) as X cursors made from
// their pixels. One X cursor per distinct picture, kept until the
// connection ends; made and freed on the X thread.
#include <X11/Xlib.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/types.h"

namespace ax {

struct CursorPicture {
    int width = 0, height = 0;
    int hotX = 0, hotY = 0;
    std::vector<std::uint32_t> argb; // 0xAARRGGBB, not premultiplied, top-down
};

// The picture of a cursor, read on the caller's thread; none for an empty
// or unknown handle.
std::optional<CursorPicture> ReadCursorPicture(HCURSOR cursor);

class ImageCursors {
public:
    Cursor Get(Display* dpy, const CursorPicture& picture);
    void FreeAll(Display* dpy);

private:
    std::map<std::string, Cursor> made_; // by picture
};

} // namespace ax
