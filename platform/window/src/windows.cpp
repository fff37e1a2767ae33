// Classes, window creation and destruction, the procedure chain, styles,
// geometry, z-order, visibility and the default window procedure.
#include "driver.h"
#include "platform/gdi/image.h"
#include "platform/window/paintscope.h"
#include "platform/window/sysmenu.h"
#include "rtl/scopeguard.h"
#include "rtl/text.h"
#include "sysmenu_state.h"
#include "wm.h"

#include <cstring>
#include <utility>
#include <unistd.h>

namespace ax {

using namespace wm;

namespace {

std::string ClassKey(std::string_view name) {
    return LowerCase(name);
}

// The procedure chains being run on this thread, innermost first, so that
// DefSubclassProc knows where its caller stands. The frames live on the
// stack and link to the outer one; the head is a plain pointer, so it stays
// usable while the thread's other thread-local objects are torn down (a
// window destroyed at thread exit still runs its chain).
struct ChainFrame {
    HWND hwnd;
    std::vector<std::shared_ptr<SubclassEntry>> chain;
    WNDPROC base;
    size_t next = 0;
    ChainFrame* outer = nullptr;
};
thread_local ChainFrame* tlsChain = nullptr;

// The window whose next SetWindowPos carries a rectangle the display
// reported (ApplyDisplayRect), which is not sent back to it.
thread_local HWND tlsFromDisplay = nullptr;
// The window whose minimise or restore comes from the display (ApplyDisplayState):
// the display is not asked to do again what it did, maybe with a state it
// has left since.
thread_local HWND tlsStateFromDisplay = nullptr;

LRESULT RunFrom(ChainFrame& f, UINT msg, WPARAM wp, LPARAM lp) {
    const size_t start = f.next;
    size_t i = start;
    while (i < f.chain.size() && f.chain[i]->removed)
        ++i;
    LRESULT r;
    if (i < f.chain.size()) {
        f.next = i + 1;
        SUBCLASSPROC proc = f.chain[i]->proc; // the entry may remove itself
        r = proc(f.hwnd, msg, wp, lp);
    } else {
        f.next = f.chain.size();
        r = f.base ? f.base(f.hwnd, msg, wp, lp) : DefWindowProc(f.hwnd, msg, wp, lp);
    }
    f.next = start;
    return r;
}

void RecalcClient(HWND hwnd) {
    RECT r;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return;
        r = w->rect;
    }
    RECT windowRect = r;
    SendMessage(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r));
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return;
    RECT c = Clip(r, windowRect);
    if (EmptyRect(c)) c = {r.left, r.top, r.left, r.top};
    w->client = Shift(c, -windowRect.left, -windowRect.top);
    w->client.left = std::clamp(w->client.left, 0, windowRect.width());
    w->client.top = std::clamp(w->client.top, 0, windowRect.height());
    w->client.right = std::clamp(w->client.right, w->client.left, windowRect.width());
    w->client.bottom = std::clamp(w->client.bottom, w->client.top, windowRect.height());
}

// Makes owner own w (none: nobody), keeping both sides of the relation.
void SetOwnerLocked(Window& w, HWND owner) AX_REQUIRES(managerMutex) {
    if (Window* old = PeekLocked(w.owner)) std::erase(old->owned, w.hwnd);
    w.owner = nullptr;
    if (Window* now = PeekLocked(owner)) {
        now->owned.push_back(w.hwnd);
        w.owner = owner;
    }
}

std::vector<HWND>* SiblingsLocked(Window& w) AX_REQUIRES(managerMutex) {
    if (w.messageOnly) return &M().messageOnly;
    if (!w.parent) return &M().topLevels;
    auto p = FindLocked(w.parent);
    return p ? &p->children : nullptr;
}

// Places w among its siblings; topmost top-level windows stay in front.
// The first top-level window that is not topmost.
std::vector<HWND>::iterator FirstNormalLocked(std::vector<HWND>& levels) AX_REQUIRES(managerMutex) {
    auto it = levels.begin();
    for (; it != levels.end(); ++it) {
        auto x = FindLocked(*it);
        if (!x || !(x->exStyle & WS_EX_TOPMOST)) break;
    }
    return it;
}

void InsertZLocked(Window& w, HWND after) AX_REQUIRES(managerMutex) {
    auto* sib = SiblingsLocked(w);
    if (!sib) return;
    std::erase(*sib, w.hwnd);
    const bool top = sib == &M().topLevels;
    if (after == HWND_TOPMOST && top) w.exStyle |= WS_EX_TOPMOST;
    if (after == HWND_NOTOPMOST && top) w.exStyle &= ~WS_EX_TOPMOST;
    auto pos = sib->begin();
    if (after == HWND_BOTTOM) {
        pos = sib->end();
        if (top && (w.exStyle & WS_EX_TOPMOST)) pos = FirstNormalLocked(*sib);
    } else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        if (top && !(w.exStyle & WS_EX_TOPMOST)) pos = FirstNormalLocked(*sib);
    } else {
        auto it = std::find(sib->begin(), sib->end(), after);
        pos = it == sib->end() ? sib->begin() : it + 1;
        if (top) {
            auto firstNormal = FirstNormalLocked(*sib);
            if (w.exStyle & WS_EX_TOPMOST)
                pos = std::min(pos, firstNormal);
            else
                pos = std::max(pos, firstNormal);
        }
    }
    sib->insert(pos, w.hwnd);
    LayoutChangedLocked();
}

