// Icon files read and scaled, and the compiled-in pictures.
#include "IconPictures.h"

#include "IconBudget.h"
#include "platform/gdi/image.h"
#include "platform/gdi/uniquegdiobject.h"
#include "shell/SystemImageLists.h"

#include <librsvg/rsvg.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

namespace ax::icons {
namespace {

struct ReadObserver {
    std::mutex mutex;
    std::function<void(const std::string&)> observer;
};
ReadObserver& TheReadObserver() {
    static ReadObserver observer;
    return observer;
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

Surface NewSurface(int width, int height) {
    Surface s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return s;
}

bool ReadFile(const std::string& path, std::string& data) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamsize size = in.tellg();
    if (size <= 0 || size > std::streamsize(kMaxIconFileBytes)) return false;
    data.resize(size_t(size));
    in.seekg(0);
    return bool(in.read(data.data(), size));
}

// A straight-alpha bitmap as a premultiplied surface.
Surface SurfaceFromBitmap(HBITMAP bitmap) {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
    if (!GetBitmapPixels(bitmap, &w, &h, &px) || w <= 0 || h <= 0) return nullptr;
    Surface s = NewSurface(w, h);
    if (!s) return nullptr;
    auto* data = cairo_image_surface_get_data(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = px[size_t(y) * size_t(w) + size_t(x)];
            const unsigned a = v >> 24;
            auto pm = [&](int shift) { return (((v >> shift) & 0xFF) * a + 127) / 255 << shift; };
            row[x] = (a << 24) | pm(16) | pm(8) | pm(0);
        }
    }
    cairo_surface_mark_dirty(s.get());
    return s;
}

// The source fitted and centred on a size x size square.
Surface Fitted(cairo_surface_t* source, int size) {
    const int w = cairo_image_surface_get_width(source);
    const int h = cairo_image_surface_get_height(source);
    Surface target = NewSurface(size, size);
    if (!target || w <= 0 || h <= 0) return nullptr;
    Context cr(cairo_create(target.get()));
    const double scale = double(size) / std::max(w, h);
    cairo_translate(cr.get(), (size - w * scale) / 2, (size - h * scale) / 2);
    cairo_scale(cr.get(), scale, scale);
    cairo_set_source_surface(cr.get(), source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_GOOD);
    cairo_paint(cr.get());
    return target;
}

Surface ReadPng(const std::string& data) {
    if (!PngCostProblem(data).empty()) return nullptr;
    const UniqueBitmap original(LoadBitmapFromPng(data));
    if (!original) return nullptr;
    return SurfaceFromBitmap(original.Get());
}

// From memory, without a base: the document reaches no other file.
Surface RenderSvg(const std::string& data, int size) {
    if (!SvgCostProblem(data).empty()) return nullptr;
    GError* error = nullptr;
    RsvgHandle* handle = rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(data.data()), data.size(), &error);
    if (!handle) {
        if (error) g_error_free(error);
        return nullptr;
    }
    Surface target = NewSurface(size, size);
    bool drawn = false;
    if (target) {
        Context cr(cairo_create(target.get()));
        const RsvgRectangle viewport{0, 0, double(size), double(size)};
        drawn = rsvg_handle_render_document(handle, cr.get(), &viewport, &error);
        if (error) g_error_free(error);
    }
    g_object_unref(handle);
    return drawn ? std::move(target) : nullptr;
}

IconPixels PixelsOf(cairo_surface_t* surface) {
    IconPixels out;
    const UniqueBitmap bitmap(BitmapFromSurface(surface));
    int w = 0, h = 0;
    if (bitmap && GetBitmapPixels(bitmap.Get(), &w, &h, &out.Pixels) && w == h) out.Size = w;
    if (!out.Size) out.Pixels.clear();
    return out;
}

// ---- the compiled-in pictures, drawn on a 16-unit square

