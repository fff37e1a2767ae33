// Form auto-size on first show: the design client height restored, the
// form scaled to another screen or pixel density with its controls' fonts,
// once; nothing done when inactive or without recorded design values. The
// headless screen is 1024 x 768.
#include "controls/FormAutoSize.h"
#include "controls_fixture.h"
#include "framework/streaming.h"
#include "rtl/streams.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/label.h"

namespace ax {
namespace {

using test::ControlsTest;

class FormAutoSizeTest : public ControlsTest {
protected:
    // A form not shown yet: window 408 x 327 (client 400 x 300) at (100, 100),
    // with a panel of its own font (10 points) and a label of the form's.
    TForm* NewForm() {
        TForm* form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, 0, 0);
        form->SetClientSize(400, 300);
        panel = TComponent::Create<TPanel>(form);
        panel->SetParent(form);
        panel->SetBounds(10, 10, 100, 50);
        panel->Font().SetSize(10);
        label = TComponent::Create<TLabel>(form);
        label->SetParent(form);
        label->SetBounds(10, 70, 60, 13);
        form->OnShow = [this](TObject*) { ++ownShows; };
        return form;
    }
    TFormAutoSize* AutoSize(TForm* form, int width, int height, int clientHeight, int ppi) {
        auto* a = TComponent::Create<TFormAutoSize>(form);
        a->DesignTimeSize().Width = width;
        a->DesignTimeSize().Height = height;
        a->DesignTimeSize().ClientHeight = clientHeight;
        a->DesignTimeSize().PixelsPerInch = ppi;
        a->SetActive(true);
        return a;
    }
    void ShowAgain(TForm* form) {
        form->Hide();
        form->Show();
        app->ProcessMessages();
    }
    TPanel* panel = nullptr;
    TLabel* label = nullptr;
    int ownShows = 0;
};

TEST_F(FormAutoSizeTest, InactiveItChangesNothingAndTheFormsOwnOnShowRuns) {
    TForm* form = NewForm();
    TFormAutoSize* a = AutoSize(form, 800, 600, 250, 120);
    a->SetActive(false);
    a->SetAllowAutoSize(true);
    a->SetCheckPixelsPerInch(true);
    a->Loaded(); // as reading the form's description ends
    form->Show();
    app->ProcessMessages();
    EXPECT_EQ(form->Width(), 408);
    EXPECT_EQ(form->Height(), 327);
    EXPECT_EQ(ownShows, 1);
}

TEST_F(FormAutoSizeTest, TheDesignClientHeightComesBackOnce) {
    TForm* form = NewForm();
    TFormAutoSize* a = AutoSize(form, 1024, 768, 250, 96);
    a->SetClientAutoSize(true);
    a->Loaded();
    form->Show();
    app->ProcessMessages();
    EXPECT_EQ(form->ClientHeight(), 250);
    EXPECT_EQ(form->ClientWidth(), 400);
    EXPECT_EQ(form->Height(), 277);
    EXPECT_FALSE(a->Active());
    EXPECT_EQ(ownShows, 1);
    // Once only.
    form->SetClientSize(400, 300);
    ShowAgain(form);
    EXPECT_EQ(form->ClientHeight(), 300);
    EXPECT_EQ(ownShows, 2);
}

TEST_F(FormAutoSizeTest, TheSameScreenAndDensityScaleNothing) {
    TForm* form = NewForm();
    TFormAutoSize* a = AutoSize(form, 1024, 768, 300, 96);
    a->SetAllowAutoSize(true);
    a->SetCheckPixelsPerInch(true);
    a->SetCheckFontSize(true);
    a->Loaded();
    form->Show();
    app->ProcessMessages();
    EXPECT_EQ(form->BoundsRect(), (RECT{100, 100, 508, 427}));
    EXPECT_EQ(panel->BoundsRect(), (RECT{10, 10, 110, 60}));
    EXPECT_EQ(panel->Font().Size(), 10);
    EXPECT_FALSE(a->Active());
    ShowAgain(form);
    EXPECT_EQ(form->BoundsRect(), (RECT{100, 100, 508, 427}));
    EXPECT_EQ(ownShows, 2);
}

TEST_F(FormAutoSizeTest, AnotherScreenScalesTheFormByItsClientArea) {
    TForm* form = NewForm();
    TFormAutoSize* a = AutoSize(form, 800, 600, 300, 96);
    a->SetAllowAutoSize(true);
    a->Loaded();
    form->Show();
    app->ProcessMessages();
    // Height 327 + 300 * 768 / 600 - 300 = 411, width 408 + 400 * 1024 / 800 - 400 = 520.
    EXPECT_EQ(form->Width(), 520);
    EXPECT_EQ(form->Height(), 411);
    // The controls by 1024 / 800, rounded: 10 -> 13, 100 -> 128, 50 -> 64.
    EXPECT_EQ(panel->BoundsRect(), (RECT{13, 13, 141, 77}));
    EXPECT_EQ(ownShows, 1);
    // Not with an unscaled form.
    TForm* fixed = NewForm();
    fixed->SetScaled(false);
    TFormAutoSize* b = AutoSize(fixed, 800, 600, 300, 96);
    b->SetAllowAutoSize(true);
    b->Loaded();
    fixed->Show();
    app->ProcessMessages();
    EXPECT_EQ(fixed->Width(), 408);
    EXPECT_EQ(fixed->Height(), 327);
}

TEST_F(FormAutoSizeTest, AnotherDensityScalesTheFormAndTheOwnFonts) {
    TForm* form = NewForm();
    TFormAutoSize* a = AutoSize(form, 1024, 768, 300, 120);
    a->SetAllowAutoSize(true);
    a->SetCheckPixelsPerInch(true);
    a->SetCheckFontSize(true);
    a->Loaded();
    const int labelHeight = label->Font().Height();
    form->Show();
    app->ProcessMessages();
    // 408 * 96 / 120 = 326, 327 * 96 / 120 = 261.
    EXPECT_EQ(form->Width(), 326);
    EXPECT_EQ(form->Height(), 261);
    // 10 points * 326 / 408 = 7 for the control with a font of its own.
    EXPECT_EQ(panel->Font().Size(), 7);
    EXPECT_EQ(label->Font().Height(), labelHeight);
    // Without CheckFontSize the fonts stay.
    TForm* other = NewForm();
    TFormAutoSize* b = AutoSize(other, 1024, 768, 300, 120);
    b->SetAllowAutoSize(true);
    b->SetCheckPixelsPerInch(true);
    b->Loaded();
    other->Show();
    app->ProcessMessages();
    EXPECT_EQ(other->Width(), 326);
    EXPECT_EQ(panel->Font().Size(), 10);
}

TEST_F(FormAutoSizeTest, WithoutRecordedDesignValuesNothingIsScaled) {
    for (bool client : {true, false}) {
        TForm* form = NewForm();
        TFormAutoSize* a = TComponent::Create<TFormAutoSize>(form);
        a->SetActive(true);
        if (client) a->SetClientAutoSize(true);
        else a->SetAllowAutoSize(true);
        a->SetCheckPixelsPerInch(true);
        a->SetCheckFontSize(true);
        a->Loaded();
        form->Show();
        app->ProcessMessages();
        EXPECT_EQ(form->Width(), 408) << client;
        EXPECT_EQ(form->Height(), 327) << client;
        EXPECT_EQ(panel->Font().Size(), 10) << client;
        EXPECT_FALSE(a->Active());
    }
    EXPECT_EQ(ownShows, 2);
}

TEST_F(FormAutoSizeTest, TheTwoModesExcludeEachOther) {
    TForm* form = NewForm();
    auto* a = TComponent::Create<TFormAutoSize>(form);
    a->SetAllowAutoSize(true);
    a->SetClientAutoSize(true);
    EXPECT_FALSE(a->AllowAutoSize());
    a->SetAllowAutoSize(true);
    EXPECT_FALSE(a->ClientAutoSize());
    a->SetAllowAutoSize(false);
    EXPECT_FALSE(a->ClientAutoSize());
}

TEST_F(FormAutoSizeTest, AFormBeingDesignedRecordsTheDesignValues) {
    TForm* form = NewForm();
    form->SetDesigning(true);
    auto* a = TComponent::Create<TFormAutoSize>(form);
    form->SetDesigning(false);
    EXPECT_EQ(a->DesignTimeSize().Width, 1024);
    EXPECT_EQ(a->DesignTimeSize().Height, 768);
    EXPECT_EQ(a->DesignTimeSize().ClientHeight, 300);
    EXPECT_EQ(a->DesignTimeSize().PixelsPerInch, 96);
    // Not at run time.
    auto* b = TComponent::Create<TFormAutoSize>(form);
    EXPECT_EQ(b->DesignTimeSize().Width, 0);
}

TEST_F(FormAutoSizeTest, GoingBeforeTheShowLeavesTheFormsHandlerWorking) {
    TForm* form = NewForm();
    TFormAutoSize* a = AutoSize(form, 800, 600, 250, 96);
    a->SetClientAutoSize(true);
    a->Loaded();
    a->Free();
    form->Show();
    app->ProcessMessages();
    EXPECT_EQ(ownShows, 1);
    EXPECT_EQ(form->ClientHeight(), 300);
}

TEST_F(FormAutoSizeTest, TheDesignValuesAreStored) {
    TForm* form = NewForm();
    TFormAutoSize* a = AutoSize(form, 1024, 600, 546, 96);
    a->SetName("FormAutoSize1");
    a->SetAllowAutoSize(true);
    a->SetCheckFontSize(true);
    TMemoryStream stream;
    WriteComponentResource(stream, *a);
    stream.SetPosition(0);
    TFormAutoSize read(nullptr);
    ReadComponentResource(stream, read);
    EXPECT_EQ(read.DesignTimeSize().Width, 1024);
    EXPECT_EQ(read.DesignTimeSize().Height, 600);
    EXPECT_EQ(read.DesignTimeSize().ClientHeight, 546);
    EXPECT_EQ(read.DesignTimeSize().PixelsPerInch, 96);
    EXPECT_TRUE(read.Active());
    EXPECT_TRUE(read.AllowAutoSize());
    EXPECT_TRUE(read.CheckFontSize());
    EXPECT_FALSE(read.CheckPixelsPerInch());
}

} // namespace
} // namespace ax
