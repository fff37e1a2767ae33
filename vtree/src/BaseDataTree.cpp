// The tree as a component: properties, window creation, the header's
// events and the description properties.
#include "DTEdit.h"
#include "NodeWalk.h"
#include "PositionCache.h"
#include "framework/streaming.h"
#include "vtree/BaseDataTree.h"

namespace ax {

// ---- Properties ----------------------------------------------------------------------------

void TBaseDataTree::SetIndent(int value) {
    value = std::max(value, 0);
    if (value == indent_) return;
    indent_ = value;
    InvalidateAll();
}

void TBaseDataTree::SetMargin(int value) {
    value = std::max(value, 0);
    if (value == margin_) return;
    margin_ = value;
    InvalidateAll();
}

void TBaseDataTree::SetTextMargin(int value) {
    value = std::max(value, 0);
    if (value == textMargin_) return;
    textMargin_ = value;
    InvalidateAll();
}

void TBaseDataTree::SetImages(TImageList* images) {
    if (images == images_) return;
    if (images_) images_->RemoveFreeNotification(this);
    images_ = images;
    if (images_) images_->FreeNotification(this);
    InvalidateAll();
}

void TBaseDataTree::SetStateImages(TImageList* images) {
    if (images == stateImages_) return;
    if (stateImages_) stateImages_->RemoveFreeNotification(this);
    stateImages_ = images;
    if (stateImages_) stateImages_->FreeNotification(this);
    InvalidateAll();
}

void TBaseDataTree::Notification(TComponent* component, TOperation operation) {
    TCustomControl::Notification(component, operation);
    if (operation != opRemove) return;
    if (component == images_) SetImages(nullptr);
    if (component == stateImages_) SetStateImages(nullptr);
    if (component == editor_) editor_ = nullptr;
    if (component == hintWindow_) hintWindow_ = nullptr;
}

void TBaseDataTree::OptionsChanged(TAutoOptions oldAuto, TMiscOptions oldMisc, TPaintOptions oldPaint,
                                   TSelectionOptions oldSelection) {
    const TCustomDataTreeOptions& o = TreeOptions();
    if ((oldMisc ^ o.MiscOptions()) & toAcceptOLEDrop) RegisterDropTarget(HasMisc(toAcceptOLEDrop));
    if ((oldSelection & toMultiSelect) && !HasSelection(toMultiSelect) && selectedCount_ > 1) {
        // Single selection keeps the first selected node.
        PDataNode keep = GetFirstSelected();
        ClearSelectionInternal(false);
        SetSelected(keep, true);
    }
    if (((oldAuto ^ o.AutoOptions()) & toAutoHideButtons) || ((oldPaint ^ o.PaintOptions()) & toShowRoot))
        maxNodeWidth_ = 0;
    if ((oldAuto ^ o.AutoOptions()) & toAutoSort) SortSettingsChanged();
    InvalidateAll();
}

// ---- Window --------------------------------------------------------------------------------

void TBaseDataTree::CreateParams(TCreateParams& params) {
    TCustomControl::CreateParams(params);
    params.Style |= WS_TABSTOP | WS_CLIPCHILDREN;
    params.ExStyle |= WS_EX_CLIENTEDGE;
    params.Background = -1; // every pixel is painted
}

void TBaseDataTree::CreateWnd() {
    TCustomControl::CreateWnd();
    barsSet_ = false;
    if (HasMisc(toAcceptOLEDrop)) RegisterDropTarget(true);
    // The frame holds the header: recompute it with the header's height.
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    UpdateScrollBars();
}

void TBaseDataTree::DestroyWnd() {
    if (IsEditing()) EndEditNode();
    HideNodeHint();
    DetachDropTarget();
    TCustomControl::DestroyWnd();
}

void TBaseDataTree::Loaded() {
    TCustomControl::Loaded();
    UpdateScrollBars();
    InvalidateAll();
}

// ---- Header --------------------------------------------------------------------------------

void TBaseDataTree::HeaderChanged(bool layout) {
    if (layout && HandleAllocated())
        SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    UpdateScrollBars();
    ClampOffsets();
    InvalidateAll();
    PaintHeaderNow();
}

void TBaseDataTree::ColumnResized(TColumnIndex column) {
    UpdateScrollBars();
    ClampOffsets();
    InvalidateAll();
    PaintHeaderNow();
    if (IsEditing()) PlaceEditor();
    DoColumnResize(column);
}

void TBaseDataTree::HeaderClicked(TColumnIndex column, TMouseButton button, TShiftState shift, POINT p) {
    DoHeaderClick(column, button, shift, p.x, p.y);
}

void TBaseDataTree::HeaderMouseUp(TMouseButton button, TShiftState shift, POINT p) {
    DoHeaderMouseUp(button, shift, p.x, p.y);
}

void TBaseDataTree::HeaderDragged(TColumnIndex column, TColumnPosition oldPosition) {
    DoHeaderDragged(column, oldPosition);
}

void TBaseDataTree::DoColumnResize(TColumnIndex column) {
    if (OnColumnResize) OnColumnResize(&Header(), column);
}

void TBaseDataTree::DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y) {
    if (OnHeaderClick) OnHeaderClick(&Header(), column, button, shift, x, y);
}

