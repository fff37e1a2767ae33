// What the user does to the explorer tree's items: the shell context menu
// around a right click, the keyboard commands, clipboard copy, cut and
// paste of files (never over anything), the data object and drag and drop
// between two explorer trees, text colours and icons.
#include "bounded_wait.h"
#include "explorer_columns_fixture.h"
#include "rtl/scopeguard.h"
#include "shell/IconThread.h"
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/dataobject.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/propertysheetservice.h"
#include "platform/shellns/recordingmessageboxservice.h"
#include "platform/shellns/scriptedmenutracker.h"
#include "platform/shellns/shellclipboard.h"
#include "platform/window/sysmenu.h"
#include "shell/ShellResources.h"
#include "shell/ShellUtilities.h"
#include "vtree/ClipboardFormats.h"

#include <filesystem>

using namespace ax;
using namespace ax::testing;

namespace {

std::vector<std::string> Captions(const ShellMenu& menu) {
    std::vector<std::string> out;
    for (const ShellMenuItem& item : menu.items)
        out.push_back(item.separator ? "-" : WideToUtf8(item.caption));
    return out;
}

class CommandsTest : public ColumnsTest {
protected:
    void SetUp() override {
        ColumnsTest::SetUp();
        SetMenuTracker(&tracker);
        SetMessageBoxService(&boxes);
    }
    std::string Trashed(const std::string& name) {
        return home + "/.local/share/Trash/files/" + name;
    }
    std::vector<std::string> Clipboard(bool* cut = nullptr) {
        std::vector<std::string> pidls, paths;
        bool isCut = false;
        if (!GetShellClipboard(pidls, isCut)) return {};
        if (cut) *cut = isCut;
        for (const std::string& p : pidls)
            paths.push_back(WideToUtf8(PIDLToPath(reinterpret_cast<PCItemIDList>(p.data()))));
        return paths;
    }
    ScriptedMenuTracker tracker;
    RecordingMessageBoxService boxes;
};

// ---- Context menus ------------------------------------------------------------------------

TEST_F(CommandsTest, ARightClickShowsTheItemsMenuAndRunsTheVerbPicked) {
    MakeAll({"a.txt", "b.txt", "c.txt"});
    TestExplorerTree* tree = Tree(files);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt"), b = Child(tree, root, "b.txt");
    Select(tree, a);
    std::vector<std::string> log;
    tree->OnContextMenuShow = [&](TCustomExplorerTree* t, TNamespace* ns, bool& allow) {
        log.push_back("show " + WideToUtf8(ns->NameInFolder()) + " selected " +
                      NameOf(t, t->GetFirstSelected()));
        EXPECT_TRUE(allow);
    };
    tree->OnContextMenuCmd = [&](TCustomExplorerTree*, TNamespace*, const WideString& verb, int,
                                 bool&) { log.push_back("cmd " + WideToUtf8(verb)); };
    tree->OnContextMenuAfterCmd = [&](TCustomExplorerTree*, TNamespace*, const WideString& verb,
                                      int, bool ok) {
        log.push_back("after " + WideToUtf8(verb) + (ok ? " ok" : " failed"));
    };
    int changes = 0;
    tree->OnChange = [&](TBaseDataTree*, PDataNode) { ++changes; };
    tracker.PickCaption(u"Delete");
    const POINT p = LabelPoint(tree, b);
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    ASSERT_EQ(tracker.Shown().size(), 1u);
    EXPECT_EQ(Captions(tracker.Shown()[0]),
              (std::vector<std::string>{"&Open", "-", "Cu&t", "&Copy", "-", "Create &Link", "&Delete",
                                        "Rena&me", "-", "P&roperties"}));
    const POINT screen = tree->ClientToScreen(p);
    EXPECT_EQ(tracker.Positions()[0].x, screen.x);
    EXPECT_EQ(tracker.Positions()[0].y, screen.y);
    EXPECT_EQ(log, (std::vector<std::string>{"show b.txt selected b.txt", "cmd delete",
                                             "after delete ok"}));
    EXPECT_FALSE(Exists(files + "/b.txt"));
    EXPECT_TRUE(Exists(Trashed("b.txt"))) << "deleting moves to the trash";
    // Without toRightButtonSelect the selection is as it was before.
    EXPECT_EQ(tree->GetFirstSelected(), a);
    EXPECT_EQ(tree->SelectedCount(), 1u);
    EXPECT_EQ(tree->FocusedNode(), a);
}

TEST_F(CommandsTest, NodesFreedWhileTheMenuIsUpAreNotTouchedAfterwards) {
    MakeAll({"a.txt", "b.txt"});
    TestExplorerTree* tree = Tree(files);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt"), b = Child(tree, root, "b.txt");
    Select(tree, a);
    // As a change from the shell would while the menu tracks: the item
    // selected before the right click goes.
    tree->OnContextMenuShow = [&](TCustomExplorerTree* t, TNamespace*, bool&) {
        t->DeleteNode(a, true);
    };
    tracker.PickNothing();
    const POINT p = LabelPoint(tree, b);
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    EXPECT_EQ(tracker.Shown().size(), 1u);
    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"b.txt"}));
    EXPECT_EQ(tree->SelectedCount(), 0u) << "nothing of the freed node comes back";
}

