#include "crash/vorMapFile.h"
#include "crash/vorStrings.h"
#include "platform/module.h"
#include "support/packed_writer.h"

#include <gtest/gtest.h>

#include <elf.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace ax {

namespace maptest {
// Known functions whose name and line the generated map must resolve.
__attribute__((noinline)) int knownFirst(int x) {
    int y = x * 7;
    return y + 3;
}
__attribute__((noinline)) int knownSecond(int x) {
    volatile int z = x;
    return z * z;
}
struct Widget {
    __attribute__((noinline)) int measure(int x) const { return x + width; }
    int width = 5;
};
// Function objects: their names end in "operator()".
struct Adder {
    __attribute__((noinline)) int operator()(int x) const { return x + step; }
    int step = 2;
};
inline auto doubler = [](int x) __attribute__((noinline)) { return x * 2; };
} // namespace maptest

namespace {

using namespace testsupport;

constexpr TModuleRanges ranges{0, 0x10000, 0x11234, 0x20000, 0x20200};

// Detailed-map lines are longer than 72 characters.
std::string detail(const std::string& head, const std::string& unit) {
    std::string line = head + " M=" + unit;
    while (line.size() < 76) line += ' ';
    return line + " ACBP=A9";
}

std::string sampleMap() {
    return std::string(" Start         Length     Name                   Class\r\n") +
           " 0001:00000000 00001234H .text                   CODE\r\n" +
           " 0002:00000000 00000200H .data                   DATA\r\n\r\n" +
           "Detailed map of segments\r\n\r\n" +
           detail(" 0001:00000000 00000100 C=CODE     S=.text    G=(none)  ", "System") + "\r\n" +
           detail(" 0001:00000100 00000080 C=CODE     S=.text    G=(none)  ", "Main.pas") + "\r\n" +
           detail(" 0001:00000180 00000080 C=CODE     S=.text    G=(none)  ", "helpers.cpp") + "\r\n" +
           detail(" 0002:00000000 00000040 C=DATA     S=.data    G=DGROUP  ", "Main") + "\r\n\r\n" +
           "  Address         Publics by Value\r\n\r\n" +
           " 0001:00000000       System.@Start\r\n" +
           " 0001:00000010       System.Move\r\n" +
           " 0001:00000050       @$xp$Something\r\n" +
           " 0001:00000100       Main.TForm1.Button1Click\r\n" +
           " 0001:00000140       Main.DoWork(Integer,(Byte))\r\n" +
           " 0001:00000180       HelperRun\r\n" +
           " 0002:00000010       Main.Counter\r\n\r\n" +
           "Line numbers for helpers(helpers.cpp) segment .text\r\n\r\n" +
           "     7 0001:00000180     8 0001:00000190\r\n\r\n" +
           "Line numbers for Main(Main.pas) segment .text\r\n\r\n" +
           "    10 0001:00000100    11 0001:00000110    12 0001:00000120\r\n" +
           "    20 0001:00000140    21 0001:00000150\r\n\r\n" +
           "Program entry point at 0001:00000010\r\n";
}

TEST(MapText, SegmentsWithExtensionsRemoved) {
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadMapText(sampleMap()));
    auto s = map.FindSegment(true, 0x10105);
    ASSERT_TRUE(s.Valid);
    EXPECT_EQ(s.UnitName, "Main");
    EXPECT_EQ(s.Start, 0x10100u);
    EXPECT_EQ(s.Length, 0x80u);
    EXPECT_EQ(map.FindSegment(true, 0x10185).UnitName, "helpers.cpp");
    EXPECT_EQ(map.FindSegment(false, 0x20010).UnitName, "Main");
    EXPECT_FALSE(map.FindSegment(false, 0x10105).Valid);
    EXPECT_FALSE(map.FindSegment(true, 0x10200).Valid);
    EXPECT_EQ(map.EntryPoint, 0x10010u);
}

TEST(MapText, PublicsWithUnitPrefixesRemoved) {
    TMapFile map(ranges, "");
    map.ReadMapText(sampleMap());
    EXPECT_EQ(map.FindPublic(0x10115).Name, "TForm1.Button1Click");
    EXPECT_EQ(map.FindPublic(0x10115).Address, 0x10100u);
    EXPECT_EQ(map.FindPublic(0x10145).Name, "DoWork");
    EXPECT_EQ(map.FindPublic(0x10010).Name, "Move");
    EXPECT_EQ(map.FindPublic(0x10055).Name, "Move"); // the "@$x" name is skipped
    EXPECT_FALSE(map.FindPublic(0xFFFF).Valid);
    EXPECT_EQ(map.FindPublic(0x11200).Name, "HelperRun");
    // The last public holds only up to the end of the code range.
    EXPECT_FALSE(map.FindPublic(0x20011).Valid);
    EXPECT_FALSE(map.FindPublic(0x11234).Valid);
    ASSERT_EQ(map.Publics.back().Name, "Counter");
    EXPECT_FALSE(map.Publics.back().Code);
}

