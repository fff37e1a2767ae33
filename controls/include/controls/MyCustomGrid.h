#pragma once
// The grid engine: a custom control that lays out, paints, scrolls, selects,
// sizes and moves the cells of a grid with fixed rows and columns, and hosts
// an in-place editor. Cell contents come from the draw-cell operation of a
// descendant (TMyDrawGrid, TMyStringGrid, TSortGrid).
//
// A right-to-left grid (BiDiMode bdRightToLeft) has column 0 at the right:
// it paints under the mirrored mapping with the same drawing code, and
// mirrors the horizontal positions it takes (clicks) and gives (CellRect,
// the editor's place) against the client width, its Left and Right keys
// and its horizontal scroll bar.
//
// Update brackets nest: BeginUpdate disables the control, shows the hour
// glass and locks the grid's own window; the outermost EndUpdate applies the
// size changes held back meanwhile and undoes the rest.
#include <memory>
#include <optional>
#include <vector>

#include "controls/GridLayout.h"
#include "controls/GridTypes.h"
#include "controls/InplaceEdit.h"
#include "framework/controls.h"
#include "stdctrls/common.h"

namespace ax {

class TMyCustomGrid : public TCustomControl {
public:
    explicit TMyCustomGrid(TComponent* owner);
    ~TMyCustomGrid() override;
    AnsiString ClassName() const override { return "TMyCustomGrid"; }
    void DefinePublished(TFiler& filer) override;
    void DefineProperties(TFiler& filer) override;

