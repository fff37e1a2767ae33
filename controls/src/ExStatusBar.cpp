// The typed status bar: gauge attributes, the panels and their collection,
// painting of each panel type, the shared clock and animation timer, and
// lock-key panels following the keyboard through a thread hook or the
// keyboard-monitor library. GUI thread only.
#include "controls/ExStatusBar.h"

#include <algorithm>
#include <cmath>

#include "controls/ExKb.h"
#include "framework/forms.h"
#include "framework/streaming.h"
#include "platform/window/windowdc.h"
#include "rtl/sysutils.h"

namespace ax {

namespace {

constexpr UINT kNoBreak = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
constexpr int kGripSize = 15;

struct LockKey {
    TExStatusPanelType type;
    int vk;
    const char* text;
};
constexpr LockKey kLockKeys[] = {
    {sptCapsLock, VK_CAPITAL, " CAPS "},
    {sptNumLock, VK_NUMLOCK, " NUM "},
    {sptScrollLock, VK_SCROLL, " SCROLL "},
};
const LockKey& LockKeyOf(TExStatusPanelType type) {
    for (const LockKey& k : kLockKeys)
        if (k.type == type) return k;
    Assert(false, "not a lock-key panel");
    return kLockKeys[0];
}

// What the lock-key panels that follow the program's own keyboard share:
// one keyboard hook of the GUI thread while any of them exists.
struct KeyboardWatch {
    std::vector<TExStatusPanel*> panels;
    HHOOK hook = nullptr;
    // The keys may have changed while another program was active.
    bool stale = false;
};
KeyboardWatch& Watch() {
    static KeyboardWatch watch;
    return watch;
}

int timerRegistrations = 0;

void InvalidatePart(TExStatusPanel* panel) {
    TExStatusBar* bar = panel->StatusBar();
    if (!bar->HandleAllocated()) return;
    const RECT r = bar->GetPanelRect(panel->Index());
    InvalidateRect(bar->Handle(), &r, FALSE);
}

LRESULT KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
    KeyboardWatch& w = Watch();
    const HHOOK hook = w.hook;
    if (code >= 0) {
        // Copied: a repaint may not change the list, but a handler might.
        const std::vector<TExStatusPanel*> panels = w.panels;
        if (w.stale) {
            w.stale = false;
            for (TExStatusPanel* p : panels) InvalidatePart(p);
        } else if ((wParam == VK_CAPITAL || wParam == VK_NUMLOCK || wParam == VK_SCROLL) &&
                   (uintptr_t(lParam) & 0xC0000000u) == 0) {
            // A first press; releases (bit 31) and repeats (bit 30) change nothing.
            for (TExStatusPanel* p : panels)
                if (LockKeyOf(p->PanelType()).vk == int(wParam)) InvalidatePart(p);
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

int Today() { return int(std::floor(CurrentClock().Now())); }

TColor GrayText() { return clGrayText; }

} // namespace

int StatusBarTimerRegistrations() { return timerRegistrations; }
bool StatusBarKeyboardHookInstalled() { return Watch().hook != nullptr; }

// ---- Gauge attributes -----------------------------------------------------------------------

void TExGaugeAttrs::Assign(const TPersistent* source) {
    if (auto* g = dynamic_cast<const TExGaugeAttrs*>(source)) {
        SetSpeed(g->speed_);
        SetColor(g->color_);
        SetTextColor(g->textColor_);
        SetPosition(g->position_);
        SetStyle(g->style_);
        return;
    }
    TPersistent::Assign(source);
}

void TExGaugeAttrs::DefinePublished(TFiler& f) {
    f.Enum("Style", {"gsPercent", "gsIndeterminate", "gsIndeterminate2"}, [this] { return int(style_); },
           [this](int v) { SetStyle(TExGaugeStyle(v)); }, int(gsPercent));
    f.Integer("Position", [this] { return position_; }, [this](int64_t v) { SetPosition(int(v)); }, 0);
    f.Integer("Speed", [this] { return speed_; }, [this](int64_t v) { SetSpeed(int(v)); }, 4);
    DefineColorProperty(f, "Color", [this] { return color_; }, [this](TColor c) { SetColor(c); }, clHighlight);
    DefineColorProperty(f, "TextColor", [this] { return textColor_; }, [this](TColor c) { SetTextColor(c); },
                        clHighlightText);
}

void TExGaugeAttrs::SetStyle(TExGaugeStyle style) {
    if (style_ == style) return;
    if (owner_->PanelType() != sptGauge) {
        style_ = style;
        return;
    }
    owner_->Unregister();
    style_ = style;
    owner_->Redraw();
    owner_->Register();
}

void TExGaugeAttrs::SetPosition(TPercent position) {
    position = std::clamp(position, 0, 100);
    if (position_ == position) return;
    position_ = position;
    owner_->Redraw();
}

void TExGaugeAttrs::SetSpeed(int speed) {
    speed_ = speed;
    // The dot keeps its direction at the new speed.
    const int s = std::abs(speed);
    owner_->animStep_ = owner_->animStep_ >= 0 ? s : -s;
}

void TExGaugeAttrs::SetColor(TColor color) {
    if (color_ == color) return;
    color_ = color;
    owner_->gradient_.reset();
    owner_->Redraw();
}

void TExGaugeAttrs::SetTextColor(TColor color) {
    if (textColor_ == color) return;
    textColor_ = color;
    owner_->Redraw();
}

// ---- Panel ----------------------------------------------------------------------------------

TExStatusPanel::TExStatusPanel(TCollection* collection) : TCollectionItem(collection) {
    auto* panels = dynamic_cast<TExStatusPanels*>(collection);
    if (!panels) throw Exception(SPanelOwner);
    linked_ = static_cast<TStatusBar*>(panels->Bar())->TStatusBar::Panels().Add();
    linked_->SetStyle(psOwnerDraw);
    gaugeAttrs_ = std::make_unique<TExGaugeAttrs>(this);
    glyph_ = std::make_unique<TPicture>();
    glyph_->OnChange = [this](TObject*) { GlyphChanged(); };
}

TExStatusPanel::~TExStatusPanel() {
    Unregister();
    glyph_->OnChange = nullptr;
    TStatusPanels& inherited = static_cast<TStatusBar*>(Panels().Bar())->TStatusBar::Panels();
    if (linked_) inherited.Delete(linked_->Index());
}

TExStatusPanels& TExStatusPanel::Panels() const { return *static_cast<TExStatusPanels*>(Collection()); }
TExStatusBar* TExStatusPanel::StatusBar() const { return Panels().Bar(); }

void TExStatusPanel::Assign(const TPersistent* source) {
    auto* p = dynamic_cast<const TExStatusPanel*>(source);
    if (!p) {
        TCollectionItem::Assign(source);
        return;
    }
    gaugeAttrs_->Assign(p->gaugeAttrs_.get());
    SetAlignment(p->Alignment());
    SetBevel(p->Bevel());
    biDiMode_ = p->biDiMode_;
    parentBiDiMode_ = p->parentBiDiMode_;
    glyph_->Assign(p->glyph_.get());
    SetText(p->text_);
    SetDateFormat(p->dateFormat_);
    SetTimeFormat(p->timeFormat_);
    SetEnabled(p->enabled_);
    autoFit_ = false;
    SetWidth(p->Width());
    SetAutoFit(p->autoFit_);
    hint_ = p->hint_;
    OnDrawPanel = p->OnDrawPanel;
    OnHintText = p->OnHintText;
    SetPanelType(p->panelType_);
}

void TExStatusPanel::DefinePublished(TFiler& f) {
    f.DefineObject("GaugeAttrs", gaugeAttrs_.get());
    f.Enum("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, [this] { return int(Alignment()); },
           [this](int v) { SetAlignment(TAlignment(v)); }, 0);
    f.Enum("Bevel", {"pbNone", "pbLowered", "pbRaised"}, [this] { return int(Bevel()); },
           [this](int v) { SetBevel(TStatusPanelBevel(v)); }, int(pbLowered));
    f.Integer("BorderWidth", [this] { return borderWidth_; }, [this](int64_t v) { SetBorderWidth(int(v)); }, 0);
    f.Bool("Grayed", [this] { return grayed_; }, [this](bool v) { SetGrayed(v); }, false);
    f.Bool("ParentBiDiMode", [this] { return parentBiDiMode_; }, [this](bool v) { parentBiDiMode_ = v; }, true);
    if (!parentBiDiMode_)
        f.Enum("BiDiMode", {"bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly"},
               [this] { return int(biDiMode_); }, [this](int v) { biDiMode_ = TBiDiMode(v); }, -1);
    f.Enum("PanelType",
           {"sptNormal", "sptCapsLock", "sptNumLock", "sptScrollLock", "sptDate", "sptTime", "sptDateTime",
            "sptTimeDate", "sptEllipsisText", "sptEllipsisPath", "sptGlyph", "sptGauge", "sptOwnerDraw"},
           [this] { return int(panelType_); }, [this](int v) { SetPanelType(TExStatusPanelType(v)); },
           int(sptNormal));
    f.DefineObject("Glyph", glyph_.get());
    if (!IsClock()) f.String("Text", [this] { return text_; }, [this](const AnsiString& v) { SetText(v); });
    f.String("DateFormat", [this] { return dateFormat_; }, [this](const AnsiString& v) { SetDateFormat(v); });
    f.String("TimeFormat", [this] { return timeFormat_; }, [this](const AnsiString& v) { SetTimeFormat(v); });
    f.Bool("Enabled", [this] { return enabled_; }, [this](bool v) { SetEnabled(v); }, true);
    f.Integer("Width", [this] { return Width(); }, [this](int64_t v) { SetWidth(int(v)); }, 50);
    f.Bool("AutoFit", [this] { return autoFit_; }, [this](bool v) { SetAutoFit(v); }, false);
    f.String("Hint", [this] { return hint_; }, [this](const AnsiString& v) { hint_ = v; });
}

AnsiString TExStatusPanel::DisplayName() const {
    static const char* const names[] = {"sptNormal", "sptCapsLock", "sptNumLock", "sptScrollLock", "sptDate",
                                        "sptTime", "sptDateTime", "sptTimeDate", "sptEllipsisText",
                                        "sptEllipsisPath", "sptGlyph", "sptGauge", "sptOwnerDraw"};
    AnsiString name = (panelType_ == sptNormal || panelType_ == sptEllipsisText || panelType_ == sptEllipsisPath)
                          ? text_
                          : AnsiString(names[panelType_]);
    return name.empty() ? ClassName() : name;
}

void TExStatusPanel::SetIndex(int index) {
    linked_->SetIndex(index);
    TCollectionItem::SetIndex(index);
}

TAlignment TExStatusPanel::Alignment() const { return linked_->Alignment(); }
void TExStatusPanel::SetAlignment(TAlignment value) {
    if (linked_->Alignment() == value) return;
    linked_->SetAlignment(value);
    Redraw();
}
TStatusPanelBevel TExStatusPanel::Bevel() const { return linked_->Bevel(); }
void TExStatusPanel::SetBevel(TStatusPanelBevel value) { linked_->SetBevel(value); }

void TExStatusPanel::SetBorderWidth(int value) {
    if (borderWidth_ == value) return;
    borderWidth_ = value;
    UpdateAutoFitWidth();
    Redraw();
}

void TExStatusPanel::SetGrayed(bool value) {
    if (grayed_ == value) return;
    grayed_ = value;
    Redraw();
}

void TExStatusPanel::SetPopupMenu(TPopupMenu* menu) {
    popupMenu_ = menu;
    if (menu) menu->FreeNotification(StatusBar());
}

bool TExStatusPanel::IsAnimatedGauge() const {
    return panelType_ == sptGauge && gaugeAttrs_->Style() != gsPercent;
}

void TExStatusPanel::ResetAnimation() {
    animPos_ = 0;
    animStep_ = std::abs(gaugeAttrs_->Speed());
}

void TExStatusPanel::Unregister() {
    TExStatusBar* bar = StatusBar();
    if (onTimer_) {
        onTimer_ = false;
        Panels().DeregisterTimer(this);
    }
    if (onHook_) {
        onHook_ = false;
        KeyboardWatch& w = Watch();
        w.panels.erase(std::remove(w.panels.begin(), w.panels.end(), this), w.panels.end());
        if (w.panels.empty() && w.hook) {
            UnhookWindowsHookEx(w.hook);
            w.hook = nullptr;
        }
        bar->DeregisterMainWinHook();
    }
    if (onMonitor_) {
        onMonitor_ = false;
        bar->DeregisterMonitor();
    }
}

void TExStatusPanel::Register() {
    if (!Enabled()) return;
    TExStatusBar* bar = StatusBar();
    if (IsLockKey()) {
        if (bar->UseMonitorDLL()) {
            onMonitor_ = true;
            bar->RegisterMonitor();
            lockState_ = (GetKeyState(LockKeyOf(panelType_).vk) & 1) != 0;
        } else {
            onHook_ = true;
            KeyboardWatch& w = Watch();
            w.panels.push_back(this);
            if (!w.hook) w.hook = SetWindowsHookEx(WH_KEYBOARD, KeyboardHookProc, GetCurrentThreadId());
            bar->RegisterMainWinHook();
        }
    } else if (IsClock() || IsAnimatedGauge()) {
        onTimer_ = true;
        Panels().RegisterTimer(this);
    }
}

void TExStatusPanel::SetPanelType(TExStatusPanelType type) {
    if (panelType_ == type) return;
    Unregister();
    panelType_ = type;
    if (IsLockKey()) {
        text_ = LockKeyOf(type).text;
        autoFit_ = true;
    } else if (IsClock()) {
        autoFit_ = false;
    } else if (type == sptEllipsisText || type == sptEllipsisPath) {
        autoFit_ = false;
        if (Hint().empty()) hint_ = "...";
    } else if (type == sptGlyph) {
        autoFit_ = true;
    } else if (type == sptGauge) {
        autoFit_ = false;
        linked_->SetAlignment(taCenter);
        ResetAnimation();
    } else {
        autoFit_ = false;
    }
    Register();
    if (IsClock()) UpdateDateTime();
    UpdateAutoFitWidth();
    Redraw();
}

void TExStatusPanel::SetText(const AnsiString& text) {
    if (text_ == text) return;
    text_ = text;
    Redraw();
    UpdateAutoFitWidth();
}

void TExStatusPanel::SetDateFormat(const AnsiString& format) {
    if (dateFormat_ == format) return;
    dateFormat_ = format;
    if (IsClock()) UpdateDateTime();
}

void TExStatusPanel::SetTimeFormat(const AnsiString& format) {
    if (timeFormat_ == format) return;
    timeFormat_ = format;
    if (IsClock()) UpdateDateTime();
}

bool TExStatusPanel::Enabled() const {
    const TExStatusBar* bar = StatusBar();
    if (bar->HasState(csWriting)) return enabled_;
    return enabled_ && bar->TControl::Enabled();
}

void TExStatusPanel::SetEnabled(bool value) {
    if (enabled_ == value) return;
    Unregister();
    enabled_ = value;
    EnabledChanged();
}

void TExStatusPanel::EnabledChanged() {
    Unregister();
    Register();
    if (!Enabled()) ResetAnimation();
    Redraw();
}

int TExStatusPanel::Width() const { return linked_->Width(); }

void TExStatusPanel::SetWidth(int width) {
    if (autoFit_ && !StatusBar()->HasState(csLoading)) return;
    if (linked_->Width() == width) return;
    linked_->SetWidth(width);
    if (IsAnimatedGauge()) {
        ResetAnimation();
        Redraw();
    }
}

void TExStatusPanel::SetAutoFit(bool value) {
    if (autoFit_ == value) return;
    autoFit_ = value;
    UpdateAutoFitWidth();
    Redraw();
}

AnsiString TExStatusPanel::Hint() const {
    AnsiString hint = hint_;
    if ((panelType_ == sptEllipsisText || panelType_ == sptEllipsisPath) && hint == "..." &&
        !StatusBar()->HasState(csDesigning))
        hint = text_;
    if (OnHintText) OnHintText(StatusBar(), const_cast<TExStatusPanel*>(this), hint);
    return hint;
}

void TExStatusPanel::DoHintText(AnsiString& hint) {
    if (OnHintText) OnHintText(StatusBar(), this, hint);
}

void TExStatusPanel::UpdateAutoFitWidth() {
    TExStatusBar* bar = StatusBar();
    if (!autoFit_ || !bar->HandleAllocated()) return;
    int textWidth = 0;
    if (!text_.empty()) {
        SIZE size{};
        textWidth = GetTextExtentPoint32(bar->MeasureDC(), text_, &size) ? size.cx : -1;
    }
    int width;
    if (panelType_ != sptGlyph) width = textWidth + 6 + borderWidth_;
    else if (!text_.empty()) width = textWidth + 2 + 2 * borderWidth_ + glyph_->Width() + 4;
    else width = glyph_->Width() + borderWidth_ + 4;
    linked_->SetWidth(width);
}

void TExStatusPanel::UpdateDateTime() {
    const TFormatSettings& fs = FormatSettings();
    const AnsiString date = dateFormat_.empty() ? fs.ShortDateFormat : dateFormat_;
    const AnsiString time = timeFormat_.empty() ? fs.LongTimeFormat : timeFormat_;
    AnsiString format;
    switch (panelType_) {
    case sptDate: format = date; break;
    case sptTime: format = time; break;
    case sptDateTime: format = date + " " + time; break;
    case sptTimeDate: format = time + " " + date; break;
    default: return;
    }
    const AnsiString text = FormatDateTime(format, CurrentClock().Now());
    if (text != text_) {
        text_ = text;
        Redraw();
    }
}

void TExStatusPanel::GlyphChanged() {
    if (panelType_ != sptGlyph) return;
    Redraw();
    UpdateAutoFitWidth();
}

void TExStatusPanel::Redraw() {
    TExStatusBar* bar = StatusBar();
    if (!bar->HandleAllocated() || !IsWindowVisible(bar->Handle())) return;
    const RECT rect = bar->GetPanelRect(Index());
    if (IsRectEmpty(&rect)) return;
    const WindowDC dc(bar->Handle());
    {
        TCanvas canvas;
        canvas.SetHandle(dc.Get());
        canvas.Font().Assign(&bar->Font());
        PanelNeedsDraw(canvas, rect);
        canvas.SetHandle({});
    }
}

void TExStatusPanel::PanelNeedsDraw(TCanvas& canvas, const RECT& rect) {
    if (panelType_ == sptOwnerDraw && !StatusBar()->HasState(csDesigning)) {
        if (OnDrawPanel) OnDrawPanel(StatusBar(), this, rect);
        return;
    }
    DrawPanel(canvas, rect);
}

UINT TExStatusPanel::TextFlags() const {
    UINT flags = kNoBreak;
    if (autoFit_) return flags | DT_CENTER;
    switch (Alignment()) {
    case taRightJustify: return flags | DT_RIGHT;
    case taCenter: return flags | DT_CENTER;
    default: return flags | DT_LEFT;
    }
}

void TExStatusPanel::DrawEmbossed(HDC dc, const AnsiString& text, RECT rect, UINT flags) {
    SetBkMode(dc, TRANSPARENT);
    RECT shadow = rect;
    OffsetRect(&shadow, 2, 2);
    SetTextColor(dc, ColorToRGB(clWhite));
    DrawText(dc, text, &shadow, flags);
    SetTextColor(dc, ColorToRGB(GrayText()));
    DrawText(dc, text, &rect, flags);
}

void TExStatusPanel::DrawPanel(TCanvas& canvas, RECT rect) {
    TExStatusBar* bar = StatusBar();
    if (!bar->HandleAllocated() || IsRectEmpty(&rect)) return;
    InflateRect(&rect, -1, -1);
    if (rect.width() <= 0 || rect.height() <= 0) return;
    TBitmap image;
    image.SetSize(rect.width(), rect.height());
    TCanvas& c = image.Canvas();
    c.Font().Assign(&canvas.Font());
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(bar->Color());
    c.FillRect(RECT{0, 0, rect.width(), rect.height()});
    RECT inner{0, 0, rect.width(), rect.height()};
    InflateRect(&inner, -borderWidth_, -borderWidth_);
    if (Enabled()) {
        switch (panelType_) {
        case sptCapsLock:
        case sptNumLock:
        case sptScrollLock: DrawKeyLock(c, inner); break;
        case sptGlyph: DrawGlyph(c, inner); break;
        case sptGauge:
            if (IsAnimatedGauge()) DrawIndeterminateGauge(c, inner);
            else DrawGauge(c, inner);
            break;
        case sptOwnerDraw:
            if (!bar->HasState(csDesigning)) return; // the event drew it
            DrawTextBased(c, inner);
            break;
        default: DrawTextBased(c, inner); break;
        }
    }
    BitBlt(canvas.Handle(), rect.left, rect.top, rect.width(), rect.height(), c.Handle(), 0, 0, SRCCOPY);
}

void TExStatusPanel::DrawTextBased(TCanvas& c, RECT rect) {
    UINT flags = TextFlags();
    if (!autoFit_ && Alignment() == taRightJustify) --rect.right;
    if (panelType_ == sptEllipsisText) flags |= DT_END_ELLIPSIS;
    if (panelType_ == sptEllipsisPath) flags |= DT_PATH_ELLIPSIS;
    const AnsiString text = panelType_ == sptOwnerDraw ? AnsiString(" *OD* ") : text_;
    HDC dc = c.Handle();
    if (grayed_) {
        DrawEmbossed(dc, text, rect, flags);
        return;
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorToRGB(StatusBar()->Font().Color()));
    DrawText(dc, text, &rect, flags);
}

void TExStatusPanel::DrawKeyLock(TCanvas& c, RECT rect) {
    const int vk = LockKeyOf(panelType_).vk;
    const bool on = onMonitor_ ? lockState_ : (GetKeyState(vk) & 1) != 0;
    HDC dc = c.Handle();
    const COLORREF old = GetTextColor(dc);
    SetBkMode(dc, TRANSPARENT);
    if (on) {
        SetTextColor(dc, ColorToRGB(StatusBar()->Font().Color()));
        DrawText(dc, text_, &rect, TextFlags());
    } else if (grayed_) {
        DrawEmbossed(dc, text_, rect, TextFlags());
    } else {
        SetTextColor(dc, ColorToRGB(GrayText()));
        DrawText(dc, text_, &rect, TextFlags());
    }
    SetTextColor(dc, old);
}

void TExStatusPanel::DrawGlyph(TCanvas& c, RECT rect) {
    HDC dc = c.Handle();
    int textWidth = 0;
    if (!text_.empty()) {
        SIZE size{};
        GetTextExtentPoint32(dc, text_, &size);
        textWidth = size.cx + 2;
    }
    TGraphic* graphic = glyph_->Graphic();
    const int gw = glyph_->Width(), gh = glyph_->Height();
    int x = rect.left;
    if (Alignment() == taCenter || autoFit_) x = rect.left + (rect.width() - (gw + textWidth)) / 2;
    else if (Alignment() == taRightJustify) x = rect.right - gw;
    const int y = rect.top + (rect.height() - gh) / 2;
    if (graphic && !graphic->Empty()) {
        if (auto* bitmap = dynamic_cast<TBitmap*>(graphic)) {
            // The bitmap's bottom-left pixel is its transparent colour.
            TBitmap& b = *bitmap;
            const COLORREF key = GetPixel(b.Canvas().Handle(), 0, gh - 1);
            for (int py = 0; py < gh; ++py)
                for (int px = 0; px < gw; ++px) {
                    const COLORREF pixel = GetPixel(b.Canvas().Handle(), px, py);
                    if (pixel != key) ::ax::SetPixel(dc, x + px, y + py, pixel);
                }
        } else {
            c.Draw(x, y, graphic);
        }
    }
    if (text_.empty()) return;
    RECT textRect = rect;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorToRGB(StatusBar()->Font().Color()));
    if (Alignment() == taRightJustify && !autoFit_) {
        textRect.right = x - 2;
        DrawText(dc, text_, &textRect, kNoBreak | DT_RIGHT);
    } else {
        textRect.left = x + gw + 2;
        DrawText(dc, text_, &textRect, kNoBreak | DT_LEFT);
    }
}

namespace {
// a * b / c rounded half away from zero, as the platform's MulDiv.
int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const int64_t p = int64_t(a) * b;
    int64_t q = p / c;
    const int64_t rem = p % c;
    if (2 * (rem < 0 ? -rem : rem) >= (c < 0 ? -int64_t(c) : int64_t(c))) q += ((p < 0) != (c < 0)) ? -1 : 1;
    return int(q);
}
} // namespace

void TExStatusPanel::DrawGauge(TCanvas& c, RECT rect) {
    HDC dc = c.Handle();
    const int filled = MulDiv(rect.width(), gaugeAttrs_->Position(), 100);
    RECT done = rect, rest = rect;
    done.right = rect.left + filled;
    rest.left = done.right;
    const UniqueBrush doneBrush(CreateSolidBrush(ColorToRGB(gaugeAttrs_->Color())));
    const UniqueBrush restBrush(CreateSolidBrush(ColorToRGB(StatusBar()->Color())));
    FillRect(dc, &done, doneBrush.Get());
    FillRect(dc, &rest, restBrush.Get());
    const AnsiString text = text_.empty() ? std::to_string(gaugeAttrs_->Position()) + "%" : text_;
    const UINT flags = TextFlags();
    const COLORREF oldColor = GetTextColor(dc);
    SetBkMode(dc, TRANSPARENT);
    // The text in two colours: over the filled part and over the rest.
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, done.left, done.top, done.right, done.bottom);
    SetTextColor(dc, ColorToRGB(gaugeAttrs_->TextColor()));
    RECT r = rect;
    DrawText(dc, text, &r, flags);
    RestoreDC(dc, saved);
    const int saved2 = SaveDC(dc);
    IntersectClipRect(dc, rest.left, rest.top, rest.right, rest.bottom);
    SetTextColor(dc, ColorToRGB(StatusBar()->Font().Color()));
    r = rect;
    DrawText(dc, text, &r, flags);
    RestoreDC(dc, saved2);
    SetTextColor(dc, oldColor);
}

