#include <gtest/gtest.h>

#include "rtl/sysutils.h"

using namespace ax;

TEST(DateTime, EpochsAndRoundTrip) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(UnixToDateTime(86400), 25570.0);
    EXPECT_EQ(DateTimeToUnix(EncodeDate(2026, 12, 6) + EncodeTime(12, 0, 0, 0)), 1796558400);
    int y, m, d, h, n, s, ms;
    DecodeDate(EncodeDate(2024, 2, 29), y, m, d);
    EXPECT_EQ((std::array<int, 3>{y, m, d}), (std::array<int, 3>{2024, 2, 29}));
    DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, ms);
    EXPECT_EQ((std::array<int, 4>{h, n, s, ms}), (std::array<int, 4>{23, 59, 59, 999}));
}

TEST(DateTime, FormatTokens) {
    TFormatSettings fs;
    fs.DateSeparator = '.';
    const TDateTime t = EncodeDate(2026, 12, 6) + EncodeTime(13, 5, 9, 45);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", t, fs), "2026-12-06 13:05:09");
    EXPECT_EQ(FormatDateTime("d/m/yy", t, fs), "6.12.26");
    EXPECT_EQ(FormatDateTime("dddd d mmmm yyyy", t, fs), "Sunday 6 December 2026");
    EXPECT_EQ(FormatDateTime("ddd mmm", t, fs), "Sun Dec");
    EXPECT_EQ(FormatDateTime("h:mm am/pm", t, fs), "1:05 pm"); // m after h is minutes
    EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", t, fs), "13:05:09.045");
    EXPECT_EQ(FormatDateTime("\"at\" hh'h'", t, fs), "at 13h");
    fs.ShortDateFormat = "yyyy/mm/dd";
    EXPECT_EQ(DateTimeToStr(t, fs), "2026.12.06 13:05:09");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 1, 2), fs), "2026.01.02");
}

TEST(Numbers, SeparatorsComeFromTheSettings) {
    TFormatSettings fs;
    EXPECT_EQ(FormatThousands(1234567, fs), "1,234,567");
    EXPECT_EQ(FormatThousands(-1000, fs), "-1,000");
    EXPECT_EQ(FormatThousands(999, fs), "999");
    EXPECT_EQ(FormatThousands(INT64_MIN, fs), "-9,223,372,036,854,775,808");
    fs.ThousandSeparator = '.';
    fs.DecimalSeparator = ',';
    EXPECT_EQ(FormatNumber(1234.5, 2, fs), "1.234,50");
    EXPECT_EQ(FormatNumber(-0.001, 2, fs), "0,00");
    EXPECT_EQ(FormatFixed(1234.5, 1, fs), "1234,5");
    EXPECT_EQ(FormatNumber(999999.999, 2, fs), "1.000.000,00");
}

TEST(FileNames, PosixPathPieces) {
    EXPECT_EQ(ExtractFilePath("/home/u/a.txt"), "/home/u/");
    EXPECT_EQ(ExtractFileDir("/home/u/a.txt"), "/home/u");
    EXPECT_EQ(ExtractFileDir("/a.txt"), "/");
    EXPECT_EQ(ExtractFileName("/home/u/a.txt"), "a.txt");
    EXPECT_EQ(ExtractFileExt("/x.dir/file"), "");
    EXPECT_EQ(ExtractFileExt("archive.tar.gz"), ".gz");
    EXPECT_EQ(ChangeFileExt("/b/job.zip", ".JOB"), "/b/job.JOB");
    EXPECT_EQ(ChangeFileExt("noext", ".ini"), "noext.ini");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/a//"), "/a");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
    EXPECT_EQ(ExpandFileName("/a/./b/../c/"), "/a/c");
    EXPECT_EQ(ExpandFileName("/.."), "/");
}