TEST_F(CommandsTest, RightButtonSelectKeepsTheClickedItemSelected) {
    MakeAll({"a.txt", "b.txt"});
    TestExplorerTree* tree = Tree(files);
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() |
                                          toRightButtonSelect);
    PDataNode root = tree->GetFirst();
    Select(tree, Child(tree, root, "a.txt"));
    PDataNode b = Child(tree, root, "b.txt");
    tracker.PickNothing();
    const POINT p = LabelPoint(tree, b);
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    EXPECT_EQ(tracker.Shown().size(), 1u);
    EXPECT_EQ(tree->GetFirstSelected(), b);
    EXPECT_EQ(tree->FocusedNode(), b);
    EXPECT_TRUE(Exists(files + "/b.txt"));
}

TEST_F(CommandsTest, RenameEditsTheNodeAndTheApplicationsItemsRunTheirOwn) {
    MakeAll({"a.txt"});
    TestExplorerTree* tree = Tree(files);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    tracker.PickCaption(u"Rename");
    POINT p = LabelPoint(tree, a);
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    EXPECT_TRUE(tree->IsEditing());
    EXPECT_EQ(tree->FocusedNode(), a);
    tree->CancelEditNode();

    // The application's own items, in their submenu.
    int clicked = 0;
    TUserMenu mine;
    mine.Items.push_back({u"Back up now", false, false, false, true, 0, [&] { ++clicked; }});
    tree->ShellContextSubMenu = &mine;
    tree->ShellContextSubMenuCaption = u"ArdentixXP";
    tracker.PickCaption(u"Back up now");
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    ASSERT_EQ(tracker.Shown().size(), 2u);
    const ShellMenuItem& holder = tracker.Shown()[1].items.back();
    EXPECT_EQ(WideToUtf8(holder.caption), "ArdentixXP");
    ASSERT_TRUE(holder.subMenu);
    EXPECT_EQ(clicked, 1);
    tree->ShellContextSubMenu = nullptr;

    // Refused by the application: no command runs.
    tree->OnContextMenuShow = [](TCustomExplorerTree*, TNamespace*, bool& allow) { allow = false; };
    tracker.PickCaption(u"Delete");
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    EXPECT_EQ(tracker.Shown().size(), 2u);
    EXPECT_TRUE(Exists(files + "/a.txt"));
}

TEST_F(CommandsTest, NoShellMenuWhileReadOnlyOrOffTheItems) {
    MakeAll({"a.txt"});
    TestExplorerTree* tree = Tree(files);
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    const POINT p = LabelPoint(tree, a);
    ClickAt(tree, p.x + 300, p.y, MouseButton::Right); // right of the label
    EXPECT_EQ(tracker.Shown().size(), 0u);
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() | toExpReadOnly);
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    EXPECT_EQ(tracker.Shown().size(), 0u);
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() &
                                          ~TExpMiscOptions(toExpReadOnly));
    tree->TreeOptions().SetExpShellOptions(tree->TreeOptions().ExpShellOptions() &
                                           ~TExpShellOptions(toContextMenus));
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    EXPECT_EQ(tracker.Shown().size(), 0u);
    // The menu key shows it for the selection.
    tree->TreeOptions().SetExpShellOptions(tree->TreeOptions().ExpShellOptions() | toContextMenus);
    Select(tree, a);
    tracker.PickNothing();
    InjectKeyStroke(VK_APPS);
    app->ProcessMessages();
    EXPECT_EQ(tracker.Shown().size(), 1u);
}

// ---- Keyboard and clipboard ---------------------------------------------------------------

TEST_F(CommandsTest, CtrlCAndCtrlVCopyAFileBesideItselfUnderANewName) {
    File("b.txt", 10, 1577836800, 1577836800);
    TestExplorerTree* tree = Tree(files);
    PDataNode b = Child(tree, tree->GetFirst(), "b.txt");
    Select(tree, b);
    tree->SetFocus();
    Chord(VK_CONTROL, 'C');
    bool cut = true;
    EXPECT_EQ(Clipboard(&cut), (std::vector<std::string>{files + "/b.txt"}));
    EXPECT_FALSE(cut);
    Chord(VK_CONTROL, 'V');
    EXPECT_EQ(Read(files + "/b.txt"), std::string(10, 'x')) << "the original is never replaced";
    EXPECT_EQ(Read(files + "/b (2).txt"), std::string(10, 'x'));
    Chord(VK_CONTROL, 'V');
    EXPECT_TRUE(Exists(files + "/b (3).txt"));
    EXPECT_TRUE(boxes.Boxes().empty());
    // Shift+Insert pastes too, Ctrl+Insert copies.
    Chord(VK_SHIFT, VK_INSERT);
    EXPECT_TRUE(Exists(files + "/b (4).txt"));
}

