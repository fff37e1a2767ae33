#include "crash/vorLinkDisAsm.h"
#include "crash/vorMapFile.h"
#include "crash/vorSettings.h"
#include "crash/vorStrings.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

extern "C" int switch8(int selector, int value);
// Called by every case of switch8 (support/switch8.c).
extern "C" __attribute__((noinline)) int switch8_sink(int value) {
    return value * 2;
}

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

// ---- switch tables ----

TEST(JumpTables, ThirtyTwoBitAbsoluteForm) {
    std::vector<std::uint8_t> code(0x40, 0xCC);
    const std::vector<std::uint8_t> head = {
        0x83, 0xF8, 0x03,                         // 1000 cmp eax, 3
        0x77, 0x1B,                               // 1003 ja 1020
        0xFF, 0x24, 0x85, 0x30, 0x10, 0x00, 0x00, // 1005 jmp dword ptr [eax*4+0x1030]
        0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3,       // 100c case 0: mov eax, 1; ret
        0xB8, 0x02, 0x00, 0x00, 0x00, 0xC3,       // 1012 case 1 and 3
        0xB8, 0x03, 0x00, 0x00, 0x00, 0xC3,       // 1018 case 2
        0xCC, 0xCC,                               // 101e
        0x31, 0xC0, 0xC3};                        // 1020 default: xor eax, eax; ret
    std::copy(head.begin(), head.end(), code.begin());
    const std::uint32_t table[] = {0x100C, 0x1012, 0x1018, 0x1012};
    std::memcpy(code.data() + 0x30, table, sizeof table);
    TBufferReader memory(0x1000, code);
    TFunctionInfo info;
    ASSERT_TRUE(AnalyseFunction(0x1000, info, memory, TCpuMode::Bits32, {}));
    ASSERT_EQ(info.JumpTables.size(), 1u);
    EXPECT_EQ(info.JumpTables[0].Jump, 0x1005u);
    EXPECT_EQ(info.JumpTables[0].Table, 0x1030u);
    EXPECT_EQ(info.JumpTables[0].Targets, (std::vector<std::uintptr_t>{0x100C, 0x1012, 0x1018, 0x1012}));
    std::vector<std::uintptr_t> starts;
    for (const auto& a : info.Areas) starts.push_back(a.Start);
    EXPECT_EQ(starts, (std::vector<std::uintptr_t>{0x1000, 0x100C, 0x1012, 0x1018, 0x1020}));
    const std::string text = ListFunction(info, memory, TCpuMode::Bits32, 0, false);
    EXPECT_NE(text.find("   jmp dword ptr [eax*4+0x1030]\n"
                        "  dd loc_100c  ; case jump table\n"
                        "  dd loc_1012  ; case jump table\n"
                        "  dd loc_1018  ; case jump table\n"
                        "  dd loc_1012  ; case jump table\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("loc_1018:\n"), std::string::npos) << text;
}

TEST(JumpTables, GccPositionIndependentForm) {
    std::vector<std::uint8_t> code(0x40, 0xCC);
    const std::vector<std::uint8_t> head = {
        0x89, 0xF8,                               // 1000 mov eax, edi
        0x83, 0xF8, 0x02,                         // 1002 cmp eax, 2
        0x77, 0x16,                               // 1005 ja 101d
        0x48, 0x8D, 0x15, 0x22, 0x00, 0x00, 0x00, // 1007 lea rdx, [rip+0x22] = 1030
        0x48, 0x63, 0x04, 0x82,                   // 100e movsxd rax, dword ptr [rdx+rax*4]
        0x48, 0x01, 0xD0,                         // 1012 add rax, rdx
        0xFF, 0xE0,                               // 1015 jmp rax
        0xB0, 0x01, 0xC3,                         // 1017 case 0: mov al, 1; ret (right after the jump)
        0xB0, 0x02, 0xC3,                         // 101a case 1
        0x31, 0xC0, 0xC3};                        // 101d default and case 2
    std::copy(head.begin(), head.end(), code.begin());
    const std::int32_t table[] = {0x1017 - 0x1030, 0x101A - 0x1030, 0x101D - 0x1030};
    std::memcpy(code.data() + 0x30, table, sizeof table);
    TBufferReader memory(0x1000, code);
    TFunctionInfo info;
    ASSERT_TRUE(AnalyseFunction(0x1000, info, memory, TCpuMode::Bits64, {}));
    ASSERT_EQ(info.JumpTables.size(), 1u);
    EXPECT_EQ(info.JumpTables[0].Jump, 0x1015u);
    EXPECT_EQ(info.JumpTables[0].Table, 0x1030u);
    EXPECT_EQ(info.JumpTables[0].Targets, (std::vector<std::uintptr_t>{0x1017, 0x101A, 0x101D}));
    EXPECT_EQ(info.Areas.size(), 4u);
    EXPECT_EQ(info.Size, 0x20u);
}

TEST(JumpTables, WithoutABoundNoTableIsRead) {
    std::vector<std::uint8_t> code(0x40, 0xCC);
    const std::vector<std::uint8_t> head = {
        0x48, 0x8D, 0x15, 0x29, 0x00, 0x00, 0x00, // 1000 lea rdx, [rip+0x29] = 1030
        0x48, 0x63, 0x04, 0x82,                   // 1007 movsxd rax, dword ptr [rdx+rax*4]
        0x48, 0x01, 0xD0,                         // 100b add rax, rdx
        0xFF, 0xE0};                              // 100e jmp rax
    std::copy(head.begin(), head.end(), code.begin());
    TBufferReader memory(0x1000, code);
    TFunctionInfo info;
    ASSERT_TRUE(AnalyseFunction(0x1000, info, memory, TCpuMode::Bits64, {}));
    EXPECT_TRUE(info.JumpTables.empty());
    EXPECT_EQ(info.Areas.size(), 1u);
    // A bound larger than the readable memory: the table is not trusted.
    const std::vector<std::uint8_t> bounded = {
        0x83, 0xF8, 0x7F, 0x77, 0x20,             // cmp eax, 0x7f; ja
        0xFF, 0x24, 0x85, 0x30, 0x10, 0x00, 0x00}; // jmp dword ptr [eax*4+0x1030]
    std::vector<std::uint8_t> small(0x40, 0);
    std::copy(bounded.begin(), bounded.end(), small.begin());
    TBufferReader smallMemory(0x1000, small);
    ASSERT_TRUE(AnalyseFunction(0x1000, info, smallMemory, TCpuMode::Bits32, {}));
    EXPECT_TRUE(info.JumpTables.empty());
}

// The labels of the compiler's listing that the jump table names, in table
// order, as offsets from the start of the function's section.
struct TListedSwitch {
    std::vector<std::uintptr_t> CaseOffsets;
    std::uintptr_t FunctionOffset = 0;
    bool FoundFunction = false;
};

TListedSwitch ReadListing(const std::string& path, const std::string& function) {
    std::ifstream in(path);
    std::string line, section = ".text";
    std::map<std::string, std::uintptr_t> labels; // in the function's section
    std::vector<std::string> pending, tableLabels;
    TListedSwitch result;
    while (std::getline(in, line)) {
        // "  29 0015 48630482 \t\tmovslq ...": line number, offset, bytes, a tab, the source.
        const auto tab = line.find('\t');
        const std::string head = line.substr(0, tab);
        // Without the comment the compiler may put after a label.
        const std::string source =
            tab == std::string::npos ? "" : vor::TrimCopy(line.substr(tab, line.find('#', tab) - tab));
        const bool hasOffset = head.size() >= 9 && std::isxdigit(static_cast<unsigned char>(head[5]));
        if (source.rfind(".section", 0) == 0) {
            std::istringstream words(source.substr(8));
            words >> section;
            if (!section.empty() && section.back() == ',') section.pop_back();
            section = section.substr(0, section.find(','));
        } else if (source == ".text") {
            section = ".text";
        }
        if (!source.empty() && source.back() == ':' && source.find(' ') == std::string::npos)
            pending.push_back(source.substr(0, source.size() - 1));
        // The table stands in .rodata, or in a section of the function's own.
        const bool table = section == ".rodata" || section == ".rodata." + function;
        if (table && source.rfind(".long", 0) == 0) {
            const std::string value = vor::TrimCopy(source.substr(5));
            tableLabels.push_back(value.substr(0, value.find('-')));
        }
        if (hasOffset && section == ".text." + function) {
            const std::uintptr_t offset = std::stoul(head.substr(5, 4), nullptr, 16);
            for (const auto& label : pending) labels[label] = offset;
            pending.clear();
        } else if (hasOffset) {
            pending.clear();
        }
    }
    if (auto it = labels.find(function); it != labels.end()) {
        result.FoundFunction = true;
        result.FunctionOffset = it->second;
    }
    for (const auto& label : tableLabels)
        if (auto it = labels.find(label); it != labels.end()) result.CaseOffsets.push_back(it->second);
    return result;
}

TEST(JumpTables, AnEightCaseSwitchOfTheCompilerIsListedWhole) {
    EXPECT_EQ(switch8(0, 5), 33); // (5 + 11) * 2, plus 1
    EXPECT_EQ(switch8(1, 5), 38); // (5 * 3) * 2 + 7, plus 1
    EXPECT_EQ(switch8(8, 5), 0);  // default: -1, plus 1
    const TListedSwitch listed = ReadListing(AX_SWITCH8_LISTING, "switch8");
    ASSERT_TRUE(listed.FoundFunction) << AX_SWITCH8_LISTING;
    ASSERT_EQ(listed.CaseOffsets.size(), 8u) << "the compiler made a table of eight entries";
    const auto entry = reinterpret_cast<std::uintptr_t>(&switch8);
    std::string text;
    ASSERT_TRUE(ParseFunction(entry, text, entry));
    std::vector<std::uintptr_t> listedTargets;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("  dd loc_", 0) == 0)
            listedTargets.push_back(std::stoul(line.substr(9, line.find(' ', 9) - 9), nullptr, 16));
    std::vector<std::uintptr_t> expected;
    for (auto offset : listed.CaseOffsets) expected.push_back(entry + offset - listed.FunctionOffset);
    EXPECT_EQ(listedTargets, expected) << text;
    // Every case body is listed, under its label.
    for (auto target : expected)
        EXPECT_NE(text.find("loc_" + vor::IntToHexEx(std::uint64_t{target}) + ":\n"), std::string::npos)
            << std::hex << target << "\n"
            << text;
}

TEST(FunctionAnalysis, XbeginGoesOnAndFollowsItsFallback) {
    // xbegin +3; ret; (fallback) xor eax, eax; ret
    auto info = analyse({0xC7, 0xF8, 0x01, 0x00, 0x00, 0x00, 0xC3, 0x31, 0xC0, 0xC3});
    ASSERT_TRUE(info.Valid);
    ASSERT_EQ(info.Areas.size(), 2u);
    EXPECT_EQ(info.Areas[0].End, 0x1006u);
    EXPECT_EQ(info.Areas[1].Start, 0x1007u);
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
