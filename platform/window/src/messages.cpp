// Queues: send, post, retrieval with filters, dispatch, translation, timers,
// hooks and the waits of a message loop.
#include "rtl/threads.h"
#include "wm.h"

#include <atomic>
#include <exception>

namespace ax {

using namespace wm;

namespace {

thread_local int tlsInSend = 0;

const HWND kThreadOnly = reinterpret_cast<HWND>(intptr_t(-1));

// Posted messages a queue holds at most, as on the platform; a post to a
// full queue fails and the caller keeps its payload.
constexpr size_t kPostedLimit = 10000;

bool InRange(UINT msg, UINT lo, UINT hi) {
    return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi);
}

bool Matches(const MSG& m, HWND filter, UINT lo, UINT hi) {
    if (filter == kThreadOnly) {
        if (m.hwnd) return false;
    } else if (filter && m.hwnd != filter) {
        return false;
    }
    return InRange(m.message, lo, hi);
}

bool IsKeyMessage(UINT m) {
    return m == WM_KEYDOWN || m == WM_KEYUP || m == WM_SYSKEYDOWN || m == WM_SYSKEYUP;
}

bool NeedsPaint(const Window& w) AX_REQUIRES(managerMutex) {
    return !w.update.Empty() || w.internalPaint || w.ncPaint;
}

// Whether w may be painted now: it and its ancestors shown, not minimised,
// not held by the redraw switch or the update lock.
bool PaintableLocked(const Window& w) AX_REQUIRES(managerMutex) {
    for (const Window* cur = &w;;) {
        if (!(cur->style & WS_VISIBLE) || (cur->style & WS_MINIMIZE) || cur->messageOnly ||
            cur->redrawOff || cur->updateLocks > 0)
            return false;
        if (!cur->parent) return true;
        cur = PeekLocked(cur->parent);
        if (!cur) return false;
    }
}

// The window of the queue to paint next: parents before their children.
HWND FindPaintLocked(ThreadQueue& q, HWND filter) AX_REQUIRES(managerMutex) {
    if (filter == kThreadOnly) return nullptr;
    for (auto it = q.paint.begin(); it != q.paint.end();) {
        Window* w = PeekLocked(*it);
        if (!w || !NeedsPaint(*w)) {
            it = q.paint.erase(it);
            continue;
        }
        if ((filter && filter != w->hwnd) || !PaintableLocked(*w)) {
            ++it;
            continue;
        }
        HWND found = w->hwnd;
        if (!filter)
            for (Window* p = PeekLocked(w->parent); p; p = PeekLocked(p->parent))
                if (q.paint.count(p->hwnd) && NeedsPaint(*p)) found = p->hwnd;
        return found;
    }
    return nullptr;
}

bool TimerMatches(const Timer& t, const ThreadQueue& q, HWND filter) {
    if (t.queue.get() != &q) return false;
    if (filter == kThreadOnly) return !t.hwnd;
    return !filter || t.hwnd == filter;
}

std::shared_ptr<Timer> DueTimerLocked(const ThreadQueue& q, HWND filter, uint64_t now)
    AX_REQUIRES(managerMutex) {
    std::shared_ptr<Timer> best;
    for (auto& t : M().timers) {
        if (!TimerMatches(*t, q, filter) || t->due > now) continue;
        if (!best || t->due < best->due) best = t;
    }
    return best;
}

// When the next timer a retrieval with this filter can take is due; a timer
// the filter leaves out must not cut the wait short.
uint64_t NextTimerDue(const ThreadQueue& q, HWND filter = nullptr, UINT lo = 0, UINT hi = 0) {
    if (!InRange(WM_TIMER, lo, hi)) return UINT64_MAX;
    LockGuard g;
    uint64_t due = UINT64_MAX;
    for (auto& t : M().timers)
        if (TimerMatches(*t, q, filter)) due = std::min(due, t->due);
    return due;
}

DWORD StatusLocked(ThreadQueue& q) AX_REQUIRES(managerMutex) {
    DWORD s = 0;
    if (!q.posted.empty() || q.quit) s |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    if (!q.sent.empty()) s |= QS_SENDMESSAGE;
    for (auto& r : q.raw)
        s |= r.kind == RawInput::Key    ? QS_KEY
             : r.kind == RawInput::Move ? QS_MOUSEMOVE
                                        : QS_MOUSEBUTTON;
    for (auto& i : q.input)
        s |= IsKeyMessage(i.msg.message)                                        ? QS_KEY
             : i.msg.message == WM_MOUSEMOVE || i.msg.message == WM_NCMOUSEMOVE ? QS_MOUSEMOVE
                                                                                : QS_MOUSEBUTTON;
    if (FindPaintLocked(q, nullptr)) s |= QS_PAINT;
    if (DueTimerLocked(q, nullptr, CurrentClock().Ticks())) s |= QS_TIMER;
    return s;
}

void ClearSignal(ThreadQueue& q) {
    std::lock_guard<std::mutex> g(q.wake.Mutex());
    q.signalled = false;
}

void WaitForSignal(ThreadQueue& q, uint64_t deadline) {
    FlushPresents(q); // nothing drawn stays unseen while the thread waits
    std::unique_lock<std::mutex> lock(q.wake.Mutex());
    const auto signalled = [&] { return q.signalled; };
    if (deadline == UINT64_MAX) q.wake.WaitFor(lock, INFINITE, signalled);
    else q.wake.WaitUntil(lock, deadline, signalled);
}

void ServeEverything(ThreadQueue& q) {
    if (IsMainThread()) CheckSynchronize();
    RunTasks(q);
    ServeSent(q);
}

std::shared_ptr<Hook> NextHookLocked(const ThreadQueue& q, int kind, uintptr_t after)
    AX_REQUIRES(managerMutex) {
    bool passed = after == 0;
    for (auto& h : q.hooks) {
        if (h->kind != kind) continue;
        if (passed) return h;
        if (h->value == after) passed = true;
    }
    return nullptr;
}

LRESULT CallHooks(ThreadQueue& q, int kind, int code, WPARAM wp, LPARAM lp) {
    std::shared_ptr<Hook> first;
    {
        LockGuard g;
        first = NextHookLocked(q, kind, 0);
    }
    return first ? first->proc(code, wp, lp) : 0;
}

enum class Source { None, Posted, Input, Quit, Paint, Timer };

bool PeekCore(ThreadQueue& q, MSG& out, HWND filter, UINT lo, UINT hi, UINT flags) {
    const bool remove = flags & PM_REMOVE;
    for (;;) {
        ServeEverything(q);
        CookRawInput(q);
        Source src = Source::None;
        QueuedMessage found;
        PendingPresents shown;
        {
            LockGuard g;
            for (auto it = q.posted.begin(); it != q.posted.end(); ++it)
                if (Matches(it->msg, filter, lo, hi)) {
                    found = *it;
                    if (remove) q.posted.erase(it);
                    src = Source::Posted;
                    break;
                }
            if (src == Source::None)
                for (auto it = q.input.begin(); it != q.input.end(); ++it)
                    if (Matches(it->msg, filter, lo, hi)) {
                        found = *it;
                        if (remove) q.input.erase(it);
                        src = Source::Input;
                        break;
                    }
            if (src == Source::None && q.quit && InRange(WM_QUIT, lo, hi)) {
                found.msg =
                    MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, Now(), M().cursorPos};
                if (remove) q.quit = false;
                src = Source::Quit;
            }
            if (src == Source::None && InRange(WM_PAINT, lo, hi))
                if (HWND h = FindPaintLocked(q, filter)) {
                    found.msg = MSG{h, WM_PAINT, 0, 0, Now(), M().cursorPos};
                    src = Source::Paint;
                }
            if (src == Source::None && InRange(WM_TIMER, lo, hi)) {
                const uint64_t now = CurrentClock().Ticks();
                if (auto t = DueTimerLocked(q, filter, now)) {
                    found.msg = MSG{t->hwnd,
                                    WM_TIMER,
                                    t->id,
                                    reinterpret_cast<LPARAM>(t->proc),
                                    static_cast<DWORD>(now),
                                    M().cursorPos};
                    if (remove) t->due = now + t->elapse;
                    src = Source::Timer;
                }
            }
            if (src != Source::None) {
                q.messageTime = found.msg.time;
                q.messagePos = found.msg.pt;
            }
            // Painting done for now: what it drew goes to the display together.
            if (src != Source::Paint && !q.presents.empty()) shown = TakePresentsLocked(q);
        }
        ShowPresents(shown);
        if (src == Source::None) return false;
        if (src == Source::Input && IsKeyMessage(found.msg.message)) {
            const int code = remove ? HC_ACTION : HC_NOREMOVE;
            if (CallHooks(q, WH_KEYBOARD, code, found.msg.wParam, found.msg.lParam)) {
                // The hook swallowed the key: it is gone either way.
                if (!remove) {
                    LockGuard g;
                    for (auto it = q.input.begin(); it != q.input.end(); ++it)
                        if (it->msg.hwnd == found.msg.hwnd &&
                            it->msg.message == found.msg.message &&
                            it->msg.lParam == found.msg.lParam && it->msg.time == found.msg.time) {
                            q.input.erase(it);
                            break;
                        }
                }
                continue;
            }
            if (remove) {
                LockGuard g;
                q.lastKey = found.msg;
                q.lastKeyChar = found.ch;
            }
        }
        if (remove && src == Source::Input) UpdateKeyStateOnRetrieve(found.msg);
        CallHooks(q, WH_GETMESSAGE, HC_ACTION, remove ? PM_REMOVE : PM_NOREMOVE,
                  reinterpret_cast<LPARAM>(&found.msg));
        out = found.msg;
        return true;
    }
}

