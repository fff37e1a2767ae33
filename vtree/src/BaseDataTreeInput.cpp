// Input: message dispatch, mouse, keyboard, scroll bars, the header's part
// of the frame, timers, hints and the start of a drag.
#include <algorithm>
#include <cstdlib>

#include "DragImage.h"
#include "NodeLayout.h"
#include "NodeWalk.h"
#include "PositionCache.h"
#include "rtl/scopeguard.h"
#include "TreeMessages.h"
#include "vtree/DTDataObject.h"

namespace ax {
namespace {

constexpr int kDragThreshold = 4;
constexpr int kWheelLines = 3;

bool IsMouseMessage(UINT msg) {
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK: return true;
    default: return false;
    }
}

} // namespace

class TBaseDataTree::ChangeBatch {
public:
    explicit ChangeBatch(TBaseDataTree& tree) : tree_(tree) { ++tree_.changeBatch_; }
    ~ChangeBatch() {
        if (--tree_.changeBatch_ > 0 || !tree_.batchPending_) return;
        tree_.batchPending_ = false;
        tree_.ChangePending(std::exchange(tree_.batchNode_, nullptr));
    }
    ChangeBatch(const ChangeBatch&) = delete;
    ChangeBatch& operator=(const ChangeBatch&) = delete;

private:
    TBaseDataTree& tree_;
};

class TBaseDataTree::DropSource : public IDropSource {
public:
    explicit DropSource(TDragImage* image) : image_(image) {}
    HRESULT QueryContinueDrag(bool escapePressed, DWORD keyState) override {
        const HRESULT hr = escapePressed ? DRAGDROP_S_CANCEL : !(keyState & MK_LBUTTON) ? DRAGDROP_S_DROP : S_OK;
        // Gone before the drop runs: the target may ask the user something.
        if (hr != S_OK && image_) image_->Hide();
        return hr;
    }
    HRESULT GiveFeedback(DWORD) override {
        POINT at{};
        if (image_ && GetCursorPos(at)) image_->Follow(at);
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }

private:
    TDragImage* image_;
};

void TBaseDataTree::Dispatch(TMessage& m) {
    if (IsMouseMessage(m.Msg) && !(treeStates_ & (tsLeftButtonDown | tsRightButtonDown))) {
        const POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        if (Header().Tracking() || (Header().Showing() && p.y < 0)) {
            const POINT hp{p.x, p.y + Header().Height()};
            const bool down = m.Msg == WM_LBUTTONDOWN || m.Msg == WM_RBUTTONDOWN || m.Msg == WM_LBUTTONDBLCLK;
            if (down) {
                HideNodeHint();
                if (IsEditing()) EndEditNode();
            }
            Header().HandleMouse(m.Msg, KeysToShiftState(m.WParam), hp);
            if (down && Header().Tracking()) SetCapture(Handle());
            else if (!Header().Tracking() && GetCapture() == Handle()) ReleaseCapture();
            m.Result = 0;
            return;
        }
    }
    switch (m.Msg) {
    case WM_LBUTTONDOWN: WMLButtonDown(m); return;
    case WM_LBUTTONDBLCLK: WMLButtonDblClk(m); return;
    case WM_LBUTTONUP: WMLButtonUp(m); return;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: WMRButtonDown(m); return;
    case WM_RBUTTONUP: WMRButtonUp(m); return;
    case WM_MOUSEMOVE: WMMouseMove(m); return;
    case WM_MOUSEWHEEL: WMMouseWheel(m); return;
    case WM_KEYDOWN: WMKeyDown(m); return;
    case WM_KILLFOCUS: WMKillFocus(m); return;
    case WM_SETFOCUS:
        TCustomControl::Dispatch(m);
        InvalidateAll();
        return;
    case WM_CONTEXTMENU: WMContextMenu(m); return;
    case WM_NCDESTROY: WMNCDestroy(m); return;
    case WM_VSCROLL: WMScroll(m, true); return;
    case WM_HSCROLL: WMScroll(m, false); return;
    case WM_TIMER: WMTimer(m); return;
    case WM_NCCALCSIZE: WMNCCalcSize(m); return;
    case WM_NCHITTEST: WMNCHitTest(m); return;
    case WM_NCPAINT: WMNCPaint(m); return;
    case WM_SETCURSOR: WMSetCursor(m); return;
    case WM_SIZE: WMSize(m); return;
    case CM_MOUSELEAVE:
        if (hotNode_) {
            PDataNode old = hotNode_;
            hotNode_ = nullptr;
            if (HasPaint(toHotTrack)) InvalidateNode(old);
        }
        HideNodeHint();
        TCustomControl::Dispatch(m);
        return;
    case CM_HINTSHOW:
        // Node hints are the tree's own; the control's hint shows only in hmDefault.
        if (hintMode_ != hmDefault) {
            m.Result = 1;
            return;
        }
        break;
    case CM_FONTCHANGED:
        TCustomControl::Dispatch(m);
        Header().Invalidate();
        return;
    case WM_THEMECHANGED:
        // The next paint opens the new theme's parts.
        CloseThemes();
        InvalidateAll();
        Header().Invalidate();
        break;
    case kTreeUpdateScrollBars:
        if (scrollBarsPending_) UpdateScrollBars();
        return;
    case kTreeEditorKilled: EditorKilled(); return;
    }
    TCustomControl::Dispatch(m);
}

