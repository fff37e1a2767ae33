#pragma once
// The drop-down list combo box: its items and choice live in the object and
// answer the CB_ messages; the list window exists only while dropped down.
#include <algorithm>

#include "framework/controls.h"
#include "rtl/lists.h"

namespace ax {

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

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

} // namespace ax
