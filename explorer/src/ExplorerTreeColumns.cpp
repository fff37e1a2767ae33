// The explorer tree's columns: the column sets, cell texts, sort order,
// header clicks and width toggles, the column menu, the stored column
// layout, text colours, icons and hints.
#include "ExplorerTreeInternal.h"
#include "rtl/displaytext.h"
#include "rtl/scopeguard.h"
#include "explorer/ColumnSettingsDialog.h"
#include "explorer/ExplorerTree.h"

#include <algorithm>
#include <utility>

namespace ax {
namespace {

struct TDetailsKind {
    const char16_t* title;
    int width;
};
constexpr TDetailsKind kDetails[kColumnDetailsCount] = {
    {u"Name", 180},    {u"Size", 96},       {u"Type", 120}, {u"Modified", 120}, {u"Accessed", 180},
    {u"Created", 120}, {u"Attributes", 60}, {u"Path", 150}, {u"DOS Name", 80},  {u"Custom", 80},
};

// Default widths of the shell's columns of an ordinary folder, by the
// shell's column index; columns 28 to 36 get 180, later ones 120.
constexpr int kShellWidths[] = {180, 96,  120, 120, 60,  180, 120, 120, 120, 120,
                                120, 120, 120, 60,  120, 120, 120, 120, 120, 120,
                                72,  90,  102, 30,  30,  108, 60,  48};

int ShellColumnWidth(TNamespace& root, int shellColumn, int columnCount) {
    if (root.IsMyComputer() && shellColumn <= 3) return std::array{180, 120, 96, 96}[shellColumn];
    if (root.IsControlPanel() && shellColumn <= 1) return shellColumn == 0 ? 180 : 300;
    if ((root.IsNetworkNeighborhood() || (root.IsNetworkNeighborhoodChild() && columnCount < 3)) &&
        shellColumn <= 1)
        return shellColumn == 0 ? 180 : 300;
    if (shellColumn < int(std::size(kShellWidths))) return kShellWidths[shellColumn];
    return shellColumn <= 36 ? 180 : 120;
}

// Stored widths are 16 bits wide.
uint16_t StoredWidth(int width) {
    return uint16_t(std::clamp(width, 0, 0xFFFF));
}

} // namespace

const char16_t* ColumnDetailsTitle(TColumnDetails details) {
    return details < kColumnDetailsCount ? kDetails[details].title : u"";
}
int ColumnDetailsWidth(TColumnDetails details) {
    return details < kColumnDetailsCount ? kDetails[details].width : 80;
}

// ---- TExpColumn and TExpHeader ------------------------------------------------------------

TExpColumn::TExpColumn(TCollection* collection) : TDataTreeColumn(collection) {
    // A collapsed column is 0 pixels wide.
    SetMinWidth(0);
    SetText(u"Name");
    SetWidth(200);
}

TCustomExplorerTree* TExpColumn::Tree() const {
    if (!Owner() || !Owner()->Header()) return nullptr;
    return dynamic_cast<TCustomExplorerTree*>(Owner()->Header()->Treeview());
}

void TExpColumn::Assign(const TPersistent* source) {
    TDataTreeColumn::Assign(source);
    if (const auto* other = dynamic_cast<const TExpColumn*>(source)) {
        details_ = other->details_;
        shellColumn_ = other->shellColumn_;
    }
}

void TExpColumn::SetColumnDetails(TColumnDetails value) {
    if (value == details_ || value >= kColumnDetailsCount) return;
    TCustomExplorerTree* tree = Tree();
    if (tree && tree->ColumnDetails() == cdShellColumns) {
        details_ = cdCustom;
        return;
    }
    details_ = value;
    SetText(kDetails[value].title);
    if (!tree || !tree->HasState(csLoading)) SetWidth(kDetails[value].width);
    if (value == cdSize && tree && (tree->TreeOptions().ExpShellOptions() & toRightAlignSizeColumn))
        SetAlignment(taRightJustify);
    if (tree) tree->Invalidate();
}

bool TExpHeader::CanWriteColumns() const {
    const auto* tree = dynamic_cast<const TCustomExplorerTree*>(Treeview());
    return !tree || tree->ColumnDetails() != cdShellColumns;
}

std::unique_ptr<TDTHeader> TCustomExplorerTree::CreateHeader() {
    return std::make_unique<TExpHeader>(this);
}

std::unique_ptr<TDataTreeColumn> TCustomExplorerTree::CreateColumn(TCollection* columns) {
    return std::make_unique<TExpColumn>(columns);
}

TExpColumn* TCustomExplorerTree::ExpColumn(TColumnIndex column) const {
    const TDataTreeColumns& columns = Header().Columns();
    return columns.IsValidColumn(column) ? dynamic_cast<TExpColumn*>(columns.Items(column))
                                         : nullptr;
}

// ---- TColumnManager -----------------------------------------------------------------------

bool TColumnManager::Grow() {
    const int count = tree_->Header().Columns().Count();
    if (int(widths_.size()) < count) widths_.resize(size_t(count));
    return count > 0;
}

const TColumnManager::TColumnsWidths& TColumnManager::Widths() {
    Grow();
    return widths_;
}

void TColumnManager::ToggleWidthAutoFit(int column) {
    if (!Grow() || !tree_->Header().Columns().IsValidColumn(column)) return;
    TDataTreeColumn* c = tree_->Header().Columns().Items(column);
    TColumnWidth& w = widths_[size_t(column)];
    if (w.Toggle == ctFitted) {
        w.Toggle = ctNormal;
        c->SetWidth(w.SavedWidth);
    } else {
        w.SavedWidth = c->Width();
        w.Toggle = ctFitted;
        c->SetWidth(tree_->GetMaxColumnWidth(column));
    }
}

void TColumnManager::ToggleWidthMinimize(int column) {
    if (!Grow() || !tree_->Header().Columns().IsValidColumn(column)) return;
    TDataTreeColumn* c = tree_->Header().Columns().Items(column);
    TColumnWidth& w = widths_[size_t(column)];
    if (w.Toggle == ctCollapsed) {
        w.Toggle = ctNormal;
        c->SetWidth(w.SavedWidth);
    } else {
        w.SavedWidth = c->Width();
        w.Toggle = ctCollapsed;
        c->SetWidth(0);
    }
}

// ---- Column sets --------------------------------------------------------------------------

void TCustomExplorerTree::SetColumnDetails(TColumnDetailType value) {
    if (value == columnDetails_ || value > cdShellColumns) return;
    columnDetails_ = value;
    RebuildHeaderColumns();
}

void TCustomExplorerTree::SetFileSizeFormat(TFileSizeFormat value) {
    if (value == fileSizeFormat_) return;
    fileSizeFormat_ = value;
    Invalidate();
}

void TCustomExplorerTree::SetFileSort(TFileSort value) {
    if (value == fileSort_) return;
    fileSort_ = value;
    if (Header().SortColumn() == 2) SortTree(2, Header().SortDirection(), false);
}

void TCustomExplorerTree::RebuildHeaderColumns() {
    if (HasState(csLoading)) return;
    TDTHeader& header = Header();
    switch (columnDetails_) {
    case cdUser:
        header.Columns().Clear();
        header.SetOptions(header.Options() & ~THeaderOptions(hoVisible));
        firstCustomColumn_ = 0;
        break;
    case cdExpColumns:
        header.SetOptions(header.Options() | hoVisible);
        BuildExpColumns();
        break;
    case cdShellColumns:
        header.SetOptions(header.Options() | hoVisible);
        BuildShellColumns();
        break;
    }
}

void TCustomExplorerTree::BuildExpColumns() {
    ++columnRebuildGuard_;
    ScopeGuard guard([this] { --columnRebuildGuard_; });
    TDataTreeColumns& columns = Header().Columns();
    columns.Clear();
    firstCustomColumn_ = 0;
    constexpr std::pair<TColumnDetails, bool> kSet[] = {
        {cdFileName, true}, {cdSize, true},       {cdType, true},
        {cdModified, true}, {cdAttributes, true}, {cdAccessed, false},
        {cdCreated, false}, {cdDOSName, false},   {cdPath, false}};
    for (const auto& [details, visible] : kSet) {
        auto* column = static_cast<TExpColumn*>(columns.Add());
        // A new column is a name column: set another kind first so that the
        // setter fills in the title and width of cdFileName too.
        if (details == cdFileName) column->SetColumnDetails(cdCustom);
        column->SetColumnDetails(details);
        if (!visible) column->SetOptions(column->Options() & ~TColumnOptions(coVisible));
    }
    firstCustomColumn_ = columns.Count();
    if (OnAddCustomShellColumn) OnAddCustomShellColumn(this, columns.Count(), Header());
}

void TCustomExplorerTree::BuildShellColumns() {
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    ++columnRebuildGuard_;
    ScopeGuard guard([this] { --columnRebuildGuard_; });
    TDataTreeColumns& columns = Header().Columns();
    columns.Clear();
    firstCustomColumn_ = 0;
    if (!rootNamespace_) return;
    TNamespace& root = *rootNamespace_;
    const int count = root.DetailsSupportedColumns();
    const bool rightAlign = (TreeOptions().ExpShellOptions() & toRightAlignSizeColumn) &&
                            root.FileSystem() && root.Folder() && !root.Hidden();
    for (int shellColumn = 0; shellColumn < count; ++shellColumn) {
        const WideString title = root.DetailsColumnTitle(shellColumn);
        bool taken = title.empty();
        for (int i = 0; i < columns.Count() && !taken; ++i)
            taken = columns.Items(i)->Text() == title;
        if (taken) continue;
        auto* column = static_cast<TExpColumn*>(columns.Add());
        column->SetColumnDetails(cdCustom);
        column->SetText(title);
        // The column keeps which of the shell's columns it shows, so that a
        // title passed over does not move the texts of the ones after it.
        column->SetShellColumn(shellColumn);
        column->SetWidth(ShellColumnWidth(root, shellColumn, count));
        if (shellColumn == 1 && rightAlign) column->SetAlignment(taRightJustify);
        if (!(root.DetailsGetDefaultColumnState(shellColumn) & csOnByDefault))
            column->SetOptions(column->Options() & ~TColumnOptions(coVisible));
        ++firstCustomColumn_;
    }
    if (OnAddCustomShellColumn) OnAddCustomShellColumn(this, firstCustomColumn_, Header());
    ApplyColumnState();
}

int TCustomExplorerTree::ShellColumnOf(TColumnIndex column) const {
    const TExpColumn* c = ExpColumn(column);
    return c ? c->ShellColumn() : -1;
}

// ---- Stored layout ------------------------------------------------------------------------

namespace {
bool LayoutKept(TCustomExplorerTree& tree) {
    TNamespace* root = tree.RootNamespace();
    return (tree.TreeOptions().ExpMiscOptions() & toPersistentColumns) &&
           tree.ColumnDetails() == cdShellColumns && tree.Header().Columns().Count() > 0 && root &&
           root->Folder();
}
} // namespace

void TCustomExplorerTree::StoreColumnState() {
    if (!LayoutKept(*this)) return;
    TNodeStorage* record = Storage().Store(rootNamespace_->AbsolutePIDL(), skColumns);
    if (!record) return;
    const TDataTreeColumns& columns = Header().Columns();
    const size_t count = size_t(columns.Count());
    TColumnStorage& s = record->Storage.Columns();
    if (s.Widths.size() < count) s.Widths.resize(count);
    if (s.Positions.size() < count) s.Positions.resize(count);
    if (s.Visible.size() < count) s.Visible.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const TDataTreeColumn* c = columns.Items(int(i));
        s.Widths[i] = StoredWidth(c->Width());
        s.Positions[i] = uint16_t(c->Position());
        s.Visible[i] = c->Visible() ? 1 : 0;
    }
}

