#pragma once
// Internal state of the window manager. One mutex guards all of it; window
// procedures, hooks and display calls always run with the mutex released.
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "rtl/clock.h"

#include <algorithm>
#include <array>
#include <cairo.h>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace ax::wm {

// Rectangle arithmetic by value.
inline bool EmptyRect(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}
inline bool InRect(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
inline RECT Shift(RECT r, int dx, int dy) {
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}
inline RECT Clip(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return EmptyRect(r) ? RECT{} : r;
}

// A mutable integer area on cairo's region type (update regions change
// often); the drawing layer's Region is made from it when a DC needs one.
class Area {
public:
    Area() : r_(cairo_region_create()) {}
    explicit Area(const RECT& r);
    Area(const Area& o) : r_(cairo_region_copy(o.r_)) {}
    Area& operator=(const Area& o);
    ~Area() { cairo_region_destroy(r_); }
    void Union(const RECT& r);
    void Union(const Area& o) { cairo_region_union(r_, o.r_); }
    void Intersect(const RECT& r);
    void Intersect(const Area& o) { cairo_region_intersect(r_, o.r_); }
    void Subtract(const RECT& r);
    void Subtract(const Area& o) { cairo_region_subtract(r_, o.r_); }
    void Translate(int dx, int dy) { cairo_region_translate(r_, dx, dy); }
    bool Empty() const { return cairo_region_is_empty(r_); }
    void Clear();
    RECT Extents() const;
    std::vector<RECT> Rects() const;
    Region ToRegion() const;
    cairo_region_t* get() const { return r_; }

private:
    cairo_region_t* r_;
};

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct ClassInfo {
    WNDCLASS wc;
    ATOM atom = 0;
};

struct SubclassEntry {
    UINT_PTR id = 0;
    SUBCLASSPROC proc;
    bool removed = false;
};

struct ThreadQueue;

// One scroll bar's state. Tracking fields are set while the mouse holds a
// part of the bar.
struct ScrollBarState {
    int min = 0, max = 100, page = 0, pos = 0, trackPos = 0;
    UINT disabled = 0;     // ESB_DISABLE_* arrows
    int pressed = -1;      // the SB_* part held down and under the cursor, -1 none
    bool tracking = false; // the thumb is being dragged
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<ClassInfo> cls;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr; // nullptr: top-level
    HWND owner = nullptr;
    bool messageOnly = false;
    std::vector<HWND> children; // front to back
    RECT rect{};                // in the parent's client coordinates (screen for top-level)
    RECT client{};              // relative to rect's top-left
    std::string text;
    UINT_PTR id = 0;
    LONG_PTR userData = 0;
    std::map<int, LONG_PTR> extra;
    std::shared_ptr<ThreadQueue> queue;
    std::vector<std::shared_ptr<SubclassEntry>> chain; // first called first
    Area update;                                       // client coordinates
    bool erase = false;
    bool ncPaint = false;
    bool internalPaint = false;
    bool redrawOff = false;
    int updateLocks = 0;
    bool destroying = false;
    bool created = false;
    RECT restore{};     // normal rectangle while minimised or maximised
    SurfacePtr surface; // top-level windows only
    std::shared_ptr<IDropTarget> dropTarget;
    ScrollBarState vbar, hbar; // the window's standard bars, or a SCROLLBAR control's own
    HMENU menu = nullptr;
};

struct QueuedMessage {
    MSG msg;
    char32_t ch = 0; // character a key message produces, when the display knows it
};

struct SentMessage {
    HWND hwnd = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;
};

struct RawInput {
    enum Kind { Move, Button, Wheel, Key } kind = Move;
    POINT pt{};
    MouseButton button = MouseButton::Left;
    bool down = false;
    int delta = 0;
    UINT vk = 0;
    char32_t ch = 0;
    LPARAM keyData = 0;
    DWORD time = 0;
    WPARAM modifiers = 0; // MK_ flags after the event
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    uint64_t due = 0;
    std::shared_ptr<ThreadQueue> queue;
};

struct Hook {
    int kind = 0;
    HOOKPROC proc;
    std::shared_ptr<ThreadQueue> queue;
    uintptr_t value = 0;
};

struct ThreadQueue {
    DWORD threadId = 0;
    std::deque<QueuedMessage> posted;
    std::deque<RawInput> raw;
    std::deque<QueuedMessage> input;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::deque<std::function<void()>> tasks;
    std::vector<std::shared_ptr<Hook>> hooks; // last installed first
    bool quit = false;
    int quitCode = 0;
    bool alive = true;
    DWORD messageTime = 0;
    MSG lastKey{};
    char32_t lastKeyChar = 0;
    TimedCondition wake;
    bool signalled = false; // under wake.Mutex()
};

struct Caret {
    HWND hwnd = nullptr;
    POINT pos{};
    SIZE size{};
    int hideCount = 1;
    bool drawn = false;
};

class DisplayDriver;

struct Manager {
    Manager();
    ~Manager();

    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
    uintptr_t nextHandle = 0x10010;
    std::map<std::string, std::shared_ptr<ClassInfo>> classes; // folded names
    ATOM nextAtom = 0xC000;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;
    std::vector<HWND> topLevels; // front to back, topmost first
    std::vector<HWND> messageOnly;
    std::vector<std::shared_ptr<Timer>> timers;
    int timerLimit = -1;
    UINT_PTR nextThreadTimer = 0x7FF0;
    std::map<UINT, DroppedMessageHandler> dropHandlers;
    uintptr_t nextHook = 1;
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    HCURSOR cursor{};
    POINT cursorPos{};
    std::array<uint8_t, 256> asyncKeys{}; // 0x80 down, 0x01 toggled
    std::array<uint8_t, 256> keys{};
    // Alt pressed and released with no other key or click between enters
    // the menu bar: altAlone while it is held, altTap once it went up so.
    bool altAlone = false;
    bool altTap = false;
    struct LastClick {
        HWND hwnd = nullptr;
        UINT msg = 0;
        DWORD time = 0;
        POINT pt{};
    } lastClick;
    Caret caret;
    std::vector<WaitableEvent*> events;

    std::unique_ptr<DisplayDriver> driver;
    DisplayKind requested = DisplayKind::Automatic;
};

Manager& M();

// Helpers; "Locked" ones expect the caller to hold M().mutex.
std::shared_ptr<Window> FindLocked(HWND hwnd);
std::shared_ptr<Window> Find(HWND hwnd);
std::shared_ptr<ThreadQueue> CurrentQueue(); // creates it
DWORD ThreadId();
void Wake(ThreadQueue& q);
void WakeAll();
bool IsTopLevel(const Window& w);
HWND RootLocked(HWND hwnd);
// Window rectangle of w in the coordinates of its top-level window.
RECT RectInTopLocked(const Window& w);
POINT ScreenOriginLocked(const Window& w, bool client);
bool VisibleLocked(const Window& w);
DWORD Now();
// Runs fn on the thread that owns hwnd's queue, from its message loop.
void PostTask(const std::shared_ptr<ThreadQueue>& q, std::function<void()> fn);
// Releases the payloads of posted messages that will never be served.
void DropMessages(std::vector<MSG> msgs);
// Non-client model.
struct Frame {
    int border = 0; // frame and edges, each side
    int caption = 0;
    int vscroll = 0;
    int hscroll = 0;
};
Frame FrameOf(DWORD style, DWORD exStyle, bool child);
// menuBar: the height the window's menu bar takes (MenuBarHeightLocked).
RECT ClientFromWindow(const RECT& window, DWORD style, DWORD exStyle, bool child, int menuBar = 0);
int MenuBarHeightLocked(const Window& w);
LRESULT HitTestLocked(const Window& w, POINT screen);
// menuBar: clear the menu bar too (WM_NCPAINT).
void PaintNonClient(HWND hwnd, bool menuBar = false);
void PaintCaret(bool draw);
void DisplayCursor(HCURSOR cursor);
DisplayDriver& Driver();
// Moves focus, activation and capture away from a window that goes away.
void ForgetWindow(HWND hwnd);
// Keeps the surface of a top-level window as large as the window.
void SizeSurfaceLocked(Window& w);
// Serves what is waiting for the calling thread except retrievable messages.
void ServeSent(ThreadQueue& q);
void RunTasks(ThreadQueue& q);
void CookRawInput(ThreadQueue& q);
void UpdateKeyStateOnRetrieve(const MSG& msg);
void InvalidateLocked(Window& w, const Area& rgn, bool erase, bool children);
void RemoveClipboardOwner(HWND hwnd);
void FillClientForErase(HWND hwnd, HDC dc, DWORD colour);
HWND TopLevelAtLocked(POINT screen);
HWND DeepestWindowAt(HWND top, POINT screen);
bool TakeEventLocked(WaitableEvent& e);
// Shows the whole surface of a top-level window (after it was mapped).
void PresentWhole(HWND top);
// Scroll bars: the standard bars in the frame, the modal tracking loop of a
// press on a bar (pt in window coordinates for SB_VERT/SB_HORZ, client
// coordinates for SB_CTL) and the SCROLLBAR class.
void DrawScrollBars(HWND hwnd, HDC windowDc);
void TrackScrollBar(HWND hwnd, int bar, POINT pt);
void AddSystemClasses(Manager& m);
// Runs fn on the thread that owns hwnd, from that thread's message loop.
void RunOnWindowThread(HWND hwnd, std::function<void()> fn);
// What a display did to a top-level window by itself (its window manager
// moved, sized, minimised, restored or maximised it), applied to the window
// without being sent back to the display. Called on the window's thread.
void ApplyDisplayRect(HWND top, const RECT& screen);
void ApplyDisplayState(HWND top, bool iconic, bool zoomed);

} // namespace ax::wm
