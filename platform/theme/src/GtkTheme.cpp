// Drawing one theme class's parts with GTK. Each part is drawn as the GTK
// widget draws the matching CSS node: its background and frame over the
// node's box, then its icon (check mark, arrow, ...) inside the border and
// padding, so a part here matches the widget pixel for pixel.
#include "GtkTheme.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace ax {
namespace {

// GTK draws the arrow images of scroll bars this size, whatever the size
// of their buttons (a combo box's arrow takes its node's size).
constexpr int kScrollArrowSize = 14;

// Parts that exist only to draw another part's surroundings.
constexpr int kScrollbarBodyVert = 100, kScrollbarBodyHorz = 101, kComboArrow = 102;

bool EqualsNoCase(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t c = a[i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        if (c != char16_t(b[i])) return false;
    }
    return true;
}

// Normal, hot, pressed, disabled: the order of every quartet of state ids.
unsigned QuartetFlags(int index) {
    switch (index) {
    case 1: return gtk::kStatePrelight;
    case 2: return gtk::kStateActive | gtk::kStatePrelight;
    case 3: return gtk::kStateInsensitive;
    default: return gtk::kStateNormal;
    }
}

gtk::CssProvider* BareProvider(const gtk::Api& a) {
    static gtk::CssProvider* const p = [&a] {
        gtk::CssProvider* css = a.css_provider_new();
        a.css_provider_load_from_data(css,
                                      "* { background: none; border-style: none; box-shadow: none; "
                                      "outline-style: none; }",
                                      -1, nullptr);
        return css;
    }();
    return p;
}

} // namespace

// A widget path from the window down, one CSS node at a time.
class PathBuilder {
public:
    explicit PathBuilder(const gtk::Api& a) : a_(a), path_(a.widget_path_new()) {
        Add(a.window_get_type(), "window", {"background"});
    }
    PathBuilder& Add(gtk::GType type, const char* name, std::initializer_list<const char*> classes = {}) {
        const int at = a_.widget_path_append_type(path_, type);
        a_.widget_path_iter_set_object_name(path_, at, name);
        for (const char* c : classes) a_.widget_path_iter_add_class(path_, at, c);
        return *this;
    }
    // A node that is its parent's only child, which themes round on every side.
    PathBuilder& AddOnlyChild(gtk::GType type, const char* name, std::initializer_list<const char*> classes = {}) {
        gtk::WidgetPath* siblings = a_.widget_path_new();
        const int at = a_.widget_path_append_type(siblings, type);
        a_.widget_path_iter_set_object_name(siblings, at, name);
        for (const char* c : classes) a_.widget_path_iter_add_class(siblings, at, c);
        a_.widget_path_append_with_siblings(path_, siblings, 0);
        a_.widget_path_unref(siblings);
        return *this;
    }
    gtk::WidgetPath* Take() { return path_; }

private:
    const gtk::Api& a_;
    gtk::WidgetPath* path_;
};

unsigned& GtkThemeGeneration() {
    static unsigned generation = 0;
    return generation;
}

bool GtkTheme::ClassFromList(std::u16string_view list, Class& out) {
    static constexpr std::pair<std::string_view, Class> known[] = {
        {"button", Class::Button},       {"treeview", Class::TreeView}, {"header", Class::Header},
        {"scrollbar", Class::ScrollBar}, {"combobox", Class::ComboBox},
    };
    while (!list.empty()) {
        const std::size_t semi = list.find(u';');
        const std::u16string_view name = list.substr(0, semi);
        for (const auto& [n, c] : known)
            if (EqualsNoCase(name, n)) {
                out = c;
                return true;
            }
        if (semi == std::u16string_view::npos) break;
        list.remove_prefix(semi + 1);
    }
    return false;
}

GtkTheme::~GtkTheme() { Forget(); }

void GtkTheme::Forget() {
    ForgetPictures();
    for (auto& [key, s] : styles_) {
        api_.object_unref(s.full);
        api_.object_unref(s.bare);
    }
    styles_.clear();
}

