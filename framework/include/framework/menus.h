#pragma once
// Menus: items with captions ("&" marks the accelerator, "-" is a line),
// shortcuts, check marks, radio groups, default items, breaks and
// sub-menus; a pop-up menu tracked modally in its own windows; a main menu
// whose shortcuts a form dispatches.
#include <functional>
#include <vector>

#include "framework/controls.h"

namespace ax {

class TImageList;
class TMenu;

using TShortCut = WORD;
inline constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0;
TShortCut ShortCut(WORD key, TShiftState shift);
void ShortCutToKey(TShortCut shortCut, WORD& key, TShiftState& shift);
// "Ctrl+S", "Shift+F10", "Del"...
AnsiString ShortCutToText(TShortCut shortCut);
TShortCut TextToShortCut(const AnsiString& text);

enum TMenuBreak { mbNone, mbBreak, mbBarBreak };

// Shows a window's system menu as a pop-up menu (the window layer's window
// menu presenter, which the application installs) and answers the command
// picked, 0 when none.
UINT ShowWindowMenu(HWND window, HMENU systemMenu, POINT at);

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;
    AnsiString ClassName() const override { return "TMenuItem"; }
    void DefinePublished(TFiler& filer) override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void SetParentComponent(TComponent* parent) override;
    TComponent* GetParentComponent() const override;
    bool HasParent() const override { return true; }

    const AnsiString& Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption) { caption_ = caption; }
    bool IsLine() const { return caption_ == "-"; }
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut s) { shortCut_ = s; }
    bool Checked() const { return checked_; }
    // A checked radio item unchecks the others of its group.
    void SetChecked(bool value);
    bool RadioItem() const { return radioItem_; }
    void SetRadioItem(bool value) { radioItem_ = value; }
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int v) { groupIndex_ = v; }
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool v) { autoCheck_ = v; }
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v) { enabled_ = v; }
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { visible_ = v; }
    TMenuBreak Break() const { return break_; }
    void SetBreak(TMenuBreak b) { break_ = b; }
    const AnsiString& Hint() const { return hint_; }
    void SetHint(const AnsiString& h) { hint_ = h; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int i) { imageIndex_ = i; }
    UINT Command() const { return command_; }
    // Replaces the id the item is known by (as WM_MENUSELECT carries it),
    // for menus built from another's items.
    void SetCommand(UINT command) { command_ = command; }
    // The handle that stands for this item's sub-menu in WM_MENUSELECT.
    HMENU Handle() const { return reinterpret_cast<HMENU>(const_cast<TMenuItem*>(this)); }

    int Count() const { return int(items_.size()); }
    TMenuItem* Items(int index) const;
    TMenuItem* Parent() const { return parent_; }
    int MenuIndex() const;
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    void Remove(TMenuItem* item);
    void Delete(int index);
    // Frees the sub-items this item owns and detaches the others.
    void Clear();
    int IndexOf(const TMenuItem* item) const;
    // The sub-item whose caption (without "&") matches.
    TMenuItem* Find(const AnsiString& caption) const;
    // Makes a sub-item owned by this item.
    TMenuItem* NewItem(const AnsiString& caption, TShortCut shortCut = 0, TNotifyEvent onClick = {});
    TMenu* GetParentMenu() const;

    virtual void Click();
    TNotifyEvent OnClick;

private:
    friend class TMenu;
    friend class TMainMenu;
    AnsiString caption_;
    TShortCut shortCut_ = 0;
    bool checked_ = false, radioItem_ = false, autoCheck_ = false, default_ = false;
    bool enabled_ = true, visible_ = true;
    int groupIndex_ = 0;
    TMenuBreak break_ = mbNone;
    AnsiString hint_;
    int imageIndex_ = -1;
    UINT command_;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr; // for the root item
    std::vector<TMenuItem*> items_;
};