TEST_F(CommandsTest, NumericPadAndFunctionKeysAreNoClipboardCommands) {
    MakeAll({"a.txt", "dst/"});
    TestExplorerTree* tree = Tree(files);
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    Select(tree, a);
    tree->SetFocus();
    for (UINT vk : {97u, 99u, 120u})
        Chord(VK_CONTROL, vk);
    EXPECT_TRUE(Clipboard().empty()) << "numpad 1, numpad 3, F9 copy and cut nothing";
    EXPECT_FALSE(tree->MarkedCut(a));
    Chord(VK_CONTROL, 'C');
    Select(tree, Child(tree, tree->GetFirst(), "dst"));
    Chord(VK_CONTROL, 118); // F7
    EXPECT_FALSE(Exists(files + "/dst/a.txt"));
    Chord(VK_CONTROL, 'V');
    EXPECT_TRUE(Exists(files + "/dst/a.txt"));
    EXPECT_TRUE(Exists(files + "/a.txt"));
}

TEST_F(CommandsTest, CtrlXMarksAndPasteMovesButNotWhenReadOnly) {
    MakeAll({"a.txt", "dst/"});
    TestExplorerTree* tree = Tree(files);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt");
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() | toExpReadOnly);
    Select(tree, a);
    tree->SetFocus();
    Chord(VK_CONTROL, 'X');
    EXPECT_TRUE(Clipboard().empty());
    EXPECT_FALSE(tree->MarkedCut(a));
    Chord(VK_CONTROL, VK_INSERT); // copying is no change
    EXPECT_TRUE(Clipboard().empty()) << "Insert is consumed under toExpReadOnly";
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() &
                                          ~TExpMiscOptions(toExpReadOnly));
    Chord(VK_CONTROL, 'X');
    bool cut = false;
    EXPECT_EQ(Clipboard(&cut), (std::vector<std::string>{files + "/a.txt"}));
    EXPECT_TRUE(cut);
    EXPECT_TRUE(tree->MarkedCut(a));
    Select(tree, Child(tree, root, "dst"));
    Chord(VK_CONTROL, 'V');
    EXPECT_FALSE(Exists(files + "/a.txt"));
    EXPECT_TRUE(Exists(files + "/dst/a.txt"));
    EXPECT_TRUE(Clipboard().empty()) << "what was cut is pasted once";
}

TEST_F(CommandsTest, SelectionAndFocusKeys) {
    MakeAll({"a.txt", "b.txt", "c.txt"});
    TestExplorerTree* tree = Tree(files);
    tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt"), b = Child(tree, root, "b.txt"),
              c = Child(tree, root, "c.txt");
    Select(tree, b);
    tree->SetFocus();
    Chord(VK_CONTROL, VK_DOWN);
    EXPECT_EQ(tree->FocusedNode(), c);
    Chord(VK_CONTROL, VK_UP);
    Chord(VK_CONTROL, VK_UP);
    EXPECT_EQ(tree->FocusedNode(), a);
    Select(tree, b);
    InjectKey(VK_CONTROL, true);
    Chord(VK_SHIFT, 'A');
    InjectKey(VK_CONTROL, false);
    app->ProcessMessages();
    EXPECT_TRUE(tree->Selected(a));
    EXPECT_FALSE(tree->Selected(b));
    EXPECT_TRUE(tree->Selected(c));
    // The numeric pad's "/" collapses the focused folder.
    tree->SetFocusedNode(root);
    InjectKeyStroke(VK_DIVIDE);
    app->ProcessMessages();
    EXPECT_FALSE(tree->Expanded(root));
}

TEST_F(CommandsTest, F5RefreshesTheTreeAndF3RereadsTheSelectedFolder) {
    MakeAll({"a.txt", "dir/", "dir/x.txt"});
    TestExplorerTree* tree = Tree(files);
    PDataNode root = tree->GetFirst();
    PDataNode dir = Child(tree, root, "dir");
    tree->SetExpanded(dir, true);
    EXPECT_EQ(Names(tree, dir), (std::vector<std::string>{"x.txt"}));
    Make("dir/y.txt");
    Make("b.txt");
    Select(tree, dir);
    tree->SetFocus();
    InjectKeyStroke(VK_F3);
    app->ProcessMessages();
    dir = Child(tree, tree->GetFirst(), "dir");
    EXPECT_NE(Child(tree, dir, "y.txt"), nullptr) << "F3 lists the folder again";
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{"a.txt", "dir"}))
        << "F3 reads one folder";
    InjectKeyStroke(VK_F5);
    app->ProcessMessages();
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{"a.txt", "b.txt", "dir"}));
    EXPECT_TRUE(tree->Expanded(Child(tree, tree->GetFirst(), "dir")))
        << "the refresh keeps what was open";
}

