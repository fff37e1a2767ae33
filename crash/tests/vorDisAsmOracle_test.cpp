// The decoder checked against an independent disassembler (capstone): every
// one-byte and 0F opcode with every ModR/M byte in 32-bit mode, and every
// function of this test program and of the C library in 64-bit mode.
// Where the decoder follows the opcode maps and the oracle does not (or the
// other way round), the difference is listed below with the decoder's rule.
#include "crash/vorDisAsm.h"
#include "support/capstone_oracle.h"

#include <capstone/capstone.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <functional>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace ax {
namespace {

using test::TOracle;
// ---------------------------------------------------------------------------
// Oracle

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    char cell[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(cell, sizeof cell, "%s%02x", i ? " " : "", bytes[i]);
        text += cell;
    }
    return text;
}

bool Dump() {
    return std::getenv("AX_DECODER_DUMP") != nullptr;
}

// ---------------------------------------------------------------------------
// 32-bit sweep

// The sweep's memory: the instruction bytes, and zeros everywhere else so
// that indirect branches through a fixed slot decode.
class TFlatMemory final : public TMemoryReader {
public:
    TFlatMemory(std::uintptr_t base, const std::uint8_t (&bytes)[16]) : Base(base), Bytes(bytes) {}
    bool Read(std::uintptr_t address, void* buffer, std::size_t size) const override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (std::size_t i = 0; i < size; ++i) {
            const std::uintptr_t at = address + i;
            out[i] = at >= Base && at - Base < 16 ? Bytes[at - Base] : 0;
        }
        return true;
    }

private:
    std::uintptr_t Base;
    const std::uint8_t (&Bytes)[16];
};

enum class TDiff { DecoderOnly, OracleOnly, Length };

const char* DiffName(TDiff diff) {
    switch (diff) {
    case TDiff::DecoderOnly:
        return "valid only for the decoder";
    case TDiff::OracleOnly:
        return "valid only for the oracle";
    case TDiff::Length:
        return "length differs";
    }
    return "";
}

// One known difference: opcode (0x0Fxx for the 0F map), the ModR/M bytes it
// covers and the decoder's rule.
struct TAllowed {
    std::uint16_t Opcode;
    std::function<bool(std::uint8_t modrm)> Covers;
    TDiff Kind;
    const char* Rule;
};

bool RegForm(std::uint8_t modrm) {
    return modrm >= 0xC0;
}
unsigned RegOf(std::uint8_t modrm) {
    return (modrm >> 3) & 7;
}
bool Any(std::uint8_t) {
    return true;
}
bool Reg6(std::uint8_t modrm) {
    return RegOf(modrm) == 6;
}