TEST(MapText, CodePublicsStayInsideTheCodeRange) {
    TModuleRanges r = ranges;
    TMapFile map(r, "");
    map.ReadMapText(sampleMap());
    // An address between the code end and the data public is no code symbol.
    EXPECT_FALSE(map.FindPublic(0x11300).Valid);
}

TEST(MapText, SymbolSearchRetriesWithSourceExtensions) {
    TMapFile map(ranges, "");
    map.ReadMapText(sampleMap());
    EXPECT_EQ(map.FindSymbol(true, "main", false, "tform1.button1click"), 0x10100u);
    EXPECT_EQ(map.FindSymbol(true, "Main", true, "tform1.button1click"), 0u);
    EXPECT_EQ(map.FindSymbol(true, "helpers", true, "HelperRun"), 0x10180u);
    EXPECT_EQ(map.FindSymbol(true, "helpers.c", true, "HelperRun"), 0u); // has a dot: no retry
    EXPECT_EQ(map.FindSymbol(false, "Main", true, "Counter"), 0x20010u);
    EXPECT_EQ(map.FindSymbol(true, "System", true, "Counter"), 0u);
}

TEST(MapText, LinesSortedWhateverTheirOrderInTheFile) {
    TMapFile map(ranges, "");
    map.ReadMapText(sampleMap());
    map.SortLines();
    std::uintptr_t next = 0;
    EXPECT_EQ(map.LineOf(0x10115, next), 11);
    EXPECT_EQ(next, 0x10120u);
    EXPECT_EQ(map.LineOf(0x1017F, next), 21);
    EXPECT_EQ(next, 0x10180u);
    EXPECT_EQ(map.LineOf(0x10185, next), 7);
    EXPECT_EQ(map.LineOf(0x10195, next), 8);
    // A record of another segment does not give the line.
    EXPECT_EQ(map.LineOf(0x10090, next), 0);
    EXPECT_EQ(next, 0x10091u);
}

TEST(MapText, WithoutLineTableCodeUnitsGiveMinusOne) {
    TMapFile map(ranges, "");
    std::string text = sampleMap();
    text.resize(text.find("Line numbers for"));
    map.ReadMapText(text);
    std::uintptr_t next = 0;
    EXPECT_EQ(map.LineOf(0x10105, next), -1);
    EXPECT_EQ(map.LineOf(0x10300, next), 0);
}

TEST(MapText, EntryPointNeedsEightHexDigits) {
    const std::string head = std::string(" Start         Length     Name                   Class\n") +
                             " 0001:00000000 00001000H .text                   CODE\n\n";
    for (const char* line : {"xx Program entry point at 0001:1234", "Program entry point at 0001:0000zz10",
                             "Program entry point at 0001:       1"}) {
        TMapFile map(ranges, "");
        map.ReadMapText(head + line + "\n");
        EXPECT_EQ(map.EntryPoint, 0u) << line;
    }
    TMapFile map(ranges, "");
    map.ReadMapText(head + "xx Program entry point at 0001:0000AB10\n");
    EXPECT_EQ(map.EntryPoint, 0x1AB10u);
}

TEST(MapText, LineRangeRunsFromTheLinesOwnAddressToItsEnd) {
    // Unit A has lines, unit B none: A's last line ends with A's segment.
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadPacked(packedData(
        packedPayload({{0, 0x100, "A"}, {0x100, 0x100, "B"}}, {}, {{5, 0x10}, {6, 0x40}, {9, 0x280}}))));
    map.SortLines();
    std::uintptr_t first = 0, end = 0;
    EXPECT_EQ(map.LineRange(0x10020, first, end), 5);
    EXPECT_EQ(first, 0x10010u);
    EXPECT_EQ(end, 0x10040u);
    EXPECT_EQ(map.LineRange(0x10050, first, end), 6);
    EXPECT_EQ(first, 0x10040u);
    EXPECT_EQ(end, 0x10100u); // not up to the next record at 0x10280
    EXPECT_EQ(map.LineRange(0x10150, first, end), 0);
    EXPECT_EQ(first, 0x10150u);
    EXPECT_EQ(end, 0x10151u);
    std::uintptr_t next = 0;
    EXPECT_EQ(map.LineOf(0x10050, next), 6);
    EXPECT_EQ(next, 0x10280u); // the next record, as LineOf reports it
}

