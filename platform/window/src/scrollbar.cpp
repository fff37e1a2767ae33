// Scroll bars: the state of a window's standard bars and of SCROLLBAR
// controls, their geometry, painting and the modal loop that tracks a press.
#include "platform/window/paintscope.h"
#include "platform/window/windowdc.h"
#include "rtl/text.h"
#include "wm.h"

#include <cstdlib>

namespace ax {

using namespace wm;

namespace {

constexpr UINT_PTR kRepeatTimer = 0xFFFF5C01; // the loop's own; never dispatched
constexpr UINT kFirstDelayMs = 200;
constexpr UINT kRepeatMs = 50;
constexpr int kMinThumb = 8;
constexpr char kScrollBarClass[] = "SCROLLBAR";

int MulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    const int64_t n = int64_t(a) * b;
    const int64_t half = std::abs(int64_t(c)) / 2;
    return static_cast<int>(
        ((n >= 0) == (c > 0) ? n + (c > 0 ? half : -half) : n - (c > 0 ? half : -half)) / c);
}

int MaxPos(const ScrollBarState& s) {
    return std::max(s.min, s.max - std::max(s.page - 1, 0));
}

bool Scrollable(const ScrollBarState& s) {
    return MaxPos(s) > s.min;
}

// Where a bar lies and how it is divided, along its axis.
struct Geometry {
    RECT bar{}; // window coordinates (client ones for controls)
    bool vertical = true;
    int length = 0;     // along the axis
    int arrow = 0;      // each arrow's length
    int thumbStart = 0; // from the bar's start; thumbLength 0: no thumb
    int thumbLength = 0;
    int free = 0; // track length less the thumb
};

ScrollBarState* StateLocked(Window& w, int bar) {
    return bar == SB_HORZ ? &w.hbar : &w.vbar;
}

bool IsControl(const Window& w) {
    return w.cls && LowerCase(w.cls->wc.lpszClassName) == "scrollbar";
}

// The bar's rectangle; false when the window does not show that bar.
bool BarRectLocked(const Window& w, int bar, RECT& r, bool& vertical) AX_REQUIRES(managerMutex) {
    const int size = GetSystemMetrics(SM_CXVSCROLL);
    if (bar == SB_CTL) {
        if (!IsControl(w)) return false;
        r = {0, 0, w.client.width(), w.client.height()};
        vertical = w.style & SBS_VERT;
        return true;
    }
    vertical = bar == SB_VERT;
    if (vertical) {
        if (!(w.style & WS_VSCROLL)) return false;
        r = {w.client.right, w.client.top, w.client.right + size, w.client.bottom};
    } else {
        if (!(w.style & WS_HSCROLL)) return false;
        r = {w.client.left, w.client.bottom, w.client.right, w.client.bottom + size};
    }
    return true;
}

Geometry GeometryOf(const RECT& r, bool vertical, const ScrollBarState& s, bool enabled) {
    Geometry g;
    g.bar = r;
    g.vertical = vertical;
    g.length = vertical ? r.height() : r.width();
    const int arrow = GetSystemMetrics(vertical ? SM_CYVSCROLL : SM_CXHSCROLL);
    g.arrow = g.length < 2 * arrow ? g.length / 2 : arrow;
    const int track = g.length - 2 * g.arrow;
    if (!enabled || s.disabled == ESB_DISABLE_BOTH || !Scrollable(s)) return g;
    int thumb = s.page ? std::max(MulDiv(track, s.page, s.max - s.min + 1), kMinThumb)
                       : GetSystemMetrics(vertical ? SM_CYVTHUMB : SM_CXHTHUMB);
    if (thumb > track) return g;
    g.thumbLength = thumb;
    g.free = track - thumb;
    const int pos = s.tracking ? s.trackPos : s.pos;
    g.thumbStart = g.arrow + MulDiv(g.free, pos - s.min, MaxPos(s) - s.min);
    return g;
}

int Along(const Geometry& g, POINT p) {
    return g.vertical ? p.y - g.bar.top : p.x - g.bar.left;
}

// The part of the bar at pt: an SB_* code, or -1 off the bar.
int PartAt(const Geometry& g, POINT p) {
    if (!InRect(g.bar, p)) return -1;
    const int a = Along(g, p);
    if (a < g.arrow) return SB_LINEUP;
    if (a >= g.length - g.arrow) return SB_LINEDOWN;
    if (!g.thumbLength) return -1;
    if (a < g.thumbStart) return SB_PAGEUP;
    if (a < g.thumbStart + g.thumbLength) return SB_THUMBTRACK;
    return SB_PAGEDOWN;
}

RECT Span(const Geometry& g, int from, int to) {
    if (g.vertical) return {g.bar.left, g.bar.top + from, g.bar.right, g.bar.top + to};
    return {g.bar.left + from, g.bar.top, g.bar.left + to, g.bar.bottom};
}

void DrawBar(HDC dc, const Geometry& g, const ScrollBarState& s, bool enabled) {
    const UINT disabled = enabled ? s.disabled : ESB_DISABLE_BOTH;
    RECT first = Span(g, 0, g.arrow), last = Span(g, g.length - g.arrow, g.length);
    auto arrowState = [&](int part, UINT kind, UINT off) {
        UINT st = kind;
        if (disabled & off)
            st |= DFCS_INACTIVE;
        else if (s.pressed == part)
            st |= DFCS_PUSHED;
        return st;
    };
    DrawFrameControl(
        dc, &first, DFC_SCROLL,
        arrowState(SB_LINEUP, g.vertical ? DFCS_SCROLLUP : DFCS_SCROLLLEFT, ESB_DISABLE_LTUP));
    DrawFrameControl(
        dc, &last, DFC_SCROLL,
        arrowState(SB_LINEDOWN, g.vertical ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT, ESB_DISABLE_RTDN));
    auto fill = [&](RECT r, int colour) {
        if (!EmptyRect(r)) FillRect(dc, &r, GetSysColorBrush(colour));
    };
    if (!g.thumbLength) {
        fill(Span(g, g.arrow, g.length - g.arrow), COLOR_SCROLLBAR);
        return;
    }
    const int end = g.thumbStart + g.thumbLength;
    fill(Span(g, g.arrow, g.thumbStart),
         s.pressed == SB_PAGEUP ? COLOR_3DDKSHADOW : COLOR_SCROLLBAR);
    fill(Span(g, end, g.length - g.arrow),
         s.pressed == SB_PAGEDOWN ? COLOR_3DDKSHADOW : COLOR_SCROLLBAR);
    RECT thumb = Span(g, g.thumbStart, end);
    DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT | BF_MIDDLE);
}

