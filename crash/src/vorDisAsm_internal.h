// What the decoder learnt about one instruction, shared by the decoder and
// the text listing. Private to the crash library.
#pragma once

#include "crash/vorDisAsm.h"

#include <string_view>

namespace ax::disasm_detail {

// Operand forms of the text listing, held in the flag words' free low bits
// (1, 2 and 6 to 9). E: ModR/M r/m operand, G: its reg field, P/Q: MMX (XMM
// with 66) reg and r/m, V/W: XMM reg and r/m, N/U: r/m in register form.
enum TOperandForm : unsigned {
    fNone,
    fEG,
    fGE,
    fAccImm,
    fE,
    fEImm,
    fGEImm,
    fOpReg,
    fOpRegImm,
    fAccOpReg,
    fImm,
    fRel,
    fE1,
    fECl,
    fESreg,
    fSregE,
    fAccMoffs,
    fMoffsAcc,
    fFar,
    fString,
    fInOut,
    fEnter,
    fGEb,
    fGEw,
    fEGImm,
    fEGCl,
    fSegReg,
    fGM,
    fM,
    fRC,
    fCR,
    fRD,
    fDR,
    fEw,
    fEwGw,
    fGEd,
    fPQ,
    fVW,
    fWV,
    fVWImm,
    fPQImm,
    fNImm,
    fPEd,
    fEdP,
    fQP,
    fVQ,
    fPW,
    fGU,
    fPEdImm,
    fGNImm,
    fMG,
    fPN,
    fMem16,
    fMem32,
    fMem64,
    fMem80,
    fSt0Sti,
    fStiSt0,
    fSti,
    fFpuAx,
    fFormCount
};
static_assert(fFormCount <= 64);

constexpr std::uint16_t FormBits(unsigned form) {
    return static_cast<std::uint16_t>(((form & 3) << 1) | ((form >> 2) << 6));
}
constexpr unsigned FormOf(std::uint16_t flags) {
    return ((flags >> 1) & 3) | (((flags >> 6) & 15) << 2);
}

// Mnemonic entry by its 1-based number (empty for 0 or out of range), the
// numbers of the one-byte and 0F maps, and 3DNow! names by suffix byte.
std::string_view MnemonicEntry(unsigned number);
unsigned MnemonicCount();
std::uint8_t OneByteMnemonic(std::uint8_t opcode);
std::uint8_t TwoByteMnemonic(std::uint8_t opcode);
std::string_view ThreeDNowName(std::uint8_t suffix);

struct TDecodeState {
    const std::uint8_t* Bytes = nullptr;
    std::size_t Count = 0;
    bool Is64 = false;

    std::size_t Pos = 0;
    // Prefixes (VEX and EVEX put their implied 66/F3/F2 into Implied).
    bool OpSize = false, AddrSize = false, Rep = false, Repne = false, Lock = false;
    bool RexPresent = false, RexW = false, RexR = false, RexX = false, RexB = false;
    std::uint8_t Segment = 0;  // 1 ES, 2 CS, 3 SS, 4 DS, 5 FS, 6 GS
    std::uint8_t Implied = 0;  // 0x66, 0xF3 or 0xF2 from VEX.pp / EVEX.pp
    unsigned VectorLength = 0; // VEX.L / EVEX.L'L: 0 xmm, 1 ymm, 2 zmm
    bool EvexR2 = false;       // EVEX.R': register numbers 16 to 31
    bool XopW = false;         // XOP.W: swaps the register and memory sources
    // Opcode: map 0 one-byte, 1 0F, 2 0F 38, 3 0F 3A, 5 and 6 EVEX maps,
    // 8 to 10 XOP maps.
    unsigned Map = 0;
    std::uint8_t Opcode = 0;
    std::uint16_t Flags = 0;
    bool ForceInvalid = false;
    unsigned Vvvv = 0;
    // ModR/M and memory operand.
    bool HasModRm = false, IsMem = false;
    unsigned Mod = 0, Reg = 0, Rm = 0;
    int BaseReg = -1;
    int IndexReg = -1;
    unsigned Scale = 1;
    bool HasIndex = false, Plain = false, RipRelative = false;
    std::size_t DispSize = 0, DispOffset = 0;
    std::int64_t Disp = 0;
    std::size_t ImmOffset = 0, ImmSize = 0;

    std::int64_t Signed(std::size_t at, std::size_t size) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= std::uint64_t{Bytes[at + i]} << (8 * i);
        if (size > 0 && size < 8) {
            const std::uint64_t sign = std::uint64_t{1} << (8 * size - 1);
            value = (value ^ sign) - sign;
        }
        return static_cast<std::int64_t>(value);
    }
};

// The operands of one instruction as the decoder saw them, for the function
// analysis's pattern matching (jump tables). Register numbers include the
// REX and VEX extensions; -1 is none.
struct TOperandView {
    unsigned Map = 0;
    std::uint8_t Opcode = 0;
    unsigned Reg = 0;           // the ModR/M reg field
    int RmReg = -1;             // the r/m register in register form
    bool IsMem = false;
    bool RipRelative = false;
    int BaseReg = -1, IndexReg = -1;
    unsigned Scale = 1;
    std::int64_t Disp = 0;
    bool HasImmediate = false;
    std::int64_t Immediate = 0; // sign-extended
    unsigned OperandBits = 32;
};

// DecodeInstruction that also reports the operands.
std::uintptr_t DecodeInstruction(std::uintptr_t address, TInstruction& record, const TMemoryReader& memory,
                                 TCpuMode mode, TRegisterTrack* registers, TOperandView& operands);

// Writes the text of a decoded instruction (record.Valid) or its "db " line.
void FormatInstruction(const TDecodeState& state, const TInstruction& record,
                       TInstructionText& text);

} // namespace ax::disasm_detail
