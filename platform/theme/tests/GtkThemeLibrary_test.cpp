// The GTK-drawn theme library against GTK's own widgets: each part drawn
// through the stand-in must give the pixels GTK gives the matching widget
// in the same theme, size and state. Runs on a private Xvfb, in Adwaita
// and in HighContrast.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/library.h"
#include "platform/theme/GtkThemeLibrary.h"
#include "xvfb.h"
// After our headers: GLib's TRUE and FALSE are macros.
#include <gtk/gtk.h>

namespace ax {
namespace {

struct Theme;
using OpenProc = Theme* (*)(void*, const char16_t*);
using CloseProc = std::int32_t (*)(Theme*);
using DrawProc = std::int32_t (*)(Theme*, HDC, int, int, const RECT*, const RECT*);
using SizeProc = std::int32_t (*)(Theme*, HDC, int, int, const RECT*, int, SIZE*);
using ContentProc = std::int32_t (*)(Theme*, HDC, int, int, const RECT*, RECT*);

struct Surface {
    explicit Surface(int w, int h) : s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)) {}
    ~Surface() { cairo_surface_destroy(s); }
    std::uint32_t At(int x, int y) const {
        cairo_surface_flush(s);
        auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<const std::uint32_t*>(row)[x];
    }
    cairo_surface_t* s;
};

std::string Hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

// Differing pixels, with the first difference described; the rightmost
// `skipRight` columns are left out.
int Differences(const Surface& a, const Surface& b, std::string& first, int skipRight = 0) {
    const int w = cairo_image_surface_get_width(a.s) - skipRight, h = cairo_image_surface_get_height(a.s);
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (a.At(x, y) != b.At(x, y) && n++ == 0)
                first = "(" + std::to_string(x) + "," + std::to_string(y) + ") GTK " + Hex(a.At(x, y)) + ", ours " +
                        Hex(b.At(x, y));
    return n;
}

class GtkThemeLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string binary = test::FindXvfb();
        if (binary.empty()) return;
        server_ = new test::Xvfb;
        if (!server_->Start(binary)) return;
        setenv("DISPLAY", server_->Name().c_str(), 1);
        unsetenv("GTK_THEME");
        unsetenv(ClassicLookVariable);
        registered_ = RegisterGtkThemeLibrary();
    }
    static void TearDownTestSuite() {
        UnregisterGtkThemeLibrary();
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!registered_) GTEST_SKIP() << "no private X server or no GTK3 here";
        module_ = LoadLibrary(ThemeLibraryStandInName);
        ASSERT_NE(module_, 0u);
        open_ = reinterpret_cast<OpenProc>(GetProcAddress(module_, "OpenThemeData"));
        close_ = reinterpret_cast<CloseProc>(GetProcAddress(module_, "CloseThemeData"));
        draw_ = reinterpret_cast<DrawProc>(GetProcAddress(module_, "DrawThemeBackground"));
        size_ = reinterpret_cast<SizeProc>(GetProcAddress(module_, "GetThemePartSize"));
        content_ = reinterpret_cast<ContentProc>(GetProcAddress(module_, "GetThemeBackgroundContentRect"));
        ASSERT_TRUE(open_ && close_ && draw_ && size_ && content_);
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
        UseTheme("Adwaita");
    }
    static void UseTheme(const char* name) {
        if (!registered_) return;
        g_object_set(gtk_settings_get_default(), "gtk-theme-name", name, nullptr);
        ReloadGtkTheme();
    }
    // The stand-in's drawing of one part over a transparent surface.
    void DrawOurs(const char16_t* cls, int part, int state, const Surface& into) {
        Theme* theme = open_(nullptr, cls);
        ASSERT_NE(theme, nullptr);
        const RECT r{0, 0, cairo_image_surface_get_width(into.s), cairo_image_surface_get_height(into.s)};
        HDC dc = CreateSurfaceDC(into.s, POINT{0, 0}, nullptr);
        EXPECT_EQ(draw_(theme, dc, part, state, &r, nullptr), 0);
        DeleteDC(dc);
        close_(theme);
    }

    static inline test::Xvfb* server_ = nullptr;
    static inline bool registered_ = false;
    HMODULE module_ = 0;
    OpenProc open_ = nullptr;
    CloseProc close_ = nullptr;
    DrawProc draw_ = nullptr;
    SizeProc size_ = nullptr;
    ContentProc content_ = nullptr;
};

