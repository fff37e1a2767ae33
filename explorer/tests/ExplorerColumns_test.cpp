// The explorer tree's columns: the two column sets, what each cell shows,
// sorting by every column both ways through header clicks, the width
// toggles, the column menu and the stored column layout.
#include "explorer_columns_fixture.h"
#include "explorer/ColumnSettingsDialog.h"

using namespace ax;
using namespace ax::testing;

namespace {

std::vector<std::string> Titles(TCustomExplorerTree* tree) {
    std::vector<std::string> out;
    TDataTreeColumns& columns = tree->Header().Columns();
    for (int i = 0; i < columns.Count(); ++i)
        out.push_back(WideToUtf8(columns[i]->Text()) + (columns[i]->Visible() ? "" : "(hidden)"));
    return out;
}

// Header x of the middle of the column at index.
int HeaderX(TCustomExplorerTree* tree, TColumnIndex column) {
    int left = 0, right = 0;
    tree->Header().Columns().GetColumnBounds(column, left, right);
    return (left + right) / 2;
}

TEST_F(ColumnsTest, TheTreesOwnColumnsShowEachDetailOfAnItem) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files);
    EXPECT_FALSE(tree->Header().Options() & hoVisible);
    tree->SetColumnDetails(cdExpColumns);
    EXPECT_TRUE(tree->Header().Options() & hoVisible);
    EXPECT_EQ(Titles(tree),
              (std::vector<std::string>{"Name", "Size", "Type", "Modified", "Attributes",
                                        "Accessed(hidden)", "Created(hidden)", "DOS Name(hidden)",
                                        "Path(hidden)"}));
    TDataTreeColumns& columns = tree->Header().Columns();
    const int widths[] = {180, 96, 120, 120, 60, 180, 120, 80, 150};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(columns[i]->Width(), widths[i]) << i;
    EXPECT_EQ(columns[1]->Alignment(), taRightJustify) << "toRightAlignSizeColumn is on by default";

    PDataNode root = tree->GetFirst();
    PDataNode b = Child(tree, root, "b.txt");
    PDataNode a = Child(tree, root, "a.log");
    PDataNode dir = Child(tree, root, "zdir");
    EXPECT_EQ(Text(tree, b, 0), "b.txt");
    EXPECT_EQ(Text(tree, b, 1), "4 KB");
    EXPECT_EQ(Text(tree, b, 2), "TXT File");
    EXPECT_EQ(Text(tree, b, 3), "2020-01-03 05:00:07");
    EXPECT_EQ(Text(tree, b, 4), "A");
    EXPECT_EQ(Text(tree, a, 4), "AR");
    EXPECT_EQ(Text(tree, b, 5), "2020-02-01 05:00:07");
    EXPECT_EQ(Text(tree, b, 7), "B.TXT");
    EXPECT_EQ(Text(tree, b, 8), files + "/b.txt");
    EXPECT_EQ(Text(tree, dir, 1), "");
    EXPECT_EQ(Text(tree, dir, 2), "File Folder");
    EXPECT_EQ(Text(tree, b, -1), "b.txt");
    // The size as each format gives it.
    tree->SetFileSizeFormat(fsfActual);
    EXPECT_EQ(Text(tree, b, 1), "5.000");
    tree->SetFileSizeFormat(fsfExplorer);
    EXPECT_EQ(Text(tree, a, 1), "1 KB") << "less than a kilobyte shows as 1 KB";

    // The application may change any text, and sees nodes without items.
    std::vector<std::string> asked;
    tree->OnGetExpText = [&](TCustomExplorerTree*, TColumnIndex column, PDataNode, TNamespace* ns,
                             WideString& text) {
        asked.push_back(std::to_string(column) + (ns ? "" : " no item"));
        if (column == 2) text = u"kind";
    };
    EXPECT_EQ(Text(tree, b, 2), "kind");
    EXPECT_EQ(Text(tree, b, 3), "2020-01-03 05:00:07");
    EXPECT_EQ(asked, (std::vector<std::string>{"2", "3"}));

    // A column's kind sets its title and width.
    auto* custom = tree->ExpColumn(6);
    ASSERT_NE(custom, nullptr);
    custom->SetColumnDetails(cdDOSName);
    EXPECT_EQ(WideToUtf8(custom->Text()), "DOS Name");
    EXPECT_EQ(custom->Width(), 80);
    EXPECT_EQ(Text(tree, b, 6), "B.TXT");

    tree->SetColumnDetails(cdUser);
    EXPECT_EQ(columns.Count(), 0);
    EXPECT_FALSE(tree->Header().Options() & hoVisible);
}

