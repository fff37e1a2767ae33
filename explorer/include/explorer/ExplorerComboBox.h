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
#include "explorer/ExplorerTree.h"
#include "explorer/OwnerScrollbars.h"
#include "shell/ShellAutoComplete.h"
#include "explorer/UnicodeControls.h"
#include "shell/WideStrings.h"
#include "stdctrls/extctrls.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ax {

class TCustomExplorerCombobox;
class TDropDownWnd;
class TForm;

// The combo box's look (stdctrls owns the name TComboBoxStyle).
enum TExplorerComboBoxStyle : uint8_t { cbsClassic, cbsExpEnhanced };

using TPopupOptions = unsigned;
enum TPopupOption : TPopupOptions {
    poAnimated = 0x01,
    poEnabled = 0x02,
    poPersistentSizing = 0x04, // a size the user dragged is kept for the next roll-down
    poSizeable = 0x08,         // a size grip in the bottom right corner
    poRespectSysAnimationFlag = 0x10,
    poThemeAware = 0x20,
};
inline constexpr TPopupOptions DefaultPopupOptions = poEnabled | poRespectSysAnimationFlag | poThemeAware;

// Allow false keeps the drop-down rolled up.
using TRollDownEvent = std::function<void(TObject* Sender, bool& Allow)>;
// Selected: the drop-down closed on a choice (else it was dismissed).
using TRollUpEvent = std::function<void(TObject* Sender, bool Selected)>;
// Handled true shows List as it stands instead of the shell's candidates.
using TAutoCompleteUpdateListEvent = std::function<void(
    TObject* Sender, const WideString& CurrentEditContents, TWideStringList& List, bool& Handled)>;

// Whether the desktop animates combo-box lists. There is no such desktop
// setting here; tests and programs may set it.
bool ComboBoxAnimation();
void SetComboBoxAnimation(bool on);

// ---- The drop-down windows -------------------------------------------------------------

// The grip in a sizeable drop-down's bottom right corner: dragging it sizes
// the drop-down.
class TSizeGrabber : public TCustomControl {
public:
    TSizeGrabber(TComponent* owner, TDropDownWnd& dropDown);
    AnsiString ClassName() const override { return "TSizeGrabber"; }
    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    TDropDownWnd& dropDown_;
    bool dragging_ = false;
    POINT start_{};   // screen point of the press
    SIZE startSize_{}; // the drop-down's size then
};

// The pop-up window of both drop-downs: a list (a tree control) beside an
// owner-drawn scroll bar, with a size grip when sizeable. The list's own
// scroll bar is kept out of sight: the list lies in a panel one bar wider
// than the panel shows.
class TDropDownWnd : public TCustomControl {
public:
    // The animation's window timer and its steps.
    static constexpr UINT_PTR AnimationTimer = 1;
    static constexpr int AnimationSteps = 16;

    TDropDownWnd(TComponent* owner, TCustomExplorerCombobox* combo);
    ~TDropDownWnd() override;
    AnsiString ClassName() const override { return "TDropDownWnd"; }
    void Dispatch(TMessage& message) override;

    TCustomExplorerCombobox* Combo() const { return combo_; }
    TOwnerDrawScrollbar& ScrollBar() const { return *scrollBar_; }
    TSizeGrabber& Grabber() const { return *grabber_; }
    // The list the drop-down shows.
    TBaseDataTree& List() const { return *list_; }

    int AnimationSpeed() const { return animationSpeed_; }
    void SetAnimationSpeed(int ms) { animationSpeed_ = ms; }
    int AutoScrollTimeFast() const { return autoScrollTimeFast_; }
    void SetAutoScrollTimeFast(int ms) { autoScrollTimeFast_ = ms; }
    int AutoScrollTimeSlow() const { return autoScrollTimeSlow_; }
    void SetAutoScrollTimeSlow(int ms) { autoScrollTimeSlow_ = ms; }
    int DropDownCount() const { return dropDownCount_; }
    // At least one row.
    void SetDropDownCount(int rows);
    TPopupOptions Options() const { return options_; }
    virtual void SetOptions(TPopupOptions value);

