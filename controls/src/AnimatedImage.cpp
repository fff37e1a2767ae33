// The double-buffered image control and the animated image: each paint is
// made in a memory bitmap over what lies beneath and copied at once; the
// animation steps cells on its threaded timer and the GUI thread draws.
#include "controls/AnimatedImage.h"

#include <mutex>

#include "controls/CtrlUtils.h"
#include "framework/streaming.h"
#include "rtl/scopeguard.h"

namespace ax {

// ---- Image control --------------------------------------------------------------------------

TExImageControl::TExImageControl(TComponent* owner) : TGraphicControl(owner) {
    SetBounds(0, 0, 105, 105);
    SetParentColor(true);
}

void TExImageControl::Dispatch(TMessage& m) {
    if (m.Msg == WM_PAINT && m.WParam) {
        // Double-buffered: the picture is made in memory and copied at once.
        const HDC target = DcFromWParam(m.WParam);
        const int w = Width(), h = Height();
        if (w <= 0 || h <= 0) return;
        TBitmap buffer;
        buffer.SetSize(w, h);
        TCanvas& canvas = Canvas();
        canvas.Lock();
        ScopeGuard unlock([&canvas] {
            canvas.SetHandle({});
            canvas.Unlock();
        });
        canvas.SetHandle(buffer.Canvas().Handle());
        canvas.Font().Assign(&Font());
        // What lies under the control reaches the buffer through the
        // target's pixels (the parent painted them first).
        BitBlt(canvas.Handle(), 0, 0, w, h, target, 0, 0, SRCCOPY);
        PaintImage();
        BitBlt(target, 0, 0, w, h, canvas.Handle(), 0, 0, SRCCOPY);
        return;
    }
    TGraphicControl::Dispatch(m);
}

// ---- Animated image -------------------------------------------------------------------------

TAnimatedImage::TAnimatedImage(TComponent* owner) : TExImageControl(owner) {
    glyph_ = std::make_unique<TBitmap>();
    glyph_->OnChange = [this](TObject*) { GlyphChanged(); };
    timer_ = TComponent::Create<TExTimer>(this);
    timer_->SetEnabled(false);
    timer_->SetInterval(100);
}

TAnimatedImage::~TAnimatedImage() {
    SetState(csDestroying);
    // The worker goes first: a step in flight finishes before the image does.
    TExTimer* timer = timer_;
    timer_ = nullptr;
    FreeComponent(timer);
    glyph_->OnChange = nullptr;
}

void TAnimatedImage::DefinePublished(TFiler& f) {
    TGraphicControl::DefinePublished(f);
    f.Bool("Active", [this] { return active_; }, [this](bool v) { SetActive(v); }, false);
    f.Bool("AsyncDrawing", [this] { return asyncDrawing_; }, [this](bool v) { SetAsyncDrawing(v); }, false);
    f.Bool("AutoSize", [this] { return autoSize_; }, [this](bool v) { SetAutoSize(v); }, true);
    f.Bool("Center", [this] { return center_; }, [this](bool v) { SetCenter(v); }, false);
    f.Enum("Orientation", {"goHorizontal", "goVertical"}, [this] { return int(orientation_); },
           [this](int v) { SetOrientation(TGlyphOrientation(v)); }, int(goHorizontal));
    f.DefineObject("Glyph", glyph_.get());
    f.Integer("GlyphNum", [this] { return glyphNum_; }, [this](int64_t v) { SetGlyphNum(int(v)); }, 0);
    f.Integer("Interval", [this] { return Interval(); }, [this](int64_t v) { SetInterval(uint32_t(v)); }, 100);
    f.Integer("NumGlyphs", [this] { return numGlyphs_; }, [this](int64_t v) { SetNumGlyphs(int(v)); }, 1);
    f.Integer("InactiveGlyph", [this] { return inactiveGlyph_; }, [this](int64_t v) { SetInactiveGlyph(int(v)); }, -1);
    DefineColorProperty(f, "TransparentColor", [this] { return transparentColor_; },
                        [this](TColor c) { SetTransparentColor(c); }, clNone);
    f.Bool("Opaque", [this] { return opaque_; }, [this](bool v) { SetOpaque(v); }, false);
    f.Bool("Stretch", [this] { return stretch_; }, [this](bool v) { SetStretch(v); }, true);
}

void TAnimatedImage::Loaded() {
    TGraphicControl::Loaded();
    UpdateCellSize();
    ShowInactiveCell();
}

void TAnimatedImage::FrameChanged() {
    if (OnFrameChanged) OnFrameChanged(this);
}

void TAnimatedImage::SetActive(bool value) {
    if (active_ == value) return;
    if (value) {
        timer_->SetOnTimer([this](TObject*) { TimerExpired(); });
        timer_->SetEnabled(true);
        active_ = timer_->Enabled();
        if (OnStart) OnStart(this);
    } else {
        timer_->SetEnabled(false);
        timer_->SetOnTimer(nullptr);
        active_ = false;
        ShowInactiveCell();
        FrameChanged();
        if (OnStop) OnStop(this);
        Invalidate();
    }
}

void TAnimatedImage::SetAsyncDrawing(bool value) {
    if (asyncDrawing_ == value) return;
    std::lock_guard<TCriticalSection> g(lock_);
    timer_->SetSyncEvent(!value);
    asyncDrawing_ = value;
}

void TAnimatedImage::SetAutoSize(bool value) {
    if (autoSize_ == value) return;
    autoSize_ = value;
    AdjustSize();
}

void TAnimatedImage::SetCenter(bool value) {
    {
        std::lock_guard<TCriticalSection> g(lock_);
        if (center_ == value) return;
        center_ = value;
    }
    Invalidate();
}

void TAnimatedImage::SetStretch(bool value) {
    {
        std::lock_guard<TCriticalSection> g(lock_);
        if (stretch_ == value) return;
        stretch_ = value;
    }
    Invalidate();
}

void TAnimatedImage::SetOpaque(bool value) {
    {
        std::lock_guard<TCriticalSection> g(lock_);
        if (opaque_ == value) return;
        opaque_ = value;
    }
    Invalidate();
}

void TAnimatedImage::SetTransparentColor(TColor value) {
    {
        std::lock_guard<TCriticalSection> g(lock_);
        if (transparentColor_ == value) return;
        transparentColor_ = value;
    }
    Invalidate();
}

void TAnimatedImage::SetOrientation(TGlyphOrientation value) {
    {
        std::lock_guard<TCriticalSection> g(lock_);
        orientation_ = value;
    }
    GlyphChanged();
}

void TAnimatedImage::SetGlyph(const TBitmap* glyph) {
    std::lock_guard<TCriticalSection> g(lock_);
    glyph_->Assign(glyph); // its change notification does the rest
}

void TAnimatedImage::SetGlyphNum(int value) {
    if (value == glyphNum_ || value < 0 || value >= numGlyphs_) return;
    {
        std::lock_guard<TCriticalSection> g(lock_);
        glyphNum_ = value;
    }
    if (!active_) ShowInactiveCell();
    FrameChanged();
    Invalidate();
}

void TAnimatedImage::SetInactiveGlyph(int value) {
    if (value < 0) value = -1;
    if (value == inactiveGlyph_) return;
    if (value >= numGlyphs_ && !HasState(csLoading)) return;
    {
        std::lock_guard<TCriticalSection> g(lock_);
        inactiveGlyph_ = value;
    }
    ShowInactiveCell();
    FrameChanged();
    Invalidate();
}

void TAnimatedImage::SetNumGlyphs(int value) {
    {
        std::lock_guard<TCriticalSection> g(lock_);
        numGlyphs_ = std::max(value, 1);
        if (numGlyphs_ <= inactiveGlyph_) {
            inactiveGlyph_ = -1;
            glyphNum_ = 0;
        }
    }
    ShowInactiveCell();
    UpdateCellSize();
    FrameChanged();
    Invalidate();
}

void TAnimatedImage::ShowInactiveCell() {
    std::lock_guard<TCriticalSection> g(lock_);
    if (!active_ && inactiveGlyph_ >= 0 && inactiveGlyph_ < numGlyphs_ && glyphNum_ != inactiveGlyph_)
        glyphNum_ = inactiveGlyph_;
}

void TAnimatedImage::UpdateCellSize() {
    std::lock_guard<TCriticalSection> g(lock_);
    const int n = std::max(numGlyphs_, 1);
    if (orientation_ == goHorizontal) {
        cellWidth_ = glyph_->Width() / n;
        cellHeight_ = glyph_->Height();
    } else {
        cellWidth_ = glyph_->Width();
        cellHeight_ = glyph_->Height() / n;
    }
}

void TAnimatedImage::GlyphChanged() {
    {
        std::lock_guard<TCriticalSection> g(lock_);
        const int w = glyph_->Width(), h = glyph_->Height();
        transparentColor_ = glyph_->Empty() ? clNone : TColor(glyph_->TransparentColor() & ~0x2000000);
        numGlyphs_ = 1;
        glyphNum_ = 0;
        if (orientation_ == goHorizontal && h > 0 && w % h == 0) numGlyphs_ = std::max(w / h, 1);
        if (orientation_ == goVertical && w > 0 && h % w == 0) numGlyphs_ = std::max(h / w, 1);
    }
    UpdateCellSize();
    PictureChanged();
}

void TAnimatedImage::PictureChanged() {
    if (HasState(csDestroying)) return;
    AdjustSize();
    Invalidate();
}

void TAnimatedImage::AdjustSize() {
    if (!autoSize_ || HasState(csReading) || cellWidth_ <= 0 || cellHeight_ <= 0) return;
    SetBounds(Left(), Top(), cellWidth_, cellHeight_);
}

void TAnimatedImage::TimerExpired() {
    {
        std::lock_guard<TCriticalSection> g(lock_);
        if (numGlyphs_ < 2) return;
        glyphNum_ = glyphNum_ + 1 >= numGlyphs_ ? 0 : glyphNum_ + 1;
        if (glyphNum_ == inactiveGlyph_) glyphNum_ = glyphNum_ + 1 >= numGlyphs_ ? 0 : glyphNum_ + 1;
    }
    // The frame is shown by the GUI thread (at once when this is it).
    auto show = [this] {
        if (!Visible() || !Parent() || !Parent()->HandleAllocated()) return;
        FrameChanged();
        Repaint();
    };
    if (asyncDrawing_) timer_->Synchronize(show);
    else show();
}

void TAnimatedImage::PaintImage() {
    TCanvas& c = Canvas();
    std::lock_guard<TCriticalSection> g(lock_);
    const RECT client{0, 0, Width(), Height()};
    if (opaque_) {
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(Color());
        c.FillRect(client);
    }
    const int index = (!active_ && inactiveGlyph_ >= 0 && inactiveGlyph_ < numGlyphs_) ? inactiveGlyph_ : glyphNum_;
    if (cellWidth_ < 1 || cellHeight_ < 1 || glyph_->Empty()) return;
    const int sx = orientation_ == goHorizontal ? index * cellWidth_ : 0;
    const int sy = orientation_ == goVertical ? index * cellHeight_ : 0;
    RECT dest{0, 0, cellWidth_, cellHeight_};
    if (stretch_) dest = client;
    else if (center_) OffsetRect(&dest, (client.right - cellWidth_) / 2, (client.bottom - cellHeight_) / 2);
    StretchBitmapTransparent(c, *glyph_, transparentColor_, dest.left, dest.top, RectWidth(dest), RectHeight(dest),
                             sx, sy, cellWidth_, cellHeight_);
}

} // namespace ax