TEST(MapText, SegmentsOfTheSameStartAreFoundByBinarySearch) {
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadPacked(packedData(packedPayload(
        {{0, 0x40, "Long"}, {0x40, 0x20, "Short"}, {0x60, 0x10, "Next"}, {0x400, 0x10, "Far"}}, {}, {}))));
    EXPECT_EQ(map.FindSegment(true, 0x1003F).UnitName, "Long");
    EXPECT_EQ(map.FindSegment(true, 0x10040).UnitName, "Short");
    EXPECT_EQ(map.FindSegment(true, 0x1006F).UnitName, "Next");
    EXPECT_FALSE(map.FindSegment(true, 0x10070).Valid);
    EXPECT_EQ(map.FindSegment(true, 0x10405).UnitName, "Far");
    EXPECT_FALSE(map.FindSegment(true, 0x10410).Valid);
    EXPECT_FALSE(map.FindSegment(false, 0x10405).Valid);
}

TEST(MapText, DataSegmentNumberOneCountsAsTwo) {
    std::string text = std::string(" Start         Length     Name                   Class\n") +
                       " 0001:00000000 00001000H .text                   CODE\n" +
                       " 0001:00000000 00000100H .data                   DATA\n\n" +
                       "  Address         Publics by Value\n\n" +
                       " 0001:00000020       First\n" + " 0002:00000030       Second\n";
    TMapFile map(ranges, "");
    map.ReadMapText(text);
    ASSERT_EQ(map.Publics.size(), 2u);
    EXPECT_TRUE(map.Publics[0].Code);
    EXPECT_EQ(map.Publics[0].Address, 0x10020u);
    EXPECT_FALSE(map.Publics[1].Code);
    EXPECT_EQ(map.Publics[1].Address, 0x20030u);
}

TEST(MapText, GarbageGivesNothing) {
    TMapFile map(ranges, "");
    EXPECT_FALSE(map.ReadMapText("Publics by Value\n\n0001:zz\n:::::::::::::::::::\n\xff\xfe"));
    EXPECT_FALSE(map.ReadMapText(""));
}

// ---- packed format ----

const std::vector<PackedSegment> segments = {{0, 0x100, "Main.pas"}, {0x100, 0x400, "Other"}};
const std::vector<PackedPublic> publics = {{"Start", 0x10}, {"Far", 0x300}, {"Near", 0x305}};
const std::vector<PackedLine> lines = {{40, 0x10}, {41, 0x18}, {12, 0x100}, {400, 0x300}};

TEST(Packed, CompactIntegers) {
    std::string s;
    putCompact(s, 5);
    putCompact(s, -3);
    putCompact(s, 200);
    putCompact(s, -128);
    EXPECT_EQ(s, std::string("\x05\xfd\x80\xc8\0\0\0\x80\x80\xff\xff\xff", 12));
}

TEST(Packed, ReadsItsOwnWriterData) {
    const std::uint32_t entry = 0x20;
    for (std::uint32_t version : {2u, 3u}) {
        TMapFile map(ranges, "");
        ASSERT_TRUE(map.ReadPacked(packedData(packedPayload(segments, publics, lines, false, &entry), version)))
            << version;
        map.SortLines();
        EXPECT_EQ(map.FindSegment(true, 0x10050).UnitName, "Main");
        EXPECT_EQ(map.FindSegment(true, 0x10450).UnitName, "Other");
        EXPECT_EQ(map.FindPublic(0x10302).Name, "Far");
        EXPECT_EQ(map.FindPublic(0x10305).Address, 0x10305u);
        std::uintptr_t next = 0;
        EXPECT_EQ(map.LineOf(0x10019, next), 41);
        EXPECT_EQ(map.LineOf(0x10301, next), 400);
        EXPECT_EQ(map.EntryPoint, 0x10020u);
    }
}

