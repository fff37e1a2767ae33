// Mnemonics of the text listing checked against an independent disassembler
// (capstone): a sweep of the one-byte and 0F maps with every ModR/M byte in
// both modes and under the 66/F3/F2 prefixes, and every function of the C
// library in 64-bit mode. Only the mnemonic is compared; where the two spell
// an instruction differently, the pair is listed below.
#include "crash/vorDisAsm.h"
#include "support/capstone_oracle.h"

#include <capstone/capstone.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ax {
namespace {

using test::TOracle;

bool Dump() {
    return std::getenv("AX_DECODER_DUMP") != nullptr;
}

// The mnemonic without the prefix words either side writes.
std::string BareMnemonic(std::string_view text) {
    static const std::set<std::string_view> kPrefixes = {
        "lock", "rep", "repe", "repz", "repne", "repnz", "bnd", "notrack", "xacquire", "xrelease"};
    for (;;) {
        const std::size_t blank = text.find(' ');
        const std::string_view word = text.substr(0, blank);
        if (blank == std::string_view::npos || kPrefixes.count(word) == 0) return std::string(word);
        text.remove_prefix(blank + 1);
    }
}

// Deliberate spelling differences: decoder's name, oracle's name.
const std::set<std::pair<std::string, std::string>>& AllowedPairs() {
    static const std::set<std::pair<std::string, std::string>> pairs = {
        // moffs moves and 64-bit immediates are plain "mov" in the vendors' maps.
        {"mov", "movabs"},
        // Far branches: Intel notation has no separate mnemonic.
        {"call", "lcall"},
        {"jmp", "ljmp"},
        // Intel's names for the 32-bit forms of pusha/popa.
        {"pushad", "pushal"},
        {"popad", "popal"},
        {"pusha", "pushaw"},
        {"popa", "popaw"},
        // 66 0F 12 and 0F 16 (with 66 or F2) have no register form in the
        // vendors' maps; the decoder names them by their memory form.
        {"movlpd", "movhlps"},
        {"movhpd", "movlhps"},
        // F3 0F C7 /7 is rdpid in the newer maps.
        {"rdpid", "rdseed"},
        // 66 0F AE F8 was pcommit, withdrawn; without memory it is sfence.
        {"sfence", "pcommit"},
    };
    return pairs;
}

// The condition codes keep their names from the decoder's list
// "o|no|b|nb|z|nz|be|a|s|ns|p|np|l|ge|le|g"; the oracle says e, ne, ae.
bool SameCondition(const std::string& mine, const std::string& theirs) {
    static const std::pair<std::string_view, std::string_view> kSame[] = {
        {"z", "e"}, {"nz", "ne"}, {"nb", "ae"}};
    for (const std::string_view stem : {"j", "set", "cmov"}) {
        if (mine.rfind(stem, 0) != 0 || theirs.rfind(stem, 0) != 0) continue;
        const std::string_view a = std::string_view(mine).substr(stem.size());
        const std::string_view b = std::string_view(theirs).substr(stem.size());
        for (const auto& [ours, oracle] : kSame)
            if (a == ours && b == oracle) return true;
    }
    return false;
}

bool Allowed(const std::string& mine, const std::string& theirs) {
    if (AllowedPairs().count({mine, theirs}) != 0) return true;
    if (SameCondition(mine, theirs)) return true;
    // The decoder writes the compare predicate as an immediate operand;
    // the oracle folds it into the name (cmpeqps, vcmpltpd ...).
    const bool cmp = mine.rfind("cmp", 0) == 0 || mine.rfind("vcmp", 0) == 0;
    if (cmp && theirs.size() > mine.size() &&
        theirs.compare(theirs.size() - 2, 2, mine, mine.size() - 2, 2) == 0 &&
        theirs.rfind(mine.substr(0, mine.size() - 2), 0) == 0)
        return true;
    return false;
}

struct TDiffs {
    std::map<std::pair<std::string, std::string>, std::string> Pairs; // with one example
    std::size_t Compared = 0;
    void Add(const std::string& mine, const std::string& theirs, const std::string& example) {
        Pairs.emplace(std::make_pair(mine, theirs), example);
    }
    void Report() const {
        std::size_t shown = 0;
        for (const auto& [pair, example] : Pairs) {
            if (!Dump() && ++shown > 40) break;
            ADD_FAILURE() << "decoder \"" << pair.first << "\", oracle \"" << pair.second
                          << "\": " << example;
        }
    }
};

std::string HexBytes(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    char cell[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(cell, sizeof cell, "%s%02x", i ? " " : "", bytes[i]);
        text += cell;
    }
    return text;
}

void Compare(const std::uint8_t* bytes, std::size_t size, std::uint64_t address, TCpuMode mode,
             const TMemoryReader& memory, TOracle& oracle, TDiffs& diffs) {
    TInstruction rec;
    TInstructionText text;
    DecodeInstruction(address, rec, memory, mode, nullptr, text);
    if (!rec.Valid) return;
    const cs_insn* insn = oracle.Decode(bytes, size, address);
    if (insn == nullptr || insn->size != rec.InstrNext - rec.InstrStart) return;
    ++diffs.Compared;
    const std::string mine = BareMnemonic(text.Text);
    const std::string theirs = BareMnemonic(insn->mnemonic);
    if (mine == theirs || Allowed(mine, theirs)) return;
    diffs.Add(mine, theirs,
              HexBytes(bytes, insn->size) + " = \"" + text.Text + "\" / \"" + insn->mnemonic + " " +
                  insn->op_str + "\"");
}

bool IsPrefix(unsigned byte, TCpuMode mode) {
    switch (byte) {
    case 0x26:
    case 0x2E:
    case 0x36:
    case 0x3E:
    case 0x64:
    case 0x65:
    case 0x66:
    case 0x67:
    case 0xF0:
    case 0xF2:
    case 0xF3:
        return true;
    default:
        return mode == TCpuMode::Bits64 && (byte & 0xF0) == 0x40;
    }
}

void SweepMaps(TCpuMode mode, TDiffs& diffs) {
    TOracle oracle(mode == TCpuMode::Bits64 ? CS_MODE_64 : CS_MODE_32, false);
    ASSERT_TRUE(oracle.Ok());
    static constexpr std::uint8_t kPrefixes[] = {0, 0x66, 0xF3, 0xF2};
    constexpr std::uintptr_t kBase = 0x401000;
    for (const std::uint8_t prefix : kPrefixes) {
        for (int twoByte = 0; twoByte < 2; ++twoByte) {
            for (unsigned op = 0; op < 256; ++op) {
                // One prefix at a time: the oracle weighs repeated and mixed
                // prefixes in its own way.
                if (prefix != 0 && !twoByte && IsPrefix(op, mode)) continue;
                for (unsigned modrm = 0; modrm < 256; ++modrm) {
                    std::uint8_t bytes[16];
                    std::memset(bytes, 0x11, sizeof bytes);
                    std::size_t at = 0;
                    if (prefix != 0) bytes[at++] = prefix;
                    if (twoByte) bytes[at++] = 0x0F;
                    bytes[at++] = static_cast<std::uint8_t>(op);
                    bytes[at++] = static_cast<std::uint8_t>(modrm);
                    const TBufferReader memory(kBase, bytes);
                    Compare(bytes, sizeof bytes, kBase, mode, memory, oracle, diffs);
                }
            }
        }
    }
}

TEST(DecoderTextOracle, OpcodeMapsIn32BitMode) {
    TDiffs diffs;
    SweepMaps(TCpuMode::Bits32, diffs);
    std::printf("32-bit: %zu instructions compared\n", diffs.Compared);
    EXPECT_GT(diffs.Compared, 100000u);
    diffs.Report();
}

TEST(DecoderTextOracle, OpcodeMapsIn64BitMode) {
    TDiffs diffs;
    SweepMaps(TCpuMode::Bits64, diffs);
    std::printf("64-bit: %zu instructions compared\n", diffs.Compared);
    EXPECT_GT(diffs.Compared, 100000u);
    diffs.Report();
}

// The C library's code, decoded linearly from every symbol.
TEST(DecoderTextOracle, FunctionsOfTheCLibrary) {
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info), 0);
    std::ifstream file(info.dli_fname, std::ios::binary);
    const std::vector<char> data((std::istreambuf_iterator<char>(file)),
                                 std::istreambuf_iterator<char>());
    ASSERT_GT(data.size(), sizeof(Elf64_Ehdr));
    Elf64_Ehdr header;
    std::memcpy(&header, data.data(), sizeof header);
    ASSERT_EQ(header.e_machine, EM_X86_64);
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    ASSERT_LE(header.e_shoff + sections.size() * sizeof(Elf64_Shdr), data.size());
    std::memcpy(sections.data(), data.data() + header.e_shoff,
                sections.size() * sizeof(Elf64_Shdr));
    TOracle oracle(CS_MODE_64, false);
    ASSERT_TRUE(oracle.Ok());
    TDiffs diffs;
    std::set<std::uint64_t> seen;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNSYM) continue;
        for (std::size_t off = 0; off + sizeof(Elf64_Sym) <= section.sh_size;
             off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, data.data() + section.sh_offset + off, sizeof sym);
            if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_size == 0 ||
                sym.st_shndx >= sections.size() || !seen.insert(sym.st_value).second)
                continue;
            const Elf64_Shdr& home = sections[sym.st_shndx];
            if (home.sh_type != SHT_PROGBITS || sym.st_value < home.sh_addr ||
                sym.st_value - home.sh_addr + sym.st_size > home.sh_size)
                continue;
            const auto* code = reinterpret_cast<const std::uint8_t*>(data.data()) + home.sh_offset +
                               (sym.st_value - home.sh_addr);
            const TBufferReader memory(sym.st_value, {code, static_cast<std::size_t>(sym.st_size)});
            std::uint64_t offset = 0;
            while (offset < sym.st_size) {
                TInstruction rec;
                DecodeInstruction(sym.st_value + offset, rec, memory, TCpuMode::Bits64);
                const std::size_t left = static_cast<std::size_t>(sym.st_size - offset);
                Compare(code + offset, left < 15 ? left : 15, sym.st_value + offset,
                        TCpuMode::Bits64, memory, oracle, diffs);
                offset += rec.InstrNext - rec.InstrStart;
            }
        }
    }
    std::printf("C library: %zu instructions compared\n", diffs.Compared);
    EXPECT_GT(diffs.Compared, 100000u);
    diffs.Report();
}

} // namespace
} // namespace ax
