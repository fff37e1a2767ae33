// Settings names, the ini helpers, screen-dependent values and the form
// placement storage.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "controls/AppUtils.h"
#include "controls/FormPlacement.h"
#include "controls_fixture.h"
#include "platform/window/placement.h"
#include "platform/window/sysmenu.h"
#include "stdctrls/extctrls.h"
#include "temp_folder.h"

namespace ax {
namespace {

class TPlacedForm : public TForm {
public:
    using TForm::TForm;
    AnsiString ClassName() const override { return "TPlacedForm"; }
};

class PlacementTest : public test::ControlsTest {
protected:
    std::string Read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    test::TempFolder folder;
};

TEST_F(PlacementTest, DefaultSectionNames) {
    auto* form = app->CreateForm<TPlacedForm>();
    auto* panel = TComponent::Create<TPanel>(form);
    panel->SetName("Panel1");
    panel->SetParent(form);
    // A control whose parent is on no form: the parent's name and its own.
    TPanel outer(nullptr);
    outer.SetName("Outer");
    TPanel inner(nullptr);
    inner.SetName("Inner");
    inner.SetParent(&outer);
    EXPECT_EQ(GetDefaultSection(&inner), "OuterInner");
    inner.SetParent(nullptr);
    EXPECT_EQ(GetDefaultSection(form), "TPlacedForm");
    EXPECT_EQ(GetDefaultSection(panel), "TPlacedFormPanel1");
    auto* placement = TComponent::Create<TFormPlacement>(form);
    placement->SetName("Placement1");
    EXPECT_EQ(GetDefaultSection(placement), "TPlacedForm.Placement1");
    EXPECT_EQ(GetDefaultSection(nullptr), "");
    EXPECT_EQ(placement->IniSection(), "TPlacedForm");
    EXPECT_EQ(placement->Options(), unsigned(fpState | fpPosition));
    TFormPlacement loose(nullptr);
    EXPECT_EQ(loose.Options(), 0u);
}

TEST_F(PlacementTest, DefaultNamesFollowTheProgramOrTheHooks) {
    EXPECT_EQ(GetDefaultIniName(), "controls_FormPlacement_test.INI");
    OnGetDefaultIniName = [] { return AnsiString("/tmp/mine.ini"); };
    EXPECT_EQ(GetDefaultIniName(), "/tmp/mine.ini");
    OnGetDefaultIniName = nullptr;
    EXPECT_EQ(GetDefaultIniRegKey(), "Software\\controls_FormPlacement_test");
    app->SetTitle("Ardentix");
    RegUseAppTitle = true;
    EXPECT_EQ(GetDefaultIniRegKey(), "Software\\Ardentix");
    RegUseAppTitle = false;
}

TEST_F(PlacementTest, QuotedValuesSurviveAnIniFile) {
    const std::string path = folder.File("q.ini");
    {
        TIniFileStorage ini(path);
        IniWriteString(&ini, "S", "double", "\"hello\"");
        IniWriteString(&ini, "S", "single", "'x'");
        IniWriteString(&ini, "S", "half", "\"open");
        IniWriteInteger(&ini, "S", "n", -42);
    }
    TIniFileStorage ini(path);
    EXPECT_EQ(IniReadString(&ini, "S", "double", ""), "\"hello\"");
    EXPECT_EQ(IniReadString(&ini, "S", "single", ""), "'x'");
    EXPECT_EQ(IniReadString(&ini, "S", "half", ""), "\"open");
    EXPECT_EQ(IniReadInteger(&ini, "S", "n", 0), -42);
    EXPECT_EQ(IniReadInteger(&ini, "S", "missing", 5), 5);
    EXPECT_EQ(IniReadString(nullptr, "S", "double", "def"), "def");
    IniWriteString(nullptr, "S", "x", "y"); // nothing to write to
    IniEraseSection(&ini, "S");
    EXPECT_EQ(IniReadInteger(&ini, "S", "n", 0), 0);
}

TEST_F(PlacementTest, ScreenValuesAreReadForTheResolutionFirst) {
    const std::string path = folder.File("s.ini");
    TIniFileStorage ini(path);
    IniWriteScreenString(&ini, "S", "NormPos", "1,2,3,4");
    EXPECT_NE(Read(path).find("NormPos(1024x768)=1,2,3,4"), std::string::npos);
    EXPECT_NE(Read(path).find("NormPos=1,2,3,4"), std::string::npos);
    ini.WriteString("S", "NormPos", "9,9,9,9"); // as another resolution left it
    EXPECT_EQ(IniReadScreenString(&ini, "S", "NormPos", ""), "1,2,3,4");
    ini.File().DeleteKey("S", "NormPos(1024x768)");
    EXPECT_EQ(IniReadScreenString(&ini, "S", "NormPos", ""), "9,9,9,9");
}

TEST_F(PlacementTest, PlacementRoundTripThroughTheFormsEvents) {
    const std::string path = folder.File("p.ini");
    auto* form = app->CreateForm<TPlacedForm>();
    form->SetBounds(50, 60, 300, 200);
    auto* placement = TComponent::Create<TFormPlacement>(form);
    placement->SetIniFileName(path);
    int shows = 0;
    form->OnShow = [&](TObject*) { ++shows; };
    placement->Loaded(); // as reading the form's description ends
    TIniLink link(placement);
    std::vector<std::string> linkLog;
    link.OnSave = [&] {
        ASSERT_NE(link.IniObject(), nullptr);
        linkLog.push_back("save " + link.RootSection());
        link.IniObject()->WriteString(link.RootSection() + "List", "Count", "3");
    };
    link.OnLoad = [&] { linkLog.push_back("load " + link.IniObject()->ReadString(link.RootSection() + "List", "Count", "")); };
    form->Show();
    app->ProcessMessages();
    EXPECT_EQ(shows, 1);
    form->SetBounds(70, 80, 320, 210);
    bool canClose = true;
    form->OnCloseQuery(form, canClose);
    EXPECT_EQ(link.IniObject(), nullptr); // closed again
    const std::string text = Read(path);
    EXPECT_NE(text.find("[TPlacedForm]"), std::string::npos);
    EXPECT_NE(text.find("FormVersion=0"), std::string::npos);
    EXPECT_NE(text.find("ShowCmd=1"), std::string::npos);
    EXPECT_NE(text.find("PixelsPerInch=96"), std::string::npos);
    EXPECT_NE(text.find("NormPos=70,80,390,290"), std::string::npos);
    EXPECT_NE(text.find("[TPlacedForm\\List]"), std::string::npos);

    form->SetBounds(10, 10, 100, 100);
    placement->RestoreFormPlacement();
    EXPECT_EQ(form->BoundsRect(), (RECT{70, 80, 390, 290}));
    // Showing the form loaded the links before anything was saved.
    EXPECT_EQ(linkLog, (std::vector<std::string>{"load ", "save TPlacedForm\\", "load 3"}));

    // Settings of an older version of the form are left alone.
    placement->SetVersion(2);
    form->SetBounds(10, 10, 100, 100);
    placement->RestoreFormPlacement();
    EXPECT_EQ(form->BoundsRect(), (RECT{10, 10, 110, 110}));
}

TEST_F(PlacementTest, APlacementOfAnotherDensityIsNotApplied) {
    const std::string path = folder.File("d.ini");
    {
        TIniFileStorage ini(path);
        ini.WriteInteger("TPlacedForm", "PixelsPerInch", 120);
        ini.WriteString("TPlacedForm", "MinMaxPos", "-1,-1,-1,-1");
        ini.WriteString("TPlacedForm", "NormPos", "5,5,205,105");
    }
    auto* form = app->CreateForm<TPlacedForm>();
    form->SetBounds(50, 60, 300, 200);
    form->Show();
    TIniFileStorage ini(path);
    ReadFormPlacement(*form, &ini, "TPlacedForm", false, true);
    EXPECT_EQ(form->BoundsRect(), (RECT{50, 60, 350, 260}));
    ini.WriteInteger("TPlacedForm", "PixelsPerInch", 96);
    ReadFormPlacement(*form, &ini, "TPlacedForm", false, true);
    EXPECT_EQ(form->BoundsRect(), (RECT{5, 5, 205, 105}));
    // A form that cannot be resized keeps its size.
    form->SetBorderStyle(bsSingle);
    ini.WriteString("TPlacedForm", "NormPos", "7,8,9,10");
    ReadFormPlacement(*form, &ini, "TPlacedForm", false, true);
    EXPECT_EQ(form->BoundsRect(), (RECT{7, 8, 207, 108}));
    // A stored maximised state.
    ini.WriteInteger("TPlacedForm", "ShowCmd", SW_SHOWMAXIMIZED);
    ReadFormPlacement(*form, &ini, "TPlacedForm", true, false);
    EXPECT_EQ(form->WindowState(), wsMaximized);
}

TEST_F(PlacementTest, LimitsAndPreventResizeThroughTheWindowHook) {
    auto* form = app->CreateForm<TPlacedForm>();
    form->SetBounds(50, 60, 300, 200);
    auto* placement = TComponent::Create<TFormPlacement>(form);
    placement->SetIniFileName(folder.File("h.ini"));
    placement->MinMaxInfo().MinTrackWidth = 150;
    placement->Loaded();
    form->Show();
    app->ProcessMessages();
    MINMAXINFO info{};
    info.ptMinTrackSize = {10, 11};
    SendMessage(form->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 150);
    EXPECT_EQ(info.ptMinTrackSize.y, 11);
    placement->SetPreventResize(true);
    EXPECT_FALSE(form->BorderIcons() & biMaximize);
    SendMessage(form->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMaxTrackSize.x, 300);
    EXPECT_EQ(info.ptMinTrackSize.y, 200);
    RECT r;
    GetWindowRect(form->Handle(), r);
    EXPECT_EQ(SendMessage(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(r.right - 1, r.bottom - 1)), HTCLIENT);
    // The window menu as it opens: Size and Maximize greyed, Move kept; a
    // pop-up menu of the form's own is left alone.
    HMENU menu = GetSystemMenu(form->Handle(), FALSE);
    SendMessage(form->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
    EXPECT_EQ(GetMenuState(menu, UINT(SC_SIZE), MF_BYCOMMAND), MF_GRAYED);
    EXPECT_EQ(GetMenuState(menu, UINT(SC_MAXIMIZE), MF_BYCOMMAND), MF_GRAYED);
    EXPECT_EQ(GetMenuState(menu, UINT(SC_MOVE), MF_BYCOMMAND), MF_ENABLED);
    EnableMenuItem(menu, UINT(SC_SIZE), MF_BYCOMMAND | MF_ENABLED);
    SendMessage(form->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, FALSE));
    EXPECT_EQ(GetMenuState(menu, UINT(SC_SIZE), MF_BYCOMMAND), MF_ENABLED);
}

// The limits reach the window layer: sizes set on the form keep within
// them, and a form that may not be resized keeps its size.
TEST_F(PlacementTest, LimitsAndPreventResizeBoundTheFormsSize) {
    auto* form = app->CreateForm<TPlacedForm>();
    form->SetBounds(50, 60, 300, 200);
    auto* placement = TComponent::Create<TFormPlacement>(form);
    placement->SetIniFileName(folder.File("l.ini"));
    placement->MinMaxInfo().MinTrackWidth = 250;
    placement->MinMaxInfo().MinTrackHeight = 180;
    placement->MinMaxInfo().MaxTrackWidth = 500;
    placement->Loaded();
    form->Show();
    app->ProcessMessages();
    form->SetBounds(50, 60, 100, 100);
    EXPECT_EQ(form->BoundsRect(), (RECT{50, 60, 300, 240}));
    form->SetBounds(50, 60, 900, 400);
    EXPECT_EQ(form->BoundsRect(), (RECT{50, 60, 550, 460}));
    form->SetBounds(50, 60, 320, 210);
    placement->SetPreventResize(true);
    form->SetBounds(40, 30, 400, 300);
    EXPECT_EQ(form->BoundsRect(), (RECT{40, 30, 360, 240}));
    // Allowed again, the form takes new sizes within the limits.
    placement->SetPreventResize(false);
    form->SetBounds(40, 30, 400, 300);
    EXPECT_EQ(form->BoundsRect(), (RECT{40, 30, 440, 330}));
}

} // namespace
} // namespace ax
