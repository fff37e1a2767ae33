#pragma once
// The explorer combo box's auto-complete drop-down: the pop-up with one row
// per path that completes the typed text. Threads: GUI thread only.
#include "explorer/DropDownWnd.h"
#include "explorer/PopupList.h"
#include "shell/ShellAutoComplete.h"
#include "vtree/DataStringTree.h"

#include <vector>

namespace ax {

extern template class TPopupList<TCustomDataStringTree>;

// The list of the auto-complete drop-down: one row per candidate path.
class TPopupAutoCompleteTree : public TPopupList<TCustomDataStringTree> {
public:
    TPopupAutoCompleteTree(TComponent* owner, TDropDownWnd& dropDown);
    AnsiString ClassName() const override { return "TPopupAutoCompleteTree"; }

    // The rows, replaced whole; nothing highlighted.
    void SetItems(std::vector<WideString> items);
    const std::vector<WideString>& Items() const { return items_; }
    // The highlighted row's index, -1 when none.
    int HighlightIndex() const;
    void SetHighlightIndex(int index);

protected:
    void DoGetText(PDataNode node, TColumnIndex column, TDTStringType textType, WideString& text) override;
    void WMLButtonDown(TMessage& m) override;
    void HighlightAt(int x, int y) override;

private:
    std::vector<WideString> items_;
};

class TPopupAutoCompleteDropDown : public TDropDownWnd {
public:
    explicit TPopupAutoCompleteDropDown(TComponent* owner, TCustomExplorerCombobox* combo);
    AnsiString ClassName() const override { return "TPopupAutoCompleteDropDown"; }
    TPopupAutoCompleteTree& Tree() const { return *tree_; }
    TShellAutoComplete& AutoComplete() const { return *autoComplete_; }
    // The highlighted path was chosen: it goes into the edit line.
    void ChooseHighlighted();

protected:
    int ContentRows() override;

private:
    TPopupAutoCompleteTree* tree_ = nullptr;
    TShellAutoComplete* autoComplete_ = nullptr;
};

} // namespace ax
