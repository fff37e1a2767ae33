// TNamespace's enumeration, details columns and actions: context menus,
// clipboard, renaming, running and dropping.
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/dataobject.h"
#include "platform/shellns/inputstate.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/messageboxservice.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "shell/ShellResources.h"
#include "shell/Namespace.h"
#include "shell/ShellLink.h"

#include <algorithm>

namespace ax {
namespace {

WideString W(const std::string& s) {
    return Utf8ToWide(s);
}

} // namespace

// ---------------------------------------------------------------- enumeration

int TNamespace::EnumerateFolder(bool folders, bool nonFolders, bool includeHidden,
                                const TEnumFolderCallback& callback, void* data) {
    ShellFolderPtr folder = ShellFolder();
    if (!folder || !callback) return 0;
    uint32_t flags = 0;
    if (folders) flags |= SHCONTF_FOLDERS;
    if (nonFolders) flags |= SHCONTF_NONFOLDERS;
    if (includeHidden) flags |= SHCONTF_INCLUDEHIDDEN;
    std::unique_ptr<IEnumIDList> list;
    if (FAILED(folder->EnumObjects(flags, &list)) || !list) return 0;
    int count = 0;
    bool terminate = false;
    PItemIDList child = nullptr;
    while (!terminate && list->Next(&child) == S_OK) {
        if (callback(this, child, data, terminate)) ++count;
    }
    return count;
}

bool TNamespace::HasChildren(uint32_t flags) {
    if (IsRecycleBin()) return true;
    if (!Folder()) return false;
    ShellFolderPtr folder = ShellFolder();
    std::unique_ptr<IEnumIDList> list;
    if (!folder || FAILED(folder->EnumObjects(flags, &list)) || !list) return false;
    PItemIDList child = nullptr;
    const bool any = list->Next(&child) == S_OK;
    const UniquePIDL first(child);
    return any;
}

namespace {

// Columns counted by asking for each index until one fails; a folder that
// answers every index up to the cap is not believed.
int CountColumns(const std::function<bool(unsigned)>& answers) {
    constexpr unsigned kCap = 200;
    unsigned n = 0;
    while (n < kCap && answers(n))
        ++n;
    return n == kCap ? 0 : int(n);
}

} // namespace

int TNamespace::DetailsSupportedColumns() {
    if (more_ && more_->columnCount >= 0) return more_->columnCount;
    const ShellFolderPtr folder = ShellFolder();
    const auto folder2 = std::dynamic_pointer_cast<IShellFolder2>(folder);
    const auto details = std::dynamic_pointer_cast<IShellDetails>(folder);
    int count = 0;
    if (folder2) {
        count = CountColumns([&](unsigned n) {
            uint32_t state = 0;
            return SUCCEEDED(folder2->GetDefaultColumnState(n, &state));
        });
        if (count == 0)
            count = CountColumns([&](unsigned n) {
                SHELLDETAILS d;
                return SUCCEEDED(folder2->GetDetailsOf(nullptr, n, &d));
            });
    }
    if (count == 0 && details)
        count = CountColumns([&](unsigned n) {
            SHELLDETAILS d;
            return SUCCEEDED(details->GetDetailsOf(nullptr, n, &d));
        });
    More& more = Extra();
    more.columnCount = count > 0 ? count : DetailsDefaultSupportedColumns();
    more.shellColumns = count > 0;
    return more.columnCount;
}

bool TNamespace::DetailsValidIndex(int column) {
    return column >= 0 && column < DetailsSupportedColumns();
}

WideString TNamespace::DetailsColumnTitle(int column) {
    if (DetailsValidIndex(column) && more_ && more_->shellColumns) {
        const ShellFolderPtr folder = ShellFolder();
        SHELLDETAILS d;
        if (const auto folder2 = std::dynamic_pointer_cast<IShellFolder2>(folder))
            if (SUCCEEDED(folder2->GetDetailsOf(nullptr, unsigned(column), &d))) return W(d.str);
        if (const auto details = std::dynamic_pointer_cast<IShellDetails>(folder))
            if (SUCCEEDED(details->GetDetailsOf(nullptr, unsigned(column), &d))) return W(d.str);
    }
    return DetailsDefaultColumnTitle(column);
}

WideString TNamespace::DetailsOf(int column) {
    PCItemIDList item = RelativePIDL();
    if (column >= 0 && !IsDesktop() && item) {
        const ShellFolderPtr parent = ParentShellFolder();
        SHELLDETAILS d;
        if (const auto folder2 = std::dynamic_pointer_cast<IShellFolder2>(parent))
            if (SUCCEEDED(folder2->GetDetailsOf(item, unsigned(column), &d)))
                return W(d.str);
        if (const auto details = std::dynamic_pointer_cast<IShellDetails>(parent))
            if (SUCCEEDED(details->GetDetailsOf(item, unsigned(column), &d)))
                return W(d.str);
    }
    return DetailsDefaultOf(column);
}

TColumnStates TNamespace::DetailsGetDefaultColumnState(int column) {
    uint32_t flags = 0;
    const auto folder2 = std::dynamic_pointer_cast<IShellFolder2>(ShellFolder());
    if (!DetailsValidIndex(column) || !folder2 ||
        FAILED(folder2->GetDefaultColumnState(unsigned(column), &flags)))
        return csOnByDefault;
    TColumnStates states = 0;
    switch (flags & SHCOLSTATE_TYPEMASK) {
    case SHCOLSTATE_TYPE_STR:
        states |= csString;
        break;
    case SHCOLSTATE_TYPE_INT:
        states |= csInteger;
        break;
    case SHCOLSTATE_TYPE_DATE:
        states |= csDate;
        break;
    default:
        break;
    }
    if (flags & SHCOLSTATE_ONBYDEFAULT) states |= csOnByDefault;
    if (flags & SHCOLSTATE_SLOW) states |= csSlow;
    if (flags & SHCOLSTATE_EXTENDED) states |= csExtended;
    if (flags & SHCOLSTATE_SECONDARYUI) states |= csSecondaryUI;
    if (flags & SHCOLSTATE_HIDDEN) states |= csHidden;
    return states;
}

int TNamespace::DetailsDefaultSupportedColumns() {
    return 5;
}

WideString TNamespace::DetailsDefaultColumnTitle(int column) {
    if (column == -1) return SColumnTitles[0];
    if (column >= 0 && column <= 9) return SColumnTitles[column];
    return {};
}

WideString TNamespace::DetailsDefaultOf(int column) {
    switch (column) {
    case -1:
    case 0:
        return NameInFolder();
    case 1:
        return SizeOfFileKB();
    case 2: {
        const WIN32_FIND_DATA* data = FindData();
        if (!data || data->cFileName.empty() || data->cFileName[0] == '\x08' || !FileSystem())
            return u"System Folder";
        return FileType();
    }
    case 3:
        return LastWriteTime();
    case 4:
        return AttributesString();
    default:
        return {};
    }
}

// ---------------------------------------------------------------- context menus

std::shared_ptr<IContextMenu> TNamespace::MenuOf(const TNamespaceArray& items, bool absolute) {
    std::vector<PCItemIDList> pidls;
    for (TNamespace* ns : items)
        pidls.push_back(absolute ? ns->AbsolutePIDL() : ns->RelativePIDL());
    ShellFolderPtr folder;
    if (absolute)
        SHGetDesktopFolder(&folder);
    else
        folder = ParentShellFolder();
    std::shared_ptr<IContextMenu> menu;
    if (!folder || pidls.empty() ||
        FAILED(folder->GetContextMenu(pidls.data(), int(pidls.size()), &menu)))
        return nullptr;
    return menu;
}

bool TNamespace::ShowContextMenu(uintptr_t owner, const TContextMenuCmdCallback& cmd,
                                 const TContextMenuShowCallback& show,
                                 const TContextMenuAfterCmdCallback& after, TUserMenu* userMenu,
                                 const ShellPoint* position) {
    return ShowMenu(owner, cmd, show, after, userMenu, position, {this}, false);
}

bool TNamespace::ShowContextMenuMulti(uintptr_t owner, const TContextMenuCmdCallback& cmd,
                                      const TContextMenuShowCallback& show,
                                      const TContextMenuAfterCmdCallback& after,
                                      TUserMenu* userMenu, const ShellPoint* position,
                                      const TNamespaceArray& namespaces, bool absolutePIDLs) {
    return ShowMenu(owner, cmd, show, after, userMenu, position, namespaces, absolutePIDLs);
}

bool TNamespace::ShowMenu(uintptr_t owner, const TContextMenuCmdCallback& cmd,
                          const TContextMenuShowCallback& show,
                          const TContextMenuAfterCmdCallback& after, TUserMenu* userMenu,
                          const ShellPoint* position, const TNamespaceArray& items, bool absolute) {
    if (items.empty()) return false;
    const ShellPoint at = position ? *position : ShellGetCursorPos();
    uint32_t flags = CMF_EXPLORE;
    if (items.size() == 1 && cmd) flags |= CMF_CANRENAME;
    if (ShellGetKeyState(IInputState::kShift) < 0) flags |= CMF_EXTENDEDVERBS;
    // Held here too: a handler may invalidate this item, which drops its
    // menu object while the command still needs it.
    const std::shared_ptr<IContextMenu> contextMenu = MenuOf(items, absolute);
    if (!contextMenu) return false;
    Actions().currentMenu = contextMenu;
    ScopeGuard dropMenu([this] {
        if (more_ && more_->actions) more_->actions->currentMenu.reset();
    });
    ShellMenu menu;
    if (FAILED(contextMenu->QueryContextMenu(menu, 0, 1, 0x7FFF, flags))) return false;
    // The application's items go into a sub-menu of their own, with ids
    // above every id the shell used.
    uint32_t firstUserId = 0;
    if (userMenu && !userMenu->Items.empty()) {
        ShellMenuItem separator;
        separator.separator = true;
        menu.Insert(menu.items.size(), separator);
        auto sub = std::make_shared<ShellMenu>();
        sub->rightToLeft = userMenu->RightToLeft;
        firstUserId = menu.HighestId() + 1;
        for (size_t i = userMenu->Items.size(); i-- > 0;) {
            const TUserMenuItem& u = userMenu->Items[i];
            ShellMenuItem item;
            item.id = firstUserId + uint32_t(i);
            item.separator = u.Caption == u"-";
            item.caption = u.Caption;
            item.radio = u.RadioItem;
            item.checked = u.Checked;
            item.isDefault = u.Default;
            item.disabled = !u.Enabled;
            item.breakStyle = u.Break;
            item.data = &userMenu->Items[i];
            sub->Insert(0, std::move(item));
        }
        ShellMenuItem holder;
        holder.caption = userMenu->Caption;
        holder.subMenu = sub;
        menu.Insert(menu.items.size(), holder);
    }
    bool allow = true;
    if (show) show(this, menu, allow);
    if (!allow) return false;
    const uint32_t id =
        MenuTracker().TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at, owner);
    if (id != 0) {
        if (firstUserId && id >= firstUserId && id < firstUserId + userMenu->Items.size()) {
            const TUserMenuItem& u = userMenu->Items[id - firstUserId];
            if (u.OnClick) u.OnClick();
        } else {
            std::string verb8;
            const WideString verb =
                SUCCEEDED(contextMenu->GetCommandString(id - 1, GCS_VERBW, &verb8))
                    ? W(verb8)
                    : WideString(SUnknownCommand);
            bool handled = false;
            if (cmd) cmd(this, verb, int(id), handled);
            if (!handled) {
                CMINVOKECOMMANDINFO info;
                info.commandOffset = id - 1;
                info.window = owner;
                info.showCommand = 1;
                const bool ok = SUCCEEDED(contextMenu->InvokeCommand(info));
                if (after) after(this, verb, int(id), ok);
            }
        }
    }
    return true;
}

