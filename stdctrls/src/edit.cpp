// Edit and memo: the text lives in the control; drawing, caret and
// selection are computed from it on demand.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "framework/streaming.h"
#include "rtl/text.h"
#include "stdctrls/common.h"
#include "stdctrls/edit.h"
#include "stdctrls/messages.h"
#include "stdctrls_internal.h"

namespace ax {

namespace {
constexpr int kNoLimit = 0x7FFFFFFE;
bool IsCrLf(const AnsiString& s, int pos) {
    return pos >= 0 && size_t(pos) + 1 < s.size() && s[size_t(pos)] == '\r' && s[size_t(pos) + 1] == '\n';
}
} // namespace

TCustomEdit::TCustomEdit(TComponent* owner) : TCustomControl(owner) {
    SetBounds(0, 0, 121, 21);
    tabStop_ = true;
    color_ = clWindow;
    cursor_ = crIBeam;
}

TCustomEdit::~TCustomEdit() = default;

void TCustomEdit::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    DefineImePublished(f);
    f.Integer("MaxLength", [this] { return maxLength_; }, [this](int64_t v) { SetMaxLength(int(v)); }, 0);
    f.Bool("ReadOnly", [this] { return readOnly_; }, [this](bool v) { SetReadOnly(v); }, false);
    f.Bool("AutoSelect", [this] { return autoSelect_; }, [this](bool v) { autoSelect_ = v; }, true);
    f.Bool("HideSelection", [this] { return hideSelection_; }, [this](bool v) { SetHideSelection(v); }, true);
    f.Enum("CharCase", {"ecNormal", "ecUpperCase", "ecLowerCase"}, [this] { return int(charCase_); },
           [this](int v) { SetCharCase(TEditCharCase(v)); }, 0);
    f.Bool("OEMConvert", [this] { return oemConvert_; }, [this](bool v) { oemConvert_ = v; }, false);
    f.Enum("BorderStyle", {"bsNone", "bsSingle"}, [this] { return int(borderStyle_); },
           [this](int v) { SetBorderStyle(TBorderStyle(v)); }, int(bsSingle));
    f.String("Text", [this] { return text_; }, [this](const AnsiString& v) { SetText(v); });
}

void TCustomEdit::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    static constexpr DWORD align[] = {ES_LEFT, ES_RIGHT, ES_CENTER};
    p.Style |= align[alignment_] | (multiline_ ? ES_MULTILINE | ES_AUTOVSCROLL : ES_AUTOHSCROLL);
    if (readOnly_) p.Style |= ES_READONLY;
    if (!hideSelection_) p.Style |= ES_NOHIDESEL;
    if (charCase_ == ecUpperCase) p.Style |= ES_UPPERCASE;
    if (charCase_ == ecLowerCase) p.Style |= ES_LOWERCASE;
    if (borderStyle_ == bsSingle) {
        if (ctl3D_) p.ExStyle |= WS_EX_CLIENTEDGE;
        else p.Style |= WS_BORDER;
    }
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) p.Style |= WS_VSCROLL;
    if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) p.Style |= WS_HSCROLL;
    p.WindowClassStyle &= ~UINT(CS_DBLCLKS);
    p.Background = COLOR_WINDOW;
}

void TCustomEdit::CreateWnd() {
    TCustomControl::CreateWnd();
    if (focused_) UpdateCaret();
}

// ---- Text and selection ---------------------------------------------------------------------

void TCustomEdit::SetText(const AnsiString& text) {
    // A memo's text may be long: copied here only to change its case.
    AnsiString cased;
    if (charCase_ != ecNormal) {
        cased = text;
        std::transform(cased.begin(), cased.end(), cased.begin(), charCase_ == ecUpperCase ? ::toupper : ::tolower);
    }
    const AnsiString& value = charCase_ != ecNormal ? cased : text;
    if (value == text_) return;
    settingText_ = true;
    TCustomControl::SetText(value);
    settingText_ = false;
    TextChanged();
    anchor_ = caret_ = 0;
    scrollX_ = 0;
    topLine_ = 0;
    modified_ = false;
    undo_.reset();
    UpdateCaret();
    Change();
}

