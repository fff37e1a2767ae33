// The base of the system's own dialog windows.
#include "stdctrls/dialogform.h"

#include <algorithm>

namespace ax {

namespace {
// Posted to a dialog before its modal loop starts.
constexpr UINT CM_DIALOGMODAL = WM_USER + 0x7F1;
} // namespace

TDialogForm::TDialogForm(HWND owner) : TForm(nullptr) {
    if (!owner || !IsWindow(owner)) {
        owner = nullptr;
        TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
        if (main && main->HandleAllocated()) owner = main->Handle();
    }
    SetParentWindow(owner);
    SetBorderStyle(bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(poDesigned);
}

void TDialogForm::SetControlId(TWinControl& control, int id) {
    auto it = std::find_if(ids_.begin(), ids_.end(), [&](const auto& e) { return e.first == &control; });
    if (it != ids_.end()) it->second = id;
    else ids_.emplace_back(&control, id);
    if (control.HandleAllocated()) SetWindowLongPtr(control.Handle(), GWLP_ID, id);
}

TWinControl* TDialogForm::ControlById(int id) const {
    for (const auto& [control, cid] : ids_)
        if (cid == id) return control;
    return nullptr;
}

TButton* TDialogForm::AddButton(int id, const AnsiString& caption, int left, int top, int width, int height) {
    auto* button = TComponent::Create<TButton>(this);
    button->SetParent(this);
    button->SetBounds(left, top, width, height);
    button->SetCaption(caption);
    if (id == dciOk || id == dciYes) button->SetDefault(true);
    if (id == dciCancel || id == dciNo) {
        button->SetCancel(true);
        button->OnClick = [this, id](TObject*) { EndDialog(id); };
    }
    SetControlId(*button, id);
    return button;
}

void TDialogForm::EndDialog(int result) {
    result_ = result;
    SetModalResult(result == dciCancel || result == dciNo ? mrCancel : mrOk);
}

void TDialogForm::CentreOnOwner() {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT owner;
    if (OwnerWindow() && GetWindowRect(OwnerWindow(), owner)) area = owner;
    int x = area.left + (area.width() - Width()) / 2;
    int y = area.top + (area.height() - Height()) / 2;
    // Whole on the screen when it fits there.
    x = std::max(0, std::min(x, GetSystemMetrics(SM_CXSCREEN) - Width()));
    y = std::max(0, std::min(y, GetSystemMetrics(SM_CYSCREEN) - Height()));
    SetBounds(x, y, Width(), Height());
}

int TDialogForm::Execute() {
    result_ = dciCancel;
    HandleNeeded();
    for (const auto& [control, id] : ids_) SetWindowLongPtr(control->Handle(), GWLP_ID, id);
    CentreOnOwner();
    DialogInit();
    PostMessage(Handle(), CM_DIALOGMODAL);
    ShowModal();
    return result_;
}

void TDialogForm::Dispatch(TMessage& m) {
    if (m.Msg == CM_DIALOGMODAL) {
        if (Modal()) {
            DialogShown();
            if (OnDialogModal) OnDialogModal(*this);
        }
        return;
    }
    TForm::Dispatch(m);
}

void TDialogForm::Notification(TComponent* component, TOperation operation) {
    TForm::Notification(component, operation);
    if (operation == opRemove)
        std::erase_if(ids_, [component](const auto& e) { return e.first == component; });
}

} // namespace ax
