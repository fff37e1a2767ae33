// Painting: the non-client model, update regions, device contexts over the
// top-level window's surface, scrolling, the update lock, system metrics and
// snapshots.
#include "driver.h"
#include "platform/gdi/image.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/window/windowdc.h"
#include "rtl/scopeguard.h"
#include "sysmenu_state.h"
#include "wm.h"

#include <cstring>
#include <utility>

namespace ax {

using namespace wm;

namespace {

enum class Kids { ByStyle, All, None };

// Caption buttons in window coordinates: close, maximise, minimise (empty
// when absent).
struct CaptionButtons {
    RECT close{}, max{}, min{};
};

CaptionButtons ButtonsOf(DWORD style, DWORD exStyle, int width) {
    CaptionButtons b;
    const Frame f = FrameOf(style, exStyle, false);
    if (!f.caption || !(style & WS_SYSMENU)) return b;
    const bool tool = exStyle & WS_EX_TOOLWINDOW;
    const int bw = GetSystemMetrics(tool ? SM_CXSMSIZE : SM_CXSIZE) - 2;
    const int bh = f.caption - 5;
    const int top = f.border + 2;
    b.close = {width - f.border - 2 - bw, top, width - f.border - 2, top + bh};
    if (!tool && (style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX))) {
        b.max = {b.close.left - 2 - bw, top, b.close.left - 2, top + bh};
        b.min = {b.max.left - bw, top, b.max.left, top + bh};
    }
    return b;
}

bool LockedAncestryLocked(const Window& w) AX_REQUIRES(managerMutex) {
    const Window* cur = &w;
    std::shared_ptr<Window> hold;
    for (;;) {
        if (cur->updateLocks > 0 || cur->redrawOff) return true;
        if (!cur->parent) return false;
        hold = FindLocked(cur->parent);
        if (!hold) return false;
        cur = hold.get();
    }
}

RECT ClientInTopLocked(const Window& w) AX_REQUIRES(managerMutex) {
    const RECT r = RectInTopLocked(w);
    return {r.left + w.client.left, r.top + w.client.top, r.left + w.client.right,
            r.top + w.client.bottom};
}

// The rectangles of p's children in z order, empty for hidden ones, and
// each child's index in them.
const std::vector<RECT>& ChildRectsLocked(Window& p) AX_REQUIRES(managerMutex) {
    if (p.childRectsLayout != M().layout) {
        p.childRects.resize(p.children.size());
        for (size_t i = 0; i < p.children.size(); ++i) {
            Window* c = PeekLocked(p.children[i]);
            p.childRects[i] = c && (c->style & WS_VISIBLE) ? c->rect : RECT{};
            if (c) c->zIndex = i;
        }
        p.childRectsLayout = M().layout;
    }
    return p.childRects;
}

// Takes from a the rectangles [0, count) of rects, moved by (dx, dy).
void SubtractRectsLocked(Area& a, const std::vector<RECT>& rects, size_t count, int dx, int dy) {
    const RECT box = Shift(a.Extents(), -dx, -dy);
    for (size_t i = 0; i < count; ++i) {
        const RECT& r = rects[i];
        if (r.left < box.right && r.right > box.left && r.top < box.bottom && r.bottom > box.top)
            a.Subtract(Shift(r, dx, dy));
    }
}

// The part of a window that drawing may touch, in its top-level window's
// coordinates.
Area VisibleAreaLocked(const Window& w, bool client) AX_REQUIRES(managerMutex) {
    if (!VisibleLocked(w) || LockedAncestryLocked(w)) return Area();
    Area a(client ? ClientInTopLocked(w) : RectInTopLocked(w));
    const Window* cur = &w;
    while (cur->parent && !a.Empty()) {
        Window* p = PeekLocked(cur->parent);
        if (!p) return Area();
        const RECT pc = ClientInTopLocked(*p);
        a.Intersect(pc);
        if (cur->style & WS_CLIPSIBLINGS) {
            const auto& rects = ChildRectsLocked(*p);
            SubtractRectsLocked(a, rects, cur->zIndex, pc.left, pc.top); // the siblings in front
        }
        cur = p;
    }
    a.Intersect(RECT{0, 0, cur->rect.width(), cur->rect.height()});
    if ((w.style & WS_CLIPCHILDREN) && !a.Empty()) {
        const RECT wc = ClientInTopLocked(w);
        const auto& rects = ChildRectsLocked(const_cast<Window&>(w));
        SubtractRectsLocked(a, rects, rects.size(), wc.left, wc.top);
    }
    return a;
}

void InvalidateTree(Window& w, const Area& rgn, bool erase, Kids kids) AX_REQUIRES(managerMutex) {
    if (w.redrawOff) return;
    Area r = rgn;
    r.Intersect(RECT{0, 0, w.client.width(), w.client.height()});
    if (!r.Empty()) {
        w.update.Union(r);
        if (erase) w.erase = true;
        NeedPaintLocked(w);
        Wake(*w.queue);
    }
    const bool descend =
        kids == Kids::All || (kids == Kids::ByStyle && !(w.style & WS_CLIPCHILDREN));
    if (!descend) return;
    const RECT box = rgn.Extents();
    for (HWND c : w.children) {
        Window* cw = PeekLocked(c);
        if (!cw || !(cw->style & WS_VISIBLE) || EmptyRect(Clip(cw->rect, box))) continue;
        Area cr = rgn;
        cr.Intersect(cw->rect);
        if (cr.Empty()) continue;
        Area inner = cr;
        inner.Subtract(Shift(cw->client, cw->rect.left, cw->rect.top));
        if (!inner.Empty()) {
            NeedFramePaintLocked(*cw);
            Wake(*cw->queue);
        }
        cr.Translate(-(cw->rect.left + cw->client.left), -(cw->rect.top + cw->client.top));
        InvalidateTree(*cw, cr, erase, kids == Kids::All ? Kids::All : Kids::ByStyle);
    }
}

// The windows from h down that wait for painting, parents first.
void CollectPaintLocked(HWND h, bool descend, bool deeper, std::vector<HWND>& out)
    AX_REQUIRES(managerMutex) {
    auto x = FindLocked(h);
    if (!x || !VisibleLocked(*x) || LockedAncestryLocked(*x)) return;
    if (!x->update.Empty() || x->ncPaint || x->internalPaint) out.push_back(h);
    if (descend)
        for (HWND c : x->children)
            CollectPaintLocked(c, deeper, deeper, out);
}

// Where a DC's drawing goes as its window stands now: no surface when the
// window is gone.
struct DcTarget {
    cairo_surface_t* surface = nullptr;
    HWND top = nullptr;
    POINT origin{};
    Area visible; // top-level coordinates
};

DcTarget TargetLocked(const DcRecord& rec) AX_REQUIRES(managerMutex) {
    DcTarget t;
    auto w = FindLocked(rec.hwnd);
    if (!w) return t;
    t.top = RootLocked(rec.hwnd);
    auto tw = FindLocked(t.top);
    if (!tw || !tw->surface) return t;
    t.surface = tw->surface.get();
    const RECT r = rec.client ? ClientInTopLocked(*w) : RectInTopLocked(*w);
    t.origin = {r.left, r.top};
    t.visible = VisibleAreaLocked(*w, rec.client);
    if (rec.limit) {
        Area l = *rec.limit;
        l.Translate(t.origin.x, t.origin.y);
        t.visible.Intersect(l);
    }
    return t;
}

void RetargetLocked(uint32_t value, DcRecord& rec) AX_REQUIRES(managerMutex) {
    DcTarget t = TargetLocked(rec);
    if (!t.surface) {
        const Region nothing;
        SetSurfaceDCOrigin(HDC{{value}}, POINT{}, &nothing);
        rec.dirty = {};
        return;
    }
    const Region visible = t.visible.ToRegion();
    RetargetSurfaceDC(HDC{{value}}, t.surface, t.origin, &visible);
    rec.top = t.top;
    rec.dirty = t.visible.Extents();
}

HDC MakeDC(HWND hwnd, bool client, const Area* limit) {
    LockGuard g;
    if (!FindLocked(hwnd)) return HDC{};
    DcRecord rec;
    rec.hwnd = hwnd;
    rec.client = client;
    if (limit) rec.limit = *limit;
    rec.thread = ThreadId();
    const DcTarget t = TargetLocked(rec);
    HDC dc;
    if (t.surface) {
        const Region visible = t.visible.ToRegion();
        dc = CreateSurfaceDC(t.surface, t.origin, &visible);
        rec.surface = true;
        rec.top = t.top;
        rec.dirty = t.visible.Extents();
    } else {
        dc = CreateCompatibleDC(HDC{});
    }
    if (dc) M().dcs[dc.value] = std::move(rec);
    return dc;
}

// Shows part of a top-level window's surface now.
void Present(HWND top, const RECT& dirty) {
    if (!top || EmptyRect(dirty)) return;
    SurfacePtr surface; // held: a resize on another thread may replace it meanwhile
    {
        LockGuard g;
        auto w = FindLocked(top);
        if (!w || !w->surface || !VisibleLocked(*w) || LockedAncestryLocked(*w)) return;
        surface.reset(cairo_surface_reference(w->surface.get()));
        cairo_surface_flush(surface.get());
    }
    Driver().Present(top, surface.get(), dirty);
}

// Shows part of a top-level window's surface once the painting in hand is
// done: a repaint of many controls reaches the display in one piece.
void SchedulePresent(HWND top, const RECT& dirty) {
    if (!top || EmptyRect(dirty)) return;
    std::shared_ptr<ThreadQueue> owner;
    {
        LockGuard g;
        Window* w = PeekLocked(top);
        if (!w) return;
        if (EmptyRect(w->unpresented)) {
            w->unpresented = dirty;
            w->queue->presents.push_back(top);
        } else {
            w->unpresented = {std::min(w->unpresented.left, dirty.left),
                              std::min(w->unpresented.top, dirty.top),
                              std::max(w->unpresented.right, dirty.right),
                              std::max(w->unpresented.bottom, dirty.bottom)};
        }
        if (w->queue->threadId != ThreadId()) owner = w->queue;
    }
    if (owner) Wake(*owner); // drawn by another thread: the owner's loop shows it
}

int RegionKind(const Area& a) {
    if (a.Empty()) return 1;              // NULLREGION
    return a.Rects().size() == 1 ? 2 : 3; // SIMPLEREGION, COMPLEXREGION
}

HBRUSH SysBrush(int index) {
    return GetSysColorBrush(index);
}

void FillStrip(HDC dc, RECT r, int colour) {
    if (!EmptyRect(r)) FillRect(dc, &r, SysBrush(colour));
}

} // namespace

