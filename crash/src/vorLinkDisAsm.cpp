// The function listing: follows every branch of a function from its entry
// (calls to routines that never return end the flow) within fixed bounds,
// then lists the instructions in order with targets and text constants
// named. Linking this unit installs it as the report's disassembler.
#include "crash/vorLinkDisAsm.h"

#include "crash/vorMapFile.h"
#include "crash/vorSettings.h"
#include "crash/vorStrings.h"
#include "platform/memory_map.h"
#include "vorDisAsm_internal.h"
#include "vorJumpTable.h"
#include "platform/module.h"

#include <dlfcn.h>

#include <algorithm>
#include <deque>

namespace ax {

namespace {

bool isConditionalJump(std::uint16_t op) {
    return (op >= 0x70 && op <= 0x7F) || (op >= 0x0F80 && op <= 0x0F8F) || (op >= 0xE0 && op <= 0xE3);
}

// A branch after which the flow also goes on: conditional jumps, and xbegin,
// whose target is the transaction's fallback path.
bool fallsThrough(const TInstruction& ins) {
    return isConditionalJump(ins.OpcodeWord) ||
           (ins.Encoding == TOpcodeEncoding::Legacy && ins.OpcodeWord == 0xC7 && ins.ModRmByte == 0xF8);
}

bool isReturn(std::uint16_t op) { return op == 0xC3 || op == 0xC2 || op == 0xCB || op == 0xCA; }

bool endsFlow(const TInstruction& ins) {
    const std::uint16_t op = ins.OpcodeWord;
    return isReturn(op) || op == 0x0F0B /* ud2 */ || op == 0xF4 /* hlt */ || op == 0xCC /* int3 */;
}

// Target of a call, seen through a linkage stub (endbr64, then a jump
// through a slot) when there is one.
std::uintptr_t finalTarget(std::uintptr_t target, const TMemoryReader& memory, TCpuMode mode) {
    std::uintptr_t at = target;
    for (int i = 0; i < 2; ++i) {
        TInstruction ins;
        DecodeInstruction(at, ins, memory, mode);
        if (!ins.Valid) break;
        if (ins.IsJump && !isConditionalJump(ins.OpcodeWord) && ins.TargetAddr != 0) return ins.TargetAddr;
        if (ins.IsCall || ins.IsJump) break;
        at = ins.InstrNext;
    }
    return target;
}

std::string hexText(std::uintptr_t v) { return vor::IntToHexEx(std::uint64_t{v}); }

// A short text constant at address, for a listing comment.
std::string textConstant(std::uintptr_t address, const TMemoryReader& memory) {
    if (address == 0) return {};
    char buffer[41];
    std::string text;
    for (std::size_t i = 0; i < 40; ++i) {
        if (!memory.Read(address + i, buffer, 1)) return {};
        if (buffer[0] == 0) break;
        auto c = static_cast<unsigned char>(buffer[0]);
        if (c < 32 || c > 126) return {};
        text += buffer[0];
    }
    return text.size() >= 4 ? text : std::string();
}

} // namespace

bool TProcessMemoryReader::Read(std::uintptr_t address, void* buffer, std::size_t size) const {
    return safeRead(address, buffer, size, Pid);
}

std::vector<std::uintptr_t> DefaultNoReturnRoutines() {
    std::vector<std::uintptr_t> out;
    for (const char* name : {"__cxa_throw", "__cxa_rethrow", "_Unwind_Resume", "_ZSt9terminatev", "abort",
                             "exit", "_exit", "__stack_chk_fail", "__assert_fail"})
        if (void* p = dlsym(RTLD_DEFAULT, name)) out.push_back(reinterpret_cast<std::uintptr_t>(p));
    return out;
}

bool AnalyseFunction(std::uintptr_t entry, TFunctionInfo& info, const TMemoryReader& memory, TCpuMode mode,
                     const std::vector<std::uintptr_t>& noReturn, const TAnalysisLimits& limits) {
    info = {};
    info.EntryPoint = entry;
    std::uint8_t probe;
    if (entry == 0 || !memory.Read(entry, &probe, 1)) {
        info.Text = "Invalid code!";
        return false;
    }
    struct Pending {
        std::uintptr_t start;
        TRegisterTrack registers;
    };
    std::deque<Pending> pending{{entry, TRegisterTrack{}}};
    std::vector<TCodeArea>& areas = info.Areas;
    std::size_t instructions = 0;
    auto agree = [](TRegisterTrack& a, const TRegisterTrack& b) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i] != b[i]) a[i] = 0;
    };
    auto areaAt = [&](std::uintptr_t address) -> TCodeArea* {
        for (auto& a : areas)
            if (address >= a.Start && address <= a.End) return &a;
        return nullptr;
    };

    while (!pending.empty()) {
        Pending p = pending.front();
        pending.pop_front();
        if (TCodeArea* a = areaAt(p.start)) {
            if (a->Start == p.start) {
                agree(a->Registers, p.registers);
            } else {
                // A jump into an area: it ends before the target, the rest is an area of its own.
                // Values on the fall-through path are not kept per
                // instruction, so none are known to agree.
                TCodeArea rest = *a;
                rest.Start = p.start;
                rest.Registers = TRegisterTrack{};
                a->End = p.start - 1;
                a->Truncated = false;
                a->InvalidEnd = false;
                areas.push_back(rest);
            }
            continue;
        }
        if (areas.size() >= limits.MaxAreas) {
            if (!areas.empty()) areas.back().Truncated = true;
            break;
        }
        TCodeArea area;
        area.Start = p.start;
        area.Registers = p.registers;
        TRegisterTrack registers = p.registers;
        TJumpTableScanner switches(memory, mode, limits.MaxTableEntries);
        std::uintptr_t at = p.start;
        for (;;) {
            if (instructions++ >= limits.MaxInstructions) {
                area.End = at - 1;
                area.Truncated = true;
                break;
            }
            TInstruction ins;
            disasm_detail::TOperandView operands;
            const TRegisterTrack before = registers;
            disasm_detail::DecodeInstruction(at, ins, memory, mode, &registers, operands);
            if (!ins.Valid || ins.InstrNext <= at) {
                area.End = std::max(at, ins.InstrNext) - (ins.InstrNext > at ? 1 : 0);
                area.InvalidEnd = true;
                break;
            }
            // Running into an area already collected ends this one.
            TCodeArea* next = nullptr;
            for (auto& a : areas)
                if (a.Start == ins.InstrNext) next = &a;
            area.End = ins.InstrNext - 1;
            // A case of a switch may start right after its jump; a branch to
            // the next instruction is no branch.
            auto follow = [&](std::uintptr_t target, bool caseTarget = false) {
                if (target == 0 || (target == ins.InstrNext && !caseTarget)) return;
                std::uintptr_t distance = target > entry ? target - entry : entry - target;
                if (distance > limits.MaxDistance) return;
                // A jump to the start of another known symbol is a tail call.
                if (target != entry) {
                    std::string name = SymbolNameAt(target);
                    if (!name.empty()) return;
                }
                info.JumpTargets.push_back(target);
                pending.push_back({target, registers});
            };
            if (ins.IsJump && ins.TargetAddr != 0 && ins.IsRelative) follow(ins.TargetAddr);
            if (auto table = switches.Step(ins, operands, before)) {
                for (std::uintptr_t target : table->Targets) follow(target, true);
                info.JumpTables.push_back(std::move(*table));
            }
            if (ins.IsJump && !fallsThrough(ins)) break;
            if (endsFlow(ins)) break;
            if (ins.IsCall && ins.TargetAddr != 0) {
                std::uintptr_t target = finalTarget(ins.TargetAddr, memory, mode);
                if (std::find(noReturn.begin(), noReturn.end(), target) != noReturn.end()) break;
            }
            if (next != nullptr) {
                agree(next->Registers, registers);
                break;
            }
            at = ins.InstrNext;
        }
        areas.push_back(area);
    }
    std::sort(areas.begin(), areas.end(), [](const TCodeArea& a, const TCodeArea& b) { return a.Start < b.Start; });
    std::sort(info.JumpTables.begin(), info.JumpTables.end(),
              [](const TJumpTable& a, const TJumpTable& b) { return a.Jump < b.Jump; });
    std::sort(info.JumpTargets.begin(), info.JumpTargets.end());
    info.JumpTargets.erase(std::unique(info.JumpTargets.begin(), info.JumpTargets.end()), info.JumpTargets.end());
    info.FirstAddress = areas.front().Start;
    std::uintptr_t last = 0;
    for (const auto& a : areas) last = std::max(last, a.End);
    info.Size = last - info.FirstAddress + 1;
    info.Valid = true;
    return true;
}