TEST_F(ColumnsTest, TheShellsColumnsKeepTheirOwnDetailsWhateverComesBeforeThem) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files);
    int firstAvailable = -1;
    tree->OnAddCustomShellColumn = [&](TCustomExplorerTree*, int first, TDTHeader& header) {
        firstAvailable = first;
        header.Columns().Add()->SetText(u"Mine");
    };
    tree->SetColumnDetails(cdShellColumns);
    // A file folder's columns, as the namespace layer describes them.
    const std::vector<std::string> titles = {"Name",       "Size",    "Type",     "Modified",
                                             "Attributes", "Created", "Accessed", "Permissions",
                                             "Owner",      "Group"};
    TDataTreeColumns& columns = tree->Header().Columns();
    ASSERT_EQ(columns.Count(), 11);
    EXPECT_EQ(firstAvailable, 10);
    EXPECT_EQ(tree->FirstCustomColumnIndex(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(WideToUtf8(columns[i]->Text()), titles[size_t(i)]);
        EXPECT_EQ(tree->ExpColumn(i)->ColumnDetails(), cdCustom);
        EXPECT_EQ(tree->ExpColumn(i)->ShellColumn(), i);
    }
    const int widths[] = {180, 96, 120, 120, 60, 180, 120, 120, 120, 120};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(columns[i]->Width(), widths[i]) << i;
    EXPECT_EQ(columns[1]->Alignment(), taRightJustify);
    EXPECT_FALSE(tree->Header().CanWriteColumns())
        << "the shell's columns are never stored with the form";

    PDataNode b = Child(tree, tree->GetFirst(), "b.txt");
    EXPECT_EQ(Text(tree, b, 0), "b.txt");
    EXPECT_EQ(Text(tree, b, 1), "4 KB");
    EXPECT_EQ(Text(tree, b, 2), "TXT File");
    EXPECT_EQ(Text(tree, b, 3), "2020-01-03 05:00:07");
    EXPECT_EQ(Text(tree, b, 7), "-rw-r--r--");
    EXPECT_EQ(Text(tree, b, 10), "") << "the application's column has no shell text";

    // With a column gone, the ones after it still show their own details.
    columns.Delete(1);
    ASSERT_EQ(WideToUtf8(columns[1]->Text()), "Type");
    EXPECT_EQ(Text(tree, b, 1), "TXT File");
    EXPECT_EQ(Text(tree, b, 2), "2020-01-03 05:00:07");
    EXPECT_EQ(Text(tree, b, 6), "-rw-r--r--");
}

