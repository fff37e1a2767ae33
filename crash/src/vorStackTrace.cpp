// The stack tracer: the process-wide tables of modules met and functions
// analysed, candidate return addresses scanned from the stack copy, linked
// when one can follow another, and the best-scoring chain between sure
// frames written as text, one frame a line.
#include "crash/vorStackTrace.h"

#include "crash/vorLinkDisAsm.h"
#include "crash/vorMapFile.h"
#include "crash/vorStrings.h"
#include "platform/memory_map.h"
#include "platform/module.h"

#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace ax {
namespace {

constexpr TCpuMode kMode = sizeof(void*) == 8 ? TCpuMode::Bits64 : TCpuMode::Bits32;
constexpr std::size_t kSlot = sizeof(void*);

// ---- process-wide tables: modules met and functions analysed ----------------------

struct TModuleEntry {
    std::uintptr_t Handle = 0;
    std::string FileName; // without directory
    std::uintptr_t CodeStart = 0, CodeEnd = 0, DataStart = 0, DataEnd = 0; // [start, end)
    std::shared_ptr<const TMapFile> Map; // none when it holds no publics
    std::vector<std::pair<std::uintptr_t, std::string>> Exports; // by address, code only
    bool ExportsRead = false; // read from the file when first needed
    ModuleInfo Info;
    bool Own = false;
    bool HoldsCode(std::uintptr_t a) const { return a >= CodeStart && a < CodeEnd; }
};

struct TCallSite {
    std::uintptr_t Return = 0;  // the address after the call
    std::uintptr_t Target = 0;  // 0: not known (indirect)
    std::uintptr_t Address = 0; // of the call instruction
};

struct TFunctionEntry {
    int Module = -1;
    std::string Name;
    std::uintptr_t Entry = 0;
    TFunctionInfo Info;
    std::vector<TCallSite> Calls;          // by return address
    std::vector<std::uintptr_t> TailJumps; // functions it jumps into at its end
    bool Confirmed = false;
    bool Rejected = false;
    // A ".cold" part: code the compiler moved out of its function, reached
    // only by the function's jumps. Parent: that function, when found.
    bool ColdPart = false;
    int Parent = -1;
};

struct TTables {
    std::mutex Lock; // held for a whole trace: it serialises traces
    std::vector<TModuleEntry> Modules;
    std::vector<TFunctionEntry> Functions;
    std::unordered_map<std::uintptr_t, int> ByEntry;
    std::vector<std::uintptr_t> NoReturn;
    std::uintptr_t ProgramHandle = 0;
};

TTables& Tables() {
    static TTables* tables = new TTables; // used until the very end of the process
    return *tables;
}

// Lower-case hexadecimal digits, zero-padded to width.
std::string Hex(std::uint64_t value, std::size_t width = 0) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 15]);
        value >>= 4;
    } while (value != 0);
    if (out.size() < width) out.insert(0, width - out.size(), '0');
    return out;
}