void TCustomExplorerTree::ApplyColumnState() {
    if (!LayoutKept(*this)) return;
    PItemIDList pidl = rootNamespace_->AbsolutePIDL();
    TNodeStorage* record = Storage().Find(pidl, skColumns);
    if (!record) return;
    TDataTreeColumns& columns = Header().Columns();
    const size_t count = size_t(columns.Count());
    const TColumnStorage& s = record->Storage.Columns();
    if (s.Widths.size() != count || s.Positions.size() != count || s.Visible.size() != count) {
        Storage().Delete(pidl, skColumns);
        return;
    }
    ++columnRebuildGuard_;
    ScopeGuard guard([this] { --columnRebuildGuard_; });
    for (size_t i = 0; i < count; ++i) {
        TDataTreeColumn* c = columns.Items(int(i));
        c->SetWidth(s.Widths[i]);
        const TColumnOptions options = c->Options();
        c->SetOptions(s.Visible[i] ? (options | coVisible)
                                   : (options & ~TColumnOptions(coVisible)));
    }
    // Positions only when they are a true order (a stored file may say anything).
    std::vector<int> at(count, -1);
    for (size_t i = 0; i < count; ++i)
        if (s.Positions[i] < count && at[s.Positions[i]] < 0) at[s.Positions[i]] = int(i);
    if (std::find(at.begin(), at.end(), -1) != at.end()) return;
    for (size_t p = 0; p < count; ++p)
        columns.Items(at[p])->SetPosition(TColumnPosition(p));
}

