// Clipboard format names and the usual choice of a drop effect.
#include "platform/ole/ole.h"
#include "rtl/text.h"

#include <map>
#include <mutex>

namespace ax {
namespace {

struct FormatNames {
    std::mutex mutex;
    std::map<std::string, UINT> ids; // folded name -> id
    std::map<UINT, std::string> names;
    UINT next = 0xC000;
};

FormatNames& Names() {
    static FormatNames n;
    return n;
}

} // namespace

UINT RegisterClipboardFormat(std::string_view name) {
    if (name.empty()) return 0;
    FormatNames& n = Names();
    std::lock_guard<std::mutex> g(n.mutex);
    const std::string key = FoldCase(name);
    if (auto it = n.ids.find(key); it != n.ids.end()) return it->second;
    if (n.next > 0xFFFF) return 0;
    const UINT id = n.next++;
    n.ids[key] = id;
    n.names[id] = std::string(name);
    return id;
}

std::string GetClipboardFormatName(UINT format) {
    FormatNames& n = Names();
    std::lock_guard<std::mutex> g(n.mutex);
    auto it = n.names.find(format);
    return it == n.names.end() ? std::string() : it->second;
}

DWORD DropEffectFromKeyState(DWORD keyState, DWORD allowed, DWORD preferred) {
    const bool ctrl = keyState & MK_CONTROL, shift = keyState & MK_SHIFT;
    DWORD wanted;
    if ((ctrl && shift) || (keyState & MK_ALT))
        wanted = DROPEFFECT_LINK;
    else if (ctrl)
        wanted = DROPEFFECT_COPY;
    else if (shift)
        wanted = DROPEFFECT_MOVE;
    else {
        if (preferred & allowed & (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK))
            return preferred & allowed;
        for (DWORD e : {DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_LINK})
            if (allowed & e) return e;
        return DROPEFFECT_NONE;
    }
    return (allowed & wanted) ? wanted : DROPEFFECT_NONE;
}

} // namespace ax
