// The option check list: a record per item (state, enabled, the caller's
// data) kept beside the list box's items, the radio-mode rule, drawing the
// boxes from the shared check images, and reading and writing the stored
// form (a damaged stored state is refused).
#include "controls/ExCheckListBox.h"

#include <algorithm>

#include "CheckImages.h"
#include "controls/CtrlUtils.h"
#include "framework/streaming.h"
#include "rtl/scopeguard.h"
#include "stdctrls/messages.h"

namespace ax {

namespace {

[[noreturn]] void IndexError(int index) { throw EStringListError(Format(SListIndexError, index)); }

// A stored state: 0, 1 or 2; anything else is a damaged description.
TCheckBoxState StoredState(int64_t value) {
    if (value < cbUnchecked || value > cbGrayed) throw EReadError(SInvalidPropertyValue);
    return TCheckBoxState(value);
}

} // namespace

// ---- TCheckListBoxStrings -------------------------------------------------------------------

void TCheckListBoxStrings::Assign(const TExListBoxStrings& source) {
    if (&source == this) return;
    BeginUpdate();
    TExListBoxStrings::Assign(source);
    auto* from = dynamic_cast<TExCheckListBox*>(&source.List());
    auto* to = dynamic_cast<TExCheckListBox*>(&List());
    if (from && to)
        for (int i = 0; i < std::min(from->Count(), to->Count()); ++i) {
            to->SetState(i, from->State(i));
            to->SetItemEnabled(i, from->ItemEnabled(i));
        }
    EndUpdate();
}

// ---- Records --------------------------------------------------------------------------------

TExCheckListBox::TExCheckListBox(TComponent* owner) : TExCustomListBox(owner) {
    exItems_ = std::make_unique<TCheckListBoxStrings>(*this);
    const TBitmap& images = CheckImages();
    checkWidth_ = images.Width() / 6;
    checkHeight_ = images.Height() / 3;
    drawBitmap_.SetSize(checkWidth_, checkHeight_);
    iniLink_.OnSave = [this] {
        if (!Name().empty() && iniLink_.IniObject())
            SaveStates(iniLink_.IniObject(), iniLink_.RootSection() + GetDefaultSection(this));
    };
    iniLink_.OnLoad = [this] {
        if (!Name().empty() && iniLink_.IniObject())
            RestoreStates(iniLink_.IniObject(), iniLink_.RootSection() + GetDefaultSection(this));
    };
}

TExCheckListBox::~TExCheckListBox() {
    Destroying();
    for (int i = 0; i < Count(); ++i) FreeRecord(i);
}

TCheckListBoxItem* TExCheckListBox::Record(int index) {
    return reinterpret_cast<TCheckListBoxItem*>(TExCustomListBox::GetItemData(index));
}

TCheckListBoxItem& TExCheckListBox::RecordFor(int index) {
    if (TCheckListBoxItem* record = Record(index)) return *record;
    // The list box's data word owns the record from here until the item goes.
    auto record = std::make_unique<TCheckListBoxItem>();
    TExCustomListBox::SetItemData(index, reinterpret_cast<intptr_t>(record.get()));
    return *record.release();
}

void TExCheckListBox::FreeRecord(int index) {
    std::unique_ptr<TCheckListBoxItem> record(Record(index));
    if (record) TExCustomListBox::SetItemData(index, 0);
}

void TExCheckListBox::CheckIndex(int index) {
    if (index < 0 || index >= Count()) IndexError(index);
}

intptr_t TExCheckListBox::GetItemData(int index) {
    const TCheckListBoxItem* record = Record(index);
    return record ? record->Data : 0;
}

void TExCheckListBox::SetItemData(int index, intptr_t data) {
    CheckIndex(index);
    RecordFor(index).Data = data;
}

uint32_t TExCheckListBox::SaveItemExtra(int index) {
    const TCheckListBoxItem* record = Record(index);
    return record ? (uint32_t(record->State) << 16) | (record->Enabled ? 1u : 0u) : 1u;
}

void TExCheckListBox::RestoreItemExtra(int index, uint32_t extra) {
    TCheckListBoxItem& record = RecordFor(index);
    record.State = TCheckBoxState(std::min<uint32_t>(extra >> 16, cbGrayed));
    record.Enabled = (extra & 0xFFFF) != 0;
}

void TExCheckListBox::DefaultHandler(TMessage& m) {
    // Records go with their items, however the items are removed.
    if (m.Msg == LB_DELETESTRING && intptr_t(m.WParam) >= 0 && intptr_t(m.WParam) < Count()) {
        FreeRecord(int(m.WParam));
    } else if (m.Msg == LB_RESETCONTENT) {
        for (int i = 0; i < Count(); ++i) FreeRecord(i);
    }
    TExCustomListBox::DefaultHandler(m);
    switch (m.Msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    case LB_DELETESTRING: EnsureRadioChecked(); break;
    default: break;
    }
}

// ---- States ---------------------------------------------------------------------------------

TCheckBoxState TExCheckListBox::State(int index) {
    CheckIndex(index);
    const TCheckListBoxItem* record = Record(index);
    const TCheckBoxState state = record ? record->State : cbUnchecked;
    if (checkKind_ == ckRadioButtons && state != cbChecked) return cbUnchecked;
    return state;
}

bool TExCheckListBox::Checked(int index) {
    CheckIndex(index);
    const TCheckListBoxItem* record = Record(index);
    return record && record->State == cbChecked;
}

void TExCheckListBox::SetChecked(int index, bool value) { SetState(index, value ? cbChecked : cbUnchecked); }

void TExCheckListBox::SetState(int index, TCheckBoxState state) {
    CheckIndex(index);
    if (state == State(index) && !inUpdate_) return;
    // The checked radio item leaves only when another is checked.
    if (checkKind_ == ckRadioButtons && state != cbChecked && index == CheckedIndex()) return;
    RecordFor(index).State = state;
    if (checkKind_ == ckRadioButtons && state == cbChecked) {
        for (int i = Count() - 1; i >= 0; --i) {
            if (i == index || !Checked(i)) continue;
            Record(i)->State = cbUnchecked;
            InvalidateCheck(i);
        }
    }
    InvalidateCheck(index);
    if (!HasState(csReading) && OnStateChange) OnStateChange(this, index);
}

bool TExCheckListBox::ItemEnabled(int index) {
    CheckIndex(index);
    const TCheckListBoxItem* record = Record(index);
    return !record || record->Enabled;
}

void TExCheckListBox::SetItemEnabled(int index, bool value) {
    if (ItemEnabled(index) == value) return;
    RecordFor(index).Enabled = value;
    if (!HandleAllocated()) return;
    const RECT r = ItemRect(index);
    InvalidateRect(Handle(), &r, TRUE);
    UpdateWindow(Handle());
}

int TExCheckListBox::CheckedIndex() {
    if (checkKind_ != ckRadioButtons) return -1;
    for (int i = 0; i < Count(); ++i)
        if (Checked(i)) return i;
    return -1;
}

void TExCheckListBox::SetCheckedIndex(int index) {
    if (checkKind_ == ckRadioButtons && Count() > 0) SetState(std::max(index, 0), cbChecked);
}

void TExCheckListBox::SetAllowGrayed(bool value) {
    if (allowGrayed_ == value) return;
    allowGrayed_ = value;
    Invalidate();
}

void TExCheckListBox::SetCheckKind(TCheckKind kind) {
    if (checkKind_ == kind) return;
    checkKind_ = kind;
    UpdateCheckStates();
    Invalidate();
}

void TExCheckListBox::UpdateCheckStates() {
    if (checkKind_ != ckRadioButtons || Count() == 0) return;
    inUpdate_ = true;
    ScopeGuard clear([this] { inUpdate_ = false; });
    SetState(std::max(CheckedIndex(), 0), cbChecked);
}

void TExCheckListBox::EnsureRadioChecked() {
    if (checkKind_ == ckRadioButtons && !HasState(csReading | csLoading) && Count() > 0 && CheckedIndex() < 0)
        UpdateCheckStates();
}

void TExCheckListBox::InvalidateCheck(int index) {
    if (!HandleAllocated()) return;
    RECT r = ItemRect(index);
    r.right = r.left + checkWidth_ + 2;
    InvalidateRect(Handle(), &r, TRUE);
    UpdateWindow(Handle());
}

void TExCheckListBox::ToggleClickCheck(int index) {
    if (index < 0 || index >= Count() || !ItemEnabled(index)) return;
    TCheckBoxState next = cbChecked;
    switch (State(index)) {
    case cbUnchecked: next = AllowGrayed() ? cbGrayed : cbChecked; break;
    case cbChecked: next = cbUnchecked; break;
    case cbGrayed: next = cbChecked; break;
    }
    SetState(index, next);
    if (OnClickCheck) OnClickCheck(this);
}

void TExCheckListBox::ApplyState(TCheckBoxState state, bool enabledOnly) {
    if (checkKind_ == ckRadioButtons) return;
    for (int i = 0; i < Count(); ++i)
        if (!enabledOnly || ItemEnabled(i)) SetState(i, state);
}

// ---- Input ----------------------------------------------------------------------------------

void TExCheckListBox::KeyPress(char& key) {
    TExCustomListBox::KeyPress(key);
    switch (key) {
    case ' ':
        ToggleClickCheck(ItemIndex());
        key = 0;
        break;
    case '+':
    case '-':
        ApplyState(key == '+' ? cbChecked : cbUnchecked, true);
        if (OnClickCheck) OnClickCheck(this);
        break;
    default: break;
    }
}

void TExCheckListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TExCustomListBox::MouseDown(button, shift, x, y);
    if (button != mbLeft) return;
    const int index = ItemAtPos({x, y}, true);
    if (index >= 0 && x - ItemRect(index).left < checkWidth_ + 2) ToggleClickCheck(index);
}