WideString TNamespace::ContextMenuVerb(uint32_t menuItemID) {
    std::string verb;
    const ActionObjects* actions = more_ ? more_->actions.get() : nullptr;
    if (!actions || !actions->currentMenu || menuItemID == 0 ||
        FAILED(actions->currentMenu->GetCommandString(menuItemID - 1, GCS_VERBW, &verb)))
        return {};
    return W(verb);
}

bool TNamespace::HandleContextMenuMsg(uint32_t, uintptr_t, intptr_t) {
    return false;
}

bool TNamespace::ExecuteContextMenuVerb(const WideString& verb,
                                        const std::vector<PCItemIDList>& pidls) {
    ShellFolderPtr folder = ParentShellFolder();
    std::shared_ptr<IContextMenu> menu;
    if (!folder || pidls.empty() ||
        FAILED(folder->GetContextMenu(pidls.data(), int(pidls.size()), &menu)))
        return false;
    ShellMenu items;
    if (FAILED(menu->QueryContextMenu(items, 0, 1, 0x7FFF, CMF_EXPLORE))) return false;
    const std::string wanted = WideToUtf8(verb);
    for (const ShellMenuItem& item : items.items) {
        if (item.separator || item.subMenu || item.id == 0) continue;
        std::string name;
        if (FAILED(menu->GetCommandString(item.id - 1, GCS_VERBW, &name)) ||
            !SameText(name, wanted))
            continue;
        CMINVOKECOMMANDINFO info;
        info.commandOffset = item.id - 1;
        return SUCCEEDED(menu->InvokeCommand(info));
    }
    return false;
}

