// The wait box: one modeless box per process, opened, advanced and closed
// by the application while it works.
#include <algorithm>

#include "MessageBoxForm.h"
#include "controls/MessageBoxes.h"
#include "stdctrls/buttons.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/gauges.h"
#include "stdctrls/label.h"

namespace ax {

namespace {

struct ProgressBoxState {
    // A box still open when the program ends is left to the process's end:
    // the window layer may be gone by the time statics are destroyed.
    ~ProgressBoxState() { (void)form.release(); }
    std::unique_ptr<TMessageBoxForm> form;
    TGauge* gauge = nullptr; // owned by the form
    bool gaugeShown = false;
    HWND notifyWindow = nullptr;
    bool Open() const { return form != nullptr; }
};

ProgressBoxState& State() {
    static ProgressBoxState state;
    return state;
}

} // namespace

bool ShowProgressBox(const AnsiString& Text, const AnsiString& Caption, const AnsiString& Sound,
                     const TPicture* Picture, TPosition Position, bool StayOnTop, TColor Color, int Height,
                     int Width, int MinValue, int MaxValue, HWND NotifyWindow, bool ShowGauge, bool ShowCancel) {
    ProgressBoxState& box = State();
    if (box.Open()) return false;
    TMessageBoxSettings& s = MessageBoxSettings();
    box.gaugeShown = ShowGauge;
    PlayBoxSound(Sound);
    TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    AnsiString caption = Caption;
    if (!main) Position = poDesktopCenter;
    else if (caption.empty()) caption = main->Caption();

    auto form = CreateBoxForm(Color, Position, StayOnTop, caption);
    form->EditSystemMenu();
    int y = 20, contentWidth = 20;
    if (Picture && Picture->Graphic() && !Picture->Graphic()->Empty()) {
        auto* image = TComponent::Create<TImage>(form.get());
        image->SetParent(form.get());
        image->SetTransparent(true);
        image->SetBounds(20, 20, Picture->Width(), Picture->Height());
        image->Picture().Assign(Picture);
        y = 20 + image->Height() + 20;
        contentWidth = image->Width();
    }
    auto* label = TComponent::Create<TLabel>(form.get());
    label->SetParent(form.get());
    if (s.LabelFont) label->SetFont(*s.LabelFont);
    label->SetShowAccelChar(false);
    label->SetCaption(Text);
    label->SetLeft(20);
    label->SetTop(y);
    y += label->Height() + 20;
    contentWidth = std::max(contentWidth, label->Width());
    TGauge* gauge = nullptr;
    if (ShowGauge) {
        gauge = TComponent::Create<TGauge>(form.get());
        gauge->SetParent(form.get());
        gauge->SetBounds(20, y, s.GaugeWidth ? s.GaugeWidth : contentWidth, s.GaugeHeight ? s.GaugeHeight : 20);
        gauge->SetForeColor(s.GaugeForeColor);
        gauge->SetBackColor(s.GaugeBackColor ? s.GaugeBackColor : Color);
        gauge->SetMinValue(MinValue);
        gauge->SetMaxValue(MaxValue);
        gauge->SetProgress(gauge->MinValue());
        y += gauge->Height() + 20;
        contentWidth = std::max(contentWidth, gauge->Width());
    }
    if (ShowCancel) {
        auto* cancel = TComponent::Create<TBitBtn>(form.get());
        cancel->SetParent(form.get());
        cancel->SetKind(bkCancel);
        if (s.ButtonFont) cancel->SetFont(*s.ButtonFont);
        if (s.CancelText.empty()) s.CancelText = "&Cancel";
        cancel->SetCaption(s.CancelText);
        cancel->SetModalResult(mrNone);
        if (s.ButtonHeight) cancel->SetHeight(s.ButtonHeight);
        if (s.ButtonWidth) cancel->SetWidth(s.ButtonWidth);
        cancel->SetTop(y);
        if (cancel->Width() < contentWidth) {
            cancel->SetLeft((contentWidth + 40) / 2 - cancel->Width() / 2);
        } else {
            contentWidth = cancel->Width();
            cancel->SetLeft(20);
        }
        y += cancel->Height() + 20;
        // Cancel only tells the caller; the box stays until it is closed.
        cancel->OnClick = [](TObject*) {
            const HWND target = State().notifyWindow;
            if (reinterpret_cast<uintptr_t>(target) > 100) PostMessage(target, WM_PROGRESSBOX_CANCEL, 0, 0);
        };
    }
    form->SetClientSize(Width > 0 ? Width : contentWidth + 40, Height > 0 ? Height : y);
    form->AddFrame();
    form->Show();
    box.notifyWindow = NotifyWindow;
    box.gauge = gauge;
    box.form = std::move(form);
    return true;
}

bool ShowWaitBox(const AnsiString& Text, const AnsiString& Caption) {
    TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    return ShowProgressBox(Text, Caption, "", nullptr, main ? poOwnerFormCenter : poDesktopCenter, true,
                           main ? main->Color() : clBtnFace, 0, 0, 0, 0, nullptr, false, false);
}

bool SetProgressBoxPosition(int Delta) {
    ProgressBoxState& box = State();
    if (!box.Open() || !box.gaugeShown || !box.gauge) return false;
    box.gauge->SetProgress(box.gauge->Progress() + Delta);
    return true;
}

bool CloseProgressBox() {
    ProgressBoxState& box = State();
    if (!box.Open()) return false;
    box.gauge = nullptr;
    box.gaugeShown = false;
    box.notifyWindow = nullptr;
    box.form.reset();
    return true;
}

TForm* ProgressBoxForm() { return State().form.get(); }

} // namespace ax
