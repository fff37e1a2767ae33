// The sort grid's data model: options, sorting, filtering, structure and
// size handling.
#include "controls/SortGrid.h"

#include <algorithm>

#include "controls/ShowMessage.h"
#include "framework/forms.h"
#include "framework/streaming.h"
#include "rtl/scopeguard.h"

namespace ax {

namespace {

// Rows between two pumps of the message queue while sorting or filtering.
constexpr int kPumpEvery = 4096;

void Pump() {
    if (TApplication* app = Application()) app->ProcessMessages();
}

// A stable merge sort of v by less. Every index it touches is bounded by
// the loops themselves, so even a comparison that is not an order (a
// caller's custom routine) cannot make it leave the array.
template <class T, class Less> void StableSort(std::vector<T>& v, Less less) {
    const size_t n = v.size();
    constexpr size_t kRun = 16;
    for (size_t lo = 0; lo < n; lo += kRun) {
        const size_t hi = std::min(lo + kRun, n);
        for (size_t i = lo + 1; i < hi; ++i) {
            T x = std::move(v[i]);
            size_t j = i;
            while (j > lo && less(x, v[j - 1])) {
                v[j] = std::move(v[j - 1]);
                --j;
            }
            v[j] = std::move(x);
        }
    }
    std::vector<T> buffer(n);
    for (size_t width = kRun; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) buffer[k++] = less(v[j], v[i]) ? std::move(v[j++]) : std::move(v[i++]);
            while (i < mid) buffer[k++] = std::move(v[i++]);
            while (j < hi) buffer[k++] = std::move(v[j++]);
        }
        v.swap(buffer);
    }
}

} // namespace

// ---- Options ---------------------------------------------------------------------------------

void TSortOptions::Assign(const TPersistent* source) {
    if (auto* s = dynamic_cast<const TSortOptions*>(source)) {
        SecondaryIndex = s->SecondaryIndex;
        CanSort = s->CanSort;
        SortStyle = s->SortStyle;
        SortCaseSensitive = s->SortCaseSensitive;
        SortCol = s->SortCol;
        SortDirection = s->SortDirection;
        SortCompare = s->SortCompare;
        UpdateOnSizeChange = s->UpdateOnSizeChange;
        return;
    }
    TPersistent::Assign(source);
}

void TSortOptions::DefinePublished(TFiler& f) {
    f.String("SecondaryIndex", [this] { return SecondaryIndex; }, [this](const AnsiString& v) { SecondaryIndex = v; });
    f.Bool("CanSort", [this] { return CanSort; }, [this](bool v) { CanSort = v; }, true);
    f.Enum("SortStyle", {"ssAutomatic", "ssNormal", "ssNumeric", "ssNumericExtended", "ssDateTime", "ssTime", "ssCustom"},
           [this] { return int(SortStyle); }, [this](int v) { SortStyle = TSortStyle(v); }, int(ssNormal));
    f.Bool("SortCaseSensitive", [this] { return SortCaseSensitive; }, [this](bool v) { SortCaseSensitive = v; },
           false);
    f.Integer("SortCol", [this] { return SortCol; }, [this](int64_t v) { SortCol = int(v); }, 0);
    f.Enum("SortDirection", {"sdAscending", "sdDescending"}, [this] { return int(SortDirection); },
           [this](int v) { SortDirection = TSortDirection(v); }, int(sdAscending));
    f.Bool("UpdateOnSizeChange", [this] { return UpdateOnSizeChange; }, [this](bool v) { UpdateOnSizeChange = v; },
           false);
}

void TPrintOptions::Assign(const TPersistent* source) {
    if (auto* s = dynamic_cast<const TPrintOptions*>(source)) {
        JobTitle = s->JobTitle;
        PageTitle = s->PageTitle;
        Copies = s->Copies;
        PrintRange = s->PrintRange;
        PreviewPage = s->PreviewPage;
        FromRow = s->FromRow;
        ToRow = s->ToRow;
        return;
    }
    TPersistent::Assign(source);
}

