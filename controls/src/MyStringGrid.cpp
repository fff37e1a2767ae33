// The string grid: sparse cell storage, row and column views, edit text.
#include "controls/MyStringGrid.h"
#include "rtl/scopeguard.h"

#include <algorithm>

namespace ax {

// ---- Views -----------------------------------------------------------------------------------

int TMyStringGridStrings::Count() const { return index_ > 0 ? grid_.ColCount() : grid_.RowCount(); }

AnsiString TMyStringGridStrings::Strings(int index) const {
    if (index_ == 0) return {};
    return index_ > 0 ? grid_.Cells(index, index_ - 1) : grid_.Cells(-index_ - 1, index);
}

void TMyStringGridStrings::PutString(int index, const AnsiString& text) {
    if (index_ == 0) return;
    if (index_ > 0) grid_.SetCells(index, index_ - 1, text);
    else grid_.SetCells(-index_ - 1, index, text);
}

TObject* TMyStringGridStrings::Objects(int index) const {
    if (index_ == 0) return nullptr;
    return index_ > 0 ? grid_.Objects(index, index_ - 1) : grid_.Objects(-index_ - 1, index);
}

void TMyStringGridStrings::PutObject(int index, TObject* object) {
    if (index_ == 0) return;
    if (index_ > 0) grid_.SetObjects(index, index_ - 1, object);
    else grid_.SetObjects(-index_ - 1, index, object);
}

int TMyStringGridStrings::Add(const AnsiString& text) {
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (Strings(i).empty()) {
            PutString(i, text.empty() ? " " : text);
            return i;
        }
    }
    return -1;
}

void TMyStringGridStrings::Assign(const TStringList& source) {
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    const int n = std::min(source.Count(), Count());
    for (int i = 0; i < n; ++i) {
        PutString(i, source[i]);
        PutObject(i, source.Objects(i));
    }
}

void TMyStringGridStrings::Assign(const TMyStringGridStrings& source) { Assign(source.ToStringList()); }

void TMyStringGridStrings::Clear() {
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        PutString(i, "");
        PutObject(i, nullptr);
    }
}

void TMyStringGridStrings::Insert(int, const AnsiString&) { throw EInvalidGridOperation(SCannotInsertOrDelete); }
void TMyStringGridStrings::Delete(int) { throw EInvalidGridOperation(SCannotInsertOrDelete); }

void TMyStringGridStrings::BeginUpdate() { grid_.SetUpdateState(true); }
void TMyStringGridStrings::EndUpdate() { grid_.SetUpdateState(false); }

TStringList TMyStringGridStrings::ToStringList() const {
    TStringList list;
    const int count = Count();
    for (int i = 0; i < count; ++i) list.AddObject(Strings(i), Objects(i));
    return list;
}

// ---- The grid --------------------------------------------------------------------------------

TMyStringGrid::TMyStringGrid(TComponent* owner)
    : TMyDrawGrid(owner),
      colQuantum_(ColCount() > 512 ? SPALarge : SPASmall),
      rowQuantum_(RowCount() > 256 ? SPALarge : SPASmall),
      data_(rowQuantum_),
      rowViews_(rowQuantum_),
      colViews_(colQuantum_) {}

TMyStringGrid::~TMyStringGrid() = default;

TStringSparseList* TMyStringGrid::RowList(int row) const { return row < 0 ? nullptr : data_.Get(row); }

TStringSparseList& TMyStringGrid::EnsureRowList(int row) {
    if (TStringSparseList* list = data_.Get(row)) return *list;
    auto made = std::make_unique<TStringSparseList>(colQuantum_);
    TStringSparseList& ref = *made;
    data_.Put(row, std::move(made));
    return ref;
}

AnsiString TMyStringGrid::Cells(int col, int row) const {
    const TStringSparseList* list = RowList(row);
    return list && col >= 0 ? list->Get(col) : AnsiString();
}

const AnsiString& TMyStringGrid::CellText(int col, int row) const {
    static const AnsiString empty;
    const TStringSparseList* list = RowList(row);
    return list && col >= 0 ? list->Ref(col) : empty;
}

void TMyStringGrid::SetCells(int col, int row, const AnsiString& text) {
    if (col < 0 || row < 0) throw EInvalidGridOperation(SGridIndexOutOfRange);
    TStringSparseList* list = RowList(row);
    if (!list && text.empty()) return; // nothing stored, nothing to store
    EnsureRowList(row).Put(col, text);
    CellChanged(col, row);
}

TObject* TMyStringGrid::Objects(int col, int row) const {
    const TStringSparseList* list = RowList(row);
    return list && col >= 0 ? list->GetObject(col) : nullptr;
}

