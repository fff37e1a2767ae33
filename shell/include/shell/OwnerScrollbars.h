#pragma once
// A vertical scroll bar the program draws itself (the drop-down lists of the
// explorer combo box use it): arrows, track and thumb laid out from Min, Max,
// PageSize and Position; presses step, page and drag, repeating on the
// clock while held; the scroll messages go to a linked control when there is
// one. It draws the classic look, or the theme's "scrollbar" parts while a
// theme library is in use.
//
// Position stays within Min .. Max - PageSize after every change, Max stays
// above Min and PageSize within 1 .. Max - Min, so no mapping between pixels
// and positions ever divides by zero.
#include "framework/controls.h"
#include "platform/gdi/uniquegdiobject.h"
#include "vtree/ThemeServices.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace ax {

class TCustomOwnerDrawScrollbar;

// The bar's colours; every change reaches the bar at once.
class TScrollBarColors : public TPersistent {
public:
    explicit TScrollBarColors(TCustomOwnerDrawScrollbar& owner) : owner_(owner) {}
    AnsiString ClassName() const override { return "TScrollBarColors"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    TPersistent* GetOwner() const override;

    TColor ThumbButton() const { return thumbButton_; }
    void SetThumbButton(TColor value);
    // The checkerboard of the page areas alternates Background and
    // BackgroundBlend pixel by pixel.
    TColor Background() const { return background_; }
    void SetBackground(TColor value);
    TColor BackgroundBlend() const { return backgroundBlend_; }
    void SetBackgroundBlend(TColor value);
    // A pressed page area's colour.
    TColor PageScrollHot() const { return pageScrollHot_; }
    void SetPageScrollHot(TColor value);

private:
    void Changed(bool brush);
    TCustomOwnerDrawScrollbar& owner_;
    TColor thumbButton_ = clScrollBar;
    TColor background_ = clScrollBar;
    TColor pageScrollHot_ = clBlack;
    TColor backgroundBlend_ = clWhite;
};

enum TScrollBarOption : unsigned { soThemeAware = 1 };
using TScrollBarOptions = unsigned;

// What OnScrollCustomPaint is about to draw: both page areas, or one part.
enum TScrollPaintCycle { spcPageAreas = 0, spcTopArrow = 1, spcBottomArrow = 2, spcThumb = 3 };
// The state that part is drawn in (the page areas always pass spsNormal).
enum TScrollPaintState { spsNormal = 0, spsHot = 1, spsPressed = 2, spsDisabled = 3 };

// Handled set true skips the bar's own drawing of that step.
using TOnScrollCustomPaint = std::function<void(
    TCustomOwnerDrawScrollbar* Sender, TScrollPaintCycle PaintCycle,
    TScrollPaintState ScrollPaintState, RECT PaintRect, TCanvas& Canvas, bool& Handled)>;

// The bar's state bits.
enum TScrollBarStateFlag : uint16_t {
    sbsTopArrowPressed = 0x0001,
    sbsTopArrowHot = 0x0002,
    sbsBottomArrowPressed = 0x0004,
    sbsBottomArrowHot = 0x0008,
    sbsThumbPressed = 0x0010,
    sbsThumbHot = 0x0020,
    sbsPageUpPressed = 0x0040,
    sbsPageDownPressed = 0x0080,
    sbsLButtonDown = 0x0100,
    sbsThemeOpen = 0x0200,
};
using TScrollBarState = uint16_t;

// The parts of the bar in client coordinates. The track lies between the
// arrows; the inner track is where the thumb's centre can be.
struct TScrollBarLayout {
    RECT TopArrow{}, BottomArrow{}, Track{}, Thumb{}, PageUp{}, PageDown{};
    int ThumbHeight = 0;
    int InnerTop = 0, InnerBottom = 0;
};

// Lays out a bar of the given client size. Min < Max, 1 <= PageSize <=
// Max - Min and Min <= Position <= Max - PageSize are expected (the bar keeps
// them); the result is sound for any values.
TScrollBarLayout LayoutScrollBar(int clientWidth, int clientHeight, int min, int max, int pageSize,
                                 int position);
// The position whose thumb centre lies at y (the thumb follows the cursor).
int ScrollBarPositionFromY(const TScrollBarLayout& layout, int y, int min, int max, int pageSize);

class TCustomOwnerDrawScrollbar : public TCustomControl {
public:
    // The repeat timings of a held press (ms).
    static constexpr UINT RepeatDelay = 500, RepeatInterval = 100, HoverInterval = 50;
    // Window timer ids.
    static constexpr UINT_PTR DelayTimer = 1, RepeatTimer = 2, HoverTimer = 3;

