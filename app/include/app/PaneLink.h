#pragma once
// Links the main window's tree (folders and files, tri-state checks kept
// in its storage) and list (one folder's contents) so that their check
// boxes are one selection: a check in the list is made in the tree, where
// it is stored and spread to parents and children; a check in the tree
// shows in the list. The tree's storage is the selection.
#include "shell/ExplorerTree.h"

namespace ax {

class TPaneLink {
public:
    TPaneLink(TExplorerTree* tree, TExplorerTree* list);
    // The list shows the folder of the tree's node (nothing without one);
    // true when it moved there, and then its check boxes are to be
    // refreshed from the tree.
    bool FollowTree(PDataNode treeNode);
    // The list's states as the tree has them.
    void RefreshListFromTree();

private:
    void ListChecked(PDataNode node);
    void ListInitNode(PDataNode node);
    PDataNode TreeNodeOf(TNamespace* ns);
    void EnsureTreeChildren(PDataNode folder);

    TExplorerTree* tree_;
    TExplorerTree* list_;
    bool mirroring_ = false;
};

} // namespace ax
