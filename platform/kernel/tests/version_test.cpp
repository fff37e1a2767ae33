// The version block: built, embedded by the build in this test program,
// queried by path; damaged blocks are refused whole.
#include "platform/module.h"
#include "platform/version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace ax {
namespace {

std::string Self() { return programModule()->fileName; }

std::string Text(const void* block, const std::string& path) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!VerQueryValueA(block, path, &value, &length)) return "<none>";
    return std::string(static_cast<const char*>(value));
}

// The values given to ax_version_info for this test in CMakeLists.txt.
TEST(Version, TheBuildEmbedsTheBlockInTheProgram) {
    std::uint32_t handle = 99;
    const std::uint32_t size = GetFileVersionInfoSizeA(Self(), &handle);
    EXPECT_EQ(handle, 0u);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(Self(), handle, size, data.data()));
    EXPECT_FALSE(GetFileVersionInfoA(Self(), handle, size - 1, data.data()));

    EXPECT_EQ(Text(data.data(), "\\StringFileInfo\\040904E4\\FileVersion"), "2.1.0.17");
    EXPECT_EQ(Text(data.data(), "\\stringfileinfo\\040904e4\\ProductName"), "Version Test");
    EXPECT_EQ(Text(data.data(), "\\StringFileInfo\\040904E4\\Missing"), "<none>");

    const void* value = nullptr;
    std::uint32_t length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", &value, &length));
    ASSERT_EQ(length, 52u);
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00020001u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00000011u);

    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    const auto* t = static_cast<const unsigned char*>(value);
    EXPECT_EQ(t[0] | (t[1] << 8), 0x0409);
    EXPECT_EQ(t[2] | (t[3] << 8), 1252);
}

TEST(Version, AFileWithoutABlockHasNone) {
    EXPECT_EQ(GetFileVersionInfoSizeA("/nonexistent", nullptr), 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA("/bin/sh", nullptr), 0u);
    char buffer[64];
    EXPECT_FALSE(GetFileVersionInfoA("/bin/sh", 0, sizeof buffer, buffer));
}

// The layout written by hand: the root's 6 header bytes, its key
// "VS_VERSION_INFO\0" (16 bytes, padded to offset 24), the 52-byte fixed
// information, then the children.
TEST(Version, BlockLayoutByteForByte) {
    VersionBlockContents c;
    c.withStrings = false;
    c.withTranslation = false;
    const std::string block = BuildVersionBlock(c);
    ASSERT_EQ(block.size(), 24u + 52u);
    EXPECT_EQ(std::uint8_t(block[0]), 76);
    EXPECT_EQ(std::uint8_t(block[1]), 0);
    EXPECT_EQ(std::uint8_t(block[2]), 52);
    EXPECT_EQ(std::uint8_t(block[4]), 0); // binary
    EXPECT_EQ(block.substr(6, 16), std::string("VS_VERSION_INFO\0", 16));
    EXPECT_EQ(std::uint8_t(block[24]), 0xBD);
    EXPECT_EQ(std::uint8_t(block[27]), 0xFE);

    c.withStrings = true;
    c.strings = {{"A", "xy"}};
    const std::string withText = BuildVersionBlock(c);
    // "StringFileInfo" node at 76: 6 + 15 -> 24 bytes of header, then the
    // table "040904E4" at 100 (6 + 9 -> 16), then "A" at 116: 6 + 2, pad to
    // 124, "xy\0" (3 bytes).
    ASSERT_EQ(withText.size(), 127u);
    EXPECT_EQ(std::uint8_t(withText[76]), 127 - 76);
    EXPECT_EQ(withText.substr(82, 15), std::string("StringFileInfo\0", 15));
    EXPECT_EQ(withText.substr(106, 9), std::string("040904E4\0", 9));
    EXPECT_EQ(std::uint8_t(withText[116]), 11);
    EXPECT_EQ(std::uint8_t(withText[118]), 3);
    EXPECT_EQ(std::uint8_t(withText[120]), 1); // text
    EXPECT_EQ(withText.substr(124, 3), std::string("xy\0", 3));
}

TEST(Version, QueriesOfDamagedBlocksFailInsteadOfReadingPastThem) {
    VersionBlockContents c;
    c.strings = {{"FileVersion", "1.0"}};
    const std::string good = BuildVersionBlock(c);
    ASSERT_EQ(Text(good.data(), "\\StringFileInfo\\040904E4\\FileVersion"), "1.0");
    // Every single-byte change of every length field and every truncation of
    // the root either still answers inside the block or fails.
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (int value : {0, 1, 5, 0x7F, 0xFF}) {
            std::string bad = good;
            bad[at] = char(value);
            const void* found = nullptr;
            std::uint32_t length = 0;
            const std::uint16_t rootLength = std::uint16_t(std::uint8_t(bad[0]) | (std::uint8_t(bad[1]) << 8));
            // The root length is what the caller's buffer was checked
            // against; a larger claim is the copying call's to refuse.
            if (rootLength > bad.size()) continue;
            if (VerQueryValueA(bad.data(), "\\StringFileInfo\\040904E4\\FileVersion", &found, &length)) {
                const auto* p = static_cast<const char*>(found);
                EXPECT_GE(p, bad.data());
                EXPECT_LE(p + length, bad.data() + rootLength) << "byte " << at << " = " << value;
            }
        }
    }
}

} // namespace
} // namespace ax
