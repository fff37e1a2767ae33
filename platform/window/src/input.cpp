// Input: raw display events, their translation into mouse and key messages
// on the retrieving thread, key state, focus, activation, capture, cursor
// and caret.
#include "driver.h"
#include "platform/gdi/image.h"
#include "scan_codes.h"
#include "wm.h"

#include <cstdlib>

namespace ax {

using namespace wm;

namespace {

constexpr UINT kDoubleClickMs = 500;

// The generic key a message names for a left or right key.
UINT GenericKey(UINT vk) {
    switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
        return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
        return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
        return VK_MENU;
    default:
        return vk;
    }
}

bool IsLockKey(UINT vk) {
    return vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL;
}

WPARAM ModifiersLocked(const std::array<uint8_t, 256>& k) {
    WPARAM m = 0;
    if (k[VK_LBUTTON] & 0x80) m |= MK_LBUTTON;
    if (k[VK_RBUTTON] & 0x80) m |= MK_RBUTTON;
    if (k[VK_MBUTTON] & 0x80) m |= MK_MBUTTON;
    if (k[VK_SHIFT] & 0x80) m |= MK_SHIFT;
    if (k[VK_CONTROL] & 0x80) m |= MK_CONTROL;
    return m;
}

UINT ButtonVk(MouseButton b) {
    return b == MouseButton::Left ? VK_LBUTTON : b == MouseButton::Right ? VK_RBUTTON : VK_MBUTTON;
}

UINT ButtonMessage(MouseButton b, bool down) {
    const UINT base = b == MouseButton::Left    ? WM_LBUTTONDOWN
                      : b == MouseButton::Right ? WM_RBUTTONDOWN
                                                : WM_MBUTTONDOWN;
    return down ? base : base + 1;
}

// Under the mutex: the queue that gets a mouse event at pt.
std::shared_ptr<ThreadQueue> MouseQueueLocked(POINT pt) AX_REQUIRES(managerMutex) {
    if (auto c = FindLocked(M().capture)) return c->queue;
    // While a button is held the window pressed keeps the mouse, as a
    // display's grab does: a move queued before its thread took the press
    // (and set its capture) is not lost over the desktop.
    if (auto p = FindLocked(M().pressTop)) return p->queue;
    if (HWND top = TopLevelAtLocked(pt)) return FindLocked(top)->queue;
    return nullptr;
}

bool AnyButtonDownLocked() AX_REQUIRES(managerMutex) {
    const auto& a = M().asyncKeys;
    return ((a[VK_LBUTTON] | a[VK_RBUTTON] | a[VK_MBUTTON]) & 0x80) != 0;
}

std::shared_ptr<ThreadQueue> KeyQueueLocked() AX_REQUIRES(managerMutex) {
    if (auto f = FindLocked(M().focus)) return f->queue;
    if (auto a = FindLocked(M().active)) return a->queue;
    return nullptr;
}

void PushRaw(RawInput r) {
    std::shared_ptr<ThreadQueue> q;
    {
        LockGuard g;
        q = r.kind == RawInput::Key ? KeyQueueLocked() : MouseQueueLocked(r.pt);
        if (r.kind == RawInput::Wheel) q = KeyQueueLocked();
        if (r.kind == RawInput::Button) {
            // The first press picks the window; the last release lets go.
            if (r.down && !M().pressTop) M().pressTop = TopLevelAtLocked(r.pt);
            if (!AnyButtonDownLocked()) M().pressTop = nullptr;
        }
        if (!q || !q->alive) return;
        if (r.kind == RawInput::Move && !q->raw.empty() && q->raw.back().kind == RawInput::Move)
            q->raw.back() = r; // moves coalesce, as on a real display
        else
            q->raw.push_back(r);
    }
    Wake(*q);
}

void Deliver(HWND hwnd, const QueuedMessage& m) {
    std::shared_ptr<ThreadQueue> q;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return;
        q = w->queue;
        q->input.push_back(m);
    }
    Wake(*q);
}

void ActivateLocked(HWND top, WORD how);

