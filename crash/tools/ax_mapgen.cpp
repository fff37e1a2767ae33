// Writes the detailed map text of an ELF executable or shared library
// beside it: segment table, one segment per source unit, publics by value,
// line numbers and the entry point. Offsets are relative to the module's
// first executable (code) and first writable (data) loadable segment, the
// ranges the crash reporter uses at run time. Names contain no blanks.
//
// Usage: ax_mapgen <elf file> [<map file>]
#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <queue>
#include <string>
#include <vector>

namespace {

struct Function {
    std::uint64_t address;
    std::string name;
    bool global;
};

struct LineRow {
    std::uint64_t address;
    int line;
};

std::string companionName(const std::string& file) {
    auto slash = file.rfind('/');
    auto dot = file.rfind('.');
    std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (dot != std::string::npos && dot > base) return file.substr(0, dot) + ".map";
    return file + ".map";
}

std::string baseName(const char* path) {
    std::string s = path ? path : "";
    auto slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string noBlanks(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != ' ') {
            out += s[i];
            continue;
        }
        bool afterComma = !out.empty() && out.back() == ',';
        bool beforeClose = i + 1 < s.size() && s[i + 1] == '>';
        if (!afterComma && !beforeClose) out += '_';
    }
    return out.empty() ? "_" : out;
}

// The demangled name without its parameter list and qualifiers.
std::string displayName(const char* mangled) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> d(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                  &std::free);
    std::string s = status == 0 && d ? d.get() : mangled;
    // A compiler-split part ("[clone .cold]", "[clone .part.0]") keeps its
    // suffix as a C name carries it, "f.cold": the tracer names it by its
    // function and finds the function's own code through it.
    std::string clones;
    for (auto at = s.find(" [clone "); status == 0 && at != std::string::npos; at = s.find(" [clone ")) {
        auto end = s.find(']', at);
        if (end == std::string::npos) break;
        clones += s.substr(at + 8, end - at - 8);
        s.erase(at, end + 1 - at);
    }
    auto close = s.rfind(')');
    if (status == 0 && close != std::string::npos) {
        int depth = 0;
        for (std::size_t i = close + 1; i-- > 0;) {
            if (s[i] == ')') ++depth;
            if (s[i] == '(' && --depth == 0) {
                // "(anonymous namespace)" inside a name is no parameter list
                if (s.compare(i, 21, "(anonymous namespace)") != 0) s.resize(i);
                break;
            }
        }
    }
    s = noBlanks(s + clones);
    // The map reader cuts a trailing parenthesised part as a parameter list;
    // a name that ends in one of its own ("operator()") gets an empty list
    // to give away instead.
    if (!s.empty() && s.back() == ')') s += "()";
    return s;
}

std::string hex(std::uint64_t v, int digits) {
    char b[32];
    std::snprintf(b, sizeof b, "%0*llX", digits, static_cast<unsigned long long>(v));
    return b;
}

// The address ranges of each compile unit, from its own entry
// (DW_AT_low_pc/DW_AT_high_pc or DW_AT_ranges): the answer for a program
// without ".debug_aranges", which Clang does not write by default.
struct UnitRange {
    std::uint64_t start, end;
    std::string unit;
};

std::vector<UnitRange> unitRanges(Dwarf* dwarf) {
    std::vector<UnitRange> out;
    Dwarf_Off offset = 0, next = 0;
    std::size_t headerSize = 0;
    while (dwarf_nextcu(dwarf, offset, &next, &headerSize, nullptr, nullptr, nullptr) == 0) {
        Dwarf_Die cu;
        if (dwarf_offdie(dwarf, offset + headerSize, &cu) != nullptr) {
            const std::string unit = noBlanks(baseName(dwarf_diename(&cu)));
            Dwarf_Addr base = 0, start = 0, end = 0;
            for (ptrdiff_t at = 0; (at = dwarf_ranges(&cu, at, &base, &start, &end)) > 0;)
                if (end > start) out.push_back({start, end, unit});
        }
        offset = next;
    }
    std::sort(out.begin(), out.end(), [](const UnitRange& a, const UnitRange& b) { return a.start < b.start; });
    return out;
}

// The unit whose range holds address, or null.
const std::string* unitInRanges(const std::vector<UnitRange>& ranges, std::uint64_t address) {
    auto it = std::upper_bound(ranges.begin(), ranges.end(), address,
                               [](std::uint64_t a, const UnitRange& r) { return a < r.start; });
    if (it == ranges.begin()) return nullptr;
    --it;
    return address < it->end ? &it->unit : nullptr;
}

