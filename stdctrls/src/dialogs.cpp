// The common-dialog base.
#include "framework/streaming.h"
#include "rtl/scopeguard.h"
#include "stdctrls/dialogs.h"

namespace ax {

void TCommonDialog::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Bool("Ctl3D", [this] { return ctl3D_; }, [this](bool v) { SetCtl3D(v); }, true);
    f.Integer("HelpContext", [this] { return helpContext_; }, [this](int64_t v) { helpContext_ = int(v); }, 0);
}

void TCommonDialog::DoShow() {
    if (OnShow) OnShow(this);
}

void TCommonDialog::DoClose() {
    if (OnClose) OnClose(this);
}

bool TCommonDialog::TaskModalDialog(const std::function<bool(HWND owner)>& dialog) {
    HWND owner = GetActiveWindow();
    if (!owner && Application() && Application()->MainForm() && Application()->MainForm()->HandleAllocated())
        owner = Application()->MainForm()->Handle();
    // The program's other windows wait while the dialog runs.
    std::vector<HWND> disabled;
    for (HWND w : EnumThreadTopWindows(GetCurrentThreadId()))
        if (IsWindowVisible(w) && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            disabled.push_back(w);
        }
    ScopeGuard restore([&disabled, owner] {
        for (HWND w : disabled)
            if (IsWindow(w)) EnableWindow(w, TRUE);
        if (owner && IsWindow(owner)) SetActiveWindow(owner);
    });
    if (Application()) Application()->ModalStarted();
    ScopeGuard level([] {
        if (Application()) Application()->ModalFinished();
    });
    DoShow();
    const std::shared_ptr<bool> alive = alive_;
    // A dialog component freed while it ran is not touched again.
    ScopeGuard failed([this, &alive] {
        if (!*alive) return;
        handle_ = nullptr;
        DoClose();
    });
    const bool result = dialog(owner);
    failed.Dismiss();
    if (!*alive) return false;
    handle_ = nullptr;
    DoClose();
    return result;
}

} // namespace ax