std::string ListFunction(const TFunctionInfo& info, const TMemoryReader& memory, TCpuMode mode,
                         std::uintptr_t exceptAddress, bool withSymbols) {
    if (!info.Valid) return "Invalid code!";
    std::string name;
    if (auto module = moduleOfAddress(info.EntryPoint)) {
        std::string exported = exportName(*module, info.EntryPoint);
        if (!exported.empty() && exported[0] != '#') name = "public " + exported;
    }
    if (name.empty()) name = "sub_" + hexText(info.EntryPoint);

    // The line-number column is as wide as the largest line number.
    int lineWidth = 0;
    if (withSymbols) {
        std::int32_t maxLine = LineAt(info.FirstAddress + info.Size - 1);
        if (maxLine <= 0) maxLine = LineAt(exceptAddress);
        if (maxLine > 0) lineWidth = static_cast<int>(vor::IntToStrEx(maxLine).size());
    }
    const int addressWidth = static_cast<int>(hexText(info.FirstAddress + info.Size).size());
    std::string out;
    bool first = true;
    for (const auto& area : info.Areas) {
        if (!first) out += std::string(listingSeparator) + "\n";
        first = false;
        if (area.Start == info.EntryPoint)
            out += name + ":  ; function entry point\n";
        else if (std::binary_search(info.JumpTargets.begin(), info.JumpTargets.end(), area.Start))
            out += "loc_" + hexText(area.Start) + ":\n";
        for (std::uintptr_t at = area.Start; at <= area.End;) {
            TInstruction ins;
            TInstructionText text;
            DecodeInstruction(at, ins, memory, mode, nullptr, text);
            std::uintptr_t next = ins.InstrNext > at ? ins.InstrNext : at + 1;
            const bool marked = exceptAddress >= at && exceptAddress < next;
            std::string line = marked ? ">" : " ";
            std::string address = hexText(at);
            vor::PadStr(address, addressWidth, '0');
            line += address;
            if (lineWidth > 0) {
                std::int32_t l = LineAt(at);
                std::string number = l > 0 ? vor::IntToStrEx(l) : "";
                vor::PadStr(number, lineWidth + 1, ' ');
                line += number;
            }
            line += "   " + (text.Text.empty() ? std::string("db ") : text.Text);
            std::uintptr_t target = ins.IsCall || ins.IsJump ? ins.TargetAddr : 0;
            std::string symbol = withSymbols && target != 0 ? SymbolNameAt(target) : std::string();
            if (!symbol.empty()) {
                line += "  ; " + symbol;
            } else if (std::string s = textConstant(text.MemoryAddress, memory); !s.empty()) {
                line += "  ; '" + s + "'";
            }
            out += line + "\n";
            // The case targets of a switch's jump, in table order.
            auto table = std::lower_bound(info.JumpTables.begin(), info.JumpTables.end(), at,
                                          [](const TJumpTable& t, std::uintptr_t a) { return t.Jump < a; });
            if (table != info.JumpTables.end() && table->Jump == at)
                for (std::uintptr_t target : table->Targets)
                    out += "  dd loc_" + hexText(target) + "  ; case jump table\n";
            at = next;
        }
        if (area.Truncated) out += "[...]\n";
    }
    return out;
}

bool ParseFunction(std::uintptr_t address, std::string& text, std::uintptr_t exceptAddress, bool, int) {
    auto module = moduleOfAddress(address);
    if (!module || address < module->codeStart || address >= module->codeEnd) {
        text = "Invalid code!";
        return false;
    }
    const TProcessMemoryReader memory;
    const TCpuMode mode = sizeof(void*) == 8 ? TCpuMode::Bits64 : TCpuMode::Bits32;
    TFunctionInfo info;
    if (!AnalyseFunction(address, info, memory, mode, DefaultNoReturnRoutines())) {
        text = "Invalid code!";
        return false;
    }
    text = ListFunction(info, memory, mode, exceptAddress, true);
    return true;
}

void LinkDisAsm() { ReporterRuntime().DisasmHook = &ParseFunction; }

namespace {
// Linking this unit is what turns function listings on.
const bool linked = (LinkDisAsm(), true);
} // namespace

} // namespace ax
