// The string tree on a real display: a private Xvfb with openbox, driven
// with XTest input as a user would drive it. The application runs on its
// own thread as a program would; the test thread is the user, and reads the
// tree's state on the application's thread once the application has taken
// the input. The tree draws with a real font; nothing asserted here depends
// on its metrics (the positions clicked are the boxes, buttons and the start
// of the labels, which the layout's fixed widths place).
//
// The picture of a checked tree with its header is kept beside the test (the
// build tree) as vtree_x11_checked_tree.png.
#include "framework/forms.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "vtree/DataStringTree.h"
#include "png_pixels.h"
#include "x11_program.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

namespace ax {
namespace {

using test::Xvfb;
using test::ReadPng;

// X key symbols the test types.
constexpr unsigned long kXK_Left = 0xFF51, kXK_Right = 0xFF53, kXK_Down = 0xFF54, kXK_space = 0x20,
                        kXK_Return = 0xFF0D, kXK_F2 = 0xFFBF, kXK_KP_Add = 0xFFAB,
                        kXK_KP_Subtract = 0xFFAD, kXK_x = 0x78, kXK_y = 0x79;

// What the tree shows: folders with sizes, each with three children, the
// first of which holds two more. Children are made only when the tree asks.
struct Item {
    std::string name;
    int size = 0;
    std::vector<Item> children;
};

std::vector<Item> Folders() {
    const std::pair<const char*, int> top[] = {
        {"Music", 700},    {"Archive", 120},  {"Photos", 950},    {"Documents", 40},
        {"Videos", 3000},  {"Backups", 1500}, {"Code", 260},      {"Letters", 15},
        {"Games", 2200},   {"Books", 330},    {"Recipes", 8},     {"Taxes", 75},
        {"Drawings", 410}, {"Notes", 22},     {"Software", 1800}, {"Fonts", 55}};
    std::vector<Item> items;
    for (const auto& [name, size] : top)
        items.push_back(
            {name,
             size,
             {{"Zeta", 5, {{"Two", 2, {}}, {"One", 1, {}}}}, {"Alpha", 30, {}}, {"Mid", 10, {}}}});
    return items;
}

// Tree geometry the layout fixes: rows of 18 pixels; a node of level L has
// its button cell at 4 + 18 L (18 wide), its check box slot after it (16
// wide) and its label after that.
constexpr int kRow = 18;
constexpr int kRows = 10; // the client area's height in rows
int RowY(int row) {
    return row * kRow + kRow / 2;
}
int ButtonX(int level) {
    return 4 + 18 * level + 9;
}
int BoxX(int level) {
    return 4 + 18 * (level + 1) + 8;
}
int LabelX(int level) {
    return 4 + 18 * (level + 1) + 16 + 4;
}

// The item a node shows.
const Item& ItemOf(TBaseDataTree* tree, PDataNode node) {
    return **tree->GetNodeData<Item*>(node);
}

// ---- What the test reads (on the application's thread) -------------------------------------

std::string Name(TBaseDataTree* tree, PDataNode node) {
    return node ? ItemOf(tree, node).name : "-";
}

// A top-level node by name, found through the links alone.
PDataNode TopLevel(TBaseDataTree* tree, const std::string& name) {
    for (PDataNode n = tree->RootNode()->FirstChild; n; n = n->NextSibling)
        if (Name(tree, n) == name) return n;
    return nullptr;
}

// A node's check state and those of its existing descendants, through the
// links alone (nothing is initialised or made by looking): "+" checked,
// "-" unchecked, "~" mixed, "*" pressed, "?" not initialised yet.
std::string Checks(TBaseDataTree* tree, PDataNode node) {
    if (!node) return "(none)";
    std::string s = Name(tree, node);
    if (!(node->States & vsInitialized)) return s + "?";
    switch (UnpressedCheckState(node->CheckState)) {
    case csCheckedNormal:
        s += "+";
        break;
    case csMixedNormal:
        s += "~";
        break;
    default:
        s += "-";
        break;
    }
    if (node->CheckState & 1) s += "*";
    if (node->FirstChild) {
        s += "{";
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling)
            s += Checks(tree, c) + (c->NextSibling ? "," : "");
        s += "}";
    }
    return s;
}

// The first rows shown from the top of the tree, through the links and the
// expanded bit alone; one dot per level: "Music .Zeta ..Two".
std::string Rows(TBaseDataTree* tree, int count) {
    std::string s;
    int level = 0;
    PDataNode n = tree->RootNode()->FirstChild;
    while (n && count-- > 0) {
        s += (s.empty() ? "" : " ") + std::string(size_t(level), '.') + Name(tree, n);
        if ((n->States & vsExpanded) && n->FirstChild) {
            n = n->FirstChild;
            ++level;
            continue;
        }
        while (n && !n->NextSibling && n->Parent != tree->RootNode()) {
            n = n->Parent;
            --level;
        }
        n = n ? n->NextSibling : nullptr;
    }
    return s;
}

// The top-level names in tree order, and those of a node's children.
std::string Order(TBaseDataTree* tree, PDataNode parent) {
    std::string s;
    for (PDataNode n = parent->FirstChild; n; n = n->NextSibling)
        s += (s.empty() ? "" : " ") + Name(tree, n);
    return s;
}

// ---- The fixture: the user's side ---------------------------------------------------------

class X11TreeTest : public test::X11Test {
protected:
    void SetUp() override {
        test::X11Test::SetUp();
        if (!Started()) return;
        ASSERT_NO_FATAL_FAILURE(
            StartProgram({.build = [this](TApplication& app) { return Build(app); }, .logged = test::IsInput}));
        // Points are worked out from the form's rectangle, which must be the
        // one the server has; keys go where the server's focus is.
        ASSERT_NO_FATAL_FAILURE(ActivateMainForm());
    }