LRESULT TBaseDataTree::DialogCode() { return DLGC_WANTARROWS | DLGC_WANTCHARS; }

// ---- Mouse ---------------------------------------------------------------------------------

THitInfo TBaseDataTree::HandleLeftPress(int x, int y, TShiftState shift, bool doubleClick) {
    HideNodeHint();
    if (CanFocus() && !Focused()) SetFocus();
    if (IsEditing()) EndEditNode();
    if (treeStates_ & tsEditPending) {
        KillTimer(Handle(), kEditTimer);
        treeStates_ &= ~tsEditPending;
        pendingEditNode_ = nullptr;
    }
    lastClickPos_ = {x, y};
    treeStates_ |= tsLeftButtonDown;
    SetCapture(Handle());
    THitInfo hit;
    GetHitTestInfoAt(x, y, true, hit);
    PDataNode node = hit.HitNode;
    if (!node) {
        if (!(shift & ssCtrl)) ClearSelection();
        return hit;
    }
    if (hit.HitPositions & hiOnItemButton) {
        ToggleNode(node);
        return hit;
    }
    if ((hit.HitPositions & hiOnItemCheckbox) && HasMisc(toCheckSupport) && !(node->States & vsDisabled)) {
        pressedCheckNode_ = node;
        node->CheckState = PressedCheckState(node->CheckState);
        node->States |= vsChecking;
        treeStates_ |= tsCheckPressed;
        InvalidateNode(node);
        return hit;
    }
    const bool onContent =
        (hit.HitPositions & (hiOnItemLabel | hiOnNormalIcon | hiOnStateIcon)) || HasMisc(toReportMode);
    if (!onContent) {
        if (!(shift & ssCtrl)) ClearSelection();
        return hit;
    }
    const bool wasOnlySelection = node == focusedNode_ && Selected(node) && selectedCount_ == 1;
    ChangeBatch batch(*this);
    const bool multi = HasSelection(toMultiSelect);
    if (multi && (shift & ssCtrl)) {
        SetSelected(node, !Selected(node));
    } else if (multi && (shift & ssShift) && anchorNode_) {
        ClearSelectionInternal(false);
        SelectRange(anchorNode_, node);
    } else if (Selected(node)) {
        // Several nodes may be dragged together: the selection settles on release.
        if (selectedCount_ > 1) pendingClickNode_ = node;
    } else {
        ClearSelectionInternal(false);
        SetSelected(node, true);
    }
    if (!(shift & ssShift)) anchorNode_ = node;
    if (hit.HitColumn != NoColumn) SetFocusedColumn(hit.HitColumn);
    SetFocusedNode(node);
    if (Selected(node) && !doubleClick) {
        treeStates_ |= tsOLEDragPending;
        dragStart_ = {x, y};
    }
    if (!doubleClick && wasOnlySelection && (hit.HitPositions & hiOnItemLabel) && HasMisc(toEditable) &&
        !HasMisc(toReadOnly) && !(shift & (ssCtrl | ssShift))) {
        treeStates_ |= tsEditPending;
        pendingEditNode_ = node;
        pendingEditColumn_ = hit.HitColumn;
        SetTimer(Handle(), kEditTimer, editDelay_);
    }
    return hit;
}

