#pragma once
// Internal state of the window manager. One mutex (managerMutex, lock.h)
// guards all of it; window procedures, hooks and display calls always run
// with the mutex released. Fields that never change once the object is
// published (a window's handle, class, queue and kind; a queue's thread;
// a timer's or hook's identity) are read without it.
#include "lock.h"
#include "platform/window/display.h"
#include "platform/window/ime.h"
#include "platform/window/window.h"
#include "rtl/clock.h"

#include <algorithm>
#include <array>
#include <cairo.h>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
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

#define AX_WM_GUARDED AX_GUARDED_BY(managerMutex)

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<ClassInfo> cls;
    std::shared_ptr<ThreadQueue> queue;
    bool messageOnly = false;
    DWORD style AX_WM_GUARDED = 0;
    DWORD exStyle AX_WM_GUARDED = 0;
    HWND parent AX_WM_GUARDED = nullptr; // nullptr: top-level
    HWND owner AX_WM_GUARDED = nullptr;
    std::vector<HWND> owned AX_WM_GUARDED;    // the windows this one owns
    std::vector<HWND> children AX_WM_GUARDED; // front to back
    RECT rect AX_WM_GUARDED{};   // in the parent's client coordinates (screen for top-level)
    RECT client AX_WM_GUARDED{}; // relative to rect's top-left
    std::string text AX_WM_GUARDED;
    UINT_PTR id AX_WM_GUARDED = 0;
    LONG_PTR userData AX_WM_GUARDED = 0;
    std::map<int, LONG_PTR> extra AX_WM_GUARDED;
    std::vector<std::shared_ptr<SubclassEntry>> chain AX_WM_GUARDED; // first called first
    Area update AX_WM_GUARDED;                                       // client coordinates
    bool erase AX_WM_GUARDED = false;
    bool ncPaint AX_WM_GUARDED = false;
    bool internalPaint AX_WM_GUARDED = false;
    bool redrawOff AX_WM_GUARDED = false;
    int updateLocks AX_WM_GUARDED = 0;
    bool destroying AX_WM_GUARDED = false;
    bool created AX_WM_GUARDED = false;
    RECT restore AX_WM_GUARDED{};     // normal rectangle while minimised or maximised
    bool restoreMaximized AX_WM_GUARDED = false; // minimised from maximised: restored maximised
    SurfacePtr surface AX_WM_GUARDED; // top-level windows only
    std::shared_ptr<IDropTarget> dropTarget AX_WM_GUARDED;
    ScrollBarState vbar AX_WM_GUARDED; // the window's standard bars, or a SCROLLBAR control's own
    ScrollBarState hbar AX_WM_GUARDED;
    HMENU menu AX_WM_GUARDED = nullptr;
    ImeUse imeUse AX_WM_GUARDED = ImeUse::Default;
    std::string imeName AX_WM_GUARDED;
    // Clipping reads the children's rectangles for every DC: a copy in z
    // order (empty for hidden ones), rebuilt when the layout changed, and
    // each child's place in it.
    RECT unpresented AX_WM_GUARDED{}; // a top-level window's drawing not yet shown
    std::vector<RECT> childRects AX_WM_GUARDED;
    uint64_t childRectsLayout AX_WM_GUARDED = 0;
    size_t zIndex AX_WM_GUARDED = 0;
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
    std::shared_ptr<ThreadQueue> sender;
    LRESULT result AX_WM_GUARDED = 0;
    bool done AX_WM_GUARDED = false;
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
    std::shared_ptr<ThreadQueue> queue;
    UINT elapse AX_WM_GUARDED = 0;
    TIMERPROC proc AX_WM_GUARDED = nullptr;
    uint64_t due AX_WM_GUARDED = 0;
};

struct Hook {
    int kind = 0;
    HOOKPROC proc;
    std::shared_ptr<ThreadQueue> queue;
    uintptr_t value = 0;
};

struct ThreadQueue {
    DWORD threadId = 0;
    std::deque<QueuedMessage> posted AX_WM_GUARDED;
    std::deque<RawInput> raw AX_WM_GUARDED;
    std::deque<QueuedMessage> input AX_WM_GUARDED;
    std::deque<std::shared_ptr<SentMessage>> sent AX_WM_GUARDED;
    std::deque<std::function<void()>> tasks AX_WM_GUARDED;
    std::vector<std::shared_ptr<Hook>> hooks AX_WM_GUARDED; // last installed first
    // Windows of the queue that may wait for WM_PAINT: every change that
    // makes a window wait adds it, retrieval drops those that no longer do.
    std::set<HWND> paint AX_WM_GUARDED;
    // Top-level windows drawn on and not yet shown: presented together once
    // the painting in hand is done (FlushPresents).
    std::vector<HWND> presents AX_WM_GUARDED;
    bool quit AX_WM_GUARDED = false;
    int quitCode AX_WM_GUARDED = 0;
    bool alive AX_WM_GUARDED = true;
    DWORD messageTime AX_WM_GUARDED = 0;
    POINT messagePos AX_WM_GUARDED{}; // the pointer when the last message was taken
    MSG lastKey AX_WM_GUARDED{};
    char32_t lastKeyChar AX_WM_GUARDED = 0;
    TimedCondition wake;
    bool signalled = false; // under wake.Mutex()
};

