#pragma once
// What an explorer tree's user would lose when its nodes are rebuilt, kept
// by shell item instead of by node: the expanded folders, the selection,
// the focused and the top node, and the root folder. Each tree owns one
// TExpPersistent, which also owns the tree's node storage. Views are
// TExpPersistents with a name, kept by a view manager (one per tree, one
// for the process).
//
// Streams: all integers little-endian, version words only with the flag,
// PIDLs as the PIDL manager writes them (see docs/layers/explorer.md).
// Loading trusts nothing: counts and lengths are checked against what the
// stream holds before anything is allocated, and an object is replaced only
// by a complete read; a short or damaged stream raises EReadError and
// changes nothing.
//
// Threads: GUI thread only, like the trees they serve.
#include "explorer/ExplorerTree.h"
#include "shell/NodeStorage.h"
#include "shell/PIDLTools.h"
#include "shell/Streamable.h"

#include <memory>
#include <vector>

namespace ax {

class TLeafNodeList;

// An expanded folder none of whose children is expanded.
class TLeafNode : public TStreamableClass {
public:
    explicit TLeafNode(TLeafNodeList* owner = nullptr) : owner_(owner) {}
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;

    uint8_t Expanded = 0;
    UniquePIDL PIDL; // absolute
    TLeafNodeList* Owner() const { return owner_; }

private:
    TLeafNodeList* owner_;
};

// Owns its leaves.
class TLeafNodeList : public TStreamableList {
public:
    ~TLeafNodeList() override;
    int Count() const { return int(leaves_.size()); }
    TLeafNode* Items(int index) const { return leaves_.at(size_t(index)).get(); }
    // Appends a leaf holding a copy of pidl.
    TLeafNode* Add(PCItemIDList pidl, bool expanded);
    void Clear() override;
    // All or nothing: the list changes only when every leaf was read.
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;

private:
    std::vector<std::unique_ptr<TLeafNode>> leaves_;
};

class TExpPersistent : public TStreamableClass {
public:
    TExpPersistent();
    ~TExpPersistent() override;
    TExpPersistent(const TExpPersistent&) = delete;
    TExpPersistent& operator=(const TExpPersistent&) = delete;

    // Empties the selection and the leaves, frees the selection's folder and
    // the custom root PIDL, and clears the storage (its objects kept).
    virtual void Clear();

    // Saves the tree's state: expanded folders, and when asked the
    // selection and the focused node; the top node and the root.
    void Save(TCustomExplorerTree& tree, bool saveSelection, bool saveFocus);
    // Sets the saved root again (which rebuilds the nodes), expands the
    // saved folders, restores what was asked and scrolls the top (or the
    // focused) node to the top of the view.
    void Restore(TCustomExplorerTree& tree, bool restoreSelection, bool restoreFocus);
    // The expanded state below node and, when asked, the selection.
    void SaveTree(TCustomExplorerTree& tree, PDataNode node, bool saveSelection);
    void RestoreTree(TCustomExplorerTree& tree, PDataNode node, bool restoreSelection);

    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;

    TLeafNodeList& LeafNodes() const { return *leafNodes_; }
    // Relative PIDLs of the selected items of SelectionParentPIDL's folder.
    TPIDLList& SelectedPIDLs() const { return *selectedPIDLs_; }
    PItemIDList TopNodePIDL() const { return topNodePIDL_.get(); }
    const WideString& RootFolderCustomPath() const { return rootFolderCustomPath_; }
    TRootFolder RootFolder() const { return rootFolder_; }
    // The folder holding the first selected item; nil when that item is the desktop.
    PItemIDList SelectionParentPIDL() const { return selectionParentPIDL_.get(); }
    // Replaced, not refilled, when a stream is loaded.
    TRootNodeStorage& Storage() const { return *storage_; }
    bool Saving() const { return saving_; }
    PItemIDList RootFolderCustomPIDL() const { return rootFolderCustomPIDL_.get(); }
    PItemIDList FocusedPIDL() const { return focusedPIDL_.get(); }

protected:
    // Reads this class's record into a fresh object; the caller commits it.
    static std::unique_ptr<TExpPersistent> ReadRecord(TStream& stream, int32_t version, bool readVerFromStream);
    void TakeOver(TExpPersistent& source) noexcept;

private:
    void SaveSelection(TCustomExplorerTree& tree);
    void SaveExpanded(TCustomExplorerTree& tree, PDataNode start);
    void ExpandLeaves(TCustomExplorerTree& tree);
    void RestoreSelection(TCustomExplorerTree& tree);

    std::unique_ptr<TLeafNodeList> leafNodes_;
    std::unique_ptr<TPIDLList> selectedPIDLs_;
    UniquePIDL topNodePIDL_;
    WideString rootFolderCustomPath_;
    TRootFolder rootFolder_ = rfDesktop;
    UniquePIDL selectionParentPIDL_;
    std::unique_ptr<TRootNodeStorage> storage_;
    bool saving_ = false;
    UniquePIDL rootFolderCustomPIDL_;
    UniquePIDL focusedPIDL_;
};

// A saved state with a name.
class TView : public TExpPersistent {
public:
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;
    WideString ViewName;
};

// Owns its views.
class TViewList : public TStreamableList {
public:
    ~TViewList() override;
    int Count() const { return int(views_.size()); }
    TView* Items(int index) const { return views_.at(size_t(index)).get(); }
    TView* Add(std::unique_ptr<TView> view);
    // Frees every view, last first.
    void Clear() override;
    // All or nothing.
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;

private:
    std::vector<std::unique_ptr<TView>> views_;
};

class TViewManager : public TStreamableClass {
public:
    TViewManager();
    ~TViewManager() override;
    TViewList& Views() { return views_; }
    // Frees every view.
    void Clear();
    // The last view of that name (compared without case), nil when none.
    TView* FindView(const WideString& name);
    // Restores the tree from the view of that name, if any.
    virtual void ShowView(const WideString& name, TCustomExplorerTree& tree);
    // Saves the tree into the view of that name, made when missing.
    virtual void StoreView(const WideString& name, TCustomExplorerTree& tree);

    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;

private:
    TViewList views_;
};

// The process's views: they carry the tree's check states along.
class TGlobalViewManager : public TViewManager {
public:
    void ShowView(const WideString& name, TCustomExplorerTree& tree) override;
    void StoreView(const WideString& name, TCustomExplorerTree& tree) override;
    // Always version 3 with every version word, whatever is asked.
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;
};

TGlobalViewManager& GlobalViewManager();

} // namespace ax