void CookMouse(const RawInput& r) {
    HWND target = nullptr;
    LRESULT hit = HTCLIENT;
    bool captured = false;
    {
        LockGuard g;
        if (FindLocked(M().capture)) {
            target = M().capture;
            captured = true;
        }
    }
    if (r.kind == RawInput::Wheel) {
        HWND f = GetFocus();
        if (!f) f = GetActiveWindow();
        if (!f) return;
        Deliver(f, {MSG{f, WM_MOUSEWHEEL, MAKEWPARAM(int(r.modifiers), r.delta),
                        MAKELPARAM(r.pt.x, r.pt.y), r.time, r.pt},
                    0});
        return;
    }
    if (!captured) {
        HWND top;
        {
            LockGuard g;
            top = TopLevelAtLocked(r.pt);
        }
        if (!top) return;
        target = DeepestWindowAt(top, r.pt);
        if (!target) return;
        for (;;) {
            hit = SendMessage(target, WM_NCHITTEST, 0, MAKELPARAM(r.pt.x, r.pt.y));
            HWND parent = GetAncestor(target, GA_PARENT);
            if (hit != HTTRANSPARENT || !parent || parent == GetDesktopWindow()) break;
            target = parent;
        }
        // A disabled window, or one inside a disabled (modal-blocked) top-level, gets nothing.
        for (HWND h = target; h && h != GetDesktopWindow(); h = GetAncestor(h, GA_PARENT))
            if (!IsWindowEnabled(h)) {
                if (r.kind == RawInput::Button && r.down) SetCursor(LoadCursor(0, IDC_ARROW));
                return;
            }
    }
    UINT msg = r.kind == RawInput::Move ? WM_MOUSEMOVE : ButtonMessage(r.button, r.down);
    const bool client = captured || hit == HTCLIENT;
    if (!client) msg = msg - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
    const bool down = r.kind == RawInput::Button && r.down;
    if (down) {
        std::shared_ptr<Window> w = Find(target);
        if (!w) return;
        LockGuard g;
        auto& lc = M().lastClick;
        const bool near = std::abs(r.pt.x - lc.pt.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                          std::abs(r.pt.y - lc.pt.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
        const bool allowed = !client || (w->cls->wc.style & CS_DBLCLKS);
        if (lc.hwnd == target && lc.msg == msg && r.time - lc.time <= kDoubleClickMs && near &&
            allowed) {
            msg += 2;
            lc = {};
        } else {
            lc = {target, msg, r.time, r.pt};
        }
    }
    bool eat = false;
    if (down && !captured) {
        HWND top = GetAncestor(target, GA_ROOT);
        auto tw = Find(top);
        if (tw && top != GetActiveWindow() && !(ExStyleOf(*tw) & WS_EX_NOACTIVATE)) {
            const UINT plain = msg >= WM_MOUSEMOVE ? msg : msg - WM_NCMOUSEMOVE + WM_MOUSEMOVE;
            const LRESULT ma = SendMessage(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top),
                                           MAKELPARAM(int(hit), int(plain)));
            if (ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT) ActivateLocked(top, WA_CLICKACTIVE);
            eat = ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT;
        }
    }
    if (!captured && (r.kind == RawInput::Move || down)) {
        const UINT plain = msg >= WM_MOUSEMOVE ? msg : msg - WM_NCMOUSEMOVE + WM_MOUSEMOVE;
        SendMessage(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                    MAKELPARAM(int(hit), int(plain)));
    }
    if (eat || !IsWindow(target)) return;
    QueuedMessage m;
    m.msg.hwnd = target;
    m.msg.message = msg;
    m.msg.time = r.time;
    m.msg.pt = r.pt;
    if (client) {
        POINT c = r.pt;
        ScreenToClient(target, c);
        m.msg.wParam = r.modifiers;
        m.msg.lParam = MAKELPARAM(c.x, c.y);
    } else {
        m.msg.wParam = static_cast<WPARAM>(hit);
        m.msg.lParam = MAKELPARAM(r.pt.x, r.pt.y);
    }
    Deliver(target, m);
}

void CookKey(const RawInput& r) {
    HWND target = GetFocus();
    const bool noFocus = target == nullptr;
    if (noFocus) target = GetActiveWindow();
    if (!target) return;
    const bool alt = r.keyData & (LPARAM(1) << 29);
    const bool sys = alt || noFocus || r.vk == VK_F10 || GenericKey(r.vk) == VK_MENU;
    const bool up = r.keyData & (LPARAM(1) << 31);
    const UINT msg = sys ? (up ? WM_SYSKEYUP : WM_SYSKEYDOWN) : (up ? WM_KEYUP : WM_KEYDOWN);
    Deliver(target, {MSG{target, msg, GenericKey(r.vk), r.keyData, r.time, r.pt}, r.ch});
}

void ActivateLocked(HWND top, WORD how) {
    HWND old = GetActiveWindow();
    if (old == top) return;
    HWND oldFocus = GetFocus();
    {
        LockGuard g;
        M().active = top;
    }
    if (oldFocus && (!top || GetAncestor(oldFocus, GA_ROOT) != top)) {
        {
            LockGuard g;
            M().focus = nullptr;
        }
        SendMessage(oldFocus, WM_KILLFOCUS, 0, 0);
    }
    if (old && IsWindow(old)) {
        SendMessage(old, WM_NCACTIVATE, FALSE, 0);
        SendMessage(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old) ? 1 : 0),
                    reinterpret_cast<LPARAM>(top));
    }
    if ((old == nullptr) != (top == nullptr)) {
        const BOOL activeApp = top != nullptr;
        for (HWND h : EnumWindows()) {
            if (!IsWindowVisible(h) && h != top) continue;
            SendMessage(h, WM_ACTIVATEAPP, activeApp, 0);
        }
    }
    if (top) {
        SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        SendMessage(top, WM_NCACTIVATE, TRUE, 0);
        SendMessage(top, WM_ACTIVATE, MAKEWPARAM(how, IsIconic(top) ? 1 : 0),
                    reinterpret_cast<LPARAM>(old));
        Driver().Focused(top);
        TellInputMethod();
    }
}

} // namespace

