#pragma once
// Version information of a module file: one block embedded by the build as
// the resource "VERSION"/"VS_VERSION_INFO" (see resource.h), queried the
// way the platform's version functions are.
//
// Block layout: a tree of nodes, each
//   u16 length (the whole node with its children), u16 value length (bytes),
//   u16 type (0 binary, 1 text), key (UTF-8, zero-terminated),
//   padding to 4 bytes, value, padding to 4 bytes, children,
// offsets counted from the start of the block, integers little-endian. The
// root "VS_VERSION_INFO" holds a VS_FIXEDFILEINFO and the children
// "StringFileInfo" (tables named by translation, "040904E4", holding text
// values) and "VarFileInfo" ("Translation": language and code page words).
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

struct VS_FIXEDFILEINFO {
    std::uint32_t dwSignature = 0xFEEF04BD;
    std::uint32_t dwStrucVersion = 0x00010000;
    std::uint32_t dwFileVersionMS = 0, dwFileVersionLS = 0;
    std::uint32_t dwProductVersionMS = 0, dwProductVersionLS = 0;
    std::uint32_t dwFileFlagsMask = 0x3F, dwFileFlags = 0;
    std::uint32_t dwFileOS = 0x40004; // VOS_NT_WINDOWS32, as callers expect
    std::uint32_t dwFileType = 1;     // VFT_APP
    std::uint32_t dwFileSubtype = 0;
    std::uint32_t dwFileDateMS = 0, dwFileDateLS = 0;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

inline constexpr char versionResourceType[] = "VERSION";
inline constexpr char versionResourceName[] = "VS_VERSION_INFO";

// The size of the file's version block (0 when it has none or it is
// damaged); *handle is set to 0.
std::uint32_t GetFileVersionInfoSizeA(const std::string& fileName, std::uint32_t* handle);
// Copies the block into data; false when the file has none, it is damaged,
// or size is smaller than the block.
bool GetFileVersionInfoA(const std::string& fileName, std::uint32_t handle, std::uint32_t size, void* data);
// Finds a value by path: "\" the fixed information, "\VarFileInfo\Translation",
// "\StringFileInfo\040904E4\FileVersion". Keys compare without case. *buffer
// points into the block (text zero-terminated); *length is the value's size
// in bytes. False when the path leads nowhere or the block is damaged.
bool VerQueryValueA(const void* block, std::string_view subBlock, const void** buffer, std::uint32_t* length);

// Builds a block (the build's generator and the tests use it).
struct VersionBlockContents {
    VS_FIXEDFILEINFO fixed;
    std::uint16_t language = 0x0409, codePage = 1252;
    std::vector<std::pair<std::string, std::string>> strings; // in order
    bool withStrings = true, withTranslation = true;
};
std::string BuildVersionBlock(const VersionBlockContents& contents);

} // namespace ax
