#pragma once
// A PNG's pixels as 0xRRGGBB, row by row, for tests that look at what a
// screenshot shows. Uses cairo: only for tests that link it.
#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ax::test {

// The pixels, and the picture's width in width; empty when the file cannot
// be read.
inline std::vector<uint32_t> ReadPng(const std::string& path, int& width) {
    std::vector<uint32_t> out;
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    width = 0;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(s);
        width = cairo_image_surface_get_width(s);
        const int h = cairo_image_surface_get_height(s);
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                          y * cairo_image_surface_get_stride(s));
            for (int x = 0; x < width; ++x) out.push_back(row[x] & 0xFFFFFF);
        }
    }
    cairo_surface_destroy(s);
    return out;
}

} // namespace ax::test
