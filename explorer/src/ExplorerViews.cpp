// The explorer tree and list pair: their defaults, the link between them,
// and the list's own browsing, keys and commands.
#include "explorer/ExplorerViews.h"

#include <algorithm>
#include <cstdint>

#include "ExplorerTreeInternal.h"
#include "explorer/SliceWindow.h"
#include "framework/streaming.h"
#include "rtl/scopeguard.h"
#include "explorer/ExplorerComboBox.h"
#include "shell/PIDLTools.h"

namespace ax {

// ---- Shared -------------------------------------------------------------------------------

TExplorerViews::TExplorerViews(TComponent* owner) : TCustomExplorerTree(owner) {
    // The first control of a pair makes the process's dispatcher the one
    // every explorer tree announces its moves to.
    if (!ExpChangeDispatch()) SetExpChangeDispatch(&TExpChangeDispatch::Instance());
}

TExplorerViews::~TExplorerViews() {
    // Every link naming this control goes; the partner's free handler
    // forgets this control.
    TExpChangeDispatch::Instance().UnRegisterChangeLink(this, this, ukEither);
}

void TExplorerViews::SetPartner(TExplorerViews* partner) {
    if (partner == partner_) return;
    TExpChangeDispatch& dispatch = TExpChangeDispatch::Instance();
    if (partner_) dispatch.UnRegisterChangeLink(partner_, this, ukBoth);
    partner_ = partner;
    if (!partner) return;
    dispatch.RegisterChangeLink(
        partner, this, [this](TComponent* server, PCItemIDList pidl) { ChangeLinkChange(server, pidl); },
        [this](TExpChangeLink& link) { ChangeLinkFree(link); });
}

void TExplorerViews::ChangeLinkFree(TExpChangeLink& link) {
    TCustomExplorerTree::ChangeLinkFree(link);
    if (link.ChangeLinkClient == this && link.ChangeLinkServer == partner_) partner_ = nullptr;
}

// ---- The tree -----------------------------------------------------------------------------

TExplorerTreeview::TExplorerTreeview(TComponent* owner) : TExplorerViews(owner) {
    SetFileObjects(foFolders | foHidden);
    TExplorerTreeOptions& o = TreeOptions();
    o.SetAutoOptions(toAutoScroll);
    o.SetSelectionOptions(toLevelSelectConstraint | toMultiSelect);
    o.SetMiscOptions(toAcceptOLEDrop | toEditable | toToggleOnDblClick);
    o.SetPaintOptions(toShowButtons | toShowTreeLines | toUseBlendedImages | toGhostedIfUnfocused);
    o.SetExpFolderOptions(toFoldersExpandable);
    o.SetExpShellOptions(toContextMenus);
    o.SetExpMiscOptions(toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread |
                        toRemoveContextMenuShortCut);
    o.SetExpImageOptions(toImages | toThreadedImages | toMarkCutAndCopy);
    o.SetExpSyncOptions(toCollapseTargetFirst | toExpandTarget | toSelectTarget);
}

TExplorerListview* TExplorerTreeview::ExplorerListview() const { return static_cast<TExplorerListview*>(Partner()); }

void TExplorerTreeview::SetExplorerListview(TExplorerListview* list) { SetPartner(list); }

bool TExplorerTreeview::DoKeyAction(WORD& charCode, TShiftState& shift) {
    if (charCode == VK_ESCAPE && ExpansionPending()) {
        CancelExpansion();
        return false;
    }
    TExplorerListview* list = ExplorerListview();
    if (charCode == VK_ESCAPE && list && list->ListingPending()) {
        list->CancelListing();
        return false;
    }
    return TExplorerViews::DoKeyAction(charCode, shift);
}

void TExplorerTreeview::DefinePublished(TFiler& f) {
    TExplorerViews::DefinePublished(f);
    f.ComponentRef("ExplorerListview", [this]() -> TComponent* { return ExplorerListview(); },
                   [this](TComponent* c) { SetExplorerListview(dynamic_cast<TExplorerListview*>(c)); });
}

// ---- The list -----------------------------------------------------------------------------

TExplorerListview::TExplorerListview(TComponent* owner) : TExplorerViews(owner) {
    SetFileObjects(foFolders | foNonFolders | foHidden);
    TExplorerTreeOptions& o = TreeOptions();
    o.SetAutoOptions(toAutoScroll);
    o.SetSelectionOptions(toLevelSelectConstraint | toMultiSelect | toRightClickSelect);
    o.SetMiscOptions(toAcceptOLEDrop | toEditable | toReportMode | toToggleOnDblClick);
    o.SetPaintOptions(toShowTreeLines | toUseBlendedImages | toGhostedIfUnfocused);
    o.SetExpFolderOptions(toHideRootFolder);
    o.SetExpShellOptions(toRightAlignSizeColumn | toContextMenus | toShellColumnMenu);
    o.SetExpMiscOptions(toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread |
                        toExecuteOnDblClk);
    o.SetExpImageOptions(toImages | toThreadedImages | toMarkCutAndCopy);
    o.SetExpSyncOptions(toCollapseTargetFirst | toExpandTarget | toSelectTarget);
    Header().SetHeight(17);
    Header().SetOptions(hoColumnResize | hoDblClickResize | hoDrag | hoShowSortGlyphs);
    SetIndent(0);
    SetMargin(4);
    SetColumnDetails(cdShellColumns);
}

TExplorerListview::~TExplorerListview() = default;

TExplorerTreeview* TExplorerListview::ExplorerTreeview() const { return static_cast<TExplorerTreeview*>(Partner()); }

void TExplorerListview::SetExplorerTreeview(TExplorerTreeview* tree) { SetPartner(tree); }

void TExplorerListview::DefinePublished(TFiler& f) {
    TExplorerViews::DefinePublished(f);
    f.ComponentRef("ExplorerTreeview", [this]() -> TComponent* { return ExplorerTreeview(); },
                   [this](TComponent* c) { SetExplorerTreeview(dynamic_cast<TExplorerTreeview*>(c)); });
}

TNamespace* TExplorerListview::RootFolderNamespace() {
    CompleteListing();
    TNamespace* shown = NodeNamespace(RootNode());
    return shown ? shown : RootNamespace();
}

TNamespace* TExplorerListview::ChangeLinkNamespace() { return RootFolderNamespace(); }

bool TExplorerListview::MayBrowse(PCItemIDList pidl) {
    if (!(TreeOptions().ExpMiscOptions() & toListviewLimitBrowseToRoot) || !browseLimit_) return true;
    // The linked tree's root, else the linked combo box's, else the list's own.
    TNamespace* limit = browseLimit_.get();
    if (TExplorerTreeview* tree = ExplorerTreeview()) limit = tree->RootNamespace();
    else if (TCustomExplorerCombobox* combo = ExplorerComboBox();
             combo && combo->ExplorerDropDown().Tree().RootNamespace())
        limit = combo->ExplorerDropDown().Tree().RootNamespace();
    if (!limit || !limit->AbsolutePIDL() || !pidl) return false;
    return EqualPIDL(limit->AbsolutePIDL(), pidl) || IsParentPIDL(limit->AbsolutePIDL(), pidl, false);
}

bool TExplorerListview::BrowseToByPIDL(PCItemIDList pidl, bool, bool, bool setFocusToTree, bool selectTarget) {
    if (!pidl || !MayBrowse(pidl)) return false;
    TPIDLManager& pm = NamespacePIDLManager();
    // The caller's PIDL may belong to a node the rebuild frees.
    const UniquePIDL target(pm.CopyPIDL(pidl));
    if (!target) return false;
    const bool folder = TNamespace(UniquePIDL(pm.CopyPIDL(target.get())), nullptr).Folder();
    UniquePIDL shown(pm.CopyPIDL(target.get()));
    if (!folder) pm.StripLastID(shown.get());
    // A folder chosen now replaces the one being listed.
    DropListing();
    const bool listing = folder && BeginListing(shown.get());
    if (!listing) SetRootFolderCustomPIDL(shown.get());
    if (!folder && selectTarget) {
        ClearSelection();
        if (PDataNode node = WalkToPIDL(target.get(), true, false, false)) ScrollIntoView(node, false);
    }
    if (setFocusToTree && CanFocus()) SetFocus();
    return listing || RootFolderCustomPIDL() != nullptr;
}

// ---- Listing in slices --------------------------------------------------------------------

bool TExplorerListview::BeginListing(PCItemIDList pidl) {
    TChildListingPtr listing = BeginFolderListing(pidl);
    if (!listing) return false;
    if (ContinueChildListing(*listing, sliceSize_)) {
        ShowListedFolder(*listing);
        return true;
    }
    listing_ = std::move(listing);
    listingPIDL_.reset(NamespacePIDLManager().CopyPIDL(pidl));
    listedCount_ = sliceSize_;
    ReserveListedNodes();
    if (!sliceWindow_) sliceWindow_ = std::make_unique<TSliceWindow>([this] { ServeListing(); });
    sliceWindow_->Schedule();
    ReportListing();
    return true;
}

void TExplorerListview::ReserveListedNodes() {
    // The last slice makes a node of every item: their memory is taken
    // here, a slice at a time (and the next slice's too), not all there.
    ReserveNodes(uint32_t(std::min<int64_t>(int64_t(listedCount_) + sliceSize_, UINT32_MAX)));
}

void TExplorerListview::ServeListing() {
    if (!listing_) return;
    if (HasState(csDestroying)) return DropListing();
    if (ContinueChildListing(*listing_, sliceSize_)) return FinishListing();
    listedCount_ += sliceSize_;
    ReserveListedNodes();
    sliceWindow_->Schedule();
    ReportListing();
}

void TExplorerListview::FinishListing() {
    // Not pending any more while the folder is shown: what the root change
    // runs may read the list.
    const TChildListingPtr listing = std::move(listing_);
    const UniquePIDL pidl = std::move(listingPIDL_);
    if (sliceWindow_) sliceWindow_->Cancel();
    ScopeGuard unreserve([this] { DropNodeReserve(); });
    ShowListedFolder(*listing);
    listedCount_ = int(RootNode()->ChildCount);
    ReportListing();
}

void TExplorerListview::CompleteListing() {
    if (listing_) FinishListing();
}

void TExplorerListview::DropListing() {
    if (!listing_) return;
    listing_.reset();
    listingPIDL_.reset();
    if (sliceWindow_) sliceWindow_->Cancel();
    DropNodeReserve();
}

void TExplorerListview::CancelListing() {
    if (!listing_) return;
    DropListing();
    ReportListing();
    // The tree chose the folder being listed: it selects the one shown again.
    TExplorerTreeview* tree = ExplorerTreeview();
    TNamespace* shown = RootFolderNamespace();
    if (!tree || !shown || !shown->AbsolutePIDL()) return;
    if (PDataNode node = tree->FindNodeByPIDL(shown->AbsolutePIDL())) {
        // One announcement, of the folder shown: none of the way between.
        tree->BeginUpdate();
        ScopeGuard end([tree] { tree->EndUpdate(); });
        tree->ClearSelection();
        tree->SetSelected(node, true);
        tree->SetFocusedNode(node);
    }
}

void TExplorerListview::ReportListing() {
    if (OnListingProgress) OnListingProgress(this, listedCount_);
}

void TExplorerListview::ChangeLinkChange(TComponent*, PCItemIDList pidl) {
    if (following_ || HasState(csDesigning) || !pidl) return;
    following_ = true;
    ScopeGuard done([this] { following_ = false; });
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    if (listing_) {
        // The folder being listed goes on; any other replaces it.
        if (desktop && CompareIDsSign(*desktop, pidl, listingPIDL_.get()) == 0) return;
        DropListing();
        ReportListing();
    }
    TNamespace* current = RootFolderNamespace();
    if (current && desktop && CompareIDsSign(*desktop, pidl, current->AbsolutePIDL()) == 0) return;
    const TExpSyncOptions sync = TreeOptions().ExpSyncOptions();
    BrowseToByPIDL(pidl, sync & toExpandTarget, sync & toCollapseTargetFirst, false, sync & toSelectTarget);
}

void TExplorerListview::RereadAndMergeFolder(PDataNode node, bool sortAfter) {
    if (node == RootNode()) TExplorerViews::RereadAndMergeFolder(node, sortAfter);
}

void TExplorerListview::ExecuteNamespace(PDataNode node) {
    TNamespace* ns = NodeNamespace(node);
    if (!ns) return;
    const TExpMiscOptions misc = TreeOptions().ExpMiscOptions();
    if ((misc & toBrowseExecuteFolder) && ns->Folder()) {
        // The node goes with the rebuild: browse on a copy.
        const UniquePIDL pidl(NamespacePIDLManager().CopyPIDL(ns->AbsolutePIDL()));
        BrowseToByPIDL(pidl.get(), false, false, false, false);
        return;
    }
    TNamespace* folder = RootFolderNamespace();
    ns->ShellExecuteNamespace(folder ? folder->NameForParsing() : WideString(), WideString(),
                              misc & toBrowseExecuteFolder, misc & toBrowseExecuteFolderShortcut);
}

bool TExplorerListview::PasteInto(TNamespace* folder) {
    if (!folder) return false;
    WaitCursor(true);
    ScopeGuard cursor([this] { WaitCursor(false); });
    folder->Paste({folder});
    return true;
}

bool TExplorerListview::PasteFromClipboard() { return PasteInto(RootFolderNamespace()); }

bool TExplorerListview::PasteFromClipboardToSelection(bool allSelected) {
    if (SelectedCount() == 0) return PasteFromClipboard();
    if (allSelected) {
        bool pasted = false;
        for (PDataNode node = GetFirstSelected(); node; node = GetNextSelected(node))
            if (TNamespace* ns = NodeNamespace(node); ns && ns->Folder()) pasted = PasteInto(ns) || pasted;
        return pasted;
    }
    if (SelectedCount() != 1) return false;
    TNamespace* ns = NodeNamespace(GetFirstSelected());
    return ns && ns->Folder() && PasteInto(ns);
}

bool TExplorerListview::DoKeyAction(WORD& charCode, TShiftState& shift) {
    if (charCode == VK_ESCAPE && ListingPending()) {
        CancelListing();
        return false;
    }
    if (TExplorerTreeview* tree = ExplorerTreeview(); charCode == VK_ESCAPE && tree && tree->ExpansionPending()) {
        tree->CancelExpansion();
        return false;
    }
    // Keys act on what the list shows: the whole folder.
    CompleteListing();
    if (charCode == VK_BACK) {
        TNamespace* shown = RootFolderNamespace();
        if (shown && !shown->IsDesktop() && shown->AbsolutePIDL()) {
            TPIDLManager& pm = NamespacePIDLManager();
            const UniquePIDL parent(pm.CopyPIDL(shown->AbsolutePIDL()));
            pm.StripLastID(parent.get());
            BrowseToByPIDL(parent.get(), false, false, false, false);
        }
        return false;
    }
    // The letter's key code only: 118 is F7.
    if (charCode == 'V' && (shift & ssCtrl)) {
        PasteFromClipboard();
        return false;
    }
    if (charCode == VK_RETURN && SelectedCount() == 1) ExecuteNamespace(GetFirstSelected());
    return TExplorerViews::DoKeyAction(charCode, shift);
}

void TExplorerListview::DoGetImageIndex(PDataNode node, TDTImageKind kind, TColumnIndex column, bool& ghosted,
                                        int& index) {
    // No open-folder icons in the list.
    TExplorerViews::DoGetImageIndex(node, kind == ikSelected ? ikNormal : kind, column, ghosted, index);
}

void TExplorerListview::WMLButtonDblClk(TMessage& m) {
    if (TreeOptions().ExpMiscOptions() & toExecuteOnDblClk) {
        THitInfo hit;
        GetHitTestInfoAt(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam), true, hit);
        if (hit.HitNode && (hit.HitPositions & (hiOnItemLabel | hiOnNormalIcon))) {
            if (AltHeld())
                ShowProperties();
            else
                ExecuteNamespace(hit.HitNode);
            return;
        }
    }
    TExplorerViews::WMLButtonDblClk(m);
}

void TExplorerListview::CreateWnd() {
    TExplorerViews::CreateWnd();
    browseLimit_ = RootNamespace() ? RootNamespace()->Clone() : nullptr;
}

void RegisterExplorerViewsClasses() {
    RegisterExplorerTreeClasses();
    RegisterComponentClass<TExplorerTreeview>("TExplorerTreeview");
    RegisterComponentClass<TExplorerListview>("TExplorerListview");
}

} // namespace ax
