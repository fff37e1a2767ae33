// The "?" help mode: the deepest control under a click (disabled ones too)
// and its help context (HelpContext or Tag, as UseTags says), shown as a
// pop-up; Escape, a click or losing the activation ends the mode.
#include "controls/PopUpHelp.h"

#include "framework/streaming.h"

namespace ax {

namespace {
// The deepest control at a point of the form, disabled ones included.
TControl* ControlAt(TWinControl* parent, POINT p) {
    TControl* hit = parent->ControlAtPos(p, true);
    if (!hit) return nullptr;
    if (auto* win = dynamic_cast<TWinControl*>(hit)) {
        const POINT inner{p.x - hit->Left(), p.y - hit->Top()};
        if (TControl* deeper = ControlAt(win, inner)) return deeper;
    }
    return hit;
}
} // namespace

TPopUpHelp::~TPopUpHelp() { EndHelp(); }

void TPopUpHelp::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Enum("UseTags", {"utNever", "utGraphicControl", "utAlways"}, [this] { return int(useTags_); },
           [this](int v) { useTags_ = TUseTags(v); }, int(utGraphicControl));
    f.Bool("CancelOnZero", [this] { return cancelOnZero_; }, [this](bool v) { cancelOnZero_ = v; }, true);
}

void TPopUpHelp::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != opRemove) return;
    if (component == form_) {
        // The form goes: nothing of it is left to restore.
        helpMode_ = false;
        form_ = nullptr;
        if (Application()) Application()->OnDeactivate = savedDeactivate_;
        if (Screen()) Screen()->SetCursor(savedCursor_);
    }
    if (component == clicked_) clicked_ = nullptr;
}

void TPopUpHelp::StartHelp() {
    if (helpMode_ || !Screen() || !Screen()->ActiveForm()) return; // entered once keeps the form's own handlers
    form_ = Screen()->ActiveForm();
    form_->FreeNotification(this);
    helpMode_ = true;
    savedCursor_ = Screen()->Cursor();
    SetCapture(form_->Handle());
    // With the capture every click comes to the form's window; the
    // framework would hand those over graphic controls to them, so the
    // window's messages are heard before it does.
    SetWindowSubclass(
        form_->Handle(),
        [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (helpMode_ && (msg == WM_LBUTTONUP || msg == WM_LBUTTONDBLCLK)) {
                HelpClick();
                return 0;
            }
            return DefSubclassProc(h, msg, w, l);
        },
        reinterpret_cast<UINT_PTR>(this));
    savedClick_ = form_->OnClick;
    savedDblClick_ = form_->OnDblClick;
    savedKeyDown_ = form_->OnKeyDown;
    savedKeyPreview_ = form_->KeyPreview();
    form_->OnClick = [this](TObject*) { HelpClick(); };
    form_->OnDblClick = [this](TObject*) { HelpClick(); };
    form_->OnKeyDown = [this](TObject*, WORD& key, TShiftState) { HelpKey(key); };
    form_->SetKeyPreview(true);
    savedDeactivate_ = Application()->OnDeactivate;
    Application()->OnDeactivate = [this](TObject*) { EndHelp(); };
    Screen()->SetCursor(crHelp);
}

void TPopUpHelp::HelpClick() {
    if (!helpMode_) return;
    POINT p{};
    GetCursorPos(p);
    TControl* control = ControlAt(form_, form_->ScreenToClient(p));
    if (control) {
        clicked_ = control;
        clickPoint_ = p;
        ShowHelp(control);
    }
    EndHelp();
}

void TPopUpHelp::HelpKey(WORD& key) {
    if (key == VK_ESCAPE) {
        key = 0;
        EndHelp();
    }
}

int TPopUpHelp::ContextOf(TControl* control) const {
    const bool windowed = dynamic_cast<TWinControl*>(control) != nullptr;
    switch (useTags_) {
    case utNever: return windowed ? control->HelpContext() : 0;
    case utGraphicControl: return windowed ? control->HelpContext() : int(control->Tag());
    case utAlways:
        if (!windowed) return int(control->Tag());
        return control->HelpContext() ? control->HelpContext() : int(control->Tag());
    }
    return 0;
}

void TPopUpHelp::ShowHelp(TControl* control) {
    const int context = ContextOf(control);
    if (context != 0) {
        EndHelp();
        if (Application()) Application()->HelpCommand(HELP_CONTEXTPOPUP, context);
    } else if (cancelOnZero_) {
        EndHelp();
    }
}

void TPopUpHelp::EndHelp() {
    if (!helpMode_) return; // ending twice restores nothing twice
    helpMode_ = false;
    RemoveWindowSubclass(form_->Handle(), reinterpret_cast<UINT_PTR>(this));
    if (GetCapture() == form_->Handle()) ReleaseCapture();
    form_->OnClick = savedClick_;
    form_->OnDblClick = savedDblClick_;
    form_->OnKeyDown = savedKeyDown_;
    form_->SetKeyPreview(savedKeyPreview_);
    form_->RemoveFreeNotification(this);
    form_ = nullptr;
    if (Application()) Application()->OnDeactivate = savedDeactivate_;
    if (Screen()) Screen()->SetCursor(savedCursor_);
}

} // namespace ax