// A check button (or radio button) alone in an offscreen window, in one state,
// drawn by GTK: its indicator fills the widget.
void DrawGtkToggle(bool radio, int mark, GtkStateFlags hover, bool disabled, const Surface& into) {
    GtkWidget* window = gtk_offscreen_window_new();
    // A radio button alone in its group is always on: an unchecked one
    // needs a partner.
    GtkWidget* partner = radio ? gtk_radio_button_new(nullptr) : nullptr;
    GtkWidget* button = radio ? gtk_radio_button_new_from_widget(GTK_RADIO_BUTTON(partner)) : gtk_check_button_new();
    gtk_container_add(GTK_CONTAINER(window), button);
    if (partner) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(partner), TRUE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), mark == 1);
    gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(button), mark == 2);
    gtk_widget_set_sensitive(button, !disabled);
    if (hover) gtk_widget_set_state_flags(button, hover, FALSE);
    gtk_widget_show_all(window);
    while (gtk_events_pending()) gtk_main_iteration();
    gtk_container_check_resize(GTK_CONTAINER(window));
    cairo_t* cr = cairo_create(into.s);
    gtk_widget_draw(button, cr);
    cairo_destroy(cr);
    gtk_widget_destroy(window);
    if (partner) gtk_widget_destroy(partner);
}

TEST_F(GtkThemeLibraryTest, CheckBoxesAndRadioButtonsMatchGtkInAdwaitaAndHighContrast) {
    for (const char* theme : {"Adwaita", "HighContrast"}) {
        SCOPED_TRACE(theme);
        UseTheme(theme);
        Theme* button = open_(nullptr, u"button");
        SIZE check{}, radio{};
        ASSERT_EQ(size_(button, HDC{}, 3, 1, nullptr, 1, &check), 0);
        ASSERT_EQ(size_(button, HDC{}, 2, 1, nullptr, 1, &radio), 0);
        close_(button);
        // Both themes draw 14-pixel indicators inside a 1-pixel border.
        EXPECT_EQ(check.cx, 16);
        EXPECT_EQ(check.cy, 16);
        EXPECT_EQ(radio.cx, 16);
        // State ids: quartets of normal, hot, pressed, disabled; unchecked,
        // checked, then (check boxes only) mixed.
        const GtkStateFlags hover[] = {GtkStateFlags(0), GTK_STATE_FLAG_PRELIGHT,
                                       GtkStateFlags(GTK_STATE_FLAG_PRELIGHT | GTK_STATE_FLAG_ACTIVE),
                                       GtkStateFlags(0)};
        for (int state = 1; state <= 12; ++state) {
            const int mark = (state - 1) / 4, look = (state - 1) % 4;
            for (const bool isRadio : {false, true}) {
                if (isRadio && mark == 2) continue;
                SCOPED_TRACE((isRadio ? "radio state " : "check state ") + std::to_string(state));
                Surface gtkOwn(16, 16), ours(16, 16);
                DrawGtkToggle(isRadio, mark, hover[look], look == 3, gtkOwn);
                DrawOurs(u"button", isRadio ? 2 : 3, state, ours);
                std::string where;
                EXPECT_EQ(Differences(gtkOwn, ours, where), 0) << "first at " << where;
            }
        }
    }
}

