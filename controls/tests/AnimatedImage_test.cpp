// The animated image: cells cut from the glyph strip, the inactive cell,
// frames stepped by its timer on the GUI thread or on the worker (drawn by
// the GUI thread either way), checked on the pixels.
#include "controls/AnimatedImage.h"
#include "controls_fixture.h"

#include <chrono>
#include <thread>

namespace ax {
namespace {

using namespace std::chrono_literals;

const TColor kCells[] = {clRed, clLime, clBlue, clYellow};

// A strip of n square cells of side s, each filled with its colour; the
// bottom-left pixel, fuchsia, is the strip's transparent colour.
void MakeStrip(TBitmap& b, int n, int s) {
    b.SetSize(n * s, s);
    for (int i = 0; i < n; ++i) {
        b.Canvas().Brush().SetColor(kCells[i % 4]);
        b.Canvas().FillRect({i * s, 0, (i + 1) * s, s});
    }
    b.Canvas().SetPixel(0, s - 1, clFuchsia);
}

class AnimatedImageTest : public test::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = MainForm();
        image = TComponent::Create<TAnimatedImage>(form);
        image->SetLeft(10);
        image->SetTop(10);
        image->SetParent(form);
    }
    COLORREF Shown() {
        app->ProcessMessages();
        HDC dc = GetDC(form->Handle());
        const COLORREF c = GetPixel(dc, image->Left() + image->Width() / 2, image->Top() + image->Height() / 2);
        ReleaseDC(form->Handle(), dc);
        return c;
    }
    void PumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < end) {
            app->ProcessMessages();
            std::this_thread::yield();
        }
    }
    TForm* form = nullptr;
    TAnimatedImage* image = nullptr;
};

TEST_F(AnimatedImageTest, TheStripIsCutIntoSquareCells) {
    TBitmap strip;
    MakeStrip(strip, 4, 16);
    image->SetGlyph(&strip);
    EXPECT_EQ(image->NumGlyphs(), 4);
    EXPECT_EQ(image->CellWidth(), 16);
    EXPECT_EQ(image->CellHeight(), 16);
    EXPECT_EQ(image->Width(), 16); // AutoSize
    EXPECT_EQ(image->TransparentColor(), clFuchsia);
    HDC dc = GetDC(form->Handle());
    app->ProcessMessages();
    EXPECT_EQ(GetPixel(dc, 10, 10 + 15), ColorToRGB(clBtnFace)); // the form shows through
    ReleaseDC(form->Handle(), dc);
    strip.SetSize(60, 16);
    image->SetGlyph(&strip);
    EXPECT_EQ(image->NumGlyphs(), 1);
    EXPECT_EQ(image->CellWidth(), 60);
    image->SetOrientation(goVertical);
    EXPECT_EQ(image->NumGlyphs(), 1);
    strip.SetSize(16, 48);
    image->SetGlyph(&strip);
    EXPECT_EQ(image->NumGlyphs(), 3);
    EXPECT_EQ(image->CellHeight(), 16);
}

TEST_F(AnimatedImageTest, CellNumbersOutsideTheStripAreIgnored) {
    TBitmap strip;
    MakeStrip(strip, 4, 16);
    image->SetGlyph(&strip);
    int frames = 0;
    image->OnFrameChanged = [&](TObject*) { ++frames; };
    image->SetGlyphNum(2);
    EXPECT_EQ(image->GlyphNum(), 2);
    EXPECT_EQ(Shown(), ColorToRGB(clBlue));
    image->SetGlyphNum(4);
    image->SetGlyphNum(-1);
    EXPECT_EQ(image->GlyphNum(), 2);
    EXPECT_EQ(frames, 1);
    image->SetInactiveGlyph(9);
    EXPECT_EQ(image->InactiveGlyph(), -1);
    image->SetInactiveGlyph(-5);
    EXPECT_EQ(image->InactiveGlyph(), -1);
    // Inactive with no inactive cell keeps the current one.
    image->SetActive(true);
    image->SetActive(false);
    EXPECT_EQ(image->GlyphNum(), 2);
    image->SetInactiveGlyph(3);
    EXPECT_EQ(image->GlyphNum(), 3);
    EXPECT_EQ(Shown(), ColorToRGB(clYellow));
}

TEST_F(AnimatedImageTest, FramesStepOnTheGuiThread) {
    TBitmap strip;
    MakeStrip(strip, 4, 16);
    image->SetGlyph(&strip);
    int starts = 0, stops = 0;
    image->OnStart = [&](TObject*) { ++starts; };
    image->OnStop = [&](TObject*) { ++stops; };
    image->SetActive(true);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(Shown(), ColorToRGB(clRed));
    for (int step = 1; step <= 5; ++step) {
        clock.Advance(100);
        PumpUntil([&] { return image->GlyphNum() == step % 4; });
        ASSERT_EQ(image->GlyphNum(), step % 4);
        EXPECT_EQ(Shown(), ColorToRGB(kCells[step % 4])) << "step " << step;
    }
    Snapshot(form->Handle(), "animated_image");
    image->SetActive(false);
    EXPECT_EQ(stops, 1);
}

TEST_F(AnimatedImageTest, TwoCellsWithTheFirstInactiveShowTheSecondOnEveryStep) {
    TBitmap strip;
    MakeStrip(strip, 2, 16);
    image->SetGlyph(&strip);
    image->SetInactiveGlyph(0);
    image->SetActive(true);
    for (int step = 1; step <= 3; ++step) {
        int frames = 0;
        image->OnFrameChanged = [&](TObject*) { ++frames; };
        clock.Advance(100);
        PumpUntil([&] { return frames > 0; });
        EXPECT_EQ(image->GlyphNum(), 1);
        EXPECT_EQ(Shown(), ColorToRGB(clLime));
    }
    image->OnFrameChanged = nullptr;
    image->SetActive(false);
    EXPECT_EQ(Shown(), ColorToRGB(clRed));
}

TEST_F(AnimatedImageTest, AsynchronousStepsAreTakenByTheWorkerAndDrawnByTheGuiThread) {
    TBitmap strip;
    MakeStrip(strip, 4, 16);
    image->SetGlyph(&strip);
    image->SetAsyncDrawing(true);
    std::thread::id frameThread;
    image->OnFrameChanged = [&](TObject*) { frameThread = std::this_thread::get_id(); };
    image->SetActive(true);
    clock.Advance(100);
    PumpUntil([&] { return frameThread != std::thread::id(); });
    EXPECT_EQ(frameThread, std::this_thread::get_id());
    EXPECT_EQ(image->GlyphNum(), 1);
    EXPECT_EQ(Shown(), ColorToRGB(clLime));
    // Going while the worker may be stepping.
    clock.Advance(100);
    image->Free();
    image = nullptr;
    app->ProcessMessages();
}

} // namespace
} // namespace ax