Frame wm::FrameOf(DWORD style, DWORD exStyle, bool child) {
    Frame f;
    if (style & WS_THICKFRAME)
        f.border = GetSystemMetrics(SM_CXFRAME);
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        f.border = GetSystemMetrics(SM_CXDLGFRAME);
    else if (style & WS_BORDER)
        f.border = GetSystemMetrics(SM_CXBORDER);
    if (exStyle & WS_EX_CLIENTEDGE) f.border += GetSystemMetrics(SM_CXEDGE);
    if (exStyle & WS_EX_STATICEDGE) f.border += GetSystemMetrics(SM_CXBORDER);
    if ((style & WS_CAPTION) == WS_CAPTION)
        f.caption = GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
    if (style & WS_VSCROLL) f.vscroll = GetSystemMetrics(SM_CXVSCROLL);
    if (style & WS_HSCROLL) f.hscroll = GetSystemMetrics(SM_CYHSCROLL);
    (void)child;
    return f;
}

int wm::MenuBarHeightLocked(const Window& w) {
    return (w.menu && !(w.style & WS_CHILD)) ? GetSystemMetrics(SM_CYMENU) : 0;
}

RECT wm::ClientFromWindow(const RECT& window, DWORD style, DWORD exStyle, bool child, int menuBar) {
    const Frame f = FrameOf(style, exStyle, child);
    RECT c{window.left + f.border, window.top + f.border + f.caption + menuBar,
           window.right - f.border - f.vscroll, window.bottom - f.border - f.hscroll};
    c.right = std::max(c.right, c.left);
    c.bottom = std::max(c.bottom, c.top);
    return c;
}