// Copies of what painting needs, taken under the lock.
bool Snapshot(HWND hwnd, int bar, Geometry& g, ScrollBarState& s) {
    LockGuard lock;
    auto w = FindLocked(hwnd);
    if (!w) return false;
    RECT r;
    bool vertical;
    if (!BarRectLocked(*w, bar, r, vertical)) return false;
    s = bar == SB_CTL ? w->vbar : *StateLocked(*w, bar);
    g = GeometryOf(r, vertical, s, !(w->style & WS_DISABLED));
    return true;
}

void Redraw(HWND hwnd, int bar) {
    Geometry g;
    ScrollBarState s;
    if (!IsWindowVisible(hwnd) || !Snapshot(hwnd, bar, g, s)) return;
    const WindowDC dc = bar == SB_CTL ? WindowDC(hwnd) : WindowDC::WholeWindow(hwnd);
    if (!dc) return;
    DrawBar(dc.Get(), g, s, IsWindowEnabled(hwnd));
}

// Runs fn on the bar's state under the lock; false for an unknown window.
template <typename Fn> bool WithState(HWND hwnd, int bar, Fn fn) {
    LockGuard lock;
    auto w = FindLocked(hwnd);
    if (!w || bar < SB_HORZ || bar > SB_CTL) return false;
    if (bar == SB_CTL && !IsControl(*w)) return false;
    fn(*w, bar == SB_CTL ? w->vbar : *StateLocked(*w, bar));
    return true;
}

void Clamp(ScrollBarState& s) {
    s.page = std::clamp(s.page, 0, s.max - s.min + 1);
    s.pos = std::clamp(s.pos, s.min, MaxPos(s));
    if (!s.tracking) s.trackPos = s.pos;
}

void ShowBarStyle(HWND hwnd, DWORD bits, bool show) {
    bool changed = false;
    {
        LockGuard lock;
        auto w = FindLocked(hwnd);
        if (!w) return;
        const DWORD style = show ? (w->style | bits) : (w->style & ~bits);
        changed = style != w->style;
        w->style = style;
        NeedFramePaintLocked(*w);
    }
    if (changed)
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

LRESULT ScrollBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: // a quick second press is just another press
        TrackScrollBar(hwnd, SB_CTL, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_ERASEBKGND:
        return 1; // the bar covers its whole client area
    case WM_PAINT: {
        const PaintScope paint(hwnd);
        Geometry g;
        ScrollBarState s;
        if (Snapshot(hwnd, SB_CTL, g, s)) DrawBar(paint.DC(), g, s, IsWindowEnabled(hwnd));
        return 0;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    default:
        return DefWindowProc(hwnd, msg, wp, lp);
    }
}

} // namespace

