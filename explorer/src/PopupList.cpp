// The behaviour both drop-down lists of the explorer combo box share, made
// for the explorer tree and for the plain string tree.
#include "explorer/PopupList.h"

#include "explorer/ExplorerTree.h"
#include "vtree/DataStringTree.h"

namespace ax {

template <class Base>
TPopupList<Base>::TPopupList(TComponent* owner, TDropDownWnd& dropDown) : Base(owner), dropDown_(dropDown) {
    this->tabStop_ = false;
    this->SetDefaultNodeHeight(17);
    auto& o = this->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() & ~(toEditable | toToggleOnDblClick | toAcceptOLEDrop));
}

template <class Base> void TPopupList<Base>::CreateParams(TCreateParams& p) {
    Base::CreateParams(p);
    p.ExStyle &= ~WS_EX_CLIENTEDGE; // the drop-down draws the border
    p.Style &= ~WS_TABSTOP;
}

template <class Base>
void TPopupList<Base>::DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r) {
    // The highlighted row, painted as a focused list paints its selection
    // (the list never has the focus).
    if (this->Selected(node)) {
        canvas.Brush().SetStyle(bsSolid);
        canvas.Brush().SetColor(clHighlight);
        canvas.FillRect(r);
        canvas.Brush().SetStyle(bsClear);
        canvas.Font().SetColor(clHighlightText);
    }
    Base::DoPaintNode(canvas, node, column, r);
}

template <class Base> void TPopupList<Base>::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_MOUSEACTIVATE: m.Result = MA_NOACTIVATE; return;
    case WM_VSCROLL:
        // A thumb drag on the drop-down's owner-drawn bar scrolls the list.
        // The bar's own position is taken, all 32 bits of it: the message's
        // 16-bit value would make a list taller than 65,535 pixels jump.
        if (LOWORD(m.WParam) == SB_THUMBTRACK || LOWORD(m.WParam) == SB_THUMBPOSITION) {
            this->SetOffsetY(dropDown_.ScrollBar().Position());
            dropDown_.SyncScrollBar();
            m.Result = 0;
            return;
        }
        break;
    case WM_MOUSEMOVE:
        Base::Dispatch(m);
        HighlightAt(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
        return;
    }
    Base::Dispatch(m);
    if (this->HandleAllocated()) dropDown_.SyncScrollBar();
}

template <class Base> void TPopupList<Base>::WMLButtonDblClk(TMessage& m) {
    this->WMLButtonDown(m);
}

template class TPopupList<TCustomExplorerTree>;
template class TPopupList<TCustomDataStringTree>;

} // namespace ax