    bool DroppedDown() const { return droppedDown_; }
    // Places the window under the combo box (above it when the screen ends
    // below), DropDownCount rows high, and shows it without activating it.
    // OnRollDown may refuse; false then, and when poEnabled is off.
    bool RollDown();
    // Hides the window and raises OnRollUp.
    void RollUp(bool selected);
    // Whether the roll-down is still sliding open.
    bool Animating() const { return animationStep_ > 0; }
    // Where the window goes when rolled down (screen coordinates), and
    // whether it opens upward.
    RECT PlacementRect(bool& upward);

    // Keeps the owner-drawn bar in step with the list's scroll position.
    void SyncScrollBar();
    // Lays out the list, the bar and the grip in the client area.
    void ArrangeChildren();
    // The size the user gave it with the grip (0 x 0: none).
    void SetUserSize(SIZE size) { userSize_ = size; }

    TRollDownEvent OnRollDown;
    TRollUpEvent OnRollUp;

protected:
    void CreateParams(TCreateParams& params) override;
    void Resize() override;
    // Shown exactly while rolled down (it has no parent to follow).
    bool ShouldBeShowing() const override;
    // The rows the list shows at most (DropDownCount caps it).
    virtual int ContentRows();
    // The panel that holds the list.
    TPanel& ListPanel() const { return *panel_; }
    // Descendants make the list and hand it over here, once.
    void SetList(TBaseDataTree* list);

private:
    void AnimationTick();

    TCustomExplorerCombobox* combo_;
    TPanel* panel_ = nullptr;
    TOwnerDrawScrollbar* scrollBar_ = nullptr;
    TSizeGrabber* grabber_ = nullptr;
    TBaseDataTree* list_ = nullptr;
    int animationSpeed_ = 200;
    int autoScrollTimeFast_ = 10;
    int autoScrollTimeSlow_ = 200;
    int dropDownCount_ = 8;
    TPopupOptions options_ = DefaultPopupOptions;
    bool droppedDown_ = false;
    bool syncing_ = false;
    int animationStep_ = 0;
    RECT animationTarget_{};
    bool animationUpward_ = false;
    SIZE userSize_{};
};

// The explorer tree of the explorer drop-down: folders of the namespace from
// the desktop down. It never takes the focus; a click on a folder chooses it,
// a click on a button expands or collapses, the row under the mouse is
// highlighted.
class TPopupExplorerTree : public TCustomExplorerTree {
public:
    TPopupExplorerTree(TComponent* owner, TDropDownWnd& dropDown);
    AnsiString ClassName() const override { return "TPopupExplorerTree"; }
    bool CanFocus() const override { return false; }
    void Dispatch(TMessage& message) override;

    // Activates the tree, walks to pidl (selecting it, not focusing the
    // window), expands the Computer node and scrolls the target into view.
    // False when pidl has no node in the tree.
    bool BrowseToFolder(PCItemIDList pidl);
    // Moves the highlight by delta shown rows (clamped to the first and last).
    void MoveHighlight(int delta);

protected:
    void CreateParams(TCreateParams& params) override;
    void WMLButtonDown(TMessage& m) override;
    void WMLButtonDblClk(TMessage& m) override;
    // The highlight moving is no choice: the combo box announces choices.
    TNamespace* ChangeLinkNamespace() override { return nullptr; }
    // The highlight shows as in a focused list: the tree never has the focus.
    void DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r) override;

private:
    void Highlight(PDataNode node);
    TDropDownWnd& dropDown_;
};

class TPopupExplorerDropDown : public TDropDownWnd {
public:
    explicit TPopupExplorerDropDown(TComponent* owner, TCustomExplorerCombobox* combo);
    AnsiString ClassName() const override { return "TPopupExplorerDropDown"; }
    TPopupExplorerTree& Tree() const { return *tree_; }
    // poThemeAware switches the tree's toThemeAware and the themed bar together.
    void SetOptions(TPopupOptions value) override;
    // The highlighted folder was chosen: it becomes the combo box's folder.
    void ChooseFocused();

protected:
    int ContentRows() override { return DropDownCount(); }

private:
    TPopupExplorerTree* tree_ = nullptr;
};