TEST(Packed, CheckTextOfMinimalInformation) {
    std::string data = packedData(packedPayload(segments, publics, lines), 3, 0x1234, 0xabcdef01);
    char expected[64];
    std::snprintf(expected, sizeof expected, "$%08x, $00001234, $abcdef01",
                  static_cast<unsigned>(data.size()));
    TMapFile wrong(ranges, "");
    wrong.MinCheckText = "$00000000, $00001234, $abcdef01";
    EXPECT_FALSE(wrong.ReadPacked(data));
    TMapFile right(ranges, "");
    right.MinCheckText = expected;
    ASSERT_TRUE(right.ReadPacked(data));
    // Flag bit 0 clear: the check text is emptied, names come from the data itself.
    EXPECT_TRUE(right.MinCheckText.empty());
}

TEST(Packed, MinimalInformationWithoutNamesFileSynthesisesNames) {
    std::string data = packedData(packedPayload(segments, publics, lines, true), 3, 1, 2, 1);
    TMapFile map(ranges, "/nonexistent/module");
    ASSERT_TRUE(map.ReadPacked(data));
    EXPECT_EQ(map.FindSegment(true, 0x10150).UnitName, "segment%1");
    EXPECT_EQ(map.FindPublic(0x10306).Name, "public%2");
}

TEST(Packed, DamagedHeadersAndCountsGiveAnEmptyReader) {
    std::string good = packedData(packedPayload(segments, publics, lines), 3);
    TMapFile map(ranges, "");
    EXPECT_FALSE(map.ReadPacked(good.substr(0, 22)));
    std::string badSignature = good;
    badSignature[0] = 'X';
    EXPECT_FALSE(map.ReadPacked(badSignature));
    std::string badVersion = good;
    badVersion[18] = 4;
    EXPECT_FALSE(map.ReadPacked(badVersion));
    std::string longPayload = good;
    longPayload[17] = '\x7f'; // payload length far beyond the data
    EXPECT_FALSE(map.ReadPacked(longPayload));
    EXPECT_FALSE(map.ReadPacked(good.substr(0, good.size() - 1)));
    // Counts far beyond what the payload holds must not be trusted.
    std::string hugeSegments;
    putU32(hugeSegments, 0xFFFFFFFFu);
    EXPECT_FALSE(map.ReadPacked(packedData(hugeSegments)));
    std::string hugeLines = packedPayload({}, {}, {});
    hugeLines[8] = hugeLines[9] = hugeLines[10] = '\x7f';
    EXPECT_FALSE(map.ReadPacked(packedData(hugeLines)));
    std::string cutName = packedPayload({{0, 10, "LongUnitName"}}, {}, {});
    cutName.resize(12);
    EXPECT_FALSE(map.ReadPacked(packedData(cutName)));
    EXPECT_TRUE(map.Segments.empty());
    EXPECT_TRUE(map.Publics.empty());
}

// ---- ".jdbg" ----

TEST(Jdbg, NamePacking) {
    EXPECT_EQ(jdbgName("A"), std::string("\x0b\0\0", 3));
    EXPECT_EQ(jdbgName("ab_"), std::string("\xa5\xf9\x03", 3));
    EXPECT_EQ(jdbgName("@Z"), std::string("\x02\x24\0\0", 4));
    EXPECT_EQ(jdbgName("a.b"), std::string("\x01\xcb\x84\xc8\0", 5));
}

TEST(Jdbg, ReadsUnitsProceduresAndLines) {
    std::string file = jdbgFile({{0, "Main"}, {0x200, "Helpers"}},
                                {{0x10, "Main", "Main.Start"},
                                 {0x80, "Main", "@Init"},
                                 {0x210, "Helpers", "a.b"},
                                 {0x220, "", "x9"}},
                                {{5, 0x10}, {9, 0x20}, {3, 0x210}});
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadJdbg(file));
    map.SortLines();
    EXPECT_EQ(map.FindSegment(true, 0x101ff).UnitName, "Main");
    EXPECT_EQ(map.FindSegment(true, 0x11000).UnitName, "Helpers"); // last unit runs to the code end
    EXPECT_EQ(map.FindPublic(0x10011).Name, "Start");
    EXPECT_EQ(map.FindPublic(0x10090).Name, "@Init");
    EXPECT_EQ(map.FindPublic(0x10215).Name, "a.b");
    EXPECT_EQ(map.FindPublic(0x10225).Name, "x9");
    std::uintptr_t next = 0;
    EXPECT_EQ(map.LineOf(0x10025, next), 9);
    EXPECT_EQ(map.LineOf(0x10211, next), 3);
}