void TPrintOptions::DefinePublished(TFiler& f) {
    f.String("JobTitle", [this] { return JobTitle; }, [this](const AnsiString& v) { JobTitle = v; });
    f.String("PageTitle", [this] { return PageTitle; }, [this](const AnsiString& v) { PageTitle = v; });
    f.Integer("Copies", [this] { return Copies; }, [this](int64_t v) { Copies = int(v); }, 1);
    f.Enum("PrintRange", {"prAll", "prSelected"}, [this] { return int(PrintRange); },
           [this](int v) { PrintRange = TMyPrintRange(v); }, int(prAll));
    f.Integer("PreviewPage", [this] { return PreviewPage; }, [this](int64_t v) { PreviewPage = int(v); }, 0);
    f.Integer("FromRow", [this] { return FromRow; }, [this](int64_t v) { FromRow = int(v); }, 0);
    f.Integer("ToRow", [this] { return ToRow; }, [this](int64_t v) { ToRow = int(v); }, 0);
}

// ---- Life ------------------------------------------------------------------------------------

TSortGrid::TSortGrid(TComponent* owner)
    : TMyStringGrid(owner),
      sortOptions_(std::make_unique<TSortOptions>()),
      printOptions_(std::make_unique<TPrintOptions>()),
      userSettings_(std::make_unique<TStringList>()) {
    SetFixedCols(0);
    selectedSet_.SetSorted(true);
    selectedSet_.SetDuplicates(dupIgnore);
    AddSelected(Row());
    ResizeSettings();

    comboList_ = TComponent::Create<TListBox>(this);
    comboList_->SetVisible(false);
    comboList_->SetTabStop(false);
    comboList_->SetSorted(true);
    comboList_->OnMouseUp = [this](TObject*, TMouseButton button, TShiftState, int, int) {
        if (button == mbLeft) CommitComboList();
    };
    comboList_->OnKeyPress = [this](TObject*, char& key) {
        if (key == '\r' || key == ' ') {
            key = 0;
            CommitComboList();
        } else if (key == 27) {
            key = 0;
            HideComboList();
            if (CanFocus()) SetFocus();
        }
    };
    comboList_->OnExit = [this](TObject*) { HideComboList(); };
}

TSortGrid::~TSortGrid() { DestroyComponents(); }

void TSortGrid::DefinePublished(TFiler& f) {
    TMyStringGrid::DefinePublished(f);
    f.DefineObject("SortOptions", sortOptions_.get());
    f.DefineObject("PrintOptions", printOptions_.get());
    f.Bool("HideRows", [this] { return hideRows_; }, [this](bool v) { SetHideRows(v); }, false);
    f.Bool("MultiSelect", [this] { return multiSelect_; }, [this](bool v) { SetMultiSelect(v); }, false);
    f.Enum("AlignmentHorz", {"taLeftJustify", "taRightJustify", "taCenter"}, [this] { return int(alignmentHorz_); },
           [this](int v) { SetAlignmentHorz(TAlignment(v)); }, int(taLeftJustify));
    f.Enum("AlignmentVert", {"taTopJustify", "taBottomJustify", "taMiddle"}, [this] { return int(alignmentVert_); },
           [this](int v) { SetAlignmentVert(TVertAlignment(v)); }, int(taTopJustify));
    f.Enum("BevelStyle", {"cbNone", "cbRaised", "cbLowered"}, [this] { return int(bevelStyle_); },
           [this](int v) { SetBevelStyle(TCellBevelStyle(v)); }, int(cbNone));
    f.Bool("ProportionalScrollBars", [this] { return proportionalScrollBars_; },
           [this](bool v) { SetProportionalScrollBars(v); }, false);
    f.Bool("ExtendedKeys", [this] { return extendedKeys_; }, [this](bool v) { extendedKeys_ = v; }, false);
    f.ComponentRef("PopupMenu", [this] { return popup_; },
                   [this](TComponent* c) { SetPopupMenu(dynamic_cast<TPopupMenu*>(c)); });
}

void TSortGrid::Notification(TComponent* component, TOperation operation) {
    TMyStringGrid::Notification(component, operation);
    if (operation == opRemove) {
        if (component == popup_) popup_ = nullptr;
        if (component == comboList_) comboList_ = nullptr;
    }
}

void TSortGrid::SetPopupMenu(TPopupMenu* menu) {
    if (popup_) popup_->RemoveFreeNotification(this);
    popup_ = menu;
    if (popup_) popup_->FreeNotification(this);
}

// ---- Properties ------------------------------------------------------------------------------

void TSortGrid::SetHideRows(bool value) {
    hideRows_ = value;
    if (RowCount() > 1) SetRow(1);
    InvalidateGrid();
}

void TSortGrid::SetMultiSelect(bool value) {
    multiSelect_ = value;
    if (value) SetOptions(Options() | goRowSelect);
}

