#pragma once
// The tree's header: its columns, the main column (the one showing the tree
// structure), the sort column and direction, its height and options. It
// sits in the tree's non-client area above the client; header coordinates
// have 0,0 at the header's top-left corner.
#include <memory>

#include "framework/controls.h"
#include "vtree/DataTreeColumns.h"

namespace ax {

class TBaseDataTree;

using THeaderStates = uint32_t;
enum THeaderState : THeaderStates {
    hsDragPending = 0x01, // a column is pressed; moving far enough drags it
    hsDragging = 0x02,    // a column is being moved to another position
    hsResizing = 0x04,    // a column divider is being dragged
    hsPressed = 0x08,     // a column is pressed for a click
};

class TDTHeader : public TPersistent {
public:
    explicit TDTHeader(TBaseDataTree* owner);
    ~TDTHeader() override;
    AnsiString ClassName() const override { return "TDTHeader"; }
    TPersistent* GetOwner() const override;
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    TBaseDataTree* Treeview() const { return owner_; }

    TDataTreeColumns& Columns() { return *columns_; }
    const TDataTreeColumns& Columns() const { return *columns_; }
    // The column that shows the tree; NoColumn while there are no columns.
    TColumnIndex MainColumn() const;
    void SetMainColumn(TColumnIndex column);
    TColumnIndex SortColumn() const { return sortColumn_; }
    void SetSortColumn(TColumnIndex column);
    TSortDirection SortDirection() const { return sortDirection_; }
    void SetSortDirection(TSortDirection direction);
    int Height() const { return height_; }
    void SetHeight(int height);
    THeaderOptions Options() const { return options_; }
    void SetOptions(THeaderOptions options);
    THeaderStates States() const { return states_; }
    // Shown: the visible option is set and there is at least one column.
    bool Showing() const;

    // Whether the columns are written with the tree's description; a
    // descendant that builds its columns itself answers false.
    virtual bool CanWriteColumns() const { return true; }

    // Repaints the header now (it lives outside the client area).
    void Invalidate();
    // The column under a header point, NoColumn when none; onDivider tells
    // whether the point lies on the column's right edge.
    TColumnIndex ColumnAt(POINT headerPoint, bool* onDivider = nullptr) const;

    static constexpr THeaderOptions DefaultOptions = hoColumnResize | hoDrag | hoShowSortGlyphs;
    static constexpr int kDividerTolerance = 3;
    static constexpr int kDragThreshold = 5;

    // Driven by the tree: mouse input at header coordinates. True when the
    // header took the message.
    bool HandleMouse(UINT msg, TShiftState shift, POINT headerPoint);
    bool Tracking() const { return (states_ & (hsDragPending | hsDragging | hsResizing | hsPressed)) != 0; }
    void CancelTracking();
    // The cursor over a header point.
    TCursor CursorAt(POINT headerPoint) const;
    void Paint(HDC dc, const RECT& headerRect);
    // A column is about to go: indexes that name it or follow it are moved.
    void ColumnDeleting(TColumnIndex column);

private:
    void PaintColumn(HDC dc, TColumnIndex column, const RECT& r, bool pressed);
    void LeftPress(POINT p, bool doubleClick);
    void Track(POINT p);
    void LeftRelease(TShiftState shift, POINT p);
    void RightRelease(TShiftState shift, POINT p);
    TBaseDataTree* owner_;
    std::unique_ptr<TDataTreeColumns> columns_;
    TColumnIndex mainColumn_ = 0;
    TColumnIndex sortColumn_ = NoColumn;
    TSortDirection sortDirection_ = sdAscending;
    int height_ = 17;
    THeaderOptions options_ = DefaultOptions;
    THeaderStates states_ = 0;
    // Tracking.
    TColumnIndex trackColumn_ = NoColumn;
    TMouseButton trackButton_ = mbLeft;
    POINT trackStart_{};
    int trackStartWidth_ = 0;
    TColumnIndex dropColumn_ = NoColumn;
};

} // namespace ax
