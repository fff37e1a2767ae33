#pragma once
// The owner-data tree. The tree keeps the structure of its nodes (a record
// per node with the user's data area behind it) and asks its owner for
// everything else through virtual dispatchers, each raising the published
// event of the same stem. Nodes are created uninitialised and initialised
// when first needed (painting, walking, expanding); children are created
// when a node is expanded or its first child is asked for.
//
// Threads: a tree is used from the GUI thread only.
#include <functional>
#include <memory>
#include <vector>

#include "framework/controls.h"
#include "framework/forms.h"
#include "framework/menus.h"
#include "platform/ole/ole.h"
#include "rtl/streams.h"
#include "vtree/ClipboardFormats.h"
#include "vtree/DTHeader.h"
#include "vtree/DataTreeOptions.h"
#include "vtree/DataTreeTypes.h"
#include "vtree/ThemeServices.h"

namespace ax {

class TBaseDataTree;
class TDTEdit;
class TNodePool;
class TPositionCache;

using TDTInitNodeEvent = std::function<void(TBaseDataTree* Sender, PDataNode ParentNode, PDataNode Node,
                                            TDataNodeInitStates& InitialStates)>;
using TDTInitChildrenEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, uint32_t& ChildCount)>;
using TDTFreeNodeEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node)>;
using TDTChangeEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node)>;
using TDTChangingEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, bool& Allowed)>;
using TDTCheckChangingEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TCheckState& NewState, bool& Allowed)>;
using TDTCompareEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node1, PDataNode Node2,
                                           TColumnIndex Column, int& Result)>;
using TDTEditChangingEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, bool& Allowed)>;
using TDTEditChangeEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column)>;
using TDTHeaderNotifyEvent = std::function<void(TDTHeader* Sender, TColumnIndex Column)>;
using TDTHeaderClickEvent = std::function<void(TDTHeader* Sender, TColumnIndex Column, TMouseButton Button,
                                               TShiftState Shift, int X, int Y)>;
using TDTHeaderMouseEvent =
    std::function<void(TDTHeader* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TDTHeaderDraggedEvent =
    std::function<void(TDTHeader* Sender, TColumnIndex Column, TColumnPosition OldPosition)>;
using TDTGetImageEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TDTImageKind Kind,
                                            TColumnIndex Column, bool& Ghosted, int& ImageIndex)>;
using TDTGetHintEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, WideString& HintText)>;
using TDTPopupEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, POINT P,
                                         bool& AskParent, TPopupMenu*& PopupMenu)>;
using TDTKeyActionEvent =
    std::function<void(TBaseDataTree* Sender, WORD& CharCode, TShiftState& Shift, bool& DoDefault)>;
using TDTUpdatingEvent = std::function<void(TBaseDataTree* Sender, TDTUpdateState State)>;
using TDTCreateDataObjectEvent =
    std::function<void(TBaseDataTree* Sender, std::shared_ptr<IDataObject>& DataObject)>;
using TDTFocusChangingEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode OldNode, PDataNode NewNode, TColumnIndex OldColumn,
                       TColumnIndex NewColumn, bool& Allowed)>;
using TDTFocusChangeEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column)>;
using TDTDragAllowedEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, bool& Allowed)>;
using TDTDragOverEvent =
    std::function<void(TBaseDataTree* Sender, TBaseDataTree* Source, TShiftState Shift, TDragState State,
                       POINT Pt, TDropMode Mode, DWORD& Effect, bool& Accept)>;
using TDTDragDropEvent = std::function<void(TBaseDataTree* Sender, TBaseDataTree* Source, IDataObject* DataObject,
                                            const std::vector<FORMATETC>& Formats, TShiftState Shift, POINT Pt,
                                            DWORD& Effect, TDropMode Mode)>;
using TDTSaveNodeEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TStream& Stream)>;

class TBaseDataTree : public TCustomControl {
public:
    explicit TBaseDataTree(TComponent* owner);
    ~TBaseDataTree() override;
    AnsiString ClassName() const override { return "TBaseDataTree"; }

