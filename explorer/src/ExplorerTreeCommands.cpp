// What the user does to the explorer tree's items: the shell context menu,
// keyboard commands, clipboard, shell verbs, and drag and drop with the
// shell's data objects and drop targets.
#include "ExplorerTreeInternal.h"
#include "framework/menus.h"
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/shellpoint.h"
#include "platform/window/sysmenu.h"
#include "platform/window/window.h"
#include "rtl/scopeguard.h"
#include "explorer/ExplorerTree.h"
#include "shell/ShellLink.h"

#include <algorithm>

namespace ax {
namespace {

// The selection's items, nodes without one left out.
TNamespaceArray Items(TCustomExplorerTree& tree) {
    TNamespaceArray items = tree.SelectedToNamespaceArray();
    items.erase(std::remove(items.begin(), items.end(), nullptr), items.end());
    return items;
}

bool Has(TExpMiscOptions options, TExpMiscOption option) {
    return (options & option) != 0;
}

} // namespace

// ---- Shell verbs and the clipboard --------------------------------------------------------

void TCustomExplorerTree::MarkCutCopy(bool cut) {
    for (PDataNode n = RootNode()->FirstChild; n;) {
        n->States &= ~TDataNodeStates(vsCutOrCopy);
        if (n->FirstChild) {
            n = n->FirstChild;
            continue;
        }
        while (n && n != RootNode() && !n->NextSibling)
            n = n->Parent;
        n = n && n != RootNode() ? n->NextSibling : nullptr;
    }
    if (cut && (TreeOptions().ExpImageOptions() & toMarkCutAndCopy))
        for (PDataNode n = GetFirstSelected(); n; n = GetNextSelected(n))
            n->States |= vsCutOrCopy;
    Invalidate();
}

bool TCustomExplorerTree::CopyToClipboard() {
    WaitCursor(true);
    ScopeGuard cursor([this] { WaitCursor(false); });
    bool handled = false;
    if (OnClipboardCopy) OnClipboardCopy(this, handled);
    if (handled) return true;
    const TNamespaceArray items = Items(*this);
    if (items.empty() || !items[0]->Copy(items)) return false;
    MarkCutCopy(false);
    return true;
}

bool TCustomExplorerTree::CutToClipboard() {
    if (Has(TreeOptions().ExpMiscOptions(), toExpReadOnly)) return false;
    WaitCursor(true);
    ScopeGuard cursor([this] { WaitCursor(false); });
    bool markSelectedCut = true, handled = false;
    if (OnClipboardCut) OnClipboardCut(this, markSelectedCut, handled);
    if (handled) {
        if (markSelectedCut) MarkCutCopy(true);
        return true;
    }
    const TNamespaceArray items = Items(*this);
    if (items.empty() || !items[0]->Cut(items)) return false;
    MarkCutCopy(true);
    return true;
}

bool TCustomExplorerTree::PasteFromClipboard() {
    if (Has(TreeOptions().ExpMiscOptions(), toExpReadOnly)) return false;
    WaitCursor(true);
    ScopeGuard cursor([this] { WaitCursor(false); });
    bool handled = false;
    if (OnClipboardPaste) OnClipboardPaste(this, handled);
    if (handled || SelectedCount() != 1) return handled;
    // Into the selected folder, or into the folder of the selected item.
    PDataNode node = GetFirstSelected();
    TNamespace* target = NodeNamespace(node);
    if (target && !target->Folder() && node->Parent) target = NodeNamespace(node->Parent);
    if (!target) return false;
    const bool ok = target->Paste({target});
    if (ok) MarkCutCopy(false);
    return ok;
}

void TCustomExplorerTree::DeleteSelected() {
    // A read-only explorer changes nothing on disk.
    if (Has(TreeOptions().ExpMiscOptions(), toExpReadOnly)) return;
    const TNamespaceArray items = Items(*this);
    if (!items.empty()) items[0]->Delete(items);
}

void TCustomExplorerTree::PasteIntoSelected(bool all) {
    if (Has(TreeOptions().ExpMiscOptions(), toExpReadOnly)) return;
    const TNamespaceArray items = Items(*this);
    for (TNamespace* ns : items) {
        if (ns->Folder()) ns->Paste({ns});
        if (!all) break;
    }
}

void TCustomExplorerTree::ShowProperties() {
    const TNamespaceArray items = Items(*this);
    if (!items.empty()) items[0]->ShowPropertySheet(items);
}

void TCustomExplorerTree::ExecuteNamespace(PDataNode node) {
    TNamespace* ns = NodeNamespace(node);
    if (!ns || !Has(TreeOptions().ExpMiscOptions(), toExecuteOnDblClk)) return;
    WideString workingDir, arguments;
    bool allow = true;
    if (OnShellExecute) OnShellExecute(this, ns, workingDir, arguments, allow);
    if (!allow) return;
    const TExpMiscOptions misc = TreeOptions().ExpMiscOptions();
    if (ns->Link() && Has(misc, toBrowseExecuteFolderShortcut) && BrowseToShortcut(ns)) return;
    if (ns->Folder() && Has(misc, toBrowseExecuteFolder)) return; // the tree expands it
    ns->ShellExecuteNamespace(workingDir, arguments, false, false);
}

bool TCustomExplorerTree::AltHeld() const {
    // Alt may have gone down while another control had the keys.
    return altDown_ || (GetKeyState(VK_MENU) & 0x8000);
}

void TCustomExplorerTree::LeftDoubleClick(PDataNode node, THitPositions positions, POINT p) {
    if (node && node == GetFirstSelected() && (positions & (hiOnItemLabel | hiOnNormalIcon))) {
        if (AltHeld())
            ShowProperties();
        else
            ExecuteNamespace(node);
    }
    if (OnTreeDblClick) OnTreeDblClick(this, node, mbLeft, p);
}

bool TCustomExplorerTree::CommandMessage(TMessage& m) {
    switch (m.Msg) {
    case WM_RBUTTONDBLCLK: {
        const POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        THitInfo hit;
        GetHitTestInfoAt(p.x, p.y, true, hit);
        if (OnTreeDblClick) OnTreeDblClick(this, hit.HitNode, mbRight, p);
        return false;
    }
    case WM_SYSKEYDOWN:
        altDown_ = (m.LParam & 0x20000000) != 0;
        return false;
    case WM_SYSKEYUP:
    case WM_KILLFOCUS:
        altDown_ = false;
        return false;
    case WM_MENUSELECT:
        MenuSelect(m);
        return false;
    case WM_SYSCHAR:
        if (m.WParam != 13 || !altDown_) return false;
        ShowProperties();
        m.Result = 0;
        return true;
    default:
        return false;
    }
}

void TCustomExplorerTree::MenuSelect(const TMessage& m) {
    // Only while a shell menu of this tree shows; the menu's closing
    // (flags 0xFFFF without a menu) highlights nothing.
    TNamespace* ns = NodeNamespace(contextMenu_->MenuNode());
    const UINT flags = HIWORD(m.WParam);
    if (!OnContextMenuItemChange || !ns || (flags == 0xFFFF && m.LParam == 0)) return;
    const int item = LOWORD(m.WParam);
    const HMENU subMenu = (flags & MF_POPUP) ? GetSubMenu(reinterpret_cast<HMENU>(m.LParam), item) : nullptr;
    OnContextMenuItemChange(this, ns, item, subMenu, (flags & MF_MOUSESELECT) != 0);
}

bool TCustomExplorerTree::BrowseToShortcut(TNamespace* ns) {
    TShellLink link;
    if (!ns || !link.ReadLink(ns->NameForParsing()) || !link.TargetIDList) return false;
    const WideString target = PIDLToPath(link.TargetIDList.get());
    if (target.empty() || !MayBrowse(link.TargetIDList.get())) return false;
    ShellFolderPtr folder;
    {
        TNamespace probe(UniquePIDL(NamespacePIDLManager().CopyPIDL(link.TargetIDList.get())), nullptr);
        if (!probe.Folder()) return false;
    }
    const TExpSyncOptions sync = TreeOptions().ExpSyncOptions();
    return BrowseToByPIDL(link.TargetIDList.get(), sync & toExpandTarget, sync & toCollapseTargetFirst,
                          true, sync & toSelectTarget);
}

// ---- Context menus ------------------------------------------------------------------------

namespace {

// Takes the first "link" item out of a shell menu, with a separator that
// would then stand doubled or last.
void RemoveLinkVerb(TNamespace* ns, ShellMenu& menu) {
    for (size_t i = 0; i < menu.items.size(); ++i) {
        const ShellMenuItem& item = menu.items[i];
        if (item.separator || item.subMenu || !SameText(WideToUtf8(ns->ContextMenuVerb(item.id)), "link"))
            continue;
        menu.items.erase(menu.items.begin() + std::ptrdiff_t(i));
        if (i > 0 && menu.items[i - 1].separator &&
            (i == menu.items.size() || menu.items[i].separator))
            menu.items.erase(menu.items.begin() + std::ptrdiff_t(i - 1));
        return;
    }
}

} // namespace

void TContextMenuManager::ResetState() {
    clickNode_ = previousSelected_ = focusAfter_ = nullptr;
    pending_ = false;
}

void TContextMenuManager::NodeFreed(PDataNode node) {
    if (clickNode_ == node) clickNode_ = nullptr;
    if (previousSelected_ == node) previousSelected_ = nullptr;
    if (focusAfter_ == node) focusAfter_ = nullptr;
    if (menuNode_ == node) menuNode_ = nullptr;
}

void TContextMenuManager::RightButtonDown(POINT p, bool screen) {
    ResetState();
    const POINT client = screen ? tree_->ScreenToClient(p) : p;
    THitInfo hit;
    tree_->GetHitTestInfoAt(client.x, client.y, true, hit);
    if (!hit.HitNode || !(hit.HitPositions & (hiOnItemLabel | hiOnNormalIcon))) return;
    pending_ = true;
    clickNode_ = hit.HitNode;
    previousSelected_ = tree_->GetFirstSelected();
    focusAfter_ = previousSelected_ ? previousSelected_ : tree_->FocusedNode();
    if (!tree_->Selected(clickNode_)) {
        if (tree_->TreeOptions().ExpMiscOptions() & toRightButtonSelect)
            previousSelected_ = focusAfter_ = clickNode_;
        tree_->ClearSelection();
        tree_->SetSelected(clickNode_, true);
        tree_->SetFocusedNode(clickNode_);
    }
}

void TContextMenuManager::RightButtonUp() {
    if (pending_) {
        if (!(tree_->TreeOptions().ExpMiscOptions() & toRightButtonSelect)) {
            if (clickNode_ && previousSelected_ != clickNode_) {
                tree_->ClearSelection();
                if (previousSelected_) tree_->SetSelected(previousSelected_, true);
                if (focusAfter_) tree_->SetFocusedNode(focusAfter_);
            }
        } else if (PDataNode first = tree_->GetFirstSelected()) {
            tree_->BeginUpdate();
            ScopeGuard end([this] { tree_->EndUpdate(); });
            tree_->SetSelected(first, false);
            tree_->SetSelected(first, true);
        }
    }
    ResetState();
}

bool TContextMenuManager::ShowShellMenu(const ShellPoint& position) {
    TNamespaceArray items = Items(*tree_);
    if (items.empty()) return false;
    TCustomExplorerTree* tree = tree_;
    auto cmd = [tree](TNamespace* ns, const WideString& verb, int id, bool& handled) {
        if (tree->OnContextMenuCmd) tree->OnContextMenuCmd(tree, ns, verb, id, handled);
        if (!handled && verb == u"rename") {
            handled = true;
            if (tree->SelectedCount() == 1) {
                // The item being renamed stays selected after the menu.
                tree->ContextMenuManager().ResetState();
                tree->EditNode(tree->GetFirstSelected(),
                               tree->Header().Columns().Count() > 0 ? 0 : NoColumn);
            }
        }
    };
    auto show = [tree](TNamespace* ns, ShellMenu& menu, bool& allow) {
        if (tree->TreeOptions().ExpMiscOptions() & toRemoveContextMenuShortCut) RemoveLinkVerb(ns, menu);
        if (tree->OnContextMenuShow) tree->OnContextMenuShow(tree, ns, allow);
    };
    auto after = [tree](TNamespace* ns, const WideString& verb, int id, bool ok) {
        if (tree->OnContextMenuAfterCmd) tree->OnContextMenuAfterCmd(tree, ns, verb, id, ok);
        if (ok && verb == u"cut")
            tree->MarkCutCopy(true);
        else if (ok && verb == u"copy")
            tree->MarkCutCopy(false);
    };
    TUserMenu* sub = tree->ShellContextSubMenu;
    if (sub) sub->Caption = tree->ShellContextSubMenuCaption;
    showing_ = true;
    menuNode_ = tree->GetFirstSelected();
    ScopeGuard shown([this] {
        showing_ = false;
        menuNode_ = nullptr;
    });
    const uintptr_t owner = uintptr_t(tree->HandleAllocated() ? tree->Handle() : nullptr);
    if (items.size() > 1)
        return items[0]->ShowContextMenuMulti(owner, cmd, show, after, sub, &position, items,
                                              false);
    return items[0]->ShowContextMenu(owner, cmd, show, after, sub, &position);
}

bool TContextMenuManager::ShowContextMenu(POINT screenPoint) {
    if (!enabled_ || !tree_->NodeNamespace(clickNode_)) return false;
    ShowShellMenu(ShellPoint{screenPoint.x, screenPoint.y});
    return true;
}

bool TContextMenuManager::ShowContextMenuFromKeyboard() {
    PDataNode node = tree_->GetFirstSelected();
    if (!enabled_ || !node) return false;
    const RECT r = tree_->GetDisplayRect(node, NoColumn, true);
    const int imageWidth = tree_->Images() ? tree_->Images()->Width() : 0;
    const POINT screen =
        tree_->ClientToScreen(POINT{r.left + imageWidth / 2, (r.top + r.bottom) / 2});
    ShowShellMenu(ShellPoint{screen.x, screen.y});
    return true;
}

void TCustomExplorerTree::WMRButtonDown(TMessage& m) {
    TCustomDataStringTree::WMRButtonDown(m);
    if (TreeOptions().ExpShellOptions() & toContextMenus)
        contextMenu_->RightButtonDown(POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)}, false);
}