bool FilterValid(HWND filter) {
    return !filter || filter == kThreadOnly || IsWindow(filter);
}

char32_t CharFromKey(UINT vk) {
    const bool shift = GetKeyState(VK_SHIFT) & 0x8000;
    const bool ctrl = GetKeyState(VK_CONTROL) & 0x8000;
    const bool alt = GetKeyState(VK_MENU) & 0x8000;
    const bool caps = GetKeyState(VK_CAPITAL) & 1;
    const bool num = GetKeyState(VK_NUMLOCK) & 1;
    if (ctrl && !alt) {
        if (vk >= 'A' && vk <= 'Z') return vk - 'A' + 1;
        switch (vk) {
        case VK_OEM_4:
            return 0x1B;
        case VK_OEM_5:
            return 0x1C;
        case VK_OEM_6:
            return 0x1D;
        case VK_RETURN:
            return 0x0A;
        case VK_BACK:
            return 0x7F;
        default:
            return 0;
        }
    }
    if (vk >= 'A' && vk <= 'Z') return (shift != caps) ? vk : vk + 32;
    if (vk >= '0' && vk <= '9') return shift ? U")!@#$%^&*("[vk - '0'] : vk;
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return num ? '0' + (vk - VK_NUMPAD0) : 0;
    switch (vk) {
    case VK_SPACE:
        return ' ';
    case VK_RETURN:
        return '\r';
    case VK_BACK:
        return '\b';
    case VK_TAB:
        return '\t';
    case VK_ESCAPE:
        return 0x1B;
    case VK_MULTIPLY:
        return '*';
    case VK_ADD:
        return '+';
    case VK_SUBTRACT:
        return '-';
    case VK_DECIMAL:
        return num ? '.' : 0;
    case VK_DIVIDE:
        return '/';
    case VK_OEM_1:
        return shift ? ':' : ';';
    case VK_OEM_PLUS:
        return shift ? '+' : '=';
    case VK_OEM_COMMA:
        return shift ? '<' : ',';
    case VK_OEM_MINUS:
        return shift ? '_' : '-';
    case VK_OEM_PERIOD:
        return shift ? '>' : '.';
    case VK_OEM_2:
        return shift ? '?' : '/';
    case VK_OEM_3:
        return shift ? '~' : '`';
    case VK_OEM_4:
        return shift ? '{' : '[';
    case VK_OEM_5:
        return shift ? '|' : '\\';
    case VK_OEM_6:
        return shift ? '}' : ']';
    case VK_OEM_7:
        return shift ? '"' : '\'';
    default:
        return 0;
    }
}

} // namespace

