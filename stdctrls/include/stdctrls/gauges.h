#pragma once
// The gauge: a graphic progress display (bar, pie or needle) with its
// percentage as text.
#include "framework/controls.h"

namespace ax {

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

class TGauge : public TGraphicControl {
public:
    explicit TGauge(TComponent* owner);
    AnsiString ClassName() const override { return "TGauge"; }
    void DefinePublished(TFiler& filer) override;
    TGaugeKind Kind() const { return kind_; }
    void SetKind(TGaugeKind kind);
    int MinValue() const { return min_; }
    void SetMinValue(int v);
    int MaxValue() const { return max_; }
    void SetMaxValue(int v);
    int Progress() const { return progress_; }
    void SetProgress(int v);
    void AddProgress(int delta) { SetProgress(progress_ + delta); }
    // Whole percent of the range done (0 for an empty range).
    int PercentDone() const;
    TColor ForeColor() const { return foreColor_; }
    void SetForeColor(TColor c);
    TColor BackColor() const { return backColor_; }
    void SetBackColor(TColor c);
    bool ShowText() const { return showText_; }
    void SetShowText(bool v);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle v);

protected:
    void Paint() override;

private:
    TGaugeKind kind_ = gkHorizontalBar;
    int min_ = 0, max_ = 100, progress_ = 0;
    TColor foreColor_ = clBlack, backColor_ = clWhite;
    bool showText_ = true;
    TBorderStyle borderStyle_ = bsSingle;
};

} // namespace ax
