// List box: items, selection and scrolling kept in the control and reached
// through the LB_ messages; owner-drawn lists ask their parent to measure
// and draw items (WM_MEASUREITEM, WM_DRAWITEM), drawing themselves when the
// parent leaves the message alone.
#include <algorithm>
#include <cstring>
#include <utility>

#include "framework/streaming.h"
#include "stdctrls/common.h"
#include "stdctrls/listbox.h"
#include "stdctrls/messages.h"
#include "stdctrls_internal.h"

namespace ax {

namespace {
int CompareText(const AnsiString& a, const AnsiString& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(uint8_t(a[i])), cb = std::tolower(uint8_t(b[i]));
        if (ca != cb) return ca - cb;
    }
    return int(a.size()) - int(b.size());
}
AnsiString FormatIndexError(int index) {
    AnsiString text = SListIndexError;
    text.replace(text.find("%d"), 2, std::to_string(index));
    return text;
}
} // namespace

// ---- Strings --------------------------------------------------------------------------------

int TListBoxStrings::Count() const { return int(list_.Perform(LB_GETCOUNT)); }

AnsiString TListBoxStrings::Strings(int index) const {
    const LRESULT len = list_.Perform(LB_GETTEXTLEN, WPARAM(index));
    if (len == LB_ERR) throw EStringListError(FormatIndexError(index));
    std::string buffer(size_t(len) + 1, '\0');
    list_.Perform(LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(size_t(len));
    return buffer;
}

void TListBoxStrings::PutString(int index, const AnsiString& s) {
    TObject* object = Objects(index);
    const int selected = list_.ItemIndex();
    Delete(index);
    InsertObject(index, s, object);
    if (selected == index) list_.SetItemIndex(index);
}

TObject* TListBoxStrings::Objects(int index) const {
    const LRESULT data = list_.Perform(LB_GETITEMDATA, WPARAM(index));
    if (data == LB_ERR && (index < 0 || index >= Count())) throw EStringListError(FormatIndexError(index));
    return reinterpret_cast<TObject*>(data);
}

void TListBoxStrings::PutObject(int index, TObject* object) {
    if (list_.Perform(LB_SETITEMDATA, WPARAM(index), reinterpret_cast<LPARAM>(object)) == LB_ERR)
        throw EStringListError(FormatIndexError(index));
}

int TListBoxStrings::AddObject(const AnsiString& s, TObject* object) {
    const LRESULT index = list_.Perform(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
    if (index < 0) throw EOutOfMemory(SInsertLineError);
    if (object) PutObject(int(index), object);
    return int(index);
}

void TListBoxStrings::InsertObject(int index, const AnsiString& s, TObject* object) {
    const LRESULT at = list_.Perform(LB_INSERTSTRING, WPARAM(index), reinterpret_cast<LPARAM>(s.c_str()));
    if (at < 0) throw EOutOfMemory(SInsertLineError);
    if (object) PutObject(int(at), object);
}

void TListBoxStrings::Delete(int index) {
    if (list_.Perform(LB_DELETESTRING, WPARAM(index)) == LB_ERR) throw EStringListError(FormatIndexError(index));
}

void TListBoxStrings::Clear() { list_.Perform(LB_RESETCONTENT); }

int TListBoxStrings::IndexOf(const AnsiString& s) const {
    return int(list_.Perform(LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(s.c_str())));
}

void TListBoxStrings::Assign(const TStringList& source) {
    BeginUpdate();
    Clear();
    for (int i = 0; i < source.Count(); ++i) AddObject(source[i], source.Objects(i));
    EndUpdate();
}

TStringList TListBoxStrings::ToStringList() const {
    TStringList out;
    for (int i = 0; i < Count(); ++i) out.AddObject(Strings(i), Objects(i));
    return out;
}

void TListBoxStrings::BeginUpdate() {
    if (updateCount_++ == 0) list_.Perform(WM_SETREDRAW, FALSE);
}

void TListBoxStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) {
        list_.Perform(WM_SETREDRAW, TRUE);
        list_.Invalidate();
    }
}

// ---- List box -------------------------------------------------------------------------------

TCustomListBox::TCustomListBox(TComponent* owner)
    : TCustomControl(owner), items_(std::make_unique<TListBoxStrings>(*this)) {
    SetBounds(0, 0, 121, 97);
    tabStop_ = true;
    color_ = clWindow;
    clicksDisabled_ = true; // OnClick follows selection changes, not bare clicks
}

TCustomListBox::~TCustomListBox() = default;