// A push button, radio button or check box: quartets of normal, hot,
// pressed and disabled; unchecked, checked, then (check boxes) mixed.
bool GtkTheme::DescribeButton(PathBuilder& p, int part, int state, unsigned& flags) const {
    const gtk::Api& a = api_;
    const int quartet = (state - 1) / 4;
    if (part == 1) {
        p.Add(a.button_get_type(), "button");
        flags = QuartetFlags(state == 5 ? 0 : (state - 1) % 4); // 5: the default button, at rest
        return state <= 5;
    }
    if (part != 2 && part != 3) return false;
    const bool check = part == 3;
    p.Add(check ? a.check_button_get_type() : a.radio_button_get_type(), check ? "checkbutton" : "radiobutton")
        .Add(gtk::kTypeNone, check ? "check" : "radio");
    if (quartet == 1) flags |= gtk::kStateChecked;
    if (quartet == 2) flags |= gtk::kStateInconsistent;
    return quartet <= (check ? 2 : 1);
}

// Arrow buttons in quartets up, down, left, right; thumbs, tracks and the
// bar's own body in one quartet.
bool GtkTheme::DescribeScrollBar(PathBuilder& p, int part, int state) const {
    const int quartet = (state - 1) / 4;
    const bool vertical = part == 1 ? quartet <= 1 : part == 3 || part == 6 || part == 7 || part == kScrollbarBodyVert;
    p.Add(api_.scrollbar_get_type(), "scrollbar", {vertical ? "vertical" : "horizontal"});
    if (part == kScrollbarBodyVert || part == kScrollbarBodyHorz) return true;
    p.Add(gtk::kTypeNone, "contents");
    if (part == 1) {
        p.Add(gtk::kTypeNone, "button", {quartet % 2 == 0 ? "up" : "down"});
        return state <= 16;
    }
    if (part < 2 || part > 7) return false;
    p.Add(gtk::kTypeNone, "trough");
    if (part <= 3) p.Add(gtk::kTypeNone, "slider");
    return state <= 4;
}

bool GtkTheme::Describe(int part, int state, gtk::WidgetPath*& path, unsigned& flags) const {
    const gtk::Api& a = api_;
    PathBuilder p(a);
    flags = QuartetFlags((state - 1) % 4);
    bool known = state >= 1;
    switch (class_) {
    case Class::Button: known = known && DescribeButton(p, part, state, flags); break;
    case Class::TreeView:
        p.Add(a.tree_view_get_type(), "treeview", {"view", "expander"});
        flags = (state == 2 ? unsigned(gtk::kStateChecked) : 0u) | (part == 4 ? unsigned(gtk::kStatePrelight) : 0u);
        known = known && (part == 2 || part == 4) && state <= 2;
        break;
    case Class::Header:
        p.Add(a.tree_view_get_type(), "treeview", {"view"}).Add(gtk::kTypeNone, "header").Add(gtk::kTypeNone, "button");
        known = known && part == 1 && state <= 4;
        break;
    case Class::ScrollBar: known = known && DescribeScrollBar(p, part, state); break;
    case Class::ComboBox:
        p.Add(a.combo_box_get_type(), "combobox")
            .Add(gtk::kTypeNone, "box", {"linked"})
            .AddOnlyChild(gtk::kTypeNone, "button", {"combo"});
        if (part == kComboArrow) p.Add(gtk::kTypeNone, "box").Add(gtk::kTypeNone, "arrow");
        known = known && (part == 1 || part == kComboArrow) && state <= 4;
        break;
    }
    path = p.Take();
    if (!known) {
        a.widget_path_unref(path);
        path = nullptr;
    }
    return known;
}

const GtkTheme::Style* GtkTheme::StyleFor(int part, int state) {
    if (generation_ != GtkThemeGeneration()) {
        Forget();
        generation_ = GtkThemeGeneration();
    }
    const auto key = std::make_pair(part, state);
    if (auto it = styles_.find(key); it != styles_.end()) return &it->second;
    gtk::WidgetPath* path = nullptr;
    Style s;
    if (!Describe(part, state, path, s.flags)) return nullptr;
    s.full = api_.style_context_new();
    api_.style_context_set_path(s.full, path);
    api_.style_context_set_state(s.full, s.flags);
    s.bare = api_.style_context_new();
    api_.style_context_set_path(s.bare, path);
    api_.style_context_set_state(s.bare, s.flags);
    api_.style_context_add_provider(s.bare, BareProvider(api_), gtk::kProviderPriorityUser + 1);
    api_.widget_path_unref(path);
    // A style built from a path alone inherits nothing: the arrow takes its
    // colour from the button it sits in.
    if (class_ == Class::ComboBox && part == kComboArrow)
        if (const Style* button = StyleFor(1, state)) {
            api_.style_context_set_parent(s.full, button->full);
            api_.style_context_set_parent(s.bare, button->full);
        }
    // Measured once: asking GTK costs more than drawing a small part.
    s.inset = MeasureInset(s);
    api_.style_context_get_margin(s.full, s.flags, &s.margin);
    s.natural = MeasureNaturalSize(s);
    return &styles_.emplace(key, s).first->second;
}

