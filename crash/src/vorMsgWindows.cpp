// The reporter's hidden message windows: one per thread, made on demand,
// passing the process-wide messages to the handlers registered for them.
// One registry, under one lock, for the process; it still answers (with
// nothing) while the program ends.
#include "crash/vorMsgWindows.h"
#include "platform/window/window.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace ax {

namespace {

struct THandler {
    UINT Message = 0;
    TMsgHandlerProc Proc = nullptr;
    std::optional<TMsgHandlerMethod> Method;

    bool SameHandler(TMsgHandlerProc proc, const TMsgHandlerMethod* method) const {
        if (method) return Method && Method->Data == method->Data && Method->Code == method->Code;
        return !Method && Proc == proc;
    }
};

struct TThreadEntry {
    DWORD ThreadId = 0;
    HWND Window = nullptr;
    std::vector<THandler> Handlers;
};

// One registry for the process. Its lock stands in for the named mutex of
// the same name, which is why the name is still computed and kept.
struct TRegistry {
    std::mutex Lock;
    std::string MutexName;
    std::vector<TThreadEntry> Entries;
    ~TRegistry();
};

// Trivially destructible, so it still answers while the program ends.
std::atomic<bool> registryClosed{false};

LRESULT dispatchMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

std::string hexSuffix(DWORD threadId) {
    char text[64];
    std::snprintf(
        text, sizeof text, "$%X$%llX", static_cast<unsigned>(threadId),
        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&dispatchMessage)));
    return text;
}

TRegistry& registry() {
    static TRegistry r;
    return r;
}

// The registry locked for the caller, or nothing once it is closed.
std::optional<std::pair<TRegistry*, std::unique_lock<std::mutex>>> openRegistry() {
    if (registryClosed) return std::nullopt;
    TRegistry& r = registry();
    std::unique_lock<std::mutex> lock(r.Lock);
    if (registryClosed) return std::nullopt;
    if (r.MutexName.empty())
        r.MutexName = "vorToolsMsgHandlerMutex" + hexSuffix(GetCurrentThreadId());
    return std::make_pair(&r, std::move(lock));
}

TThreadEntry* findThread(TRegistry& r, DWORD threadId) {
    for (TThreadEntry& e : r.Entries)
        if (e.ThreadId == threadId) return &e;
    return nullptr;
}

std::string className(DWORD threadId) {
    return "vorToolsMsgHandlerWindow" + hexSuffix(threadId);
}

constexpr bool dispatched(UINT message) {
    switch (message) {
    case 17:
    case 18:
    case 21:
    case 22:
    case 23:
    case 26:
    case 27:
    case 28:
    case 29:
    case 30:
    case 42:
    case 65:
    case 72:
    case 80:
    case 81:
    case 84:
    case 126:
        return true;
    default:
        return message >= 536;
    }
}

LRESULT dispatchMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefWindowProc(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Destroyed by other means than the last removal: forget it, so the
        // thread's next request builds a new window instead of using a dead one.
        if (auto open = openRegistry())
            std::erase_if(open->first->Entries,
                          [&](const TThreadEntry& e) { return e.Window == window; });
    } else if (message == WM_CLOSE && !IsWindow(window)) {
        // The close that another thread's last removal asked for.
        UnregisterClass(className(GetCurrentThreadId()));
    }
    if (!dispatched(message)) return result;
    std::vector<THandler> handlers;
    {
        auto open = openRegistry();
        if (!open) return result;
        for (const TThreadEntry& e : open->first->Entries)
            if (e.Window == window) {
                for (const THandler& h : e.Handlers)
                    if (h.Message == message) handlers.push_back(h);
                break;
            }
    }
    // Outside the lock: a handler may add or remove handlers, itself included.
    for (const THandler& h : handlers) {
        if (h.Method)
            h.Method->Call(window, message, wParam, lParam, result);
        else if (h.Proc)
            h.Proc(window, message, wParam, lParam, result);
    }
    return result;
}

