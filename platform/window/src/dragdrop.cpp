// Drag and drop inside the process: drop-target registration and the modal
// drag loop, which also carries a drag over other programs' windows; and
// the targets' side of drags from other programs.
#include "driver.h"
#include "platform/gdi/image.h"
#include "uri_list.h"
#include "wm.h"

#include <utility>

namespace ax {

using namespace wm;

namespace {

constexpr char kTrackerClass[] = "AxDragTracker";
constexpr UINT_PTR kPollTimer = 1;
// Targets are asked again at this pace while the mouse rests, so that they
// can scroll or expand under a resting cursor.
constexpr UINT kPollMs = 50;

struct Drag {
    IDataObject* data = nullptr;
    IDropSource* source = nullptr;
    DWORD okEffects = 0;
    HWND targetWindow = nullptr;
    std::shared_ptr<IDropTarget> target; // held for the drag even if revoked
    DWORD effect = DROPEFFECT_NONE;      // the target's last answer
    POINT pt{};
    bool escape = false;
    bool lostCapture = false;
    bool done = false;
    HRESULT result = DRAGDROP_S_CANCEL;
    DWORD dropEffect = DROPEFFECT_NONE;
    bool offered = false;   // other programs may take the data
    bool overOther = false; // the pointer is over another program's window
};

// The dragged data as other programs take it: files as a URI list, text.
ClipboardOffer OfferOf(IDataObject& data) {
    ClipboardOffer offer;
    HRESULT hr;
    std::vector<std::string> paths;
    const std::vector<uint8_t> list = GetDataBytes(data, CF_HDROP, &hr);
    if (SUCCEEDED(hr) && ReadFileList(list, paths) && !paths.empty()) {
        const std::string uris = MakeUriList(paths);
        offer.emplace_back("text/uri-list", std::vector<uint8_t>(uris.begin(), uris.end()));
    }
    std::vector<uint8_t> text = GetDataBytes(data, CF_TEXT, &hr);
    if (SUCCEEDED(hr)) {
        text.erase(std::find(text.begin(), text.end(), 0), text.end());
        offer.emplace_back("UTF8_STRING", text);
        offer.emplace_back("text/plain;charset=utf-8", std::move(text));
    }
    return offer;
}

DWORD KeyState() {
    DWORD k = 0;
    auto down = [](int vk) { return (GetKeyState(vk) & 0x8000) != 0; };
    if (down(VK_LBUTTON)) k |= MK_LBUTTON;
    if (down(VK_RBUTTON)) k |= MK_RBUTTON;
    if (down(VK_MBUTTON)) k |= MK_MBUTTON;
    if (down(VK_SHIFT)) k |= MK_SHIFT;
    if (down(VK_CONTROL)) k |= MK_CONTROL;
    if (down(VK_MENU)) k |= MK_ALT;
    return k;
}

// The registered window at a screen point: the deepest window there, or
// the nearest ancestor of it that has a target.
HWND TargetWindowAt(POINT pt, std::shared_ptr<IDropTarget>& target) {
    for (HWND h = WindowFromPoint(pt); h && h != GetDesktopWindow();
         h = GetAncestor(h, GA_PARENT)) {
        LockGuard g;
        auto w = FindLocked(h);
        if (!w) break;
        if (w->dropTarget) {
            target = w->dropTarget;
            return h;
        }
    }
    target.reset();
    return nullptr;
}

void Leave(Drag& d) {
    if (d.target) d.target->DragLeave();
    d.target.reset();
    d.targetWindow = nullptr;
    d.effect = DROPEFFECT_NONE;
}

void Finish(Drag& d, DWORD keyState) {
    d.done = true;
    d.result = DRAGDROP_S_DROP;
    if (d.overOther) {
        d.dropEffect = Driver().DropOnOther() & d.okEffects;
    } else if (d.target && d.effect != DROPEFFECT_NONE) {
        DWORD effect = d.okEffects;
        const HRESULT hr = d.target->Drop(d.data, keyState, POINTL{d.pt.x, d.pt.y}, &effect);
        d.dropEffect = SUCCEEDED(hr) ? (effect & d.okEffects) : DROPEFFECT_NONE;
        d.target.reset();
        d.targetWindow = nullptr;
    } else {
        Leave(d);
        d.dropEffect = DROPEFFECT_NONE;
    }
}

// One step of the loop: ask the source, then tell the targets.
void Step(Drag& d) {
    const DWORD keyState = KeyState();
    HRESULT hr =
        d.lostCapture ? DRAGDROP_S_CANCEL : d.source->QueryContinueDrag(d.escape, keyState);
    d.escape = false;
    if (hr == DRAGDROP_S_DROP) {
        Finish(d, keyState);
        return;
    }
    if (hr != S_OK) {
        Leave(d);
        d.done = true;
        d.result = FAILED(hr) ? hr : DRAGDROP_S_CANCEL;
        d.dropEffect = DROPEFFECT_NONE;
        return;
    }
    const DWORD preferred = DropEffectFromKeyState(keyState, d.okEffects, DROPEFFECT_COPY);
    DWORD other = DROPEFFECT_NONE;
    d.overOther = d.offered && Driver().DragOverOther(d.pt, d.okEffects, preferred, &other);
    std::shared_ptr<IDropTarget> target;
    const HWND window = d.overOther ? nullptr : TargetWindowAt(d.pt, target);
    const POINTL pt{d.pt.x, d.pt.y};
    DWORD effect = d.okEffects;
    if (d.overOther) {
        Leave(d);
        effect = other;
    } else if (window != d.targetWindow || target != d.target) {
        Leave(d);
        d.targetWindow = window;
        d.target = target;
        if (d.target && FAILED(d.target->DragEnter(d.data, keyState, pt, &effect)))
            effect = DROPEFFECT_NONE;
    } else if (d.target && FAILED(d.target->DragOver(keyState, pt, &effect))) {
        effect = DROPEFFECT_NONE;
    }
    d.effect = d.target || d.overOther ? (effect & (d.okEffects | DROPEFFECT_SCROLL))
                                       : DROPEFFECT_NONE;
    if (d.source->GiveFeedback(d.effect) == DRAGDROP_S_USEDEFAULTCURSORS)
        SetCursor(LoadCursor(0, (d.effect & ~DROPEFFECT_SCROLL) ? IDC_ARROW : IDC_NO));
}

LRESULT TrackerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CAPTURECHANGED) {
        auto* d = reinterpret_cast<Drag*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
        if (d && reinterpret_cast<HWND>(lp) != hwnd) d->lostCapture = true;
        return 0;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

void RegisterTracker() {
    WNDCLASS wc;
    if (GetClassInfo(kTrackerClass, wc)) return;
    wc.lpszClassName = kTrackerClass;
    wc.lpfnWndProc = TrackerProc;
    RegisterClass(wc);
}

bool IsMouseMessage(UINT m) {
    return (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
           (m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK);
}

// A drag from another program over this thread's windows.
struct ForeignDrag {
    std::shared_ptr<IDataObject> data;
    HWND window = nullptr;
    std::shared_ptr<IDropTarget> target;
    DWORD allowed = DROPEFFECT_NONE;
    DWORD effect = DROPEFFECT_NONE;
    POINT pt{};
};

ForeignDrag& Foreign() {
    thread_local ForeignDrag f;
    return f;
}

void LeaveForeign() {
    ForeignDrag& f = Foreign();
    if (f.target) f.target->DragLeave();
    f = {};
}

} // namespace

DWORD wm::ForeignDragOver(std::shared_ptr<IDataObject> data, POINT pt, DWORD allowed, DWORD keyState) {
    if (Foreign().data != data) LeaveForeign();
    ForeignDrag& f = Foreign();
    f.data = data;
    f.pt = pt;
    f.allowed = allowed;
    std::shared_ptr<IDropTarget> target;
    const HWND window = TargetWindowAt(pt, target);
    DWORD effect = allowed;
    const POINTL p{pt.x, pt.y};
    if (window != f.window || target != f.target) {
        if (f.target) f.target->DragLeave();
        f.window = window;
        f.target = target;
        if (target && FAILED(target->DragEnter(data.get(), keyState, p, &effect)))
            effect = DROPEFFECT_NONE;
    } else if (target && FAILED(target->DragOver(keyState, p, &effect))) {
        effect = DROPEFFECT_NONE;
    }
    f.effect = target ? (effect & allowed) : DROPEFFECT_NONE;
    return f.effect;
}

void wm::ForeignDragLeave() {
    LeaveForeign();
}

DWORD wm::ForeignDrop(std::shared_ptr<IDataObject> data, DWORD keyState) {
    ForeignDrag f = std::exchange(Foreign(), {});
    if (f.data != data || !f.target) return DROPEFFECT_NONE;
    if (f.effect == DROPEFFECT_NONE) {
        f.target->DragLeave();
        return DROPEFFECT_NONE;
    }
    DWORD effect = f.allowed;
    const HRESULT hr = f.target->Drop(data.get(), keyState, POINTL{f.pt.x, f.pt.y}, &effect);
    return SUCCEEDED(hr) ? (effect & f.allowed) : DROPEFFECT_NONE;
}

HRESULT RegisterDragDrop(HWND hwnd, std::shared_ptr<IDropTarget> target) {
    if (!target) return E_INVALIDARG;
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return DRAGDROP_E_INVALIDHWND;
    if (w->dropTarget) return DRAGDROP_E_ALREADYREGISTERED;
    w->dropTarget = std::move(target);
    return S_OK;
}

HRESULT RevokeDragDrop(HWND hwnd) {
    std::shared_ptr<IDropTarget> released; // let go outside the lock
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return DRAGDROP_E_INVALIDHWND;
    if (!w->dropTarget) return DRAGDROP_E_NOTREGISTERED;
    released = std::move(w->dropTarget);
    return S_OK;
}

HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD okEffects, DWORD* effect) {
    if (!data || !source || !effect) return E_INVALIDARG;
    *effect = DROPEFFECT_NONE;
    RegisterTracker();
    const HWND tracker = CreateWindowEx(0, kTrackerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr);
    if (!tracker) return E_OUTOFMEMORY;
    Drag d;
    d.data = data;
    d.source = source;
    d.okEffects = okEffects;
    GetCursorPos(d.pt);
    if (ClipboardOffer offer = OfferOf(*data); !offer.empty()) {
        Driver().DragOffered(std::move(offer));
        d.offered = true;
    }
    SetCapture(tracker);
    SetWindowLongPtr(tracker, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&d));
    SetTimer(tracker, kPollTimer, kPollMs);
    Step(d);
    bool quit = false;
    int quitCode = 0;
    while (!d.done) {
        MSG m;
        const int got = GetMessage(m, nullptr, 0, 0);
        if (got <= 0) {
            // The loop is ending: cancel, and leave the quit for the outer loop.
            quit = got == 0;
            quitCode = static_cast<int>(m.wParam);
            Leave(d);
            d.result = DRAGDROP_S_CANCEL;
            break;
        }
        if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN || m.message == WM_KEYUP ||
            m.message == WM_SYSKEYUP) {
            if ((m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) && m.wParam == VK_ESCAPE)
                d.escape = true;
            Step(d);
        } else if (IsMouseMessage(m.message)) {
            d.pt = m.pt;
            Step(d);
        } else if (m.hwnd == tracker && m.message == WM_TIMER && m.wParam == kPollTimer) {
            Step(d);
        } else if (m.message < WM_KEYFIRST || m.message > WM_KEYLAST) {
            DispatchMessage(m);
        }
        if (d.lostCapture && !d.done) Step(d);
    }
    if (d.offered) Driver().DragEnded();
    SetWindowLongPtr(tracker, GWLP_USERDATA, 0);
    KillTimer(tracker, kPollTimer);
    if (GetCapture() == tracker) ReleaseCapture();
    DestroyWindow(tracker);
    if (quit) PostQuitMessage(quitCode);
    *effect = d.result == DRAGDROP_S_DROP ? d.dropEffect : DROPEFFECT_NONE;
    return d.result;
}

} // namespace ax
