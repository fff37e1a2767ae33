#pragma once
// Resources of a module: typed, named byte blocks kept in a resource table.
// The table is a run of ELF notes (owner "AXRES", type 1) in an allocated
// note section, so the loader maps it and it can be found through the
// program headers of a loaded module, or through the section headers of a
// file that is not loaded.
//
// Note descriptor: u8 type length, type bytes, u8 name length, name bytes,
// u32 data length (little-endian), data bytes. Types and names compare
// case-insensitively.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ax {

inline constexpr char resourceNoteOwner[] = "AXRES";
inline constexpr std::uint32_t resourceNoteType = 1;

// The resource of a loaded module (handle = load base; 0 = the program).
std::optional<std::string> findResource(std::uintptr_t moduleHandle, std::string_view type,
                                        std::string_view name);
// The resource of a module file read from disk.
std::optional<std::string> findResourceInFile(const std::string& fileName, std::string_view type,
                                              std::string_view name);
// Searches a block of notes (the contents of a note section or segment).
std::optional<std::string> findResourceInNotes(std::string_view notes, std::string_view type,
                                               std::string_view name);

namespace detail {
template <std::size_t T, std::size_t N, std::size_t D> struct ResourceNote {
    static constexpr std::size_t descSize = 1 + (T - 1) + 1 + (N - 1) + 4 + (D - 1);
    std::uint32_t namesz = sizeof(resourceNoteOwner);
    std::uint32_t descsz = descSize;
    std::uint32_t notetype = resourceNoteType;
    char owner[8] = {'A', 'X', 'R', 'E', 'S', 0, 0, 0};
    char desc[(descSize + 3) / 4 * 4] = {};
    constexpr ResourceNote(const char (&type)[T], const char (&name)[N], const char (&data)[D]) {
        std::size_t at = 0;
        desc[at++] = static_cast<char>(T - 1);
        for (std::size_t i = 0; i + 1 < T; ++i) desc[at++] = type[i];
        desc[at++] = static_cast<char>(N - 1);
        for (std::size_t i = 0; i + 1 < N; ++i) desc[at++] = name[i];
        for (int i = 0; i < 4; ++i) desc[at++] = static_cast<char>(((D - 1) >> (8 * i)) & 0xFF);
        for (std::size_t i = 0; i + 1 < D; ++i) desc[at++] = data[i];
    }
};
} // namespace detail

} // namespace ax

// Defines a resource in the module that links this object. The data is a
// string literal (its terminating zero is not part of the resource).
#define AX_RESOURCE(ident, type, name, data)                                                      \
    __attribute__((section(".note.axres"), used, aligned(4))) static const constexpr ::ax::detail:: \
        ResourceNote<sizeof(type), sizeof(name), sizeof(data)>                                    \
            ident{type, name, data}