void TBaseDataTree::WMLButtonDown(TMessage& m) {
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    const TShiftState shift = KeysToShiftState(m.WParam);
    HandleLeftPress(x, y, shift, false);
    MouseDown(mbLeft, shift, x, y);
}

void TBaseDataTree::WMLButtonDblClk(TMessage& m) {
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    const TShiftState shift = KeysToShiftState(m.WParam) | ssDouble;
    const THitInfo hit = HandleLeftPress(x, y, shift, true);
    if (hit.HitNode && !(hit.HitPositions & (hiOnItemButton | hiOnItemCheckbox)) && HasMisc(toToggleOnDblClick))
        ToggleNode(hit.HitNode);
    DblClick();
    MouseDown(mbLeft, shift, x, y);
}

void TBaseDataTree::WMLButtonUp(TMessage& m) {
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    const TShiftState shift = KeysToShiftState(m.WParam);
    const bool wasDown = (treeStates_ & tsLeftButtonDown) != 0;
    treeStates_ &= ~(tsLeftButtonDown | tsOLEDragPending);
    if (GetCapture() == Handle()) ReleaseCapture();
    if (treeStates_ & tsCheckPressed) FinishCheckPress(x, y, true);
    if (PDataNode node = std::exchange(pendingClickNode_, nullptr); node && Selected(node)) {
        ClearSelectionInternal(false);
        SetSelected(node, true);
    }
    MouseUp(mbLeft, shift, x, y);
    const RECT client = ClientRect();
    if (wasDown && PtInRect(&client, POINT{x, y})) Click();
}

void TBaseDataTree::FinishCheckPress(int x, int y, bool apply) {
    PDataNode node = std::exchange(pressedCheckNode_, nullptr);
    treeStates_ &= ~tsCheckPressed;
    if (!node) return;
    node->States &= ~vsChecking;
    node->CheckState = UnpressedCheckState(node->CheckState);
    THitInfo hit;
    if (apply) GetHitTestInfoAt(x, y, true, hit);
    if (apply && hit.HitNode == node && (hit.HitPositions & hiOnItemCheckbox)) UserToggleCheck(node);
    else InvalidateNode(node);
}

void TBaseDataTree::WMMouseMove(TMessage& m) {
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    const TShiftState shift = KeysToShiftState(m.WParam);
    if (treeStates_ & tsCheckPressed) {
        // The box shows pressed only while the mouse is over it.
        THitInfo hit;
        GetHitTestInfoAt(x, y, true, hit);
        const bool over = hit.HitNode == pressedCheckNode_ && (hit.HitPositions & hiOnItemCheckbox);
        const TCheckState s = over ? PressedCheckState(pressedCheckNode_->CheckState)
                                   : UnpressedCheckState(pressedCheckNode_->CheckState);
        if (s != pressedCheckNode_->CheckState) {
            pressedCheckNode_->CheckState = s;
            InvalidateNode(pressedCheckNode_);
        }
        MouseMove(shift, x, y);
        return;
    }
    if ((treeStates_ & tsOLEDragPending) && (m.WParam & MK_LBUTTON) &&
        (std::abs(x - dragStart_.x) > kDragThreshold || std::abs(y - dragStart_.y) > kDragThreshold)) {
        treeStates_ &= ~tsOLEDragPending;
        // A press that moved away is no click on the label: it renames nothing,
        // whether or not the node may be dragged.
        if (treeStates_ & tsEditPending) {
            KillTimer(Handle(), kEditTimer);
            treeStates_ &= ~tsEditPending;
            pendingEditNode_ = nullptr;
        }
        THitInfo hit;
        GetHitTestInfoAt(dragStart_.x, dragStart_.y, true, hit);
        if (hit.HitNode && DoDragAllowed(hit.HitNode, hit.HitColumn)) {
            pendingClickNode_ = nullptr;
            StartDrag();
            return;
        }
    }
    UpdateHotNode(x, y);
    MouseMove(shift, x, y);
}