void TCustomExplorerTree::DoColumnResize(TColumnIndex column) {
    if (columnRebuildGuard_ == 0) StoreColumnState();
    TCustomDataStringTree::DoColumnResize(column);
}

void TCustomExplorerTree::DoHeaderDragged(TColumnIndex column, TColumnPosition oldPosition) {
    TCustomDataStringTree::DoHeaderDragged(column, oldPosition);
    StoreColumnState();
}

// ---- Header clicks and the column menu ----------------------------------------------------

void TCustomExplorerTree::DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift,
                                        int x, int y) {
    if (button != mbRight) {
        WaitCursor(true);
        ScopeGuard cursor([this] { WaitCursor(false); });
        TDTHeader& header = Header();
        if ((shift & ssCtrl) && column >= 0) {
            HeaderColumnManager().ToggleWidthAutoFit(column);
        } else if ((shift & ssShift) && column >= 0) {
            HeaderColumnManager().ToggleWidthMinimize(column);
        } else if (column >= 0) {
            if (column == header.SortColumn())
                header.SetSortDirection(header.SortDirection() == sdAscending ? sdDescending
                                                                              : sdAscending);
            else
                header.SetSortColumn(column);
            SortTree(column, header.SortDirection(), false);
        }
    }
    TCustomDataStringTree::DoHeaderClick(column, button, shift, x, y);
}

