// The explorer combo box driven headless with injected input: the drop-down
// tree's root and placement, opening and closing by mouse and keyboard,
// choosing a folder, typing with the auto-complete list, the drop-down's
// scroll bar, and a typed path that names nothing.
#include "explorer_fixture.h"

#include "framework/streaming.h"
#include "explorer/ExpChangeDispatch.h"
#include "explorer/ExplorerComboBox.h"
#include "explorer/ExplorerViews.h"
#include "stdctrls/label.h"

#include <cctype>

using namespace ax;
using namespace ax::testing;

namespace {

// What reached a client linked to the combo box on the process's dispatcher.
struct Recording {
    std::vector<std::pair<TComponent*, std::string>> calls;
};

class ExplorerCombo : public ExplorerTest {
protected:
    void TearDown() override {
        OnInvalidPathBoxModal = nullptr;
        ExplorerTest::TearDown();
        EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 0) << "links outlived their controls";
        SetExpChangeDispatch(nullptr);
    }

    // A combo box at (10, 10) in a shown form, its edit focused; a client
    // linked to it records what it announces.
    TExplorerComboBox* ShownCombo() {
        form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, 420, 300);
        combo = TComponent::Create<TExplorerComboBox>(form);
        combo->SetParent(form);
        combo->SetBounds(10, 10, 300, 23);
        combo->OnChange = [this](TObject*) { ++changes; };
        recorder = TComponent::Create<TComponent>(form);
        TExpChangeDispatch::Instance().RegisterChangeLink(
            combo, recorder,
            [this](TComponent* server, PCItemIDList pidl) { dispatch.calls.emplace_back(server, PidlString(pidl)); },
            nullptr);
        form->Show();
        app->ProcessMessages();
        combo->Edit().SetFocus();
        app->ProcessMessages();
        return combo;
    }
    POINT Screen(TControl* control, POINT p) { return control->ClientToScreen(p); }
    void Click(POINT screen) {
        clock.Advance(1000); // never the second click of a double click
        InjectClick(MouseButton::Left, screen.x, screen.y);
        app->ProcessMessages();
    }
    void ClickButton() {
        const RECT b = combo->ButtonRect();
        Click(Screen(combo, {(b.left + b.right) / 2, (b.top + b.bottom) / 2}));
    }
    void Key(UINT vk, char32_t ch = 0) {
        InjectKeyStroke(vk, ch);
        app->ProcessMessages();
    }
    void AltKey(UINT vk) {
        InjectKey(VK_MENU, true);
        Key(vk);
        InjectKey(VK_MENU, false);
        app->ProcessMessages();
    }
    void Type(const std::string& text) {
        for (char c : text) {
            const UINT vk = std::isalnum(static_cast<unsigned char>(c)) ? UINT(std::toupper(c)) : 0;
            Key(vk, char32_t(c));
        }
    }
    // The drop-down tree's node of a path.
    PDataNode TreeNode(const std::string& path) {
        return combo->ExplorerDropDown().Tree().FindNodeByPIDL(Parse(path).get());
    }
    // The screen centre of a node's label in the drop-down tree.
    POINT NodePoint(PDataNode node) {
        TPopupExplorerTree& tree = combo->ExplorerDropDown().Tree();
        const RECT r = tree.GetDisplayRect(node, NoColumn, true);
        return Screen(&tree, {r.left + 4, (r.top + r.bottom) / 2});
    }
    bool Shown(TWinControl& w) { return w.HandleAllocated() && IsWindowVisible(w.Handle()); }
    // The main window's tree and list below the combo box, rooted at files/
    // and linked both ways; no threads in tests.
    void ShowPair() {
        tree = TComponent::Create<TExplorerTreeview>(form);
        list = TComponent::Create<TExplorerListview>(form);
        int left = 0;
        for (TCustomExplorerTree* c : std::initializer_list<TCustomExplorerTree*>{tree, list}) {
            TExplorerTreeOptions& o = c->TreeOptions();
            o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toChangeNotifierThread));
            o.SetExpImageOptions(o.ExpImageOptions() & ~TExpImageOptions(toThreadedImages));
            // Before the window is made: the list's browse limit is its root then.
            c->SetRootFolderCustomPath(W(files));
            c->SetParent(form);
            c->SetBounds(left, 40, 190, 200);
            left += 200;
        }
        app->ProcessMessages();
        tree->SetExplorerListview(list);
        list->SetExplorerTreeview(tree);
        tree->SetActive(true);
        list->SetActive(true);
    }
    std::string TreeSelection() { return PathOf(tree, tree->GetFirstSelected()); }
    std::string ListFolder() {
        TNamespace* ns = list->RootFolderNamespace();
        return ns ? WideToUtf8(ns->NameForParsing()) : "-";
    }
    // Chooses path, a row the drop-down tree shows, with the mouse.
    void ChooseInDropDown(const std::string& path) {
        if (!combo->ExplorerDropDown().DroppedDown()) ClickButton();
        PDataNode node = TreeNode(path);
        ASSERT_NE(node, nullptr) << path;
        ASSERT_TRUE(combo->ExplorerDropDown().Tree().FullyVisible(node)) << path;
        Click(NodePoint(node));
        ASSERT_FALSE(combo->ExplorerDropDown().DroppedDown());
    }
    // A click on the label of path's node in the linked tree.
    void ClickInTree(const std::string& path) {
        PDataNode node = tree->FindNodeByPIDL(Parse(path).get());
        ASSERT_NE(node, nullptr) << path;
        tree->ScrollIntoView(node, false);
        const RECT r = tree->GetDisplayRect(node, NoColumn, true);
        Click(Screen(tree, {(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
    }
    std::string ComboPath() { return WideToUtf8(combo->Path()); }
    // The drop-down lists the way down to the test's folder and what lies
    // in it, nothing else of the machine's: a folder of its own wider than
    // the list would bring the list's horizontal bar in when first scrolled
    // into view, and shorten the page under a test that counts pixels.
    void ListOnlyOurOwn() {
        combo->PopupExplorerOptions().OnEnumFolder() = [this](TCustomExplorerTree*, TNamespace* ns, bool& allow) {
            const std::string path = WideToUtf8(ns->NameForParsing());
            const bool onTheWay = (root + "/").starts_with(path == "/" ? path : path + "/");
            allow = !path.starts_with("/") || onTheWay || path.starts_with(root + "/");
        };
    }

    Recording dispatch;
    TExplorerTreeview* tree = nullptr;
    TExplorerListview* list = nullptr;
    TComponent* recorder = nullptr;
    std::vector<bool> rollUps;
    TExplorerComboBox* combo = nullptr;
    int changes = 0;
};

TEST_F(ExplorerCombo, TheDropDownTreeIsTheDesktopWithComputerOpenAndTheFolderInView) {
    MakeAll({"a/", "a/b/", "c/"});
    ShownCombo();
    ASSERT_TRUE(combo->SetPath(W(files + "/a")));
    EXPECT_EQ(ComboPath(), files + "/a");
    EXPECT_EQ(changes, 0) << "setting the path is no choice";
    EXPECT_TRUE(dispatch.calls.empty());

    combo->SetDroppedDown(true);
    TPopupExplorerTree& tree = combo->ExplorerDropDown().Tree();
    app->ProcessMessages();
    ASSERT_TRUE(Shown(combo->ExplorerDropDown()));
    EXPECT_TRUE(tree.Active());
    EXPECT_EQ(tree.RootFolder(), rfDesktop);
    PDataNode computer = tree.FindNodeByPIDL(DrivesFolder()->AbsolutePIDL());
    ASSERT_NE(computer, nullptr);
    EXPECT_TRUE(tree.Expanded(computer));
    PDataNode a = TreeNode(files + "/a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(tree.FocusedNode(), a);
    EXPECT_TRUE(tree.Selected(a));
    EXPECT_FALSE(tree.Expanded(a)) << "the folder is shown, not opened";
    EXPECT_TRUE(tree.FullyVisible(a));
    const RECT row = tree.GetDisplayRect(a, NoColumn, false);
    EXPECT_GE(row.top, 0);
    EXPECT_LE(row.bottom, tree.ClientHeight()) << "scrolled into view";
    // The keyboard stays in the edit line.
    EXPECT_TRUE(combo->Edit().Focused());
    EXPECT_FALSE(tree.Focused());

    // Placed right under the combo box, as wide, eight rows of 17 pixels
    // and a one-pixel border high.
    RECT comboRect{}, dropRect{};
    GetWindowRect(combo->Handle(), comboRect);
    GetWindowRect(combo->ExplorerDropDown().Handle(), dropRect);
    EXPECT_EQ(dropRect.left, comboRect.left);
    EXPECT_EQ(dropRect.top, comboRect.bottom);
    EXPECT_EQ(dropRect.width(), 300);
    EXPECT_EQ(dropRect.height(), 8 * 17 + 2);
    EXPECT_TRUE(GetWindowLongPtr(combo->ExplorerDropDown().Handle(), GWL_EXSTYLE) & WS_EX_NOACTIVATE);
}

TEST_F(ExplorerCombo, NearTheScreensBottomTheDropDownOpensAbove) {
    ShownCombo();
    combo->SetPath(W(files));
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    // The combo box's bottom 40 pixels above the screen's end, its right
    // edge 100 pixels past the screen's.
    form->SetBounds(screenWidth - 210, screenHeight - 300, 420, 300);
    RECT comboRect{};
    GetWindowRect(combo->Handle(), comboRect);
    form->SetBounds(form->Left(), form->Top() + (screenHeight - 40 - comboRect.bottom), 420, 300);
    app->ProcessMessages();
    GetWindowRect(combo->Handle(), comboRect);
    ASSERT_EQ(comboRect.bottom, screenHeight - 40);
    Key(VK_F4);
    ASSERT_TRUE(combo->ExplorerDropDown().DroppedDown());
    RECT dropRect{};
    GetWindowRect(combo->ExplorerDropDown().Handle(), dropRect);
    EXPECT_EQ(dropRect.bottom, comboRect.top) << "above: 138 pixels do not fit in 40";
    EXPECT_EQ(dropRect.height(), 8 * 17 + 2);
    EXPECT_EQ(dropRect.right, screenWidth) << "kept on the screen";
    EXPECT_EQ(dropRect.width(), 300);
}

TEST_F(ExplorerCombo, OpensAndClosesByButtonKeysAndAPressOutside) {
    ShownCombo();
    combo->SetPath(W(files));
    combo->PopupExplorerOptions().OnRollUp() = [&](TObject*, bool selected) { rollUps.push_back(selected); };
    TDropDownWnd& drop = combo->ExplorerDropDown();

    ClickButton();
    EXPECT_TRUE(drop.DroppedDown());
    EXPECT_TRUE(Shown(drop));
    EXPECT_TRUE(combo->Edit().Focused());
    ClickButton();
    EXPECT_FALSE(drop.DroppedDown()) << "the button toggles";
    EXPECT_FALSE(Shown(drop));

    Key(VK_F4);
    EXPECT_TRUE(drop.DroppedDown());
    Key(VK_F4);
    EXPECT_FALSE(drop.DroppedDown());

    AltKey(VK_DOWN);
    EXPECT_TRUE(drop.DroppedDown());
    Key(VK_ESCAPE);
    EXPECT_FALSE(drop.DroppedDown());
    AltKey(VK_DOWN);
    AltKey(VK_UP);
    EXPECT_FALSE(drop.DroppedDown());

    // A press elsewhere on the form closes it and takes nothing from the text.
    Key(VK_F4);
    ASSERT_TRUE(drop.DroppedDown());
    Click(Screen(form, {200, 200}));
    EXPECT_FALSE(drop.DroppedDown());
    EXPECT_EQ(ComboPath(), files);
    EXPECT_EQ(rollUps, (std::vector<bool>{false, false, false, false, false}));
    EXPECT_EQ(changes, 0);

    // OnRollDown may refuse.
    combo->PopupExplorerOptions().OnRollDown() = [](TObject*, bool& allow) { allow = false; };
    ClickButton();
    Key(VK_F4);
    EXPECT_FALSE(drop.DroppedDown());
    EXPECT_FALSE(Shown(drop));
    // So does switching the drop-down off.
    combo->PopupExplorerOptions().OnRollDown() = nullptr;
    combo->PopupExplorerOptions().SetOptions(DefaultPopupOptions & ~poEnabled);
    Key(VK_F4);
    EXPECT_FALSE(drop.DroppedDown());
}

TEST_F(ExplorerCombo, ChoosingAFolderSetsThePathAndAnnouncesIt) {
    MakeAll({"a/", "a/inner/", "b/", "c/"});
    ShownCombo();
    combo->SetPath(W(files + "/a"));
    combo->PopupExplorerOptions().OnRollUp() = [&](TObject*, bool selected) { rollUps.push_back(selected); };
    ClickButton();
    PDataNode c = TreeNode(files + "/c");
    ASSERT_NE(c, nullptr);
    Click(NodePoint(c));
    EXPECT_FALSE(combo->ExplorerDropDown().DroppedDown());
    EXPECT_EQ(ComboPath(), files + "/c");
    EXPECT_EQ(PidlString(combo->SelectedPIDL()), PidlString(Parse(files + "/c").get()));
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(dispatch.calls.size(), 1u);
    EXPECT_EQ(dispatch.calls[0].second, PidlString(Parse(files + "/c").get()));
    EXPECT_EQ(dispatch.calls[0].first, combo) << "the combo box announces as itself";
    EXPECT_EQ(rollUps, (std::vector<bool>{true}));
    EXPECT_TRUE(combo->Edit().Focused());

    // By keyboard: the next row down from c is nothing (c is the last), so
    // Up twice gives a.
    Key(VK_F4);
    Key(VK_UP);
    Key(VK_UP);
    Key(VK_RETURN);
    EXPECT_EQ(ComboPath(), files + "/a");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(dispatch.calls.size(), 2u);

    // A click on a button opens the folder and chooses nothing.
    Key(VK_F4);
    TPopupExplorerTree& tree = combo->ExplorerDropDown().Tree();
    PDataNode a = TreeNode(files + "/a");
    ASSERT_NE(a, nullptr);
    THitInfo hit;
    const RECT label = tree.GetDisplayRect(a, NoColumn, true);
    int buttonX = -1;
    for (int x = label.left - 1; x >= 0 && buttonX < 0; --x) {
        tree.GetHitTestInfoAt(x, (label.top + label.bottom) / 2, true, hit);
        if (hit.HitPositions & hiOnItemButton) buttonX = x;
    }
    ASSERT_GE(buttonX, 0) << "a has an expand button";
    Click(Screen(&tree, {buttonX, (label.top + label.bottom) / 2}));
    EXPECT_TRUE(combo->ExplorerDropDown().DroppedDown());
    EXPECT_TRUE(tree.Expanded(a));
    EXPECT_EQ(changes, 2);
}

TEST_F(ExplorerCombo, ALinkedControlsMoveIsShownWithoutBeingAnnouncedBack) {
    MakeAll({"a/"});
    ShownCombo();
    const UniquePIDL a = Parse(files + "/a");
    combo->ChangeLinkChangeEvent(form, a.get());
    EXPECT_EQ(ComboPath(), files + "/a");
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(dispatch.calls.empty());
    // Its own announcement coming back changes nothing.
    combo->ChangeLinkChangeEvent(combo, Parse(files).get());
    EXPECT_EQ(ComboPath(), files + "/a");
}

TEST_F(ExplorerCombo, TypingListsTheMatchingPathsWithoutRegardToCase) {
    MakeAll({"alpha/", "Apple.txt", "beta/", "ant.txt", "alpha/inner.txt"});
    ShownCombo();
    combo->Edit().SetText("");
    Type(files + "/a");
    TPopupAutoCompleteDropDown& ac = combo->AutoCompleteDropDown();
    ASSERT_TRUE(ac.DroppedDown());
    EXPECT_TRUE(Shown(ac));
    std::vector<std::string> items;
    for (const WideString& s : ac.Tree().Items()) items.push_back(WideToUtf8(s));
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{files + "/Apple.txt", files + "/alpha", files + "/ant.txt"}));
    EXPECT_EQ(ac.Tree().RootNodeCount(), 3u);
    EXPECT_TRUE(combo->Edit().Focused());
    EXPECT_EQ(changes, 0);

    // Narrowing; then nothing matches and the list goes.
    Type("l");
    ASSERT_EQ(ac.Tree().Items().size(), 1u);
    EXPECT_EQ(WideToUtf8(ac.Tree().Items()[0]), files + "/alpha");
    // Down highlights it, Enter chooses it.
    Key(VK_DOWN);
    EXPECT_EQ(ac.Tree().HighlightIndex(), 0);
    Key(VK_RETURN);
    EXPECT_FALSE(ac.DroppedDown());
    EXPECT_EQ(ComboPath(), files + "/alpha");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(dispatch.calls.size(), 1u);

    Type("/q");
    EXPECT_FALSE(ac.DroppedDown()) << "nothing in alpha/ begins with q";
    Key(VK_BACK);
    Type("I");
    ASSERT_TRUE(ac.DroppedDown());
    ASSERT_EQ(ac.Tree().Items().size(), 1u);
    // A click on a candidate chooses it.
    const RECT r = ac.Tree().GetDisplayRect(ac.Tree().GetFirst(), NoColumn, false);
    Click(Screen(&ac.Tree(), {r.left + 10, (r.top + r.bottom) / 2}));
    EXPECT_FALSE(ac.DroppedDown());
    EXPECT_EQ(ComboPath(), files + "/alpha/inner.txt");
    EXPECT_EQ(changes, 2);

    // A file made meanwhile is offered when typing starts again.
    Make("alpha/new.txt");
    combo->Edit().SetText("");
    Type(files + "/alpha/n");
    ASSERT_EQ(ac.Tree().Items().size(), 1u);
    EXPECT_EQ(WideToUtf8(ac.Tree().Items()[0]), files + "/alpha/new.txt");
    Key(VK_ESCAPE);

    // Escape closes the list and keeps the text.
    combo->Edit().SetText("");
    Type(files + "/b");
    ASSERT_TRUE(ac.DroppedDown());
    Key(VK_ESCAPE);
    EXPECT_FALSE(ac.DroppedDown());
    EXPECT_EQ(WideToUtf8(combo->Edit().WideText()), files + "/b");
    EXPECT_EQ(changes, 2);
}

TEST_F(ExplorerCombo, TheUpdateEventMayGiveTheListItself) {
    MakeAll({"alpha/"});
    ShownCombo();
    std::vector<std::string> asked;
    combo->PopupAutoCompleteOptions().OnAutoCompleteUpdateList = [&](TObject*, const WideString& text,
                                                                     TWideStringList& list, bool& handled) {
        asked.push_back(WideToUtf8(text));
        if (text.size() >= 2) {
            list.Add(u"zebra");
            list.Add(u"Yak");
            handled = true;
        }
    };
    combo->Edit().SetText("");
    Type("/x");
    EXPECT_EQ(asked, (std::vector<std::string>{"/", "/x"}));
    TPopupAutoCompleteDropDown& ac = combo->AutoCompleteDropDown();
    ASSERT_TRUE(ac.DroppedDown());
    ASSERT_EQ(ac.Tree().Items().size(), 2u);
    EXPECT_EQ(WideToUtf8(ac.Tree().Items()[0]), "zebra") << "shown as given: no filter, no sort";
    EXPECT_EQ(WideToUtf8(ac.Tree().Items()[1]), "Yak");
    // Placed under the combo box, two rows high.
    RECT comboRect{}, dropRect{};
    GetWindowRect(combo->Handle(), comboRect);
    GetWindowRect(ac.Handle(), dropRect);
    EXPECT_EQ(dropRect.top, comboRect.bottom);
    EXPECT_EQ(dropRect.height(), 2 * 17 + 2);
    combo->PopupAutoCompleteOptions().OnAutoCompleteUpdateList = nullptr;
}

TEST_F(ExplorerCombo, ATypedPathThatNamesNothingShowsTheInvalidPathBox) {
    MakeAll({"a/"});
    ShownCombo();
    combo->SetPath(W(files + "/a"));
    std::string caption, text;
    int boxes = 0;
    OnInvalidPathBoxModal = [&](TForm& box) {
        ++boxes;
        caption = box.Caption();
        for (int i = 0; i < box.ComponentCount(); ++i)
            if (auto* label = dynamic_cast<TLabel*>(box.Components(i))) text = label->Caption();
        Key(VK_RETURN); // the OK button is the default
    };
    combo->Edit().SetText("");
    Type(files + "/nothing here");
    Key(VK_RETURN);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(caption, "Invalid Path");
    EXPECT_EQ(text, "Windows can not find \"" + files + "/nothing here\" Please check the spelling and try again.");
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(dispatch.calls.empty());
    EXPECT_EQ(PidlString(combo->SelectedPIDL()), PidlString(Parse(files + "/a").get())) << "the folder stays";
    EXPECT_EQ(WideToUtf8(combo->Edit().WideText()), files + "/nothing here") << "the text stays to be mended";
    EXPECT_TRUE(combo->Edit().Focused());

    // An existing path is chosen; an empty line is no path and no error.
    combo->Edit().SetText("");
    Type(files);
    Key(VK_ESCAPE);
    Key(VK_RETURN);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ComboPath(), files);
    combo->Edit().SetText("");
    Key(VK_RETURN);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(changes, 1);
    // SetPath refuses what names nothing and keeps the current item.
    EXPECT_FALSE(combo->SetPath(W(files + "/missing")));
    EXPECT_FALSE(combo->SetPath(u""));
    EXPECT_EQ(PidlString(combo->SelectedPIDL()), PidlString(Parse(files).get()));
}

// The bar's invariants, whatever the list did.
void ExpectBarInRange(const TOwnerDrawScrollbar& bar) {
    EXPECT_LT(bar.Min(), bar.Max());
    EXPECT_GE(bar.PageSize(), 1);
    EXPECT_LE(bar.PageSize(), bar.Max() - bar.Min());
    EXPECT_GE(bar.Position(), bar.Min());
    EXPECT_LE(bar.Position(), bar.Max() - bar.PageSize());
}

TEST_F(ExplorerCombo, TheDropDownsBarFollowsTheTreeAndStaysInRange) {
    for (int i = 0; i < 40; ++i) Make(Format("d%02d/", i));
    ShownCombo();
    ListOnlyOurOwn();
    combo->SetPath(W(files));
    Key(VK_F4);
    TPopupExplorerDropDown& drop = combo->ExplorerDropDown();
    TPopupExplorerTree& tree = drop.Tree();
    TOwnerDrawScrollbar& bar = drop.ScrollBar();
    PDataNode folder = TreeNode(files);
    ASSERT_NE(folder, nullptr);
    tree.SetExpanded(folder, true);
    app->ProcessMessages();
    EXPECT_EQ(TreeNode("/usr"), nullptr) << "the machine's folders are listed";

    // Pixels: the range is the tree's height, the page its client area.
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), tree.RangeY());
    EXPECT_EQ(bar.PageSize(), tree.ClientHeight());
    EXPECT_EQ(bar.Position(), tree.OffsetY());
    EXPECT_GE(tree.RangeY(), 40 * 17);
    // The bar stands where the list's own bar would, the list's is out of sight.
    RECT barRect{}, dropClient{};
    GetWindowRect(bar.Handle(), barRect);
    GetClientRect(drop.Handle(), dropClient);
    EXPECT_EQ(bar.Width(), GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(bar.Left(), dropClient.right - GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(tree.Parent()->Width(), bar.Left());

    // Dragging the thumb past the end scrolls the tree to its end.
    const TScrollBarLayout layout = bar.Layout();
    const POINT thumb = Screen(&bar, {bar.Width() / 2, (layout.Thumb.top + layout.Thumb.bottom) / 2});
    InjectMouseMove(thumb.x, thumb.y);
    InjectMouseButton(MouseButton::Left, true);
    app->ProcessMessages();
    InjectMouseMove(thumb.x, thumb.y + 2000);
    app->ProcessMessages();
    InjectMouseButton(MouseButton::Left, false);
    app->ProcessMessages();
    EXPECT_EQ(bar.Position(), bar.Max() - bar.PageSize());
    EXPECT_EQ(tree.OffsetY(), tree.RangeY() - tree.ClientHeight());
    EXPECT_TRUE(drop.DroppedDown()) << "the bar is part of the drop-down";
    ExpectBarInRange(bar);

    // The arrow steps by a row.
    const int before = tree.OffsetY();
    const POINT up = Screen(&bar, {bar.Width() / 2, layout.TopArrow.bottom / 2});
    Click(up);
    EXPECT_EQ(tree.OffsetY(), before - tree.DefaultNodeHeight());
    EXPECT_EQ(bar.Position(), tree.OffsetY());

    // Collapsing shortens the range: the position comes back inside.
    tree.SetExpanded(folder, false);
    app->ProcessMessages();
    drop.SyncScrollBar();
    ExpectBarInRange(bar);
    EXPECT_EQ(bar.Position(), tree.OffsetY());

    // Values out of range are clamped.
    bar.SetPosition(1 << 30);
    ExpectBarInRange(bar);
    bar.SetPosition(-(1 << 30));
    EXPECT_EQ(bar.Position(), 0);

    // A drop-down shrunk to nothing lays out without dividing by zero.
    drop.SetBounds(drop.Left(), drop.Top(), 2, 2);
    app->ProcessMessages();
    ExpectBarInRange(bar);
    EXPECT_EQ(bar.Layout().ThumbHeight, 0);
    RedrawWindow(drop.Handle(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_INVALIDATE);
}

TEST_F(ExplorerCombo, AWideRowScrolledIntoViewShortensTheBarsPage) {
    // Rows are measured when first painted: the last one, wider than the
    // list, brings in the list's horizontal bar only once scrolled to.
    for (int i = 0; i < 40; ++i) Make(Format("d%02d/", i));
    Make("d99-a-folder-whose-name-is-far-wider-than-the-drop-down-list/");
    ShownCombo();
    ListOnlyOurOwn();
    combo->SetPath(W(files));
    Key(VK_F4);
    TPopupExplorerDropDown& drop = combo->ExplorerDropDown();
    TPopupExplorerTree& tree = drop.Tree();
    TOwnerDrawScrollbar& bar = drop.ScrollBar();
    tree.SetExpanded(TreeNode(files), true);
    app->ProcessMessages();
    const int page = bar.PageSize();
    ASSERT_EQ(page, tree.ClientHeight());

    bar.SetPosition(bar.Max());
    tree.SetOffsetY(bar.Position());
    RedrawWindow(drop.Handle(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_INVALIDATE);
    app->ProcessMessages();
    // The bar follows the shorter page and stays in step with the list.
    EXPECT_EQ(bar.PageSize(), page - GetSystemMetrics(SM_CYHSCROLL));
    EXPECT_EQ(bar.PageSize(), tree.ClientHeight());
    EXPECT_EQ(bar.Max(), tree.RangeY());
    EXPECT_EQ(bar.Position(), tree.OffsetY());
    ExpectBarInRange(bar);
}

TEST_F(ExplorerCombo, AnEmptyCandidateListGivesABarWithNothingToScroll) {
    ShownCombo();
    TPopupAutoCompleteDropDown& ac = combo->AutoCompleteDropDown();
    ac.Tree().SetItems({});
    ac.ArrangeChildren();
    EXPECT_EQ(ac.ScrollBar().Min(), 0);
    EXPECT_EQ(ac.ScrollBar().Max(), 1);
    EXPECT_EQ(ac.ScrollBar().PageSize(), 1);
    EXPECT_EQ(ac.ScrollBar().Position(), 0);
    std::vector<WideString> many;
    for (int i = 0; i < 100; ++i) many.push_back(Utf8ToWide(Format("/c%03d", i)));
    ac.Tree().SetItems(many);
    ac.Tree().SetHighlightIndex(99);
    ac.SyncScrollBar();
    ExpectBarInRange(ac.ScrollBar());
    EXPECT_EQ(ac.ScrollBar().Max(), 100 * 17);
    ac.Tree().SetItems({});
    ac.SyncScrollBar();
    ExpectBarInRange(ac.ScrollBar());
    EXPECT_EQ(ac.ScrollBar().Position(), 0);
}

TEST_F(ExplorerCombo, AnimatedRollDownSlidesOpenOnTheClock) {
    ShownCombo();
    combo->SetPath(W(files));
    TPopupExplorerDropDown& drop = combo->ExplorerDropDown();
    combo->PopupExplorerOptions().SetOptions(DefaultPopupOptions | poAnimated);
    combo->PopupExplorerOptions().SetAnimationSpeed(160); // 16 steps of 10 ms
    Key(VK_F4);
    ASSERT_TRUE(drop.DroppedDown());
    EXPECT_TRUE(drop.Animating());
    RECT r{};
    GetWindowRect(drop.Handle(), r);
    EXPECT_EQ(r.height(), (8 * 17 + 2) / 16);
    clock.Advance(10);
    app->ProcessMessages();
    GetWindowRect(drop.Handle(), r);
    EXPECT_EQ(r.height(), (8 * 17 + 2) * 2 / 16);
    for (int i = 0; i < 20; ++i) {
        clock.Advance(10);
        app->ProcessMessages();
    }
    EXPECT_FALSE(drop.Animating());
    GetWindowRect(drop.Handle(), r);
    EXPECT_EQ(r.height(), 8 * 17 + 2);

    // The desktop's setting is respected when asked.
    Key(VK_ESCAPE);
    SetComboBoxAnimation(false);
    Key(VK_F4);
    EXPECT_FALSE(drop.Animating());
    SetComboBoxAnimation(true);
}

TEST_F(ExplorerCombo, OptionsReachTheDropDownAndItsTree) {
    ShownCombo();
    TPopupExplorerOptions& o = combo->PopupExplorerOptions();
    EXPECT_EQ(o.AnimationSpeed(), 200);
    EXPECT_EQ(o.AutoScrollTimeFast(), 10);
    EXPECT_EQ(o.AutoScrollTimeSlow(), 200);
    EXPECT_EQ(o.Color(), clWindow);
    EXPECT_EQ(o.ComboBoxStyle(), cbsClassic);
    EXPECT_EQ(o.DefaultNodeHeight(), 17);
    EXPECT_EQ(o.DropDownCount(), 8);
    EXPECT_EQ(o.Indent(), 10);
    EXPECT_EQ(o.Options(), poEnabled | poRespectSysAnimationFlag | poThemeAware);
    TPopupAutoCompleteOptions& a = combo->PopupAutoCompleteOptions();
    EXPECT_EQ(a.Indent(), 0);
    EXPECT_EQ(a.Contents(), accCurrentDir | accMyComputer | accFileSysDirs | accFileSysFiles);
    EXPECT_EQ(combo->Width(), 300);
    EXPECT_EQ(combo->Height(), 23);

    o.SetDropDownCount(3);
    o.SetDefaultNodeHeight(20);
    o.SetOptions(poEnabled);
    EXPECT_FALSE(combo->ExplorerDropDown().Tree().TreeOptions().PaintOptions() & toThemeAware);
    EXPECT_EQ(combo->ExplorerDropDown().ScrollBar().Options(), 0u);
    o.SetDropDownCount(0);
    EXPECT_EQ(o.DropDownCount(), 1) << "at least one row";
    o.SetDropDownCount(3);
    combo->SetPath(W(files));
    Key(VK_F4);
    RECT r{};
    GetWindowRect(combo->ExplorerDropDown().Handle(), r);
    EXPECT_EQ(r.height(), 3 * 20 + 2);

    // A sizeable drop-down keeps what the grip gave it when asked to.
    Key(VK_ESCAPE);
    o.SetOptions(poEnabled | poSizeable | poPersistentSizing);
    Key(VK_F4);
    TSizeGrabber& grip = combo->ExplorerDropDown().Grabber();
    ASSERT_TRUE(Shown(grip));
    const POINT from = Screen(&grip, {8, 8});
    InjectMouseMove(from.x, from.y);
    InjectMouseButton(MouseButton::Left, true);
    app->ProcessMessages();
    InjectMouseMove(from.x + 40, from.y + 30);
    app->ProcessMessages();
    InjectMouseButton(MouseButton::Left, false);
    app->ProcessMessages();
    GetWindowRect(combo->ExplorerDropDown().Handle(), r);
    EXPECT_EQ(r.width(), 340);
    EXPECT_EQ(r.height(), 3 * 20 + 2 + 30);
    Key(VK_ESCAPE);
    Key(VK_F4);
    GetWindowRect(combo->ExplorerDropDown().Handle(), r);
    EXPECT_EQ(r.width(), 340);
    EXPECT_EQ(r.height(), 3 * 20 + 2 + 30);
}

TEST_F(ExplorerCombo, DestroyingTheComboBoxWhileDroppedLeavesNoHookBehind) {
    ShownCombo();
    combo->SetPath(W(files));
    Key(VK_F4);
    ASSERT_TRUE(combo->ExplorerDropDown().DroppedDown());
    delete combo;
    combo = nullptr;
    // A press after it went must not reach the freed combo box.
    Click(Screen(form, {200, 200}));
    app->ProcessMessages();
}

// ---- Links with the explorer tree and list ---------------------------------------------------

TEST_F(ExplorerCombo, LinkingATreeMakesOneLinkEachWayAndRelinkingReplacesThem) {
    ShownCombo();
    ShowPair();
    TExpChangeDispatch& d = TExpChangeDispatch::Instance();
    const int before = d.Count(); // the pair's two and the recorder's
    EXPECT_EQ(before, 3);
    tree->SetExplorerComboBox(combo);
    EXPECT_EQ(tree->ExplorerComboBox(), combo);
    EXPECT_EQ(d.Count(), before + 2);
    tree->SetExplorerComboBox(combo);
    EXPECT_EQ(d.Count(), before + 2) << "the same combo box again adds nothing";

    auto* other = TComponent::Create<TExplorerComboBox>(form);
    other->SetParent(form);
    tree->SetExplorerComboBox(other);
    EXPECT_EQ(d.Count(), before + 2) << "the old combo box's links went";
    // The old combo box no longer drives the tree.
    MakeAll({"a/"});
    combo->ChooseItem(Parse(files + "/a").get());
    EXPECT_EQ(TreeSelection(), files);
    tree->SetExplorerComboBox(nullptr);
    EXPECT_EQ(d.Count(), before);
    EXPECT_EQ(tree->ExplorerComboBox(), nullptr);
    EXPECT_EQ(ExpChangeDispatch(), &d) << "the tree's moves reach the links";
}

TEST_F(ExplorerCombo, ChoosingAFolderBrowsesALinkedTreeAndList) {
    MakeAll({"a/", "a/inner/", "b/", "b/file.txt"});
    ShownCombo();
    ShowPair();
    tree->SetExplorerComboBox(combo);
    // The drop-down opens on a, its siblings in view.
    combo->SetPath(W(files + "/a"));
    EXPECT_EQ(TreeSelection(), files) << "setting the path announces nothing";

    ChooseInDropDown(files + "/b");
    EXPECT_EQ(ComboPath(), files + "/b");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(TreeSelection(), files + "/b");
    EXPECT_EQ(ListFolder(), files + "/b") << "the tree's move reached the list";
    EXPECT_NE(Child(list, list->RootNode(), "file.txt"), nullptr);
    // The tree's own reaction did not come back to the combo box.
    ASSERT_EQ(dispatch.calls.size(), 1u);
    EXPECT_EQ(dispatch.calls[0].first, combo);

    // Typing a path drives them too.
    combo->Edit().SetText("");
    Type(files + "/a/inner");
    Key(VK_ESCAPE);
    Key(VK_RETURN);
    EXPECT_EQ(ComboPath(), files + "/a/inner");
    EXPECT_EQ(TreeSelection(), files + "/a/inner");
    EXPECT_EQ(ListFolder(), files + "/a/inner");
    EXPECT_EQ(dispatch.calls.size(), 2u);
}

TEST_F(ExplorerCombo, AListLinkedToTheComboBoxFollowsItDirectly) {
    MakeAll({"a/", "b/", "b/file.txt"});
    ShownCombo();
    ShowPair();
    tree->SetExplorerComboBox(combo);
    list->SetExplorerComboBox(combo);
    combo->SetPath(W(files + "/a"));
    ChooseInDropDown(files + "/b");
    EXPECT_EQ(ListFolder(), files + "/b");
    EXPECT_EQ(TreeSelection(), files + "/b");
    EXPECT_EQ(ComboPath(), files + "/b");
    EXPECT_EQ(dispatch.calls.size(), 1u);
    // Browsing the list into a folder moves the tree and the combo box.
    list->BrowseToByPIDL(Parse(files + "/a").get(), false, false, false, false);
    EXPECT_EQ(ListFolder(), files + "/a");
    EXPECT_EQ(ComboPath(), files + "/a");
    EXPECT_EQ(TreeSelection(), files + "/a");
    EXPECT_EQ(changes, 1) << "following is no choice";
    EXPECT_EQ(dispatch.calls.size(), 1u);
}

TEST_F(ExplorerCombo, ALimitedListLinkedOnlyToTheComboBoxMayBrowseBelowTheComboBoxsRoot) {
    MakeAll({"a/"});
    ShownCombo();
    ShowPair();
    list->SetExplorerTreeview(nullptr);
    tree->SetExplorerListview(nullptr);
    TExplorerTreeOptions& o = list->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() | toListviewLimitBrowseToRoot);
    ASSERT_NE(list->BrowseLimit(), nullptr);
    // Unlinked, the list stays inside files/, where it was first shown.
    EXPECT_FALSE(list->BrowseToByPIDL(Parse(root).get(), false, false, false, false));
    EXPECT_EQ(ListFolder(), files);
    // Linked to the combo box, the combo box's root (the desktop) limits it.
    list->SetExplorerComboBox(combo);
    combo->ChooseItem(Parse(root).get());
    EXPECT_EQ(ListFolder(), root);
}

TEST_F(ExplorerCombo, SelectingAFolderInTheTreeUpdatesThePathWithoutAnnouncingIt) {
    MakeAll({"a/", "b/"});
    ShownCombo();
    ShowPair();
    tree->SetExplorerComboBox(combo);
    ClickInTree(files + "/a");
    EXPECT_EQ(TreeSelection(), files + "/a");
    EXPECT_EQ(ComboPath(), files + "/a");
    EXPECT_EQ(PidlString(combo->SelectedPIDL()), PidlString(Parse(files + "/a").get()));
    EXPECT_EQ(ListFolder(), files + "/a");
    EXPECT_EQ(changes, 0) << "following is no choice";
    EXPECT_TRUE(dispatch.calls.empty()) << "the combo box announced the tree's move back";

    // Browsing the tree by program is followed the same way.
    tree->BrowseToPath(W(files + "/b"), false, false, false, true);
    EXPECT_EQ(TreeSelection(), files + "/b");
    EXPECT_EQ(ComboPath(), files + "/b");
    EXPECT_TRUE(dispatch.calls.empty());
}

TEST_F(ExplorerCombo, AComboBoxFreedWhileLinkedLeavesNoLink) {
    MakeAll({"a/", "b/"});
    ShownCombo();
    ShowPair();
    tree->SetExplorerComboBox(combo);
    list->SetExplorerComboBox(combo);
    EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 7);
    delete combo;
    combo = nullptr;
    EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 2) << "only the pair's links stay";
    EXPECT_EQ(tree->ExplorerComboBox(), nullptr);
    EXPECT_EQ(list->ExplorerComboBox(), nullptr);
    // The tree's next move reaches the list and nothing freed.
    ClickInTree(files + "/b");
    EXPECT_EQ(TreeSelection(), files + "/b");
    EXPECT_EQ(ListFolder(), files + "/b");
}

