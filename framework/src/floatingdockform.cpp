#include "framework/floatingdockform.h"

#include <algorithm>

namespace ax {

TFloatingDockForm::TFloatingDockForm(TComponent* owner) : TCustomForm(owner) {
    SetBorderStyle(bsSizeToolWin);
    DoCreate();
}

void TFloatingDockForm::Host(TControl* control, const RECT& r) {
    Assert(control != nullptr, "a floating window needs a control");
    SetCaption(control->Caption());
    SetClientSize(r.width(), r.height());
    HandleNeeded();
    // The client area lands where the frame showed the control; the
    // caption stays on the screen so the window can still be moved.
    const POINT origin = ClientOrigin();
    SetBounds(std::max(0, left_ + r.left - origin.x), std::max(0, top_ + r.top - origin.y), width_, height_);
    if (control->Parent() != this) control->SetParent(this);
    control->SetBounds(0, 0, ClientWidth(), ClientHeight());
    Show();
}

void TFloatingDockForm::Dispatch(TMessage& m) {
    TCustomForm::Dispatch(m);
    // The last control left: the window has nothing more to show. Freed
    // later, as the control may be leaving from one of its own handlers.
    if (m.Msg == CM_CONTROLLISTCHANGE && !m.LParam && controls_.size() == 1 && handle_ &&
        !HasState(csDestroying))
        Release();
}

void TFloatingDockForm::DoClose(TCloseAction& action) {
    TCustomForm::DoClose(action);
    if (action == caHide)
        if (TControl* control = Docked()) control->Hide();
}

void TFloatingDockForm::Resize() {
    TCustomForm::Resize();
    if (TControl* control = Docked(); control && control->Align() == alNone)
        control->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

} // namespace ax