void TExStatusPanel::DrawIndeterminateGauge(TCanvas& c, RECT rect) {
    const int speed = std::abs(gaugeAttrs_->Speed());
    const int width = rect.width();
    animPos_ += animStep_;
    HDC dc = c.Handle();
    if (gaugeAttrs_->Style() == gsIndeterminate) {
        const int third = rect.height() / 3;
        RECT band{rect.left, rect.top + third, rect.right, rect.bottom - third};
        const int dot = band.height();
        if (animStep_ >= 0 && animPos_ + dot + 1 >= width) animStep_ = -speed;
        else if (animStep_ < 0 && animPos_ < 2) animStep_ = speed;
        RECT box{rect.left + animPos_, band.top, rect.left + animPos_ + dot, band.bottom};
        InflateRect(&box, 1, 1);
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(gaugeAttrs_->Color());
        c.Pen().SetColor(gaugeAttrs_->Color());
        c.Pen().SetStyle(psSolid);
        c.Ellipse(box.left, box.top, box.right, box.bottom);
        return;
    }
    if (!gradient_) CreateGaugeBitmap(StatusBar()->Height());
    const int strip = gradient_->Width();
    const bool left = animStep_ < 0;
    if (!left && animPos_ + 1 >= width) animStep_ = -speed;
    else if (left && animPos_ <= -strip) animStep_ = speed;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    HDC src = gradient_->Canvas().Handle();
    const int x = rect.left + animPos_;
    if (left) // mirrored: the gauge-coloured end leads
        StretchBlt(dc, x + strip - 1, rect.top, -strip, rect.height(), src, 0, 0, strip, rect.height(), SRCCOPY);
    else
        BitBlt(dc, x, rect.top, strip, rect.height(), src, 0, 0, SRCCOPY);
    RestoreDC(dc, saved);
}

