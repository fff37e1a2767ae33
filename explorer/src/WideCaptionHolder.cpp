// A control's caption kept as wide text beside its 8-bit form.
#include "explorer/WideCaptionHolder.h"

#include "rtl/exceptions.h"

namespace ax {

namespace {

TControl& OwningControl(TComponent* owner) {
    auto* control = dynamic_cast<TControl*>(owner);
    Assert(control != nullptr, "A wide caption belongs to a control");
    return *control;
}

} // namespace

TWideCaptionHolder::TWideCaptionHolder(TComponent* owner)
    : TComponent(owner), control_(OwningControl(owner)) {}

WideString TWideCaptionHolder::Caption() const {
    if (WideToUtf8(caption_) == control_.Caption()) return caption_;
    return Utf8ToWide(control_.Caption());
}

void TWideCaptionHolder::SetCaption(const WideString& caption) {
    caption_ = caption;
    control_.SetCaption(WideToUtf8(caption));
}

} // namespace ax