void TBaseDataTree::UpdateHotNode(int x, int y) {
    THitInfo hit;
    GetHitTestInfoAt(x, y, true, hit);
    PDataNode node = (hit.HitPositions & hiOnItem) ? hit.HitNode : nullptr;
    if (node != hotNode_) {
        PDataNode old = hotNode_;
        hotNode_ = node;
        if (HasPaint(toHotTrack)) {
            InvalidateNode(old);
            InvalidateNode(node);
        }
    }
    const bool onLabel = node && (hit.HitPositions & (hiOnItemLabel | hiOnNormalIcon | hiOnStateIcon));
    TrackHint(onLabel ? node : nullptr, hit.HitColumn);
}

void TBaseDataTree::WMRButtonDown(TMessage& m) {
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    const TShiftState shift = KeysToShiftState(m.WParam);
    HideNodeHint();
    if (CanFocus() && !Focused()) SetFocus();
    if (IsEditing()) EndEditNode();
    lastClickPos_ = {x, y};
    treeStates_ |= tsRightButtonDown;
    THitInfo hit;
    GetHitTestInfoAt(x, y, true, hit);
    if (hit.HitNode && HasSelection(toRightClickSelect) &&
        (hit.HitPositions & (hiOnItemLabel | hiOnNormalIcon | hiOnStateIcon))) {
        ChangeBatch batch(*this);
        if (!Selected(hit.HitNode)) {
            ClearSelectionInternal(false);
            SetSelected(hit.HitNode, true);
        }
        anchorNode_ = hit.HitNode;
        SetFocusedNode(hit.HitNode);
    }
    MouseDown(mbRight, shift, x, y);
}

void TBaseDataTree::WMRButtonUp(TMessage& m) {
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    treeStates_ &= ~tsRightButtonDown;
    MouseUp(mbRight, KeysToShiftState(m.WParam), x, y);
    // The window's default handling turns the release into WM_CONTEXTMENU.
    DefaultHandler(m);
}

TPopupMenu* TBaseDataTree::DoGetPopupMenu(PDataNode node, TColumnIndex column, POINT position) {
    TPopupMenu* menu = nullptr;
    bool askParent = true;
    if (OnGetPopupMenu) OnGetPopupMenu(this, node, column, position, askParent, menu);
    return menu;
}

void TBaseDataTree::WMContextMenu(TMessage& m) {
    HideNodeHint();
    POINT screen{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    PDataNode node = nullptr;
    TColumnIndex column = NoColumn;
    POINT client{};
    if (m.LParam == -1) {
        // From the keyboard: at the focused node's label.
        node = focusedNode_;
        column = focusedColumn_;
        const RECT r = node ? GetDisplayRect(node, NoColumn, true) : RECT{};
        client = node ? POINT{r.left, (r.top + r.bottom) / 2} : POINT{0, 0};
        screen = ClientToScreen(client);
    } else {
        client = ScreenToClient(screen);
        if (client.y < 0) {
            TCustomControl::Dispatch(m);
            return;
        }
        THitInfo hit;
        GetHitTestInfoAt(client.x, client.y, true, hit);
        node = hit.HitNode;
        column = hit.HitColumn;
    }
    if (TPopupMenu* menu = DoGetPopupMenu(node, column, client)) {
        SendCancelMode(nullptr);
        menu->SetPopupComponent(this);
        menu->Popup(screen.x, screen.y);
        m.Result = 1;
        return;
    }
    if (m.LParam == -1) m.LParam = MAKELPARAM(screen.x, screen.y);
    TCustomControl::Dispatch(m);
}

void TBaseDataTree::WMMouseWheel(TMessage& m) {
    const int delta = GET_WHEEL_DELTA_WPARAM(m.WParam);
    HideNodeHint();
    ScrollByLines(-delta * kWheelLines / 120);
    m.Result = 0;
}

void TBaseDataTree::WMScroll(TMessage& m, bool vertical) {
    const int bar = vertical ? SB_VERT : SB_HORZ;
    const int line = vertical ? defaultNodeHeight_ : indent_;
    const int page = vertical ? ClientHeightSafe() : ClientWidthSafe();
    const int offset = vertical ? offsetY_ : offsetX_;
    int target = offset;
    switch (int(LOWORD(m.WParam))) {
    case SB_LINEUP: target = offset - line; break;
    case SB_LINEDOWN: target = offset + line; break;
    case SB_PAGEUP: target = offset - page; break;
    case SB_PAGEDOWN: target = offset + page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        // The message carries 16 bits; the bar's track position all 32.
        SCROLLINFO info;
        info.fMask = SIF_TRACKPOS;
        target = GetScrollInfo(Handle(), bar, info) ? info.nTrackPos : int(HIWORD(m.WParam));
        break;
    }
    case SB_TOP: target = 0; break;
    case SB_BOTTOM: target = vertical ? RangeY() : RangeX(); break;
    default: return;
    }
    if (vertical) SetOffsetY(target);
    else SetOffsetX(target);
    m.Result = 0;
}