void TExStatusPanel::CreateGaugeBitmap(int height) {
    gradient_ = std::make_unique<TBitmap>();
    gradient_->SetSize(100, std::max(1, height));
    const COLORREF from = ColorToRGB(StatusBar()->Color()), to = ColorToRGB(gaugeAttrs_->Color());
    HDC dc = gradient_->Canvas().Handle();
    for (int x = 0; x < 100; ++x) {
        auto mix = [x](int a, int b) { return a + (b - a) * x / 99; };
        const COLORREF colour = RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
                                    mix(GetBValue(from), GetBValue(to)));
        const UniquePen pen(CreatePen(PS_SOLID, 1, colour));
        const ScopedSelection usePen(dc, pen.Get());
        MoveToEx(dc, x, 0, nullptr);
        LineTo(dc, x, gradient_->Height());
    }
}

void TExStatusPanel::Click() {
    if (popupMenu_ && popupMenu_->AutoPopup()) {
        TExStatusBar* bar = StatusBar();
        POINT p{};
        GetCursorPos(p);
        if (bar->Align() == alTop) {
            p.y += bar->Height() / 2;
        } else if (bar->Align() == alBottom) {
            int items = 0;
            for (int i = 0; i < popupMenu_->Items()->Count(); ++i)
                if (popupMenu_->Items()->Items(i)->Visible()) items += popupMenu_->Items()->Items(i)->IsLine() ? 8 : 18;
            p.y -= bar->Height() / 2 + items;
        }
        popupMenu_->SetPopupComponent(bar);
        popupMenu_->Popup(p.x, p.y);
    }
    if (OnClick) OnClick(this);
}