// A device context handed out by GetDC, GetWindowDC or BeginPaint. Like the
// platform's, it follows its window: when the window moves, is resized,
// restacked or destroyed, the DC is pointed at the window's new place (or
// at nothing), by the thread the DC belongs to.
struct DcRecord {
    HWND hwnd = nullptr;
    bool client = true;
    bool surface = false;      // over a window's surface (else a memory DC stand-in)
    std::optional<Area> limit; // a paint DC's update area, client coordinates
    DWORD thread = 0;
    HWND top = nullptr; // the top-level window whose surface it draws on
    RECT dirty{};       // what ReleaseDC presents, top-level coordinates
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

    std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows AX_WM_GUARDED;
    uintptr_t nextHandle AX_WM_GUARDED = 0x10010;
    std::map<std::string, std::shared_ptr<ClassInfo>> classes AX_WM_GUARDED; // folded names
    ATOM nextAtom AX_WM_GUARDED = 0xC000;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues AX_WM_GUARDED;
    std::vector<HWND> topLevels AX_WM_GUARDED; // front to back, topmost first
    std::vector<HWND> messageOnly AX_WM_GUARDED;
    std::vector<std::shared_ptr<Timer>> timers AX_WM_GUARDED;
    int timerLimit AX_WM_GUARDED = -1;
    UINT_PTR nextThreadTimer AX_WM_GUARDED = 0x7FF0;
    std::map<UINT, DroppedMessageHandler> dropHandlers AX_WM_GUARDED;
    uintptr_t nextHook AX_WM_GUARDED = 1;
    HWND focus AX_WM_GUARDED = nullptr;
    HWND active AX_WM_GUARDED = nullptr;
    HWND capture AX_WM_GUARDED = nullptr;
    // The top-level window a press went to, while any button is held.
    HWND pressTop AX_WM_GUARDED = nullptr;
    HCURSOR cursor AX_WM_GUARDED{};
    POINT cursorPos AX_WM_GUARDED{};
    std::array<uint8_t, 256> asyncKeys AX_WM_GUARDED{}; // 0x80 down, 0x01 toggled
    std::array<uint8_t, 256> keys AX_WM_GUARDED{};
    // Alt pressed and released with no other key or click between enters
    // the menu bar: altAlone while it is held, altTap once it went up so.
    bool altAlone AX_WM_GUARDED = false;
    bool altTap AX_WM_GUARDED = false;
    struct LastClick {
        HWND hwnd = nullptr;
        UINT msg = 0;
        DWORD time = 0;
        POINT pt{};
    } lastClick AX_WM_GUARDED;
    Caret caret AX_WM_GUARDED;
    std::map<uint32_t, DcRecord> dcs AX_WM_GUARDED; // by HDC value
    std::vector<WaitableEvent*> events AX_WM_GUARDED;
    // Moves on every change of a window's rectangle, visibility or place
    // among its siblings (LayoutChangedLocked).
    uint64_t layout AX_WM_GUARDED = 1;

    std::unique_ptr<DisplayDriver> driver AX_WM_GUARDED;
    DisplayKind requested AX_WM_GUARDED = DisplayKind::Automatic;
};

Manager& M();

// Something moved, was resized, shown, hidden or restacked.
inline void LayoutChangedLocked() AX_REQUIRES(managerMutex) {
    ++M().layout;
}

