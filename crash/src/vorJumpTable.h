#pragma once
// Recognition of the indirect jump of a compiled switch statement, for the
// function analysis. Private to the crash library.
#include "crash/vorLinkDisAsm.h"
#include "vorDisAsm_internal.h"

#include <optional>

namespace ax {

// Fed with every instruction of one code area in order, it recognises
// - the 32-bit absolute form "jmp dword ptr [table+index*4]" (and the same
//   with 8-byte entries in 64-bit mode);
// - GCC's x86-64 position-independent form "lea base, [rip+table]",
//   "movsxd r, dword ptr [base+index*4]", "add r, base", "jmp r", whose
//   entries are 32-bit offsets from the table;
// and reads the table. The number of entries comes from the bounds check
// before the jump ("cmp index, n-1" and "ja" or "jbe") or from a mask
// ("and index, 2^k-1"); without one no table is read.
class TJumpTableScanner {
public:
    TJumpTableScanner(const TMemoryReader& memory, TCpuMode mode, std::size_t maxEntries)
        : Memory(memory), Mode(mode), MaxEntries(maxEntries) {}

    // before: the registers known before the instruction.
    std::optional<TJumpTable> Step(const TInstruction& ins, const disasm_detail::TOperandView& op,
                                   const TRegisterTrack& before);
    void Reset() {
        Entries.reset();
        Compared.reset();
        RelativeTable = 0;
        LoadedReg = -1;
        BaseAdded = false;
    }

private:
    std::optional<TJumpTable> ReadTable(std::uintptr_t jump, std::uintptr_t table, bool relative,
                                        std::size_t entryWidth) const;

    const TMemoryReader& Memory;
    TCpuMode Mode;
    std::size_t MaxEntries;
    std::optional<std::uint64_t> Entries;
    std::optional<std::int64_t> Compared; // cmp index, imm waiting for its branch
    std::uintptr_t RelativeTable = 0;     // the table a movsxd read from
    int LoadedReg = -1;                   // what it loaded into
    bool BaseAdded = false;               // the table base was added to it
};

} // namespace ax
