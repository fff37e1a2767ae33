#include "crash/vorMapFile.h"
#include "support/td32_writer.h"

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

using namespace testsupport;

constexpr TModuleRanges ranges{0, 0x10000, 0x10200, 0x20000, 0x20100};

Td32Writer sampleWriter() {
    Td32Writer w;
    Td32Module main;
    main.name = "C:\\work\\src\\MainUnit.pas";
    main.segments = {{1, 0x0, 0x100}, {2, 0x0, 0x20}};
    main.symbols = {{0x205, 1, 0x10, "MainUnit.TForm1.Click", 0x30},
                    {0x204, 1, 0x60, "LocalHelper", 0x20},
                    {0x202, 2, 0x8, "MainUnit.Counter"},
                    {0x201, 2, 0x10, "Local"}};
    // Two tables out of address order: the reader sorts.
    main.sources = {{"C:\\work\\src\\MainUnit.pas",
                     {{1, {{0x60, 40}, {0x70, 41}}}, {1, {{0x10, 20}, {0x18, 21}}}}}};
    Td32Module helpers;
    helpers.name = "/home/dev/helpers.cpp";
    helpers.segments = {{1, 0x100, 0x80}, {2, 0x20, 0x10}};
    helpers.symbols = {{0x205, 1, 0x100, "HelperRun", 0x40}, {0x205, 1, 0x140, "HelperStop", 0x20}};
    helpers.sources = {{"helpers.cpp", {{1, {{0x100, 7}, {0x120, 9}}}}},
                       {"helpers.h", {{1, {{0x140, 30}}}, {2, {{0x0, 99}}}}}};
    w.modules = {main, helpers};
    w.globalPublics = {{0x20, 1, 0x10, "MainUnit.TForm1.Click"},
                       {0x20, 1, 0x180, "ExportedStub"},
                       {0x21, 2, 0x24, "GlobalTable"},
                       {0x20, 3, 0x0, "OtherSection"}};
    return w;
}

std::string sampleTds() {
    return sampleWriter().Build().bytes;
}

bool hasPublic(const TMapFile& map, const std::string& name) {
    for (const auto& p : map.Publics)
        if (p.Name == name) return true;
    return false;
}

void expectRejected(std::string_view data) {
    TMapFile map(ranges, "");
    EXPECT_FALSE(map.ReadTD32(data));
    EXPECT_TRUE(map.Segments.empty());
    EXPECT_TRUE(map.Publics.empty());
    EXPECT_TRUE(map.Lines.empty());
}