void wm::ServeSent(ThreadQueue& q) {
    for (;;) {
        std::shared_ptr<SentMessage> s;
        {
            LockGuard g;
            if (q.sent.empty()) return;
            s = q.sent.front();
            q.sent.pop_front();
        }
        ++tlsInSend;
        LRESULT r = 0;
        std::exception_ptr failure;
        try {
            r = IsWindow(s->hwnd) ? CallWindowChain(s->hwnd, s->msg, s->wParam, s->lParam) : 0;
        } catch (...) {
            // The sender must never wait for ever on a failed receiver: it
            // gets 0, and the failure is raised here, on the receiving
            // thread, as one from a message it dispatched itself would be.
            failure = std::current_exception();
        }
        --tlsInSend;
        {
            LockGuard g;
            s->result = r;
            s->done = true;
        }
        if (s->sender) Wake(*s->sender);
        if (failure) std::rethrow_exception(failure);
    }
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (hwnd == HWND_BROADCAST) {
        for (HWND h : EnumWindows())
            SendMessage(h, msg, wp, lp);
        return 0;
    }
    auto me = CurrentQueue();
    auto s = std::make_shared<SentMessage>();
    std::shared_ptr<ThreadQueue> target;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return 0;
        target = w->queue;
        if (target != me) {
            if (!target->alive) return 0;
            s->hwnd = hwnd;
            s->msg = msg;
            s->wParam = wp;
            s->lParam = lp;
            s->sender = me;
            target->sent.push_back(s);
        }
    }
    if (target == me) return CallWindowChain(hwnd, msg, wp, lp);
    Wake(*target);
    for (;;) {
        ClearSignal(*me);
        {
            LockGuard g;
            if (s->done) return s->result;
        }
        // Serve whoever sends to us meanwhile, the target included.
        ServeEverything(*me);
        {
            LockGuard g;
            if (s->done) return s->result;
        }
        WaitForSignal(*me, UINT64_MAX);
    }
}