TEST_F(GtkThemeLibraryTest, HeaderItemsMatchAGtkTreeViewColumnButton) {
    for (const char* theme : {"Adwaita", "HighContrast"}) {
        SCOPED_TRACE(theme);
        UseTheme(theme);
        for (int state = 1; state <= 3; ++state) {
            SCOPED_TRACE("state " + std::to_string(state));
            GtkWidget* window = gtk_offscreen_window_new();
            GtkWidget* view = gtk_tree_view_new();
            // The middle one of three columns: the themes draw the first and
            // last column's edges apart, which a header item does not know.
            GtkTreeViewColumn* column = nullptr;
            for (int i = 0; i < 3; ++i) {
                GtkTreeViewColumn* c = gtk_tree_view_column_new();
                gtk_tree_view_column_set_title(c, "");
                gtk_tree_view_append_column(GTK_TREE_VIEW(view), c);
                if (i == 1) column = c;
            }
            gtk_container_add(GTK_CONTAINER(window), view);
            gtk_widget_set_size_request(view, 180, 40);
            GtkWidget* button = gtk_tree_view_column_get_button(column);
            if (state == 2) gtk_widget_set_state_flags(button, GTK_STATE_FLAG_PRELIGHT, FALSE);
            if (state == 3)
                gtk_widget_set_state_flags(button, GtkStateFlags(GTK_STATE_FLAG_PRELIGHT | GTK_STATE_FLAG_ACTIVE),
                                           FALSE);
            gtk_widget_show_all(window);
            while (gtk_events_pending()) gtk_main_iteration();
            gtk_container_check_resize(GTK_CONTAINER(window));
            GtkAllocation a;
            gtk_widget_get_allocation(button, &a);
            ASSERT_GT(a.width, 0);
            ASSERT_GT(a.height, 0);
            Surface gtkOwn(a.width, a.height), ours(a.width, a.height);
            cairo_t* cr = cairo_create(gtkOwn.s);
            gtk_widget_draw(button, cr);
            cairo_destroy(cr);
            gtk_widget_destroy(window);
            DrawOurs(u"header", 1, state, ours);
            // Tolerance: the column of the separator line on the right. GTK
            // draws it or not by the button's place among its siblings at
            // rest (not under the pointer), which a header item does not
            // know; ours always draws it, so adjacent items stay apart.
            std::string where;
            EXPECT_EQ(Differences(gtkOwn, ours, where, 1), 0) << "first at " << where;
        }
    }
}

TEST_F(GtkThemeLibraryTest, ExpandButtonsMatchWhatATreeViewDraws) {
    for (const char* theme : {"Adwaita", "HighContrast"}) {
        SCOPED_TRACE(theme);
        UseTheme(theme);
        GtkWidget* view = gtk_tree_view_new();
        g_object_ref_sink(view);
        GtkStyleContext* context = gtk_widget_get_style_context(view);
        int size = 0;
        gtk_widget_style_get(view, "expander-size", &size, nullptr);
        ASSERT_GT(size, 0);
        for (int state = 1; state <= 2; ++state) {
            SCOPED_TRACE("state " + std::to_string(state));
            Surface gtkOwn(size, size), ours(size, size);
            gtk_style_context_save(context);
            gtk_style_context_add_class(context, GTK_STYLE_CLASS_EXPANDER);
            gtk_style_context_set_state(context, state == 2 ? GTK_STATE_FLAG_CHECKED : GTK_STATE_FLAG_NORMAL);
            cairo_t* cr = cairo_create(gtkOwn.s);
            gtk_render_expander(context, cr, 0, 0, size, size);
            cairo_destroy(cr);
            gtk_style_context_restore(context);
            DrawOurs(u"treeview", 2, state, ours);
            std::string where;
            EXPECT_EQ(Differences(gtkOwn, ours, where), 0) << "first at " << where;
        }
        g_object_unref(view);
    }
}

TEST_F(GtkThemeLibraryTest, ClassesPartsAndStatesOutsideTheTablesAreRefused) {
    EXPECT_EQ(open_(nullptr, u"progress"), nullptr);
    EXPECT_EQ(open_(nullptr, nullptr), nullptr);
    // A class list takes the first class GTK draws, in any case.
    Theme* theme = open_(nullptr, u"Explorer::Nothing;BUTTON");
    ASSERT_NE(theme, nullptr);
    Surface s(16, 16);
    HDC dc = CreateSurfaceDC(s.s, POINT{0, 0}, nullptr);
    const RECT r{0, 0, 16, 16};
    EXPECT_EQ(draw_(theme, dc, 3, 13, &r, nullptr), std::int32_t(0x80070057u)) << "no state 13";
    EXPECT_EQ(draw_(theme, dc, 2, 9, &r, nullptr), std::int32_t(0x80070057u)) << "radio buttons are never mixed";
    EXPECT_EQ(draw_(theme, dc, 7, 1, &r, nullptr), std::int32_t(0x80070057u)) << "no part 7";
    EXPECT_EQ(draw_(theme, dc, 3, 1, nullptr, nullptr), std::int32_t(0x80070057u));
    // A clip rectangle keeps the drawing inside it.
    const RECT clip{0, 0, 8, 16};
    EXPECT_EQ(draw_(theme, dc, 3, 5, &r, &clip), 0);
    EXPECT_EQ(s.At(12, 8), 0u) << "right of the clip stays transparent";
    EXPECT_NE(s.At(4, 8), 0u);
    DeleteDC(dc);
    close_(theme);
}

