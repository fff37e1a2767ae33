// The option sets' setters (each tells the tree what changed) and their
// stored form: each set a list of named bits, unnamed bits kept clear.
#include "vtree/DataTreeOptions.h"

#include "framework/streaming.h"
#include "vtree/BaseDataTree.h"

namespace ax {
namespace {

// Bit i of each set is idents[i]; unnamed bits stay clear.
const std::vector<const char*> kAutoIdents = {"toAutoDropExpand", "toAutoExpand", "toAutoScroll",
                                              "toAutoScrollOnExpand", "toAutoSort", "",
                                              "toAutoTristateTracking", "toAutoHideButtons"};
const std::vector<const char*> kMiscIdents = {"toAcceptOLEDrop", "toCheckSupport", "toEditable", "", "",
                                              "toInitOnSave", "toReportMode", "toToggleOnDblClick", "",
                                              "toReadOnly"};
const std::vector<const char*> kPaintIdents = {"", "toHotTrack", "", "", "toShowButtons", "toShowDropmark", "",
                                               "toShowRoot", "toShowTreeLines", "", "toThemeAware",
                                               "toUseBlendedImages", "toGhostedIfUnfocused"};
const std::vector<const char*> kSelectionIdents = {"", "", "toLevelSelectConstraint", "toMultiSelect",
                                                   "toRightClickSelect", "toSiblingSelectConstraint"};

unsigned KnownBits(const std::vector<const char*>& idents) {
    unsigned mask = 0;
    for (size_t i = 0; i < idents.size(); ++i)
        if (*idents[i]) mask |= 1u << i;
    return mask;
}

} // namespace

TCustomDataTreeOptions::TCustomDataTreeOptions(TBaseDataTree* owner) : owner_(owner) {}

TPersistent* TCustomDataTreeOptions::GetOwner() const { return owner_; }

void TCustomDataTreeOptions::SetAutoOptions(TAutoOptions value) {
    value &= KnownBits(kAutoIdents);
    if (value == auto_) return;
    const TAutoOptions old = auto_;
    auto_ = value;
    if (owner_) owner_->OptionsChanged(old, misc_, paint_, selection_);
}

void TCustomDataTreeOptions::SetMiscOptions(TMiscOptions value) {
    value &= KnownBits(kMiscIdents);
    if (value == misc_) return;
    const TMiscOptions old = misc_;
    misc_ = value;
    if (owner_) owner_->OptionsChanged(auto_, old, paint_, selection_);
}

void TCustomDataTreeOptions::SetPaintOptions(TPaintOptions value) {
    value &= KnownBits(kPaintIdents);
    if (value == paint_) return;
    const TPaintOptions old = paint_;
    paint_ = value;
    if (owner_) owner_->OptionsChanged(auto_, misc_, old, selection_);
}

void TCustomDataTreeOptions::SetSelectionOptions(TSelectionOptions value) {
    value &= KnownBits(kSelectionIdents);
    if (value == selection_) return;
    const TSelectionOptions old = selection_;
    selection_ = value;
    if (owner_) owner_->OptionsChanged(auto_, misc_, paint_, old);
}

void TCustomDataTreeOptions::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TCustomDataTreeOptions*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    // Through the setters, so a descendant's follow-ups run.
    SetAutoOptions(other->auto_);
    SetMiscOptions(other->misc_);
    SetPaintOptions(other->paint_);
    SetSelectionOptions(other->selection_);
}

void TCustomDataTreeOptions::DefinePublished(TFiler& f) {
    f.Set("AutoOptions", kAutoIdents, [this] { return unsigned(auto_); },
          [this](unsigned v) { SetAutoOptions(v); }, unsigned(DefaultAutoOptions));
    f.Set("MiscOptions", kMiscIdents, [this] { return unsigned(misc_); },
          [this](unsigned v) { SetMiscOptions(v); }, unsigned(DefaultMiscOptions));
    f.Set("PaintOptions", kPaintIdents, [this] { return unsigned(paint_); },
          [this](unsigned v) { SetPaintOptions(v); }, unsigned(DefaultPaintOptions));
    f.Set("SelectionOptions", kSelectionIdents, [this] { return unsigned(selection_); },
          [this](unsigned v) { SetSelectionOptions(v); }, unsigned(DefaultSelectionOptions));
}

} // namespace ax
