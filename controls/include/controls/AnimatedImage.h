#pragma once
// TExImageControl: a graphic control that paints double-buffered and keeps
// an image lock. TAnimatedImage shows one cell of a glyph strip (square
// cells side by side, or stacked with goVertical) and steps through the
// cells on its own threaded timer while Active. With AsyncDrawing the step
// is taken on the timer's worker, under the image lock, and the new frame is
// drawn by the GUI thread; the worker never draws.
#include <memory>

#include "controls/ExTimer.h"
#include "framework/controls.h"
#include "rtl/threads.h"

namespace ax {

enum TGlyphOrientation { goHorizontal, goVertical };

class TExImageControl : public TGraphicControl {
public:
    explicit TExImageControl(TComponent* owner);
    AnsiString ClassName() const override { return "TExImageControl"; }
    void Dispatch(TMessage& message) override;

protected:
    // Paints into Canvas (a memory bitmap of the client size when painted
    // double-buffered).
    virtual void PaintImage() {}
    TCriticalSection lock_;
    bool inTimerPaint_ = false;
};

class TAnimatedImage : public TExImageControl {
public:
    explicit TAnimatedImage(TComponent* owner);
    ~TAnimatedImage() override;
    AnsiString ClassName() const override { return "TAnimatedImage"; }
    void DefinePublished(TFiler& filer) override;
    void Loaded() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    bool AsyncDrawing() const { return asyncDrawing_; }
    void SetAsyncDrawing(bool value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value);
    TGlyphOrientation Orientation() const { return orientation_; }
    void SetOrientation(TGlyphOrientation value);
    TBitmap& Glyph() { return *glyph_; }
    void SetGlyph(const TBitmap* glyph);
    int GlyphNum() const { return glyphNum_; }
    // Accepted only within 0 .. NumGlyphs - 1.
    void SetGlyphNum(int value);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int value);
    // The cell shown while inactive (-1: the current one).
    int InactiveGlyph() const { return inactiveGlyph_; }
    void SetInactiveGlyph(int value);
    uint32_t Interval() const { return timer_->Interval(); }
    void SetInterval(uint32_t ms) { timer_->SetInterval(ms); }
    TColor TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(TColor value);
    bool Opaque() const { return opaque_; }
    void SetOpaque(bool value);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    int CellWidth() const { return cellWidth_; }
    int CellHeight() const { return cellHeight_; }
    TExTimer& Timer() { return *timer_; }

    TNotifyEvent OnFrameChanged;
    TNotifyEvent OnStart;
    TNotifyEvent OnStop;

protected:
    void PaintImage() override;
    void AdjustSize() override;
    // The animation step (the timer's OnTimer).
    void TimerExpired();

private:
    void GlyphChanged();
    void ShowInactiveCell();
    void UpdateCellSize();
    void FrameChanged();
    void PictureChanged();

    std::unique_ptr<TBitmap> glyph_;
    TExTimer* timer_ = nullptr;
    bool active_ = false;
    bool asyncDrawing_ = false;
    bool autoSize_ = true;
    bool center_ = false;
    TGlyphOrientation orientation_ = goHorizontal;
    int glyphNum_ = 0;
    int numGlyphs_ = 1;
    int inactiveGlyph_ = -1;
    TColor transparentColor_ = clNone;
    bool opaque_ = false;
    bool stretch_ = true;
    int cellWidth_ = 0, cellHeight_ = 0;
};

} // namespace ax
