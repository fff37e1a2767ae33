// Operating-system facts for the report: the Windows version classifier,
// the Linux release read from os-release, file versions, and module, export
// and resource lookups.
#include "crash/vorTools.h"

#include "crash/vorStrings.h"
#include "platform/module.h"
#include "platform/resource.h"
#include "platform/tick_count.h"

#include <cxxabi.h>
#include <sys/utsname.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace ax {

namespace {

constexpr const char* osNames[] = {"None",         "Windows 95",   "Windows 95 OSR-2",
                                   "Windows 98",   "Windows 98 SE", "Windows ME",
                                   "Windows 9x New", "Windows NT 3", "Windows NT 4",
                                   "Windows 2000", "Windows XP",   "Windows 2003",
                                   "Windows NT New"};

std::uint8_t kind9x(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    if (major < 4) return 0;
    if (major > 4) return 6;
    if (minor < 10) return build <= 1000 ? 1 : 2;
    if (minor == 10) {
        if (build < 2001) return 3;
        if (build <= 2700) return 4;
        return 5;
    }
    if (minor <= 90) return 5;
    return 6;
}

std::uint8_t kindNT(std::uint32_t major, std::uint32_t minor) {
    if (major < 4) return 7;
    if (major == 4) return 8;
    if (major == 5) return minor == 0 ? 9 : minor == 1 ? 10 : minor == 2 ? 11 : 12;
    return 12;
}

std::string unquote(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

} // namespace

const char* OsKindName(std::uint8_t kind) { return kind < 13 ? osNames[kind] : osNames[0]; }

TOsVersion ClassifyWindowsVersion(std::uint32_t platform, std::uint32_t major, std::uint32_t minor,
                                  std::uint32_t build, std::string_view servicePack) {
    TOsVersion v;
    v.Major = major;
    v.Minor = minor;
    v.ServicePack = std::string(servicePack);
    if (platform == platformWin9x) {
        v.Build = build & 0xFFFF;
        v.IsWin9x = true;
        v.OsKind = v.Kind9x = kind9x(major, minor, v.Build);
    } else if (platform == platformNT) {
        v.Build = build;
        v.IsNT = true;
        v.OsKind = v.KindNT = kindNT(major, minor);
        if (servicePack.size() >= 14) {
            std::string_view digits = servicePack.substr(13);
            std::size_t n = 0;
            while (n < digits.size() && digits[n] >= '0' && digits[n] <= '9') ++n;
            v.ServicePackNumber = static_cast<std::uint32_t>(vor::StrToIntEx(false, digits.data(), static_cast<int>(n)));
        }
    } else {
        v.Build = build;
    }
    v.Description = OsKindName(v.OsKind);
    if (v.IsNT && !servicePack.empty()) v.Description += " " + v.ServicePack;
    return v;
}

TLinuxSystem ReadLinuxSystem(const std::string& osReleaseFile) {
    TLinuxSystem s;
    utsname u{};
    if (uname(&u) == 0) {
        s.KernelRelease = u.release;
        s.Machine = u.machine;
    }
    std::ifstream in(osReleaseFile);
    std::string line, pretty, name, version;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = unquote(line.substr(eq + 1));
        if (key == "PRETTY_NAME") pretty = value;
        if (key == "NAME") name = value;
        if (key == "VERSION") version = value;
    }
    s.Distribution = !pretty.empty() ? pretty : vor::TrimCopy(name + " " + version);
    return s;
}

const TOsVersion& GetOsVersion() {
    static const TOsVersion version = [] {
        TLinuxSystem sys = ReadLinuxSystem();
        TOsVersion v;
        // "6.1.0-13-amd64": major, minor and patch level as build.
        std::uint32_t parts[3] = {0, 0, 0};
        std::size_t at = 0;
        for (int i = 0; i < 3 && at < sys.KernelRelease.size(); ++i) {
            std::size_t n = 0;
            while (at + n < sys.KernelRelease.size() && std::isdigit(static_cast<unsigned char>(sys.KernelRelease[at + n]))) ++n;
            parts[i] = static_cast<std::uint32_t>(vor::StrToIntEx(false, sys.KernelRelease.data() + at, static_cast<int>(n)));
            at += n;
            if (at >= sys.KernelRelease.size() || sys.KernelRelease[at] != '.') break;
            ++at;
        }
        v.Major = parts[0];
        v.Minor = parts[1];
        v.Build = parts[2];
        v.Description = "Linux " + sys.KernelRelease;
        if (!sys.Distribution.empty()) v.Description += " (" + sys.Distribution + ")";
        return v;
    }();
    return version;
}

std::uint16_t GetFreeSystemResources(std::uint16_t) { return 0; }

namespace {

std::uint64_t FixedVersion(const std::optional<std::string>& fixed) {
    if (!fixed || fixed->size() < 8) return 0;
    std::uint64_t ms = 0, ls = 0;
    for (int i = 3; i >= 0; --i) {
        ms = (ms << 8) | static_cast<unsigned char>((*fixed)[i]);
        ls = (ls << 8) | static_cast<unsigned char>((*fixed)[4 + i]);
    }
    return ms << 32 | ls;
}

} // namespace

std::uint64_t GetFileVersion(const std::string& fileName) {
    return FixedVersion(findResourceInFile(fileName, "VERSION", "FIXED"));
}

std::uint64_t GetProgramVersion() {
    return FixedVersion(findResource(0, "VERSION", "FIXED"));
}

std::string FileVersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
    return vor::IntToStrEx(std::int32_t(mostSignificant >> 16)) + "." +
           vor::IntToStrEx(std::int32_t(mostSignificant & 0xFFFF)) + "." +
           vor::IntToStrEx(std::int32_t(leastSignificant >> 16)) + "." +
           vor::IntToStrEx(std::int32_t(leastSignificant & 0xFFFF));
}

bool GetModuleOfAddress(std::uintptr_t address, std::uintptr_t& module, std::string& fileName) {
    auto m = moduleOfAddress(address);
    if (!m) return false;
    module = m->handle;
    fileName = m->fileName;
    return true;
}

std::uintptr_t GetExportByName(std::uintptr_t module, const std::string& name) {
    auto m = moduleOfHandle(module);
    return m ? exportByName(*m, name) : 0;
}

std::uintptr_t GetExportByOrdinal(std::uintptr_t module, std::uint32_t ordinal) {
    auto m = moduleOfHandle(module);
    return m ? exportByOrdinal(*m, ordinal) : 0;
}

std::string GetExportName(std::uintptr_t module, std::uintptr_t address, bool withUnit) {
    auto m = moduleOfHandle(module);
    if (!m) return {};
    std::string name = exportName(*m, address);
    if (!withUnit || name.empty() || name[0] == '#') return name;
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> d(abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status),
                                                  &std::free);
    if (status != 0 || !d) return name;
    std::string full = d.get();
    auto paren = full.find('(');
    if (paren != std::string::npos) full.resize(paren);
    auto scope = full.rfind("::");
    if (scope == std::string::npos) return full;
    return full.substr(0, scope) + "." + full.substr(scope + 2);
}

std::string GetResourceString(std::uintptr_t module, std::string_view type, std::string_view name) {
    return findResource(module, type, name).value_or(std::string());
}

std::uint32_t ElapsedTicks(std::uint32_t start) { return tickCount() - start; }

} // namespace ax
