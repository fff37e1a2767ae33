#pragma once
// The header's columns. A column has an index (its place in the
// collection, which events and node texts use) and a position (its place
// on the screen); positions are always 0 .. Count - 1.
#include <vector>

#include "framework/classes.h"
#include "stdctrls/common.h"
#include "vtree/DataTreeTypes.h"

namespace ax {

class TDTHeader;
class TDataTreeColumns;

class TDataTreeColumn : public TCollectionItem {
public:
    explicit TDataTreeColumn(TCollection* collection);
    AnsiString ClassName() const override { return "TDataTreeColumn"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    AnsiString DisplayName() const override;

    TDataTreeColumns* Owner() const;

    const WideString& Text() const { return text_; }
    void SetText(const WideString& text);
    int Width() const { return width_; }
    // Clamped to MinWidth .. MaxWidth; a change is reported through the
    // tree's DoColumnResize.
    void SetWidth(int width);
    int MinWidth() const { return minWidth_; }
    void SetMinWidth(int value);
    int MaxWidth() const { return maxWidth_; }
    void SetMaxWidth(int value);
    TColumnPosition Position() const { return position_; }
    // Moves the column to this place; the others shift.
    void SetPosition(TColumnPosition position);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    TColumnOptions Options() const { return options_; }
    void SetOptions(TColumnOptions options);
    bool Visible() const { return (options_ & coVisible) != 0; }
    // Left edge in tree coordinates (before horizontal scrolling).
    int Left() const;
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t tag) { tag_ = tag; }

    static constexpr TColumnOptions DefaultOptions = coAllowClick | coDraggable | coEnabled | coResizable | coVisible;

private:
    friend class TDataTreeColumns;
    WideString text_;
    int width_ = 50;
    int minWidth_ = 10;
    int maxWidth_ = 10000;
    TColumnPosition position_ = TColumnPosition(-1); // placed last when added
    TAlignment alignment_ = taLeftJustify;
    TColumnOptions options_ = DefaultOptions;
    intptr_t tag_ = 0;
};

class TDataTreeColumns : public TCollection {
public:
    explicit TDataTreeColumns(TDTHeader* header);
    AnsiString ClassName() const override { return "TDataTreeColumns"; }
    TDTHeader* Header() const { return header_; }

    TDataTreeColumn* Add() { return static_cast<TDataTreeColumn*>(TCollection::Add()); }
    TDataTreeColumn* Items(int index) const { return static_cast<TDataTreeColumn*>(TCollection::Items(index)); }
    TDataTreeColumn* operator[](int index) const { return Items(index); }
    bool IsValidColumn(TColumnIndex column) const { return column >= 0 && column < Count(); }

    // Visible columns in position order.
    const std::vector<TColumnIndex>& VisibleColumns() const;
    TColumnIndex GetFirstVisibleColumn() const;
    TColumnIndex GetNextVisibleColumn(TColumnIndex column) const;
    TColumnIndex GetPreviousVisibleColumn(TColumnIndex column) const;
    // The column at position (any visibility), NoColumn when none.
    TColumnIndex ColumnFromPosition(TColumnPosition position) const;
    // The visible column under x (tree coordinates), NoColumn when none.
    TColumnIndex ColumnAt(int x) const;
    // Left and right edge of a column in tree coordinates.
    bool GetColumnBounds(TColumnIndex column, int& left, int& right) const;
    int TotalWidth() const;

protected:
    void Update(TCollectionItem* item) override;
    void Notify(TCollectionItem* item, TCollectionNotification action) override;

private:
    friend class TDataTreeColumn;
    void Normalize() const;
    void ColumnChanged(TDataTreeColumn* column, bool layout);
    TDTHeader* header_;
    mutable std::vector<TColumnIndex> visible_;
    mutable std::vector<int> lefts_; // per column index; -1 when hidden
    mutable bool layoutValid_ = false;
};

} // namespace ax
