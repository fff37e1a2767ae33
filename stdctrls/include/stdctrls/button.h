#pragma once
// The push button and the base of every button control (check box, radio
// button): caption with its "&" accelerator, pressed while the mouse or
// space is held; a click sets the parent form's ModalResult to the button's.
#include "framework/controls.h"
#include "framework/forms.h"

namespace ax {

class TButtonControl : public TCustomControl {
public:
    explicit TButtonControl(TComponent* owner);
    AnsiString ClassName() const override { return "TButtonControl"; }
    virtual bool Checked() const { return false; }
    virtual void SetChecked(bool) {}
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);

protected:
    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;
    // Draws the caption (with its "&" accelerator) into rect.
    void DrawCaption(TCanvas& canvas, RECT rect, UINT flags);
    bool focused_ = false;
    bool pushed_ = false; // drawn pressed (mouse held inside, or space held)
    bool wordWrap_ = false;
    bool spaceDown_ = false;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
};

class TButton : public TButtonControl {
public:
    explicit TButton(TComponent* owner);
    AnsiString ClassName() const override { return "TButton"; }
    void DefinePublished(TFiler& filer) override;
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult result) { modalResult_ = result; }
    // Sets the parent form's ModalResult to this button's, then OnClick.
    void Click() override;

protected:
    void Dispatch(TMessage& message) override;
    void Paint() override;
    LRESULT DialogCode() override;
    // Whether Enter presses this button now: it has the focus, or it is the
    // default button and the focus is on no other button.
    bool Active() const;
    // Draws the face (frame, pressed state); answers the content rectangle.
    RECT DrawFace(TCanvas& canvas);
    bool default_ = false;
    bool cancel_ = false;
    TModalResult modalResult_ = mrNone;
};

} // namespace ax
