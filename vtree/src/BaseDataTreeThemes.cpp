// The desktop's theme in the tree: the themes its check boxes, expand
// buttons and header items are drawn with, opened on first use and closed
// when the theme changes or the tree goes.
#include "vtree/BaseDataTree.h"

namespace ax {
namespace {

constexpr const char16_t* kThemeClasses[] = {u"button", u"treeview", u"header"};

} // namespace

void TBaseDataTree::SetCheckImageKind(TCheckImageKind kind) {
    if (kind == checkImageKind_) return;
    checkImageKind_ = kind;
    InvalidateAll();
}

HTHEME TBaseDataTree::Theme(TTreeThemePart part) {
    Assert(part >= 0 && part < ttCount, "TBaseDataTree::Theme: no such part");
    if (!HasPaint(toThemeAware) || !UseThemes() || !OpenThemeData || !DrawThemeBackground) return nullptr;
    if (themeBinding_ != DrawThemeBackground) CloseThemes();
    themeBinding_ = DrawThemeBackground;
    if (!themeTried_[part]) {
        themeTried_[part] = true;
        themes_[part] = OpenThemeData(HandleAllocated() ? Handle() : HWND{}, kThemeClasses[part]);
    }
    return themes_[part];
}

void TBaseDataTree::CloseThemes() {
    // Themes of a library since unbound or replaced are not its to close.
    const bool sameLibrary = themeBinding_ && themeBinding_ == DrawThemeBackground && CloseThemeData;
    for (int i = 0; i < ttCount; ++i) {
        if (themes_[i] && sameLibrary) CloseThemeData(themes_[i]);
        themes_[i] = nullptr;
        themeTried_[i] = false;
    }
    themeBinding_ = nullptr;
}

} // namespace ax
