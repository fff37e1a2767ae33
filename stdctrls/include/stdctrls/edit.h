#pragma once
// Edit and memo: a one-line text editor, or several lines when ES_MULTILINE
// is in its style. The text and selection live in the object (a re-created
// window loses nothing) and the EM_ messages are answered from them.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "framework/controls.h"
#include "rtl/lists.h"
#include "stdctrls/common.h"

namespace ax {

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

// A text editor in a window: one line, or several when ES_MULTILINE is in
// its style (memo). Positions are byte offsets into the text; lines of a
// multi-line text end with CR LF.
class TCustomEdit : public TCustomControl {
public:
    explicit TCustomEdit(TComponent* owner);
    ~TCustomEdit() override;
    AnsiString ClassName() const override { return "TCustomEdit"; }
    void DefinePublished(TFiler& filer) override;

    void SetText(const AnsiString& text) override;
    // Adds text at the end: a long text given a piece at a time costs each
    // piece, not the whole text again. Selection, scroll and undo stay.
    void AppendText(const AnsiString& text);
    int SelStart() const { return std::min(anchor_, caret_); }
    void SetSelStart(int start);
    int SelLength() const { return std::abs(caret_ - anchor_); }
    void SetSelLength(int length);
    AnsiString SelText() const { return text_.substr(size_t(SelStart()), size_t(SelLength())); }
    void SetSelText(const AnsiString& text);
    // The caret position (the moving end of the selection).
    int CaretPos() const { return caret_; }
    void SelectAll();
    void Clear() { SetText(""); }
    void ClearSelection();
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    bool CanUndo() const { return undo_.has_value(); }
    void Undo();
    void ClearUndo() { undo_.reset(); }

    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool value) { autoSelect_ = value; }
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool value);
    TEditCharCase CharCase() const { return charCase_; }
    void SetCharCase(TEditCharCase value);
    bool OEMConvert() const { return oemConvert_; }
    void SetOEMConvert(bool value) { oemConvert_ = value; }
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char c);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);

    // The formatting rectangle the text is laid out in (client coordinates).
    RECT FormatRect() const;

    TNotifyEvent OnChange;

    void DefaultHandler(TMessage& message) override;
    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Paint() override;
    LRESULT DialogCode() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    virtual void Change();
    // Replaces the selection, as typing or pasting does; answers false when
    // nothing could be put in (read-only or full).
    bool ReplaceSelection(const AnsiString& text, bool canUndo, bool limit);
    void HandleKeyDown(WORD key, TShiftState shift);
    // A WM_CHAR unit: 7-bit characters and commands, or UTF-16 text.
    void HandleChar(WPARAM unit);
    void TypeUnit(char16_t unit);
    void MoveCaret(int pos, bool extend);
    bool Multiline() const { return multiline_; }

    // Memo behaviour, switched on by TCustomMemo.
    bool multiline_ = false;
    bool wantReturns_ = true;
    bool wantTabs_ = false;
    TScrollStyle scrollBars_ = ssNone;
    int topLine_ = 0;

    // Layout helpers. The line starts are worked out once per text: every
    // change of the text goes through TextChanged, which drops them.
    const std::vector<int>& LineStarts() const;
    void TextChanged();
    int LineOf(int pos) const;
    int LineEnd(int line, const std::vector<int>& starts) const;
    POINT PosToPoint(int pos);
    int PointToPos(POINT p);
    int TextWidthOf(const AnsiString& s);
    AnsiString DisplayText(const AnsiString& s) const;
    void UpdateCaret();
    void ScrollCaretIntoView();
    int VisibleLines();

private:
    struct UndoState {
        AnsiString text;
        int anchor, caret;
    };
    int anchor_ = 0, caret_ = 0;
    char16_t pendingLead_ = 0; // the first half of a character typed in two units
    int maxLength_ = 0;
    bool readOnly_ = false;
    bool modified_ = false;
    bool autoSelect_ = true;
    bool hideSelection_ = true;
    TEditCharCase charCase_ = ecNormal;
    bool oemConvert_ = false;
    char passwordChar_ = 0;
    TBorderStyle borderStyle_ = bsSingle;
    TAlignment alignment_ = taLeftJustify;
    std::optional<RECT> formatRect_;
    int scrollX_ = 0;
    bool focused_ = false;
    bool settingText_ = false;
    std::optional<UndoState> undo_;
    mutable std::optional<std::vector<int>> lineStarts_;
};

class TEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    AnsiString ClassName() const override { return "TEdit"; }
};

class TCustomMemo : public TCustomEdit {
public:
    explicit TCustomMemo(TComponent* owner);
    AnsiString ClassName() const override { return "TCustomMemo"; }
    void DefinePublished(TFiler& filer) override;
    // The text as lines (without their CR LF).
    TStringList Lines() const;
    void SetLines(const TStringList& lines);
    int LineCount() const { return int(LineStarts().size()); }
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle style);
    bool WantReturns() const { return wantReturns_; }
    void SetWantReturns(bool value) { wantReturns_ = value; }
    bool WantTabs() const { return wantTabs_; }
    void SetWantTabs(bool value) { wantTabs_ = value; }
    int TopLine() const { return topLine_; }
};

class TMemo : public TCustomMemo {
public:
    using TCustomMemo::TCustomMemo;
    AnsiString ClassName() const override { return "TMemo"; }
};

} // namespace ax
