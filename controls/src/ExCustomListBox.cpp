// The owner-draw list box base: its strings object, which reaches every item
// through LB_ messages and the overridable record operations, and the list's
// horizontal extent, item widths and unfocused selection colour.
#include "controls/ExCustomListBox.h"

#include <cmath>

#include "framework/streaming.h"
#include "rtl/scopeguard.h"

namespace ax {

namespace {
[[noreturn]] void IndexError(int index) { throw EStringListError(Format(SListIndexError, index)); }
} // namespace

// ---- TExListBoxStrings ----------------------------------------------------------------------

int TExListBoxStrings::Count() const { return int(list_.Perform(LB_GETCOUNT)); }

AnsiString TExListBoxStrings::Strings(int index) const {
    const LRESULT len = list_.Perform(LB_GETTEXTLEN, WPARAM(index));
    if (len == LB_ERR) IndexError(index);
    std::string buffer(size_t(len) + 1, '\0');
    list_.Perform(LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(size_t(len));
    return buffer;
}

void TExListBoxStrings::PutString(int index, const AnsiString& s) {
    TObject* object = Objects(index);
    const uint32_t extra = list_.SaveItemExtra(index);
    const int selected = list_.ItemIndex();
    Delete(index);
    InsertObject(index, s, object);
    list_.RestoreItemExtra(index, extra);
    if (selected == index) list_.SetItemIndex(index);
}

TObject* TExListBoxStrings::Objects(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return reinterpret_cast<TObject*>(list_.GetItemData(index));
}

void TExListBoxStrings::PutObject(int index, TObject* object) {
    if (index < 0 || index >= Count()) IndexError(index);
    list_.SetItemData(index, reinterpret_cast<intptr_t>(object));
}

int TExListBoxStrings::AddObject(const AnsiString& s, TObject* object) {
    const LRESULT index = list_.Perform(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
    if (index < 0) throw EOutOfResources(SInsertLineError);
    if (object) list_.SetItemData(int(index), reinterpret_cast<intptr_t>(object));
    list_.ItemAdded(int(index));
    return int(index);
}

void TExListBoxStrings::InsertObject(int index, const AnsiString& s, TObject* object) {
    const LRESULT at = list_.Perform(LB_INSERTSTRING, WPARAM(index), reinterpret_cast<LPARAM>(s.c_str()));
    if (at < 0) throw EOutOfResources(SInsertLineError);
    if (object) list_.SetItemData(int(at), reinterpret_cast<intptr_t>(object));
    list_.ItemAdded(int(at));
}

void TExListBoxStrings::Delete(int index) {
    if (index < 0 || index >= Count()) IndexError(index);
    const int width = list_.AutoScroll() ? list_.GetItemWidth(index) : 0;
    list_.DeleteString(index);
    list_.ItemDeleted(width);
}

void TExListBoxStrings::Clear() {
    list_.ResetContent();
    list_.ListCleared();
}

void TExListBoxStrings::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    if (newIndex < 0 || newIndex >= Count()) IndexError(newIndex);
    const AnsiString text = Strings(curIndex);
    TObject* object = Objects(curIndex);
    const uint32_t extra = list_.SaveItemExtra(curIndex);
    BeginUpdate();
    Delete(curIndex);
    InsertObject(newIndex, text, object);
    list_.RestoreItemExtra(newIndex, extra);
    EndUpdate();
}

void TExListBoxStrings::Exchange(int index1, int index2) {
    if (index1 == index2) return;
    if (index1 > index2) std::swap(index1, index2);
    BeginUpdate();
    Move(index2, index1);
    Move(index1 + 1, index2);
    EndUpdate();
}

int TExListBoxStrings::IndexOf(const AnsiString& s) const {
    return int(list_.Perform(LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(s.c_str())));
}

void TExListBoxStrings::BeginUpdate() {
    if (updateCount_++ == 0) list_.Perform(WM_SETREDRAW, FALSE);
}

void TExListBoxStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) {
        list_.Perform(WM_SETREDRAW, TRUE);
        list_.Invalidate();
    }
}