bool TNamespace::VerifyPIDLRelationship(const TNamespaceArray& namespaces) {
    bool ok = true;
    if (IsDesktop()) {
        ok = namespaces.size() == 1 && namespaces[0]->IsDesktop();
    } else {
        const UniquePIDL parent(Parent() ? NamespacePIDLManager().CopyPIDL(Parent()->AbsolutePIDL())
                                         : ParentAbsolutePIDL().release());
        for (TNamespace* ns : namespaces)
            if (!IsParentPIDL(parent.get(), ns->AbsolutePIDL(), true)) ok = false;
        if (!ok) MessageBoxService().MessageBox(0, SNotSiblings, u"Error", MB_OK | MB_ICONERROR);
    }
    return ok;
}

namespace {
std::vector<PCItemIDList> Relatives(const TNamespaceArray& namespaces) {
    std::vector<PCItemIDList> out;
    for (TNamespace* ns : namespaces)
        out.push_back(ns->RelativePIDL());
    return out;
}
} // namespace

bool TNamespace::Copy(const TNamespaceArray& namespaces) {
    return VerifyPIDLRelationship(namespaces) &&
           ExecuteContextMenuVerb(u"copy", Relatives(namespaces));
}

bool TNamespace::Cut(const TNamespaceArray& namespaces) {
    if (!VerifyPIDLRelationship(namespaces)) return false;
    for (TNamespace* ns : namespaces)
        if (!ns->CanDelete()) return false;
    return ExecuteContextMenuVerb(u"cut", Relatives(namespaces));
}