void FreeWindow(HWND hwnd) {
    std::vector<MSG> dropped;
    bool top = false;
    std::shared_ptr<IDropTarget> target; // released after the lock
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return;
        top = IsTopLevel(*w);
        const HWND root = RootLocked(hwnd);
        if (auto* sib = SiblingsLocked(*w)) std::erase(*sib, hwnd);
        LayoutChangedLocked();
        std::erase_if(M().timers, [&](const std::shared_ptr<Timer>& t) { return t->hwnd == hwnd; });
        auto& q = *w->queue;
        for (auto* dq : {&q.posted, &q.input}) {
            for (auto it = dq->begin(); it != dq->end();) {
                if (it->msg.hwnd == hwnd) {
                    if (dq == &q.posted) dropped.push_back(it->msg);
                    it = dq->erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (HWND o : w->owned)
            if (Window* other = PeekLocked(o); other && other->owner == hwnd)
                other->owner = nullptr;
        SetOwnerLocked(*w, nullptr);
        if (M().caret.hwnd == hwnd) M().caret = Caret{};
        if (M().lastClick.hwnd == hwnd) M().lastClick = {};
        w->chain.clear();
        target = std::move(w->dropTarget);
        M().windows.erase(reinterpret_cast<uintptr_t>(hwnd));
        RefreshDCsLocked(root);
    }
    RemoveClipboardOwner(hwnd);
    if (top) Driver().Destroyed(hwnd);
    DropMessages(std::move(dropped));
}

void SendDestroy(HWND hwnd) {
    SendMessage(hwnd, WM_DESTROY);
    std::vector<HWND> kids;
    {
        LockGuard g;
        if (auto w = FindLocked(hwnd)) kids = w->children;
    }
    for (HWND c : kids) {
        {
            LockGuard g;
            if (auto cw = FindLocked(c)) cw->destroying = true;
        }
        SendDestroy(c);
    }
}

void SendNcDestroy(HWND hwnd) {
    std::vector<HWND> kids;
    {
        LockGuard g;
        if (auto w = FindLocked(hwnd)) kids = w->children;
    }
    for (HWND c : kids)
        SendNcDestroy(c);
    SendMessage(hwnd, WM_NCDESTROY);
    FreeWindow(hwnd);
}

// Hides a window and hands activation on when it was the active one.
void HideForDestroy(HWND hwnd) {
    bool visible;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        visible = w && (w->style & WS_VISIBLE);
    }
    if (visible)
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ForgetWindow(hwnd);
}

void NotifyParent(HWND hwnd, UINT event) {
    HWND parent = nullptr;
    UINT_PTR id = 0;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w || !w->parent || (w->exStyle & WS_EX_NOPARENTNOTIFY)) return;
        parent = w->parent;
        id = w->id;
    }
    SendMessage(parent, WM_PARENTNOTIFY, MAKEWPARAM(int(event), int(id)),
                reinterpret_cast<LPARAM>(hwnd));
}

} // namespace

ATOM RegisterClass(const WNDCLASS& wc) {
    if (wc.lpszClassName.empty()) return 0;
    LockGuard g;
    auto key = ClassKey(wc.lpszClassName);
    if (M().classes.count(key)) return 0;
    auto info = std::make_shared<ClassInfo>();
    info->wc = wc;
    info->atom = M().nextAtom++;
    M().classes[key] = info;
    return info->atom;
}

BOOL UnregisterClass(std::string_view name) {
    LockGuard g;
    auto it = M().classes.find(ClassKey(name));
    if (it == M().classes.end()) return FALSE;
    for (auto& [v, w] : M().windows)
        if (w->cls == it->second) return FALSE;
    M().classes.erase(it);
    return TRUE;
}

BOOL GetClassInfo(std::string_view name, WNDCLASS& wc) {
    LockGuard g;
    auto it = M().classes.find(ClassKey(name));
    if (it == M().classes.end()) return FALSE;
    wc = it->second->wc;
    return TRUE;
}

std::string GetClassName(HWND hwnd) {
    auto w = Find(hwnd);
    return w ? w->cls->wc.lpszClassName : std::string();
}

HWND CreateWindowEx(DWORD exStyle, std::string_view className, std::string_view windowName,
                    DWORD style, int x, int y, int width, int height, HWND parent, UINT_PTR id,
                    LPARAM param) {
    auto queue = CurrentQueue();
    const bool messageOnly = parent == HWND_MESSAGE;
    if (messageOnly) parent = nullptr;
    if (!(style & (WS_CHILD | WS_POPUP))) style |= WS_CAPTION | WS_CLIPSIBLINGS;
    if ((style & WS_CHILD) && !parent) return nullptr;
    const bool topLevel = !(style & WS_CHILD) && !messageOnly;
    if (topLevel) Driver(); // the display decides the screen size
    const SIZE screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};

    auto w = std::make_shared<Window>();
    {
        LockGuard g;
        auto it = M().classes.find(ClassKey(className));
        if (it == M().classes.end()) return nullptr;
        if (parent && !FindLocked(parent)) return nullptr;
        w->cls = it->second;
        w->hwnd = reinterpret_cast<HWND>(M().nextHandle);
        M().nextHandle += 4;
        w->style = style & ~WS_VISIBLE;
        w->exStyle = exStyle;
        w->messageOnly = messageOnly;
        if (style & WS_CHILD)
            w->parent = parent;
        else if (parent)
            SetOwnerLocked(*w, RootLocked(parent));
        w->id = (style & WS_CHILD) ? id : 0;
        w->text = std::string(windowName);
        w->queue = queue;
        if (x == CW_USEDEFAULT) {
            x = topLevel ? 64 : 0;
            y = topLevel ? 64 : 0;
        }
        if (width == CW_USEDEFAULT) {
            width = topLevel ? std::min(640, screen.cx) : 0;
            height = topLevel ? std::min(480, screen.cy) : 0;
        }
        w->rect = {x, y, x + std::max(0, width), y + std::max(0, height)};
        w->client = {0, 0, w->rect.width(), w->rect.height()};
        M().windows[reinterpret_cast<uintptr_t>(w->hwnd)] = w;
        if (w->parent) {
            // A new window goes to the top of its siblings.
            auto& siblings = FindLocked(w->parent)->children;
            siblings.insert(siblings.begin(), w->hwnd);
            LayoutChangedLocked();
        } else if (messageOnly) {
            M().messageOnly.push_back(w->hwnd);
        } else {
            InsertZLocked(*w, HWND_TOP);
            SizeSurfaceLocked(*w);
        }
    }
    HWND hwnd = w->hwnd;
    CREATESTRUCT cs;
    cs.lpCreateParams = param;
    cs.hwndParent = messageOnly ? HWND_MESSAGE : parent;
    cs.id = id;
    cs.x = x;
    cs.y = y;
    cs.cx = width;
    cs.cy = height;
    cs.style = style;
    cs.dwExStyle = exStyle;
    cs.name = std::string(windowName);
    cs.className = std::string(className);
    if (topLevel) {
        RECT rect;
        DWORD createdStyle;
        HWND owner;
        {
            LockGuard g;
            rect = w->rect;
            createdStyle = w->style;
            owner = w->owner;
        }
        Driver().Created(hwnd, rect, createdStyle, exStyle, owner);
        Driver().Titled(hwnd, cs.name);
    }
    if (!SendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        SendMessage(hwnd, WM_NCDESTROY);
        FreeWindow(hwnd);
        return nullptr;
    }
    RecalcClient(hwnd);
    if (SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    RECT client;
    POINT origin;
    {
        LockGuard g;
        if (!FindLocked(hwnd)) return nullptr;
        w->created = true;
        client = w->client;
        origin = {w->rect.left + client.left, w->rect.top + client.top};
    }
    SendMessage(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.width(), client.height()));
    SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
    NotifyParent(hwnd, WM_CREATE);
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
    std::vector<HWND> owned;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w || w->destroying || w->queue->threadId != ThreadId()) return FALSE;
        w->destroying = true;
        owned = w->owned;
    }
    for (HWND o : owned)
        DestroyWindow(o);
    NotifyParent(hwnd, WM_DESTROY);
    HideForDestroy(hwnd);
    SendDestroy(hwnd);
    SendNcDestroy(hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return Find(hwnd) != nullptr;
}