TEST_F(CommandsTest, DeleteMovesTheSelectionToTheTrashUnlessReadOnly) {
    MakeAll({"a.txt", "b.txt"});
    TestExplorerTree* tree = Tree(files);
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    Select(tree, a);
    tree->SetFocus();
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() | toExpReadOnly);
    InjectKeyStroke(VK_DELETE);
    app->ProcessMessages();
    EXPECT_TRUE(Exists(files + "/a.txt"));
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() &
                                          ~TExpMiscOptions(toExpReadOnly));
    EXPECT_TRUE(boxes.Boxes().empty());
    // The key asks as the menu's verb does: No leaves the file, Yes trashes it.
    boxes.Answer(IDNO);
    InjectKeyStroke(VK_DELETE);
    app->ProcessMessages();
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, u"Are you sure you want to move \"a.txt\" to the Trash?");
    EXPECT_TRUE(Exists(files + "/a.txt"));
    boxes.Answer(IDYES);
    InjectKeyStroke(VK_DELETE);
    app->ProcessMessages();
    EXPECT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_FALSE(Exists(files + "/a.txt"));
    EXPECT_TRUE(Exists(Trashed("a.txt")));
}

TEST_F(CommandsTest, TheLinkVerbIsLeftOutWithRemoveContextMenuShortCut) {
    MakeAll({"a.txt"});
    TestExplorerTree* tree = Tree(files);
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() | toRemoveContextMenuShortCut);
    tracker.PickNothing();
    const POINT p = LabelPoint(tree, a);
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    ASSERT_EQ(tracker.Shown().size(), 1u);
    EXPECT_EQ(Captions(tracker.Shown()[0]),
              (std::vector<std::string>{"&Open", "-", "Cu&t", "&Copy", "-", "&Delete", "Rena&me", "-",
                                        "P&roperties"}));
}

// Highlights an item of the menu it is shown, as the display's menu does,
// then picks nothing.
class HighlightingTracker final : public IMenuTracker {
public:
    uint32_t TrackPopupMenu(const ShellMenu& menu, uint32_t, ShellPoint, uintptr_t owner) override {
        const HWND window = reinterpret_cast<HWND>(owner);
        SendMessage(window, WM_MENUSELECT, MAKEWPARAM(menu.items[0].id, MF_HILITE | MF_MOUSESELECT), 1);
        SendMessage(window, WM_MENUSELECT, MAKEWPARAM(3, MF_HILITE), 1);
        SendMessage(window, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0); // closing
        return 0;
    }
};

TEST_F(CommandsTest, HighlightsInTheShellMenuAreToldWhileItShows) {
    MakeAll({"a.txt"});
    TestExplorerTree* tree = Tree(files);
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    std::vector<std::string> log;
    tree->OnContextMenuItemChange = [&](TCustomExplorerTree*, TNamespace* ns, int id, HMENU sub, bool mouse) {
        log.push_back(WideToUtf8(ns->NameInFolder()) + " " + std::to_string(id) + (sub ? " sub" : "") +
                      (mouse ? " mouse" : " keys"));
    };
    HighlightingTracker highlighting;
    SetMenuTracker(&highlighting);
    const POINT p = LabelPoint(tree, a);
    ClickAt(tree, p.x, p.y, MouseButton::Right);
    EXPECT_EQ(log, (std::vector<std::string>{"a.txt 1 mouse", "a.txt 3 keys"}));
    // Outside the shell menu, nothing.
    SendMessage(tree->Handle(), WM_MENUSELECT, MAKEWPARAM(1, MF_HILITE), 1);
    EXPECT_EQ(log.size(), 2u);
    SetMenuTracker(&tracker);
}

// ---- Data object and drag and drop --------------------------------------------------------

TEST_F(CommandsTest, TheDataObjectOffersTheTreesAndTheShellsFormats) {
    Make("src/");
    Make("src/doc.txt");
    TestExplorerTree* tree = Tree(files + "/src");
    Select(tree, Child(tree, tree->GetFirst(), "doc.txt"));
    std::shared_ptr<IDataObject> data = tree->DoCreateDataObject();
    ASSERT_TRUE(data);
    std::vector<FORMATETC> formats;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    std::vector<UINT> ids;
    for (const FORMATETC& f : formats)
        ids.push_back(f.cfFormat);
    const UINT idList = RegisterClipboardFormat(CFSTR_SHELLIDLIST);
    EXPECT_EQ(ids, (std::vector<UINT>{CF_DATATREE(), CF_DATATREEREFERENCE(), idList, CF_HDROP}));
    FORMATETC hdrop{};
    hdrop.cfFormat = CF_HDROP;
    hdrop.tymed = TYMED_HGLOBAL;
    EXPECT_EQ(data->QueryGetData(hdrop), S_OK);
    STGMEDIUM medium;
    ASSERT_EQ(data->GetData(hdrop, &medium), S_OK)
        << "the shell's formats come from the shell's object";
    FORMATETC text{};
    text.cfFormat = 1;
    text.tymed = TYMED_HGLOBAL;
    EXPECT_NE(data->QueryGetData(text), S_OK);
}

