#pragma once
// The option sets of a data tree. The tree creates its options object
// through a virtual operation, so a descendant brings a descendant class
// whose setters add their own follow-ups.
#include "framework/classes.h"
#include "vtree/DataTreeTypes.h"

namespace ax {

class TBaseDataTree;

class TCustomDataTreeOptions : public TPersistent {
public:
    explicit TCustomDataTreeOptions(TBaseDataTree* owner);
    AnsiString ClassName() const override { return "TCustomDataTreeOptions"; }
    TPersistent* GetOwner() const override;
    TBaseDataTree* Owner() const { return owner_; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;

    TAutoOptions AutoOptions() const { return auto_; }
    virtual void SetAutoOptions(TAutoOptions value);
    TMiscOptions MiscOptions() const { return misc_; }
    virtual void SetMiscOptions(TMiscOptions value);
    TPaintOptions PaintOptions() const { return paint_; }
    virtual void SetPaintOptions(TPaintOptions value);
    TSelectionOptions SelectionOptions() const { return selection_; }
    virtual void SetSelectionOptions(TSelectionOptions value);

    static constexpr TAutoOptions DefaultAutoOptions = toAutoDropExpand | toAutoTristateTracking | toAutoScroll |
                                                       toAutoScrollOnExpand;
    static constexpr TMiscOptions DefaultMiscOptions = toAcceptOLEDrop | toToggleOnDblClick;
    static constexpr TPaintOptions DefaultPaintOptions = toShowButtons | toShowDropmark | toShowRoot |
                                                         toShowTreeLines | toThemeAware | toUseBlendedImages;
    static constexpr TSelectionOptions DefaultSelectionOptions = 0;

private:
    TBaseDataTree* owner_;
    TAutoOptions auto_ = DefaultAutoOptions;
    TMiscOptions misc_ = DefaultMiscOptions;
    TPaintOptions paint_ = DefaultPaintOptions;
    TSelectionOptions selection_ = DefaultSelectionOptions;
};

// The string tree adds no option of its own; descendants of the string tree
// derive their option classes from this name.
using TStringTreeOptions = TCustomDataTreeOptions;

} // namespace ax