BOOL IsWindowVisible(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    // Minimised windows still count as visible here, as the platform has it.
    for (auto cur = w; cur; cur = cur->parent ? FindLocked(cur->parent) : nullptr)
        if (!(cur->style & WS_VISIBLE)) return FALSE;
    return TRUE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL IsIconic(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    return w && (w->style & WS_MINIMIZE);
}

BOOL IsZoomed(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    return w && (w->style & WS_MAXIMIZE);
}

BOOL IsChild(HWND parent, HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    while (w && w->parent) {
        if (w->parent == parent) return TRUE;
        w = FindLocked(w->parent);
    }
    return FALSE;
}

HWND GetParent(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return nullptr;
    if (w->style & WS_CHILD) return w->parent;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND SetParent(HWND hwnd, HWND newParent) {
    HWND old;
    bool wasTop, nowTop;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w || w->messageOnly) return nullptr;
        if (newParent && !FindLocked(newParent)) return nullptr;
        for (HWND p = newParent; p; p = FindLocked(p) ? FindLocked(p)->parent : nullptr)
            if (p == hwnd) return nullptr; // no cycles
        old = w->parent ? w->parent : GetDesktopWindow();
        wasTop = IsTopLevel(*w);
        const HWND oldRoot = RootLocked(hwnd);
        if (auto* sib = SiblingsLocked(*w)) std::erase(*sib, hwnd);
        w->parent = newParent;
        if (newParent)
            FindLocked(newParent)->children.insert(FindLocked(newParent)->children.begin(), hwnd);
        else
            InsertZLocked(*w, HWND_TOP);
        LayoutChangedLocked();
        nowTop = IsTopLevel(*w);
        SizeSurfaceLocked(*w);
        Area all(RECT{0, 0, w->client.width(), w->client.height()});
        NeedFramePaintLocked(*w);
        InvalidateLocked(*w, all, true, true);
        RefreshDCsLocked(oldRoot);
        RefreshDCsLocked(RootLocked(hwnd));
    }
    if (wasTop && !nowTop) Driver().Destroyed(hwnd);
    if (!wasTop && nowTop) {
        RECT rect;
        DWORD style, exStyle;
        HWND owner;
        {
            LockGuard g;
            auto w = FindLocked(hwnd);
            if (!w) return old;
            rect = w->rect;
            style = w->style;
            exStyle = w->exStyle;
            owner = w->owner;
        }
        Driver().Created(hwnd, rect, style, exStyle, owner);
        Driver().Titled(hwnd, GetWindowText(hwnd));
        if (style & WS_VISIBLE) Driver().Shown(hwnd, true);
    }
    return old;
}

HWND GetDesktopWindow() {
    return reinterpret_cast<HWND>(uintptr_t(0x10000));
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return nullptr;
    switch (flags) {
    case GA_PARENT:
        return w->parent ? w->parent : GetDesktopWindow();
    case GA_ROOT:
        return RootLocked(hwnd);
    case GA_ROOTOWNER: {
        auto r = FindLocked(RootLocked(hwnd));
        while (r && r->owner && FindLocked(r->owner))
            r = FindLocked(r->owner);
        return r ? r->hwnd : nullptr;
    }
    default:
        return nullptr;
    }
}

HWND GetWindow(HWND hwnd, UINT cmd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return nullptr;
    if (cmd == GW_OWNER) return w->owner;
    if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    auto* sib = SiblingsLocked(*w);
    if (!sib || sib->empty()) return nullptr;
    auto it = std::find(sib->begin(), sib->end(), hwnd);
    switch (cmd) {
    case GW_HWNDFIRST:
        return sib->front();
    case GW_HWNDLAST:
        return sib->back();
    case GW_HWNDNEXT:
        return (it == sib->end() || it + 1 == sib->end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV:
        return (it == sib->begin() || it == sib->end()) ? nullptr : *(it - 1);
    default:
        return nullptr;
    }
}

HWND GetTopWindow(HWND parent) {
    if (!parent) {
        LockGuard g;
        return M().topLevels.empty() ? nullptr : M().topLevels.front();
    }
    return GetWindow(parent, GW_CHILD);
}

namespace {
void DescendantsLocked(HWND h, std::vector<HWND>& out) AX_REQUIRES(managerMutex) {
    auto w = FindLocked(h);
    if (!w) return;
    for (HWND c : w->children) {
        out.push_back(c);
        DescendantsLocked(c, out);
    }
}
} // namespace

std::vector<HWND> EnumChildWindows(HWND parent) {
    LockGuard g;
    std::vector<HWND> out;
    DescendantsLocked(parent, out);
    return out;
}

std::vector<HWND> EnumWindows() {
    LockGuard g;
    return M().topLevels;
}

std::vector<HWND> EnumThreadTopWindows(DWORD threadId) {
    LockGuard g;
    std::vector<HWND> out;
    for (HWND h : M().topLevels)
        if (auto w = FindLocked(h); w && w->queue->threadId == threadId) out.push_back(h);
    return out;
}

HWND FindWindow(std::string_view className, std::optional<std::string_view> title) {
    LockGuard g;
    for (HWND h : M().topLevels) {
        auto w = FindLocked(h);
        if (!className.empty() && ClassKey(w->cls->wc.lpszClassName) != ClassKey(className))
            continue;
        if (title && w->text != *title) continue;
        return h;
    }
    return nullptr;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
    auto w = Find(hwnd);
    if (processId) *processId = w ? static_cast<DWORD>(::getpid()) : 0;
    return w ? w->queue->threadId : 0;
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_ID:
        return static_cast<LONG_PTR>(w->id);
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    default: {
        auto it = w->extra.find(index);
        return it == w->extra.end() ? 0 : it->second;
    }
    }
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    if (index == GWL_STYLE || index == GWL_EXSTYLE) {
        auto w = Find(hwnd);
        if (!w) return 0;
        DWORD old;
        {
            LockGuard g;
            old = index == GWL_STYLE ? w->style : w->exStyle;
        }
        struct {
            DWORD styleOld, styleNew;
        } ss{old, static_cast<DWORD>(value)};
        SendMessage(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index),
                    reinterpret_cast<LPARAM>(&ss));
        DWORD style, exStyle;
        bool top;
        {
            LockGuard g;
            if (!FindLocked(hwnd)) return 0;
            if (index == GWL_STYLE)
                w->style = ss.styleNew;
            else
                w->exStyle = ss.styleNew;
            LayoutChangedLocked();
            style = w->style;
            exStyle = w->exStyle;
            top = IsTopLevel(*w);
            RefreshDCsLocked(RootLocked(hwnd));
        }
        SendMessage(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index),
                    reinterpret_cast<LPARAM>(&ss));
        if (top) Driver().Restyled(hwnd, style, exStyle);
        return static_cast<LONG_PTR>(old);
    }
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWLP_ID:
        old = static_cast<LONG_PTR>(w->id);
        w->id = static_cast<UINT_PTR>(value);
        break;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        break;
    case GWLP_HWNDPARENT:
        old = reinterpret_cast<LONG_PTR>(w->owner);
        if (!w->parent) SetOwnerLocked(*w, reinterpret_cast<HWND>(value));
        break;
    default:
        old = w->extra[index];
        w->extra[index] = value;
        break;
    }
    return old;
}