// Sorting by a header click on each column, then by a second click on it.
TEST_F(ColumnsTest, EveryColumnSortsBothWaysByHeaderClicks) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files, 20, 600);
    tree->SetColumnDetails(cdExpColumns);
    TDataTreeColumns& columns = tree->Header().Columns();
    for (int i = 0; i < columns.Count(); ++i) {
        columns[i]->SetOptions(columns[i]->Options() | coVisible);
        columns[i]->SetWidth(64);
    }
    PDataNode root = tree->GetFirst();
    const std::vector<std::string> byName = {"a.log", "b.txt", "c.dat", "zdir"};
    struct Case {
        TColumnIndex column;
        std::vector<std::string> ascending;
    };
    // Folders come first in every order but the name's.
    const Case cases[] = {
        {1, {"zdir", "a.log", "c.dat", "b.txt"}}, // size
        {2, {"zdir", "c.dat", "a.log", "b.txt"}}, // type: DAT, LOG, TXT File
        {3, {"zdir", "c.dat", "b.txt", "a.log"}}, // modified
        {4, {"zdir", "b.txt", "c.dat", "a.log"}}, // attributes: A, A (by name), AR
        {5, {"zdir", "b.txt", "c.dat", "a.log"}}, // accessed
        {7, {"zdir", "a.log", "b.txt", "c.dat"}}, // DOS name
        {8, {"zdir", "a.log", "b.txt", "c.dat"}}, // path
        {0, byName},
    };
    for (const Case& c : cases) {
        // A new sort column keeps the direction: make it ascending first.
        tree->Header().SetSortDirection(sdAscending);
        ClickAt(tree, HeaderX(tree, c.column), -8);
        EXPECT_EQ(tree->Header().SortColumn(), c.column);
        EXPECT_EQ(tree->Header().SortDirection(), sdAscending);
        EXPECT_EQ(Names(tree, root), c.ascending) << "column " << c.column;
        ClickAt(tree, HeaderX(tree, c.column), -8);
        EXPECT_EQ(tree->Header().SortDirection(), sdDescending);
        std::vector<std::string> descending(c.ascending.rbegin(), c.ascending.rend());
        EXPECT_EQ(Names(tree, root), descending) << "column " << c.column;
    }
    // A third click returns to the first direction.
    ClickAt(tree, HeaderX(tree, 0), -8);
    EXPECT_EQ(tree->Header().SortDirection(), sdAscending);
    EXPECT_EQ(Names(tree, root), byName);

    // Created: the folder first (the times themselves are the file system's).
    ClickAt(tree, HeaderX(tree, 6), -8);
    EXPECT_EQ(Names(tree, root).front(), "zdir");

    // By extension instead of type name, sorting again at once.
    ClickAt(tree, HeaderX(tree, 2), -8);
    ASSERT_EQ(tree->Header().SortColumn(), 2);
    tree->SetFileSort(fsFileExtension);
    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"zdir", "c.dat", "a.log", "b.txt"}));

    // With toUserSort the application orders, the shell not at all.
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() | toUserSort);
    int asked = 0;
    tree->OnCompareNodes = [&](TBaseDataTree* t, PDataNode n1, PDataNode n2, TColumnIndex,
                               int& result) {
        ++asked;
        result = -NameOf(static_cast<TCustomExplorerTree*>(t), n1)
                      .compare(NameOf(static_cast<TCustomExplorerTree*>(t), n2));
    };
    tree->Header().SetSortDirection(sdDescending);
    ClickAt(tree, HeaderX(tree, 1), -8);
    EXPECT_GT(asked, 0);
    EXPECT_EQ(Names(tree, root), byName) << "reversed names, descending";
}

TEST_F(ColumnsTest, CustomColumnsAskTheApplicationToCompare) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files);
    tree->OnAddCustomShellColumn = [](TCustomExplorerTree*, int, TDTHeader& header) {
        static_cast<TExpColumn*>(header.Columns().Add())->SetColumnDetails(cdCustom);
    };
    tree->SetColumnDetails(cdExpColumns);
    ASSERT_EQ(tree->Header().Columns().Count(), 10);
    int asked = 0;
    tree->OnCustomColumnCompare = [&](TCustomExplorerTree* t, TColumnIndex column, PDataNode n1,
                                      PDataNode n2, int& result) {
        EXPECT_EQ(column, 9);
        ++asked;
        // By the name's last letter.
        result = int(NameOf(t, n1).back()) - int(NameOf(t, n2).back());
    };
    tree->SortTree(9, sdAscending, false);
    EXPECT_GT(asked, 0);
    // g, r, t, t: the application's order alone, folders not first.
    EXPECT_EQ(Names(tree, tree->GetFirst()),
              (std::vector<std::string>{"a.log", "zdir", "b.txt", "c.dat"}));
    bool allowed = true;
    tree->DoCanEdit(tree->GetFirst()->FirstChild, 9, allowed);
    EXPECT_TRUE(allowed) << "custom columns are editable";
    tree->DoCanEdit(tree->GetFirst()->FirstChild, 1, allowed);
    EXPECT_FALSE(allowed) << "sizes are not";
}