void TCustomEdit::AppendText(const AnsiString& text) {
    if (text.empty()) return;
    // The lines of the text before the piece are worked out once, when not
    // known yet; then only the piece is looked at. A CR LF split between
    // pieces starts its line after the LF either way.
    if (multiline_) LineStarts();
    const size_t from = text_.size();
    text_ += text;
    if (charCase_ != ecNormal)
        std::transform(text_.begin() + ptrdiff_t(from), text_.end(), text_.begin() + ptrdiff_t(from),
                       charCase_ == ecUpperCase ? ::toupper : ::tolower);
    if (multiline_) {
        for (size_t i = from; i < text_.size(); ++i)
            if (text_[i] == '\n') lineStarts_->push_back(int(i + 1));
            else if (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n')
                lineStarts_->push_back(int(++i + 1));
    }
    Invalidate();
    Change();
}

void TCustomEdit::Change() {
    if (OnChange) OnChange(this);
}

void TCustomEdit::SetSelStart(int start) {
    start = std::clamp(start, 0, int(text_.size()));
    anchor_ = caret_ = start;
    Invalidate();
    ScrollCaretIntoView();
    UpdateCaret();
}

void TCustomEdit::SetSelLength(int length) {
    const int start = SelStart();
    anchor_ = start;
    caret_ = std::clamp(start + length, 0, int(text_.size()));
    Invalidate();
    ScrollCaretIntoView();
    UpdateCaret();
}

void TCustomEdit::SetSelText(const AnsiString& text) { ReplaceSelection(text, true, false); }

void TCustomEdit::SelectAll() {
    anchor_ = 0;
    caret_ = int(text_.size());
    Invalidate();
    UpdateCaret();
}

void TCustomEdit::ClearSelection() {
    if (SelLength() > 0) ReplaceSelection("", true, false);
}

void TCustomEdit::CopyToClipboard() {
    if (SelLength() == 0 || passwordChar_) return;
    SetClipboardText(SelText());
}

void TCustomEdit::CutToClipboard() {
    if (readOnly_ || SelLength() == 0 || passwordChar_) return;
    CopyToClipboard();
    ReplaceSelection("", true, true);
}

void TCustomEdit::PasteFromClipboard() {
    if (readOnly_) return;
    std::optional<std::string> clip = GetClipboardText();
    if (!clip) return;
    AnsiString text = *clip;
    if (!multiline_) {
        // A single line takes the clipboard's first line only.
        if (size_t eol = text.find_first_of("\r\n"); eol != AnsiString::npos) text.resize(eol);
    }
    ReplaceSelection(text, true, true);
}

void TCustomEdit::Undo() {
    if (!undo_ || readOnly_) return;
    UndoState previous = *undo_;
    undo_ = UndoState{text_, anchor_, caret_};
    text_ = previous.text;
    TextChanged();
    anchor_ = previous.anchor;
    caret_ = previous.caret;
    if (HandleAllocated()) SetWindowText(handle_, text_);
    modified_ = true;
    Invalidate();
    ScrollCaretIntoView();
    UpdateCaret();
    Change();
}

bool TCustomEdit::ReplaceSelection(const AnsiString& text, bool canUndo, bool byUser) {
    if (byUser && readOnly_) return false;
    AnsiString insert = text;
    if (charCase_ == ecUpperCase) std::transform(insert.begin(), insert.end(), insert.begin(), ::toupper);
    if (charCase_ == ecLowerCase) std::transform(insert.begin(), insert.end(), insert.begin(), ::tolower);
    const int start = SelStart(), length = SelLength();
    const int limit = maxLength_ > 0 ? maxLength_ : kNoLimit;
    const int room = limit - (int(text_.size()) - length);
    if (int(insert.size()) > room) {
        // What does not fit is cut off, never a CR LF half.
        insert.resize(size_t(std::max(room, 0)));
        if (!insert.empty() && insert.back() == '\r') insert.pop_back();
        if (insert.empty()) return false;
    }
    if (insert.empty() && length == 0) return false;
    if (canUndo) undo_ = UndoState{text_, anchor_, caret_};
    text_.replace(size_t(start), size_t(length), insert);
    TextChanged();
    anchor_ = caret_ = start + int(insert.size());
    if (HandleAllocated()) SetWindowText(handle_, text_);
    modified_ = true;
    Invalidate();
    ScrollCaretIntoView();
    UpdateCaret();
    Change();
    return true;
}

void TCustomEdit::MoveCaret(int pos, bool extend) {
    pos = std::clamp(pos, 0, int(text_.size()));
    caret_ = pos;
    if (!extend) anchor_ = pos;
    Invalidate();
    ScrollCaretIntoView();
    UpdateCaret();
}

// ---- Properties -----------------------------------------------------------------------------

void TCustomEdit::SetMaxLength(int length) { maxLength_ = std::max(0, length); }

void TCustomEdit::SetReadOnly(bool value) {
    if (readOnly_ == value) return;
    readOnly_ = value;
    if (HandleAllocated()) SetWindowStyleBit(ES_READONLY, value);
}

void TCustomEdit::SetHideSelection(bool value) {
    if (hideSelection_ == value) return;
    hideSelection_ = value;
    Invalidate();
}

void TCustomEdit::SetCharCase(TEditCharCase value) {
    if (charCase_ == value) return;
    charCase_ = value;
    AnsiString t = text_;
    text_.clear();
    TextChanged();
    SetText(t);
}

void TCustomEdit::SetPasswordChar(char c) {
    if (passwordChar_ == c) return;
    passwordChar_ = c;
    Invalidate();
}

void TCustomEdit::SetBorderStyle(TBorderStyle style) {
    if (borderStyle_ == style) return;
    borderStyle_ = style;
    RecreateWnd();
}

void TCustomEdit::SetAlignment(TAlignment alignment) {
    if (alignment_ == alignment) return;
    alignment_ = alignment;
    RecreateWnd();
    Invalidate();
}

// ---- Layout ---------------------------------------------------------------------------------

RECT TCustomEdit::FormatRect() const {
    if (formatRect_) return *formatRect_;
    RECT r = const_cast<TCustomEdit*>(this)->ClientRect();
    return {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
}

const std::vector<int>& TCustomEdit::LineStarts() const {
    if (lineStarts_) return *lineStarts_;
    std::vector<int>& starts = lineStarts_.emplace(1, 0);
    if (!multiline_) return starts;
    for (size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') {
            starts.push_back(int(i + 2));
            ++i;
        } else if (text_[i] == '\n') {
            starts.push_back(int(i + 1));
        }
    }
    return starts;
}

void TCustomEdit::TextChanged() {
    lineStarts_.reset();
}

int TCustomEdit::LineOf(int pos) const {
    const std::vector<int>& starts = LineStarts();
    return int(std::upper_bound(starts.begin(), starts.end(), pos) - starts.begin()) - 1;
}

int TCustomEdit::LineEnd(int line, const std::vector<int>& starts) const {
    if (size_t(line) + 1 >= starts.size()) return int(text_.size());
    int end = starts[size_t(line) + 1];
    if (end >= 1 && text_[size_t(end) - 1] == '\n') --end;
    if (end >= 1 && text_[size_t(end) - 1] == '\r') --end;
    return end;
}

AnsiString TCustomEdit::DisplayText(const AnsiString& s) const {
    return passwordChar_ ? AnsiString(s.size(), passwordChar_) : s;
}

int TCustomEdit::TextWidthOf(const AnsiString& s) { return MeasureText(Font(), DisplayText(s)).cx; }

int TCustomEdit::VisibleLines() {
    const RECT f = FormatRect();
    return std::max(1, f.height() / FontLineHeight(Font()));
}

POINT TCustomEdit::PosToPoint(int pos) {
    const RECT f = FormatRect();
    const std::vector<int>& starts = LineStarts();
    const int line = multiline_ ? LineOf(pos) : 0;
    const int start = starts[size_t(line)];
    const AnsiString lineText = text_.substr(size_t(start), size_t(LineEnd(line, starts) - start));
    int x = f.left - scrollX_;
    if (alignment_ != taLeftJustify) {
        const int slack = f.width() - TextWidthOf(lineText);
        if (slack > 0) x += alignment_ == taCenter ? slack / 2 : slack;
    }
    x += TextWidthOf(text_.substr(size_t(start), size_t(pos - start)));
    const int y = f.top + (line - topLine_) * FontLineHeight(Font());
    return {x, y};
}

int TCustomEdit::PointToPos(POINT p) {
    const RECT f = FormatRect();
    const std::vector<int>& starts = LineStarts();
    int line = 0;
    if (multiline_) line = std::clamp(topLine_ + (p.y - f.top) / FontLineHeight(Font()), 0, int(starts.size()) - 1);
    const int start = starts[size_t(line)], end = LineEnd(line, starts);
    int best = start, bestDistance = INT32_MAX;
    for (int pos = start; pos <= end; ++pos) {
        const int d = std::abs(PosToPoint(pos).x - p.x);
        if (d < bestDistance) {
            bestDistance = d;
            best = pos;
        }
    }
    return best;
}

void TCustomEdit::ScrollCaretIntoView() {
    const RECT f = FormatRect();
    if (multiline_) {
        const int line = LineOf(caret_), visible = VisibleLines();
        if (line < topLine_) topLine_ = line;
        else if (line >= topLine_ + visible) topLine_ = line - visible + 1;
    }
    if (alignment_ != taLeftJustify && !multiline_ && TextWidthOf(text_) <= f.width()) {
        scrollX_ = 0;
        return;
    }
    const int x = PosToPoint(caret_).x;
    if (x < f.left) scrollX_ -= f.left - x;
    else if (x >= f.right) scrollX_ += x - f.right + 1;
    scrollX_ = std::max(0, scrollX_);
    Invalidate();
}

void TCustomEdit::UpdateCaret() {
    if (!focused_ || !HandleAllocated()) return;
    const POINT p = PosToPoint(caret_);
    SetCaretPos(p.x, p.y);
}

// ---- Painting -------------------------------------------------------------------------------

void TCustomEdit::Paint() {
    TCanvas& c = Canvas();
    const RECT client = ClientRect();
    c.Brush().SetColor(color_);
    c.Brush().SetStyle(bsSolid);
    c.FillRect(client);
    const RECT f = FormatRect();
    HDC dc = c.Handle();
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, f.left, f.top, f.right, f.bottom);
    const bool showSel = (focused_ || !hideSelection_) && SelLength() > 0;
    const int selA = SelStart(), selB = SelStart() + SelLength();
    const std::vector<int>& starts = LineStarts();
    const int lineHeight = FontLineHeight(Font());
    c.Brush().SetStyle(bsClear);
    for (int line = topLine_; line < int(starts.size()); ++line) {
        const int start = starts[size_t(line)], end = LineEnd(line, starts);
        const POINT origin = PosToPoint(start);
        if (origin.y >= f.bottom) break;
        const AnsiString lineText = DisplayText(text_.substr(size_t(start), size_t(end - start)));
        c.Font().SetColor(enabled_ ? Font().Color() : clGrayText);
        c.TextOut(origin.x, origin.y, lineText);
        const int a = std::max(selA, start), b = std::min(selB, end);
        if (showSel && a < b) {
            const int x1 = PosToPoint(a).x, x2 = PosToPoint(b).x;
            c.Brush().SetStyle(bsSolid);
            c.Brush().SetColor(clHighlight);
            c.FillRect({x1, origin.y, x2, origin.y + lineHeight});
            c.Brush().SetStyle(bsClear);
            c.Font().SetColor(clHighlightText);
            c.TextOut(x1, origin.y, lineText.substr(size_t(a - start), size_t(b - a)));
        }
    }
    RestoreDC(dc, saved);
}

