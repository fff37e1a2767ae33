#pragma once
// Operating-system facts and small process services of the crash reporter:
// the Windows version classifier (a pure function of version numbers, kept
// for reports that name a Windows version), the running Linux system, file
// versions, module and export lookups, resources and elapsed ticks. The
// message-handler windows are in vorMsgWindows.h.
#include <cstdint>
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
// The same of the running program, from its loaded image: its file, debug
// information and all, may be tens of megabytes to read.
std::uint64_t GetProgramVersion();
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

} // namespace ax