    // ---- Dimensions --------------------------------------------------------------------
    int ColCount() const { return colCount_; }
    void SetColCount(int value);
    int RowCount() const { return rowCount_; }
    void SetRowCount(int value);
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int value);
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int value);
    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultColWidth(int value);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int value);
    // -1 hides a column or row.
    int ColWidths(int index) const;
    void SetColWidths(int index, int value);
    int RowHeights(int index) const;
    void SetRowHeights(int index, int value);
    bool TabStops(int index) const;
    void SetTabStops(int index, bool value);

    // ---- Look --------------------------------------------------------------------------
    TColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(TColor value);
    int GridLineWidth() const { return gridLineWidth_; }
    void SetGridLineWidth(int value);
    TGridOptions Options() const { return options_; }
    virtual void SetOptions(TGridOptions value);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle value);
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool value);

    // ---- Current cell, selection, view -------------------------------------------------
    int Col() const { return current_.X; }
    void SetCol(int value);
    int Row() const { return current_.Y; }
    void SetRow(int value);
    int LeftCol() const { return topLeft_.X; }
    void SetLeftCol(int value);
    int TopRow() const { return topLeft_.Y; }
    void SetTopRow(int value);
    TGridRect Selection() const;
    void SetSelection(const TGridRect& value);
    // Scrolling cells fully in view.
    int VisibleColCount();
    int VisibleRowCount();
    TGridState GridState() const { return gridState_; }

    // ---- Editor ------------------------------------------------------------------------
    bool EditorMode() const { return editorMode_; }
    void SetEditorMode(bool value);
    TInplaceEdit* InplaceEditor() const { return inplaceEdit_; }

    // ---- Geometry ----------------------------------------------------------------------
    TGridCoord MouseCoord(int x, int y);
    void MouseToCell(int x, int y, int& col, int& row);
    // The cell's client rectangle; empty when it is not in view.
    RECT CellRect(int col, int row);
    // Column 0 is at the right.
    bool RightToLeftLayout() const { return UseRightToLeftAlignment(); }
    // The layout the grid paints with now.
    TGridDrawInfo DrawInfo();

    // ---- Structure ---------------------------------------------------------------------
    virtual void MoveColumn(int from, int to);
    virtual void MoveRow(int from, int to);
    virtual void DeleteColumn(int col);
    virtual void DeleteRow(int row);
    // Inserts (amount > 0) or deletes (amount < 0) rows or columns at index.
    virtual void AdjustCellCount(int index, int amount, bool rows);

    void InvalidateCell(int col, int row);
    void InvalidateCol(int col);
    void InvalidateRow(int row);
    void InvalidateGrid() { Invalidate(); }

    virtual void BeginUpdate();
    virtual void EndUpdate();
    bool NowUpdating() const { return nowUpdating_; }

    TNotifyEvent OnBeginUpdate;

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Paint() override;
    LRESULT DialogCode() override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyPress(char& key) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

    // ---- What descendants decide ----------------------------------------------------
    virtual void DrawCell(int /*col*/, int /*row*/, RECT /*rect*/, TGridDrawState /*state*/) {}
    virtual bool SelectCell(int /*col*/, int /*row*/) { return true; }
    virtual AnsiString GetEditText(int /*col*/, int /*row*/) { return {}; }
    virtual void SetEditText(int /*col*/, int /*row*/, const AnsiString& /*value*/) {}
    virtual AnsiString GetEditMask(int /*col*/, int /*row*/) { return {}; }
    // 0: no limit, -1: the cell is read-only.
    virtual int GetEditLimit() { return 0; }
    virtual bool CanEditModify() { return canEditModify_; }
    virtual bool CanEditShow();
    virtual bool CanGridAcceptKey(WORD /*key*/, TShiftState /*shift*/) { return true; }
    virtual bool BeginColumnDrag(int& /*origin*/, int& /*destination*/, POINT /*mouse*/) { return true; }
    virtual bool BeginRowDrag(int& /*origin*/, int& /*destination*/, POINT /*mouse*/) { return true; }
    virtual bool CheckColumnDrag(int& /*origin*/, int& /*destination*/, POINT /*mouse*/) { return true; }
    virtual bool CheckRowDrag(int& /*origin*/, int& /*destination*/, POINT /*mouse*/) { return true; }
    virtual bool EndColumnDrag(int& /*origin*/, int& /*destination*/, POINT /*mouse*/) { return true; }
    virtual bool EndRowDrag(int& /*origin*/, int& /*destination*/, POINT /*mouse*/) { return true; }
    virtual std::unique_ptr<TInplaceEdit> CreateEditor();
    // Notifications.
    virtual void ColumnMoved(int /*from*/, int /*to*/) {}
    virtual void RowMoved(int /*from*/, int /*to*/) {}
    virtual void ColWidthsChanged();
    virtual void RowHeightsChanged();
    virtual void SizeChanged(int /*oldColCount*/, int /*oldRowCount*/) {}
    virtual void TopLeftChanged();
    // After the editor's text went back to its cell and the editor closed.
    virtual void EditEnded() {}
    virtual bool DoMouseWheelDown(TShiftState shift, POINT mouse);
    virtual bool DoMouseWheelUp(TShiftState shift, POINT mouse);

    // ---- Engine operations descendants call ------------------------------------------
    void MoveCurrent(int col, int row, bool moveAnchor, bool show);
    void MoveAnchor(TGridCoord anchor);
    void FocusCell(int col, int row, bool moveAnchor);
    void MoveTopLeft(int left, int top);
    void ScrollIntoView(int col, int row);
    void ShowEditor();
    void HideEditor();
    void ShowEditorChar(char c);
    void InvalidateEditor();
    void UpdateEdit();
    void HideEdit();
    // The editor's text changed: it goes to the cell at once.
    void UpdateText();
    bool IsActiveControl();
    void InvalidateRect(const TGridRect& rect);
    RECT BoxRect(int left, int top, int right, int bottom);
    TGridCoord CalcMaxTopLeft(TGridCoord start, const TGridDrawInfo& info) const;
    void UpdateScrollPos();
    void UpdateScrollRange();
    // fromBar: the command comes from the window's scroll bar (whose
    // horizontal direction a right-to-left grid turns round), not a drag.
    void ModifyScrollBar(int bar, int code, int pos, bool fromBar = true);
    // Paints under the mirrored mapping (x growing to the left) or back under
    // the plain one.
    void MirrorCanvas(bool on);
    bool CanvasMirrored() const { return canvasMirrored_; }
    // Size change to new counts; applied at once or at the outermost EndUpdate.
    void ChangeSize(int newColCount, int newRowCount);
    // Whether the editor covers the current cell now.
    bool EditorShowing();

    TGridCoord current_{1, 1};
    TGridCoord anchor_{1, 1};
    TGridCoord topLeft_{1, 1};
    int colOffset_ = 0; // pixel offset of a one-column grid