// ---- Keyboard and mouse ---------------------------------------------------------------------

LRESULT TCustomEdit::DialogCode() {
    LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
    if (multiline_ && wantReturns_) code |= DLGC_WANTALLKEYS;
    if (multiline_ && wantTabs_) code |= DLGC_WANTTAB;
    return code;
}

void TCustomEdit::HandleKeyDown(WORD key, TShiftState shift) {
    const bool extend = shift & ssShift, ctrl = shift & ssCtrl;
    const std::vector<int>& starts = LineStarts();
    const int line = multiline_ ? LineOf(caret_) : 0;
    switch (key) {
    case VK_LEFT:
        if (!extend && SelLength() > 0) MoveCaret(SelStart(), false);
        else MoveCaret(caret_ - (IsCrLf(text_, caret_ - 2) ? 2 : 1), extend);
        return;
    case VK_RIGHT:
        if (!extend && SelLength() > 0) MoveCaret(SelStart() + SelLength(), false);
        else MoveCaret(caret_ + (IsCrLf(text_, caret_) ? 2 : 1), extend);
        return;
    case VK_HOME: MoveCaret(ctrl ? 0 : starts[size_t(line)], extend); return;
    case VK_END: MoveCaret(ctrl ? int(text_.size()) : LineEnd(line, starts), extend); return;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT: {
        if (!multiline_) return;
        const int step = (key == VK_PRIOR || key == VK_NEXT) ? VisibleLines() : 1;
        const int target = std::clamp(line + ((key == VK_UP || key == VK_PRIOR) ? -step : step), 0,
                                      int(starts.size()) - 1);
        if (target == line) return;
        POINT p = PosToPoint(caret_);
        p.y += (target - line) * FontLineHeight(Font());
        const int x = p.x;
        if (target < topLine_) topLine_ = target;
        if (target >= topLine_ + VisibleLines()) topLine_ = target - VisibleLines() + 1;
        // Same x on the target line.
        int best = starts[size_t(target)], bestDistance = INT32_MAX;
        for (int pos = starts[size_t(target)]; pos <= LineEnd(target, starts); ++pos) {
            const int d = std::abs(PosToPoint(pos).x - x);
            if (d < bestDistance) {
                bestDistance = d;
                best = pos;
            }
        }
        MoveCaret(best, extend);
        return;
    }
    case VK_DELETE:
        if (extend) {
            CutToClipboard();
        } else if (!readOnly_) {
            if (SelLength() == 0) {
                if (caret_ >= int(text_.size())) return;
                caret_ += IsCrLf(text_, caret_) ? 2 : 1;
            }
            ReplaceSelection("", true, true);
        }
        return;
    case VK_INSERT:
        if (ctrl) CopyToClipboard();
        else if (extend) PasteFromClipboard();
        return;
    }
    if (ctrl && !extend) {
        switch (key) {
        case 'C': CopyToClipboard(); return;
        case 'X': CutToClipboard(); return;
        case 'V': PasteFromClipboard(); return;
        case 'Z': Undo(); return;
        }
    }
}

