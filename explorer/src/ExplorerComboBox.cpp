// The explorer combo box: the button, the steering of the two drop-downs
// from its edit line, the choice of an item (by the explorer drop-down, the
// auto-complete list or a typed path) and the "Invalid Path" box.
#include "explorer/ExplorerComboBox.h"

#include "framework/forms.h"
#include "framework/streaming.h"
#include "ExplorerTreeInternal.h"
#include "rtl/scopeguard.h"
#include "explorer/ExpChangeDispatch.h"
#include "shell/ShellResources.h"
#include "stdctrls/button.h"
#include "stdctrls/label.h"

#include <algorithm>
#include <utility>

namespace ax {

namespace {
constexpr UINT CM_PATHBOXMODAL = WM_USER + 0x7F1;

// The box that says a typed path names nothing.
class TInvalidPathBox : public TForm {
public:
    using TForm::TForm;
    AnsiString ClassName() const override { return "TInvalidPathBox"; }
    void Dispatch(TMessage& m) override {
        if (m.Msg == CM_PATHBOXMODAL) {
            if (OnInvalidPathBoxModal && Modal()) OnInvalidPathBoxModal(*this);
            return;
        }
        TForm::Dispatch(m);
    }
};

bool StartsWithNoCase(const WideString& text, const WideString& prefix) {
    return text.size() >= prefix.size() && WideCompareText(text.substr(0, prefix.size()), prefix) == 0;
}
} // namespace

// ---- TCustomExplorerCombobox -------------------------------------------------------------------

TCustomExplorerCombobox::TCustomExplorerCombobox(TComponent* owner) : TCustomControl(owner) {
    SetBounds(0, 0, 300, 23);
    visible_ = true;
    parentColor_ = false;
    color_ = clWindow;
    tabStop_ = false;
    edit_ = TComponent::Create<TComboEdit>(this, *this);
    edit_->SetParent(this);
    explorerDropDown_ = TComponent::Create<TPopupExplorerDropDown>(this, this);
    autoCompleteDropDown_ = TComponent::Create<TPopupAutoCompleteDropDown>(this, this);
    explorerOptions_ = std::make_unique<TPopupExplorerOptions>(*explorerDropDown_);
    autoCompleteOptions_ = std::make_unique<TPopupAutoCompleteOptions>(*autoCompleteDropDown_);
    ArrangeEdit();
}

TCustomExplorerCombobox::~TCustomExplorerCombobox() {
    // Every link naming the combo box goes first, so no dispatch reaches it
    // while it is taken apart; a linked tree's free notice forgets it.
    TExpChangeDispatch::Instance().UnRegisterChangeLink(this, this, ukEither);
    InstallMouseHook(false);
    // The edit line losing the focus as it goes must not reach drop-downs
    // already freed.
    destroying_ = true;
    DestroyComponents();
}

void TCustomExplorerCombobox::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.DefineObject("PopupExplorerOptions", explorerOptions_.get());
    f.DefineObject("PopupAutoCompleteOptions", autoCompleteOptions_.get());
    f.Enum("Style", {"cbsClassic", "cbsExpEnhanced"}, [this] { return int(style_); },
           [this](int v) { SetStyle(TExplorerComboBoxStyle(v)); }, int(cbsClassic));
}

void TCustomExplorerCombobox::SetStyle(TExplorerComboBoxStyle style) {
    if (style == style_) return;
    style_ = style;
    Invalidate();
}

void TCustomExplorerCombobox::CreateWnd() {
    TCustomControl::CreateWnd();
    ArrangeEdit();
}

void TCustomExplorerCombobox::DestroyWnd() {
    CloseDropDowns();
    TCustomControl::DestroyWnd();
}

void TCustomExplorerCombobox::Resize() {
    TCustomControl::Resize();
    ArrangeEdit();
}

RECT TCustomExplorerCombobox::ButtonRect() const {
    // Inside the 2-pixel sunken edge, one scroll-bar width wide.
    const int edge = 2;
    const int right = std::max(edge, Width() - edge);
    return {std::max(edge, right - GetSystemMetrics(SM_CXVSCROLL)), edge, right, std::max(edge, Height() - edge)};
}

