#include "app/PaneLink.h"

#include <string>
#include <string_view>
#include <unordered_map>

namespace ax {
namespace {

// What a check box shows while the mouse holds it is not yet a choice.
bool Pressed(TCheckState state) {
    return state == csUncheckedPressed || state == csCheckedPressed || state == csMixedPressed;
}

// The bytes of a PIDL's last item: the item's name within its folder.
std::string_view LastItem(PCItemIDList pidl) {
    if (!pidl || ILIsEmpty(pidl)) return {};
    PCItemIDList last = pidl;
    for (PCItemIDList next = ILNextItem(pidl); !ILIsEmpty(next); next = ILNextItem(next))
        last = next;
    return {reinterpret_cast<const char*>(last), last->mkid.cb};
}

} // namespace

TPaneLink::TPaneLink(TExplorerTree* tree, TExplorerTree* list) : tree_(tree), list_(list) {
    list_->OnChecked = [this](TBaseDataTree*, PDataNode node) {
        if (!mirroring_) ListChecked(node);
    };
    list_->OnInitNode = [this](TBaseDataTree*, PDataNode, PDataNode node, TDataNodeInitStates&) {
        ListInitNode(node);
    };
}

PDataNode TPaneLink::TreeNodeOf(TNamespace* ns) {
    if (!ns) return nullptr;
    PDataNode node = tree_->FindNodeByPIDL(ns->AbsolutePIDL());
    return node == tree_->RootNode() ? nullptr : node;
}

void TPaneLink::EnsureTreeChildren(PDataNode folder) {
    // A folder's state comes from its initialised children only, and a
    // check stored below it shows once their nodes are made: all of them
    // are made and take part.
    tree_->ExpandNamespaceFolder(folder);
    for (PDataNode c = tree_->GetFirstChild(folder); c; c = tree_->GetNextSibling(c))
        tree_->InitNode(c);
}

void TPaneLink::ListInitNode(PDataNode node) {
    if (node->CheckType == ctNone) list_->SetCheckType(node, ctTriStateCheckBox);
}

void TPaneLink::ListChecked(PDataNode node) {
    if (!node || Pressed(node->CheckState)) return;
    TNamespace* ns = list_->NodeNamespace(node);
    PDataNode treeNode = TreeNodeOf(ns);
    if (!treeNode) {
        // Outside the tree's root: the storage still holds the choice.
        if (node->CheckState == csUncheckedNormal)
            tree_->Storage().Delete(ns->AbsolutePIDL(), skCheck);
        else if (TNodeStorage* record = tree_->Storage().Store(ns->AbsolutePIDL(), skCheck)) {
            record->Storage.CheckState = node->CheckState;
            record->Storage.CheckType = ctTriStateCheckBox;
        }
        return;
    }
    if (treeNode->Parent != tree_->RootNode()) EnsureTreeChildren(treeNode->Parent);
    mirroring_ = true;
    tree_->SetCheckState(treeNode, node->CheckState);
    mirroring_ = false;
}

bool TPaneLink::FollowTree(PDataNode treeNode) {
    TNamespace* ns = tree_->NodeNamespace(treeNode);
    if (!ns) return false;
    // A file chosen in the tree: the list shows the folder holding it.
    if (!ns->Folder()) {
        ns = ns->Parent();
        if (!ns) return false;
    }
    PCItemIDList target = ns->AbsolutePIDL();
    TNamespace* shown = list_->RootNamespace();
    if (shown && ILIsEqual(shown->AbsolutePIDL(), target)) return false;
    list_->SetRootFolderCustomPIDL(target);
    return true;
}

void TPaneLink::RefreshListFromTree() {
    TNamespace* shown = list_->RootNamespace();
    if (!shown || !list_->Active()) return;
    PDataNode folder = tree_->FindNodeByPIDL(shown->AbsolutePIDL());
    if (!folder || folder == tree_->RootNode()) return;
    EnsureTreeChildren(folder);
    const TCheckState state = tree_->CheckState(folder);
    if (Pressed(state)) return;
    mirroring_ = true;
    list_->BeginUpdate();
    if (state != csMixedNormal) {
        for (PDataNode n = list_->GetFirstChild(nullptr); n; n = list_->GetNextSibling(n))
            n->CheckState = state;
    } else {
        // One pass over each side: the folder may hold 100,000 items.
        std::unordered_map<std::string_view, PDataNode> byName;
        byName.reserve(folder->ChildCount);
        for (PDataNode c = tree_->GetFirstChild(folder); c; c = tree_->GetNextSibling(c))
            if (TNamespace* ns = tree_->NodeNamespace(c)) byName.emplace(LastItem(ns->AbsolutePIDL()), c);
        for (PDataNode n = list_->GetFirstChild(nullptr); n; n = list_->GetNextSibling(n)) {
            TNamespace* ns = list_->NodeNamespace(n);
            if (!ns) continue;
            const auto found = byName.find(LastItem(ns->AbsolutePIDL()));
            if (found != byName.end()) n->CheckState = tree_->CheckState(found->second);
        }
    }
    list_->EndUpdate();
    list_->Invalidate();
    mirroring_ = false;
}

} // namespace ax