TEST_F(GtkThemeLibraryTest, ScrollBarPartsDrawAndTheThumbHasItsBorderInside) {
    Theme* theme = open_(nullptr, u"scrollbar");
    ASSERT_NE(theme, nullptr);
    Surface s(16, 100);
    HDC dc = CreateSurfaceDC(s.s, POINT{0, 0}, nullptr);
    const RECT up{0, 0, 16, 16}, track{0, 16, 16, 40}, thumb{0, 40, 16, 70}, down{0, 84, 16, 100};
    EXPECT_EQ(draw_(theme, dc, 1, 1, &up, nullptr), 0);
    EXPECT_EQ(draw_(theme, dc, 1, 5, &down, nullptr), 0);
    EXPECT_EQ(draw_(theme, dc, 7, 1, &track, nullptr), 0);
    EXPECT_EQ(draw_(theme, dc, 3, 3, &thumb, nullptr), 0);
    EXPECT_EQ(draw_(theme, dc, 9, 3, &thumb, nullptr), 0) << "grippers: nothing to draw, but no failure";
    RECT content{};
    EXPECT_EQ(content_(theme, dc, 3, 1, &thumb, &content), 0);
    EXPECT_GE(content.left, thumb.left);
    EXPECT_LE(content.right, thumb.right);
    EXPECT_GE(content.top, thumb.top);
    EXPECT_LE(content.bottom, thumb.bottom);
    // The thumb is opaque in its middle in both themes.
    EXPECT_EQ(s.At(8, 55) >> 24, 0xFFu);
    DeleteDC(dc);
    close_(theme);
}

// A real GtkScrollbar, vertical, with both arrow buttons square at the
// bar's width (as the owner-drawn bar lays them out), driven by pointer
// events as a user would drive it, since GTK keeps the hot and pressed
// looks of its arrows, thumb and track to itself.
class GtkScrollbarUnderTest {
public:
    static constexpr int kWidth = 16, kHeight = 160;
    explicit GtkScrollbarUnderTest(bool sensitive) {
        window_ = gtk_offscreen_window_new();
        adjustment_ = gtk_adjustment_new(40, 0, 100, 1, 20, 20);
        bar_ = gtk_scrollbar_new(GTK_ORIENTATION_VERTICAL, adjustment_);
        gtk_widget_set_size_request(bar_, kWidth, kHeight);
        gtk_widget_set_sensitive(bar_, sensitive);
        gtk_container_add(GTK_CONTAINER(window_), bar_);
        gtk_widget_show_all(window_);
        Settle();
    }
    ~GtkScrollbarUnderTest() { gtk_widget_destroy(window_); }
    // The arrows, the two track pieces and the thumb, where GTK put them.
    // The arrows are square, as the test's style asks.
    RECT Up() const { return {0, 0, kWidth, kWidth}; }
    RECT Down() const { return {0, kHeight - kWidth, kWidth, kHeight}; }
    RECT Thumb() const {
        int start = 0, end = 0;
        gtk_range_get_slider_range(GTK_RANGE(bar_), &start, &end);
        return {0, start, kWidth, end};
    }
    RECT Trough() const { return {0, kWidth, kWidth, kHeight - kWidth}; }
    void Hover(int y) { Send(GDK_MOTION_NOTIFY, y); }
    void Press(int y) {
        Hover(y);
        Send(GDK_BUTTON_PRESS, y);
    }
    void Draw(const Surface& into) {
        cairo_t* cr = cairo_create(into.s);
        gtk_widget_draw(bar_, cr);
        cairo_destroy(cr);
    }

private:
    void Settle() {
        while (gtk_events_pending()) gtk_main_iteration();
        gtk_container_check_resize(GTK_CONTAINER(window_));
    }
    // The bar takes pointer events through an input window of its own.
    GdkWindow* InputWindow() const {
        for (GList* c = gdk_window_peek_children(gtk_widget_get_window(bar_)); c; c = c->next) {
            gpointer owner = nullptr;
            gdk_window_get_user_data(GDK_WINDOW(c->data), &owner);
            if (owner == bar_) return GDK_WINDOW(c->data);
        }
        return gtk_widget_get_window(bar_);
    }
    void Send(GdkEventType type, int y) {
        GdkEvent* e = gdk_event_new(type);
        GdkWindow* w = InputWindow();
        GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(w)));
        gdk_event_set_device(e, pointer);
        gdk_event_set_source_device(e, pointer);
        if (type == GDK_MOTION_NOTIFY) {
            e->motion.window = GDK_WINDOW(g_object_ref(w));
            e->motion.x = kWidth / 2, e->motion.y = y;
            e->motion.time = ++time_;
        } else {
            e->button.window = GDK_WINDOW(g_object_ref(w));
            e->button.x = kWidth / 2, e->button.y = y;
            e->button.button = 1;
            e->button.time = ++time_;
        }
        gtk_main_do_event(e);
        gdk_event_free(e);
        Settle();
    }

    GtkWidget* window_;
    GtkAdjustment* adjustment_;
    GtkWidget* bar_;
    unsigned time_ = 1000;
};

