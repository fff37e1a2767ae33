// The key number tables: virtual keys against the PC keyboard's scan codes
// and X key symbols, in both directions.
// The test library comes before X11's None macro.
// clang-format off
#include <gtest/gtest.h>
#include <set>
#include <utility>

#include "platform/window/constants.h"
#include "scan_codes.h"
#include "x11_keys.h"

#include <X11/keysym.h>
// clang-format on

namespace ax::wm {
namespace {

struct Expected {
    UINT vk;
    uint8_t scan;
    bool extended;
};

// Key numbers as the keyboard and the key messages carry them.
constexpr Expected kKnownKeys[] = {
    {0x0D, 0x1C, false}, // Enter
    {0x25, 0x4B, true},  // Left arrow: the grey key
    {0x64, 0x4B, false}, // number pad 4, the same key without the E0 prefix
    {0x70, 0x3B, false}, // F1
    {0x7B, 0x58, false}, // F12
    {0x41, 0x1E, false}, // A
    {0x51, 0x10, false}, // Q
    {0x4D, 0x32, false}, // M
    {0x30, 0x0B, false}, // 0
    {0x60, 0x52, false}, // number pad 0
    {0x2D, 0x52, true},  // Insert
    {0x1B, 0x01, false}, // Escape
    {0xA3, 0x1D, true},  // right Ctrl
    {0x6F, 0x35, true},  // number pad /
    {0xBF, 0x35, false}, // / ?
};

TEST(KeyTables, KnownKeysHaveTheirKeyboardsScanCodes) {
    for (const auto& k : kKnownKeys) {
        const ScanCode sc = ScanOf(k.vk);
        EXPECT_EQ(sc.code, k.scan) << "vk " << k.vk;
        EXPECT_EQ(sc.extended, k.extended) << "vk " << k.vk;
        EXPECT_EQ(VkFromScan({k.scan, k.extended}), k.vk) << "vk " << k.vk;
    }
}

TEST(KeyTables, GenericModifiersSendTheLeftHandKeysCode) {
    EXPECT_EQ(ScanOf(0x10).code, 0x2A); // Shift
    EXPECT_EQ(ScanOf(0x11).code, 0x1D); // Ctrl
    EXPECT_EQ(ScanOf(0x12).code, 0x38); // Alt
    EXPECT_FALSE(ScanOf(0x12).extended);
    EXPECT_EQ(VkFromScan({0x38, false}), 0xA4u); // left Alt
}

TEST(KeyTables, KeysWithoutACodeGetNone) {
    EXPECT_EQ(ScanOf(0x01).code, 0); // left mouse button
    EXPECT_EQ(ScanOf(0xFF).code, 0);
    EXPECT_EQ(VkFromScan({0x7F, false}), 0u);
    EXPECT_EQ(VkFromScan({0x1C, true}), 0u);
}

TEST(KeyTables, EveryScanCodeLeadsBackToItsKey) {
    std::set<UINT> keys;
    std::set<std::pair<uint8_t, bool>> codes;
    for (const auto& e : ScanTable()) {
        EXPECT_TRUE(keys.insert(e.vk).second) << "vk " << e.vk << " twice";
        EXPECT_TRUE(codes.insert({e.scan.code, e.scan.extended}).second)
            << "scan " << int(e.scan.code) << " twice";
        EXPECT_NE(e.scan.code, 0) << "vk " << e.vk;
        EXPECT_EQ(ScanOf(e.vk).code, e.scan.code) << "vk " << e.vk;
        EXPECT_EQ(ScanOf(e.vk).extended, e.scan.extended) << "vk " << e.vk;
        EXPECT_EQ(VkFromScan(e.scan), e.vk) << "vk " << e.vk;
    }
    // Letters, digits, F1-F12, the number pad's ten digits and more.
    EXPECT_GE(keys.size(), 26u + 10 + 12 + 10 + 30);
}

TEST(KeyTables, KnownKeySymbolsHaveTheirKeys) {
    const std::pair<KeySym, UINT> known[] = {
        {XK_Return, 0x0D},  {XK_KP_Enter, 0x0D}, {XK_a, 0x41},     {XK_Z, 0x5A},
        {XK_0, 0x30},       {XK_F1, 0x70},       {XK_F24, 0x87},   {XK_KP_0, 0x60},
        {XK_KP_Left, 0x25}, {XK_Left, 0x25},     {XK_Alt_R, 0xA5}, {XK_ISO_Level3_Shift, 0xA5},
        {XK_slash, 0xBF},   {XK_Menu, 0x5D},     {XK_Print, 0x2C}, {XK_ISO_Left_Tab, 0x09},
    };
    for (const auto& [sym, vk] : known)
        EXPECT_EQ(VkFromKeysym(sym), vk) << "keysym " << sym;
    EXPECT_EQ(VkFromKeysym(XK_dead_acute), 0u);
    EXPECT_EQ(KeysymFromVk(0x0D), KeySym(XK_Return));
    EXPECT_EQ(KeysymFromVk(0x25), KeySym(XK_Left));
    EXPECT_EQ(KeysymFromVk(0x41), KeySym(XK_a));
    EXPECT_EQ(KeysymFromVk(0x87), KeySym(XK_F24));
    EXPECT_EQ(KeysymFromVk(0x01), KeySym(NoSymbol));
}

TEST(KeyTables, EveryKeySymbolsKeyLeadsBackToAKeySymbolOfIt) {
    for (const auto& e : KeysymTable()) {
        EXPECT_EQ(VkFromKeysym(e.sym), e.vk) << "keysym " << e.sym;
        const KeySym back = KeysymFromVk(e.vk);
        EXPECT_NE(back, KeySym(NoSymbol)) << "vk " << e.vk;
        EXPECT_EQ(VkFromKeysym(back), e.vk) << "vk " << e.vk;
    }
    for (UINT vk = 'A'; vk <= 'Z'; ++vk)
        EXPECT_EQ(VkFromKeysym(KeysymFromVk(vk)), vk);
    for (UINT vk = 0x60; vk <= 0x69; ++vk)
        EXPECT_EQ(VkFromKeysym(KeysymFromVk(vk)), vk);
}

} // namespace
} // namespace ax::wm