gtk::Border GtkTheme::MeasureInset(const Style& s) const {
    gtk::Border border, padding;
    api_.style_context_get_border(s.full, s.flags, &border);
    api_.style_context_get_padding(s.full, s.flags, &padding);
    return {std::int16_t(border.left + padding.left), std::int16_t(border.right + padding.right),
            std::int16_t(border.top + padding.top), std::int16_t(border.bottom + padding.bottom)};
}

SIZE GtkTheme::MeasureNaturalSize(const Style& s) const {
    if (class_ == Class::TreeView) {
        int size = 0;
        api_.style_context_get_style(s.full, "expander-size", &size, nullptr);
        return {size, size};
    }
    int w = 0, h = 0;
    api_.style_context_get(s.full, s.flags, "min-width", &w, "min-height", &h, nullptr);
    const gtk::Border in = s.inset;
    return {std::max(w, 0) + in.left + in.right, std::max(h, 0) + in.top + in.bottom};
}

void GtkTheme::DrawBox(cairo_t* cr, const Style& s, double x, double y, double w, double h) const {
    api_.render_background(s.full, cr, x, y, w, h);
    api_.render_frame(s.full, cr, x, y, w, h);
}

// A node laid out in `r` as GTK lays out a widget's node: its box is the
// rectangle less the node's margin.
void GtkTheme::DrawBoxInMargin(cairo_t* cr, const Style& s, const RECT& r) const {
    const gtk::Border m = s.margin;
    DrawBox(cr, s, r.left + m.left, r.top + m.top, r.width() - m.left - m.right, r.height() - m.top - m.bottom);
}

// A check box, radio button or expand button: its own size, centred.
void GtkTheme::DrawIndicator(cairo_t* cr, const Style& s, int part, const RECT& r) const {
    const SIZE size = s.natural;
    const double x = r.left + (r.width() - size.cx) / 2, y = r.top + (r.height() - size.cy) / 2;
    if (class_ == Class::TreeView) {
        api_.render_expander(s.full, cr, x, y, size.cx, size.cy);
        return;
    }
    DrawBox(cr, s, x, y, size.cx, size.cy);
    const gtk::Border in = s.inset;
    const double cx = x + in.left, cy = y + in.top;
    const double cw = size.cx - in.left - in.right, ch = size.cy - in.top - in.bottom;
    if (part == 3) api_.render_check(s.bare, cr, cx, cy, cw, ch);
    else api_.render_option(s.bare, cr, cx, cy, cw, ch);
}

void GtkTheme::DrawArrowButton(cairo_t* cr, const Style& s, double angle, const RECT& r) const {
    DrawBox(cr, s, r.left, r.top, r.width(), r.height());
    const gtk::Border in = s.inset;
    const int w = r.width() - in.left - in.right, h = r.height() - in.top - in.bottom;
    const int size = std::min({w, h, class_ == Class::ScrollBar ? kScrollArrowSize : int(s.natural.cx)});
    if (size <= 0) return;
    api_.render_arrow(s.bare, cr, angle, r.left + in.left + (w - size) / 2, r.top + in.top + (h - size) / 2, size);
}