    // The application's thread: a form holding the tree.
    TForm* Build(TApplication& app) {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Tree");
        form->SetBorderStyle(bsSingle);
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(420, 260);
        tree = TComponent::Create<TDataStringTree>(form);
        tree->SetNodeDataSize(sizeof(Item*));
        tree->SetParent(form);
        // Columns of 170 + 70 + 80 pixels fit beside the vertical bar; the
        // header (17) and ten rows between the client edges (2 each side).
        tree->SetBounds(8, 8, 2 + 320 + 16 + 2 + 20, 2 + 17 + kRows * kRow + 2);
        TDTHeader& header = tree->Header();
        for (const char16_t* text : {u"Name", u"Size", u"Kind"})
            header.Columns().Add()->SetText(text);
        header.Columns()[0]->SetWidth(170);
        header.Columns()[1]->SetWidth(70);
        header.Columns()[1]->SetAlignment(taRightJustify);
        header.Columns()[2]->SetWidth(80);
        header.SetOptions(header.Options() | hoVisible | hoShowSortGlyphs);
        TCustomDataTreeOptions& options = tree->TreeOptions();
        options.SetMiscOptions(options.MiscOptions() | toCheckSupport);
        options.SetAutoOptions(options.AutoOptions() | toAutoTristateTracking | toAutoSort);

        tree->OnInitNode = [](TBaseDataTree* t, PDataNode parent, PDataNode node,
                              TDataNodeInitStates& states) {
            if (!ItemOf(t, node).children.empty()) states |= ivsHasChildren;
            t->SetCheckType(node, ctTriStateCheckBox);
            // A folder chosen (or left out) as a whole brings its contents along.
            if (parent && parent->CheckState != csMixedNormal)
                node->CheckState = UnpressedCheckState(parent->CheckState);
        };
        tree->OnInitChildren = [this](TBaseDataTree* t, PDataNode node, uint32_t& count) {
            Item& item = const_cast<Item&>(ItemOf(t, node));
            ++childInits[item.name];
            for (Item& child : item.children)
                t->AddChild(node, &child);
            count = uint32_t(item.children.size());
        };
        tree->OnGetText = [](TBaseDataTree* t, PDataNode node, TColumnIndex column, TDTStringType,
                             WideString& text) {
            const Item& item = ItemOf(t, node);
            if (column == 1)
                text = Utf8ToWide(std::to_string(item.size) + " KB");
            else if (column == 2)
                text = item.children.empty() ? u"File" : u"Folder";
            else
                text = Utf8ToWide(item.name);
        };
        tree->OnCompareNodes = [](TBaseDataTree* t, PDataNode a, PDataNode b, TColumnIndex column,
                                  int& result) {
            const Item &x = ItemOf(t, a), &y = ItemOf(t, b);
            if (column == 1)
                result = x.size < y.size ? -1 : x.size > y.size;
            else
                result = x.name.compare(y.name) < 0 ? -1 : x.name.compare(y.name) > 0;
        };
        // A click on a column sorts by it; a second click turns the order round.
        tree->OnHeaderClick = [](TDTHeader* h, TColumnIndex column, TMouseButton button,
                                 TShiftState, int, int) {
            if (button != mbLeft || column == NoColumn) return;
            if (h->SortColumn() == column) {
                h->SetSortDirection(h->SortDirection() == sdAscending ? sdDescending : sdAscending);
            } else {
                h->SetSortColumn(column);
                h->SetSortDirection(sdAscending);
            }
        };
        tree->OnNewText = [this](TBaseDataTree*, PDataNode, TColumnIndex, const WideString& text) {
            newTexts.push_back(WideToUtf8(text));
        };
        tree->OnGetHint = [](TBaseDataTree* t, PDataNode node, TColumnIndex, WideString& hint) {
            hint = Utf8ToWide("About " + ItemOf(t, node).name);
        };
        for (Item& item : items)
            tree->AddChild(nullptr, &item);

        treeWindow = tree->Handle();
        return form;
    }

