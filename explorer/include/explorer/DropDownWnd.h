#pragma once
// The pop-up window of the explorer combo box's drop-downs: a list beside
// an owner-drawn scroll bar and a size grip, rolled down under the combo box
// without taking the activation, with its options and roll events.
// Threads: GUI thread only.
#include "explorer/OwnerScrollbars.h"
#include "explorer/SizeGrabber.h"
#include "stdctrls/extctrls.h"
#include "vtree/BaseDataTree.h"

#include <functional>

namespace ax {

class TCustomExplorerCombobox;

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

// Whether the desktop animates combo-box lists. There is no such desktop
// setting here; tests and programs may set it.
bool ComboBoxAnimation();
void SetComboBoxAnimation(bool on);

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
    // poThemeAware switches the list's toThemeAware and the themed bar
    // together.
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

} // namespace ax