void wm::CookRawInput(ThreadQueue& q) {
    for (;;) {
        RawInput r;
        {
            // One event at a time: its messages are read before the next one
            // is turned into messages, as the platform serialises input.
            LockGuard g;
            if (q.raw.empty() || !q.input.empty()) return;
            r = q.raw.front();
            q.raw.pop_front();
        }
        if (r.kind == RawInput::Key)
            CookKey(r);
        else
            CookMouse(r);
    }
}

void wm::UpdateKeyStateOnRetrieve(const MSG& msg) {
    LockGuard g;
    auto& k = M().keys;
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        const UINT vk = static_cast<UINT>(msg.wParam) & 0xFF;
        const bool alt = vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU;
        if (!alt)
            M().altAlone = false;
        else if (!(k[vk] & 0x80))
            M().altAlone = true;
        M().altTap = false;
        if (!(k[vk] & 0x80) && IsLockKey(vk)) k[vk] ^= 1;
        k[vk] |= 0x80;
        break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        const UINT vk = static_cast<UINT>(msg.wParam) & 0xFF;
        if (vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU) {
            M().altTap = M().altAlone;
            M().altAlone = false;
        }
        k[vk] &= ~0x80;
        break;
    }
    default:
        if ((msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) ||
            (msg.message >= WM_NCMOUSEMOVE && msg.message <= WM_NCMBUTTONDBLCLK)) {
            if (msg.message != WM_MOUSEMOVE && msg.message != WM_NCMOUSEMOVE) M().altAlone = false;
            // Button state follows the event: client messages carry it in
            // their MK_ flags; non-client ones take the async state.
            const bool client = msg.message >= WM_MOUSEFIRST;
            const auto& a = M().asyncKeys;
            const WPARAM mk = LOWORD(msg.wParam);
            const struct {
                UINT vk;
                WPARAM flag;
            } buttons[] = {
                {VK_LBUTTON, MK_LBUTTON}, {VK_RBUTTON, MK_RBUTTON}, {VK_MBUTTON, MK_MBUTTON}};
            for (const auto& b : buttons) {
                const bool down = client ? (mk & b.flag) != 0 : (a[b.vk] & 0x80) != 0;
                k[b.vk] = down ? (k[b.vk] | 0x80) : (k[b.vk] & ~0x80);
            }
        }
        break;
    }
}