TEST_F(CommandsTest, DraggingAFileFromOneExplorerTreeToAnotherCopiesOrMovesIt) {
    MakeAll({"src/", "src/doc.txt", "src/two.txt", "dst/", "dst/in/", "dst/note.txt"});
    TestExplorerTree* from = Tree(files + "/src", 20, 260);
    TestExplorerTree* to = Tree(files + "/dst", 400, 260);
    for (TestExplorerTree* t : {from, to}) {
        t->TreeOptions().SetExpShellOptions(t->TreeOptions().ExpShellOptions() | toDragDrop);
        t->TreeOptions().SetMiscOptions(t->TreeOptions().MiscOptions() | toAcceptOLEDrop);
    }
    PDataNode doc = Child(from, from->GetFirst(), "doc.txt");
    EXPECT_FALSE(from->DoDragAllowed(nullptr, NoColumn));
    EXPECT_TRUE(from->DoDragAllowed(doc, NoColumn));
    EXPECT_EQ(from->DragEffects(), DWORD(DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK));
    Select(from, doc);
    std::shared_ptr<IDataObject> data = from->DoCreateDataObject();
    PDataNode in = Child(to, to->GetFirst(), "in");
    PDataNode note = Child(to, to->GetFirst(), "note.txt");

    // Over a file nothing can be dropped; over a folder a move within the
    // file system, with Ctrl a copy.
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    ASSERT_EQ(to->DragEnter(data.get(), 0, LabelPoint(to, note), effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    to->DragOver(0, LabelPoint(to, in), effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    to->DragOver(MK_CONTROL, LabelPoint(to, in), effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    EXPECT_EQ(to->DropTargetNode(), in);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    to->DragDrop(data.get(), MK_CONTROL, LabelPoint(to, in), effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    EXPECT_TRUE(Exists(files + "/dst/in/doc.txt"));
    EXPECT_TRUE(Exists(files + "/src/doc.txt"));
    EXPECT_EQ(to->DropTargetNode(), nullptr);

    // The same again: the name is taken, nothing is replaced, the shell says why.
    Write(files + "/dst/in/doc.txt", "mine");
    effect = DROPEFFECT_COPY;
    to->DragEnter(data.get(), 0, LabelPoint(to, in), effect);
    to->DragDrop(data.get(), 0, LabelPoint(to, in), effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(Read(files + "/dst/in/doc.txt"), "mine");
    ASSERT_EQ(boxes.Boxes().size(), 1u);

    // With Shift a move.
    PDataNode two = Child(from, from->GetFirst(), "two.txt");
    Select(from, two);
    data = from->DoCreateDataObject();
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    to->DragEnter(data.get(), MK_SHIFT, LabelPoint(to, in), effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE));
    to->DragDrop(data.get(), MK_SHIFT, LabelPoint(to, in), effect);
    EXPECT_TRUE(Exists(files + "/dst/in/two.txt"));
    EXPECT_FALSE(Exists(files + "/src/two.txt"));

    // A read-only tree takes nothing.
    to->TreeOptions().SetExpMiscOptions(to->TreeOptions().ExpMiscOptions() | toExpReadOnly);
    Select(from, doc);
    data = from->DoCreateDataObject();
    effect = DROPEFFECT_COPY;
    to->DragEnter(data.get(), 0, LabelPoint(to, to->GetFirst()), effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    to->DragLeave();
    EXPECT_FALSE(to->DoDragAllowed(in, NoColumn));
}

// Ctrl+Shift over a folder links: the links are made in that folder, not
// beside the items, and a taken name is never replaced.
TEST_F(CommandsTest, ALinkDropOntoATreeFolderMakesTheLinksInIt) {
    MakeAll({"src/", "src/doc.txt", "src/sub/", "dst/", "dst/in/", "dst/in/Link to doc.txt"});
    TestExplorerTree* from = Tree(files + "/src", 20, 260);
    TestExplorerTree* to = Tree(files + "/dst", 400, 260);
    for (TestExplorerTree* t : {from, to}) {
        t->TreeOptions().SetExpShellOptions(t->TreeOptions().ExpShellOptions() | toDragDrop);
        t->TreeOptions().SetMiscOptions(t->TreeOptions().MiscOptions() | toAcceptOLEDrop);
    }
    from->TreeOptions().SetSelectionOptions(from->TreeOptions().SelectionOptions() | toMultiSelect);
    Select(from, Child(from, from->GetFirst(), "doc.txt"));
    from->SetSelected(Child(from, from->GetFirst(), "sub"), true);
    std::shared_ptr<IDataObject> data = from->DoCreateDataObject();
    PDataNode in = Child(to, to->GetFirst(), "in");

    DWORD effect = from->DragEffects();
    ASSERT_EQ(to->DragEnter(data.get(), MK_CONTROL | MK_SHIFT, LabelPoint(to, in), effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_LINK));
    effect = from->DragEffects();
    to->DragDrop(data.get(), MK_CONTROL | MK_SHIFT, LabelPoint(to, in), effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_LINK));

    char link[256];
    const ssize_t n = readlink((files + "/dst/in/Link to doc.txt (2)").c_str(), link, sizeof link);
    ASSERT_GT(n, 0) << "no link made in the folder";
    EXPECT_EQ(std::string(link, size_t(n)), files + "/src/doc.txt");
    EXPECT_TRUE(std::filesystem::is_symlink(files + "/dst/in/Link to sub"));
    EXPECT_FALSE(std::filesystem::is_symlink(files + "/dst/in/Link to doc.txt"));
    EXPECT_FALSE(Exists(files + "/src/Link to doc.txt")) << "made beside the item";
    EXPECT_TRUE(Exists(files + "/src/doc.txt"));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CommandsTest, DragsMayBeRefusedAndNeedTheirOptions) {
    MakeAll({"a.txt"});
    TestExplorerTree* tree = Tree(files);
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    EXPECT_FALSE(tree->DoDragAllowed(a, NoColumn)) << "toDragDrop is off by default";
    tree->TreeOptions().SetExpShellOptions(tree->TreeOptions().ExpShellOptions() | toDragDrop);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() &
                                       ~TMiscOptions(toAcceptOLEDrop));
    EXPECT_FALSE(tree->DoDragAllowed(a, NoColumn)) << "and toAcceptOLEDrop is needed too";
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toAcceptOLEDrop);
    EXPECT_TRUE(tree->DoDragAllowed(a, NoColumn));
    tree->OnDragAllowed = [](TBaseDataTree*, PDataNode, TColumnIndex, bool& allowed) {
        allowed = false;
    };
    EXPECT_FALSE(tree->DoDragAllowed(a, NoColumn));
}

// ---- Colours and icons --------------------------------------------------------------------

TEST_F(CommandsTest, NamesTakeTheFolderAndFileColours) {
    MakeAll({"a.txt", "dir/"});
    TestExplorerTree* tree = Tree(files);
    tree->SetColumnDetails(cdExpColumns);
    tree->ExpColors().FolderTextColor = 0x0000C0;
    tree->ExpColors().FileTextColor = 0x00A000;
    EXPECT_EQ(tree->ExpColors().CompressedTextColor, TColor(0xFF0000)) << "clBlue";
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt"), dir = Child(tree, root, "dir");
    TCanvas canvas;
    auto colourOf = [&](PDataNode node, TColumnIndex column) {
        canvas.Font().SetColor(0x123456);
        tree->DoPaintText(node, canvas, column, ttNormal);
        return canvas.Font().Color();
    };
    EXPECT_EQ(colourOf(dir, 0), TColor(0x0000C0));
    EXPECT_EQ(colourOf(a, 0), TColor(0x00A000));
    EXPECT_EQ(colourOf(a, 1), TColor(0x123456)) << "other columns only for compressed items";
    Select(tree, a);
    EXPECT_EQ(colourOf(a, 0), TColor(0x123456)) << "a selected node keeps the selection's colour";
    tree->TreeOptions().SetExpFolderOptions(tree->TreeOptions().ExpFolderOptions() |
                                            toNoUseExpColorsProp);
    EXPECT_EQ(colourOf(dir, 0), TColor(0x123456));
}

TEST_F(CommandsTest, LinksCarryTheirOverlayAndOnlyTheMainColumnHasIcons) {
    MakeAll({"a.txt"});
    ASSERT_EQ(symlink((files + "/a.txt").c_str(), (files + "/link.txt").c_str()), 0);
    TestExplorerTree* tree = Tree(files);
    tree->SetColumnDetails(cdExpColumns);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt"), link = Child(tree, root, "link.txt");
    auto image = [&](PDataNode node, TDTImageKind kind, TColumnIndex column) {
        bool ghosted = false;
        int index = -7;
        tree->DoGetImageIndex(node, kind, column, ghosted, index);
        return index;
    };
    EXPECT_EQ(image(link, ikOverlay, 0), 1);
    EXPECT_EQ(image(a, ikOverlay, 0), -1);
    EXPECT_GE(image(a, ikNormal, 0), 0);
    EXPECT_EQ(image(a, ikNormal, 1), -7) << "no icon outside the main column";
}

TEST_F(CommandsTest, ThreadedIconsShowAPlaceholderUntilTheReplyArrives) {
    MakeAll({"a.txt", "dir/"});
    TestExplorerTree* tree = Tree(files);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt"), dir = Child(tree, root, "dir");
    tree->TreeOptions().SetExpImageOptions(tree->TreeOptions().ExpImageOptions() |
                                           toThreadedImages);
    EXPECT_TRUE(ImageThreadManager().Registered(tree));
    TNamespace* ns = tree->NodeNamespace(a);
    auto image = [&](PDataNode node) {
        bool ghosted = false;
        int index = -7;
        tree->DoGetImageIndex(node, ikNormal, NoColumn, ghosted, index);
        return index;
    };
    EXPECT_EQ(image(a), DefaultSystemImageIndex(2)) << "a file's placeholder";
    EXPECT_EQ(image(dir), DefaultSystemImageIndex(0)) << "a folder's placeholder";
    EXPECT_TRUE(ns->ThreadIconLoading()) << "asked once";
    ASSERT_TRUE(test::WaitUntil([&] {
        app->ProcessMessages();
        return ns->ThreadedIconLoaded();
    })) << "no reply from the icon thread";
    EXPECT_FALSE(ns->ThreadIconLoading());
    EXPECT_EQ(image(a), ns->GetIconIndex(false, 0, true)) << "the icon the thread found";

    // Nodes freed with requests outstanding: their replies go nowhere.
    for (int i = 0; i < 20; ++i)
        Make("f" + std::to_string(i) + ".txt");
    tree->RebuildRootNamespace();
    root = tree->GetFirst();
    for (PDataNode n = tree->GetFirstChild(root); n; n = tree->GetNextSibling(n))
        image(n);
    tree->SetActive(false);
    for (int i = 0; i < 20; ++i)
        app->ProcessMessages();
    tree->TreeOptions().SetExpImageOptions(tree->TreeOptions().ExpImageOptions() &
                                           ~TExpImageOptions(toThreadedImages));
    EXPECT_FALSE(ImageThreadManager().Registered(tree));
    IconThreadFinalize();
}

class RecordingSheets final : public IPropertySheetService {
public:
    bool ShowProperties(const std::vector<std::string>& pidls) override {
        shown.push_back(pidls.size());
        return true;
    }
    std::vector<size_t> shown;
};

TEST_F(CommandsTest, AltEnterShowsThePropertiesOfTheSelection) {
    MakeAll({"a.txt"});
    TestExplorerTree* tree = Tree(files);
    RecordingSheets sheets;
    SetPropertySheetService(&sheets);
    Select(tree, Child(tree, tree->GetFirst(), "a.txt"));
    tree->SetFocus();
    SendMessage(tree->Handle(), WM_SYSKEYDOWN, VK_RETURN, 0x20000000);
    SendMessage(tree->Handle(), WM_SYSCHAR, 13, 0x20000000);
    SendMessage(tree->Handle(), WM_SYSKEYUP, VK_RETURN, 0);
    EXPECT_EQ(sheets.shown, (std::vector<size_t>{1}));
    // Enter without Alt shows nothing.
    SendMessage(tree->Handle(), WM_SYSCHAR, 13, 0);
    EXPECT_EQ(sheets.shown.size(), 1u);
    SetPropertySheetService(nullptr);
}

TEST_F(CommandsTest, ADoubleClickOpensAFileUnlessTheApplicationRefuses) {
    MakeAll({"a.txt", "dir/"});
    const std::string marker = root + "/opened";
    SetShellOpener({"/bin/sh", "-c", "printf %s \"$0\" > '" + marker + "'"});
    TestExplorerTree* tree = Tree(files);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt");
    std::vector<std::string> log;
    tree->OnTreeDblClick = [&](TCustomExplorerTree* t, PDataNode node, TMouseButton button, POINT) {
        log.push_back(NameOf(t, node) + (button == mbLeft ? " left" : " right"));
    };
    bool allow = false;
    tree->OnShellExecute = [&](TCustomExplorerTree*, TNamespace* ns, WideString& dir,
                               WideString& args, bool& ok) {
        log.push_back("execute " + WideToUtf8(ns->NameInFolder()) +
                      (dir.empty() && args.empty() ? "" : " ?"));
        ok = allow;
    };
    const POINT p = tree->ClientToScreen(LabelPoint(tree, a));
    InjectDoubleClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"execute a.txt", "a.txt left"}));
    EXPECT_FALSE(Exists(marker)) << "refused";
    allow = true;
    clock.Advance(2000);
    InjectDoubleClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    ASSERT_TRUE(test::WaitUntil([&] { return Read(marker) == files + "/a.txt"; }))
        << "the opener never ran";
    InjectDoubleClick(MouseButton::Right, p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(log.back(), "a.txt right");
    SetShellOpener({});
}

} // namespace

