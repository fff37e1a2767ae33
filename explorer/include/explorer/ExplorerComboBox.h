#pragma once
// The explorer combo box: an address line (the path of the current folder)
// with a button that rolls down a small explorer tree of the namespace, and
// a second drop-down listing the paths that complete what the user types.
// Choosing a folder in either, or typing a path and pressing Enter, makes it
// the combo box's folder, raises OnChange and announces it to the controls
// linked through the change-link dispatcher (an explorer tree links itself
// both ways with its ExplorerComboBox property). Freeing the combo box
// removes every link that names it.
//
// The drop-downs are pop-up windows that never take the activation or the
// focus: the keyboard stays in the edit line, which steers them (F4 and
// Alt+Down open and close the tree, Up, Down, Page Up, Page Down move in the
// open list, Enter chooses, Escape closes). A press anywhere outside the
// combo box and its drop-downs closes them, as does the edit losing the
// focus.
//
// Threads: GUI thread only.
#include "explorer/ComboEdit.h"
#include "explorer/DropDownWnd.h"
#include "explorer/PopupAutoCompleteTree.h"
#include "explorer/PopupExplorerTree.h"
#include "explorer/PopupOptions.h"

#include <functional>
#include <memory>
#include <vector>

namespace ax {

class TForm;

// Runs on the "Invalid Path" box once its modal loop has started: tests
// answer it from here.
inline std::function<void(TForm& box)> OnInvalidPathBoxModal;

class TCustomExplorerCombobox : public TCustomControl {
public:
    explicit TCustomExplorerCombobox(TComponent* owner);
    ~TCustomExplorerCombobox() override;
    AnsiString ClassName() const override { return "TCustomExplorerCombobox"; }
    void DefinePublished(TFiler& filer) override;
    void Dispatch(TMessage& message) override;

    TComboEdit& Edit() const { return *edit_; }
    TPopupExplorerDropDown& ExplorerDropDown() const { return *explorerDropDown_; }
    TPopupAutoCompleteDropDown& AutoCompleteDropDown() const { return *autoCompleteDropDown_; }
    TPopupExplorerOptions& PopupExplorerOptions() const { return *explorerOptions_; }
    TPopupAutoCompleteOptions& PopupAutoCompleteOptions() const { return *autoCompleteOptions_; }
    TExplorerComboBoxStyle Style() const { return style_; }
    void SetStyle(TExplorerComboBoxStyle style);

    // The current folder (or item): its PIDL (the combo box's own; nil
    // until one is set) and the path the edit line shows for it.
    PItemIDList SelectedPIDL() const { return selected_.get(); }
    WideString Path() const { return edit_->WideText(); }
    // Makes the item at path the current one without announcing it; false
    // (nothing changed) when the path names nothing.
    bool SetPath(const WideString& path);
    // The same for a PIDL (the combo box takes a copy).
    bool SetPIDL(PCItemIDList pidl);

    // The button's rectangle in client coordinates.
    RECT ButtonRect() const;
    bool DroppedDown() const;
    void SetDroppedDown(bool value);
    // Rolls both drop-downs up (a dismissal, not a choice).
    void CloseDropDowns();

    // The user chose pidl (from a drop-down or by typing): it becomes the
    // current item, OnChange runs and the linked controls are told.
    void ChooseItem(PCItemIDList pidl);
    // The edit line's text as a choice: a path that names an item is
    // chosen, anything else shows the "Invalid Path" box.
    void ChooseTypedPath();
    // A candidate of the auto-complete list was chosen: it goes into the
    // edit line and is chosen as typed.
    void ChooseCandidate(const WideString& path);

    // The change link: a linked control moved to pidl; the combo box shows
    // it (unless it shows it already) without announcing it again.
    void ChangeLinkChangeEvent(TObject* server, PCItemIDList pidl);

    // The key steering of the edit line; true when the key was taken.
    bool EditKeyDown(WORD key, TShiftState shift);
    // The edit line's text changed by typing: the candidates are listed again.
    void EditChanged();

    TNotifyEvent OnChange;

protected:
    void Paint() override;
    void Resize() override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    // Announces the current item to the dispatcher, the combo box as the
    // server.
    virtual void ChangeLinkDispatch();
    // Shows the "Invalid Path" box for the typed text.
    virtual void ShowInvalidPath(const WideString& typed);
    // The candidates for the typed text: OnAutoCompleteUpdateList first,
    // else the items of the typed folder that begin with the text.
    std::vector<WideString> Candidates(const WideString& typed);

private:
    void ArrangeEdit();
    // The hook that closes the drop-downs on a press outside them.
    void InstallMouseHook(bool on);
    bool OwnsWindow(HWND hwnd);
    void MouseHook(WPARAM removal, const MSG& msg);
    // Shows the candidates for the edit line's text, or hides the list.
    void UpdateAutoComplete();

    TComboEdit* edit_ = nullptr;
    TPopupExplorerDropDown* explorerDropDown_ = nullptr;
    TPopupAutoCompleteDropDown* autoCompleteDropDown_ = nullptr;
    std::unique_ptr<TPopupExplorerOptions> explorerOptions_;
    std::unique_ptr<TPopupAutoCompleteOptions> autoCompleteOptions_;
    TExplorerComboBoxStyle style_ = cbsClassic;
    UniquePIDL selected_;
    bool settingText_ = false; // the edit's text is being set by the program
    bool followingChange_ = false;
    bool destroying_ = false;
    HHOOK hook_ = nullptr;
};

class TExplorerComboBox : public TCustomExplorerCombobox {
public:
    using TCustomExplorerCombobox::TCustomExplorerCombobox;
    AnsiString ClassName() const override { return "TExplorerComboBox"; }
};

void RegisterExplorerComboBoxClasses();

} // namespace ax
