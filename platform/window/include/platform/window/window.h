#pragma once
// The window manager: classes, windows, per-thread message queues, timers,
// hooks, input state, painting and the clipboard. The functions keep the
// platform's names and numbers so that callers read as they would there.
#include "platform/gdi/gdi.h"
#include "platform/window/constants.h"
#include "platform/window/types.h"

#include <cairo.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

using WNDPROC = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
using HOOKPROC = std::function<LRESULT(int code, WPARAM, LPARAM)>;

struct WNDCLASS {
    UINT style = 0;
    WNDPROC lpfnWndProc;
    HCURSOR hCursor{};
    // A brush, or a system colour index plus one (SysColorBrushValue).
    HBRUSH hbrBackground{};
    std::string lpszClassName;
};

struct CREATESTRUCT {
    LPARAM lpCreateParams = 0;
    HWND hwndParent = nullptr;
    UINT_PTR id = 0;
    int cy = 0, cx = 0, y = 0, x = 0;
    DWORD style = 0;
    std::string name;
    std::string className;
    DWORD dwExStyle = 0;
};

struct WINDOWPOS {
    HWND hwnd = nullptr;
    HWND hwndInsertAfter = nullptr;
    int x = 0, y = 0, cx = 0, cy = 0;
    UINT flags = 0;
};

struct MINMAXINFO {
    POINT ptReserved, ptMaxSize, ptMaxPosition, ptMinTrackSize, ptMaxTrackSize;
};

// WM_ERASEBKGND and friends carry a device context in wParam.
inline HDC DcFromWParam(WPARAM wp) {
    HDC dc;
    dc.value = static_cast<uint32_t>(wp);
    return dc;
}

struct PAINTSTRUCT {
    HDC hdc{};
    BOOL fErase = FALSE;
    RECT rcPaint{};
};

// Classes.
ATOM RegisterClass(const WNDCLASS& wc);
BOOL UnregisterClass(std::string_view name);
BOOL GetClassInfo(std::string_view name, WNDCLASS& wc);
std::string GetClassName(HWND hwnd);

// Windows.
HWND CreateWindowEx(DWORD exStyle, std::string_view className, std::string_view windowName,
                    DWORD style, int x, int y, int width, int height, HWND parent, UINT_PTR id = 0,
                    LPARAM param = 0);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL IsWindowVisible(HWND hwnd);
BOOL IsWindowEnabled(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL IsChild(HWND parent, HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL EnableWindow(HWND hwnd, BOOL enable);
HWND GetParent(HWND hwnd);
HWND SetParent(HWND hwnd, HWND newParent);
HWND GetAncestor(HWND hwnd, UINT flags);
HWND GetWindow(HWND hwnd, UINT cmd);
HWND GetDesktopWindow();
HWND GetTopWindow(HWND parent);
std::vector<HWND> EnumChildWindows(HWND parent); // all descendants, z-order per level
std::vector<HWND> EnumThreadTopWindows(DWORD threadId);
std::vector<HWND> EnumWindows(); // top-level, front to back
HWND FindWindow(std::string_view className, std::optional<std::string_view> title);
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId = nullptr);
DWORD GetCurrentThreadId();
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);
int GetDlgCtrlID(HWND hwnd);
HWND GetDlgItem(HWND parent, int id);
BOOL SetWindowText(HWND hwnd, std::string_view text);
std::string GetWindowText(HWND hwnd);
int GetWindowTextLength(HWND hwnd);
BOOL SetWindowTextW(HWND hwnd, std::u16string_view text);
std::u16string GetWindowTextW(HWND hwnd);