std::string BaseName(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Code of known modules is read in place (it is mapped for the module's
// life); anything else through the safe read.
class TCodeReader final : public TMemoryReader {
public:
    bool Read(std::uintptr_t address, void* buffer, std::size_t size) const override {
        for (const auto& m : Tables().Modules)
            if (address >= m.CodeStart && address + size <= m.CodeEnd && address + size >= address) {
                std::memcpy(buffer, reinterpret_cast<const void*>(address), size);
                return true;
            }
        return safeRead(address, buffer, size);
    }
};
const TCodeReader g_code;

void RegisterModules() {
    TTables& t = Tables();
    auto program = programModule();
    if (program) t.ProgramHandle = program->handle;
    for (const ModuleInfo& info : loadedModules()) {
        bool known = false;
        for (const auto& m : t.Modules)
            if (m.Handle == info.handle && m.CodeStart == info.codeStart) known = true;
        if (known || info.codeEnd <= info.codeStart) continue;
        TModuleEntry m;
        m.Handle = info.handle;
        m.FileName = BaseName(info.fileName);
        m.CodeStart = info.codeStart;
        m.CodeEnd = info.codeEnd;
        m.DataStart = info.dataStart;
        m.DataEnd = info.dataEnd;
        m.Own = info.handle == t.ProgramHandle;
        auto map = MapFileForAddress(info.codeStart);
        if (map && !map->Publics.empty()) m.Map = map;
        m.Info = info;
        t.Modules.push_back(std::move(m));
    }
    if (t.NoReturn.empty()) t.NoReturn = DefaultNoReturnRoutines();
}

int ModuleOfCode(std::uintptr_t address) {
    const auto& modules = Tables().Modules;
    for (std::size_t i = 0; i < modules.size(); ++i)
        if (modules[i].HoldsCode(address)) return static_cast<int>(i);
    return -1;
}


// A call's target seen through a linkage stub (optionally endbr64, then a
// jump through a slot), so that calls through the stub name the function.
std::uintptr_t ResolveTarget(std::uintptr_t target) {
    std::uintptr_t at = target;
    std::uint8_t endbr[4];
    if (g_code.Read(at, endbr, 4) && endbr[0] == 0xF3 && endbr[1] == 0x0F && endbr[2] == 0x1E && endbr[3] == 0xFA)
        at += 4;
    TInstruction ins;
    DecodeInstruction(at, ins, g_code, kMode);
    if (ins.Valid && ins.IsJump && !ins.IsRelative && ins.TargetSlot != 0 && ins.TargetAddr != 0)
        return ins.TargetAddr;
    return target;
}

// The name of the function a compiler-split part belongs to: without the
// suffixes ".cold" (also numbered), ".part.N", ".isra.N" and ".constprop.N".
std::string_view WithoutSplitSuffix(std::string_view name, bool* cold = nullptr) {
    for (bool again = true; again;) {
        again = false;
        std::string_view rest = name;
        while (!rest.empty() && rest.back() >= '0' && rest.back() <= '9') rest.remove_suffix(1);
        const bool numbered = rest.size() < name.size() && !rest.empty() && rest.back() == '.';
        if (numbered) rest.remove_suffix(1);
        for (std::string_view suffix : {".cold", ".part", ".isra", ".constprop"}) {
            if (suffix != ".cold" && !numbered) continue;
            if (rest.size() > suffix.size() && rest.substr(rest.size() - suffix.size()) == suffix) {
                if (suffix == ".cold" && cold) *cold = true;
                name = rest.substr(0, rest.size() - suffix.size());
                again = true;
                break;
            }
        }
    }
    return name;
}

int AnalyseCached(std::uintptr_t entry, int module, const std::string& name);

// The function a ".cold" part was split from: of the publics of its name,
// the one that jumps into the part (else the only one).
int ColdPartParent(const TMapFile& map, std::uintptr_t part, int module, std::string_view parentName) {
    std::uintptr_t partEnd = ~std::uintptr_t{0};
    auto next = std::upper_bound(map.Publics.begin(), map.Publics.end(), part,
                                 [](std::uintptr_t a, const TPublicRec& p) { return a < p.Address; });
    if (next != map.Publics.end()) partEnd = next->Address;
    std::vector<std::uintptr_t> candidates;
    for (const TPublicRec& p : map.Publics)
        if (p.Code && p.Address != part && p.Name == parentName) candidates.push_back(p.Address);
    for (std::uintptr_t entry : candidates) {
        const int f = AnalyseCached(entry, module, std::string(parentName));
        for (std::uintptr_t jump : Tables().Functions[static_cast<std::size_t>(f)].TailJumps)
            if (jump >= part && jump < partEnd) return f;
    }
    return candidates.size() == 1 ? AnalyseCached(candidates[0], module, std::string(parentName)) : -1;
}

// Analyses the function at entry once per process.
int AnalyseCached(std::uintptr_t entry, int module, const std::string& name) {
    TTables& t = Tables();
    if (auto it = t.ByEntry.find(entry); it != t.ByEntry.end()) return it->second;
    TFunctionEntry f;
    f.Module = module;
    f.Name = name;
    f.Entry = entry;
    if (AnalyseFunction(entry, f.Info, g_code, kMode, t.NoReturn)) {
        for (const TCodeArea& area : f.Info.Areas) {
            for (std::uintptr_t at = area.Start; at <= area.End;) {
                TInstruction ins;
                DecodeInstruction(at, ins, g_code, kMode);
                if (!ins.Valid || ins.InstrNext <= at) break;
                if (ins.IsCall)
                    f.Calls.push_back({ins.InstrNext, ins.TargetAddr ? ResolveTarget(ins.TargetAddr) : 0, at});
                // Jumps out of the function (conditional ones too) are tail calls.
                if (ins.IsJump && ins.TargetAddr != 0) {
                    bool inside = false;
                    for (const TCodeArea& a : f.Info.Areas)
                        if (ins.TargetAddr >= a.Start && ins.TargetAddr <= a.End) inside = true;
                    if (!inside) f.TailJumps.push_back(ResolveTarget(ins.TargetAddr));
                }
                at = ins.InstrNext;
            }
        }
        std::sort(f.Calls.begin(), f.Calls.end(),
                  [](const TCallSite& a, const TCallSite& b) { return a.Return < b.Return; });
    } else {
        f.Rejected = true;
    }
    t.Functions.push_back(std::move(f));
    const int index = static_cast<int>(t.Functions.size() - 1);
    t.ByEntry[entry] = index;
    return index;
}

const TCallSite* CallReturningTo(const TFunctionEntry& f, std::uintptr_t r) {
    auto it = std::lower_bound(f.Calls.begin(), f.Calls.end(), r,
                               [](const TCallSite& c, std::uintptr_t v) { return c.Return < v; });
    return it != f.Calls.end() && it->Return == r ? &*it : nullptr;
}

// Whether address is an instruction boundary of the function (start < address <= end + 1).
bool IsBoundary(const TFunctionEntry& f, std::uintptr_t address) {
    for (const TCodeArea& area : f.Info.Areas) {
        if (!(area.Start < address && address <= area.End + 1)) continue;
        std::uintptr_t at = area.Start;
        while (at < address) {
            TInstruction ins;
            DecodeInstruction(at, ins, g_code, kMode);
            if (ins.InstrNext <= at) return false;
            at = ins.InstrNext;
        }
        return at == address;
    }
    return false;
}

// The function that should hold the code address (its public symbol, else
// for other modules the nearest export below it); -1 when none.
int FunctionHolding(std::uintptr_t address, int module) {
    if (module < 0) return -1;
    const TModuleEntry& m = Tables().Modules[static_cast<std::size_t>(module)];
    if (m.Map) {
        TPublicRec p = m.Map->FindPublic(address);
        if (!p.Valid || !p.Code) return -1;
        const bool known = Tables().ByEntry.count(p.Address) != 0;
        const int f = AnalyseCached(p.Address, module, p.Name);
        bool cold = false;
        const std::string_view parentName = WithoutSplitSuffix(p.Name, &cold);
        if (!known && cold) {
            const int parent = ColdPartParent(*m.Map, p.Address, module, parentName);
            auto& part = Tables().Functions[static_cast<std::size_t>(f)];
            part.ColdPart = true;
            part.Parent = parent;
        }
        return f;
    }
    if (m.Own) return -1;
    if (!m.ExportsRead) {
        auto& writable = Tables().Modules[static_cast<std::size_t>(module)];
        for (auto& e : moduleExports(writable.Info))
            if (e.address >= writable.CodeStart && e.address < writable.CodeEnd)
                writable.Exports.emplace_back(e.address, e.name);
        std::sort(writable.Exports.begin(), writable.Exports.end());
        writable.ExportsRead = true;
    }
    if (m.Exports.empty()) return -1;
    auto it = std::upper_bound(m.Exports.begin(), m.Exports.end(), address,
                               [](std::uintptr_t a, const auto& e) { return a < e.first; });
    if (it == m.Exports.begin()) return -1;
    --it;
    return AnalyseCached(it->first, module, it->second);
}

// ---- the items of one trace --------------------------------------------------------

struct TLink {
    int Target = -1; // -1: deleted
    std::uintptr_t Address = 0;
    int Function = -1;
    bool Strong = false;
    std::uint64_t Score = 0;
};

struct TStackItem {
    std::uintptr_t Value = 0;
    std::uintptr_t Original = 0; // the address as given, for an exact item
    bool Sure = false;
    bool Exact = false;
    bool FromStart = false;
    bool Returned = false; // exact, but a return address (StackTrace's own caller)
    int Module = -1;
    int Function = -1; // the function holding the value, when it passed the test
    std::uintptr_t CallAddress = 0;
    std::uintptr_t CallTarget = 0;
    std::vector<TLink> Links[2]; // 0: to newer items, 1: to older items
    bool Removed = false;
    std::uintptr_t ShownAddress = 0;
    std::int32_t AbsLine = 0, Line = 0;
    std::string ModuleName, UnitName, FunctionName;
    std::uintptr_t FunctionEntry = 0;
    // Recursion folded into the block this item ends (its oldest frame):
    // how many more times the block stood on the stack, and its length.
    int Repeats = 0, BlockSize = 0;
};

constexpr std::uint64_t kFloor = std::uint64_t{0x10000000} << 32;

class TTracer {
public:
    TTracer(const TStackTraceArgs& args, std::uintptr_t low, std::uintptr_t high, const TMemoryReader& stack)
        : a_(args), low_(low), high_(high), stack_(stack) {}

    void Collect();
    void RemoveRecursion(bool unlink);
    void Link();
    void RealizeChains();
    void FillFinalOutput();
    std::string ComposeResult();
    void Dump(const char* stage) const;

private:
    bool Test(std::uintptr_t value, bool exact, bool sure, bool fromStart = false, bool returned = false);
    void Progress(int position) { SetPosition(a_.Progress, position); }
    void Unlink(std::size_t i);
    std::uint64_t ChainScore(int x, int t, std::vector<std::uint64_t>& memo);
    void RealizeBetween(int a, int b);
    int Exponent(const TStackItem& x, const TStackItem& y, bool strong) const;

    const TStackTraceArgs& a_;
    std::uintptr_t low_, high_;
    const TMemoryReader& stack_;
    std::vector<TStackItem> items_;
    std::vector<std::uintptr_t> frameSlots_;
    int failedReturnTest_ = 0; // sure values a known function does not call from
};

bool TTracer::Test(std::uintptr_t value, bool exact, bool sure, bool fromStart, bool returned) {
    TStackItem item;
    item.Original = value;
    std::uintptr_t lookedAt = value - 1;
    if (exact && !returned) {
        lookedAt = value;
        TInstruction ins;
        DecodeInstruction(value, ins, g_code, kMode);
        if (ins.Valid && !fromStart) value = ins.InstrNext;
    }
    item.Value = value;
    item.Module = ModuleOfCode(lookedAt);
    const bool call = (!exact || returned) && CallPrecedes(value, g_code);
    const bool accepted = value > 7 && item.Module >= 0 && (exact || call);
    if (!accepted && !exact && !sure) return false;
    int f = FunctionHolding(lookedAt, item.Module);
    bool passes = false;
    if (f >= 0 && !Tables().Functions[static_cast<std::size_t>(f)].Rejected) {
        const TFunctionEntry& fn = Tables().Functions[static_cast<std::size_t>(f)];
        if (fromStart) {
            passes = fn.Entry == value;
        } else if (exact && !returned) {
            passes = IsBoundary(fn, value) || fn.ColdPart;
        } else if (const TCallSite* site = CallReturningTo(fn, value)) {
            passes = true;
            item.CallAddress = site->Address;
            item.CallTarget = site->Target;
        } else if (fn.ColdPart && call) {
            // Its calls are reached from the function's own jumps, not from
            // the part's start: the call before the value is parsed below.
            passes = true;
        }
        // A part is its function's frame: named by it, linked through it.
        if (passes && fn.Parent >= 0) f = fn.Parent;
    }
    // A stale value inside a known function that does not call from there,
    // even on the frame-pointer chain (which a frameless function leaves
    // holding anything): counted, since the listing says what it left out.
    if (f >= 0 && !passes && !exact) {
        if (sure) ++failedReturnTest_;
        return false;
    }
    item.Function = passes ? f : -1;
    if (passes) Tables().Functions[static_cast<std::size_t>(f)].Confirmed = true;
    if ((!exact || returned) && item.CallAddress == 0) {
        // The call before the return address, parsed again.
        for (std::uintptr_t start = value - 7; start <= value - 2; ++start) {
            TInstruction ins;
            DecodeInstruction(start, ins, g_code, kMode);
            if (ins.Valid && ins.IsCall && ins.InstrNext == value) {
                item.CallAddress = start;
                item.CallTarget = ins.TargetAddr ? ResolveTarget(ins.TargetAddr) : 0;
                break;
            }
        }
    }
    item.Exact = exact && !fromStart;
    item.FromStart = fromStart;
    item.Returned = returned;
    item.Sure = sure || exact;
    items_.push_back(std::move(item));
    return true;
}

void TTracer::Collect() {
    if (a_.StartAddress != 0) Test(a_.StartAddress, true, true, true);
    if (a_.CallerList == nullptr && a_.FramePointer != 0) {
        std::uintptr_t frame = a_.FramePointer;
        if (frame + kSlot > low_ && frame + kSlot < high_) frameSlots_.push_back(frame + kSlot);
        while (frame + kSlot < high_) {
            std::uintptr_t saved = 0;
            if (!stack_.Read(frame, &saved, sizeof saved) || saved <= frame) break;
            frame = saved;
            if (frame + kSlot > low_ && frame + kSlot < high_) frameSlots_.push_back(frame + kSlot);
        }
        std::sort(frameSlots_.begin(), frameSlots_.end());
    }
    auto lastExact = [&] { return !items_.empty() && items_.back().Exact; };
    if (a_.CallerList != nullptr) {
        const auto& list = *a_.CallerList;
        for (std::size_t i = 0; i < list.size() && !lastExact(); ++i) {
            Test(list[i].Address, false, list[i].Sure);
            if (!list.empty()) Progress(static_cast<int>(25 * i / list.size()));
        }
    } else if (high_ > low_) {
        std::uintptr_t slot = (high_ - kSlot) & ~(kSlot - 1);
        for (; slot >= low_ && slot < high_ && !lastExact(); slot -= kSlot) {
            std::uintptr_t value = 0;
            if (!stack_.Read(slot, &value, sizeof value)) continue;
            const bool onChain = std::binary_search(frameSlots_.begin(), frameSlots_.end(), slot);
            const std::size_t before = items_.size();
            if (value > 7 && (ModuleOfCode(value - 1) >= 0 || onChain)) Test(value, false, onChain);
            // The saved frame pointer beside a return address on the chain.
            if (items_.size() > before && items_.back().Sure && !items_.back().Exact) slot -= kSlot;
            if ((slot & 0xFFF) == 0) Progress(static_cast<int>(25 * (high_ - slot) / (high_ - low_)));
            if (slot < kSlot) break;
        }
    }
    if (!a_.StopBeforeCurrent && !lastExact()) Test(a_.CurrentAddress, true, true, false, !a_.CurrentGiven);
    Progress(25);
}

void TTracer::Unlink(std::size_t i) {
    for (int dir = 0; dir < 2; ++dir) {
        for (TLink& l : items_[i].Links[dir]) {
            if (l.Target < 0) continue;
            for (TLink& back : items_[static_cast<std::size_t>(l.Target)].Links[1 - dir])
                if (back.Target == static_cast<int>(i)) back.Target = -1;
            l.Target = -1;
        }
    }
}

void TTracer::RemoveRecursion(bool unlink) {
    const int n = static_cast<int>(items_.size());
    auto older = [&](int from) {
        for (int k = from - 1; k >= 0; --k)
            if (!items_[static_cast<std::size_t>(k)].Removed) return k;
        return -1;
    };
    // Where the thread stands is no repetition, even when it stands on the
    // call that the frames below it return to (an overflow hit by a call).
    auto sameFrame = [&](int a, int b) {
        const auto& x = items_[static_cast<std::size_t>(a)];
        const auto& y = items_[static_cast<std::size_t>(b)];
        return x.Value == y.Value && !x.Exact && !y.Exact;
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (int i = n - 1; i >= 1; --i) {
            if (items_[static_cast<std::size_t>(i)].Removed) continue;
            int k = 0, j = older(i);
            while (j >= 0 && !sameFrame(j, i)) {
                ++k;
                j = older(j);
            }
            if (j < 0 || k > j) continue;
            bool same = true;
            int p = older(i), q = older(j);
            for (int c = 0; c < k && same; ++c) {
                if (p < 0 || q < 0 || !sameFrame(p, q))
                    same = false;
                p = older(p);
                q = q >= 0 ? older(q) : -1;
            }
            if (!same) continue;
            // The count goes to the oldest item of the block that stays,
            // under which the listing says it.
            int keptOldest = j, goneOldest = i;
            for (int c = 0; c < k; ++c) keptOldest = older(keptOldest), goneOldest = older(goneOldest);
            auto& kept = items_[static_cast<std::size_t>(keptOldest)];
            kept.Repeats += 1 + items_[static_cast<std::size_t>(goneOldest)].Repeats;
            kept.BlockSize = k + 1;
            items_[static_cast<std::size_t>(goneOldest)].Repeats = 0;
            for (int c = 0, x = i; c <= k && x >= 0; ++c, x = older(x)) {
                auto& item = items_[static_cast<std::size_t>(x)];
                item.Sure = false;
                item.Removed = true;
                if (unlink) Unlink(static_cast<std::size_t>(x));
            }
            changed = true;
        }
    }
}

// The functions target's function jumps into at its end (analysed on demand).
const std::vector<std::uintptr_t>& TailJumpsOf(std::uintptr_t target) {
    static const std::vector<std::uintptr_t> none;
    auto it = Tables().ByEntry.find(target);
    if (it == Tables().ByEntry.end()) {
        const int f = FunctionHolding(target, ModuleOfCode(target));
        if (f < 0 || Tables().Functions[static_cast<std::size_t>(f)].Entry != target) return none;
        it = Tables().ByEntry.find(target);
        if (it == Tables().ByEntry.end()) return none;
    }
    return Tables().Functions[static_cast<std::size_t>(it->second)].TailJumps;
}

// Whether a call to target can leave the frame of entry's function on the
// stack: target is that function, or jumps into it at its end (through at
// most three such jumps: a function's split-off part, a thunk).
bool Reaches(std::uintptr_t target, std::uintptr_t entry, int depth = 3) {
    if (target == entry) return true;
    if (depth == 0) return false;
    const std::vector<std::uintptr_t> tails = TailJumpsOf(target);
    for (std::uintptr_t tail : tails)
        if (Reaches(tail, entry, depth - 1)) return true;
    // Without symbols the analysis follows a jump into the next function as
    // its own code (a library's qsort going on in qsort_r).
    if (auto it = Tables().ByEntry.find(target); it != Tables().ByEntry.end())
        for (const TCodeArea& area : Tables().Functions[static_cast<std::size_t>(it->second)].Info.Areas)
            if (area.Start <= entry && entry <= area.End) return true;
    return false;
}

// Whether a frame whose function is not known may follow a call to target.
bool LinksLoosely(std::uintptr_t target, const TStackItem& newer) {
    const int module = ModuleOfCode(target);
    if (module < 0 || !Tables().Modules[static_cast<std::size_t>(module)].Map) return true;
    for (std::uintptr_t tail : TailJumpsOf(target))
        if (newer.Module >= 0 && ModuleOfCode(tail) == newer.Module) return true;
    return false;
}

// Whether a frame of another module may follow a call to target, of which
// nothing is known: it lies in a module without debug information and no
// export starts there (a library's own routine, such as the one that calls
// the program's main, or one that calls a program's callback).
bool CalleeUnknown(std::uintptr_t target, const TStackItem& newer) {
    const int module = ModuleOfCode(target);
    if (module < 0) return true;
    if (module == newer.Module) return false;
    if (Tables().Modules[static_cast<std::size_t>(module)].Map) return false;
    const int f = FunctionHolding(target, module);
    return f < 0 || Tables().Functions[static_cast<std::size_t>(f)].Entry != target;
}

void TTracer::Link() {
    const auto& functions = Tables().Functions;
    const std::size_t n = items_.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (items_[i].Removed || items_[i].Exact) continue;
        Progress(static_cast<int>(25 + 625 * i / std::max<std::size_t>(n, 1)));
        // What the item's frame called: the start routine for item 0 taken
        // from the start address, else the target of its call.
        const std::uintptr_t target = items_[i].FromStart ? items_[i].Value : items_[i].CallTarget;
        for (std::size_t j = i + 1; j < n; ++j) {
            TStackItem& newer = items_[j];
            if (newer.Removed) continue;
            const int fj = newer.Function;
            const std::uintptr_t entry = fj >= 0 ? functions[static_cast<std::size_t>(fj)].Entry : 0;
            bool strong = false;
            if (target != 0 && entry != 0) {
                strong = Reaches(target, entry);
                if (!strong && !CalleeUnknown(target, newer)) {
                    if (newer.Sure) break;
                    continue;
                }
            } else if (target != 0 && !LinksLoosely(target, newer)) {
                // A known callee in a module with debug information must be
                // the newer frame's function (or jump into its module).
                if (newer.Sure) break;
                continue;
            }
            items_[i].Links[0].push_back({static_cast<int>(j), items_[i].CallAddress, strong ? fj : -1, strong});
            newer.Links[1].push_back({static_cast<int>(i), items_[i].CallAddress, strong ? fj : -1, strong});
            if (newer.Sure) break;
        }
    }
    Progress(650);
}

// Items and links on standard error, when AX_TRACE_DUMP is set (development aid).
void TTracer::Dump(const char* stage) const {
    static const bool on = std::getenv("AX_TRACE_DUMP") != nullptr;
    if (!on) return;
    std::fprintf(stderr, "-- %s\n", stage);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const auto& it = items_[i];
        std::fprintf(stderr, "%3zu %s%s%s%s %lx f=%s call=%lx target=%lx links0=", i, it.Removed ? "R" : "-",
                     it.Sure ? "S" : "-", it.Exact ? "E" : "-", it.FromStart ? "0" : "-",
                     static_cast<unsigned long>(it.Value),
                     it.Function >= 0 ? Tables().Functions[static_cast<std::size_t>(it.Function)].Name.c_str() : "?",
                     static_cast<unsigned long>(it.CallAddress), static_cast<unsigned long>(it.CallTarget));
        for (const auto& l : it.Links[0]) std::fprintf(stderr, "%d%s ", l.Target, l.Strong ? "!" : "");
        std::fprintf(stderr, "\n");
    }
}