// Helpers; "Locked" ones expect the caller to hold managerMutex.
std::shared_ptr<Window> FindLocked(HWND hwnd) AX_REQUIRES(managerMutex);
// The window without taking a share of it: valid while the lock is held.
Window* PeekLocked(HWND hwnd) AX_REQUIRES(managerMutex);
// Records that w waits for painting (its update area, frame or internal
// paint flag was just set).
void NeedPaintLocked(Window& w) AX_REQUIRES(managerMutex);
// Marks w's frame for painting.
void NeedFramePaintLocked(Window& w) AX_REQUIRES(managerMutex);
std::shared_ptr<Window> Find(HWND hwnd);
std::shared_ptr<ThreadQueue> CurrentQueue(); // creates it
// A window's fields read by code that holds no lock.
DWORD StyleOf(const Window& w) AX_EXCLUDES(managerMutex);
DWORD ExStyleOf(const Window& w) AX_EXCLUDES(managerMutex);
HWND ParentOf(const Window& w) AX_EXCLUDES(managerMutex);
DWORD ThreadId();
void Wake(ThreadQueue& q);
void WakeAll();
bool IsTopLevel(const Window& w) AX_REQUIRES(managerMutex);
HWND RootLocked(HWND hwnd) AX_REQUIRES(managerMutex);
// Window rectangle of w in the coordinates of its top-level window.
RECT RectInTopLocked(const Window& w) AX_REQUIRES(managerMutex);
POINT ScreenOriginLocked(const Window& w, bool client) AX_REQUIRES(managerMutex);
bool VisibleLocked(const Window& w) AX_REQUIRES(managerMutex);
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
int MenuBarHeightLocked(const Window& w) AX_REQUIRES(managerMutex);
LRESULT HitTestLocked(const Window& w, POINT screen) AX_REQUIRES(managerMutex);
// menuBar: clear the menu bar too (WM_NCPAINT).
void PaintNonClient(HWND hwnd, bool menuBar = false);
void PaintCaret(bool draw);
void DisplayCursor(HCURSOR cursor);
DisplayDriver& Driver();
// Moves focus, activation and capture away from a window that goes away.
void ForgetWindow(HWND hwnd);
// Tells the display the input method settings of the keyboard focus.
void TellInputMethod();
// Keeps the surface of a top-level window as large as the window.
void SizeSurfaceLocked(Window& w) AX_REQUIRES(managerMutex);
// Serves what is waiting for the calling thread except retrievable messages.
void ServeSent(ThreadQueue& q);
void RunTasks(ThreadQueue& q);
void CookRawInput(ThreadQueue& q);
void UpdateKeyStateOnRetrieve(const MSG& msg);
void InvalidateLocked(Window& w, const Area& rgn, bool erase, bool children)
    AX_REQUIRES(managerMutex);
void RemoveClipboardOwner(HWND hwnd);
void FillClientForErase(HWND hwnd, HDC dc, DWORD colour);
HWND TopLevelAtLocked(POINT screen) AX_REQUIRES(managerMutex);
HWND DeepestWindowAt(HWND top, POINT screen);
bool TakeEventLocked(WaitableEvent& e) AX_REQUIRES(managerMutex);
// Points the DCs drawing on top's surface at their windows' current place;
// DCs of another thread are refreshed from that thread's loop.
void RefreshDCsLocked(HWND top) AX_REQUIRES(managerMutex);
// Shows what was drawn on the top-level windows of q since the last time.
void FlushPresents(ThreadQueue& q) AX_EXCLUDES(managerMutex);
// The same in two steps: what is due, taken under the lock, then shown.
using PendingPresents = std::vector<std::pair<HWND, RECT>>;
PendingPresents TakePresentsLocked(ThreadQueue& q) AX_REQUIRES(managerMutex);
void ShowPresents(const PendingPresents& due) AX_EXCLUDES(managerMutex);
// Shows the whole surface of a top-level window (after it was mapped).
void PresentWhole(HWND top);
// Scroll bars: the standard bars in the frame, the modal tracking loop of a
// press on a bar (pt in window coordinates for SB_VERT/SB_HORZ, client
// coordinates for SB_CTL) and the SCROLLBAR class.
void DrawScrollBars(HWND hwnd, HDC windowDc);
void TrackScrollBar(HWND hwnd, int bar, POINT pt);
void AddSystemClasses(Manager& m) AX_REQUIRES(managerMutex);
// Runs fn on the thread that owns hwnd, from that thread's message loop.
void RunOnWindowThread(HWND hwnd, std::function<void()> fn);
// A drag from another program, on the thread of the window under it: the
// registered target under pt is told (entered, left as the pointer moves)
// and its effect returned; a drop gives the effect it had.
DWORD ForeignDragOver(std::shared_ptr<IDataObject> data, POINT pt, DWORD allowed, DWORD keyState);
void ForeignDragLeave();
DWORD ForeignDrop(std::shared_ptr<IDataObject> data, DWORD keyState);
// What a display did to a top-level window by itself (its window manager
// moved, sized, minimised, restored or maximised it), applied to the window
// without being sent back to the display. Called on the window's thread.
void ApplyDisplayRect(HWND top, const RECT& screen);
void ApplyDisplayState(HWND top, bool iconic, bool zoomed);
// Size limits (minmax.cpp). Top-level windows with a sizing frame or the
// overlapped style have them: the defaults, as the window's WM_GETMINMAXINFO
// answered; nothing for others.
std::optional<MINMAXINFO> SizeLimits(HWND hwnd);
// The size within the track limits (the minimum wins over the maximum).
SIZE ClampToLimits(const MINMAXINFO& limits, SIZE size);
// The rectangle a window maximised with these limits takes.
RECT MaximizedRect(const MINMAXINFO& limits);
// Hands a shown top-level window's limits to the display.
void SendSizeLimits(HWND hwnd);

} // namespace ax::wm
