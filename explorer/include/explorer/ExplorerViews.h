#pragma once
// The explorer tree and list pair: a folder tree (TExplorerTreeview) beside
// a list of the chosen folder's contents (TExplorerListview), both explorer
// trees. Each control follows the other through the change-link dispatcher
// (ExpChangeDispatch.h) once linked: selecting a folder in the tree shows it
// in the list; browsing the list into a folder selects it in the tree. The
// check boxes of the pair are kept as one selection by the synchroniser
// (CheckboxesSynchronizer.h).
//
// Threads: GUI thread only.
#include "explorer/ExpChangeDispatch.h"
#include "explorer/ExplorerTree.h"

#include <functional>
#include <memory>

namespace ax {

// What the tree and the list share: the defaults they start from and the
// link to the partner control, as a client of the partner's changes.
class TExplorerViews : public TCustomExplorerTree {
public:
    explicit TExplorerViews(TComponent* owner);
    ~TExplorerViews() override;
    AnsiString ClassName() const override { return "TExplorerViews"; }

protected:
    TExplorerViews* Partner() const { return partner_; }
    // Follows partner (nil: none): the old link goes, a new one is made.
    void SetPartner(TExplorerViews* partner);
    // A link of this control went: a link from the partner to this control
    // clears the partner (after the combo box's link is looked at).
    void ChangeLinkFree(TExpChangeLink& link) override;

private:
    TExplorerViews* partner_ = nullptr;
};

class TExplorerListview;
class TSliceWindow;

// The folder tree of the pair.
class TExplorerTreeview : public TExplorerViews {
public:
    explicit TExplorerTreeview(TComponent* owner);
    ~TExplorerTreeview() override;
    AnsiString ClassName() const override { return "TExplorerTreeview"; }
    void DefinePublished(TFiler& filer) override;

    TExplorerListview* ExplorerListview() const;
    void SetExplorerListview(TExplorerListview* list);

    // A folder the user expands (its button, a double click, a key) whose
    // items are more than ExpandSliceSize is read, and its children made
    // and initialised, in slices, each a message of its own, so the window
    // answers meanwhile; the folder opens at the last slice. Expanding
    // another folder or checking a box completes it first, as does a
    // reader of the selection through the synchroniser; Escape cancels it,
    // leaving the tree as it was.
    int ExpandSliceSize() const { return expandSliceSize_; }
    void SetExpandSliceSize(int size) { expandSliceSize_ = size < 1 ? 1 : size; }
    // Begins expanding node in slices; false when it has children already,
    // cannot have any, or is read whole within one slice (then it is not
    // expanded here).
    bool BeginExpansion(PDataNode node);
    bool ExpansionPending() const { return expansion_ != nullptr; }
    // The folder being expanded; nil when none is.
    PCItemIDList ExpansionFolder() const;
    void CompleteExpansion();
    // Drops the expansion pending: the folder has the children, the
    // records and the state it had before.
    void CancelExpansion();
    // After each slice: the items read and 0 while the folder is read, then
    // the children initialised and their count; ExpansionPending() is false
    // at the call after the last slice and after a cancel.
    std::function<void(TExplorerTreeview* sender, int done, int total)> OnExpansionProgress;

protected:
    // Escape cancels the expansion pending, else the list's listing pending.
    bool DoKeyAction(WORD& charCode, TShiftState& shift) override;
    bool DoExpanding(PDataNode node) override;
    void DoFreeNode(PDataNode node) override;
    void WMKeyDown(TMessage& m) override;
    void WMLButtonDown(TMessage& m) override;
    void WMLButtonDblClk(TMessage& m) override;

private:
    struct Expansion;
    struct ExpansionDeleter {
        void operator()(Expansion* expansion) const;
    };
    void ServeExpansion();
    // One slice; false when the expansion is over.
    bool ExpansionSlice(int count);
    // Reads up to count items, until due says so; true once the folder is
    // read and its children are made.
    bool ReadExpansionSlice(int count, const std::function<bool()>& due);
    void FinishExpansion();
    void ReportExpansion(int done, int total);
    int expandSliceSize_ = 10000;
    std::unique_ptr<Expansion, ExpansionDeleter> expansion_;
    std::unique_ptr<TSliceWindow> expansionWindow_;
    // The expansion under way comes from the user's input.
    bool userExpanding_ = false;
    // The folder expanded in slices is being opened at their end.
    bool openingExpanded_ = false;
};

// The list of the pair: one folder's contents as top-level nodes under the
// hidden root. Browsing replaces the folder shown; the list may be kept
// inside the folder it was first shown on (toListviewLimitBrowseToRoot).
class TExplorerListview : public TExplorerViews {
public:
    explicit TExplorerListview(TComponent* owner);
    ~TExplorerListview() override;
    AnsiString ClassName() const override { return "TExplorerListview"; }
    void DefinePublished(TFiler& filer) override;

