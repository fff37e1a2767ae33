#pragma once
// The standard controls: edit and memo, list box, drop-down list combo box,
// push button, check box, radio button, label and scroll bar. Each keeps its
// state in the object (so a re-created window loses nothing), answers the
// platform's messages for its kind (EM_, LB_, CB_, BM_) and draws itself
// through the drawing layer.
#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/forms.h"
#include "rtl/lists.h"
#include "stdctrls/messages.h"

namespace ax {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

enum TOwnerDrawStateFlag : unsigned {
    odSelected = 1, odGrayed = 2, odDisabled = 4, odChecked = 8, odFocused = 16, odDefault = 32,
    odComboBoxEdit = 0x1000
};
using TOwnerDrawState = unsigned;

using TDrawItemEvent = std::function<void(TObject* Sender, int Index, RECT Rect, TOwnerDrawState State)>;
using TMeasureItemEvent = std::function<void(TObject* Sender, int Index, int& Height)>;
using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

// Draws a 3-D frame of the given width inside rect (top and left in
// topColor, bottom and right in bottomColor) and shrinks rect past it.
void Frame3D(TCanvas& canvas, RECT& rect, TColor topColor, TColor bottomColor, int width);
// The height of one line of the font (the test font gives 13).
int FontLineHeight(TFont& font);

// ---- Edit and memo --------------------------------------------------------------------------

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
    void HandleChar(char c);
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

// ---- List box -------------------------------------------------------------------------------

class TCustomListBox;

// The strings of a list box, kept by the list itself and reached through
// its LB_ messages, so a descendant that answers those messages its own way
// sees every change.
class TListBoxStrings {
public:
    explicit TListBoxStrings(TCustomListBox& list) : list_(list) {}
    virtual ~TListBoxStrings() = default;
    int Count() const;
    AnsiString Strings(int index) const;
    AnsiString operator[](int index) const { return Strings(index); }
    void PutString(int index, const AnsiString& s);
    TObject* Objects(int index) const;
    void PutObject(int index, TObject* object);
    int Add(const AnsiString& s) { return AddObject(s, nullptr); }
    int AddObject(const AnsiString& s, TObject* object);
    void Insert(int index, const AnsiString& s) { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const AnsiString& s, TObject* object);
    void Delete(int index);
    void Clear();
    int IndexOf(const AnsiString& s) const;
    void Assign(const TStringList& source);
    TStringList ToStringList() const;
    void BeginUpdate();
    void EndUpdate();

private:
    TCustomListBox& list_;
    int updateCount_ = 0;
};

inline constexpr const char* SInsertLineError = "Unable to insert a line";

class TCustomListBox : public TCustomControl {
public:
    explicit TCustomListBox(TComponent* owner);
    ~TCustomListBox() override;
    AnsiString ClassName() const override { return "TCustomListBox"; }
    void DefinePublished(TFiler& filer) override;

    TListBoxStrings& Items() { return *items_; }
    int ItemIndex();
    void SetItemIndex(int index);
    int Count() { return int(Perform(LB_GETCOUNT)); }
    bool Selected(int index);
    void SetSelected(int index, bool value);
    int SelCount() { return int(Perform(LB_GETSELCOUNT)); }
    int TopIndex() { return int(Perform(LB_GETTOPINDEX)); }
    void SetTopIndex(int index) { Perform(LB_SETTOPINDEX, WPARAM(index)); }
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);
    RECT ItemRect(int index);
    int ItemAtPos(POINT p, bool existing);
    void Clear() { items_->Clear(); }

    TListBoxStyle Style() const { return style_; }
    void SetStyle(TListBoxStyle style);
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool value);
    bool ExtendedSelect() const { return extendedSelect_; }
    void SetExtendedSelect(bool value);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);
    bool IntegralHeight() const { return integralHeight_; }
    void SetIntegralHeight(bool value);
    int TabWidth() const { return tabWidth_; }
    void SetTabWidth(int width);
    int Columns() const { return columns_; }
    void SetColumns(int columns);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);

    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;

    void DefaultHandler(TMessage& message) override;
    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Paint() override;
    LRESULT DialogCode() override { return DLGC_WANTARROWS | DLGC_WANTCHARS; }
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void DblClick() override;
    virtual void DrawItem(int index, RECT rect, TOwnerDrawState state);
    virtual void MeasureItem(int index, int& height);
    // A selection made by the user.
    virtual void SelectionChanged();
    void CNDrawItem(TMessage& m);
    void CNMeasureItem(TMessage& m);
    // The LB_ style bits in force (the window's, or those it would get).
    DWORD ListStyle();

