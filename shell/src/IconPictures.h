#pragma once
// Pictures for the system image lists: icon files of the theme read and
// scaled to a list's size, and the compiled-in pictures used where the
// theme has nothing.
#include "platform/gdi/gdi.h"

#include <cairo.h>
#include <string>

namespace ax::icons {

// What the compiled-in pictures show.
enum class Picture {
    File,
    Executable,
    Folder,
    FolderOpen,
    Computer,
    Documents,
    Desktop,
    Drive,
    RemovableDrive,
    NetworkDrive,
    RecycleBin,
    SystemFolder,
    Link,
};

// A 32-bit bitmap with alpha of an ARGB32 surface (premultiplied).
HBITMAP BitmapFromSurface(cairo_surface_t* surface);
// An icon file (PNG through the drawing layer's reader, SVG through
// librsvg) as a size x size bitmap, fitted and centred; null when the file
// is no readable image.
HBITMAP LoadIconFile(const std::string& path, int size);
// A compiled-in picture, size x size.
HBITMAP DrawPicture(Picture picture, int size);

} // namespace ax::icons