int TTracer::Exponent(const TStackItem& x, const TStackItem& y, bool strong) const {
    if (!strong) return 0;
    int e = 28 + 14;
    const auto& modules = Tables().Modules;
    if (x.Module >= 0 && y.Module >= 0 && modules[static_cast<std::size_t>(x.Module)].Map) {
        e += 3;
        std::uintptr_t next = 0;
        if (modules[static_cast<std::size_t>(x.Module)].Map->LineOf(x.Value - 1, next) > 0) {
            e += 3;
            const auto& ym = modules[static_cast<std::size_t>(y.Module)];
            if (ym.Map && ym.Map->LineOf(y.Value - 1, next) > 0) e += 3;
        }
    }
    return e;
}

// Best score of a chain from item x to item t (newer or older), memoised.
std::uint64_t TTracer::ChainScore(int x, int t, std::vector<std::uint64_t>& memo) {
    auto& cached = memo[static_cast<std::size_t>(x)];
    if (cached != 0) return cached;
    const int dir = t < 0 || x > t ? 1 : 0;
    std::uint64_t best = kFloor;
    for (TLink& l : items_[static_cast<std::size_t>(x)].Links[dir]) {
        if (l.Target < 0 || items_[static_cast<std::size_t>(l.Target)].Removed) continue;
        if (dir == 0 ? l.Target > t : (t >= 0 && l.Target < t)) continue;
        std::uint64_t base;
        if (l.Target == t)
            base = (std::uint64_t{l.Strong ? 0x70000000u : 0x50000000u}) << 32;
        else
            base = ChainScore(l.Target, t, memo);
        const auto& y = items_[static_cast<std::size_t>(l.Target)];
        const auto& from = dir == 0 ? items_[static_cast<std::size_t>(x)] : y;
        const auto& to = dir == 0 ? y : items_[static_cast<std::size_t>(x)];
        l.Score = base + (std::uint64_t{1} << Exponent(from, to, l.Strong));
        if (l.Score > best) best = l.Score;
    }
    cached = best;
    return best;
}