void wm::AddSystemClasses(Manager& m) {
    auto info = std::make_shared<ClassInfo>();
    info->wc.lpszClassName = kScrollBarClass;
    info->wc.style = CS_DBLCLKS;
    info->wc.lpfnWndProc = ScrollBarProc;
    info->atom = m.nextAtom++;
    m.classes[LowerCase(kScrollBarClass)] = info;
}

void wm::DrawScrollBars(HWND hwnd, HDC dc) {
    for (int bar : {SB_VERT, SB_HORZ}) {
        Geometry g;
        ScrollBarState s;
        if (Snapshot(hwnd, bar, g, s)) DrawBar(dc, g, s, IsWindowEnabled(hwnd));
    }
}

void wm::TrackScrollBar(HWND hwnd, int bar, POINT pt) {
    Geometry g;
    ScrollBarState s;
    if (!IsWindowEnabled(hwnd) || !Snapshot(hwnd, bar, g, s)) return;
    const int part = PartAt(g, pt);
    if (part < 0 || s.disabled == ESB_DISABLE_BOTH) return;
    if ((part == SB_LINEUP && (s.disabled & ESB_DISABLE_LTUP)) ||
        (part == SB_LINEDOWN && (s.disabled & ESB_DISABLE_RTDN)))
        return;
    const HWND notify = bar == SB_CTL ? GetParent(hwnd) : hwnd;
    const UINT msg = g.vertical ? WM_VSCROLL : WM_HSCROLL;
    const LPARAM control = bar == SB_CTL ? reinterpret_cast<LPARAM>(hwnd) : 0;
    auto send = [&](int code, int pos = 0) {
        if (notify) SendMessage(notify, msg, MAKEWPARAM(code, pos), control);
    };
    auto setPressed = [&](int pressed, bool tracking, int trackPos) {
        WithState(hwnd, bar, [&](Window&, ScrollBarState& st) {
            st.pressed = pressed;
            st.tracking = tracking;
            st.trackPos = trackPos;
        });
        Redraw(hwnd, bar);
    };
    const bool thumb = part == SB_THUMBTRACK;
    const int grip = Along(g, pt) - g.thumbStart; // where the thumb was taken
    int trackPos = s.pos;
    POINT last = pt;
    SetCapture(hwnd);
    setPressed(part, thumb, trackPos);
    if (!thumb) {
        SetTimer(hwnd, kRepeatTimer, kFirstDelayMs); // due from the press
        send(part);
    }
    // Screen to bar coordinates.
    auto toBar = [&](POINT screen) {
        if (bar == SB_CTL) {
            ScreenToClient(hwnd, screen);
            return screen;
        }
        RECT r;
        GetWindowRect(hwnd, r);
        return POINT{screen.x - r.left, screen.y - r.top};
    };
    for (;;) {
        MSG m;
        if (GetMessage(m, nullptr, 0, 0) <= 0) {
            if (m.message == WM_QUIT) PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (m.hwnd == hwnd && m.message == WM_TIMER && m.wParam == kRepeatTimer) {
            Geometry now;
            ScrollBarState st;
            if (!Snapshot(hwnd, bar, now, st)) break;
            if (PartAt(now, last) == part) {
                SetTimer(hwnd, kRepeatTimer, kRepeatMs);
                send(part);
            }
            setPressed(PartAt(now, last) == part ? part : -1, false, st.pos);
        } else if (m.hwnd == hwnd && m.message == WM_MOUSEMOVE) {
            last = toBar(m.pt);
            Geometry now;
            ScrollBarState st;
            if (!Snapshot(hwnd, bar, now, st)) break;
            if (thumb) {
                const int at = std::clamp(Along(now, last) - grip - now.arrow, 0, now.free);
                const int pos = st.min + MulDiv(at, MaxPos(st) - st.min, now.free);
                if (pos != trackPos) {
                    trackPos = pos;
                    setPressed(part, true, trackPos);
                    send(SB_THUMBTRACK, trackPos);
                }
            } else {
                const int pressed = PartAt(now, last) == part ? part : -1;
                if (pressed != st.pressed) setPressed(pressed, false, st.pos);
            }
        } else if (m.hwnd == hwnd && m.message == WM_LBUTTONUP) {
            break;
        } else if (m.message < WM_MOUSEFIRST || m.message > WM_MOUSELAST) {
            TranslateMessage(m);
            DispatchMessage(m);
        }
        if (!IsWindow(hwnd) || GetCapture() != hwnd) break;
    }
    if (!IsWindow(hwnd)) return;
    KillTimer(hwnd, kRepeatTimer);
    if (GetCapture() == hwnd) ReleaseCapture();
    int pos = 0;
    WithState(hwnd, bar, [&](Window&, ScrollBarState& st) { pos = st.pos; });
    setPressed(-1, false, pos);
    if (thumb) send(SB_THUMBPOSITION, trackPos);
    send(SB_ENDSCROLL);
}

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO& info, BOOL redraw) {
    int pos = 0;
    bool scrollable = true;
    if (!WithState(hwnd, bar, [&](Window&, ScrollBarState& s) {
            if (info.fMask & SIF_RANGE) {
                if (info.nMin > info.nMax || int64_t(info.nMax) - info.nMin >= 0x7FFFFFFF) {
                    s.min = s.max = 0; // an inverted or huge range scrolls nothing
                } else {
                    s.min = info.nMin;
                    s.max = info.nMax;
                }
            }
            if (info.fMask & SIF_PAGE)
                s.page = static_cast<int>(std::min<UINT>(info.nPage, 0x7FFFFFFF));
            if (info.fMask & SIF_POS) s.pos = info.nPos;
            Clamp(s);
            pos = s.pos;
            scrollable = Scrollable(s);
            if (info.fMask & (SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL)) {
                if (!scrollable && (info.fMask & SIF_DISABLENOSCROLL))
                    s.disabled = ESB_DISABLE_BOTH;
                else if (scrollable && (info.fMask & (SIF_RANGE | SIF_DISABLENOSCROLL)))
                    s.disabled = ESB_ENABLE_BOTH;
            }
        }))
        return 0;
    if (bar != SB_CTL && (info.fMask & (SIF_RANGE | SIF_PAGE))) {
        const DWORD bits = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
        if (scrollable && (info.fMask & SIF_RANGE))
            ShowBarStyle(hwnd, bits, true);
        else if (!scrollable && !(info.fMask & SIF_DISABLENOSCROLL))
            ShowBarStyle(hwnd, bits, false);
    }
    if (redraw) Redraw(hwnd, bar);
    return pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO& info) {
    return WithState(hwnd, bar, [&](Window&, ScrollBarState& s) {
        if (info.fMask & SIF_RANGE) {
            info.nMin = s.min;
            info.nMax = s.max;
        }
        if (info.fMask & SIF_PAGE) info.nPage = static_cast<UINT>(s.page);
        if (info.fMask & SIF_POS) info.nPos = s.pos;
        if (info.fMask & SIF_TRACKPOS) info.nTrackPos = s.trackPos;
    });
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
    int old = 0;
    if (!WithState(hwnd, bar, [&](Window&, ScrollBarState& s) { old = s.pos; })) return 0;
    SCROLLINFO si;
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(hwnd, bar, si, redraw);
    return old;
}

