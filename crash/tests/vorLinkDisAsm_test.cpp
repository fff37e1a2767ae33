#include "crash/vorLinkDisAsm.h"
#include "crash/vorMapFile.h"
#include "crash/vorSettings.h"
#include "crash/vorStrings.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <vector>

namespace ax {

__attribute__((noinline)) int listedFunction(int x) {
    int sum = 0;
    for (int i = 0; i < x; ++i) sum += i * 3;
    return sum;
}

namespace {

TFunctionInfo analyse(const std::vector<std::uint8_t>& code, TAnalysisLimits limits = {}) {
    TBufferReader memory(0x1000, code);
    TFunctionInfo info;
    AnalyseFunction(0x1000, info, memory, TCpuMode::Bits64, {}, limits);
    return info;
}

TEST(FunctionAnalysis, JumpIntoAnAreaSplitsIt) {
    // xor eax,eax; test edi,edi; je +3; add eax,1; ret
    auto info = analyse({0x31, 0xC0, 0x85, 0xFF, 0x74, 0x03, 0x83, 0xC0, 0x01, 0xC3});
    ASSERT_TRUE(info.Valid);
    ASSERT_EQ(info.Areas.size(), 2u);
    EXPECT_EQ(info.Areas[0].Start, 0x1000u);
    EXPECT_EQ(info.Areas[0].End, 0x1008u);
    EXPECT_EQ(info.Areas[1].Start, 0x1009u);
    EXPECT_EQ(info.Areas[1].End, 0x1009u);
    EXPECT_EQ(info.FirstAddress, 0x1000u);
    EXPECT_EQ(info.Size, 10u);
}

TEST(FunctionAnalysis, CallToTheNextInstructionStartsNoArea) {
    // call +0; pop rax; ret
    auto info = analyse({0xE8, 0, 0, 0, 0, 0x58, 0xC3});
    ASSERT_EQ(info.Areas.size(), 1u);
    EXPECT_EQ(info.Areas[0].End, 0x1006u);
}

TEST(FunctionAnalysis, ForwardJumpPastDataStartsASecondArea) {
    // jmp +2; (two bytes never reached); ret
    auto info = analyse({0xEB, 0x02, 0xFF, 0xFF, 0xC3});
    ASSERT_EQ(info.Areas.size(), 2u);
    EXPECT_EQ(info.Areas[0].End, 0x1001u);
    EXPECT_EQ(info.Areas[1].Start, 0x1004u);
    EXPECT_EQ(info.Size, 5u);
}

TEST(FunctionAnalysis, LoopsAndHugeCodeAreBounded) {
    auto loop = analyse({0xEB, 0xFE}); // jmp to itself
    ASSERT_TRUE(loop.Valid);
    EXPECT_EQ(loop.Areas.size(), 1u);
    std::vector<std::uint8_t> nops(100000, 0x90);
    TAnalysisLimits limits;
    limits.MaxInstructions = 500;
    auto huge = analyse(nops, limits);
    ASSERT_TRUE(huge.Valid);
    EXPECT_TRUE(huge.Areas.back().Truncated);
    EXPECT_LE(huge.Size, 500u);
    TBufferReader memory(0x1000, nops);
    std::string text = ListFunction(huge, memory, TCpuMode::Bits64, 0, false);
    EXPECT_NE(text.find("[...]"), std::string::npos);
}

TEST(FunctionAnalysis, UnreadableEntryIsInvalidCode) {
    TBufferReader memory(0x1000, {});
    TFunctionInfo info;
    EXPECT_FALSE(AnalyseFunction(0x5000, info, memory, TCpuMode::Bits64, {}));
    EXPECT_EQ(info.Text, "Invalid code!");
    std::string text;
    EXPECT_FALSE(ParseFunction(16, text, 0));
    EXPECT_EQ(text, "Invalid code!");
}

TEST(Listing, LabelsSeparatorsAndUndecodableBytes) {
    // je +3; add eax,1; (3 bytes); 0x1007: ret ... with bad bytes reached by a jump
    std::vector<std::uint8_t> code = {0x31, 0xC0, 0x85, 0xFF, 0x74, 0x03, 0x83, 0xC0, 0x01, 0xC3};
    TBufferReader memory(0x1000, code);
    TFunctionInfo info;
    ASSERT_TRUE(AnalyseFunction(0x1000, info, memory, TCpuMode::Bits64, {}));
    std::string text = ListFunction(info, memory, TCpuMode::Bits64, 0x1006, false);
    EXPECT_NE(text.find("sub_1000:  ; function entry point\n"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(listingSeparator) + "\nloc_1009:\n"), std::string::npos) << text;
    EXPECT_EQ(std::string(listingSeparator), "; " + std::string(57, '-'));
    EXPECT_NE(text.find(">1006   "), std::string::npos) << text;
    EXPECT_NE(text.find("\n 1009   "), std::string::npos) << text;

    std::vector<std::uint8_t> bad = {0x31, 0xC0, 0x0F, 0xFF};
    TBufferReader badMemory(0x1000, bad);
    ASSERT_TRUE(AnalyseFunction(0x1000, info, badMemory, TCpuMode::Bits64, {}));
    text = ListFunction(info, badMemory, TCpuMode::Bits64, 0, false);
    EXPECT_NE(text.find("db "), std::string::npos) << text;
}

TEST(Listing, OwnFunctionThroughTheHook) {
    EXPECT_EQ(listedFunction(4), 18);
    ASSERT_TRUE(ReporterRuntime().DisasmHook);
    std::string text;
    auto address = reinterpret_cast<std::uintptr_t>(&listedFunction);
    ASSERT_TRUE(ReporterRuntime().DisasmHook(address, text, address, false, 5));
    EXPECT_NE(text.find("  ; function entry point\n"), std::string::npos) << text;
    // The faulting line is marked, and the generated map gives line numbers.
    std::string marked = ">" + vor::IntToHexEx(std::uint64_t{address}) + " ";
    EXPECT_NE(text.find(marked), std::string::npos) << text;
    auto at = text.find(marked);
    ASSERT_NE(at, std::string::npos) << text;
    std::string line = text.substr(at, text.find('\n', at) - at);
    EXPECT_EQ(vor::TrimCopy(line.substr(marked.size(), line.find("   ", marked.size() + 1) - marked.size())),
              vor::IntToStrEx(std::int32_t{LineAt(address)}))
        << line;
    EXPECT_GT(LineAt(address), 10);
}

TEST(SafeRead, FreeRegionReadsFalseWithoutFault) {
    long page = sysconf(_SC_PAGESIZE);
    void* p = mmap(nullptr, static_cast<std::size_t>(page), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    munmap(p, static_cast<std::size_t>(page));
    TProcessMemoryReader reader;
    char c;
    EXPECT_FALSE(reader.Read(reinterpret_cast<std::uintptr_t>(p), &c, 1));
    EXPECT_TRUE(reader.Read(reinterpret_cast<std::uintptr_t>(&listedFunction), &c, 1));
}

} // namespace
} // namespace ax
