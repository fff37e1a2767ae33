#include "temp_dir.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "shell/WideStrings.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/recordingmessageboxservice.h"

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ax {
namespace {

using Bytes = std::vector<uint8_t>;

using test::TempDir;

Bytes ReadAll(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& name, const Bytes& bytes) {
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// ---- zero-terminated helpers ----

TEST(WideStrings, LengthsAndScans) {
    const char16_t* s = u"a/b/c";
    EXPECT_EQ(StrLenW(nullptr), 0u);
    EXPECT_EQ(StrLenW(u""), 0u);
    EXPECT_EQ(StrLenW(s), 5u);
    EXPECT_EQ(StrScanW(s, u'/'), s + 1);
    EXPECT_EQ(StrRScanW(s, u'/'), s + 3);
    EXPECT_EQ(StrScanW(s, u'x'), nullptr);
    EXPECT_EQ(StrRScanW(s, u'x'), nullptr);
    EXPECT_EQ(StrScanW(nullptr, u'a'), nullptr);
}

TEST(WideStrings, StrPosW) {
    const char16_t* s = u"banana";
    EXPECT_EQ(StrPosW(s, u"nan"), s + 2);
    EXPECT_EQ(StrPosW(s, u"ana"), s + 1);
    EXPECT_EQ(StrPosW(s, u"x"), nullptr);
    EXPECT_EQ(StrPosW(s, u""), nullptr);
    EXPECT_EQ(StrPosW(s, u"bananas"), nullptr);
    EXPECT_EQ(StrPosW(nullptr, u"a"), nullptr);
    EXPECT_EQ(StrPosW(s, nullptr), nullptr);
}

TEST(WideStrings, StrMoveWOverlapsBothWays) {
    char16_t up[] = u"abcdef";
    StrMoveW(up + 2, up, 4); // destination above the source
    EXPECT_EQ(std::u16string(up), u"ababcd");
    char16_t down[] = u"abcdef";
    StrMoveW(down, down + 2, 4);
    EXPECT_EQ(std::u16string(down), u"cdefef");
}

TEST(WideStrings, StrCompWInCodePointOrder) {
    // U+E000 sorts below a surrogate lead, which stands for U+10000 and up.
    const char16_t priv[] = {0xE000, 0};
    const char16_t pair[] = {0xD800, 0xDC00, 0};
    EXPECT_LT(StrCompW(priv, pair), 0);
    EXPECT_GT(StrCompW(pair, priv), 0);
    const char16_t high[] = {0xFFFD, 0};
    EXPECT_LT(StrCompW(high, pair), 0);
    EXPECT_EQ(StrCompW(u"abc", u"abc"), 0);
    EXPECT_LT(StrCompW(u"ab", u"abc"), 0);
    EXPECT_GT(StrCompW(u"b", u"abc"), 0);
    EXPECT_LT(StrCompW(u"A", u"a"), 0); // case matters here
    EXPECT_EQ(StrCompW(nullptr, u""), 0);
    EXPECT_EQ(StrCompW(u"a", u"c"), -2); // the difference
}

TEST(WideStrings, SwapAndCaseInPlace) {
    char16_t s[] = {0x0041, 0x1234, 0};
    StrSwapByteOrder(s);
    EXPECT_EQ(s[0], 0x4100);
    EXPECT_EQ(s[1], 0x3412);
    EXPECT_EQ(s[2], 0);
    StrSwapByteOrder(nullptr);

    char16_t t[] = u"Straße ÄB";
    EXPECT_EQ(StrUpperW(t), t);
    EXPECT_EQ(std::u16string(t), u"STRAßE ÄB");
    StrLowerW(t);
    EXPECT_EQ(std::u16string(t), u"straße äb");
}

// ---- strings and paths ----

TEST(WideStrings, ThousandSeparators) {
    const TFormatSettings saved = FormatSettings();
    FormatSettings().ThousandSeparator = '.';
    EXPECT_EQ(WideInsertThousandSeparators(u"1234567"), u"1.234.567");
    EXPECT_EQ(WideInsertThousandSeparators(u"123456"), u"123.456");
    EXPECT_EQ(WideInsertThousandSeparators(u"123"), u"123");
    EXPECT_EQ(WideInsertThousandSeparators(u""), u"");
    EXPECT_EQ(WideInsertThousandSeparators(u"-123"), u"-123");
    FormatSettings() = saved;
}

TEST(WideStrings, PathPieces) {
    EXPECT_EQ(WideExtractFileDir(u"/home/user/file.txt"), u"/home/user");
    EXPECT_EQ(WideExtractFileDir(u"/file.txt"), u"/");
    EXPECT_EQ(WideExtractFileDir(u"/"), u"/");
    EXPECT_EQ(WideExtractFileDir(u"relative/file"), u"");
    EXPECT_EQ(WideExtractFileDrive(u"/home/user"), u"/");
    EXPECT_EQ(WideExtractFileDrive(u"home"), u"");
    EXPECT_EQ(WideExtractFileExt(u"/a/b.tar.gz"), u".gz");
    EXPECT_EQ(WideExtractFileExt(u"/a.d/file"), u""); // a dot in a folder name is no extension
    EXPECT_EQ(WideExtractFileExt(u"/a/.hidden"), u".hidden");
    EXPECT_EQ(WideExtractFileExt(u"noext"), u"");
    EXPECT_TRUE(HasDriveSeparator(u"/x"));
    EXPECT_FALSE(HasDriveSeparator(u"x/y"));
    EXPECT_FALSE(HasDriveSeparator(u""));
}

TEST(WideStrings, TrailingDelimiters) {
    EXPECT_EQ(WideIncludeTrailingBackslash(u"/a"), u"/a/");
    EXPECT_EQ(WideIncludeTrailingBackslash(u"/a/"), u"/a/");
    EXPECT_EQ(WideExcludeTrailingBackslash(u"/a/"), u"/a");
    EXPECT_EQ(WideExcludeTrailingBackslash(u"/a"), u"/a");
    // The root keeps its delimiter unless asked to drop it.
    EXPECT_EQ(WideExcludeTrailingBackslash(u"/", false), u"/");
    EXPECT_EQ(WideExcludeTrailingBackslash(u"/", true), u"");
    EXPECT_TRUE(WideIsDriveRoot(u"/"));
    EXPECT_FALSE(WideIsDriveRoot(u"/a"));
    EXPECT_FALSE(WideIsDriveRoot(u""));
}

TEST(WideStrings, InsertAndNumbers) {
    WideString s = u"abc";
    WideStrInsert(u"XY", s, 1);
    EXPECT_EQ(s, u"aXYbc");
    WideStrInsert(u"!", s, 5);
    EXPECT_EQ(s, u"aXYbc!");
    WideStrInsert(u"?", s, 7);
    WideStrInsert(u"?", s, -1);
    EXPECT_EQ(s, u"aXYbc!");
    EXPECT_EQ(WideIntToStr(-42), u"-42");
    EXPECT_EQ(WideIntToStr(9000000000), u"9000000000");
}

TEST(WideStrings, DirectoriesAndFiles) {
    TempDir dir;
    const WideString sub = dir.Wide() + u"/Ünïcode dir";
    EXPECT_FALSE(WideDirectoryExists(sub));
    EXPECT_TRUE(WideCreateDirectory(sub));
    EXPECT_FALSE(WideCreateDirectory(sub)); // nothing replaced
    EXPECT_TRUE(WideDirectoryExists(sub));
    EXPECT_TRUE(DirectoryExists(dir.Path() + "/Ünïcode dir"));
    EXPECT_FALSE(WideDirectoryExists(u""));
    EXPECT_FALSE(WideCreateDirectory(u""));

    // A name with "*" is looked up exactly, never as a pattern.
    WriteAll(dir.Path() + "/a*", {1});
    EXPECT_TRUE(WideFileExists(dir.Wide() + u"/a*"));
    EXPECT_FALSE(WideFileExists(dir.Wide() + u"/ab"));
    EXPECT_FALSE(WideFileExists(dir.Wide() + u"/a?"));
    EXPECT_TRUE(WideFileExists(sub)); // folders exist too
    EXPECT_FALSE(WideFileExists(u""));
    EXPECT_FALSE(WideDirectoryExists(dir.Wide() + u"/a*"));
}

TEST(WideStrings, CreatingAFolderIsAnnounced) {
    TempDir dir;
    std::vector<std::pair<uint32_t, std::string>> events;
    const int id = SubscribeShellChanges([&](uint32_t event, PCItemIDList pidl, PCItemIDList) {
        events.emplace_back(event, pidl ? SHGetPathFromIDList(pidl) : std::string());
    });
    const std::string made = dir.Path() + "/made";
    EXPECT_TRUE(WideCreateDirectory(Utf8ToWide(made)));
    EXPECT_FALSE(WideCreateDirectory(Utf8ToWide(made))); // a failure announces nothing
    UnsubscribeShellChanges(id);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, uint32_t(SHCNE_MKDIR));
    EXPECT_EQ(events[0].second, made);
}

TEST(WideStrings, ShowMessageUsesAnExclamationBox) {
    RecordingMessageBoxService boxes;
    SetMessageBoxService(&boxes);
    WideShowMessage(0, u"Disk é full", u"Caption");
    SetMessageBoxService(nullptr);
    const auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, u"Disk é full");
    EXPECT_EQ(shown[0].caption, u"Caption");
    EXPECT_EQ(shown[0].flags, 48u);
}

TEST(WideStrings, NonUtf8NameReachesTheExactBytes) {
    TempDir dir;
    const std::string raw = dir.Path() + "/caf\xE9"; // Latin-1, not UTF-8
    WriteAll(raw, {1});
    const WideString wide = Utf8ToWide(raw);
    EXPECT_TRUE(WideFileExists(wide));
    TWideFileStream s(wide, fmOpenRead);
    EXPECT_EQ(s.Size(), 1);
}

TEST(WideStrings, DriveReady) {
    EXPECT_TRUE(DriveReady(u"/"));
    EXPECT_FALSE(DriveReady(u"/no such mount point here"));
    EXPECT_FALSE(DriveReady(u""));
}

TEST(WideStrings, UniqueDirName) {
    TempDir dir;
    const WideString base = dir.Wide();
    EXPECT_EQ(UniqueDirName(base + u"/", u""), base + u"/New Folder");
    EXPECT_EQ(UniqueDirName(base, u"Stuff"), base + u"/Stuff");
    ASSERT_TRUE(WideCreateDirectory(base + u"/New Folder"));
    EXPECT_EQ(UniqueDirName(base, u""), base + u"/New Folder (1)");
    ASSERT_TRUE(WideCreateDirectory(base + u"/New Folder (1)"));
    EXPECT_EQ(UniqueDirName(base, u""), base + u"/New Folder (2)");
    // A file of that name counts as taken as well.
    WriteAll(dir.Path() + "/New Folder (2)", {1});
    EXPECT_EQ(UniqueDirName(base, u""), base + u"/New Folder (3)");
    for (int n = 3; n <= 21; ++n)
        ASSERT_TRUE(WideCreateDirectory(base + u"/New Folder (" + WideIntToStr(n) + u")"));
    // No number above 20 is tried.
    EXPECT_EQ(UniqueDirName(base, u""), base + u"/New Folder (20)");
}

TEST(WideStrings, FileStreamModes) {
    TempDir dir;
    const WideString name = dir.Wide() + u"/jöb.JOB";
    try {
        TWideFileStream missing(name, fmOpenRead);
        ADD_FAILURE() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + WideToUtf8(name));
    }
    {
        TWideFileStream s(name, fmWideCreate);
        s.WriteValue<int32_t>(7);
    }
    EXPECT_EQ(ReadAll(dir.Path() + "/jöb.JOB"), (Bytes{7, 0, 0, 0}));
    {
        TWideFileStream s(name, fmOpenRead | fmShareExclusive);
        EXPECT_EQ(s.ReadValue<int32_t>(), 7);
        // Locked exclusively while open.
        EXPECT_THROW(TWideFileStream(name, fmOpenRead | fmShareExclusive), EFOpenError);
    }
    { TWideFileStream s(name, fmWideCreate); } // truncates
    EXPECT_TRUE(ReadAll(dir.Path() + "/jöb.JOB").empty());
    try {
        TWideFileStream nowhere(dir.Wide() + u"/no/such/dir/x", fmWideCreate);
        ADD_FAILURE() << "created a file in no folder";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + dir.Path() + "/no/such/dir/x");
    }
}