private:
    struct Item {
        AnsiString text;
        LPARAM data = 0;
        bool selected = false;
        int height = 0;
    };
    int InsertItem(int index, const AnsiString& text);
    void Measure(int index);
    int ItemTop(int index) const;
    void SelectRange(int from, int to, bool value);
    void ClickItem(int index, TShiftState shift, bool keyboard);
    void SetCaret(int index, bool scroll);
    void HandleKey(WORD key, TShiftState shift);
    void Notify(WORD code);
    void SendDrawItem(HDC dc, int index, RECT rect);
    int PageCount() const;
    // Multi-column lists (LBS_MULTICOLUMN): items run down a column of
    // whole rows, then on in the next column to the right.
    bool MultiColumn();
    int RowsPerColumn();
    int ColumnWidth();
    RECT MultiColumnItemRect(int index);
    // The first item of the column holding index.
    int ColumnStart(int index);
    void SetColumnWidthFromColumns();
    // The default handling of the LB_ messages, a group each; false: not one
    // of the group's. style: the list's LB_ style bits.
    bool ItemMessage(TMessage& m, DWORD style);
    bool SelectionMessage(TMessage& m, DWORD style);
    bool SearchMessage(TMessage& m, DWORD style);
    bool LayoutMessage(TMessage& m, DWORD style);

    std::unique_ptr<TListBoxStrings> items_;
    std::vector<Item> list_;
    int cur_ = -1;    // single selection
    int caret_ = 0;   // focus item of multi-selection lists
    int anchor_ = 0;
    int top_ = 0;
    int itemHeight_ = 16;
    int horzExtent_ = 0;
    int columnWidth_ = 0;
    std::vector<int> tabStops_;
    TListBoxStyle style_ = lbStandard;
    bool multiSelect_ = false;
    bool extendedSelect_ = true;
    bool sorted_ = false;
    bool integralHeight_ = false;
    int tabWidth_ = 0;
    int columns_ = 0;
    TBorderStyle borderStyle_ = bsSingle;
    bool redraw_ = true;
    bool focused_ = false;
    bool tracking_ = false;
};

class TListBox : public TCustomListBox {
public:
    using TCustomListBox::TCustomListBox;
    AnsiString ClassName() const override { return "TListBox"; }
};

// ---- Combo box ------------------------------------------------------------------------------

// A drop-down list: the selected item shown in a box with an arrow; the
// list drops down in a pop-up window of its own.
class TCustomComboBox : public TCustomControl {
public:
    explicit TCustomComboBox(TComponent* owner);
    ~TCustomComboBox() override;
    AnsiString ClassName() const override { return "TCustomComboBox"; }
    void DefinePublished(TFiler& filer) override;

    TStringList& Items() { return items_; }
    int ItemIndex() const { return index_; }
    void SetItemIndex(int index);
    AnsiString Text() const override;
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle style) { style_ = style; }
    int DropDownCount() const { return dropDownCount_; }
    void SetDropDownCount(int count) { dropDownCount_ = std::max(1, count); }
    bool DroppedDown() const { return dropWindow_ != nullptr; }
    void SetDroppedDown(bool value);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height) { itemHeight_ = std::max(1, height); }
    // The pop-up list window while dropped down.
    HWND DropDownWindow() const { return dropWindow_; }

    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;

    void DefaultHandler(TMessage& message) override;
    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    LRESULT DialogCode() override { return DLGC_WANTARROWS | DLGC_WANTCHARS; }
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void DestroyWnd() override;
    virtual void Change();
    virtual void Select();

private:
    void SelectByUser(int index);
    LRESULT DropProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    TStringList items_;
    int index_ = -1;
    int hot_ = -1;
    TComboBoxStyle style_ = csDropDownList;
    int dropDownCount_ = 8;
    int itemHeight_ = 13;
    bool focused_ = false;
    HWND dropWindow_ = nullptr;
    bool openingPress_ = false; // the press that opened the list is still held
};

class TComboBox : public TCustomComboBox {
public:
    using TCustomComboBox::TCustomComboBox;
    AnsiString ClassName() const override { return "TComboBox"; }
};

// ---- Buttons --------------------------------------------------------------------------------

class TButtonControl : public TCustomControl {
public:
    explicit TButtonControl(TComponent* owner);
    AnsiString ClassName() const override { return "TButtonControl"; }
    virtual bool Checked() const { return false; }
    virtual void SetChecked(bool) {}
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);

protected:
    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;
    // Draws the caption (with its "&" accelerator) into rect.
    void DrawCaption(TCanvas& canvas, RECT rect, UINT flags);
    bool focused_ = false;
    bool pushed_ = false; // drawn pressed (mouse held inside, or space held)
    bool wordWrap_ = false;
    bool spaceDown_ = false;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
};

class TButton : public TButtonControl {
public:
    explicit TButton(TComponent* owner);
    AnsiString ClassName() const override { return "TButton"; }
    void DefinePublished(TFiler& filer) override;
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult result) { modalResult_ = result; }
    // Sets the parent form's ModalResult to this button's, then OnClick.
    void Click() override;

protected:
    void Dispatch(TMessage& message) override;
    void Paint() override;
    LRESULT DialogCode() override;
    // Whether Enter presses this button now: it has the focus, or it is the
    // default button and the focus is on no other button.
    bool Active() const;
    // Draws the face (frame, pressed state); answers the content rectangle.
    RECT DrawFace(TCanvas& canvas);
    bool default_ = false;
    bool cancel_ = false;
    TModalResult modalResult_ = mrNone;
};

