// The auto-complete drop-down of the explorer combo box: its list of
// candidate paths (rows, highlight, clicks) and the choice.
#include "explorer/PopupAutoCompleteTree.h"

#include "explorer/ExplorerComboBox.h"

#include <algorithm>
#include <utility>

namespace ax {

TPopupAutoCompleteTree::TPopupAutoCompleteTree(TComponent* owner, TDropDownWnd& dropDown)
    : TPopupList(owner, dropDown) {
    SetIndent(0);
    TStringTreeOptions& o = TreeOptions();
    o.SetPaintOptions(o.PaintOptions() & ~(toShowButtons | toShowRoot | toShowTreeLines | toShowDropmark));
}

void TPopupAutoCompleteTree::HighlightAt(int x, int y) {
    if (PDataNode node = GetNodeAt(x, y)) SetHighlightIndex(int(node->Index));
}

void TPopupAutoCompleteTree::SetItems(std::vector<WideString> items) {
    items_ = std::move(items);
    BeginUpdate();
    Clear();
    SetRootNodeCount(uint32_t(items_.size()));
    EndUpdate();
    SetOffsetY(0);
}

int TPopupAutoCompleteTree::HighlightIndex() const {
    PDataNode node = FocusedNode();
    return node && Selected(node) ? int(node->Index) : -1;
}

void TPopupAutoCompleteTree::SetHighlightIndex(int index) {
    if (items_.empty()) return;
    index = std::clamp(index, 0, int(items_.size()) - 1);
    if (index == HighlightIndex()) return;
    PDataNode node = GetFirstChild(RootNode());
    for (int i = 0; node && i < index; ++i) node = GetNextSibling(node);
    if (!node) return;
    ClearSelection();
    SetSelected(node, true);
    SetFocusedNode(node);
}

void TPopupAutoCompleteTree::DoGetText(PDataNode node, TColumnIndex column, TDTStringType textType,
                                       WideString& text) {
    TCustomDataStringTree::DoGetText(node, column, textType, text);
    if (node && node->Parent == RootNode() && node->Index < items_.size()) text = items_[node->Index];
}

void TPopupAutoCompleteTree::WMLButtonDown(TMessage& m) {
    const POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    if (PDataNode node = GetNodeAt(p.x, p.y)) {
        SetHighlightIndex(int(node->Index));
        static_cast<TPopupAutoCompleteDropDown&>(DropDown()).ChooseHighlighted();
    }
}

TPopupAutoCompleteDropDown::TPopupAutoCompleteDropDown(TComponent* owner, TCustomExplorerCombobox* combo)
    : TDropDownWnd(owner, combo) {
    tree_ = TComponent::Create<TPopupAutoCompleteTree>(this, *this);
    autoComplete_ = TComponent::Create<TShellAutoComplete>(this);
    SetList(tree_);
}

int TPopupAutoCompleteDropDown::ContentRows() {
    return int(std::min<size_t>(tree_->Items().size(), size_t(DropDownCount())));
}

void TPopupAutoCompleteDropDown::ChooseHighlighted() {
    const int index = tree_->HighlightIndex();
    if (index < 0) return;
    const WideString path = tree_->Items()[size_t(index)];
    RollUp(true);
    if (Combo()) Combo()->ChooseCandidate(path);
}

} // namespace ax
