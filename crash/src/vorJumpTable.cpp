// Follows a compiled switch: spots the bounds check and the indirect jump
// through a table, and reads the table's targets from the process's memory.
#include "vorJumpTable.h"

namespace ax {

namespace {

bool IsLegacyOneByte(const TInstruction& ins, const disasm_detail::TOperandView& op) {
    return ins.Encoding == TOpcodeEncoding::Legacy && op.Map == 0;
}

// cmp r, imm in register form (group 1 /7), or cmp al/eax, imm.
bool IsCompareWithImmediate(const TInstruction& ins, const disasm_detail::TOperandView& op) {
    if (!IsLegacyOneByte(ins, op) || !op.HasImmediate) return false;
    if (op.Opcode == 0x3C || op.Opcode == 0x3D) return true;
    return (op.Opcode == 0x80 || op.Opcode == 0x81 || op.Opcode == 0x83) && op.Reg % 8 == 7 && !op.IsMem;
}

// and r, imm in register form (group 1 /4), or and eax, imm.
bool IsAndWithImmediate(const TInstruction& ins, const disasm_detail::TOperandView& op) {
    if (!IsLegacyOneByte(ins, op) || !op.HasImmediate) return false;
    if (op.Opcode == 0x24 || op.Opcode == 0x25) return true;
    return (op.Opcode == 0x80 || op.Opcode == 0x81 || op.Opcode == 0x83) && op.Reg % 8 == 4 && !op.IsMem;
}

// ja or jbe: unsigned bounds checks.
bool IsUnsignedBoundBranch(std::uint16_t opcode) {
    return opcode == 0x77 || opcode == 0x76 || opcode == 0x0F87 || opcode == 0x0F86;
}

} // namespace

std::optional<TJumpTable> TJumpTableScanner::Step(const TInstruction& ins, const disasm_detail::TOperandView& op,
                                                  const TRegisterTrack& before) {
    const bool is64 = Mode == TCpuMode::Bits64;
    if (IsCompareWithImmediate(ins, op)) {
        Compared = op.Immediate;
        return std::nullopt;
    }
    const std::optional<std::int64_t> compared = Compared;
    Compared.reset();
    if (IsUnsignedBoundBranch(ins.OpcodeWord) && compared) {
        if (*compared >= 0) Entries = static_cast<std::uint64_t>(*compared) + 1;
        return std::nullopt;
    }
    if (IsAndWithImmediate(ins, op)) {
        const auto mask = static_cast<std::uint64_t>(op.Immediate);
        if (op.Immediate > 0 && (mask & (mask + 1)) == 0) Entries = mask + 1;
        return std::nullopt;
    }
    if (!IsLegacyOneByte(ins, op)) return std::nullopt;
    // movsxd r, dword ptr [base+index*4] with the base known: the table.
    if (is64 && op.Opcode == 0x63 && op.IsMem && !op.RipRelative && op.BaseReg >= 0 && op.IndexReg >= 0 &&
        op.Scale == 4 && before[static_cast<unsigned>(op.BaseReg)] != 0) {
        RelativeTable = before[static_cast<unsigned>(op.BaseReg)] + static_cast<std::uintptr_t>(op.Disp);
        LoadedReg = static_cast<int>(op.Reg);
        BaseAdded = false;
        return std::nullopt;
    }
    // add r, base (either direction of the register form).
    if ((op.Opcode == 0x01 || op.Opcode == 0x03) && op.RmReg >= 0 && LoadedReg >= 0) {
        const int target = op.Opcode == 0x01 ? op.RmReg : static_cast<int>(op.Reg);
        const int source = op.Opcode == 0x01 ? static_cast<int>(op.Reg) : op.RmReg;
        if (target == LoadedReg && before[static_cast<unsigned>(source)] == RelativeTable) BaseAdded = true;
        return std::nullopt;
    }
    if (op.Opcode != 0xFF || op.Reg % 8 != 4) return std::nullopt;
    // The indirect jump ends the pattern, whatever it turns out to be.
    std::optional<TJumpTable> table;
    if (op.RmReg >= 0 && op.RmReg == LoadedReg && BaseAdded && RelativeTable != 0)
        table = ReadTable(ins.InstrStart, RelativeTable, true, 4);
    else if (op.IsMem && op.BaseReg < 0 && op.IndexReg >= 0 && !op.RipRelative && op.Scale == (is64 ? 8u : 4u)) {
        std::uintptr_t at = static_cast<std::uintptr_t>(op.Disp);
        if (!is64) at &= 0xFFFFFFFFu;
        table = ReadTable(ins.InstrStart, at, false, op.Scale);
    }
    Reset();
    return table;
}

std::optional<TJumpTable> TJumpTableScanner::ReadTable(std::uintptr_t jump, std::uintptr_t table, bool relative,
                                                       std::size_t entryWidth) const {
    if (!Entries || *Entries == 0 || *Entries > MaxEntries || table == 0) return std::nullopt;
    TJumpTable result;
    result.Jump = jump;
    result.Table = table;
    for (std::uint64_t i = 0; i < *Entries; ++i) {
        std::uint64_t raw = 0;
        // A table that is not wholly readable is no table.
        if (!Memory.Read(table + i * entryWidth, &raw, entryWidth)) return std::nullopt;
        std::uintptr_t target = 0;
        if (relative)
            target = table + static_cast<std::uintptr_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(raw)));
        else
            target = static_cast<std::uintptr_t>(raw);
        if (Mode == TCpuMode::Bits32) target &= 0xFFFFFFFFu;
        result.Targets.push_back(target);
    }
    return result;
}

} // namespace ax