// ---- TWideStringList ----

TEST(WideStringList, SortedAddAndDuplicates) {
    TWideStringList list;
    list.SetSorted(true);
    EXPECT_EQ(list.Add(u"pear"), 0);
    EXPECT_EQ(list.Add(u"Apple"), 0);
    EXPECT_EQ(list.Add(u"zebra"), 2);
    EXPECT_EQ(list.Add(u"mango"), 1);
    // dupIgnore: an equal item, whatever its case, gives the existing index.
    EXPECT_EQ(list.Add(u"APPLE"), 0);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list[0], u"Apple");

    list.SetDuplicates(dupError);
    try {
        list.Add(u"Pear");
        FAIL() << "no error";
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.Message(), "String list does not allow duplicates");
    }
    EXPECT_EQ(list.Count(), 4);

    list.SetDuplicates(dupAccept);
    list.Add(u"PEAR");
    list.Add(u"pear");
    EXPECT_EQ(list.Count(), 6);
    int index = -1;
    EXPECT_TRUE(list.Find(u"Pear", index));
    EXPECT_EQ(index, 2); // the first of the three equals
    EXPECT_EQ(WideCompareText(list[2], u"pear"), 0);
    EXPECT_EQ(WideCompareText(list[4], u"pear"), 0);
    EXPECT_EQ(list[5], u"zebra");
}

