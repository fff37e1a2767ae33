#pragma once
// The X11 side of the notification area: one connection of its own (on its
// own thread), one XEmbed client window per icon, docked with the system
// tray when one exists or as soon as one appears.
#include "platform/window/types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ax::wm {

struct TrayPicture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // ARGB, top-down
};

class TrayX11 {
public:
    // nullptr when no X server answers.
    static std::unique_ptr<TrayX11> Open();
    virtual ~TrayX11() = default;
    virtual void Add(HWND hwnd, UINT id, UINT callback, const std::string& tip, const TrayPicture& picture) = 0;
    virtual void Modify(HWND hwnd, UINT id, UINT callback, const std::string& tip,
                        const TrayPicture& picture) = 0;
    virtual void Remove(HWND hwnd, UINT id) = 0;
    virtual unsigned long NativeWindow(HWND hwnd, UINT id) = 0;
    virtual bool Docked(HWND hwnd, UINT id) = 0;
    virtual unsigned long TipWindow(HWND hwnd, UINT id) = 0;
};

} // namespace ax::wm