// ---- Drawing --------------------------------------------------------------------------------

void TExCheckListBox::CreateParams(TCreateParams& params) {
    TExCustomListBox::CreateParams(params);
    // The check strip is always drawn here.
    if (Style() == lbStandard) params.Style |= LBS_OWNERDRAWFIXED;
}

void TExCheckListBox::CreateWnd() {
    TExCustomListBox::CreateWnd();
    ResetItemHeight();
}

bool TExCheckListBox::DrawsOwnItems() {
    return Style() == lbStandard || (Style() == lbOwnerDrawFixed && OnDrawItem);
}

int TExCheckListBox::ItemHeight() {
    if (HandleAllocated() && DrawsOwnItems() && Count() > 0) return ItemRect(0).height();
    return TCustomListBox::ItemHeight();
}

void TExCheckListBox::ResetItemHeight() {
    if (!HandleAllocated() || !DrawsOwnItems()) return;
    TBitmap measure;
    measure.SetSize(1, 1);
    measure.Canvas().Font().Assign(&Font());
    int height = std::max(measure.Canvas().TextHeight("Wg"), checkHeight_);
    if (Style() == lbOwnerDrawFixed) height = std::max(height, TCustomListBox::ItemHeight());
    Perform(LB_SETITEMHEIGHT, 0, MAKELPARAM(height, 0));
    if (Count() * height <= ClientHeight()) SetScrollRange(Handle(), SB_VERT, 0, 0, TRUE);
}