// Every difference from the oracle in the 32-bit sweep, with the decoder's
// rule. docs/layers/crash-decoder.md carries the same list.
const std::vector<TAllowed>& Allowed32() {
    using D = TDiff;
    static const char* const kGroup2 = "group 2 /6 is blank in the opcode map";
    static const char* const kX87 = "x87 register form left reserved by the opcode map";
    static const char* const kNewer = "newer instruction than the oracle knows";
    static const std::vector<TAllowed> list = {
        {0x8E, [](std::uint8_t m) { return RegOf(m) == 1; }, D::OracleOnly, "mov to CS raises #UD"},
        {0xC0, Reg6, D::OracleOnly, kGroup2},
        {0xC1, Reg6, D::OracleOnly, kGroup2},
        {0xD0, Reg6, D::OracleOnly, kGroup2},
        {0xD1, Reg6, D::OracleOnly, kGroup2},
        {0xD2, Reg6, D::OracleOnly, kGroup2},
        {0xD3, Reg6, D::OracleOnly, kGroup2},
        {0xD6, Any, D::OracleOnly, "D6 is blank in the opcode map"},
        {0xD9, [](std::uint8_t m) { return RegForm(m) && RegOf(m) == 3; }, D::OracleOnly, kX87},
        {0xDB, [](std::uint8_t m) { return m == 0xE0 || m == 0xE1 || m == 0xE4; }, D::OracleOnly,
         kX87},
        {0xDC, [](std::uint8_t m) { return RegForm(m) && (RegOf(m) == 2 || RegOf(m) == 3); },
         D::OracleOnly, kX87},
        {0xDD, [](std::uint8_t m) { return RegForm(m) && RegOf(m) == 1; }, D::OracleOnly, kX87},
        {0xDE, [](std::uint8_t m) { return RegForm(m) && RegOf(m) == 2; }, D::OracleOnly, kX87},
        {0xDF, [](std::uint8_t m) { return RegForm(m) && RegOf(m) <= 3; }, D::OracleOnly, kX87},
        {0xF6, [](std::uint8_t m) { return RegOf(m) == 1; }, D::OracleOnly,
         "group 3 /1 is blank in the opcode map"},
        {0xF7, [](std::uint8_t m) { return RegOf(m) == 1; }, D::OracleOnly,
         "group 3 /1 is blank in the opcode map"},
        {0x0F01, [](std::uint8_t m) { return m == 0xF8; }, D::OracleOnly,
         "swapgs exists only in 64-bit mode"},
        {0x0F01,
         [](std::uint8_t m) {
             return m == 0xE8 || m == 0xEE || m == 0xEF || m == 0xFA || m == 0xFB || m == 0xFC;
         },
         D::DecoderOnly, kNewer},
        {0x0F0D, [](std::uint8_t m) { return !RegForm(m) && RegOf(m) != 1; }, D::DecoderOnly,
         "every memory form of 0F 0D is a prefetch"},
        {0x0F18, RegForm, D::DecoderOnly, "0F 18-1F are hint NOPs in both forms"},
        {0x0F1A, RegForm, D::DecoderOnly, "0F 18-1F are hint NOPs in both forms"},
        {0x0F1B, RegForm, D::DecoderOnly, "0F 18-1F are hint NOPs in both forms"},
        {0x0F1C, RegForm, D::DecoderOnly, "0F 18-1F are hint NOPs in both forms"},
        {0x0F1D, RegForm, D::DecoderOnly, "0F 18-1F are hint NOPs in both forms"},
        {0x0F1E, RegForm, D::DecoderOnly, "0F 18-1F are hint NOPs in both forms"},
        {0x0F1F, RegForm, D::DecoderOnly, "0F 18-1F are hint NOPs in both forms"},
        {0x0F20, [](std::uint8_t m) { return RegOf(m) == 1 || RegOf(m) >= 5; }, D::OracleOnly,
         "control registers 1, 5, 6 and 7 raise #UD"},
        {0x0F22, [](std::uint8_t m) { return RegOf(m) == 1 || RegOf(m) >= 5; }, D::OracleOnly,
         "control registers 1, 5, 6 and 7 raise #UD"},
        {0x0F38, Any, D::DecoderOnly,
         "three-byte maps are checked by opcode, not by mandatory prefix"},
        {0x0F3A, Any, D::DecoderOnly,
         "three-byte maps are checked by opcode, not by mandatory prefix"},
        {0x0FA6, RegForm, D::OracleOnly, "0F A6 is blank in the opcode map"},
        {0x0FA7, RegForm, D::OracleOnly, "0F A7 is blank in the opcode map"},
        {0x0FAE, [](std::uint8_t m) { return RegForm(m) && RegOf(m) >= 5; }, D::DecoderOnly,
         "lfence, mfence and sfence ignore the r/m field"},
        {0x0FB9, Any, D::Length, "UD1 takes a ModR/M operand"},
        {0x0FFF, Any, D::Length, "UD0 takes a ModR/M operand"},
    };
    return list;
}

struct TSweepResult {
    std::size_t Compared = 0;
    std::size_t Allowed = 0;
    std::vector<std::string> Unexplained;
};