void TCustomExplorerCombobox::ArrangeEdit() {
    if (!edit_) return;
    const RECT button = ButtonRect();
    const int edge = 2, inset = 2;
    const int height = std::max(0, Height() - 2 * edge - 2);
    edit_->SetBounds(edge + inset, edge + 1, std::max(0, int(button.left) - edge - inset), height);
}

void TCustomExplorerCombobox::Paint() {
    TCanvas& c = Canvas();
    RECT r{0, 0, Width(), Height()};
    c.Brush().SetColor(Color());
    c.FillRect(r);
    RECT button = ButtonRect();
    HTHEME theme = nullptr;
    if (UseThemes() && OpenThemeData && DrawThemeBackground) theme = OpenThemeData(Handle(), u"combobox");
    if (theme) {
        // Part 1 is the drop-down button: state 3 pressed, 1 normal.
        DrawThemeBackground(theme, c.Handle(), 1, DroppedDown() ? 3 : 1, &button, nullptr);
        if (CloseThemeData) CloseThemeData(theme);
        DrawEdge(c.Handle(), &r, EDGE_SUNKEN, BF_RECT);
        return;
    }
    DrawEdge(c.Handle(), &r, EDGE_SUNKEN, BF_RECT);
    UINT state = DFCS_SCROLLCOMBOBOX;
    if (DroppedDown()) state |= DFCS_PUSHED | DFCS_FLAT;
    if (!Enabled()) state |= DFCS_INACTIVE;
    DrawFrameControl(c.Handle(), &button, DFC_SCROLL, state);
}

void TCustomExplorerCombobox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseDown(button, shift, x, y);
    if (button != mbLeft) return;
    if (edit_->CanFocus() && !edit_->Focused()) edit_->SetFocus();
    const RECT r = ButtonRect();
    const POINT p{x, y};
    if (PtInRect(&r, p)) SetDroppedDown(!explorerDropDown_->DroppedDown());
}

void TCustomExplorerCombobox::Dispatch(TMessage& m) {
    if (m.Msg == WM_SETFOCUS) {
        // The combo box's keyboard is its edit line.
        if (edit_->CanFocus()) edit_->SetFocus();
        return;
    }
    TCustomControl::Dispatch(m);
}

bool TCustomExplorerCombobox::DroppedDown() const {
    if (!explorerDropDown_ || destroying_) return false;
    return explorerDropDown_->DroppedDown() || autoCompleteDropDown_->DroppedDown();
}

void TCustomExplorerCombobox::SetDroppedDown(bool value) {
    if (!value) {
        CloseDropDowns();
        return;
    }
    autoCompleteDropDown_->RollUp(false);
    if (explorerDropDown_->DroppedDown()) return;
    if (!explorerDropDown_->RollDown()) return;
    explorerDropDown_->Tree().BrowseToFolder(selected_.get());
    explorerDropDown_->SyncScrollBar();
    InstallMouseHook(true);
    Invalidate();
}

void TCustomExplorerCombobox::CloseDropDowns() {
    InstallMouseHook(false);
    if (destroying_) return;
    explorerDropDown_->RollUp(false);
    autoCompleteDropDown_->RollUp(false);
    Invalidate();
}

bool TCustomExplorerCombobox::OwnsWindow(HWND hwnd) {
    if (!hwnd) return false;
    for (TDropDownWnd* d : {static_cast<TDropDownWnd*>(explorerDropDown_),
                            static_cast<TDropDownWnd*>(autoCompleteDropDown_)})
        if (d->HandleAllocated() && (hwnd == d->Handle() || IsChild(d->Handle(), hwnd))) return true;
    return HandleAllocated() && hwnd == handle_;
}

void TCustomExplorerCombobox::InstallMouseHook(bool on) {
    if (on == (hook_ != nullptr)) return;
    if (on) {
        hook_ = SetWindowsHookEx(
            WH_GETMESSAGE,
            [this](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
                // The rest of the chain first: closing the lists removes this hook.
                const LRESULT result = CallNextHookEx(hook_, code, wParam, lParam);
                if (code == HC_ACTION && lParam) MouseHook(wParam, *reinterpret_cast<const MSG*>(lParam));
                return result;
            },
            GetCurrentThreadId());
    } else {
        UnhookWindowsHookEx(hook_);
        hook_ = nullptr;
    }
}

