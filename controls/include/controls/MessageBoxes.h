#pragma once
// Message boxes built as small modal forms (a text, an optional icon or
// picture, a row of buttons, an optional sound), with either the standard
// button sets chosen by MB_ flags or free captions joined by "|" (answers
// 11, 12, ... in caption order); and one modeless wait box per process with
// a text, an optional gauge and an optional Cancel button. GUI thread only.
#include <functional>
#include <memory>

#include "framework/forms.h"
#include "framework/graphics.h"
#include "platform/ole/msgbox.h"
#include "platform/window/sound.h"

namespace ax {

// The MB_ flags and ID answers of the boxes are in platform/ole/msgbox.h.
// What the wait box's Cancel button posts to the window its caller named.
inline constexpr UINT WM_PROGRESSBOX_CANCEL = WM_USER + 6;

// The module's settings, read by every box. Texts left empty are filled
// with the defaults ("&Yes", ..., "Ignore") by the first standard box.
struct TMessageBoxSettings {
    AnsiString YesText, NoText, CancelText, OkText, RetryText, AbortText, IgnoreText;
    std::unique_ptr<TFont> LabelFont;  // none: the form's font
    std::unique_ptr<TFont> ButtonFont; // none: the form's font
    int ButtonHeight = 0, ButtonWidth = 0; // 0: the button's own size
    int GaugeWidth = 0, GaugeHeight = 0;   // 0: the content's width, 20 high
    TColor GaugeForeColor = clBlack;
    TColor GaugeBackColor = 0; // 0: the box's colour
    // Boxes without an owner window, always stay-on-top.
    bool NoOwner = false;
    // Bringing the owner to the front also minimises and restores it.
    bool MinimizeRestore = false;
};
TMessageBoxSettings& MessageBoxSettings();

// A standard box: MB_ button set, icon, default button and
// MB_SETFOREGROUND; Silent plays no sound. Answers IDOK..IDNO, 0 when no
// box was shown.
int MessageBoxEx(const AnsiString& Text, const AnsiString& Caption, bool Silent, UINT Flags);
// An information box with OK; true when it was answered.
bool InfoBox(const AnsiString& Text);
// A box with the buttons of Buttons ("Replace|Add|Cancel"); answers 11
// for the first, 12 for the second..., 0 when no box was shown.
int CustomMessageBox(const AnsiString& Text, const AnsiString& Caption, const TPicture* Picture,
                     TImageList* Glyphs, TPosition Position, const AnsiString& Buttons, const AnsiString& Sound,
                     bool StayOnTop, bool ToFront, TColor Color, uint8_t DefaultButton);
// "OK|Help": 11 for OK, 12 for Help.
int HelpBox(const AnsiString& Text);
// Builds and runs one box: a custom one when Captions is given (Flags and
// Silent then unused), a standard one from Flags otherwise.
int BuildMessageBox(const AnsiString& Text, const AnsiString& Caption, const AnsiString& Sound, UINT Flags,
                    const TPicture* Picture, const TStringList* Captions, TImageList* Glyphs, bool Silent,
                    TPosition Position, bool StayOnTop, bool ToFront, TColor Color, uint8_t DefaultButton);
// "MB_ICONQUESTION" and the other icon names, "BEEP", "0" and "65535" beep;
// a text with "\" or "/" is a sound file, anything else a sound of the
// program's.
void PlayBoxSound(const AnsiString& Sound);

// The wait box: false when one is open already.
bool ShowProgressBox(const AnsiString& Text, const AnsiString& Caption, const AnsiString& Sound,
                     const TPicture* Picture, TPosition Position, bool StayOnTop, TColor Color, int Height,
                     int Width, int MinValue, int MaxValue, HWND NotifyWindow, bool ShowGauge, bool ShowCancel);
bool ShowWaitBox(const AnsiString& Text, const AnsiString& Caption);
// Advances the gauge; false without an open box that shows one.
bool SetProgressBoxPosition(int Delta);
bool CloseProgressBox();
// The open wait box's form (null when closed).
TForm* ProgressBoxForm();

// Runs on each modal box once its modal loop has started (after the focus
// moved to the default button): tests answer boxes from here with keys or
// clicks.
inline std::function<void(TForm& box)> OnMessageBoxModal;

} // namespace ax