bool TNamespace::Delete(const TNamespaceArray& namespaces) {
    if (!VerifyPIDLRelationship(namespaces)) return false;
    for (TNamespace* ns : namespaces)
        if (!ns->CanDelete()) return false;
    return ExecuteContextMenuVerb(u"delete", Relatives(namespaces));
}

bool TNamespace::Paste(const TNamespaceArray& namespaces) {
    if (namespaces.empty()) return false;
    if (IsDesktop()) {
        TNamespace* physical = PhysicalDesktopFolder();
        if (!physical) return false;
        std::vector<std::unique_ptr<TNamespace>> rebuilt;
        TNamespaceArray items;
        for (TNamespace* ns : namespaces) {
            UniquePIDL pidl(PathToPIDL(ns->NameForParsing()));
            if (!pidl) return false;
            rebuilt.push_back(std::make_unique<TNamespace>(std::move(pidl), nullptr));
            items.push_back(rebuilt.back().get());
        }
        return physical->Paste(items);
    }
    return VerifyPIDLRelationship(namespaces) &&
           ExecuteContextMenuVerb(u"paste", Relatives(namespaces));
}

bool TNamespace::ShowPropertySheet(const TNamespaceArray& namespaces) {
    if (!VerifyPIDLRelationship(namespaces)) return false;
    for (TNamespace* ns : namespaces)
        if (!ns->HasPropSheet()) return false;
    return ExecuteContextMenuVerb(u"properties", Relatives(namespaces));
}

std::shared_ptr<IDataObject> TNamespace::DataObjectMulti(const TNamespaceArray& namespaces) {
    ShellFolderPtr folder = ParentShellFolder();
    const std::vector<PCItemIDList> pidls = Relatives(namespaces);
    std::shared_ptr<IDataObject> data;
    if (!folder || pidls.empty() ||
        FAILED(folder->GetDataObject(pidls.data(), int(pidls.size()), &data)))
        return nullptr;
    return data;
}

// ---------------------------------------------------------------- other actions

bool TNamespace::SetNameOf(const WideString& newName) {
    if (!CanRename()) return false;
    ShellFolderPtr folder = ParentShellFolder();
    PItemIDList newRelative = nullptr;
    if (!folder ||
        FAILED(
            folder->SetNameOf(RelativePIDL(), WideToUtf8(newName), SHGDN_INFOLDER, &newRelative)) ||
        !newRelative)
        return false;
    TPIDLManager& pm = NamespacePIDLManager();
    const UniquePIDL relative(newRelative);
    const UniquePIDL parentPidl(parent_ ? pm.CopyPIDL(parent_->AbsolutePIDL())
                                        : ParentAbsolutePIDL().release());
    UniquePIDL fresh(pm.AppendPIDL(parentPidl.get(), relative.get()));
    if (!fresh) return false;
    ReplaceAbsolutePIDL(std::move(fresh));
    InvalidateRelativePIDL();
    InvalidateNamespace(true);
    return true;
}

