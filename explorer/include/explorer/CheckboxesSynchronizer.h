#pragma once
// The check-box synchroniser: one selection over an explorer tree (folders)
// and an explorer list (the contents of the folder chosen in the tree).
// Checking or unchecking an item in either control sets the same item in
// the other, spreads the state down to the item's loaded descendants in the
// tree and recomputes every ancestor in the tree as checked, unchecked or
// mixed. Every change is written into the node storage of the control where
// it happens, so the tree's storage (whose CheckedFileNames is the backup
// selection) always says what the user sees.
//
// The synchroniser takes over the check propagation of both controls: it
// installs its own handlers for their node, check, expand, listing and root
// events and passes each event on to the handler it replaced, which it puts
// back when it is unlinked or freed.
//
// Threads: GUI thread only; everything happens inside the controls' events.
#include "explorer/ExplorerViews.h"

#include <cstdint>

namespace ax {

class TCheckboxesSynchronizer : public TComponent {
public:
    explicit TCheckboxesSynchronizer(TComponent* owner);
    ~TCheckboxesSynchronizer() override;
    AnsiString ClassName() const override { return "TCheckboxesSynchronizer"; }
    void DefinePublished(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;

    TExplorerTreeview* ExplorerTreeview() const { return tree_; }
    // Takes the tree's check handling over (its nodes are built again
    // under the new handlers); the tree linked before gets its own
    // handlers back.
    void SetExplorerTreeview(TExplorerTreeview* tree);
    TExplorerListview* ExplorerListview() const { return list_; }
    void SetExplorerListview(TExplorerListview* list);
    bool AutoSetupEvents() const { return autoSetupEvents_; }
    // True installs the handlers, false puts the replaced ones back.
    void SetAutoSetupEvents(bool value);
    // Files are kept in the tree (for the states of their folders) but not
    // shown; for nodes initialised after the change.
    bool HideTreeFiles() const { return hideTreeFiles_; }
    void SetHideTreeFiles(bool value) { hideTreeFiles_ = value; }

    // Nodes the synchroniser examined or set so far: what one click costs,
    // for tests and benchmarks.
    uint64_t VisitedNodes() const { return visited_; }

protected:
    // Unset: installs the handlers into the linked controls; set: puts the
    // replaced handlers back.
    virtual void SetupEvents(bool restore);
    virtual void TreeInitNode(TBaseDataTree* sender, PDataNode parent, PDataNode node,
                              TDataNodeInitStates& initStates);
    virtual void TreeChecked(TBaseDataTree* sender, PDataNode node);
    virtual void TreeExpanded(TBaseDataTree* sender, PDataNode node);
    virtual void TreeEnumFolder(TCustomExplorerTree* sender, TNamespace* ns, bool& allowAsChild);
    virtual void ListInitNode(TBaseDataTree* sender, PDataNode parent, PDataNode node,
                              TDataNodeInitStates& initStates);
    virtual void ListChecked(TBaseDataTree* sender, PDataNode node);
    virtual void ListRootChange(TCustomExplorerTree* sender);

private:
    struct TreeEvents {
        TDTInitNodeEvent OnInitNode;
        TDTChangeEvent OnChecked;
        TDTChangeEvent OnExpanded;
        TExpEnumFolderEvent OnEnumFolder;
    };
    struct ListEvents {
        TDTInitNodeEvent OnInitNode;
        TDTChangeEvent OnChecked;
        TExpNotifyEvent OnRootChange;
    };
    // The control's settings the synchroniser needs, and its events saved.
    void Prepare(TCustomExplorerTree* control);
    void Install(TExplorerTreeview* tree);
    void Install(TExplorerListview* list);
    void Restore(TExplorerTreeview* tree);
    void Restore(TExplorerListview* list);
    // Builds a control's nodes again under the handlers just installed.
    void Rebuild(TCustomExplorerTree* control);

    // The node of pidl in control; nil for none and for the hidden root.
    PDataNode FindNode(TCustomExplorerTree* control, PCItemIDList pidl);
    // Makes a folder node's children when it has some and none are made.
    bool EnsureChildren(TCustomExplorerTree* control, PDataNode node);
    TCheckState ChildrenState(PDataNode node);
    void StoreCheck(PCItemIDList pidl, TRootNodeStorage& storage, TCheckType type, TCheckState state);
    void SetNodeCheck(TCustomExplorerTree* control, PDataNode node, TCheckType type, TCheckState state);
    // The way a state enters a control; false when it has no node for ns.
    bool ApplyCheck(TCustomExplorerTree* target, TCustomExplorerTree* other, TNamespace* ns, TCheckType type,
                    TCheckState state);
    void SetAndPropagate(PDataNode node, TCheckType type, TCheckState state);
    void Propagate(PDataNode node, bool parents, bool children);
    void PropagateDown(PDataNode node, TCheckState state);
    void SyncFromTree(PDataNode node);
    void SyncFromList(PDataNode node);
    // An update bracket over both controls.
    void BeginUpdates();
    void EndUpdates();
    // The list's items take the states of their nodes in the tree.
    void RefreshListFromTree();

    TExplorerTreeview* tree_ = nullptr;
    TExplorerListview* list_ = nullptr;
    TreeEvents treeEvents_;
    ListEvents listEvents_;
    bool treeInstalled_ = false;
    bool listInstalled_ = false;
    bool autoSetupEvents_ = true;
    bool hideTreeFiles_ = true;
    uint64_t visited_ = 0;
    // The node whose children SetAndPropagate made in this very spread.
    PDataNode freshParent_ = nullptr;
};

void RegisterCheckboxesSynchronizerClass();

} // namespace ax