void Rgb(cairo_t* cr, unsigned rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

void FillStroke(cairo_t* cr, unsigned fill, unsigned line) {
    Rgb(cr, fill);
    cairo_fill_preserve(cr);
    Rgb(cr, line);
    cairo_stroke(cr);
}

void Page(cairo_t* cr, double x, double y, double w, double h) {
    const double fold = w * 0.35;
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + w - fold, y);
    cairo_line_to(cr, x + w, y + fold);
    cairo_line_to(cr, x + w, y + h);
    cairo_line_to(cr, x, y + h);
    cairo_close_path(cr);
    FillStroke(cr, 0xFFFFFF, 0x707070);
    cairo_move_to(cr, x + w - fold, y);
    cairo_line_to(cr, x + w - fold, y + fold);
    cairo_line_to(cr, x + w, y + fold);
    cairo_stroke(cr);
}

void FolderShape(cairo_t* cr, unsigned body, unsigned line, bool open) {
    cairo_rectangle(cr, 1.5, 3, 5.5, 2);
    FillStroke(cr, body, line);
    cairo_rectangle(cr, 1.5, 4.5, 13, 9.5);
    FillStroke(cr, body, line);
    if (open) {
        cairo_move_to(cr, 3.5, 7.5);
        cairo_line_to(cr, 15, 7.5);
        cairo_line_to(cr, 13.5, 14);
        cairo_line_to(cr, 1.5, 14);
        cairo_close_path(cr);
        FillStroke(cr, 0xF8DC8C, line);
    }
}

void DriveShape(cairo_t* cr, unsigned led) {
    cairo_rectangle(cr, 1.5, 5.5, 13, 6);
    FillStroke(cr, 0xC8C8C8, 0x606060);
    cairo_rectangle(cr, 3, 9, 7, 1);
    Rgb(cr, 0x808080);
    cairo_fill(cr);
    cairo_arc(cr, 12, 9.5, 1, 0, 6.2832);
    Rgb(cr, led);
    cairo_fill(cr);
}

void Draw(cairo_t* cr, Picture picture) {
    cairo_set_line_width(cr, 1);
    switch (picture) {
    case Picture::File:
        Page(cr, 3.5, 1.5, 9, 13);
        break;
    case Picture::Executable:
        Page(cr, 3.5, 1.5, 9, 13);
        cairo_move_to(cr, 8, 6);
        cairo_line_to(cr, 11, 9);
        cairo_line_to(cr, 8, 12);
        cairo_line_to(cr, 5, 9);
        cairo_close_path(cr);
        FillStroke(cr, 0x3C78C8, 0x1E3C64);
        break;
    case Picture::Folder:
        FolderShape(cr, 0xE8B84A, 0x9C7420, false);
        break;
    case Picture::FolderOpen:
        FolderShape(cr, 0xE8B84A, 0x9C7420, true);
        break;
    case Picture::SystemFolder:
        FolderShape(cr, 0x8CB4E0, 0x3C6496, false);
        break;
    case Picture::Documents:
        FolderShape(cr, 0xE8B84A, 0x9C7420, false);
        Page(cr, 5.5, 6.5, 6, 7);
        break;
    case Picture::Computer:
        cairo_rectangle(cr, 1.5, 1.5, 13, 9);
        FillStroke(cr, 0xB4B4B4, 0x505050);
        cairo_rectangle(cr, 3, 3, 10, 6);
        Rgb(cr, 0x3C78C8);
        cairo_fill(cr);
        cairo_rectangle(cr, 4.5, 12.5, 7, 2);
        FillStroke(cr, 0xB4B4B4, 0x505050);
        break;
    case Picture::Desktop:
        cairo_rectangle(cr, 1.5, 2.5, 13, 10);
        FillStroke(cr, 0x3C96C8, 0x1E4664);
        cairo_rectangle(cr, 3, 10, 10, 1);
        Rgb(cr, 0xFFFFFF);
        cairo_fill(cr);
        break;
    case Picture::Drive:
        DriveShape(cr, 0x3CC83C);
        break;
    case Picture::RemovableDrive:
        DriveShape(cr, 0xF0A030);
        break;
    case Picture::NetworkDrive:
        DriveShape(cr, 0x3CC83C);
        Rgb(cr, 0x3C78C8);
        cairo_move_to(cr, 8, 11.5);
        cairo_line_to(cr, 8, 14.5);
        cairo_move_to(cr, 3, 14.5);
        cairo_line_to(cr, 13, 14.5);
        cairo_stroke(cr);
        break;
    case Picture::RecycleBin:
        cairo_rectangle(cr, 2.5, 2.5, 11, 1.5);
        FillStroke(cr, 0xA0A0A0, 0x505050);
        cairo_move_to(cr, 3.5, 4.5);
        cairo_line_to(cr, 12.5, 4.5);
        cairo_line_to(cr, 11.5, 14.5);
        cairo_line_to(cr, 4.5, 14.5);
        cairo_close_path(cr);
        FillStroke(cr, 0xC8C8C8, 0x505050);
        for (double x : {6.5, 8.0, 9.5}) {
            cairo_move_to(cr, x, 6.5);
            cairo_line_to(cr, x, 12.5);
        }
        cairo_stroke(cr);
        break;
    case Picture::Link:
        cairo_rectangle(cr, 1.5, 1.5, 13, 13);
        FillStroke(cr, 0xFFFFFF, 0x505050);
        Rgb(cr, 0x1E5AB4);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, 4, 12);
        cairo_curve_to(cr, 4, 7, 7, 5, 11, 5);
        cairo_stroke(cr);
        cairo_move_to(cr, 9, 2.5);
        cairo_line_to(cr, 12.5, 5);
        cairo_line_to(cr, 9, 7.5);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    }
}

} // namespace