TEST_F(ColumnsTest, CtrlAndShiftClicksFitAndCollapseAColumn) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files);
    tree->SetColumnDetails(cdExpColumns);
    TDataTreeColumn* name = tree->Header().Columns()[0];
    ASSERT_EQ(name->Width(), 180);
    const int fitted = tree->GetMaxColumnWidth(0);
    ASSERT_NE(fitted, 180);
    InjectKey(VK_CONTROL, true);
    ClickAt(tree, 90, -8);
    EXPECT_EQ(name->Width(), fitted);
    EXPECT_EQ(tree->Header().SortColumn(), NoColumn) << "a toggle does not sort";
    ClickAt(tree, HeaderX(tree, 0), -8);
    InjectKey(VK_CONTROL, false);
    EXPECT_EQ(name->Width(), 180) << "the second Ctrl click gives the width back";
    // Ctrl, then Shift twice: collapsed, then back to the width saved by the
    // Shift click (the fitted one).
    InjectKey(VK_CONTROL, true);
    ClickAt(tree, 90, -8);
    InjectKey(VK_CONTROL, false);
    ASSERT_EQ(name->Width(), fitted);
    InjectKey(VK_SHIFT, true);
    ClickAt(tree, HeaderX(tree, 0), -8);
    InjectKey(VK_SHIFT, false);
    EXPECT_EQ(name->Width(), 0);
    // A column 0 pixels wide takes no click: the toggle itself.
    tree->HeaderColumnManager().ToggleWidthMinimize(0);
    EXPECT_EQ(name->Width(), fitted);
}

TEST_F(ColumnsTest, HeaderTogglesWorkInAnEmptyFolderUnderAHiddenRoot) {
    Make("empty/");
    TestExplorerTree* tree = Tree(files + "/empty");
    tree->TreeOptions().SetExpFolderOptions(tree->TreeOptions().ExpFolderOptions() |
                                            toHideRootFolder);
    tree->SetColumnDetails(cdExpColumns);
    ASSERT_EQ(tree->GetFirst(), nullptr) << "no node at all";
    TDataTreeColumn* size = tree->Header().Columns()[1];
    ASSERT_EQ(size->Width(), 96);
    InjectKey(VK_SHIFT, true);
    ClickAt(tree, HeaderX(tree, 1), -8);
    InjectKey(VK_SHIFT, false);
    EXPECT_EQ(size->Width(), 0);
    tree->HeaderColumnManager().ToggleWidthMinimize(1);
    EXPECT_EQ(size->Width(), 96);
    // The manager outlives any rebuild of the nodes.
    tree->RebuildRootNamespace();
    tree->HeaderColumnManager().ToggleWidthAutoFit(1);
    tree->HeaderColumnManager().ToggleWidthAutoFit(1);
    EXPECT_EQ(size->Width(), 96);
    tree->HeaderColumnManager().ToggleWidthAutoFit(42); // no such column: nothing
}

TEST_F(ColumnsTest, TheColumnMenuListsAndSwitchesColumns) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files);
    tree->SetColumnDetails(cdExpColumns);
    TDataTreeColumns& columns = tree->Header().Columns();
    columns[2]->SetPosition(0); // Type first
    TColumnMenu& menu = tree->ColumnMenu();
    menu.RebuildItems();
    TMenuItem* items = menu.Items();
    ASSERT_EQ(items->Count(), 9);
    EXPECT_EQ(items->Items(0)->Caption(), "Type") << "in position order";
    EXPECT_EQ(items->Items(1)->Caption(), "Name");
    EXPECT_TRUE(items->Items(1)->Checked());
    EXPECT_FALSE(items->Items(5)->Checked()) << items->Items(5)->Caption();
    items->Items(0)->Click();
    EXPECT_FALSE(columns[2]->Visible());
    menu.RebuildItems();
    menu.Items()->Items(0)->Click();
    EXPECT_TRUE(columns[2]->Visible());

    // A right click on the header shows it with toShellColumnMenu.
    int shown = 0;
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        if (&m == &menu) ++shown;
        m.CloseMenu();
    };
    ClickAt(tree, 30, -8, MouseButton::Right);
    EXPECT_EQ(shown, 0);
    tree->TreeOptions().SetExpShellOptions(tree->TreeOptions().ExpShellOptions() |
                                           toShellColumnMenu);
    ClickAt(tree, 30, -8, MouseButton::Right);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(tree->Header().SortColumn(), NoColumn) << "a right click does not sort";
}