void TMyStringGrid::SetObjects(int col, int row, TObject* object) {
    if (col < 0 || row < 0) throw EInvalidGridOperation(SGridIndexOutOfRange);
    if (!RowList(row) && !object) return;
    EnsureRowList(row).PutObject(col, object);
    CellChanged(col, row);
}

TMyStringGridStrings& TMyStringGrid::Rows(int row) {
    if (TMyStringGridStrings* view = rowViews_.Get(row)) return *view;
    auto made = std::make_unique<TMyStringGridStrings>(*this, row + 1);
    TMyStringGridStrings& ref = *made;
    rowViews_.Put(row, std::move(made));
    return ref;
}

TMyStringGridStrings& TMyStringGrid::Cols(int col) {
    if (TMyStringGridStrings* view = colViews_.Get(col)) return *view;
    auto made = std::make_unique<TMyStringGridStrings>(*this, -(col + 1));
    TMyStringGridStrings& ref = *made;
    colViews_.Put(col, std::move(made));
    return ref;
}

void TMyStringGrid::CellChanged(int col, int row) {
    if (updating_) needsUpdating_ = true;
    else InvalidateCell(col, row);
    if (col == Col() && row == Row() && editUpdate_ == 0) InvalidateEditor();
}

void TMyStringGrid::SetUpdateState(bool updating) {
    updating_ = updating;
    if (updating) {
        needsUpdating_ = false;
    } else if (needsUpdating_) {
        needsUpdating_ = false;
        InvalidateGrid();
    }
}

void TMyStringGrid::DrawCell(int col, int row, RECT rect, TGridDrawState state) {
    if (DefaultDrawing()) Canvas().TextRect(rect, rect.left + 2, rect.top + 2, Cells(col, row));
    TMyDrawGrid::DrawCell(col, row, rect, state);
}

AnsiString TMyStringGrid::GetEditText(int col, int row) {
    AnsiString value = Cells(col, row);
    if (OnGetEditText) OnGetEditText(this, col, row, value);
    return value;
}

void TMyStringGrid::SetEditText(int col, int row, const AnsiString& value) {
    ++editUpdate_;
    ScopeGuard done([this] { --editUpdate_; });
    if (value != Cells(col, row)) SetCells(col, row, value);
    TMyDrawGrid::SetEditText(col, row, value);
}

void TMyStringGrid::ColumnMoved(int from, int to) {
    data_.ForAll([from, to](int, TStringSparseList& row) {
        row.Move(from, to);
        return 0;
    });
    InvalidateGrid();
    TMyDrawGrid::ColumnMoved(from, to);
}

void TMyStringGrid::RowMoved(int from, int to) {
    data_.Move(from, to);
    InvalidateGrid();
    TMyDrawGrid::RowMoved(from, to);
}

// ---- Whole rows and columns ------------------------------------------------------------------

void TMyStringGrid::DeleteRow(int row) {
    TMyDrawGrid::DeleteRow(row);
    // The deleted row now sits just past the last row: it goes, and what
    // is stored beyond (hidden rows) closes up behind the grid.
    CloseRow(RowCount());
}

void TMyStringGrid::DeleteColumn(int col) {
    TMyDrawGrid::DeleteColumn(col);
    CloseColumn(ColCount());
}

void TMyStringGrid::OpenRow(int index) {
    if (index < data_.Count()) data_.Insert(index, nullptr);
}

void TMyStringGrid::CloseRow(int index) {
    if (index < data_.Count()) data_.Delete(index);
}

void TMyStringGrid::OpenColumn(int index) {
    data_.ForAll([index](int, TStringSparseList& row) {
        if (index < row.Count()) row.Insert(index, "");
        return 0;
    });
}

void TMyStringGrid::CloseColumn(int index) {
    data_.ForAll([index](int, TStringSparseList& row) {
        if (index < row.Count()) row.Delete(index);
        return 0;
    });
}

void TMyStringGrid::PermuteRows(int first, const std::vector<int>& sources) {
    std::vector<std::unique_ptr<TStringSparseList>> taken(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) taken[i] = data_.Take(first + int(i));
    for (size_t i = 0; i < sources.size(); ++i) {
        const size_t from = size_t(sources[i] - first);
        Assert(from < taken.size(), "PermuteRows: source outside the range");
        data_.Put(first + int(i), std::move(taken[from]));
    }
    if (updating_) needsUpdating_ = true;
    else InvalidateGrid();
}

bool TMyStringGrid::RowEmpty(int row) const {
    const TStringSparseList* list = RowList(row);
    if (!list) return true;
    for (int c = 0; c < ColCount(); ++c)
        if (!list->Ref(c).empty()) return false;
    return true;
}

} // namespace ax