// Code inlined from another file (a header) has that file's lines in the
// line table, but the map can only name the unit. Such an address gets the
// line of the outermost inlined call whose call site lies in the unit's own
// file: the caller's line, as a debugger's outermost frame shows it; 0
// (no line) when there is none, as in a header's function kept out of line.
class InlineCallSites {
public:
    explicit InlineCallSites(Dwarf_Die* cu) {
        Dwarf_Attribute attr;
        const char* dir = dwarf_formstring(dwarf_attr(cu, DW_AT_comp_dir, &attr));
        dir_ = dir ? dir : "";
        own_ = normal(dwarf_diename(cu));
        dwarf_getsrcfiles(cu, &files_, &fileCount_);
        Dwarf_Die child;
        if (dwarf_child(cu, &child) == 0) collect(&child, 0);
        std::sort(sites_.begin(), sites_.end(), [](const Site& a, const Site& b) { return a.start < b.start; });
    }

    bool ownFile(const char* file) const { return file && normal(file) == own_; }

    // Line for each row whose file is not the unit's own; rows must come in
    // ascending address order.
    int lineAt(std::uint64_t address) {
        while (next_ < sites_.size() && sites_[next_].start <= address) active_.push(sites_[next_++]);
        while (!active_.empty() && active_.top().end <= address) active_.pop();
        return active_.empty() ? 0 : active_.top().line;
    }

private:
    struct Site {
        std::uint64_t start, end;
        int depth, line;
    };
    struct Outer {
        bool operator()(const Site& a, const Site& b) const { return a.depth > b.depth; }
    };

    // Names in the line table may be relative to the compile directory.
    std::string normal(const char* file) const {
        std::filesystem::path p = file ? file : "";
        if (p.is_relative()) p = dir_ / p;
        return p.lexically_normal().string();
    }

    void collect(Dwarf_Die* die, int depth) {
        do {
            int inner = depth;
            if (dwarf_tag(die) == DW_TAG_inlined_subroutine) {
                inner = depth + 1;
                Dwarf_Attribute attr;
                Dwarf_Word file = 0, line = 0;
                if (dwarf_formudata(dwarf_attr(die, DW_AT_call_file, &attr), &file) == 0 &&
                    dwarf_formudata(dwarf_attr(die, DW_AT_call_line, &attr), &line) == 0 && files_ &&
                    file < fileCount_ && ownFile(dwarf_filesrc(files_, file, nullptr, nullptr))) {
                    Dwarf_Addr base = 0, start = 0, end = 0;
                    for (ptrdiff_t at = 0; (at = dwarf_ranges(die, at, &base, &start, &end)) > 0;)
                        if (end > start) sites_.push_back({start, end, depth, static_cast<int>(line)});
                }
            }
            Dwarf_Die child;
            if (dwarf_child(die, &child) == 0) collect(&child, inner);
        } while (dwarf_siblingof(die, die) == 0);
    }

    std::filesystem::path dir_;
    std::string own_;
    Dwarf_Files* files_ = nullptr;
    std::size_t fileCount_ = 0;
    std::vector<Site> sites_;
    std::size_t next_ = 0;
    std::priority_queue<Site, std::vector<Site>, Outer> active_;
};

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

// The program's first loadable code and data segments.
struct Layout {
    std::uint64_t codeBase = 0, codeSize = 0, dataSize = 0;
    bool haveCode = false, haveData = false;
    std::uint64_t codeEnd() const { return codeBase + codeSize; }
};

Layout readLayout(Elf* elf) {
    Layout l;
    std::size_t phnum = 0;
    elf_getphdrnum(elf, &phnum);
    for (std::size_t i = 0; i < phnum; ++i) {
        GElf_Phdr ph;
        if (!gelf_getphdr(elf, static_cast<int>(i), &ph) || ph.p_type != PT_LOAD) continue;
        if ((ph.p_flags & PF_X) && !l.haveCode) {
            l.codeBase = ph.p_vaddr;
            l.codeSize = ph.p_memsz;
            l.haveCode = true;
        }
        if ((ph.p_flags & PF_W) && !l.haveData) {
            l.dataSize = ph.p_memsz;
            l.haveData = true;
        }
    }
    return l;
}