HBITMAP BitmapFromSurface(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    const int w = cairo_image_surface_get_width(surface);
    const int h = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const auto* data = cairo_image_surface_get_data(surface);
    if (!data || w <= 0 || h <= 0) return HBITMAP{};
    std::vector<std::uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
        for (int x = 0; x < w; ++x) {
            std::uint32_t v = row[x];
            const unsigned a = v >> 24;
            if (a != 0 && a != 255) {
                auto un = [&](int shift) {
                    return std::min(255u, (((v >> shift) & 0xFF) * 255 + a / 2) / a) << shift;
                };
                v = (a << 24) | un(16) | un(8) | un(0);
            }
            px[size_t(y) * size_t(w) + size_t(x)] = v;
        }
    }
    return CreateBitmapFromPixels(w, h, px.data(), true);
}

HBITMAP BitmapOf(const IconPixels& picture) {
    if (picture.Size <= 0) return HBITMAP{};
    return CreateBitmapFromPixels(picture.Size, picture.Size, picture.Pixels.data(), true);
}

std::vector<IconPixels> ReadIconFile(const std::string& path, const std::vector<int>& sizes) {
    {
        ReadObserver& o = TheReadObserver();
        std::function<void(const std::string&)> observer;
        {
            std::lock_guard lock(o.mutex);
            observer = o.observer;
        }
        if (observer) observer(path);
    }
    const int largest = sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end());
    if (largest > 256 || std::any_of(sizes.begin(), sizes.end(), [](int s) { return s <= 0; })) return {};
    std::string data;
    if (largest <= 0 || !ReadFile(path, data)) return {};
    const bool svg = path.size() > 4 && path.compare(path.size() - 4, 4, ".svg") == 0;
    const Surface source = svg ? RenderSvg(data, largest) : ReadPng(data);
    if (!source) return {};
    std::vector<IconPixels> out;
    for (int size : sizes) {
        const Surface fitted = Fitted(source.get(), size);
        if (!fitted) return {};
        out.push_back(PixelsOf(fitted.get()));
        if (!out.back().Size) return {};
    }
    return out;
}

HBITMAP DrawPicture(Picture picture, int size) {
    Surface target = NewSurface(size, size);
    if (!target) return HBITMAP{};
    {
        Context cr(cairo_create(target.get()));
        cairo_scale(cr.get(), size / 16.0, size / 16.0);
        Draw(cr.get(), picture);
    }
    return BitmapFromSurface(target.get());
}

} // namespace ax::icons

namespace ax {

void SetIconFileReadObserver(std::function<void(const std::string& path)> observer) {
    icons::ReadObserver& o = icons::TheReadObserver();
    std::lock_guard lock(o.mutex);
    o.observer = std::move(observer);
}

} // namespace ax