LRESULT wm::HitTestLocked(const Window& w, POINT screen) {
    const POINT o = ScreenOriginLocked(w, false);
    const POINT p{screen.x - o.x, screen.y - o.y};
    const int W = w.rect.width(), H = w.rect.height();
    if (!InRect(RECT{0, 0, W, H}, p)) return HTNOWHERE;
    if (InRect(w.client, p)) return HTCLIENT;
    const Frame f = FrameOf(w.style, w.exStyle, w.parent != nullptr);
    const int edge = f.border - ((w.exStyle & WS_EX_CLIENTEDGE) ? GetSystemMetrics(SM_CXEDGE) : 0) -
                     ((w.exStyle & WS_EX_STATICEDGE) ? GetSystemMetrics(SM_CXBORDER) : 0);
    const bool inFrame = p.x < edge || p.y < edge || p.x >= W - edge || p.y >= H - edge;
    if (inFrame) {
        if (!(w.style & WS_THICKFRAME) || (w.style & WS_MAXIMIZE)) return HTBORDER;
        const int corner = edge + GetSystemMetrics(SM_CXSIZE);
        const bool left = p.x < edge, right = p.x >= W - edge, top = p.y < edge,
                   bottom = p.y >= H - edge;
        const bool nearLeft = p.x < corner, nearRight = p.x >= W - corner;
        const bool nearTop = p.y < corner, nearBottom = p.y >= H - corner;
        if ((top && nearLeft) || (left && nearTop)) return HTTOPLEFT;
        if ((top && nearRight) || (right && nearTop)) return HTTOPRIGHT;
        if ((bottom && nearLeft) || (left && nearBottom)) return HTBOTTOMLEFT;
        if ((bottom && nearRight) || (right && nearBottom)) return HTBOTTOMRIGHT;
        if (left) return HTLEFT;
        if (right) return HTRIGHT;
        if (top) return HTTOP;
        return HTBOTTOM;
    }
    if (f.caption && p.y >= edge && p.y < edge + f.caption) {
        const CaptionButtons b = ButtonsOf(w.style, w.exStyle, W);
        if (InRect(b.close, p)) return HTCLOSE;
        if (InRect(b.max, p)) return HTMAXBUTTON;
        if (InRect(b.min, p)) return HTMINBUTTON;
        if ((w.style & WS_SYSMENU) && !(w.exStyle & WS_EX_TOOLWINDOW) &&
            p.x < edge + GetSystemMetrics(SM_CXSMICON) + 2)
            return HTSYSMENU;
        return HTCAPTION;
    }
    if (const int bar = MenuBarHeightLocked(w);
        bar && p.y >= edge + f.caption && p.y < edge + f.caption + bar)
        return HTMENU;
    if (f.vscroll && p.x >= w.client.right && p.x < w.client.right + f.vscroll) {
        if (p.y >= w.client.bottom) return HTGROWBOX;
        return HTVSCROLL;
    }
    if (f.hscroll && p.y >= w.client.bottom && p.y < w.client.bottom + f.hscroll) return HTHSCROLL;
    return HTBORDER;
}

