#pragma once
// Wide text for the edit-style controls. Every window of the window layer
// already takes UTF-16: typed characters arrive as UTF-16 units and window
// texts convert losslessly to the 8-bit text the controls keep (bytes that
// are not UTF-8 travel as U+DC80..U+DCFF). What is left to do here:
//
// TCustomWideEdit, an edit whose window speaks UTF-16: its text and
// selection in UTF-16 units (EM_SETSEL and EM_GETSEL too), characters
// beyond ASCII typed whole (a surrogate pair is one character), and the
// caret, Backspace and Delete stepping over whole characters. A caption
// kept as wide text is TWideCaptionHolder (WideCaptionHolder.h), a
// pass-through window procedure TWndProcTrap (WndProcTrap.h).
#include "framework/controls.h"
#include "stdctrls/edit.h"
#include "stdctrls/messages.h"

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

} // namespace ax