void TCustomExplorerTree::DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbRight && (TreeOptions().ExpShellOptions() & toShellColumnMenu) &&
        !(Header().States() & hsDragging)) {
        const POINT screen = ClientToScreen(POINT{x, y - Header().Height()});
        ColumnMenu().Popup(screen.x, screen.y);
    }
    TCustomDataStringTree::DoHeaderMouseUp(button, shift, x, y);
}

TColumnMenu& TCustomExplorerTree::ColumnMenu() {
    if (!columnMenu_) columnMenu_ = std::make_unique<TColumnMenu>(this);
    return *columnMenu_;
}

TColumnMenuItem::TColumnMenuItem(TComponent* owner, int columnIndex)
    : TMenuItem(owner), columnIndex_(columnIndex) {}

TColumnMenu::TColumnMenu(TCustomExplorerTree* tree) : TPopupMenu(nullptr), tree_(tree) {}

void TColumnMenu::RebuildItems() {
    TMenuItem* root = Items();
    root->Clear();
    TDataTreeColumns& columns = tree_->Header().Columns();
    const bool shell = tree_->ColumnDetails() == cdShellColumns;
    TNamespace* folder = tree_->RootNamespace();
    bool leftOut = false;
    int listed = 0;
    for (TColumnPosition p = 0; p < TColumnPosition(columns.Count()); ++p) {
        const TColumnIndex index = columns.ColumnFromPosition(p);
        TDataTreeColumn* column = columns.Items(index);
        if (shell) {
            const int shellColumn =
                tree_->ExpColumn(index) ? tree_->ExpColumn(index)->ShellColumn() : -1;
            const bool secondary =
                folder && shellColumn >= 0 &&
                (folder->DetailsGetDefaultColumnState(shellColumn) & csSecondaryUI);
            if (secondary || listed >= tree_->ColumnMenuItemCount()) {
                leftOut = true;
                continue;
            }
        }
        auto* item = TComponent::Create<TColumnMenuItem>(root, index);
        item->SetCaption(WideToUtf8(column->Text()));
        item->SetChecked(column->Visible());
        root->Add(item);
        ++listed;
    }
    if (leftOut) {
        auto* line = TComponent::Create<TColumnMenuItem>(root, -1);
        line->SetCaption("-");
        root->Add(line);
        auto* more = TComponent::Create<TColumnMenuItem>(root, TColumnMenuItem::kMoreItem);
        more->SetCaption("More ...");
        root->Add(more);
    }
}

