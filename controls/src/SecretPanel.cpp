// The credits panel: lays out the lines and the glyph, scrolls them one
// pixel a timer step while Active (child controls hidden meanwhile), and
// restores the children when it stops.
#include "controls/SecretPanel.h"

#include <algorithm>

#include "controls/CtrlUtils.h"
#include "framework/streaming.h"
#include "platform/window/windowdc.h"

namespace ax {

namespace {
AnsiString Trimmed(const AnsiString& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == AnsiString::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}
} // namespace

TSecretPanel::TSecretPanel(TComponent* owner) : TCustomPanel(owner) {
    setCaptionFromName_ = false;
    alignment_ = taCenter;
    bevelOuter_ = bvLowered;
    SetColor(clBtnFace);
    glyph_ = std::make_unique<TBitmap>();
    lines_ = std::make_unique<TStringList>();
    glyph_->OnChange = [this](TObject*) {
        if (active_) RecalcLayout();
        Invalidate();
    };
    lines_->OnChange = [this](TStringList&) {
        if (!active_) return;
        {
            std::lock_guard<std::mutex> g(scrollMutex_);
            scrollCount_ = 0;
        }
        RecalcLayout();
        Invalidate();
    };
    timer_ = TComponent::Create<TExTimer>(this);
    timer_->SetEnabled(false);
    timer_->SetInterval(30);
    timer_->SetSyncEvent(false);
    timer_->SetOnTimer([this](TObject*) { ScrollStep(); });
}

TSecretPanel::~TSecretPanel() {
    SetState(csDestroying);
    // The worker goes first: it never outlives what it counts.
    TExTimer* timer = timer_;
    timer_ = nullptr;
    FreeComponent(timer);
    glyph_->OnChange = nullptr;
    lines_->OnChange = nullptr;
}

void TSecretPanel::DefinePublished(TFiler& f) {
    TCustomPanel::DefinePublished(f);
    f.Bool("Active", [this] { return active_; }, [this](bool v) { SetActive(v); }, false);
    f.Bool("AsyncDrawing", [this] { return AsyncDrawing(); }, [this](bool v) { SetAsyncDrawing(v); }, true);
    f.Bool("Cycled", [this] { return cycled_; }, [this](bool v) { cycled_ = v; }, false);
    f.DefineObject("Glyph", glyph_.get());
    f.Enum("GlyphLayout", {"glGlyphLeft", "glGlyphRight", "glGlyphTop", "glGlyphBottom"},
           [this] { return int(glyphLayout_); }, [this](int v) { SetGlyphLayout(TGlyphLayout(v)); }, 0);
    f.Integer("Interval", [this] { return Interval(); }, [this](int64_t v) { SetInterval(uint32_t(v)); }, 30);
    f.Strings("Lines", *lines_);
    f.Enum("ScrollDirection", {"sdVertical", "sdHorizontal"}, [this] { return int(direction_); },
           [this](int v) { SetScrollDirection(TScrollDirection(v)); }, 0);
    f.Enum("TextStyle", {"bvNone", "bvLowered", "bvRaised", "bvSpace"}, [this] { return int(textStyle_); },
           [this](int v) { SetTextStyle(TBevelCut(v)); }, 0);
}

int TSecretPanel::ScrollCount() const {
    std::lock_guard<std::mutex> g(scrollMutex_);
    return scrollCount_;
}

void TSecretPanel::SetGlyphLayout(TGlyphLayout value) {
    glyphLayout_ = value;
    if (active_) {
        RecalcLayout();
        Invalidate();
    }
}
void TSecretPanel::SetScrollDirection(TScrollDirection value) {
    direction_ = value;
    if (active_) {
        RecalcLayout();
        Invalidate();
    }
}
void TSecretPanel::SetTextStyle(TBevelCut value) {
    textStyle_ = value;
    if (active_) {
        RecalcLayout();
        Invalidate();
    }
}
void TSecretPanel::SetTextAlignment(TAlignment value) {
    SetAlignment(value);
    if (active_) RecalcLayout();
}

void TSecretPanel::SetActive(bool value) {
    if (active_ == value) return;
    if (value) {
        {
            std::lock_guard<std::mutex> g(scrollMutex_);
            scrollCount_ = 0;
            stopping_ = false;
        }
        active_ = true;
        RecalcLayout();
        timer_->SetEnabled(true);
        if (OnStartPlay) OnStartPlay(this);
    } else {
        timer_->SetEnabled(false);
        {
            std::lock_guard<std::mutex> g(scrollMutex_);
            scrollCount_ = 0;
        }
        active_ = false;
        memory_.reset();
        if (OnStopPlay) OnStopPlay(this);
    }
    if (!HasState(csDestroying)) {
        if (value) {
            for (int i = 0; i < ControlCount(); ++i) {
                TControl* c = Controls(i);
                if (c->Visible()) {
                    hidden_.push_back(c);
                    c->SetVisible(false);
                }
            }
        } else {
            for (TControl* c : hidden_) c->SetVisible(true);
            hidden_.clear();
        }
    }
    Invalidate();
}

int TSecretPanel::FrameWidth() const {
    return borderWidth_ + (bevelInner_ != bvNone ? bevelWidth_ : 0) + (bevelOuter_ != bvNone ? bevelWidth_ : 0);
}

void TSecretPanel::RecalcLayout() {
    if (!active_) return;
    firstLine_ = lines_->Count();
    for (int i = 0; i < lines_->Count(); ++i)
        if (!Trimmed(lines_->Strings(i)).empty()) {
            firstLine_ = i;
            break;
        }
    TBitmap measure;
    measure.SetSize(1, 1);
    measure.Canvas().Font().Assign(&Font());
    TEXTMETRIC tm{};
    GetTextMetrics(measure.Canvas().Handle(), &tm);
    lineHeight_ = tm.tmHeight + tm.tmExternalLeading + (textStyle_ != bvNone ? 1 : 0);
    const int b = FrameWidth();
    RECT r{0, 0, Width(), Height()};
    InflateRect(&r, -(b + 3), -(b + 3));
    if (!glyph_->Empty()) {
        const int gw = glyph_->Width(), gh = glyph_->Height();
        switch (glyphLayout_) {
        case glGlyphLeft:
            glyphOrigin_.x = r.left + 3;
            glyphOrigin_.y = std::max<int>(r.top, r.top + (r.height() - gh) / 2);
            r.left = glyphOrigin_.x + gw + b + 3;
            break;
        case glGlyphRight:
            glyphOrigin_.x = std::max<int>(r.left, r.right - gw - 3);
            glyphOrigin_.y = std::max<int>(r.top, r.top + (r.height() - gh) / 2);
            r.right = glyphOrigin_.x - (b + 3);
            break;
        case glGlyphTop:
            glyphOrigin_.x = std::max<int>(r.left, r.left + (r.width() - gw) / 2);
            glyphOrigin_.y = r.top + 3;
            r.top = glyphOrigin_.y + gh + b + 6;
            break;
        case glGlyphBottom:
            glyphOrigin_.x = std::max<int>(r.left, r.left + (r.width() - gw) / 2);
            glyphOrigin_.y = std::max<int>(r.top, r.bottom - gh - 3);
            r.bottom = glyphOrigin_.y - (b + 6);
            break;
        }
    }
    if (r.width() <= 0 || r.height() <= 0) r = RECT{};
    paintRect_ = r;
    const int lines = lines_->Count() - firstLine_;
    if (direction_ == sdVertical) {
        maxScroll_ = r.height() + lines * lineHeight_;
    } else {
        int widest = 0;
        for (int i = firstLine_; i < lines_->Count(); ++i) {
            SIZE s{};
            GetTextExtentPoint32(measure.Canvas().Handle(), lines_->Strings(i), &s);
            widest = std::max<int>(widest, s.cx);
        }
        maxScroll_ = widest + r.width();
    }
    if (!memory_) memory_ = std::make_unique<TBitmap>();
    memory_->SetSize(std::max<int>(r.width(), 1), std::max<int>(r.height(), 1));
}

void TSecretPanel::ScrollStep() {
    bool draw = false, stop = false;
    {
        std::lock_guard<std::mutex> g(scrollMutex_);
        if (scrollCount_ < maxScroll_) {
            ++scrollCount_;
            draw = true;
        } else if (cycled_) {
            scrollCount_ = 0;
            draw = true;
        } else if (!stopping_) {
            stopping_ = true;
            stop = true;
        }
    }
    // Drawing and stopping belong to the GUI thread.
    if (draw) timer_->Synchronize([this] { DrawLines(); });
    if (stop) timer_->Synchronize([this] { SetActive(false); });
}

void TSecretPanel::DrawLines() {
    if (!active_ || !memory_ || IsRectEmpty(&paintRect_) || !HandleAllocated()) return;
    const int w = paintRect_.width(), h = paintRect_.height();
    const int scroll = ScrollCount();
    TCanvas& c = memory_->Canvas();
    c.Font().Assign(&Font());
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Color());
    if (OnPaintClient) {
        // Shifted so that the background matches the panel's.
        const int saved = SaveDC(c.Handle());
        SetWindowOrgEx(c.Handle(), paintRect_.left, paintRect_.top, nullptr);
        OnPaintClient(this, c, ClientRect());
        RestoreDC(c.Handle(), saved);
    } else {
        c.FillRect({0, 0, w, h});
    }
    HDC dc = c.Handle();
    SetBkMode(dc, TRANSPARENT);
    const UINT align = alignment_ == taLeftJustify ? DT_LEFT : alignment_ == taRightJustify ? DT_RIGHT : DT_CENTER;
    const UINT flags = DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX | DT_EXPANDTABS | align;
    RECT line;
    if (direction_ == sdVertical) {
        line = {0, h - scroll, w, h - scroll + lineHeight_};
    } else {
        const int block = (lines_->Count() - firstLine_) * lineHeight_;
        line = {w - scroll, (h - block) / 2, 2 * w - scroll, (h - block) / 2 + lineHeight_};
        line.right = line.left + std::max<int>(w, maxScroll_);
    }
    for (int i = firstLine_; i <= lines_->Count(); ++i) {
        if (line.top >= h) break;
        if (line.bottom > 0 && i < lines_->Count()) {
            const AnsiString text = lines_->Strings(i).substr(0, 255);
            if (textStyle_ != bvNone) {
                RECT copy = line;
                const int d = textStyle_ == bvLowered ? 1 : -1;
                OffsetRect(&copy, d, d);
                SetTextColor(dc, ColorToRGB(clBtnHighlight));
                DrawText(dc, text, &copy, flags);
            }
            SetTextColor(dc, ColorToRGB(Font().Color()));
            RECT r = line;
            DrawText(dc, text, &r, flags);
        }
        OffsetRect(&line, 0, lineHeight_);
    }
    {
        const WindowDC target(Handle());
        BitBlt(target.Get(), paintRect_.left, paintRect_.top, w, h, dc, 0, 0, SRCCOPY);
    }
    ValidateRect(Handle(), &paintRect_);
}

