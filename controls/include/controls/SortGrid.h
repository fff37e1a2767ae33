#pragma once
// The sort grid: a string grid that sorts by a column (with secondary key
// columns and a stable order of equal keys), filters rows through a
// callback, draws check-box, drop-down and ellipsis cells chosen per cell,
// formats cells by callback, keeps a multi-selection of rows, inserts and
// deletes rows and columns from the keyboard, searches by first letter and
// validates edited cells. The backup window's mask grid is one.
//
// Filtered rows are kept stored below the last visible row; inserting and
// deleting rows while filtered keeps them there.
#include <memory>
#include <optional>
#include <vector>

#include "controls/MyStringGrid.h"
#include "controls/SortCompare.h"
#include "framework/menus.h"
#include "stdctrls/common.h"
#include "stdctrls/listbox.h"

namespace ax {

class TSortGrid;

class TSortOptions : public TPersistent {
public:
    AnsiString ClassName() const override { return "TSortOptions"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;

    // Secondary key columns as comma text ("2,0").
    AnsiString SecondaryIndex;
    bool CanSort = true;
    TSortStyle SortStyle = ssNormal;
    bool SortCaseSensitive = false;
    int SortCol = 0;
    TSortDirection SortDirection = sdAscending;
    // Used by ssCustom; cleared after every sort.
    TSortCompare SortCompare;
    // Sort again by SortCol after every size change of the grid.
    bool UpdateOnSizeChange = false;
};

enum TMyPrintRange { prAll, prSelected };

// Kept for the application; nothing in the system prints a grid.
class TPrintOptions : public TPersistent {
public:
    AnsiString ClassName() const override { return "TPrintOptions"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    AnsiString JobTitle, PageTitle;
    int Copies = 1;
    TMyPrintRange PrintRange = prAll;
    int PreviewPage = 0, FromRow = 0, ToRow = 0;
};

struct TFontSetting {
    TColor FontColor = clWindowText;
    TColor BrushColor = clWindow;
    bool Bold = false, Italic = false, Underline = false;
    bool InUse = false;
};

enum TVertAlignment { taTopJustify, taBottomJustify, taMiddle };
enum TCellBevelStyle { cbNone, cbRaised, cbLowered };

struct TFormatOptions {
    TBrush* Brush = nullptr; // the canvas brush
    TFont* Font = nullptr;   // the canvas font
    TAlignment AlignmentHorz = taLeftJustify;
    TVertAlignment AlignmentVert = taTopJustify;
    TCellBevelStyle Bevel = cbNone;
    TColor UpperLeftColor = clWindow, LowerRightColor = clWindow;
    bool HideText = false;
};

using TUpdateGridEvent = std::function<void(TObject* Sender, int ARow)>;
using TColumnGridEvent = std::function<void(TObject* Sender, int ACol)>;
using TSizeChangedEvent = std::function<void(TObject* Sender, int OldColCount, int OldRowCount)>;
using TFormatDrawCellEvent =
    std::function<void(TObject* Sender, int Col, int Row, TGridDrawState State, TFormatOptions& FormatOptions,
                       bool& CheckBox, bool& Combobox, bool& Ellipsis)>;
using TSetFilterEvent = std::function<void(const TStringList& ARows, bool& Accept)>;
using TGetSortStyleEvent = std::function<void(TObject* Sender, int Col, TSortStyle& SortStyle)>;
using TCellValidateEvent = std::function<void(TObject* Sender, int ACol, int ARow, const AnsiString& OldValue,
                                              AnsiString& NewValue, bool& Valid)>;
using TSetChecked = std::function<void(TObject* Sender, int ACol, int ARow, bool State)>;
using TGetCombobox = std::function<void(TObject* Sender, int ACol, int ARow, TStringList& Strs, int& Width,
                                        int& Height, bool& Sorted)>;
using TSetCombobox = std::function<void(TObject* Sender, int ACol, int ARow, const AnsiString& Text)>;
using TSetEllipsis = std::function<void(TObject* Sender, int ACol, int ARow)>;
using TSortBeginEvent = std::function<void(TObject* Sender, int& Col)>;
using TSortEndEvent = std::function<void(TObject* Sender, int Col)>;

inline constexpr const char* SRowsizeTooSmall = "Rowsize too small";

class TSortGrid : public TMyStringGrid {
public:
    explicit TSortGrid(TComponent* owner);
    ~TSortGrid() override;
    AnsiString ClassName() const override { return "TSortGrid"; }
    void DefinePublished(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;

    TSortOptions& SortOptions() { return *sortOptions_; }
    void SetSortOptions(const TSortOptions& options) { sortOptions_->Assign(&options); }
    TPrintOptions& PrintOptions() { return *printOptions_; }
    void SetPrintOptions(const TPrintOptions& options) { printOptions_->Assign(&options); }

    // The grid's own menu, shown by a right click in a data row.
    TPopupMenu* PopupMenu() const { return popup_; }
    void SetPopupMenu(TPopupMenu* menu);

    bool HideRows() const { return hideRows_; }
    void SetHideRows(bool value);
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool value);
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool value);
    TStringList& UserSettings() { return *userSettings_; }
    void SetUserSettings(const TStringList& settings);
    TAlignment AlignmentHorz() const { return alignmentHorz_; }
    void SetAlignmentHorz(TAlignment value);
    TVertAlignment AlignmentVert() const { return alignmentVert_; }
    void SetAlignmentVert(TVertAlignment value);
    TCellBevelStyle BevelStyle() const { return bevelStyle_; }
    void SetBevelStyle(TCellBevelStyle value);
    bool ProportionalScrollBars() const { return proportionalScrollBars_; }
    void SetProportionalScrollBars(bool value);
    bool ExtendedKeys() const { return extendedKeys_; }
    void SetExtendedKeys(bool value) { extendedKeys_ = value; }
    bool Modified() const { return modified_; }
    void SetModified(bool value);
    // Rows hidden by the filter (stored below the last row).
    int HiddenRowCount() const { return hiddenRows_; }