// ---- What a folder that cannot be read and odd names look like -----------------------------

namespace {

// As a folder without the read right looks to any user but root.
int RefuseSecret(const std::string& path) {
    return path.size() >= 7 && path.compare(path.size() - 7, 7, "/secret") == 0 ? EACCES : 0;
}

} // namespace

TEST_F(CommandsTest, AFolderThatCannotBeReadIsGhostedAndGrey) {
    MakeAll({"secret/", "secret/in.txt", "open/", "a.txt"});
    SetFolderReadRefusal(RefuseSecret);
    const ScopeGuard allow([] { SetFolderReadRefusal(nullptr); });
    EXPECT_EQ(FolderProblem(files + "/secret"), "Permission denied");
    EXPECT_EQ(FolderProblem(files + "/open"), "");
    EXPECT_EQ(FolderProblem(files + "/a.txt"), "") << "no folder";
    TestExplorerTree* tree = Tree(files);
    PDataNode root = tree->GetFirst();
    PDataNode secret = Child(tree, root, "secret"), open = Child(tree, root, "open"), a = Child(tree, root, "a.txt");
    auto ghosted = [&](PDataNode node) {
        bool ghost = false;
        int index = -7;
        tree->DoGetImageIndex(node, ikNormal, NoColumn, ghost, index);
        return ghost;
    };
    EXPECT_TRUE(ghosted(secret));
    EXPECT_FALSE(ghosted(open));
    EXPECT_FALSE(ghosted(a));
    TCanvas canvas;
    auto colourOf = [&](PDataNode node) {
        canvas.Font().SetColor(0x123456);
        tree->DoPaintText(node, canvas, NoColumn, ttNormal);
        return canvas.Font().Color();
    };
    EXPECT_EQ(colourOf(secret), TColor(clGrayText));
    EXPECT_NE(colourOf(open), TColor(clGrayText));
    EXPECT_NE(colourOf(a), TColor(clGrayText));
}