int GetDlgCtrlID(HWND hwnd) {
    return static_cast<int>(GetWindowLongPtr(hwnd, GWLP_ID));
}

HWND GetDlgItem(HWND parent, int id) {
    LockGuard g;
    auto p = FindLocked(parent);
    if (!p) return nullptr;
    for (HWND c : p->children)
        if (auto w = FindLocked(c); w && w->id == static_cast<UINT_PTR>(id)) return c;
    return nullptr;
}

BOOL SetWindowText(HWND hwnd, std::string_view text) {
    std::string copy(text);
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str())) ? TRUE : FALSE;
}

std::string GetWindowText(HWND hwnd) {
    const auto len = SendMessage(hwnd, WM_GETTEXTLENGTH);
    if (len <= 0) return {};
    std::string buf(static_cast<size_t>(len) + 1, '\0');
    const auto got =
        SendMessage(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, len)));
    return buf;
}

int GetWindowTextLength(HWND hwnd) {
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH));
}
BOOL SetWindowTextW(HWND hwnd, std::u16string_view text) {
    return SetWindowText(hwnd, WideToUtf8(text));
}
std::u16string GetWindowTextW(HWND hwnd) {
    return Utf8ToWide(GetWindowText(hwnd));
}

BOOL SetWindowSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id) {
    if (!proc) return FALSE;
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w || w->queue->threadId != ThreadId()) return FALSE;
    for (auto& e : w->chain)
        if (e->id == id) {
            // A new entry in the same place: calls already running keep the old one.
            auto replacement = std::make_shared<SubclassEntry>();
            replacement->id = id;
            replacement->proc = std::move(proc);
            e->removed = true;
            e = replacement;
            return TRUE;
        }
    auto e = std::make_shared<SubclassEntry>();
    e->id = id;
    e->proc = std::move(proc);
    w->chain.insert(w->chain.begin(), e);
    return TRUE;
}

BOOL RemoveWindowSubclass(HWND hwnd, UINT_PTR id) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    for (auto it = w->chain.begin(); it != w->chain.end(); ++it)
        if ((*it)->id == id) {
            (*it)->removed = true;
            w->chain.erase(it);
            return TRUE;
        }
    return FALSE;
}

LRESULT DefSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    for (ChainFrame* f = tlsChain; f; f = f->outer)
        if (f->hwnd == hwnd) return RunFrom(*f, msg, wp, lp);
    return DefWindowProc(hwnd, msg, wp, lp);
}

LRESULT CallWindowChain(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    ChainFrame f;
    f.hwnd = hwnd;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return 0;
        f.chain = w->chain;
        f.base = w->cls->wc.lpfnWndProc;
    }
    f.outer = tlsChain;
    tlsChain = &f;
    ScopeGuard pop([outer = f.outer] { tlsChain = outer; });
    return RunFrom(f, msg, wp, lp);
}

// Geometry.

