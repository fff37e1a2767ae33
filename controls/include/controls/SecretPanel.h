#pragma once
// A panel that, while Active, hides its child controls and scrolls its
// Lines (credits) through its client area, with an optional glyph, one
// pixel per step of its timer. With AsyncDrawing the steps are counted on
// the timer's worker; drawing and stopping are the GUI thread's.
#include <memory>
#include <mutex>
#include <vector>

#include "controls/ExTimer.h"
#include "stdctrls/common.h"
#include "stdctrls/extctrls.h"

namespace ax {

enum TGlyphLayout { glGlyphLeft, glGlyphRight, glGlyphTop, glGlyphBottom };
enum TScrollDirection { sdVertical, sdHorizontal };

using TPanelDrawEvent = std::function<void(TObject* Sender, TCanvas& Canvas, const RECT& Rect)>;

class TSecretPanel : public TCustomPanel {
public:
    explicit TSecretPanel(TComponent* owner);
    ~TSecretPanel() override;
    AnsiString ClassName() const override { return "TSecretPanel"; }
    void DefinePublished(TFiler& filer) override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    bool AsyncDrawing() const { return !timer_->SyncEvent(); }
    void SetAsyncDrawing(bool value) { timer_->SetSyncEvent(!value); }
    bool Cycled() const { return cycled_; }
    void SetCycled(bool value) { cycled_ = value; }
    TBitmap& Glyph() { return *glyph_; }
    TGlyphLayout GlyphLayout() const { return glyphLayout_; }
    void SetGlyphLayout(TGlyphLayout value);
    uint32_t Interval() const { return timer_->Interval(); }
    void SetInterval(uint32_t ms) { timer_->SetInterval(ms); }
    TStringList& Lines() { return *lines_; }
    TScrollDirection ScrollDirection() const { return direction_; }
    void SetScrollDirection(TScrollDirection value);
    TBevelCut TextStyle() const { return textStyle_; }
    void SetTextStyle(TBevelCut value);
    void SetTextAlignment(TAlignment value);

    // The scroll position and where it ends; the text area; the first line
    // that is not blank.
    int ScrollCount() const;
    int MaxScroll() const { return maxScroll_; }
    RECT PaintRect() const { return paintRect_; }
    int FirstLine() const { return firstLine_; }
    TExTimer& Timer() { return *timer_; }

    TPanelDrawEvent OnPaintClient;
    TNotifyEvent OnStartPlay;
    TNotifyEvent OnStopPlay;

    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    void RecalcLayout();
    // Draws the lines at the current scroll position (GUI thread).
    void DrawLines();

private:
    void ScrollStep();
    int FrameWidth() const;

    std::unique_ptr<TBitmap> glyph_;
    std::unique_ptr<TStringList> lines_;
    std::unique_ptr<TBitmap> memory_; // while active
    TExTimer* timer_ = nullptr;
    bool active_ = false;
    bool cycled_ = false;
    TGlyphLayout glyphLayout_ = glGlyphLeft;
    TScrollDirection direction_ = sdVertical;
    TBevelCut textStyle_ = bvNone;
    RECT paintRect_{};
    POINT glyphOrigin_{};
    int firstLine_ = 0, lineHeight_ = 0, maxScroll_ = 0;
    mutable std::mutex scrollMutex_;
    int scrollCount_ = 0;
    bool stopping_ = false;
    std::vector<TControl*> hidden_;
};

} // namespace ax
