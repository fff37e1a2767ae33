#pragma once
// A surface DC over a white Cairo image, with direct pixel reads that do
// not go through the layer under test.
#include "platform/gdi/image.h"

#include <cairo.h>
#include <cstdlib>
#include <string>

namespace ax::test {

class Canvas {
public:
    Canvas(int w, int h, COLORREF fill = RGB(255, 255, 255)) : w_(w), h_(h) {
        surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                set(x, y, fill);
        dc_ = CreateSurfaceDC(surface_, POINT{0, 0}, nullptr);
    }
    ~Canvas() {
        DeleteDC(dc_);
        cairo_surface_destroy(surface_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    cairo_surface_t* surface() const { return surface_; }
    int width() const { return w_; }
    int height() const { return h_; }

    std::uint32_t* row(int y) const {
        cairo_surface_flush(surface_);
        return reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface_) +
                                                y * cairo_image_surface_get_stride(surface_));
    }
    COLORREF px(int x, int y) const {
        std::uint32_t v = row(y)[x];
        return RGB(BYTE(v >> 16), BYTE(v >> 8), BYTE(v));
    }
    void set(int x, int y, COLORREF c) {
        row(y)[x] = 0xFF000000u | (std::uint32_t(GetRValue(c)) << 16) |
                    (std::uint32_t(GetGValue(c)) << 8) | GetBValue(c);
        cairo_surface_mark_dirty(surface_);
    }
    std::string snapshot() const {
        std::string out;
        for (int y = 0; y < h_; ++y)
            out.append(reinterpret_cast<const char*>(row(y)), size_t(w_) * 4);
        return out;
    }
    // Writes a PNG when AX_GDI_SNAPSHOTS names a folder, for looking at.
    void save(const std::string& name) const {
        const char* dir = std::getenv("AX_GDI_SNAPSHOTS");
        if (dir)
            cairo_surface_write_to_png(surface_, (std::string(dir) + "/" + name + ".png").c_str());
    }

private:
    int w_, h_;
    cairo_surface_t* surface_;
    HDC dc_;
};

// A memory DC with its own 32-bit bitmap, cleaned up in order.
class MemoryImage {
public:
    MemoryImage(int w, int h, bool mono = false) {
        dc_ = CreateCompatibleDC(HDC{});
        bitmap_ = mono ? CreateBitmap(w, h, 1, 1, nullptr) : CreateBitmap(w, h, 1, 32, nullptr);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~MemoryImage() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    MemoryImage(const MemoryImage&) = delete;
    MemoryImage& operator=(const MemoryImage&) = delete;
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HBITMAP old_;
};

} // namespace ax::test