void wm::ForgetWindow(HWND hwnd) {
    HWND capture = GetCapture();
    if (capture && (capture == hwnd || IsChild(hwnd, capture))) ReleaseCapture();
    HWND focus = GetFocus();
    const bool top = GetAncestor(hwnd, GA_ROOT) == hwnd;
    if (GetActiveWindow() == hwnd) {
        HWND next = nullptr;
        HWND owner = GetWindow(hwnd, GW_OWNER);
        if (owner && IsWindowVisible(owner) && IsWindowEnabled(owner)) next = owner;
        if (!next)
            for (HWND h : EnumWindows()) {
                auto w = Find(h);
                if (h == hwnd || !w) continue;
                const DWORD style = StyleOf(*w);
                if ((style & WS_VISIBLE) && !(style & WS_DISABLED) &&
                    !(ExStyleOf(*w) & WS_EX_NOACTIVATE)) {
                    next = h;
                    break;
                }
            }
        ActivateLocked(next, WA_ACTIVE);
    } else if (!top && focus && (focus == hwnd || IsChild(hwnd, focus))) {
        SetFocus(nullptr);
    }
}

// Raw input.

void InjectMouseMove(int x, int y) {
    RawInput r;
    r.kind = RawInput::Move;
    r.pt = {x, y};
    r.time = Now();
    {
        LockGuard g;
        M().cursorPos = r.pt;
        r.modifiers = ModifiersLocked(M().asyncKeys);
    }
    PushRaw(r);
}

void InjectMouseButton(MouseButton button, bool down) {
    RawInput r;
    r.kind = RawInput::Button;
    r.button = button;
    r.down = down;
    r.time = Now();
    {
        LockGuard g;
        auto& k = M().asyncKeys[ButtonVk(button)];
        k = down ? (k | 0x80) : (k & ~0x80);
        r.pt = M().cursorPos;
        r.modifiers = ModifiersLocked(M().asyncKeys);
    }
    PushRaw(r);
}

void InjectClick(MouseButton button, int x, int y) {
    InjectMouseMove(x, y);
    InjectMouseButton(button, true);
    InjectMouseButton(button, false);
}

void InjectDoubleClick(MouseButton button, int x, int y) {
    InjectClick(button, x, y);
    InjectMouseButton(button, true);
    InjectMouseButton(button, false);
}

void InjectMouseWheel(int delta) {
    RawInput r;
    r.kind = RawInput::Wheel;
    r.delta = delta;
    r.time = Now();
    {
        LockGuard g;
        r.pt = M().cursorPos;
        r.modifiers = ModifiersLocked(M().asyncKeys);
    }
    PushRaw(r);
}

void InjectKey(UINT vk, bool down, char32_t ch) {
    vk &= 0xFF;
    RawInput r;
    r.kind = RawInput::Key;
    r.vk = vk;
    r.down = down;
    r.ch = down ? ch : 0;
    r.time = Now();
    {
        LockGuard g;
        auto& a = M().asyncKeys;
        const UINT generic = GenericKey(vk);
        const bool wasDown = a[generic] & 0x80;
        if (down && !wasDown && IsLockKey(vk)) a[vk] ^= 1;
        for (UINT k : {vk, generic})
            a[k] = down ? (a[k] | 0x80) : (a[k] & ~0x80);
        if (vk == VK_SHIFT) a[VK_LSHIFT] = a[VK_SHIFT] & 0x80;
        if (vk == VK_CONTROL) a[VK_LCONTROL] = a[VK_CONTROL] & 0x80;
        if (vk == VK_MENU) a[VK_LMENU] = a[VK_MENU] & 0x80;
        const ScanCode sc = ScanOf(vk);
        LPARAM data = 1 | (LPARAM(sc.code) << 16);
        if (sc.extended) data |= LPARAM(1) << 24;
        const bool alt = a[VK_MENU] & 0x80;
        // The context bit: ALT held after this event.
        if (alt) data |= LPARAM(1) << 29;
        if (!down || wasDown) data |= LPARAM(1) << 30;
        if (!down) data |= LPARAM(1) << 31;
        r.keyData = static_cast<LPARAM>(static_cast<int32_t>(static_cast<uint32_t>(data)));
        r.pt = M().cursorPos;
    }
    PushRaw(r);
}

void InjectKeyStroke(UINT vk, char32_t ch) {
    InjectKey(vk, true, ch);
    InjectKey(vk, false);
}

// Focus, activation, capture.