TEST_F(ColumnsTest, TheShellsColumnMenuStopsAtItsCountWithMore) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files);
    tree->SetColumnMenuItemCount(8);
    tree->SetColumnDetails(cdShellColumns);
    TColumnMenu& menu = tree->ColumnMenu();
    menu.RebuildItems();
    TMenuItem* items = menu.Items();
    ASSERT_EQ(items->Count(), 10) << "eight columns, a separator and More ...";
    EXPECT_EQ(items->Items(7)->Caption(), "Permissions");
    EXPECT_EQ(items->Items(8)->Caption(), "-");
    EXPECT_EQ(items->Items(9)->Caption(), "More ...");
    EXPECT_EQ(static_cast<TColumnMenuItem*>(items->Items(9))->ColumnIndex(),
              TColumnMenuItem::kMoreItem);
    tree->SetColumnMenuItemCount(20);
    menu.RebuildItems();
    EXPECT_EQ(menu.Items()->Count(), 10) << "every column, nothing left out";
    EXPECT_EQ(menu.Items()->Items(9)->Caption(), "Group");
}

TEST_F(ColumnsTest, TheShellColumnLayoutIsKeptPerFolder) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files);
    tree->TreeOptions().SetExpMiscOptions(tree->TreeOptions().ExpMiscOptions() |
                                          toPersistentColumns);
    tree->SetColumnDetails(cdShellColumns);
    TDataTreeColumns& columns = tree->Header().Columns();
    const UniquePIDL pidl = Parse(files);
    EXPECT_EQ(tree->Storage().Find(pidl.get(), skColumns), nullptr)
        << "nothing stored before a change";
    columns[2]->SetWidth(77);
    columns[3]->SetPosition(0);
    columns[4]->SetOptions(columns[4]->Options() & ~TColumnOptions(coVisible));
    tree->StoreColumnState();
    TNodeStorage* record = tree->Storage().Find(pidl.get(), skColumns);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->Storage.Columns().Widths.size(), 10u);
    EXPECT_EQ(record->Storage.Columns().Widths[2], 77);
    EXPECT_EQ(record->Storage.Columns().Positions[3], 0);
    EXPECT_EQ(record->Storage.Columns().Positions[0], 1);
    EXPECT_EQ(record->Storage.Columns().Visible[4], 0);

    // A width beyond 16 bits is stored as the widest that fits.
    columns[0]->SetMaxWidth(100000);
    columns[0]->SetWidth(70000);
    EXPECT_EQ(record->Storage.Columns().Widths[0], 65535);
    columns[0]->SetWidth(180);

    // Built again for the folder: the layout comes back.
    tree->SetRootFolderCustomPath(W(files));
    EXPECT_EQ(columns[2]->Width(), 77);
    EXPECT_EQ(columns[3]->Position(), 0u);
    EXPECT_FALSE(columns[4]->Visible());

    // A layout of another column count is dropped, the shell's shown.
    record = tree->Storage().Find(pidl.get(), skColumns);
    ASSERT_NE(record, nullptr);
    record->Storage.Columns().Widths.resize(4);
    tree->SetRootFolderCustomPath(W(files));
    EXPECT_EQ(columns[2]->Width(), 120);
    EXPECT_TRUE(columns[4]->Visible());
    EXPECT_EQ(tree->Storage().Find(pidl.get(), skColumns), nullptr);

    // Positions that are no order of the columns are passed over.
    tree->StoreColumnState();
    record = tree->Storage().Find(pidl.get(), skColumns);
    ASSERT_NE(record, nullptr);
    record->Storage.Columns().Positions = TWordArray{3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
    record->Storage.Columns().Widths[5] = 33;
    tree->SetRootFolderCustomPath(W(files));
    EXPECT_EQ(columns[5]->Width(), 33);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(columns[i]->Position(), TColumnPosition(i));
}

// ---- The column settings dialog -----------------------------------------------------------

class ColumnDialogTest : public ColumnsTest {
protected:
    TFormColumnSettings* Dialog(std::vector<TColumnSettingsEntry> entries) {
        auto* dialog = app->CreateForm<TFormColumnSettings>();
        dialog->SetEntries(std::move(entries));
        dialog->OnUpdate = [this](TObject*) { ++updates; };
        return dialog;
    }
    static std::vector<std::string> Order(TFormColumnSettings* d) {
        std::vector<std::string> out;
        for (const auto& e : d->Entries())
            out.push_back(WideToUtf8(e.Title));
        return out;
    }
    int updates = 0;
};

std::vector<TColumnSettingsEntry> ThreeColumns() {
    return {{u"Name", true, 180, 0}, {u"Size", true, 96, 1}, {u"Type", false, 120, 2}};
}

