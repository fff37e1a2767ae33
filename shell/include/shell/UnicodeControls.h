#pragma once
// Wide text for the edit-style controls. Every window of the window layer
// already takes UTF-16: typed characters arrive as UTF-16 units and window
// texts convert losslessly to the 8-bit text the controls keep (bytes that
// are not UTF-8 travel as U+DC80..U+DCFF). What is left to do here:
//
// - TCustomWideEdit, an edit whose window speaks UTF-16: its text and
//   selection in UTF-16 units (EM_SETSEL and EM_GETSEL too), characters
//   beyond ASCII typed whole (a surrogate pair is one character), and the
//   caret, Backspace and Delete stepping over whole characters;
// - TWideCaptionHolder, a control's caption kept as wide text;
// - TWndProcTrap, a procedure put in front of a window's own that passes
//   every message on.
#include "framework/controls.h"
#include "stdctrls/edit.h"
#include "stdctrls/messages.h"

#include <memory>

namespace ax {

// Positions in UTF-8 text counted in UTF-16 units (a byte that is not UTF-8
// is one unit), and back. Positions past the end give the end; a byte
// offset inside a character counts as that character's start.
int WideToBytePosition(const AnsiString& text, int widePosition);
int ByteToWidePosition(const AnsiString& text, int bytePosition);

class TCustomWideEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    AnsiString ClassName() const override { return "TCustomWideEdit"; }

    WideString WideText() const { return Utf8ToWide(Text()); }
    void SetWideText(const WideString& text) { SetText(WideToUtf8(text)); }
    WideString WideSelText() const { return Utf8ToWide(SelText()); }
    void SetWideSelText(const WideString& text) { SetSelText(WideToUtf8(text)); }
    // The selection in UTF-16 units.
    int WideSelStart() const;
    int WideSelLength() const;
    void SetWideSelStart(int start);
    void SetWideSelLength(int length);
    // Selects once the message in progress is done (a posted EM_SETSEL), so
    // that a handler of a typed character can select what it added after
    // the edit has placed its caret; at once when there is no window.
    void PostSelection(int start, int length);

    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;

private:
    // Types one whole character (its UTF-8 bytes) as a key press would.
    void TypeCharacter(WideString character);
    // Deletes the character after (forward) or before the caret.
    void DeleteCharacter(bool forward);
    // Puts anchor and caret on character starts after the mouse placed them.
    void SnapSelection();
    void SetByteSelection(int anchor, int caret);

    char16_t pendingLead_ = 0; // the first half of a surrogate pair typed
};

// A control's caption as wide text: any UTF-16 text set here comes back
// exactly (also a lone surrogate, which has no 8-bit form), while the
// control shows its 8-bit form. Owned by the control it holds the caption
// of (made with TComponent::Create<TWideCaptionHolder>(control)).
class TWideCaptionHolder : public TComponent {
public:
    // The owner must be a control.
    explicit TWideCaptionHolder(TComponent* owner);
    AnsiString ClassName() const override { return "TWideCaptionHolder"; }
    // What was set, as long as the control's caption is still its 8-bit
    // form; the control's caption when something else changed it.
    WideString Caption() const;
    void SetCaption(const WideString& caption);

private:
    TControl& control_;
    WideString caption_;
};

// Put in front of a window's procedure for its lifetime; passes every
// message on unchanged. The window layer hands typed characters to every
// window as UTF-16 units, so an edit inside a combo box receives them wide
// without their being posted again.
class TWndProcTrap {
public:
    explicit TWndProcTrap(HWND window);
    ~TWndProcTrap();
    TWndProcTrap(const TWndProcTrap&) = delete;
    TWndProcTrap& operator=(const TWndProcTrap&) = delete;
    HWND Window() const { return window_; }
    bool Installed() const { return installed_; }

private:
    HWND window_;
    bool installed_ = false;
};

} // namespace ax
