#pragma once
// The list box: items, selection and scrolling kept in the object and
// reached through the LB_ messages, so a descendant that answers them its
// own way sees every change; owner-drawn lists let the parent measure and
// draw their items.
#include <functional>
#include <memory>
#include <vector>

#include "framework/controls.h"
#include "rtl/lists.h"
#include "stdctrls/messages.h"

namespace ax {

enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };

enum TOwnerDrawStateFlag : unsigned {
    odSelected = 1, odGrayed = 2, odDisabled = 4, odChecked = 8, odFocused = 16, odDefault = 32,
    odComboBoxEdit = 0x1000
};
using TOwnerDrawState = unsigned;

using TDrawItemEvent = std::function<void(TObject* Sender, int Index, RECT Rect, TOwnerDrawState State)>;
using TMeasureItemEvent = std::function<void(TObject* Sender, int Index, int& Height)>;

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
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void DoEndDrag(TObject* target, int x, int y) override;
    void DoEndDock(TObject* target, int x, int y) override;
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
    // A press on a selected item that may become a drag: the click it
    // would have been, applied on a release that dragged nothing.
    int deferredClick_ = -1;
    TShiftState deferredShift_ = 0;
};

class TListBox : public TCustomListBox {
public:
    using TCustomListBox::TCustomListBox;
    AnsiString ClassName() const override { return "TListBox"; }
};

} // namespace ax