void wm::InvalidateLocked(Window& w, const Area& rgn, bool erase, bool children) {
    InvalidateTree(w, rgn, erase, children ? Kids::All : Kids::ByStyle);
}

void wm::FillClientForErase(HWND hwnd, HDC dc, DWORD) {
    auto w = Find(hwnd);
    if (!w) return;
    HBRUSH br = w->cls->wc.hbrBackground;
    if (br.value >= 1 && br.value <= 31) br = GetSysColorBrush(static_cast<int>(br.value) - 1);
    RECT r;
    GetClientRect(hwnd, r);
    FillRect(dc, &r, br);
}

void wm::PaintNonClient(HWND hwnd, bool menuBar) {
    DWORD style, exStyle;
    RECT client;
    int W, H, bar;
    bool top, active;
    std::string text;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return;
        // A partial update leaves the bar to the pending WM_NCPAINT.
        bar = MenuBarHeightLocked(*w);
        if (menuBar || !bar) w->ncPaint = false;
        style = w->style;
        exStyle = w->exStyle;
        client = w->client;
        W = w->rect.width();
        H = w->rect.height();
        top = IsTopLevel(*w);
        active = RootLocked(M().active) == hwnd || (top && M().active == hwnd);
        text = w->text;
    }
    const Frame f = FrameOf(style, exStyle, !top);
    if (!f.border && !f.caption && !f.vscroll && !f.hscroll && !bar) return;
    const WindowDC windowDc = WindowDC::WholeWindow(hwnd);
    const HDC dc = windowDc.Get();
    if (!dc) return;
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    RECT r{0, 0, W, H};
    if ((style & WS_THICKFRAME) || (style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
        const int band = ((style & WS_THICKFRAME) ? GetSystemMetrics(SM_CXFRAME)
                                                  : GetSystemMetrics(SM_CXDLGFRAME)) -
                         2;
        const int colour = (style & WS_THICKFRAME)
                               ? (active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER)
                               : COLOR_BTNFACE;
        if (band > 0) {
            FillStrip(dc, {r.left, r.top, r.right, r.top + band}, colour);
            FillStrip(dc, {r.left, r.bottom - band, r.right, r.bottom}, colour);
            FillStrip(dc, {r.left, r.top + band, r.left + band, r.bottom - band}, colour);
            FillStrip(dc, {r.right - band, r.top + band, r.right, r.bottom - band}, colour);
            r = {r.left + band, r.top + band, r.right - band, r.bottom - band};
        }
    } else if (style & WS_BORDER) {
        FrameRect(dc, &r, SysBrush(COLOR_WINDOWFRAME));
        r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    }
    if (f.caption) {
        RECT cap{r.left, r.top, r.right, r.top + f.caption - 1};
        FillStrip(dc, cap, active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
        FillStrip(dc, {r.left, cap.bottom, r.right, cap.bottom + 1}, COLOR_BTNFACE);
        const CaptionButtons b = ButtonsOf(style, exStyle, W);
        RECT textRect{cap.left + 2, cap.top,
                      (b.close.left ? (b.min.left ? b.min.left : b.close.left) : cap.right) - 2,
                      cap.bottom};
        const bool tool = exStyle & WS_EX_TOOLWINDOW;
        const UniqueFont font(
            CreateFont(-(f.caption - 8), 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "MS Sans Serif"));
        {
            const ScopedSelection useFont(dc, font.Get());
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
            DrawText(dc, text, &textRect, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        }
        (void)tool;
        if (!EmptyRect(b.close)) {
            RECT c = b.close;
            DrawFrameControl(dc, &c, DFC_CAPTION,
                             DFCS_CAPTIONCLOSE |
                                 (SystemCommandAllowed(hwnd, SC_CLOSE) ? 0u : UINT(DFCS_INACTIVE)));
        }
        if (!EmptyRect(b.max)) {
            RECT c = b.max;
            DrawFrameControl(dc, &c, DFC_CAPTION,
                             ((style & WS_MAXIMIZE) ? DFCS_CAPTIONRESTORE : DFCS_CAPTIONMAX) |
                                 ((style & WS_MAXIMIZEBOX) ? 0u : UINT(DFCS_INACTIVE)));
            c = b.min;
            DrawFrameControl(dc, &c, DFC_CAPTION,
                             DFCS_CAPTIONMIN |
                                 ((style & WS_MINIMIZEBOX) ? 0u : UINT(DFCS_INACTIVE)));
        }
        r.top += f.caption;
    }
    if (bar) {
        // Only WM_NCPAINT clears the bar: the menu's owner draws its items
        // after that, and other frame updates leave them alone.
        if (menuBar) FillStrip(dc, {r.left, r.top, r.right, r.top + bar}, COLOR_MENU);
        r.top += bar;
    }
    if (exStyle & WS_EX_CLIENTEDGE) DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (exStyle & WS_EX_STATICEDGE) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    DrawScrollBars(hwnd, dc);
    if (f.vscroll && f.hscroll)
        FillStrip(
            dc, {client.right, client.bottom, client.right + f.vscroll, client.bottom + f.hscroll},
            COLOR_BTNFACE);
}

PendingPresents wm::TakePresentsLocked(ThreadQueue& q) {
    PendingPresents due;
    for (HWND top : q.presents)
        if (Window* w = PeekLocked(top))
            due.emplace_back(top, std::exchange(w->unpresented, RECT{}));
    q.presents.clear();
    return due;
}

void wm::ShowPresents(const PendingPresents& due) {
    for (const auto& [top, dirty] : due)
        Present(top, dirty);
}

void wm::FlushPresents(ThreadQueue& q) {
    PendingPresents due;
    {
        LockGuard g;
        due = TakePresentsLocked(q);
    }
    ShowPresents(due);
}

void wm::RefreshDCsLocked(HWND top) {
    const DWORD me = ThreadId();
    for (auto& [value, rec] : M().dcs) {
        if (!rec.surface || rec.top != top) continue;
        if (rec.thread == me) {
            RetargetLocked(value, rec);
            continue;
        }
        // The DC is its thread's: that thread updates it between two draws.
        auto q = M().queues.find(rec.thread);
        if (q == M().queues.end() || !q->second->alive) continue;
        const uint32_t dc = value;
        q->second->tasks.push_back([dc] {
            LockGuard g;
            auto it = M().dcs.find(dc);
            if (it != M().dcs.end() && it->second.thread == ThreadId() && it->second.surface)
                RetargetLocked(dc, it->second);
        });
        Wake(*q->second);
    }
}

void wm::PaintCaret(bool draw) {
    Caret c;
    {
        LockGuard g;
        c = M().caret;
        if (!c.hwnd || c.drawn == draw || (draw && c.hideCount > 0)) return;
        M().caret.drawn = draw;
    }
    const WindowDC dc(c.hwnd);
    if (!dc) return;
    RECT r{c.pos.x, c.pos.y, c.pos.x + c.size.cx, c.pos.y + c.size.cy};
    InvertRect(dc.Get(), &r);
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    LockGuard g;
    if (!hwnd) {
        for (auto& [v, w] : M().windows) {
            NeedFramePaintLocked(*w);
            InvalidateTree(*w, Area(RECT{0, 0, w->client.width(), w->client.height()}), erase,
                           Kids::None);
        }
        return TRUE;
    }
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    const RECT all{0, 0, w->client.width(), w->client.height()};
    InvalidateTree(*w, Area(rect ? *rect : all), erase, Kids::ByStyle);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    if (rect)
        w->update.Subtract(*rect);
    else
        w->update.Clear();
    if (w->update.Empty()) {
        w->erase = false;
        w->internalPaint = false;
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase) {
    bool needErase;
    RECT box;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return FALSE;
        box = w->update.Extents();
        needErase = erase && w->erase && !w->update.Empty();
        if (needErase) w->erase = false;
    }
    if (rect) *rect = box;
    if (needErase) {
        Area limit(box);
        HDC dc = MakeDC(hwnd, true, &limit);
        SendMessage(hwnd, WM_ERASEBKGND, dc.value, 0);
        ReleaseDC(hwnd, dc);
    }
    return EmptyRect(box) ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
    return RedrawWindow(hwnd, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, UINT flags) {
    std::vector<HWND> toPaint;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return FALSE;
        const Kids kids = (flags & RDW_ALLCHILDREN)  ? Kids::All
                          : (flags & RDW_NOCHILDREN) ? Kids::None
                                                     : Kids::ByStyle;
        const RECT all{0, 0, w->client.width(), w->client.height()};
        if (flags & RDW_INVALIDATE) {
            if (flags & RDW_FRAME) NeedFramePaintLocked(*w);
            if (flags & RDW_INTERNALPAINT) {
                w->internalPaint = true;
                NeedPaintLocked(*w);
            }
            InvalidateTree(*w, Area(rect ? *rect : all), flags & RDW_ERASE, kids);
        }
        if (flags & RDW_VALIDATE) {
            if (rect)
                w->update.Subtract(*rect);
            else
                w->update.Clear();
            if (flags & RDW_NOERASE) w->erase = false;
            if (flags & RDW_NOFRAME) w->ncPaint = false;
            if (flags & RDW_NOINTERNALPAINT) w->internalPaint = false;
        }
        if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) {
            CollectPaintLocked(hwnd, kids != Kids::None, kids != Kids::None, toPaint);
        }
    }
    const bool updateNow = (flags & RDW_UPDATENOW) != 0;
    ScopeGuard show([updateNow] {
        if (updateNow) FlushPresents(*CurrentQueue());
    });
    for (HWND h : toPaint) {
        auto w = Find(h);
        if (!w) continue;
        if (flags & RDW_UPDATENOW) {
            SendMessage(h, WM_PAINT);
        } else {
            bool nc;
            {
                LockGuard g;
                nc = w->ncPaint;
                w->ncPaint = false;
            }
            if (nc) SendMessage(h, WM_NCPAINT, 1, 0);
            GetUpdateRect(h, nullptr, TRUE);
        }
    }
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT& ps) {
    ps = PAINTSTRUCT{};
    bool nc;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return HDC{};
        nc = w->ncPaint;
        w->ncPaint = false;
    }
    PaintCaret(false);
    if (nc) SendMessage(hwnd, WM_NCPAINT, 1, 0);
    Area update;
    bool erase;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return HDC{};
        update = w->update;
        update.Intersect(RECT{0, 0, w->client.width(), w->client.height()});
        erase = w->erase;
        w->update.Clear();
        w->erase = false;
        w->internalPaint = false;
    }
    HDC dc = MakeDC(hwnd, true, &update);
    if (erase) ps.fErase = SendMessage(hwnd, WM_ERASEBKGND, dc.value, 0) ? FALSE : TRUE;
    ps.hdc = dc;
    ps.rcPaint = update.Extents();
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT& ps) {
    if (ps.hdc) ReleaseDC(hwnd, ps.hdc);
    {
        LockGuard g;
        if (M().caret.hideCount > 0) return TRUE;
    }
    PaintCaret(true);
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    if (!hwnd) {
        HDC dc = CreateCompatibleDC(HDC{});
        LockGuard g;
        M().dcs[dc.value] = DcRecord{};
        return dc;
    }
    return MakeDC(hwnd, true, nullptr);
}