void TCustomListBox::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.Enum("Style", {"lbStandard", "lbOwnerDrawFixed", "lbOwnerDrawVariable"}, [this] { return int(style_); },
           [this](int v) { SetStyle(TListBoxStyle(v)); }, 0);
    f.Integer("ItemHeight", [this] { return itemHeight_; }, [this](int64_t v) { SetItemHeight(int(v)); }, 16);
    f.Bool("MultiSelect", [this] { return multiSelect_; }, [this](bool v) { SetMultiSelect(v); }, false);
    f.Bool("ExtendedSelect", [this] { return extendedSelect_; }, [this](bool v) { SetExtendedSelect(v); }, true);
    f.Bool("Sorted", [this] { return sorted_; }, [this](bool v) { SetSorted(v); }, false);
    f.Bool("IntegralHeight", [this] { return integralHeight_; }, [this](bool v) { SetIntegralHeight(v); }, false);
    f.Integer("TabWidth", [this] { return tabWidth_; }, [this](int64_t v) { SetTabWidth(int(v)); }, 0);
    f.Integer("Columns", [this] { return columns_; }, [this](int64_t v) { SetColumns(int(v)); }, 0);
}

void TCustomListBox::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    static constexpr DWORD styles[] = {0, LBS_OWNERDRAWFIXED, LBS_OWNERDRAWVARIABLE};
    p.Style |= LBS_NOTIFY | LBS_HASSTRINGS | styles[style_];
    if (sorted_) p.Style |= LBS_SORT;
    if (multiSelect_) p.Style |= extendedSelect_ ? LBS_EXTENDEDSEL : LBS_MULTIPLESEL;
    if (!integralHeight_) p.Style |= LBS_NOINTEGRALHEIGHT;
    if (columns_) p.Style |= LBS_MULTICOLUMN;
    if (tabWidth_) p.Style |= LBS_USETABSTOPS;
    if (borderStyle_ == bsSingle) {
        if (ctl3D_) p.ExStyle |= WS_EX_CLIENTEDGE;
        else p.Style |= WS_BORDER;
    }
    p.Background = COLOR_WINDOW;
}

DWORD TCustomListBox::ListStyle() {
    if (HandleAllocated()) return DWORD(GetWindowLongPtr(handle_, GWL_STYLE));
    TCreateParams p;
    CreateParams(p);
    return p.Style;
}

void TCustomListBox::CreateWnd() {
    TCustomControl::CreateWnd();
    const DWORD style = ListStyle();
    if (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) {
        // The parent decides the item height once for fixed lists, per item
        // for variable ones.
        if (style & LBS_OWNERDRAWFIXED) Measure(-1);
        else
            for (int i = 0; i < int(list_.size()); ++i) Measure(i);
    }
    if (tabWidth_) Perform(LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tabWidth_));
    SetColumnWidthFromColumns();
}

// ---- Multi-column layout --------------------------------------------------------------------

bool TCustomListBox::MultiColumn() { return ListStyle() & LBS_MULTICOLUMN; }

int TCustomListBox::RowsPerColumn() {
    const int h = std::max(1, int(Perform(LB_GETITEMHEIGHT, 0)));
    return std::max(1, ClientHeight() / h);
}

int TCustomListBox::ColumnWidth() { return columnWidth_ > 0 ? columnWidth_ : std::max(1, ClientWidth()); }

int TCustomListBox::ColumnStart(int index) {
    const int rows = RowsPerColumn();
    return std::max(0, index) / rows * rows;
}

RECT TCustomListBox::MultiColumnItemRect(int index) {
    const int rows = RowsPerColumn();
    const int h = std::max(1, int(Perform(LB_GETITEMHEIGHT, 0)));
    const int w = ColumnWidth();
    const int offset = index - top_;
    // Whole columns: an index before the top lands in a column to the left.
    const int column = offset >= 0 ? offset / rows : -((-offset + rows - 1) / rows);
    const int row = offset - column * rows;
    return {column * w, row * h, column * w + w, row * h + h};
}

void TCustomListBox::SetColumnWidthFromColumns() {
    if (columns_ > 0 && HandleAllocated()) Perform(LB_SETCOLUMNWIDTH, WPARAM((width_ + columns_ - 3) / columns_));
}

