#pragma once
// Stack tracer: given one thread's stack memory and the address at which the
// thread stands, finds the chain of calls that led there and returns it as
// text, one line per frame, newest first. It does not trust frame pointers
// alone: every stack value that follows a call instruction is a candidate,
// the function analysis says which functions hold which candidates and
// where they call, candidates that can follow one another are linked, and
// between every two sure frames the chain with the best score is kept.
// Names, units and lines come from the modules' map files, else from their
// exported symbols.
#include "crash/vorDisAsm.h"
#include "crash/vorTraceProgress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ax {

// An entry of a caller list: a code address taken from a stack, sure when it
// lay on the frame-pointer chain.
struct TCallerEntry {
    bool Sure = false;
    std::uintptr_t Address = 0;
};
using TCallerList = std::vector<TCallerEntry>;

struct TStackTraceArgs {
    bool HideItemsWithoutLine = false;
    bool ShowRelativeAddresses = true;
    bool ShowRelativeLines = false;
    // Where the thread stands; 0 with CurrentGiven off: the caller of StackTrace.
    std::uintptr_t CurrentAddress = 0;
    bool CurrentGiven = false;
    bool CurrentAsIs = false;
    // The stack's range [StackLow, StackHigh) and where its bytes are read
    // (a copy taken while the thread stood still); 0 and nullptr: the
    // calling thread's own stack.
    std::uintptr_t StackLow = 0;
    std::uintptr_t StackHigh = 0;
    const TMemoryReader* Stack = nullptr;
    // The thread's start routine, taken as the oldest sure frame; 0 none.
    std::uintptr_t StartAddress = 0;
    std::uintptr_t* OutFunctionEntry = nullptr;
    std::uintptr_t* OutShownAddress = nullptr;
    TraceProgress* Progress = nullptr;
    std::uintptr_t FramePointer = 0;
    // Plain mode: no chain scoring, no removal of recursion.
    bool PlainMode = false;
    bool CutAboveThrow = false;
    // When given, these are the candidates and the stack is not scanned.
    const TCallerList* CallerList = nullptr;
    bool StopBeforeCurrent = false;
};

std::string StackTrace(const TStackTraceArgs& args);

// A quick snapshot of the calling thread's own stack: every value that
// follows a call instruction, for a later StackTrace (the throw site of an
// exception, taken before the stack unwinds).
TCallerList CollectStackList(std::uintptr_t framePointer);

// "00401234 module unit 12 function" (" ???" after the digits when the
// address lies in no known module).
std::string FormatAddress(std::uintptr_t address);

// Whether the bytes before return address r end with a call instruction
// that ends exactly at r (x86-64 forms).
bool CallPrecedes(std::uintptr_t r, const TMemoryReader& code);

} // namespace ax