// The list of the auto-complete drop-down: one row per candidate path.
class TPopupAutoCompleteTree : public TCustomDataStringTree {
public:
    TPopupAutoCompleteTree(TComponent* owner, TDropDownWnd& dropDown);
    AnsiString ClassName() const override { return "TPopupAutoCompleteTree"; }
    bool CanFocus() const override { return false; }
    void Dispatch(TMessage& message) override;

    // The rows, replaced whole; nothing highlighted.
    void SetItems(std::vector<WideString> items);
    const std::vector<WideString>& Items() const { return items_; }
    // The highlighted row's index, -1 when none.
    int HighlightIndex() const;
    void SetHighlightIndex(int index);

protected:
    void CreateParams(TCreateParams& params) override;
    void DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r) override;
    void DoGetText(PDataNode node, TColumnIndex column, TDTStringType textType, WideString& text) override;
    void WMLButtonDown(TMessage& m) override;
    void WMLButtonDblClk(TMessage& m) override;

private:
    TDropDownWnd& dropDown_;
    std::vector<WideString> items_;
};

class TPopupAutoCompleteDropDown : public TDropDownWnd {
public:
    explicit TPopupAutoCompleteDropDown(TComponent* owner, TCustomExplorerCombobox* combo);
    AnsiString ClassName() const override { return "TPopupAutoCompleteDropDown"; }
    TPopupAutoCompleteTree& Tree() const { return *tree_; }
    TShellAutoComplete& AutoComplete() const { return *autoComplete_; }
    void SetOptions(TPopupOptions value) override;
    // The highlighted path was chosen: it goes into the edit line.
    void ChooseHighlighted();

protected:
    int ContentRows() override;

private:
    TPopupAutoCompleteTree* tree_ = nullptr;
    TShellAutoComplete* autoComplete_ = nullptr;
};

// ---- Published options -----------------------------------------------------------------

// The explorer drop-down's settings; each reads and writes the drop-down or
// its tree.
class TPopupExplorerOptions : public TPersistent {
public:
    explicit TPopupExplorerOptions(TPopupExplorerDropDown& dropDown) : dropDown_(dropDown) {}
    AnsiString ClassName() const override { return "TPopupExplorerOptions"; }
    void DefinePublished(TFiler& filer) override;

    int AnimationSpeed() const { return dropDown_.AnimationSpeed(); }
    void SetAnimationSpeed(int ms) { dropDown_.SetAnimationSpeed(ms); }
    int AutoScrollTimeFast() const { return dropDown_.AutoScrollTimeFast(); }
    void SetAutoScrollTimeFast(int ms) { dropDown_.SetAutoScrollTimeFast(ms); }
    int AutoScrollTimeSlow() const { return dropDown_.AutoScrollTimeSlow(); }
    void SetAutoScrollTimeSlow(int ms) { dropDown_.SetAutoScrollTimeSlow(ms); }
    TBitmap& Background() const;
    int BackgroundOffsetX() const { return backgroundOffsetX_; }
    void SetBackgroundOffsetX(int x) { backgroundOffsetX_ = x; }
    int BackgroundOffsetY() const { return backgroundOffsetY_; }
    void SetBackgroundOffsetY(int y) { backgroundOffsetY_ = y; }
    TColor Color() const { return dropDown_.Tree().Color(); }
    void SetColor(TColor color) { dropDown_.Tree().SetColor(color); }
    TExplorerComboBoxStyle ComboBoxStyle() const { return comboBoxStyle_; }
    void SetComboBoxStyle(TExplorerComboBoxStyle style) { comboBoxStyle_ = style; }
    int DefaultNodeHeight() const { return dropDown_.Tree().DefaultNodeHeight(); }
    void SetDefaultNodeHeight(int height) { dropDown_.Tree().SetDefaultNodeHeight(height); }
    int DropDownCount() const { return dropDown_.DropDownCount(); }
    void SetDropDownCount(int rows) { dropDown_.SetDropDownCount(rows); }
    int Indent() const { return dropDown_.Tree().Indent(); }
    void SetIndent(int indent) { dropDown_.Tree().SetIndent(indent); }
    TPopupOptions Options() const { return dropDown_.Options(); }
    void SetOptions(TPopupOptions value) { dropDown_.SetOptions(value); }

