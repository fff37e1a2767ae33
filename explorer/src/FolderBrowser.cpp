// The folder browser: the dialog behind SHBrowseForFolderA.
#include "explorer/FolderBrowser.h"

#include <cstring>

#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"
#include "shell/PIDLTools.h"

namespace ax {

// The window layer's beep (platform/window/sound.h, whose message-box
// numbers the namespace layer's shellui.h declares as well).
BOOL MessageBeep(UINT type);

namespace {

constexpr int kMargin = 8;
constexpr int kClientWidth = 320, kClientHeight = 380;
constexpr int kButtonWidth = 75, kButtonHeight = 23;
constexpr int kFieldLabelWidth = 56;
// Texts of the caller's are read no further than this.
constexpr size_t kMaxText = 32768;

std::string BytesOf(PCItemIDList pidl) {
    return pidl ? std::string(reinterpret_cast<const char*>(pidl), ILByteSize(pidl)) : std::string();
}

UniquePIDL FromBytes(const std::string& bytes) {
    if (bytes.empty()) return nullptr;
    IMalloc* m = nullptr;
    if (FAILED(SHGetMalloc(&m))) return nullptr;
    void* block = m->Alloc(bytes.size());
    if (!block) return nullptr;
    std::memcpy(block, bytes.data(), bytes.size());
    return UniquePIDL(static_cast<PItemIDList>(block));
}

UniquePIDL Copy(PCItemIDList pidl) { return FromBytes(BytesOf(pidl)); }

AnsiString Bounded(const char* text) { return text ? AnsiString(text, strnlen(text, kMaxText)) : AnsiString(); }

// The longest head of text of at most max bytes that ends on a character.
size_t Utf8Cut(const AnsiString& text, size_t max) {
    if (text.size() <= max) return text.size();
    size_t n = max;
    while (n > 0 && (uint8_t(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

// The status line: one line of text, drawn as it is given (no accelerator
// prefixes: it shows paths).
class TBrowserStatus final : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    AnsiString ClassName() const override { return "TBrowserStatus"; }
    void SetText(const AnsiString& text) override {
        TCustomControl::SetText(text);
        Invalidate();
    }

protected:
    void Paint() override {
        TCanvas& c = Canvas();
        const RECT r = ClientRect();
        c.Brush().SetColor(Color());
        c.FillRect(r);
        c.Font().Assign(&Font());
        const int y = (r.height() - c.TextHeight("Wg")) / 2;
        c.TextRect(r, 0, y, Caption());
    }
};

} // namespace

// ---- Construction ------------------------------------------------------------------------------

TFolderBrowserForm::TFolderBrowserForm(BROWSEINFOA& info) : TDialogForm(info.hwndOwner), info_(info) {
    SetCaption("Browse for Folder");
    root_ = info.pidlRoot ? Copy(info.pidlRoot) : FromBytes(std::string(2, '\0'));
    Build();
}

TFolderBrowserForm::~TFolderBrowserForm() {
    closing_ = true;
    if (tree_) tree_->OnChange = nullptr;
    DestroyComponents();
}

void TFolderBrowserForm::Build() {
    SetClientSize(kClientWidth, kClientHeight);
    const int width = kClientWidth - 2 * kMargin;
    int top = kMargin;
    const AnsiString title = Bounded(info_.lpszTitle);
    if (!title.empty()) {
        title_ = TComponent::Create<TLabel>(this);
        title_->SetParent(this);
        title_->SetAutoSize(false);
        title_->SetWordWrap(true);
        title_->SetShowAccelChar(false);
        title_->SetCaption(title);
        title_->SetBounds(kMargin, top, width, 26);
        top += 26 + 4;
    }
    if (info_.ulFlags & BIF_STATUSTEXT) {
        status_ = TComponent::Create<TBrowserStatus>(this);
        status_->SetParent(this);
        // Text on the dialog's face, as a label: nothing to type into.
        status_->SetParentColor(true);
        status_->SetBounds(kMargin, top, width, 17);
        SetControlId(*status_, dciBrowseStatus);
        top += 17 + 4;
    }

    const int buttonsTop = kClientHeight - kMargin - kButtonHeight;
    const int problemTop = buttonsTop - 6 - 13;
    const int editTop = problemTop - 4 - 21;

    tree_ = TComponent::Create<TExplorerTree>(this);
    tree_->SetParent(this);
    tree_->SetBounds(kMargin, top, width, editTop - kMargin - top);
    TFileObjects objects = foFolders;
    // Printers and computers are no folders: browsing for one lists the
    // items too.
    if (info_.ulFlags & (BIF_BROWSEINCLUDEFILES | BIF_BROWSEFORPRINTER | BIF_BROWSEFORCOMPUTER))
        objects |= foNonFolders;
    tree_->SetFileObjects(objects);
    // A double click only expands here: nothing is run.
    TExplorerTreeOptions& o = tree_->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toExecuteOnDblClk));
    if (info_.pidlRoot) tree_->SetRootFolderCustomPIDL(root_.get());
    else tree_->SetRootFolder(rfDesktop);
    tree_->SetActive(true);
    tree_->OnChange = [this](TBaseDataTree*, PDataNode) { SelectionChanged(); };
    SetControlId(*tree_, dciBrowseTree);

    edit_ = TComponent::Create<TEdit>(this);
    edit_->SetParent(this);
    edit_->SetBounds(kMargin + kFieldLabelWidth, editTop, width - kFieldLabelWidth, 21);
    edit_->OnChange = [this](TObject*) {
        typed_ = Trim(edit_->Text()) != shownText_;
        problem_->SetCaption("");
        UpdateOk();
    };
    // Enter takes the typed path even while OK is off for the selection.
    edit_->OnKeyDown = [this](TObject*, WORD& key, TShiftState shift) {
        if (key == VK_RETURN && shift == 0) {
            key = 0;
            Accept();
        }
    };
    SetControlId(*edit_, dciBrowseEdit);
    editLabel_ = TComponent::Create<TLabel>(this);
    editLabel_->SetParent(this);
    editLabel_->SetCaption("&Folder:");
    editLabel_->SetFocusControl(edit_);
    editLabel_->SetBounds(kMargin, editTop + 4, editLabel_->Width(), editLabel_->Height());

    problem_ = TComponent::Create<TLabel>(this);
    problem_->SetParent(this);
    problem_->SetShowAccelChar(false);
    problem_->Font().SetColor(clMaroon);
    problem_->SetBounds(kMargin, problemTop, problem_->Width(), problem_->Height());

    okButton_ = AddButton(dciOk, "OK", kClientWidth - 2 * (kMargin + kButtonWidth), buttonsTop);
    okButton_->OnClick = [this](TObject*) { Accept(); };
    okButton_->SetEnabled(false);
    cancelButton_ = AddButton(dciCancel, "Cancel", kClientWidth - kMargin - kButtonWidth, buttonsTop);
    tree_->SetTabOrder(0);
}

// ---- The run -----------------------------------------------------------------------------------

void TFolderBrowserForm::DialogInit() {
    if (PDataNode root = tree_->GetFirst()) {
        tree_->SetExpanded(root, true);
        tree_->SetSelected(root, true);
        tree_->SetFocusedNode(root);
    }
    SelectionChanged();
    // The selection is told once the callback knows the window.
    Notify(BFFM_INITIALIZED, 0);
    initialized_ = true;
    NotifySelection();
}

void TFolderBrowserForm::DialogShown() {
    if (closing_) {
        EndDialog(dciCancel);
        return;
    }
    if (tree_->CanFocus()) tree_->SetFocus();
}

int TFolderBrowserForm::Notify(UINT message, LPARAM lParam) {
    if (!info_.lpfn || closing_ || !HandleAllocated()) return 0;
    return info_.lpfn(Handle(), message, lParam, info_.lParam);
}

void TFolderBrowserForm::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case BFFM_SETSTATUSTEXTA:
        if (status_) status_->SetCaption(Bounded(reinterpret_cast<const char*>(m.LParam)));
        m.Result = 0;
        return;
    case BFFM_ENABLEOK:
        okAllowed_ = m.LParam != 0;
        UpdateOk();
        m.Result = 0;
        return;
    case BFFM_SETSELECTIONA: {
        UniquePIDL pidl;
        if (m.WParam) {
            const AnsiString text = Bounded(reinterpret_cast<const char*>(m.LParam));
            if (!text.empty()) pidl = PathBelowRoot(Resolve(text));
        } else {
            pidl = BelowRoot(reinterpret_cast<PCItemIDList>(m.LParam));
        }
        m.Result = pidl && SelectPIDL(pidl.get());
        return;
    }
    case WM_SYSCOMMAND:
        // Closed from outside: the caller hears nothing more.
        if ((m.WParam & 0xFFF0) == SC_CLOSE) closing_ = true;
        break;
    }
    TDialogForm::Dispatch(m);
}