void TSecretPanel::Paint() {
    TCanvas& c = Canvas();
    RECT r = ClientRect();
    if (bevelOuter_ != bvNone)
        Frame3D(c, r, bevelOuter_ == bvLowered ? clBtnShadow : clBtnHighlight,
                bevelOuter_ == bvLowered ? clBtnHighlight : clBtnShadow, bevelWidth_);
    Frame3D(c, r, Color(), Color(), borderWidth_);
    if (bevelInner_ != bvNone)
        Frame3D(c, r, bevelInner_ == bvLowered ? clBtnShadow : clBtnHighlight,
                bevelInner_ == bvLowered ? clBtnHighlight : clBtnShadow, bevelWidth_);
    const int saved = SaveDC(c.Handle());
    IntersectClipRect(c.Handle(), r.left, r.top, r.right, r.bottom);
    if (OnPaintClient) {
        OnPaintClient(this, c, r);
    } else {
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(Color());
        c.FillRect(r);
    }
    if (active_ && !glyph_->Empty()) DrawBitmapTransparent(c, glyphOrigin_.x, glyphOrigin_.y, *glyph_, clDefault);
    RestoreDC(c.Handle(), saved);
    c.Refresh();
}

void TSecretPanel::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_PAINT:
        TCustomPanel::Dispatch(m);
        DrawLines();
        return;
    case WM_SIZE:
    case CM_FONTCHANGED:
    case CM_COLORCHANGED:
        TCustomPanel::Dispatch(m);
        if (active_) RecalcLayout();
        return;
    }
    TCustomPanel::Dispatch(m);
}

} // namespace ax