// ---- Keyboard ------------------------------------------------------------------------------

bool TBaseDataTree::DoKeyAction(WORD& charCode, TShiftState& shift) {
    bool doDefault = true;
    if (OnKeyAction) OnKeyAction(this, charCode, shift, doDefault);
    return doDefault;
}

void TBaseDataTree::WMKeyDown(TMessage& m) {
    WORD key = WORD(m.WParam);
    TShiftState shift = KeyDataToShiftState(m.LParam);
    if (DoKeyDown(key, shift) || key == 0) return;
    HideNodeHint();
    if (!DoKeyAction(key, shift)) return;
    if (HandleNavigationKey(key, shift)) return;
    m.WParam = key;
    DefaultHandler(m);
}

void TBaseDataTree::MoveFocusTo(PDataNode target, TShiftState shift) {
    if (!target) return;
    ChangeBatch batch(*this);
    const bool multi = HasSelection(toMultiSelect);
    if (multi && (shift & ssShift)) {
        PDataNode anchor = anchorNode_ ? anchorNode_ : (focusedNode_ ? focusedNode_ : target);
        ClearSelectionInternal(false);
        SelectRange(anchor, target);
        anchorNode_ = anchor;
    } else if (!(multi && (shift & ssCtrl))) {
        if (!(Selected(target) && selectedCount_ == 1)) {
            ClearSelectionInternal(false);
            SetSelected(target, true);
        }
        anchorNode_ = target;
    }
    SetFocusedNode(target);
}

bool TBaseDataTree::HandleNavigationKey(WORD key, TShiftState shift) {
    PDataNode focused = focusedNode_;
    if (focused && !walk::IsShown(focused, root_)) focused = nullptr;
    auto pageStep = [this](PDataNode from, bool down) {
        // As many rows as fit above or below, the start row not counted.
        int room = ClientHeightSafe() - from->NodeHeight;
        PDataNode n = from;
        for (;;) {
            PDataNode next = down ? GetNextVisible(n) : GetPreviousVisible(n);
            if (!next || room < next->NodeHeight) return next && n == from ? next : n;
            room -= next->NodeHeight;
            n = next;
        }
    };
    switch (key) {
    case VK_UP:
        if (shift & ssCtrl) ScrollByLines(-1);
        else MoveFocusTo(focused ? GetPreviousVisible(focused) : GetFirstVisible(), shift);
        return true;
    case VK_DOWN:
        if (shift & ssCtrl) ScrollByLines(1);
        else MoveFocusTo(focused ? GetNextVisible(focused) : GetFirstVisible(), shift);
        return true;
    case VK_HOME: MoveFocusTo(GetFirstVisible(), shift); return true;
    case VK_END: MoveFocusTo(GetLastVisible(), shift); return true;
    case VK_PRIOR: MoveFocusTo(focused ? pageStep(focused, false) : GetFirstVisible(), shift); return true;
    case VK_NEXT: MoveFocusTo(focused ? pageStep(focused, true) : GetFirstVisible(), shift); return true;
    case VK_LEFT:
        if (!focused) return true;
        if (Expanded(focused) && focused->ChildCount > 0) SetExpanded(focused, false);
        else if (focused->Parent != root_) MoveFocusTo(focused->Parent, shift);
        return true;
    case VK_RIGHT:
        if (!focused) return true;
        if (focused->States & vsHasChildren) {
            if (!Expanded(focused)) SetExpanded(focused, true);
            else if (PDataNode c = GetNextVisible(focused); c && c->Parent == focused) MoveFocusTo(c, shift);
        }
        return true;
    case VK_BACK:
        if (focused && focused->Parent != root_) MoveFocusTo(focused->Parent, shift);
        return true;
    case VK_ADD:
        if (focused) SetExpanded(focused, true);
        return true;
    case VK_SUBTRACT:
        if (focused) SetExpanded(focused, false);
        return true;
    case VK_MULTIPLY:
        if (focused) FullExpand(focused);
        return true;
    case VK_SPACE:
        if (focused && HasMisc(toCheckSupport)) UserToggleCheck(focused);
        return true;
    case VK_F2:
        if (focused) EditNode(focused, focusedColumn_);
        return true;
    default: return false;
    }
}

