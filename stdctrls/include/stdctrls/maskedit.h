#pragma once
// The masked edit: an edit whose text follows an edit mask of the form
// "mask;save literals;blank". The window shows EditText (every position of
// the mask, literals in place, unfilled positions as the blank character);
// Text is what the mask defines from it. Typing overwrites one position at a
// time, the caret skips literals, and a character the mask refuses beeps.
// Leaving a modified field whose required positions are not all filled
// raises EDBEditError and keeps the focus; Escape abandons the changes.
//
// Mask characters: 0 digit, 9 optional digit, # optional digit or sign,
// L letter, l optional letter, A letter or digit, a optional one, C any
// character, c optional one; > upper case and < lower case for what follows,
// <> neither; ! fills the optional positions from the right; \ makes the
// next character a literal; : and / are the time and date separators;
// _ is a literal space; anything else is a literal.
#include <vector>

#include "rtl/exceptions.h"
#include "stdctrls/edit.h"

namespace ax {

class EDBEditError : public Exception {
public:
    using Exception::Exception;
};

// One position of a parsed mask.
struct TMaskPosition {
    enum Kind { Literal, Digit, DigitOrSign, Letter, AlphaNum, Any } kind = Literal;
    bool required = false;
    enum Case { AsTyped, Upper, Lower } charCase = AsTyped;
    char literal = 0;
};

// A mask parsed into its positions and fields.
struct TParsedMask {
    std::vector<TMaskPosition> positions;
    bool saveLiterals = true;
    char blank = '_';
    bool fillFromRight = false;

    static TParsedMask Parse(const AnsiString& editMask);
    bool Empty() const { return positions.empty(); }
    // Whether c may stand at position i (already case-converted by Convert).
    bool Accepts(size_t i, char c) const;
    char Convert(size_t i, char c) const;
    // The edit text for a text, and the text an edit text defines.
    AnsiString Format(const AnsiString& text) const;
    AnsiString Unformat(const AnsiString& editText) const;
    // The first required position left blank, or -1.
    int FirstMissing(const AnsiString& editText) const;
};

class TCustomMaskEdit : public TCustomEdit {
public:
    explicit TCustomMaskEdit(TComponent* owner);
    AnsiString ClassName() const override { return "TCustomMaskEdit"; }

    const AnsiString& EditMask() const { return editMask_; }
    // Keeps what the current text gives under the new mask.
    void SetEditMask(const AnsiString& mask);
    bool IsMasked() const { return !mask_.Empty(); }
    // The text as the window shows it.
    AnsiString EditText() const { return text_; }
    void SetEditText(const AnsiString& editText);
    AnsiString Text() const override;
    void SetText(const AnsiString& text) override;
    // Raises EDBEditError (after a beep, the caret on the first unfilled
    // required position) when the text does not satisfy the mask.
    virtual void ValidateEdit();
    // Back to the text the field had when it was set or entered.
    void Reset();

    void DefaultHandler(TMessage& message) override;

protected:
    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyPress(char& key) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void DoEnter() override;
    void DoExit() override;
    // Whether leaving the field checks it (the grid's editor does not: its
    // text goes back to the cell at every keystroke).
    virtual bool ValidatesOnExit() const { return true; }

private:
    bool IsEditable(int pos) const;
    int NextStop(int pos) const;
    int PrevStop(int pos) const;
    int LastStop() const;
    void TypeChar(char c);
    void BlankRange(int start, int end, int caretAfter);
    void PutAt(int start, const AnsiString& chars, int caretAfter);
    void PasteMasked();

    AnsiString editMask_;
    TParsedMask mask_;
    AnsiString original_;
};

class TMaskEdit : public TCustomMaskEdit {
public:
    using TCustomMaskEdit::TCustomMaskEdit;
    AnsiString ClassName() const override { return "TMaskEdit"; }
};

} // namespace ax
