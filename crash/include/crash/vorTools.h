#pragma once
// Operating-system facts and small process services of the crash reporter:
// the Windows version classifier (a pure function of version numbers, kept
// for reports that name a Windows version), the running Linux system, file
// versions, module and export lookups, resources, elapsed ticks and the
// hidden per-thread window that hands process-wide messages to handlers.
#include "platform/window/types.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace ax {

struct TOsVersion {
    std::uint32_t Major = 0, Minor = 0, Build = 0;
    std::string ServicePack;
    bool IsWin9x = false;
    std::uint8_t Kind9x = 0;
    bool IsNT = false;
    std::uint8_t KindNT = 0;
    std::uint8_t OsKind = 0;
    std::uint32_t ServicePackNumber = 0;
    std::string Description;
};

inline constexpr std::uint32_t platformWin9x = 1;
inline constexpr std::uint32_t platformNT = 2;

// Name of an OS kind, "None" .. "Windows NT New".
const char* OsKindName(std::uint8_t kind);
// Classifies a Windows version; platform 1 is Windows 9x, 2 Windows NT.
TOsVersion ClassifyWindowsVersion(std::uint32_t platform, std::uint32_t major, std::uint32_t minor,
                                  std::uint32_t build, std::string_view servicePack);

struct TLinuxSystem {
    std::string KernelRelease; // uname -r
    std::string Machine;       // uname -m
    std::string Distribution;  // PRETTY_NAME of /etc/os-release, else NAME VERSION
};
TLinuxSystem ReadLinuxSystem(const std::string& osReleaseFile = "/etc/os-release");

// The running system (computed once): kind 0, the kernel's version numbers,
// and a description such as "Linux 6.1.0-13-amd64 (Debian GNU/Linux 12 (bookworm))".
const TOsVersion& GetOsVersion();

// Percent of free system resources: a Windows 9x notion, 0 here.
std::uint16_t GetFreeSystemResources(std::uint16_t kind);

// Version of a module file from its "VERSION"/"FIXED" resource (u32 most
// significant, u32 least significant, little-endian); 0 when there is none.
std::uint64_t GetFileVersion(const std::string& fileName);
// "a.b.c.d" from the four 16-bit parts.
std::string FileVersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant);

// Module (load base) and file name of the module that holds address.
bool GetModuleOfAddress(std::uintptr_t address, std::uintptr_t& module, std::string& fileName);
std::uintptr_t GetExportByName(std::uintptr_t module, const std::string& name);
std::uintptr_t GetExportByOrdinal(std::uintptr_t module, std::uint32_t ordinal);
// Name of the export at address; with the unit flag "scope.name" of a C++ name.
std::string GetExportName(std::uintptr_t module, std::uintptr_t address, bool withUnit);
std::string GetResourceString(std::uintptr_t module, std::string_view type, std::string_view name);

// Milliseconds since start on the 32-bit tick count, exact across its wrap.
std::uint32_t ElapsedTicks(std::uint32_t start);

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
