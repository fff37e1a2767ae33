#pragma once
// The explorer tree's companions: its column and header classes, the
// header's width toggles (TColumnManager), the header's column menu, the
// shell context menu around a right click, and the data object handed to
// drag and drop and the clipboard. The tree (ExplorerTree.h) says when
// they are called; each says here what it does.
//
// Threads: GUI thread only, as the tree.
#include "framework/menus.h"
#include "platform/shellns/shellpoint.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "vtree/DTDataObject.h"
#include "vtree/DTHeader.h"
#include "vtree/DataTreeColumns.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ax {

class TCustomExplorerTree;

// What an explorer column shows (one byte where stored).
enum TColumnDetails : uint8_t {
    cdFileName,
    cdSize,
    cdType,
    cdModified,
    cdAccessed,
    cdCreated,
    cdAttributes,
    cdPath,
    cdDOSName,
    cdCustom,
};
inline constexpr int kColumnDetailsCount = cdCustom + 1;
// Title and default width of each kind of column.
const char16_t* ColumnDetailsTitle(TColumnDetails details);
int ColumnDetailsWidth(TColumnDetails details);

class TExpColumn : public TDataTreeColumn {
public:
    explicit TExpColumn(TCollection* collection);
    AnsiString ClassName() const override { return "TExpColumn"; }
    void Assign(const TPersistent* source) override;

    TColumnDetails ColumnDetails() const { return details_; }
    // Sets the title and width of the kind (the width not while loading);
    // under the shell's columns every column is cdCustom.
    void SetColumnDetails(TColumnDetails value);
    // The root folder's details column this column shows under the shell's
    // columns; -1 for the application's own columns.
    int ShellColumn() const { return shellColumn_; }
    void SetShellColumn(int column) { shellColumn_ = column; }

private:
    TCustomExplorerTree* Tree() const;
    TColumnDetails details_ = cdFileName;
    int shellColumn_ = -1;
};

class TExpHeader : public TDTHeader {
public:
    using TDTHeader::TDTHeader;
    AnsiString ClassName() const override { return "TExpHeader"; }
    // The shell's columns are built from the root folder, never stored.
    bool CanWriteColumns() const override;
};

// Width toggles of the header's columns: a Ctrl click fits a column to its
// content, a Shift click collapses it; the second click of the same kind
// gives back the width saved by the first.
class TColumnManager {
public:
    enum TToggle : uint8_t { ctNormal = 0, ctFitted = 1, ctCollapsed = 2 };
    struct TColumnWidth {
        int32_t SavedWidth = 0;
        uint8_t Toggle = ctNormal;
    };
    using TColumnsWidths = std::vector<TColumnWidth>;

    explicit TColumnManager(TCustomExplorerTree* tree) : tree_(tree) {}
    TCustomExplorerTree* Tree() const { return tree_; }
    void ToggleWidthAutoFit(int column);
    void ToggleWidthMinimize(int column);
    // One record per header column (grown when asked).
    const TColumnsWidths& Widths();

private:
    bool Grow();
    TCustomExplorerTree* tree_;
    TColumnsWidths widths_;
};

// The header's right-click menu: one item per column, checked when shown.
class TColumnMenuItem : public TMenuItem {
public:
    static constexpr int kMoreItem = -2;
    TColumnMenuItem(TComponent* owner, int columnIndex);
    AnsiString ClassName() const override { return "TColumnMenuItem"; }
    int ColumnIndex() const { return columnIndex_; }
    void Click() override;

private:
    int columnIndex_;
};

class TColumnMenu : public TPopupMenu {
public:
    explicit TColumnMenu(TCustomExplorerTree* tree);
    AnsiString ClassName() const override { return "TColumnMenu"; }
    TCustomExplorerTree* Tree() const { return tree_; }
    // Fills the items anew, then tracks the menu.
    void Popup(int x, int y) override;
    // Replaces the items with the header's columns.
    void RebuildItems();

private:
    TCustomExplorerTree* tree_;
};

// The shell context menu around a right click: the press selects the node
// under the mouse for the menu, the release puts the selection back unless
// toRightButtonSelect keeps it.
class TContextMenuManager {
public:
    explicit TContextMenuManager(TCustomExplorerTree* tree) : tree_(tree) {}
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    bool MenuShowing() const { return showing_; }
    bool RightPressPending() const { return pending_; }
    PDataNode RightClickNode() const { return clickNode_; }
    // The node whose menu shows (the first selected), nil when none.
    PDataNode MenuNode() const { return showing_ ? menuNode_ : nullptr; }

    // The press at a point (screen coordinates when screen).
    void RightButtonDown(POINT p, bool screen);
    void RightButtonUp();
    // Shows the shell menu of the pressed node at a screen point.
    bool ShowContextMenu(POINT screenPoint);
    // The menu key: at the first selected node.
    bool ShowContextMenuFromKeyboard();
    void ResetState();
    // A node is being freed (a change may arrive while the menu is up):
    // nothing remembered may point at it.
    void NodeFreed(PDataNode node);

private:
    bool ShowShellMenu(const ShellPoint& position);
    TCustomExplorerTree* tree_;
    PDataNode clickNode_ = nullptr;
    PDataNode previousSelected_ = nullptr;
    PDataNode focusAfter_ = nullptr;
    PDataNode menuNode_ = nullptr;
    bool showing_ = false;
    bool enabled_ = true;
    bool pending_ = false;
};

// The tree's data object: the tree control's own formats first, then the
// shell's object of the dragged or copied items for everything else.
class TExpDataObject : public TDTDataObject {
public:
    TExpDataObject(TCustomExplorerTree* tree, bool forClipboard,
                   std::shared_ptr<IDataObject> shellData);
    HRESULT GetData(const FORMATETC& format, STGMEDIUM* medium) override;
    HRESULT GetDataHere(const FORMATETC& format, STGMEDIUM* medium) override;
    HRESULT QueryGetData(const FORMATETC& format) override;
    HRESULT GetCanonicalFormatEtc(const FORMATETC& in, FORMATETC* out) override;
    HRESULT SetData(const FORMATETC& format, STGMEDIUM* medium, bool release) override;
    HRESULT EnumFormatEtc(DWORD direction, std::vector<FORMATETC>* formats) override;
    HRESULT DAdvise(const FORMATETC& format, DWORD flags, IAdviseSink* sink,
                    DWORD* connection) override;
    HRESULT DUnadvise(DWORD connection) override;
    HRESULT EnumDAdvise() override;
    IDataObject* ShellDataObject() const { return shell_.get(); }

private:
    std::shared_ptr<IDataObject> shell_;
};

} // namespace ax