// What the owner-drawn bar draws through the stand-in for one look of the
// bar (the two track pieces on erase, then the arrows and the thumb), and
// how a user brings GTK's bar to that look.
struct ScrollbarLook {
    const char* what;
    int up, down, thumb, upperTrack, lowerTrack;
    std::function<void(GtkScrollbarUnderTest&)> act;
};

// GTK's pictures and ours side by side, one pair per look, for a person
// to see.
class SideBySide {
public:
    SideBySide(int looks, int w, int h) : w_(w), s_(looks * (2 * w + kGap), h), cr_(cairo_create(s_.s)) {
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_paint(cr_);
    }
    ~SideBySide() { cairo_destroy(cr_); }
    void Add(int look, const Surface& gtkOwn, const Surface& ours) {
        const int x = look * (2 * w_ + kGap);
        cairo_set_source_surface(cr_, gtkOwn.s, x, 0);
        cairo_paint(cr_);
        cairo_set_source_surface(cr_, ours.s, x + w_, 0);
        cairo_paint(cr_);
    }
    void Save(const std::string& name) {
        const char* dir = std::getenv("AX_CONTROLS_SNAPSHOT_DIR");
        const std::filesystem::path shots = dir ? dir : "snapshots";
        std::filesystem::create_directories(shots);
        cairo_surface_write_to_png(s_.s, (shots / name).c_str());
    }

private:
    static constexpr int kGap = 6;
    int w_;
    Surface s_;
    cairo_t* cr_;
};

