#pragma once
// The base of the system's own dialog windows (the open and save dialogs,
// and the folder browser): a form built at run time over its caller's
// window, whose controls carry the platform's dialog ids so that
// GetDlgItem finds them, centred on that window and run modally. Tests
// script every such dialog from OnDialogModal.
#include <functional>

#include "framework/forms.h"
#include "stdctrls/button.h"

namespace ax {

// The platform's ids of dialog controls: those of the OK and Cancel
// buttons, the confirmation answers, and the file dialogs' own.
enum TDialogControlId : int {
    dciOk = 1,
    dciCancel = 2,
    dciYes = 6,
    dciNo = 7,
    dciReadOnly = 0x410,
    dciFileList = 0x460,
    dciFileType = 0x470,
    dciLookIn = 0x471,
    dciFileName = 0x480,
    dciPlacesBar = 0x4A0,
    // The folder browser's tree, status text and folder field.
    dciBrowseTree = 0x3741,
    dciBrowseStatus = 0x3743,
    dciBrowseEdit = 0x3744,
    dciUp = 0xA001,
};

class TDialogForm : public TForm {
public:
    // owner: the caller's window; none or an unknown one gives the
    // application's main form's window, when there is one.
    explicit TDialogForm(HWND owner);
    AnsiString ClassName() const override { return "TDialogForm"; }
    HWND OwnerWindow() const { return ParentWindow(); }

    // Gives a control the platform's dialog id.
    void SetControlId(TWinControl& control, int id);
    // The control with that id, null when there is none.
    TWinControl* ControlById(int id) const;
    // A push button with an id. dciOk and dciYes make the default button,
    // dciCancel and dciNo the cancel button; dciCancel and dciNo end the
    // dialog when pressed.
    TButton* AddButton(int id, const AnsiString& caption, int left, int top, int width = 75, int height = 23);

    // Ends the modal run with that answer (dciOk, dciYes: confirmed).
    void EndDialog(int result);
    // Shows the dialog centred on its owner window (on the screen without
    // one) and runs it until it ends; the answer given to EndDialog, or
    // dciCancel when the dialog was closed.
    int Execute();

    void Dispatch(TMessage& message) override;
    void Notification(TComponent* component, TOperation operation) override;

protected:
    // Runs once the window exists and is placed, before it is shown: what
    // moves or fills the dialog goes here.
    virtual void DialogInit() {}
    // Runs once the modal loop serves the dialog, before OnDialogModal.
    virtual void DialogShown() {}

private:
    void CentreOnOwner();
    std::vector<std::pair<TWinControl*, int>> ids_;
    int result_ = dciCancel;
};

// Runs on each dialog once its modal loop serves it: tests answer dialogs
// from here, with injected input or through the dialog's members.
inline std::function<void(TDialogForm& dialog)> OnDialogModal;

} // namespace ax