int GetScrollPos(HWND hwnd, int bar) {
    int pos = 0;
    WithState(hwnd, bar, [&](Window&, ScrollBarState& s) { pos = s.pos; });
    return pos;
}

BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
    if (minPos > maxPos || !IsWindow(hwnd)) return FALSE;
    SCROLLINFO si;
    si.fMask = SIF_RANGE;
    si.nMin = minPos;
    si.nMax = maxPos;
    SetScrollInfo(hwnd, bar, si, redraw);
    return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos) {
    return WithState(hwnd, bar, [&](Window&, ScrollBarState& s) {
        if (minPos) *minPos = s.min;
        if (maxPos) *maxPos = s.max;
    });
}

BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show) {
    if (!IsWindow(hwnd)) return FALSE;
    if (bar == SB_CTL) {
        ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE);
        return TRUE;
    }
    const DWORD bits = bar == SB_VERT   ? WS_VSCROLL
                       : bar == SB_HORZ ? WS_HSCROLL
                       : bar == SB_BOTH ? (WS_VSCROLL | WS_HSCROLL)
                                        : 0;
    if (!bits) return FALSE;
    ShowBarStyle(hwnd, bits, show);
    return TRUE;
}

BOOL EnableScrollBar(HWND hwnd, UINT bar, UINT arrows) {
    const int b = static_cast<int>(bar);
    std::vector<int> bars = b == SB_BOTH ? std::vector<int>{SB_VERT, SB_HORZ} : std::vector<int>{b};
    bool changed = false;
    for (int one : bars) {
        if (!WithState(hwnd, one, [&](Window&, ScrollBarState& s) {
                changed |= s.disabled != (arrows & ESB_DISABLE_BOTH);
                s.disabled = arrows & ESB_DISABLE_BOTH;
            }))
            return FALSE;
        Redraw(hwnd, one);
    }
    return changed ? TRUE : FALSE;
}

} // namespace ax