bool TNamespace::ShellExecuteNamespace(const WideString& workingDir,
                                       const WideString& cmdLineArguments, bool executeFolder,
                                       bool executeFolderShortCut) {
    if (!executeFolder && Folder()) return false;
    if (!executeFolderShortCut && Link()) {
        TShellLink link;
        // Only a target with a full path: a bare program name or an address
        // must not be taken for a folder of the working directory.
        if (link.ReadLink(NameParseAddress())) {
            const std::string target = WideToUtf8(link.TargetPath);
            if (!target.empty() && target[0] == '/' && DirectoryExists(target)) return false;
        }
    }
    SHELLEXECUTEINFO info;
    info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS;
    info.lpIDList = AbsolutePIDL();
    info.lpParameters = WideToUtf8(cmdLineArguments);
    const std::string dir = WideToUtf8(workingDir);
    info.lpDirectory = DirectoryExists(dir) ? dir : ExtractFileDir(WideToUtf8(NameParseAddress()));
    info.nShow = 1;
    return ShellExecuteEx(info) && info.hInstApp > 32;
}

std::shared_ptr<IDropTarget> TNamespace::DropTargetObject() {
    ActionObjects& actions = Actions();
    if (!actions.dropTarget) {
        ShellFolderPtr folder = ParentShellFolder();
        if (folder) folder->GetDropTarget(RelativePIDL(), &actions.dropTarget);
    }
    return actions.dropTarget;
}

HRESULT TNamespace::DragEnter(IDataObject* data, uint32_t keyState, ShellPoint pt,
                              uint32_t& effect) {
    auto target = DropTarget() ? DropTargetObject() : nullptr;
    if (!target) {
        effect = DROPEFFECT_NONE;
        return DRAGDROP_S_NOTHANDLED;
    }
    return target->DragEnter(data, keyState, pt, &effect);
}

HRESULT TNamespace::DragOver(uint32_t keyState, ShellPoint pt, uint32_t& effect) {
    auto target = DropTarget() ? DropTargetObject() : nullptr;
    if (!target) {
        effect = DROPEFFECT_NONE;
        return DRAGDROP_S_NOTHANDLED;
    }
    return target->DragOver(keyState, pt, &effect);
}

HRESULT TNamespace::DragLeave() {
    auto target = DropTarget() ? DropTargetObject() : nullptr;
    return target ? target->DragLeave() : DRAGDROP_S_NOTHANDLED;
}

HRESULT TNamespace::Drop(IDataObject* data, uint32_t keyState, ShellPoint pt, uint32_t& effect) {
    auto target = DropTarget() ? DropTargetObject() : nullptr;
    if (!target) {
        effect = DROPEFFECT_NONE;
        return DRAGDROP_S_NOTHANDLED;
    }
    return target->Drop(data, keyState, pt, &effect);
}

void TNamespace::ReplacePIDLFromParent(bool folders, bool nonFolders, bool includeHidden) {
    if (!parent_) return;
    ShellFolderPtr folder = parent_->ShellFolder();
    if (!folder) return;
    uint32_t flags = 0;
    if (folders) flags |= SHCONTF_FOLDERS;
    if (nonFolders) flags |= SHCONTF_NONFOLDERS;
    if (includeHidden) flags |= SHCONTF_INCLUDEHIDDEN;
    std::unique_ptr<IEnumIDList> list;
    if (FAILED(folder->EnumObjects(flags, &list)) || !list) return;
    TPIDLManager& pm = NamespacePIDLManager();
    for (PItemIDList next = nullptr; list->Next(&next) == S_OK;) {
        const UniquePIDL child(next);
        if ((folder->CompareIDs(0, child.get(), RelativePIDL()) & 0xFFFF) == 0) {
            UniquePIDL fresh(pm.AppendPIDL(parent_->AbsolutePIDL(), child.get()));
            if (!fresh) return;
            ReplaceAbsolutePIDL(std::move(fresh));
            InvalidateNamespace(true);
            return;
        }
    }
}

} // namespace ax
