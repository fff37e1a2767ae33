// System menus, kept per window only once a caller asks for one: a window
// whose menu nobody touched allows every command.
#include "platform/window/sysmenu.h"

#include <map>
#include <mutex>
#include <vector>

#include "platform/window/constants.h"
#include "platform/window/window.h"
#include "sysmenu_state.h"

namespace ax {

namespace {

// A system menu handle is its window's handle with this bit set, so it is
// never mistaken for the menu values the framework gives its menu bars.
constexpr uintptr_t kSystemMenuBit = uintptr_t(1) << 30;

struct Item {
    UINT command = 0; // 0: the separator
    UINT state = MF_ENABLED;
};

std::vector<Item> DefaultItems() {
    return {{UINT(SC_RESTORE)}, {UINT(SC_MOVE)},  {UINT(SC_SIZE)}, {UINT(SC_MINIMIZE)},
            {UINT(SC_MAXIMIZE)}, {0, MF_SEPARATOR}, {UINT(SC_CLOSE)}};
}

struct Menus {
    std::mutex mutex;
    std::map<HWND, std::vector<Item>> byWindow;
};

Menus& State() {
    static Menus menus;
    return menus;
}

HWND WindowOf(HMENU menu) {
    const auto value = reinterpret_cast<uintptr_t>(menu);
    if (!(value & kSystemMenuBit)) return nullptr;
    return reinterpret_cast<HWND>(value & ~kSystemMenuBit);
}

// The item an MF_BYCOMMAND or MF_BYPOSITION reference names, or end.
std::vector<Item>::iterator FindItem(std::vector<Item>& items, UINT item, UINT flags) {
    if (flags & MF_BYPOSITION) return item < items.size() ? items.begin() + item : items.end();
    for (auto it = items.begin(); it != items.end(); ++it)
        if (it->command == item && item != 0) return it;
    return items.end();
}

} // namespace

HMENU GetSystemMenu(HWND hwnd, BOOL revert) {
    if (!IsWindow(hwnd)) return nullptr;
    // Menus of windows that are gone are dropped on the way.
    std::vector<HWND> known;
    {
        std::lock_guard<std::mutex> g(State().mutex);
        for (const auto& [w, items] : State().byWindow) known.push_back(w);
    }
    std::vector<HWND> gone;
    for (HWND w : known)
        if (!IsWindow(w)) gone.push_back(w);
    std::lock_guard<std::mutex> g(State().mutex);
    for (HWND w : gone) State().byWindow.erase(w);
    if (revert) {
        State().byWindow.erase(hwnd);
        return nullptr;
    }
    if (!State().byWindow.count(hwnd)) State().byWindow[hwnd] = DefaultItems();
    return reinterpret_cast<HMENU>(reinterpret_cast<uintptr_t>(hwnd) | kSystemMenuBit);
}

int GetMenuItemCount(HMENU menu) {
    std::lock_guard<std::mutex> g(State().mutex);
    auto it = State().byWindow.find(WindowOf(menu));
    return it == State().byWindow.end() ? -1 : int(it->second.size());
}

UINT GetMenuItemID(HMENU menu, int position) {
    std::lock_guard<std::mutex> g(State().mutex);
    auto it = State().byWindow.find(WindowOf(menu));
    if (it == State().byWindow.end() || position < 0 || size_t(position) >= it->second.size()) return kMenuItemAbsent;
    return it->second[size_t(position)].command;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
    std::lock_guard<std::mutex> g(State().mutex);
    auto it = State().byWindow.find(WindowOf(menu));
    if (it == State().byWindow.end()) return kMenuItemAbsent;
    auto found = FindItem(it->second, item, flags);
    return found == it->second.end() ? kMenuItemAbsent : found->state;
}

UINT EnableMenuItem(HMENU menu, UINT item, UINT enable) {
    std::lock_guard<std::mutex> g(State().mutex);
    auto it = State().byWindow.find(WindowOf(menu));
    if (it == State().byWindow.end()) return kMenuItemAbsent;
    auto found = FindItem(it->second, item, enable);
    if (found == it->second.end()) return kMenuItemAbsent;
    const UINT previous = found->state & (MF_GRAYED | MF_DISABLED);
    found->state = (found->state & MF_SEPARATOR) | (enable & (MF_GRAYED | MF_DISABLED));
    return previous;
}

BOOL DeleteMenu(HMENU menu, UINT item, UINT flags) {
    std::lock_guard<std::mutex> g(State().mutex);
    auto it = State().byWindow.find(WindowOf(menu));
    if (it == State().byWindow.end()) return FALSE;
    auto found = FindItem(it->second, item, flags);
    if (found == it->second.end()) return FALSE;
    it->second.erase(found);
    return TRUE;
}

namespace {

WindowMenuPresenter& Presenter() {
    static WindowMenuPresenter presenter;
    return presenter;
}

// The window commands follow the window's state and style each time the
// menu opens; what callers did to Close (and any item deleted) stays.
void GreyByState(HMENU menu, HWND hwnd) {
    const auto style = DWORD(GetWindowLongPtr(hwnd, GWL_STYLE));
    const bool minimised = IsIconic(hwnd), maximised = IsZoomed(hwnd);
    const struct {
        WPARAM command;
        bool enabled;
    } states[] = {
        {SC_RESTORE, minimised || maximised},
        {SC_MOVE, !maximised},
        {SC_SIZE, (style & WS_THICKFRAME) && !minimised && !maximised},
        {SC_MINIMIZE, (style & WS_MINIMIZEBOX) && !minimised},
        {SC_MAXIMIZE, (style & WS_MAXIMIZEBOX) && !maximised},
    };
    for (const auto& s : states)
        EnableMenuItem(menu, UINT(s.command), MF_BYCOMMAND | (s.enabled ? MF_ENABLED : MF_GRAYED));
}

} // namespace

void SetWindowMenuPresenter(WindowMenuPresenter presenter) { Presenter() = std::move(presenter); }

void TrackWindowMenu(HWND hwnd) {
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    if (!menu || !Presenter()) return;
    GreyByState(menu, hwnd);
    SendMessage(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
    // Below the caption icon: the frame's edge in, the caption's height down.
    RECT frame{};
    GetWindowRect(hwnd, frame);
    POINT client{0, 0};
    ClientToScreen(hwnd, client);
    const int edge = client.x - frame.left;
    const POINT at{frame.left + edge, frame.top + edge + GetSystemMetrics(SM_CYCAPTION)};
    const UINT command = Presenter()(hwnd, menu, at);
    if (command && IsWindow(hwnd) && wm::SystemCommandAllowed(hwnd, command))
        SendMessage(hwnd, WM_SYSCOMMAND, command, 0);
}

bool wm::SystemCommandAllowed(HWND hwnd, UINT cmd) {
    std::lock_guard<std::mutex> g(State().mutex);
    auto it = State().byWindow.find(hwnd);
    if (it == State().byWindow.end()) return true;
    auto found = FindItem(it->second, cmd, MF_BYCOMMAND);
    return found != it->second.end() && !(found->state & (MF_GRAYED | MF_DISABLED));
}

} // namespace ax
