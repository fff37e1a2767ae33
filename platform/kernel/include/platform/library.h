#pragma once
// Optional libraries bound at run time by name ("uxtheme.dll",
// "ExKbMon.dll"). A name registered as a stand-in (tests, or a program that
// carries the service itself) is served from that table; otherwise the
// dynamic loader is asked for the name as it stands, then beside the
// program. Whoever finds nothing runs without the library.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace ax {

// 0 is "no library".
using HMODULE = std::uintptr_t;

// Error modes: only the flag that keeps a failed load quiet means anything
// here (nothing ever shows a box for it); the mode is kept for callers that
// save and restore it.
inline constexpr unsigned SEM_FAILCRITICALERRORS = 0x0001, SEM_NOOPENFILEERRORBOX = 0x8000;
unsigned SetErrorMode(unsigned mode);

// A loaded library counts its loads; FreeLibrary of the last one unloads it.
HMODULE LoadLibrary(std::string_view name);
bool FreeLibrary(HMODULE module);
// The address of an export, nullptr when the library has no such name.
void* GetProcAddress(HMODULE module, std::string_view name);

// Stand-ins: a name (compared without case) answered by a table of exports.
// A stand-in registered after the real library was loaded serves the next
// load only.
void RegisterLibraryStandIn(std::string_view name, std::map<std::string, void*> exports);
void UnregisterLibraryStandIn(std::string_view name);
// How many loads of the name are held now (tests check that what was loaded
// was freed).
int LibraryLoadCount(std::string_view name);

} // namespace ax
