#pragma once
// Window hooks: any number of hook components watch the messages of one
// windowed control. Each hooked control gets one entry in the window
// layer's subclass chain, shared by its hooks; the hook attached last hears
// each message first and may stop it. A hook survives its control's window
// being re-created. GUI thread only.
#include <functional>

#include "framework/controls.h"

namespace ax {

using THookMessageEvent = std::function<void(TObject* Sender, TMessage& Msg, bool& Handled)>;

// Private messages of the hook list's window: re-install the hook of a
// control whose window was re-created, free a control hook left empty.
inline constexpr UINT CM_RECREATEHOOK = 0xB052, CM_FREEHOOK = 0xB053;

class TExWindowHook : public TComponent {
public:
    explicit TExWindowHook(TComponent* owner);
    ~TExWindowHook() override;
    AnsiString ClassName() const override { return "TExWindowHook"; }
    void DefinePublished(TFiler& filer) override;
    void DefineProperties(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;
    void Loaded() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    TWinControl* WinControl() const { return winControl_; }
    void SetWinControl(TWinControl* control);
    void HookControl();
    void UnhookControl();

    // Before the control handles a message (Handled stops it there), and
    // after.
    THookMessageEvent BeforeMessage;
    THookMessageEvent AfterMessage;

protected:
    virtual void DoBeforeMessage(TMessage& msg, bool& handled);
    virtual void DoAfterMessage(TMessage& msg, bool& handled);

private:
    friend class TControlHook;
    bool active_ = true;
    bool hooked_ = false;
    uint64_t hookId_ = 0; // the control hook this hook is attached to
    TWinControl* winControl_ = nullptr;
    bool isForm_ = false; // read from a description: the control is the owner form
};

// How many controls are hooked now (their entries live until the hook
// list's window has freed them).
int HookedControlCount();

} // namespace ax