void Sweep32(bool twoByte, const std::uint8_t tail, TOracle& oracle, TSweepResult& result) {
    for (unsigned op = 0; op < 256; ++op) {
        if (!twoByte) {
            switch (op) {
            case 0x0F:
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
                continue; // prefixes and the escape are swept elsewhere
            default:
                break;
            }
        }
        for (unsigned modrm = 0; modrm < 256; ++modrm) {
            std::uint8_t bytes[16];
            std::memset(bytes, tail, sizeof bytes);
            std::size_t at = 0;
            if (twoByte) bytes[at++] = 0x0F;
            bytes[at++] = static_cast<std::uint8_t>(op);
            bytes[at++] = static_cast<std::uint8_t>(modrm);
            constexpr std::uintptr_t base = 0x10000;
            const TFlatMemory reader(base, bytes);
            TInstruction rec;
            DecodeInstruction(base, rec, reader, TCpuMode::Bits32);
            const cs_insn* insn = oracle.Decode(bytes, MaxInstructionLength, base);
            ++result.Compared;
            TDiff diff;
            if (rec.Valid && insn == nullptr)
                diff = TDiff::DecoderOnly;
            else if (!rec.Valid && insn != nullptr)
                diff = TDiff::OracleOnly;
            else if (rec.Valid && rec.InstrNext - rec.InstrStart != insn->size)
                diff = TDiff::Length;
            else
                continue;
            const std::uint16_t opcode = static_cast<std::uint16_t>(twoByte ? 0x0F00 | op : op);
            bool allowed = false;
            for (const TAllowed& entry : Allowed32()) {
                if (entry.Opcode == opcode && entry.Kind == diff &&
                    entry.Covers(static_cast<std::uint8_t>(modrm))) {
                    allowed = true;
                    break;
                }
            }
            if (allowed) {
                ++result.Allowed;
                continue;
            }
            result.Unexplained.push_back(
                Hex(bytes, at + 1) + ": " + DiffName(diff) + " (decoder " +
                std::to_string(rec.InstrNext - rec.InstrStart) + ", oracle " +
                (insn ? std::string(insn->mnemonic) + " " + insn->op_str : "-") + ")");
        }
    }
}

void Report(const TSweepResult& result) {
    std::size_t shown = 0;
    for (const std::string& line : result.Unexplained) {
        if (!Dump() && ++shown > 40) break;
        ADD_FAILURE() << line;
    }
    if (!Dump() && result.Unexplained.size() > 40)
        ADD_FAILURE() << result.Unexplained.size() << " differences in all";
}

TEST(DecoderOracle32, EveryOneByteOpcodeWithEveryModRm) {
    TOracle oracle(CS_MODE_32, false);
    ASSERT_TRUE(oracle.Ok());
    TSweepResult result;
    // 0x11: register or [ecx] forms; 0x25: SIB without base, 32-bit displacement.
    Sweep32(false, 0x11, oracle, result);
    Sweep32(false, 0x25, oracle, result);
    EXPECT_EQ(result.Compared, 2u * 244 * 256);
    Report(result);
    std::printf("one-byte map: %zu compared, %zu listed differences\n", result.Compared,
                result.Allowed);
}

TEST(DecoderOracle32, EveryTwoByteOpcodeWithEveryModRm) {
    TOracle oracle(CS_MODE_32, false);
    ASSERT_TRUE(oracle.Ok());
    TSweepResult result;
    Sweep32(true, 0x11, oracle, result);
    Sweep32(true, 0x25, oracle, result);
    EXPECT_EQ(result.Compared, 2u * 256 * 256);
    Report(result);
    std::printf("0F map: %zu compared, %zu listed differences\n", result.Compared, result.Allowed);
}

// ---------------------------------------------------------------------------
// 64-bit sweep over real code

struct TElfFunction {
    std::uint64_t Address;
    std::uint64_t Size;
    std::string Name;
};