void TSortGrid::SetUserSettings(const TStringList& settings) {
    *userSettings_ = settings;
    SetModified(true);
}

void TSortGrid::SetAlignmentHorz(TAlignment value) {
    alignmentHorz_ = value;
    InvalidateGrid();
}

void TSortGrid::SetAlignmentVert(TVertAlignment value) {
    alignmentVert_ = value;
    InvalidateGrid();
}

void TSortGrid::SetBevelStyle(TCellBevelStyle value) {
    bevelStyle_ = value;
    InvalidateGrid();
}

void TSortGrid::SetProportionalScrollBars(bool value) {
    proportionalScrollBars_ = value;
    UpdateScrollBarPages();
}

void TSortGrid::SetModified(bool value) {
    modified_ = value;
    if (value && OnModified) OnModified(this);
}

void TSortGrid::ResizeSettings() {
    columnFonts_.resize(size_t(ColCount()));
    rowFonts_.resize(size_t(RowCount()));
}

// ---- Update brackets -------------------------------------------------------------------------

void TSortGrid::BeginUpdate() {
    // Saved only when an update starts: a bracket opened inside a running
    // update (a sort inside the filter) would otherwise save the cleared
    // value, and the setting would be lost for good.
    if (!NowUpdating()) savedUpdateOnSizeChange_ = sortOptions_->UpdateOnSizeChange;
    sortOptions_->UpdateOnSizeChange = false;
    TMyStringGrid::BeginUpdate();
}

void TSortGrid::EndUpdate() {
    TMyStringGrid::EndUpdate();
    // Restored after the held-back size change, which must not sort again.
    if (savedUpdateOnSizeChange_) sortOptions_->UpdateOnSizeChange = *savedUpdateOnSizeChange_;
    savedUpdateOnSizeChange_.reset();
    if (OnEndUpdate) OnEndUpdate(this);
}

// ---- Sorting ---------------------------------------------------------------------------------

std::vector<int> TSortGrid::SortKeys(int primary) const {
    std::vector<int> keys{primary};
    TStringList secondary;
    secondary.SetCommaText(sortOptions_->SecondaryIndex);
    for (int i = 0; i < secondary.Count(); ++i) {
        int64_t col = 0;
        if (!TryStrToInt(Trim(secondary[i]), col) || col < 0 || col >= ColCount() || col == primary) continue;
        keys.push_back(int(col));
    }
    return keys;
}

TSortStyle TSortGrid::DetectSortStyle(int col) {
    bool numeric = true, dateTime = true, time = true;
    for (int r = 1; r < RowCount() && (numeric || dateTime || time); ++r) {
        const AnsiString text = Cells(col, r);
        double v = 0;
        if (numeric && !TryStrToFloat(text, v)) numeric = false;
        if (dateTime && !TryStrToDateTime(text, v)) dateTime = false;
        if (time && !TryStrToTime(text, v)) time = false;
    }
    if (numeric) return ssNumeric;
    if (dateTime) return ssDateTime;
    if (time) return ssTime;
    return ssNormal;
}