TEST_F(ExplorerCombo, ATreeFreedWhileLinkedLeavesNoLink) {
    MakeAll({"a/"});
    ShownCombo();
    ShowPair();
    tree->SetExplorerComboBox(combo);
    delete tree;
    tree = nullptr;
    EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 1) << "only the recorder's link stays";
    combo->ChooseItem(Parse(files + "/a").get());
    EXPECT_EQ(dispatch.calls.size(), 1u);
    EXPECT_EQ(ListFolder(), files) << "the list was linked to the tree only";
}

TEST_F(ExplorerCombo, AFormDescriptionKeepsTheTreeLinkedToItsComboBox) {
    RegisterExplorerViewsClasses();
    RegisterExplorerComboBoxClasses();
    form = app->CreateForm<TForm>();
    form->SetName("Mainform");
    combo = TComponent::Create<TExplorerComboBox>(form);
    combo->SetName("Address");
    combo->SetParent(form);
    tree = TComponent::Create<TExplorerTreeview>(form);
    tree->SetName("ExpTree");
    tree->SetParent(form);
    tree->SetExplorerComboBox(combo);
    TMemoryStream out;
    WriteComponentResource(out, *form);
    out.SetPosition(0);
    form->SetName("Before");
    TForm* copy = app->CreateForm<TForm>();
    ReadComponentResource(out, *copy);
    auto* t = dynamic_cast<TExplorerTreeview*>(copy->FindComponent("ExpTree"));
    auto* c = dynamic_cast<TExplorerComboBox*>(copy->FindComponent("Address"));
    ASSERT_NE(t, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(t->ExplorerComboBox(), c);
    EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 4);
    copy->Free();
    EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 2);
}

} // namespace
