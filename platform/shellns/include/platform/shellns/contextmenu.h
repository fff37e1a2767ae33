#pragma once
// The context-menu model: a menu of items (with sub-menus, owned by their
// item), and the interface through which a folder's items fill such a menu,
// name its verbs and carry one out.
#include "platform/ole/types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ax {

// Context-menu query flags (CMF) and command-string forms (GCS).
enum : uint32_t {
    CMF_NORMAL = 0x0,
    CMF_DEFAULTONLY = 0x1,
    CMF_EXPLORE = 0x4,
    CMF_CANRENAME = 0x10,
    CMF_EXTENDEDVERBS = 0x100,
    GCS_VERBA = 0x0,
    GCS_VERBW = 0x4,
};

// One menu of the context-menu model; sub-menus are owned by their item.
struct ShellMenu;
struct ShellMenuItem {
    uint32_t id = 0;
    std::u16string caption;
    bool separator = false;
    bool isDefault = false;
    bool checked = false;
    bool disabled = false;
    bool radio = false;
    int breakStyle = 0; // 0 none, 1 column break, 2 bar break
    std::shared_ptr<ShellMenu> subMenu;
    void* data = nullptr; // the application's reference, never read here
};
struct ShellMenu {
    std::vector<ShellMenuItem> items;
    bool rightToLeft = false;
    void Insert(size_t position, ShellMenuItem item);
    // The item with this id, searched through sub-menus; nullptr if none.
    const ShellMenuItem* FindId(uint32_t id) const;
    uint32_t HighestId() const;
};

struct CMINVOKECOMMANDINFO {
    // An integer verb (command offset) when verb is empty.
    uint32_t commandOffset = 0;
    std::string verb;
    uintptr_t window = 0;
    int showCommand = 1;
};

class IContextMenu {
public:
    virtual ~IContextMenu() = default;
    // Adds the items with ids idFirst + offset; answers the highest offset
    // used plus one in the low word of a success code.
    virtual HRESULT QueryContextMenu(ShellMenu& menu, uint32_t indexMenu, uint32_t idFirst,
                                     uint32_t idLast, uint32_t flags) = 0;
    virtual HRESULT GetCommandString(uint32_t commandOffset, uint32_t type, std::string* verb) = 0;
    virtual HRESULT InvokeCommand(const CMINVOKECOMMANDINFO& info) = 0;
};

} // namespace ax