void TCustomEdit::HandleChar(WPARAM unit) {
    if (unit >= 0x80) {
        TypeUnit(char16_t(unit));
        return;
    }
    pendingLead_ = 0;
    const char c = char(unit);
    if (c == '\b') {
        if (readOnly_) return;
        if (SelLength() == 0) {
            if (caret_ == 0) return;
            anchor_ = caret_ - (IsCrLf(text_, caret_ - 2) ? 2 : 1);
        }
        ReplaceSelection("", true, true);
        return;
    }
    if (c == '\r' || c == '\n') {
        if (multiline_ && wantReturns_) ReplaceSelection("\r\n", true, true);
        return;
    }
    if (c == '\t') {
        if (multiline_ && wantTabs_) ReplaceSelection("\t", true, true);
        return;
    }
    if (uint8_t(c) < 32) return; // other control characters are commands, handled as keys
    ReplaceSelection(AnsiString(1, c), true, true);
}

// A character beyond ASCII comes as one UTF-16 unit, or two for a
// character beyond the first plane; the text holds it as UTF-8.
void TCustomEdit::TypeUnit(char16_t unit) {
    const bool lead = unit >= 0xD800 && unit <= 0xDBFF, trail = unit >= 0xDC00 && unit <= 0xDFFF;
    if (lead) {
        pendingLead_ = unit;
        return;
    }
    WideString character(1, unit);
    if (trail) {
        if (!pendingLead_) return; // half a character means nothing
        character.insert(character.begin(), pendingLead_);
    }
    pendingLead_ = 0;
    ReplaceSelection(WideToUtf8(character), true, true);
}

void TCustomEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbLeft) {
        if (!focused_ && CanFocus()) {
            const bool autoSelect = autoSelect_;
            autoSelect_ = false; // a click places the caret instead
            SetFocus();
            autoSelect_ = autoSelect;
        }
        MoveCaret(PointToPos({x, y}), shift & ssShift);
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomEdit::MouseMove(TShiftState shift, int x, int y) {
    if ((shift & ssLeft) && MouseCapture()) MoveCaret(PointToPos({x, y}), true);
    TCustomControl::MouseMove(shift, x, y);
}

// ---- Messages -------------------------------------------------------------------------------

void TCustomEdit::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CM_TEXTCHANGED:
        // Whoever set the text, the lines are worked out anew.
        TextChanged();
        break;
    case WM_SETFOCUS:
        TCustomControl::Dispatch(m);
        focused_ = true;
        if (HandleAllocated()) {
            CreateCaret(handle_, 1, FontLineHeight(Font()));
            UpdateCaret();
            ShowCaret(handle_);
        }
        if (autoSelect_ && !multiline_) SelectAll();
        Invalidate();
        return;
    case WM_KILLFOCUS:
        TCustomControl::Dispatch(m);
        focused_ = false;
        DestroyCaret();
        Invalidate();
        return;
    case WM_SIZE:
        TCustomControl::Dispatch(m);
        ScrollCaretIntoView();
        UpdateCaret();
        return;
    case CM_FONTCHANGED:
        TCustomControl::Dispatch(m);
        if (focused_ && HandleAllocated()) {
            CreateCaret(handle_, 1, FontLineHeight(Font()));
            ShowCaret(handle_);
        }
        UpdateCaret();
        return;
    }
    TCustomControl::Dispatch(m);
}

