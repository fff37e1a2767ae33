// The explorer tree brought up to date: the whole-tree refresh, the merge
// of one folder's nodes with a fresh listing, the re-read of one folder,
// and the batches of shell changes the change notifier sends.
#include "ExplorerTreeInternal.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/shellops.h"
#include "rtl/clock.h"
#include "rtl/displaytext.h"
#include "rtl/scopeguard.h"
#include "explorer/ExpPersistent.h"
#include "explorer/ExplorerTree.h"
#include "shell/IconThread.h"
#include "shell/ShellResources.h"
#include "shell/WideStrings.h"

#include <algorithm>

namespace ax {
namespace {

// Whether the folder's listing leaves out an item because it is gone: the
// folder must say it no longer exists. An item it cannot look at (no right
// to), or one on a medium that may have been swapped or a server that may
// be away, may well still be there.
class TGoneTest {
public:
    explicit TGoneTest(TNamespace& folder) {
        if (!folder.FileSystem()) return;
        const std::string path = WideToUtf8(folder.NameForParsing());
        if (path.empty() || path[0] != '/') return;
        const Volume volume = VolumeOfPath(path, false);
        movable_ = volume.removable || volume.remote || !DriveReady(DriveRoot(path));
    }
    bool Gone(IShellFolder& folder, PCItemIDList relative) const {
        if (movable_) return false;
        uint32_t attributes = SFGAO_VALIDATE;
        PCItemIDList item = relative;
        // E_FAIL is the folder's "does not exist"; anything else says nothing.
        return folder.GetAttributesOf(&item, 1, &attributes) == E_FAIL;
    }

private:
    bool movable_ = false;
};

} // namespace

// One item of a merge: an old child (node set) or a listed item (PIDL set).
struct TCustomExplorerTree::TMergeItem {
    PDataNode Node = nullptr;
    PCItemIDList Relative = nullptr;
    UniquePIDL Listed;
    bool NoFolder = false;
};

// ---- Refresh ------------------------------------------------------------------------------

void TCustomExplorerTree::RefreshTree() {
    WaitCursor(true);
    BeginUpdate();
    ScopeGuard done([this] {
        WaitCursor(false);
        EndUpdate();
    });
    Persistent().Save(*this, true, true);
    Persistent().Restore(*this, true, true);
}

void TCustomExplorerTree::ReReadFolderNode(PDataNode node) {
    TNamespace* ns = NodeNamespace(node);
    if (!ns) return;
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    Persistent().SaveTree(*this, node, true);
    if (node->ChildCount > 0) DeleteChildren(node);
    ns->InvalidateNamespace(true);
    if (node != RootNode()) SetHasChildren(node, HasChildrenDecision(ns, node));
    Persistent().RestoreTree(*this, node, true);
    if (node != RootNode()) InvalidateNode(node);
}

void TCustomExplorerTree::RemoveGoneChild(PDataNode parent, PDataNode child, bool gone, bool reindex) {
    TNamespace* ns = NodeNamespace(child);
    if (ns) {
        if (gone && MayDropRecordsOf(ns->AbsolutePIDL())) Storage().Delete(ns->AbsolutePIDL(), 0, true);
        if (OnNamespaceStructureChange) OnNamespaceStructureChange(this, child, ns, nscDelete);
    }
    if (FocusedNode() == child) {
        PDataNode next = child->NextSibling ? child->NextSibling : parent != RootNode() ? parent : nullptr;
        SetFocusedNode(next);
        if (next == parent) SetSelected(parent, true);
    }
    DeleteNode(child, reindex);
}

void TCustomExplorerTree::AddMergedChild(PDataNode parent, TMergeItem& item) {
    auto ns = std::make_unique<TNamespace>(std::move(item.Listed), NodeNamespace(parent));
    if (item.NoFolder) ns->SetFolderKnown(false);
    ns->SetListedNoFolder(item.NoFolder);
    bool allow = true;
    if (OnEnumFolder) OnEnumFolder(this, ns.get(), allow);
    if (!allow) return;
    const bool checking = TreeOptions().MiscOptions() & toCheckSupport;
    PDataNode node = AddNodeToTree(parent, std::move(ns), ctTriStateCheckBox, checking);
    // Stored check states show at once, as for a folder listed anew.
    if (checking) InitNode(node);
}

void TCustomExplorerTree::RereadAndMergeFolder(PDataNode node, bool sortAfter) {
    TNamespace* ns = NodeNamespace(node);
    if (!node || !ns) return;
    std::vector<TMergeItem> old;
    for (PDataNode c = node->FirstChild; c; c = c->NextSibling)
        if (TNamespace* cns = NodeNamespace(c)) old.push_back({c, cns->RelativePIDL(), nullptr, false});
    ns->InvalidateNamespace(true);
    ShellFolderPtr folder = ns->ShellFolder();
    std::unique_ptr<IEnumIDList> list;
    uint32_t flags = 0;
    if (fileObjects_ & foFolders) flags |= SHCONTF_FOLDERS;
    if (fileObjects_ & foNonFolders) flags |= SHCONTF_NONFOLDERS;
    if (fileObjects_ & foHidden) flags |= SHCONTF_INCLUDEHIDDEN;
    if (!folder || FAILED(folder->EnumObjects(flags, &list)) || !list) {
        ReReadFolderNode(node);
        return;
    }
    // The listing, kept as the folder tells what each item is.
    std::vector<TMergeItem> fresh;
    fresh.reserve(8192);
    auto* kinds = dynamic_cast<IEnumIDListKinds*>(list.get());
    const bool foldersOnly = !(fileObjects_ & foNonFolders), filesOnly = !(fileObjects_ & foFolders);
    PItemIDList child = nullptr;
    while (list->Next(&child) == S_OK) {
        TMergeItem item;
        item.Listed.reset(child);
        item.Relative = child;
        item.NoFolder = filesOnly || (!foldersOnly && kinds && kinds->LastIsNoFolder());
        fresh.push_back(std::move(item));
    }
    list.reset();
    // Both in the folder's own order: one pass pairs them.
    IShellFolder& f = *folder;
    auto before = [&f](const TMergeItem& a, const TMergeItem& b) { return CompareIDsSign(f, a.Relative, b.Relative) < 0; };
    std::stable_sort(old.begin(), old.end(), before);
    std::stable_sort(fresh.begin(), fresh.end(), before);

    const bool checking = TreeOptions().MiscOptions() & toCheckSupport;
    const TGoneTest goneTest(*ns);
    auto gone = [&](const TMergeItem& item) { return checking && goneTest.Gone(f, item.Relative); };
    BeginUpdate();
    {
        ScopeGuard end([this] { EndUpdate(); });
        int deleted = 0;
        size_t i = 0, j = 0;
        while (j < fresh.size() && i < old.size()) {
            const int r = CompareIDsSign(f, fresh[j].Relative, old[i].Relative);
            if (r == 0) {
                // Still there; what it answered before may have changed
                // (the kernel tells only that something in the folder did).
                PDataNode kept = old[i].Node;
                TExpNodeData* data = NodeData(kept);
                data->Namespace->InvalidateNamespace(false);
                if (data->Namespace->ListedNoFolder() != fresh[j].NoFolder) {
                    data->Namespace->SetListedNoFolder(fresh[j].NoFolder);
                    ReinitNode(kept, false);
                }
                InvalidateNode(kept);
                ++i;
                ++j;
            } else if (r > 0) {
                const TMergeItem& item = old[i++];
                const bool confirmed = gone(item);
                RemoveGoneChild(node, item.Node, confirmed, deleted++ == 0);
            } else {
                AddMergedChild(node, fresh[j++]);
            }
        }
        if (deleted > 1) {
            uint32_t index = 0;
            for (PDataNode c = node->FirstChild; c; c = c->NextSibling) c->Index = index++;
        }
        for (; j < fresh.size(); ++j) AddMergedChild(node, fresh[j]);
        for (; i < old.size(); ++i) {
            const bool confirmed = gone(old[i]);
            RemoveGoneChild(node, old[i].Node, confirmed, true);
        }
    }
    if (sortAfter) Sort(node, Header().SortColumn(), Header().SortDirection(), false);
    if (node->ChildCount > 0 && (TreeOptions().ExpFolderOptions() & toFoldersExpandable) && node != RootNode())
        SetHasChildren(node, true);
}

// ---- Batches of shell changes -------------------------------------------------------------

void TCustomExplorerTree::WMShellNotify(TMessage& m) {
    auto* list = reinterpret_cast<TShellEventList*>(m.WParam);
    if (!list) return;
    ScopeGuard release([list] { list->Release(); });
    if (HasState(csDestroying)) return;
    changesLost_ = list->ChangesLost();
    ScopeGuard lostHandled([this] { changesLost_ = false; });
    // What the storage keeps per item follows renames and moves first, so
    // that the nodes made for the new names find their records.
    for (const TRenamedItem& renamed : list->Renames()) Storage().Rename(renamed.Old.get(), renamed.New.get());
    for (const auto& event : *list)
        if ((event->Kind == sneRenameFolder || event->Kind == sneRenameItem) && event->PIDL2)
            Storage().Rename(event->PIDL1.get(), event->PIDL2.get());
    for (const auto& event : *list) {
        if (OnShellNotify) OnShellNotify(this, *event);
        if (event->Invalid || IsEditing()) continue;
        if (MappedDriveChange(*event)) continue;
        HandleShellEvent(*event);
    }
}

bool TCustomExplorerTree::MappedDriveChange(const TShellEvent& event) {
    if (!(TreeOptions().ExpMiscOptions() & toTrackChangesInMappedDrives) || event.Kind != sneUpdateDir ||
        !event.PIDL1)
        return false;
    TNamespace ns(UniquePIDL(NamespacePIDLManager().CopyPIDL(event.PIDL1.get())), nullptr);
    ns.InvalidateNamespace(true);
    if (!ns.Folder() || !ns.FileSystem()) return false;
    const std::string path = WideToUtf8(ns.NameForParsing());
    if (path.empty() || path[0] != '/' || !DriveRemote(DriveRoot(path))) return false;
    if (PDataNode node = FindNodeByPIDL(event.PIDL1.get())) ReReadFolderNode(node);
    return true;
}

void TCustomExplorerTree::DropChildrenCaches(PDataNode node, bool icons) {
    if (!node) return;
    WaitCursor(true);
    BeginUpdate();
    ScopeGuard done([this] {
        EndUpdate();
        WaitCursor(false);
    });
    for (PDataNode c = node->FirstChild; c; c = c->NextSibling) {
        if (TNamespace* ns = NodeNamespace(c)) ns->InvalidateNamespace(icons);
        InvalidateNode(c);
    }
}

void TCustomExplorerTree::MergeParentOf(const TShellEvent& event) {
    if (PDataNode node = FindExistingNode(event.ParentPIDL1.get()))
        RereadAndMergeFolder(node, !(fileObjects_ & foNonFolders));
}

void TCustomExplorerTree::HandleShellEvent(TShellEvent& event) {
    switch (event.Kind) {
    case sneAssociationChanged:
        RebuildSystemIcons();
        break;
    case sneAttributes:
        DropChildrenCaches(FindExistingNode(event.ParentPIDL1.get()), false);
        break;
    case sneCreate:
    case sneDelete:
    case sneMakeDirectory:
    case sneRemoveDirectory:
        break; // the folder's own update follows
    case sneDriveAdd:
    case sneDriveAddGUI:
    case sneDriveRemoved:
    case sneRenameFolder:
    case sneRenameItem:
        MergeParentOf(event);
        break;
    case sneFreeSpace:
        if (TNamespace* drives = DrivesFolder()) DropChildrenCaches(FindExistingNode(drives->AbsolutePIDL()), false);
        break;
    case sneMediaInserted:
    case sneMediaRemoved:
        MediaChanged(event);
        break;
    case sneNetShare:
    case sneNetUnshare:
    case sneServerDisconnect:
    case sneUpdateItem:
        if (PDataNode node = FindExistingNode(event.PIDL1.get()); TNamespace* ns = NodeNamespace(node)) {
            BeginUpdate();
            ns->InvalidateNamespace(false);
            InvalidateNode(node);
            EndUpdate();
        }
        break;
    case sneUpdateDir:
        if (event.PIDL1 && ILIsEmpty(event.PIDL1.get())) RefreshTree();
        else RereadAndMergeFolder(FindExistingNode(event.PIDL1.get()), !(fileObjects_ & foNonFolders));
        break;
    case sneUpdateImage: {
        WaitCursor(true);
        ScopeGuard cursor([this] { WaitCursor(false); });
        const int image = int(event.DWord1);
        for (PDataNode n = RootNode()->FirstChild; n;) {
            if (TNamespace* ns = NodeNamespace(n)) {
                int held = ns->GetIconIndex(false, 0, false);
                if (held < 0) held = ns->GetIconIndex(true, 0, false);
                if (held >= 0 && held == image) {
                    ns->InvalidateNamespace(true);
                    InvalidateNode(n);
                }
            }
            if (n->FirstChild) {
                n = n->FirstChild;
                continue;
            }
            while (n != RootNode() && !n->NextSibling) n = n->Parent;
            n = n == RootNode() ? nullptr : n->NextSibling;
        }
        break;
    }
    }
}

void TCustomExplorerTree::MediaChanged(const TShellEvent& event) {
    if (!event.PIDL1) return;
    TNamespace ns(UniquePIDL(NamespacePIDLManager().CopyPIDL(event.PIDL1.get())), nullptr);
    ns.InvalidateNamespace(true);
    if (ShellFolderPtr parent = ns.ParentShellFolder()) {
        uint32_t attributes = SFGAO_VALIDATE;
        PCItemIDList item = ns.RelativePIDL();
        parent->GetAttributesOf(&item, 1, &attributes);
    }
    if (PDataNode node = FindExistingNode(event.PIDL1.get())) {
        ReReadFolderNode(node);
        return;
    }
    TNamespace* root = RootNamespace();
    const std::string item = WideToUtf8(ns.NameForParsing());
    const std::string rootPath = root ? WideToUtf8(root->NameForParsing()) : std::string();
    if (!item.empty() && item[0] == '/' && !rootPath.empty() && rootPath[0] == '/' &&
        DriveRoot(item) == DriveRoot(rootPath))
        RefreshTree();
}

void TCustomExplorerTree::RebuildSystemIcons() {
    if (TreeOptions().ExpMiscOptions() & toNoRebuildIconListOnAssocChange) return;
    // The icons are bound again around the refresh, which keeps what the
    // user had expanded and selected.
    WaitCursor(true);
    BeginUpdate();
    ScopeGuard done([this] {
        EndUpdate();
        WaitCursor(false);
    });
    Persistent().Save(*this, true, true);
    SetImages(nullptr);
    BindSystemImages();
    Persistent().Restore(*this, true, true);
}

void TCustomExplorerTree::DispatchQueuedBatches() {
    if (!HandleAllocated()) return;
    MSG m;
    while (PeekMessage(m, Handle(), WM_SHELLNOTIFY, WM_SHELLNOTIFY, PM_REMOVE)) DispatchMessage(m);
}

// ---- Registration and the folders watched -------------------------------------------------

void TCustomExplorerTree::RegisterWithChangeNotifier(bool registered) {
    if (registered) {
        ChangeNotifier().RegisterShellChangeNotify(this);
        notifierRegistered_ = true;
        watchedFolders_.clear();
        watchedDirty_ = true;
        UpdateWatchedFolders();
        return;
    }
    if (!notifierRegistered_) return;
    // The batches already sent are handled (and so released) first.
    DispatchQueuedBatches();
    ChangeNotifier().UnRegisterShellChangeNotify(this);
    notifierRegistered_ = false;
    watchedFolders_.clear();
}

void TCustomExplorerTree::UpdateWatchedFolders() {
    if (!watchedDirty_ || !notifierRegistered_) return;
    watchedDirty_ = false;
    std::vector<WideString> folders;
    for (PDataNode node : listed_)
        if (TNamespace* ns = NodeNamespace(node); ns && ns->FileSystem()) folders.push_back(ns->NameForParsing());
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    if (folders == watchedFolders_) return;
    watchedFolders_ = folders;
    ChangeNotifier().NotifyShownFolders(this, folders);
}

// ---- Renaming in place --------------------------------------------------------------------

void TCustomExplorerTree::DoNewText(PDataNode node, TColumnIndex column, const WideString& text) {
    // Every column is the name's until the explorer's own columns exist.
    TNamespace* ns = NodeNamespace(node);
    if (!ns) return;
    const UniquePIDL before(NamespacePIDLManager().CopyPIDL(ns->AbsolutePIDL()));
    if (!ns->SetNameOf(text)) {
        editAgainNode_ = node;
        if (HandleAllocated()) PostMessage(Handle(), WM_EDITNODEAGAIN, reinterpret_cast<WPARAM>(node), 0);
        return;
    }
    (void)column;
    // The item's checks, and all stored below it, go with its new name.
    Storage().Rename(before.get(), ns->AbsolutePIDL());
    // Nodes below still name the old path: the folder is listed again.
    if (node->ChildCount > 0) ReReadFolderNode(node);
    InvalidateNode(node);
}

void TCustomExplorerTree::SetEditText(PDataNode node, TColumnIndex column, const WideString& text) {
    AnsiString name;
    if (UnescapeName(WideToUtf8(text), name)) {
        SetText(node, column, Utf8ToWide(name));
        return;
    }
    MessageBoxService().MessageBox(HandleAllocated() ? uintptr_t(Handle()) : 0, SBadNameEscape, u"Rename",
                                   MB_OK | MB_ICONERROR);
    editAgainNode_ = node;
    if (HandleAllocated()) PostMessage(Handle(), WM_EDITNODEAGAIN, reinterpret_cast<WPARAM>(node), 0);
}

void TCustomExplorerTree::WMEditNodeAgain(TMessage&) {
    PDataNode node = std::exchange(editAgainNode_, nullptr);
    if (node) EditNode(node, Header().Columns().Count() > 0 ? 0 : NoColumn);
}

void TCustomExplorerTree::DoEdited(PDataNode node, TColumnIndex column) {
    // What the rename changed comes in before anyone hears of the edit.
    CurrentClock().Sleep(100);
    editedNode_ = node;
    DispatchQueuedBatches();
    const bool gone = editedNode_ == nullptr;
    editedNode_ = nullptr;
    if (!gone) TCustomDataStringTree::DoEdited(node, column);
}

// ---- Messages -----------------------------------------------------------------------------

void TCustomExplorerTree::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_SHELLNOTIFY:
        WMShellNotify(m);
        return;
    case WM_ICONTHREADREPLY:
        WMIconReply(m);
        return;
    case WM_EDITNODEAGAIN:
        WMEditNodeAgain(m);
        return;
    case WM_QUERYENDSESSION:
        RegisterWithChangeNotifier(false);
        m.Result = 1;
        return;
    default:
        if (!CommandMessage(m)) TCustomDataStringTree::Dispatch(m);
    }
}

} // namespace ax
