// A form holding each standard control, rendered headless (compared with
// the checked-in reference image) and on X11 under a private Xvfb. Both
// images are written into the build tree.
#include <cairo.h>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "demo_form.h"
#include "fixture.h"
#include "xvfb.h"

#ifndef AX_STDCTRLS_DATA
#error "AX_STDCTRLS_DATA must name the test data folder"
#endif

namespace ax {
namespace test {
std::vector<uint32_t> ReadServerWindow(const std::string& display, unsigned long window, int w, int h,
                                       const std::string& png);
}
namespace {

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
    TForm* form = test::BuildDemo(app);
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
