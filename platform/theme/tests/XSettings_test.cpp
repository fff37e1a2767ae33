// The desktop's settings as another program publishes them: the theme
// name found in well-formed properties of either byte order, and damaged
// ones refused without reading past their end.
#include <gtest/gtest.h>

#include <vector>

#include "../src/XSettings.h"

namespace ax {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian: an integer "Net/CursorBlink" = 1, a colour "Gtk/Color",
// then the string "Net/ThemeName" = "HighContrast".
const Bytes kLittle = {
    0, 0, 0, 0, /*serial*/ 7, 0, 0, 0, /*count*/ 3, 0, 0, 0,
    // integer, name length 15, "Net/CursorBlink" + 1 pad, last change, value
    0, 0, 15, 0, 'N', 'e', 't', '/', 'C', 'u', 'r', 's', 'o', 'r', 'B', 'l', 'i', 'n', 'k', 0, 1, 0, 0, 0, 1, 0, 0, 0,
    // colour, name length 9, "Gtk/Color" + 3 pad, last change, 4 x 16 bits
    2, 0, 9, 0, 'G', 't', 'k', '/', 'C', 'o', 'l', 'o', 'r', 0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8,
    // string, name length 13, "Net/ThemeName" + 3 pad, last change, length 12, text
    1, 0, 13, 0, 'N', 'e', 't', '/', 'T', 'h', 'e', 'm', 'e', 'N', 'a', 'm', 'e', 0, 0, 0, 1, 0, 0, 0, 12, 0, 0, 0,
    'H', 'i', 'g', 'h', 'C', 'o', 'n', 't', 'r', 'a', 's', 't'};

// Big-endian, one setting: "Net/ThemeName" = "Adwaita" (7 + 1 pad).
const Bytes kBig = {1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 1, 0, 0, 13, 'N', 'e', 't', '/', 'T', 'h', 'e', 'm',
                    'e', 'N', 'a', 'm', 'e', 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 7, 'A', 'd', 'w', 'a', 'i', 't', 'a', 0};

TEST(XSettings, TheThemeNameIsFoundInEitherByteOrderPastOtherTypes) {
    EXPECT_EQ(XSettingsString(kLittle, "Net/ThemeName"), std::optional<std::string>("HighContrast"));
    EXPECT_EQ(XSettingsString(kBig, "Net/ThemeName"), std::optional<std::string>("Adwaita"));
    EXPECT_EQ(XSettingsString(kLittle, "Net/IconThemeName"), std::nullopt) << "not there";
    EXPECT_EQ(XSettingsString(kLittle, "Net/CursorBlink"), std::nullopt) << "an integer, not a string";
}

TEST(XSettings, DamagedPropertiesAreRefusedWithoutReadingPastTheirEnd) {
    EXPECT_EQ(XSettingsString({}, "Net/ThemeName"), std::nullopt);
    // Every cut short of the end loses the theme name, which comes last.
    for (std::size_t n = 0; n < kLittle.size(); ++n) {
        const Bytes cut(kLittle.begin(), kLittle.begin() + std::ptrdiff_t(n));
        EXPECT_EQ(XSettingsString(cut, "Net/ThemeName"), std::nullopt) << n << " bytes";
    }
    Bytes badOrder = kBig;
    badOrder[0] = 2;
    EXPECT_EQ(XSettingsString(badOrder, "Net/ThemeName"), std::nullopt);
    Bytes badType = kLittle;
    badType[12] = 3; // the first setting's type
    EXPECT_EQ(XSettingsString(badType, "Net/ThemeName"), std::nullopt);
    Bytes hugeLength = kBig;
    hugeLength[36] = 0x7F; // the value's length, near 2 GB
    EXPECT_EQ(XSettingsString(hugeLength, "Net/ThemeName"), std::nullopt);
    Bytes hugeCount = kBig;
    hugeCount[8] = 0xFF; // more settings than the bytes hold
    EXPECT_EQ(XSettingsString(hugeCount, "Net/ThemeName"), std::optional<std::string>("Adwaita"))
        << "what is there before the end is still read";
}

} // namespace
} // namespace ax