// ---- Panel collection -----------------------------------------------------------------------

TExStatusPanels::TExStatusPanels(TExStatusBar* bar)
    : TCollection([](TCollection* c) { return std::make_unique<TExStatusPanel>(c); }, bar), bar_(bar) {}

TExStatusPanels::~TExStatusPanels() { Clear(); }

void TExStatusPanels::Update(TCollectionItem* item) {
    TCollection::Update(item);
    if (auto* panel = dynamic_cast<TExStatusPanel*>(item)) panel->Redraw();
    else bar_->Invalidate();
}

void TExStatusPanels::RegisterTimer(TExStatusPanel* panel) {
    if (std::find(timerPanels_.begin(), timerPanels_.end(), panel) != timerPanels_.end()) return;
    if (!timer_) {
        timer_ = TComponent::Create<TTimer>(bar_);
        timer_->SetEnabled(false);
        timer_->OnTimer = [this](TObject*) { Tick(); };
        lastDate_ = Today();
    }
    timerPanels_.push_back(panel);
    ++timerRegistrations;
    const TExStatusPanelType type = panel->PanelType();
    if (type == sptDate) {
        if (timerPanels_.size() == 1) timer_->SetInterval(60000);
    } else if (type == sptGauge) {
        timer_->SetInterval(50);
    } else if (timerPanels_.size() == 1 || timer_->Interval() > 1000) {
        timer_->SetInterval(1000);
    }
    timer_->SetEnabled(true);
}

