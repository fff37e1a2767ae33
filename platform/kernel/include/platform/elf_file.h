#pragma once
// A bounds-checked view of a 64-bit little-endian ELF file held in memory.
// Every offset and count in the headers is checked against the data, so a
// damaged or hostile file yields an invalid view, never a read past the end.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

struct ElfSection {
    std::string name;
    std::uint32_t type = 0;
    std::uint64_t flags = 0;
    std::uint64_t addr = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
    std::uint64_t entsize = 0;
};

struct ElfSegment {
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    std::uint64_t offset = 0;
    std::uint64_t vaddr = 0;
    std::uint64_t filesz = 0;
    std::uint64_t memsz = 0;
};

struct ElfSymbol {
    std::string name;
    std::uint64_t value = 0;
    std::uint64_t size = 0;
    std::uint8_t type = 0; // STT_*
    std::uint8_t bind = 0; // STB_*
    std::uint16_t section = 0;
};

class ElfFile {
public:
    ElfFile() = default;
    explicit ElfFile(std::string data);
    // Reads the whole file; files above maxSize are refused.
    static ElfFile load(const std::string& path, std::uint64_t maxSize = 1ull << 31);

    bool valid() const { return valid_; }
    std::uint16_t fileType() const { return fileType_; }
    std::uint64_t entry() const { return entry_; }
    const std::vector<ElfSection>& sections() const { return sections_; }
    const std::vector<ElfSegment>& segments() const { return segments_; }
    const ElfSection* section(std::string_view name) const;
    // The section's bytes; empty when it has none in the file.
    std::string_view contents(const ElfSection& section) const;
    // Defined symbols of the first section of the given type (SHT_SYMTAB or SHT_DYNSYM).
    std::vector<ElfSymbol> symbols(std::uint32_t sectionType) const;
    // Lowest virtual address of a loadable segment, page aligned down.
    std::uint64_t firstLoadAddress() const;

private:
    bool parse();

    std::string data_;
    bool valid_ = false;
    std::uint16_t fileType_ = 0;
    std::uint64_t entry_ = 0;
    std::vector<ElfSection> sections_;
    std::vector<ElfSegment> segments_;
};

} // namespace ax