BOOL GetWindowRect(HWND hwnd, RECT& rect) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    POINT o = ScreenOriginLocked(*w, false);
    rect = {o.x, o.y, o.x + w->rect.width(), o.y + w->rect.height()};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT& rect) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    rect = {0, 0, w->client.width(), w->client.height()};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT& pt) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    POINT o = ScreenOriginLocked(*w, true);
    pt.x += o.x;
    pt.y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT& pt) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    POINT o = ScreenOriginLocked(*w, true);
    pt.x -= o.x;
    pt.y -= o.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, std::span<POINT> points) {
    LockGuard g;
    POINT a{}, b{};
    if (from) {
        auto w = FindLocked(from);
        if (!w) return 0;
        a = ScreenOriginLocked(*w, true);
    }
    if (to) {
        auto w = FindLocked(to);
        if (!w) return 0;
        b = ScreenOriginLocked(*w, true);
    }
    const int dx = a.x - b.x, dy = a.y - b.y;
    for (auto& p : points) {
        p.x += dx;
        p.y += dy;
    }
    return MAKELPARAM(dx, dy);
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    const bool fromDisplay = std::exchange(tlsFromDisplay, nullptr) == hwnd;
    auto w = Find(hwnd);
    if (!w) return FALSE;
    WINDOWPOS wp{hwnd, insertAfter, x, y, cx, cy, flags};
    bool limited;
    {
        LockGuard g;
        if (flags & SWP_NOMOVE) {
            wp.x = w->rect.left;
            wp.y = w->rect.top;
        }
        if (flags & SWP_NOSIZE) {
            wp.cx = w->rect.width();
            wp.cy = w->rect.height();
        }
        // A new size, or a window about to be shown, keeps within the
        // window's limits; a minimised one keeps the size it had.
        const bool showing = (flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE);
        limited = (!(flags & SWP_NOSIZE) || showing) && !(w->style & WS_MINIMIZE) && IsTopLevel(*w);
    }
    if (limited)
        if (const std::optional<MINMAXINFO> limits = SizeLimits(hwnd)) {
            const SIZE size = ClampToLimits(*limits, SIZE{wp.cx, wp.cy});
            if (size != SIZE{wp.cx, wp.cy}) {
                wp.cx = size.cx;
                wp.cy = size.cy;
                wp.flags &= ~SWP_NOSIZE;
            }
        }
    if (!(flags & SWP_NOSENDCHANGING))
        SendMessage(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    flags = wp.flags;
    const RECT target{wp.x, wp.y, wp.x + std::max(0, wp.cx), wp.y + std::max(0, wp.cy)};
    bool moved, sized, shown = false, hidden = false, top, nowShown;
    RECT oldRect;
    bool wasVisible;
    {
        LockGuard g;
        if (!FindLocked(hwnd)) return FALSE;
        oldRect = w->rect;
        wasVisible = VisibleLocked(*w);
        moved = target.left != oldRect.left || target.top != oldRect.top;
        sized = target.width() != oldRect.width() || target.height() != oldRect.height();
        w->rect = target;
        LayoutChangedLocked();
        if (!(flags & SWP_NOZORDER)) InsertZLocked(*w, wp.hwndInsertAfter);
        if ((flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE)) {
            w->style |= WS_VISIBLE;
            shown = true;
        }
        if ((flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE)) {
            w->style &= ~WS_VISIBLE;
            hidden = true;
        }
        top = IsTopLevel(*w);
    }
    if (sized || moved || (flags & SWP_FRAMECHANGED)) RecalcClient(hwnd);
    {
        LockGuard g;
        if (!FindLocked(hwnd)) return FALSE;
        SizeSurfaceLocked(*w);
        const bool nowVisible = VisibleLocked(*w);
        nowShown = (w->style & WS_VISIBLE) && !(w->style & WS_MINIMIZE);
        const bool changed = moved || sized || shown || hidden || (flags & SWP_FRAMECHANGED) ||
                             !(flags & SWP_NOZORDER);
        if (!top && w->parent && changed) {
            auto p = FindLocked(w->parent);
            if (p && wasVisible && (moved || sized || hidden)) {
                Area old(oldRect);
                InvalidateLocked(*p, old, true, true);
            }
        }
        if (nowVisible && !(flags & SWP_NOREDRAW) &&
            (sized || shown || (flags & SWP_FRAMECHANGED) || (!top && changed))) {
            NeedFramePaintLocked(*w);
            Area all(RECT{0, 0, w->client.width(), w->client.height()});
            InvalidateLocked(*w, all, true, true);
        }
        if (changed) RefreshDCsLocked(RootLocked(hwnd));
    }
    if (top) {
        // What the display reported goes back only if a handler changed it.
        const bool displays = fromDisplay && target == RECT{x, y, x + cx, y + cy};
        // The limits (which may follow the size) reach the display before
        // the window shows.
        if (nowShown && (shown || sized || (flags & SWP_FRAMECHANGED))) SendSizeLimits(hwnd);
        if ((moved || sized) && !displays) Driver().Moved(hwnd, target);
        if (shown || hidden) Driver().Shown(hwnd, shown);
        if (!(flags & SWP_NOZORDER)) Driver().Raised(hwnd);
    }
    if (hidden) ForgetWindow(hwnd);
    if (!moved) wp.flags |= SWP_NOMOVE;
    if (!sized) wp.flags |= SWP_NOSIZE;
    SendMessage(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    if (shown && top && !(flags & SWP_NOACTIVATE) && !(ExStyleOf(*w) & WS_EX_NOACTIVATE))
        SetActiveWindow(hwnd);
    return TRUE;
}

BOOL BringWindowToTop(HWND hwnd) {
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void wm::ApplyDisplayRect(HWND hwnd, const RECT& screen) {
    RECT now;
    if (!GetWindowRect(hwnd, now) || now == screen) return;
    tlsFromDisplay = hwnd;
    SetWindowPos(hwnd, nullptr, screen.left, screen.top, screen.width(), screen.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    tlsFromDisplay = nullptr;
}

void wm::ApplyDisplayState(HWND hwnd, bool iconic, bool zoomed) {
    // The application hears of a minimise or restore as of its own command,
    // so it may react (hide to the tray, note the state); the display has
    // already done it, so the driver is not asked again.
    if (iconic != static_cast<bool>(IsIconic(hwnd))) {
        const HWND outer = std::exchange(tlsStateFromDisplay, hwnd);
        ScopeGuard back([outer] { tlsStateFromDisplay = outer; });
        SendMessage(hwnd, WM_SYSCOMMAND, iconic ? SC_MINIMIZE : SC_RESTORE, 0);
    }
    const DWORD states = WS_MINIMIZE | WS_MAXIMIZE;
    const DWORD want = iconic ? WS_MINIMIZE : zoomed ? WS_MAXIMIZE : 0;
    RECT client;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w || !(w->style & WS_VISIBLE) || (w->style & states) == want) return;
        if (!(w->style & states)) w->restore = w->rect;
        w->style = (w->style & ~states) | want;
        client = w->client;
    }
    // The caption buttons show the state; the size comes from the display.
    RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_FRAME);
    const WPARAM kind = iconic ? SIZE_MINIMIZED : zoomed ? SIZE_MAXIMIZED : SIZE_RESTORED;
    SendMessage(hwnd, WM_SIZE, kind, MAKELPARAM(client.width(), client.height()));
}

BOOL AdjustWindowRectEx(RECT& rect, DWORD style, BOOL menu, DWORD exStyle) {
    Frame f = FrameOf(style, exStyle, style & WS_CHILD);
    rect.left -= f.border;
    rect.right += f.border + f.vscroll;
    rect.top -= f.border + f.caption + (menu ? GetSystemMetrics(SM_CYMENU) : 0);
    rect.bottom += f.border + f.hscroll;
    return TRUE;
}

BOOL SetMenu(HWND hwnd, HMENU menu) {
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w || (w->style & WS_CHILD)) return FALSE;
        if (w->menu == menu) return TRUE;
        w->menu = menu;
    }
    return SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                        SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

HMENU GetMenu(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    return w ? w->menu : nullptr;
}

BOOL DrawMenuBar(HWND hwnd) {
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w || !MenuBarHeightLocked(*w)) return FALSE;
        if (!VisibleLocked(*w)) return TRUE;
    }
    SendMessage(hwnd, WM_NCPAINT, 1, 0);
    return TRUE;
}

BOOL GetMenuBarRect(HWND hwnd, RECT& rect) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    const int bar = MenuBarHeightLocked(*w);
    if (!bar) return FALSE;
    const Frame f = FrameOf(w->style, w->exStyle, w->parent != nullptr);
    const int edge = f.border -
                     ((w->exStyle & WS_EX_CLIENTEDGE) ? GetSystemMetrics(SM_CXEDGE) : 0) -
                     ((w->exStyle & WS_EX_STATICEDGE) ? GetSystemMetrics(SM_CXBORDER) : 0);
    const POINT o = ScreenOriginLocked(*w, false);
    rect = {o.x + edge, o.y + edge + f.caption, o.x + w->rect.width() - edge,
            o.y + edge + f.caption + bar};
    return TRUE;
}

namespace {

HWND DeepestChildLocked(HWND hwnd, POINT screen, bool skipDisabled) AX_REQUIRES(managerMutex) {
    auto w = FindLocked(hwnd);
    for (;;) {
        POINT o = ScreenOriginLocked(*w, true);
        RECT client{o.x, o.y, o.x + w->client.width(), o.y + w->client.height()};
        if (!InRect(client, screen)) return w->hwnd;
        std::shared_ptr<Window> hit;
        for (HWND c : w->children) {
            auto cw = FindLocked(c);
            if (!cw || !(cw->style & WS_VISIBLE)) continue;
            if (skipDisabled && (cw->style & WS_DISABLED)) continue;
            RECT r = Shift(cw->rect, o.x, o.y);
            if (InRect(r, screen)) {
                hit = cw;
                break;
            }
        }
        if (!hit) return w->hwnd;
        w = hit;
    }
}

} // namespace

HWND wm::TopLevelAtLocked(POINT screen) {
    for (HWND h : M().topLevels) {
        auto w = FindLocked(h);
        if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) continue;
        // The pointer goes through a window that asked for it (a drag's frame).
        if (w->exStyle & WS_EX_TRANSPARENT) continue;
        if (InRect(w->rect, screen)) return h;
    }
    return nullptr;
}

