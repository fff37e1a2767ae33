// The hand and drag-hand cursors of the program's resources, as the X
// server shows them over controls that ask for them: read back from the
// server (XFixes) and kept as pictures, ex_handcur_x11.png and
// ex_dragcur_x11.png, in the snapshot folder.
#include <cairo.h>

#include "controls/ExConst.h"
#include "x11_program.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
// Xlib's macros clash with names of ours and of the test framework.
#undef None
#undef Bool
#undef Status
#undef True
#undef False

namespace ax {
namespace {

struct ShownCursor {
    int width = 0, height = 0, hotX = 0, hotY = 0;
    std::vector<uint32_t> argb;
    uint32_t At(int x, int y) const { return argb.at(size_t(y * width + x)); }
};

// What the server shows as the pointer now.
ShownCursor ServerCursor(const std::string& display) {
    ShownCursor out;
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return out;
    int event = 0, error = 0;
    if (XFixesQueryExtension(dpy, &event, &error)) {
        if (XFixesCursorImage* image = XFixesGetCursorImage(dpy)) {
            out.width = image->width;
            out.height = image->height;
            out.hotX = image->xhot;
            out.hotY = image->yhot;
            for (int i = 0; i < out.width * out.height; ++i) out.argb.push_back(uint32_t(image->pixels[i]));
            XFree(image);
        }
    }
    XCloseDisplay(dpy);
    return out;
}

void KeepPicture(const ShownCursor& c, const std::filesystem::path& png) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, c.width * 4, c.height * 4);
    auto* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < c.height * 4; ++y) // four times as large, to be seen
        for (int x = 0; x < c.width * 4; ++x)
            reinterpret_cast<uint32_t*>(data + y * stride)[x] = c.At(x / 4, y / 4);
    cairo_surface_mark_dirty(s);
    cairo_surface_write_to_png(s, png.c_str());
    cairo_surface_destroy(s);
}

class X11ExCursorsTest : public test::X11FormTest {
protected:
    TForm* Build(TApplication& app) override {
        RegisterExCursors();
        TForm* form = app.CreateForm<TForm>();
        form->SetBounds(60, 60, 300, 200);
        hand = Pad(form, 10, crHand);
        dragHand = Pad(form, 150, crDragHand);
        form->Show();
        return form;
    }
    TCustomControl* Pad(TForm* form, int x, TCursor cursor) {
        auto* pad = TComponent::Create<TCustomControl>(form);
        pad->SetParent(form);
        pad->SetBounds(x, 10, 120, 120);
        pad->SetCursor(cursor);
        return pad;
    }
    // Moves the pointer over the control and waits until the server shows
    // a cursor of the given size there, other than the one it showed before.
    ShownCursor Over(TControl* control, int width, const ShownCursor& before = {}) {
        const POINT p = program->Get<POINT>([=] { return control->ClientToScreen(POINT{60, 60}); });
        server.MoveTo(p.x, p.y);
        ShownCursor shown;
        server.WaitFor([&] {
            shown = ServerCursor(server.Name());
            return shown.width == width && shown.argb != before.argb;
        });
        return shown;
    }
    TControl *hand = nullptr, *dragHand = nullptr;
};

constexpr uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kClear = 0;

TEST_F(X11ExCursorsTest, TheHandAndTheDragHandAreTheProgramsOwnPictures) {
    const ShownCursor h = Over(hand, 32);
    ASSERT_EQ(h.width, 32) << "the hand is not the program's 32 x 32 picture";
    KeepPicture(h, SnapshotPath("ex_handcur_x11"));
    EXPECT_EQ(h.height, 32);
    EXPECT_EQ(h.hotX, 6); // the tip of the finger
    EXPECT_EQ(h.hotY, 0);
    EXPECT_EQ(h.At(5, 0), kBlack);
    EXPECT_EQ(h.At(6, 2), kWhite);
    EXPECT_EQ(h.At(0, 0), kClear);
    EXPECT_EQ(h.At(10, 18), kBlack); // the bottom of the hand

    const ShownCursor d = Over(dragHand, 32, h);
    ASSERT_EQ(d.width, 32);
    KeepPicture(d, SnapshotPath("ex_dragcur_x11"));
    EXPECT_EQ(d.hotX, 8);
    EXPECT_EQ(d.hotY, 6);
    EXPECT_EQ(d.At(4, 1), kBlack); // the knuckles
    EXPECT_EQ(d.At(8, 6), kWhite);
    EXPECT_EQ(d.At(4, 0), kClear);
}

} // namespace
} // namespace ax
