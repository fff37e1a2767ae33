// The drop-down windows of the explorer combo box: the pop-up with its list,
// owner-drawn scroll bar and size grip, the explorer tree and the
// auto-complete list shown in it, and their published options.
#include "explorer/DropDownWnd.h"
#include "explorer/ExplorerComboBox.h"

#include "framework/forms.h"
#include "framework/streaming.h"
#include "rtl/exceptions.h"

#include <algorithm>
#include <utility>

namespace ax {

namespace {
bool comboBoxAnimation = true;

// A drop-down's highlighted row, painted as a focused list paints its
// selection (the list never has the focus).
void PaintHighlight(TCanvas& canvas, const RECT& r) {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clHighlight);
    canvas.FillRect(r);
    canvas.Brush().SetStyle(bsClear);
    canvas.Font().SetColor(clHighlightText);
}

int BarWidth() {
    return GetSystemMetrics(SM_CXVSCROLL);
}

POINT PointOf(LPARAM lParam) {
    return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

// A thumb drag on a drop-down's owner-drawn bar scrolls its list. The bar's
// own position is taken, all 32 bits of it: the message's 16-bit value
// would make a list taller than 65,535 pixels jump.
bool FollowThumb(TBaseDataTree& list, TDropDownWnd& dropDown, TMessage& m) {
    if (LOWORD(m.WParam) != SB_THUMBTRACK && LOWORD(m.WParam) != SB_THUMBPOSITION) return false;
    list.SetOffsetY(dropDown.ScrollBar().Position());
    dropDown.SyncScrollBar();
    m.Result = 0;
    return true;
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
    syncing_ = false;
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

// ---- TPopupExplorerTree ------------------------------------------------------------------------

TPopupExplorerTree::TPopupExplorerTree(TComponent* owner, TDropDownWnd& dropDown)
    : TCustomExplorerTree(owner), dropDown_(dropDown) {
    tabStop_ = false;
    SetDefaultNodeHeight(17);
    SetIndent(10);
    TExplorerTreeOptions& o = TreeOptions();
    o.SetMiscOptions(o.MiscOptions() & ~(toEditable | toToggleOnDblClick | toAcceptOLEDrop));
    o.SetPaintOptions(o.PaintOptions() & ~toShowDropmark);
    // toBrowseExecuteFolder stays: without it the explorer tree opens
    // folders only by their buttons, and browsing must open the way.
    o.SetExpMiscOptions(o.ExpMiscOptions() & ~(toBrowseExecuteFolderShortcut | toExecuteOnDblClk |
                                               toChangeNotifierThread));
    o.SetExpShellOptions(0);
    SetFileObjects(foFolders);
}

void TPopupExplorerTree::CreateParams(TCreateParams& p) {
    TCustomExplorerTree::CreateParams(p);
    p.ExStyle &= ~WS_EX_CLIENTEDGE; // the drop-down draws the border
    p.Style &= ~WS_TABSTOP;
}

void TPopupExplorerTree::DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r) {
    if (Selected(node)) PaintHighlight(canvas, r);
    TCustomExplorerTree::DoPaintNode(canvas, node, column, r);
}

void TPopupExplorerTree::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_MOUSEACTIVATE: m.Result = MA_NOACTIVATE; return;
    case WM_VSCROLL:
        if (FollowThumb(*this, dropDown_, m)) return;
        break;
    case WM_MOUSEMOVE: {
        TCustomExplorerTree::Dispatch(m);
        THitInfo hit;
        GetHitTestInfoAt(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam), true, hit);
        if (hit.HitNode && (hit.HitPositions & hiOnItem) && !(hit.HitPositions & hiOnItemButton))
            Highlight(hit.HitNode);
        return;
    }
    }
    TCustomExplorerTree::Dispatch(m);
    if (HandleAllocated()) dropDown_.SyncScrollBar();
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
    const POINT p = PointOf(m.LParam);
    THitInfo hit;
    GetHitTestInfoAt(p.x, p.y, true, hit);
    if (!hit.HitNode) return;
    if (hit.HitPositions & hiOnItemButton) {
        ToggleNode(hit.HitNode);
        return;
    }
    if (hit.HitPositions & hiOnItem) {
        Highlight(hit.HitNode);
        static_cast<TPopupExplorerDropDown&>(dropDown_).ChooseFocused();
    }
}