void TTracer::RealizeBetween(int a, int b) {
    if (b - a < 2) return;
    std::vector<std::uint64_t> memoForward(items_.size(), 0), memoBackward(items_.size(), 0);
    const std::uint64_t s1 = a < 0 ? 0 : ChainScore(a, b, memoForward);
    const std::uint64_t s2 = ChainScore(b, a, memoBackward);
    for (int k = a + 1; k < b; ++k) items_[static_cast<std::size_t>(k)].Removed = true;
    const bool forward = a >= 0 && s1 > s2;
    int at = forward ? a : b;
    const int dir = forward ? 0 : 1;
    for (int guard = 0; guard < static_cast<int>(items_.size()) + 1; ++guard) {
        const TLink* best = nullptr;
        for (const TLink& l : items_[static_cast<std::size_t>(at)].Links[dir]) {
            if (l.Target < 0 || l.Score == 0) continue;
            if (dir == 0 ? l.Target > b : l.Target <= a) continue;
            if (best == nullptr || l.Score > best->Score) best = &l;
        }
        if (best == nullptr) break;
        at = best->Target;
        if (at == (forward ? b : a)) break;
        items_[static_cast<std::size_t>(at)].Removed = false;
    }
}

void TTracer::RealizeChains() {
    int b = -1;
    for (int k = static_cast<int>(items_.size()) - 1; k >= 0; --k)
        if (!items_[static_cast<std::size_t>(k)].Removed) {
            b = k;
            break;
        }
    if (b < 0) return;
    const int newest = b;
    for (int a = b - 1; a >= 0; --a) {
        const auto& item = items_[static_cast<std::size_t>(a)];
        if (item.Removed || !item.Sure) continue;
        RealizeBetween(a, b);
        b = a;
        Progress(static_cast<int>(650 + 350 * (newest - a) / std::max(newest, 1)));
    }
    RealizeBetween(-1, b);
}