HWND WindowFromPoint(POINT screen) {
    LockGuard g;
    HWND top = TopLevelAtLocked(screen);
    return top ? DeepestChildLocked(top, screen, false) : nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT client) {
    LockGuard g;
    auto p = FindLocked(parent);
    if (!p) return nullptr;
    if (!InRect(RECT{0, 0, p->client.width(), p->client.height()}, client)) return nullptr;
    for (HWND c : p->children) {
        auto cw = FindLocked(c);
        if (cw && InRect(cw->rect, client)) return c;
    }
    return parent;
}

HWND wm::DeepestWindowAt(HWND top, POINT screen) {
    LockGuard g;
    if (!FindLocked(top)) return nullptr;
    return DeepestChildLocked(top, screen, false);
}

namespace {

// Where a window goes when maximised: within its limits at the top level,
// where it is inside a parent.
RECT MaximizedTarget(HWND hwnd, DWORD style, DWORD exStyle, bool top, const RECT& rect) {
    if (!top) return rect;
    if (const std::optional<MINMAXINFO> limits = SizeLimits(hwnd)) return MaximizedRect(*limits);
    const Frame f = FrameOf(style, exStyle, false);
    const SIZE s{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return {-f.border, -f.border, s.cx + f.border, s.cy + f.border};
}

// A new size was reported with its kind by SetWindowPos; a new state at
// the size the window had (from) is reported here, so that the window
// lays itself out for it all the same.
void ReportSameSizeState(HWND hwnd, const RECT& from, DWORD state) {
    RECT now{};
    GetWindowRect(hwnd, now);
    if (now.width() != from.width() || now.height() != from.height()) return;
    RECT c;
    GetClientRect(hwnd, c);
    const WPARAM kind = (state & WS_MINIMIZE)   ? SIZE_MINIMIZED
                        : (state & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                                : SIZE_RESTORED;
    SendMessage(hwnd, WM_SIZE, kind, MAKELPARAM(c.width(), c.height()));
}

} // namespace

BOOL ShowWindow(HWND hwnd, int cmd) {
    auto w = Find(hwnd);
    if (!w) return FALSE;
    bool wasVisible, top, restoreMaximized;
    DWORD style, exStyle;
    RECT rect, restore;
    {
        LockGuard g;
        wasVisible = w->style & WS_VISIBLE;
        top = IsTopLevel(*w);
        style = w->style;
        exStyle = w->exStyle;
        rect = w->rect;
        restore = w->restore;
        restoreMaximized = w->restoreMaximized;
    }
    const bool show = cmd != SW_HIDE;
    if (show != wasVisible) SendMessage(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    UINT flags = SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    const bool activate = top && show && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE &&
                          cmd != SW_SHOWMINNOACTIVE && cmd != SW_MINIMIZE;
    if (!activate) flags |= SWP_NOACTIVATE;
    // Maximised, or minimised on the way back to maximised.
    const auto zoomed = [](DWORD s, bool back) {
        return (s & WS_MAXIMIZE) || ((s & WS_MINIMIZE) && back);
    };
    const bool wasZoomed = zoomed(style, restoreMaximized);
    RECT target = rect;
    DWORD newStyle = style;
    switch (cmd) {
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
        if (!(style & (WS_MINIMIZE | WS_MAXIMIZE))) restore = rect;
        if (!(style & WS_MINIMIZE)) restoreMaximized = style & WS_MAXIMIZE;
        newStyle = (style | WS_MINIMIZE) & ~WS_MAXIMIZE;
        break;
    case SW_SHOWMAXIMIZED:
        if (!(style & (WS_MINIMIZE | WS_MAXIMIZE))) restore = rect;
        newStyle = (style | WS_MAXIMIZE) & ~WS_MINIMIZE;
        target = MaximizedTarget(hwnd, style, exStyle, top, rect);
        flags &= ~(SWP_NOMOVE | SWP_NOSIZE);
        break;
    case SW_RESTORE:
        // Minimised from maximised, a window comes back maximised, where
        // it was maximised (minimising kept the rectangle).
        if ((style & WS_MINIMIZE) && restoreMaximized) {
            newStyle = (style | WS_MAXIMIZE) & ~WS_MINIMIZE;
            break;
        }
        [[fallthrough]];
    case SW_SHOWNORMAL:
        if (style & (WS_MINIMIZE | WS_MAXIMIZE)) {
            target = restore;
            newStyle = style & ~(WS_MINIMIZE | WS_MAXIMIZE);
            flags &= ~(SWP_NOMOVE | SWP_NOSIZE);
        }
        break;
    default:
        break;
    }
    if (!(newStyle & WS_MINIMIZE)) restoreMaximized = false;
    {
        LockGuard g;
        w->style =
            (w->style & ~(WS_MINIMIZE | WS_MAXIMIZE)) | (newStyle & (WS_MINIMIZE | WS_MAXIMIZE));
        w->restore = restore;
        w->restoreMaximized = restoreMaximized;
        if (newStyle != style) LayoutChangedLocked();
    }
    // The display hears of a maximise before the new size, which it may
    // then take as the maximised one.
    const bool tellDisplay = top && tlsStateFromDisplay != hwnd;
    if (tellDisplay && zoomed(newStyle, restoreMaximized) != wasZoomed)
        Driver().Zoomed(hwnd, !wasZoomed);
    SetWindowPos(hwnd, nullptr, target.left, target.top, target.width(), target.height(), flags);
    if (tellDisplay && ((newStyle ^ style) & WS_MINIMIZE))
        Driver().Iconified(hwnd, newStyle & WS_MINIMIZE);
    // What a display showed of a minimised window is gone: all of it is
    // painted again, even at the same size.
    if ((style & WS_MINIMIZE) && !(newStyle & WS_MINIMIZE))
        RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    if (newStyle != style) ReportSameSizeState(hwnd, rect, newStyle);
    if (activate && (wasVisible || cmd == SW_RESTORE || cmd == SW_SHOWMAXIMIZED))
        SetActiveWindow(hwnd);
    return wasVisible ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    bool wasDisabled;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return FALSE;
        wasDisabled = w->style & WS_DISABLED;
        if (wasDisabled == !enable) return wasDisabled;
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
    }
    if (!enable) {
        SendMessage(hwnd, WM_CANCELMODE);
        HWND f = GetFocus();
        if (f && (f == hwnd || IsChild(hwnd, f))) SetFocus(nullptr);
    }
    SendMessage(hwnd, WM_ENABLE, enable ? TRUE : FALSE);
    return wasDisabled;
}

// The default window procedure: one handler per message, found in a table.

namespace {

// What every default handler is given: the message and the window's state
// as it stood when the message came in.
struct DefCall {
    HWND hwnd;
    std::shared_ptr<Window> w;
    DWORD style, exStyle;
    HWND parent;
    UINT msg;
    WPARAM wp;
    LPARAM lp;

    bool IsChildWindow() const { return parent && (style & WS_CHILD); }
};

using DefHandler = LRESULT (*)(const DefCall&);

// Frame and non-client area.

LRESULT DefNcCalcSize(const DefCall& c) {
    auto* r = reinterpret_cast<RECT*>(c.lp);
    if (!r) return 0;
    int bar;
    {
        LockGuard g;
        bar = MenuBarHeightLocked(*c.w);
    }
    *r = ClientFromWindow(*r, c.style, c.exStyle, c.parent != nullptr, bar);
    return 0;
}

LRESULT DefNcHitTest(const DefCall& c) {
    LockGuard g;
    if (!FindLocked(c.hwnd)) return HTNOWHERE;
    return HitTestLocked(*c.w, POINT{GET_X_LPARAM(c.lp), GET_Y_LPARAM(c.lp)});
}

LRESULT DefNcPaint(const DefCall& c) {
    PaintNonClient(c.hwnd, true);
    return 0;
}

LRESULT DefNcActivate(const DefCall& c) {
    {
        LockGuard g;
        NeedFramePaintLocked(*c.w);
    }
    PaintNonClient(c.hwnd);
    return TRUE;
}

// Client painting.

LRESULT DefEraseBackground(const DefCall& c) {
    if (!c.w->cls->wc.hbrBackground) return 0;
    FillClientForErase(c.hwnd, DcFromWParam(c.wp), 0);
    return 1;
}

LRESULT DefPaint(const DefCall& c) {
    const PaintScope validate(c.hwnd);
    return 0;
}

// Window text.

LRESULT DefSetText(const DefCall& c) {
    const char* text = reinterpret_cast<const char*>(c.lp);
    bool top;
    std::string copy;
    {
        LockGuard g;
        c.w->text = text ? text : "";
        copy = c.w->text;
        top = IsTopLevel(*c.w);
        NeedFramePaintLocked(*c.w);
    }
    if (top) {
        Driver().Titled(c.hwnd, copy);
        PaintNonClient(c.hwnd);
    }
    return TRUE;
}

LRESULT DefGetTextLength(const DefCall& c) {
    LockGuard g;
    return static_cast<LRESULT>(c.w->text.size());
}

LRESULT DefGetText(const DefCall& c) {
    auto* buf = reinterpret_cast<char*>(c.lp);
    if (!buf || c.wp == 0) return 0;
    LockGuard g;
    const size_t n = std::min<size_t>(c.w->text.size(), c.wp - 1);
    std::memcpy(buf, c.w->text.data(), n);
    buf[n] = '\0';
    return static_cast<LRESULT>(n);
}

// Life, position and state.

LRESULT DefClose(const DefCall& c) {
    DestroyWindow(c.hwnd);
    return 0;
}

LRESULT DefWindowPosChanged(const DefCall& c) {
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(c.lp);
    RECT client, rect;
    DWORD now;
    {
        LockGuard g;
        client = c.w->client;
        rect = c.w->rect;
        now = c.w->style;
    }
    if (pos && !(pos->flags & SWP_NOMOVE))
        SendMessage(c.hwnd, WM_MOVE, 0, MAKELPARAM(rect.left + client.left, rect.top + client.top));
    if (pos && !(pos->flags & SWP_NOSIZE)) {
        const WPARAM kind = (now & WS_MINIMIZE)   ? SIZE_MINIMIZED
                            : (now & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                                  : SIZE_RESTORED;
        SendMessage(c.hwnd, WM_SIZE, kind, MAKELPARAM(client.width(), client.height()));
    }
    return 0;
}

LRESULT DefSetRedraw(const DefCall& c) {
    LockGuard g;
    c.w->redrawOff = !c.wp;
    return 0;
}

LRESULT DefCancelMode(const DefCall& c) {
    if (GetCapture() == c.hwnd) ReleaseCapture();
    return 0;
}

LRESULT DefMouseActivate(const DefCall& c) {
    if (c.parent) {
        LRESULT r = SendMessage(c.parent, WM_MOUSEACTIVATE, c.wp, c.lp);
        if (r) return r;
    }
    return MA_ACTIVATE;
}

LRESULT DefActivate(const DefCall& c) {
    if (LOWORD(c.wp) != WA_INACTIVE && !(c.style & WS_MINIMIZE)) SetFocus(c.hwnd);
    return 0;
}

// The cursor a hit-test code shows: the sizing arrows on the frame, the
// class's cursor in the client area.

unsigned SizingCursorFor(SHORT hit) {
    switch (hit) {
    case HTLEFT:
    case HTRIGHT:
        return IDC_SIZEWE;
    case HTTOP:
    case HTBOTTOM:
        return IDC_SIZENS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return IDC_SIZENWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return IDC_SIZENESW;
    default:
        return IDC_ARROW;
    }
}

LRESULT DefSetCursor(const DefCall& c) {
    if (c.IsChildWindow() && SendMessage(c.parent, WM_SETCURSOR, c.wp, c.lp)) return TRUE;
    const auto hit = static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(c.lp)));
    if (hit == HTCLIENT) {
        if (!c.w->cls->wc.hCursor) return FALSE;
        SetCursor(c.w->cls->wc.hCursor);
        return TRUE;
    }
    SetCursor(LoadCursor(0, SizingCursorFor(hit)));
    return FALSE;
}

// Context menus and the wheel.

LRESULT AskContextMenu(HWND hwnd, LPARAM where) {
    SendMessage(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), where);
    return 0;
}

LRESULT DefRButtonUp(const DefCall& c) {
    POINT pt{GET_X_LPARAM(c.lp), GET_Y_LPARAM(c.lp)};
    ClientToScreen(c.hwnd, pt);
    return AskContextMenu(c.hwnd, MAKELPARAM(pt.x, pt.y));
}

LRESULT DefNcRButtonUp(const DefCall& c) {
    return AskContextMenu(c.hwnd, c.lp);
}

// A child passes the message on to its parent.
LRESULT DefToParent(const DefCall& c) {
    if (c.IsChildWindow()) return SendMessage(c.parent, c.msg, c.wp, c.lp);
    return 0;
}

// Keyboard.

LRESULT DefKeyUp(const DefCall& c) {
    if (c.msg == WM_KEYUP && c.wp == VK_APPS) AskContextMenu(c.hwnd, -1);
    // Alt tapped alone, or F10, asks the top-level window for its menu.
    bool keyMenu = c.wp == VK_F10 && c.msg == WM_SYSKEYUP && GetKeyState(VK_SHIFT) >= 0;
    if (c.wp == VK_MENU || c.wp == VK_LMENU || c.wp == VK_RMENU) {
        LockGuard g;
        keyMenu = M().altTap;
        M().altTap = false;
    }
    if (keyMenu) SendMessage(GetAncestor(c.hwnd, GA_ROOT), WM_SYSCOMMAND, SC_KEYMENU, 0);
    return 0;
}

LRESULT DefSysChar(const DefCall& c) {
    // Alt+letter: the top-level window's menu opens the matching item;
    // Alt+Space its window menu.
    if (c.wp >= ' ' && (c.lp & (1 << 29)))
        SendMessage(GetAncestor(c.hwnd, GA_ROOT), WM_SYSCOMMAND, SC_KEYMENU,
                    static_cast<LPARAM>(c.wp));
    return 0;
}

LRESULT DefSysKeyDown(const DefCall& c) {
    if (c.wp == VK_F4 && (c.lp & (1 << 29))) {
        HWND root = GetAncestor(c.hwnd, GA_ROOT);
        if (SystemCommandAllowed(root, SC_CLOSE)) PostMessage(root, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (c.wp == VK_F10 && (GetKeyState(VK_SHIFT) & 0x8000)) {
        AskContextMenu(c.hwnd, -1);
    }
    return 0;
}

// System commands and the caption's buttons.

LRESULT DefSysCommand(const DefCall& c) {
    switch (c.wp & 0xFFF0) {
    case SC_CLOSE:
        SendMessage(c.hwnd, WM_CLOSE);
        break;
    case SC_MINIMIZE:
        ShowWindow(c.hwnd, SW_MINIMIZE);
        break;
    case SC_MAXIMIZE:
        ShowWindow(c.hwnd, SW_SHOWMAXIMIZED);
        break;
    case SC_RESTORE:
        ShowWindow(c.hwnd, SW_RESTORE);
        break;
    case SC_MOVE:
    case SC_SIZE:
        if (!c.parent) Driver().BeginKeyboardMoveSize(c.hwnd, (c.wp & 0xFFF0) == SC_SIZE);
        break;
    case SC_MOUSEMENU:
        if (!c.parent) TrackWindowMenu(c.hwnd);
        break;
    case SC_KEYMENU:
        if (c.lp == ' ' && !c.parent) TrackWindowMenu(c.hwnd);
        break;
    default:
        break;
    }
    return 0;
}

WPARAM ZoomCommand(DWORD style) {
    return (style & WS_MAXIMIZE) ? SC_RESTORE : SC_MAXIMIZE;
}

LRESULT DefNcLButtonDown(const DefCall& c) {
    const auto hit = static_cast<LRESULT>(c.wp);
    if (hit == HTVSCROLL || hit == HTHSCROLL) {
        // A quick second press on a bar is just another press.
        RECT r;
        GetWindowRect(c.hwnd, r);
        TrackScrollBar(c.hwnd, hit == HTVSCROLL ? SB_VERT : SB_HORZ,
                       POINT{GET_X_LPARAM(c.lp) - r.left, GET_Y_LPARAM(c.lp) - r.top});
        return 0;
    }
    if (c.msg == WM_NCLBUTTONDBLCLK) {
        if (hit == HTCAPTION && (c.style & WS_MAXIMIZEBOX) && !c.parent)
            SendMessage(c.hwnd, WM_SYSCOMMAND, ZoomCommand(c.style), c.lp);
        return 0;
    }
    if (hit == HTSYSMENU && !c.parent) {
        SendMessage(c.hwnd, WM_SYSCOMMAND, SC_MOUSEMENU | HTSYSMENU, c.lp);
        return 0;
    }
    if (hit == HTCAPTION || (hit >= HTLEFT && hit <= HTBOTTOMRIGHT)) {
        if (!(c.style & WS_MAXIMIZE) && !c.parent)
            Driver().BeginMoveSize(c.hwnd, hit, POINT{GET_X_LPARAM(c.lp), GET_Y_LPARAM(c.lp)});
    }
    return 0;
}

LRESULT DefNcLButtonUp(const DefCall& c) {
    switch (static_cast<LRESULT>(c.wp)) {
    case HTCLOSE:
        if (SystemCommandAllowed(c.hwnd, SC_CLOSE))
            SendMessage(c.hwnd, WM_SYSCOMMAND, SC_CLOSE, c.lp);
        break;
    case HTMINBUTTON:
        SendMessage(c.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, c.lp);
        break;
    case HTMAXBUTTON:
        SendMessage(c.hwnd, WM_SYSCOMMAND, ZoomCommand(c.style), c.lp);
        break;
    default:
        break;
    }
    return 0;
}

LRESULT DefTrue(const DefCall&) {
    return TRUE;
}

// Messages not listed return 0.
constexpr struct {
    UINT msg;
    DefHandler handle;
} kDefHandlers[] = {
    {WM_NCCREATE, DefTrue},
    {WM_NCCALCSIZE, DefNcCalcSize},
    {WM_NCHITTEST, DefNcHitTest},
    {WM_NCPAINT, DefNcPaint},
    {WM_NCACTIVATE, DefNcActivate},
    {WM_ERASEBKGND, DefEraseBackground},
    {WM_PAINT, DefPaint},
    {WM_SETTEXT, DefSetText},
    {WM_GETTEXTLENGTH, DefGetTextLength},
    {WM_GETTEXT, DefGetText},
    {WM_CLOSE, DefClose},
    {WM_WINDOWPOSCHANGED, DefWindowPosChanged},
    {WM_SETREDRAW, DefSetRedraw},
    {WM_CANCELMODE, DefCancelMode},
    {WM_MOUSEACTIVATE, DefMouseActivate},
    {WM_ACTIVATE, DefActivate},
    {WM_SETCURSOR, DefSetCursor},
    {WM_RBUTTONUP, DefRButtonUp},
    {WM_NCRBUTTONUP, DefNcRButtonUp},
    {WM_CONTEXTMENU, DefToParent},
    {WM_MOUSEWHEEL, DefToParent},
    {WM_KEYUP, DefKeyUp},
    {WM_SYSKEYUP, DefKeyUp},
    {WM_SYSCHAR, DefSysChar},
    {WM_SYSKEYDOWN, DefSysKeyDown},
    {WM_SYSCOMMAND, DefSysCommand},
    {WM_NCLBUTTONDOWN, DefNcLButtonDown},
    {WM_NCLBUTTONDBLCLK, DefNcLButtonDown},
    {WM_NCLBUTTONUP, DefNcLButtonUp},
    {WM_QUERYENDSESSION, DefTrue},
};

} // namespace

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const auto entry = std::find_if(std::begin(kDefHandlers), std::end(kDefHandlers),
                                    [msg](const auto& e) { return e.msg == msg; });
    if (entry == std::end(kDefHandlers)) return 0;
    auto w = Find(hwnd);
    if (!w) return 0;
    DefCall c{hwnd, w, 0, 0, nullptr, msg, wp, lp};
    {
        LockGuard g;
        c.style = w->style;
        c.exStyle = w->exStyle;
        c.parent = w->parent;
    }
    return entry->handle(c);
}

} // namespace ax
