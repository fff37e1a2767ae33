// The themed check box on a real display (a private Xvfb with openbox,
// XTest input) with the desktop's theme drawn by GTK: its box is the box
// GTK draws for a check button in the same state, over the box's own
// colour; in the classic look it is the classic box. A click ticks it in
// both looks. Pictures: xpcheckbox_themed and xpcheckbox_classic.
#include "controls/ThemeBinding.h"
#include "controls/XPCheckBox.h"
#include "platform/theme/GtkThemeLibrary.h"
#include "x11_program.h"

#include <cstdlib>
// After our headers: GLib's TRUE and FALSE are macros.
#include <gtk/gtk.h>

namespace ax {
namespace {

constexpr int kGlyph = 16; // the check box both test themes draw

class X11XPCheckBoxTest : public test::X11FormTest {
protected:
    TForm* Build(TApplication& app) override {
        themed = RegisterGtkThemeLibrary() && BindThemeLibrary() && ThemesAvailable();
        form = app.CreateForm<TForm>();
        form->SetCaption("Check box");
        form->SetBounds(60, 70, 260, 120);
        box = TComponent::Create<TXPCheckBox>(form);
        box->SetBounds(20, 30, 140, 17);
        box->SetCaption("Large Fonts");
        box->SetParent(form);
        form->Show();
        return form;
    }
    void BeforeEnd() override {
        UnbindThemeLibrary();
        UnregisterGtkThemeLibrary();
    }
    // The picture the server shows of the form, and where the box's client
    // area starts in it.
    cairo_surface_t* Picture(const std::string& name, POINT& origin) {
        const HWND top = program->formWindow();
        Shot(top, name);
        origin = program->Get<POINT>([&] {
            RECT r{};
            GetWindowRect(top, r);
            const POINT p = box->ClientToScreen(POINT{0, 0});
            return POINT{p.x - r.left, p.y - r.top};
        });
        return cairo_image_surface_create_from_png(SnapshotPath(name).c_str());
    }
    // GTK's own check button, drawn on the program's thread (where GTK
    // runs) over the box's colour.
    cairo_surface_t* GtkCheck(bool checked) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kGlyph, kGlyph);
        EXPECT_TRUE(program->Call([&] {
            const COLORREF back = ColorToRGB(box->Color());
            cairo_t* cr = cairo_create(s);
            cairo_set_source_rgb(cr, GetRValue(back) / 255.0, GetGValue(back) / 255.0, GetBValue(back) / 255.0);
            cairo_paint(cr);
            GtkWidget* window = gtk_offscreen_window_new();
            GtkWidget* button = gtk_check_button_new();
            gtk_container_add(GTK_CONTAINER(window), button);
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), checked);
            gtk_widget_show_all(window);
            while (gtk_events_pending()) gtk_main_iteration();
            gtk_container_check_resize(GTK_CONTAINER(window));
            gtk_widget_draw(button, cr);
            gtk_widget_destroy(window);
            cairo_destroy(cr);
        }));
        return s;
    }
    // Tolerance: one step in a channel. The theme library draws a part once
    // into a picture with alpha and lays that over the control, so GTK's
    // anti-aliased edge pixels are rounded twice (premultiplied alpha);
    // GTK's own button here is drawn straight onto the colour, once.
    static bool Close(std::uint32_t a, std::uint32_t b) {
        for (int shift : {0, 8, 16})
            if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 1) return false;
        return true;
    }
    // Pixels of the glyph's square at `at` in `shown` unlike GTK's.
    static int Differences(cairo_surface_t* shown, POINT at, cairo_surface_t* gtkOwn) {
        cairo_surface_flush(shown);
        cairo_surface_flush(gtkOwn);
        int n = 0;
        for (int y = 0; y < kGlyph; ++y)
            for (int x = 0; x < kGlyph; ++x) {
                const auto pixel = [](cairo_surface_t* s, int px, int py) {
                    const auto* row = cairo_image_surface_get_data(s) + py * cairo_image_surface_get_stride(s);
                    return reinterpret_cast<const std::uint32_t*>(row)[px] & 0xFFFFFFu;
                };
                if (!Close(pixel(shown, at.x + x, at.y + y), pixel(gtkOwn, x, y))) ++n;
            }
        return n;
    }
    // Ticks the box with a click on it, as a user does.
    void Tick() {
        const POINT p = program->Get<POINT>([&] { return box->ClientToScreen(POINT{6, 8}); });
        Click(p);
        ASSERT_TRUE(Until([&] { return box->Checked(); })) << "the click did not tick the box";
    }

    bool themed = false;
    TForm* form = nullptr;
    TXPCheckBox* box = nullptr;
};

class X11XPCheckBoxThemed : public X11XPCheckBoxTest {
protected:
    void SetUp() override {
        unsetenv(ClassicLookVariable);
        setenv("GTK_THEME", "Adwaita", 1);
        X11XPCheckBoxTest::SetUp();
    }
    void TearDown() override {
        X11XPCheckBoxTest::TearDown();
        unsetenv("GTK_THEME");
    }
};

class X11XPCheckBoxClassic : public X11XPCheckBoxTest {
protected:
    void SetUp() override {
        setenv(ClassicLookVariable, "1", 1);
        X11XPCheckBoxTest::SetUp();
    }
    void TearDown() override {
        X11XPCheckBoxTest::TearDown();
        unsetenv(ClassicLookVariable);
    }
};

TEST_F(X11XPCheckBoxThemed, TheBoxIsGtksCheckButtonBeforeAndAfterAClick) {
    if (!program->Read(themed)) GTEST_SKIP() << "GTK3 cannot draw a theme here";
    // The theme's box is larger than the classic one: centred on it, and
    // kept inside the control, it starts at the control's left edge, one
    // row down in a 17-pixel control.
    for (const bool checked : {false, true}) {
        SCOPED_TRACE(checked ? "checked" : "unchecked");
        if (checked) {
            ASSERT_NO_FATAL_FAILURE(Tick());
        }
        POINT origin{};
        cairo_surface_t* shown = Picture(checked ? "xpcheckbox_themed" : "xpcheckbox_themed_unchecked", origin);
        cairo_surface_t* gtkOwn = GtkCheck(checked);
        EXPECT_EQ(Differences(shown, POINT{origin.x, origin.y + 1}, gtkOwn), 0);
        cairo_surface_destroy(gtkOwn);
        cairo_surface_destroy(shown);
    }
}

TEST_F(X11XPCheckBoxClassic, TheClassicBoxIsNotGtksAndTicksTheSame) {
    EXPECT_FALSE(program->Read(themed));
    ASSERT_NO_FATAL_FAILURE(Tick());
    POINT origin{};
    cairo_surface_t* shown = Picture("xpcheckbox_classic", origin);
    // The classic box: 13 pixels, framed in the shadow colour (top left).
    const auto* row = cairo_image_surface_get_data(shown) + (origin.y + 2) * cairo_image_surface_get_stride(shown);
    EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(row)[origin.x] & 0xFFFFFFu, 0x808080u);
    cairo_surface_destroy(shown);
}

} // namespace
} // namespace ax