void TExListBoxStrings::Assign(const TStringList& source) {
    BeginUpdate();
    Clear();
    for (int i = 0; i < source.Count(); ++i) AddObject(source[i], source.Objects(i));
    EndUpdate();
}

void TExListBoxStrings::Assign(const TExListBoxStrings& source) {
    if (&source == this) return;
    Assign(source.ToStringList());
}

TStringList TExListBoxStrings::ToStringList() const {
    TStringList out;
    for (int i = 0; i < Count(); ++i) out.AddObject(Strings(i), Objects(i));
    return out;
}

// ---- TExCustomListBox -----------------------------------------------------------------------

TExCustomListBox::TExCustomListBox(TComponent* owner)
    : TCustomListBox(owner), exItems_(std::make_unique<TExListBoxStrings>(*this)) {}

TExCustomListBox::~TExCustomListBox() = default;

void TExCustomListBox::DefinePublished(TFiler& f) {
    TCustomListBox::DefinePublished(f);
    f.Bool("AutoScroll", [this] { return autoScroll_; }, [this](bool v) { SetAutoScroll(v); }, true);
    f.Bool("GraySelection", [this] { return graySelection_; }, [this](bool v) { SetGraySelection(v); }, false);
}

int TExCustomListBox::ItemHeight() {
    if (HandleAllocated() && Style() == lbStandard && Count() > 0) return ItemRect(0).height();
    return TCustomListBox::ItemHeight();
}

void TExCustomListBox::SetAutoScroll(bool value) {
    const bool before = AutoScroll();
    autoScroll_ = value;
    if (AutoScroll() != before) HandlersChanged(true, true);
}

void TExCustomListBox::SetGraySelection(bool value) {
    if (graySelection_ == value) return;
    graySelection_ = value;
    if (!Focused()) Invalidate();
}

void TExCustomListBox::SetOnDrawItem(TDrawItemEvent handler) {
    const bool changed = bool(OnDrawItem) != bool(handler);
    OnDrawItem = std::move(handler);
    if (changed) HandlersChanged(true, false);
}

void TExCustomListBox::SetOnGetItemWidth(TGetItemWidthEvent handler) {
    const bool changed = bool(onGetItemWidth_) != bool(handler);
    onGetItemWidth_ = std::move(handler);
    if (changed) HandlersChanged(false, true);
}

void TExCustomListBox::HandlersChanged(bool, bool) {
    Perform(WM_HSCROLL, SB_TOP, 0);
    if (!HandleAllocated()) return;
    if (AutoScroll()) {
        ResetHorizontalExtent();
    } else {
        maxItemWidth_ = 0;
        SetHorizontalExtent();
    }
}

intptr_t TExCustomListBox::GetItemData(int index) {
    if (index < 0 || index >= Count()) IndexError(index);
    return intptr_t(Perform(LB_GETITEMDATA, WPARAM(index)));
}

void TExCustomListBox::SetItemData(int index, intptr_t data) {
    if (Perform(LB_SETITEMDATA, WPARAM(index), LPARAM(data)) == LB_ERR) IndexError(index);
}

void TExCustomListBox::DeleteString(int index) { Perform(LB_DELETESTRING, WPARAM(index)); }

void TExCustomListBox::ResetContent() { Perform(LB_RESETCONTENT); }

int TExCustomListBox::TextWidthOf(const AnsiString& text) {
    if (!measure_) {
        measure_ = std::make_unique<TBitmap>();
        measure_->SetSize(1, 1);
    }
    TCanvas& c = measure_->Canvas();
    c.Font().Assign(&Font());
    if (TabWidth() >= 1) {
        const int stop = TabStopPixels();
        const HDC dc = c.Handle();
        c.TextWidth(""); // selects the font
        return int(LOWORD(GetTabbedTextExtent(dc, text, 1, &stop)));
    }
    return c.TextWidth(text);
}

int TExCustomListBox::TabStopPixels() {
    if (!measure_) TextWidthOf("");
    measure_->Canvas().Font().Assign(&Font());
    return int(std::lround(measure_->Canvas().TextWidth("0") * TabWidth() / 4.0));
}

