#pragma once
// The few GTK3 entry points the theme library draws with, found at run time
// in libgtk-3.so.0: the program neither links GTK nor needs it installed.
// Only the types these calls pass are declared, as GTK lays them out.
#include <cairo.h>
#include <cstddef>
#include <cstdint>

namespace ax::gtk {

struct StyleContext;
struct WidgetPath;
struct CssProvider;
struct Settings;
using GType = std::size_t;
inline constexpr GType kTypeNone = 4; // fundamental type 1 shifted by 2

struct Border {
    std::int16_t left = 0, right = 0, top = 0, bottom = 0;
};

// GtkStateFlags
enum : unsigned {
    kStateNormal = 0,
    kStateActive = 1,
    kStatePrelight = 2,
    kStateInsensitive = 8,
    kStateInconsistent = 16,
    kStateDirLtr = 128,
    kStateChecked = 2048,
};

inline constexpr unsigned kProviderPriorityUser = 800;

struct Api {
    int (*init_check)(int*, char***) = nullptr;
    void (*disable_setlocale)() = nullptr;
    GType (*window_get_type)() = nullptr;
    GType (*check_button_get_type)() = nullptr;
    GType (*radio_button_get_type)() = nullptr;
    GType (*button_get_type)() = nullptr;
    GType (*tree_view_get_type)() = nullptr;
    GType (*scrollbar_get_type)() = nullptr;
    GType (*combo_box_get_type)() = nullptr;
    WidgetPath* (*widget_path_new)() = nullptr;
    int (*widget_path_append_type)(WidgetPath*, GType) = nullptr;
    void (*widget_path_iter_set_object_name)(WidgetPath*, int, const char*) = nullptr;
    void (*widget_path_iter_add_class)(WidgetPath*, int, const char*) = nullptr;
    void (*widget_path_unref)(WidgetPath*) = nullptr;
    int (*widget_path_append_with_siblings)(WidgetPath*, WidgetPath*, unsigned) = nullptr;
    StyleContext* (*style_context_new)() = nullptr;
    void (*style_context_set_path)(StyleContext*, WidgetPath*) = nullptr;
    void (*style_context_set_state)(StyleContext*, unsigned) = nullptr;
    void (*style_context_set_parent)(StyleContext*, StyleContext*) = nullptr;
    void (*style_context_get_border)(StyleContext*, unsigned, Border*) = nullptr;
    void (*style_context_get_padding)(StyleContext*, unsigned, Border*) = nullptr;
    void (*style_context_get_margin)(StyleContext*, unsigned, Border*) = nullptr;
    void (*style_context_get)(StyleContext*, unsigned, ...) = nullptr;
    void (*style_context_get_style)(StyleContext*, ...) = nullptr;
    void (*style_context_add_provider)(StyleContext*, CssProvider*, unsigned) = nullptr;
    CssProvider* (*css_provider_new)() = nullptr;
    int (*css_provider_load_from_data)(CssProvider*, const char*, std::ptrdiff_t, void**) = nullptr;
    void (*render_background)(StyleContext*, cairo_t*, double, double, double, double) = nullptr;
    void (*render_frame)(StyleContext*, cairo_t*, double, double, double, double) = nullptr;
    void (*render_check)(StyleContext*, cairo_t*, double, double, double, double) = nullptr;
    void (*render_option)(StyleContext*, cairo_t*, double, double, double, double) = nullptr;
    void (*render_expander)(StyleContext*, cairo_t*, double, double, double, double) = nullptr;
    void (*render_arrow)(StyleContext*, cairo_t*, double, double, double, double) = nullptr;
    Settings* (*settings_get_default)() = nullptr;
    void (*object_set)(void*, const char*, ...) = nullptr;
    void (*object_get)(void*, const char*, ...) = nullptr;
    void (*object_unref)(void*) = nullptr;
    void (*free)(void*) = nullptr;
};

// GTK bound and initialised on the display named by DISPLAY; null when
// the library is missing or cannot open the display. Loaded once; the
// library stays for the life of the process (GTK cannot be unloaded).
const Api* Load();

} // namespace ax::gtk
