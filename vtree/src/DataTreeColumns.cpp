// Columns and their collection: width limits, moving a column to another
// position (the others close up, positions stay 0 .. Count - 1), the
// visible columns in screen order, and hit tests by x.
#include "vtree/DataTreeColumns.h"

#include <algorithm>
#include <numeric>

#include "framework/streaming.h"
#include "vtree/BaseDataTree.h"
#include "vtree/DTHeader.h"

namespace ax {

// ---- TDataTreeColumn -----------------------------------------------------------------------

TDataTreeColumn::TDataTreeColumn(TCollection* collection) : TCollectionItem(collection) {}

TDataTreeColumns* TDataTreeColumn::Owner() const { return static_cast<TDataTreeColumns*>(Collection()); }

AnsiString TDataTreeColumn::DisplayName() const {
    return text_.empty() ? TCollectionItem::DisplayName() : WideToUtf8(text_);
}

void TDataTreeColumn::SetText(const WideString& text) {
    if (text == text_) return;
    text_ = text;
    if (Owner()) Owner()->ColumnChanged(this, false);
}

void TDataTreeColumn::SetWidth(int width) {
    width = std::clamp(width, minWidth_, std::max(minWidth_, maxWidth_));
    if (width == width_) return;
    width_ = width;
    if (!Owner()) return;
    Owner()->layoutValid_ = false;
    if (TBaseDataTree* tree = Owner()->Header()->Treeview()) tree->ColumnResized(Index());
}

void TDataTreeColumn::SetMinWidth(int value) {
    minWidth_ = std::max(value, 0);
    if (maxWidth_ < minWidth_) maxWidth_ = minWidth_;
    SetWidth(width_);
}

void TDataTreeColumn::SetMaxWidth(int value) {
    maxWidth_ = std::max(value, minWidth_);
    SetWidth(width_);
}

void TDataTreeColumn::SetPosition(TColumnPosition position) {
    TDataTreeColumns* owner = Owner();
    if (!owner) {
        position_ = position;
        return;
    }
    owner->Normalize();
    const int count = owner->Count();
    if (count == 0) return;
    position = std::min<TColumnPosition>(position, TColumnPosition(count - 1));
    if (position == position_) return;
    // Take the column out of the order and put it back at its new place.
    std::vector<TDataTreeColumn*> order(size_t(count), nullptr);
    for (int i = 0; i < count; ++i) order[owner->Items(i)->position_] = owner->Items(i);
    order.erase(order.begin() + position_);
    order.insert(order.begin() + position, this);
    for (size_t p = 0; p < order.size(); ++p) order[p]->position_ = TColumnPosition(p);
    owner->ColumnChanged(this, true);
}

void TDataTreeColumn::SetAlignment(TAlignment alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    if (Owner()) Owner()->ColumnChanged(this, false);
}

void TDataTreeColumn::SetOptions(TColumnOptions options) {
    if (options == options_) return;
    const bool layout = ((options ^ options_) & coVisible) != 0;
    options_ = options;
    if (Owner()) Owner()->ColumnChanged(this, layout);
}

int TDataTreeColumn::Left() const {
    int left = 0, right = 0;
    if (Owner() && Owner()->GetColumnBounds(Index(), left, right)) return left;
    return 0;
}

void TDataTreeColumn::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TDataTreeColumn*>(source);
    if (!other) {
        TCollectionItem::Assign(source);
        return;
    }
    text_ = other->text_;
    minWidth_ = other->minWidth_;
    maxWidth_ = other->maxWidth_;
    width_ = other->width_;
    alignment_ = other->alignment_;
    options_ = other->options_;
    position_ = other->position_;
    tag_ = other->tag_;
    if (Owner()) {
        Owner()->layoutValid_ = false;
        Owner()->ColumnChanged(this, true);
    }
}

void TDataTreeColumn::DefinePublished(TFiler& f) {
    f.String("Text", [this] { return WideToUtf8(text_); }, [this](const AnsiString& v) { SetText(Utf8ToWide(v)); });
    f.Integer("MinWidth", [this] { return minWidth_; }, [this](int64_t v) { SetMinWidth(int(v)); }, 10);
    f.Integer("MaxWidth", [this] { return maxWidth_; }, [this](int64_t v) { SetMaxWidth(int(v)); }, 10000);
    f.Integer("Width", [this] { return width_; }, [this](int64_t v) { SetWidth(int(v)); }, 50);
    f.Integer("Position", [this] { return int64_t(position_); },
              [this](int64_t v) { SetPosition(TColumnPosition(std::max<int64_t>(v, 0))); }, std::nullopt);
    f.Enum("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, [this] { return int(alignment_); },
           [this](int v) { SetAlignment(TAlignment(v)); }, int(taLeftJustify));
    f.Set("Options", {"coAllowClick", "coDraggable", "coEnabled", "", "", "coResizable", "", "coVisible"},
          [this] { return unsigned(options_); }, [this](unsigned v) { SetOptions(v); }, unsigned(DefaultOptions));
}