void TCustomListBox::Measure(int index) {
    MEASUREITEMSTRUCT mis;
    mis.CtlType = ODT_LISTBOX;
    mis.CtlID = HandleAllocated() ? UINT(GetDlgCtrlID(handle_)) : 0;
    mis.itemID = UINT(std::max(index, 0));
    mis.itemWidth = UINT(ClientWidth());
    mis.itemHeight = UINT(itemHeight_);
    mis.itemData = index >= 0 ? uintptr_t(list_[size_t(index)].data) : 0;
    LRESULT handled = 0;
    if (parent_ && parent_->HandleAllocated())
        handled = SendMessage(parent_->Handle(), WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
    if (!handled) Perform(CN_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
    const int height = std::max(1, int(mis.itemHeight));
    if (index < 0) itemHeight_ = height;
    else list_[size_t(index)].height = height;
}

void TCustomListBox::CNMeasureItem(TMessage& m) {
    auto& mis = *reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
    int height = itemHeight_;
    if (style_ == lbOwnerDrawVariable) MeasureItem(int(mis.itemID), height);
    mis.itemHeight = UINT(height);
    m.Result = 1;
}

void TCustomListBox::MeasureItem(int index, int& height) {
    if (OnMeasureItem) OnMeasureItem(this, index, height);
}

int TCustomListBox::InsertItem(int index, const AnsiString& text) {
    const DWORD style = ListStyle();
    if (index < 0 || index > int(list_.size())) index = int(list_.size());
    if (style & LBS_SORT) {
        index = int(std::upper_bound(list_.begin(), list_.end(), text,
                                     [](const AnsiString& t, const Item& it) { return CompareText(t, it.text) < 0; }) -
                    list_.begin());
    }
    Item item;
    item.text = text;
    item.height = itemHeight_;
    list_.insert(list_.begin() + index, item);
    if (cur_ >= index) ++cur_;
    if (caret_ >= index && int(list_.size()) > 1) ++caret_;
    if (HandleAllocated() && (style & LBS_OWNERDRAWVARIABLE)) Measure(index);
    if (redraw_) Invalidate();
    return index;
}

int TCustomListBox::ItemTop(int index) const {
    // The window's style decides: a descendant may draw a standard list itself.
    const DWORD style = const_cast<TCustomListBox*>(this)->ListStyle();
    const bool variable = style & LBS_OWNERDRAWVARIABLE;
    const int h = (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE))
                      ? itemHeight_
                      : FontLineHeight(const_cast<TCustomListBox*>(this)->Font());
    if (!variable) return (index - top_) * h;
    int y = 0;
    if (index >= top_)
        for (int i = top_; i < index; ++i) y += list_[size_t(i)].height;
    else
        for (int i = index; i < top_; ++i) y -= list_[size_t(i)].height;
    return y;
}

RECT TCustomListBox::ItemRect(int index) {
    RECT r{};
    const int count = int(list_.size());
    if (index >= 0 && index < count) {
        Perform(LB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&r));
    } else if (index == count && count > 0) {
        Perform(LB_GETITEMRECT, WPARAM(count - 1), reinterpret_cast<LPARAM>(&r));
        OffsetRect(&r, 0, r.height());
    }
    return r;
}

int TCustomListBox::ItemAtPos(POINT p, bool existing) {
    const RECT client = ClientRect();
    if (!PtInRect(&client, p)) return -1;
    for (int i = top_; i < int(list_.size()); ++i) {
        const RECT r = ItemRect(i);
        if (r.top >= client.bottom || r.left >= client.right) break;
        if (PtInRect(&r, p)) return i;
    }
    return existing ? -1 : int(list_.size());
}

int TCustomListBox::PageCount() const {
    auto* self = const_cast<TCustomListBox*>(this);
    if (self->MultiColumn())
        return self->RowsPerColumn() * std::max(1, self->ClientWidth() / std::max(1, self->ColumnWidth()));
    const int height = self->ClientHeight();
    int n = 0;
    for (int i = top_; i < int(list_.size()) && ItemTop(i + 1) <= height; ++i) ++n;
    return std::max(1, n);
}

// ---- Selection ------------------------------------------------------------------------------

int TCustomListBox::ItemIndex() {
    return int(Perform((ListStyle() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) ? LB_GETCARETINDEX : LB_GETCURSEL));
}

void TCustomListBox::SetItemIndex(int index) {
    if (ItemIndex() == index) return;
    if (ListStyle() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) Perform(LB_SETCARETINDEX, WPARAM(index));
    else Perform(LB_SETCURSEL, WPARAM(index));
}

bool TCustomListBox::Selected(int index) {
    const LRESULT r = Perform(LB_GETSEL, WPARAM(index));
    if (r == LB_ERR) throw EStringListError(FormatIndexError(index));
    return r != 0;
}

void TCustomListBox::SetSelected(int index, bool value) {
    if (ListStyle() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
        if (Perform(LB_SETSEL, value, index) == LB_ERR) throw EStringListError(FormatIndexError(index));
    } else if (value) {
        SetItemIndex(index);
    } else if (ItemIndex() == index) {
        SetItemIndex(-1);
    }
}

void TCustomListBox::SelectRange(int from, int to, bool value) {
    if (from > to) std::swap(from, to);
    for (int i = std::max(from, 0); i <= to && i < int(list_.size()); ++i) list_[size_t(i)].selected = value;
}

void TCustomListBox::SetCaret(int index, bool scroll) {
    caret_ = std::clamp(index, 0, std::max(0, int(list_.size()) - 1));
    if (scroll && !list_.empty()) {
        const int step = MultiColumn() ? RowsPerColumn() : 1;
        if (caret_ < top_) top_ = MultiColumn() ? ColumnStart(caret_) : caret_;
        while (caret_ >= top_ + PageCount() && top_ + step <= caret_) top_ += step;
    }
    Invalidate();
}

