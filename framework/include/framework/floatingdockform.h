#pragma once
// The small tool window a control of kind dkDock floats in when a dock
// drag drops it where no dock site takes it. The control fills the window;
// closing the window hides the control with it, and the window goes once
// the control has left it (docked elsewhere, or freed).
#include "framework/forms.h"

namespace ax {

class TFloatingDockForm : public TCustomForm {
public:
    explicit TFloatingDockForm(TComponent* owner);
    AnsiString ClassName() const override { return "TFloatingDockForm"; }

    // Takes control in and shows the window with its client area at the
    // screen rectangle r (kept on the screen).
    void Host(TControl* control, const RECT& r);
    // The control floating in the window, if it still does.
    TControl* Docked() const { return controls_.empty() ? nullptr : controls_.front(); }

    void Dispatch(TMessage& message) override;

protected:
    void DoClose(TCloseAction& action) override;
    void Resize() override;
};

} // namespace ax