void putU32At(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t u32At(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

TEST(TD32, ResolvesUnitsFunctionsAndLines) {
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadTD32(sampleTds()));
    map.SortLines();

    // Unit names lose their directory and a ".pas" extension; the last code
    // segment reaches the code end, the last data segment keeps its length.
    auto s = map.FindSegment(true, 0x10050);
    ASSERT_TRUE(s.Valid);
    EXPECT_EQ(s.UnitName, "MainUnit");
    EXPECT_EQ(s.Start, 0x10000u);
    EXPECT_EQ(s.Length, 0x100u);
    s = map.FindSegment(true, 0x101F0);
    EXPECT_EQ(s.UnitName, "helpers.cpp");
    EXPECT_EQ(s.Start, 0x10100u);
    EXPECT_EQ(s.Length, 0x100u);
    EXPECT_EQ(map.FindSegment(false, 0x20010).UnitName, "MainUnit");
    EXPECT_EQ(map.FindSegment(false, 0x20025).UnitName, "helpers.cpp");
    EXPECT_FALSE(map.FindSegment(false, 0x20030).Valid);

    // Procedures, with the unit prefix removed; the public of the same
    // address and name is held once.
    auto p = map.FindPublic(0x10020);
    ASSERT_TRUE(p.Valid);
    EXPECT_TRUE(p.Code);
    EXPECT_EQ(p.Name, "TForm1.Click");
    EXPECT_EQ(p.Address, 0x10010u);
    EXPECT_EQ(std::count_if(map.Publics.begin(), map.Publics.end(),
                            [](const TPublicRec& r) { return r.Address == 0x10010; }),
              1);
    EXPECT_EQ(map.FindPublic(0x10065).Name, "LocalHelper");
    EXPECT_EQ(map.FindPublic(0x10100).Name, "HelperRun");
    EXPECT_EQ(map.FindPublic(0x10150).Name, "HelperStop");
    EXPECT_EQ(map.FindPublic(0x10190).Name, "ExportedStub");
    EXPECT_FALSE(map.FindPublic(0x10200).Valid);
    EXPECT_FALSE(map.FindPublic(0x1000F).Valid);
    EXPECT_TRUE(std::is_sorted(map.Publics.begin(), map.Publics.end(),
                               [](const auto& a, const auto& b) { return a.Address < b.Address; }));

    // Data symbols and data publics.
    EXPECT_EQ(map.FindSymbol(false, "MainUnit", true, "Counter"), 0x20008u);
    EXPECT_EQ(map.FindSymbol(false, "MainUnit", true, "Local"), 0x20010u);
    EXPECT_EQ(map.FindSymbol(false, "helpers", true, "GlobalTable"), 0x20024u);
    EXPECT_EQ(map.FindSymbol(true, "MainUnit", false, "tform1.click"), 0x10010u);
    EXPECT_EQ(map.FindSymbol(true, "helpers", true, "HelperStop"), 0x10140u);
    EXPECT_FALSE(hasPublic(map, "OtherSection")); // neither code nor data segment

    // Lines of the code segment only, sorted across tables and modules.
    std::uintptr_t next = 0;
    EXPECT_EQ(map.LineOf(0x1001A, next), 21);
    EXPECT_EQ(next, 0x10060u);
    EXPECT_EQ(map.LineOf(0x10010, next), 20);
    EXPECT_EQ(next, 0x10018u);
    EXPECT_EQ(map.LineOf(0x10105, next), 7);
    EXPECT_EQ(next, 0x10120u);
    EXPECT_EQ(map.LineOf(0x10145, next), 30);
    EXPECT_EQ(next, 0x10146u);
    EXPECT_EQ(map.LineOf(0x1000F, next), 0);
    EXPECT_EQ(map.Lines.size(), 7u);
}

TEST(TD32, SignaturesAndEmptyInformation) {
    auto w = sampleWriter();
    w.signature = 0x41304246; // "FB0A"
    TMapFile a(ranges, "");
    EXPECT_TRUE(a.ReadTD32(w.Build().bytes));

    w.signature = 0x38304246; // "FB08"
    TMapFile b(ranges, "");
    EXPECT_FALSE(b.ReadTD32(w.Build().bytes));

    Td32Writer empty; // a name table and nothing else
    TMapFile c(ranges, "");
    EXPECT_FALSE(c.ReadTD32(empty.Build().bytes));
    EXPECT_FALSE(c.ReadTD32(""));
    EXPECT_FALSE(c.ReadTD32("FB09"));
}

TEST(TD32, SegmentsAreSortedAndMerged) {
    Td32Writer w;
    Td32Module a{"C:\\x\\A.PAS", {{1, 0x20, 0x10}, {1, 0x00, 0x10}}, {}, {}};
    Td32Module b{"B.dpr", {{1, 0x30, 0}}, {}, {}};
    Td32Module c{"C", {{1, 0x40, 0x8}, {2, 0x10, 0x4}}, {}, {}};
    Td32Module d{"D", {{2, 0x00, 0x4}, {3, 0x00, 0x100}}, {}, {}};
    w.modules = {c, a, d, b};
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadTD32(w.Build().bytes));

    ASSERT_EQ(map.Segments.size(), 4u);
    // Code first, by start; A's two parts joined over their gap and over the
    // dropped empty segment of B; C reaches the code end.
    EXPECT_TRUE(map.Segments[0].Code);
    EXPECT_EQ(map.Segments[0].UnitName, "A");
    EXPECT_EQ(map.Segments[0].Start, 0x10000u);
    EXPECT_EQ(map.Segments[0].Length, 0x40u);
    EXPECT_EQ(map.Segments[1].UnitName, "C");
    EXPECT_EQ(map.Segments[1].Start, 0x10040u);
    EXPECT_EQ(map.Segments[1].Length, 0x1C0u);
    // Data: D reaches C's start; the last data segment keeps its length.
    EXPECT_FALSE(map.Segments[2].Code);
    EXPECT_EQ(map.Segments[2].UnitName, "D");
    EXPECT_EQ(map.Segments[2].Start, 0x20000u);
    EXPECT_EQ(map.Segments[2].Length, 0x10u);
    EXPECT_EQ(map.Segments[3].UnitName, "C");
    EXPECT_EQ(map.Segments[3].Start, 0x20010u);
    EXPECT_EQ(map.Segments[3].Length, 0x4u);

    EXPECT_EQ(map.FindSegment(true, 0x10018).UnitName, "A");
    EXPECT_EQ(map.FindSegment(true, 0x10030).UnitName, "A");
    EXPECT_EQ(map.FindSegment(true, 0x101FF).UnitName, "C");
    EXPECT_FALSE(map.FindSegment(true, 0x10200).Valid);
}

