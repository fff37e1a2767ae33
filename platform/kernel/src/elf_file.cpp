// Parses an ELF file's headers, sections and symbol tables, checking every
// offset, size and string against the data before it is read.
#include "platform/elf_file.h"

#include <elf.h>

#include <cstring>
#include <fstream>

namespace ax {

namespace {

template <typename T> bool readAt(std::string_view data, std::uint64_t offset, T& out) {
    if (offset > data.size() || data.size() - offset < sizeof(T)) return false;
    std::memcpy(&out, data.data() + offset, sizeof(T));
    return true;
}

// A range inside data; false when it does not fit.
bool fits(std::string_view data, std::uint64_t offset, std::uint64_t size) {
    return offset <= data.size() && size <= data.size() - offset;
}

std::string stringAt(std::string_view table, std::uint64_t offset) {
    if (offset >= table.size()) return {};
    auto rest = table.substr(offset);
    return std::string(rest.substr(0, rest.find('\0')));
}

} // namespace

ElfFile::ElfFile(std::string data) : data_(std::move(data)) { valid_ = parse(); }

ElfFile ElfFile::load(const std::string& path, std::uint64_t maxSize) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    auto size = static_cast<std::uint64_t>(in.tellg());
    if (!in || size > maxSize) return {};
    in.seekg(0);
    std::string data(size, '\0');
    if (!in.read(data.data(), static_cast<std::streamsize>(size))) return {};
    return ElfFile(std::move(data));
}

bool ElfFile::parse() {
    std::string_view data = data_;
    Elf64_Ehdr eh;
    if (!readAt(data, 0, eh)) return false;
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
        eh.e_ident[EI_DATA] != ELFDATA2LSB)
        return false;
    fileType_ = eh.e_type;
    entry_ = eh.e_entry;
    if (eh.e_phnum != 0) {
        if (eh.e_phentsize != sizeof(Elf64_Phdr) ||
            !fits(data, eh.e_phoff, std::uint64_t{eh.e_phnum} * sizeof(Elf64_Phdr)))
            return false;
        for (unsigned i = 0; i < eh.e_phnum; ++i) {
            Elf64_Phdr ph;
            readAt(data, eh.e_phoff + i * sizeof(Elf64_Phdr), ph);
            segments_.push_back({ph.p_type, ph.p_flags, ph.p_offset, ph.p_vaddr, ph.p_filesz,
                                 ph.p_memsz});
        }
    }
    if (eh.e_shnum != 0) {
        if (eh.e_shentsize != sizeof(Elf64_Shdr) ||
            !fits(data, eh.e_shoff, std::uint64_t{eh.e_shnum} * sizeof(Elf64_Shdr)))
            return false;
        std::vector<Elf64_Shdr> headers(eh.e_shnum);
        for (unsigned i = 0; i < eh.e_shnum; ++i)
            readAt(data, eh.e_shoff + i * sizeof(Elf64_Shdr), headers[i]);
        std::string_view names;
        if (eh.e_shstrndx < headers.size()) {
            const auto& sh = headers[eh.e_shstrndx];
            if (sh.sh_type != SHT_NOBITS && fits(data, sh.sh_offset, sh.sh_size))
                names = data.substr(sh.sh_offset, sh.sh_size);
        }
        for (const auto& sh : headers)
            sections_.push_back({stringAt(names, sh.sh_name), sh.sh_type, sh.sh_flags, sh.sh_addr,
                                 sh.sh_offset, sh.sh_size, sh.sh_link, sh.sh_entsize});
    }
    return true;
}

const ElfSection* ElfFile::section(std::string_view name) const {
    for (const auto& s : sections_)
        if (s.name == name) return &s;
    return nullptr;
}

std::string_view ElfFile::contents(const ElfSection& section) const {
    std::string_view data = data_;
    if (section.type == SHT_NOBITS || !fits(data, section.offset, section.size)) return {};
    return data.substr(section.offset, section.size);
}

std::vector<ElfSymbol> ElfFile::symbols(std::uint32_t sectionType) const {
    std::vector<ElfSymbol> out;
    for (const auto& s : sections_) {
        if (s.type != sectionType) continue;
        auto table = contents(s);
        std::string_view strings;
        if (s.link < sections_.size()) strings = contents(sections_[s.link]);
        std::size_t count = table.size() / sizeof(Elf64_Sym);
        for (std::size_t i = 1; i < count; ++i) {
            Elf64_Sym sym;
            readAt(table, i * sizeof(Elf64_Sym), sym);
            if (sym.st_shndx == SHN_UNDEF) continue;
            out.push_back({stringAt(strings, sym.st_name), sym.st_value, sym.st_size,
                           static_cast<std::uint8_t>(ELF64_ST_TYPE(sym.st_info)),
                           static_cast<std::uint8_t>(ELF64_ST_BIND(sym.st_info)), sym.st_shndx});
        }
        break;
    }
    return out;
}

std::uint64_t ElfFile::firstLoadAddress() const {
    std::uint64_t lowest = ~std::uint64_t{0};
    for (const auto& p : segments_)
        if (p.type == PT_LOAD && p.vaddr < lowest) lowest = p.vaddr;
    return lowest == ~std::uint64_t{0} ? 0 : lowest & ~std::uint64_t{0xFFF};
}

} // namespace ax