void TExStatusPanels::DeregisterTimer(TExStatusPanel* panel) {
    auto it = std::find(timerPanels_.begin(), timerPanels_.end(), panel);
    if (it == timerPanels_.end()) return;
    timerPanels_.erase(it);
    --timerRegistrations;
    if (timerPanels_.empty()) {
        TTimer* timer = timer_;
        timer_ = nullptr;
        bar_->FreeComponent(timer);
        return;
    }
    unsigned interval = 60000;
    for (TExStatusPanel* p : timerPanels_) {
        if (p->PanelType() == sptGauge) {
            interval = 50;
            break;
        }
        if (p->PanelType() != sptDate) interval = 1000;
    }
    timer_->SetInterval(interval);
}

void TExStatusPanels::Tick() {
    const int today = Today();
    const bool dateChanged = today != lastDate_;
    lastDate_ = today;
    const std::vector<TExStatusPanel*> panels = timerPanels_;
    for (TExStatusPanel* p : panels) {
        switch (p->PanelType()) {
        case sptDate:
            if (dateChanged) p->UpdateDateTime();
            break;
        case sptTime:
        case sptDateTime:
        case sptTimeDate: p->UpdateDateTime(); break;
        case sptGauge: p->Redraw(); break; // each draw advances the animation
        default: break;
        }
    }
}