// Window procedures. The class procedure stays at the bottom; subclasses
// stack above it, last installed first, and each removes only itself.
using SUBCLASSPROC = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
BOOL SetWindowSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id);
BOOL RemoveWindowSubclass(HWND hwnd, UINT_PTR id);
// Called from inside a subclass procedure: the next one down the chain.
LRESULT DefSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Runs the window's whole chain (what SendMessage does on the own thread).
LRESULT CallWindowChain(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Geometry. Window rectangles are in screen coordinates, client rectangles
// start at 0,0.
BOOL GetWindowRect(HWND hwnd, RECT& rect);
BOOL GetClientRect(HWND hwnd, RECT& rect);
BOOL ClientToScreen(HWND hwnd, POINT& pt);
BOOL ScreenToClient(HWND hwnd, POINT& pt);
int MapWindowPoints(HWND from, HWND to, std::span<POINT> points);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL BringWindowToTop(HWND hwnd);
BOOL AdjustWindowRectEx(RECT& rect, DWORD style, BOOL menu, DWORD exStyle);
// A top-level window with WS_EX_TRANSPARENT is never the one at a point.
HWND WindowFromPoint(POINT screen);

// The menu bar. The manager keeps only the association: a window with a
// menu (never a child) reserves SM_CYMENU under its caption, hit-tests it as
// HTMENU and fills it with COLOR_MENU in WM_NCPAINT; the menu's owner draws
// the items there after the default painting.
BOOL SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
// Repaints the frame through WM_NCPAINT, so the owner draws the bar again.
BOOL DrawMenuBar(HWND hwnd);
// The bar's rectangle in screen coordinates; false without a menu.
BOOL GetMenuBarRect(HWND hwnd, RECT& rect);
HWND ChildWindowFromPoint(HWND parent, POINT client);

// Messages and queues.
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
BOOL PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
void PostQuitMessage(int exitCode);
BOOL PeekMessage(MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// >0 for a message, 0 for WM_QUIT, -1 for an invalid window filter.
int GetMessage(MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax);
LRESULT DispatchMessage(const MSG& msg);
BOOL TranslateMessage(const MSG& msg);
BOOL WaitMessage();
DWORD GetQueueStatus(UINT flags);
DWORD GetMessageTime();
// Where the pointer was (screen x in the low word, y in the high word, each
// signed) when the last message was taken from the thread's queue; input
// queued since has moved GetCursorPos on.
DWORD GetMessagePos();
// Makes sure the calling thread has a queue (threads get one on first use).
void EnsureMessageQueue();
BOOL InSendMessage();

// An event a message loop can wait on together with its queue.
class WaitableEvent {
public:
    explicit WaitableEvent(bool manualReset = true, bool initial = false);
    ~WaitableEvent();
    WaitableEvent(const WaitableEvent&) = delete;
    WaitableEvent& operator=(const WaitableEvent&) = delete;
    void SetEvent();
    void ResetEvent();
    bool IsSet() const;

private:
    friend struct WaitAccess;
    const bool manualReset_;
    bool signalled_;
};
// WAIT_OBJECT_0 + i for the first signalled event, WAIT_OBJECT_0 + count
// when input of the wake mask is waiting, WAIT_TIMEOUT after timeoutMs on the
// installed clock. Sent messages are served while waiting.
DWORD MsgWaitForMultipleObjects(std::span<WaitableEvent* const> events, uint32_t timeoutMs,
                                UINT wakeMask);

// A message posted to a window that is destroyed before it is served goes
// to the handler registered for its number, so that payloads are released.
using DroppedMessageHandler = std::function<void(const MSG&)>;
void SetDroppedMessageHandler(UINT msg, DroppedMessageHandler handler);

// Timers on the installed clock.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc = nullptr);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
// Test switch: at most this many timers may exist (-1: no limit).
void SetTimerLimit(int maxTimers);

// Called on the retrieving thread at the start of every GetMessage and
// PeekMessage, before the queue is looked at, even when it is empty (the
// crash reporter holds threads there while it composes a report). One
// process-wide hook; nullptr removes it.
using RetrievalHook = void (*)();
void SetMessageRetrievalHook(RetrievalHook hook);

// Hooks of the calling thread (or of threadId).
HHOOK SetWindowsHookEx(int idHook, HOOKPROC proc, DWORD threadId);
BOOL UnhookWindowsHookEx(HHOOK hook);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);

// Focus, activation and capture.
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();

// Cursor and key state.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
BOOL GetCursorPos(POINT& pt);
BOOL SetCursorPos(int x, int y);
SHORT GetKeyState(int vk);
SHORT GetAsyncKeyState(int vk);
UINT GetDoubleClickTime();

// Caret.
BOOL CreateCaret(HWND hwnd, int width, int height);
BOOL DestroyCaret();
BOOL ShowCaret(HWND hwnd);
BOOL HideCaret(HWND hwnd);
BOOL SetCaretPos(int x, int y);
BOOL GetCaretPos(POINT& pt);

// Painting.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase);
BOOL UpdateWindow(HWND hwnd);
BOOL RedrawWindow(HWND hwnd, const RECT* rect, UINT flags);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT& ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT& ps);
HDC GetDC(HWND hwnd);
HDC GetWindowDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
int ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip, RECT* update,
                   UINT flags);