void TColumnMenu::Popup(int x, int y) {
    RebuildItems();
    TPopupMenu::Popup(x, y);
}

void TColumnMenuItem::Click() {
    TMenuItem::Click();
    auto* menu = dynamic_cast<TColumnMenu*>(GetParentMenu());
    if (!menu) return;
    TCustomExplorerTree* tree = menu->Tree();
    if (columnIndex_ == kMoreItem) {
        RunColumnSettings(*tree);
        return;
    }
    TDataTreeColumns& columns = tree->Header().Columns();
    if (!columns.IsValidColumn(columnIndex_)) return;
    TDataTreeColumn* column = columns.Items(columnIndex_);
    const TColumnOptions options = column->Options();
    column->SetOptions(Checked() ? (options & ~TColumnOptions(coVisible)) : (options | coVisible));
    tree->StoreColumnState();
}

// ---- Text and order -----------------------------------------------------------------------

void TCustomExplorerTree::DoGetText(PDataNode node, TColumnIndex column, TDTStringType textType,
                                    WideString& text) {
    TNamespace* ns = NodeNamespace(node);
    text.clear();
    if (ns) {
        if (column < 0) {
            text = ns->NameInFolder();
        } else if (columnDetails_ == cdShellColumns) {
            if (column < firstCustomColumn_) {
                const int shellColumn = ShellColumnOf(column);
                text = shellColumn == 0  ? ns->NameInFolder()
                       : shellColumn > 0 ? ns->DetailsOf(shellColumn)
                                         : WideString();
            }
        } else if (const TExpColumn* c = ExpColumn(column)) {
            switch (c->ColumnDetails()) {
            case cdFileName:
                text = ns->NameInFolder();
                break;
            case cdSize:
                text = fileSizeFormat_ == fsfActual      ? ns->SizeOfFile()
                       : fileSizeFormat_ == fsfDiskUsage ? ns->SizeOfFileDiskUsage()
                                                         : ns->SizeOfFileKB();
                break;
            case cdType:
                text = ns->FileType();
                break;
            case cdModified:
                text = ns->LastWriteTime();
                break;
            case cdAccessed:
                text = ns->LastAccessTime();
                break;
            case cdCreated:
                text = ns->CreationTime();
                break;
            case cdAttributes:
                text = ns->AttributesString();
                break;
            case cdPath:
                text = ns->NameParseAddress();
                break;
            case cdDOSName:
                text = ns->ShortFileName();
                break;
            case cdCustom:
                break;
            }
        } else if (column == 0) {
            // cdUser without columns of its own: the name.
            text = ns->NameInFolder();
        } else {
            TCustomDataStringTree::DoGetText(node, column, textType, text);
            if (OnGetExpText) OnGetExpText(this, column, node, ns, text);
            return;
        }
        // A name may hold line breaks, controls and bytes that are not
        // UTF-8: shown as escapes, never dropped or drawn alike.
        text = EscapedName(text);
    }
    if (OnGetExpText) OnGetExpText(this, column, node, ns, text);
}