TEST_F(CommandsTest, NamesShowLineBreaksAndForeignBytesAsEscapes) {
    MakeAll({"two\nlines", "caf\xE9", "back\\slash", "plain"});
    TestExplorerTree* tree = Tree(files);
    tree->SetColumnDetails(cdExpColumns);
    PDataNode root = tree->GetFirst();
    auto shown = [&](const char* name, TColumnIndex column) {
        return WideToUtf8(tree->Text(Child(tree, root, name), column));
    };
    EXPECT_EQ(shown("two\nlines", NoColumn), "two\\nlines");
    EXPECT_EQ(shown("two\nlines", 0), "two\\nlines");
    EXPECT_EQ(shown("caf\xE9", 0), "caf\\xE9");
    EXPECT_EQ(shown("back\\slash", 0), "back\\\\slash");
    EXPECT_EQ(shown("plain", 0), "plain");
    // The item itself keeps its bytes.
    EXPECT_EQ(PathOf(tree, Child(tree, root, "caf\xE9")), files + "/caf\xE9");
}

// The editor starts from the name as shown; what is typed is read back to
// bytes, so an edit left as it was renames nothing.
TEST_F(CommandsTest, RenamingInPlaceReadsTheEscapesBackAndLeavesAnUnchangedNameAlone) {
    MakeAll({"two\nlines", "caf\xE9"});
    TestExplorerTree* tree = Tree(files);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
    PDataNode root = tree->GetFirst();
    auto type = [&](PDataNode node, const std::string& text) {
        ASSERT_TRUE(tree->EditNode(node, NoColumn));
        app->ProcessMessages();
        for (const char c : text) {
            const UINT vk = c == '\\' ? 0xDC : UINT(std::toupper(static_cast<unsigned char>(c)));
            InjectKeyStroke(vk, char32_t(c));
            app->ProcessMessages();
        }
        InjectKeyStroke(VK_RETURN);
        app->ProcessMessages();
    };
    // Left as it was: both names keep their bytes.
    type(Child(tree, root, "two\nlines"), "");
    type(Child(tree, root, "caf\xE9"), "");
    EXPECT_TRUE(Exists(files + "/two\nlines"));
    EXPECT_TRUE(Exists(files + "/caf\xE9"));
    EXPECT_FALSE(Exists(files + "/two"));
    EXPECT_TRUE(boxes.Boxes().empty());

    // Typed with escapes: the new name has the bytes they stand for.
    PDataNode cafe = Child(tree, root, "caf\xE9");
    type(cafe, "new\\xE9\\\\x");
    EXPECT_TRUE(Exists(files + "/new\xE9\\x"));
    EXPECT_FALSE(Exists(files + "/caf\xE9"));
    EXPECT_EQ(NameOf(tree, cafe), "new\xE9\\x");

    // A backslash that starts no escape is told, and the edit starts again.
    PDataNode lines = Child(tree, root, "two\nlines");
    type(lines, "a\\q");
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, SBadNameEscape);
    EXPECT_TRUE(tree->IsEditing());
    EXPECT_TRUE(Exists(files + "/two\nlines"));
    tree->CancelEditNode();
    boxes.Clear();
}
