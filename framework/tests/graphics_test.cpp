#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "framework/graphics.h"
#include "framework/registry.h"

namespace ax {
namespace {

TEST(Colors, NamesAndNumbers) {
    EXPECT_EQ(ColorToString(clRed), "clRed");
    EXPECT_EQ(ColorToString(clBtnFace), "clBtnFace");
    EXPECT_EQ(ColorToString(0x123456), "$00123456");
    EXPECT_EQ(StringToColor("clbtnface"), clBtnFace);
    EXPECT_EQ(StringToColor("$00123456"), 0x123456);
    EXPECT_EQ(StringToColor("255"), clRed);
    EXPECT_EQ(uint32_t(clBtnFace), 0xFF00000Fu);
    EXPECT_THROW(StringToColor("clNoSuch"), EConvertError);
    ResetSysColors();
    EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRGB(clBlue), 0xFF0000u);
}

TEST(Graphics, FontSizeAndHeight) {
    TFont f;
    EXPECT_EQ(f.Size(), 8);
    EXPECT_EQ(f.Height(), -11);
    int changes = 0;
    f.OnChange = [&](TObject*) { ++changes; };
    f.SetSize(10);
    EXPECT_EQ(f.Height(), -13);
    EXPECT_EQ(f.Size(), 10);
    f.SetStyle(fsBold | fsItalic);
    EXPECT_EQ(changes, 2);
    TFont g;
    g.Assign(&f);
    EXPECT_TRUE(g == f);
}

TEST(Graphics, BitmapCanvasDrawsAndSavesAsBmp) {
    SetTestFont(true);
    const auto before = GetGdiObjectCounts();
    {
        TBitmap b;
        b.SetSize(4, 3);
        b.Canvas().Brush().SetColor(clRed);
        b.Canvas().FillRect(RECT{0, 0, 4, 3});
        b.Canvas().Pen().SetColor(clBlue);
        b.Canvas().MoveTo(0, 0);
        b.Canvas().LineTo(4, 0);
        EXPECT_EQ(b.Canvas().Pixel(1, 0), 0xFF0000u);
        EXPECT_EQ(b.Canvas().Pixel(1, 1), 0x0000FFu);
        EXPECT_EQ(b.TransparentColor(), clRed); // bottom-left pixel
        b.SetWidth(5); // keeps what was drawn
        EXPECT_EQ(b.Canvas().Pixel(1, 1), 0x0000FFu);
        TMemoryStream s;
        b.SaveToStream(s);
        const auto& bytes = s.Bytes();
        ASSERT_EQ(bytes.size(), 14u + 40 + 16 * 3);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[18], 5); // width
        EXPECT_EQ(bytes[28], 24); // bits per pixel
        // Bottom row first: pixel (0, 2) red as B, G, R.
        EXPECT_EQ(bytes[54], 0x00);
        EXPECT_EQ(bytes[55], 0x00);
        EXPECT_EQ(bytes[56], 0xFF);
        s.SetPosition(0);
        TBitmap c;
        c.LoadFromStream(s);
        EXPECT_EQ(c.Width(), 5);
        EXPECT_EQ(c.Canvas().Pixel(2, 0), 0xFF0000u);
    }
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(Graphics, IconKeepsItsFileBytes) {
    TIcon source;
    source.SetHandle(CopyIcon(LoadIcon(0, IDI_APPLICATION)));
    TMemoryStream saved;
    source.SaveToStream(saved);
    ASSERT_GT(saved.Size(), 22);
    EXPECT_EQ(saved.Bytes()[2], 1); // an icon, not a cursor
    saved.SetPosition(0);
    TIcon loaded;
    loaded.LoadFromStream(saved);
    EXPECT_EQ(loaded.Width(), 32);
    TMemoryStream again;
    loaded.SaveToStream(again);
    EXPECT_EQ(again.Bytes(), saved.Bytes());
    TMemoryStream junk(std::vector<uint8_t>{1, 2, 3});
    EXPECT_THROW(loaded.LoadFromStream(junk), EInvalidOperation);
}

TEST(Graphics, CanvasLockIsReentrantAndExclusive) {
    TBitmap b;
    b.SetSize(2, 2);
    TCanvas& c = b.Canvas();
    c.Lock();
    c.Lock();
    EXPECT_EQ(c.LockCount(), 2);
    bool other = true;
    std::thread([&] { other = c.TryLock(); }).join();
    EXPECT_FALSE(other);
    c.Unlock();
    c.Unlock();
    std::thread([&] {
        other = c.TryLock();
        if (other) c.Unlock();
    }).join();
    EXPECT_TRUE(other);
}

TEST(Registry, KeysAndValuesLiveInTheConfigurationFolder) {
    const auto dir = std::filesystem::temp_directory_path() / ("axreg" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    EXPECT_EQ(RegistryFileName(), (dir / "ardentixxp/registry.ini").string());
    {
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey("Software\\Test", false));
        ASSERT_TRUE(reg.OpenKey("Software\\Test", true));
        reg.WriteString("Name", "value");
        reg.WriteInteger("Count", 42);
        reg.WriteBool("On", true);
        EXPECT_THROW(reg.ReadString("Missing"), ERegistryException);
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Test", false));
    EXPECT_EQ(reg.ReadString("Name"), "value");
    EXPECT_EQ(reg.ReadInteger("Count"), 42);
    EXPECT_TRUE(reg.ReadBool("On"));
    EXPECT_THROW(reg.ReadInteger("Name"), ERegistryException);
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey("Software", false));
    TStringList keys;
    reg.GetKeyNames(keys);
    ASSERT_EQ(keys.Count(), 1);
    EXPECT_EQ(keys[0], "Test");
    EXPECT_TRUE(reg.DeleteKey("Test"));
    EXPECT_FALSE(reg.KeyExists("Test"));
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.KeyExists("\\Software\\Test"));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace ax