int TExCustomListBox::GetItemWidth(int index) {
    if (Style() != lbStandard && onGetItemWidth_ && OnDrawItem) {
        int width = 0;
        onGetItemWidth_(this, index, width);
        return width;
    }
    return TextWidthOf(exItems_->Strings(index) + "x");
}

void TExCustomListBox::ItemAdded(int index) {
    if (!AutoScroll()) return;
    const int width = GetItemWidth(index);
    if (width > maxItemWidth_) {
        maxItemWidth_ = width;
        SetHorizontalExtent();
    }
}

void TExCustomListBox::ItemDeleted(int width) {
    if (!AutoScroll() || width < maxItemWidth_) return;
    // The widest item went: measure again.
    Perform(WM_HSCROLL, SB_TOP, 0);
    ResetHorizontalExtent();
}

void TExCustomListBox::ListCleared() {
    maxItemWidth_ = 0;
    SetHorizontalExtent();
    Perform(WM_HSCROLL, SB_TOP, 0);
}

void TExCustomListBox::ResetHorizontalExtent() {
    maxItemWidth_ = 0;
    if (AutoScroll())
        for (int i = 0; i < Count(); ++i) maxItemWidth_ = std::max(maxItemWidth_, GetItemWidth(i));
    SetHorizontalExtent();
}

void TExCustomListBox::SetHorizontalExtent() {
    if (HandleAllocated()) Perform(LB_SETHORIZONTALEXTENT, WPARAM(maxItemWidth_));
}

void TExCustomListBox::CreateParams(TCreateParams& params) {
    TCustomListBox::CreateParams(params);
    params.WindowClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TExCustomListBox::CreateWnd() {
    TCustomListBox::CreateWnd();
    ResetHorizontalExtent();
}

void TExCustomListBox::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CN_DRAWITEM:
        DrawListItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam));
        m.Result = 1;
        return;
    case CM_FONTCHANGED:
        TCustomListBox::Dispatch(m);
        ResetHorizontalExtent();
        return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        TCustomListBox::Dispatch(m);
        if (MultiSelect() && graySelection_ && SelCount() > 1) Invalidate();
        return;
    }
    TCustomListBox::Dispatch(m);
}

void TExCustomListBox::DrawListItem(const DRAWITEMSTRUCT& dis) {
    TCanvas& c = Canvas();
    const bool ownHandle = c.HandleAllocated() && c.Handle().value == dis.hDC.value;
    if (!ownHandle) {
        c.Lock();
        c.SetHandle(dis.hDC);
    }
    ScopeGuard restore([&c, ownHandle] {
        if (ownHandle) return;
        c.SetHandle({});
        c.Unlock();
    });
    const TOwnerDrawState state = dis.itemState;
    c.Font().Assign(&Font());
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Color());
    if (state & odSelected) {
        if (graySelection_ && !HasState(csDesigning) && !Focused()) {
            c.Brush().SetColor(clBtnFace);
            if (c.Font().Color() == clBtnFace) c.Font().SetColor(clBtnText);
        } else {
            c.Brush().SetColor(clHighlight);
            c.Font().SetColor(clHighlightText);
        }
    }
    const int index = int(dis.itemID);
    if (index >= 0 && index < Count()) DrawItem(index, dis.rcItem, state);
    else c.FillRect(dis.rcItem);
    if (state & odFocused) c.DrawFocusRect(dis.rcItem);
}

void TExCustomListBox::DrawItem(int index, RECT rect, TOwnerDrawState state) {
    if (OnDrawItem) {
        OnDrawItem(this, index, rect, state);
        return;
    }
    TCanvas& c = Canvas();
    c.FillRect(rect);
    const AnsiString text = exItems_->Strings(index);
    const int x = rect.left + 2;
    const int y = std::max<int>(rect.top, (rect.top + rect.bottom - c.TextHeight("Wy")) / 2);
    c.Brush().SetStyle(bsClear);
    if (TabWidth() > 0) {
        const int stop = TabStopPixels();
        c.TextOut(x, y, ""); // selects the font and its colour
        TabbedTextOut(c.Handle(), x, y, text, 1, &stop, x);
    } else {
        c.TextOut(x, y, text);
    }
    c.Brush().SetStyle(bsSolid);
}

} // namespace ax