TEST(Jdbg, DamagedFilesGiveAnEmptyReader) {
    std::string file = jdbgFile({{0, "Main"}}, {{0x10, "Main", "Start"}}, {{5, 0x10}});
    TMapFile map(ranges, "");
    EXPECT_FALSE(map.ReadJdbg(file.substr(0, 32)));
    EXPECT_FALSE(map.ReadJdbg(file + "x")); // not a multiple of 4
    std::string sum = file;
    sum[40] ^= 1;
    EXPECT_FALSE(map.ReadJdbg(sum));
    std::string offsets = file;
    offsets[12] = '\x7f'; // unit list far beyond the file
    EXPECT_FALSE(map.ReadJdbg(offsets));
    // A list that never ends runs into the end of the file, not beyond it.
    std::string endless = jdbgFile({}, {}, {}, false);
    std::uint32_t listAt = 36;
    for (std::size_t i = listAt; i < endless.size(); ++i) endless[i] = '\xff';
    EXPECT_FALSE(map.ReadJdbg(endless));
    EXPECT_TRUE(map.Segments.empty());
}

TEST(Jdbg, ChecksumOfAHandWrittenFile) {
    // One unit "Main" at 0, one procedure "Main.Run" of unit "Main" at 0x10,
    // line 7 at 0x10; names in the XOR text form. The checksum at 29..32 is
    // the sum of the 19 aligned dwords with those four bytes zero:
    // 4742444a + 1 + 2400 + 2b00 + 3300 + 3a00 + 0 + 00 (at 28) + 1 + ffff0000
    // + 1007ffff + ffff0600 + 1007ffff + ffffff07 + e70107ff + c4c3cb
    // + c3cbe701 + dff884c4 + c4 = f2db3ea3 (mod 2^32), stored as a3 3e db f2;
    // the dwords at 28 and 32 then read db3ea300 and 1f2.
    const unsigned char bytes[] = {
        0x4a, 0x44, 0x42, 0x47, 0x01, 0x00, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00,
        0x00, 0x33, 0x00, 0x00, 0x00, 0x3a, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xa3, 0x3e, 0xdb,
        0xf2, 0x01, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0x07, 0x10, 0x00, 0x06, 0xff, 0xff,
        0xff, 0xff, 0x07, 0x10, 0x07, 0xff, 0xff, 0xff, 0xff, 0x07, 0x01, 0xe7, 0xcb, 0xc3, 0xc4, 0x00,
        0x01, 0xe7, 0xcb, 0xc3, 0xc4, 0x84, 0xf8, 0xdf, 0xc4, 0x00, 0x00, 0x00};
    const std::string file(reinterpret_cast<const char*>(bytes), sizeof bytes);
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadJdbg(file));
    map.SortLines();
    EXPECT_EQ(map.FindSegment(true, 0x10010).UnitName, "Main");
    EXPECT_EQ(map.FindPublic(0x10012).Name, "Run"); // the unit prefix is removed
    std::uintptr_t next = 0;
    EXPECT_EQ(map.LineOf(0x10012, next), 7);
    for (int delta : {-1, 1}) {
        std::string wrong = file;
        wrong[29] = static_cast<char>(0xa3 + delta);
        TMapFile other(ranges, "");
        EXPECT_FALSE(other.ReadJdbg(wrong)) << delta;
    }
    // Without the flag byte the checksum is not looked at.
    std::string unchecked = file;
    unchecked[33] = 0;
    unchecked[29] = 0;
    TMapFile other(ranges, "");
    EXPECT_TRUE(other.ReadJdbg(unchecked));
}

TEST(Jdbg, ProcedureUnitPrefixComesFromItsOwnUnitEntry) {
    std::string file = jdbgFile({{0, "Main"}}, {{0x10, "Helpers", "Helpers.Run"}, {0x20, "", "Main.Go"}}, {});
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadJdbg(file));
    EXPECT_EQ(map.FindPublic(0x10010).Name, "Run");
    EXPECT_EQ(map.FindPublic(0x10020).Name, "Go"); // no unit of its own: the segment's
}

TEST(Jdbg, LineNumbersPastTheSignedRangeWrap) {
    // Deltas of 0x7ffffffe twice run past INT32_MAX: the sum wraps instead
    // of overflowing a signed integer.
    std::string file = jdbgFile({{0, "Main"}}, {}, {{0x7ffffffe, 0x10}, {-4, 0x20}});
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadJdbg(file));
    map.SortLines();
    std::uintptr_t next = 0;
    EXPECT_EQ(map.LineOf(0x10010, next), 0x7ffffffe);
    EXPECT_EQ(map.LineOf(0x10020, next), -4);
}

