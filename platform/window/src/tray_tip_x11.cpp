// The tray's tip window, drawn with Cairo straight onto the X window.
#include "tray_tip_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace ax::wm {

namespace {

constexpr double kFontSize = 12;
constexpr int kPadding = 4;    // between the frame and the text
constexpr int kBelow = 20;     // from the point to the tip's top: clear of the pointer
constexpr unsigned long kTipColour = 0xFFFFE1, kFrameColour = 0x000000;

void SelectFont(cairo_t* cr) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
}

} // namespace

TrayTipX11::TrayTipX11(Display* dpy) : dpy_(dpy) {
    const int screen = DefaultScreen(dpy);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.save_under = True;
    a.background_pixel = kTipColour;
    a.border_pixel = kFrameColour;
    a.event_mask = ExposureMask;
    window_ = XCreateWindow(dpy, RootWindow(dpy, screen), 0, 0, 1, 1, 1, CopyFromParent, InputOutput,
                            CopyFromParent, CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWEventMask,
                            &a);
    XClassHint hint{const_cast<char*>("ardentix-tip"), const_cast<char*>("ArdentixXP")};
    XSetClassHint(dpy, window_, &hint);
}

TrayTipX11::~TrayTipX11() {
    XDestroyWindow(dpy_, window_);
    XFlush(dpy_);
}

void TrayTipX11::Show(const std::string& text, int x, int y) {
    text_ = text;
    XStoreName(dpy_, window_, text.c_str());
    // The text's size, measured on a scratch surface.
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    SelectFont(cr);
    cairo_text_extents_t te{};
    cairo_font_extents_t fe{};
    cairo_text_extents(cr, text.c_str(), &te);
    cairo_font_extents(cr, &fe);
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    width_ = int(std::ceil(te.x_advance)) + 2 * kPadding;
    height_ = int(std::ceil(fe.height)) + 2 * kPadding;

    const int screen = DefaultScreen(dpy_);
    const int sw = DisplayWidth(dpy_, screen), sh = DisplayHeight(dpy_, screen);
    if (!shown_) {
        // Below the point, or above it where the screen ends (a tray at the
        // bottom); never past a side.
        int top = y + kBelow;
        if (top + height_ + 2 > sh) top = y - kBelow - height_ - 2;
        const int left = std::clamp(x, 0, std::max(0, sw - width_ - 2));
        XMoveResizeWindow(dpy_, window_, left, std::max(0, top), unsigned(width_), unsigned(height_));
        XMapRaised(dpy_, window_);
        shown_ = true;
    } else {
        XResizeWindow(dpy_, window_, unsigned(width_), unsigned(height_));
        XClearWindow(dpy_, window_);
        Draw();
    }
    XFlush(dpy_);
}

void TrayTipX11::Hide() {
    if (!shown_) return;
    shown_ = false;
    XUnmapWindow(dpy_, window_);
    XFlush(dpy_);
}

void TrayTipX11::Handle(const XEvent& e) {
    if (e.type == Expose && e.xexpose.count == 0 && shown_) Draw();
}

void TrayTipX11::Draw() {
    const int screen = DefaultScreen(dpy_);
    cairo_surface_t* surface =
        cairo_xlib_surface_create(dpy_, window_, DefaultVisual(dpy_, screen), width_, height_);
    cairo_t* cr = cairo_create(surface);
    SelectFont(cr);
    cairo_font_extents_t fe{};
    cairo_font_extents(cr, &fe);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, kPadding, kPadding + fe.ascent);
    cairo_show_text(cr, text_.c_str());
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    XFlush(dpy_);
}

} // namespace ax::wm