void TBaseDataTree::WMKillFocus(TMessage& m) {
    TCustomControl::Dispatch(m);
    if (treeStates_ & tsCheckPressed) FinishCheckPress(0, 0, false);
    if (treeStates_ & tsEditPending) {
        KillTimer(Handle(), kEditTimer);
        treeStates_ &= ~tsEditPending;
        pendingEditNode_ = nullptr;
    }
    HideNodeHint();
    InvalidateAll();
}

// ---- Frame, size, timers -------------------------------------------------------------------

void TBaseDataTree::WMNCCalcSize(TMessage& m) {
    DefaultHandler(m);
    if (!Header().Showing() || !m.LParam) return;
    auto* r = reinterpret_cast<RECT*>(m.LParam);
    r->top = std::min(r->top + Header().Height(), r->bottom);
}

void TBaseDataTree::WMNCHitTest(TMessage& m) {
    DefaultHandler(m);
    if (!Header().Showing()) return;
    RECT header = HeaderRect();
    RECT window{};
    GetWindowRect(Handle(), window);
    OffsetRect(&header, window.left, window.top);
    if (PtInRect(&header, POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)})) m.Result = HTCLIENT;
}

void TBaseDataTree::WMNCPaint(TMessage& m) {
    DefaultHandler(m);
    PaintHeaderNow();
}

void TBaseDataTree::WMSetCursor(TMessage& m) {
    if (LOWORD(uintptr_t(m.LParam)) == HTCLIENT && Header().Showing() && Screen()) {
        POINT p;
        GetCursorPos(p);
        p = ScreenToClient(p);
        if (p.y < 0 || Header().Tracking()) {
            const TCursor cursor = Header().CursorAt(POINT{p.x, p.y + Header().Height()});
            if (cursor != crDefault) {
                ::ax::SetCursor(Screen()->Cursors(cursor));
                m.Result = 1;
                return;
            }
        }
    }
    TCustomControl::Dispatch(m);
}

void TBaseDataTree::WMSize(TMessage& m) {
    TCustomControl::Dispatch(m);
    UpdateScrollBars();
    ClampOffsets();
    InvalidateAll();
    if (IsEditing()) PlaceEditor();
    PaintHeaderNow();
}

void TBaseDataTree::WMTimer(TMessage& m) {
    switch (m.WParam) {
    case kEditTimer: {
        KillTimer(Handle(), kEditTimer);
        const bool pending = (treeStates_ & tsEditPending) != 0;
        treeStates_ &= ~tsEditPending;
        PDataNode node = std::exchange(pendingEditNode_, nullptr);
        if (pending && node && node == focusedNode_) EditNode(node, pendingEditColumn_);
        return;
    }
    case kHintTimer:
        KillTimer(Handle(), kHintTimer);
        ShowNodeHint();
        return;
    case kHintHideTimer: HideNodeHint(); return;
    }
    TCustomControl::Dispatch(m);
}

void TBaseDataTree::WMNCDestroy(TMessage& m) {
    if (dropTarget_) {
        RevokeDragDrop(Handle());
        dropTarget_.reset();
    }
    TCustomControl::Dispatch(m);
}

// ---- Hints ---------------------------------------------------------------------------------

void TBaseDataTree::DoGetHint(PDataNode node, TColumnIndex column, WideString& hint) {
    if (OnGetHint) OnGetHint(this, node, column, hint);
}