BOOL InSendMessage() {
    return tlsInSend > 0;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (hwnd == HWND_BROADCAST) {
        for (HWND h : EnumWindows())
            PostMessage(h, msg, wp, lp);
        return TRUE;
    }
    if (!hwnd) return PostThreadMessage(GetCurrentThreadId(), msg, wp, lp);
    std::shared_ptr<ThreadQueue> q;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w || !w->queue->alive || w->queue->posted.size() >= kPostedLimit) return FALSE;
        q = w->queue;
        q->posted.push_back({MSG{hwnd, msg, wp, lp, Now(), M().cursorPos}, 0});
    }
    Wake(*q);
    return TRUE;
}

BOOL PostThreadMessage(DWORD threadId, UINT msg, WPARAM wp, LPARAM lp) {
    if (threadId == GetCurrentThreadId()) CurrentQueue();
    std::shared_ptr<ThreadQueue> q;
    {
        LockGuard g;
        auto it = M().queues.find(threadId);
        if (it == M().queues.end() || !it->second->alive ||
            it->second->posted.size() >= kPostedLimit)
            return FALSE;
        q = it->second;
        q->posted.push_back({MSG{nullptr, msg, wp, lp, Now(), M().cursorPos}, 0});
    }
    Wake(*q);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    auto q = CurrentQueue();
    LockGuard g;
    q->quit = true;
    q->quitCode = exitCode;
}

namespace {
std::atomic<RetrievalHook> g_retrievalHook{nullptr};

void CallRetrievalHook() {
    if (RetrievalHook hook = g_retrievalHook.load(std::memory_order_acquire)) hook();
}
} // namespace

void SetMessageRetrievalHook(RetrievalHook hook) {
    g_retrievalHook.store(hook, std::memory_order_release);
}

