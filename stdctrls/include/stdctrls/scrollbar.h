#pragma once
// The scroll bar control: arrows, track and thumb; presses scroll by a line
// or a page, the thumb is dragged, and OnScroll may change where it lands.
#include <functional>

#include "framework/controls.h"

namespace ax {

enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

class TScrollBar : public TCustomControl {
public:
    explicit TScrollBar(TComponent* owner);
    AnsiString ClassName() const override { return "TScrollBar"; }
    void DefinePublished(TFiler& filer) override;
    TScrollBarKind Kind() const { return kind_; }
    void SetKind(TScrollBarKind kind);
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetMin(int v) { SetParams(position_, v, max_); }
    void SetMax(int v) { SetParams(position_, min_, v); }
    void SetPosition(int v) { SetParams(v, min_, max_); }
    void SetParams(int position, int min, int max);
    int PageSize() const { return pageSize_; }
    void SetPageSize(int v);
    int SmallChange() const { return smallChange_; }
    void SetSmallChange(int v) { smallChange_ = v; }
    int LargeChange() const { return largeChange_; }
    void SetLargeChange(int v) { largeChange_ = v; }

    TNotifyEvent OnChange;
    TScrollEvent OnScroll;

    // The parts, in client coordinates.
    RECT ArrowRect(bool first);
    RECT ThumbRect();

protected:
    void Paint() override;
    void Dispatch(TMessage& message) override;
    LRESULT DialogCode() override { return DLGC_WANTARROWS; }
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    virtual void Change();
    virtual void Scroll(TScrollCode code, int& pos);

private:
    void DoScroll(TScrollCode code);
    int TrackLength();
    TScrollBarKind kind_ = sbHorizontal;
    int min_ = 0, max_ = 100, position_ = 0, pageSize_ = 0;
    int smallChange_ = 1, largeChange_ = 1;
    int pressed_ = -1; // 0 first arrow, 1 second arrow, 2 page before, 3 page after, 4 thumb
    int dragOffset_ = 0;
};

} // namespace ax