WideString TBaseDataTree::DoGetTooltipText(PDataNode, TColumnIndex) { return {}; }

void TBaseDataTree::SetHintMode(THintMode mode) {
    if (mode == hintMode_) return;
    HideNodeHint();
    hintMode_ = mode;
}

void TBaseDataTree::TrackHint(PDataNode node, TColumnIndex column) {
    if (hintMode_ == hmDefault || !HandleAllocated()) return;
    if (node == hintNode_ && column == hintColumn_) return;
    HideNodeHint();
    hintNode_ = node;
    hintColumn_ = column;
    if (node && ShowHint() && Application() && Application()->ShowHint())
        SetTimer(Handle(), kHintTimer, UINT(Application()->HintPause()));
}

void TBaseDataTree::ShowNodeHint() {
    PDataNode node = hintNode_;
    if (!node || !walk::IsShown(node, root_)) return;
    WideString text;
    if (hintMode_ == hmTooltip) {
        const RECT label = GetDisplayRect(node, hintColumn_, true);
        int left = 0, right = ClientWidthSafe();
        if (HasVisibleColumns() && hintColumn_ != NoColumn) {
            ColumnExtent(hintColumn_, left, right);
            left -= offsetX_;
            right -= offsetX_;
        }
        if (label.right > std::min(right, ClientWidthSafe()) || label.left < std::max(left, 0))
            text = DoGetTooltipText(node, hintColumn_);
    } else {
        DoGetHint(node, hintColumn_, text);
        if (text.empty() && hintMode_ == hmHintAndDefault) text = Utf8ToWide(Hint());
    }
    if (text.empty()) return;
    if (!hintWindow_) hintWindow_ = TComponent::Create<THintWindow>(this);
    if (Application()) hintWindow_->SetColor(Application()->HintColor());
    POINT cursor;
    GetCursorPos(cursor);
    const AnsiString utf8 = WideToUtf8(text);
    RECT r = hintWindow_->CalcHintRect(Screen() ? Screen()->Width() : 640, utf8);
    OffsetRect(&r, cursor.x, cursor.y + 20);
    hintWindow_->ActivateHint(r, utf8);
    if (Application() && Application()->HintHidePause() > 0)
        SetTimer(Handle(), kHintHideTimer, UINT(Application()->HintHidePause()));
}

void TBaseDataTree::HideNodeHint() {
    if (HandleAllocated()) {
        KillTimer(Handle(), kHintTimer);
        KillTimer(Handle(), kHintHideTimer);
    }
    if (hintWindow_ && hintWindow_->HandleAllocated()) hintWindow_->ReleaseHandle();
    hintNode_ = nullptr;
    hintColumn_ = NoColumn;
}

// ---- Drag start ----------------------------------------------------------------------------

bool TBaseDataTree::DoDragAllowed(PDataNode node, TColumnIndex column) {
    bool allowed = false;
    if (OnDragAllowed) OnDragAllowed(this, node, column, allowed);
    return allowed;
}

DWORD TBaseDataTree::DragEffects() { return dragOperations_; }

std::shared_ptr<IDataObject> TBaseDataTree::DoCreateDataObject() {
    std::shared_ptr<IDataObject> data;
    if (OnCreateDataObject) OnCreateDataObject(this, data);
    return data;
}

void TBaseDataTree::StartDrag() {
    treeStates_ &= ~tsLeftButtonDown;
    if (GetCapture() == Handle()) ReleaseCapture();
    treeStates_ |= tsOLEDragging;
    ScopeGuard done([this] { treeStates_ &= ~tsOLEDragging; });
    std::shared_ptr<IDataObject> data = DoCreateDataObject();
    if (!data) data = std::make_shared<TDTDataObject>(this, false);
    std::vector<std::string> captions;
    for (PDataNode n = GetFirstSelected(); n; n = GetNextSelected(n))
        captions.push_back(WideToUtf8(GetEditText(n, Header().MainColumn())));
    TDragImage image(Font(), captions, dragWidth_, dragHeight_);
    DropSource source(&image);
    DWORD effect = DROPEFFECT_NONE;
    ::ax::DoDragDrop(data.get(), &source, DragEffects(), &effect);
}

} // namespace ax