void TTracer::FillFinalOutput() {
    const auto& modules = Tables().Modules;
    const auto& functions = Tables().Functions;
    bool newestSeen = false;
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        TStackItem& item = *it;
        if (item.Removed) continue;
        item.ShownAddress = (item.Exact && !item.Returned) || item.FromStart ? item.Original
                            : item.CallAddress != 0   ? item.CallAddress
                                                      : item.Value;
        if (item.Function >= 0) {
            const auto& f = functions[static_cast<std::size_t>(item.Function)];
            item.FunctionName = WithoutSplitSuffix(f.Name);
            item.FunctionEntry = f.Entry;
        }
        if (item.Module >= 0) {
            const TModuleEntry& m = modules[static_cast<std::size_t>(item.Module)];
            item.ModuleName = m.FileName;
            if (m.Map) {
                TPublicRec p = m.Map->FindPublic(item.ShownAddress);
                if (item.FunctionName.empty() && p.Valid) {
                    item.FunctionName = WithoutSplitSuffix(p.Name);
                    item.FunctionEntry = p.Address;
                }
                // Distances inside a split part count from the part's start.
                if (p.Valid && p.Address != item.FunctionEntry && p.Address <= item.ShownAddress &&
                    WithoutSplitSuffix(p.Name) == item.FunctionName)
                    item.FunctionEntry = p.Address;
                item.UnitName = m.Map->FindSegment(true, item.ShownAddress).UnitName;
                std::uintptr_t next = 0;
                item.Line = std::max(m.Map->LineOf(item.ShownAddress, next), 0);
                if (a_.ShowRelativeLines && item.Line > 0 && item.FunctionEntry != 0) {
                    item.AbsLine = std::max(m.Map->LineOf(item.FunctionEntry, next), 0);
                    if (item.AbsLine > 0) {
                        item.Line -= item.AbsLine;
                        item.AbsLine += item.Line;
                    }
                }
            }
        } else {
            item.ModuleName = "???";
        }
        if (!newestSeen) {
            newestSeen = true;
            if (a_.OutShownAddress) *a_.OutShownAddress = item.ShownAddress;
            if (a_.OutFunctionEntry && item.Function >= 0) *a_.OutFunctionEntry = item.FunctionEntry;
        }
    }
    if (a_.CutAboveThrow) {
        for (std::size_t k = 0; k < items_.size(); ++k) {
            const std::string& name = items_[k].FunctionName;
            if (!items_[k].Removed && (name == "__cxa_throw" || name == "__cxa_rethrow" ||
                                       name == "_ThrowExceptionLDTC" || name == "_ReThrowException")) {
                for (std::size_t r = k; r < items_.size(); ++r) items_[r].Removed = true;
                break;
            }
        }
    }
}