    // ---- Nodes and structure ------------------------------------------------------------
    // The hidden root: its children are the top-level nodes.
    PDataNode RootNode() const { return root_; }
    uint32_t RootNodeCount() const;
    // Makes that many top-level nodes (new ones uninitialised; surplus ones deleted).
    void SetRootNodeCount(uint32_t count);
    // Number of nodes, the root not counted.
    uint64_t TotalCount() const { return nodeCount_; }
    int NodeDataSize() const { return nodeDataSize_; }
    // Changing the size is allowed while the tree holds no node.
    virtual void SetNodeDataSize(int size);
    // Reserves size bytes (rounded up to 8) in every node ahead of the user
    // data; answers the area's offset from the node's start. Allowed only
    // while the tree holds no node.
    int AllocateInternalDataArea(int size);
    // The user's data area of a node; nullptr without a node or data area.
    void* GetNodeData(PDataNode node) const;
    template <class T> T* GetNodeData(PDataNode node) const { return static_cast<T*>(GetNodeData(node)); }

    // Appends an uninitialised last child (to the root without a parent).
    // Given user data is stored as the first pointer of the data area.
    PDataNode AddChild(PDataNode parent, void* userData = nullptr);
    // Makes room for count more nodes, their memory touched now, so that
    // making them later is not held up by it (a caller with a big folder
    // read in pieces makes room a piece at a time).
    void ReserveNodes(size_t count);
    uint32_t ChildCount(PDataNode node) const;
    // Makes the node have count children (new ones uninitialised).
    void SetChildCount(PDataNode node, uint32_t count);
    void InitNode(PDataNode node);
    // Initialises the node again (and, recursively, the existing children).
    void ReinitNode(PDataNode node, bool recursive);
    // Creates the children through the child-initialisation dispatcher and
    // initialises each existing child again.
    void ReinitChildren(PDataNode node, bool recursive);
    // Deletes a node and its subtree (DoFreeNode for each, children first).
    // Without reindex the siblings keep their indexes. Raises
    // EDataTreeError while the tree iterates.
    void DeleteNode(PDataNode node, bool reindex = true);
    void DeleteChildren(PDataNode node, bool resetHasChildren = false);
    virtual void Clear();

    bool HasChildren(PDataNode node) const;
    // Clearing deletes existing children; ignored under toReadOnly.
    void SetHasChildren(PDataNode node, bool value);
    bool Expanded(PDataNode node) const;
    void SetExpanded(PDataNode node, bool value);
    void ToggleNode(PDataNode node);
    void FullExpand(PDataNode node = nullptr);
    void FullCollapse(PDataNode node = nullptr);
    bool HasAsParent(PDataNode node, PDataNode potentialParent) const;
    void DetermineHiddenChildrenFlag(PDataNode node);
    bool IsVisible(PDataNode node) const;
    void SetVisible(PDataNode node, bool value);
    using TCustomControl::SetVisible; // the control's own, not hidden by the node's
    // Shown: visible itself and every ancestor visible and expanded.
    bool FullyVisible(PDataNode node) const;
    bool IsDisabled(PDataNode node) const;
    void SetDisabled(PDataNode node, bool value);
    int NodeHeight(PDataNode node) const;
    void SetNodeHeight(PDataNode node, int height);
    int DefaultNodeHeight() const { return defaultNodeHeight_; }
    void SetDefaultNodeHeight(int height);
    // Top-level nodes have level 0.
    unsigned GetNodeLevel(PDataNode node) const;

    // ---- Walks (each initialises what it returns) ---------------------------------------
    PDataNode GetFirst();
    PDataNode GetFirstChild(PDataNode node);
    PDataNode GetLastChild(PDataNode node);
    PDataNode GetNextSibling(PDataNode node);
    PDataNode GetPreviousSibling(PDataNode node);
    // Tree order, creating children on the way.
    PDataNode GetNext(PDataNode node);
    PDataNode GetPrevious(PDataNode node);
    // Shown nodes in display order.
    PDataNode GetFirstVisible();
    PDataNode GetNextVisible(PDataNode node);
    PDataNode GetPreviousVisible(PDataNode node);
    PDataNode GetLastVisible();
    // Selected nodes in tree order.
    PDataNode GetFirstSelected();
    PDataNode GetNextSelected(PDataNode node);
    uint64_t SelectedCount() const { return selectedCount_; }
    // Calls callback for the node (the root: every node) and its existing
    // descendants in tree order; abort stops. Nodes cannot be deleted while
    // this runs.
    void IterateSubtree(PDataNode node, const std::function<void(PDataNode, bool& abort)>& callback,
                        bool doInit = false);