TEST_F(ColumnDialogTest, ChecksFollowTheColumnsAndLiveUpdateReportsAtOnce) {
    TFormColumnSettings* d = Dialog(ThreeColumns());
    EXPECT_EQ(d->Caption(), "Column Settings");
    PDataNode size = d->NodeOf(1);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(d->ColumnNamesTree->CheckState(size), csCheckedNormal);
    EXPECT_EQ(d->ColumnNamesTree->CheckState(d->NodeOf(2)), csUncheckedNormal);
    EXPECT_EQ(d->ColumnNamesTree->CheckType(size), ctCheckBox);
    EXPECT_EQ(WideToUtf8(d->ColumnNamesTree->Text(size, NoColumn)), "Size");
    d->ColumnNamesTree->SetCheckState(size, csUncheckedNormal);
    EXPECT_FALSE(d->Entries()[1].Visible);
    EXPECT_EQ(updates, 0) << "without live update nothing is reported";
    d->CheckBoxLiveUpdate->SetChecked(true); // its click reports
    EXPECT_EQ(updates, 1);
    d->ColumnNamesTree->SetCheckState(d->NodeOf(2), csCheckedNormal);
    EXPECT_TRUE(d->Entries()[2].Visible);
    EXPECT_EQ(updates, 2);
}

