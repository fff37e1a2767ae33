// The window manager's core: update areas, the per-thread queues (a thread's
// windows go when it exits), window lookup, waking and posting tasks to
// other threads, display selection and waitable events. The shared state is
// guarded by the manager's mutex (wm.h).
#include "driver.h"
#include "rtl/threads.h"
#include "wm.h"

#include <cstdlib>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

namespace ax::wm {

Area::Area(const RECT& r) : r_(nullptr) {
    cairo_rectangle_int_t c{r.left, r.top, std::max(0, r.width()), std::max(0, r.height())};
    r_ = cairo_region_create_rectangle(&c);
}

Area& Area::operator=(const Area& o) {
    if (this != &o) {
        cairo_region_t* copy = cairo_region_copy(o.r_);
        cairo_region_destroy(r_);
        r_ = copy;
    }
    return *this;
}

void Area::Union(const RECT& r) {
    if (EmptyRect(r)) return;
    cairo_rectangle_int_t c{r.left, r.top, r.width(), r.height()};
    cairo_region_union_rectangle(r_, &c);
}

void Area::Intersect(const RECT& r) {
    if (EmptyRect(r)) {
        Clear();
        return;
    }
    cairo_rectangle_int_t c{r.left, r.top, r.width(), r.height()};
    cairo_region_intersect_rectangle(r_, &c);
}

void Area::Subtract(const RECT& r) {
    if (EmptyRect(r)) return;
    cairo_rectangle_int_t c{r.left, r.top, r.width(), r.height()};
    cairo_region_subtract_rectangle(r_, &c);
}

void Area::Clear() {
    cairo_region_destroy(r_);
    r_ = cairo_region_create();
}

RECT Area::Extents() const {
    if (Empty()) return {};
    cairo_rectangle_int_t c;
    cairo_region_get_extents(r_, &c);
    return {c.x, c.y, c.x + c.width, c.y + c.height};
}

std::vector<RECT> Area::Rects() const {
    std::vector<RECT> out;
    const int n = cairo_region_num_rectangles(r_);
    for (int i = 0; i < n; ++i) {
        cairo_rectangle_int_t c;
        cairo_region_get_rectangle(r_, i, &c);
        out.push_back({c.x, c.y, c.x + c.width, c.y + c.height});
    }
    return out;
}

Region Area::ToRegion() const {
    return Region::fromRects(Rects());
}

namespace {

// Ends the calling thread's part in the window manager when it exits: its
// windows are destroyed, waiting senders released, posted payloads dropped.
struct QueueGuard {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueGuard();
};

thread_local QueueGuard tlsQueue;

QueueGuard::~QueueGuard() {
    if (!queue) return;
    // Destroy what the thread still owns, top-level windows first.
    for (;;) {
        HWND victim = nullptr;
        {
            LockGuard g;
            for (auto& [v, w] : M().windows) {
                if (w->queue != queue || w->destroying) continue;
                auto parent = w->parent ? FindLocked(w->parent) : nullptr;
                if (!parent || parent->queue != queue) {
                    victim = w->hwnd;
                    break;
                }
            }
        }
        if (!victim) break;
        if (!DestroyWindow(victim)) break;
    }
    std::vector<MSG> dropped;
    std::vector<std::shared_ptr<SentMessage>> sends;
    {
        LockGuard g;
        queue->alive = false;
        for (auto& q : queue->posted)
            dropped.push_back(q.msg);
        queue->posted.clear();
        queue->input.clear();
        queue->raw.clear();
        for (auto& s : queue->sent)
            sends.push_back(s);
        queue->sent.clear();
        queue->hooks.clear();
        std::erase_if(M().timers,
                      [&](const std::shared_ptr<Timer>& t) { return t->queue == queue; });
        M().queues.erase(queue->threadId);
        for (auto& s : sends)
            s->done = true;
    }
    for (auto& s : sends)
        if (s->sender) Wake(*s->sender);
    DropMessages(std::move(dropped));
    queue.reset();
}

} // namespace

// Runs once, before any other thread can reach the state.
Manager::Manager() AX_NO_THREAD_SAFETY_ANALYSIS {
    AddSystemClasses(*this);
    SetSynchronizeWakeup([] { WakeAll(); });
}

Manager::~Manager() {
    SetSynchronizeWakeup(nullptr);
    driver.reset();
}

constinit ManagerMutex managerMutex;

Manager& M() {
    static Manager manager;
    return manager;
}

DWORD ThreadId() {
    thread_local DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
    return id;
}

DWORD Now() {
    return static_cast<DWORD>(CurrentClock().Ticks());
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
    if (tlsQueue.queue) return tlsQueue.queue;
    auto q = std::make_shared<ThreadQueue>();
    q->threadId = ThreadId();
    {
        LockGuard g;
        M().queues[q->threadId] = q;
    }
    tlsQueue.queue = q;
    return q;
}

std::shared_ptr<Window> FindLocked(HWND hwnd) {
    auto it = M().windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == M().windows.end() ? nullptr : it->second;
}

Window* PeekLocked(HWND hwnd) {
    auto it = M().windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == M().windows.end() ? nullptr : it->second.get();
}

void NeedPaintLocked(Window& w) {
    w.queue->paint.insert(w.hwnd);
}

void NeedFramePaintLocked(Window& w) {
    w.ncPaint = true;
    NeedPaintLocked(w);
}

std::shared_ptr<Window> Find(HWND hwnd) {
    LockGuard g;
    return FindLocked(hwnd);
}

DWORD StyleOf(const Window& w) {
    LockGuard g;
    return w.style;
}

DWORD ExStyleOf(const Window& w) {
    LockGuard g;
    return w.exStyle;
}

HWND ParentOf(const Window& w) {
    LockGuard g;
    return w.parent;
}

void Wake(ThreadQueue& q) {
    {
        std::lock_guard<std::mutex> g(q.wake.Mutex());
        q.signalled = true;
    }
    q.wake.NotifyAll();
}

void WakeAll() {
    std::vector<std::shared_ptr<ThreadQueue>> all;
    {
        LockGuard g;
        for (auto& [id, q] : M().queues)
            all.push_back(q);
    }
    for (auto& q : all)
        Wake(*q);
}

void PostTask(const std::shared_ptr<ThreadQueue>& q, std::function<void()> fn) {
    {
        LockGuard g;
        if (!q->alive) return;
        q->tasks.push_back(std::move(fn));
    }
    Wake(*q);
}

void RunTasks(ThreadQueue& q) {
    for (;;) {
        std::function<void()> fn;
        {
            LockGuard g;
            if (q.tasks.empty()) return;
            fn = std::move(q.tasks.front());
            q.tasks.pop_front();
        }
        fn();
    }
}

void DropMessages(std::vector<MSG> msgs) {
    for (const MSG& m : msgs) {
        DroppedMessageHandler handler;
        {
            LockGuard g;
            auto it = M().dropHandlers.find(m.message);
            if (it != M().dropHandlers.end()) handler = it->second;
        }
        if (handler) handler(m);
    }
}

bool IsTopLevel(const Window& w) {
    return w.parent == nullptr && !w.messageOnly;
}

HWND RootLocked(HWND hwnd) {
    Window* w = PeekLocked(hwnd);
    while (w && w->parent) {
        Window* p = PeekLocked(w->parent);
        if (!p) break;
        w = p;
    }
    return w ? w->hwnd : nullptr;
}

RECT RectInTopLocked(const Window& w) {
    if (!w.parent) return {0, 0, w.rect.width(), w.rect.height()};
    RECT r = w.rect;
    for (Window* p = PeekLocked(w.parent); p; p = PeekLocked(p->parent)) {
        if (!p->parent) return Shift(r, p->client.left, p->client.top);
        r = Shift(r, p->rect.left + p->client.left, p->rect.top + p->client.top);
    }
    return r;
}

POINT ScreenOriginLocked(const Window& w, bool client) {
    POINT pt{w.rect.left, w.rect.top};
    if (client) {
        pt.x += w.client.left;
        pt.y += w.client.top;
    }
    for (Window* p = w.parent ? PeekLocked(w.parent) : nullptr; p;
         p = p->parent ? PeekLocked(p->parent) : nullptr) {
        pt.x += p->rect.left + p->client.left;
        pt.y += p->rect.top + p->client.top;
    }
    return pt;
}

bool VisibleLocked(const Window& w) {
    for (const Window* cur = &w;;) {
        if (!(cur->style & WS_VISIBLE) || (cur->style & WS_MINIMIZE)) return false;
        if (cur->messageOnly) return false;
        if (!cur->parent) return true;
        cur = PeekLocked(cur->parent);
        if (!cur) return false;
    }
}

void SizeSurfaceLocked(Window& w) {
    if (!IsTopLevel(w)) {
        w.surface.reset();
        return;
    }
    const int cx = std::clamp(w.rect.width(), 1, 16384);
    const int cy = std::clamp(w.rect.height(), 1, 16384);
    if (w.surface && cairo_image_surface_get_width(w.surface.get()) == cx &&
        cairo_image_surface_get_height(w.surface.get()) == cy)
        return;
    SurfacePtr s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cx, cy));
    if (w.surface) {
        cairo_t* cr = cairo_create(s.get());
        cairo_set_source_surface(cr, w.surface.get(), 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
    w.surface = std::move(s);
}

DisplayDriver& Driver() {
    Manager& m = M();
    LockGuard g;
    if (!m.driver) {
        DisplayKind kind = m.requested;
        if (kind == DisplayKind::Automatic) {
            const char* forced = std::getenv("AX_DISPLAY");
            if (forced && std::strcmp(forced, "headless") == 0)
                kind = DisplayKind::Headless;
            else if (forced && std::strcmp(forced, "x11") == 0)
                kind = DisplayKind::X11;
            else {
                const char* display = std::getenv("DISPLAY");
                kind = display && *display ? DisplayKind::X11 : DisplayKind::Headless;
            }
        }
        if (kind == DisplayKind::X11) m.driver = MakeX11Driver();
        if (!m.driver) m.driver = MakeHeadlessDriver();
    }
    return *m.driver;
}

} // namespace ax::wm