    explicit TCustomOwnerDrawScrollbar(TComponent* owner);
    ~TCustomOwnerDrawScrollbar() override;
    AnsiString ClassName() const override { return "TCustomOwnerDrawScrollbar"; }
    void Notification(TComponent* component, TOperation operation) override;
    void Loaded() override;

    TScrollBarColors& Colors() { return *colors_; }
    void SetColors(const TScrollBarColors& colors) { colors_->Assign(&colors); }
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    int LargeChange() const { return largeChange_; }
    void SetLargeChange(int value) { largeChange_ = value; }
    int SmallChange() const { return smallChange_; }
    void SetSmallChange(int value) { smallChange_ = value; }
    int Min() const { return min_; }
    // A Min at or above Max becomes Max - 1. While a form description is
    // read, Min, Max, PageSize and Position are taken as they come and put
    // in order once all are read.
    void SetMin(int value);
    int Max() const { return max_; }
    // A Max at or below Min becomes Min + 1.
    void SetMax(int value);
    int PageSize() const { return pageSize_; }
    // Kept within 1 .. Max - Min.
    void SetPageSize(int value);
    int Position() const { return position_; }
    // Kept within Min .. Max - PageSize; the track is repainted.
    void SetPosition(int value);
    TScrollBarOptions Options() const { return options_; }
    void SetOptions(TScrollBarOptions value);

    // The control that receives WM_VSCROLL for the bar's steps, or none (then
    // the bar moves Position itself).
    TWinControl* LinkedControl() const { return linked_; }
    void SetLinkedControl(TWinControl* control);

    TOnScrollCustomPaint OnScrollCustomPaint;

    TScrollBarState State() const { return state_; }
    // The theme the bar holds, or null.
    HTHEME Theme() const { return theme_; }
    TScrollBarLayout Layout();
    int PositionFromY(int y);

    // Whatever width is asked for, the bar is SM_CXVSCROLL wide (except
    // while a form description is read).
    void SetBounds(int left, int top, int width, int height) override;
    void Dispatch(TMessage& message) override;

protected:
    void CreateWnd() override;
    void DestroyWnd() override;
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    friend class TScrollBarColors;
    enum class Part { None, TopArrow, BottomArrow, PageUp, PageDown, Thumb };

    // State changes repaint only the parts whose state changed.
    void ChangeState(TScrollBarState state);
    void InvalidateTrack();
    // Takes the four values in order (unless a description is being read):
    // Max above Min, PageSize within 1 .. Max - Min, Position within Min ..
    // Max - PageSize; the track is repainted when anything changed.
    void SetRange(int min, int max, int pageSize, int position);
    // Releasing the button (or losing the mouse): timers stop, a drag ends.
    void EndPress();
    Part PartAt(POINT p);
    // One step of a pressed arrow or page area.
    void Step(Part part);
    void SendScroll(int code, int position = 0);
    void TimerTick(UINT_PTR id);
    void UpdateHot();
    void StopPressTimers();
    void ColorsChanged(bool brush);
    void BuildBrush();
    void OpenTheme();
    void CloseTheme();
    bool Themed() const;

    // Drawing steps on a device context.
    void PaintPageAreas(HDC dc);
    void PaintParts(HDC dc);
    void PaintPart(HDC dc, Part part, const TScrollBarLayout& layout);
    // The custom paint event; true when it drew the step itself.
    bool CustomPaint(HDC dc, TScrollPaintCycle cycle, TScrollPaintState state, const RECT& rect);
    TScrollPaintState PartState(Part part) const;
    // Runs draw with the canvas on dc (the paint DC is the canvas's already).
    void OnDC(HDC dc, const std::function<void(TCanvas&)>& draw);

    std::unique_ptr<TScrollBarColors> colors_;
    bool flat_ = false;
    int largeChange_ = 1;
    int smallChange_ = 1;
    int min_ = 0;
    int max_ = 100;
    int pageSize_ = 1;
    int position_ = 0;
    TScrollBarOptions options_ = soThemeAware;
    TWinControl* linked_ = nullptr;
    TScrollBarState state_ = 0;
    HTHEME theme_ = nullptr;
    UniqueBrush brush_;     // the checkerboard
    bool painting_ = false; // the canvas holds the paint DC
};

// Publishes the properties of the owner-drawn scroll bar.
class TOwnerDrawScrollbar : public TCustomOwnerDrawScrollbar {
public:
    using TCustomOwnerDrawScrollbar::TCustomOwnerDrawScrollbar;
    AnsiString ClassName() const override { return "TOwnerDrawScrollbar"; }
    void DefinePublished(TFiler& filer) override;
};

// Registers TOwnerDrawScrollbar for form descriptions.
void RegisterOwnerScrollbarClasses();

} // namespace ax