TEST_F(ColumnDialogTest, TheWidthBoxTakesDigitsAndKeepsTheWidthOnBadText) {
    TFormColumnSettings* d = Dialog(ThreeColumns());
    TDataStringTree* list = d->ColumnNamesTree;
    list->SetFocusedNode(d->NodeOf(0));
    EXPECT_EQ(d->EditPixelWidth->Text(), "180");
    d->EditPixelWidth->SetText("200");
    list->SetFocusedNode(d->NodeOf(1));
    EXPECT_EQ(d->Entries()[0].Width, 200) << "the width goes with the line left";
    EXPECT_EQ(d->EditPixelWidth->Text(), "96");
    // Only digits, Backspace and Enter pass.
    char key = 'x';
    d->EditPixelWidthKeyPress(key);
    EXPECT_EQ(key, 0);
    key = '7';
    d->EditPixelWidthKeyPress(key);
    EXPECT_EQ(key, '7');
    key = 8;
    d->EditPixelWidthKeyPress(key);
    EXPECT_EQ(key, 8);
    // Enter stores the number.
    d->EditPixelWidth->SetText("55");
    key = 13;
    d->EditPixelWidthKeyPress(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(d->Entries()[1].Width, 55);
    // Empty or pasted nonsense keeps the width the line had.
    d->EditPixelWidth->SetText("");
    d->EditPixelWidthExit();
    EXPECT_EQ(d->Entries()[1].Width, 55);
    d->EditPixelWidth->SetText("12ab");
    list->SetFocusedNode(d->NodeOf(2));
    EXPECT_EQ(d->Entries()[1].Width, 55);
    d->EditPixelWidth->SetText("99999999999");
    d->EditPixelWidthExit();
    EXPECT_EQ(d->Entries()[2].Width, 120) << "a number beyond any width is refused too";
}

TEST_F(ColumnDialogTest, EnterOnARefusedWidthAppliesNothingWithLiveUpdate) {
    TFormColumnSettings* d = Dialog(ThreeColumns());
    d->ColumnNamesTree->SetFocusedNode(d->NodeOf(1));
    d->CheckBoxLiveUpdate->SetChecked(true);
    updates = 0;
    for (const char* text : {"", "4x", "99999999999"}) {
        d->EditPixelWidth->SetText(text);
        char key = 13;
        d->EditPixelWidthKeyPress(key);
        EXPECT_EQ(key, 0) << "Enter is consumed for '" << text << "'";
        EXPECT_EQ(d->Entries()[1].Width, 96) << text;
    }
    EXPECT_EQ(updates, 0) << "a width kept as it was was reported as a change";
    d->EditPixelWidth->SetText("64");
    char key = 13;
    d->EditPixelWidthKeyPress(key);
    EXPECT_EQ(d->Entries()[1].Width, 64);
    EXPECT_EQ(updates, 1);
}

TEST_F(ColumnDialogTest, DragAndDropReordersTheLines) {
    TFormColumnSettings* d = Dialog(ThreeColumns());
    // The third onto the first: before it.
    d->ColumnNamesTreeDragDrop(d->NodeOf(0), d->NodeOf(2));
    EXPECT_EQ(Order(d), (std::vector<std::string>{"Type", "Name", "Size"}));
    EXPECT_EQ(d->ColumnNamesTree->CheckState(d->NodeOf(0)), csUncheckedNormal)
        << "the state moves with the line";
    EXPECT_EQ(d->ColumnNamesTree->CheckState(d->NodeOf(2)), csCheckedNormal);
    // The first onto the third: after it.
    d->ColumnNamesTreeDragDrop(d->NodeOf(2), d->NodeOf(0));
    EXPECT_EQ(Order(d), (std::vector<std::string>{"Name", "Size", "Type"}));
    // Onto itself, or onto nothing: nothing moves.
    d->ColumnNamesTreeDragDrop(d->NodeOf(1), d->NodeOf(1));
    d->ColumnNamesTreeDragDrop(nullptr, d->NodeOf(1));
    EXPECT_EQ(Order(d), (std::vector<std::string>{"Name", "Size", "Type"}));
    EXPECT_EQ(updates, 0);
    d->CheckBoxLiveUpdate->SetChecked(true);
    d->ColumnNamesTreeDragDrop(d->NodeOf(0), d->NodeOf(1));
    EXPECT_EQ(updates, 2) << "the box's click and the drop";
}

TEST_F(ColumnDialogTest, ARepaintFlushesThePaintAndAppliesNothing) {
    TFormColumnSettings* d = Dialog(ThreeColumns());
    d->Show();
    d->CheckBoxLiveUpdate->SetChecked(true);
    updates = 0;
    RECT r{};
    d->Repaint();
    EXPECT_FALSE(GetUpdateRect(d->Handle(), &r, FALSE)) << "the dialog's repaint left it unpainted";
    d->Label1->Repaint();
    EXPECT_FALSE(GetUpdateRect(d->Handle(), &r, FALSE)) << "a label's repaint left it unpainted";
    d->Invalidate();
    static_cast<TControl*>(d)->Update();
    EXPECT_FALSE(GetUpdateRect(d->Handle(), &r, FALSE)) << "the framework's Update left it unpainted";
    EXPECT_EQ(updates, 0) << "a repaint applied the column settings";
    d->CheckBoxLiveUpdateClick(); // the dialog's own Update
    EXPECT_EQ(updates, 1);
}

TEST_F(ColumnDialogTest, MoreRunsTheDialogAndAppliesItsList) {
    MakeSortFolder();
    TestExplorerTree* tree = Tree(files);
    tree->SetColumnMenuItemCount(3);
    tree->SetColumnDetails(cdShellColumns);
    TDataTreeColumns& columns = tree->Header().Columns();
    TColumnMenu& menu = tree->ColumnMenu();
    menu.RebuildItems();
    ASSERT_EQ(menu.Items()->Count(), 5);
    // The user, in the dialog: Type to the top, Size hidden, Type 150 wide, OK.
    int seen = 0;
    app->OnIdle = [&](TObject*, bool& done) {
        done = false;
        for (int i = 0; i < Screen()->FormCount(); ++i) {
            auto* d = dynamic_cast<TFormColumnSettings*>(Screen()->Forms(i));
            if (!d || !d->Modal() || d->ModalResult() != mrNone) continue;
            ++seen;
            EXPECT_EQ(d->Entries().size(), 10u);
            d->ColumnNamesTreeDragDrop(d->NodeOf(0), d->NodeOf(2));
            d->ColumnNamesTree->SetCheckState(d->NodeOf(2), csUncheckedNormal);
            d->ColumnNamesTree->SetFocusedNode(d->NodeOf(0));
            d->EditPixelWidth->SetText("150");
            d->ButtonOk->Click();
        }
    };
    menu.Items()->Items(4)->Click();
    app->OnIdle = nullptr;
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(columns[2]->Position(), 0u);
    EXPECT_EQ(columns[0]->Position(), 1u);
    EXPECT_EQ(columns[2]->Width(), 150);
    EXPECT_FALSE(columns[1]->Visible());
    EXPECT_TRUE(columns[0]->Visible());
}

} // namespace
