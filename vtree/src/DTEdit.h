#pragma once
// The in-place editor of a tree: an edit line over the node's label. Enter
// ends the edit and keeps the text, Escape cancels it, and losing the focus
// keeps the text.
#include "stdctrls/edit.h"

namespace ax {

class TBaseDataTree;

class TDTEdit : public TEdit {
public:
    TDTEdit(TComponent* owner, TBaseDataTree* tree) : TEdit(owner), tree_(tree) {}
    AnsiString ClassName() const override { return "TDTEdit"; }
    // The tree is going: the editor no longer reports to it.
    void Detach() { tree_ = nullptr; }
    void Dispatch(TMessage& message) override;

protected:
    LRESULT DialogCode() override { return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS; }
    void KeyDown(WORD& key, TShiftState shift) override;

private:
    TBaseDataTree* tree_;
};

} // namespace ax
