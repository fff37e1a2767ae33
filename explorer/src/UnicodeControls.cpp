// The wide edit: UTF-16 positions over the 8-bit text the edit keeps, and
// whole characters for typing, the caret and deleting.
#include "explorer/UnicodeControls.h"

#include <algorithm>
#include <vector>

namespace ax {

namespace {

bool IsLead(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsTrail(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// One character at byte offset pos: its length in bytes and in UTF-16 units,
// decoded as the text conversions decode it (a byte that is not UTF-8 is a
// character of one byte and one unit). CR LF counts as one character.
struct CharSpan {
    int bytes, units;
};

CharSpan CharAt(const AnsiString& text, size_t pos) {
    if (text.compare(pos, 2, "\r\n") == 0) return {2, 2};
    // No character is longer than four bytes.
    const std::u32string first = Utf8ToCodePoints(std::string_view(text).substr(pos, 4));
    const char32_t c = first.empty() ? 0 : first[0];
    if (c >= 0xDC80 && c <= 0xDCFF) return {1, 1};
    if (c < 0x80) return {1, 1};
    if (c < 0x800) return {2, 1};
    if (c < 0x10000) return {3, 1};
    return {4, 2};
}

// The byte offsets where characters begin, and the end.
std::vector<int> CharStarts(const AnsiString& text) {
    std::vector<int> starts;
    for (size_t pos = 0; pos < text.size(); pos += size_t(CharAt(text, pos).bytes))
        starts.push_back(int(pos));
    starts.push_back(int(text.size()));
    return starts;
}

int PreviousStart(const std::vector<int>& starts, int pos) {
    auto it = std::lower_bound(starts.begin(), starts.end(), pos);
    return it == starts.begin() ? 0 : *(it - 1);
}

int NextStart(const std::vector<int>& starts, int pos) {
    auto it = std::upper_bound(starts.begin(), starts.end(), pos);
    return it == starts.end() ? starts.back() : *it;
}

// The start of the character holding pos.
int StartAtOrBefore(const std::vector<int>& starts, int pos) {
    auto it = std::upper_bound(starts.begin(), starts.end(), pos);
    return it == starts.begin() ? 0 : *(it - 1);
}

} // namespace

int WideToBytePosition(const AnsiString& text, int widePosition) {
    size_t pos = 0;
    int units = 0;
    while (pos < text.size() && units < widePosition) {
        const CharSpan c = CharAt(text, pos);
        pos += size_t(c.bytes);
        units += c.units;
    }
    return int(pos);
}

int ByteToWidePosition(const AnsiString& text, int bytePosition) {
    size_t pos = 0;
    int units = 0;
    while (pos < text.size()) {
        const CharSpan c = CharAt(text, pos);
        if (int(pos) + c.bytes > bytePosition) break;
        pos += size_t(c.bytes);
        units += c.units;
    }
    return units;
}

// ---- TCustomWideEdit ------------------------------------------------------------------------

int TCustomWideEdit::WideSelStart() const {
    return ByteToWidePosition(Text(), SelStart());
}

int TCustomWideEdit::WideSelLength() const {
    return ByteToWidePosition(Text(), SelStart() + SelLength()) - WideSelStart();
}

void TCustomWideEdit::SetWideSelStart(int start) {
    Perform(EM_SETSEL, WPARAM(start), LPARAM(start));
}

void TCustomWideEdit::SetWideSelLength(int length) {
    const int start = WideSelStart();
    Perform(EM_SETSEL, WPARAM(start), LPARAM(start + std::max(length, 0)));
}

void TCustomWideEdit::PostSelection(int start, int length) {
    const int end = start + std::max(length, 0);
    if (HandleAllocated())
        PostMessage(Handle(), EM_SETSEL, WPARAM(start), LPARAM(end));
    else
        Perform(EM_SETSEL, WPARAM(start), LPARAM(end));
}

void TCustomWideEdit::SetByteSelection(int anchor, int caret) {
    TMessage m{EM_SETSEL, WPARAM(anchor), LPARAM(caret), 0};
    TCustomEdit::DefaultHandler(m);
}

void TCustomWideEdit::TypeCharacter(WideString character) {
    if (ReadOnly()) return;
    if (CharCase() == ecUpperCase) character = WideUpperCase(character);
    if (CharCase() == ecLowerCase) character = WideLowerCase(character);
    const AnsiString bytes = WideToUtf8(character);
    // A character that does not fit whole is dropped, as typing beyond the
    // limit is.
    if (MaxLength() > 0 && Text().size() - size_t(SelLength()) + bytes.size() > size_t(MaxLength()))
        return;
    ReplaceSelection(bytes, true, true);
}

void TCustomWideEdit::DeleteCharacter(bool forward) {
    if (ReadOnly()) return;
    if (SelLength() == 0) {
        const std::vector<int> starts = CharStarts(Text());
        const int caret = CaretPos();
        const int other = forward ? NextStart(starts, caret) : PreviousStart(starts, caret);
        if (other == caret) return;
        SetByteSelection(caret, other);
    }
    ReplaceSelection("", true, true);
}

void TCustomWideEdit::SnapSelection() {
    const int caret = CaretPos();
    const int anchor = caret == SelStart() ? SelStart() + SelLength() : SelStart();
    const std::vector<int> starts = CharStarts(Text());
    const int newCaret = StartAtOrBefore(starts, caret),
              newAnchor = StartAtOrBefore(starts, anchor);
    if (newCaret != caret || newAnchor != anchor) SetByteSelection(newAnchor, newCaret);
}

void TCustomWideEdit::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_CHAR: {
        const char16_t unit = char16_t(m.WParam);
        // Plain ASCII goes the 8-bit way (key events, the edit's commands).
        if (unit < 0x80) {
            pendingLead_ = 0;
            break;
        }
        m.Result = 0;
        if (IsLead(unit)) {
            pendingLead_ = unit;
            return;
        }
        WideString character(1, unit);
        if (IsTrail(unit) && pendingLead_) character.insert(character.begin(), pendingLead_);
        pendingLead_ = 0;
        TypeCharacter(character);
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
        TCustomEdit::Dispatch(m);
        SnapSelection();
        return;
    }
    TCustomEdit::Dispatch(m);
}

void TCustomWideEdit::DefaultHandler(TMessage& m) {
    switch (m.Msg) {
    case WM_KEYDOWN: {
        const TShiftState shift = CurrentShiftState();
        if (shift & ssCtrl) break;
        const bool extend = shift & ssShift;
        switch (m.WParam) {
        case VK_LEFT:
        case VK_RIGHT: {
            const bool right = m.WParam == VK_RIGHT;
            if (!extend && SelLength() > 0) break; // collapses the selection
            const std::vector<int> starts = CharStarts(Text());
            MoveCaret(right ? NextStart(starts, CaretPos()) : PreviousStart(starts, CaretPos()),
                      extend);
            m.Result = 0;
            return;
        }
        case VK_DELETE:
            if (extend) break; // cuts
            DeleteCharacter(true);
            m.Result = 0;
            return;
        }
        break;
    }
    case WM_CHAR:
        if (m.WParam == '\b') {
            DeleteCharacter(false);
            m.Result = 0;
            return;
        }
        break;
    case EM_SETSEL: {
        // Positions in UTF-16 units; -1 keeps its meaning (no selection, or
        // the end).
        const AnsiString& text = Text();
        const intptr_t start = intptr_t(m.WParam);
        if (start >= 0) {
            m.WParam = WPARAM(WideToBytePosition(text, int(std::min<intptr_t>(start, INT32_MAX))));
            if (m.LParam >= 0)
                m.LParam =
                    LPARAM(WideToBytePosition(text, int(std::min<LPARAM>(m.LParam, INT32_MAX))));
        }
        break;
    }
    case EM_GETSEL: {
        const AnsiString& text = Text();
        const DWORD start = DWORD(ByteToWidePosition(text, SelStart()));
        const DWORD end = DWORD(ByteToWidePosition(text, SelStart() + SelLength()));
        if (m.WParam) *reinterpret_cast<DWORD*>(m.WParam) = start;
        if (m.LParam) *reinterpret_cast<DWORD*>(m.LParam) = end;
        m.Result = LRESULT(std::min<DWORD>(start, 0xFFFF) | (std::min<DWORD>(end, 0xFFFF) << 16));
        return;
    }
    }
    TCustomEdit::DefaultHandler(m);
}

} // namespace ax