namespace ax {

using namespace wm;

bool SelectDisplay(DisplayKind kind) {
    Manager& m = M();
    std::unique_ptr<DisplayDriver> old;
    {
        LockGuard g;
        m.requested = kind;
        bool anyTop = !m.topLevels.empty();
        if (anyTop) return m.driver && (kind == DisplayKind::Automatic || m.driver->Kind() == kind);
        old = std::move(m.driver);
    }
    old.reset();
    DisplayDriver& d = Driver();
    return kind == DisplayKind::Automatic || d.Kind() == kind;
}

DisplayKind ActiveDisplay() {
    return Driver().Kind();
}

void EnsureMessageQueue() {
    CurrentQueue();
}
DWORD GetCurrentThreadId() {
    return ThreadId();
}

WaitableEvent::WaitableEvent(bool manualReset, bool initial)
    : manualReset_(manualReset), signalled_(initial) {
    LockGuard g;
    M().events.push_back(this);
}

WaitableEvent::~WaitableEvent() {
    LockGuard g;
    std::erase(M().events, this);
}

void WaitableEvent::SetEvent() {
    {
        LockGuard g;
        signalled_ = true;
    }
    WakeAll();
}

void WaitableEvent::ResetEvent() {
    LockGuard g;
    signalled_ = false;
}

bool WaitableEvent::IsSet() const {
    LockGuard g;
    return signalled_;
}

struct WaitAccess {
    // Under the manager's mutex: consumes an auto-reset event.
    static bool Take(WaitableEvent& e) {
        if (!e.signalled_) return false;
        if (!e.manualReset_) e.signalled_ = false;
        return true;
    }
};

bool wm::TakeEventLocked(WaitableEvent& e) {
    return WaitAccess::Take(e);
}

void SetDroppedMessageHandler(UINT msg, DroppedMessageHandler handler) {
    LockGuard g;
    if (handler)
        M().dropHandlers[msg] = std::move(handler);
    else
        M().dropHandlers.erase(msg);
}

} // namespace ax