    TExpEnumFolderEvent& OnEnumFolder() { return dropDown_.Tree().OnEnumFolder; }
    TRollDownEvent& OnRollDown() { return dropDown_.OnRollDown; }
    TRollUpEvent& OnRollUp() { return dropDown_.OnRollUp; }

private:
    TPopupExplorerDropDown& dropDown_;
    mutable std::unique_ptr<TBitmap> background_;
    int backgroundOffsetX_ = 0;
    int backgroundOffsetY_ = 0;
    TExplorerComboBoxStyle comboBoxStyle_ = cbsClassic;
};

// The auto-complete drop-down's settings.
class TPopupAutoCompleteOptions : public TPersistent {
public:
    explicit TPopupAutoCompleteOptions(TPopupAutoCompleteDropDown& dropDown) : dropDown_(dropDown) {}
    AnsiString ClassName() const override { return "TPopupAutoCompleteOptions"; }
    void DefinePublished(TFiler& filer) override;

    int AnimationSpeed() const { return dropDown_.AnimationSpeed(); }
    void SetAnimationSpeed(int ms) { dropDown_.SetAnimationSpeed(ms); }
    int AutoScrollTimeFast() const { return dropDown_.AutoScrollTimeFast(); }
    void SetAutoScrollTimeFast(int ms) { dropDown_.SetAutoScrollTimeFast(ms); }
    int AutoScrollTimeSlow() const { return dropDown_.AutoScrollTimeSlow(); }
    void SetAutoScrollTimeSlow(int ms) { dropDown_.SetAutoScrollTimeSlow(ms); }
    TBitmap& Background() const;
    int BackgroundOffsetX() const { return backgroundOffsetX_; }
    void SetBackgroundOffsetX(int x) { backgroundOffsetX_ = x; }
    int BackgroundOffsetY() const { return backgroundOffsetY_; }
    void SetBackgroundOffsetY(int y) { backgroundOffsetY_ = y; }
    TColor Color() const { return dropDown_.Tree().Color(); }
    void SetColor(TColor color) { dropDown_.Tree().SetColor(color); }
    int DefaultNodeHeight() const { return dropDown_.Tree().DefaultNodeHeight(); }
    void SetDefaultNodeHeight(int height) { dropDown_.Tree().SetDefaultNodeHeight(height); }
    int DropDownCount() const { return dropDown_.DropDownCount(); }
    void SetDropDownCount(int rows) { dropDown_.SetDropDownCount(rows); }
    int Indent() const { return dropDown_.Tree().Indent(); }
    void SetIndent(int indent) { dropDown_.Tree().SetIndent(indent); }
    TPopupOptions Options() const { return dropDown_.Options(); }
    void SetOptions(TPopupOptions value) { dropDown_.SetOptions(value); }
    TAutoCompleteContents Contents() const { return dropDown_.AutoComplete().Contents(); }
    void SetContents(TAutoCompleteContents value) { dropDown_.AutoComplete().SetContents(value); }

    TRollDownEvent& OnRollDown() { return dropDown_.OnRollDown; }
    TRollUpEvent& OnRollUp() { return dropDown_.OnRollUp; }
    TAutoCompleteUpdateListEvent OnAutoCompleteUpdateList;

private:
    TPopupAutoCompleteDropDown& dropDown_;
    mutable std::unique_ptr<TBitmap> background_;
    int backgroundOffsetX_ = 0;
    int backgroundOffsetY_ = 0;
};

// ---- The combo box ---------------------------------------------------------------------

// The borderless edit line of the combo box; the keys that steer the
// drop-downs go to the combo box first.
class TComboEdit : public TCustomWideEdit {
public:
    TComboEdit(TComponent* owner, TCustomExplorerCombobox& combo);
    AnsiString ClassName() const override { return "TComboEdit"; }

protected:
    void KeyDown(WORD& key, TShiftState shift) override;
    void Change() override;
    void DoExit() override;
    LRESULT DialogCode() override;

private:
    TCustomExplorerCombobox& combo_;
};

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