void TCustomExplorerCombobox::MouseHook(WPARAM removal, const MSG& msg) {
    if (removal != PM_REMOVE) return;
    switch (msg.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
        // The combo box's own window toggles the list itself.
        if (!OwnsWindow(msg.hwnd)) CloseDropDowns();
        break;
    }
}

bool TCustomExplorerCombobox::SetPath(const WideString& path) {
    UniquePIDL pidl(path.empty() ? nullptr : PathToPIDL(path));
    if (!pidl) return false;
    return SetPIDL(pidl.get());
}

bool TCustomExplorerCombobox::SetPIDL(PCItemIDList pidl) {
    if (!pidl) return false;
    UniquePIDL copy(NamespacePIDLManager().CopyPIDL(pidl));
    if (!copy) return false;
    TNamespace ns(UniquePIDL(NamespacePIDLManager().CopyPIDL(copy.get())), nullptr);
    WideString text = ns.NameParseAddress();
    if (text.empty()) text = ns.NameForParsing();
    selected_ = std::move(copy);
    settingText_ = true;
    const ScopeGuard done([this] { settingText_ = false; });
    edit_->SetWideText(text);
    edit_->SetWideSelStart(int(text.size()));
    return true;
}

void TCustomExplorerCombobox::ChooseItem(PCItemIDList pidl) {
    if (!SetPIDL(pidl)) return;
    CloseDropDowns();
    if (OnChange) OnChange(this);
    ChangeLinkDispatch();
}

void TCustomExplorerCombobox::ChooseTypedPath() {
    const WideString typed = edit_->WideText();
    CloseDropDowns();
    if (typed.empty()) return; // nothing typed: nothing to find
    UniquePIDL pidl(PathToPIDL(typed));
    if (!pidl) {
        ShowInvalidPath(typed);
        return;
    }
    ChooseItem(pidl.get());
}

void TCustomExplorerCombobox::ChooseCandidate(const WideString& path) {
    settingText_ = true;
    {
        const ScopeGuard done([this] { settingText_ = false; });
        edit_->SetWideText(path);
    }
    ChooseTypedPath();
}

void TCustomExplorerCombobox::ChangeLinkChangeEvent(TObject* server, PCItemIDList pidl) {
    if (server == this || followingChange_ || !pidl) return;
    followingChange_ = true;
    const ScopeGuard done([this] { followingChange_ = false; });
    if (HasState(csDesigning)) return;
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    if (selected_ && desktop && CompareIDsSign(*desktop, pidl, selected_.get()) == 0) return;
    SetPIDL(pidl);
}

void TCustomExplorerCombobox::ChangeLinkDispatch() {
    if (selected_ && !followingChange_ && !destroying_)
        TExpChangeDispatch::Instance().DispatchChange(this, selected_.get());
}

void TCustomExplorerCombobox::ShowInvalidPath(const WideString& typed) {
    TInvalidPathBox box(nullptr);
    box.SetBorderStyle(bsDialog);
    box.SetText(WideToUtf8(SInvalidPath));
    box.SetPosition(poScreenCenter);
    auto* label = TComponent::Create<TLabel>(&box);
    label->SetParent(&box);
    label->SetCaption(WideToUtf8(WideString(SCanNotFindPath1) + typed + SCanNotFindPath2));
    label->SetBounds(12, 12, 0, 0);
    label->SetAutoSize(true);
    auto* ok = TComponent::Create<TButton>(&box);
    ok->SetParent(&box);
    ok->SetCaption("OK");
    ok->SetDefault(true);
    ok->SetCancel(true);
    ok->SetModalResult(mrOk);
    const int width = std::max(label->Width() + 24, 200);
    box.SetClientSize(width, label->Height() + 60);
    ok->SetBounds((width - 75) / 2, label->Height() + 24, 75, 25);
    box.HandleNeeded();
    PostMessage(box.Handle(), CM_PATHBOXMODAL);
    box.ShowModal();
    if (edit_->CanFocus()) edit_->SetFocus();
}

