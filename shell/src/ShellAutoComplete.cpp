// Building the auto-complete lists: the folders Contents names are walked
// with a stack of their own (any depth), and each item kept gives its parsing
// name to the 8-bit and the wide list; a failed build leaves them stale.
#include "shell/ShellAutoComplete.h"

#include "framework/streaming.h"
#include "rtl/scopeguard.h"

namespace ax {

// A folder being listed: its items not yet looked at, and the folder itself
// while its items come first (nil for a root).
struct TCustomShellAutoComplete::Frame {
    std::vector<std::unique_ptr<TNamespace>> items;
    size_t next = 0;
    std::unique_ptr<TNamespace> folder;
};

TCustomShellAutoComplete::TCustomShellAutoComplete(TComponent* owner) : TComponent(owner) {}

TCustomShellAutoComplete::~TCustomShellAutoComplete() {
    Clear();
}

void TCustomShellAutoComplete::DefineProperties(TFiler& f) {
    TComponent::DefineProperties(f);
    f.DefineProperty(
        "CurrentDir", [this](TReader& r) { SetCurrentDir(Utf8ToWide(r.ReadString())); },
        [this](TWriter& w) {
            w.WriteValue(TValueType::vaWString);
            w.Stream().WriteValue<uint32_t>(uint32_t(currentDir_.size()));
            w.Stream().WriteBuffer(currentDir_.data(),
                                   int64_t(currentDir_.size() * sizeof(char16_t)));
        },
        !currentDir_.empty());
}

void TCustomShellAutoComplete::SetContents(TAutoCompleteContents value) {
    if (value == contents_) return;
    contents_ = value;
    dirty_ = true;
}

void TCustomShellAutoComplete::SetCurrentDir(const WideString& value) {
    if (value == currentDir_) return;
    currentDir_ = value;
    if (WideDirectoryExists(value)) dirty_ = true;
}

TNameSpaceList& TCustomShellAutoComplete::Namespaces() {
    RefreshIfDirty();
    return namespaces_;
}

TStringList& TCustomShellAutoComplete::Strings() {
    RefreshIfDirty();
    return strings_;
}

TWideStringList& TCustomShellAutoComplete::WideStrings() {
    RefreshIfDirty();
    return wideStrings_;
}

void TCustomShellAutoComplete::RefreshIfDirty() {
    if (dirty_) Refresh();
}

void TCustomShellAutoComplete::Clear() {
    strings_.Clear();
    wideStrings_.Clear();
    namespaces_.Clear();
    parents_.clear();
}

void TCustomShellAutoComplete::Refresh() {
    Clear();
    // A handler that throws leaves the lists to be built again.
    ScopeGuard stale([this] { dirty_ = true; });
    std::vector<TNamespace*> roots;
    auto root = [&](std::unique_ptr<TNamespace> folder) {
        roots.push_back(folder.get());
        parents_.push_back(std::move(folder));
    };
    if ((contents_ & accCurrentDir) && WideDirectoryExists(currentDir_))
        if (PItemIDList pidl = PathToPIDL(currentDir_))
            root(std::make_unique<TNamespace>(UniquePIDL(pidl), nullptr));
    // Copies of the special folders: the items refer to them, and the
    // originals may go before the lists do.
    auto special = [&](TAutoCompleteContent flag, TNamespace* folder) {
        if ((contents_ & flag) && folder) root(folder->Clone());
    };
    special(accDesktop, DesktopFolder());
    special(accFavorites, FavoritesFolder());
    special(accMyComputer, DrivesFolder());
    bool terminate = false;
    for (TNamespace* folder : roots)
        if (!terminate) ListTree(folder, terminate);
    strings_.BeginUpdate();
    wideStrings_.BeginUpdate();
    for (int i = 0; i < namespaces_.Count(); ++i) {
        const WideString name = namespaces_.Items(i)->NameParseAddress();
        wideStrings_.Add(name);
        strings_.Add(WideToUtf8(name));
    }
    if (contents_ & accSortList) {
        strings_.Sort();
        wideStrings_.Sort();
    }
    wideStrings_.EndUpdate();
    strings_.EndUpdate();
    stale.Dismiss();
    dirty_ = false;
}

std::vector<std::unique_ptr<TNamespace>> TCustomShellAutoComplete::ListFolder(TNamespace* folder) {
    std::vector<std::unique_ptr<TNamespace>> items;
    folder->EnumerateFolder(
        contents_ & accFileSysDirs, contents_ & accFileSysFiles, contents_ & accHidden,
        [&](TNamespace* parent, PItemIDList child, void*, bool&) {
            items.push_back(std::make_unique<TNamespace>(UniquePIDL(child), parent));
            return true;
        },
        nullptr);
    return items;
}

bool TCustomShellAutoComplete::Skipped(TNamespace* item) {
    return (!(contents_ & accHidden) && item->Hidden()) ||
           ((contents_ & accFileSysOnly) && !item->FileSystem());
}

// Walks with a stack of its own rather than by recursion, so that folders
// of any depth are listed; a folder is offered after the items below it.
void TCustomShellAutoComplete::ListTree(TNamespace* root, bool& terminate) {
    std::vector<Frame> stack;
    // However the walk ends, the folders still open hold items already kept.
    ScopeGuard keepOpenFolders([&] {
        for (Frame& frame : stack)
            if (frame.folder) parents_.push_back(std::move(frame.folder));
    });
    stack.push_back(Frame{ListFolder(root), 0, nullptr});
    while (!stack.empty() && !terminate) {
        Frame& top = stack.back();
        if (top.next == top.items.size()) {
            std::unique_ptr<TNamespace> folder = std::move(top.folder);
            stack.pop_back();
            if (folder) Offer(std::move(folder), true, terminate);
            continue;
        }
        std::unique_ptr<TNamespace> item = std::move(top.items[top.next++]);
        if (Skipped(item.get())) continue;
        if ((contents_ & accRecursive) && item->Folder()) {
            std::vector<std::unique_ptr<TNamespace>> below = ListFolder(item.get());
            stack.push_back(Frame{std::move(below), 0, std::move(item)});
            continue;
        }
        Offer(std::move(item), false, terminate);
    }
}

void TCustomShellAutoComplete::Offer(std::unique_ptr<TNamespace> item, bool parentOfOthers,
                                     bool& terminate) {
    TNamespace* const offered = item.get();
    // A folder is held from the start: items below it refer to it, whatever
    // the handler does.
    if (parentOfOthers) parents_.push_back(std::move(item));
    bool allow = true;
    if (OnAutoCompleteAddItem) OnAutoCompleteAddItem(this, offered, allow, terminate);
    if (!allow) return;
    if (parentOfOthers) {
        namespaces_.Add(std::move(parents_.back()));
        parents_.pop_back();
    } else {
        namespaces_.Add(std::move(item));
    }
}

void TShellAutoComplete::DefinePublished(TFiler& f) {
    TCustomShellAutoComplete::DefinePublished(f);
    f.Set(
        "Contents",
        {"accCurrentDir", "accMyComputer", "accDesktop", "accFavorites", "accFileSysOnly",
         "accFileSysDirs", "accFileSysFiles", "accHidden", "accRecursive", "accSortList"},
        [this] { return Contents(); }, [this](unsigned v) { SetContents(v); },
        DefaultAutoCompleteContents);
}

} // namespace ax
