#pragma once
// The node record of the owner-data tree and the numbers its users read and
// write: node states, check types and states, hit positions, option bits,
// header and column options. Numbers that other layers store or test keep
// their values (check states 0..5, check types 0..4, the has-children bit
// 0x40, the visible bit 0x80, the all-children-hidden bit 0x400, the hit
// positions, the header's visible option 0x400, a column's visible option
// 0x80).
#include <cstdint>

#include "framework/dragobject.h" // TDragState
#include "rtl/exceptions.h"

namespace ax {

// Node states (TDataNode::States).
using TDataNodeStates = uint16_t;
enum TDataNodeState : TDataNodeStates {
    vsInitialized = 0x0001,
    vsChecking = 0x0002,      // a check box is held down with the mouse
    vsCutOrCopy = 0x0004,     // cut to the clipboard, not yet pasted
    vsDisabled = 0x0008,
    vsDeleting = 0x0010,
    vsExpanded = 0x0020,
    vsHasChildren = 0x0040,
    vsVisible = 0x0080,
    vsSelected = 0x0100,
    vsInitialUserData = 0x0200, // AddChild was given user data
    vsAllChildrenHidden = 0x0400,
    vsClearing = 0x0800,
};

// States a node asks for while it is initialised (DoInitNode).
using TDataNodeInitStates = uint8_t;
enum TDataNodeInitState : TDataNodeInitStates {
    ivsDisabled = 0x01,
    ivsExpanded = 0x02,
    ivsHasChildren = 0x04,
    ivsSelected = 0x08,
};

enum TCheckState : uint8_t {
    csUncheckedNormal = 0,
    csUncheckedPressed = 1,
    csCheckedNormal = 2,
    csCheckedPressed = 3,
    csMixedNormal = 4,
    csMixedPressed = 5,
};

enum TCheckType : uint8_t {
    ctNone = 0,
    ctTriStateCheckBox = 1,
    ctCheckBox = 2,
    ctRadioButton = 3,
    ctButton = 4,
};

// How the classic look draws check boxes: a light box, or a dark one
// (the button face inside). With the desktop's theme in use (toThemeAware)
// both are the theme's check box.
enum TCheckImageKind : uint8_t {
    ckLightCheck = 0,
    ckDarkCheck = 1,
};

// The state without its pressed bit, and with it.
constexpr TCheckState UnpressedCheckState(TCheckState s) { return TCheckState(s & ~1u); }
constexpr TCheckState PressedCheckState(TCheckState s) { return TCheckState(s | 1u); }

// One node: a zero-filled block of this record followed by the internal
// data areas (AllocateInternalDataArea) and the user's data (NodeDataSize).
// Index, ChildCount, States, CheckState, CheckType and the links may be read
// directly; CheckState and CheckType may be written directly (nothing is
// raised or propagated then). TotalHeight and CacheSlot belong to the tree.
struct TDataNode {
    uint32_t Index = 0;      // position among the siblings
    uint32_t ChildCount = 0; // number of existing children
    uint16_t NodeHeight = 0;
    TDataNodeStates States = 0;
    TCheckState CheckState = csUncheckedNormal;
    TCheckType CheckType = ctNone;
    uint16_t Reserved = 0;
    uint32_t TotalHeight = 0; // own height plus, when expanded, the visible children's
    uint32_t CacheSlot = 0;   // position-cache entry + 1, 0 for none
    TDataNode* Parent = nullptr;
    TDataNode* PrevSibling = nullptr;
    TDataNode* NextSibling = nullptr;
    TDataNode* FirstChild = nullptr;
    TDataNode* LastChild = nullptr;

