#pragma once
// The option check list: a list box whose every item has a check state
// (unchecked, checked, grayed) and an enabled flag, drawn as a check box,
// radio button or check mark beside its text. In radio mode exactly one
// item is checked: checking one unchecks the others, and the checked one
// cannot be unchecked directly. Items, states and enabled flags are stored
// in form descriptions ("InternalVersion" 202 and "Strings") and, through a
// TFormPlacement, in ini files.
#include <functional>
#include <memory>

#include "controls/AppUtils.h"
#include "controls/ExCustomListBox.h"
#include "controls/FormPlacement.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/listbox.h"

namespace ax {

class TExCheckListBox;
class TReader;
class TWriter;

// One item's record, kept in the list box's data word of the item.
struct TCheckListBoxItem {
    intptr_t Data = 0; // what the caller stores as the item's object
    TCheckBoxState State = cbUnchecked;
    bool Enabled = true;
};

enum TCheckKind { ckCheckBoxes, ckRadioButtons, ckCheckMarks };
using TChangeStateEvent = std::function<void(TObject* Sender, int Index)>;

// The items of a check list: assigning another check list's items copies
// their states and enabled flags too.
class TCheckListBoxStrings : public TExListBoxStrings {
public:
    using TExListBoxStrings::Assign;
    using TExListBoxStrings::TExListBoxStrings;
    void Assign(const TExListBoxStrings& source) override;
};

// The version of the "Strings" layout this list writes.
inline constexpr int kCheckListVersion = 202;

class TExCheckListBox : public TExCustomListBox {
public:
    explicit TExCheckListBox(TComponent* owner);
    ~TExCheckListBox() override;
    AnsiString ClassName() const override { return "TExCheckListBox"; }
    void DefinePublished(TFiler& filer) override;
    void DefineProperties(TFiler& filer) override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

    TCheckListBoxStrings& Items() { return static_cast<TCheckListBoxStrings&>(*exItems_); }

    // By item index; an index outside the list raises EStringListError.
    bool Checked(int index);
    void SetChecked(int index, bool value);
    TCheckBoxState State(int index);
    void SetState(int index, TCheckBoxState state);
    bool ItemEnabled(int index);
    void SetItemEnabled(int index, bool value);
    // Radio mode: the checked item (-1 in the other modes).
    int CheckedIndex();
    void SetCheckedIndex(int index);

    bool AllowGrayed() const { return allowGrayed_ && checkKind_ != ckRadioButtons; }
    void SetAllowGrayed(bool value);
    TCheckKind CheckKind() const { return checkKind_; }
    void SetCheckKind(TCheckKind kind);
    int InternalVersion() const { return internalVersion_; }
    // The size of one check image.
    int CheckWidth() const { return checkWidth_; }
    int CheckHeight() const { return checkHeight_; }
    int ItemHeight() override;

    TFormPlacement* IniStorage() const { return iniLink_.Storage(); }
    void SetIniStorage(TFormPlacement* storage);
    // "Count" and "Item0"..: the states as numbers. Restoring refuses the
    // whole section (EReadError) when a state is not 0, 1 or 2.
    void SaveStates(TIniStorage* ini, const AnsiString& section);
    void RestoreStates(TIniStorage* ini, const AnsiString& section);

    // What a click in the check strip, or the space key, does.
    void ToggleClickCheck(int index);
    // Every item (or every enabled one) to state; nothing in radio mode.
    void ApplyState(TCheckBoxState state, bool enabledOnly);

    TNotifyEvent OnClickCheck;
    TChangeStateEvent OnStateChange;

    intptr_t GetItemData(int index) override;
    void SetItemData(int index, intptr_t data) override;
    uint32_t SaveItemExtra(int index) override;
    void RestoreItemExtra(int index, uint32_t extra) override;
    int GetItemWidth(int index) override;
    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DrawItem(int index, RECT rect, TOwnerDrawState state) override;
    void KeyPress(char& key) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    TCheckListBoxItem* Record(int index);
    TCheckListBoxItem& RecordFor(int index);
    void FreeRecord(int index);
    void CheckIndex(int index);
    bool DrawsOwnItems();
    void ResetItemHeight();
    void InvalidateCheck(int index);
    void UpdateCheckStates();
    // In radio mode with items: one is checked, the first if none was.
    void EnsureRadioChecked();
    void ReadStrings(TReader& reader);
    void WriteStrings(TWriter& writer);

    bool allowGrayed_ = false;
    TCheckKind checkKind_ = ckCheckBoxes;
    int checkWidth_ = 0, checkHeight_ = 0;
    int internalVersion_ = 0;
    bool inUpdate_ = false;
    TBitmap drawBitmap_;
    TIniLink iniLink_;
};

} // namespace ax