int TExCheckListBox::GetItemWidth(int index) { return TExCustomListBox::GetItemWidth(index) + checkWidth_ + 2; }

void TExCheckListBox::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CN_DRAWITEM: {
        // The text is drawn beside the check strip.
        DRAWITEMSTRUCT dis = *reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
        dis.rcItem.left += checkWidth_ + 2;
        DrawListItem(dis);
        m.Result = 1;
        return;
    }
    case CM_FONTCHANGED:
        TExCustomListBox::Dispatch(m);
        ResetItemHeight();
        return;
    }
    TExCustomListBox::Dispatch(m);
}

void TExCheckListBox::DrawItem(int index, RECT rect, TOwnerDrawState state) {
    TCanvas& c = Canvas();
    const RECT strip{rect.left - (checkWidth_ + 2), rect.top, rect.left, rect.bottom};
    const bool enabled = ItemEnabled(index);
    const TColor brush = c.Brush().Color();
    c.Brush().SetColor(Color());
    c.FillRect(strip);
    c.Brush().SetColor(brush);
    TBitmap& images = CheckImages();
    AssignBitmapCell(images, drawBitmap_, 6, 3, checkKind_ * 6 + State(index) + (enabled ? 0 : 3));
    DrawBitmapTransparent(c, strip.left + (strip.right - strip.left - checkWidth_) / 2,
                          strip.top + (strip.bottom - strip.top - checkHeight_) / 2, drawBitmap_,
                          images.TransparentColor());
    c.Refresh();
    if (!enabled) c.Font().SetColor((state & odSelected) ? clInactiveCaptionText : clGrayText);
    if (Style() == lbStandard && OnDrawItem) {
        // A standard list draws its text itself, whoever listens.
        TDrawItemEvent handler = std::move(OnDrawItem);
        OnDrawItem = nullptr;
        ScopeGuard reattach([this, &handler] { OnDrawItem = std::move(handler); });
        TExCustomListBox::DrawItem(index, rect, state);
    } else {
        TExCustomListBox::DrawItem(index, rect, state);
    }
}