// ">> the 3 frames above repeated 20 more times (60 frames left out)"
std::string RepeatNote(int blockSize, int repeats) {
    const std::string block = blockSize == 1 ? "the frame" : "the " + vor::IntToStrEx(blockSize) + " frames";
    const std::string times = repeats == 1 ? "once more" : vor::IntToStrEx(repeats) + " more times";
    return ">> " + block + " above repeated " + times + " (" +
           vor::IntToStrEx(static_cast<std::int64_t>(blockSize) * repeats) + " frames left out)";
}

std::string TTracer::ComposeResult() {
    struct TRepeat {
        int Block = 0, Times = 0;
    };
    std::vector<const TStackItem*> shown;
    std::vector<TRepeat> notes; // said under the shown line of the same index
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        const TStackItem& item = *it;
        const TRepeat note{item.Repeats > 0 ? item.BlockSize : 0, item.Repeats};
        const bool named = !item.FunctionName.empty() && (item.Line > 0 || !a_.HideItemsWithoutLine);
        if (item.Removed || !(item.Exact || item.FromStart || named) ||
            (!item.Exact && !shown.empty() && shown.back()->ShownAddress == item.ShownAddress)) {
            // A block's oldest frame not shown: the note goes under the frame before.
            if (note.Times > 0 && !notes.empty() && notes.back().Times == 0) notes.back() = note;
            continue;
        }
        shown.push_back(&item);
        notes.push_back(note);
    }
    // Folds of one recursion whose blocks began at different frames are one
    // fold: less than a block apart, the lines between them are the block.
    for (std::size_t k = 0; k < notes.size(); ++k) {
        if (notes[k].Times == 0) continue;
        for (std::size_t m = k + 1; m < notes.size() && m - k < static_cast<std::size_t>(notes[k].Block); ++m)
            if (notes[m].Block == notes[k].Block) {
                notes[m].Times += notes[k].Times;
                notes[k] = {};
                break;
            }
    }
    std::size_t relWidth = 0, moduleWidth = 0, unitWidth = 0, absWidth = 0, lineWidth = 0;
    for (const TStackItem* item : shown) {
        if (a_.ShowRelativeAddresses && item->FunctionEntry != 0 && item->FunctionEntry < item->ShownAddress)
            relWidth = std::max(relWidth, Hex(item->ShownAddress - item->FunctionEntry).size() + 2);
        moduleWidth = std::max(moduleWidth, item->ModuleName.size() + 1);
        unitWidth = std::max(unitWidth, item->UnitName.size() + 1);
        if (item->AbsLine > 0) absWidth = std::max(absWidth, vor::IntToStrEx(item->AbsLine).size() + 1);
        if (item->Line > 0)
            lineWidth = std::max(lineWidth, vor::IntToStrEx(item->Line).size() +
                                                (a_.ShowRelativeLines && item->AbsLine > 0 ? 2 : 1));
    }
    std::string out;
    auto pad = [](std::string s, std::size_t width, bool right) {
        if (s.size() < width) s = right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
        return s;
    };
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const TStackItem* item = shown[k];
        out += "\r\n";
        out += Hex(item->ShownAddress, 8) + " ";
        if (relWidth > 0) {
            std::uint64_t rel = item->FunctionEntry != 0 && item->FunctionEntry < item->ShownAddress
                                    ? item->ShownAddress - item->FunctionEntry
                                    : 0;
            out += "+" + Hex(rel, relWidth - 2) + " ";
        }
        out += pad(item->ModuleName, moduleWidth, false);
        out += pad(item->UnitName, unitWidth, false);
        if (absWidth > 0)
            out += pad(item->AbsLine > 0 ? vor::IntToStrEx(item->AbsLine) + " " : std::string(), absWidth, true);
        if (lineWidth > 0) {
            std::string l;
            if (item->Line > 0 || (a_.ShowRelativeLines && item->AbsLine > 0))
                l = (a_.ShowRelativeLines && item->AbsLine > 0 ? "+" : "") + vor::IntToStrEx(item->Line) + " ";
            out += pad(l, lineWidth, true);
        }
        out += item->FunctionName;
        if (notes[k].Times > 0) out += "\r\n" + RepeatNote(notes[k].Block, notes[k].Times);
    }
    if (failedReturnTest_ > 0) {
        // Above the start routine, which stays last (the report names the
        // thread's creator under it).
        const std::string note = "\r\n>> " + vor::IntToStrEx(failedReturnTest_) +
                                 (failedReturnTest_ == 1 ? " stale frame" : " stale frames") + " left out";
        const auto last = out.rfind("\r\n");
        const bool startLast = !shown.empty() && shown.back()->FromStart && last != std::string::npos;
        out.insert(startLast ? last : out.size(), note);
    }
    if (out.size() >= 2) out.erase(0, 2);
    return out;
}

