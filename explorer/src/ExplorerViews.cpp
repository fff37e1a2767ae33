// The explorer tree and list pair: their defaults, the link between them,
// and the list's own browsing, keys and commands.
#include "explorer/ExplorerViews.h"

#include "ExplorerTreeInternal.h"
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

TNamespace* TExplorerListview::RootFolderNamespace() const {
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
    SetRootFolderCustomPIDL(shown.get());
    if (!folder && selectTarget) {
        ClearSelection();
        if (PDataNode node = WalkToPIDL(target.get(), true, false, false)) ScrollIntoView(node, false);
    }
    if (setFocusToTree && CanFocus()) SetFocus();
    return RootFolderCustomPIDL() != nullptr;
}

void TExplorerListview::ChangeLinkChange(TComponent*, PCItemIDList pidl) {
    if (following_ || HasState(csDesigning) || !pidl) return;
    following_ = true;
    ScopeGuard done([this] { following_ = false; });
    TNamespace* current = RootFolderNamespace();
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
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
