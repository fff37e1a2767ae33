// The message box's form: its trimmed system menu, frame, place over its
// owner within the work area, and bringing the owner forward when shown.
#include "MessageBoxForm.h"

#include <algorithm>

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

RECT BoxPlace(const RECT& around, const RECT& work, SIZE size) {
    const auto place = [](int from, int extent, int lo, int hi, int length) {
        const int centred = from + (extent - length) / 2;
        return std::max(lo, std::min(centred, hi - length));
    };
    const int x = place(around.left, around.width(), work.left, work.right, size.cx);
    const int y = place(around.top, around.height(), work.top, work.bottom, size.cy);
    return {x, y, x + size.cx, y + size.cy};
}

void TMessageBoxForm::DoShow() {
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    RECT around = work;
    const HWND owner = HandleAllocated() ? GetWindow(Handle(), GW_OWNER) : nullptr;
    const bool onDesktop = Position() == poDesktopCenter || Position() == poScreenCenter;
    if (owner && !onDesktop) GetWindowRect(owner, around);
    const RECT r = BoxPlace(around, work, SIZE{Width(), Height()});
    SetBounds(r.left, r.top, Width(), Height());
    TForm::DoShow();
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