void TCustomExplorerTree::WMRButtonUp(TMessage& m) {
    // The release brings WM_CONTEXTMENU, which shows the menu; the
    // selection goes back only afterwards.
    ScopeGuard release([this] { contextMenu_->RightButtonUp(); });
    TCustomDataStringTree::WMRButtonUp(m);
}

void TCustomExplorerTree::WMContextMenu(TMessage& m) {
    if ((TreeStates() & tsOLEDragging) || Has(TreeOptions().ExpMiscOptions(), toExpReadOnly)) {
        m.Result = 1;
        return;
    }
    contextMenu_->SetEnabled(TreeOptions().ExpShellOptions() & toContextMenus);
    if (contextMenu_->Enabled()) {
        if (m.LParam == -1) {
            if (!contextMenu_->MenuShowing() && contextMenu_->ShowContextMenuFromKeyboard()) {
                m.Result = 1;
                return;
            }
        } else {
            const POINT screen{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
            const POINT client = ScreenToClient(screen);
            THitInfo hit;
            GetHitTestInfoAt(client.x, client.y, true, hit);
            const bool onItem = hit.HitNode &&
                                (hit.HitPositions & (hiOnItemLabel | hiOnNormalIcon)) &&
                                (hit.HitColumn <= 0 || hit.HitColumn == Header().MainColumn());
            if (onItem) {
                // A menu asked for without a press (Shift+F10 over the mouse, a
                // message from outside) selects its node as a press would.
                const bool pressed = contextMenu_->RightPressPending() &&
                                     contextMenu_->RightClickNode() == hit.HitNode;
                if (!pressed) contextMenu_->RightButtonDown(screen, true);
                ScopeGuard release([this, pressed] {
                    if (!pressed) contextMenu_->RightButtonUp();
                });
                if (contextMenu_->ShowContextMenu(screen)) {
                    m.Result = 1;
                    return;
                }
            }
        }
    }
    TCustomDataStringTree::WMContextMenu(m);
}

TPopupMenu* TCustomExplorerTree::DoGetPopupMenu(PDataNode node, TColumnIndex column,
                                                POINT position) {
    if (TreeOptions().ExpShellOptions() & toContextMenus) {
        THitInfo hit;
        GetHitTestInfoAt(position.x, position.y, true, hit);
        if (hit.HitNode && (hit.HitPositions & (hiOnItemLabel | hiOnNormalIcon | hiOnStateIcon)))
            return nullptr;
    }
    return TCustomDataStringTree::DoGetPopupMenu(node, column, position);
}

// ---- Keyboard -----------------------------------------------------------------------------

bool TCustomExplorerTree::DoKeyAction(WORD& charCode, TShiftState& shift) {
    if (!TCustomDataStringTree::DoKeyAction(charCode, shift)) return false;
    const bool ctrl = shift & ssCtrl, shiftDown = shift & ssShift;
    const bool readOnly = Has(TreeOptions().ExpMiscOptions(), toExpReadOnly);
    // Only the letters' own codes: 97, 99, 118 and 120 are keys of the
    // numeric pad and function keys, which mean nothing here.
    switch (charCode) {
    case VK_INSERT:
        if (readOnly) return false;
        if (shiftDown) {
            PasteFromClipboard();
            return false;
        }
        if (ctrl) {
            CopyToClipboard();
            return false;
        }
        return true;
    case VK_DELETE:
        DeleteSelected();
        return false;
    case VK_PRIOR:
    case VK_NEXT: {
        if (!ctrl) return true;
        const bool up = charCode == VK_PRIOR;
        PDataNode focused = FocusedNode();
        if (!focused) {
            SetFocusedNode(GetFirst());
            return false;
        }
        PDataNode edge = up ? TopNode() : nullptr;
        if (!up) {
            // The last node fully in view.
            for (PDataNode n = TopNode(); n; n = GetNextVisible(n)) {
                const RECT r = GetDisplayRect(n, NoColumn, false);
                if (r.bottom > ClientHeight()) break;
                edge = n;
            }
        }
        if (edge && edge == focused) {
            const int page = std::max(1, ClientHeight() - int(DefaultNodeHeight()));
            SetOffsetY(OffsetY() + (up ? -page : page));
            if (up)
                edge = TopNode();
            else
                for (PDataNode n = TopNode(); n; n = GetNextVisible(n)) {
                    if (GetDisplayRect(n, NoColumn, false).bottom > ClientHeight()) break;
                    edge = n;
                }
        }
        if (edge) {
            SetFocusedNode(edge);
            ScrollIntoView(edge, false, false);
        }
        return false;
    }
    case VK_UP:
    case VK_DOWN:
        if (!ctrl) return true;
        if (PDataNode focused = FocusedNode()) {
            PDataNode to = charCode == VK_UP ? focused->PrevSibling : focused->NextSibling;
            if (to) SetFocusedNode(to);
        }
        return false;
    case 65: // A
        if (!(ctrl && shiftDown)) return true;
        if (TreeOptions().SelectionOptions() & toMultiSelect) {
            BeginUpdate();
            ScopeGuard end([this] { EndUpdate(); });
            std::vector<PDataNode> all;
            for (PDataNode n = GetFirst(); n; n = GetNext(n))
                all.push_back(n);
            for (PDataNode n : all)
                SetSelected(n, !Selected(n));
        }
        return false;
    case 67: // C
        if (!ctrl) return true;
        CopyToClipboard();
        return false;
    case 86: // V
        if (!ctrl) return true;
        PasteFromClipboard();
        return false;
    case 88: // X
        if (!ctrl) return true;
        CutToClipboard();
        return false;
    case VK_F3:
        if (PDataNode first = GetFirstSelected()) ReReadFolderNode(first);
        return false;
    case VK_F5:
        RefreshTree();
        return false;
    case VK_DIVIDE:
        WaitCursor(true);
        {
            ScopeGuard cursor([this] { WaitCursor(false); });
            if (FocusedNode()) FullCollapse(FocusedNode());
        }
        return false;
    default:
        return true;
    }
}

// ---- Data object and drag and drop --------------------------------------------------------

std::shared_ptr<IDataObject> TCustomExplorerTree::ShellDataObjectOfSelection() {
    const TNamespaceArray items = Items(*this);
    return items.empty() ? nullptr : items[0]->DataObjectMulti(items);
}

std::shared_ptr<IDataObject> TCustomExplorerTree::DoCreateDataObject() {
    std::shared_ptr<IDataObject> data = TCustomDataStringTree::DoCreateDataObject();
    if (data) return data;
    return std::make_shared<TExpDataObject>(this, false, ShellDataObjectOfSelection());
}

bool TCustomExplorerTree::DoDragAllowed(PDataNode node, TColumnIndex column) {
    const TExpShellOptions shell = TreeOptions().ExpShellOptions();
    TNamespace* ns = NodeNamespace(node);
    if (Has(TreeOptions().ExpMiscOptions(), toExpReadOnly) || !(shell & toDragDrop) ||
        !(TreeOptions().MiscOptions() & toAcceptOLEDrop) || !ns || ns->IsDesktop())
        return false;
    bool allowed = true;
    if (OnDragAllowed) OnDragAllowed(this, node, column, allowed);
    return allowed;
}

DWORD TCustomExplorerTree::DragEffects() {
    return DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
}

TNamespace* TCustomExplorerTree::DropNamespaceAt(POINT) {
    if (PDataNode node = DropTargetNode()) return NodeNamespace(node);
    if (TreeOptions().ExpFolderOptions() & toHideRootFolder) return NodeNamespace(RootNode());
    return nullptr;
}

namespace {
bool SameItem(TNamespace* a, TNamespace* b) {
    return a && b && EqualPIDL(a->AbsolutePIDL(), b->AbsolutePIDL());
}
} // namespace

HRESULT TCustomExplorerTree::DragEnter(IDataObject* data, DWORD keyState, POINT pt, DWORD& effect) {
    dragData_ = data;
    dropNamespace_.reset();
    return DragOver(keyState, pt, effect);
}

HRESULT TCustomExplorerTree::DragOver(DWORD keyState, POINT pt, DWORD& effect) {
    const DWORD allowed = effect;
    if (Has(TreeOptions().ExpMiscOptions(), toExpReadOnly)) {
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    // The tree's own tracking: the drop target node, expanding, scrolling.
    DWORD ignored = allowed;
    TCustomDataStringTree::DragOver(keyState, pt, ignored);
    TNamespace* target = DropNamespaceAt(pt);
    const POINT screen = ClientToScreen(pt);
    effect = allowed;
    if (!SameItem(target, dropNamespace_.get())) {
        if (dropNamespace_) dropNamespace_->DragLeave();
        dropNamespace_.reset();
        if (target) {
            dropNamespace_ = target->Clone();
            dropNamespace_->DragEnter(dragData_, keyState, ShellPoint{screen.x, screen.y}, effect);
            return S_OK;
        }
    }
    if (!dropNamespace_) {
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    dropNamespace_->DragOver(keyState, ShellPoint{screen.x, screen.y}, effect);
    return S_OK;
}

HRESULT TCustomExplorerTree::DragLeave() {
    if (dropNamespace_) dropNamespace_->DragLeave();
    dropNamespace_.reset();
    dragData_ = nullptr;
    return TCustomDataStringTree::DragLeave();
}

HRESULT TCustomExplorerTree::DragDrop(IDataObject* data, DWORD keyState, POINT pt, DWORD& effect) {
    ScopeGuard done([this] {
        dropNamespace_.reset();
        dragData_ = nullptr;
        TCustomDataStringTree::DragLeave();
    });
    if (Has(TreeOptions().ExpMiscOptions(), toExpReadOnly)) {
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    dragData_ = data;
    const DWORD allowed = effect;
    DWORD ignored = allowed;
    TCustomDataStringTree::DragOver(keyState, pt, ignored);
    TNamespace* target = DropNamespaceAt(pt);
    if (!target) {
        if (dropNamespace_) dropNamespace_->DragLeave();
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    if (!SameItem(target, dropNamespace_.get())) {
        if (dropNamespace_) dropNamespace_->DragLeave();
        dropNamespace_ = target->Clone();
    }
    const POINT screen = ClientToScreen(pt);
    effect = allowed;
    // The program answers its user during a long drop; a new drag over the
    // tree meanwhile must not take this target away.
    const std::unique_ptr<TNamespace> dropping = std::move(dropNamespace_);
    return dropping->Drop(data, keyState, ShellPoint{screen.x, screen.y}, effect);
}

// ---- TExpDataObject -----------------------------------------------------------------------

TExpDataObject::TExpDataObject(TCustomExplorerTree* tree, bool forClipboard,
                               std::shared_ptr<IDataObject> shellData)
    : TDTDataObject(tree, forClipboard), shell_(std::move(shellData)) {}

HRESULT TExpDataObject::GetData(const FORMATETC& format, STGMEDIUM* medium) {
    const HRESULT hr = TDTDataObject::GetData(format, medium);
    return FAILED(hr) && shell_ ? shell_->GetData(format, medium) : hr;
}

HRESULT TExpDataObject::GetDataHere(const FORMATETC& format, STGMEDIUM* medium) {
    const HRESULT hr = TDTDataObject::GetDataHere(format, medium);
    return FAILED(hr) && shell_ ? shell_->GetDataHere(format, medium) : hr;
}

// A format the shell's object offers is offered here too: a drop target
// that asks before it takes must see what GetData gives.
HRESULT TExpDataObject::QueryGetData(const FORMATETC& format) {
    const HRESULT hr = TDTDataObject::QueryGetData(format);
    return hr != S_OK && shell_ ? shell_->QueryGetData(format) : hr;
}

HRESULT TExpDataObject::GetCanonicalFormatEtc(const FORMATETC& in, FORMATETC* out) {
    const HRESULT hr = TDTDataObject::GetCanonicalFormatEtc(in, out);
    return FAILED(hr) && shell_ ? shell_->GetCanonicalFormatEtc(in, out) : hr;
}

HRESULT TExpDataObject::SetData(const FORMATETC& format, STGMEDIUM* medium, bool release) {
    const HRESULT hr = TDTDataObject::SetData(format, medium, release);
    return FAILED(hr) && shell_ ? shell_->SetData(format, medium, release) : hr;
}

HRESULT TExpDataObject::EnumFormatEtc(DWORD direction, std::vector<FORMATETC>* formats) {
    const HRESULT hr = TDTDataObject::EnumFormatEtc(direction, formats);
    if (FAILED(hr) || !formats || !shell_ || direction != DATADIR_GET) return hr;
    std::vector<FORMATETC> more;
    if (SUCCEEDED(shell_->EnumFormatEtc(direction, &more)))
        for (const FORMATETC& f : more)
            if (std::none_of(formats->begin(), formats->end(),
                             [&](const FORMATETC& g) { return g.cfFormat == f.cfFormat; }))
                formats->push_back(f);
    return hr;
}

HRESULT TExpDataObject::DAdvise(const FORMATETC& format, DWORD flags, IAdviseSink* sink,
                                DWORD* connection) {
    const HRESULT hr = TDTDataObject::DAdvise(format, flags, sink, connection);
    return FAILED(hr) && shell_ ? shell_->DAdvise(format, flags, sink, connection) : hr;
}

HRESULT TExpDataObject::DUnadvise(DWORD connection) {
    const HRESULT hr = TDTDataObject::DUnadvise(connection);
    return FAILED(hr) && shell_ ? shell_->DUnadvise(connection) : hr;
}

HRESULT TExpDataObject::EnumDAdvise() {
    const HRESULT hr = TDTDataObject::EnumDAdvise();
    return FAILED(hr) && shell_ ? shell_->EnumDAdvise() : hr;
}

} // namespace ax