// ---- Bar ------------------------------------------------------------------------------------

TExStatusBar::TExStatusBar(TComponent* owner) : TStatusBar(owner) {
    exPanels_ = std::make_unique<TExStatusPanels>(this);
    measureDC_.Reset(CreateCompatibleDC({}));
    RecreateMeasureFont();
}

TExStatusBar::~TExStatusBar() {
    exPanels_.reset(); // each panel undoes its registrations and frees its part
    DestroyComponents();
}

void TExStatusBar::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.Collection("Panels", *exPanels_);
    f.Bool("SizeGrip", [this] { return SizeGrip(); }, [this](bool v) { SetSizeGrip(v); }, true);
    f.Bool("UseMonitorDLL", [this] { return useMonitorDLL_; }, [this](bool v) { SetUseMonitorDLL(v); }, false);
}

void TExStatusBar::RecreateMeasureFont() {
    LOGFONT lf{};
    GetObject(Font().Handle(), sizeof lf, &lf);
    UniqueFont font(CreateFontIndirect(&lf));
    if (!measureSelection_) measureSelection_.emplace(measureDC_.Get(), font.Get());
    else SelectObject(measureDC_.Get(), font.Get());
    measureFont_ = std::move(font); // the font it replaced is out of the DC now
}

void TExStatusBar::UpdateAutoFitWidths() {
    exPanels_->BeginUpdate();
    for (int i = 0; i < exPanels_->Count(); ++i) exPanels_->Items(i)->UpdateAutoFitWidth();
    exPanels_->EndUpdate();
}