    // ---- Check boxes --------------------------------------------------------------------
    TCheckState CheckState(PDataNode node) const;
    // No change when equal or disabled; OnChecking may refuse; propagates
    // under toAutoTristateTracking; ends with DoChecked.
    void SetCheckState(PDataNode node, TCheckState state);
    TCheckType CheckType(PDataNode node) const;
    // Also resets the check state to unchecked.
    void SetCheckType(PDataNode node, TCheckType type);

    // ---- Selection, focus and view ------------------------------------------------------
    bool Selected(PDataNode node) const;
    void SetSelected(PDataNode node, bool value);
    void ClearSelection();
    PDataNode FocusedNode() const { return focusedNode_; }
    // Raises the focus-change events and scrolls the node into view.
    void SetFocusedNode(PDataNode node);
    TColumnIndex FocusedColumn() const { return focusedColumn_; }
    void SetFocusedColumn(TColumnIndex column);
    PDataNode HotNode() const { return hotNode_; }
    PDataNode DropTargetNode() const { return dropTargetNode_; }
    POINT LastClickPos() const { return lastClickPos_; }
    TDataTreeStates TreeStates() const { return treeStates_; }

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    // Expands collapsed ancestors and scrolls the node into view; answers
    // whether the view moved.
    bool ScrollIntoView(PDataNode node, bool center, bool horizontally = false);
    // The node at the top of the client area.
    PDataNode TopNode();
    // Expands the node's collapsed ancestors and scrolls it to the top.
    void SetTopNode(PDataNode node);
    // Scroll positions in pixels: 0 at the top, RangeY - ClientHeight at the end.
    int OffsetY() const { return offsetY_; }
    void SetOffsetY(int value);
    int OffsetX() const { return offsetX_; }
    void SetOffsetX(int value);
    // Height of all shown nodes; width of the columns (or of the widest node seen).
    int RangeY() const;
    int RangeX() const;
    // Schedules a repaint of the node's row; answers the row in client coordinates.
    RECT InvalidateNode(PDataNode node);
    // The node's rectangle in client coordinates: the whole row (column
    // NoColumn) or cell, or with textOnly the label.
    RECT GetDisplayRect(PDataNode node, TColumnIndex column, bool textOnly);
    // relative: x, y in client coordinates; else in tree coordinates.
    void GetHitTestInfoAt(int x, int y, bool relative, THitInfo& hitInfo);
    PDataNode GetNodeAt(int x, int y) {
        int top;
        return InternalGetNodeAt(x, y, true, top);
    }
    PDataNode InternalGetNodeAt(int x, int y, bool relative, int& nodeTop);
    // Sorts every level (with doInit the compared nodes are initialised and
    // their children created first).
    void SortTree(TColumnIndex column, TSortDirection direction, bool doInit = true);
    void Sort(PDataNode node, TColumnIndex column, TSortDirection direction, bool doInit = true);
    // Opens the in-place editor on a node's cell; false when not allowed.
    bool EditNode(PDataNode node, TColumnIndex column);
    bool EndEditNode();
    bool CancelEditNode();
    bool IsEditing() const { return (treeStates_ & tsEditing) != 0; }
    // The widest content of a column over the shown nodes: the column's best width.
    int GetMaxColumnWidth(TColumnIndex column);

