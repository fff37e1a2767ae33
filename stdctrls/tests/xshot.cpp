// Reads a window's pixels back from an X server (kept apart from the other
// headers, whose names the X headers' macros would clash with).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ax::test {

std::vector<uint32_t> ReadServerWindow(const std::string& display, unsigned long window, int w, int h,
                                       const std::string& png) {
    std::vector<uint32_t> pixels;
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return pixels;
    XImage* img = XGetImage(dpy, window, 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    if (img) {
        cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(shot) + y * cairo_image_surface_get_stride(shot));
            for (int x = 0; x < w; ++x) {
                row[x] = uint32_t(XGetPixel(img, x, y)) & 0xFFFFFF;
                pixels.push_back(row[x]);
            }
        }
        cairo_surface_mark_dirty(shot);
        cairo_surface_write_to_png(shot, png.c_str());
        cairo_surface_destroy(shot);
        XDestroyImage(img);
    }
    XCloseDisplay(dpy);
    return pixels;
}

} // namespace ax::test
