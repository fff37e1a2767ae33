// The theme binding and the themed check box: without the theme library
// the box erases as any check box and no theme entry point is set; with a
// library whose styles are on it leaves the parent's background alone.
#include "controls/ThemeBinding.h"
#include "controls/XPCheckBox.h"
#include "controls_fixture.h"
#include "platform/library.h"

namespace ax {
namespace {

using test::ControlsTest;

BOOL Yes() { return TRUE; }
BOOL No() { return FALSE; }

class XPCheckBoxTest : public ControlsTest {
protected:
    void TearDown() override {
        UnbindThemeLibrary();
        UnregisterLibraryStandIn(ThemeLibraryName);
        ControlsTest::TearDown();
    }
    TXPCheckBox* Box() {
        TForm* form = MainForm();
        auto* box = TComponent::Create<TXPCheckBox>(form);
        box->SetParent(form);
        box->SetBounds(10, 10, 120, 17);
        box->SetCaption("Large Fonts");
        box->SetColor(clYellow);
        app->ProcessMessages();
        return box;
    }
    // Fills the box's window with magenta, sends it WM_ERASEBKGND and
    // answers the colour left at (2, 2), with the message's result.
    std::pair<COLORREF, LRESULT> Erase(TXPCheckBox* box) {
        const HWND h = box->Handle();
        HDC dc = GetDC(h);
        const RECT all{0, 0, box->Width(), box->Height()};
        HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
        FillRect(dc, &all, magenta);
        DeleteObject(magenta);
        const LRESULT result = SendMessage(h, WM_ERASEBKGND, WPARAM(dc.value), 0);
        const COLORREF left = GetPixel(dc, 2, 2);
        ReleaseDC(h, dc);
        return {left, result};
    }
};

TEST_F(XPCheckBoxTest, WithoutTheLibraryTheBoxErasesAndNothingIsBound) {
    EXPECT_FALSE(BindThemeLibrary()) << "there is no \"uxtheme.dll\" on this platform";
    EXPECT_FALSE(ThemeLibraryBound());
    EXPECT_FALSE(ThemesAvailable());
    EXPECT_EQ(OpenThemeData, nullptr);
    EXPECT_EQ(CloseThemeData, nullptr);
    EXPECT_EQ(DrawThemeBackground, nullptr);
    EXPECT_EQ(GetThemeBackgroundContentRect, nullptr);
    EXPECT_EQ(LibraryLoadCount(ThemeLibraryName), 0);
    EXPECT_EQ(SetErrorMode(0), 0u) << "the error mode is put back";
    TXPCheckBox* box = Box();
    const auto [colour, result] = Erase(box);
    EXPECT_EQ(colour, RGB(255, 255, 0)) << "erased in the box's colour";
    EXPECT_EQ(result, 1);
    // And it is a check box as any other.
    ClickAt(box, 5, 8);
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(box->ClassName(), "TXPCheckBox");
}

TEST_F(XPCheckBoxTest, WithStylesInUseTheParentsBackgroundStays) {
    // A library by that name, whose styles are on: bound by name, the
    // entry points it lacks stay empty.
    RegisterLibraryStandIn(ThemeLibraryName, {{"IsThemeActive", reinterpret_cast<void*>(&Yes)},
                                              {"IsAppThemed", reinterpret_cast<void*>(&Yes)}});
    ASSERT_TRUE(BindThemeLibrary());
    EXPECT_EQ(LibraryLoadCount("UXTHEME.DLL"), 1);
    EXPECT_TRUE(ThemesAvailable());
    EXPECT_EQ(OpenThemeData, nullptr);
    TXPCheckBox* box = Box();
    const auto [colour, result] = Erase(box);
    EXPECT_EQ(colour, RGB(255, 0, 255)) << "left alone";
    EXPECT_EQ(result, 1) << "answered as erased";
    UnbindThemeLibrary();
    EXPECT_EQ(LibraryLoadCount(ThemeLibraryName), 0);
    EXPECT_FALSE(ThemesAvailable());
    EXPECT_EQ(Erase(box).first, RGB(255, 255, 0));
}

TEST_F(XPCheckBoxTest, StylesSwitchedOffByTheUserEraseAsUsual) {
    TThemeLibrary off;
    off.IsThemeActive = &No;
    off.IsAppThemed = &Yes;
    BindThemeLibrary(off);
    EXPECT_FALSE(ThemesAvailable());
    TXPCheckBox* box = Box();
    EXPECT_EQ(Erase(box).first, RGB(255, 255, 0));
    // Nor when the program is not themed, or the test is missing.
    off.IsThemeActive = &Yes;
    off.IsAppThemed = &No;
    BindThemeLibrary(off);
    EXPECT_EQ(Erase(box).first, RGB(255, 255, 0));
    off.IsAppThemed = nullptr;
    BindThemeLibrary(off);
    EXPECT_FALSE(ThemesAvailable());
    EXPECT_EQ(Erase(box).first, RGB(255, 255, 0));
}

} // namespace
} // namespace ax