class TOwnStackReader final : public TMemoryReader {
public:
    bool Read(std::uintptr_t address, void* buffer, std::size_t size) const override {
        return safeRead(address, buffer, size);
    }
};

void OwnStackRange(std::uintptr_t& low, std::uintptr_t& high) {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* base = nullptr;
        std::size_t size = 0;
        pthread_attr_getstack(&attr, &base, &size);
        pthread_attr_destroy(&attr);
        if (high == 0) high = reinterpret_cast<std::uintptr_t>(base) + size;
    }
    if (low == 0) low = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
}

} // namespace

bool CallPrecedes(std::uintptr_t r, const TMemoryReader& code) {
    if (r < 8) return false;
    std::uint8_t b[8];
    if (!code.Read(r - 8, b, 8)) return false;
    auto indirect = [](std::uint8_t modrm) { return (modrm & 0x30) == 0x10; };
    // Every form the bytes allow is tried: the displacement of one call can
    // hold the opcode and ModRM of a shorter one that ends elsewhere.
    static constexpr std::size_t kIndirectAt[] = {6, 5, 4, 2, 1}; // opcode FF, then ModRM
    std::uintptr_t starts[6];
    std::size_t count = 0;
    if (b[3] == 0xE8) starts[count++] = r - 5;
    for (std::size_t at : kIndirectAt)
        if (b[at] == 0xFF && indirect(b[at + 1])) starts[count++] = r - (8 - at);
    // The bytes must decode as that call, ending exactly at r; a REX prefix
    // before the opcode belongs to it.
    for (std::size_t k = 0; k < count; ++k)
        for (std::uintptr_t s : {starts[k], starts[k] - 1}) {
            if (s < r - 8) break;
            TInstruction ins;
            DecodeInstruction(s, ins, code, kMode);
            if (ins.Valid && ins.IsCall && ins.InstrNext == r) return true;
        }
    return false;
}