    // The data areas that follow the record.
    uint8_t* Data() { return reinterpret_cast<uint8_t*>(this + 1); }
};
static_assert(sizeof(TDataNode) % 8 == 0, "data areas follow the record pointer-aligned");
using PDataNode = TDataNode*;

// Column indexes; NoColumn where no column is meant or none exists.
using TColumnIndex = int;
inline constexpr TColumnIndex NoColumn = -1;
using TColumnPosition = unsigned;

enum TSortDirection : uint8_t { sdAscending = 0, sdDescending = 1 };

// Where a point lies relative to a node (GetHitTestInfoAt).
using THitPositions = uint32_t;
enum THitPosition : THitPositions {
    hiAbove = 0x0001,
    hiBelow = 0x0002,
    hiNowhere = 0x0004,
    hiOnItem = 0x0008,
    hiOnItemButton = 0x0010,
    hiOnItemCheckbox = 0x0020,
    hiOnItemIndent = 0x0040,
    hiOnItemLabel = 0x0080,
    hiOnItemLeft = 0x0100,
    hiOnItemRight = 0x0200,
    hiOnNormalIcon = 0x0400,
    hiOnStateIcon = 0x0800,
    hiToLeft = 0x1000,
    hiToRight = 0x2000,
};

struct THitInfo {
    PDataNode HitNode = nullptr;
    THitPositions HitPositions = 0;
    TColumnIndex HitColumn = NoColumn;
};

// Image kinds asked for through DoGetImageIndex.
enum TDTImageKind { ikNormal = 0, ikSelected = 1, ikState = 2, ikOverlay = 3 };

// Update brackets reported through DoUpdating.
enum TDTUpdateState { usBegin = 0, usBeginSynch = 1, usSynch = 2, usEndSynch = 3, usEnd = 4 };

enum TDTStringType { ttNormal = 0, ttStatic = 1 };

// Which hint a node shows.
enum THintMode { hmDefault, hmHint, hmHintAndDefault, hmTooltip };

// Where a drop would put the dragged data relative to the drop target node.
enum TDropMode { dmNowhere, dmAbove, dmOnNode, dmBelow };

// ---- Options --------------------------------------------------------------------------------
using TAutoOptions = uint32_t;
enum TAutoOption : TAutoOptions {
    toAutoDropExpand = 0x0001,     // a collapsed drop target expands after a pause
    toAutoExpand = 0x0002,         // the focused node expands
    toAutoScroll = 0x0004,         // dragging near an edge scrolls
    toAutoScrollOnExpand = 0x0008, // expanding shows as many children as fit
    toAutoSort = 0x0010,           // a new sort column or direction sorts the tree
    toAutoTristateTracking = 0x0040,
    toAutoHideButtons = 0x0080,
};

using TMiscOptions = uint32_t;
enum TMiscOption : TMiscOptions {
    toAcceptOLEDrop = 0x0001,
    toCheckSupport = 0x0002,
    toEditable = 0x0004,
    toInitOnSave = 0x0020, // saving initialises nodes and creates their children
    toReportMode = 0x0040, // a press anywhere on a row takes the node
    toToggleOnDblClick = 0x0080,
    toReadOnly = 0x0200,
};

using TPaintOptions = uint32_t;
enum TPaintOption : TPaintOptions {
    toHotTrack = 0x0002,
    toShowButtons = 0x0010,
    toShowDropmark = 0x0020,
    toShowRoot = 0x0080,
    toShowTreeLines = 0x0100,
    toThemeAware = 0x0400,
    toUseBlendedImages = 0x0800,
    toGhostedIfUnfocused = 0x1000,
};

using TSelectionOptions = uint32_t;
enum TSelectionOption : TSelectionOptions {
    toLevelSelectConstraint = 0x0004,
    toMultiSelect = 0x0008,
    toRightClickSelect = 0x0010,
    toSiblingSelectConstraint = 0x0020,
};

// ---- Header and columns --------------------------------------------------------------------
using THeaderOptions = uint32_t;
enum THeaderOption : THeaderOptions {
    hoAutoResize = 0x0001,
    hoColumnResize = 0x0002,
    hoDblClickResize = 0x0004,
    hoDrag = 0x0008,
    hoShowSortGlyphs = 0x0200,
    hoVisible = 0x0400,
};

using TColumnOptions = uint32_t;
enum TColumnOption : TColumnOptions {
    coAllowClick = 0x0001,
    coDraggable = 0x0002,
    coEnabled = 0x0004,
    coResizable = 0x0020,
    coVisible = 0x0080,
};

// Tree states other layers read (dragging, clearing ...).
using TDataTreeStates = uint32_t;
enum TDataTreeState : TDataTreeStates {
    tsClearing = 0x0001,
    tsIterating = 0x0002,
    tsOLEDragging = 0x0004,
    tsOLEDragPending = 0x0008,
    tsEditing = 0x0010,
    tsCutPending = 0x0020,
    tsLeftButtonDown = 0x0040,
    tsRightButtonDown = 0x0080,
    tsCheckPressed = 0x0100,
    tsUpdating = 0x0200,
    tsEditPending = 0x0400,
    tsSorting = 0x0800,
};

// Failures of the tree: misuse and damaged data. The code tells them apart.
class EDataTreeError : public Exception {
public:
    EDataTreeError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

enum : int {
    dteDeleteWhileIterating = 1,
    dteDataAreaWithNodes = 2,
    dteNodeDataTooSmall = 3,
    dteDamagedStream = 4,
    dteNotANode = 5,
};

} // namespace ax
