#pragma once
// Pictures for the system image lists: icon files of the theme read and
// scaled to a list's size, and the compiled-in pictures used where the
// theme has nothing.
#include "platform/gdi/gdi.h"

#include <cairo.h>
#include <cstdint>
#include <string>
#include <vector>

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

// The straight-alpha pixels of a square picture, row by row.
struct IconPixels {
    int Size = 0;
    std::vector<std::uint32_t> Pixels;
};

// A 32-bit bitmap with alpha of an ARGB32 surface (premultiplied).
HBITMAP BitmapFromSurface(cairo_surface_t* surface);
// A new 32-bit bitmap with alpha of the pixels.
HBITMAP BitmapOf(const IconPixels& picture);
// An icon file read once and drawn at each of sizes (1 to 256), fitted and
// centred: PNG through the drawing layer's reader, SVG through librsvg,
// drawn once at the largest size and scaled down for the others. Empty
// when the file is no readable image or would cost more than an icon may
// (IconBudget.h). Tells the read observer (SystemImageLists.h) first.
std::vector<IconPixels> ReadIconFile(const std::string& path, const std::vector<int>& sizes);
// A compiled-in picture, size x size.
HBITMAP DrawPicture(Picture picture, int size);

} // namespace ax::icons
