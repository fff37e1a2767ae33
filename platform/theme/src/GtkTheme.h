#pragma once
// One open theme of the GTK-drawn theme library: a class ("button",
// "treeview", ...) whose parts are drawn through GTK style contexts built
// for the matching widget's CSS nodes, cached per part and state.
#include <map>
#include <memory>
#include <string_view>
#include <tuple>
#include <utility>

#include "GtkApi.h"
#include "platform/gdi/gdi.h"

namespace ax {

class PathBuilder;

class GtkTheme {
public:
    enum class Class { Button, TreeView, Header, ScrollBar, ComboBox };

    // The first class of a ";"-separated list that GTK can draw; false when none.
    static bool ClassFromList(std::u16string_view list, Class& out);

    GtkTheme(const gtk::Api& api, Class c) : api_(api), class_(c) {}
    ~GtkTheme();
    GtkTheme(const GtkTheme&) = delete;
    GtkTheme& operator=(const GtkTheme&) = delete;

    bool Draw(cairo_t* cr, int part, int state, const RECT& r);
    // The rectangle inside the part's border and padding.
    bool ContentRect(int part, int state, const RECT& bounds, RECT& content);
    // The size the part is drawn at when it has one of its own (check
    // boxes, radio buttons, expand buttons); its minimum otherwise.
    bool PartSize(int part, int state, SIZE& size);

private:
    struct Style {
        gtk::StyleContext* full = nullptr; // as the theme says
        gtk::StyleContext* bare = nullptr; // the same without background and border: the icon alone
        unsigned flags = 0;
        gtk::Border inset;  // border and padding
        gtk::Border margin; // outside the box; negative to draw beyond it
        SIZE natural{};    // see PartSize
    };
    // A part's CSS nodes, outermost last, and its state flags; false for
    // a part GTK does not draw.
    bool Describe(int part, int state, gtk::WidgetPath*& path, unsigned& flags) const;
    bool DescribeButton(PathBuilder& p, int part, int state, unsigned& flags) const;
    bool DescribeScrollBar(PathBuilder& p, int part, int state) const;
    const Style* StyleFor(int part, int state);
    void Forget();
    void ForgetPictures();
    void DrawDirect(cairo_t* cr, int part, int state, const RECT& r);

    gtk::Border MeasureInset(const Style& s) const;
    SIZE MeasureNaturalSize(const Style& s) const;
    void DrawBox(cairo_t* cr, const Style& s, double x, double y, double w, double h) const;
    void DrawBoxInMargin(cairo_t* cr, const Style& s, const RECT& r) const;
    void DrawScrollBarPart(cairo_t* cr, int part, int state, const RECT& r);
    void DrawIndicator(cairo_t* cr, const Style& s, int part, const RECT& r) const;
    void DrawArrowButton(cairo_t* cr, const Style& s, double angle, const RECT& r) const;

    const gtk::Api& api_;
    Class class_;
    std::map<std::pair<int, int>, Style> styles_;
    // Parts as drawn, by part, state, width and height; a bounded number.
    using PictureKey = std::tuple<int, int, int, int>;
    static constexpr std::size_t kMaxPictures = 256;
    std::map<PictureKey, cairo_surface_t*> pictures_;
    unsigned generation_ = 0;
};

// Bumped when the desktop's theme changes: every open theme then builds
// its styles again.
unsigned& GtkThemeGeneration();

} // namespace ax