private:
    friend class TInplaceEdit;
    int ExtentOf(const std::optional<std::vector<int>>& extents, int index, int fallback) const;
    void SetExtent(std::optional<std::vector<int>>& extents, int index, int value, int fallback, bool rows);
    void ResizeExtents(std::optional<std::vector<int>>& extents, int newCount, int fallback);
    void CalcFixedInfo(TGridDrawInfo& info);
    void CalcDrawInfoXY(TGridDrawInfo& info, int width, int height);
    void ApplySize(int oldColCount, int oldRowCount, const std::optional<TGridDrawInfo>& oldInfo);
    void InitCoords();
    void TopLeftMoved(TGridCoord oldTopLeft);
    void ScrollData(int dx, int dy);
    void ScrollPixels(int code, int pos, int factor = 1);
    int ScrollStep(bool horizontal, int code, int pos, const TGridDrawInfo& info, int factor) const;
    // A client x as the layout sees it: mirrored in a right-to-left grid.
    int LayoutX(int x);
    void ClampInView(TGridCoord coord);
    void InvalidateSelectionChange(const TGridRect& oldSel);
    // Keyboard navigation; Tab wrap.
    void TabMove(TGridCoord& cell, bool forward) const;
    // Mouse sizing and moving.
    void CalcSizingState(int x, int y, const TGridDrawInfo& info);
    void DrawSizingLine(const TGridDrawInfo& info);
    void DrawMove();
    void MoveAndScroll(int mouse, int cellHit, TGridDrawInfo& info, TGridAxisDrawInfo& axis,
                       int scrollBar, POINT mousePt);
    void TimedScroll(unsigned direction);
    void CancelMode();
    // The editor lost the focus to `to`.
    void EditorFocusLost(HWND to);
    void PaintLines(const TGridDrawInfo& info);
    void PaintCells(const TGridDrawInfo& info, const RECT& clip);
    void DrawCells(const TGridDrawInfo& info, int col, int row, int startX, int startY, int stopX, int stopY,
                   TColor color, TGridDrawState include, const RECT& clip);

    int colCount_ = 0, rowCount_ = 0;
    int fixedCols_ = 1, fixedRows_ = 1;
    int defaultColWidth_ = 64, defaultRowHeight_ = 24;
    std::optional<std::vector<int>> colWidths_, rowHeights_, tabStops_;
    TColor fixedColor_ = clBtnFace;
    int gridLineWidth_ = 1;
    TGridOptions options_ = kDefaultGridOptions;
    TBorderStyle borderStyle_ = bsSingle;
    TScrollStyle scrollBars_ = ssBoth;
    bool defaultDrawing_ = true;
    bool saveCellExtents_ = true;

    TGridState gridState_ = gsNormal;
    int sizingIndex_ = -1, sizingPos_ = 0, sizingOfs_ = 0;
    int moveIndex_ = -1, movePos_ = -1;

    bool editorMode_ = false;
    TInplaceEdit* inplaceEdit_ = nullptr; // owned as a component
    TGridCoord editCell_{-1, -1};
    bool canEditModify_ = true;

    bool nowUpdating_ = false;
    HWND lockedWindow_ = nullptr;
    bool focusAtUpdate_ = false;
    bool canvasMirrored_ = false;
};

} // namespace ax