    // Settings per column and row (an in-use setting is drawn).
    TFontSetting& ColumnSetting(int col) { return columnFonts_.at(size_t(col)); }
    TFontSetting& RowSetting(int row) { return rowFonts_.at(size_t(row)); }

    void SortByColumn(int col);
    TSortStyle DetectSortStyle(int col);
    void SwapRows(int a, int b);
    void MoveRow(int from, int to) override;
    void MoveColumn(int from, int to) override;
    void InsertRow(int row);
    void InsertColumn(int col);
    void DeleteRow(int row) override;
    void DeleteColumn(int col) override;
    void BeginUpdate() override;
    void EndUpdate() override;

    void SelectGridCell(int col, int row, bool scrollIntoView);
    bool CellChecked(int col, int row);
    void SetCellChecked(int col, int row, bool state);
    void AutoSizeColumn(int col, bool force);
    // The format and kind of a cell, as drawing sees it.
    TFormatOptions GetCellFormat(int col, int row, bool& checkBox, bool& combobox, bool& ellipsis);

    // The multi-selection: rows in the order they were selected.
    bool IsRowSelected(int row) const;
    std::vector<int> SelectedRows() const;
    // The drop-down list while a drop-down cell is open (tests, hosts).
    TListBox* ComboList() const { return comboList_; }

    TNotifyEvent OnModified;
    TNotifyEvent OnRowSelected;
    TNotifyEvent OnEndUpdate;
    TUpdateGridEvent OnRowInsert;
    TUpdateGridEvent OnRowDelete;
    TColumnGridEvent OnColumnInsert;
    TColumnGridEvent OnColumnDelete;
    TNotifyEvent OnColumnWidthsChanged;
    TNotifyEvent OnRowHeightsChanged;
    TSizeChangedEvent OnSizeChanged;
    TFormatDrawCellEvent OnGetCellFormat;
    TSetFilterEvent OnSetFilter;
    TSetFilterEvent OnSearch;
    TGetSortStyleEvent OnGetSortStyle;
    TCellValidateEvent OnCellValidate;
    TSetChecked OnSetChecked;
    TGetCombobox OnGetComboBox;
    TSetCombobox OnSetComboBox;
    TSetEllipsis OnSetEllipsis;
    TSortBeginEvent OnSortBegin;
    TSortEndEvent OnSortEnd;

