// Finds a resource in a module's note section: in memory through the
// program headers of a loaded module, or in a file through its section
// headers; every length in a note is checked against the note.
#include "platform/resource.h"

#include "platform/elf_file.h"
#include "platform/memory_map.h"

#include <elf.h>
#include <link.h>

#include <cstring>

namespace ax {

namespace {

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z') ca -= 32;
        if (cb >= 'a' && cb <= 'z') cb -= 32;
        if (ca != cb) return false;
    }
    return true;
}

std::uint32_t u32At(std::string_view data, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
}

std::size_t padded(std::size_t n, std::size_t align) { return (n + align - 1) / align * align; }

std::optional<std::string> searchNotes(std::string_view notes, std::string_view type,
                                       std::string_view name, std::size_t align) {
    std::size_t at = 0;
    while (notes.size() - at >= 12) {
        std::size_t nameSize = u32At(notes, at), descSize = u32At(notes, at + 4);
        std::uint32_t noteType = u32At(notes, at + 8);
        at += 12;
        if (nameSize > notes.size() - at) break;
        std::string_view owner = notes.substr(at, nameSize);
        at += padded(nameSize, align);
        if (at > notes.size() || descSize > notes.size() - at) break;
        std::string_view desc = notes.substr(at, descSize);
        at += padded(descSize, align);
        if (noteType != resourceNoteType || owner != std::string_view(resourceNoteOwner, 6))
            continue;
        // type, name, data: each length checked against the descriptor
        std::size_t p = 0;
        if (desc.size() < 1) continue;
        std::size_t typeLen = static_cast<unsigned char>(desc[p++]);
        if (typeLen + 1 > desc.size() - p) continue;
        std::string_view noteTypeName = desc.substr(p, typeLen);
        p += typeLen;
        std::size_t nameLen = static_cast<unsigned char>(desc[p++]);
        if (nameLen + 4 > desc.size() - p) continue;
        std::string_view noteName = desc.substr(p, nameLen);
        p += nameLen;
        std::size_t dataLen = u32At(desc, p);
        p += 4;
        if (dataLen > desc.size() - p) continue;
        if (sameText(noteTypeName, type) && sameText(noteName, name))
            return std::string(desc.substr(p, dataLen));
    }
    return std::nullopt;
}

struct MemorySearch {
    std::uintptr_t handle;
    std::string_view type, name;
    bool first = true;
    bool moduleFound = false;
    std::optional<std::string> result;
};

int searchModule(dl_phdr_info* info, size_t, void* context) {
    auto& s = *static_cast<MemorySearch*>(context);
    bool isProgram = s.first;
    s.first = false;
    std::uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_addr + info->dlpi_phdr[i].p_vaddr < lowest)
            lowest = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
    std::uintptr_t handle = lowest & ~std::uintptr_t{0xFFF};
    if (!(s.handle == 0 ? isProgram : handle == s.handle)) return 0;
    s.moduleFound = true;
    for (int i = 0; i < info->dlpi_phnum && !s.result; ++i) {
        const auto& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE || ph.p_memsz > (1u << 24)) continue;
        std::string notes(ph.p_memsz, '\0');
        if (!safeRead(info->dlpi_addr + ph.p_vaddr, notes.data(), notes.size())) continue;
        s.result = searchNotes(notes, s.type, s.name, ph.p_align == 8 ? 8 : 4);
    }
    return 1;
}

} // namespace

std::optional<std::string> findResourceInNotes(std::string_view notes, std::string_view type,
                                               std::string_view name) {
    return searchNotes(notes, type, name, 4);
}

std::optional<std::string> findResource(std::uintptr_t moduleHandle, std::string_view type,
                                        std::string_view name) {
    MemorySearch search{moduleHandle, type, name, true, false, std::nullopt};
    dl_iterate_phdr(searchModule, &search);
    return search.result;
}

std::optional<std::string> findResourceInFile(const std::string& fileName, std::string_view type,
                                              std::string_view name) {
    auto file = ElfFile::load(fileName);
    if (!file.valid()) return std::nullopt;
    for (const auto& section : file.sections()) {
        if (section.type != SHT_NOTE || section.name != ".note.axres") continue;
        if (auto found = searchNotes(file.contents(section), type, name, 4)) return found;
    }
    return std::nullopt;
}

} // namespace ax
