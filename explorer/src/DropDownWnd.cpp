// The pop-up window of the explorer combo box's drop-downs (placing, rolling
// down and up, the slide-open animation, the layout of list, bar and grip)
// and its size grip.
#include "explorer/DropDownWnd.h"

#include "explorer/ExplorerComboBox.h"

#include "framework/forms.h"
#include "framework/streaming.h"
#include "rtl/exceptions.h"
#include "rtl/scopeguard.h"

#include <algorithm>
#include <utility>

namespace ax {

namespace {
bool comboBoxAnimation = true;

int BarWidth() {
    return GetSystemMetrics(SM_CXVSCROLL);
}
} // namespace

bool ComboBoxAnimation() {
    return comboBoxAnimation;
}
void SetComboBoxAnimation(bool on) {
    comboBoxAnimation = on;
}

// ---- TSizeGrabber ------------------------------------------------------------------------------

TSizeGrabber::TSizeGrabber(TComponent* owner, TDropDownWnd& dropDown) : TCustomControl(owner), dropDown_(dropDown) {
    SetBounds(0, 0, BarWidth(), BarWidth());
    tabStop_ = false;
    SetCursor(crSizeNWSE);
}

void TSizeGrabber::Dispatch(TMessage& m) {
    if (m.Msg == WM_MOUSEACTIVATE) {
        m.Result = MA_NOACTIVATE;
        return;
    }
    TCustomControl::Dispatch(m);
}

void TSizeGrabber::Paint() {
    RECT r = ClientRect();
    Canvas().Brush().SetColor(clBtnFace);
    Canvas().FillRect(r);
    DrawFrameControl(Canvas().Handle(), &r, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
}

void TSizeGrabber::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseDown(button, shift, x, y);
    if (button != mbLeft) return;
    dragging_ = true;
    start_ = ClientToScreen(POINT{x, y});
    startSize_ = {dropDown_.Width(), dropDown_.Height()};
    SetMouseCapture(true);
}

void TSizeGrabber::MouseMove(TShiftState shift, int x, int y) {
    TCustomControl::MouseMove(shift, x, y);
    if (!dragging_) return;
    const POINT p = ClientToScreen(POINT{x, y});
    // Never smaller than the bar's two arrows and the grip.
    const int minimum = 4 * BarWidth();
    const int width = std::max(minimum, int(startSize_.cx + p.x - start_.x));
    const int height = std::max(minimum, int(startSize_.cy + p.y - start_.y));
    dropDown_.SetBounds(dropDown_.Left(), dropDown_.Top(), width, height);
    dropDown_.SetUserSize({width, height});
}

void TSizeGrabber::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseUp(button, shift, x, y);
    if (button != mbLeft || !dragging_) return;
    dragging_ = false;
    SetMouseCapture(false);
}

// ---- TDropDownWnd ------------------------------------------------------------------------------

TDropDownWnd::TDropDownWnd(TComponent* owner, TCustomExplorerCombobox* combo)
    : TCustomControl(owner), combo_(combo) {
    visible_ = false;
    tabStop_ = false;
    color_ = clWindow;
    panel_ = TComponent::Create<TPanel>(this);
    panel_->SetBevelOuter(bvNone);
    panel_->SetParent(this);
    scrollBar_ = TComponent::Create<TOwnerDrawScrollbar>(this);
    scrollBar_->SetParent(this);
    grabber_ = TComponent::Create<TSizeGrabber>(this, *this);
    grabber_->SetVisible(false);
    grabber_->SetParent(this);
    SetBounds(0, 0, 200, 100);
}

TDropDownWnd::~TDropDownWnd() {
    // The list goes first and is no longer kept in step while it goes.
    list_ = nullptr;
    DestroyComponents();
}

void TDropDownWnd::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style = WS_POPUP | WS_BORDER | WS_CLIPCHILDREN;
    // Never activated: the window manager must leave the focus in the edit line.
    p.ExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
    p.WndParent = nullptr;
    p.WindowClassStyle |= CS_SAVEBITS;
}

void TDropDownWnd::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_MOUSEACTIVATE: m.Result = MA_NOACTIVATE; return;
    case WM_TIMER:
        if (m.WParam == AnimationTimer) {
            AnimationTick();
            return;
        }
        break;
    }
    TCustomControl::Dispatch(m);
}

void TDropDownWnd::SetDropDownCount(int rows) {
    dropDownCount_ = std::max(1, rows);
}

void TDropDownWnd::SetOptions(TPopupOptions value) {
    options_ = value;
    grabber_->SetVisible((value & poSizeable) != 0);
    if (!(value & poPersistentSizing)) userSize_ = {};
    ArrangeChildren();
    if (!list_) return;
    TCustomDataTreeOptions& o = list_->TreeOptions();
    o.SetPaintOptions((value & poThemeAware) ? o.PaintOptions() | toThemeAware : o.PaintOptions() & ~toThemeAware);
    ScrollBar().SetOptions((value & poThemeAware) ? TScrollBarOptions(soThemeAware) : TScrollBarOptions(0));
}

void TDropDownWnd::Resize() {
    TCustomControl::Resize();
    ArrangeChildren();
}

