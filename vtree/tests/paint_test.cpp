// What the tree draws, at pixels worked out from the layout (test font,
// classic colours), and a picture of a checked tree with a header written
// next to the test as "vtree_checked_tree.png". Also the theme services.
#include <cairo.h>

#include "fixture.h"
#include "stdctrls/edit.h"
#include "vtree/ThemeServices.h"
#include "xvfb.h"

namespace ax {
namespace test {
std::vector<uint32_t> ReadServerWindow(const std::string& display, unsigned long window, int w, int h,
                                       const std::string& png);
}
namespace {

std::vector<uint32_t> ReadPng(const std::string& path) {
    std::vector<uint32_t> out;
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(s);
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                          y * cairo_image_surface_get_stride(s));
            for (int x = 0; x < w; ++x) out.push_back(row[x] & 0xFFFFFF);
        }
    }
    cairo_surface_destroy(s);
    return out;
}

using test::TreeTest;

struct Item {
    const char* name;
    const char* size;
    int children;
};

class PaintTest : public TreeTest {
protected:
    // Documents (mixed, expanded): Letters (checked), Photos, Music (checked, collapsed);
    // System. Columns "Name" 150 and "Size" 80, right-aligned; sorted by name.
    TDataStringTree* CheckedTree() {
        TDataStringTree* tree = ShownTree(300, 200);
        tree->OnInitNode = [](TBaseDataTree* t, PDataNode parent, PDataNode n, TDataNodeInitStates& s) {
            static const Item top[] = {{"Documents", "", 3}, {"System", "", 0}};
            static const Item inner[] = {{"Letters", "12 KB", 0}, {"Photos", "3 MB", 0}, {"Music", "", 2}, {"", "", 0}};
            const Item& item = parent ? inner[std::min<uint32_t>(n->Index, 3)] : top[std::min<uint32_t>(n->Index, 1)];
            std::snprintf(t->GetNodeData<test::Label>(n)->text, sizeof(test::Label::text), "%s|%s", item.name,
                          item.size);
            if (item.children) s |= ivsHasChildren;
            t->SetCheckType(n, ctTriStateCheckBox);
        };
        tree->OnInitChildren = [](TBaseDataTree* t, PDataNode n, uint32_t& count) {
            count = t->GetNodeLevel(n) == 0 ? 3 : 2;
        };
        tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex column, TDTStringType, WideString& text) {
            const std::string label = t->GetNodeData<test::Label>(n)->text;
            const size_t bar = label.find('|');
            text = Utf8ToWide(column == 1 ? label.substr(bar + 1) : label.substr(0, bar));
        };
        TDTHeader& header = tree->Header();
        header.Columns().Add()->SetText(u"Name");
        header.Columns().Add()->SetText(u"Size");
        header.Columns()[0]->SetWidth(150);
        header.Columns()[1]->SetWidth(80);
        header.Columns()[1]->SetAlignment(taRightJustify);
        header.SetSortColumn(0);
        header.SetOptions(header.Options() | hoVisible | hoShowSortGlyphs);
        tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
        tree->SetRootNodeCount(2);
        PDataNode documents = tree->GetFirst();
        tree->SetExpanded(documents, true);
        PDataNode letters = tree->GetFirstChild(documents);
        for (PDataNode c = letters; c; c = tree->GetNextSibling(c)) {
        }
        tree->SetCheckState(letters, csCheckedNormal);
        tree->SetCheckState(letters->NextSibling->NextSibling, csCheckedNormal);
        tree->SetSelected(letters, true);
        tree->SetFocusedNode(letters);
        tree->SetFocus();
        app->ProcessMessages();
        return tree;
    }
    static COLORREF Sys(int index) { return GetSysColor(index); }
    COLORREF ClientPixel(TWinControl* c, int x, int y) {
        HDC dc = GetDC(c->Handle());
        const COLORREF p = GetPixel(dc, x, y);
        ReleaseDC(c->Handle(), dc);
        return p;
    }
    COLORREF WindowPixel(TWinControl* c, int x, int y) {
        HDC dc = GetWindowDC(c->Handle());
        const COLORREF p = GetPixel(dc, x, y);
        ReleaseDC(c->Handle(), dc);
        return p;
    }
    // Whether any pixel of the rectangle is dark (a mark drawn in it).
    bool AnyDark(TWinControl* c, RECT r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const COLORREF p = ClientPixel(c, x, y);
                if (GetRValue(p) + GetGValue(p) + GetBValue(p) < 3 * 128) return true;
            }
        return false;
    }
};

