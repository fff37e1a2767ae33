#pragma once
// The base of the system's dialog components: Execute runs the dialog
// modally over the program's windows, with OnShow before and OnClose after.
#include <memory>

#include "framework/forms.h"

namespace ax {

class TCommonDialog : public TComponent {
public:
    explicit TCommonDialog(TComponent* owner) : TComponent(owner) {}
    ~TCommonDialog() override { *alive_ = false; }
    AnsiString ClassName() const override { return "TCommonDialog"; }
    void DefinePublished(TFiler& filer) override;
    // True when the user confirmed.
    virtual bool Execute() = 0;
    bool Ctl3D() const { return ctl3D_; }
    virtual void SetCtl3D(bool value) { ctl3D_ = value; }
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int value) { helpContext_ = value; }
    // The dialog's window while it runs.
    HWND Handle() const { return handle_; }

    TNotifyEvent OnShow;
    TNotifyEvent OnClose;

protected:
    virtual void DoShow();
    virtual void DoClose();
    // Runs dialog (given the owner window) with the thread's other windows
    // disabled, as a modal dialog; they are enabled again however it ends.
    // The component may be freed while the dialog runs: then nothing of it
    // is touched afterwards (no OnClose) and the answer is false.
    bool TaskModalDialog(const std::function<bool(HWND owner)>& dialog);
    HWND handle_ = nullptr;
    // False once the component is being destroyed; whoever runs a modal
    // loop keeps a copy and looks before touching the component again.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

private:
    bool ctl3D_ = true;
    int helpContext_ = 0;
};

} // namespace ax