TEST(Packed, LineNumbersPastTheSignedRangeWrap) {
    // The second line is stored as the compact delta -32 from -0x7ffffff0.
    std::string payload = packedPayload({{0, 0x100, "Main"}}, {}, {{-0x7ffffff0, 0x10}, {0x7ffffff0, 0x20}});
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadPacked(packedData(payload)));
    map.SortLines();
    std::uintptr_t next = 0;
    EXPECT_EQ(map.LineOf(0x10010, next), -0x7ffffff0);
    EXPECT_EQ(map.LineOf(0x10020, next), 0x7ffffff0);
}

// ---- the generated map of this very program ----

std::string run(const std::string& command) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string out;
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get())) out += buffer;
    return out;
}

std::string withoutParameters(std::string name) {
    auto p = name.find('(');
    if (p != std::string::npos) name.resize(p);
    return name;
}

TEST(GeneratedMap, NamesAndLinesAgreeWithAddr2line) {
    auto program = programModule();
    ASSERT_TRUE(program);
    std::ifstream mapFile(CompanionFileName(program->fileName, ".map"));
    ASSERT_TRUE(mapFile) << "the build writes the map beside the test program";
    auto reader = MapFileForAddress(0);
    ASSERT_TRUE(reader);
    const maptest::Widget widget;
    EXPECT_EQ(widget.measure(1) + maptest::knownFirst(1) + maptest::knownSecond(2), 20);
    struct Known {
        std::uintptr_t address;
        const char* name;
    };
    const Known known[] = {
        {reinterpret_cast<std::uintptr_t>(&maptest::knownFirst), "ax::maptest::knownFirst"},
        {reinterpret_cast<std::uintptr_t>(&maptest::knownSecond), "ax::maptest::knownSecond"},
        {reinterpret_cast<std::uintptr_t>(&PackedDataKey), "ax::PackedDataKey[abi:cxx11]"},
        {reinterpret_cast<std::uintptr_t>(&CompanionFileName), "ax::CompanionFileName"},
    };
    for (const auto& k : known) {
        for (std::uintptr_t delta : {0u, 4u, 9u}) {
            std::uintptr_t address = k.address + delta;
            char command[512];
            std::snprintf(command, sizeof command, "addr2line -f -C -e '%s' 0x%lx", program->fileName.c_str(),
                          static_cast<unsigned long>(address - program->bias));
            std::string out = run(command);
            auto newline = out.find('\n');
            ASSERT_NE(newline, std::string::npos) << out;
            std::string name = withoutParameters(out.substr(0, newline));
            int line = std::atoi(out.substr(out.rfind(':') + 1).c_str());
            auto p = reader->FindPublic(address);
            EXPECT_EQ(p.Name, k.name);
            EXPECT_EQ(p.Name, name);
            EXPECT_EQ(p.Address, k.address);
            std::uintptr_t next = 0;
            EXPECT_EQ(reader->LineOf(address, next), line) << k.name << "+" << delta;
        }
    }
    TAddressInfo info;
    ASSERT_TRUE(GetAddressInfo(known[0].address, info));
    EXPECT_EQ(info.UnitName, "vorMapFile_test.cpp");
    EXPECT_EQ(info.SymbolName, "ax::maptest::knownFirst");
    EXPECT_EQ(info.ModuleFileName, program->fileName);
    EXPECT_EQ(SymbolNameAt(known[0].address), "vorMapFile_test.cpp.ax::maptest::knownFirst");
    EXPECT_EQ(SymbolNameAt(known[0].address + 1), "");
    EXPECT_EQ(reader->FindSymbol(true, "vorMapFile_test", true, "ax::maptest::knownSecond"),
              known[1].address);
    EXPECT_GT(LineAt(known[0].address), 0);
}

// Code address of a non-virtual member function.
template <class Member>
std::uintptr_t codeAddress(Member member) {
    std::uintptr_t address = 0;
    std::memcpy(&address, &member, sizeof address);
    return address;
}

TEST(GeneratedMap, FunctionObjectsKeepTheirOperatorName) {
    const maptest::Adder adder;
    EXPECT_EQ(adder(1) + maptest::doubler(2), 7);
    auto reader = MapFileForAddress(0);
    ASSERT_TRUE(reader);
    const auto adderCall = codeAddress(&maptest::Adder::operator());
    const auto lambdaCall = codeAddress(&decltype(maptest::doubler)::operator());
    EXPECT_EQ(reader->FindPublic(adderCall).Name, "ax::maptest::Adder::operator()");
    EXPECT_EQ(reader->FindPublic(lambdaCall).Name, "ax::maptest::doubler::{lambda(int)#1}::operator()");
    EXPECT_EQ(SymbolNameAt(adderCall), "vorMapFile_test.cpp.ax::maptest::Adder::operator()");
}

