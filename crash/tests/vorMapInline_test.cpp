// Lines of code inlined from a header, as the generated map gives them: the
// map can name only the unit, so such an address must carry the line of the
// call in the unit's own file, the outermost frame binutils' addr2line -i
// shows, never the header's own line.
#include "crash/vorMapFile.h"

#include <gtest/gtest.h>

#include <elf.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace ax {
namespace {

std::string run(const std::string& command) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string out;
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get())) out += buffer;
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string baseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The code and data ranges of an ELF file as linked.
TModuleRanges linkedRanges(const std::string& elf) {
    TModuleRanges r;
    Elf64_Ehdr eh;
    if (elf.size() < sizeof eh) return r;
    std::memcpy(&eh, elf.data(), sizeof eh);
    for (int i = 0; i < eh.e_phnum; ++i) {
        Elf64_Phdr ph;
        const std::size_t at = eh.e_phoff + std::size_t{eh.e_phentsize} * i;
        if (at + sizeof ph > elf.size()) break;
        std::memcpy(&ph, elf.data() + at, sizeof ph);
        if (ph.p_type != PT_LOAD) continue;
        if ((ph.p_flags & PF_X) && r.CodeEnd == 0) {
            r.CodeStart = ph.p_vaddr;
            r.CodeEnd = ph.p_vaddr + ph.p_memsz;
        }
        if ((ph.p_flags & PF_W) && r.DataEnd == 0) {
            r.DataStart = ph.p_vaddr;
            r.DataEnd = ph.p_vaddr + ph.p_memsz;
        }
    }
    return r;
}

// The line of the source that carries the comment "// call:<mark>".
int markedLine(const std::string& source, const std::string& mark) {
    std::istringstream lines(source);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number)
        if (line.find("// call:" + mark) != std::string::npos) return number;
    return 0;
}

struct Frame {
    std::string file;
    int line = 0;
};

// addr2line -i -a: per address its line "0x...", then the frames, innermost first.
std::map<std::uintptr_t, std::vector<Frame>> inlineChains(const std::string& program,
                                                          const std::vector<std::uintptr_t>& addresses) {
    std::string command = "addr2line -i -a -e '" + program + "'";
    char hex[32];
    for (auto a : addresses) {
        std::snprintf(hex, sizeof hex, " 0x%lx", static_cast<unsigned long>(a));
        command += hex;
    }
    std::map<std::uintptr_t, std::vector<Frame>> out;
    std::istringstream answers(run(command));
    std::string line;
    std::vector<Frame>* chain = nullptr;
    while (std::getline(answers, line)) {
        if (line.rfind("0x", 0) == 0) {
            chain = &out[std::stoul(line, nullptr, 16)];
            continue;
        }
        const auto colon = line.rfind(':');
        if (chain && colon != std::string::npos)
            chain->push_back({baseName(line.substr(0, colon)), std::atoi(line.c_str() + colon + 1)});
    }
    return out;
}

struct SizedSymbol {
    std::uintptr_t address = 0, size = 0;
};

std::map<std::string, SizedSymbol> functions(const std::string& program) {
    std::map<std::string, SizedSymbol> out;
    std::istringstream lines(run("nm -S -C --defined-only '" + program + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, size, type, name;
        if (!(fields >> address >> size >> type >> name)) continue;
        out[name.substr(0, name.find('('))] = {std::stoul(address, nullptr, 16), std::stoul(size, nullptr, 16)};
    }
    return out;
}

TEST(InlinedHeaderCode, LinesAreTheCallsInTheUnitsOwnFile) {
    const std::string program = AX_INLINED_PROGRAM;
    const std::string source = readFile(AX_INLINED_SOURCE);
    const std::string elf = readFile(program);
    ASSERT_FALSE(elf.empty()) << program;
    ASSERT_FALSE(source.empty());
    auto map = TMapFile::Build(linkedRanges(elf), program);
    ASSERT_TRUE(map->Valid) << "the build writes " << CompanionFileName(program, ".map");

    // Each function inlines header code through one call, marked by hand.
    const std::map<std::string, int> callLine = {
        {"inlinedCaller", markedLine(source, "caller-square")},
        {"inlinedNestedCaller", markedLine(source, "nested-twice")}};
    const auto symbols = functions(program);
    for (const auto& [name, expected] : callLine) {
        ASSERT_GT(expected, 0) << name;
        ASSERT_TRUE(symbols.count(name)) << name;
        const SizedSymbol f = symbols.at(name);
        std::vector<std::uintptr_t> addresses;
        for (std::uintptr_t a = f.address; a < f.address + f.size; ++a) addresses.push_back(a);
        int checked = 0;
        for (const auto& [address, chain] : inlineChains(program, addresses)) {
            // Only bytes whose innermost line is the header's.
            if (chain.empty() || chain.front().file != "inlined_helpers.h") continue;
            ++checked;
            // binutils shows no inline chain for Clang's DWARF 5 range
            // lists; there the lines marked by hand stand alone.
            if (chain.size() >= 2) {
                EXPECT_EQ(chain.back().file, "inlined_main.cpp") << name << " " << address;
                EXPECT_EQ(chain.back().line, expected) << name << " " << address;
            }
            EXPECT_EQ(map->FindSegment(true, address).UnitName, "inlined_main.cpp") << name << " " << address;
            std::uintptr_t next = 0;
            EXPECT_EQ(map->LineOf(address, next), expected)
                << name << " at " << address << ": header line " << chain.front().line;
        }
        EXPECT_GE(checked, 3) << name << ": too few bytes of inlined header code";
    }
}

} // namespace
} // namespace ax