void TCustomListBox::ClickItem(int index, TShiftState shift, bool keyboard) {
    if (index < 0 || index >= int(list_.size())) return;
    const DWORD style = ListStyle();
    const bool shiftDown = shift & ssShift, ctrlDown = shift & ssCtrl;
    std::vector<bool> before;
    for (const Item& it : list_) before.push_back(it.selected);
    const int oldCur = cur_;
    if (style & LBS_EXTENDEDSEL) {
        if (shiftDown) {
            if (!ctrlDown) SelectRange(0, int(list_.size()) - 1, false);
            SelectRange(anchor_, index, true);
        } else if (ctrlDown) {
            if (!keyboard) list_[size_t(index)].selected = !list_[size_t(index)].selected;
            anchor_ = index;
        } else {
            SelectRange(0, int(list_.size()) - 1, false);
            list_[size_t(index)].selected = true;
            anchor_ = index;
        }
    } else if (style & LBS_MULTIPLESEL) {
        if (!keyboard) list_[size_t(index)].selected = !list_[size_t(index)].selected;
        anchor_ = index;
    } else {
        cur_ = index;
    }
    SetCaret(index, true);
    bool changed = cur_ != oldCur;
    for (size_t i = 0; i < list_.size(); ++i) changed = changed || before[i] != list_[i].selected;
    if (changed) SelectionChanged();
}

void TCustomListBox::SelectionChanged() {
    Notify(LBN_SELCHANGE);
    Click();
}

void TCustomListBox::Notify(WORD code) {
    // Parents that are not ours (or that watch their children) hear of it
    // as the platform tells them.
    if (!(ListStyle() & LBS_NOTIFY) || !parent_ || !parent_->HandleAllocated() || !HandleAllocated()) return;
    if (TWinControl::FindControl(parent_->Handle())) return; // ours: the control itself reacts
    SendMessage(parent_->Handle(), WM_COMMAND, MakeCommandWParam(GetDlgCtrlID(handle_), code),
                reinterpret_cast<LPARAM>(handle_));
}

void TCustomListBox::HandleKey(WORD key, TShiftState shift) {
    if (list_.empty()) return;
    const DWORD style = ListStyle();
    const bool multi = style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL);
    const int current = multi ? caret_ : std::max(cur_, 0);
    int target = current;
    switch (key) {
    case VK_UP: target = current - 1; break;
    case VK_DOWN: target = cur_ < 0 && !multi ? 0 : current + 1; break;
    case VK_PRIOR: target = current - PageCount() + 1; break;
    case VK_NEXT: target = current + PageCount() - 1; break;
    case VK_LEFT:
    case VK_RIGHT:
        if (!(style & LBS_MULTICOLUMN)) return;
        target = current + (key == VK_LEFT ? -RowsPerColumn() : RowsPerColumn());
        break;
    case VK_HOME: target = 0; break;
    case VK_END: target = int(list_.size()) - 1; break;
    case VK_SPACE:
        if (style & LBS_MULTIPLESEL || (style & LBS_EXTENDEDSEL && shift & ssCtrl)) {
            list_[size_t(caret_)].selected = !list_[size_t(caret_)].selected;
            anchor_ = caret_;
            Invalidate();
            SelectionChanged();
        }
        return;
    default: return;
    }
    target = std::clamp(target, 0, int(list_.size()) - 1);
    if (style & LBS_MULTIPLESEL) {
        SetCaret(target, true); // the caret moves; Space selects
    } else if ((style & LBS_EXTENDEDSEL) && (shift & ssCtrl) && !(shift & ssShift)) {
        SetCaret(target, true);
    } else {
        ClickItem(target, shift, true);
    }
}

void TCustomListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    deferredClick_ = -1;
    if (button == mbLeft) {
        if (CanFocus() && !focused_) SetFocus();
        const int index = ItemAtPos({x, y}, true);
        // The selection as it is may be dragged away: the press leaves it.
        const bool dragsSelection = DragMode() == dmAutomatic && multiSelect_ && index >= 0 && Selected(index) &&
                                    (!(shift & ssShift) || (shift & ssCtrl)) && !(shift & ssDouble);
        if (dragsSelection) {
            deferredClick_ = index;
            deferredShift_ = shift;
        } else {
            if (index >= 0) ClickItem(index, shift, false);
            tracking_ = true;
        }
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomListBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbLeft && deferredClick_ >= 0) ClickItem(std::exchange(deferredClick_, -1), deferredShift_, false);
    TCustomControl::MouseUp(button, shift, x, y);
}

void TCustomListBox::DoEndDrag(TObject* target, int x, int y) {
    // The release went to the drag: the list stops following the mouse,
    // and the press was no click.
    tracking_ = false;
    deferredClick_ = -1;
    TCustomControl::DoEndDrag(target, x, y);
}