    // ---- Clipboard and streams ----------------------------------------------------------
    virtual bool CopyToClipboard();
    virtual bool CutToClipboard();
    virtual bool PasteFromClipboard();
    // Replaces the nodes by the ones in the stream; a damaged stream raises
    // EDataTreeError and changes nothing.
    virtual void LoadFromStream(TStream& stream);
    // Writes the node and its subtree (every top-level node without one).
    virtual void SaveToStream(TStream& stream, PDataNode node = nullptr);
    // Adds the stream's nodes as last children of target (the root without one).
    void AddFromStream(TStream& stream, PDataNode target);
    // Forgets a pending cut; the marked nodes stay.
    void CancelCutOrCopy();

    // ---- Properties ---------------------------------------------------------------------
    // Made on first use through the factories below, so a descendant's
    // classes are the ones made.
    TDTHeader& Header() const;
    TCustomDataTreeOptions& TreeOptions() const;
    void SetTreeOptions(const TCustomDataTreeOptions& options) { TreeOptions().Assign(&options); }
    int Indent() const { return indent_; }
    void SetIndent(int value);
    int Margin() const { return margin_; }
    void SetMargin(int value);
    int TextMargin() const { return textMargin_; }
    void SetTextMargin(int value);
    TImageList* Images() const { return images_; }
    void SetImages(TImageList* images);
    TCheckImageKind CheckImageKind() const { return checkImageKind_; }
    void SetCheckImageKind(TCheckImageKind kind);
    TImageList* StateImages() const { return stateImages_; }
    void SetStateImages(TImageList* images);
    int DragHeight() const { return dragHeight_; }
    void SetDragHeight(int value) { dragHeight_ = value; }
    int DragWidth() const { return dragWidth_; }
    void SetDragWidth(int value) { dragWidth_ = value; }
    THintMode HintMode() const { return hintMode_; }
    void SetHintMode(THintMode mode);
    DWORD DragOperations() const { return dragOperations_; }
    void SetDragOperations(DWORD effects) { dragOperations_ = effects; }
    TClipboardFormats& ClipboardFormats() { return clipboardFormats_; }
    void SetClipboardFormats(const TClipboardFormats& formats) { clipboardFormats_.Assign(formats); }
    // Milliseconds on the clock: a second click on the focused node starts
    // editing, a drop target expands, a dragged node scrolls the view.
    unsigned EditDelay() const { return editDelay_; }
    void SetEditDelay(unsigned ms) { editDelay_ = ms; }
    unsigned AutoExpandDelay() const { return autoExpandDelay_; }
    void SetAutoExpandDelay(unsigned ms) { autoExpandDelay_ = ms; }

    // ---- Component --------------------------------------------------------------------
    void Notification(TComponent* component, TOperation operation) override;
    void Loaded() override;
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    void DefineProperties(TFiler& filer) override;
    void Dispatch(TMessage& message) override;

    // ---- Events ------------------------------------------------------------------------
    TDTInitNodeEvent OnInitNode;
    TDTInitChildrenEvent OnInitChildren;
    TDTFreeNodeEvent OnFreeNode;
    TDTCheckChangingEvent OnChecking;
    TDTChangeEvent OnChecked;
    TDTChangeEvent OnChange;
    TDTChangingEvent OnExpanding;
    TDTChangeEvent OnExpanded;
    TDTChangingEvent OnCollapsing;
    TDTChangeEvent OnCollapsed;
    TDTCompareEvent OnCompareNodes;
    TDTEditChangingEvent OnEditing;
    TDTEditChangeEvent OnEdited;
    TDTHeaderNotifyEvent OnColumnResize;
    TDTHeaderClickEvent OnHeaderClick;
    TDTHeaderMouseEvent OnHeaderMouseUp;
    TDTHeaderDraggedEvent OnHeaderDragged;
    TDTGetImageEvent OnGetImageIndex;
    TDTGetHintEvent OnGetHint;
    TDTPopupEvent OnGetPopupMenu;
    TDTKeyActionEvent OnKeyAction;
    TDTUpdatingEvent OnUpdating;
    TDTCreateDataObjectEvent OnCreateDataObject;
    TDTFocusChangingEvent OnFocusChanging;
    TDTFocusChangeEvent OnFocusChanged;
    TDTDragAllowedEvent OnDragAllowed;
    TDTDragOverEvent OnDragOver;
    TDTDragDropEvent OnDragDrop;
    TDTSaveNodeEvent OnSaveNode;
    TDTSaveNodeEvent OnLoadNode;

