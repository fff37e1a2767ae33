#pragma once
// A grid that keeps a text and an object reference per cell, without
// storage for empty cells: one sparse string list per row that holds
// anything, in a sparse list of rows. Rows and columns are also offered as
// string-list views.
//
// Cells beyond RowCount or ColCount stay stored when the count shrinks and
// come back when it grows (a filter relies on it); deleting a row or column
// removes its cells for good.
#include <memory>
#include <vector>

#include "controls/MyDrawGrid.h"
#include "controls/StringSparseList.h"

namespace ax {

class TMyStringGrid;

// The view of one row (index row + 1) or column (index -(col + 1)).
class TMyStringGridStrings {
public:
    TMyStringGridStrings(TMyStringGrid& grid, int index) : grid_(grid), index_(index) {}

    int Count() const;
    AnsiString Strings(int index) const;
    AnsiString operator[](int index) const { return Strings(index); }
    void PutString(int index, const AnsiString& text);
    TObject* Objects(int index) const;
    void PutObject(int index, TObject* object);
    // Puts text into the first empty item (an empty text is stored as " ");
    // -1 when every item holds text.
    int Add(const AnsiString& text);
    // Copies the first min(source count, Count) texts and objects.
    void Assign(const TStringList& source);
    void Assign(const TMyStringGridStrings& source);
    void Clear();
    // A row or column has a fixed length.
    [[noreturn]] void Insert(int index, const AnsiString& text);
    [[noreturn]] void Delete(int index);
    void BeginUpdate();
    void EndUpdate();
    // The items as a string list (texts and objects).
    TStringList ToStringList() const;

private:
    TMyStringGrid& grid_;
    int index_;
};

class TMyStringGrid : public TMyDrawGrid {
public:
    explicit TMyStringGrid(TComponent* owner);
    ~TMyStringGrid() override;
    AnsiString ClassName() const override { return "TMyStringGrid"; }

    AnsiString Cells(int col, int row) const;
    void SetCells(int col, int row, const AnsiString& text);
    TObject* Objects(int col, int row) const;
    void SetObjects(int col, int row, TObject* object);
    // Views created on first request and kept for the grid's life.
    TMyStringGridStrings& Rows(int row);
    TMyStringGridStrings& Cols(int col);

    void DeleteColumn(int col) override;
    void DeleteRow(int row) override;

protected:
    void DrawCell(int col, int row, RECT rect, TGridDrawState state) override;
    AnsiString GetEditText(int col, int row) override;
    void SetEditText(int col, int row, const AnsiString& value) override;
    void ColumnMoved(int from, int to) override;
    void RowMoved(int from, int to) override;

    // The stored text of a cell, without a copy.
    const AnsiString& CellText(int col, int row) const;
    // Storage of whole rows and columns, whatever the counts say.
    // Makes an empty stored row at index; the rows from there up move one up.
    void OpenRow(int index);
    // Removes the stored row at index; the rows above move one down.
    void CloseRow(int index);
    void OpenColumn(int index);
    void CloseColumn(int index);
    // Row first + i takes what row sources[i] held (a permutation of
    // first .. first + sources.size() - 1).
    void PermuteRows(int first, const std::vector<int>& sources);
    // Whether every cell of the row is empty.
    bool RowEmpty(int row) const;
    // Repaints once at the end instead of once per cell.
    void SetUpdateState(bool updating);

private:
    friend class TMyStringGridStrings;
    TStringSparseList* RowList(int row) const;
    TStringSparseList& EnsureRowList(int row);
    // Repaints a changed cell, or marks the grid for it while updating.
    void CellChanged(int col, int row);

    TSPAQuantum colQuantum_, rowQuantum_;
    TSparseList<TStringSparseList> data_;
    TSparseList<TMyStringGridStrings> rowViews_, colViews_;
    bool updating_ = false;
    bool needsUpdating_ = false;
    int editUpdate_ = 0;
};

} // namespace ax