class TCustomCheckBox : public TButtonControl {
public:
    explicit TCustomCheckBox(TComponent* owner);
    AnsiString ClassName() const override { return "TCustomCheckBox"; }
    void DefinePublished(TFiler& filer) override;
    bool Checked() const override { return state_ == cbChecked; }
    void SetChecked(bool value) override { SetState(value ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const { return state_; }
    void SetState(TCheckBoxState state);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool value) { allowGrayed_ = value; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    // Moves to the next state, as a click does.
    virtual void Toggle();

protected:
    void Click() override;
    void Dispatch(TMessage& message) override;
    void Paint() override;
    LRESULT DialogCode() override { return DLGC_BUTTON; }
    TCheckBoxState state_ = cbUnchecked;
    bool allowGrayed_ = false;
    TAlignment alignment_ = taRightJustify;
};

class TCheckBox : public TCustomCheckBox {
public:
    using TCustomCheckBox::TCustomCheckBox;
    AnsiString ClassName() const override { return "TCheckBox"; }
};

// Radio buttons with the same parent form one group: checking one unchecks
// the others.
class TRadioButton : public TButtonControl {
public:
    explicit TRadioButton(TComponent* owner);
    AnsiString ClassName() const override { return "TRadioButton"; }
    void DefinePublished(TFiler& filer) override;
    bool Checked() const override { return checked_; }
    void SetChecked(bool value) override;
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);

protected:
    void Click() override;
    void Dispatch(TMessage& message) override;
    void Paint() override;
    LRESULT DialogCode() override { return DLGC_BUTTON | DLGC_RADIOBUTTON; }
    bool checked_ = false;
    TAlignment alignment_ = taRightJustify;
};

// ---- Label ----------------------------------------------------------------------------------

class TCustomLabel : public TGraphicControl {
public:
    explicit TCustomLabel(TComponent* owner);
    ~TCustomLabel() override;
    AnsiString ClassName() const override { return "TCustomLabel"; }
    void DefinePublished(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;
    void SetText(const AnsiString& text) override;

    bool AutoSize() const { return autoSize_; }
    virtual void SetAutoSize(bool value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout value);
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* control);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool value);
    bool Transparent() const { return !opaque_; }
    void SetTransparent(bool value);
    // Sets the bounds to the text when AutoSize is on.
    virtual void AdjustBounds();

protected:
    void Dispatch(TMessage& message) override;
    void Paint() override;
    void Loaded() override;
    // Draws (or with DT_CALCRECT measures) the caption into rect.
    virtual void DoDrawText(TCanvas& canvas, RECT& rect, UINT flags);
    UINT DrawFlags() const;
    bool autoSize_ = true;
    bool wordWrap_ = false;
    TAlignment alignment_ = taLeftJustify;
    TTextLayout layout_ = tlTop;
    TWinControl* focusControl_ = nullptr;
    bool showAccelChar_ = true;
};

class TLabel : public TCustomLabel {
public:
    using TCustomLabel::TCustomLabel;
    AnsiString ClassName() const override { return "TLabel"; }
};

// ---- Scroll bar -----------------------------------------------------------------------------

class TScrollBar : public TCustomControl {
public:
    explicit TScrollBar(TComponent* owner);
    AnsiString ClassName() const override { return "TScrollBar"; }
    void DefinePublished(TFiler& filer) override;
    TScrollBarKind Kind() const { return kind_; }
    void SetKind(TScrollBarKind kind);
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetMin(int v) { SetParams(position_, v, max_); }
    void SetMax(int v) { SetParams(position_, min_, v); }
    void SetPosition(int v) { SetParams(v, min_, max_); }
    void SetParams(int position, int min, int max);
    int PageSize() const { return pageSize_; }
    void SetPageSize(int v);
    int SmallChange() const { return smallChange_; }
    void SetSmallChange(int v) { smallChange_ = v; }
    int LargeChange() const { return largeChange_; }
    void SetLargeChange(int v) { largeChange_ = v; }

    TNotifyEvent OnChange;
    TScrollEvent OnScroll;

    // The parts, in client coordinates.
    RECT ArrowRect(bool first);
    RECT ThumbRect();

protected:
    void Paint() override;
    void Dispatch(TMessage& message) override;
    LRESULT DialogCode() override { return DLGC_WANTARROWS; }
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    virtual void Change();
    virtual void Scroll(TScrollCode code, int& pos);

private:
    void DoScroll(TScrollCode code);
    int TrackLength();
    TScrollBarKind kind_ = sbHorizontal;
    int min_ = 0, max_ = 100, position_ = 0, pageSize_ = 0;
    int smallChange_ = 1, largeChange_ = 1;
    int pressed_ = -1; // 0 first arrow, 1 second arrow, 2 page before, 3 page after, 4 thumb
    int dragOffset_ = 0;
};

} // namespace ax
