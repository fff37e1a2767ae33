// The theme binding and the themed check box: without the theme library
// the box erases as any check box and no theme entry point is set; with a
// library whose styles are on it leaves the parent's background alone.
#include "controls/ThemeBinding.h"
#include "controls/XPCheckBox.h"
#include "controls_fixture.h"
#include "platform/library.h"

#include <string_view>

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
    EXPECT_EQ(GetThemePartSize, nullptr);
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


// A theme library that records what it is asked to draw, with boxes of
// 16 pixels.
struct Drawn {
    int part = 0, state = 0;
    RECT rect{};
    int count = 0;
};
Drawn drawn;
TThemeData* const kTheme = reinterpret_cast<TThemeData*>(0x1000);
HTHEME OpenButton(HWND, const char16_t* cls) { return std::u16string_view(cls) == u"button" ? kTheme : nullptr; }
HRESULT Close(HTHEME) { return 0; }
HRESULT Draw(HTHEME, HDC, int part, int state, const RECT* r, const RECT*) {
    drawn = {part, state, *r, drawn.count + 1};
    return 0;
}
HRESULT Size16(HTHEME, HDC, int, int, const RECT*, int, SIZE* size) {
    *size = {16, 16};
    return 0;
}

TEST_F(XPCheckBoxTest, WithStylesInUseTheBoxIsDrawnByTheThemeInItsState) {
    TThemeLibrary library;
    library.OpenThemeData = &OpenButton;
    library.CloseThemeData = &Close;
    library.DrawThemeBackground = &Draw;
    library.GetThemePartSize = &Size16;
    library.IsThemeActive = &Yes;
    library.IsAppThemed = &Yes;
    BindThemeLibrary(library);
    TXPCheckBox* box = Box();
    const auto paint = [&] {
        drawn = {};
        box->Repaint();
        app->ProcessMessages();
        return drawn;
    };
    Drawn d = paint();
    EXPECT_EQ(d.count, 1);
    EXPECT_EQ(d.part, 3) << "the check box part";
    EXPECT_EQ(d.state, 1) << "unchecked, normal";
    // The classic box is 13 pixels at (0, 2); the theme's 16, centred on
    // it, would start left of the control, so it is moved inside.
    EXPECT_EQ(d.rect, (RECT{0, 1, 16, 17}));
    box->SetState(cbChecked);
    EXPECT_EQ(paint().state, 5);
    box->SetAllowGrayed(true);
    box->SetState(cbGrayed);
    EXPECT_EQ(paint().state, 9);
    box->SetEnabled(false);
    EXPECT_EQ(paint().state, 12) << "mixed, disabled";
    // Right-justified boxes sit at the right edge, the theme's too.
    box->SetEnabled(true);
    box->SetState(cbUnchecked);
    box->SetAlignment(taLeftJustify);
    EXPECT_EQ(paint().rect, (RECT{104, 1, 120, 17}));
}

} // namespace
} // namespace ax