    void Dispatch(TMessage& message) override;

protected:
    void DrawCell(int col, int row, RECT rect, TGridDrawState state) override;
    bool SelectCell(int col, int row) override;
    AnsiString GetEditText(int col, int row) override;
    void SetEditText(int col, int row, const AnsiString& value) override;
    void ColumnMoved(int from, int to) override;
    void ColWidthsChanged() override;
    void RowHeightsChanged() override;
    void SizeChanged(int oldColCount, int oldRowCount) override;
    void TopLeftChanged() override;
    void EditEnded() override;
    void Resize() override;
    void CreateWnd() override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyUp(WORD& key, TShiftState shift) override;
    void KeyPress(char& key) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void DoEndDrag(TObject* target, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    bool DoMouseWheelDown(TShiftState shift, POINT mouse) override;
    bool DoMouseWheelUp(TShiftState shift, POINT mouse) override;

private:
    using TMyStringGrid::SetFixedRows; // read-only here

    // Sorting and filtering.
    std::vector<int> SortKeys(int primary) const;
    void SortRows(std::vector<int>& rows, int col);
    void Filter();
    void Unfilter();
    // Cells and drawing.
    void DrawCellText(int col, int row, const RECT& rect, TFormatOptions& format, bool hideText);
    void DrawCellGlyphs(int col, int row, const RECT& rect, bool check, bool combo, bool ellipsis);
    void DrawBevel(const RECT& rect, const TFormatOptions& format);
    void ApplyRowColours(int col, int row, TFormatOptions& format);
    // Drop-down list.
    bool ShowComboList(int col, int row);
    void HideComboList();
    void CommitComboList();
    // Selection.
    void SelectOnly(int row);
    void AddSelected(int row);
    void RemoveSelected(int row);
    void RowSelected();
    void ScrollRowIntoView(int row);
    // Validation.
    void RememberEditStart();
    void ValidateCell();
    void IncrementalSearch(char c);
    void UpdateScrollBarPages();
    void FillLastColumn();
    void ResizeSettings();
    bool Busy() const { return sorting_; }

    std::unique_ptr<TSortOptions> sortOptions_;
    std::unique_ptr<TPrintOptions> printOptions_;
    std::unique_ptr<TStringList> userSettings_;
    std::vector<TFontSetting> columnFonts_, rowFonts_;
    TPopupMenu* popup_ = nullptr;
    TListBox* comboList_ = nullptr; // owned as a component
    TGridCoord comboCell_{-1, -1};

    bool hideRows_ = false;
    bool filtered_ = false;
    bool multiSelect_ = false;
    TAlignment alignmentHorz_ = taLeftJustify;
    TVertAlignment alignmentVert_ = taTopJustify;
    TCellBevelStyle bevelStyle_ = cbNone;
    bool proportionalScrollBars_ = false;
    bool extendedKeys_ = false;

    bool modified_ = false;
    int hiddenRows_ = 0;
    bool placeholderRow_ = false; // the empty row shown when the filter accepted nothing
    TStringList selectedSet_;     // sorted decimal row numbers
    TStringList selectedList_;    // the same, in selection order
    TGridCoord mouseDownCell_{-1, -1};
    POINT mouseDownPoint_{-1, -1};
    bool dragging_ = false;
    bool reselectPending_ = false;
    bool sorting_ = false;
    // UpdateOnSizeChange as it was when the running update began.
    std::optional<bool> savedUpdateOnSizeChange_;
    // The last column's width before the grid widened it to fill the client
    // area, and the width it gave (-1: not widened); a narrower grid takes
    // the widening back.
    int fillBase_ = -1, fillWidth_ = -1;

    struct EditStart {
        int col = -1, row = -1;
        AnsiString text;
        bool modified = false;
    } editStart_;
};

} // namespace ax
