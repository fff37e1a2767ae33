// The masked edit.
#include "stdctrls/maskedit.h"

#include <cctype>

#include "platform/window/sound.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"

namespace ax {

namespace {

constexpr const char* kMaskEditError = "Invalid input value.  Use escape key to abandon changes";

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Splits "mask;save;blank" at the separators that are not escaped.
void SplitFields(const AnsiString& editMask, AnsiString& mask, AnsiString& save, AnsiString& blank) {
    std::vector<AnsiString> fields(1);
    for (size_t i = 0; i < editMask.size(); ++i) {
        const char c = editMask[i];
        if (c == '\\' && fields.size() == 1 && i + 1 < editMask.size()) {
            fields.back() += editMask.substr(i, 2);
            ++i;
        } else if (c == ';' && fields.size() < 3) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    mask = fields[0];
    save = fields.size() > 1 ? fields[1] : "";
    blank = fields.size() > 2 ? fields[2] : "";
}

TMaskPosition Editable(TMaskPosition::Kind kind, bool required, TMaskPosition::Case charCase) {
    TMaskPosition p;
    p.kind = kind;
    p.required = required;
    p.charCase = charCase;
    return p;
}

TMaskPosition LiteralOf(char c) {
    TMaskPosition p;
    p.literal = c;
    return p;
}

} // namespace

// ---- The parsed mask --------------------------------------------------------------------------

TParsedMask TParsedMask::Parse(const AnsiString& editMask) {
    TParsedMask m;
    AnsiString mask, save, blank;
    SplitFields(editMask, mask, save, blank);
    m.saveLiterals = save.empty() || save[0] != '0';
    if (!blank.empty()) m.blank = blank[0];
    auto charCase = TMaskPosition::AsTyped;
    using K = TMaskPosition::Kind;
    for (size_t i = 0; i < mask.size(); ++i) {
        const char c = mask[i];
        switch (c) {
        case '!': m.fillFromRight = true; break;
        case '>': charCase = TMaskPosition::Upper; break;
        case '<':
            if (i + 1 < mask.size() && mask[i + 1] == '>') {
                charCase = TMaskPosition::AsTyped;
                ++i;
            } else {
                charCase = TMaskPosition::Lower;
            }
            break;
        case '\\':
            if (i + 1 < mask.size()) m.positions.push_back(LiteralOf(mask[++i]));
            break;
        case '0': m.positions.push_back(Editable(K::Digit, true, charCase)); break;
        case '9': m.positions.push_back(Editable(K::Digit, false, charCase)); break;
        case '#': m.positions.push_back(Editable(K::DigitOrSign, false, charCase)); break;
        case 'L': m.positions.push_back(Editable(K::Letter, true, charCase)); break;
        case 'l': m.positions.push_back(Editable(K::Letter, false, charCase)); break;
        case 'A': m.positions.push_back(Editable(K::AlphaNum, true, charCase)); break;
        case 'a': m.positions.push_back(Editable(K::AlphaNum, false, charCase)); break;
        case 'C': m.positions.push_back(Editable(K::Any, true, charCase)); break;
        case 'c': m.positions.push_back(Editable(K::Any, false, charCase)); break;
        case ':': m.positions.push_back(LiteralOf(FormatSettings().TimeSeparator)); break;
        case '/': m.positions.push_back(LiteralOf(FormatSettings().DateSeparator)); break;
        case '_': m.positions.push_back(LiteralOf(' ')); break;
        default: m.positions.push_back(LiteralOf(c)); break;
        }
    }
    return m;
}

char TParsedMask::Convert(size_t i, char c) const {
    switch (positions[i].charCase) {
    case TMaskPosition::Upper: return char(uint8_t(c) < 128 ? std::toupper(uint8_t(c)) : c);
    case TMaskPosition::Lower: return char(uint8_t(c) < 128 ? std::tolower(uint8_t(c)) : c);
    default: return c;
    }
}

bool TParsedMask::Accepts(size_t i, char c) const {
    const TMaskPosition& p = positions[i];
    // Only single bytes: a position holds one character of the text.
    if (uint8_t(c) < 32 || uint8_t(c) >= 128) return false;
    if (c == ' ') return !p.required || p.kind == TMaskPosition::Any;
    switch (p.kind) {
    case TMaskPosition::Digit: return IsAsciiDigit(c);
    case TMaskPosition::DigitOrSign: return IsAsciiDigit(c) || c == '+' || c == '-';
    case TMaskPosition::Letter: return IsAsciiLetter(c);
    case TMaskPosition::AlphaNum: return IsAsciiDigit(c) || IsAsciiLetter(c);
    case TMaskPosition::Any: return true;
    case TMaskPosition::Literal: return false;
    }
    return false;
}

AnsiString TParsedMask::Format(const AnsiString& text) const {
    AnsiString out;
    std::vector<size_t> targets;
    for (size_t i = 0; i < positions.size(); ++i) {
        const bool literal = positions[i].kind == TMaskPosition::Literal;
        out += literal ? positions[i].literal : blank;
        if (!literal || saveLiterals) targets.push_back(i);
    }
    // A short text fills the last positions when the mask says so.
    size_t first = 0;
    if (fillFromRight && text.size() < targets.size()) first = targets.size() - text.size();
    for (size_t k = first, j = 0; k < targets.size() && j < text.size(); ++k, ++j) {
        const size_t i = targets[k];
        if (positions[i].kind == TMaskPosition::Literal) continue;
        const char c = Convert(i, text[j]);
        if (c != ' ' && c != blank && Accepts(i, c)) out[i] = c;
    }
    return out;
}

AnsiString TParsedMask::Unformat(const AnsiString& editText) const {
    AnsiString out;
    for (size_t i = 0; i < positions.size() && i < editText.size(); ++i) {
        if (positions[i].kind == TMaskPosition::Literal) {
            if (saveLiterals) out += positions[i].literal;
        } else {
            out += editText[i] == blank ? ' ' : editText[i];
        }
    }
    if (!saveLiterals) {
        // The unfilled optional positions are the blanks at the end (at the
        // start when the mask fills from the right).
        if (fillFromRight) out.erase(0, std::min(out.find_first_not_of(' '), out.size()));
        else out.erase(out.find_last_not_of(' ') + 1);
    }
    return out;
}

int TParsedMask::FirstMissing(const AnsiString& editText) const {
    for (size_t i = 0; i < positions.size(); ++i) {
        const TMaskPosition& p = positions[i];
        if (p.kind == TMaskPosition::Literal || !p.required) continue;
        const char c = i < editText.size() ? editText[i] : blank;
        if (c == blank || !Accepts(i, c)) return int(i);
    }
    return -1;
}

// ---- The edit ---------------------------------------------------------------------------------

TCustomMaskEdit::TCustomMaskEdit(TComponent* owner) : TCustomEdit(owner) {}

void TCustomMaskEdit::SetEditMask(const AnsiString& mask) {
    if (mask == editMask_) return;
    const AnsiString text = Text();
    editMask_ = mask;
    mask_ = TParsedMask::Parse(mask);
    SetText(text);
}

AnsiString TCustomMaskEdit::Text() const { return IsMasked() ? mask_.Unformat(text_) : text_; }

void TCustomMaskEdit::SetText(const AnsiString& text) {
    TCustomEdit::SetText(IsMasked() ? mask_.Format(text) : text);
    original_ = text_;
}

void TCustomMaskEdit::SetEditText(const AnsiString& editText) {
    if (!IsMasked()) {
        SetText(editText);
        return;
    }
    // Literals stay where the mask puts them; what a position refuses is blank.
    AnsiString shown = mask_.Format("");
    for (size_t i = 0; i < shown.size() && i < editText.size(); ++i)
        if (IsEditable(int(i)) && editText[i] != mask_.blank && mask_.Accepts(i, editText[i])) shown[i] = editText[i];
    TCustomEdit::SetText(shown);
    original_ = text_;
}

void TCustomMaskEdit::Reset() {
    if (text_ == original_) return;
    TCustomEdit::SetText(original_);
    SetModified(false);
}

void TCustomMaskEdit::ValidateEdit() {
    if (!IsMasked()) return;
    const int missing = mask_.FirstMissing(text_);
    if (missing < 0) return;
    MoveCaret(missing, false);
    MessageBeep(0);
    throw EDBEditError(kMaskEditError);
}

// ---- Caret stops: the editable positions and the place after the last one ----------------------

bool TCustomMaskEdit::IsEditable(int pos) const {
    return pos >= 0 && pos < int(mask_.positions.size()) && mask_.positions[size_t(pos)].kind != TMaskPosition::Literal;
}

int TCustomMaskEdit::LastStop() const {
    for (int i = int(mask_.positions.size()) - 1; i >= 0; --i)
        if (IsEditable(i)) return i + 1;
    return 0;
}

int TCustomMaskEdit::NextStop(int pos) const {
    for (int i = pos + 1; i < LastStop(); ++i)
        if (IsEditable(i)) return i;
    return LastStop();
}

int TCustomMaskEdit::PrevStop(int pos) const {
    for (int i = std::min(pos, LastStop()) - 1; i >= 0; --i)
        if (IsEditable(i)) return i;
    return NextStop(-1);
}

// ---- Editing ------------------------------------------------------------------------------------

void TCustomMaskEdit::PutAt(int start, const AnsiString& chars, int caretAfter) {
    MoveCaret(start, false);
    MoveCaret(start + int(chars.size()), true);
    ReplaceSelection(chars, true, true);
    MoveCaret(caretAfter, false);
}

void TCustomMaskEdit::BlankRange(int start, int end, int caretAfter) {
    if (ReadOnly() || end <= start) return;
    AnsiString chars = text_.substr(size_t(start), size_t(end - start));
    for (int i = start; i < end; ++i)
        if (IsEditable(i)) chars[size_t(i - start)] = mask_.blank;
    PutAt(start, chars, caretAfter);
}

void TCustomMaskEdit::TypeChar(char c) {
    if (ReadOnly()) return;
    const int start = SelStart(), end = SelStart() + SelLength();
    // Typing the literal under the caret steps over it.
    if (start < int(text_.size()) && !IsEditable(start) && SelLength() == 0 && c == text_[size_t(start)]) {
        MoveCaret(IsEditable(start + 1) ? start + 1 : NextStop(start), false);
        return;
    }
    const int pos = IsEditable(start) ? start : NextStop(start);
    if (!IsEditable(pos)) {
        MessageBeep(0);
        return;
    }
    const char typed = mask_.Convert(size_t(pos), c);
    if (typed != mask_.blank && !mask_.Accepts(size_t(pos), typed)) {
        MessageBeep(0);
        return;
    }
    const bool keepSpace = typed == ' ' && mask_.positions[size_t(pos)].kind == TMaskPosition::Any;
    // One change: the selection blanked and the character put in.
    const int from = std::min(start, pos), to = std::max(end, pos + 1);
    AnsiString chars = text_.substr(size_t(from), size_t(to - from));
    for (int i = from; i < to; ++i)
        if (i >= start && i < end && IsEditable(i)) chars[size_t(i - from)] = mask_.blank;
    chars[size_t(pos - from)] = typed == ' ' && !keepSpace ? mask_.blank : typed;
    PutAt(from, chars, NextStop(pos));
}

void TCustomMaskEdit::PasteMasked() {
    if (ReadOnly()) return;
    std::optional<std::string> clip = GetClipboardText();
    if (!clip) return;
    for (char c : *clip) {
        if (c == '\r' || c == '\n') break;
        const int before = CaretPos();
        TypeChar(c);
        if (CaretPos() == before) break; // refused, or no room left
    }
}

void TCustomMaskEdit::KeyDown(WORD& key, TShiftState shift) {
    TCustomEdit::KeyDown(key, shift);
    if (key == 0 || !IsMasked()) return;
    const bool extend = shift & ssShift, ctrl = shift & ssCtrl;
    const int start = SelStart(), end = SelStart() + SelLength();
    switch (key) {
    case VK_LEFT:
        MoveCaret(!extend && end > start ? start : PrevStop(CaretPos()), extend);
        break;
    case VK_RIGHT:
        MoveCaret(!extend && end > start ? (IsEditable(end) ? end : NextStop(end)) : NextStop(CaretPos()), extend);
        break;
    case VK_HOME: MoveCaret(NextStop(-1), extend); break;
    case VK_END: MoveCaret(LastStop(), extend); break;
    case VK_DELETE:
        if (extend) CopyToClipboard();
        if (end > start) BlankRange(start, end, start);
        else if (int pos = IsEditable(start) ? start : NextStop(start); IsEditable(pos)) BlankRange(pos, pos + 1, start);
        break;
    case VK_INSERT:
        if (ctrl) CopyToClipboard();
        else if (extend) PasteMasked();
        break;
    case 'V':
    case 'X':
    case 'C':
        if (!ctrl || extend) return;
        if (key != 'V') CopyToClipboard();
        if (key == 'V') PasteMasked();
        if (key == 'X') BlankRange(start, end, start);
        break;
    default: return;
    }
    key = 0;
}

void TCustomMaskEdit::KeyPress(char& key) {
    TCustomEdit::KeyPress(key);
    if (key == 0 || !IsMasked()) return;
    if (key == 27) {
        // Escape abandons the changes; unchanged, it goes on to the form.
        if (!Modified()) return;
        Reset();
    } else if (key == '\b') {
        const int start = SelStart(), end = SelStart() + SelLength();
        if (end > start) {
            BlankRange(start, end, IsEditable(start) ? start : NextStop(start));
        } else {
            int pos = CaretPos() - 1;
            while (pos >= 0 && !IsEditable(pos)) --pos;
            if (pos >= 0) BlankRange(pos, pos + 1, pos);
        }
    } else if (uint8_t(key) >= 32) {
        TypeChar(key);
    } else {
        return; // other control characters are the edit's own
    }
    key = 0;
}

void TCustomMaskEdit::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    // A click between two positions lands on the next editable one.
    if (IsMasked() && SelLength() == 0 && !IsEditable(CaretPos()) && CaretPos() < LastStop())
        MoveCaret(NextStop(CaretPos()), false);
    TCustomEdit::MouseUp(button, shift, x, y);
}

void TCustomMaskEdit::DoEnter() {
    original_ = text_;
    TCustomEdit::DoEnter();
}

void TCustomMaskEdit::DoExit() {
    if (IsMasked() && Modified() && ValidatesOnExit()) {
        // The field keeps the focus until it is right or abandoned.
        ScopeGuard keepFocus([this] {
            if (CanFocus()) SetFocus();
            // Entering selects the whole text: the caret goes back to the gap.
            if (const int missing = mask_.FirstMissing(text_); missing >= 0) MoveCaret(missing, false);
        });
        ValidateEdit();
        keepFocus.Dismiss();
    }
    TCustomEdit::DoExit();
}

void TCustomMaskEdit::DefaultHandler(TMessage& m) {
    if (IsMasked()) {
        switch (m.Msg) {
        case WM_CHAR:
            if (m.WParam >= 0x80) return; // a mask's places take ASCII characters
            break;
        case WM_PASTE: PasteMasked(); return;
        case WM_CUT:
            CopyToClipboard();
            BlankRange(SelStart(), SelStart() + SelLength(), SelStart());
            return;
        case WM_CLEAR: BlankRange(SelStart(), SelStart() + SelLength(), SelStart()); return;
        }
    }
    TCustomEdit::DefaultHandler(m);
}

} // namespace ax