bool TCustomExplorerCombobox::EditKeyDown(WORD key, TShiftState shift) {
    if (destroying_) return false;
    TPopupExplorerTree& tree = explorerDropDown_->Tree();
    TPopupAutoCompleteTree& list = autoCompleteDropDown_->Tree();
    const bool explorer = explorerDropDown_->DroppedDown();
    const bool candidates = autoCompleteDropDown_->DroppedDown();
    const int pageRows = std::max(1, explorerDropDown_->DropDownCount() - 1);
    switch (key) {
    case VK_F4:
        if (shift & (ssAlt | ssCtrl)) return false;
        SetDroppedDown(!explorer);
        return true;
    case VK_UP:
    case VK_DOWN:
        if (shift & ssAlt) {
            SetDroppedDown(!explorer);
            return true;
        }
        if (explorer) tree.MoveHighlight(key == VK_DOWN ? 1 : -1);
        else if (candidates) list.SetHighlightIndex(list.HighlightIndex() + (key == VK_DOWN ? 1 : -1));
        return explorer || candidates;
    case VK_PRIOR:
    case VK_NEXT:
        if (explorer) tree.MoveHighlight(key == VK_NEXT ? pageRows : -pageRows);
        else if (candidates)
            list.SetHighlightIndex(list.HighlightIndex() + (key == VK_NEXT ? pageRows : -pageRows));
        return explorer || candidates;
    case VK_ESCAPE:
        if (!explorer && !candidates) return false;
        CloseDropDowns();
        return true;
    case VK_RETURN:
        if (explorer) explorerDropDown_->ChooseFocused();
        else if (candidates && list.HighlightIndex() >= 0) autoCompleteDropDown_->ChooseHighlighted();
        else ChooseTypedPath();
        return true;
    }
    return false;
}

void TCustomExplorerCombobox::EditChanged() {
    if (settingText_ || destroying_) return;
    UpdateAutoComplete();
}

void TCustomExplorerCombobox::UpdateAutoComplete() {
    const WideString typed = edit_->WideText();
    std::vector<WideString> items = typed.empty() ? std::vector<WideString>{} : Candidates(typed);
    autoCompleteDropDown_->Tree().SetItems(std::move(items));
    if (autoCompleteDropDown_->Tree().Items().empty() || !edit_->Focused()) {
        autoCompleteDropDown_->RollUp(false);
        if (!explorerDropDown_->DroppedDown()) InstallMouseHook(false);
        return;
    }
    explorerDropDown_->RollUp(false);
    if (autoCompleteDropDown_->DroppedDown()) {
        // The list grows and shrinks with its candidates.
        bool upward = false;
        const RECT r = autoCompleteDropDown_->PlacementRect(upward);
        autoCompleteDropDown_->SetBounds(r.left, r.top, r.width(), r.height());
        autoCompleteDropDown_->SyncScrollBar();
    } else if (autoCompleteDropDown_->RollDown()) {
        InstallMouseHook(true);
    }
}

std::vector<WideString> TCustomExplorerCombobox::Candidates(const WideString& typed) {
    std::vector<WideString> out;
    TWideStringList list;
    bool handled = false;
    if (autoCompleteOptions_->OnAutoCompleteUpdateList)
        autoCompleteOptions_->OnAutoCompleteUpdateList(this, typed, list, handled);
    if (handled) {
        for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
        return out;
    }
    // The folder part of the typed path, up to and with its last "/"
    // (a lone "/" is the root, where a drive letter would stand elsewhere).
    const size_t slash = typed.rfind(u'/');
    if (slash == WideString::npos) return out;
    TShellAutoComplete& ac = autoCompleteDropDown_->AutoComplete();
    // Listed again when typing starts afresh (the folder may have changed
    // since) and whenever the typed folder changes; keys typed within one
    // folder filter the same listing.
    if (!autoCompleteDropDown_->DroppedDown()) ac.SetDirty(true);
    ac.SetCurrentDir(typed.substr(0, slash + 1));
    TWideStringList& names = ac.WideStrings();
    for (int i = 0; i < names.Count(); ++i)
        if (StartsWithNoCase(names[i], typed)) out.push_back(names[i]);
    return out;
}

// ---- Registration ------------------------------------------------------------------------------

void RegisterExplorerComboBoxClasses() {
    RegisterComponentClass<TExplorerComboBox>("TExplorerComboBox");
}

} // namespace ax