void TExStatusBar::Loaded() {
    TStatusBar::Loaded();
    UpdateAutoFitWidths();
}

void TExStatusBar::CreateWnd() {
    TStatusBar::CreateWnd();
    if (monitorPanels_ > 0) monitorMessage_ = RegisterWithMonitor(handle_);
    if (!HasState(csLoading)) UpdateAutoFitWidths();
}

void TExStatusBar::SetUseMonitorDLL(bool value) {
    if (useMonitorDLL_ == value) return;
    for (int i = 0; i < exPanels_->Count(); ++i) exPanels_->Items(i)->Unregister();
    useMonitorDLL_ = value;
    if (value && !MonitorDLLLoaded() && !LoadMonitorDLL()) {
        useMonitorDLL_ = false;
        if (HasState(csDesigning)) {
            for (int i = 0; i < exPanels_->Count(); ++i) exPanels_->Items(i)->Register();
            throw Exception(SCouldNotLoad + MonitorDLLName);
        }
    }
    for (int i = 0; i < exPanels_->Count(); ++i) exPanels_->Items(i)->Register();
    RefreshLockPanels();
}

void TExStatusBar::RegisterMonitor() {
    if (monitorPanels_++ == 0) {
        if (!MonitorDLLLoaded()) LoadMonitorDLL();
        if (HandleAllocated()) monitorMessage_ = RegisterWithMonitor(handle_);
    }
}

void TExStatusBar::DeregisterMonitor() {
    if (--monitorPanels_ > 0) return;
    if (HandleAllocated()) DeregisterFromMonitor(handle_);
    monitorPanels_ = 0;
    monitorMessage_ = 0;
    UnloadMonitorDLL();
}

void TExStatusBar::RegisterMainWinHook() {
    if (hookPanels_++ > 0) return;
    TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    if (!main) return;
    mainWinHook_ = TComponent::Create<TExWindowHook>(this);
    mainWinHook_->SetWinControl(main);
    mainWinHook_->AfterMessage = [this](TObject*, TMessage& m, bool&) {
        if (m.Msg != WM_ACTIVATEAPP) return;
        if (!useMonitorDLL_ && m.WParam == 0) Watch().stale = true;
        if (HandleAllocated()) PostMessage(handle_, WM_REFRESHLOCKINDICATORS, 0, 0);
    };
}

void TExStatusBar::DeregisterMainWinHook() {
    --hookPanels_;
    Assert(hookPanels_ >= 0, SUnbalancedMainWinHook);
    if (hookPanels_ > 0 || !mainWinHook_) return;
    TExWindowHook* hook = mainWinHook_;
    mainWinHook_ = nullptr;
    FreeComponent(hook);
}

void TExStatusBar::RefreshLockPanels() {
    exPanels_->BeginUpdate();
    for (int i = 0; i < exPanels_->Count(); ++i) {
        TExStatusPanel* p = exPanels_->Items(i);
        if (p->IsLockKey()) p->Redraw();
    }
    exPanels_->EndUpdate();
}

void TExStatusBar::InvalidatePanel(int index) {
    if (index < 0 || index >= exPanels_->Count()) throw EListError(Format(SListIndexError, index));
    exPanels_->Items(index)->Redraw();
}