BOOL PeekMessage(MSG& msg, HWND hwnd, UINT lo, UINT hi, UINT flags) {
    CallRetrievalHook();
    auto q = CurrentQueue();
    if (!FilterValid(hwnd)) return FALSE;
    return PeekCore(*q, msg, hwnd, lo, hi, flags) ? TRUE : FALSE;
}

int GetMessage(MSG& msg, HWND hwnd, UINT lo, UINT hi) {
    CallRetrievalHook();
    auto q = CurrentQueue();
    if (!FilterValid(hwnd)) return -1;
    for (;;) {
        ClearSignal(*q);
        if (PeekCore(*q, msg, hwnd, lo, hi, PM_REMOVE)) return msg.message == WM_QUIT ? 0 : 1;
        WaitForSignal(*q, NextTimerDue(*q, hwnd, lo, hi));
    }
}

BOOL WaitMessage() {
    auto q = CurrentQueue();
    for (;;) {
        ClearSignal(*q);
        // A synchronised call may change what the caller's loop waits for,
        // so having run one counts as something to look at.
        if (IsMainThread() && CheckSynchronize()) return TRUE;
        ServeEverything(*q);
        {
            LockGuard g;
            if (StatusLocked(*q) & ~QS_SENDMESSAGE) return TRUE;
        }
        WaitForSignal(*q, NextTimerDue(*q));
    }
}

DWORD GetQueueStatus(UINT flags) {
    auto q = CurrentQueue();
    LockGuard g;
    const DWORD s = StatusLocked(*q) & flags;
    return (s << 16) | s;
}

DWORD GetMessageTime() {
    auto q = CurrentQueue();
    LockGuard g;
    return q->messageTime;
}

DWORD GetMessagePos() {
    auto q = CurrentQueue();
    LockGuard g;
    const POINT p = q->messagePos;
    return DWORD(uint16_t(p.x)) | DWORD(uint16_t(p.y)) << 16;
}

DWORD MsgWaitForMultipleObjects(std::span<WaitableEvent* const> events, uint32_t timeoutMs,
                                UINT wakeMask) {
    auto q = CurrentQueue();
    FlushPresents(*q); // a wait, even one that only looks, shows what was drawn
    const uint64_t start = CurrentClock().Ticks();
    const uint64_t deadline = timeoutMs == INFINITE ? UINT64_MAX : start + timeoutMs;
    for (;;) {
        ClearSignal(*q);
        ServeEverything(*q);
        {
            LockGuard g;
            for (size_t i = 0; i < events.size(); ++i)
                if (events[i] && TakeEventLocked(*events[i]))
                    return WAIT_OBJECT_0 + static_cast<DWORD>(i);
            if (StatusLocked(*q) & wakeMask)
                return WAIT_OBJECT_0 + static_cast<DWORD>(events.size());
        }
        if (deadline != UINT64_MAX && CurrentClock().Ticks() >= deadline) return WAIT_TIMEOUT;
        uint64_t until = deadline;
        if (wakeMask & QS_TIMER) until = std::min(until, NextTimerDue(*q));
        WaitForSignal(*q, until);
    }
}