// A directory may continue in another one; a chain that loops is refused.
TEST(TD32, ChainedDirectories) {
    const std::string tds = sampleTds();
    const std::size_t dir = u32At(tds, 4);
    const std::uint32_t count = u32At(tds, dir + 4);
    // Move the last entry (the name table) into a second directory at the end.
    std::string chained = tds;
    putU32At(chained, dir + 4, count - 1);
    const auto second = static_cast<std::uint32_t>(chained.size());
    putU32At(chained, dir + 8, second);
    std::string header(16, '\0');
    header[0] = 16;
    header[2] = 12;
    header[4] = 1;
    chained += header + tds.substr(dir + 16 + (count - 1) * 12, 12);
    TMapFile map(ranges, "");
    ASSERT_TRUE(map.ReadTD32(chained));
    EXPECT_EQ(map.FindPublic(0x10150).Name, "HelperStop");
    EXPECT_EQ(map.FindSegment(true, 0x10050).UnitName, "MainUnit");

    putU32At(chained, second + 8, second); // the second continues in itself
    expectRejected(chained);
}

// ---- hostile input ---------------------------------------------------------------

TEST(TD32Hostile, EveryTruncationIsRejected) {
    const std::string tds = sampleTds();
    for (std::size_t n = 0; n < tds.size(); ++n) {
        SCOPED_TRACE(n);
        expectRejected(std::string_view(tds).substr(0, n));
    }
}

TEST(TD32Hostile, DamagedCountsOffsetsAndNamesAreRejected) {
    const Td32Image image = sampleWriter().Build();
    ASSERT_GT(image.fields.size(), 60u);
    for (const auto& f : image.fields) {
        SCOPED_TRACE(f.at);
        std::string damaged = image.bytes;
        damaged[f.at + f.width - 1] = static_cast<char>(damaged[f.at + f.width - 1] ^ 0xFF);
        expectRejected(damaged);
    }
}

TEST(TD32Hostile, AbsurdCountsAreRejectedWithoutAllocating) {
    const std::string tds = sampleTds();
    const std::size_t dir = u32At(tds, 4);
    for (std::uint32_t count : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000000u}) {
        std::string damaged = tds;
        putU32At(damaged, dir + 4, count); // directory entries
        expectRejected(damaged);
        // The name table is the last subsection: its entry is the last one.
        const std::size_t entries = u32At(tds, dir + 4);
        const std::size_t names = u32At(tds, dir + 16 + (entries - 1) * 12 + 4);
        damaged = tds;
        putU32At(damaged, names, count);
        expectRejected(damaged);
    }
}

// Source-module file tables that all point at one large line table must not
// multiply into more line records than the bytes could hold.
TEST(TD32Hostile, SharedLineTablesAreBounded) {
    Td32Writer w;
    Td32Module m{"M", {{1, 0, 0x100}}, {}, {}};
    Td32LineTable big{1, {}};
    for (std::uint32_t i = 0; i < 1000; ++i)
        big.lines.push_back({i, static_cast<std::uint16_t>(i)});
    std::vector<Td32LineTable> tables(400, Td32LineTable{1, {{0, 1}}});
    tables[0] = big;
    m.sources = {{"m.pas", tables}};
    w.modules = {m};
    Td32Image image = w.Build();
    {
        TMapFile plain(ranges, "");
        ASSERT_TRUE(plain.ReadTD32(image.bytes)); // as written it is sound
    }
    // Point every line table at the big one: 400 x 1000 records from 16 KB.
    std::size_t tableOffsets = 0, firstTable = 0;
    const std::string& b = image.bytes;
    // The source-module subsection: found through the directory (type 0x127).
    const std::size_t dir = u32At(b, 4);
    for (std::size_t e = 0; e < u32At(b, dir + 4); ++e) {
        const std::size_t at = dir + 16 + e * 12;
        if ((static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8) !=
            0x127)
            continue;
        const std::size_t base = u32At(b, at + 4);
        const std::size_t file = base + u32At(b, base + 4);
        tableOffsets = file + 4;
        firstTable = u32At(b, tableOffsets);
    }
    ASSERT_NE(tableOffsets, 0u);
    std::string damaged = image.bytes;
    for (std::size_t t = 1; t < 400; ++t)
        putU32At(damaged, tableOffsets + t * 4, static_cast<std::uint32_t>(firstTable));
    expectRejected(damaged);
}