    // A screen point of the tree's client area (negative y: the header).
    POINT At(int x, int y) {
        return program->Get<POINT>([&] { return tree->ClientToScreen(POINT{x, y}); });
    }
    // A screen point of the tree's window (frame included).
    POINT InWindow(int x, int y) {
        RECT r{};
        program->Call([&] { GetWindowRect(treeWindow, r); });
        return {r.left + x, r.top + y};
    }

    // Clicks, and returns once the application took the press and the
    // release (then a call to the application runs after both were handled).
    void Click(POINT p, const std::string& what) {
        if (HasFatalFailure()) return; // the input went astray already
        clock.Advance(1000);           // never a double click
        const size_t from = program->InputCount();
        server.Click(p.x, p.y);
        ASSERT_TRUE(program->WaitClick(from, treeWindow))
            << "the click on " << what
            << " did not reach the tree; retrieved:" << program->InputText(from, treeWindow);
        // What the click showed is painted, and so initialised, before the
        // test looks: nodes are initialised when they are first shown.
        program->Get<bool>([&] { return UpdateWindow(treeWindow) != FALSE; });
    }
    void Drag(POINT from, POINT to, const std::string& what) {
        if (HasFatalFailure()) return; // the input went astray already
        clock.Advance(1000);
        const size_t start = program->InputCount();
        server.Drag(from.x, from.y, to.x, to.y, 8);
        ASSERT_TRUE(program->WaitClick(start, treeWindow))
            << "the drag of " << what
            << " did not reach the tree; retrieved:" << program->InputText(start, treeWindow);
    }
    void Key(unsigned long keysym) { KeyTo(keysym, treeWindow); }
    // A key for the window (any window: nullptr).
    void KeyTo(unsigned long keysym, HWND target) {
        if (HasFatalFailure()) return; // the input went astray already
        const size_t from = program->InputCount();
        server.KeyStroke(keysym);
        ASSERT_TRUE(program->WaitMessage(from, target, WM_KEYUP))
            << "the key did not arrive; retrieved:" << program->InputText(from, treeWindow);
    }
    void Wheel(bool down) {
        if (HasFatalFailure()) return; // the input went astray already
        const size_t from = program->InputCount();
        server.Button(down ? 5 : 4, true);
        server.Button(down ? 5 : 4, false);
        ASSERT_TRUE(program->WaitMessage(from, treeWindow, WM_MOUSEWHEEL))
            << "the wheel did not reach the tree; retrieved:" << program->InputText(from, treeWindow);
    }

