#include "crash/vorStackTrace.h"

#include "crash/vorLinkDisAsm.h"
#include "platform/memory_map.h"
#include "platform/thread_hooks.h"
#include "platform/thread_stop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

namespace ax {
namespace {

std::vector<std::string> Lines(const std::string& trace) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at <= trace.size()) {
        auto end = trace.find("\r\n", at);
        if (end == std::string::npos) end = trace.size();
        out.push_back(trace.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

// The line without the ABI tags of its names ("[abi:cxx11]"): Clang writes
// them into the names of functions of internal linkage that return a string,
// GCC does not.
std::string WithoutAbiTags(std::string line) {
    for (auto at = line.find("[abi:"); at != std::string::npos; at = line.find("[abi:", at))
        line.erase(at, line.find(']', at) + 1 - at);
    return line;
}

// Index of the first line that names the function (as the last column), -1 none.
int LineNaming(const std::vector<std::string>& lines, const std::string& function) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string l = WithoutAbiTags(lines[i]);
        if (l.size() >= function.size() && l.compare(l.size() - function.size(), function.size(), function) == 0 &&
            (l.size() == function.size() || l[l.size() - function.size() - 1] == ' '))
            return static_cast<int>(i);
    }
    return -1;
}

int g_callLine[3];

__attribute__((noinline)) std::string TraceHere() {
    g_callLine[0] = __LINE__ + 1;
    std::string s = StackTrace({});
    asm volatile("" ::: "memory");
    return s;
}
__attribute__((noinline)) std::string Middle() {
    g_callLine[1] = __LINE__ + 1;
    std::string s = TraceHere();
    asm volatile("" ::: "memory");
    return s;
}
__attribute__((noinline)) std::string Outer() {
    g_callLine[2] = __LINE__ + 1;
    std::string s = Middle();
    asm volatile("" ::: "memory");
    return s;
}

TEST(StackTrace, OwnStackNamesEveryFrameWithUnitAndLineNewestFirst) {
    const std::string trace = Outer();
    const auto lines = Lines(trace);
    const int t = LineNaming(lines, "ax::(anonymous_namespace)::TraceHere");
    const int m = LineNaming(lines, "ax::(anonymous_namespace)::Middle");
    const int o = LineNaming(lines, "ax::(anonymous_namespace)::Outer");
    ASSERT_GE(t, 0) << trace;
    ASSERT_GT(m, t) << trace;
    ASSERT_GT(o, m) << trace;
    const int expected[3] = {t, m, o};
    for (int k = 0; k < 3; ++k) {
        const std::string& l = lines[static_cast<std::size_t>(expected[k])];
        EXPECT_NE(l.find(" crash_vorStackTrace_test "), std::string::npos) << l;
        EXPECT_NE(l.find(" vorStackTrace_test.cpp "), std::string::npos) << l;
        EXPECT_NE(l.find(" " + std::to_string(g_callLine[k]) + " "), std::string::npos) << k << ":" << g_callLine[k] << " " << l;
        // Eight hex digits at least, a blank, "+" and the distance from the entry.
        EXPECT_EQ(l.find(' '), l.find(" +")) << l;
    }
    // The test body that called Outer is there too, further down.
    EXPECT_GT(LineNaming(lines, "ax::(anonymous_namespace)::StackTrace_OwnStackNamesEveryFrameWithUnitAndLineNewestFirst_Test::TestBody"), o)
        << trace;
}

__attribute__((noinline)) std::string Recurse(int n) {
    if (n == 0) return TraceHere();
    std::string s = Recurse(n - 1);
    asm volatile("" ::: "memory");
    return s;
}

TEST(StackTrace, RepeatedRecursionIsReducedToOneBlock) {
    const auto lines = Lines(Recurse(6));
    int count = 0;
    for (const auto& l : lines)
        if (LineNaming({l}, "ax::(anonymous_namespace)::Recurse") == 0) ++count;
    // The frame that called TraceHere and one of the identical recursive frames.
    EXPECT_EQ(count, 2);
}

TEST(StackTrace, CallInstructionFormsBeforeAReturnAddress) {
    struct Case {
        std::vector<std::uint8_t> bytes; // ending at the return address
        bool call;
    } cases[] = {
        {{0x90, 0x90, 0x90, 0xE8, 0x10, 0x00, 0x00, 0x00}, true},  // call rel32
        {{0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xFF, 0xD0}, true},  // call rax
        {{0x90, 0x90, 0x90, 0x90, 0x90, 0x41, 0xFF, 0xD0}, true},  // call r8
        {{0x90, 0x90, 0xFF, 0x15, 0x00, 0x00, 0x00, 0x00}, true},  // call [rip+0] (a readable slot)
        {{0x90, 0x90, 0x90, 0x90, 0xFF, 0x54, 0x24, 0x08}, true},  // call [rsp+8]
        {{0x90, 0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}, true},  // call [rsp+0x100]
        // The displacement holds the start of a shorter call (FF 10: call
        // [rax]) that ends elsewhere; the longer call is the one.
        {{0x90, 0xFF, 0x94, 0x24, 0xFF, 0x10, 0x00, 0x00}, true},  // call [rsp+0x10FF]
        {{0x90, 0x90, 0x90, 0x90, 0xFF, 0x93, 0x15, 0x00}, false}, // call [rbx+disp32] runs past the end
        {{0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xFF, 0xE0}, false}, // jmp rax
        {{0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xC3}, false}, // ret
        {{0x90, 0x90, 0x90, 0xE9, 0x10, 0x00, 0x00, 0x00}, false}, // jmp rel32
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> code(c.bytes);
        code.resize(16, 0x90);
        TBufferReader reader(0x401000, code);
        EXPECT_EQ(CallPrecedes(0x401008, reader), c.call) << std::hex << int(c.bytes[6]) << " " << int(c.bytes[7]);
    }
}

// A program's entry calls the start routine through its slot; the slot's
// distance can hold FF 93 (call [rbx+disp32], which runs past the return
// address). The return address follows the call all the same.
TEST(StackTrace, CallThroughASlotWhoseDistanceLooksLikeAnotherCall) {
    constexpr std::uintptr_t base = 0x3F0000, r = 0x401008;
    std::vector<std::uint8_t> code(r - base + 8, 0x90);  // the slot, at r - 0x6C01, lies in it
    const std::uint8_t call[] = {0xFF, 0xFF,                           // the tail of a lea
                                 0xFF, 0x15, 0xFF, 0x93, 0xFF, 0xFF}; // call [rip-0x6C01]
    std::copy(std::begin(call), std::end(call), code.begin() + (r - 8 - base));
    TBufferReader reader(base, code);
    EXPECT_TRUE(CallPrecedes(r, reader));
}

// A synthetic stack: real return addresses among values that are none.
std::uintptr_t g_returnInCaller = 0;
__attribute__((noinline)) void CaptureReturn() {
    g_returnInCaller = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    asm volatile("" ::: "memory");
}
__attribute__((noinline)) void CallsCapture() {
    CaptureReturn();
    asm volatile("" ::: "memory");
}
__attribute__((noinline)) void NeverOnTheStack() { asm volatile("" ::: "memory"); }

TEST(StackTrace, OnlyValuesAfterACallToTheNewerFrameAreFrames) {
    CallsCapture();
    ASSERT_NE(g_returnInCaller, 0u);
    const std::uintptr_t base = 0x7f0000000000;
    std::vector<std::uintptr_t> words = {
        0x1234,                                                   // newest slot (lowest address)
        reinterpret_cast<std::uintptr_t>(&NeverOnTheStack) + 4,  // code, but no call before it
        g_returnInCaller,                                         // CallsCapture called CaptureReturn
        0xdeadbeef,
    };
    std::vector<std::uint8_t> bytes(words.size() * sizeof(std::uintptr_t));
    std::memcpy(bytes.data(), words.data(), bytes.size());
    TBufferReader stack(base, bytes);
    TStackTraceArgs args;
    args.Stack = &stack;
    args.StackLow = base;
    args.StackHigh = base + bytes.size();
    args.CurrentAddress = reinterpret_cast<std::uintptr_t>(&CaptureReturn);
    args.CurrentGiven = true;
    std::uintptr_t entry = 0, shown = 0;
    args.OutFunctionEntry = &entry;
    args.OutShownAddress = &shown;
    const auto lines = Lines(StackTrace(args));
    ASSERT_EQ(lines.size(), 2u) << StackTrace(args);
    EXPECT_EQ(LineNaming(lines, "ax::(anonymous_namespace)::CaptureReturn"), 0) << lines[0] << "\n" << lines[1];
    EXPECT_EQ(LineNaming(lines, "ax::(anonymous_namespace)::CallsCapture"), 1);
    EXPECT_EQ(shown, reinterpret_cast<std::uintptr_t>(&CaptureReturn));
    EXPECT_EQ(entry, reinterpret_cast<std::uintptr_t>(&CaptureReturn));
}

TEST(StackTrace, AnAddressInNoModuleShowsQuestionMarks) {
    std::vector<std::uint8_t> bytes(64, 0);
    TBufferReader stack(0x10000, bytes);
    TStackTraceArgs args;
    args.Stack = &stack;
    args.StackLow = 0x10000;
    args.StackHigh = 0x10040;
    args.CurrentAddress = 0x1000;
    args.CurrentGiven = true;
    args.ShowRelativeAddresses = false;
    EXPECT_EQ(StackTrace(args), "00001000 ???  ") << "a module column and an empty unit column";
    EXPECT_EQ(FormatAddress(0x1000), "00001000 ???");
}

TEST(StackTrace, UnreadableStackGivesNothing) {
    TStackTraceArgs args;
    std::vector<std::uint8_t> bytes(16, 0);
    TBufferReader stack(0x10000, bytes);
    args.Stack = &stack;
    args.StackLow = 0x10000;
    args.StackHigh = 0x10100; // past the copy
    args.CurrentGiven = true;
    args.CurrentAddress = reinterpret_cast<std::uintptr_t>(&CaptureReturn);
    EXPECT_EQ(StackTrace(args), "");
}

// Another thread, stopped, its stack copied and traced from the copy.
// Plain flags read with the compiler's atomic built-ins: an out-of-line
// atomic load in unoptimised builds would put frames above Level3.
bool g_release = false;
std::atomic<bool> g_waiting{false};
__attribute__((noinline)) void Level3() {
    g_waiting = true;
    while (!__atomic_load_n(&g_release, __ATOMIC_ACQUIRE)) asm volatile("pause" ::: "memory");
}
__attribute__((noinline)) void Level2() {
    Level3();
    asm volatile("" ::: "memory");
}
__attribute__((noinline)) void Level1() {
    Level2();
    asm volatile("" ::: "memory");
}

TEST(StackTrace, StoppedThreadTracedFromACopyOfItsStack) {
    __atomic_store_n(&g_release, false, __ATOMIC_RELEASE);
    g_waiting = false;
    std::atomic<pid_t> tid{0};
    std::thread t([&] {
        tid = CurrentThreadId();
        Level1();
    });
    for (int i = 0; i < 20000000 && !g_waiting; ++i) std::this_thread::yield();
    ASSERT_TRUE(g_waiting.load());
    ThreadRegisters regs;
    std::vector<std::uint8_t> copy;
    std::uintptr_t low = 0, high = 0;
    ASSERT_TRUE(WithThreadStopped(tid, 5000, [&](const ThreadRegisters& r) {
        regs = r;
        RegionMap map = RegionMap::build();
        const MemoryRegion* region = map.find(r.Sp);
        if (region == nullptr) return;
        low = r.Sp - 128;
        high = region->end;
        copy.resize(high - low);
        if (!safeRead(low, copy.data(), copy.size())) copy.clear();
    }));
    __atomic_store_n(&g_release, true, __ATOMIC_RELEASE);
    t.join();
    ASSERT_FALSE(copy.empty());
    TBufferReader stack(low, copy);
    TStackTraceArgs args;
    args.Stack = &stack;
    args.StackLow = regs.Sp;
    args.StackHigh = high;
    args.CurrentAddress = regs.Ip;
    args.CurrentGiven = true;
    args.FramePointer = regs.Fp;
    const std::string trace = StackTrace(args);
    const auto lines = Lines(trace);
    const int l3 = LineNaming(lines, "ax::(anonymous_namespace)::Level3");
    const int l2 = LineNaming(lines, "ax::(anonymous_namespace)::Level2");
    const int l1 = LineNaming(lines, "ax::(anonymous_namespace)::Level1");
    // A sanitizer's check of the read may stand above Level3.
    EXPECT_GE(l3, 0) << trace;
    EXPECT_LE(l3, 1) << trace;
    EXPECT_GT(l2, l3) << trace;
    EXPECT_GT(l1, l2) << trace;
}

__attribute__((noinline)) TCallerList ThrowSite() {
    TCallerList list = CollectStackList(reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)));
    asm volatile("" ::: "memory");
    return list;
}
__attribute__((noinline)) TCallerList BeforeThrowSite() {
    TCallerList list = ThrowSite();
    asm volatile("" ::: "memory");
    return list;
}

TEST(StackTrace, CallerListTakenEarlierIsTracedLater) {
    const TCallerList list = BeforeThrowSite();
    ASSERT_FALSE(list.empty());
    TStackTraceArgs args;
    args.CallerList = &list;
    args.StopBeforeCurrent = true;
    const std::string trace = StackTrace(args);
    const auto lines = Lines(trace);
    const int b = LineNaming(lines, "ax::(anonymous_namespace)::BeforeThrowSite");
    EXPECT_GE(b, 0) << trace;
    EXPECT_GT(LineNaming(lines, "ax::(anonymous_namespace)::StackTrace_CallerListTakenEarlierIsTracedLater_Test::TestBody"), b)
        << trace;
}

} // namespace
} // namespace ax