LRESULT DispatchMessage(const MSG& msg) {
    if (msg.message == WM_TIMER && msg.lParam) {
        TIMERPROC proc = nullptr;
        {
            LockGuard g;
            for (auto& t : M().timers)
                if (t->hwnd == msg.hwnd && t->id == msg.wParam &&
                    reinterpret_cast<LPARAM>(t->proc) == msg.lParam)
                    proc = t->proc;
        }
        if (proc) proc(msg.hwnd, WM_TIMER, msg.wParam, Now());
        return 0;
    }
    if (!msg.hwnd) return 0;
    {
        LockGuard g;
        auto w = FindLocked(msg.hwnd);
        if (!w || w->queue->threadId != ThreadId()) return 0;
    }
    return CallWindowChain(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

BOOL TranslateMessage(const MSG& msg) {
    if (!IsKeyMessage(msg.message)) return FALSE;
    if (msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP) return TRUE;
    auto q = CurrentQueue();
    char32_t ch = 0;
    bool fromDisplay = false;
    {
        LockGuard g;
        const MSG& k = q->lastKey;
        if (k.hwnd == msg.hwnd && k.message == msg.message && k.wParam == msg.wParam &&
            k.lParam == msg.lParam && k.time == msg.time && q->lastKeyChar) {
            ch = q->lastKeyChar;
            fromDisplay = true;
        }
    }
    if (!fromDisplay) ch = CharFromKey(static_cast<UINT>(msg.wParam));
    if (!ch) return TRUE;
    const UINT charMsg = msg.message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    std::vector<WPARAM> units;
    if (ch > 0xFFFF) {
        const char32_t v = ch - 0x10000;
        units = {0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF)};
    } else {
        units = {ch};
    }
    LockGuard g;
    // The character is read next, ahead of anything posted before it.
    for (auto it = units.rbegin(); it != units.rend(); ++it)
        q->posted.push_front({MSG{msg.hwnd, charMsg, *it, msg.lParam, msg.time, msg.pt}, 0});
    return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    auto q = CurrentQueue();
    elapse = std::clamp<UINT>(elapse, 10, 0x7FFFFFFF);
    LockGuard g;
    if (hwnd) {
        auto w = FindLocked(hwnd);
        if (!w || w->queue != q) return 0;
    }
    const uint64_t now = CurrentClock().Ticks();
    for (auto& t : M().timers)
        if (t->hwnd == hwnd && t->id == id && (hwnd || t->queue == q)) {
            t->elapse = elapse;
            t->proc = proc;
            t->due = now + elapse;
            return hwnd ? (id ? id : 1) : id;
        }
    if (M().timerLimit >= 0 && static_cast<int>(M().timers.size()) >= M().timerLimit) return 0;
    auto t = std::make_shared<Timer>();
    t->hwnd = hwnd;
    t->id = hwnd ? id : M().nextThreadTimer++;
    t->elapse = elapse;
    t->proc = proc;
    t->due = now + elapse;
    t->queue = q;
    M().timers.push_back(t);
    Wake(*q);
    return hwnd ? (id ? id : 1) : t->id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    const DWORD me = ThreadId();
    LockGuard g;
    for (auto it = M().timers.begin(); it != M().timers.end(); ++it) {
        auto& t = *it;
        if (t->hwnd == hwnd && t->id == id && (hwnd || t->queue->threadId == me)) {
            M().timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

void SetTimerLimit(int maxTimers) {
    LockGuard g;
    M().timerLimit = maxTimers;
}

HHOOK SetWindowsHookEx(int idHook, HOOKPROC proc, DWORD threadId) {
    if (idHook != WH_KEYBOARD && idHook != WH_GETMESSAGE) return nullptr;
    if (!proc) return nullptr;
    if (threadId == 0 || threadId == GetCurrentThreadId()) CurrentQueue();
    LockGuard g;
    auto it = M().queues.find(threadId ? threadId : ThreadId());
    if (it == M().queues.end()) return nullptr;
    auto h = std::make_shared<Hook>();
    h->kind = idHook;
    h->proc = std::move(proc);
    h->queue = it->second;
    h->value = M().nextHook++;
    it->second->hooks.insert(it->second->hooks.begin(), h);
    return reinterpret_cast<HHOOK>(h->value);
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
    const auto value = reinterpret_cast<uintptr_t>(hook);
    LockGuard g;
    for (auto& [id, q] : M().queues)
        for (auto it = q->hooks.begin(); it != q->hooks.end(); ++it)
            if ((*it)->value == value) {
                q->hooks.erase(it);
                return TRUE;
            }
    return FALSE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wp, LPARAM lp) {
    const auto value = reinterpret_cast<uintptr_t>(hook);
    std::shared_ptr<Hook> next;
    {
        LockGuard g;
        for (auto& [id, q] : M().queues)
            for (auto& h : q->hooks)
                if (h->value == value) {
                    next = NextHookLocked(*q, h->kind, value);
                    break;
                }
    }
    return next ? next->proc(code, wp, lp) : 0;
}

} // namespace ax
