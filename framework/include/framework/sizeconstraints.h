#pragma once
// The smallest and largest size a control may take; 0 leaves a side free.
// A change takes effect at once on the control's bounds.
#include <functional>

#include "framework/classes.h"

namespace ax {

class TFiler;

class TSizeConstraints : public TPersistent {
public:
    AnsiString ClassName() const override { return "TSizeConstraints"; }
    void DefinePublished(TFiler& filer) override;
    void Assign(const TPersistent* source) override;

    int MinWidth() const { return minWidth_; }
    int MinHeight() const { return minHeight_; }
    int MaxWidth() const { return maxWidth_; }
    int MaxHeight() const { return maxHeight_; }
    void SetMinWidth(int v) { Set(minWidth_, v); }
    void SetMinHeight(int v) { Set(minHeight_, v); }
    void SetMaxWidth(int v) { Set(maxWidth_, v); }
    void SetMaxHeight(int v) { Set(maxHeight_, v); }
    // Brings a size within the limits; a maximum below the minimum gives
    // way to the minimum.
    void Constrain(int& width, int& height) const;

    std::function<void()> OnChange;

private:
    void Set(int& field, int value);
    int minWidth_ = 0, minHeight_ = 0, maxWidth_ = 0, maxHeight_ = 0;
};

} // namespace ax