HDC GetWindowDC(HWND hwnd) {
    return MakeDC(hwnd, false, nullptr);
}

int ReleaseDC(HWND, HDC dc) {
    DcRecord rec;
    {
        LockGuard g;
        auto it = M().dcs.find(dc.value);
        if (it == M().dcs.end()) return 0;
        rec = std::move(it->second);
        M().dcs.erase(it);
    }
    DeleteDC(dc);
    if (rec.surface) SchedulePresent(rec.top, rec.dirty);
    return 1;
}

int ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip, RECT* update,
                   UINT flags) {
    Area invalid;
    HWND top;
    RECT dirty{};
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return 0; // ERROR
        const RECT all{0, 0, w->client.width(), w->client.height()};
        const RECT src = scroll ? Clip(*scroll, all) : all;
        const RECT lim = clip ? Clip(*clip, all) : all;
        const RECT moved = Clip(Shift(src, dx, dy), lim);
        top = RootLocked(hwnd);
        auto tw = FindLocked(top);
        const RECT ct = ClientInTopLocked(*w);
        Area vis = VisibleAreaLocked(*w, true);
        if (tw && tw->surface && !vis.Empty() && !EmptyRect(moved)) {
            // Copy through a scratch surface so that overlapping moves read the old pixels.
            cairo_surface_t* s = tw->surface.get();
            const RECT from = Shift(Shift(moved, -dx, -dy), ct.left, ct.top);
            cairo_surface_t* tmp =
                cairo_image_surface_create(CAIRO_FORMAT_ARGB32, from.width(), from.height());
            cairo_t* cr = cairo_create(tmp);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_surface(cr, s, -from.left, -from.top);
            cairo_paint(cr);
            cairo_destroy(cr);
            Area to(Shift(moved, ct.left, ct.top));
            to.Intersect(vis);
            cr = cairo_create(s);
            for (const RECT& r : to.Rects())
                cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
            cairo_clip(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_surface(cr, tmp, from.left + dx, from.top + dy);
            cairo_paint(cr);
            cairo_destroy(cr);
            cairo_surface_destroy(tmp);
            cairo_surface_mark_dirty(s);
            dirty = to.Extents();
        }
        // What the move uncovered, and what it brought from hidden parts, must be painted.
        invalid = Area(Clip(src, lim));
        invalid.Subtract(moved);
        Area hiddenSource(Shift(moved, ct.left - dx, ct.top - dy));
        hiddenSource.Subtract(vis);
        hiddenSource.Translate(dx - ct.left, dy - ct.top);
        invalid.Union(hiddenSource);
        // Pending invalid parts travel with the pixels.
        Area pending = w->update;
        pending.Intersect(src);
        w->update.Subtract(src);
        pending.Translate(dx, dy);
        pending.Intersect(lim);
        w->update.Union(pending);
        if (!w->update.Empty()) NeedPaintLocked(*w);
        if (flags & SW_SCROLLCHILDREN)
            for (HWND c : w->children)
                if (auto cw = FindLocked(c);
                    cw && (!scroll || InRect(src, POINT{cw->rect.left, cw->rect.top}))) {
                    cw->rect = Shift(cw->rect, dx, dy);
                    LayoutChangedLocked();
                }
        if (flags & SW_INVALIDATE)
            InvalidateTree(*w, invalid, flags & SW_ERASE,
                           (flags & SW_SCROLLCHILDREN) ? Kids::All : Kids::ByStyle);
        if (flags & SW_SCROLLCHILDREN) RefreshDCsLocked(top);
    }
    if (update) *update = invalid.Extents();
    SchedulePresent(top, dirty);
    return RegionKind(invalid);
}