    // ---- Used by the header, the editor and the data objects ---------------------------
    // The theme a part of the tree is drawn with while the desktop's theme
    // is in use and the tree is theme-aware; null for the classic look.
    enum TTreeThemePart { ttButton, ttTreeView, ttHeader, ttCount };
    HTHEME Theme(TTreeThemePart part);
    // The header's rectangle in window coordinates, empty while it is hidden.
    RECT HeaderRect();
    // Paints the header at once (it lives in the frame).
    void PaintHeaderNow();
    void HeaderChanged(bool layout);
    void ColumnResized(TColumnIndex column);
    void HeaderClicked(TColumnIndex column, TMouseButton button, TShiftState shift, POINT headerPoint);
    void HeaderMouseUp(TMouseButton button, TShiftState shift, POINT headerPoint);
    void HeaderDragged(TColumnIndex column, TColumnPosition oldPosition);
    void SortSettingsChanged();
    void OptionsChanged(TAutoOptions oldAuto, TMiscOptions oldMisc, TPaintOptions oldPaint,
                        TSelectionOptions oldSelection);
    // The text the editor starts with and the text it leaves.
    virtual WideString GetEditText(PDataNode node, TColumnIndex column);
    virtual void SetEditText(PDataNode node, TColumnIndex column, const WideString& text);
    // The tree's drag-and-drop hooks, reached from its drop target and data objects.
    virtual void GetNativeClipboardFormats(std::vector<FORMATETC>& formats);
    virtual HRESULT RenderOLEData(const FORMATETC& format, STGMEDIUM& medium, bool forClipboard);
    virtual HRESULT DragEnter(IDataObject* data, DWORD keyState, POINT pt, DWORD& effect);
    virtual HRESULT DragDrop(IDataObject* data, DWORD keyState, POINT pt, DWORD& effect);
    virtual HRESULT DragLeave();
    virtual HRESULT DragOver(DWORD keyState, POINT pt, DWORD& effect);
    // The process-wide identity of this tree (data-object references).
    uint64_t TreeId() const { return treeId_; }
    // The live tree with that identity in this process, nullptr when none.
    static TBaseDataTree* FindTree(uint64_t treeId);

protected:
    // Factories of the option, header and column classes.
    virtual std::unique_ptr<TCustomDataTreeOptions> CreateOptions();
    virtual std::unique_ptr<TDTHeader> CreateHeader();
    friend class TDataTreeColumns;
    virtual std::unique_ptr<TDataTreeColumn> CreateColumn(TCollection* columns);

