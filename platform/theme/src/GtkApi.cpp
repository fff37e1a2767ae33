// Finding GTK3 at run time and starting it beside our own display driver.
#include "GtkApi.h"

#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdlib>

namespace ax::gtk {
namespace {

template <class F> bool Bind(void* lib, F& slot, const char* name) {
    slot = reinterpret_cast<F>(dlsym(lib, name));
    return slot != nullptr;
}

bool BindAll(void* lib, Api& a) {
    bool ok = true;
    ok &= Bind(lib, a.init_check, "gtk_init_check");
    ok &= Bind(lib, a.disable_setlocale, "gtk_disable_setlocale");
    ok &= Bind(lib, a.window_get_type, "gtk_window_get_type");
    ok &= Bind(lib, a.check_button_get_type, "gtk_check_button_get_type");
    ok &= Bind(lib, a.radio_button_get_type, "gtk_radio_button_get_type");
    ok &= Bind(lib, a.button_get_type, "gtk_button_get_type");
    ok &= Bind(lib, a.tree_view_get_type, "gtk_tree_view_get_type");
    ok &= Bind(lib, a.scrollbar_get_type, "gtk_scrollbar_get_type");
    ok &= Bind(lib, a.combo_box_get_type, "gtk_combo_box_get_type");
    ok &= Bind(lib, a.widget_path_new, "gtk_widget_path_new");
    ok &= Bind(lib, a.widget_path_append_type, "gtk_widget_path_append_type");
    ok &= Bind(lib, a.widget_path_iter_set_object_name, "gtk_widget_path_iter_set_object_name");
    ok &= Bind(lib, a.widget_path_iter_add_class, "gtk_widget_path_iter_add_class");
    ok &= Bind(lib, a.widget_path_unref, "gtk_widget_path_unref");
    ok &= Bind(lib, a.widget_path_append_with_siblings, "gtk_widget_path_append_with_siblings");
    ok &= Bind(lib, a.style_context_new, "gtk_style_context_new");
    ok &= Bind(lib, a.style_context_set_path, "gtk_style_context_set_path");
    ok &= Bind(lib, a.style_context_set_state, "gtk_style_context_set_state");
    ok &= Bind(lib, a.style_context_set_parent, "gtk_style_context_set_parent");
    ok &= Bind(lib, a.style_context_get_border, "gtk_style_context_get_border");
    ok &= Bind(lib, a.style_context_get_padding, "gtk_style_context_get_padding");
    ok &= Bind(lib, a.style_context_get_margin, "gtk_style_context_get_margin");
    ok &= Bind(lib, a.style_context_get, "gtk_style_context_get");
    ok &= Bind(lib, a.style_context_get_style, "gtk_style_context_get_style");
    ok &= Bind(lib, a.style_context_add_provider, "gtk_style_context_add_provider");
    ok &= Bind(lib, a.css_provider_new, "gtk_css_provider_new");
    ok &= Bind(lib, a.css_provider_load_from_data, "gtk_css_provider_load_from_data");
    ok &= Bind(lib, a.render_background, "gtk_render_background");
    ok &= Bind(lib, a.render_frame, "gtk_render_frame");
    ok &= Bind(lib, a.render_check, "gtk_render_check");
    ok &= Bind(lib, a.render_option, "gtk_render_option");
    ok &= Bind(lib, a.render_expander, "gtk_render_expander");
    ok &= Bind(lib, a.render_arrow, "gtk_render_arrow");
    ok &= Bind(lib, a.settings_get_default, "gtk_settings_get_default");
    ok &= Bind(lib, a.object_set, "g_object_set");
    ok &= Bind(lib, a.object_get, "g_object_get");
    ok &= Bind(lib, a.object_unref, "g_object_unref");
    ok &= Bind(lib, a.free, "g_free");
    return ok;
}

// GTK opens a display connection of its own and installs Xlib's
// process-wide error handlers for it; ours stay in charge, and the
// program's locale is left as the program set it.
bool Start(Api& a) {
    if (!std::getenv("DISPLAY")) return false;
    a.disable_setlocale();
    const XErrorHandler error = XSetErrorHandler(nullptr);
    XSetErrorHandler(error);
    const XIOErrorHandler io = XSetIOErrorHandler(nullptr);
    XSetIOErrorHandler(io);
    const bool ok = a.init_check(nullptr, nullptr) != 0;
    XSetErrorHandler(error);
    XSetIOErrorHandler(io);
    return ok;
}

const Api* LoadOnce() {
    static Api api;
    void* lib = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    if (!BindAll(lib, api) || !Start(api)) return nullptr;
    return &api;
}

} // namespace

const Api* Load() {
    static const Api* const api = LoadOnce();
    return api;
}

} // namespace ax::gtk
