#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "rtl/exceptions.h"
#include "rtl/inifile.h"
#include "rtl/streams.h"

using namespace ax;

namespace {

struct TempFile {
    TempFile() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/axini.XXXXXX";
        dir = ::mkdtemp(pattern.data());
        name = dir + "/default.ini";
    }
    ~TempFile() { std::filesystem::remove_all(dir); }
    void Write(const std::string& text) const {
        SaveFileAtomically(name, [&](TStream& s) { s.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); });
    }
    std::string Read() const {
        TMemoryStream m;
        m.LoadFromFile(name);
        return std::string(m.Bytes().begin(), m.Bytes().end());
    }
    std::string dir, name;
};

} // namespace

TEST(IniFile, ReadsValuesWithoutCaseAndQuotes) {
    TempFile f;
    f.Write("[Options]\r\nLevel = 9\r\nName=\"My Backup\"\r\nFlag=1\r\n[Other]\r\nLevel=3\r\n");
    TIniFile ini(f.name);
    EXPECT_EQ(ini.ReadInteger("options", "LEVEL", 0), 9);
    EXPECT_EQ(ini.ReadString("Options", "Name", ""), "My Backup");
    EXPECT_TRUE(ini.ReadBool("Options", "Flag", false));
    EXPECT_EQ(ini.ReadInteger("Other", "Level", 0), 3);
    EXPECT_EQ(ini.ReadString("Options", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("Nowhere", "Level", -1), -1);
}

TEST(IniFile, MissingFileReadsDefaultsAndIsNotCreated) {
    TempFile f;
    TIniFile ini(f.name);
    EXPECT_EQ(ini.ReadString("A", "B", "c"), "c");
    EXPECT_FALSE(std::filesystem::exists(f.name));
}

TEST(IniFile, WritesRoundTripAndKeepLayout) {
    TempFile f;
    f.Write("; comment\n[Options]\nA=1\n\n[Scheduled]\nDay=2\n");
    {
        TIniFile ini(f.name);
        ini.WriteInteger("Options", "B", 5);
        ini.WriteString("Options", "a", "changed");
        ini.WriteBool("New", "On", true);
    }
    EXPECT_EQ(f.Read(), "; comment\n[Options]\na=changed\nB=5\n\n[Scheduled]\nDay=2\n\n[New]\nOn=1\n");
    TIniFile again(f.name);
    EXPECT_EQ(again.ReadString("OPTIONS", "A", ""), "changed");
    TStringList sections;
    again.ReadSections(sections);
    EXPECT_EQ(sections.CommaText(), "Options,Scheduled,New");
    TStringList keys;
    again.ReadSection("Options", keys);
    EXPECT_EQ(keys.CommaText(), "a,B");
}

TEST(IniFile, MalformedLinesAreKeptAndNeverFatal) {
    TempFile f;
    const std::string damaged = "garbage line\n[Broken\n=novalue\n[Options]\n\x01\xFF\xFE\nK=V\n[]\nX=1\n";
    f.Write(damaged);
    TIniFile ini(f.name);
    EXPECT_EQ(ini.ReadString("Options", "K", ""), "V");
    EXPECT_EQ(ini.ReadString("", "X", ""), "1");
    ini.WriteString("Options", "K", "W");
    const std::string after = f.Read();
    EXPECT_NE(after.find("garbage line\n[Broken\n=novalue\n"), std::string::npos);
    EXPECT_NE(after.find("\x01\xFF\xFE\nK=W\n"), std::string::npos);
}

TEST(IniFile, EraseAndDelete) {
    TempFile f;
    f.Write("[A]\nx=1\ny=2\n[B]\nz=3\n[a]\nw=4\n");
    TIniFile ini(f.name);
    ini.DeleteKey("A", "x");
    EXPECT_FALSE(ini.ValueExists("A", "x"));
    EXPECT_TRUE(ini.ValueExists("A", "y"));
    ini.EraseSection("A"); // both spellings of the section go
    EXPECT_FALSE(ini.SectionExists("a"));
    EXPECT_EQ(f.Read(), "[B]\nz=3\n");
}

TEST(IniFile, RefusesKeysAndValuesThatWouldCorruptTheFile) {
    TempFile f;
    TIniFile ini(f.name);
    EXPECT_THROW(ini.WriteString("S", "a=b", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S", "k", "two\nlines"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S]", "k", "v"), EIniFileException);
    EXPECT_FALSE(std::filesystem::exists(f.name));
}

TEST(IniFile, UpdateBracketsSaveOnce) {
    TempFile f;
    TIniFile ini(f.name);
    ini.BeginUpdate();
    ini.WriteString("S", "a", "1");
    EXPECT_FALSE(std::filesystem::exists(f.name));
    ini.WriteString("S", "b", "2");
    ini.EndUpdate();
    EXPECT_EQ(f.Read(), "[S]\na=1\nb=2\n");
}

TEST(IniFile, RandomBytesNeverCrash) {
    TempFile f;
    std::mt19937 rng(7);
    const std::string alphabet("[]=;\n\r \"'ab\x00\xFF", 13);
    for (int round = 0; round < 300; ++round) {
        std::string text(rng() % 200, ' ');
        for (char& c : text) c = alphabet[rng() % alphabet.size()];
        f.Write(text);
        TIniFile ini(f.name);
        TStringList sections, values;
        ini.ReadSections(sections);
        for (int i = 0; i < sections.Count(); ++i) ini.ReadSectionValues(sections[i], values);
        ini.WriteString("a", "b", "c");
        EXPECT_EQ(TIniFile(f.name).ReadString("a", "b", ""), "c");
    }
}