// ---- TDataTreeColumns ----------------------------------------------------------------------

TDataTreeColumns::TDataTreeColumns(TDTHeader* header)
    : TCollection(
          [header](TCollection* c) -> std::unique_ptr<TCollectionItem> {
              TBaseDataTree* tree = header ? header->Treeview() : nullptr;
              if (tree) return tree->CreateColumn(c);
              return std::make_unique<TDataTreeColumn>(c);
          },
          header),
      header_(header) {}

void TDataTreeColumns::Normalize() const {
    // Positions are a permutation of 0 .. Count - 1; a new column (position
    // beyond the others) goes last, a deleted one leaves no gap.
    std::vector<TDataTreeColumn*> order;
    for (int i = 0; i < Count(); ++i) order.push_back(Items(i));
    std::stable_sort(order.begin(), order.end(),
                     [](const TDataTreeColumn* a, const TDataTreeColumn* b) { return a->position_ < b->position_; });
    for (size_t p = 0; p < order.size(); ++p) order[p]->position_ = TColumnPosition(p);
    visible_.clear();
    lefts_.assign(size_t(Count()), -1);
    int left = 0;
    for (TDataTreeColumn* c : order) {
        if (!c->Visible()) continue;
        const int index = c->Index();
        visible_.push_back(index);
        lefts_[size_t(index)] = left;
        left += c->width_;
    }
    layoutValid_ = true;
}

const std::vector<TColumnIndex>& TDataTreeColumns::VisibleColumns() const {
    if (!layoutValid_) Normalize();
    return visible_;
}

TColumnIndex TDataTreeColumns::GetFirstVisibleColumn() const {
    const auto& v = VisibleColumns();
    return v.empty() ? NoColumn : v.front();
}

TColumnIndex TDataTreeColumns::GetNextVisibleColumn(TColumnIndex column) const {
    const auto& v = VisibleColumns();
    auto it = std::find(v.begin(), v.end(), column);
    return it == v.end() || it + 1 == v.end() ? NoColumn : *(it + 1);
}

TColumnIndex TDataTreeColumns::GetPreviousVisibleColumn(TColumnIndex column) const {
    const auto& v = VisibleColumns();
    auto it = std::find(v.begin(), v.end(), column);
    return it == v.end() || it == v.begin() ? NoColumn : *(it - 1);
}

TColumnIndex TDataTreeColumns::ColumnFromPosition(TColumnPosition position) const {
    if (!layoutValid_) Normalize();
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->position_ == position) return i;
    return NoColumn;
}

TColumnIndex TDataTreeColumns::ColumnAt(int x) const {
    for (TColumnIndex c : VisibleColumns()) {
        const int left = lefts_[size_t(c)];
        if (x >= left && x < left + Items(c)->width_) return c;
    }
    return NoColumn;
}

bool TDataTreeColumns::GetColumnBounds(TColumnIndex column, int& left, int& right) const {
    if (!IsValidColumn(column)) return false;
    if (!layoutValid_) Normalize();
    if (lefts_[size_t(column)] < 0) return false;
    left = lefts_[size_t(column)];
    right = left + Items(column)->width_;
    return true;
}

int TDataTreeColumns::TotalWidth() const {
    int total = 0;
    for (TColumnIndex c : VisibleColumns()) total += Items(c)->width_;
    return total;
}

void TDataTreeColumns::ColumnChanged(TDataTreeColumn*, bool layout) {
    if (layout) layoutValid_ = false;
    if (header_ && header_->Treeview()) header_->Treeview()->HeaderChanged(layout);
}

void TDataTreeColumns::Update(TCollectionItem* item) {
    layoutValid_ = false;
    TCollection::Update(item);
    if (header_ && header_->Treeview()) header_->Treeview()->HeaderChanged(true);
}

void TDataTreeColumns::Notify(TCollectionItem* item, TCollectionNotification action) {
    TCollection::Notify(item, action);
    layoutValid_ = false;
    if (action == cnDeleting && header_) header_->ColumnDeleting(item->Index());
}

} // namespace ax