    std::string Checks(const std::string& name) {
        return program->Get<std::string>([&] { return ::ax::Checks(tree, TopLevel(tree, name)); });
    }
    std::string Rows(int count) {
        return program->Get<std::string>([&] { return ::ax::Rows(tree, count); });
    }
    std::string TopNode() {
        return program->Get<std::string>([&] { return Name(tree, tree->TopNode()); });
    }
    int OffsetY() {
        return program->Get<int>([&] { return tree->OffsetY(); });
    }
    int ScrollPos() {
        return program->Get<int>([&] { return GetScrollPos(treeWindow, SB_VERT); });
    }
    bool Expanded(const std::string& name) {
        return program->Get<bool>([&] { return tree->Expanded(TopLevel(tree, name)); });
    }
    int ChildInits(const std::string& name) {
        return program->Get<int>([&] { return childInits[name]; });
    }

    std::vector<Item> items = Folders();
    TDataStringTree* tree = nullptr; // used on the application's thread only
    HWND treeWindow = nullptr;
    // The application thread's own: how often each node's children were
    // asked for, by name; the texts the editor handed over.
    std::map<std::string, int> childInits;
    std::vector<std::string> newTexts;
};

TEST_F(X11TreeTest, CheckBoxesPropagateBothWaysWithMixedStates) {
    EXPECT_EQ(Rows(3), "Music Archive Photos");
    EXPECT_EQ(ChildInits("Music"), 0) << "no child is made before it is needed";
    EXPECT_EQ(Checks("Music"), "Music-");

    Click(At(ButtonX(0), RowY(0)), "Music's button");
    Click(At(ButtonX(1), RowY(1)), "Zeta's button");
    EXPECT_EQ(Rows(7), "Music .Zeta ..Two ..One .Alpha .Mid Archive");
    EXPECT_EQ(Checks("Music"), "Music-{Zeta-{Two-,One-},Alpha-,Mid-}");

    // Held down, the box shows pressed; released on it, it toggles.
    clock.Advance(1000);
    size_t from = program->InputCount();
    const POINT two = At(BoxX(2), RowY(2));
    server.MoveTo(two.x, two.y);
    server.Button(1, true);
    ASSERT_TRUE(program->WaitMessage(from, treeWindow, WM_LBUTTONDOWN))
        << program->InputText(from, treeWindow);
    EXPECT_EQ(Checks("Music"), "Music-{Zeta-{Two-*,One-},Alpha-,Mid-}");
    from = program->InputCount();
    server.Button(1, false);
    ASSERT_TRUE(program->WaitMessage(from, treeWindow, WM_LBUTTONUP)) << program->InputText(from, treeWindow);
    EXPECT_EQ(Checks("Music"), "Music~{Zeta~{Two+,One-},Alpha-,Mid-}");

    Click(At(BoxX(2), RowY(3)), "One's box");
    EXPECT_EQ(Checks("Music"), "Music~{Zeta+{Two+,One+},Alpha-,Mid-}");
    // Mixed becomes checked, and so does everything below.
    Click(At(BoxX(0), RowY(0)), "Music's box");
    EXPECT_EQ(Checks("Music"), "Music+{Zeta+{Two+,One+},Alpha+,Mid+}");
    Click(At(BoxX(1), RowY(4)), "Alpha's box");
    EXPECT_EQ(Checks("Music"), "Music~{Zeta+{Two+,One+},Alpha-,Mid+}");

    // A collapsed folder is checked without its children being made; they
    // come checked when it opens.
    Click(At(BoxX(0), RowY(6)), "Archive's box");
    EXPECT_EQ(Checks("Archive"), "Archive+");
    EXPECT_EQ(ChildInits("Archive"), 0);
    EXPECT_EQ(Checks("Photos"), "Photos-");

    // The picture: checked, mixed and unchecked boxes under the header.
    program->Call([&] {
        UpdateWindow(program->formWindow());
        PumpDisplay();
    });
    const std::string png = "vtree_x11_checked_tree.png";
    ASSERT_TRUE(server.Screenshot(png, window));
    int width = 0;
    const std::vector<uint32_t> shot = ReadPng(png, width);
    ASSERT_FALSE(shot.empty());
    RECT formRect{};
    program->Call([&] { GetWindowRect(program->formWindow(), formRect); });
    // A box is 13 pixels at 1 right of its slot, 2 below the row's top,
    // with a sunken edge of two; its inside is the window colour unless
    // marked.
    auto rgb = [](COLORREF c) {
        return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
    };
    const uint32_t windowRgb =
        rgb(program->Get<COLORREF>([] { return GetSysColor(COLOR_WINDOW); }));
    auto pixel = [&](POINT screen) {
        const size_t at =
            size_t(screen.y - formRect.top) * size_t(width) + size_t(screen.x - formRect.left);
        return at < shot.size() ? shot[at] : 0xFFFFFFFFu;
    };
    auto boxInside = [&](int level, int row) {
        const POINT p = At(4 + 18 * (level + 1) + 1 + 2, row * kRow + 2 + 2);
        int marked = 0;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
                marked += pixel(POINT{p.x + x, p.y + y}) != windowRgb;
        return marked;
    };
    EXPECT_GT(boxInside(0, 0), 0) << "Music: mixed shows a mark";
    EXPECT_GT(boxInside(1, 1), 0) << "Zeta: checked";
    EXPECT_EQ(boxInside(1, 4), 0) << "Alpha: unchecked";
    EXPECT_GT(boxInside(0, 6), 0) << "Archive: checked";
    EXPECT_EQ(boxInside(0, 7), 0) << "Photos: unchecked";
    EXPECT_EQ(pixel(InWindow(2 + 340 + 8, 2 + 8)),
              rgb(program->Get<COLORREF>([] { return GetSysColor(COLOR_BTNFACE); })))
        << "the header's strip above the scroll bar";

    Click(At(ButtonX(0), RowY(6)), "Archive's button");
    EXPECT_EQ(ChildInits("Archive"), 1);
    EXPECT_EQ(program->Get<std::string>([&] {
        // Walking the children initialises them, as painting them does.
        PDataNode archive = TopLevel(tree, "Archive");
        for (PDataNode c = tree->GetFirstChild(archive); c; c = tree->GetNextSibling(c)) {
        }
        return ::ax::Checks(tree, archive);
    }),
              "Archive+{Zeta+,Alpha+,Mid+}");
    Click(At(BoxX(1), RowY(9)), "Archive's Mid");
    EXPECT_EQ(Checks("Archive"), "Archive~{Zeta+,Alpha+,Mid-}");

    // Unchecking a checked folder unchecks what it holds; the parent follows.
    Click(At(BoxX(1), RowY(1)), "Music's Zeta");
    EXPECT_EQ(Checks("Music"), "Music~{Zeta-{Two-,One-},Alpha-,Mid+}");
    Click(At(BoxX(1), RowY(5)), "Music's Mid");
    EXPECT_EQ(Checks("Music"), "Music-{Zeta-{Two-,One-},Alpha-,Mid-}");

    // The space bar toggles the focused node's box.
    Click(At(LabelX(1), RowY(4)), "Alpha's label");
    Key(kXK_space);
    EXPECT_EQ(Checks("Music"), "Music~{Zeta-{Two-,One-},Alpha+,Mid-}");
    EXPECT_EQ(Checks("Archive"), "Archive~{Zeta+,Alpha+,Mid-}") << "another folder is left alone";
}

TEST_F(X11TreeTest, ExpandAndCollapseWithTheMouseAndTheKeyboard) {
    Click(At(ButtonX(0), RowY(0)), "Music's button");
    EXPECT_TRUE(Expanded("Music"));
    EXPECT_EQ(ChildInits("Music"), 1);
    EXPECT_EQ(Rows(5), "Music .Zeta .Alpha .Mid Archive");
    Click(At(ButtonX(1), RowY(1)), "Zeta's button");
    EXPECT_EQ(Rows(7), "Music .Zeta ..Two ..One .Alpha .Mid Archive");
    Click(At(ButtonX(0), RowY(0)), "Music's button");
    EXPECT_FALSE(Expanded("Music"));
    EXPECT_EQ(Rows(3), "Music Archive Photos");
    // Opened again: the children are there already, Zeta still open.
    Click(At(ButtonX(0), RowY(0)), "Music's button");
    EXPECT_EQ(ChildInits("Music"), 1);
    EXPECT_EQ(Rows(7), "Music .Zeta ..Two ..One .Alpha .Mid Archive");
    Click(At(ButtonX(0), RowY(0)), "Music's button");
    EXPECT_EQ(Rows(3), "Music Archive Photos");

    // The keyboard works on the focused node.
    Click(At(LabelX(0), RowY(1)), "Archive's label");
    EXPECT_EQ(program->Get<std::string>([&] { return Name(tree, tree->FocusedNode()); }),
              "Archive");
    auto focused = [&] {
        return program->Get<std::string>([&] { return Name(tree, tree->FocusedNode()); });
    };
    Key(kXK_Right);
    EXPECT_TRUE(Expanded("Archive"));
    EXPECT_EQ(Rows(6), "Music Archive .Zeta .Alpha .Mid Photos");
    EXPECT_EQ(focused(), "Archive");
    Key(kXK_Right);
    EXPECT_EQ(focused(), "Zeta") << "Right on an open node goes to its first child";
    Key(kXK_Right);
    EXPECT_EQ(Rows(6), "Music Archive .Zeta ..Two ..One .Alpha");
    Key(kXK_Left);
    EXPECT_EQ(Rows(6), "Music Archive .Zeta .Alpha .Mid Photos");
    EXPECT_EQ(focused(), "Zeta");
    Key(kXK_Left);
    EXPECT_EQ(focused(), "Archive") << "Left on a closed node goes to its parent";
    Key(kXK_Left);
    EXPECT_FALSE(Expanded("Archive"));
    EXPECT_EQ(Rows(3), "Music Archive Photos");
    Key(kXK_KP_Add);
    EXPECT_TRUE(Expanded("Archive"));
    EXPECT_EQ(Rows(4), "Music Archive .Zeta .Alpha");
    Key(kXK_KP_Subtract);
    EXPECT_FALSE(Expanded("Archive"));
    EXPECT_EQ(Rows(3), "Music Archive Photos");
    EXPECT_EQ(ChildInits("Archive"), 1);
    EXPECT_EQ(OffsetY(), 0);
}

TEST_F(X11TreeTest, TheWheelAndTheScrollBarScroll) {
    // Sixteen rows of 18 pixels in a client area of ten: the view scrolls
    // from 0 to 108.
    Click(At(LabelX(0), RowY(0)), "Music's label"); // the wheel goes to the focus
    EXPECT_EQ(TopNode(), "Music");
    Wheel(true);
    EXPECT_EQ(OffsetY(), 3 * kRow) << "three rows a notch";
    EXPECT_EQ(TopNode(), "Documents");
    EXPECT_EQ(ScrollPos(), 3 * kRow);
    Wheel(true);
    EXPECT_EQ(OffsetY(), 108) << "up to the end, no further";
    EXPECT_EQ(TopNode(), "Code");
    Wheel(false);
    Wheel(false);
    EXPECT_EQ(OffsetY(), 0);
    EXPECT_EQ(TopNode(), "Music");

    // The bar: right of the client area, below the header, between the
    // client edges; arrows of 16 pixels at both ends.
    const int barX = 2 + 340 + 8, barTop = 2 + 17, barLength = kRows * kRow;
    Click(InWindow(barX, barTop + barLength - 8), "the bar's down arrow");
    EXPECT_EQ(OffsetY(), kRow);
    EXPECT_EQ(TopNode(), "Archive");
    Click(InWindow(barX, barTop + barLength - 8), "the bar's down arrow");
    EXPECT_EQ(OffsetY(), 2 * kRow);
    Click(InWindow(barX, barTop + 8), "the bar's up arrow");
    EXPECT_EQ(OffsetY(), kRow);
    Click(InWindow(barX, barTop + 8), "the bar's up arrow");
    EXPECT_EQ(OffsetY(), 0);
    EXPECT_EQ(ScrollPos(), 0);

    // The thumb: the track is 180 - 2 * 16 = 148 pixels, the thumb
    // 148 * 180 / 288 = 93 of them, leaving 55 to move in for 108 pixels of
    // view. Taken 10 pixels into it and moved 30 down: 30 * 108 / 55 = 59.
    const int thumbTop = barTop + 16;
    Drag(InWindow(barX, thumbTop + 10), InWindow(barX, thumbTop + 10 + 30), "the thumb");
    EXPECT_EQ(OffsetY(), 59);
    EXPECT_EQ(TopNode(), "Documents") << "the row at 54..72";
    EXPECT_EQ(ScrollPos(), 59);
    // Now at 16 + 55 * 59 / 108 = 46; moved past the end of the track.
    Drag(InWindow(barX, barTop + 46 + 5), InWindow(barX, barTop + barLength + 40), "the thumb");
    EXPECT_EQ(OffsetY(), 108);
    EXPECT_EQ(TopNode(), "Code");
    // And back to the top.
    Drag(InWindow(barX, barTop + 16 + 55 + 5), InWindow(barX, barTop - 40), "the thumb");
    EXPECT_EQ(OffsetY(), 0);
    EXPECT_EQ(TopNode(), "Music");
}

TEST_F(X11TreeTest, AHeaderDividerResizesAndAHeaderClickSorts) {
    // The header lies above the client area: client y -8 is its middle.
    auto width = [&](int column) {
        return program->Get<int>([&] { return tree->Header().Columns()[column]->Width(); });
    };
    Drag(At(170, -8), At(170 + 40, -8), "the divider after Name");
    EXPECT_EQ(width(0), 210);
    EXPECT_EQ(program->Get<int>([&] { return tree->Header().Columns()[1]->Left(); }), 210);
    Drag(At(210 - 1, -8), At(210 - 1 - 60, -8), "the divider after Name");
    EXPECT_EQ(width(0), 150);
    EXPECT_EQ(width(1), 70) << "the next column keeps its width";

    // Music's children exist, so a sort orders them too.
    Click(At(ButtonX(0), RowY(0)), "Music's button");
    auto order = [&](const std::string& parent) {
        return program->Get<std::string>([&] {
            return Order(tree, parent.empty() ? tree->RootNode() : TopLevel(tree, parent));
        });
    };
    EXPECT_EQ(
        order(""),
        "Music Archive Photos Documents Videos Backups Code Letters Games Books Recipes Taxes "
        "Drawings Notes Software Fonts");

    // Size is 150..220.
    Click(At(185, -8), "the Size column");
    EXPECT_EQ(program->Get<int>([&] { return tree->Header().SortColumn(); }), 1);
    EXPECT_EQ(
        order(""),
        "Recipes Letters Notes Documents Fonts Taxes Archive Code Books Drawings Music Photos "
        "Backups Software Games Videos");
    EXPECT_EQ(order("Music"), "Zeta Mid Alpha");
    Click(At(185, -8), "the Size column");
    EXPECT_EQ(program->Get<int>([&] { return int(tree->Header().SortDirection()); }),
              int(sdDescending));
    EXPECT_EQ(order(""),
              "Videos Games Software Backups Photos Music Drawings Books Code Archive Taxes Fonts "
              "Documents Notes Letters Recipes");
    EXPECT_EQ(order("Music"), "Alpha Mid Zeta");
    Click(At(40, -8), "the Name column");
    EXPECT_EQ(program->Get<int>([&] { return tree->Header().SortColumn(); }), 0);
    EXPECT_EQ(program->Get<int>([&] { return int(tree->Header().SortDirection()); }),
              int(sdAscending));
    EXPECT_EQ(
        order(""),
        "Archive Backups Books Code Documents Drawings Fonts Games Letters Music Notes Photos "
        "Recipes Software Taxes Videos");
    EXPECT_EQ(order("Music"), "Alpha Mid Zeta");
    EXPECT_EQ(Rows(4), "Archive Backups Books Code") << "the rows show the new order";
    EXPECT_EQ(width(0), 150) << "a click is no resize";
}

TEST_F(X11TreeTest, TheNodeHintAndTheEditorLeaveTheFocusWithTheForm) {
    program->Call([&] {
        tree->SetShowHint(true);
        tree->SetHintMode(hmHint);
        TCustomDataTreeOptions& options = tree->TreeOptions();
        options.SetMiscOptions(options.MiscOptions() | toEditable);
    });
    Click(At(LabelX(0), RowY(0)), "Music's label");
    // Resting on a label, the node's hint shows after the pause.
    size_t from = program->InputCount();
    const POINT archive = At(LabelX(0) + 2, RowY(1));
    server.MoveTo(archive.x, archive.y);
    ASSERT_TRUE(program->WaitMessage(from, treeWindow, WM_MOUSEMOVE)) << program->InputText(from, treeWindow);
    const int pause =
        program->Get<int>([&] { return program->app()->HintPause(); }); // after the move's handling
    clock.Advance(unsigned(pause));
    HWND hint = nullptr;
    unsigned long xHint = 0;
    ASSERT_TRUE(server.WaitFor([&] {
        program->Call([&] {
            for (HWND h : EnumThreadTopWindows(GetCurrentThreadId()))
                if (GetClassName(h) == "THintWindow" && IsWindowVisible(h)) hint = h;
        });
        if (!hint) return false;
        xHint = program->Get<unsigned long>([&] { return NativeWindow(hint); });
        return xHint && server.WindowGeometry(xHint).viewable;
    })) << "the hint did not show";
    EXPECT_EQ(program->Get<std::string>([&] { return GetWindowText(hint); }), "About Archive");
    ASSERT_TRUE(server.WindowManagerBarrier());
    EXPECT_EQ(program->Get<HWND>([] { return GetActiveWindow(); }), program->formWindow())
        << "the hint took the activation";
    // Keys still reach the tree.
    Key(kXK_Down);
    EXPECT_EQ(program->Get<std::string>([&] { return Name(tree, tree->FocusedNode()); }),
              "Archive");

    // The editor is a child of the tree: typing reaches it, Enter hands the
    // text over and gives the focus back.
    KeyTo(kXK_F2, nullptr); // released in the editor
    ASSERT_TRUE(program->Get<bool>([&] { return tree->IsEditing(); }));
    KeyTo(kXK_x, nullptr);
    KeyTo(kXK_y, nullptr);
    KeyTo(kXK_Return, nullptr);
    EXPECT_FALSE(program->Get<bool>([&] { return tree->IsEditing(); }));
    EXPECT_EQ(program->Get<std::vector<std::string>>([&] { return newTexts; }),
              std::vector<std::string>{"xy"});
    EXPECT_EQ(program->Get<HWND>([] { return GetFocus(); }), treeWindow);
    EXPECT_EQ(program->Get<HWND>([] { return GetActiveWindow(); }), program->formWindow());
}

} // namespace
} // namespace ax
