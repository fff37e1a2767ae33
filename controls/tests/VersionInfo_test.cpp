// The version reader on this test program, whose block the build wrote
// (see CMakeLists.txt: no "FileVersion" text, fixed version 2.1.0.17),
// and on files without one.
#include "controls/VersionInfo.h"
#include "platform/module.h"

#include <gtest/gtest.h>

namespace ax {
namespace {

TEST(VersionInfo, TheFixedVersionStandsInForAMissingFileVersionText) {
    TVersionInfo info(programModule()->fileName);
    ASSERT_TRUE(info.Valid());
    EXPECT_EQ(info.Translation(), "040904E4");
    EXPECT_EQ(info.GetVerValue("ProductName"), "ArdentixXP");
    EXPECT_EQ(info.GetVerValue("FileVersion"), "");
    EXPECT_EQ(info.FileVersion(), "2.1.0.17");
    EXPECT_EQ(info.GetVerValue("NoSuchValue"), "");
    EXPECT_EQ(info.GetVerValue(AnsiString(400, 'x')), "");
}

TEST(VersionInfo, AFileWithoutVersionDataAnswersEmptyStrings) {
    for (const char* file : {"/bin/sh", "/nonexistent/file", ""}) {
        TVersionInfo info(file);
        EXPECT_FALSE(info.Valid());
        EXPECT_EQ(info.FileVersion(), "");
        EXPECT_EQ(info.Translation(), "");
        EXPECT_EQ(info.GetVerValue("ProductName"), "");
        EXPECT_EQ(info.FixedFileInfo(), nullptr);
    }
}

} // namespace
} // namespace ax