// GTK takes tens of microseconds to draw a part from its style, so each
// part is drawn once per size and state into a picture and copied from
// there.
bool GtkTheme::Draw(cairo_t* cr, int part, int state, const RECT& r) {
    if (class_ == Class::ScrollBar && (part == 8 || part == 9)) return true; // GTK draws no grippers
    if (!StyleFor(part, state)) return false; // also forgets the pictures of a theme gone
    if (r.width() <= 0 || r.height() <= 0) return true;
    const PictureKey key{part, state, r.width(), r.height()};
    auto it = pictures_.find(key);
    if (it == pictures_.end()) {
        if (pictures_.size() >= kMaxPictures) ForgetPictures();
        cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, r.width(), r.height());
        cairo_t* pc = cairo_create(picture);
        DrawDirect(pc, part, state, RECT{0, 0, r.width(), r.height()});
        cairo_destroy(pc);
        it = pictures_.emplace(key, picture).first;
    }
    cairo_set_source_surface(cr, it->second, r.left, r.top);
    cairo_paint(cr);
    return true;
}

void GtkTheme::ForgetPictures() {
    for (auto& [key, picture] : pictures_) cairo_surface_destroy(picture);
    pictures_.clear();
}

void GtkTheme::DrawDirect(cairo_t* cr, int part, int state, const RECT& r) {
    const Style* s = StyleFor(part, state);
    if (!s) return;
    const bool indicator = (class_ == Class::Button && part != 1) || class_ == Class::TreeView;
    if (indicator) {
        DrawIndicator(cr, *s, part, r);
    } else if (class_ == Class::ScrollBar) {
        DrawScrollBarPart(cr, part, state, r);
    } else if (class_ == Class::ComboBox) {
        DrawBox(cr, *s, r.left, r.top, r.width(), r.height());
        if (const Style* arrow = StyleFor(kComboArrow, state)) DrawArrowButton(cr, *arrow, M_PI, r);
    } else {
        DrawBox(cr, *s, r.left, r.top, r.width(), r.height());
    }
}

// Each part over what the bar shows beneath it (the bar's body, the
// track under the thumb), so the parts drawn side by side give the bar
// GTK draws.
void GtkTheme::DrawScrollBarPart(cairo_t* cr, int part, int state, const RECT& r) {
    const bool vertical = part == 1 ? state <= 8 : part == 3 || part == 6 || part == 7;
    const int track = vertical ? 6 : 4;
    // Looked up before drawing: a lookup may forget the styles of a theme gone.
    const Style* body = StyleFor(vertical ? kScrollbarBodyVert : kScrollbarBodyHorz, 1);
    const Style* under = part <= 3 && part != 1 ? StyleFor(track, 1) : nullptr;
    const Style* self = StyleFor(part, state);
    if (!self) return;
    if (body) DrawBox(cr, *body, r.left, r.top, r.width(), r.height());
    if (under) DrawBoxInMargin(cr, *under, r);
    if (part == 1) {
        // GTK draws its own arrow images at exactly these angles.
        static constexpr double kAngles[] = {0, M_PI, 3 * M_PI / 2, M_PI / 2}; // up, down, left, right
        DrawArrowButton(cr, *self, kAngles[(state - 1) / 4], r);
        return;
    }
    if (part == 2 || part == 3) {
        // Across the bar, the thumb takes its own size, centred, as GTK
        // lays out its slider.
        const gtk::Border m = self->margin;
        RECT thumb = r;
        if (vertical) {
            const int across = std::min(int(r.width()), self->natural.cx + m.left + m.right);
            thumb.left = r.left + (r.width() - across) / 2, thumb.right = thumb.left + across;
        } else {
            const int across = std::min(int(r.height()), self->natural.cy + m.top + m.bottom);
            thumb.top = r.top + (r.height() - across) / 2, thumb.bottom = thumb.top + across;
        }
        DrawBoxInMargin(cr, *self, thumb);
        return;
    }
    DrawBoxInMargin(cr, *self, r);
}

bool GtkTheme::ContentRect(int part, int state, const RECT& bounds, RECT& content) {
    const Style* s = StyleFor(part, state);
    if (!s) return false;
    const gtk::Border in = s->inset;
    content = {bounds.left + in.left, bounds.top + in.top, bounds.right - in.right, bounds.bottom - in.bottom};
    return true;
}

bool GtkTheme::PartSize(int part, int state, SIZE& size) {
    const Style* s = StyleFor(part, state);
    if (!s) return false;
    size = s->natural;
    return true;
}

} // namespace ax