TEST_F(GtkThemeLibraryTest, ScrollBarPartsMatchAGtkScrollbarInEveryState) {
    // Arrow buttons shown (both themes hide them), square at the bar's width.
    GtkCssProvider* arrows = gtk_css_provider_new();
    gtk_css_provider_load_from_data(arrows,
                                    "scrollbar { -GtkScrollbar-has-backward-stepper: true; "
                                    "-GtkScrollbar-has-forward-stepper: true; } "
                                    "scrollbar.vertical button { min-height: 16px; }",
                                    -1, nullptr);
    GdkScreen* screen = gdk_screen_get_default();
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(arrows),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    // GTK eases between looks; the test compares the looks themselves. A
    // click on the track pages, as on the owner-drawn bar, rather than
    // taking the thumb there.
    g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, "gtk-primary-button-warps-slider", FALSE,
                 nullptr);
    using Bar = GtkScrollbarUnderTest;
    const auto middleOfThumb = [](Bar& b) { return (b.Thumb().top + b.Thumb().bottom) / 2; };
    const ScrollbarLook looks[] = {
        {"at rest", 1, 5, 1, 1, 1, [](Bar&) {}},
        {"up arrow hot", 2, 5, 1, 1, 1, [](Bar& b) { b.Hover(4); }},
        {"up arrow pressed", 3, 5, 1, 1, 1, [](Bar& b) { b.Press(4); }},
        {"down arrow hot", 1, 6, 1, 1, 1, [](Bar& b) { b.Hover(Bar::kHeight - 4); }},
        {"down arrow pressed", 1, 7, 1, 1, 1, [](Bar& b) { b.Press(Bar::kHeight - 4); }},
        {"thumb hot", 1, 5, 2, 1, 1, [&](Bar& b) { b.Hover(middleOfThumb(b)); }},
        {"thumb pressed", 1, 5, 3, 1, 1, [&](Bar& b) { b.Press(middleOfThumb(b)); }},
        // GTK's track has one look whether pressed or not; the owner-drawn
        // bar asks for the pressed one there.
        {"track above pressed", 1, 5, 1, 3, 1, [](Bar& b) { b.Press(b.Trough().top + 2); }},
        {"disabled", 4, 8, 4, 1, 1, [](Bar&) {}},
    };
    const int w = Bar::kWidth, h = Bar::kHeight;
    for (const char* theme : {"Adwaita", "HighContrast"}) {
        SCOPED_TRACE(theme);
        UseTheme(theme);
        SideBySide shot(std::size(looks), w, h);
        Surface atRest(w, h);
        for (const ScrollbarLook& look : looks) {
            SCOPED_TRACE(look.what);
            Bar bar(/*sensitive=*/look.up != 4);
            look.act(bar);
            Surface gtkOwn(w, h), ours(w, h);
            bar.Draw(gtkOwn);
            const RECT up = bar.Up(), down = bar.Down(), thumb = bar.Thumb(), trough = bar.Trough();
            const RECT above{0, trough.top, w, thumb.top}, below{0, thumb.bottom, w, trough.bottom};
            Theme* t = open_(nullptr, u"scrollbar");
            HDC dc = CreateSurfaceDC(ours.s, POINT{0, 0}, nullptr);
            EXPECT_EQ(draw_(t, dc, 7, look.upperTrack, &above, nullptr), 0);
            EXPECT_EQ(draw_(t, dc, 6, look.lowerTrack, &below, nullptr), 0);
            EXPECT_EQ(draw_(t, dc, 1, look.up, &up, nullptr), 0);
            EXPECT_EQ(draw_(t, dc, 1, look.down, &down, nullptr), 0);
            EXPECT_EQ(draw_(t, dc, 3, look.thumb, &thumb, nullptr), 0);
            DeleteDC(dc);
            close_(t);
            std::string where;
            EXPECT_EQ(Differences(gtkOwn, ours, where), 0) << "first at " << where;
            // Each look is one GTK shows apart from the bar at rest, so the
            // pointer really brought GTK's bar there.
            if (&look == &looks[0]) bar.Draw(atRest);
            else EXPECT_GT(Differences(atRest, gtkOwn, where), 0) << "GTK's bar did not change";
            shot.Add(int(&look - looks), gtkOwn, ours);
        }
        shot.Save(std::string("theme_scrollbar_") + theme + ".png");
    }
    g_object_set(gtk_settings_get_default(), "gtk-enable-animations", TRUE, "gtk-primary-button-warps-slider", TRUE,
                 nullptr);
    gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(arrows));
    g_object_unref(arrows);
}

