#include "framework/sizeconstraints.h"

#include <algorithm>

#include "framework/streaming.h"

namespace ax {

void TSizeConstraints::DefinePublished(TFiler& f) {
    f.Integer("MaxHeight", [this] { return maxHeight_; }, [this](int64_t v) { SetMaxHeight(int(v)); }, 0);
    f.Integer("MaxWidth", [this] { return maxWidth_; }, [this](int64_t v) { SetMaxWidth(int(v)); }, 0);
    f.Integer("MinHeight", [this] { return minHeight_; }, [this](int64_t v) { SetMinHeight(int(v)); }, 0);
    f.Integer("MinWidth", [this] { return minWidth_; }, [this](int64_t v) { SetMinWidth(int(v)); }, 0);
}

void TSizeConstraints::Assign(const TPersistent* source) {
    auto* other = dynamic_cast<const TSizeConstraints*>(source);
    if (!other) return TPersistent::Assign(source);
    minWidth_ = other->minWidth_;
    minHeight_ = other->minHeight_;
    maxWidth_ = other->maxWidth_;
    maxHeight_ = other->maxHeight_;
    if (OnChange) OnChange();
}

void TSizeConstraints::Set(int& field, int value) {
    value = std::max(value, 0);
    if (field == value) return;
    field = value;
    if (OnChange) OnChange();
}

void TSizeConstraints::Constrain(int& width, int& height) const {
    if (maxWidth_ > 0) width = std::min(width, maxWidth_);
    if (maxHeight_ > 0) height = std::min(height, maxHeight_);
    width = std::max(width, minWidth_);
    height = std::max(height, minHeight_);
}

} // namespace ax