void TSortGrid::SortRows(std::vector<int>& rows, int col) {
    const TSortStyle style = sortOptions_->SortStyle;
    const bool caseSensitive = sortOptions_->SortCaseSensitive;
    const TSortCompare custom = style == ssCustom ? sortOptions_->SortCompare : nullptr;
    // The keys refer to the cells' texts: nothing may change the cells
    // until this pass is done, so no messages are served meanwhile. A
    // custom routine (the caller's code) is given copies instead.
    // What the sort moves is small; the keys stay in place and are read
    // only when the major numbers tie.
    struct Item {
        uint64_t major = 0;
        uint32_t kind = 0;
        uint32_t index = 0;
    };
    std::vector<TSortKey> keys(rows.size());
    std::vector<Item> items(rows.size());
    std::vector<AnsiString> copies(custom ? rows.size() : 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        keys[i] = MakeSortKey(CellText(col, rows[i]), style, caseSensitive);
        items[i] = {keys[i].major, uint32_t(keys[i].kind), uint32_t(i)};
        if (custom) copies[i] = caseSensitive ? AnsiString(keys[i].text) : LowerCase(keys[i].text);
    }
    const bool byKind = style == ssNumeric || style == ssDateTime || style == ssTime;
    const bool byMajor = style != ssNumericExtended;
    auto order = [&](const Item& a, const Item& b) {
        if (custom) {
            const int r = custom(copies[a.index], copies[b.index]);
            return (r > 0) - (r < 0);
        }
        if (byKind && a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
        if (byMajor && a.major != b.major) return a.major < b.major ? -1 : 1;
        return CompareSortKeys(keys[a.index], keys[b.index], style);
    };
    const int sign = sortOptions_->SortDirection == sdDescending ? -1 : 1;
    // Equal keys keep their order in both directions: the sort is stable
    // and only the result of the key comparison is turned round.
    StableSort(items, [&](const Item& a, const Item& b) { return sign * order(a, b) < 0; });
    std::vector<int> sorted(rows.size());
    for (size_t i = 0; i < items.size(); ++i) sorted[i] = rows[size_t(items[i].index)];
    rows.swap(sorted);
}

void TSortGrid::SortByColumn(int col) {
    if (!sortOptions_->CanSort || sorting_) return;
    sortOptions_->SortCol = col;
    // Text being typed goes to its cell before the rows move.
    HideEditor();
    HideComboList();
    sorting_ = true;
    BeginUpdate();
    int primary = col;
    {
        ScopeGuard finish([this] {
            sorting_ = false;
            sortOptions_->SortCompare = nullptr;
            EndUpdate();
        });
        if (OnSortBegin) OnSortBegin(this, primary);
        std::vector<bool> selected(size_t(RowCount()), false);
        for (int i = 0; i < selectedSet_.Count(); ++i) {
            const int64_t row = StrToIntDef(selectedSet_[i], -1);
            if (row >= 0 && row < RowCount()) selected[size_t(row)] = true;
        }
        const std::vector<int> keys = SortKeys(primary);
        const bool detect = sortOptions_->SortStyle == ssAutomatic;
        std::vector<int> rows;
        for (int r = 1; r < RowCount(); ++r) rows.push_back(r);
        // The last key first: earlier passes survive as the order of equal
        // keys of later ones, so the primary key decides first.
        for (size_t k = keys.size(); k-- > 0;) {
            Pump();
            const int keyCol = keys[k];
            if (OnGetSortStyle) {
                TSortStyle style = sortOptions_->SortStyle;
                OnGetSortStyle(this, keyCol, style);
                sortOptions_->SortStyle = style;
            } else if (detect) {
                sortOptions_->SortStyle = DetectSortStyle(keyCol);
            }
            SortRows(rows, keyCol);
        }
        PermuteRows(1, rows);
        // The selection follows its rows.
        bool first = true;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (!selected[size_t(rows[i])]) continue;
            const int row = int(i) + 1;
            if (first) {
                first = false;
                selectedSet_.Clear();
                selectedList_.Clear();
                MoveCurrent(Col(), row, true, false);
            }
            AddSelected(row);
        }
        sorting_ = false;
        sortOptions_->SortCompare = nullptr;
        if (OnSortEnd) OnSortEnd(this, primary);
    }
}

void TSortGrid::SwapRows(int a, int b) {
    if (b > a) {
        MoveRow(b, a);
        MoveRow(a + 1, b);
    } else if (a > b) {
        MoveRow(a, b);
        MoveRow(b + 1, a);
    }
}

// ---- Filtering -------------------------------------------------------------------------------

void TSortGrid::SetFiltered(bool value) {
    if (sorting_) return;
    const bool wasModified = modified_;
    const bool updating = NowUpdating();
    if (!updating) BeginUpdate();
    ScopeGuard finish([this, updating, wasModified] {
        if (!updating) EndUpdate();
        modified_ = wasModified;
    });
    // Filtering again starts from every row, so the rows hidden the first
    // time are kept (and judged again).
    if (hiddenRows_ > 0 || placeholderRow_) Unfilter();
    filtered_ = value;
    if (value && RowCount() > 1 && !RowEmpty(1)) Filter();
}

void TSortGrid::Filter() {
    std::vector<int> accepted, rejected;
    for (int r = 1; r < RowCount(); ++r) {
        const TStringList row = Rows(r).ToStringList();
        bool accept = false;
        if (OnSetFilter) OnSetFilter(row, accept);
        (accept ? accepted : rejected).push_back(r);
        if (r % kPumpEvery == 0) Pump();
    }
    std::vector<int> order = accepted;
    order.insert(order.end(), rejected.begin(), rejected.end());
    PermuteRows(1, order);
    const int hidden = int(rejected.size());
    if (!accepted.empty()) {
        SetRowCount(RowCount() - hidden);
        hiddenRows_ = hidden;
        SortByColumn(sortOptions_->SortCol);
    } else {
        // The title and one empty row stay in view; the hidden rows follow it.
        OpenRow(1);
        SetRowCount(2);
        hiddenRows_ = hidden;
        placeholderRow_ = true;
    }
    SelectGridCell(0, 1, true);
}