std::string StackTrace(const TStackTraceArgs& argsIn) {
    TStackTraceArgs args = argsIn;
    if (args.OutFunctionEntry) *args.OutFunctionEntry = 0;
    if (args.OutShownAddress) *args.OutShownAddress = 0;
    if (args.CurrentAddress == 0 && !args.CurrentGiven)
        args.CurrentAddress = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    TOwnStackReader own;
    const TMemoryReader& stack = args.Stack != nullptr ? *args.Stack : own;
    if (args.Stack == nullptr) OwnStackRange(args.StackLow, args.StackHigh);
    if (args.StackHigh <= args.StackLow) return {};
    {
        std::uint8_t probe;
        if (!stack.Read(args.StackLow, &probe, 1) || !stack.Read(args.StackHigh - 1, &probe, 1)) return {};
    }
    std::lock_guard lock(Tables().Lock);
    RegisterModules();
    TTracer tracer(args, args.StackLow, args.StackHigh, stack);
    const char* stage = "CollectPossibleStackItems";
    try {
        tracer.Collect();
        stage = "RemoveRecursiveStackAreas";
        tracer.RemoveRecursion(true);
        stage = "InDeepChecks";
        tracer.Link();
        tracer.Dump("linked");
        if (!args.PlainMode) {
            stage = "RealizeOptimalLinkChains";
            tracer.RealizeChains();
            stage = "RemoveRecursiveAreas";
            tracer.RemoveRecursion(false);
        }
        tracer.Dump("realised");
        stage = "FillFinalOutput";
        tracer.FillFinalOutput();
        stage = "ComposeResult";
        std::string result = tracer.ComposeResult();
        SetPosition(args.Progress, 1000);
        return result;
    } catch (const std::exception& e) {
        return std::string(">> internal error in ") + stage + ":\r\n" + e.what();
    }
}

TCallerList CollectStackList(std::uintptr_t framePointer) {
    TCallerList list;
    list.reserve(64);
    std::uintptr_t low = 0, high = 0;
    OwnStackRange(low, high);
    std::vector<ModuleInfo> modules = loadedModules();
    auto inCode = [&](std::uintptr_t v) {
        for (const auto& m : modules)
            if (v > m.codeStart && v <= m.codeEnd) return true;
        return false;
    };
    std::vector<std::uintptr_t> slots;
    std::uintptr_t frame = framePointer;
    if (frame != 0) {
        if (frame + kSlot > low && frame + kSlot < high) slots.push_back(frame + kSlot);
        while (frame + kSlot < high) {
            std::uintptr_t saved = 0;
            if (!safeRead(frame, &saved, sizeof saved) || saved <= frame) break;
            frame = saved;
            if (frame + kSlot > low && frame + kSlot < high) slots.push_back(frame + kSlot);
        }
    }
    // One read of the whole stack, then the scan over the copy.
    std::vector<std::uintptr_t> words((high - low) / kSlot);
    const std::uintptr_t base = high - words.size() * kSlot;
    if (words.empty() || !safeRead(base, words.data(), words.size() * kSlot)) return list;
    TProcessMemoryReader code;
    for (std::size_t i = words.size(); i-- > 0;) {
        const std::uintptr_t slot = base + i * kSlot, value = words[i];
        if (value <= 7 || !inCode(value) || !CallPrecedes(value, code)) continue;
        const bool onChain = std::find(slots.begin(), slots.end(), slot) != slots.end();
        list.push_back({onChain, value});
        if (onChain && i > 0) --i;
    }
    return list;
}

std::string FormatAddress(std::uintptr_t address) {
    std::string out = Hex(address, 8);
    auto module = moduleOfAddress(address);
    if (!module) return out + " ???";
    out += " " + BaseName(module->fileName);
    TAddressInfo info;
    if (GetAddressInfo(address, info)) {
        if (!info.UnitName.empty()) out += " " + info.UnitName;
        if (info.Line > 0) out += " " + vor::IntToStrEx(info.Line);
        if (!info.SymbolName.empty()) out += " " + info.SymbolName;
    }
    return out;
}

} // namespace ax
