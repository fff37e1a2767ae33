// The explorer drop-down of the explorer combo box: its tree of folders
// (highlight, clicks, the walk to the combo box's folder) and the choice.
#include "explorer/PopupExplorerTree.h"

#include "explorer/ExplorerComboBox.h"

namespace ax {

TPopupExplorerTree::TPopupExplorerTree(TComponent* owner, TDropDownWnd& dropDown)
    : TPopupList(owner, dropDown) {
    SetIndent(10);
    TExplorerTreeOptions& o = TreeOptions();
    o.SetPaintOptions(o.PaintOptions() & ~toShowDropmark);
    // toBrowseExecuteFolder stays: without it the explorer tree opens
    // folders only by their buttons, and browsing must open the way.
    o.SetExpMiscOptions(o.ExpMiscOptions() & ~(toBrowseExecuteFolderShortcut | toExecuteOnDblClk |
                                               toChangeNotifierThread));
    o.SetExpShellOptions(0);
    SetFileObjects(foFolders);
}

void TPopupExplorerTree::HighlightAt(int x, int y) {
    THitInfo hit;
    GetHitTestInfoAt(x, y, true, hit);
    if (hit.HitNode && (hit.HitPositions & hiOnItem) && !(hit.HitPositions & hiOnItemButton))
        Highlight(hit.HitNode);
}

void TPopupExplorerTree::Highlight(PDataNode node) {
    if (!node || (FocusedNode() == node && Selected(node))) return;
    ClearSelection();
    SetSelected(node, true);
    SetFocusedNode(node);
}

void TPopupExplorerTree::MoveHighlight(int delta) {
    PDataNode node = FocusedNode();
    if (!node) {
        node = GetFirstVisible();
        if (node) Highlight(node);
        return;
    }
    for (; delta > 0; --delta) {
        PDataNode next = GetNextVisible(node);
        if (!next) break;
        node = next;
    }
    for (; delta < 0; ++delta) {
        PDataNode previous = GetPreviousVisible(node);
        if (!previous) break;
        node = previous;
    }
    Highlight(node);
}

void TPopupExplorerTree::WMLButtonDown(TMessage& m) {
    const POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    THitInfo hit;
    GetHitTestInfoAt(p.x, p.y, true, hit);
    if (!hit.HitNode) return;
    if (hit.HitPositions & hiOnItemButton) {
        ToggleNode(hit.HitNode);
        return;
    }
    if (hit.HitPositions & hiOnItem) {
        Highlight(hit.HitNode);
        static_cast<TPopupExplorerDropDown&>(DropDown()).ChooseFocused();
    }
}

bool TPopupExplorerTree::BrowseToFolder(PCItemIDList pidl) {
    SetActive(true);
    if (TNamespace* computer = DrivesFolder())
        if (PDataNode node = FindNodeByPIDL(computer->AbsolutePIDL())) SetExpanded(node, true);
    if (!pidl) return false;
    if (!BrowseToByPIDL(pidl, false, false, false, true)) return false;
    PDataNode target = FindNodeByPIDL(pidl);
    if (!target) return false;
    Highlight(target);
    ScrollIntoView(target, true);
    return true;
}

TPopupExplorerDropDown::TPopupExplorerDropDown(TComponent* owner, TCustomExplorerCombobox* combo)
    : TDropDownWnd(owner, combo) {
    tree_ = TComponent::Create<TPopupExplorerTree>(this, *this);
    SetList(tree_);
}

void TPopupExplorerDropDown::ChooseFocused() {
    PDataNode node = tree_->FocusedNode();
    TNamespace* ns = tree_->NodeNamespace(node);
    if (!ns) return;
    // The combo box takes its own copy: rolling up may rebuild nothing, but
    // the choice must not depend on the node living on.
    UniquePIDL chosen(NamespacePIDLManager().CopyPIDL(ns->AbsolutePIDL()));
    RollUp(true);
    if (chosen && Combo()) Combo()->ChooseItem(chosen.get());
}

} // namespace ax
