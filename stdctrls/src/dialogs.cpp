// The common-dialog base.
#include "framework/streaming.h"
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
    struct Restore {
        std::vector<HWND>& windows;
        HWND active;
        ~Restore() {
            for (HWND w : windows)
                if (IsWindow(w)) EnableWindow(w, TRUE);
            if (active && IsWindow(active)) SetActiveWindow(active);
        }
    } restore{disabled, owner};
    if (Application()) Application()->ModalStarted();
    struct Level {
        ~Level() {
            if (Application()) Application()->ModalFinished();
        }
    } level;
    DoShow();
    const std::shared_ptr<bool> alive = alive_;
    bool result = false;
    try {
        result = dialog(owner);
    } catch (...) {
        if (!*alive) throw;
        handle_ = nullptr;
        DoClose();
        throw;
    }
    if (!*alive) return false;
    handle_ = nullptr;
    DoClose();
    return result;
}

} // namespace ax