TEST_F(PaintTest, ACheckedTreeWithAHeader) {
    TDataStringTree* tree = CheckedTree();
    PDataNode documents = tree->GetFirst();
    ASSERT_EQ(int(documents->CheckState), int(csMixedNormal));
    EXPECT_TRUE(SnapshotWindow(form->Handle(), "vtree_checked_tree.png"));
    EXPECT_EQ(tree->ClientHeight(), 200 - 17);
    // Check boxes: 13 pixels at x 41 (level 1) or 23 (level 0), 2 below the row's top; a
    // sunken edge of two pixels around the inside.
    EXPECT_TRUE(AnyDark(tree, RECT{43, 18 + 4, 52, 18 + 13})) << "Letters: checked";
    EXPECT_FALSE(AnyDark(tree, RECT{43, 36 + 4, 52, 36 + 13})) << "Photos: unchecked";
    EXPECT_EQ(ClientPixel(tree, 47, 36 + 8), Sys(COLOR_WINDOW));
    bool mixedDiffers = false;
    for (int y = 4; y < 13 && !mixedDiffers; ++y)
        for (int x = 25; x < 34; ++x) mixedDiffers |= ClientPixel(tree, x, y) != Sys(COLOR_WINDOW);
    EXPECT_TRUE(mixedDiffers) << "Documents: mixed shows a mark";
    // The selected, focused label "Letters" (56..112) on the highlight colour.
    EXPECT_EQ(ClientPixel(tree, 58, 20), Sys(COLOR_HIGHLIGHT));
    EXPECT_EQ(ClientPixel(tree, 112 - 2, 20), Sys(COLOR_HIGHLIGHT));
    EXPECT_EQ(ClientPixel(tree, 114, 20), Sys(COLOR_WINDOW));
    // Dotted tree lines: Documents' line at x 13 passes Letters' row; Letters'
    // own line at x 31, its branch at y 27.
    EXPECT_EQ(ClientPixel(tree, 13, 18), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(ClientPixel(tree, 13, 19), Sys(COLOR_WINDOW));
    EXPECT_EQ(ClientPixel(tree, 31, 18), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(ClientPixel(tree, 32, 27), Sys(COLOR_BTNSHADOW));
    // Music's expand button at 26..34 x 58..66: a frame and a plus.
    EXPECT_EQ(ClientPixel(tree, 26, 58), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(ClientPixel(tree, 30, 62), Sys(COLOR_WINDOWTEXT)) << "the plus' centre";
    EXPECT_EQ(ClientPixel(tree, 30, 60), Sys(COLOR_WINDOWTEXT)) << "the plus' upright";
    // Documents' button is a minus: no upright.
    EXPECT_EQ(ClientPixel(tree, 12, 6), Sys(COLOR_WINDOW));
    EXPECT_EQ(ClientPixel(tree, 12, 8), Sys(COLOR_WINDOWTEXT));
    // The size column, right-aligned: "12 KB" (35 + 8 pixels) ends at 230.
    EXPECT_EQ(tree->GetDisplayRect(documents->FirstChild, 1, true), (RECT{187, 18, 230, 36}));
    // The header in the frame: button face, the sort glyph of column 0 at x 142 (window).
    EXPECT_EQ(WindowPixel(tree, 60, 4), Sys(COLOR_BTNFACE));
    EXPECT_EQ(WindowPixel(tree, 142, 11), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(WindowPixel(tree, 142, 7), Sys(COLOR_BTNFACE)) << "above the triangle's tip";
}

TEST_F(PaintTest, TheHeaderReachesOverTheVerticalScrollBar) {
    // Rows to scroll from the first paint on: nothing else paints the strip
    // above the bar.
    form = app->CreateForm<TForm>();
    form->SetBounds(100, 100, 380, 300);
    auto* tree = TComponent::Create<TDataStringTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 304, 204);
    tree->Header().Columns().Add()->SetText(u"Name");
    tree->Header().Columns()[0]->SetWidth(150);
    tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    tree->SetRootNodeCount(30);
    form->Show();
    app->ProcessMessages();
    ASSERT_TRUE(GetWindowLongPtr(tree->Handle(), GWL_STYLE) & WS_VSCROLL);
    // Client 300 wide between the client edges (2), then the bar (16): the
    // header's strip above the bar is painted as the header's end, a raised
    // edge on the button face.
    EXPECT_EQ(tree->ClientWidth(), 300 - 16);
    EXPECT_EQ(WindowPixel(tree, 2 + 300 - 8, 2 + 8), Sys(COLOR_BTNFACE));
    EXPECT_EQ(WindowPixel(tree, 2 + 300 - 2, 2 + 8), Sys(COLOR_BTNSHADOW)) << "the edge's inner shadow";
    EXPECT_EQ(WindowPixel(tree, 2 + 300 - 1, 2 + 8), Sys(COLOR_3DDKSHADOW)) << "the edge's outer shadow";
}

TEST_F(PaintTest, UnfocusedSelectionAndDisabledNodes) {
    TDataStringTree* tree = CheckedTree();
    auto* other = TComponent::Create<TEdit>(form);
    other->SetParent(form);
    other->SetBounds(0, 220, 50, 20);
    other->SetFocus();
    app->ProcessMessages();
    EXPECT_EQ(ClientPixel(tree, 58, 20), Sys(COLOR_BTNFACE)) << "a selection without the focus";
    PDataNode photos = tree->GetFirstChild(tree->GetFirst())->NextSibling;
    tree->SetDisabled(photos, true);
    app->ProcessMessages();
    // Disabled: the box drawn inactive (a button-face inside), the text grey.
    EXPECT_EQ(ClientPixel(tree, 47, 36 + 8), Sys(COLOR_BTNFACE));
}

TEST_F(PaintTest, X11ShowsWhatHeadlessDraws) {
    // The header lives in the frame: the X server must show it as drawn.
    const std::string binary = test::FindXvfb();
    if (binary.empty()) GTEST_SKIP() << "Xvfb is not installed";
    CheckedTree();
    ASSERT_TRUE(SnapshotWindow(form->Handle(), "vtree_checked_tree_headless.png"));
    const std::vector<uint32_t> headless = ReadPng("vtree_checked_tree_headless.png");
    ASSERT_FALSE(headless.empty());
    app.reset();
    for (HWND h : EnumWindows()) DestroyWindow(h);

    test::Xvfb server;
    ASSERT_TRUE(server.Start(binary));
    setenv("DISPLAY", server.Name().c_str(), 1);
    ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
    app = std::make_unique<TApplication>(nullptr);
    app->ExceptionDisplay = [this](const AnsiString& text, const AnsiString&) { shown.push_back(text); };
    CheckedTree();
    for (int i = 0; i < 3; ++i) app->ProcessMessages();
    PumpDisplay();
    RECT wr{};
    GetWindowRect(form->Handle(), wr);
    const std::vector<uint32_t> shownOnX = test::ReadServerWindow(server.Name(), NativeWindow(form->Handle()),
                                                                  wr.width(), wr.height(), "vtree_checked_tree_x11.png");
    ASSERT_FALSE(shownOnX.empty());
    size_t differing = 0;
    for (size_t i = 0; i < std::min(shownOnX.size(), headless.size()); ++i) differing += shownOnX[i] != headless[i];
    EXPECT_EQ(shownOnX.size(), headless.size());
    EXPECT_EQ(differing, 0u) << "compare vtree_checked_tree_x11.png with vtree_checked_tree_headless.png";
    app.reset();
    for (HWND h : EnumWindows()) DestroyWindow(h);
    SelectDisplay(DisplayKind::Headless);
    unsetenv("DISPLAY");
}

// ---- Theme services ---------------------------------------------------------------------------

int opened = 0;
BOOL active = TRUE, appThemed = TRUE;
HTHEME FakeOpen(HWND, const char16_t*) {
    ++opened;
    return reinterpret_cast<HTHEME>(0x10);
}
BOOL FakeActive() { return active; }
BOOL FakeAppThemed() { return appThemed; }

TEST(ThemeServices, NoThemeLibraryMeansTheClassicLook) {
    EXPECT_FALSE(LoadThemeLibrary()) << "there is no \"uxtheme.dll\" here";
    EXPECT_FALSE(ThemeLibraryBound());
    EXPECT_FALSE(UseThemes());
    EXPECT_EQ(OpenThemeData, nullptr);
    EXPECT_EQ(CloseThemeData, nullptr);
    EXPECT_EQ(DrawThemeBackground, nullptr);
    EXPECT_EQ(GetThemeBackgroundContentRect, nullptr);
}

TEST(ThemeServices, ABoundLibraryIsUsedWhileBothTestsAgree) {
    TThemeLibrary library;
    library.Name = "test";
    library.OpenThemeData = &FakeOpen;
    library.IsThemeActive = &FakeActive;
    library.IsAppThemed = &FakeAppThemed;
    BindThemeLibrary(library);
    EXPECT_TRUE(ThemeLibraryBound());
    EXPECT_TRUE(UseThemes());
    ASSERT_NE(OpenThemeData, nullptr);
    EXPECT_EQ(OpenThemeData(nullptr, u"scrollbar"), reinterpret_cast<HTHEME>(0x10));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(DrawThemeBackground, nullptr) << "an entry the library lacks stays null";
    appThemed = FALSE;
    EXPECT_FALSE(UseThemes());
    appThemed = TRUE;
    active = FALSE;
    EXPECT_FALSE(UseThemes());
    active = TRUE;
    UnbindThemeLibrary();
    EXPECT_FALSE(UseThemes());
    EXPECT_EQ(OpenThemeData, nullptr);
}

} // namespace
} // namespace ax