// The drop-down button inside a GtkComboBox.
GtkWidget* FindToggleButton(GtkWidget* widget) {
    if (GTK_IS_TOGGLE_BUTTON(widget)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GtkWidget* found = nullptr;
    gtk_container_forall(
        GTK_CONTAINER(widget),
        [](GtkWidget* child, gpointer data) {
            auto* out = static_cast<GtkWidget**>(data);
            if (!*out) *out = FindToggleButton(child);
        },
        &found);
    return found;
}

// A GtkComboBox with nothing chosen, at its narrowest, is a button holding
// the arrow alone, as the owner-drawn combo box's button does; its frame
// is rounded on every side, the button being its box's only child.
TEST_F(GtkThemeLibraryTest, ComboBoxButtonsMatchAGtkComboBox) {
    g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, nullptr);
    for (const char* theme : {"Adwaita", "HighContrast"}) {
        SCOPED_TRACE(theme);
        UseTheme(theme);
        const GtkStateFlags looks[] = {GtkStateFlags(0), GTK_STATE_FLAG_PRELIGHT,
                                       GtkStateFlags(GTK_STATE_FLAG_PRELIGHT | GTK_STATE_FLAG_ACTIVE),
                                       GTK_STATE_FLAG_INSENSITIVE};
        std::unique_ptr<SideBySide> shot;
        for (int state = 1; state <= 4; ++state) {
            SCOPED_TRACE("state " + std::to_string(state));
            GtkWidget* window = gtk_offscreen_window_new();
            GtkWidget* combo = gtk_combo_box_new();
            gtk_container_add(GTK_CONTAINER(window), combo);
            GtkWidget* button = FindToggleButton(combo);
            ASSERT_NE(button, nullptr);
            if (state == 4) gtk_widget_set_sensitive(combo, FALSE);
            else if (state > 1) gtk_widget_set_state_flags(button, looks[state - 1], FALSE);
            gtk_widget_show_all(window);
            while (gtk_events_pending()) gtk_main_iteration();
            gtk_container_check_resize(GTK_CONTAINER(window));
            GtkAllocation a;
            gtk_widget_get_allocation(button, &a);
            ASSERT_GT(a.width, 0);
            Surface gtkOwn(a.width, a.height), ours(a.width, a.height);
            cairo_t* cr = cairo_create(gtkOwn.s);
            gtk_widget_draw(button, cr);
            cairo_destroy(cr);
            gtk_widget_destroy(window);
            DrawOurs(u"combobox", 1, state, ours);
            std::string where;
            EXPECT_EQ(Differences(gtkOwn, ours, where), 0) << "first at " << where;
            if (!shot) shot = std::make_unique<SideBySide>(4, a.width, a.height);
            shot->Add(state - 1, gtkOwn, ours);
        }
        shot->Save(std::string("theme_combobox_") + theme + ".png");
    }
    g_object_set(gtk_settings_get_default(), "gtk-enable-animations", TRUE, nullptr);
}

// The desktop's settings naming a theme, as a settings manager publishes
// them (little-endian, one string setting).
std::vector<std::uint8_t> ThemeSettings(const std::string& theme) {
    std::vector<std::uint8_t> b = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 13, 0};
    for (char c : std::string("Net/ThemeName\0\0\0", 16)) b.push_back(std::uint8_t(c));
    for (int c : {1, 0, 0, 0, int(theme.size()), 0, 0, 0}) b.push_back(std::uint8_t(c));
    for (char c : theme) b.push_back(std::uint8_t(c));
    while (b.size() % 4) b.push_back(0);
    return b;
}

TEST_F(GtkThemeLibraryTest, TheDesktopNamingAnotherThemeChangesWhatIsDrawn) {
    Surface before(16, 16), after(16, 16);
    DrawOurs(u"button", 3, 5, before);
    EXPECT_FALSE(ApplyDesktopSettings(ThemeSettings("Adwaita"))) << "the theme in use already";
    setenv("GTK_THEME", "Adwaita", 1);
    EXPECT_FALSE(ApplyDesktopSettings(ThemeSettings("HighContrast"))) << "GTK_THEME wins, as in GTK";
    unsetenv("GTK_THEME");
    EXPECT_TRUE(ApplyDesktopSettings(ThemeSettings("HighContrast")));
    gchar* name = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-theme-name", &name, nullptr);
    EXPECT_STREQ(name, "HighContrast");
    g_free(name);
    DrawOurs(u"button", 3, 5, after);
    std::string where;
    EXPECT_GT(Differences(before, after, where), 0) << "a checked box looks otherwise in HighContrast";
    EXPECT_FALSE(ApplyDesktopSettings({1, 2, 3})) << "damaged settings change nothing";
}

TEST(GtkThemeLibraryClassic, TheClassicSettingKeepsTheLibraryAway) {
    setenv(ClassicLookVariable, "1", 1);
    EXPECT_TRUE(ClassicLookRequested());
    EXPECT_FALSE(RegisterGtkThemeLibrary());
    setenv(ClassicLookVariable, "0", 1);
    EXPECT_FALSE(ClassicLookRequested());
    unsetenv(ClassicLookVariable);
    EXPECT_FALSE(ClassicLookRequested());
}

} // namespace
} // namespace ax
