#pragma once
// What both lists of the explorer combo box's drop-downs share, over the
// tree control each derives from: never focused nor activated, the
// highlight painted as a focused list paints its selection and following
// the mouse, a double click taken as a click, the drop-down's owner-drawn
// scroll bar kept in step. Threads: GUI thread only.
#include "explorer/DropDownWnd.h"

namespace ax {

template <class Base> class TPopupList : public Base {
public:
    TPopupList(TComponent* owner, TDropDownWnd& dropDown);
    bool CanFocus() const override { return false; }
    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r) override;
    // A double click chooses as a click does.
    void WMLButtonDblClk(TMessage& m) override;
    // The mouse moved to (x, y) in client coordinates: the row there, if
    // one takes it, gets the highlight.
    virtual void HighlightAt(int x, int y) = 0;
    TDropDownWnd& DropDown() const { return dropDown_; }

private:
    TDropDownWnd& dropDown_;
};

// Made in PopupList.cpp, once for each list's base (declared beside each
// list).

} // namespace ax