HWND SetFocus(HWND hwnd) {
    if (hwnd && !IsWindow(hwnd)) return nullptr;
    if (hwnd) {
        HWND top = GetAncestor(hwnd, GA_ROOT);
        if (top != GetActiveWindow()) ActivateLocked(top, WA_ACTIVE);
        if (!IsWindow(hwnd)) return nullptr;
    }
    HWND old;
    {
        LockGuard g;
        old = M().focus;
        if (old == hwnd) return old;
        M().focus = hwnd;
    }
    if (old && IsWindow(old)) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    TellInputMethod();
    if (hwnd && GetFocus() == hwnd)
        SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() {
    LockGuard g;
    return FindLocked(M().focus) ? M().focus : nullptr;
}

HWND SetActiveWindow(HWND hwnd) {
    HWND old = GetActiveWindow();
    if (hwnd) {
        hwnd = GetAncestor(hwnd, GA_ROOT);
        auto w = Find(hwnd);
        if (!w || w->messageOnly) return nullptr;
    }
    ActivateLocked(hwnd, WA_ACTIVE);
    return old;
}

HWND GetActiveWindow() {
    LockGuard g;
    return FindLocked(M().active) ? M().active : nullptr;
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (!IsWindow(hwnd)) return FALSE;
    SetActiveWindow(hwnd);
    Driver().Raised(GetAncestor(hwnd, GA_ROOT));
    return TRUE;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}

HWND SetCapture(HWND hwnd) {
    HWND old;
    {
        LockGuard g;
        if (hwnd && !FindLocked(hwnd)) return nullptr;
        old = FindLocked(M().capture) ? M().capture : nullptr;
        M().capture = hwnd;
    }
    if (old && old != hwnd) SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL ReleaseCapture() {
    HWND old;
    {
        LockGuard g;
        old = FindLocked(M().capture) ? M().capture : nullptr;
        M().capture = nullptr;
    }
    if (old) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    LockGuard g;
    return FindLocked(M().capture) ? M().capture : nullptr;
}

// Cursor and key state.

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR old;
    {
        LockGuard g;
        old = M().cursor;
        if (old == cursor) return old;
        M().cursor = cursor;
    }
    Driver().SetCursor(cursor);
    return old;
}

HCURSOR GetCursor() {
    LockGuard g;
    return M().cursor;
}

BOOL GetCursorPos(POINT& pt) {
    LockGuard g;
    pt = M().cursorPos;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    InjectMouseMove(x, y);
    return TRUE;
}

SHORT GetKeyState(int vk) {
    LockGuard g;
    const uint8_t k = M().keys[static_cast<uint8_t>(vk)];
    return static_cast<SHORT>(((k & 0x80) ? 0xFF80 : 0) | (k & 1));
}

SHORT GetAsyncKeyState(int vk) {
    LockGuard g;
    return (M().asyncKeys[static_cast<uint8_t>(vk)] & 0x80) ? static_cast<SHORT>(0x8000) : 0;
}

UINT GetDoubleClickTime() {
    return kDoubleClickMs;
}

// Caret.

BOOL CreateCaret(HWND hwnd, int width, int height) {
    if (!IsWindow(hwnd)) return FALSE;
    DestroyCaret();
    LockGuard g;
    M().caret = Caret{hwnd, {0, 0}, {std::max(1, width), std::max(1, height)}, 1, false};
    return TRUE;
}

BOOL DestroyCaret() {
    PaintCaret(false);
    LockGuard g;
    M().caret = Caret{};
    return TRUE;
}

BOOL ShowCaret(HWND hwnd) {
    {
        LockGuard g;
        auto& c = M().caret;
        if (!c.hwnd || (hwnd && hwnd != c.hwnd) || c.hideCount == 0) return FALSE;
        if (--c.hideCount > 0) return TRUE;
    }
    PaintCaret(true);
    return TRUE;
}

BOOL HideCaret(HWND hwnd) {
    {
        LockGuard g;
        auto& c = M().caret;
        if (!c.hwnd || (hwnd && hwnd != c.hwnd)) return FALSE;
        ++c.hideCount;
    }
    PaintCaret(false);
    return TRUE;
}

BOOL SetCaretPos(int x, int y) {
    bool shown;
    {
        LockGuard g;
        if (!M().caret.hwnd) return FALSE;
        shown = M().caret.hideCount == 0;
    }
    PaintCaret(false);
    {
        LockGuard g;
        M().caret.pos = {x, y};
    }
    if (shown) PaintCaret(true);
    return TRUE;
}

BOOL GetCaretPos(POINT& pt) {
    LockGuard g;
    if (!M().caret.hwnd) return FALSE;
    pt = M().caret.pos;
    return TRUE;
}

} // namespace ax
