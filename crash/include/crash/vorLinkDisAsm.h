#pragma once
// Function disassembler: follows the control flow of a whole function from
// its entry to find its extent, and lists it in x86 notation for the bug
// report's "disassembling:" section. Memory comes through the safe read,
// and the analysis is bounded, so looping or huge code ends the listing
// with "[...]" instead of running on.
#include "crash/vorDisAsm.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ax {

// Reads this process (pid 0) or another one through the kernel; never faults.
class TProcessMemoryReader final : public TMemoryReader {
public:
    explicit TProcessMemoryReader(pid_t pid = 0) : Pid(pid) {}
    bool Read(std::uintptr_t address, void* buffer, std::size_t size) const override;

private:
    pid_t Pid;
};

struct TCodeArea {
    std::uintptr_t Start = 0;
    std::uintptr_t End = 0; // inclusive
    bool Truncated = false; // the caps cut the area short
    bool InvalidEnd = false; // ends in bytes that do not decode
    TRegisterTrack Registers{};
};

// The table of a compiled switch statement: its indirect jump, where the
// table lies and the case targets in table order.
struct TJumpTable {
    std::uintptr_t Jump = 0;
    std::uintptr_t Table = 0;
    std::vector<std::uintptr_t> Targets;
};

struct TFunctionInfo {
    bool Valid = false;
    std::uintptr_t EntryPoint = 0;
    std::uintptr_t FirstAddress = 0;
    std::size_t Size = 0;
    std::string Text;
    std::vector<TCodeArea> Areas; // in address order
    std::vector<std::uintptr_t> JumpTargets;
    std::vector<TJumpTable> JumpTables; // by address of the jump
};

struct TAnalysisLimits {
    std::size_t MaxInstructions = 20000;
    std::size_t MaxAreas = 1000;
    std::uintptr_t MaxDistance = 1u << 20; // from the entry, for followed jumps
    std::size_t MaxTableEntries = 4096;    // of one switch table
};

// Routines that never return; a call to one ends its area. Empty entries
// default to this program's runtime routines (throw, rethrow, unwind
// resume, terminate, abort, exit).
std::vector<std::uintptr_t> DefaultNoReturnRoutines();

bool AnalyseFunction(std::uintptr_t entry, TFunctionInfo& info, const TMemoryReader& memory,
                     TCpuMode mode, const std::vector<std::uintptr_t>& noReturn,
                     const TAnalysisLimits& limits = {});

// Lists the function at address (in this process) into text; the line of
// exceptAddress is marked with ">". Returns whether the function could be
// analysed; otherwise text is "Invalid code!".
bool ParseFunction(std::uintptr_t address, std::string& text, std::uintptr_t exceptAddress,
                   bool option = false, int count = 0);
// The listing of an analysed function, read through memory.
std::string ListFunction(const TFunctionInfo& info, const TMemoryReader& memory, TCpuMode mode,
                         std::uintptr_t exceptAddress, bool withSymbols);

// Puts ParseFunction into the report's hook for function listings.
void LinkDisAsm();

inline constexpr char listingSeparator[] =
    "; ---------------------------------------------------------";

} // namespace ax