    // ---- Event dispatchers: each raises the event of the same stem -------------------
    virtual void DoInitNode(PDataNode parent, PDataNode node, TDataNodeInitStates& initStates);
    virtual void DoInitChildren(PDataNode node, uint32_t& childCount);
    virtual void DoFreeNode(PDataNode node);
    virtual bool DoChecking(PDataNode node, TCheckState& newState);
    virtual void DoChecked(PDataNode node);
    virtual void DoChange(PDataNode node);
    virtual bool DoExpanding(PDataNode node);
    virtual void DoExpanded(PDataNode node);
    virtual bool DoCollapsing(PDataNode node);
    virtual void DoCollapsed(PDataNode node);
    virtual int DoCompareNodes(PDataNode node1, PDataNode node2, TColumnIndex column);
    virtual void DoCanEdit(PDataNode node, TColumnIndex column, bool& allowed);
    virtual void DoEdited(PDataNode node, TColumnIndex column);
    virtual void DoColumnResize(TColumnIndex column);
    virtual void DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y);
    virtual void DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void DoHeaderDragged(TColumnIndex column, TColumnPosition oldPosition);
    virtual void DoGetImageIndex(PDataNode node, TDTImageKind kind, TColumnIndex column, bool& ghosted,
                                 int& index);
    virtual void DoGetHint(PDataNode node, TColumnIndex column, WideString& hint);
    virtual TPopupMenu* DoGetPopupMenu(PDataNode node, TColumnIndex column, POINT position);
    // Answers whether the tree goes on with its own handling of the key.
    virtual bool DoKeyAction(WORD& charCode, TShiftState& shift);
    virtual void DoUpdating(TDTUpdateState state);
    virtual std::shared_ptr<IDataObject> DoCreateDataObject();
    virtual bool DoFocusChanging(PDataNode oldNode, PDataNode newNode, TColumnIndex oldColumn,
                                 TColumnIndex newColumn);
    virtual void DoFocusChange(PDataNode node, TColumnIndex column);
    virtual void DoSaveNode(PDataNode node, TStream& stream);
    virtual void DoLoadNode(PDataNode node, TStream& stream);
    // The drag-start test (raises OnDragAllowed; nothing is allowed by default).
    virtual bool DoDragAllowed(PDataNode node, TColumnIndex column);
    // The effects a drag from this tree allows.
    virtual DWORD DragEffects();
    // Raise OnDragOver and OnDragDrop for data dragged over or dropped on the tree.
    virtual void DoDragOver(TBaseDataTree* source, TShiftState shift, TDragState state, POINT pt, TDropMode mode,
                            DWORD& effect, bool& accept);
    virtual void DoDragDrop(TBaseDataTree* source, IDataObject* data, const std::vector<FORMATETC>& formats,
                            TShiftState shift, POINT pt, DWORD& effect, TDropMode mode);

    // ---- What a descendant draws and measures ------------------------------------------
    // Width of the node's label content (text) in a column.
    virtual int DoGetNodeWidth(PDataNode node, TColumnIndex column);
    // Draws the label content into r (client coordinates) with the canvas's
    // font and colours already set for the node's state.
    virtual void DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r);
    // The text a tool-tip shows for a node whose label is cut off.
    virtual WideString DoGetTooltipText(PDataNode node, TColumnIndex column);

    // ---- Window messages the explorer controls call as inherited -----------------------
    virtual void WMContextMenu(TMessage& m);
    virtual void WMKeyDown(TMessage& m);
    virtual void WMKillFocus(TMessage& m);
    virtual void WMLButtonDown(TMessage& m);
    virtual void WMLButtonDblClk(TMessage& m);
    virtual void WMRButtonDown(TMessage& m);
    virtual void WMRButtonUp(TMessage& m);
    virtual void WMNCDestroy(TMessage& m);

    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Paint() override;
    LRESULT DialogCode() override;