// ---- The selection -----------------------------------------------------------------------------

PCItemIDList TFolderBrowserForm::Selection() const {
    return selected_.empty() ? nullptr : reinterpret_cast<PCItemIDList>(selected_.data());
}

namespace {

// The kind of the item's last ID.
uint8_t LastKind(PCItemIDList pidl) {
    if (!pidl || ILIsEmpty(pidl)) return 0;
    PCItemIDList last = pidl;
    for (PCItemIDList next = ILNextItem(last); next && next->mkid.cb; next = ILNextItem(next)) last = next;
    return ILItemKind(last);
}

// Whether OK may take an item, by the browser's flags.
bool AllowedByFlags(UINT flags, TNamespace& ns) {
    if (flags & BIF_BROWSEFORPRINTER) return LastKind(ns.AbsolutePIDL()) == PIDL_KIND_PRINTER;
    if (flags & BIF_BROWSEFORCOMPUTER) return LastKind(ns.AbsolutePIDL()) == PIDL_KIND_COMPUTER;
    if (flags & BIF_RETURNONLYFSDIRS) return ns.FileSystem();
    if (flags & BIF_RETURNFSANCESTORS) return ns.FileSysAncestor() || ns.FileSystem();
    return true;
}

} // namespace

void TFolderBrowserForm::SelectionChanged() {
    if (closing_ || !tree_) return;
    PDataNode node = tree_->GetFirstSelected();
    if (!node) node = tree_->FocusedNode();
    TNamespace* ns = node ? tree_->NodeNamespace(node) : nullptr;
    // A selection cleared on the way to another is no change of its own.
    if (!ns || !ns->AbsolutePIDL()) return;
    const std::string bytes = BytesOf(ns->AbsolutePIDL());
    if (bytes == selected_) return;
    selected_ = bytes;
    okAllowed_ = AllowedByFlags(info_.ulFlags, *ns);
    const AnsiString path = SHGetPathFromIDList(ns->AbsolutePIDL());
    shownText_ = !path.empty() ? path : WideToUtf8(ns->NameNormal());
    edit_->SetText(shownText_);
    typed_ = false;
    UpdateOk();
    ShowProblem("");
    NotifySelection();
}