void TPopupExplorerTree::WMLButtonDblClk(TMessage& m) {
    WMLButtonDown(m);
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

// ---- TPopupExplorerDropDown --------------------------------------------------------------------

TPopupExplorerDropDown::TPopupExplorerDropDown(TComponent* owner, TCustomExplorerCombobox* combo)
    : TDropDownWnd(owner, combo) {
    tree_ = TComponent::Create<TPopupExplorerTree>(this, *this);
    SetList(tree_);
}

void TPopupExplorerDropDown::SetOptions(TPopupOptions value) {
    TDropDownWnd::SetOptions(value);
    TExplorerTreeOptions& o = tree_->TreeOptions();
    o.SetPaintOptions((value & poThemeAware) ? o.PaintOptions() | toThemeAware : o.PaintOptions() & ~toThemeAware);
    ScrollBar().SetOptions((value & poThemeAware) ? TScrollBarOptions(soThemeAware) : TScrollBarOptions(0));
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

// ---- TPopupAutoCompleteTree --------------------------------------------------------------------

TPopupAutoCompleteTree::TPopupAutoCompleteTree(TComponent* owner, TDropDownWnd& dropDown)
    : TCustomDataStringTree(owner), dropDown_(dropDown) {
    tabStop_ = false;
    SetDefaultNodeHeight(17);
    SetIndent(0);
    TStringTreeOptions& o = TreeOptions();
    o.SetMiscOptions(o.MiscOptions() & ~(toEditable | toToggleOnDblClick | toAcceptOLEDrop));
    o.SetPaintOptions(o.PaintOptions() & ~(toShowButtons | toShowRoot | toShowTreeLines | toShowDropmark));
}

void TPopupAutoCompleteTree::CreateParams(TCreateParams& p) {
    TCustomDataStringTree::CreateParams(p);
    p.ExStyle &= ~WS_EX_CLIENTEDGE;
    p.Style &= ~WS_TABSTOP;
}

void TPopupAutoCompleteTree::DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r) {
    if (Selected(node)) PaintHighlight(canvas, r);
    TCustomDataStringTree::DoPaintNode(canvas, node, column, r);
}

void TPopupAutoCompleteTree::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_MOUSEACTIVATE: m.Result = MA_NOACTIVATE; return;
    case WM_VSCROLL:
        if (FollowThumb(*this, dropDown_, m)) return;
        break;
    case WM_MOUSEMOVE: {
        TCustomDataStringTree::Dispatch(m);
        if (PDataNode node = GetNodeAt(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)))
            SetHighlightIndex(int(node->Index));
        return;
    }
    }
    TCustomDataStringTree::Dispatch(m);
    if (HandleAllocated()) dropDown_.SyncScrollBar();
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
    const POINT p = PointOf(m.LParam);
    if (PDataNode node = GetNodeAt(p.x, p.y)) {
        SetHighlightIndex(int(node->Index));
        static_cast<TPopupAutoCompleteDropDown&>(dropDown_).ChooseHighlighted();
    }
}

void TPopupAutoCompleteTree::WMLButtonDblClk(TMessage& m) {
    WMLButtonDown(m);
}

// ---- TPopupAutoCompleteDropDown ----------------------------------------------------------------

TPopupAutoCompleteDropDown::TPopupAutoCompleteDropDown(TComponent* owner, TCustomExplorerCombobox* combo)
    : TDropDownWnd(owner, combo) {
    tree_ = TComponent::Create<TPopupAutoCompleteTree>(this, *this);
    autoComplete_ = TComponent::Create<TShellAutoComplete>(this);
    SetList(tree_);
}

