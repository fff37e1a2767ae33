// Right-to-left modes: what each mode asks of a control, and how a mode set
// on a form reaches the controls that follow their parent.
#include "framework_fixture.h"

namespace ax {
namespace {

using test::FrameworkTest;

class Panel : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    AnsiString ClassName() const override { return "TPanelBox"; }
    int changes = 0;

    void Dispatch(TMessage& m) override {
        if (m.Msg == CM_BIDIMODECHANGED) ++changes;
        TCustomControl::Dispatch(m);
    }
};

TEST_F(FrameworkTest, EachModeSaysWhatIsMirroredAndWhatReadsRightToLeft) {
    auto* form = app->CreateForm<TForm>();
    struct Want {
        TBiDiMode mode;
        bool rtl, alignment, reading, scrollBar;
    };
    for (const Want& w : {Want{bdLeftToRight, false, false, false, false},
                          Want{bdRightToLeft, true, true, true, true},
                          Want{bdRightToLeftNoAlign, true, false, true, true},
                          Want{bdRightToLeftReadingOnly, true, false, true, false}}) {
        SCOPED_TRACE(int(w.mode));
        form->SetBiDiMode(w.mode);
        EXPECT_EQ(form->IsRightToLeft(), w.rtl);
        EXPECT_EQ(form->UseRightToLeftAlignment(), w.alignment);
        EXPECT_EQ(form->UseRightToLeftReading(), w.reading);
        EXPECT_EQ(form->UseRightToLeftScrollBar(), w.scrollBar);
    }
}

TEST_F(FrameworkTest, ControlsFollowTheirParentsModeUntilGivenOneOfTheirOwn) {
    auto* form = app->CreateForm<TForm>();
    auto* outer = TComponent::Create<Panel>(form);
    outer->SetParent(form);
    auto* inner = TComponent::Create<Panel>(form);
    inner->SetParent(outer);
    EXPECT_TRUE(inner->ParentBiDiMode());
    EXPECT_EQ(inner->BiDiMode(), bdLeftToRight);

    form->SetBiDiMode(bdRightToLeft);
    EXPECT_EQ(outer->BiDiMode(), bdRightToLeft);
    EXPECT_EQ(inner->BiDiMode(), bdRightToLeft);
    EXPECT_EQ(outer->changes, 1);
    EXPECT_EQ(inner->changes, 1);

    // A mode of its own cuts the inner control loose.
    inner->SetBiDiMode(bdLeftToRight);
    EXPECT_FALSE(inner->ParentBiDiMode());
    form->SetBiDiMode(bdRightToLeftReadingOnly);
    EXPECT_EQ(outer->BiDiMode(), bdRightToLeftReadingOnly);
    EXPECT_EQ(inner->BiDiMode(), bdLeftToRight);
    EXPECT_EQ(inner->changes, 2);

    // Following the parent again takes its mode at once.
    inner->SetParentBiDiMode(true);
    EXPECT_EQ(inner->BiDiMode(), bdRightToLeftReadingOnly);
    EXPECT_EQ(inner->changes, 3);
    // Let go, it keeps what it had.
    inner->SetParentBiDiMode(false);
    form->SetBiDiMode(bdLeftToRight);
    EXPECT_EQ(inner->BiDiMode(), bdRightToLeftReadingOnly);
    EXPECT_EQ(inner->changes, 3);
}

} // namespace
} // namespace ax
