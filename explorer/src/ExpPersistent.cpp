// An explorer tree's saved state: saving and restoring the expanded
// folders, the selection, the focus and the top node. The streams and the
// views are in ExpPersistentStreams.cpp.
#include "explorer/ExpPersistent.h"

#include "ExplorerTreeInternal.h"
#include "rtl/mergesort.h"
#include "rtl/scopeguard.h"

namespace ax {

TExpPersistent::TExpPersistent()
    : leafNodes_(std::make_unique<TLeafNodeList>()), selectedPIDLs_(std::make_unique<TPIDLList>()),
      storage_(std::make_unique<TRootNodeStorage>()) {}

TExpPersistent::~TExpPersistent() = default;

void TExpPersistent::Clear() {
    selectedPIDLs_->Clear();
    leafNodes_->Clear();
    selectionParentPIDL_.reset();
    rootFolderCustomPIDL_.reset();
    storage_->Clear(false);
}

namespace {

UniquePIDL CopyOf(PCItemIDList pidl) { return UniquePIDL(NamespacePIDLManager().CopyPIDL(pidl)); }

// The node the saved state starts from: the hidden root when the root
// folder has no node of its own, else the root folder's node.
PDataNode StartNode(TCustomExplorerTree& tree) {
    return (tree.TreeOptions().ExpFolderOptions() & toHideRootFolder) ? tree.RootNode() : tree.GetFirst();
}

// Initialises node and every existing node below it.
void InitSubtree(TCustomExplorerTree& tree, PDataNode node) {
    if (!node) return;
    std::vector<PDataNode> pending{node};
    while (!pending.empty()) {
        PDataNode n = pending.back();
        pending.pop_back();
        if (n != tree.RootNode()) tree.InitNode(n);
        for (PDataNode c = n->FirstChild; c; c = c->NextSibling) pending.push_back(c);
    }
}

} // namespace

// ---- Saving -------------------------------------------------------------------------------

void TExpPersistent::Save(TCustomExplorerTree& tree, bool saveSelection, bool saveFocus) {
    tree.InitAllNodes();
    saving_ = true;
    ScopeGuard saved([this] { saving_ = false; });
    focusedPIDL_.reset();
    if (saveFocus)
        if (TNamespace* ns = tree.NodeNamespace(tree.FocusedNode())) focusedPIDL_ = CopyOf(ns->AbsolutePIDL());
    SaveTree(tree, StartNode(tree), saveSelection);
    TNamespace* top = tree.NodeNamespace(tree.TopNode());
    topNodePIDL_ = top ? CopyOf(top->AbsolutePIDL()) : nullptr;
    rootFolderCustomPIDL_ = CopyOf(tree.RootFolderCustomPIDL());
    rootFolder_ = tree.RootFolder();
    rootFolderCustomPath_ = tree.RootFolderCustomPath();
}

void TExpPersistent::SaveTree(TCustomExplorerTree& tree, PDataNode node, bool saveSelection) {
    if (!saving_) InitSubtree(tree, node);
    if (saveSelection) SaveSelection(tree);
    SaveExpanded(tree, node);
}

void TExpPersistent::SaveSelection(TCustomExplorerTree& tree) {
    selectedPIDLs_->Clear();
    selectionParentPIDL_.reset();
    PDataNode first = tree.GetFirstSelected();
    if (TNamespace* ns = tree.NodeNamespace(first); ns && !ns->IsDesktop())
        selectionParentPIDL_.reset(NamespacePIDLManager().StripLastID(CopyOf(ns->AbsolutePIDL()).release()));
    // Every selected node is passed, also one without an item.
    for (PDataNode node = first; node; node = tree.GetNextSelected(node))
        if (TNamespace* ns = tree.NodeNamespace(node)) selectedPIDLs_->CopyAdd(ns->RelativePIDL());
}

void TExpPersistent::SaveExpanded(TCustomExplorerTree& tree, PDataNode start) {
    leafNodes_->Clear();
    if (!start) return;
    // Depth first over the existing nodes: an expanded folder none of whose
    // children is expanded is a leaf; the folders above it are expanded on
    // the way to it when restored.
    std::vector<PDataNode> above;
    PDataNode node = start->FirstChild;
    for (;;) {
        if (!node) {
            if (above.empty()) break;
            node = above.back()->NextSibling;
            above.pop_back();
            continue;
        }
        if (!tree.Expanded(node)) {
            node = node->NextSibling;
            continue;
        }
        bool expandedChild = false;
        for (PDataNode c = node->FirstChild; c && !expandedChild; c = c->NextSibling) expandedChild = tree.Expanded(c);
        if (expandedChild) {
            above.push_back(node);
            node = node->FirstChild;
            continue;
        }
        if (TNamespace* ns = tree.NodeNamespace(node)) leafNodes_->Add(ns->AbsolutePIDL(), true);
        node = node->NextSibling;
    }
    if (leafNodes_->Count() == 0)
        if (TNamespace* ns = tree.NodeNamespace(start)) leafNodes_->Add(ns->AbsolutePIDL(), tree.Expanded(start));
}

// ---- Restoring ----------------------------------------------------------------------------

void TExpPersistent::Restore(TCustomExplorerTree& tree, bool restoreSelection, bool restoreFocus) {
    PDataNode result = nullptr;
    tree.BeginUpdate();
    {
        ScopeGuard end([&tree] { tree.EndUpdate(); });
        tree.ClearSelection();
        // Setting the root rebuilds every node.
        tree.SetRootFolderCustomPath(rootFolderCustomPath_);
        tree.SetRootFolderCustomPIDL(rootFolderCustomPIDL_.get());
        if (rootFolderCustomPath_.empty() && !rootFolderCustomPIDL_) tree.SetRootFolder(rootFolder_);
        RestoreTree(tree, tree.GetFirst(), restoreSelection);
        result = tree.WalkToPIDL(topNodePIDL_.get(), false, false, true);
        if (restoreFocus)
            if (PDataNode focused = tree.WalkToPIDL(focusedPIDL_.get(), false, false, true)) {
                tree.SetFocusedNode(focused);
                result = focused;
            }
    }
    if (result && result != tree.RootNode()) tree.SetTopNode(result);
}

void TExpPersistent::RestoreTree(TCustomExplorerTree& tree, PDataNode, bool restoreSelection) {
    ExpandLeaves(tree);
    if (restoreSelection) RestoreSelection(tree);
}

void TExpPersistent::ExpandLeaves(TCustomExplorerTree& tree) {
    tree.BeginUpdate();
    ScopeGuard end([&tree] { tree.EndUpdate(); });
    for (int i = 0; i < leafNodes_->Count(); ++i) {
        const TLeafNode* leaf = leafNodes_->Items(i);
        PDataNode node = tree.WalkToPIDL(leaf->PIDL.get(), false, false, true);
        if (node && node != tree.RootNode()) tree.SetExpanded(node, leaf->Expanded);
        else if (leaf->Expanded) tree.ExpandNamespaceFolder(node);
    }
}

void TExpPersistent::RestoreSelection(TCustomExplorerTree& tree) {
    tree.ClearSelection();
    tree.SetFocusedNode(nullptr);
    {
        tree.BeginUpdate();
        ScopeGuard end([&tree] { tree.EndUpdate(); });
        if (selectedPIDLs_->Count() > 0 && !selectionParentPIDL_) {
            tree.SetSelected(tree.GetFirst(), true);
        } else if (selectedPIDLs_->Count() > 0) {
            ShellFolderPtr desktop, folder;
            SHGetDesktopFolder(&desktop);
            if (desktop && ILIsEmpty(selectionParentPIDL_.get())) folder = desktop;
            else if (desktop && FAILED(desktop->BindToObject(selectionParentPIDL_.get(), &folder))) folder.reset();
            PDataNode parent = folder ? tree.WalkToPIDL(selectionParentPIDL_.get(), false, false, true) : nullptr;
            if (parent) {
                auto before = [&](PCItemIDList a, PCItemIDList b) { return CompareIDsSign(*folder, a, b) < 0; };
                std::vector<std::pair<PDataNode, PCItemIDList>> children;
                for (PDataNode c = tree.GetFirstChild(parent); c; c = tree.GetNextSibling(c))
                    if (TNamespace* ns = tree.NodeNamespace(c)) children.emplace_back(c, ns->RelativePIDL());
                SafeMergeSort(children, [&](const auto& a, const auto& b) { return before(a.second, b.second); });
                std::vector<PCItemIDList> saved;
                for (int i = 0; i < selectedPIDLs_->Count(); ++i) saved.push_back(selectedPIDLs_->Get(i));
                SafeMergeSort(saved, before);
                // Both in the folder's order: a saved item that is gone is
                // passed over, and the ones after it are still found.
                size_t i = 0, j = 0;
                while (i < saved.size() && j < children.size()) {
                    const int r = CompareIDsSign(*folder, saved[i], children[j].second);
                    if (r == 0) {
                        tree.SetSelected(children[j].first, true);
                        ++i;
                        ++j;
                    } else if (r < 0) {
                        ++i;
                    } else {
                        ++j;
                    }
                }
            }
        }
    }
    tree.SetFocusedNode(tree.GetFirstSelected());
}

} // namespace ax