BOOL ScrollWindow(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip);
// The per-window stand-in for the global update lock: while a window is
// locked nothing of it or its children is painted or presented; the last
// unlock repaints it whole. Locks nest.
BOOL LockWindowUpdate(HWND hwnd);
BOOL UnlockWindowUpdate(HWND hwnd);

// Scroll bars: the window's standard bars (SB_VERT, SB_HORZ, shown by
// WS_VSCROLL/WS_HSCROLL in the frame) and SCROLLBAR controls (SB_CTL on the
// control's own window, orientation by SBS_VERT). Positions are clamped to
// nMin .. nMax - max(nPage - 1, 0); the page to the range's size. A range or
// page that leaves nothing to scroll hides a window's bar, or disables it
// with SIF_DISABLENOSCROLL. Pressing a bar sends WM_VSCROLL/WM_HSCROLL
// (to the parent for controls, with the control in lParam) from a modal
// loop: arrows and page areas repeat after 200 ms and then every 50 ms on
// the clock while the cursor stays on them; dragging the thumb sends
// SB_THUMBTRACK with the position in the high word, the release
// SB_THUMBPOSITION; every press ends with SB_ENDSCROLL.
struct SCROLLINFO {
    UINT cbSize = sizeof(SCROLLINFO);
    UINT fMask = 0;
    int nMin = 0;
    int nMax = 0;
    UINT nPage = 0;
    int nPos = 0;
    int nTrackPos = 0;
};
int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO& info, BOOL redraw);
BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO& info);
int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw);
int GetScrollPos(HWND hwnd, int bar);
BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw);
BOOL GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos);
BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show);
BOOL EnableScrollBar(HWND hwnd, UINT bar, UINT arrows);

// System metrics; the colours live in the drawing layer.
int GetSystemMetrics(int index);
// SPI_GETWORKAREA: the screen less what the desktop keeps for its panels
// (a RECT at pv). FALSE for other actions.
BOOL SystemParametersInfo(UINT action, UINT param, void* pv, UINT winIni);
// SetSysColors, then WM_SYSCOLORCHANGE to every top-level window.
BOOL ChangeSysColors(int count, const int* indices, const COLORREF* colours);

// Clipboard. Text is UTF-8 in CF_TEXT and UTF-16 in CF_UNICODETEXT, each
// zero-terminated; either is synthesised from the other.
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
BOOL SetClipboardData(UINT format, std::vector<uint8_t> data);
std::optional<std::vector<uint8_t>> GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
// RegisterClipboardFormat and GetClipboardFormatName: platform/ole/ole.h.
// Conveniences over the calls above (open, replace, close).
BOOL SetClipboardText(std::string_view utf8);
std::optional<std::string> GetClipboardText();

// The clipboard's data-object side. OleSetClipboard empties the clipboard
// and offers every format the object enumerates, rendered from the object
// when someone asks (nullptr only lets go of the object set before).
// OleGetClipboard answers that object, or else a data object holding a copy
// of what the clipboard holds. Anyone's EmptyClipboard lets go of the object.
HRESULT OleSetClipboard(std::shared_ptr<IDataObject> data);
HRESULT OleGetClipboard(std::shared_ptr<IDataObject>* data);
HRESULT OleIsCurrentClipboard(IDataObject* data);

// Drag and drop inside the process. A window registers one drop target;
// the window layer keeps it until RevokeDragDrop or the window's end.
HRESULT RegisterDragDrop(HWND hwnd, std::shared_ptr<IDropTarget> target);
HRESULT RevokeDragDrop(HWND hwnd);
// The modal drag loop: runs on the calling thread until the source drops or
// cancels, following the mouse (capture is held for the loop) and the keys;
// Escape reaches QueryContinueDrag and is not dispatched. The target under
// the cursor is the nearest window, itself or an ancestor, with a
// registered target; pt is in screen coordinates. A drop where the target
// last answered DROPEFFECT_NONE, or where no target is, calls DragLeave
// and gives DROPEFFECT_NONE. Answers DRAGDROP_S_DROP or DRAGDROP_S_CANCEL
// with *effect the effect of the drop.
HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD okEffects, DWORD* effect);

} // namespace ax
