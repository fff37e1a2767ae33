// What the decoder learnt about one instruction, shared by the decoder and
// the text listing. Private to the crash library.
#pragma once

#include "crash/vorDisAsm.h"

namespace ax::disasm_detail {

struct TDecodeState {
    const std::uint8_t* Bytes = nullptr;
    std::size_t Count = 0;
    bool Is64 = false;

    std::size_t Pos = 0;
    // Prefixes (VEX and EVEX put their implied 66/F3/F2 into Implied).
    bool OpSize = false, AddrSize = false, Rep = false, Repne = false, Lock = false;
    bool RexPresent = false, RexW = false, RexR = false, RexX = false, RexB = false;
    std::uint8_t Segment = 0; // 1 ES, 2 CS, 3 SS, 4 DS, 5 FS, 6 GS
    std::uint8_t Implied = 0; // 0x66, 0xF3 or 0xF2 from VEX.pp / EVEX.pp
    unsigned VectorLength = 0; // VEX.L / EVEX.L'L: 0 xmm, 1 ymm, 2 zmm
    bool EvexR2 = false;       // EVEX.R': register numbers 16 to 31
    // Opcode: map 0 one-byte, 1 0F, 2 0F 38, 3 0F 3A, 5 and 6 EVEX maps.
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

// Writes the text of a decoded instruction (record.Valid) or its "db " line.
void FormatInstruction(const TDecodeState& state, const TInstruction& record,
                       TInstructionText& text);

} // namespace ax::disasm_detail