void TCustomListBox::DoEndDock(TObject* target, int x, int y) {
    tracking_ = false; // as after a drag
    deferredClick_ = -1;
    TCustomControl::DoEndDock(target, x, y);
}

void TCustomListBox::MouseMove(TShiftState shift, int x, int y) {
    if (tracking_ && (shift & ssLeft)) {
        const DWORD style = ListStyle();
        const int index = ItemAtPos({x, y}, true);
        if (index >= 0 && index != (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL) ? caret_ : cur_)) {
            if (style & LBS_EXTENDEDSEL) ClickItem(index, shift | ssShift, true);
            else if (!(style & LBS_MULTIPLESEL)) ClickItem(index, shift, true);
        }
    } else {
        tracking_ = false;
    }
    TCustomControl::MouseMove(shift, x, y);
}

void TCustomListBox::DblClick() {
    Notify(LBN_DBLCLK);
    TCustomControl::DblClick();
}

// ---- Painting -------------------------------------------------------------------------------

void TCustomListBox::Paint() {
    TCanvas& c = Canvas();
    const RECT client = ClientRect();
    c.Brush().SetColor(color_);
    c.Brush().SetStyle(bsSolid);
    c.FillRect(client);
    const DWORD style = ListStyle();
    const bool ownerDraw = style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE);
    const bool multi = style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL);
    HDC dc = c.Handle();
    for (int i = top_; i < int(list_.size()); ++i) {
        RECT r{};
        Perform(LB_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r));
        if (r.top >= client.bottom || r.left >= client.right) break;
        if (ownerDraw) {
            SendDrawItem(dc, i, r);
            continue;
        }
        const bool selected = multi ? list_[size_t(i)].selected : i == cur_;
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(selected ? clHighlight : color_);
        c.FillRect(r);
        c.Brush().SetStyle(bsClear);
        c.Font().SetColor(!enabled_ ? clGrayText : selected ? clHighlightText : Font().Color());
        const AnsiString& text = list_[size_t(i)].text;
        if ((style & LBS_USETABSTOPS) && !tabStops_.empty()) {
            CanvasTabbedTextOut(c, r.left + 2, r.top, text, tabStops_);
        } else {
            c.TextOut(r.left + 2, r.top, text);
        }
        if (focused_ && i == (multi ? caret_ : cur_)) c.DrawFocusRect(r);
    }
}

