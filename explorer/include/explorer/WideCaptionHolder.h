#pragma once
// A control's caption kept as wide text, for captions with no 8-bit form.
#include "framework/controls.h"

namespace ax {

// A control's caption as wide text: any UTF-16 text set here comes back
// exactly (also a lone surrogate, which has no 8-bit form), while the
// control shows its 8-bit form. Owned by the control it holds the caption
// of (made with TComponent::Create<TWideCaptionHolder>(control)).
class TWideCaptionHolder : public TComponent {
public:
    // The owner must be a control.
    explicit TWideCaptionHolder(TComponent* owner);
    AnsiString ClassName() const override { return "TWideCaptionHolder"; }
    // What was set, as long as the control's caption is still its 8-bit
    // form; the control's caption when something else changed it.
    WideString Caption() const;
    void SetCaption(const WideString& caption);

private:
    TControl& control_;
    WideString caption_;
};

} // namespace ax