int TCustomExplorerTree::CompareByColumn(TColumnIndex column, TNamespace* ns1, TNamespace* ns2,
                                         PDataNode node1, PDataNode node2) {
    TShellSortHelper& h = *sortHelper_;
    auto byName = [&] { return h.CompareIDs(0, ns1, ns2); };
    if (column < 0) return byName();
    if (columnDetails_ == cdShellColumns && column < firstCustomColumn_) {
        switch (ShellColumnOf(column)) {
        case 1:
            return h.SortFileSize(ns1, ns2);
        case 2:
            return h.SortType(ns1, ns2);
        case 3:
            return h.SortFileTime(ns1->LastWriteTimeRaw(), ns2->LastWriteTimeRaw(), ns1, ns2);
        default:
            return byName();
        }
    }
    const TExpColumn* c = ExpColumn(column);
    if (!c) return byName();
    switch (c->ColumnDetails()) {
    case cdFileName:
        return byName();
    case cdSize:
        return h.SortFileSize(ns1, ns2);
    case cdType:
        return h.SortType(ns1, ns2);
    case cdModified:
        return h.SortFileTime(ns1->LastWriteTimeRaw(), ns2->LastWriteTimeRaw(), ns1, ns2);
    case cdAccessed:
        return h.SortFileTime(ns1->LastAccessTimeRaw(), ns2->LastAccessTimeRaw(), ns1, ns2);
    case cdCreated:
        return h.SortFileTime(ns1->CreationTimeRaw(), ns2->CreationTimeRaw(), ns1, ns2);
    case cdAttributes:
        return h.SortString(ns1->AttributesString(), ns2->AttributesString(), ns1, ns2);
    case cdPath:
        return h.SortString(ns1->NameParseAddress(), ns2->NameParseAddress(), ns1, ns2);
    case cdDOSName:
        return h.SortString(ns1->ShortFileName(), ns2->ShortFileName(), ns1, ns2);
    case cdCustom: {
        int result = 0;
        if (OnCustomColumnCompare) OnCustomColumnCompare(this, column, node1, node2, result);
        return result;
    }
    }
    return byName();
}

int TCustomExplorerTree::DoCompareNodes(PDataNode node1, PDataNode node2, TColumnIndex column) {
    if (TreeOptions().ExpMiscOptions() & toUserSort)
        return TCustomDataStringTree::DoCompareNodes(node1, node2, column);
    TNamespace* ns1 = NodeNamespace(node1);
    TNamespace* ns2 = NodeNamespace(node2);
    if (!ns1 || !ns2) return 0;
    sortHelper_->FileSort = fileSort_ == fsFileExtension;
    return CompareByColumn(column, ns1, ns2, node1, node2);
}

// ---- Colours, icons, hints, editing -------------------------------------------------------