// ---- a C program built with -g -O2 whose lines pass 100,000 ----

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Code and data ranges of an ELF file as it is linked (the first executable
// and the first writable loadable segment), for a reader of the file alone.
TModuleRanges linkedRanges(const std::string& elf) {
    TModuleRanges r;
    Elf64_Ehdr eh;
    if (elf.size() < sizeof eh) return r;
    std::memcpy(&eh, elf.data(), sizeof eh);
    for (int i = 0; i < eh.e_phnum; ++i) {
        Elf64_Phdr ph;
        const std::size_t at = eh.e_phoff + std::size_t{eh.e_phentsize} * i;
        if (at + sizeof ph > elf.size()) break;
        std::memcpy(&ph, elf.data() + at, sizeof ph);
        if (ph.p_type != PT_LOAD) continue;
        if ((ph.p_flags & PF_X) && r.CodeEnd == 0) {
            r.CodeStart = ph.p_vaddr;
            r.CodeEnd = ph.p_vaddr + ph.p_memsz;
        }
        if ((ph.p_flags & PF_W) && r.DataEnd == 0) {
            r.DataStart = ph.p_vaddr;
            r.DataEnd = ph.p_vaddr + ph.p_memsz;
        }
    }
    return r;
}

struct SizedSymbol {
    std::uintptr_t address = 0, size = 0;
    std::string name;
};

// The generated functions, as binutils' nm lists them.
std::vector<SizedSymbol> generatedFunctions(const std::string& program) {
    std::vector<SizedSymbol> out;
    std::istringstream lines(run("nm -S --defined-only '" + program + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, size, type, name;
        if (!(fields >> address >> size >> type >> name) || name.rfind("gen_", 0) != 0) continue;
        out.push_back({std::stoul(address, nullptr, 16), std::stoul(size, nullptr, 16), name});
    }
    return out;
}

TEST(GeneratedProgram, NamesAndLinesPast100000AgreeWithAddr2line) {
    const std::string program = AX_BIGPROG;
    const std::string elf = readFile(program);
    ASSERT_FALSE(elf.empty()) << program;
    const TModuleRanges ranges = linkedRanges(elf);
    ASSERT_NE(ranges.CodeEnd, 0u);
    auto map = TMapFile::Build(ranges, program);
    ASSERT_TRUE(map->Valid) << "the build writes " << CompanionFileName(program, ".map");

    // 200 addresses spread evenly over the generated functions' bytes.
    const auto functions = generatedFunctions(program);
    ASSERT_EQ(functions.size(), 80u);
    std::uintptr_t total = 0;
    for (const auto& f : functions) total += f.size;
    std::vector<std::uintptr_t> samples;
    for (std::uintptr_t k = 0; k < 200; ++k) {
        std::uintptr_t offset = (2 * k + 1) * total / 400;
        for (const auto& f : functions) {
            if (offset < f.size) {
                samples.push_back(f.address + offset);
                break;
            }
            offset -= f.size;
        }
    }
    ASSERT_EQ(samples.size(), 200u);
    std::string command = "addr2line -f -e '" + program + "'";
    for (auto a : samples) command += " 0x" + vor::IntToHexEx(std::uint64_t{a});
    std::istringstream answers(run(command));

    int agree = 0, past100000 = 0;
    std::string report;
    for (auto a : samples) {
        std::string name, place;
        ASSERT_TRUE(std::getline(answers, name) && std::getline(answers, place));
        const int line = std::atoi(place.substr(place.rfind(':') + 1).c_str());
        if (line > 100000) ++past100000;
        std::uintptr_t next = 0;
        const std::string mapName = map->FindPublic(a).Name;
        const int mapLine = map->LineOf(a, next);
        // Line 0: bytes the compiler gave no source line (Clang has such rows,
        // GCC none here); the map keeps the line before them, and only the
        // name can agree.
        if (mapName == name && (mapLine == line || line == 0))
            ++agree;
        else
            report += vor::IntToHexEx(std::uint64_t{a}) + ": addr2line " + name + ":" +
                      std::to_string(line) + ", map " + mapName + ":" + std::to_string(mapLine) + "\n";
    }
    std::printf("generated program: %d of 200 addresses agree with addr2line, %d past line 100,000\n", agree,
                past100000);
    EXPECT_GT(past100000, 50);
    EXPECT_GE(agree, 198) << report;
}

TEST(ProgramWithoutAranges, UnitsAndLinesComeFromTheUnitsOwnEntries) {
    const std::string program = AX_NOARANGES;
    const std::string elf = readFile(program);
    ASSERT_FALSE(elf.empty()) << program;
    ASSERT_EQ(run("objdump -h '" + program + "'").find(".debug_aranges"), std::string::npos)
        << "the test program still has its aranges";
    auto map = TMapFile::Build(linkedRanges(elf), program);
    ASSERT_TRUE(map->Valid) << "the build writes " << CompanionFileName(program, ".map");

    const std::map<std::string, std::string> unitOf = {
        {"unit_a_sum", "noaranges_a.c"}, {"main", "noaranges_a.c"},
        {"unit_b_twice", "noaranges_b.c"}, {"unit_b_third", "noaranges_b.c"}};
    std::vector<std::uintptr_t> samples;
    std::string command = "addr2line -e '" + program + "'";
    std::istringstream symbols(run("nm -S --defined-only '" + program + "'"));
    std::string line;
    while (std::getline(symbols, line)) {
        std::istringstream fields(line);
        std::string address, size, type, name;
        if (!(fields >> address >> size >> type >> name) || !unitOf.count(name)) continue;
        const std::uintptr_t start = std::stoul(address, nullptr, 16), length = std::stoul(size, nullptr, 16);
        EXPECT_EQ(map->FindSegment(true, start).UnitName, unitOf.at(name)) << name;
        for (std::uintptr_t a = start; a < start + length; a += 3) {
            samples.push_back(a);
            command += " 0x" + vor::IntToHexEx(std::uint64_t{a});
        }
    }
    ASSERT_GT(samples.size(), 8u);
    std::istringstream answers(run(command));
    int agree = 0, counted = int(samples.size());
    std::string report;
    for (auto a : samples) {
        std::string place;
        ASSERT_TRUE(std::getline(answers, place));
        const int expected = std::atoi(place.substr(place.rfind(':') + 1).c_str());
        // Line 0 is Clang's "no source line"; the map keeps the line before.
        if (expected == 0) {
            --counted;
            continue;
        }
        std::uintptr_t next = 0;
        const int got = map->LineOf(a, next);
        if (got == expected) ++agree;
        else report += vor::IntToHexEx(std::uint64_t{a}) + ": addr2line " + place + ", map " + std::to_string(got) + "\n";
    }
    EXPECT_GE(agree, counted * 95 / 100) << report;
}

TEST(Cache, OwnModuleWhicheverAddressFoundTheReaderFirst) {
    ClearMapFileCache();
    auto byCode = MapFileForAddress(reinterpret_cast<std::uintptr_t>(&maptest::knownFirst));
    ASSERT_TRUE(byCode);
    EXPECT_TRUE(byCode->OwnModule);
    EXPECT_EQ(MapFileForAddress(0), byCode);
}

TEST(Cache, SharedReadersOutliveTheirReplacement) {
    auto first = MapFileForAddress(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(MapFileForAddress(0), first); // cached
    ClearMapFileCache();
    auto second = MapFileForAddress(0);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_FALSE(first->Publics.empty()); // still usable by its holder
    EXPECT_EQ(MapFileForAddress(16), nullptr);
}

TEST(MiniStream, ReadsAtMostWhatIsLeft) {
    TMiniStream s("abcdef");
    char b[8] = {};
    EXPECT_EQ(s.Read(b, 4), 4);
    EXPECT_EQ(s.Read(b, 4), 2);
    EXPECT_EQ(s.Read(b, 4), 0);
    s.Position = -1;
    EXPECT_EQ(s.Read(b, 1), 0);
    s.Position = 0;
    EXPECT_EQ(s.Read(b, -1), 0);
}

TEST(CompanionFile, LastExtensionReplaced) {
    EXPECT_EQ(CompanionFileName("/a/b/app", ".map"), "/a/b/app.map");
    EXPECT_EQ(CompanionFileName("/a/b/app.exe", ".map"), "/a/b/app.map");
    EXPECT_EQ(CompanionFileName("/a/b.d/libx.so", ".vor"), "/a/b.d/libx.vor");
    EXPECT_EQ(CompanionFileName("/a/b.d/app", ".jdbg"), "/a/b.d/app.jdbg");
}

} // namespace
} // namespace ax
