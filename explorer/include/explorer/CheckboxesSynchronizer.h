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
// A state spreading over a folder of more than SliceSize children in the
// tree goes in slices (reading the folder, then initialising its children),
// each served as a message of its own after the input waiting, so the
// window answers meanwhile; OnSpreadProgress tells how far it got. Whatever
// reads or changes the selection first completes a spread pending: the
// storage's readers (the selection, a save, a load taken, a clear) through
// its OnCompletePending, and every check, expansion and folder shown in the
// controls. A second check thus always follows the first, as without
// slices.
//
// Threads: GUI thread only; everything happens inside the controls' events
// and the synchroniser's own messages.
#include "explorer/ExplorerViews.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace ax {

class TSliceWindow;

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

    // Children of a folder one slice of a spread goes through (at least 1).
    int SliceSize() const { return sliceSize_; }
    void SetSliceSize(int size) { sliceSize_ = size < 1 ? 1 : size; }
    // Whether a spread has slices left, and the item of its folder (nil
    // when none).
    bool SpreadPending() const { return spread_ != nullptr; }
    PCItemIDList SpreadFolder() const;
    // Runs the slices left of a spread at once (and completes the list's
    // listing and the tree's expansion pending).
    void CompletePending();
    // After each slice of a spread: the folder's children gone through and
    // their count; while the folder is being read, the items read and 0.
    // SpreadPending() is false at the call after the last slice.
    std::function<void(TCheckboxesSynchronizer* sender, int done, int total)> OnSpreadProgress;

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
    virtual void TreeFreeNode(TBaseDataTree* sender, PDataNode node);

private:
    struct Spread;
    struct TreeEvents {
        TDTInitNodeEvent OnInitNode;
        TDTChangeEvent OnChecked;
        TDTChangeEvent OnExpanded;
        TExpEnumFolderEvent OnEnumFolder;
        TDTCheckChangingEvent OnChecking;
        TDTFreeNodeEvent OnFreeNode;
    };
    struct ListEvents {
        TDTInitNodeEvent OnInitNode;
        TDTChangeEvent OnChecked;
        TExpNotifyEvent OnRootChange;
        TDTCheckChangingEvent OnChecking;
    };
    // The control's settings the synchroniser needs, and its events saved.
    void Prepare(TCustomExplorerTree* control);
    void Install(TExplorerTreeview* tree);
    void Install(TExplorerListview* list);
    void Restore(TExplorerTreeview* tree);
    void Restore(TExplorerListview* list);
    // Builds a control's nodes again under the handlers just installed.
    void Rebuild(TCustomExplorerTree* control);
    // CompletePending but for the tree's expansion.
    void CompleteListingAndSpread();

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
    // A child of the spreading folder and everything made below it take state.
    void SpreadTo(PDataNode child, TCheckState state);
    // Starts a spread over node's children in slices, after reading the
    // rest of its folder when a listing is given; false when they are few
    // enough for one piece.
    bool BeginSpread(PDataNode node, bool fresh, TCustomExplorerTree::TChildListingPtr listing);
    // Reads up to count more items of the spreading folder, or goes
    // through up to count of its children; ends the spread after the last.
    void SpreadSlice(int count);
    // The folder's items read on; true once its children are made (in a
    // slice of their own when reading took the slice's time since began).
    bool ListSlice(int count, uint64_t began);
    // The next slice served as a message after what waits in the queue.
    void ScheduleSlice();
    void ServeSlice();
    // Drops the spread when the tree is gone or going; true when none is left.
    bool SpreadDropped();
    // The storage's readers complete the tree's spread first.
    void HookStorage(bool on);
    void SyncFromTree(PDataNode node);
    void SyncFromList(PDataNode node);
    // An update bracket over both controls.
    void BeginUpdates();
    void EndUpdates();
    // The list's items take the states of their nodes in the tree.
    void RefreshListFromTree();
    // The list's records of a folder's items say state, the folder's whole.
    void SettleListRecords(PCItemIDList folder, TCheckState state);

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
    int sliceSize_ = 10000;
    std::unique_ptr<Spread> spread_;
    std::unique_ptr<TSliceWindow> sliceWindow_;
};

void RegisterCheckboxesSynchronizerClass();

} // namespace ax