void TCustomExplorerTree::DoPaintText(PDataNode node, TCanvas& canvas, TColumnIndex column,
                                      TDTStringType textType) {
    if (TNamespace* ns = NodeNamespace(node)) {
        const bool hot = (TreeOptions().PaintOptions() & toHotTrack) && node == HotNode();
        if (column < 1) {
            if (!hot && !(TreeOptions().ExpFolderOptions() & toNoUseExpColorsProp) &&
                !Selected(node) && node != DropTargetNode()) {
                if (ns->Compressed())
                    canvas.Font().SetColor(expColors_.CompressedTextColor);
                else if (ns->Unreadable())
                    canvas.Font().SetColor(clGrayText);
                else if (ns->Folder())
                    canvas.Font().SetColor(expColors_.FolderTextColor);
                else
                    canvas.Font().SetColor(expColors_.FileTextColor);
            }
        } else if (ns->Compressed()) {
            canvas.Font().SetColor(expColors_.CompressedTextColor);
        }
    }
    TCustomDataStringTree::DoPaintText(node, canvas, column, textType);
}

void TCustomExplorerTree::DoGetHint(PDataNode node, TColumnIndex column, WideString& hint) {
    TNamespace* ns = NodeNamespace(node);
    if ((TreeOptions().ExpShellOptions() & toShellHints) && ns) {
        hint = ns->InfoTip();
        return;
    }
    TCustomDataStringTree::DoGetHint(node, column, hint);
}

void TCustomExplorerTree::DoCanEdit(PDataNode node, TColumnIndex column, bool& allowed) {
    if (TreeOptions().ExpMiscOptions() & toExpReadOnly) {
        allowed = false;
        return;
    }
    if (columnDetails_ == cdShellColumns)
        allowed = column <= 0 || column >= firstCustomColumn_;
    else if (const TExpColumn* c = ExpColumn(column))
        allowed = c->ColumnDetails() == cdFileName || c->ColumnDetails() == cdCustom;
    else
        allowed = column <= 0;
    if (allowed) TCustomDataStringTree::DoCanEdit(node, column, allowed);
}

// ---- Use by the explorer ------------------------------------------------------------------

std::vector<TColumnSettingsEntry> ColumnSettingsOf(TCustomExplorerTree& tree) {
    std::vector<TColumnSettingsEntry> entries;
    TDataTreeColumns& columns = tree.Header().Columns();
    for (TColumnPosition p = 0; p < TColumnPosition(columns.Count()); ++p) {
        const TColumnIndex index = columns.ColumnFromPosition(p);
        if (index == NoColumn) continue;
        const TDataTreeColumn* c = columns.Items(index);
        entries.push_back({c->Text(), c->Visible(), c->Width(), index});
    }
    return entries;
}

void ApplyColumnSettings(TCustomExplorerTree& tree,
                         const std::vector<TColumnSettingsEntry>& entries) {
    tree.BeginUpdate();
    ScopeGuard end([&tree] { tree.EndUpdate(); });
    TDataTreeColumns& columns = tree.Header().Columns();
    for (size_t place = 0; place < entries.size(); ++place) {
        const TColumnSettingsEntry& e = entries[place];
        if (!columns.IsValidColumn(e.Tag)) continue;
        TDataTreeColumn* c = columns.Items(e.Tag);
        c->SetPosition(TColumnPosition(place));
        const TColumnOptions options = c->Options();
        c->SetOptions(e.Visible ? (options | coVisible) : (options & ~TColumnOptions(coVisible)));
        c->SetWidth(e.Width);
    }
    tree.StoreColumnState();
}

void RunColumnSettings(TCustomExplorerTree& tree) {
    std::unique_ptr<TFormColumnSettings> form = std::make_unique<TFormColumnSettings>(nullptr);
    form->SetEntries(ColumnSettingsOf(tree));
    form->OnUpdate = [&tree, f = form.get()](TObject*) { ApplyColumnSettings(tree, f->Entries()); };
    if (form->ShowModal() == mrOk) {
        form->EditPixelWidthExit();
        ApplyColumnSettings(tree, form->Entries());
    }
}

} // namespace ax
