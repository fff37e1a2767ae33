#pragma once
// The hidden per-thread window of the crash reporter that hands process-wide
// messages to registered handlers.
#include "platform/window/types.h"

#include <array>
#include <cstring>
#include <functional>

namespace ax {

// Message handlers. A handler sees a message after the default window
// procedure and may change its result.
using TMsgHandlerProc = void (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT& result);
using TMsgHandlerFunc =
    std::function<void(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

// A method bound to its object. Data and Code identify it (the same object
// and method register once and remove together); Call runs it.
struct TMsgHandlerMethod {
    const void* Data = nullptr;
    std::array<unsigned char, 16> Code{};
    TMsgHandlerFunc Call;
};

template <class T>
TMsgHandlerMethod MsgHandlerMethod(T& object,
                                   void (T::*method)(HWND, UINT, WPARAM, LPARAM, LRESULT&)) {
    static_assert(sizeof(method) <= sizeof(TMsgHandlerMethod::Code));
    TMsgHandlerMethod m;
    m.Data = &object;
    std::memcpy(m.Code.data(), &method, sizeof(method));
    m.Call = [&object, method](HWND h, UINT msg, WPARAM w, LPARAM l, LRESULT& r) {
        (object.*method)(h, msg, w, l, r);
    };
    return m;
}

// The thread's hidden handler window (threadId 0: the calling thread). It is
// created on first use by its own thread only; for another thread without
// one the answer is nullptr.
HWND MsgHandlerWindow(DWORD threadId = 0);
// Registers a handler on the thread's window and answers its message number:
// message 0 asks for the lowest number from 1024 up that the window does not
// use yet; the same handler for the same message is registered once. 0 when
// the thread has no window.
UINT AddMsgHandler(TMsgHandlerProc proc, UINT message = 0, DWORD threadId = 0);
UINT AddMsgHandler(const TMsgHandlerMethod& method, UINT message = 0, DWORD threadId = 0);
// Removes the handler from that message (0: from every message). The window
// goes with its last handler: at once on its own thread, through WM_CLOSE
// when another thread removes it.
void RemoveMsgHandler(TMsgHandlerProc proc, UINT message = 0, DWORD threadId = 0);
void RemoveMsgHandler(const TMsgHandlerMethod& method, UINT message = 0, DWORD threadId = 0);
// Closes the registry; later calls register nothing and dispatch nothing.
// Runs by itself when the program ends.
void CloseMsgHandlerRegistry();

} // namespace ax