TEST(WideStringList, FindGivesTheInsertionPoint) {
    TWideStringList list;
    list.SetSorted(true);
    for (const char16_t* s : {u"b", u"d", u"f"})
        list.Add(s);
    int index = -1;
    EXPECT_FALSE(list.Find(u"a", index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(list.Find(u"e", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(list.Find(u"g", index));
    EXPECT_EQ(index, 3);
    EXPECT_TRUE(list.Find(u"D", index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(list.IndexOf(u"F"), 2);
    EXPECT_EQ(list.IndexOf(u"x"), -1);
}

TEST(WideStringList, ErrorsCarryTheirTexts) {
    TWideStringList list;
    list.Add(u"a");
    auto message = [](auto&& action) -> std::string {
        try {
            action();
        } catch (const EStringListError& e) {
            return e.Message();
        }
        return "no error";
    };
    EXPECT_EQ(message([&] { list.Get(1); }), "List index out of bounds (1)");
    EXPECT_EQ(message([&] { list.Delete(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(message([&] { list.Insert(2, u"x"); }), "List index out of bounds (2)");
    EXPECT_EQ(message([&] { list.Exchange(0, 5); }), "List index out of bounds (5)");
    EXPECT_EQ(message([&] { list.SetCapacity(0); }), "List capacity out of bounds (0)");
    list.SetSorted(true);
    EXPECT_EQ(message([&] { list.Insert(0, u"x"); }),
              "Operation not allowed on sorted string list");
    EXPECT_EQ(message([&] { list.Put(0, u"x"); }), "Operation not allowed on sorted string list");
}

TEST(WideStringList, UnsortedIndexOfAndSort) {
    TWideStringList list;
    for (const char16_t* s : {u"delta", u"Alpha", u"charlie", u"Bravo", u"echo", u"alpha2"})
        list.Add(s);
    EXPECT_EQ(list.IndexOf(u"CHARLIE"), 2);
    int changing = 0, changed = 0;
    list.OnChanging = [&](TWideStringList&) { ++changing; };
    list.OnChange = [&](TWideStringList&) { ++changed; };
    list.Sort();
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(list.Text(), u"Alpha\r\nalpha2\r\nBravo\r\ncharlie\r\ndelta\r\necho\r\n");

    // A custom order, here by length and then reversed by text.
    list.CustomSort([](TWideStringList& l, int a, int b) {
        const int d = int(l[a].size()) - int(l[b].size());
        return d ? d : -WideCompareText(l[a], l[b]);
    });
    EXPECT_EQ(list.Text(), u"echo\r\ndelta\r\nBravo\r\nAlpha\r\nalpha2\r\ncharlie\r\n");
}

TEST(WideStringList, SortManyItems) {
    TWideStringList list;
    for (int i = 0; i < 500; ++i)
        list.Add(WideIntToStr((i * 7919) % 1000 + 1000));
    list.SetSorted(true);
    for (int i = 1; i < list.Count(); ++i)
        EXPECT_LE(WideCompareText(list[i - 1], list[i]), 0);
}

TEST(WideStringList, ContradictoryCustomSortStaysInBounds) {
    TWideStringList list;
    for (int i = 0; i < 50; ++i)
        list.Add(WideIntToStr(i));
    list.CustomSort([](TWideStringList&, int, int) { return -1; });
    EXPECT_EQ(list.Count(), 50);
    list.CustomSort([](TWideStringList&, int, int) { return 1; });
    EXPECT_EQ(list.Count(), 50);
}

TEST(WideStringList, UpdatesFoldEvents) {
    TWideStringList list;
    int changing = 0, changed = 0;
    list.OnChanging = [&](TWideStringList&) { ++changing; };
    list.OnChange = [&](TWideStringList&) { ++changed; };
    list.Add(u"a");
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);
    list.BeginUpdate();
    list.Add(u"b");
    list.Delete(0);
    list.Exchange(0, 0);
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 1);
    list.EndUpdate();
    EXPECT_EQ(changed, 2);
    list.SetText(u"x\ny");
    EXPECT_EQ(changing, 3);
    EXPECT_EQ(changed, 3);
}

TEST(WideStringList, OwnedObjectsAreFreedOnRemoval) {
    struct Counted : TObject {
        explicit Counted(int& n) : n_(n) { ++n_; }
        ~Counted() override { --n_; }
        int& n_;
    };
    int alive = 0;
    {
        TWideStringList list;
        list.SetOwnsObjects(true);
        list.AddObject(u"a", std::make_unique<Counted>(alive).release());
        list.AddObject(u"b", std::make_unique<Counted>(alive).release());
        list.AddObject(u"c", std::make_unique<Counted>(alive).release());
        EXPECT_EQ(alive, 3);
        list.Delete(1);
        EXPECT_EQ(alive, 2);
        list.Clear();
        EXPECT_EQ(alive, 0);
        list.AddObject(u"d", std::make_unique<Counted>(alive).release());
    }
    EXPECT_EQ(alive, 0);

    // Not owning: objects survive the list.
    auto keep = std::make_unique<Counted>(alive);
    {
        TWideStringList list;
        list.AddObject(u"a", keep.get());
        EXPECT_EQ(list.GetObject(0), keep.get());
    }
    EXPECT_EQ(alive, 1);
}

TEST(WideStringList, TextSplitsAtEveryBreak) {
    TWideStringList list;
    list.SetText(u"a\r\nb\rc\nd\ve\ff\u2028g\u2029h");
    EXPECT_EQ(list.Count(), 8);
    EXPECT_EQ(list[7], u"h");
    list.SetText(u"one\n\ntwo\r\n");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[1], u"");
    EXPECT_EQ(list.Text(), u"one\r\n\r\ntwo\r\n");
    list.SetText(u"\r\r\n");
    EXPECT_EQ(list.Count(), 2);
    list.SetText(u"");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Text(), u"");
}

TEST(WideStringList, AssignBetweenWideAnd8BitLists) {
    TStringList narrow;
    narrow.Add("grüße");
    narrow.Add("caf\xE9"); // not UTF-8: survives the trip
    TWideStringList wide;
    wide.Add(u"old");
    wide.Assign(narrow);
    ASSERT_EQ(wide.Count(), 2);
    EXPECT_EQ(wide[0], u"grüße");
    TStringList back;
    wide.AssignTo(back);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back[1], "caf\xE9");

    TWideStringList copy;
    copy.Assign(wide);
    EXPECT_EQ(copy.Text(), wide.Text());
}

TEST(WideStringList, SaveToStreamBytes) {
    TWideStringList list;
    list.Add(u"A");
    list.Add(u"\u20AC");
    TMemoryStream s;
    list.SaveToStream(s);
    EXPECT_EQ(s.Bytes(), (Bytes{0xFF, 0xFE, 'A', 0, 13, 0, 10, 0, 0xAC, 0x20, 13, 0, 10, 0}));
}

TEST(WideStringList, LoadFromStreamByteOrders) {
    const Bytes little = {0xFF, 0xFE, 'h', 0, 'i', 0, 10, 0, 0xAC, 0x20};
    const Bytes big = {0xFE, 0xFF, 0, 'h', 0, 'i', 0, 10, 0x20, 0xAC};
    TWideStringList a, b, c;
    TMemoryStream sa(little), sb(big);
    a.LoadFromStream(sa);
    b.LoadFromStream(sb);
    EXPECT_EQ(a.Text(), u"hi\r\n\u20AC\r\n");
    EXPECT_EQ(b.Text(), a.Text());

    // No byte-order mark: 8-bit text, here UTF-8.
    TMemoryStream sc(Bytes{'x', '\r', '\n', 0xE2, 0x82, 0xAC});
    c.LoadFromStream(sc);
    EXPECT_EQ(c.Text(), u"x\r\n\u20AC\r\n");

    // A trailing odd byte is dropped, nothing else.
    TMemoryStream sd(Bytes{0xFF, 0xFE, 'o', 0, 'k', 0, 'z'});
    c.LoadFromStream(sd);
    EXPECT_EQ(c.Text(), u"ok\r\n");

    // Only what follows the current position is read.
    TMemoryStream se(Bytes{1, 2, 3, 0xFF, 0xFE, 'q', 0});
    se.SetPosition(3);
    c.LoadFromStream(se);
    EXPECT_EQ(c.Text(), u"q\r\n");
}

TEST(WideStringList, FilesRoundTripAndSaveIsAtomic) {
    TempDir dir;
    const WideString name = dir.Wide() + u"/list \u00e9.txt";
    TWideStringList list;
    list.SetText(u"first\nsecond");
    list.SaveToFile(name);
    const Bytes saved = ReadAll(WideToUtf8(name));
    EXPECT_EQ(saved.size(), 2u + 2u * 15u);

    TWideStringList back;
    back.LoadFromFile(name);
    EXPECT_EQ(back.Text(), list.Text());

    // A save that cannot be done leaves the file as it was.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0500), 0);
    if (::access(dir.Path().c_str(), W_OK) != 0) { // not when running as root
        list.Add(u"third");
        EXPECT_THROW(list.SaveToFile(name), EFCreateError);
        EXPECT_EQ(ReadAll(WideToUtf8(name)), saved);
    }
    ::chmod(dir.Path().c_str(), 0700);
    EXPECT_THROW(back.LoadFromFile(dir.Wide() + u"/missing"), EFOpenError);
}

} // namespace
} // namespace ax
