// The folder browse dialog component.
#include "controls/FolderDialog.h"

#include <cstring>
#include <utility>

#include "framework/streaming.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquedc.h"
#include "platform/shellns/shellapi.h"
#include "rtl/scopeguard.h"
#include "rtl/streams.h"
#include "rtl/sysutils.h"
#include "stdctrls/buttons.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/dialogform.h"
#include "stdctrls/radiobutton.h"

namespace ax {

namespace {

constexpr const char* kOptionNames[] = {
    "bfFileSysDirsOnly",      "bfDontGoBelowDomain", "bfStatusText",        "bfFileSysAncestors",
    "bfBrowseForComputer",    "bfBrowseForPrinter",  "bfBrowseIncludeFiles", "bfShowPathInStatusArea",
    "bfSyncCustomButton",     "bfAlignCustomButton", "bfScreenCenter",      "bfParentCenter",
    "bfResizeCustomButton"};

// The browser's flag of each of the first options.
constexpr UINT kOptionFlags[] = {BIF_RETURNONLYFSDIRS,  BIF_DONTGOBELOWDOMAIN, BIF_STATUSTEXT,
                                 BIF_RETURNFSANCESTORS, BIF_BROWSEFORCOMPUTER, BIF_BROWSEFORPRINTER,
                                 BIF_BROWSEINCLUDEFILES};

constexpr const char* kRootNames[] = {
    "sfoDesktopExpanded", "sfoDesktop",         "sfoPrograms",       "sfoControlPanel",
    "sfoPrinters",        "sfoPersonal",        "sfoFavorites",      "sfoStartup",
    "sfoRecent",          "sfoSendto",          "sfoRecycleBin",     "sfoStartMenu",
    "sfoDesktopDirectory", "sfoMyComputer",     "sfoNetwork",        "sfoNetworkNeighborhood",
    "sfoFonts",           "sfoTemplates",       "sfoCommonStartMenu", "sfoCommonPrograms",
    "sfoCommonStartup",   "sfoCommonDesktopDirectory", "sfoAppData", "sfoPrintHood"};

constexpr int kRootCSIDLs[] = {-1, 0,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                               16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};
static_assert(std::size(kRootNames) == std::size(kRootCSIDLs));

// The selection's attributes the component keeps (SFGAO).
constexpr uint32_t kSelectionAttributes = 0x800F0177;

constexpr TFolderDialogOptions kDefaultOptions =
    FolderDialogOptions({bfFileSysDirsOnly, bfStatusText, bfShowPathInStatusArea, bfSyncCustomButton,
                         bfAlignCustomButton, bfParentCenter});

bool Has(TFolderDialogOptions set, TFolderDialogOption o) { return set & (1u << o); }
TFolderDialogOptions Bit(TFolderDialogOption o) { return 1u << o; }

// a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    return int((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

// Dialog base units of a font: the average width of the letters and the
// height, as the platform works them out for dialogs.
SIZE DialogBaseUnits(HFONT font) {
    const UniqueDC memoryDc(CreateCompatibleDC(HDC{}));
    const HDC dc = memoryDc.Get();
    const ScopedSelection useFont(dc, font);
    SIZE letters{};
    GetTextExtentPoint32(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", &letters);
    TEXTMETRIC tm;
    GetTextMetrics(dc, &tm);
    return SIZE{(letters.cx / 26 + 1) / 2, tm.tmHeight};
}

// A path names a folder on the disk: its PIDL, else null. A trailing "/."
// goes; the item must be a file-system one.
UniquePIDL PathToItemList(AnsiString path) {
    while (path.size() > 2 && path.ends_with("/.")) path.resize(path.size() - 2);
    if (path.empty()) return nullptr;
    path = ExpandFileName(path);
    if (!DirectoryExists(path)) return nullptr;
    ShellFolderPtr desktop;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return nullptr;
    PItemIDList pidl = nullptr;
    if (FAILED(desktop->ParseDisplayName(path, &pidl)) || !pidl) return nullptr;
    UniquePIDL owned(pidl);
    uint32_t attributes = SFGAO_FILESYSTEM;
    PCItemIDList item = owned.get();
    if (FAILED(desktop->GetAttributesOf(&item, 1, &attributes)) || !(attributes & SFGAO_FILESYSTEM)) return nullptr;
    return owned;
}

// A copy of an item list from the task allocator; null when there is none.
UniquePIDL CopyItemList(PCItemIDList pidl) {
    const size_t size = ILByteSize(pidl);
    IMalloc* m = nullptr;
    if (!size || FAILED(SHGetMalloc(&m)) || !m) return nullptr;
    void* block = m->Alloc(size);
    if (!block) return nullptr;
    std::memcpy(block, pidl, size);
    return UniquePIDL(static_cast<PItemIDList>(block));
}

// A new control of the kind of original, or null for another kind.
std::unique_ptr<TButtonControl> NewOfKind(TButtonControl* original) {
    if (dynamic_cast<TRadioButton*>(original)) return std::make_unique<TRadioButton>(nullptr);
    if (dynamic_cast<TCustomCheckBox*>(original)) return std::make_unique<TCheckBox>(nullptr);
    if (dynamic_cast<TBitBtn*>(original)) return std::make_unique<TBitBtn>(nullptr);
    if (dynamic_cast<TButton*>(original)) return std::make_unique<TButton>(nullptr);
    return nullptr;
}

} // namespace

UINT FolderDialogFlags(TFolderDialogOptions options) {
    UINT flags = 0;
    for (size_t i = 0; i < std::size(kOptionFlags); ++i)
        if (Has(options, TFolderDialogOption(i))) flags |= kOptionFlags[i];
    return flags;
}

int ShellFolderToCSIDL(TShellFolder folder) {
    return size_t(folder) < std::size(kRootCSIDLs) ? kRootCSIDLs[folder] : -1;
}

AnsiString FitStatusText(const AnsiString& text, HFONT font, int width, bool pathEllipsis) {
    const UniqueDC memoryDc(CreateCompatibleDC(HDC{}));
    const HDC dc = memoryDc.Get();
    const ScopedSelection useFont(dc, font);
    // One character's room stays free at the end: the text is fitted into
    // the width less a "W", rather than fitted with a "W" that is then cut
    // off again (which, with the ellipsis at the end, would cut the
    // ellipsis instead).
    SIZE w{};
    GetTextExtentPoint32(dc, "W", &w);
    RECT r{0, 0, std::max(0, width - int(w.cx)), 0x4000};
    std::string fitted = text;
    DrawTextEx(dc, &fitted, &r,
               DT_MODIFYSTRING | DT_NOPREFIX | DT_EXTERNALLEADING | DT_SINGLELINE |
                   (pathEllipsis ? DT_PATH_ELLIPSIS : DT_END_ELLIPSIS),
               nullptr);
    return fitted;
}

// ---- TFolderDialog ------------------------------------------------------------------------------

TFolderDialog::TFolderDialog(TComponent* owner) : TCommonDialog(owner), options_(kDefaultOptions) {}

TFolderDialog::~TFolderDialog() {
    Destroying();
    if (handle_ && IsWindow(handle_)) {
        HWND browser = handle_;
        BrowserClosing();
        SendMessage(browser, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    if (customButton_) customButton_->RemoveFreeNotification(this);
}

void TFolderDialog::DefinePublished(TFiler& f) {
    TCommonDialog::DefinePublished(f);
    f.Integer("Top", [this] { return Top(); }, [this](int64_t v) { SetTop(int(v)); }, 0);
    f.Integer("Left", [this] { return Left(); }, [this](int64_t v) { SetLeft(int(v)); }, 0);
    f.String("Title", [this] { return title_; }, [this](const AnsiString& v) { title_ = v; }, "Browse for Folder");
    f.String("Directory", [this] { return Directory(); }, [this](const AnsiString& v) { SetDirectory(v); });
    f.String("Text", [this] { return text_; }, [this](const AnsiString& v) { SetText(v); });
    f.Set("Options", std::vector<const char*>(std::begin(kOptionNames), std::end(kOptionNames)),
          [this] { return options_; }, [this](unsigned v) { SetOptions(v); }, kDefaultOptions);
    f.Enum("RootFolder", std::vector<const char*>(std::begin(kRootNames), std::end(kRootNames)),
           [this] { return int(rootFolder_); }, [this](int v) { SetRootFolder(TShellFolder(v)); },
           int(sfoDesktopExpanded));
    f.ComponentRef("CustomButton", [this] { return static_cast<TComponent*>(customButton_); },
                   [this](TComponent* c) { SetCustomButton(dynamic_cast<TButtonControl*>(c)); });
}

void TFolderDialog::Notification(TComponent* component, TOperation operation) {
    TCommonDialog::Notification(component, operation);
    if (operation == opRemove && component == customButton_) customButton_ = nullptr;
}

// ---- Properties ---------------------------------------------------------------------------------

int TFolderDialog::Top() const {
    RECT r;
    if (handle_ && GetWindowRect(handle_, r)) return r.top;
    return top_;
}

int TFolderDialog::Left() const {
    RECT r;
    if (handle_ && GetWindowRect(handle_, r)) return r.left;
    return left_;
}

void TFolderDialog::SetTop(int value) {
    top_ = value;
    if (handle_) SetWindowPos(handle_, nullptr, Left(), value, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFolderDialog::SetLeft(int value) {
    left_ = value;
    if (handle_) SetWindowPos(handle_, nullptr, value, Top(), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

AnsiString TFolderDialog::Directory() const { return handle_ ? selectionPath_ : directory_; }

void TFolderDialog::SetDirectory(const AnsiString& value) {
    directory_ = value;
    const AnsiString current = handle_ ? selectionPath_ : AnsiString(result_ ? SHGetPathFromIDList(result_.get()) : "");
    if (value == current) return;
    UniquePIDL pidl = PathToItemList(value);
    if (!pidl) return;
    initial_ = std::move(pidl);
    if (handle_) SendMessage(handle_, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(initial_.get()));
}

void TFolderDialog::SetText(const AnsiString& value) {
    text_ = value;
    if (handle_ && Has(options_, bfStatusText)) SetStatusText(value);
}

void TFolderDialog::SetOptions(TFolderDialogOptions value) {
    const TFolderDialogOptions old = options_;
    // The two ways of centring exclude each other: the one asked for anew wins.
    if (Has(value, bfScreenCenter) && Has(value, bfParentCenter)) {
        if (Has(old, bfParentCenter)) value &= ~Bit(bfParentCenter);
        else value &= ~Bit(bfScreenCenter);
    }
    if (Has(value, bfBrowseForComputer)) {
        if (!Has(old, bfBrowseForComputer)) SetRootFolder(sfoNetwork);
        value &= ~(Bit(bfFileSysDirsOnly) | Bit(bfFileSysAncestors) | Bit(bfBrowseForPrinter));
    } else if (Has(value, bfBrowseForPrinter)) {
        value &= ~(Bit(bfFileSysDirsOnly) | Bit(bfDontGoBelowDomain) | Bit(bfFileSysAncestors) |
                   Bit(bfBrowseForComputer));
    }
    // The path is shown in the status line, which needs to be there.
    if (Has(value, bfShowPathInStatusArea) && !Has(value, bfStatusText)) {
        if (Has(old, bfStatusText) && Has(old, bfShowPathInStatusArea)) value &= ~Bit(bfShowPathInStatusArea);
        else value |= Bit(bfStatusText);
    }
    options_ = value;
}

void TFolderDialog::SetRootFolder(TShellFolder value) {
    root_.reset();
    initial_.reset();
    result_.reset();
    rootFolder_ = value;
    const int csidl = ShellFolderToCSIDL(value);
    if (csidl < 0) return;
    PItemIDList pidl = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(csidl, &pidl))) root_.reset(pidl);
}

void TFolderDialog::SetCustomButton(TButtonControl* value) {
    if (value == customButton_) return;
    if (customButton_) customButton_->RemoveFreeNotification(this);
    customButton_ = value;
    if (customButton_) customButton_->FreeNotification(this);
}

HWND TFolderDialog::OwnerWindow() const {
    if (auto* control = dynamic_cast<TWinControl*>(Owner()); control && control->HandleAllocated())
        return control->Handle();
    TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    return main && main->HandleAllocated() ? main->Handle() : nullptr;
}

// ---- Execute ------------------------------------------------------------------------------------

bool TFolderDialog::Execute() {
    const std::shared_ptr<bool> alive = alive_;
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info;
    info.hwndOwner = OwnerWindow();
    info.pidlRoot = root_.get();
    info.pszDisplayName = displayName;
    info.lpszTitle = title_.empty() ? nullptr : title_.c_str();
    info.ulFlags = FolderDialogFlags(options_);
    info.lpfn = &TFolderDialog::BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(this);
    UniquePIDL chosen;
    TaskModalDialog([&](HWND) {
        chosen.reset(SHBrowseForFolderA(&info));
        return chosen != nullptr;
    });
    // Freed while the browser was open: nothing of the component is left.
    if (!*alive) return false;
    BrowserClosing();
    if (!chosen) {
        directory_.clear();
        attributes_ = 0;
        return false;
    }
    result_ = std::move(chosen);
    // The next browser opens on this choice.
    initial_ = CopyItemList(result_.get());
    displayName_ = AnsiString(displayName, strnlen(displayName, sizeof displayName));
    imageIndex_ = info.iImage;
    directory_ = SHGetPathFromIDList(result_.get());
    return true;
}

int TFolderDialog::BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    auto* self = reinterpret_cast<TFolderDialog*>(data);
    if (!self) return 0;
    switch (message) {
    case BFFM_INITIALIZED: self->Initialized(window); break;
    case BFFM_SELCHANGED: self->SelectionChanged(reinterpret_cast<PCItemIDList>(lParam)); break;
    }
    return 0;
}

void TFolderDialog::Initialized(HWND window) {
    handle_ = window;
    selectionPath_.clear();
    // The browser's messages reach the component first: it lets its clone
    // go before the window does.
    SetWindowSubclass(
        window,
        [this](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (msg == WM_DESTROY) BrowserClosing();
            return DefSubclassProc(h, msg, wParam, lParam);
        },
        reinterpret_cast<UINT_PTR>(this));
    MakeClone();
    Centre();
    if (Has(options_, bfStatusText) && !text_.empty()) SetStatusText(text_);
    if (initial_) SendMessage(window, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(initial_.get()));
}

void TFolderDialog::BrowserClosing() {
    if (handle_ && IsWindow(handle_)) RemoveWindowSubclass(handle_, reinterpret_cast<UINT_PTR>(this));
    if (handle_) {
        RECT r;
        if (GetWindowRect(handle_, r)) {
            left_ = r.left;
            top_ = r.top;
        }
    }
    clone_.reset();
    handle_ = nullptr;
}

void TFolderDialog::SelectionChanged(PCItemIDList pidl) {
    if (!handle_ || !pidl) return;
    attributes_ = kSelectionAttributes;
    ShellFolderPtr desktop;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop || FAILED(desktop->GetAttributesOf(&pidl, 1, &attributes_)))
        attributes_ = 0;
    selectionPath_ = SHGetPathFromIDList(pidl);
    if (Has(options_, bfFileSysDirsOnly)) SendMessage(handle_, BFFM_ENABLEOK, 0, !selectionPath_.empty());
    if (Has(options_, bfSyncCustomButton) && clone_)
        clone_->SetEnabled(IsWindowEnabled(GetDlgItem(handle_, dciOk)) != FALSE);
    if (!selectionPath_.empty()) {
        if (Has(options_, bfShowPathInStatusArea)) SetStatusText(selectionPath_);
        if (OnChange) OnChange(this);
    } else if (Has(options_, bfFileSysDirsOnly) || Has(options_, bfShowPathInStatusArea)) {
        SetStatusText("");
    }
}

void TFolderDialog::SetStatusText(const AnsiString& text) {
    if (!handle_) return;
    HWND status = GetDlgItem(handle_, dciBrowseStatus);
    AnsiString fitted = text;
    RECT r;
    if (status && GetClientRect(status, r)) {
        TWinControl* control = TWinControl::FindControl(status);
        fitted = FitStatusText(text, control ? control->Font().Handle() : HFONT{}, r.width(),
                               Has(options_, bfShowPathInStatusArea));
    }
    SendMessage(handle_, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(fitted.c_str()));
}

void TFolderDialog::Centre() {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (Has(options_, bfParentCenter)) {
        RECT owner;
        HWND parent = GetWindow(handle_, GW_OWNER);
        if (!parent) parent = OwnerWindow();
        if (parent && GetWindowRect(parent, owner)) area = owner;
    } else if (!Has(options_, bfScreenCenter)) {
        return;
    }
    RECT r;
    if (!GetWindowRect(handle_, r)) return;
    int x = area.left + (area.width() - r.width()) / 2;
    int y = area.top + (area.height() - r.height()) / 2;
    // Whole on the screen when it fits there.
    x = std::max(0, std::min(x, GetSystemMetrics(SM_CXSCREEN) - r.width()));
    y = std::max(0, std::min(y, GetSystemMetrics(SM_CYSCREEN) - r.height()));
    SetWindowPos(handle_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- The custom button's clone -----------------------------------------------------------------

void TFolderDialog::MakeClone() {
    clone_.reset();
    if (!customButton_) return;
    std::unique_ptr<TButtonControl> clone = NewOfKind(customButton_);
    if (!clone) return;
    TWinControl* browser = TWinControl::FindControl(handle_);
    if (browser) clone->SetParent(browser);
    else clone->SetParentWindow(handle_);
    // The control's stored properties, written out and read back into the
    // new one: caption, state, size, font...
    try {
        TMemoryStream stream;
        TWriter writer(stream);
        writer.WriteProperties(*customButton_);
        writer.WriteListEnd();
        stream.SetPosition(0);
        TReader reader(stream);
        reader.OnError = [](const AnsiString&) { return true; };
        clone->SetState(csLoading | csReading);
        while (!reader.EndOfList()) reader.ReadProperty(*clone);
        clone->ClearState(csReading);
        clone->Loaded();
    } catch (const std::exception&) {
        return;
    }
    // Its events stay those of the form's control; a click is the
    // component's, which hands it on.
    clone->OnDblClick = customButton_->OnDblClick;
    clone->OnMouseDown = customButton_->OnMouseDown;
    clone->OnMouseUp = customButton_->OnMouseUp;
    clone->OnMouseMove = customButton_->OnMouseMove;
    clone->OnMouseEnter = customButton_->OnMouseEnter;
    clone->OnMouseLeave = customButton_->OnMouseLeave;
    clone->OnEnter = customButton_->OnEnter;
    clone->OnExit = customButton_->OnExit;
    clone->OnKeyDown = customButton_->OnKeyDown;
    clone->OnKeyPress = customButton_->OnKeyPress;
    clone->OnKeyUp = customButton_->OnKeyUp;
    clone->OnClick = [this](TObject*) { CloneClicked(); };
    // A push button in the browser neither ends it nor takes Enter or Escape.
    if (auto* button = dynamic_cast<TButton*>(clone.get())) {
        button->SetModalResult(mrNone);
        button->SetDefault(false);
        button->SetCancel(false);
    }

    HWND ok = GetDlgItem(handle_, dciOk);
    RECT okRect{};
    if (ok && GetWindowRect(ok, okRect)) {
        POINT corners[2] = {{okRect.left, okRect.top}, {okRect.right, okRect.bottom}};
        MapWindowPoints(nullptr, handle_, corners);
        okRect = RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    }
    TFont* font = browser ? &browser->Font() : nullptr;
    const SIZE units = DialogBaseUnits(font ? font->Handle() : HFONT{});
    int width = clone->Width(), height = clone->Height();
    if (Has(options_, bfResizeCustomButton)) {
        width = MulDiv(50, units.cx, 4);
        height = MulDiv(14, units.cy, 8);
    }
    int left = clone->Left(), top = clone->Top();
    if (Has(options_, bfAlignCustomButton) && ok) {
        // On the buttons' row, at the dialog's left margin.
        left = MulDiv(7, units.cx, 4);
        top = okRect.top + (okRect.height() - height) / 2;
    }
    clone->SetBounds(left, top, width, height);
    clone->SetVisible(true);
    clone_ = std::move(clone);
}

void TFolderDialog::CloneClicked() {
    if (HasState(csDesigning)) {
        SetStatusText("Current path is " + Directory());
        return;
    }
    TButtonControl* original = customButton_;
    if (!original || !clone_) return;
    const std::shared_ptr<bool> alive = alive_;
    if (dynamic_cast<TCustomCheckBox*>(original) || dynamic_cast<TRadioButton*>(original)) {
        // The state goes back without the control's own click event...
        TNotifyEvent saved = std::exchange(original->OnClick, nullptr);
        ScopeGuard restore([&] { original->OnClick = std::move(saved); });
        original->SetChecked(clone_->Checked());
    }
    // ...which then runs once.
    if (*alive && customButton_ == original && original->OnClick) original->OnClick(original);
}

} // namespace ax