void TCustomListBox::SendDrawItem(HDC dc, int index, RECT rect) {
    const DWORD style = ListStyle();
    const bool multi = style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL);
    DRAWITEMSTRUCT dis;
    dis.CtlType = ODT_LISTBOX;
    dis.CtlID = HandleAllocated() ? UINT(GetDlgCtrlID(handle_)) : 0;
    dis.itemID = UINT(index);
    dis.itemAction = ODA_DRAWENTIRE;
    if (multi ? list_[size_t(index)].selected : index == cur_) dis.itemState |= ODS_SELECTED;
    if (focused_ && index == (multi ? caret_ : cur_)) dis.itemState |= ODS_FOCUS;
    if (!enabled_) dis.itemState |= ODS_DISABLED;
    dis.hwndItem = handle_;
    dis.hDC = dc;
    dis.rcItem = rect;
    dis.itemData = uintptr_t(list_[size_t(index)].data);
    const int saved = SaveDC(dc);
    LRESULT handled = 0;
    if (parent_ && parent_->HandleAllocated())
        handled = SendMessage(parent_->Handle(), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    if (!handled) Perform(CN_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    RestoreDC(dc, saved);
    Canvas().Refresh();
}

void TCustomListBox::CNDrawItem(TMessage& m) {
    const auto& dis = *reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
    TCanvas& c = Canvas();
    const bool ownHandle = c.HandleAllocated() && c.Handle().value == dis.hDC.value;
    if (!ownHandle) {
        c.Lock();
        c.SetHandle(dis.hDC);
    }
    const TOwnerDrawState state = dis.itemState;
    c.Font().Assign(&Font());
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(color_);
    if (state & odSelected) {
        c.Brush().SetColor(clHighlight);
        c.Font().SetColor(clHighlightText);
    }
    if (int(dis.itemID) >= 0 && int(dis.itemID) < int(list_.size())) DrawItem(int(dis.itemID), dis.rcItem, state);
    else c.FillRect(dis.rcItem);
    if (state & odFocused) c.DrawFocusRect(dis.rcItem);
    if (!ownHandle) {
        c.SetHandle({});
        c.Unlock();
    }
    m.Result = 1;
}

void TCustomListBox::DrawItem(int index, RECT rect, TOwnerDrawState state) {
    if (OnDrawItem) {
        OnDrawItem(this, index, rect, state);
        return;
    }
    TCanvas& c = Canvas();
    c.FillRect(rect);
    c.Brush().SetStyle(bsClear);
    c.TextOut(rect.left + 2, rect.top, list_[size_t(index)].text);
    c.Brush().SetStyle(bsSolid);
}

// ---- Properties -----------------------------------------------------------------------------

void TCustomListBox::SetItemHeight(int height) {
    if (height < 1 || height == itemHeight_) return;
    itemHeight_ = height;
    RecreateWnd();
    Invalidate();
}

void TCustomListBox::SetStyle(TListBoxStyle style) {
    if (style_ == style) return;
    style_ = style;
    RecreateWnd();
    Invalidate();
}

void TCustomListBox::SetMultiSelect(bool value) {
    if (multiSelect_ == value) return;
    multiSelect_ = value;
    RecreateWnd();
}

void TCustomListBox::SetExtendedSelect(bool value) {
    if (extendedSelect_ == value) return;
    extendedSelect_ = value;
    RecreateWnd();
}

void TCustomListBox::SetSorted(bool value) {
    if (sorted_ == value) return;
    sorted_ = value;
    if (value) {
        std::stable_sort(list_.begin(), list_.end(),
                         [](const Item& a, const Item& b) { return CompareText(a.text, b.text) < 0; });
        Invalidate();
    }
    RecreateWnd();
}

void TCustomListBox::SetIntegralHeight(bool value) {
    if (integralHeight_ == value) return;
    integralHeight_ = value;
    RecreateWnd();
}

void TCustomListBox::SetTabWidth(int width) {
    width = std::max(0, width);
    if (tabWidth_ == width) return;
    tabWidth_ = width;
    RecreateWnd();
}

void TCustomListBox::SetColumns(int columns) {
    columns = std::max(0, columns);
    if (columns_ == columns) return;
    columns_ = columns;
    RecreateWnd();
}

void TCustomListBox::SetBorderStyle(TBorderStyle style) {
    if (borderStyle_ == style) return;
    borderStyle_ = style;
    RecreateWnd();
}

// ---- Messages -------------------------------------------------------------------------------

void TCustomListBox::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CN_DRAWITEM: CNDrawItem(m); return;
    case CN_MEASUREITEM: CNMeasureItem(m); return;
    case WM_SETFOCUS:
        TCustomControl::Dispatch(m);
        focused_ = true;
        Invalidate();
        return;
    case WM_KILLFOCUS:
        TCustomControl::Dispatch(m);
        focused_ = false;
        tracking_ = false;
        Invalidate();
        return;
    case WM_LBUTTONUP:
        tracking_ = false;
        break;
    case WM_SIZE:
        TCustomControl::Dispatch(m);
        SetColumnWidthFromColumns();
        return;
    }
    TCustomControl::Dispatch(m);
}

namespace {

bool IsMultiSelect(DWORD style) {
    return style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL);
}

// Owner-drawn lists without LBS_HASSTRINGS keep the caller's value, not a text.
bool HoldsStrings(DWORD style) {
    return (style & LBS_HASSTRINGS) || !(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE));
}

} // namespace

bool TCustomListBox::ItemMessage(TMessage& m, DWORD style) {
    const int count = int(list_.size());
    const auto valid = [count](WPARAM i) { return intptr_t(i) >= 0 && intptr_t(i) < count; };
    const bool hasStrings = HoldsStrings(style);
    switch (m.Msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        const AnsiString text = hasStrings && m.LParam ? reinterpret_cast<const char*>(m.LParam) : "";
        const int at = m.Msg == LB_ADDSTRING ? count : (intptr_t(m.WParam) < 0 ? count : int(m.WParam));
        if (at > count) {
            m.Result = LB_ERR;
            return true;
        }
        const int index = InsertItem(m.Msg == LB_ADDSTRING ? count : at, text);
        if (!hasStrings) list_[size_t(index)].data = m.LParam;
        m.Result = index;
        return true;
    }
    case LB_DELETESTRING: {
        if (!valid(m.WParam)) {
            m.Result = LB_ERR;
            return true;
        }
        const int index = int(m.WParam);
        list_.erase(list_.begin() + index);
        if (cur_ == index) cur_ = -1;
        else if (cur_ > index) --cur_;
        if (caret_ > index || caret_ >= int(list_.size())) caret_ = std::max(0, caret_ - 1);
        if (anchor_ > index || anchor_ >= int(list_.size())) anchor_ = std::max(0, anchor_ - 1);
        top_ = std::clamp(top_, 0, std::max(0, int(list_.size()) - 1));
        if (redraw_) Invalidate();
        m.Result = LRESULT(list_.size());
        return true;
    }
    case LB_RESETCONTENT:
        list_.clear();
        cur_ = -1;
        caret_ = anchor_ = top_ = 0;
        horzExtent_ = 0;
        if (redraw_) Invalidate();
        return true;
    case LB_GETCOUNT: m.Result = count; return true;
    case LB_GETTEXT:
        if (!valid(m.WParam)) {
            m.Result = LB_ERR;
            return true;
        }
        if (m.LParam) {
            const AnsiString& text = list_[m.WParam].text;
            std::memcpy(reinterpret_cast<char*>(m.LParam), text.c_str(), text.size() + 1);
        }
        m.Result = LRESULT(list_[m.WParam].text.size());
        return true;
    case LB_GETTEXTLEN: m.Result = valid(m.WParam) ? LRESULT(list_[m.WParam].text.size()) : LB_ERR; return true;
    case LB_GETITEMDATA: m.Result = valid(m.WParam) ? list_[m.WParam].data : LB_ERR; return true;
    case LB_SETITEMDATA:
        if (!valid(m.WParam)) {
            m.Result = LB_ERR;
            return true;
        }
        list_[m.WParam].data = m.LParam;
        m.Result = LB_OKAY;
        return true;
    }
    return false;
}

