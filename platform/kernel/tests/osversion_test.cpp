// The platform's version answer.
#include "platform/osversion.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ax {
namespace {

TEST(OsVersion, ThePlatformAnswersAsNt51) {
    OSVERSIONINFOA v;
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(v.dwPlatformId, 2u);
    EXPECT_EQ(v.dwMajorVersion, 5u);
    EXPECT_EQ(v.dwMinorVersion, 1u);
    EXPECT_EQ(v.dwBuildNumber, 2600u);
    EXPECT_STREQ(v.szCSDVersion, "");
}

TEST(OsVersion, AWrongRecordSizeIsRefusedAndLeftAlone) {
    for (std::uint32_t size : {0u, 147u, 156u, 149u}) {
        OSVERSIONINFOA v;
        v.dwOSVersionInfoSize = size;
        v.dwMajorVersion = 77;
        EXPECT_FALSE(GetVersionExA(&v)) << size;
        EXPECT_EQ(v.dwMajorVersion, 77u) << size;
    }
    EXPECT_FALSE(GetVersionExA(nullptr));
}

TEST(OsVersion, TestsAnswerAsAnotherVersionOrFail) {
    OSVERSIONINFOA old;
    old.dwOSVersionInfoSize = 0; // ignored
    old.dwPlatformId = 1;
    old.dwMajorVersion = 4;
    old.dwMinorVersion = 10;
    std::memset(old.szCSDVersion, 'x', sizeof old.szCSDVersion); // no terminator given
    SetReportedVersion(&old);
    OSVERSIONINFOA v;
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(v.dwPlatformId, 1u);
    EXPECT_EQ(v.dwMinorVersion, 10u);
    EXPECT_EQ(std::strlen(v.szCSDVersion), 127u);
    SetVersionExFails(true);
    EXPECT_FALSE(GetVersionExA(&v));
    SetVersionExFails(false);
    SetReportedVersion(nullptr);
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwMajorVersion, 5u);
}

} // namespace
} // namespace ax