HWND createWindow(DWORD threadId) {
    std::string name = className(threadId);
    WNDCLASS wc;
    wc.lpfnWndProc = &dispatchMessage;
    wc.lpszClassName = name;
    WNDCLASS existing;
    // A class left by a window that is still closing serves the new one.
    if (!RegisterClass(wc) && !GetClassInfo(name, existing)) return nullptr;
    return CreateWindowEx(WS_EX_TOOLWINDOW, name, "", WS_POPUP, 0, 0, 0, 0, nullptr);
}

UINT addHandler(TMsgHandlerProc proc, const TMsgHandlerMethod* method, UINT message,
                DWORD threadId) {
    if (!proc && !(method && method->Call)) return 0;
    DWORD thread = threadId ? threadId : GetCurrentThreadId();
    HWND window = MsgHandlerWindow(thread);
    if (!window) return 0;
    auto open = openRegistry();
    if (!open) return 0;
    TThreadEntry* entry = findThread(*open->first, thread);
    if (!entry || entry->Window != window) return 0; // removed meanwhile by another thread
    auto used = [&](UINT m) {
        return std::any_of(entry->Handlers.begin(), entry->Handlers.end(),
                           [&](const THandler& h) { return h.Message == m; });
    };
    if (message == 0) {
        message = WM_USER;
        while (used(message))
            ++message;
    } else {
        for (const THandler& h : entry->Handlers)
            if (h.Message == message && h.SameHandler(proc, method)) return message;
    }
    THandler h;
    h.Message = message;
    if (method)
        h.Method = *method;
    else
        h.Proc = proc;
    entry->Handlers.push_back(std::move(h));
    return message;
}

void removeHandler(TMsgHandlerProc proc, const TMsgHandlerMethod* method, UINT message,
                   DWORD threadId) {
    DWORD thread = threadId ? threadId : GetCurrentThreadId();
    HWND window = nullptr;
    {
        auto open = openRegistry();
        if (!open) return;
        TThreadEntry* entry = findThread(*open->first, thread);
        if (!entry) return;
        std::erase_if(entry->Handlers, [&](const THandler& h) {
            return (message == 0 || h.Message == message) && h.SameHandler(proc, method);
        });
        if (!entry->Handlers.empty()) return;
        window = entry->Window;
        std::erase_if(open->first->Entries,
                      [&](const TThreadEntry& e) { return e.ThreadId == thread; });
    }
    // Outside the lock: destruction runs the dispatcher.
    if (thread == GetCurrentThreadId()) {
        DestroyWindow(window);
        UnregisterClass(className(thread));
    } else {
        PostMessage(window, WM_CLOSE);
    }
}

TRegistry::~TRegistry() {
    registryClosed = true;
}

} // namespace

HWND MsgHandlerWindow(DWORD threadId) {
    DWORD self = GetCurrentThreadId();
    DWORD thread = threadId ? threadId : self;
    {
        auto open = openRegistry();
        if (!open) return nullptr;
        if (TThreadEntry* entry = findThread(*open->first, thread)) return entry->Window;
    }
    if (thread != self) return nullptr;
    // Created outside the lock: creation runs the dispatcher. Only this
    // thread makes its own window, so no other can have added one meanwhile.
    HWND window = createWindow(thread);
    if (!window) return nullptr;
    auto open = openRegistry();
    if (!open) {
        DestroyWindow(window);
        return nullptr;
    }
    open->first->Entries.push_back({thread, window, {}});
    return window;
}

UINT AddMsgHandler(TMsgHandlerProc proc, UINT message, DWORD threadId) {
    return addHandler(proc, nullptr, message, threadId);
}

UINT AddMsgHandler(const TMsgHandlerMethod& method, UINT message, DWORD threadId) {
    return addHandler(nullptr, &method, message, threadId);
}

void RemoveMsgHandler(TMsgHandlerProc proc, UINT message, DWORD threadId) {
    removeHandler(proc, nullptr, message, threadId);
}

void RemoveMsgHandler(const TMsgHandlerMethod& method, UINT message, DWORD threadId) {
    removeHandler(nullptr, &method, message, threadId);
}

void CloseMsgHandlerRegistry() {
    std::vector<TThreadEntry> entries;
    {
        auto open = openRegistry();
        if (!open) return;
        registryClosed = true;
        entries = std::move(open->first->Entries);
    }
    // The handlers are released here, outside the lock; the windows stay
    // until their threads or the program end, answering by default.
}

} // namespace ax
