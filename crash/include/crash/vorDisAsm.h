// Table-driven x86 instruction decoder of the crash reporter.
//
// One decoder serves 32-bit code (IA-32 opcode maps as they stand) and the
// x86-64 code this machine runs (REX, VEX, EVEX, RIP-relative operands). It
// reports length, validity and branch targets of one instruction; it never
// touches memory itself: the instruction bytes and the slots of indirect
// branches come through a TMemoryReader the caller supplies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ax {

// Source of instruction bytes and branch slots. An implementation answers
// true only when all size bytes were copied; it must never fault.
class TMemoryReader {
public:
    virtual ~TMemoryReader() = default;
    virtual bool Read(std::uintptr_t address, void* buffer, std::size_t size) const = 0;
};

// Reads a caller-supplied buffer that stands at address base.
class TBufferReader final : public TMemoryReader {
public:
    TBufferReader(std::uintptr_t base, std::span<const std::uint8_t> bytes)
        : Base(base), Bytes(bytes) {}
    bool Read(std::uintptr_t address, void* buffer, std::size_t size) const override;

private:
    std::uintptr_t Base;
    std::span<const std::uint8_t> Bytes;
};

enum class TCpuMode : std::uint8_t { Bits32, Bits64 };

// How the opcode was encoded. VEX and AMD's XOP occur in both modes (in
// 32-bit mode VEX only where C4/C5 cannot be les/lds), EVEX in 64-bit mode.
enum class TOpcodeEncoding : std::uint8_t { Legacy, Vex, Evex, Xop };

// One decoded instruction; DecodeInstruction clears it first.
struct TInstruction {
    bool Valid = false;
    std::uint8_t Reserved = 0;
    // Opcode byte; 0x0F00 + byte for the 0F map, 0x3800 + byte for 0F 38 and
    // 0x3A00 + byte for 0F 3A (VEX and EVEX use the same numbers by map);
    // XOP: 0x0800, 0x0900 or 0x0A00 + byte by its map.
    std::uint16_t OpcodeWord = 0;
    std::uint8_t ModRmByte = 0;
    bool IsCall = false;
    bool IsJump = false;
    bool IsRelative = false;
    std::uintptr_t TargetAddr = 0;
    std::uintptr_t DisplacementAddr = 0;
    std::uintptr_t TargetSlot = 0;
    std::uint8_t TargetWidth = 0;
    bool CanWiden = false;
    std::uintptr_t InstrStart = 0;
    std::uintptr_t InstrNext = 0;
    TOpcodeEncoding Encoding = TOpcodeEncoding::Legacy;
};

// Register values known between instructions: EAX..EDI in 32-bit mode,
// RAX..R15 in 64-bit mode; 0 means "no value".
using TRegisterTrack = std::array<std::uintptr_t, 16>;

inline constexpr std::size_t MaxInstructionLength = 15;

// Bits of the per-opcode flag words.
namespace opflag {
inline constexpr std::uint16_t Invalid = 0xFFFF;
inline constexpr std::uint16_t ModRmMask = 0x0038;
inline constexpr std::uint16_t Group = 0x0008;    // flag word comes from the group table
inline constexpr std::uint16_t ModRm = 0x0010;    // ModR/M, memory and register forms
inline constexpr std::uint16_t ModRmMem = 0x0018; // ModR/M, memory form only
inline constexpr std::uint16_t ModRmReg = 0x0020; // ModR/M, register form only
inline constexpr std::uint16_t ByteRegs = 0x0001; // register operands are 8-bit
inline constexpr std::uint16_t ImmMask = 0x0C00;
inline constexpr std::uint16_t Imm8 = 0x0400;
inline constexpr std::uint16_t Imm16 = 0x0800;
inline constexpr std::uint16_t ImmOpSize = 0x0C00;
inline constexpr std::uint16_t Relative = 0x1000;
inline constexpr std::uint16_t WriteMask = 0xE000;
inline constexpr std::uint16_t WriteReg = 0x2000;
inline constexpr std::uint16_t WriteRm = 0x4000;
inline constexpr std::uint16_t WriteOpReg = 0x6000;
inline constexpr std::uint16_t WriteEax = 0x8000;
inline constexpr std::uint16_t WriteRegRm = 0xA000;
inline constexpr std::uint16_t WriteEaxRm = 0xC000;
inline constexpr std::uint16_t WriteEaxOpReg = 0xE000;
} // namespace opflag

// The decoder's tables, exposed for the text listing and for tests.
const std::array<std::uint16_t, 256>& OneByteOpcodeFlags();
const std::array<std::uint16_t, 256>& TwoByteOpcodeFlags();

namespace disasm_detail {
// Group 3 (F6, F7) and the x87 escapes (D8-DF): flag words by ModR/M reg.
struct TGroupRow {
    std::uint8_t Opcode;
    std::array<std::uint16_t, 8> Memory;
    std::array<std::uint16_t, 8> Register;
};
using TOpcodeSet = std::array<std::uint64_t, 4>;
inline bool Contains(const TOpcodeSet& set, unsigned value) {
    return (set[(value >> 6) & 3] >> (value & 63)) & 1;
}
const std::array<std::uint16_t, 256>& OneByteTable();
const std::array<std::uint16_t, 256>& TwoByteTable();
const std::array<TGroupRow, 10>& GroupTable();
std::uint8_t FpuRegForms(std::uint8_t opcode, std::uint8_t reg);
const TOpcodeSet& ThreeDNowSet();
const TOpcodeSet& Invalid64Set();
const TOpcodeSet& Map38Set();
const TOpcodeSet& Map3ASet();
const TOpcodeSet& VexMap1Set();
const TOpcodeSet& Group7RegSet();
const TOpcodeSet& VexMap38Set();
const TOpcodeSet& VexMap3ASet();
bool VexVvvvUnused(unsigned map, std::uint8_t opcode, std::uint8_t prefix, bool memory);
const TOpcodeSet& XopMap8Set();
const TOpcodeSet& XopMap9Set();
} // namespace disasm_detail

// Decodes the instruction at address and returns InstrNext. With registers
// given, branch operands [reg] and register-form branches use the tracked
// values, and the values are updated for the instruction's effect.
std::uintptr_t DecodeInstruction(std::uintptr_t address, TInstruction& record,
                                 const TMemoryReader& memory, TCpuMode mode = TCpuMode::Bits32,
                                 TRegisterTrack* registers = nullptr);

// Text of one instruction, for the function listing.
struct TInstructionText {
    // Intel notation: the mnemonic, a blank and the operands separated by ", "
    // ("mov eax, dword ptr [ebx+0x10]"); numbers in lower-case hexadecimal
    // with "0x" (0 to 9 as the digit alone); relative branch targets as
    // absolute addresses. Bytes that do not decode read "db 0x.." (one byte
    // per item, as far as InstrNext).
    std::string Text;
    // Absolute address of a memory operand without base and index (a fixed
    // address, or next instruction + displacement when RIP-relative); 0 when
    // there is none.
    std::uintptr_t MemoryAddress = 0;
    // Value of the immediate operand zero-extended from the operand size
    // (not a branch displacement); HasImmediate tells whether there is one.
    std::uint64_t Immediate = 0;
    bool HasImmediate = false;
};

// The full entry: as above, and also the text of the instruction. Register
// tracking is on when registers is given.
std::uintptr_t DecodeInstruction(std::uintptr_t address, TInstruction& record,
                                 const TMemoryReader& memory, TCpuMode mode,
                                 TRegisterTrack* registers, TInstructionText& text);

} // namespace ax