void TBaseDataTree::DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnHeaderMouseUp) OnHeaderMouseUp(&Header(), button, shift, x, y);
}

void TBaseDataTree::DoHeaderDragged(TColumnIndex column, TColumnPosition oldPosition) {
    if (OnHeaderDragged) OnHeaderDragged(&Header(), column, oldPosition);
}

// ---- What descendants draw -----------------------------------------------------------------

void TBaseDataTree::DoGetImageIndex(PDataNode node, TDTImageKind kind, TColumnIndex column, bool& ghosted,
                                    int& index) {
    if (OnGetImageIndex) OnGetImageIndex(this, node, kind, column, ghosted, index);
}

int TBaseDataTree::DoGetNodeWidth(PDataNode, TColumnIndex) { return 0; }

void TBaseDataTree::DoPaintNode(TCanvas&, PDataNode, TColumnIndex, const RECT&) {}

// ---- Component -----------------------------------------------------------------------------

void TBaseDataTree::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TBaseDataTree*>(source);
    if (!other) {
        TCustomControl::Assign(source);
        return;
    }
    TreeOptions().Assign(&other->TreeOptions());
    Header().Assign(&other->Header());
    SetDefaultNodeHeight(other->defaultNodeHeight_);
    SetIndent(other->indent_);
    SetMargin(other->margin_);
    SetTextMargin(other->textMargin_);
    SetImages(other->images_);
    SetStateImages(other->stateImages_);
    dragHeight_ = other->dragHeight_;
    dragWidth_ = other->dragWidth_;
    SetHintMode(other->hintMode_);
    dragOperations_ = other->dragOperations_;
    clipboardFormats_.Assign(other->clipboardFormats_);
    editDelay_ = other->editDelay_;
    autoExpandDelay_ = other->autoExpandDelay_;
}

void TBaseDataTree::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.Integer("DefaultNodeHeight", [this] { return defaultNodeHeight_; },
              [this](int64_t v) { SetDefaultNodeHeight(int(v)); }, 18);
    f.Integer("Indent", [this] { return indent_; }, [this](int64_t v) { SetIndent(int(v)); }, 18);
    f.Integer("Margin", [this] { return margin_; }, [this](int64_t v) { SetMargin(int(v)); }, 4);
    f.Integer("TextMargin", [this] { return textMargin_; }, [this](int64_t v) { SetTextMargin(int(v)); }, 4);
    f.Integer("NodeDataSize", [this] { return nodeDataSize_; }, [this](int64_t v) { SetNodeDataSize(int(v)); }, 0);
    f.Integer("RootNodeCount", [this] { return RootNodeCount(); },
              [this](int64_t v) { SetRootNodeCount(uint32_t(std::clamp<int64_t>(v, 0, UINT32_MAX))); }, 0);
    f.Integer("DragHeight", [this] { return dragHeight_; }, [this](int64_t v) { dragHeight_ = int(v); }, 350);
    f.Integer("DragWidth", [this] { return dragWidth_; }, [this](int64_t v) { dragWidth_ = int(v); }, 200);
    f.Enum("HintMode", {"hmDefault", "hmHint", "hmHintAndDefault", "hmTooltip"}, [this] { return int(hintMode_); },
           [this](int v) { SetHintMode(THintMode(v)); }, int(hmDefault));
    f.Set("DragOperations", {"doCopy", "doMove", "doLink"}, [this] { return unsigned(dragOperations_ & 7); },
          [this](unsigned v) { dragOperations_ = v & 7; }, unsigned(DROPEFFECT_COPY | DROPEFFECT_MOVE));
    f.ComponentRef("Images", [this]() -> TComponent* { return images_; },
                   [this](TComponent* c) { SetImages(dynamic_cast<TImageList*>(c)); });
    f.ComponentRef("StateImages", [this]() -> TComponent* { return stateImages_; },
                   [this](TComponent* c) { SetStateImages(dynamic_cast<TImageList*>(c)); });
    f.DefineObject("Header", &Header());
    f.DefineObject("TreeOptions", &TreeOptions());
}

void TBaseDataTree::DefineProperties(TFiler& f) {
    TCustomControl::DefineProperties(f);
    f.Strings("ClipboardFormats", clipboardFormats_.Names());
}

} // namespace ax