BOOL ScrollWindow(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip) {
    const UINT flags = SW_INVALIDATE | SW_ERASE | (scroll ? 0 : SW_SCROLLCHILDREN);
    return ScrollWindowEx(hwnd, dx, dy, scroll, clip, nullptr, flags) != 0;
}

BOOL LockWindowUpdate(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    ++w->updateLocks;
    return TRUE;
}

BOOL UnlockWindowUpdate(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w || w->updateLocks == 0) return FALSE;
    if (--w->updateLocks == 0) {
        NeedFramePaintLocked(*w);
        InvalidateTree(*w, Area(RECT{0, 0, w->client.width(), w->client.height()}), true,
                       Kids::All);
    }
    return TRUE;
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN:
    case SM_CXMAXIMIZED:
        return Driver().ScreenSize().cx;
    case SM_CYSCREEN:
    case SM_CYFULLSCREEN:
    case SM_CYVIRTUALSCREEN:
    case SM_CYMAXIMIZED:
        return Driver().ScreenSize().cy;
    case SM_CXMAXTRACK:
        return Driver().ScreenSize().cx + 12;
    case SM_CYMAXTRACK:
        return Driver().ScreenSize().cy + 12;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CYCAPTION:
    case SM_CYMENU:
        return 19;
    case SM_CXBORDER:
    case SM_CYBORDER:
    case SM_MOUSEPRESENT:
    case SM_MOUSEWHEELPRESENT:
    case SM_CMONITORS:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG:
        return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXICONSPACING:
    case SM_CYICONSPACING:
        return 75;
    case SM_CXMIN:
    case SM_CXMINTRACK:
        return 112;
    case SM_CYMIN:
    case SM_CYMINTRACK:
        return 27;
    case SM_CXSIZE:
    case SM_CYSIZE:
        return 18;
    case SM_CYSMCAPTION:
        return 15;
    case SM_CXSMSIZE:
        return 12;
    case SM_CYSMSIZE:
        return 14;
    case SM_CXMENUSIZE:
    case SM_CYMENUSIZE:
        return 18;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK:
        return 13;
    case SM_CMOUSEBUTTONS:
        return 3;
    case SM_SWAPBUTTON:
    case SM_REMOTESESSION:
        return 0;
    default:
        return 0;
    }
}

