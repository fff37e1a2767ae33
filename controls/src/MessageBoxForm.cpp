#include "MessageBoxForm.h"

#include "controls/MessageBoxes.h"
#include "platform/window/sysmenu.h"
#include "stdctrls/extctrls.h"

namespace ax {

namespace {
// Posted to a box before its modal loop starts.
constexpr UINT CM_BOXMODAL = WM_USER + 0x7F0;
} // namespace

void TMessageBoxForm::EditSystemMenu() {
    systemMenuEdited_ = true;
    const HMENU menu = GetSystemMenu(Handle(), FALSE);
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    for (UINT command : {SC_MAXIMIZE, SC_MINIMIZE, SC_SIZE, SC_RESTORE, SC_CLOSE})
        DeleteMenu(menu, command, MF_BYCOMMAND);
    DeleteMenu(menu, 1, MF_BYPOSITION); // the separator
    DrawMenuBar(Handle());
}

void TMessageBoxForm::AddFrame() {
    auto* bevel = TComponent::Create<TBevel>(this);
    bevel->SetParent(this);
    bevel->SetShape(bsFrame);
    bevel->SetStyle(bsLowered);
    bevel->SetBounds(3, 3, ClientWidth() - 6, ClientHeight() - 6);
}

void TMessageBoxForm::BringOwnerToFront(bool minimizeRestore) {
    const HWND owner = GetWindow(Handle(), GW_OWNER);
    if (!owner) return;
    if (IsIconic(owner)) ShowWindow(owner, SW_RESTORE);
    if (GetForegroundWindow() != owner) {
        SetForegroundWindow(owner);
        if (minimizeRestore) {
            ShowWindow(owner, SW_MINIMIZE);
            ShowWindow(owner, SW_RESTORE);
        }
    }
}

void TMessageBoxForm::AnnounceModal() { PostMessage(Handle(), CM_BOXMODAL); }

void TMessageBoxForm::Dispatch(TMessage& m) {
    if (m.Msg == CM_BOXMODAL) {
        if (OnMessageBoxModal && Modal()) OnMessageBoxModal(*this);
        return;
    }
    if (m.Msg == WM_SYSCOMMAND && systemMenuEdited_) {
        switch (m.WParam & 0xFFF0) {
        case SC_CLOSE:
        case SC_SIZE:
        case SC_MINIMIZE:
        case SC_MAXIMIZE:
        case SC_RESTORE: return;
        default: break;
        }
    }
    TForm::Dispatch(m);
}

} // namespace ax