void TSortGrid::Unfilter() {
    const int hidden = hiddenRows_;
    hiddenRows_ = 0;
    SetRowCount(RowCount() + hidden);
    if (placeholderRow_) {
        placeholderRow_ = false;
        // Only the row the filter put there goes, and only while nobody
        // wrote into it.
        if (RowEmpty(1) && RowCount() > 2) TMyStringGrid::DeleteRow(1);
    }
    if (hidden > 0) SortByColumn(sortOptions_->SortCol);
}

// ---- Structure -------------------------------------------------------------------------------

void TSortGrid::MoveRow(int from, int to) {
    const TGridOptions options = Options();
    if (options & goAlwaysShowEditor) SetOptions(options & ~unsigned(goAlwaysShowEditor));
    ScopeGuard restore([this, options] {
        if (Options() != options) SetOptions(options);
    });
    TMyStringGrid::MoveRow(from, to);
    if (from >= 0 && to >= 0 && size_t(from) < rowFonts_.size() && size_t(to) < rowFonts_.size())
        std::swap(rowFonts_[size_t(from)], rowFonts_[size_t(to)]);
}

void TSortGrid::MoveColumn(int from, int to) {
    const TGridOptions options = Options();
    if (options & goAlwaysShowEditor) SetOptions(options & ~unsigned(goAlwaysShowEditor));
    ScopeGuard restore([this, options] {
        if (Options() != options) SetOptions(options);
    });
    TMyStringGrid::MoveColumn(from, to);
}

void TSortGrid::ColumnMoved(int from, int to) {
    if (size_t(from) < columnFonts_.size() && size_t(to) < columnFonts_.size())
        std::swap(columnFonts_[size_t(from)], columnFonts_[size_t(to)]);
    SetModified(true);
    int& sortCol = sortOptions_->SortCol;
    if (from == sortCol) sortCol = to;
    else if (to <= sortCol && sortCol <= from) ++sortCol;
    else if (from <= sortCol && sortCol <= to) --sortCol;
    TMyStringGrid::ColumnMoved(from, to);
}

void TSortGrid::InsertRow(int row) {
    if (sorting_) return;
    // Rows stored below the last one (hidden by the filter) move down with
    // the new row instead of becoming it.
    OpenRow(RowCount());
    const TGridOptions options = Options();
    if (options & goAlwaysShowEditor) SetOptions(options & ~unsigned(goAlwaysShowEditor));
    SetRowCount(RowCount() + 1);
    const int lastOld = RowCount() - 2;
    int newRow = RowCount() - 1;
    // Before the given row, unless that is the last one: then after it.
    if (row >= FixedRows() && row < lastOld) {
        MoveRow(newRow, row);
        newRow = row;
    }
    Rows(newRow).Clear();
    if (Options() != options) SetOptions(options);
    MoveCurrent(Col(), newRow, true, true);
    SelectOnly(newRow);
    if (OnRowInsert) OnRowInsert(this, newRow);
}

void TSortGrid::InsertColumn(int col) {
    if (sorting_) return;
    OpenColumn(ColCount());
    const TGridOptions options = Options();
    if (options & goAlwaysShowEditor) SetOptions(options & ~unsigned(goAlwaysShowEditor));
    SetColCount(ColCount() + 1);
    col = std::clamp(col, 0, ColCount() - 1);
    MoveColumn(ColCount() - 1, col);
    Cols(col).Clear();
    if (Options() != options) SetOptions(options);
    MoveCurrent(col, Row(), true, true);
    if (OnColumnInsert) OnColumnInsert(this, col);
}

void TSortGrid::DeleteRow(int row) {
    if (sorting_) return;
    SetModified(true);
    if (RowCount() < 3) {
        Rows(1).Clear();
    } else {
        std::vector<TFontSetting> fonts = rowFonts_;
        const TGridOptions options = Options();
        if (options & goAlwaysShowEditor) SetOptions(options & ~unsigned(goAlwaysShowEditor));
        TMyStringGrid::DeleteRow(row);
        if (Options() != options) SetOptions(options);
        if (size_t(row) < fonts.size()) fonts.erase(fonts.begin() + row);
        fonts.resize(size_t(RowCount()));
        rowFonts_ = std::move(fonts);
    }
    if (OnRowDelete) OnRowDelete(this, row);
}