void TDropDownWnd::SetList(TBaseDataTree* list) {
    list_ = list;
    list_->SetParent(panel_);
    scrollBar_->SetLinkedControl(list_);
    ArrangeChildren();
}

void TDropDownWnd::ArrangeChildren() {
    if (!list_) return;
    const int bar = BarWidth();
    const RECT client = ClientRect();
    const int width = std::max(0, int(client.width()) - bar);
    const int height = client.height();
    panel_->SetBounds(0, 0, width, height);
    // The list is one bar wider than its panel: its own bar, when it shows
    // one, lies outside the panel and is never seen.
    List().SetBounds(0, 0, width + bar, height);
    const bool grip = (options_ & poSizeable) != 0;
    scrollBar_->SetBounds(width, 0, bar, std::max(0, height - (grip ? bar : 0)));
    grabber_->SetBounds(width, std::max(0, height - bar), bar, bar);
    SyncScrollBar();
}

void TDropDownWnd::SyncScrollBar() {
    if (syncing_ || !list_) return;
    syncing_ = true;
    const ScopeGuard synced([this] { syncing_ = false; });
    TBaseDataTree& list = List();
    // Pixels throughout: the bar's page is the list's client height. The bar
    // keeps Max above Min and the page within the range, so an empty list
    // gives a bar with nothing to scroll.
    const int range = std::max(list.RangeY(), 1);
    ScrollBar().SetMin(0);
    ScrollBar().SetMax(range);
    ScrollBar().SetPageSize(std::max(list.ClientHeight(), 1));
    ScrollBar().SetSmallChange(list.DefaultNodeHeight());
    ScrollBar().SetLargeChange(std::max(list.ClientHeight(), 1));
    ScrollBar().SetPosition(list.OffsetY());
}

int TDropDownWnd::ContentRows() {
    return DropDownCount();
}

RECT TDropDownWnd::PlacementRect(bool& upward) {
    RECT combo{};
    GetWindowRect(combo_->Handle(), combo);
    const int border = 2; // WS_BORDER: one pixel each side
    int width = combo.width();
    const int rows = std::clamp(ContentRows(), 1, DropDownCount());
    int height = rows * List().DefaultNodeHeight() + border;
    if ((options_ & poPersistentSizing) && userSize_.cx > 0) {
        width = userSize_.cx;
        height = userSize_.cy;
    }
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int left = std::clamp(int(combo.left), 0, std::max(0, screenWidth - width));
    upward = combo.bottom + height > screenHeight && combo.top - height >= 0;
    const int top = upward ? combo.top - height : combo.bottom;
    return {left, top, left + width, top + height};
}

bool TDropDownWnd::RollDown() {
    if (droppedDown_) return true;
    if (!(options_ & poEnabled) || !combo_->HandleAllocated()) return false;
    bool allow = true;
    if (OnRollDown) OnRollDown(this, allow);
    if (!allow) return false;
    HandleNeeded();
    bool upward = false;
    const RECT target = PlacementRect(upward);
    bool animate = (options_ & poAnimated) && animationSpeed_ > 0;
    if (animate && (options_ & poRespectSysAnimationFlag)) animate = ComboBoxAnimation();
    droppedDown_ = true;
    visible_ = true;
    RECT first = target;
    if (animate) {
        // Slides open in equal steps over AnimationSpeed ms, on the clock.
        animationTarget_ = target;
        animationUpward_ = upward;
        animationStep_ = 1;
        const int height = std::max(1, int(target.height()) / AnimationSteps);
        first = upward ? RECT{target.left, target.bottom - height, target.right, target.bottom}
                       : RECT{target.left, target.top, target.right, target.top + height};
        SetTimer(Handle(), AnimationTimer, UINT(std::max(1, animationSpeed_ / AnimationSteps)));
    }
    SetBounds(first.left, first.top, first.width(), first.height());
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    UpdateShowing();
    ArrangeChildren();
    Invalidate();
    return true;
}

bool TDropDownWnd::ShouldBeShowing() const {
    return droppedDown_;
}

void TDropDownWnd::AnimationTick() {
    if (animationStep_ == 0) {
        KillTimer(Handle(), AnimationTimer);
        return;
    }
    ++animationStep_;
    const RECT t = animationTarget_;
    const int height = animationStep_ >= AnimationSteps ? t.height() : t.height() * animationStep_ / AnimationSteps;
    if (animationStep_ >= AnimationSteps) {
        animationStep_ = 0;
        KillTimer(Handle(), AnimationTimer);
    }
    SetBounds(t.left, animationUpward_ ? t.bottom - height : t.top, t.width(), height);
    UpdateWindow(Handle());
}

void TDropDownWnd::RollUp(bool selected) {
    if (!droppedDown_) return;
    droppedDown_ = false;
    if (animationStep_) {
        animationStep_ = 0;
        KillTimer(Handle(), AnimationTimer);
    }
    HWND capture = GetCapture();
    if (capture && (capture == Handle() || IsChild(Handle(), capture))) ReleaseCapture();
    visible_ = false;
    UpdateShowing();
    if (combo_) combo_->Invalidate();
    if (OnRollUp) OnRollUp(this, selected);
}

} // namespace ax