void TFolderBrowserForm::NotifySelection() {
    if (!initialized_ || closing_) return;
    // A selection made by the callback itself is told after the call that
    // made it.
    if (notifying_) {
        notifyAgain_ = true;
        return;
    }
    notifying_ = true;
    ScopeGuard done([this] { notifying_ = false; });
    do {
        notifyAgain_ = false;
        if (selected_.empty() || selected_ == notified_) break;
        notified_ = selected_;
        // The callback gets a copy: it may change the selection meanwhile.
        const UniquePIDL pidl = FromBytes(selected_);
        if (!pidl) break;
        Notify(BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl.get()));
    } while (notifyAgain_ && !closing_);
}

UniquePIDL TFolderBrowserForm::BelowRoot(PCItemIDList pidl) const {
    if (!pidl || !root_ || !ILIsValid(pidl, ILByteSize(pidl))) return nullptr;
    if (ILIsEqual(root_.get(), pidl) || ILIsParent(root_.get(), pidl, false)) return Copy(pidl);
    // The same folder reached another way (a path parses through Computer,
    // the root may be the documents item): by its place on the disk.
    const AnsiString path = SHGetPathFromIDList(pidl);
    return path.empty() ? nullptr : PathBelowRoot(path);
}

UniquePIDL TFolderBrowserForm::PathBelowRoot(const AnsiString& path) const {
    if (path.empty() || !root_) return nullptr;
    ShellFolderPtr desktop;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop) {
        PItemIDList parsed = nullptr;
        if (SUCCEEDED(desktop->ParseDisplayName(path, &parsed)) && parsed) {
            UniquePIDL owned(parsed);
            if (ILIsEqual(root_.get(), parsed) || ILIsParent(root_.get(), parsed, false)) return owned;
        }
    }
    const AnsiString rootPath = SHGetPathFromIDList(root_.get());
    if (rootPath.empty() || ILIsEmpty(root_.get())) return nullptr;
    if (path == rootPath) return Copy(root_.get());
    const AnsiString prefix = IncludeTrailingPathDelimiter(rootPath);
    if (!path.starts_with(prefix)) return nullptr;
    // The root's own PIDL followed by one item per name.
    std::string bytes = BytesOf(root_.get());
    bytes.resize(bytes.size() - 2);
    size_t at = prefix.size();
    while (at < path.size()) {
        size_t end = path.find('/', at);
        if (end == AnsiString::npos) end = path.size();
        const std::string name = path.substr(at, end - at);
        at = end + 1;
        if (name.empty()) continue;
        const UniquePIDL item(ILCreateItem(PIDL_KIND_FILE, name));
        if (!item) return nullptr;
        bytes += BytesOf(item.get()).substr(0, item->mkid.cb);
    }
    bytes.append(2, '\0');
    return FromBytes(bytes);
}

