#pragma once
// The explorer combo box's explorer drop-down: the pop-up with a small
// explorer tree of the namespace's folders. Threads: GUI thread only.
#include "explorer/DropDownWnd.h"
#include "explorer/ExplorerTree.h"
#include "explorer/PopupList.h"

namespace ax {

extern template class TPopupList<TCustomExplorerTree>;

// The explorer tree of the explorer drop-down: folders of the namespace from
// the desktop down. It never takes the focus; a click on a folder chooses it,
// a click on a button expands or collapses, the row under the mouse is
// highlighted.
class TPopupExplorerTree : public TPopupList<TCustomExplorerTree> {
public:
    TPopupExplorerTree(TComponent* owner, TDropDownWnd& dropDown);
    AnsiString ClassName() const override { return "TPopupExplorerTree"; }

    // Activates the tree, walks to pidl (selecting it, not focusing the
    // window), expands the Computer node and scrolls the target into view.
    // False when pidl has no node in the tree.
    bool BrowseToFolder(PCItemIDList pidl);
    // Moves the highlight by delta shown rows (clamped to the first and last).
    void MoveHighlight(int delta);

protected:
    void WMLButtonDown(TMessage& m) override;
    // The highlight moving is no choice: the combo box announces choices.
    TNamespace* ChangeLinkNamespace() override { return nullptr; }
    // A folder's row takes the highlight, its button does not.
    void HighlightAt(int x, int y) override;

private:
    void Highlight(PDataNode node);
};

class TPopupExplorerDropDown : public TDropDownWnd {
public:
    explicit TPopupExplorerDropDown(TComponent* owner, TCustomExplorerCombobox* combo);
    AnsiString ClassName() const override { return "TPopupExplorerDropDown"; }
    TPopupExplorerTree& Tree() const { return *tree_; }
    // The highlighted folder was chosen: it becomes the combo box's folder.
    void ChooseFocused();

protected:
    int ContentRows() override { return DropDownCount(); }

private:
    TPopupExplorerTree* tree_ = nullptr;
};

} // namespace ax