    TExplorerTreeview* ExplorerTreeview() const;
    void SetExplorerTreeview(TExplorerTreeview* tree);
    // The folder the list was shown on when its window was made; nil before.
    TNamespace* BrowseLimit() const { return browseLimit_.get(); }
    // The folder the list shows (a listing pending completes first).
    TNamespace* RootFolderNamespace();

    // A folder of more than SliceSize items is listed in slices, each a
    // message of its own, so the window answers meanwhile; the list shows
    // the folder it showed until the last slice, then the new one whole.
    // Whatever reads what the list shows completes a listing pending
    // first; Escape in either control of the pair cancels it.
    int SliceSize() const { return sliceSize_; }
    void SetSliceSize(int size) { sliceSize_ = size < 1 ? 1 : size; }
    bool ListingPending() const { return listing_ != nullptr; }
    // The folder being listed; nil when none is.
    PCItemIDList ListingFolder() const { return listingPIDL_.get(); }
    void CompleteListing();
    // Drops the listing pending: the list shows what it showed, and the
    // tree selects that folder again.
    void CancelListing();
    // After each slice: the items read so far; ListingPending() is false at
    // the call after the last slice and after a cancel.
    std::function<void(TExplorerListview* sender, int listed)> OnListingProgress;

    // Shows pidl's folder (pidl itself when it is a folder, else its parent,
    // selecting the item with select); answers whether the list has a folder.
    bool BrowseToByPIDL(PCItemIDList pidl, bool expandTarget, bool collapseAllFirst, bool setFocusToTree,
                        bool selectTarget) override;
    // A folder is browsed into with toBrowseExecuteFolder; anything else is
    // opened by the shell.
    void ExecuteNamespace(PDataNode node) override;
    // Pastes the clipboard's files into the folder shown; false without one.
    bool PasteFromClipboard() override;
    // Pastes into the selected folders (every one with allSelected, else
    // only a single selected one), or into the folder shown when nothing
    // is selected.
    bool PasteFromClipboardToSelection(bool allSelected);
    // Only the folder shown is merged with a fresh listing: the list's
    // items are never listed as folders of their own.
    void RereadAndMergeFolder(PDataNode node, bool sortAfter) override;

protected:
    bool MayBrowse(PCItemIDList pidl) override;
    // The list announces the folder it shows.
    TNamespace* ChangeLinkNamespace() override;
    void ChangeLinkChange(TComponent* server, PCItemIDList pidl) override;
    bool DoKeyAction(WORD& charCode, TShiftState& shift) override;
    void DoGetImageIndex(PDataNode node, TDTImageKind kind, TColumnIndex column, bool& ghosted,
                         int& index) override;
    void WMLButtonDblClk(TMessage& m) override;
    void CreateWnd() override;

private:
    bool PasteInto(TNamespace* folder);
    // Starts listing a folder; false when it cannot be listed ahead.
    bool BeginListing(PCItemIDList pidl);
    void ServeListing();
    void FinishListing();
    void DropListing();
    void ReportListing();
    void ReserveListedNodes();
    std::unique_ptr<TNamespace> browseLimit_;
    int sliceSize_ = 10000;
    TChildListingPtr listing_;
    UniquePIDL listingPIDL_;
    int listedCount_ = 0;
    std::unique_ptr<TSliceWindow> sliceWindow_;
    bool following_ = false;
};

// Makes the pair known to form descriptions.
void RegisterExplorerViewsClasses();

} // namespace ax