// Functions from the symbol table, one per address (globals preferred).
std::vector<Function> readFunctions(Elf* elf, const Layout& layout) {
    std::vector<Function> functions;
    Elf_Scn* scn = nullptr;
    while ((scn = elf_nextscn(elf, scn)) != nullptr) {
        GElf_Shdr sh;
        if (!gelf_getshdr(scn, &sh) || sh.sh_type != SHT_SYMTAB || sh.sh_entsize == 0) continue;
        Elf_Data* data = elf_getdata(scn, nullptr);
        std::size_t count = sh.sh_size / sh.sh_entsize;
        for (std::size_t i = 0; data && i < count; ++i) {
            GElf_Sym sym;
            if (!gelf_getsym(data, static_cast<int>(i), &sym)) continue;
            if (GELF_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_shndx == SHN_UNDEF) continue;
            if (sym.st_value < layout.codeBase || sym.st_value >= layout.codeEnd()) continue;
            const char* name = elf_strptr(elf, sh.sh_link, sym.st_name);
            if (!name || !*name) continue;
            functions.push_back({sym.st_value, displayName(name), GELF_ST_BIND(sym.st_info) != STB_LOCAL});
        }
    }
    std::stable_sort(functions.begin(), functions.end(), [](const Function& a, const Function& b) {
        if (a.address != b.address) return a.address < b.address;
        return a.global && !b.global;
    });
    functions.erase(std::unique(functions.begin(), functions.end(),
                                [](const Function& a, const Function& b) { return a.address == b.address; }),
                    functions.end());
    return functions;
}

using LinesByUnit = std::map<std::string, std::vector<LineRow>>;

// The line rows of each unit's code from DWARF.
LinesByUnit readLines(Dwarf* dwarf, const Layout& layout) {
    LinesByUnit linesByUnit;
    Dwarf_Off offset = 0, next = 0;
    std::size_t headerSize = 0;
    while (dwarf_nextcu(dwarf, offset, &next, &headerSize, nullptr, nullptr, nullptr) == 0) {
        Dwarf_Die cu;
        if (dwarf_offdie(dwarf, offset + headerSize, &cu) != nullptr) {
            Dwarf_Lines* lines = nullptr;
            std::size_t n = 0;
            if (dwarf_getsrclines(&cu, &lines, &n) == 0) {
                auto& rows = linesByUnit[noBlanks(baseName(dwarf_diename(&cu)))];
                InlineCallSites callSites(&cu);
                std::vector<std::size_t> foreign; // rows from other files, by index
                for (std::size_t i = 0; i < n; ++i) {
                    Dwarf_Line* l = dwarf_onesrcline(lines, i);
                    Dwarf_Addr addr = 0;
                    int lineNo = 0;
                    bool end = false;
                    if (!l || dwarf_lineaddr(l, &addr) != 0 || dwarf_lineno(l, &lineNo) != 0) continue;
                    dwarf_lineendsequence(l, &end);
                    if (end || lineNo <= 0 || addr < layout.codeBase || addr >= layout.codeEnd()) continue;
                    if (!callSites.ownFile(dwarf_linesrc(l, nullptr, nullptr))) foreign.push_back(rows.size());
                    rows.push_back({addr, lineNo});
                }
                std::stable_sort(foreign.begin(), foreign.end(), [&](std::size_t a, std::size_t b) {
                    return rows[a].address < rows[b].address;
                });
                for (std::size_t i : foreign) rows[i].line = callSites.lineAt(rows[i].address);
            }
        }
        offset = next;
    }
    return linesByUnit;
}

// The segment table, and one segment for each run of functions of one unit.
template <typename UnitOf>
void writeSegments(std::ostream& map, const Layout& layout, const std::vector<Function>& functions,
                   const UnitOf& unitOf) {
    map << "\n Start         Length     Name                   Class\n";
    map << " 0001:00000000 " << hex(layout.codeSize, 8) << "H .text                   CODE\n";
    if (layout.haveData) map << " 0002:00000000 " << hex(layout.dataSize, 8) << "H .data                   DATA\n";
    map << "\n\nDetailed map of segments\n\n";
    for (std::size_t i = 0; i < functions.size();) {
        std::string unit = unitOf(functions[i].address);
        std::size_t j = i + 1;
        while (j < functions.size() && unitOf(functions[j].address) == unit) ++j;
        std::uint64_t start = functions[i].address;
        std::uint64_t end = j < functions.size() ? functions[j].address : layout.codeEnd();
        std::string text = " 0001:" + hex(start - layout.codeBase, 8) + " " + hex(end - start, 8) +
                           " C=CODE     S=.text    G=(none)   M=" + unit;
        while (text.size() < 80) text += ' ';
        map << text << " ACBP=A9\n";
        i = j;
    }
}

