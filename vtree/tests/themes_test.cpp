// The tree with a theme library bound: which parts and states it asks the
// library to draw, when it keeps its classic look, and that it lets its
// themes go when the theme changes. The library is a recording fake.
#include <utility>
#include <vector>

#include "fixture.h"
#include "vtree/ThemeServices.h"

namespace ax {
namespace {

using test::TreeTest;

struct Drawn {
    std::u16string cls;
    int part, state;
    bool operator==(const Drawn&) const = default;
};
std::vector<Drawn> drawn;
int opened = 0, closed = 0;
std::u16string classes[8];

HTHEME FakeOpen(HWND, const char16_t* cls) {
    classes[opened] = cls;
    return reinterpret_cast<HTHEME>(std::uintptr_t(++opened));
}
HRESULT FakeClose(HTHEME) {
    ++closed;
    return 0;
}
HRESULT FakeDraw(HTHEME theme, HDC, int part, int state, const RECT*, const RECT*) {
    drawn.push_back({classes[reinterpret_cast<std::uintptr_t>(theme) - 1], part, state});
    return 0;
}
BOOL Yes() { return TRUE; }

bool Has(const Drawn& d) {
    for (const Drawn& x : drawn)
        if (x == d) return true;
    return false;
}

class ThemesTest : public TreeTest {
protected:
    void SetUp() override {
        TreeTest::SetUp();
        drawn.clear();
        opened = closed = 0;
        TThemeLibrary library;
        library.Name = "fake";
        library.OpenThemeData = &FakeOpen;
        library.CloseThemeData = &FakeClose;
        library.DrawThemeBackground = &FakeDraw;
        library.IsThemeActive = &Yes;
        library.IsAppThemed = &Yes;
        BindThemeLibrary(library);
    }
    void TearDown() override {
        TreeTest::TearDown();
        UnbindThemeLibrary();
    }
    // Top: "A" expanded (checked) with children "B" (unchecked) and "C" (radio
    // button, checked, disabled); "D" collapsed with children; a header with
    // one column.
    TDataStringTree* Tree(bool themeAware) {
        TDataStringTree* tree = ShownTree(300, 200);
        tree->OnInitNode = [](TBaseDataTree* t, PDataNode parent, PDataNode n, TDataNodeInitStates& s) {
            if (!parent) s |= ivsHasChildren;
            t->SetCheckType(n, parent && n->Index == 1 ? ctRadioButton : ctTriStateCheckBox);
        };
        tree->OnInitChildren = [](TBaseDataTree*, PDataNode, uint32_t& count) { count = 2; };
        tree->Header().Columns().Add()->SetText(u"Name");
        tree->Header().Columns()[0]->SetWidth(150);
        tree->Header().SetOptions(tree->Header().Options() | hoVisible);
        TStringTreeOptions& o = tree->TreeOptions();
        o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
        o.SetPaintOptions(themeAware ? o.PaintOptions() | toThemeAware : o.PaintOptions() & ~toThemeAware);
        o.SetAutoOptions(o.AutoOptions() & ~toAutoTristateTracking);
        tree->SetRootNodeCount(2);
        PDataNode a = tree->GetFirst();
        tree->SetExpanded(a, true);
        tree->SetCheckState(a, csCheckedNormal);
        PDataNode c = tree->GetNextSibling(tree->GetFirstChild(a));
        c->CheckState = csCheckedNormal;
        tree->SetDisabled(c, true);
        // What the first paint (before these settings) drew does not count.
        app->ProcessMessages();
        drawn.clear();
        tree->Invalidate();
        tree->Header().Invalidate();
        app->ProcessMessages();
        return tree;
    }
};

TEST_F(ThemesTest, AThemeAwareTreeDrawsChecksButtonsAndHeaderThroughTheTheme) {
    Tree(true);
    EXPECT_TRUE(Has({u"button", 3, 5})) << "A: checked box";
    EXPECT_TRUE(Has({u"button", 3, 1})) << "B: unchecked box";
    EXPECT_TRUE(Has({u"button", 2, 8})) << "C: checked radio button, disabled";
    EXPECT_TRUE(Has({u"treeview", 2, 2})) << "A: open expand button";
    EXPECT_TRUE(Has({u"treeview", 2, 1})) << "D: closed expand button";
    EXPECT_TRUE(Has({u"header", 1, 1})) << "the column's header item";
    EXPECT_EQ(opened, 3) << "one theme per class, opened once";
}

TEST_F(ThemesTest, WithoutThemeAwarenessOrWithClassicSettingsTheTreeStaysClassic) {
    Tree(false);
    EXPECT_TRUE(drawn.empty());
}

TEST_F(ThemesTest, AThemeChangeClosesTheThemesAndTheNextPaintOpensThemAgain) {
    TDataStringTree* tree = Tree(true);
    ASSERT_EQ(opened, 3);
    SendMessage(tree->Handle(), WM_THEMECHANGED, 0, 0);
    EXPECT_EQ(closed, 3);
    drawn.clear();
    app->ProcessMessages();
    EXPECT_EQ(opened, 6);
    EXPECT_TRUE(Has({u"button", 3, 5}));
}

TEST_F(ThemesTest, ThemesOfAnUnboundLibraryAreDroppedNotClosed) {
    TDataStringTree* tree = Tree(true);
    UnbindThemeLibrary();
    tree->Invalidate();
    app->ProcessMessages();
    EXPECT_EQ(closed, 0) << "no library to close them with";
    drawn.clear();
    tree->Invalidate();
    app->ProcessMessages();
    EXPECT_TRUE(drawn.empty()) << "classic again";
}

// The dark check image: the classic box with the button face inside, where
// the light one shows the window colour.
TEST_F(ThemesTest, TheDarkCheckImageFillsTheBoxWithTheButtonFace) {
    UnbindThemeLibrary();
    TDataStringTree* tree = Tree(true);
    PDataNode b = tree->GetFirstChild(tree->GetFirst());
    const RECT row = tree->GetDisplayRect(b, NoColumn, false);
    // B sits at level 1: its 13-pixel box starts at x 41, 2 below the row's top.
    const int x = 41 + 6, y = row.top + 2 + 6;
    auto pixel = [&] {
        HDC dc = GetDC(tree->Handle());
        const COLORREF p = GetPixel(dc, x, y);
        ReleaseDC(tree->Handle(), dc);
        return p;
    };
    EXPECT_EQ(tree->CheckImageKind(), ckLightCheck);
    EXPECT_EQ(pixel(), GetSysColor(COLOR_WINDOW));
    tree->SetCheckImageKind(ckDarkCheck);
    app->ProcessMessages();
    EXPECT_EQ(pixel(), GetSysColor(COLOR_BTNFACE));
}

} // namespace
} // namespace ax