// A loaded view of an ELF file: its PT_LOAD segments at their addresses.
class TElfImage final : public TMemoryReader {
public:
    explicit TElfImage(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        Data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (Data.size() < sizeof(Elf64_Ehdr)) return;
        Elf64_Ehdr header;
        std::memcpy(&header, Data.data(), sizeof header);
        if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
            header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_machine != EM_X86_64)
            return;
        std::uint64_t unwindHeader = 0;
        for (unsigned i = 0; i < header.e_phnum; ++i) {
            Elf64_Phdr ph;
            const std::size_t at = header.e_phoff + i * std::size_t{header.e_phentsize};
            if (at + sizeof ph > Data.size()) return;
            std::memcpy(&ph, Data.data() + at, sizeof ph);
            if (ph.p_type == PT_LOAD && ph.p_offset + ph.p_filesz <= Data.size())
                Segments.push_back({ph.p_vaddr, ph.p_offset, ph.p_filesz, ph.p_memsz});
            if (ph.p_type == PT_GNU_EH_FRAME) unwindHeader = ph.p_vaddr;
        }
        std::vector<Elf64_Shdr> sections(header.e_shnum);
        if (header.e_shoff + sections.size() * sizeof(Elf64_Shdr) > Data.size()) return;
        std::memcpy(sections.data(), Data.data() + header.e_shoff,
                    sections.size() * sizeof(Elf64_Shdr));
        std::set<std::uint64_t> seen;
        for (const Elf64_Shdr& section : sections) {
            if (section.sh_type != SHT_SYMTAB && section.sh_type != SHT_DYNSYM) continue;
            if (section.sh_link >= sections.size()) continue;
            const Elf64_Shdr& strings = sections[section.sh_link];
            for (std::size_t off = 0; off + sizeof(Elf64_Sym) <= section.sh_size;
                 off += sizeof(Elf64_Sym)) {
                Elf64_Sym sym;
                std::memcpy(&sym, Data.data() + section.sh_offset + off, sizeof sym);
                if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_size == 0 ||
                    sym.st_shndx == SHN_UNDEF || !seen.insert(sym.st_value).second)
                    continue;
                const char* name = sym.st_name < strings.sh_size
                                       ? Data.data() + strings.sh_offset + sym.st_name
                                       : "?";
                Functions.push_back({sym.st_value, sym.st_size, name});
            }
        }
        if (unwindHeader != 0) AddUnwindRanges(unwindHeader);
    }

    // Functions without a symbol (local ones of a stripped library) still
    // have an unwind entry: the sorted table of .eh_frame_hdr leads to each
    // FDE, whose range follows its pc-relative start.
    void AddUnwindRanges(std::uint64_t headerAddress) {
        const std::uint8_t* header = At(headerAddress, 12);
        // version 1, table of datarel sdata4 pairs, count as udata4.
        if (header == nullptr || header[0] != 1 || header[2] != 0x03 || header[3] != 0x3B) return;
        std::uint32_t count = 0;
        std::memcpy(&count, header + 8, 4);
        const std::uint8_t* table = At(headerAddress + 12, std::size_t{count} * 8);
        if (table == nullptr) return;
        std::set<std::uint64_t> seen;
        for (const TElfFunction& function : Functions)
            seen.insert(function.Address);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::int32_t start = 0, fde = 0;
            std::memcpy(&start, table + i * 8, 4);
            std::memcpy(&fde, table + i * 8 + 4, 4);
            const std::uint64_t fdeAddress = headerAddress + static_cast<std::uint64_t>(fde);
            const std::uint8_t* entry = At(fdeAddress, 16);
            if (entry == nullptr) continue;
            std::int32_t pcBegin = 0;
            std::uint32_t pcRange = 0;
            std::memcpy(&pcBegin, entry + 8, 4);
            std::memcpy(&pcRange, entry + 12, 4);
            const std::uint64_t address = headerAddress + static_cast<std::uint64_t>(start);
            // Only FDEs whose start is pc-relative sdata4, as the table says.
            if (fdeAddress + 8 + static_cast<std::uint64_t>(pcBegin) != address) continue;
            if (pcRange != 0 && seen.insert(address).second)
                Functions.push_back({address, pcRange, "unwind@" + std::to_string(address)});
        }
    }

    // As loaded: the part of a segment beyond its file bytes reads as zeros.
    bool Read(std::uintptr_t address, void* buffer, std::size_t size) const override {
        for (const TSegment& segment : Segments) {
            if (address < segment.Address || address - segment.Address > segment.MemorySize ||
                size > segment.MemorySize - (address - segment.Address))
                continue;
            auto* out = static_cast<std::uint8_t*>(buffer);
            for (std::size_t i = 0; i < size; ++i) {
                const std::uint64_t offset = address - segment.Address + i;
                out[i] = offset < segment.Size
                             ? static_cast<std::uint8_t>(Data[segment.Offset + offset])
                             : 0;
            }
            return true;
        }
        return false;
    }
    const std::uint8_t* At(std::uint64_t address, std::size_t size) const {
        for (const TSegment& segment : Segments) {
            if (address >= segment.Address && address - segment.Address <= segment.Size &&
                size <= segment.Size - (address - segment.Address))
                return reinterpret_cast<const std::uint8_t*>(Data.data()) + segment.Offset +
                       (address - segment.Address);
        }
        return nullptr;
    }

    std::vector<TElfFunction> Functions;

private:
    struct TSegment {
        std::uint64_t Address, Offset, Size, MemorySize;
    };
    std::vector<char> Data;
    std::vector<TSegment> Segments;
};

bool InGroup(const cs_insn& insn, std::uint8_t group) {
    for (unsigned i = 0; i < insn.detail->groups_count; ++i)
        if (insn.detail->groups[i] == group) return true;
    return false;
}

