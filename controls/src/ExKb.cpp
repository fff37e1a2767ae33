// Loading the optional keyboard-monitor library and registering windows
// with it; without the library every call answers that it is not there.
// GUI thread only.
#include "controls/ExKb.h"

#include <algorithm>
#include <vector>

namespace ax {

std::string MonitorDLLName = "ExKbMon.dll";

namespace {

using RegisterFn = UINT (*)(HWND);
using DeregisterFn = void (*)(HWND);

struct Monitor {
    HMODULE library = 0;
    RegisterFn registerHook = nullptr;
    DeregisterFn deregisterHook = nullptr;
    std::vector<HWND> windows; // registered, in order
};

Monitor& M() {
    static Monitor monitor;
    return monitor;
}

} // namespace

bool MonitorDLLLoaded() { return M().library != 0; }

bool LoadMonitorDLL() {
    UnloadMonitorDLL();
    Monitor& m = M();
    const unsigned oldMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    const HMODULE library = LoadLibrary(MonitorDLLName);
    SetErrorMode(oldMode);
    if (!library) return false;
    auto* reg = reinterpret_cast<RegisterFn>(GetProcAddress(library, "RegisterKeyboardHook"));
    auto* dereg = reinterpret_cast<DeregisterFn>(GetProcAddress(library, "DeregisterKeyboardHook"));
    if (!reg || !dereg) {
        FreeLibrary(library);
        return false;
    }
    m.library = library;
    m.registerHook = reg;
    m.deregisterHook = dereg;
    return true;
}

void UnloadMonitorDLL() {
    Monitor& m = M();
    if (!m.library) return;
    for (auto it = m.windows.rbegin(); it != m.windows.rend(); ++it) m.deregisterHook(*it);
    m.windows.clear();
    if (FreeLibrary(m.library)) {
        m.library = 0;
        m.registerHook = nullptr;
        m.deregisterHook = nullptr;
    }
}

UINT RegisterWithMonitor(HWND window) {
    Monitor& m = M();
    if (!m.library) return 0;
    const UINT message = m.registerHook(window);
    if (std::find(m.windows.begin(), m.windows.end(), window) == m.windows.end()) m.windows.push_back(window);
    return message;
}

void DeregisterFromMonitor(HWND window) {
    Monitor& m = M();
    if (!m.library) return;
    auto it = std::find(m.windows.begin(), m.windows.end(), window);
    if (it == m.windows.end()) return;
    m.deregisterHook(window);
    m.windows.erase(it);
}

} // namespace ax
