// A form holding each standard control, rendered headless (compared with
// the checked-in reference image) and on X11 under a private Xvfb. Both
// images are written into the build tree.
#include <cairo.h>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "fixture.h"
#include "xvfb.h"
#include "stdctrls/buttons.h"
#include "stdctrls/comctrls.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/gauges.h"
#include "stdctrls/stdctrls.h"

#ifndef AX_STDCTRLS_DATA
#error "AX_STDCTRLS_DATA must name the test data folder"
#endif

namespace ax {
namespace test {
std::vector<uint32_t> ReadServerWindow(const std::string& display, unsigned long window, int w, int h,
                                       const std::string& png);
}
namespace {

template <class T> T* Place(TWinControl* parent, int x, int y, int w, int h, const AnsiString& caption = "") {
    T* c = TComponent::Create<T>(parent);
    c->SetParent(parent);
    c->SetBounds(x, y, w, h);
    if (!caption.empty()) c->SetCaption(caption);
    return c;
}

TForm* BuildDemo(TApplication& app) {
    TForm* form = app.CreateForm<TForm>();
    form->SetCaption("Standard controls");
    form->SetBorderStyle(bsSingle);
    form->SetBounds(20, 20, 0, 0);
    form->SetClientSize(420, 300);
    Place<TLabel>(form, 8, 8, 0, 0, "&Name:");
    auto* edit = Place<TEdit>(form, 60, 6, 120, 21);
    edit->SetText("Edit text");
    auto* memo = Place<TMemo>(form, 8, 34, 172, 58);
    memo->SetText("First line\r\nSecond line\r\nThird line");
    auto* list = Place<TListBox>(form, 190, 6, 100, 60);
    for (const char* s : {"Alpha", "Beta", "Gamma", "Delta"}) list->Items().Add(s);
    list->SetItemIndex(1);
    auto* combo = Place<TComboBox>(form, 190, 72, 100, 21);
    for (const char* s : {"One", "Two"}) combo->Items().Add(s);
    combo->SetItemIndex(0);
    Place<TButton>(form, 300, 6, 75, 25, "&Button");
    auto* ok = Place<TBitBtn>(form, 300, 36, 75, 25);
    ok->SetKind(bkOK);
    auto* cancel = Place<TBitBtn>(form, 300, 66, 75, 25);
    cancel->SetKind(bkCancel);
    auto* check = Place<TCheckBox>(form, 8, 100, 100, 17, "Check box");
    check->SetChecked(true);
    Place<TRadioButton>(form, 8, 120, 100, 17, "Radio one")->SetChecked(true);
    Place<TRadioButton>(form, 8, 140, 100, 17, "Radio two");
    auto* panel = Place<TPanel>(form, 120, 100, 120, 40, "Panel");
    panel->SetBevelInner(bvLowered);
    Place<TBevel>(form, 250, 100, 60, 40);
    auto* image = Place<TImage>(form, 320, 100, 40, 40);
    TCanvas& ic = image->Canvas();
    ic.Brush().SetColor(clNavy);
    ic.FillRect({0, 0, 40, 40});
    ic.Brush().SetColor(clYellow);
    ic.Ellipse(8, 8, 32, 32);
    auto* bar = Place<TScrollBar>(form, 8, 165, 200, 16);
    bar->SetPosition(30);
    auto* progress = Place<TProgressBar>(form, 8, 190, 200, 16);
    progress->SetPosition(40);
    auto* gauge = Place<TGauge>(form, 220, 150, 150, 24);
    gauge->SetProgress(60);
    auto* status = Place<TStatusBar>(form, 0, 281, 420, 19);
    status->Panels().Add()->SetText("Ready");
    status->Panels().Items(0)->SetWidth(120);
    status->Panels().Add()->SetText("Part two");
    form->DoCreate();
    return form;
}

std::vector<uint32_t> Pixels(cairo_surface_t* s) {
    const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    std::vector<uint32_t> out;
    cairo_surface_flush(s);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
        for (int x = 0; x < w; ++x) out.push_back(row[x] & 0xFFFFFF);
    }
    return out;
}

std::vector<uint32_t> ReadPng(const std::string& path, int& w, int& h) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    std::vector<uint32_t> out;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        w = cairo_image_surface_get_width(s);
        h = cairo_image_surface_get_height(s);
        out = Pixels(s);
    }
    cairo_surface_destroy(s);
    return out;
}

// Renders the demonstration form on the active display and snapshots it.
std::vector<uint32_t> RenderDemo(test::StdCtrlsTest&, TApplication& app, const std::string& png, HWND* window) {
    TForm* form = BuildDemo(app);
    form->Show();
    for (int i = 0; i < 3; ++i) app.ProcessMessages();
    PumpDisplay();
    EXPECT_TRUE(SnapshotWindow(form->Handle(), png));
    if (window) *window = form->Handle();
    int w = 0, h = 0;
    return ReadPng(png, w, h);
}

class DemoTest : public test::StdCtrlsTest {};
using test::FindXvfb;
using test::Xvfb;

TEST_F(DemoTest, HeadlessRenderingMatchesTheReference) {
    const std::string out = "demo_form_headless.png";
    const std::vector<uint32_t> got = RenderDemo(*this, *app, out, nullptr);
    ASSERT_FALSE(got.empty());
    const std::string reference = std::string(AX_STDCTRLS_DATA) + "/demo_form.png";
    int w = 0, h = 0;
    const std::vector<uint32_t> expected = ReadPng(reference, w, h);
    ASSERT_FALSE(expected.empty()) << "no reference image " << reference;
    ASSERT_EQ(got.size(), expected.size());
    size_t differing = 0;
    for (size_t i = 0; i < got.size(); ++i) differing += got[i] != expected[i];
    EXPECT_EQ(differing, 0u) << "compare " << out << " with " << reference;
}

TEST_F(DemoTest, X11ShowsWhatHeadlessRenders) {
    const std::string binary = FindXvfb();
    if (binary.empty()) GTEST_SKIP() << "Xvfb is not installed";
    const std::vector<uint32_t> headless = RenderDemo(*this, *app, "demo_form_headless_again.png", nullptr);
    ASSERT_FALSE(headless.empty());
    app.reset();
    for (HWND h : EnumWindows()) DestroyWindow(h);

    Xvfb server;
    ASSERT_TRUE(server.Start(binary));
    setenv("DISPLAY", server.Name().c_str(), 1);
    ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
    app = std::make_unique<TApplication>(nullptr);
    app->ExceptionDisplay = [this](const AnsiString& text, const AnsiString&) { shown.push_back(text); };
    HWND window = nullptr;
    RenderDemo(*this, *app, "demo_form_x11_surface.png", &window);
    PumpDisplay();

    // What the server shows, read back from it.
    RECT wr{};
    GetWindowRect(window, wr);
    const std::vector<uint32_t> server_pixels =
        test::ReadServerWindow(server.Name(), NativeWindow(window), wr.width(), wr.height(), "demo_form_x11.png");
    ASSERT_FALSE(server_pixels.empty());
    EXPECT_EQ(server_pixels, headless);

    app.reset();
    for (HWND h : EnumWindows()) DestroyWindow(h);
    SelectDisplay(DisplayKind::Headless);
}

} // namespace
} // namespace ax