void writePublics(std::ostream& map, const Layout& layout, const std::vector<Function>& functions) {
    map << "\n\n  Address         Publics by Value\n\n";
    for (const auto& f : functions)
        map << " 0001:" << hex(f.address - layout.codeBase, 8) << "       " << f.name << "\n";
}

void writeLines(std::ostream& map, const Layout& layout, LinesByUnit& linesByUnit) {
    for (auto& [unit, rows] : linesByUnit) {
        if (rows.empty()) continue;
        // One row per address: the last the line program states for it.
        std::stable_sort(rows.begin(), rows.end(),
                         [](const LineRow& a, const LineRow& b) { return a.address < b.address; });
        std::vector<LineRow> unique;
        for (const auto& r : rows) {
            if (!unique.empty() && unique.back().address == r.address)
                unique.back() = r;
            else
                unique.push_back(r);
        }
        map << "\n\nLine numbers for " << unit << "(" << unit << ") segment .text\n\n";
        for (std::size_t i = 0; i < unique.size(); ++i) {
            // Groups are separated by a blank even when the line number
            // fills its six columns.
            char group[48];
            std::snprintf(group, sizeof group, " %6d 0001:%s", unique[i].line,
                          hex(unique[i].address - layout.codeBase, 8).c_str());
            map << group << ((i % 4 == 3 || i + 1 == unique.size()) ? "\n" : "");
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ax_mapgen <elf file> [<map file>]\n");
        return 2;
    }
    const std::string file = argv[1];
    const std::string out = argc > 2 ? argv[2] : companionName(file);
    elf_version(EV_CURRENT);
    FdCloser fd{open(file.c_str(), O_RDONLY)};
    if (fd.fd < 0) {
        std::perror(file.c_str());
        return 1;
    }
    std::unique_ptr<Elf, decltype(&elf_end)> elf(elf_begin(fd.fd, ELF_C_READ, nullptr), &elf_end);
    if (!elf) {
        std::fprintf(stderr, "%s: not an ELF file\n", file.c_str());
        return 1;
    }
    GElf_Ehdr eh;
    if (elf_kind(elf.get()) != ELF_K_ELF || !gelf_getehdr(elf.get(), &eh)) {
        // A half-written link leaves such a file behind: say so, or the build fails without a word.
        std::fprintf(stderr, "%s: not an ELF file\n", file.c_str());
        return 1;
    }
    const Layout layout = readLayout(elf.get());
    if (!layout.haveCode) {
        std::fprintf(stderr, "%s: no code segment\n", file.c_str());
        return 1;
    }
    const std::vector<Function> functions = readFunctions(elf.get(), layout);

    // Units and lines from DWARF.
    std::unique_ptr<Dwarf, decltype(&dwarf_end)> dwarf(dwarf_begin_elf(elf.get(), DWARF_C_READ, nullptr),
                                                        &dwarf_end);
    const std::vector<UnitRange> ranges = dwarf ? unitRanges(dwarf.get()) : std::vector<UnitRange>{};
    auto unitOf = [&](std::uint64_t address) -> std::string {
        Dwarf_Die cu;
        if (dwarf && dwarf_addrdie(dwarf.get(), address, &cu) != nullptr)
            return noBlanks(baseName(dwarf_diename(&cu)));
        if (const std::string* unit = unitInRanges(ranges, address)) return *unit;
        return "unknown";
    };
    LinesByUnit linesByUnit = dwarf ? readLines(dwarf.get(), layout) : LinesByUnit{};

    std::ofstream map(out, std::ios::trunc);
    if (!map) {
        std::perror(out.c_str());
        return 1;
    }
    writeSegments(map, layout, functions, unitOf);
    writePublics(map, layout, functions);
    writeLines(map, layout, linesByUnit);
    if (eh.e_entry >= layout.codeBase && eh.e_entry < layout.codeEnd())
        map << "\n\nProgram entry point at 0001:" << hex(eh.e_entry - layout.codeBase, 8) << "\n";
    return map.good() ? 0 : 1;
}