void TSortGrid::DeleteColumn(int col) {
    if (sorting_) return;
    Cols(col).Clear();
    const TGridOptions options = Options();
    if (options & goAlwaysShowEditor) SetOptions(options & ~unsigned(goAlwaysShowEditor));
    TMyStringGrid::DeleteColumn(col);
    if (Options() != options) SetOptions(options);
    if (OnColumnDelete) OnColumnDelete(this, col);
}

// ---- Size ------------------------------------------------------------------------------------

void TSortGrid::SizeChanged(int oldColCount, int oldRowCount) {
    SetModified(true);
    UpdateScrollBarPages();
    if (sortOptions_->UpdateOnSizeChange) SortByColumn(sortOptions_->SortCol);
    if (!NowUpdating() && RowCount() >= 2) SelectGridCell(0, 1, true);
    ResizeSettings();
    if (RowCount() < 2) ShowMessage(SRowsizeTooSmall);
    if (OnSizeChanged) OnSizeChanged(this, oldColCount, oldRowCount);
}

void TSortGrid::ColWidthsChanged() {
    TMyStringGrid::ColWidthsChanged();
    UpdateScrollBarPages();
    if (OnColumnWidthsChanged) OnColumnWidthsChanged(this);
}

void TSortGrid::RowHeightsChanged() {
    TMyStringGrid::RowHeightsChanged();
    UpdateScrollBarPages();
    if (OnRowHeightsChanged) OnRowHeightsChanged(this);
}

void TSortGrid::TopLeftChanged() {
    TMyStringGrid::TopLeftChanged();
    UpdateScrollBarPages();
}

void TSortGrid::Resize() {
    TMyStringGrid::Resize();
    UpdateScrollBarPages();
    FillLastColumn();
}

void TSortGrid::CreateWnd() {
    TMyStringGrid::CreateWnd();
    FillLastColumn();
}

void TSortGrid::UpdateScrollBarPages() {
    if (!proportionalScrollBars_ || !HandleAllocated()) return;
    auto update = [this](int bar, int visible, int count) {
        SCROLLINFO info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        if (!GetScrollInfo(Handle(), bar, info) || info.nMax <= info.nMin || count <= 0) return;
        // The positions keep their 0..127 scale: the range grows by the
        // page, so that the last position stays reachable with the thumb.
        constexpr int kScale = 128;
        const int page = std::max(1, int((long long)visible * kScale * 2 + count) / (2 * count));
        SCROLLINFO set;
        set.fMask = SIF_RANGE | SIF_PAGE;
        set.nMin = 0;
        set.nMax = kScale - 1 + page - 1;
        set.nPage = UINT(page);
        SetScrollInfo(Handle(), bar, set, TRUE);
    };
    if (ScrollBars() == ssVertical || ScrollBars() == ssBoth) update(SB_VERT, VisibleRowCount() + 1, RowCount());
    if (ScrollBars() == ssHorizontal || ScrollBars() == ssBoth) update(SB_HORZ, VisibleColCount(), ColCount());
}

void TSortGrid::FillLastColumn() {
    if (!HandleAllocated() || ColCount() < 1) return;
    const int last = ColCount() - 1;
    // A width set since the last fill is the column's own.
    const bool widened = fillWidth_ >= 0 && ColWidths(last) == fillWidth_;
    const int base = widened ? fillBase_ : ColWidths(last);
    const TGridDrawInfo info = DrawInfo();
    if ((last > info.Horz.LastFullVisibleCell && !widened) || (last >= FixedCols() && last < LeftCol())) return;
    int before = 0, visible = 1;
    for (int c = 0; c < last; ++c) {
        if (c >= FixedCols() && c < LeftCol()) continue;
        const int w = ColWidths(c);
        if (w < 0) continue;
        before += w;
        ++visible;
    }
    // The client width: a widened column never brings up a horizontal bar,
    // nor is it made narrower than its own width.
    const int width = std::max(base, ClientWidth() - before - (visible + 3));
    if (width > 0 && width != ColWidths(last)) {
        fillBase_ = base;
        fillWidth_ = width;
        SetColWidths(last, width);
    }
    InvalidateGrid();
}

} // namespace ax