bool TCustomListBox::SelectionMessage(TMessage& m, DWORD style) {
    const int count = int(list_.size());
    const auto valid = [count](WPARAM i) { return intptr_t(i) >= 0 && intptr_t(i) < count; };
    const bool multi = IsMultiSelect(style);
    switch (m.Msg) {
    case LB_SETCURSEL:
        if (multi) {
            m.Result = LB_ERR;
            return true;
        }
        cur_ = valid(m.WParam) ? int(m.WParam) : -1;
        if (cur_ >= 0) SetCaret(cur_, true);
        Invalidate();
        m.Result = cur_ >= 0 ? cur_ : LB_ERR;
        return true;
    case LB_GETCURSEL: m.Result = multi ? (count ? caret_ : LB_ERR) : cur_; return true;
    case LB_SETSEL:
        if (!multi || (int(m.LParam) != -1 && !valid(WPARAM(m.LParam)))) {
            m.Result = LB_ERR;
            return true;
        }
        if (int(m.LParam) == -1) {
            SelectRange(0, count - 1, m.WParam != 0);
        } else {
            list_[size_t(m.LParam)].selected = m.WParam != 0;
            if (m.WParam) {
                anchor_ = int(m.LParam);
                SetCaret(int(m.LParam), false);
            }
        }
        Invalidate();
        m.Result = LB_OKAY;
        return true;
    case LB_GETSEL:
        m.Result = !valid(m.WParam) ? LB_ERR : multi ? list_[m.WParam].selected : int(m.WParam) == cur_;
        return true;
    case LB_GETSELCOUNT:
        m.Result = multi ? LRESULT(std::count_if(list_.begin(), list_.end(), [](const Item& i) { return i.selected; }))
                         : LB_ERR;
        return true;
    case LB_GETSELITEMS: {
        if (!multi) {
            m.Result = LB_ERR;
            return true;
        }
        int* out = reinterpret_cast<int*>(m.LParam);
        int n = 0;
        for (int i = 0; i < count && n < int(m.WParam); ++i)
            if (list_[size_t(i)].selected) out[n++] = i;
        m.Result = n;
        return true;
    }
    case LB_SELITEMRANGE:
    case LB_SELITEMRANGEEX:
        if (!multi) {
            m.Result = LB_ERR;
            return true;
        }
        if (m.Msg == LB_SELITEMRANGE) SelectRange(LOWORD(uintptr_t(m.LParam)), HIWORD(uintptr_t(m.LParam)), m.WParam != 0);
        else SelectRange(int(m.WParam), int(m.LParam), true);
        Invalidate();
        m.Result = LB_OKAY;
        return true;
    case LB_SETCARETINDEX:
        if (!valid(m.WParam)) {
            m.Result = LB_ERR;
            return true;
        }
        if (!multi) cur_ = int(m.WParam);
        SetCaret(int(m.WParam), true);
        m.Result = LB_OKAY;
        return true;
    case LB_GETCARETINDEX: m.Result = multi ? caret_ : cur_; return true;
    case LB_SETANCHORINDEX: anchor_ = int(m.WParam); return true;
    case LB_GETANCHORINDEX: m.Result = anchor_; return true;
    }
    return false;
}

bool TCustomListBox::SearchMessage(TMessage& m, DWORD style) {
    if (m.Msg != LB_FINDSTRING && m.Msg != LB_FINDSTRINGEXACT && m.Msg != LB_SELECTSTRING) return false;
    const int count = int(list_.size());
    const AnsiString wanted = m.LParam ? reinterpret_cast<const char*>(m.LParam) : "";
    m.Result = LB_ERR;
    const int start = intptr_t(m.WParam) < 0 ? -1 : int(m.WParam);
    for (int n = 1; n <= count; ++n) {
        const int i = (start + n) % count;
        const AnsiString& text = list_[size_t(i)].text;
        const bool match = m.Msg == LB_FINDSTRINGEXACT
                               ? CompareText(text, wanted) == 0
                               : text.size() >= wanted.size() && CompareText(text.substr(0, wanted.size()), wanted) == 0;
        if (match) {
            m.Result = i;
            break;
        }
    }
    if (m.Msg == LB_SELECTSTRING && m.Result != LB_ERR && !IsMultiSelect(style)) {
        cur_ = int(m.Result);
        SetCaret(cur_, true);
    }
    return true;
}

