// The notification area: the icons' records, the call log, and the X11
// side when the display is X11.
#include "platform/window/tray.h"

#include "platform/gdi/image.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "tray_x11.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace ax {

namespace {

constexpr size_t kMaxCalls = 256;

struct TrayState {
    std::mutex mutex;
    std::deque<TrayCall> calls;
    std::vector<TrayIconState> icons;
    // Made on the first icon added on X11, gone with the last icon.
    std::unique_ptr<wm::TrayX11> x11;
};

TrayState& S() {
    static auto* state = new TrayState; // outlives every static user
    return *state;
}

std::string TipOf(const NOTIFYICONDATA& d) {
    return std::string(d.szTip, strnlen(d.szTip, sizeof d.szTip));
}

wm::TrayPicture PictureOf(HICON icon) {
    wm::TrayPicture p;
    if (icon && !GetIconPixels(icon, &p.width, &p.height, &p.pixels)) p = {};
    return p;
}

void Log(DWORD message, const NOTIFYICONDATA& data, BOOL result) {
    TrayState& s = S();
    if (s.calls.size() == kMaxCalls) s.calls.pop_front();
    s.calls.push_back({message, data, result});
}

} // namespace

BOOL Shell_NotifyIconA(DWORD message, const NOTIFYICONDATA* data) {
    if (!data) return FALSE;
    TrayState& s = S();
    // The picture is read before the lock: the drawing layer has its own.
    const wm::TrayPicture picture = (data->uFlags & NIF_ICON) ? PictureOf(data->hIcon) : wm::TrayPicture{};
    std::unique_ptr<wm::TrayX11> closing; // ended outside the lock
    std::unique_lock<std::mutex> lock(s.mutex);
    auto it = std::find_if(s.icons.begin(), s.icons.end(),
                           [&](const TrayIconState& i) { return i.hWnd == data->hWnd && i.uID == data->uID; });
    BOOL ok = FALSE;
    const bool valid = data->cbSize == 88 && IsWindow(data->hWnd);
    auto apply = [&](TrayIconState& icon) {
        if (data->uFlags & NIF_MESSAGE) icon.callbackMessage = data->uCallbackMessage;
        if (data->uFlags & NIF_TIP) icon.tip = TipOf(*data);
        if (data->uFlags & NIF_ICON) {
            icon.width = picture.width;
            icon.height = picture.height;
            icon.pixels = picture.pixels;
        }
    };
    auto current = [](const TrayIconState& icon) {
        return wm::TrayPicture{icon.width, icon.height, icon.pixels};
    };
    switch (message) {
    case NIM_ADD:
        if (valid && it == s.icons.end()) {
            TrayIconState icon;
            icon.hWnd = data->hWnd;
            icon.uID = data->uID;
            apply(icon);
            if (!s.x11 && ActiveDisplay() == DisplayKind::X11) s.x11 = wm::TrayX11::Open();
            if (s.x11) s.x11->Add(icon.hWnd, icon.uID, icon.callbackMessage, icon.tip, current(icon));
            s.icons.push_back(std::move(icon));
            ok = TRUE;
        }
        break;
    case NIM_MODIFY:
        if (valid && it != s.icons.end()) {
            apply(*it);
            if (s.x11) s.x11->Modify(it->hWnd, it->uID, it->callbackMessage, it->tip, current(*it));
            ok = TRUE;
        }
        break;
    case NIM_DELETE:
        // A window already gone may still take its icon away.
        if (data->cbSize == 88 && it != s.icons.end()) {
            if (s.x11) s.x11->Remove(it->hWnd, it->uID);
            s.icons.erase(it);
            if (s.icons.empty()) closing = std::move(s.x11);
            ok = TRUE;
        }
        break;
    default: break;
    }
    Log(message, *data, ok);
    lock.unlock();
    return ok;
}

std::vector<TrayCall> TakeTrayCalls() {
    TrayState& s = S();
    std::lock_guard<std::mutex> g(s.mutex);
    std::vector<TrayCall> out(s.calls.begin(), s.calls.end());
    s.calls.clear();
    return out;
}

std::vector<TrayIconState> TrayIcons() {
    TrayState& s = S();
    std::lock_guard<std::mutex> g(s.mutex);
    return s.icons;
}

BOOL InjectTrayMouse(HWND hWnd, UINT uID, UINT mouseMessage) {
    UINT callback = 0;
    {
        TrayState& s = S();
        std::lock_guard<std::mutex> g(s.mutex);
        auto it = std::find_if(s.icons.begin(), s.icons.end(),
                               [&](const TrayIconState& i) { return i.hWnd == hWnd && i.uID == uID; });
        if (it == s.icons.end() || !it->callbackMessage) return FALSE;
        callback = it->callbackMessage;
    }
    return PostMessage(hWnd, callback, uID, LPARAM(mouseMessage));
}

unsigned long TrayIconNativeWindow(HWND hWnd, UINT uID) {
    TrayState& s = S();
    std::lock_guard<std::mutex> g(s.mutex);
    return s.x11 ? s.x11->NativeWindow(hWnd, uID) : 0;
}

bool TrayIconDocked(HWND hWnd, UINT uID) {
    TrayState& s = S();
    std::lock_guard<std::mutex> g(s.mutex);
    return s.x11 && s.x11->Docked(hWnd, uID);
}

unsigned long TrayTipNativeWindow(HWND hWnd, UINT uID) {
    TrayState& s = S();
    std::lock_guard<std::mutex> g(s.mutex);
    return s.x11 ? s.x11->TipWindow(hWnd, uID) : 0;
}

} // namespace ax