constexpr const char* kAvx512 =
    "AVX-512 and opmask instructions newer than the oracle (lengths checked with objdump)";

// Differences of the 64-bit sweep, with the decoder's rule.
const char* Allowed64(const std::uint8_t* bytes, std::size_t size, bool decoderValid,
                      const cs_insn* insn) {
    std::size_t at = 0;
    while (at < size && (bytes[at] == 0x66 || bytes[at] == 0xF2 || bytes[at] == 0xF3 ||
                         (bytes[at] & 0xF0) == 0x40))
        ++at;
    if (!decoderValid || insn != nullptr || size - at < 3) return nullptr;
    if (bytes[at] == 0x62) return kAvx512;
    // VEX opmask instructions: kand..kxor (41-4B), kmov (90-93), kortest, ktest (98, 99).
    const std::uint8_t vexOpcode =
        bytes[at] == 0xC5                                                    ? bytes[at + 2]
        : bytes[at] == 0xC4 && size - at >= 4 && (bytes[at + 1] & 0x1F) == 1 ? bytes[at + 3]
                                                                             : 0;
    if ((vexOpcode >= 0x41 && vexOpcode <= 0x4B) || (vexOpcode >= 0x90 && vexOpcode <= 0x93) ||
        vexOpcode == 0x98 || vexOpcode == 0x99)
        return kAvx512;
    if (bytes[at] == 0x0F && bytes[at + 1] == 0x01) {
        switch (bytes[at + 2]) {
        case 0xE8:
        case 0xEE:
        case 0xEF:
        case 0xFA:
        case 0xFB:
        case 0xFC:
            return "newer instruction than the oracle knows";
        default:
            break;
        }
    }
    return nullptr;
}

struct TLinearResult {
    std::size_t Functions = 0, Instructions = 0, Branches = 0, Allowed = 0;
    std::vector<std::string> Unexplained;
    // Instructions only the decoder knows, for the second oracle.
    std::set<std::vector<std::uint8_t>> Unconfirmed;
};

// Lengths of instructions the first oracle does not know, checked with
// objdump: the decoder's instructions are laid end to end, and objdump must
// find exactly the same boundaries and no "(bad)".
void ConfirmWithObjdump(const std::set<std::vector<std::uint8_t>>& instructions) {
    if (instructions.empty()) return;
    char path[] = "/tmp/ax-decoder-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::set<std::size_t> boundaries;
    std::vector<std::uint8_t> blob;
    for (const auto& bytes : instructions) {
        boundaries.insert(blob.size());
        blob.insert(blob.end(), bytes.begin(), bytes.end());
    }
    ASSERT_EQ(write(fd, blob.data(), blob.size()), static_cast<ssize_t>(blob.size()));
    close(fd);
    const std::string command =
        std::string("objdump -D -w -b binary -m i386:x86-64 ") + path + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::size_t> found;
    std::size_t bad = 0;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        unsigned long offset = 0;
        char colon = 0;
        if (std::sscanf(line, " %lx%c", &offset, &colon) != 2 || colon != ':' ||
            std::strchr(line, '\t') == nullptr)
            continue;
        found.insert(offset);
        if (std::strstr(line, "(bad)") != nullptr) ++bad;
    }
    pclose(pipe);
    std::remove(path);
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(found, boundaries) << instructions.size() << " instructions";
}