bool TCustomListBox::LayoutMessage(TMessage& m, DWORD style) {
    const int count = int(list_.size());
    const auto valid = [count](WPARAM i) { return intptr_t(i) >= 0 && intptr_t(i) < count; };
    switch (m.Msg) {
    case LB_SETTOPINDEX:
        if (!valid(m.WParam) && !(count == 0 && m.WParam == 0)) {
            m.Result = LB_ERR;
            return true;
        }
        top_ = (style & LBS_MULTICOLUMN) ? ColumnStart(int(m.WParam)) : int(m.WParam);
        Invalidate();
        m.Result = LB_OKAY;
        return true;
    case LB_GETTOPINDEX: m.Result = top_; return true;
    case LB_SETITEMHEIGHT: {
        const int height = LOWORD(uintptr_t(m.LParam));
        if (height < 1) {
            m.Result = LB_ERR;
            return true;
        }
        if (style & LBS_OWNERDRAWVARIABLE) {
            if (!valid(m.WParam)) {
                m.Result = LB_ERR;
                return true;
            }
            list_[m.WParam].height = height;
        } else {
            itemHeight_ = height;
        }
        Invalidate();
        m.Result = LB_OKAY;
        return true;
    }
    case LB_GETITEMHEIGHT:
        if (style & LBS_OWNERDRAWVARIABLE) m.Result = valid(m.WParam) ? list_[m.WParam].height : LB_ERR;
        else m.Result = (style & LBS_OWNERDRAWFIXED) ? itemHeight_ : FontLineHeight(Font());
        return true;
    case LB_GETITEMRECT: {
        if (!valid(m.WParam)) {
            m.Result = LB_ERR;
            return true;
        }
        const int index = int(m.WParam);
        if (style & LBS_MULTICOLUMN) {
            *reinterpret_cast<RECT*>(m.LParam) = MultiColumnItemRect(index);
            m.Result = 1;
            return true;
        }
        const int h = (style & LBS_OWNERDRAWVARIABLE) ? list_[size_t(index)].height
                      : (style & LBS_OWNERDRAWFIXED)  ? itemHeight_
                                                      : FontLineHeight(Font());
        const int top = ItemTop(index);
        *reinterpret_cast<RECT*>(m.LParam) = {0, top, ClientWidth(), top + h};
        m.Result = 1;
        return true;
    }
    case LB_ITEMFROMPOINT: {
        const POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        int index = ItemAtPos(p, true);
        const bool outside = index < 0;
        if (outside) index = count ? std::clamp(top_ + (p.y < 0 ? 0 : PageCount()), 0, count - 1) : 0;
        m.Result = MAKELPARAM(index, outside ? 1 : 0);
        return true;
    }
    case LB_SETHORIZONTALEXTENT: horzExtent_ = int(m.WParam); return true;
    case LB_GETHORIZONTALEXTENT: m.Result = horzExtent_; return true;
    case LB_SETCOLUMNWIDTH:
        columnWidth_ = int(m.WParam);
        Invalidate();
        return true;
    case LB_SETTABSTOPS: {
        tabStops_.clear();
        const int* stops = reinterpret_cast<const int*>(m.LParam);
        // Stops come in dialog units, a quarter of the average character.
        const int unit = MeasureText(Font(), "0").cx;
        for (WPARAM i = 0; stops && i < m.WParam; ++i) tabStops_.push_back(stops[i] * unit / 4);
        m.Result = 1;
        return true;
    }
    }
    return false;
}

void TCustomListBox::DefaultHandler(TMessage& m) {
    const DWORD style = (m.Msg >= LB_ADDSTRING && m.Msg <= LB_ITEMFROMPOINT) ? ListStyle() : 0;
    if (ItemMessage(m, style) || SelectionMessage(m, style) || SearchMessage(m, style) ||
        LayoutMessage(m, style))
        return;
    const int count = int(list_.size());
    switch (m.Msg) {
    case WM_SETREDRAW:
        redraw_ = m.WParam != 0;
        if (redraw_) Invalidate();
        return;
    case WM_KEYDOWN: HandleKey(WORD(m.WParam), CurrentShiftState()); return;
    case WM_MOUSEWHEEL: {
        const int step = MultiColumn() ? RowsPerColumn() : 3;
        const int delta = short(HIWORD(m.WParam)) > 0 ? -step : step;
        top_ = std::clamp(top_ + delta, 0, std::max(0, count - 1));
        Invalidate();
        return;
    }
    }
    TCustomControl::DefaultHandler(m);
}

} // namespace ax