// ---- Storage --------------------------------------------------------------------------------

void TExCheckListBox::DefinePublished(TFiler& f) {
    TExCustomListBox::DefinePublished(f);
    DefineImePublished(f);
    f.Bool("AllowGrayed", [this] { return allowGrayed_; }, [this](bool v) { SetAllowGrayed(v); }, false);
    f.Enum("CheckKind", {"ckCheckBoxes", "ckRadioButtons", "ckCheckMarks"}, [this] { return int(checkKind_); },
           [this](int v) { SetCheckKind(TCheckKind(v)); }, int(ckCheckBoxes));
}

void TExCheckListBox::DefineProperties(TFiler& f) {
    TExCustomListBox::DefineProperties(f);
    // The version first: it tells how "Strings" is laid out.
    f.DefineProperty(
        "InternalVersion", [this](TReader& r) { internalVersion_ = r.ReadInteger(); },
        [](TWriter& w) { w.WriteInteger(kCheckListVersion); }, true);
    f.DefineProperty(
        "Strings", [this](TReader& r) { ReadStrings(r); }, [this](TWriter& w) { WriteStrings(w); }, Count() > 0);
}

void TExCheckListBox::WriteStrings(TWriter& w) {
    w.WriteListBegin();
    for (int i = 0; i < Count(); ++i) {
        const TCheckListBoxItem* record = Record(i);
        w.WriteString(Items()[i]);
        w.WriteInteger(record ? record->State : cbUnchecked);
        w.WriteBoolean(!record || record->Enabled);
    }
    w.WriteListEnd();
}

void TExCheckListBox::ReadStrings(TReader& r) {
    // The whole list is read before any of it is applied: a damaged
    // description leaves the items as they were.
    struct Entry {
        AnsiString text;
        bool checked = false, enabled = true, hasState = false;
        TCheckBoxState state = cbUnchecked;
    };
    std::vector<Entry> entries;
    r.ReadListBegin();
    while (!r.EndOfList()) {
        Entry e;
        e.text = r.ReadString();
        if (internalVersion_ >= kCheckListVersion) {
            e.state = StoredState(r.ReadInteger());
            e.hasState = true;
            e.enabled = r.ReadBoolean();
        } else {
            e.checked = r.ReadBoolean();
            e.enabled = r.ReadBoolean();
            if (internalVersion_ > 0) {
                e.state = StoredState(r.ReadInteger());
                e.hasState = true;
            }
        }
        entries.push_back(std::move(e));
    }
    r.ReadListEnd();
    Items().BeginUpdate();
    Items().Clear();
    for (const Entry& e : entries) {
        const int index = Items().Add(e.text);
        if (internalVersion_ < kCheckListVersion) SetChecked(index, e.checked);
        if (e.hasState) SetState(index, e.state);
        SetItemEnabled(index, e.enabled);
    }
    Items().EndUpdate();
    UpdateCheckStates();
}

void TExCheckListBox::Loaded() {
    TExCustomListBox::Loaded();
    UpdateCheckStates();
}

void TExCheckListBox::SetIniStorage(TFormPlacement* storage) {
    if (IniStorage()) IniStorage()->RemoveFreeNotification(this);
    iniLink_.SetStorage(storage);
    if (storage) storage->FreeNotification(this);
}

void TExCheckListBox::Notification(TComponent* component, TOperation operation) {
    TExCustomListBox::Notification(component, operation);
    if (operation == opRemove && component && component == IniStorage()) iniLink_.SetStorage(nullptr);
}

void TExCheckListBox::SaveStates(TIniStorage* ini, const AnsiString& section) {
    if (!ini) return;
    ini->EraseSection(section);
    ini->WriteInteger(section, "Count", Count());
    for (int i = 0; i < Count(); ++i) ini->WriteInteger(section, "Item" + std::to_string(i), State(i));
}

void TExCheckListBox::RestoreStates(TIniStorage* ini, const AnsiString& section) {
    if (!ini) return;
    const int count = int(std::clamp<int64_t>(ini->ReadInteger(section, "Count", 0), 0, Count()));
    std::vector<TCheckBoxState> states;
    for (int i = 0; i < count; ++i)
        states.push_back(StoredState(ini->ReadInteger(section, "Item" + std::to_string(i), 0)));
    for (int i = 0; i < count; ++i) {
        SetState(i, states[size_t(i)]);
        if (checkKind_ == ckRadioButtons && State(i) == cbChecked) break;
    }
}

} // namespace ax
