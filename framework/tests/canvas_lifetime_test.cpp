// A control's canvas used outside painting keeps a device context of its
// own. It must let that DC go when the canvas gets another one (painting),
// and draw where the control is after the control or its form moved, was
// resized or got a new window. Run under the sanitizers (UNTRUSTED).
#include "framework_fixture.h"

namespace ax {
namespace {

using test::FrameworkTest;

class Block : public TCustomControl {
public:
    explicit Block(TComponent* owner) : TCustomControl(owner) { SetBounds(10, 10, 40, 30); }
    AnsiString ClassName() const override { return "TBlock"; }

protected:
    void Paint() override {
        Canvas().Brush().SetColor(clWhite);
        Canvas().FillRect(ClientRect());
    }
};

class Mark : public TGraphicControl {
public:
    explicit Mark(TComponent* owner) : TGraphicControl(owner) { SetBounds(60, 10, 20, 20); }
    AnsiString ClassName() const override { return "TMark"; }
};

class CanvasLifetime : public FrameworkTest {
protected:
    TForm* MakeForm() {
        TForm* form = app->CreateForm<TForm>();
        form->SetBorderStyle(bsNone);
        form->SetBounds(0, 0, 200, 150);
        form->Show();
        app->ProcessMessages();
        return form;
    }
    // 0x00RRGGBB at a point of the form's client area.
    static uint32_t Pixel(TForm* form, int x, int y) {
        cairo_surface_t* s = WindowSurface(form->Handle());
        cairo_surface_flush(s);
        const auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    }
    static void Paint(TCanvas& canvas, TColor colour, RECT r) {
        canvas.Brush().SetColor(colour);
        canvas.FillRect(r);
    }
};

TEST_F(CanvasLifetime, PaintingReleasesTheDcTheCanvasMadeForItself) {
    TForm* form = MakeForm();
    auto* block = TComponent::Create<Block>(form);
    block->SetParent(form);
    app->ProcessMessages();
    const int before = GetGdiObjectCounts().dcs;
    for (int i = 0; i < 5; ++i) {
        Paint(block->Canvas(), clRed, {0, 0, 5, 5}); // a DC of the canvas's own
        block->Repaint();                            // painting hands it another
        app->ProcessMessages();
    }
    EXPECT_EQ(GetGdiObjectCounts().dcs, before);
    Paint(block->Canvas(), clRed, {0, 0, 5, 5});
    EXPECT_EQ(GetGdiObjectCounts().dcs, before + 1);
    block->Free();
    EXPECT_EQ(GetGdiObjectCounts().dcs, before);
}

TEST_F(CanvasLifetime, TheCanvasDrawsWhereTheControlIsNow) {
    TForm* form = MakeForm();
    auto* block = TComponent::Create<Block>(form);
    block->SetParent(form);
    auto* mark = TComponent::Create<Mark>(form);
    mark->SetParent(form);
    app->ProcessMessages();
    Paint(block->Canvas(), clBlue, {0, 0, 40, 30});
    Paint(mark->Canvas(), clBlue, {0, 0, 20, 20});
    EXPECT_EQ(Pixel(form, 15, 15), 0x0000FFu);
    EXPECT_EQ(Pixel(form, 65, 15), 0x0000FFu);

    block->SetBounds(100, 100, 40, 30);
    mark->SetBounds(150, 60, 20, 20);
    Paint(block->Canvas(), clLime, {0, 0, 40, 30});
    Paint(mark->Canvas(), clLime, {0, 0, 20, 20});
    EXPECT_EQ(Pixel(form, 105, 105), 0x00FF00u);
    EXPECT_EQ(Pixel(form, 155, 65), 0x00FF00u);
    EXPECT_NE(Pixel(form, 15, 15), 0x00FF00u);

    // The form grows: its surface is replaced under the canvases' DCs.
    form->SetBounds(0, 0, 400, 300);
    block->SetBounds(300, 200, 40, 30);
    Paint(block->Canvas(), clYellow, {0, 0, 40, 30});
    EXPECT_EQ(Pixel(form, 305, 205), 0xFFFF00u);
}

TEST_F(CanvasLifetime, ANewWindowGetsANewDc) {
    TForm* form = MakeForm();
    auto* block = TComponent::Create<Block>(form);
    block->SetParent(form);
    app->ProcessMessages();
    Paint(block->Canvas(), clBlue, {0, 0, 40, 30});
    const int dcs = GetGdiObjectCounts().dcs;
    block->RecreateWnd();
    EXPECT_EQ(GetGdiObjectCounts().dcs, dcs - 1); // the old window's went with it
    Paint(block->Canvas(), clFuchsia, {0, 0, 40, 30});
    EXPECT_EQ(Pixel(form, 15, 15), 0xFF00FFu);
}

} // namespace
} // namespace ax