BOOL ChangeSysColors(int count, const int* indices, const COLORREF* colours) {
    if (!SetSysColors(count, indices, colours)) return FALSE;
    for (HWND h : EnumWindows())
        SendMessage(h, WM_SYSCOLORCHANGE);
    InvalidateRect(nullptr, nullptr, TRUE);
    return TRUE;
}

cairo_surface_t* WindowSurface(HWND hwnd) {
    LockGuard g;
    auto w = FindLocked(hwnd);
    return w && w->surface ? w->surface.get() : nullptr;
}

bool SnapshotWindow(HWND hwnd, const std::string& pngPath) {
    cairo_surface_t* copy = nullptr;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return false;
        auto tw = FindLocked(RootLocked(hwnd));
        if (!tw || !tw->surface) return false;
        const RECT r = RectInTopLocked(*w);
        copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, r.width()),
                                          std::max(1, r.height()));
        cairo_t* cr = cairo_create(copy);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, tw->surface.get(), -r.left, -r.top);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
    const bool ok = cairo_surface_write_to_png(copy, pngPath.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(copy);
    return ok;
}

void PumpDisplay() {
    auto q = CurrentQueue();
    // Twice: what the display answers to the first round (a map's exposure)
    // is served and shown in the second.
    for (int round = 0; round < 2; ++round) {
        RunTasks(*q);
        ServeSent(*q);
        FlushPresents(*q);
        Driver().Sync();
    }
}

unsigned long NativeWindow(HWND top) {
    return Driver().NativeHandle(top);
}

std::vector<std::uint8_t> DesktopSettings() {
    return Driver().DesktopSettings();
}

void WatchDesktopSettings(HWND window, std::function<void(std::vector<std::uint8_t>)> changed) {
    if (!changed) {
        Driver().WatchDesktopSettings({});
        return;
    }
    Driver().WatchDesktopSettings([window, changed = std::move(changed)](std::vector<std::uint8_t> settings) {
        wm::RunOnWindowThread(window, [changed, settings = std::move(settings)] { changed(settings); });
    });
}

void wm::PresentWhole(HWND top) {
    RECT all;
    {
        LockGuard g;
        auto w = FindLocked(top);
        if (!w || !w->surface) return;
        all = {0, 0, cairo_image_surface_get_width(w->surface.get()),
               cairo_image_surface_get_height(w->surface.get())};
    }
    Present(top, all);
}

void wm::RunOnWindowThread(HWND hwnd, std::function<void()> fn) {
    std::shared_ptr<ThreadQueue> q;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return;
        q = w->queue;
    }
    PostTask(q, std::move(fn));
}

} // namespace ax