class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* owner);
    ~TMenu() override;
    AnsiString ClassName() const override { return "TMenu"; }
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    TMenuItem* Items() const { return items_; }
    TImageList* Images() const { return images_; }
    void SetImages(TImageList* images);
    TMenuItem* FindItem(UINT command) const;
    // Clicks the enabled, visible item with this shortcut; true if one did.
    bool IsShortCut(WORD key, TShiftState shift);
    void Notification(TComponent* component, TOperation operation) override;

private:
    TMenuItem* items_;
    TImageList* images_ = nullptr;
};

// A form's menu bar. The form associates it with its window (the window
// manager reserves the bar under the caption); the menu lays out, paints and
// tracks the bar's items there.
class TMainMenu : public TMenu {
public:
    using TMenu::TMenu;
    ~TMainMenu() override;
    AnsiString ClassName() const override { return "TMainMenu"; }
    // The visible top-level items, in bar order.
    std::vector<TMenuItem*> BarItems() const;
    // Their rectangles on the bar of a window, in window coordinates.
    std::vector<RECT> BarItemRects(HWND window) const;
    // Draws the items over the bar the window manager cleared.
    void PaintBar(HWND window) const;
    // Tracks the bar modally from the bar item at index: open shows its
    // drop-down, byKeyboard selects the drop-down's first item. A chosen
    // item's Click runs after the menu closed.
    void TrackBar(HWND window, int index, bool open, bool byKeyboard);
    // Alt+letter: tracks from the item whose accelerator it is; false if none.
    bool TrackBarKey(HWND window, char key);
    bool Tracking() const { return tracker_ != nullptr; }
    // The bar item selected while tracking, else -1.
    int BarSelected() const;
    // The drop-down windows open while tracking, outermost first (tests).
    std::vector<HWND> TrackingWindows() const;
    void CloseMenu();

    // Called once the bar tracking starts, inside its loop.
    static inline std::function<void(TMainMenu&)> OnTrackingStarted;

private:
    class TMenuTracker* tracker_ = nullptr;
};

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
public:
    explicit TPopupMenu(TComponent* owner);
    ~TPopupMenu() override;
    AnsiString ClassName() const override { return "TPopupMenu"; }
    void DefinePublished(TFiler& filer) override;
    // Shows the menu at a screen point and tracks it modally until an item
    // is chosen (its Click runs after the menu closed) or the menu is
    // dismissed (Escape, a click elsewhere, cancel mode).
    virtual void Popup(int x, int y);
    TComponent* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(TComponent* c);
    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool v) { autoPopup_ = v; }
    TPopupAlignment Alignment() const { return alignment_; }
    void SetAlignment(TPopupAlignment a) { alignment_ = a; }
    // The window told of each item highlighted while the menu tracks, as
    // WM_MENUSELECT (wParam: the item's command, or its position when it
    // opens a sub-menu, and MF_ flags above; lParam: the menu holding the
    // item), and of the menu's closing (flags 0xFFFF, lParam 0).
    HWND OwnerWindow() const { return ownerWindow_; }
    void SetOwnerWindow(HWND window) { ownerWindow_ = window; }
    // Closes a menu being tracked (from code running inside the tracking).
    void CloseMenu();
    bool Tracking() const { return tracking_; }
    // The pop-up windows open while tracking, outermost first (tests).
    std::vector<HWND> TrackingWindows() const;
    void Notification(TComponent* component, TOperation operation) override;

    TNotifyEvent OnPopup;
    // Called once the menu's first window shows, inside the tracking loop.
    static inline std::function<void(TPopupMenu&)> OnTrackingStarted;

private:
    friend class TMenuTracker;
    TComponent* popupComponent_ = nullptr;
    bool autoPopup_ = true;
    TPopupAlignment alignment_ = paLeft;
    HWND ownerWindow_ = nullptr;
    bool tracking_ = false;
    class TMenuTracker* tracker_ = nullptr;
};

// The sub-menu of the item at a position of a menu being tracked (as
// WM_MENUSELECT named it); null when that item opens none or the menu is
// not tracked.
HMENU GetSubMenu(HMENU menu, int position);

} // namespace ax