PDataNode TFolderBrowserForm::NodeOf(PCItemIDList pidl) {
    const UniquePIDL below = BelowRoot(pidl);
    return below ? tree_->FindNodeByPIDL(below.get()) : nullptr;
}

bool TFolderBrowserForm::SelectPIDL(PCItemIDList pidl) {
    const UniquePIDL below = BelowRoot(pidl);
    if (!below) return false;
    PDataNode node = tree_->FindNodeByPIDL(below.get());
    if (!node) return false;
    // The target keeps its own expanded state.
    return tree_->BrowseToByPIDL(below.get(), tree_->Expanded(node), false, false, true);
}

// ---- OK ----------------------------------------------------------------------------------------

void TFolderBrowserForm::UpdateOk() { okButton_->SetEnabled(okAllowed_ || typed_); }

AnsiString TFolderBrowserForm::ProblemText() const { return problem_->Caption(); }

AnsiString TFolderBrowserForm::StatusText() const { return status_ ? status_->Caption() : AnsiString(); }

void TFolderBrowserForm::ShowProblem(const AnsiString& text) {
    problem_->SetCaption(text);
    if (!text.empty()) MessageBeep(0);
}

AnsiString TFolderBrowserForm::Resolve(const AnsiString& typed) const {
    AnsiString path = Trim(typed);
    if (path == "~" || path.starts_with("~/")) path = HomeDirectory() + path.substr(1);
    if (path.empty() || path[0] != '/') {
        // Relative to the selected folder, or to home when it is none on the disk.
        AnsiString base = selected_.empty() ? AnsiString() : AnsiString(SHGetPathFromIDList(Selection()));
        if (base.empty() || !DirectoryExists(base)) base = HomeDirectory();
        path = IncludeTrailingPathDelimiter(base) + path;
    }
    path = ExpandFileName(path);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

void TFolderBrowserForm::Accept() {
    if (closing_) return;
    ShowProblem("");
    if (typed_) {
        const AnsiString text = Trim(edit_->Text());
        const AnsiString path = Resolve(text);
        const bool files = info_.ulFlags & BIF_BROWSEINCLUDEFILES;
        if (!DirectoryExists(path) && !(files && FileExists(path))) {
            ShowProblem(files ? "\"" + text + "\" does not exist." : "The folder \"" + text + "\" does not exist.");
            return;
        }
        UniquePIDL pidl = PathBelowRoot(path);
        if (!pidl) {
            TNamespace root(Copy(root_.get()), nullptr);
            ShowProblem("\"" + path + "\" is not in \"" + WideToUtf8(root.NameNormal()) + "\".");
            return;
        }
        // Shown in the tree (not every folder is: hidden ones are not), it
        // becomes the selection, which the callback hears of.
        if (SelectPIDL(pidl.get())) {
            if (closing_) return;
            if (!okAllowed_) {
                ShowProblem("\"" + path + "\" cannot be chosen here.");
                return;
            }
        } else {
            TNamespace ns(Copy(pidl.get()), nullptr);
            if (!AllowedByFlags(info_.ulFlags, ns)) {
                ShowProblem("\"" + path + "\" cannot be chosen here.");
                return;
            }
        }
        Finish(std::move(pidl));
        return;
    }
    if (!okAllowed_ || selected_.empty()) {
        MessageBeep(0);
        return;
    }
    Finish(FromBytes(selected_));
}

void TFolderBrowserForm::Finish(UniquePIDL chosen) {
    if (!chosen) return;
    result_ = std::move(chosen);
    closing_ = true;
    EndDialog(dciOk);
}

PItemIDList TFolderBrowserForm::TakeResult() {
    if (!result_) return nullptr;
    TNamespace ns(Copy(result_.get()), nullptr);
    if (info_.pszDisplayName) {
        const AnsiString name = WideToUtf8(ns.NameNormal());
        const size_t n = Utf8Cut(name, MAX_PATH - 1);
        std::memcpy(info_.pszDisplayName, name.data(), n);
        info_.pszDisplayName[n] = '\0';
    }
    SHFILEINFO sfi;
    info_.iImage = SHGetFileInfo(result_.get(), "", 0, sfi, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON)
                       ? sfi.iIcon
                       : 0;
    return result_.release();
}

// ---- The browser -------------------------------------------------------------------------------

PItemIDList BrowseForFolder(BROWSEINFOA* info) {
    if (!info || !Application()) return nullptr;
    TFolderBrowserForm form(*info);
    if (form.Execute() != dciOk) return nullptr;
    return form.TakeResult();
}

void InstallFolderBrowser() { SetFolderBrowser(&BrowseForFolder); }

} // namespace ax