void TCustomEdit::DefaultHandler(TMessage& m) {
    switch (m.Msg) {
    // Answered from the text the object keeps, which an append does not
    // copy into the window each time.
    case WM_GETTEXTLENGTH: m.Result = LRESULT(text_.size()); return;
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char*>(m.LParam);
        if (!buffer || m.WParam == 0) {
            m.Result = 0;
            return;
        }
        const size_t n = std::min(text_.size(), size_t(m.WParam) - 1);
        std::memcpy(buffer, text_.data(), n);
        buffer[n] = '\0';
        m.Result = LRESULT(n);
        return;
    }
    case WM_KEYDOWN: HandleKeyDown(WORD(m.WParam), CurrentShiftState()); m.Result = 0; return;
    case WM_CHAR: HandleChar(m.WParam); m.Result = 0; return;
    case WM_COPY: CopyToClipboard(); return;
    case WM_CUT: CutToClipboard(); return;
    case WM_PASTE: PasteFromClipboard(); return;
    case WM_CLEAR: if (!readOnly_) ClearSelection(); return;
    case WM_UNDO:
    case EM_UNDO: m.Result = CanUndo(); Undo(); return;
    case EM_CANUNDO: m.Result = CanUndo(); return;
    case EM_EMPTYUNDOBUFFER: ClearUndo(); return;
    case EM_GETSEL: {
        const DWORD start = DWORD(SelStart()), end = DWORD(SelStart() + SelLength());
        if (m.WParam) *reinterpret_cast<DWORD*>(m.WParam) = start;
        if (m.LParam) *reinterpret_cast<DWORD*>(m.LParam) = end;
        m.Result = LRESULT(std::min<DWORD>(start, 0xFFFF) | (std::min<DWORD>(end, 0xFFFF) << 16));
        return;
    }
    case EM_SETSEL: {
        const int len = int(text_.size());
        const int start = int(intptr_t(m.WParam)), end = int(m.LParam);
        if (start < 0) {
            anchor_ = caret_; // -1 removes the selection
        } else {
            anchor_ = std::clamp(start, 0, len);
            caret_ = end < 0 ? len : std::clamp(end, 0, len);
        }
        Invalidate();
        ScrollCaretIntoView();
        UpdateCaret();
        return;
    }
    case EM_REPLACESEL:
        ReplaceSelection(m.LParam ? reinterpret_cast<const char*>(m.LParam) : "", m.WParam != 0, false);
        return;
    case EM_GETRECT:
        if (m.LParam) *reinterpret_cast<RECT*>(m.LParam) = FormatRect();
        return;
    case EM_SETRECT:
    case EM_SETRECTNP:
        if (m.LParam) formatRect_ = *reinterpret_cast<const RECT*>(m.LParam);
        else formatRect_.reset();
        if (m.Msg == EM_SETRECT) Invalidate();
        UpdateCaret();
        return;
    case EM_LIMITTEXT: maxLength_ = int(std::min<WPARAM>(m.WParam, kNoLimit)); return;
    case EM_GETLIMITTEXT: m.Result = maxLength_ > 0 ? maxLength_ : kNoLimit; return;
    case EM_SETREADONLY: SetReadOnly(m.WParam != 0); m.Result = 1; return;
    case EM_GETMODIFY: m.Result = modified_; return;
    case EM_SETMODIFY: modified_ = m.WParam != 0; return;
    case EM_SETPASSWORDCHAR: SetPasswordChar(char(m.WParam)); return;
    case EM_GETLINECOUNT: m.Result = LRESULT(LineStarts().size()); return;
    case EM_LINEINDEX: {
        const std::vector<int>& starts = LineStarts();
        const int line = intptr_t(m.WParam) < 0 ? LineOf(caret_) : int(m.WParam);
        m.Result = line < int(starts.size()) ? starts[size_t(line)] : -1;
        return;
    }
    case EM_LINELENGTH: {
        const std::vector<int>& starts = LineStarts();
        const int line = LineOf(std::clamp(int(m.WParam), 0, int(text_.size())));
        m.Result = LineEnd(line, starts) - starts[size_t(line)];
        return;
    }
    case EM_LINEFROMCHAR:
        m.Result = LineOf(intptr_t(m.WParam) < 0 ? caret_ : std::clamp(int(m.WParam), 0, int(text_.size())));
        return;
    case EM_GETFIRSTVISIBLELINE: m.Result = topLine_; return;
    case EM_LINESCROLL:
        if (multiline_) {
            const int lines = int(LineStarts().size());
            topLine_ = std::clamp(topLine_ + int(m.LParam), 0, std::max(0, lines - 1));
            Invalidate();
            UpdateCaret();
        }
        m.Result = multiline_;
        return;
    case EM_SCROLLCARET: ScrollCaretIntoView(); UpdateCaret(); m.Result = 1; return;
    case EM_POSFROMCHAR: {
        const POINT p = PosToPoint(std::clamp(int(m.WParam), 0, int(text_.size())));
        m.Result = MAKELPARAM(p.x, p.y);
        return;
    }
    case EM_CHARFROMPOS: {
        const int pos = PointToPos({GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
        m.Result = MAKELPARAM(pos, LineOf(pos));
        return;
    }
    case WM_MOUSEWHEEL:
        if (multiline_) {
            TMessage scroll{EM_LINESCROLL, 0, short(HIWORD(m.WParam)) > 0 ? -3 : 3, 0};
            DefaultHandler(scroll);
        }
        return;
    }
    TCustomControl::DefaultHandler(m);
}

// ---- Memo -----------------------------------------------------------------------------------

TCustomMemo::TCustomMemo(TComponent* owner) : TCustomEdit(owner) {
    multiline_ = true;
    TextChanged();
    SetBounds(0, 0, 185, 89);
}

void TCustomMemo::DefinePublished(TFiler& f) {
    TCustomEdit::DefinePublished(f);
    f.Enum("ScrollBars", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"}, [this] { return int(scrollBars_); },
           [this](int v) { SetScrollBars(TScrollStyle(v)); }, 0);
    f.Bool("WantReturns", [this] { return wantReturns_; }, [this](bool v) { wantReturns_ = v; }, true);
    f.Bool("WantTabs", [this] { return wantTabs_; }, [this](bool v) { wantTabs_ = v; }, false);
}

TStringList TCustomMemo::Lines() const {
    TStringList lines;
    const std::vector<int>& starts = LineStarts();
    for (size_t i = 0; i < starts.size(); ++i) {
        const int end = LineEnd(int(i), starts);
        // The empty line after a final line break is no line of its own.
        if (i + 1 == starts.size() && i > 0 && end == starts[i]) break;
        lines.Add(text_.substr(size_t(starts[i]), size_t(end - starts[i])));
    }
    return lines;
}

void TCustomMemo::SetLines(const TStringList& lines) {
    AnsiString text;
    for (int i = 0; i < lines.Count(); ++i) text += lines[i] + "\r\n";
    SetText(text);
}

void TCustomMemo::SetScrollBars(TScrollStyle style) {
    if (scrollBars_ == style) return;
    scrollBars_ = style;
    RecreateWnd();
}

} // namespace ax
