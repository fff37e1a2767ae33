#pragma once
// One icon in the notification area with a tip (the hint's short part),
// mouse events, a pop-up menu on right click, and animation through an icon
// list. The notification area talks to a hidden window of the component
// with the callback message 0xB054. The animation steps on the GUI thread,
// timed by a threaded timer; nothing touches the notification area from
// another thread.
#include <memory>

#include "controls/ExTimer.h"
#include "controls/IconList.h"
#include "framework/controls.h"
#include "framework/menus.h"
#include "platform/window/tray.h"

namespace ax {

inline constexpr UINT WM_TRAYNOTIFY = 0xB054;

class TExTrayIcon : public TComponent {
public:
    explicit TExTrayIcon(TComponent* owner);
    ~TExTrayIcon() override;
    AnsiString ClassName() const override { return "TExTrayIcon"; }
    void DefinePublished(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;
    void Loaded() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    bool Animated() const { return animated_; }
    // False when Icons is empty.
    void SetAnimated(bool value);
    uint16_t Interval() const { return interval_; }
    void SetInterval(uint16_t ms);
    TIcon& Icon() { return *icon_; }
    void SetIcon(const TIcon* icon) { icon_->Assign(icon); }
    TIconList& Icons() { return *icons_; }
    void SetIcons(const TIconList* icons) { icons_->Assign(icons); }
    const AnsiString& Hint() const { return hint_; }
    void SetHint(const AnsiString& hint);
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu);
    bool ShowDesign() const { return showDesign_; }
    void SetShowDesign(bool value);

    // Whether the icon is in the notification area now.
    bool Added() const { return added_; }
    int IconIndex() const { return iconIndex_; }
    HWND WindowHandle() const { return window_; }

    TMouseEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

    // Internal: the hidden window's messages.
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    void Show();
    void Hide();
    // After any change of the picture, the hint or an animation step.
    void IconChanged();
    void NextIcon();

private:
    TIcon* ActiveIcon() const;
    NOTIFYICONDATA NotifyData(TIcon* icon) const;
    void HandleTrayMessage(UINT mouseMessage);
    void ClickStep(TMouseButton button, TShiftState shift, int x, int y);
    bool DoPopup(int x, int y);
    void DblClickStep();
    bool Designing() const { return HasState(csDesigning); }

    HWND window_ = nullptr;
    bool active_ = true;
    bool enabled_ = true;
    bool added_ = false;
    bool animated_ = false;
    unsigned buttons_ = 0; // bit 0 left, bit 1 right went down on the icon
    int iconIndex_ = -1;
    uint16_t interval_ = 150;
    std::unique_ptr<TIcon> icon_;
    std::unique_ptr<TIconList> icons_;
    TExTimer* animation_ = nullptr;
    AnsiString hint_;
    bool showDesign_ = false;
    TPopupMenu* popupMenu_ = nullptr;
};

} // namespace ax