private:
    friend class TDTEdit;
    class DropTarget;
    class DropSource;
    struct NodeLayout;

    // Node store (BaseDataTreeNodes.cpp).
    PDataNode MakeNode();
    void FreeNodeMemory(PDataNode node);
    size_t NodeBlockSize() const;
    void ReallocateRoot();
    void LinkLastChild(PDataNode parent, PDataNode node);
    void AddChildren(PDataNode parent, uint32_t count);
    void DeleteNodeInternal(PDataNode node, bool reindex);
    void FreeSubtree(PDataNode node);
    void InitChildren(PDataNode node);
    void ApplyInitStates(PDataNode node, TDataNodeStates before, uint16_t heightBefore,
                         TDataNodeInitStates initStates);
    void ExpandInternal(PDataNode node, bool notify);
    void CollapseInternal(PDataNode node, bool notify);
    void AdjustHeights(PDataNode node, int64_t delta);
    uint32_t VisibleChildrenHeight(PDataNode node) const;
    void StructureChanged(PDataNode node, bool inclusive);
    void ForgetNode(PDataNode node);
    bool IsRealNode(PDataNode node) const { return node && node != root_; }
    bool HasAuto(TAutoOptions o) const { return (TreeOptions().AutoOptions() & o) != 0; }
    bool HasMisc(TMiscOptions o) const { return (TreeOptions().MiscOptions() & o) != 0; }
    bool HasPaint(TPaintOptions o) const { return (TreeOptions().PaintOptions() & o) != 0; }
    bool HasSelection(TSelectionOptions o) const { return (TreeOptions().SelectionOptions() & o) != 0; }
    void CheckIterating() const;

    // Checks (BaseDataTreeChecks.cpp).
    bool ChangeCheckState(PDataNode node, TCheckState state, std::vector<PDataNode>& changed);
    void PropagateDown(PDataNode node, TCheckState state, std::vector<PDataNode>& changed);
    void PropagateUp(PDataNode node, std::vector<PDataNode>& changed);
    static bool HasCheckBox(PDataNode node);
    TCheckState NextUserCheckState(PDataNode node) const;
    void UserToggleCheck(PDataNode node);

    // Selection (BaseDataTreeSelection.cpp).
    const std::vector<PDataNode>& SelectionInTreeOrder();
    void AddToSelection(PDataNode node);
    void RemoveFromSelection(PDataNode node);
    void ClearSelectionInternal(bool notify);
    bool SelectionAllowed(PDataNode node);
    void SelectRange(PDataNode from, PDataNode to);
    void ChangePending(PDataNode node);
    // Input that selects and focuses in one step reports one change.
    class ChangeBatch;
    bool ScreenNodeAbove(PDataNode a, PDataNode b);

    // View (BaseDataTreeView.cpp).
    void UpdateScrollBars();
    void ClampOffsets();
    void InvalidateAll();
    int NodeTop(PDataNode node);
    void PrepareView();
    NodeLayout ComputeLayout(PDataNode node, TColumnIndex column, int rowTop);
    bool ShowsButton(PDataNode node) const;
    bool HasVisibleColumns() const;
    void ColumnExtent(TColumnIndex column, int& left, int& right) const;
    TColumnIndex MainColumnIndex() const;
    int ClientHeightSafe();
    int ClientWidthSafe();
    void ScrollByLines(int lines);
    void NoteNodeWidth(int right);

    // Painting (BaseDataTreePaint.cpp).
    void PaintRow(TCanvas& canvas, PDataNode node, int rowTop, const RECT& clip);
    void PaintMainCell(TCanvas& canvas, PDataNode node, const NodeLayout& layout, const RECT& cell,
                       int rowTop);
    void PaintOtherCell(TCanvas& canvas, PDataNode node, TColumnIndex column, const NodeLayout& layout,
                        const RECT& cell);
    void PaintTreeLines(TCanvas& canvas, PDataNode node, const NodeLayout& layout, int rowTop);
    void PaintButton(TCanvas& canvas, PDataNode node, const RECT& cellRect);
    void PaintCheck(TCanvas& canvas, PDataNode node, const RECT& r);
    bool PaintThemedCheck(TCanvas& canvas, PDataNode node, const RECT& r);
    void PaintImage(TCanvas& canvas, TImageList* list, int index, bool ghosted, int x, int y);
    void PaintLabel(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& label, bool main);
    void PaintDropMark(TCanvas& canvas);

    // Input (BaseDataTreeInput.cpp).
    bool HandleNavigationKey(WORD key, TShiftState shift);
    void MoveFocusTo(PDataNode target, TShiftState shift);
    THitInfo HandleLeftPress(int x, int y, TShiftState shift, bool doubleClick);
    void WMLButtonUp(TMessage& m);
    void WMMouseMove(TMessage& m);
    void WMMouseWheel(TMessage& m);
    void WMScroll(TMessage& m, bool vertical);
    void WMTimer(TMessage& m);
    void WMNCCalcSize(TMessage& m);
    void WMNCHitTest(TMessage& m);
    void WMNCPaint(TMessage& m);
    void WMSetCursor(TMessage& m);
    void WMSize(TMessage& m);
    void FinishCheckPress(int x, int y, bool apply);
    void UpdateHotNode(int x, int y);
    void StartDrag();
    void TrackHint(PDataNode node, TColumnIndex column);
    void ShowNodeHint();
    void HideNodeHint();

    // Editing (BaseDataTreeEdit.cpp).
    void PlaceEditor();
    void EditorKilled();

    // Streams (BaseDataTreeStreams.cpp).
    void WriteNodes(TStream& stream, const std::vector<PDataNode>& nodes);
    std::vector<PDataNode> BuildNodes(const std::vector<uint8_t>& bytes, PDataNode target);
    void RegisterDropTarget(bool on);
    void DetachDropTarget();
    HRESULT DragOverState(DWORD keyState, POINT pt, DWORD& effect, TDragState state);
    std::vector<PDataNode> SelectedSubtreeRoots();
    void DeleteCutNodes();
    TBaseDataTree* SourceTreeOf(IDataObject* data);
    TDropMode DropModeAt(PDataNode node, int y, int top);

    static constexpr unsigned kEditTimer = 1, kHintTimer = 2, kHintHideTimer = 3;

    // Node store.
    std::unique_ptr<TNodePool> pool_;
    std::unique_ptr<std::byte[]> rootBlock_;
    PDataNode root_ = nullptr;
    uint64_t nodeCount_ = 0;
    int nodeDataSize_ = 0;
    int internalDataSize_ = 0;
    std::unique_ptr<TPositionCache> cache_;
    int iterating_ = 0;
    uint64_t treeId_ = 0;

    // Settings.
    mutable std::unique_ptr<TCustomDataTreeOptions> options_;
    mutable std::unique_ptr<TDTHeader> header_;
    TClipboardFormats clipboardFormats_{this};
    int defaultNodeHeight_ = 18;
    int indent_ = 18;
    int margin_ = 4;
    int textMargin_ = 4;
    TImageList* images_ = nullptr;
    TImageList* stateImages_ = nullptr;
    TCheckImageKind checkImageKind_ = ckLightCheck;
    // Themes opened from the bound library (themeBinding_ tells which): a
    // library bound anew makes them stale, and they are dropped unclosed.
    HTHEME themes_[ttCount] = {};
    bool themeTried_[ttCount] = {};
    TDrawThemeBackgroundProc themeBinding_ = nullptr;
    void CloseThemes();
    int dragHeight_ = 350;
    int dragWidth_ = 200;
    THintMode hintMode_ = hmDefault;
    DWORD dragOperations_ = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    unsigned editDelay_ = 1000;
    unsigned autoExpandDelay_ = 1000;

    // State.
    TDataTreeStates treeStates_ = 0;
    int updateCount_ = 0;
    bool repaintPending_ = false;
    bool painting_ = false;
    bool selectionLost_ = false;
    bool changePending_ = false;
    int changeBatch_ = 0;
    bool batchPending_ = false;
    PDataNode batchNode_ = nullptr;
    bool scrollBarsPending_ = false;
    bool updatingScrollBars_ = false;
    bool barsSet_ = false;
    SCROLLINFO lastVertical_{}, lastHorizontal_{};
    int offsetX_ = 0, offsetY_ = 0;
    int maxNodeWidth_ = 0;
    uint64_t selectedCount_ = 0;
    std::vector<PDataNode> selectionOrder_;
    bool selectionOrderValid_ = true;
    size_t selectionCursor_ = 0;
    PDataNode focusedNode_ = nullptr;
    TColumnIndex focusedColumn_ = NoColumn;
    PDataNode hotNode_ = nullptr;
    PDataNode dropTargetNode_ = nullptr;
    TDropMode dropMode_ = dmNowhere;
    uint64_t dropTargetSince_ = 0;
    PDataNode anchorNode_ = nullptr;
    PDataNode pressedCheckNode_ = nullptr;
    PDataNode pendingClickNode_ = nullptr; // selected node pressed: selection settles on release
    PDataNode editNode_ = nullptr;
    PDataNode pendingEditNode_ = nullptr;
    TColumnIndex pendingEditColumn_ = NoColumn;
    TColumnIndex editColumn_ = NoColumn;
    TDTEdit* editor_ = nullptr;
    PDataNode hintNode_ = nullptr;
    TColumnIndex hintColumn_ = NoColumn;
    THintWindow* hintWindow_ = nullptr;
    POINT lastClickPos_{};
    POINT dragStart_{};
    std::shared_ptr<DropTarget> dropTarget_;
    TBaseDataTree* dragSource_ = nullptr;
    std::vector<FORMATETC> dragFormats_;
};

} // namespace ax