TEST(TD32Hostile, RandomDamageNeverCrashes) {
    const std::string tds = sampleTds();
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> place(0, tds.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), flips(1, 4);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = tds;
        for (int i = flips(random); i > 0; --i)
            damaged[place(random)] = static_cast<char>(byte(random));
        if (round % 5 == 0) damaged.resize(place(random));
        TMapFile map(ranges, "");
        if (!map.ReadTD32(damaged)) continue;
        ++accepted;
        map.SortLines();
        std::uintptr_t next = 0;
        for (std::uintptr_t a : {0x10000u, 0x10010u, 0x10150u, 0x20008u, 0x101FFu}) {
            map.FindPublic(a);
            map.FindSegment(true, a);
            map.LineOf(a, next);
        }
        map.FindSymbol(true, "MainUnit", true, "TForm1.Click");
    }
    // Damage in names, padding and symbol bodies leaves sound files.
    EXPECT_GT(accepted, 0);
}

// ---- the ".tds" file beside a module -------------------------------------------------

class TdsBeside : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::path(::testing::TempDir()) /
              ("vortd32_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        module = (dir / "prog").string();
        write(module, "not an ELF file");
        write((dir / "prog.map").string(), mapText());
        std::tm tm{};
        tm.tm_year = 2021 - 1900;
        tm.tm_mon = 5;
        tm.tm_mday = 15;
        tm.tm_isdst = -1;
        midnight = std::mktime(&tm);
        setTime(module, midnight + 12 * 3600);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    static void write(const std::string& path, const std::string& data) {
        std::ofstream(path, std::ios::binary) << data;
    }
    static void setTime(const std::string& path, std::time_t t) {
        timespec times[2] = {{t, 0}, {t, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    static std::string mapText() {
        std::string detail = " 0001:00000000 00000200 C=CODE     S=.text    G=(none)   M=FromMap";
        while (detail.size() < 76)
            detail += ' ';
        return " Start         Length     Name                   Class\r\n"
               " 0001:00000000 00000200H .text                   CODE\r\n\r\n"
               "Detailed map of segments\r\n\r\n" +
               detail + " ACBP=A9\r\n\r\n";
    }
    std::string unitAt(std::uintptr_t address) {
        auto map = TMapFile::Build(ranges, module);
        if (!map->Valid) return "<invalid>";
        return map->FindSegment(true, address).UnitName;
    }
    void writeTds(const std::string& data, std::time_t t) {
        write(tds(), data);
        setTime(tds(), t);
    }
    std::string tds() const { return (dir / "prog.tds").string(); }

    std::filesystem::path dir;
    std::string module;
    std::time_t midnight = 0;
};

TEST_F(TdsBeside, PreferredOverTheMapFile) {
    EXPECT_EQ(unitAt(0x10050), "FromMap");
    writeTds(sampleTds(), midnight + 13 * 3600);
    EXPECT_EQ(unitAt(0x10050), "MainUnit");
    auto map = TMapFile::Build(ranges, module);
    std::uintptr_t next = 0;
    EXPECT_EQ(map->LineOf(0x1001A, next), 21); // sorted by the build
    EXPECT_EQ(map->FindPublic(0x10150).Name, "HelperStop");
}

TEST_F(TdsBeside, DateComparedInWholeDays) {
    writeTds(sampleTds(), midnight + 1 * 3600); // same day, earlier hour
    EXPECT_EQ(unitAt(0x10050), "MainUnit");
    writeTds(sampleTds(), midnight + 3 * 86400); // days later
    EXPECT_EQ(unitAt(0x10050), "MainUnit");
    writeTds(sampleTds(), midnight - 3600); // the day before
    EXPECT_EQ(unitAt(0x10050), "FromMap");
    writeTds(sampleTds(), midnight - 40 * 86400);
    EXPECT_EQ(unitAt(0x10050), "FromMap");
}

TEST_F(TdsBeside, OversizedFileIsNotRead) {
    writeTds("", midnight + 13 * 3600);
    ASSERT_EQ(::truncate(tds().c_str(), 300 << 20), 0); // sparse: nothing is written
    setTime(tds(), midnight + 13 * 3600);
    EXPECT_EQ(unitAt(0x10050), "FromMap");
}

TEST_F(TdsBeside, DamagedFileFallsBackToTheCompanions) {
    std::string tds = sampleTds();
    writeTds(tds.substr(0, tds.size() - 3), midnight + 13 * 3600);
    EXPECT_EQ(unitAt(0x10050), "FromMap");
    std::filesystem::remove(dir / "prog.map");
    EXPECT_EQ(unitAt(0x10050), "<invalid>");
    writeTds(tds, midnight + 13 * 3600);
    EXPECT_EQ(unitAt(0x10050), "MainUnit");
}

} // namespace
} // namespace ax