RECT TExStatusBar::GetPanelRect(int index) {
    if (!HandleAllocated()) return RECT{};
    return PartRect(index);
}

TExStatusPanel* TExStatusBar::PanelAt(POINT p) {
    for (int i = 0; i < exPanels_->Count(); ++i) {
        const RECT r = GetPanelRect(i);
        if (PtInRect(&r, p)) return exPanels_->Items(i);
    }
    return nullptr;
}

void TExStatusBar::DrawPanel(TStatusPanel* panel, const RECT& rect) {
    TExStatusPanel* typed = nullptr;
    for (int i = 0; i < exPanels_->Count() && !typed; ++i)
        if (exPanels_->Items(i)->LinkedPanel() == panel) typed = exPanels_->Items(i);
    Assert(typed != nullptr, SPanelLinksCorrupted);
    TCanvas& c = Canvas();
    if (OnDrawPanel) OnDrawPanel(this, typed, rect);
    typed->PanelNeedsDraw(c, rect);
}

void TExStatusBar::Click() {
    POINT p{};
    GetCursorPos(p);
    if (TExStatusPanel* panel = PanelAt(ScreenToClient(p))) panel->Click();
    TStatusBar::Click();
}

void TExStatusBar::WndProc(TMessage& m) {
    if (monitorMessage_ != 0 && m.Msg == monitorMessage_) {
        const TExStatusPanelType type =
            m.WParam == VK_NUMLOCK ? sptNumLock : m.WParam == VK_SCROLL ? sptScrollLock : sptCapsLock;
        const bool on = (m.LParam & 1) != 0;
        for (int i = 0; i < exPanels_->Count(); ++i) {
            TExStatusPanel* p = exPanels_->Items(i);
            if (p->PanelType() != type) continue;
            p->SetLockState(on);
            p->Redraw();
        }
        return;
    }
    TStatusBar::WndProc(m);
}

void TExStatusBar::PaintSizeGrip() {
    if (!SizeGrip() || Color() == clBtnFace || !HandleAllocated()) return;
    const RECT client = ClientRect();
    const WindowDC windowDc(handle_);
    const HDC dc = windowDc.Get();
    const int R = client.right, B = client.bottom;
    RECT grip{R - kGripSize, B - kGripSize, R, B};
    {
        const UniqueBrush face(CreateSolidBrush(ColorToRGB(Color())));
        FillRect(dc, &grip, face.Get());
    }
    const UniquePen light(CreatePen(PS_SOLID, 1, ColorToRGB(clBtnHighlight)));
    const UniquePen dark(CreatePen(PS_SOLID, 1, ColorToRGB(clBtnShadow)));
    // A line at distance d holds the pixels with (R-1-x) + (B-1-y) = d.
    auto diagonal = [&](int d, HPEN pen) {
        const ScopedSelection usePen(dc, pen);
        MoveToEx(dc, R - 1 - d, B - 1, nullptr);
        LineTo(dc, R, B - 2 - d);
    };
    for (int d : {1, 2, 5, 9, 13}) diagonal(d, light.Get());
    for (int d : {3, 7, 11}) diagonal(d, dark.Get());
    const ScopedSelection useDark(dc, dark.Get());
    MoveToEx(dc, R - kGripSize, B - kGripSize, nullptr);
    LineTo(dc, R, B - kGripSize);
}

void TExStatusBar::ShowPanelHint(TMessage& m) {
    auto* info = reinterpret_cast<THintInfo*>(m.LParam);
    if (!info) return;
    const POINT p = info->CursorPos;
    int index = -1;
    for (int i = 0; i < exPanels_->Count(); ++i) {
        const RECT r = GetPanelRect(i);
        if (PtInRect(&r, p)) index = i;
    }
    if (index >= 0) {
        const AnsiString hint = exPanels_->Items(index)->Hint();
        if (!hint.empty()) {
            info->HintStr = hint;
            info->CursorRect = GetPanelRect(index);
            return;
        }
    }
    // The bar's own hint, over the stretch between panels with hints.
    RECT r = ClientRect();
    for (int i = 0; i < exPanels_->Count(); ++i) {
        if (i == index || exPanels_->Items(i)->Hint().empty()) continue;
        const RECT pr = GetPanelRect(i);
        if (pr.right <= p.x) r.left = std::max<int>(r.left, pr.right);
        else if (pr.left > p.x) r.right = std::min<int>(r.right, pr.left);
    }
    info->CursorRect = r;
}

void TExStatusBar::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_PAINT:
        TStatusBar::Dispatch(m);
        PaintSizeGrip();
        return;
    case WM_DESTROY:
        if (monitorPanels_ > 0) DeregisterFromMonitor(handle_);
        TStatusBar::Dispatch(m);
        return;
    case CM_FONTCHANGED:
        TStatusBar::Dispatch(m);
        RecreateMeasureFont();
        UpdateAutoFitWidths();
        return;
    case CM_ENABLEDCHANGED:
        TStatusBar::Dispatch(m);
        for (int i = 0; i < exPanels_->Count(); ++i) exPanels_->Items(i)->EnabledChanged();
        return;
    case CM_HINTSHOW:
        TStatusBar::Dispatch(m);
        ShowPanelHint(m);
        return;
    case WM_REFRESHLOCKINDICATORS: RefreshLockPanels(); return;
    }
    TStatusBar::Dispatch(m);
}

} // namespace ax