void SweepFunctions(const TElfImage& image, TLinearResult& result) {
    TOracle oracle(CS_MODE_64, true);
    ASSERT_TRUE(oracle.Ok());
    for (const TElfFunction& function : image.Functions) {
        const std::uint8_t* code = image.At(function.Address, function.Size);
        if (code == nullptr) continue;
        ++result.Functions;
        std::uint64_t offset = 0;
        while (offset < function.Size) {
            const std::uint64_t address = function.Address + offset;
            const std::uint8_t* bytes = code + offset;
            const std::size_t left = static_cast<std::size_t>(function.Size - offset);
            const std::size_t window = left < MaxInstructionLength ? left : MaxInstructionLength;
            TInstruction rec;
            DecodeInstruction(address, rec, image, TCpuMode::Bits64);
            const cs_insn* insn = oracle.Decode(bytes, window, address);
            const std::size_t mine = rec.InstrNext - rec.InstrStart;
            ++result.Instructions;
            std::string problem;
            if (insn == nullptr && !rec.Valid) {
                offset += 1;
                continue;
            }
            if (insn == nullptr || !rec.Valid || mine != insn->size) {
                problem = insn == nullptr ? "valid only for the decoder"
                          : !rec.Valid    ? "valid only for the oracle"
                                          : "length differs";
            } else if (InGroup(*insn, CS_GRP_JUMP) || InGroup(*insn, CS_GRP_CALL)) {
                ++result.Branches;
                const bool call = InGroup(*insn, CS_GRP_CALL);
                const cs_x86_op& op = insn->detail->x86.operands[0];
                const std::uint64_t next = address + insn->size;
                if (insn->detail->x86.op_count == 1 && op.type == X86_OP_IMM) {
                    const auto target = static_cast<std::uint64_t>(op.imm);
                    if (target == next) {
                        if (rec.IsCall || rec.IsJump) problem = "branch to next reported";
                    } else if (rec.TargetAddr != target || rec.IsCall != call ||
                               rec.IsJump == call) {
                        problem = "target differs";
                    }
                } else if (insn->detail->x86.op_count == 1 && op.type == X86_OP_MEM &&
                           op.mem.base == X86_REG_RIP && op.mem.index == X86_REG_INVALID) {
                    std::uint64_t slotValue = 0;
                    const std::uint64_t slot = next + static_cast<std::uint64_t>(op.mem.disp);
                    image.Read(slot, &slotValue, 8);
                    if (slotValue == next) {
                        // A lazy-binding slot still points at the next instruction.
                        if (rec.IsCall || rec.IsJump) problem = "branch to next reported";
                    } else if (rec.TargetSlot != slot || rec.TargetAddr != slotValue ||
                               rec.IsCall != call) {
                        problem = "slot differs";
                    }
                } else if (rec.IsCall != call || rec.IsJump == call) {
                    problem = "branch kind differs";
                }
            } else if (rec.IsCall || rec.IsJump) {
                problem = "branch only for the decoder";
            }
            if (!problem.empty()) {
                if (const char* rule = Allowed64(bytes, window, rec.Valid, insn)) {
                    if (rule == kAvx512) result.Unconfirmed.emplace(bytes, bytes + mine);
                    ++result.Allowed;
                } else {
                    result.Unexplained.push_back(
                        function.Name + "+" + std::to_string(offset) + " " +
                        Hex(bytes, insn ? insn->size : window) + ": " + problem + " (decoder " +
                        std::to_string(mine) + ", oracle " +
                        (insn ? std::string(insn->mnemonic) + " " + insn->op_str : "-") + ")");
                }
            }
            offset += insn != nullptr ? insn->size : mine;
        }
    }
}

void ReportLinear(const TLinearResult& result) {
    std::size_t shown = 0;
    for (const std::string& line : result.Unexplained) {
        if (!Dump() && ++shown > 40) break;
        ADD_FAILURE() << line;
    }
    if (!Dump() && result.Unexplained.size() > 40)
        ADD_FAILURE() << result.Unexplained.size() << " differences in all";
}

TEST(DecoderOracle64, EveryFunctionOfThisProgram) {
    const TElfImage image("/proc/self/exe");
    ASSERT_GT(image.Functions.size(), 100u);
    TLinearResult result;
    SweepFunctions(image, result);
    std::printf("this program: %zu functions, %zu instructions, %zu branches, %zu listed\n",
                result.Functions, result.Instructions, result.Branches, result.Allowed);
    EXPECT_GT(result.Branches, 1000u);
    ReportLinear(result);
    ConfirmWithObjdump(result.Unconfirmed);
}

TEST(DecoderOracle64, EveryFunctionOfTheCLibrary) {
    Dl_info info{};
    // A routine no sanitizer intercepts, so that the library is the C library.
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info), 0);
    const TElfImage image(info.dli_fname);
    ASSERT_GT(image.Functions.size(), 1000u) << info.dli_fname;
    TLinearResult result;
    SweepFunctions(image, result);
    std::printf("%s: %zu functions, %zu instructions, %zu branches, %zu listed\n", info.dli_fname,
                result.Functions, result.Instructions, result.Branches, result.Allowed);
    EXPECT_GT(result.Branches, 10000u);
    ReportLinear(result);
    ConfirmWithObjdump(result.Unconfirmed);
}

} // namespace
} // namespace ax