void TPopupAutoCompleteDropDown::SetOptions(TPopupOptions value) {
    TDropDownWnd::SetOptions(value);
    TStringTreeOptions& o = tree_->TreeOptions();
    o.SetPaintOptions((value & poThemeAware) ? o.PaintOptions() | toThemeAware : o.PaintOptions() & ~toThemeAware);
    ScrollBar().SetOptions((value & poThemeAware) ? TScrollBarOptions(soThemeAware) : TScrollBarOptions(0));
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

// ---- Options -----------------------------------------------------------------------------------

namespace {
const std::vector<const char*> kPopupOptionNames = {"poAnimated", "poEnabled", "poPersistentSizing",
                                                     "poSizeable", "poRespectSysAnimationFlag", "poThemeAware"};

// The properties both option classes share.
template <class Options> void DefineCommon(TFiler& f, Options& o) {
    f.Integer("AnimationSpeed", [&o] { return o.AnimationSpeed(); },
              [&o](int64_t v) { o.SetAnimationSpeed(int(v)); }, 200);
    f.Integer("AutoScrollTimeFast", [&o] { return o.AutoScrollTimeFast(); },
              [&o](int64_t v) { o.SetAutoScrollTimeFast(int(v)); }, 10);
    f.Integer("AutoScrollTimeSlow", [&o] { return o.AutoScrollTimeSlow(); },
              [&o](int64_t v) { o.SetAutoScrollTimeSlow(int(v)); }, 200);
    f.DefineObject("Background", &o.Background());
    f.Integer("BackgroundOffsetX", [&o] { return o.BackgroundOffsetX(); },
              [&o](int64_t v) { o.SetBackgroundOffsetX(int(v)); }, 0);
    f.Integer("BackgroundOffsetY", [&o] { return o.BackgroundOffsetY(); },
              [&o](int64_t v) { o.SetBackgroundOffsetY(int(v)); }, 0);
    DefineColorProperty(f, "Color", [&o] { return o.Color(); }, [&o](TColor c) { o.SetColor(c); }, clWindow);
    f.Integer("DefaultNodeHeight", [&o] { return o.DefaultNodeHeight(); },
              [&o](int64_t v) { o.SetDefaultNodeHeight(int(v)); }, 17);
    f.Integer("DropDownCount", [&o] { return o.DropDownCount(); },
              [&o](int64_t v) { o.SetDropDownCount(int(v)); }, 8);
}
} // namespace

TBitmap& TPopupExplorerOptions::Background() const {
    if (!background_) background_ = std::make_unique<TBitmap>();
    return *background_;
}

void TPopupExplorerOptions::DefinePublished(TFiler& f) {
    TPersistent::DefinePublished(f);
    DefineCommon(f, *this);
    f.Enum("ComboBoxStyle", {"cbsClassic", "cbsExpEnhanced"}, [this] { return int(comboBoxStyle_); },
           [this](int v) { comboBoxStyle_ = TExplorerComboBoxStyle(v); }, int(cbsClassic));
    f.Integer("Indent", [this] { return Indent(); }, [this](int64_t v) { SetIndent(int(v)); }, 10);
    f.Set("Options", kPopupOptionNames, [this] { return Options(); }, [this](unsigned v) { SetOptions(v); },
          DefaultPopupOptions);
}

TBitmap& TPopupAutoCompleteOptions::Background() const {
    if (!background_) background_ = std::make_unique<TBitmap>();
    return *background_;
}

void TPopupAutoCompleteOptions::DefinePublished(TFiler& f) {
    TPersistent::DefinePublished(f);
    DefineCommon(f, *this);
    f.Integer("Indent", [this] { return Indent(); }, [this](int64_t v) { SetIndent(int(v)); }, 0);
    f.Set("Options", kPopupOptionNames, [this] { return Options(); }, [this](unsigned v) { SetOptions(v); },
          DefaultPopupOptions);
    f.Set("Contents",
          {"accCurrentDir", "accMyComputer", "accDesktop", "accFavorites", "accFileSysOnly", "accFileSysDirs",
           "accFileSysFiles", "accHidden", "accRecursive", "accSortList"},
          [this] { return Contents(); }, [this](unsigned v) { SetContents(v); }, DefaultAutoCompleteContents);
}

} // namespace ax
