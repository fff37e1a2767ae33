#pragma once
// Status bar (parts, simple text, owner-drawn parts, size grip) and
// progress bar, answering the platform's SB_ and PBM_ messages.
#include "framework/controls.h"
#include "stdctrls/common.h"
#include "stdctrls/messages.h"

namespace ax {

enum TStatusPanelStyle { psText, psOwnerDraw };
enum TStatusPanelBevel { pbNone, pbLowered, pbRaised };
enum TProgressBarOrientation { pbHorizontal, pbVertical };

class TStatusBar;

class TStatusPanel : public TCollectionItem {
public:
    explicit TStatusPanel(TCollection* collection);
    AnsiString ClassName() const override { return "TStatusPanel"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    AnsiString DisplayName() const override { return text_.empty() ? ClassName() : text_; }
    const AnsiString& Text() const { return text_; }
    void SetText(const AnsiString& text);
    int Width() const { return width_; }
    void SetWidth(int width);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    TStatusPanelBevel Bevel() const { return bevel_; }
    void SetBevel(TStatusPanelBevel value);
    TStatusPanelStyle Style() const { return style_; }
    void SetStyle(TStatusPanelStyle value);

private:
    AnsiString text_;
    int width_ = 50;
    TAlignment alignment_ = taLeftJustify;
    TStatusPanelBevel bevel_ = pbLowered;
    TStatusPanelStyle style_ = psText;
};

class TStatusPanels : public TCollection {
public:
    explicit TStatusPanels(TStatusBar* bar);
    AnsiString ClassName() const override { return "TStatusPanels"; }
    TStatusPanel* Add() { return static_cast<TStatusPanel*>(TCollection::Add()); }
    TStatusPanel* Items(int index) const { return static_cast<TStatusPanel*>(TCollection::Items(index)); }
    TStatusPanel* operator[](int index) const { return Items(index); }

protected:
    void Update(TCollectionItem* item) override;

private:
    TStatusBar* bar_;
};

using TDrawPanelEvent = std::function<void(TStatusBar* StatusBar, TStatusPanel* Panel, const RECT& Rect)>;

// Geometry: parts lie 2 pixels below the top edge and reach the bottom;
// each part ends at its right edge and the next begins 2 pixels after it;
// a part whose edge is -1 reaches the right side, less the size grip
// (SM_CXVSCROLL wide) when the grip shows.
class TStatusBar : public TCustomControl {
public:
    explicit TStatusBar(TComponent* owner);
    ~TStatusBar() override;
    AnsiString ClassName() const override { return "TStatusBar"; }
    void DefinePublished(TFiler& filer) override;

    TStatusPanels& Panels() { return *panels_; }
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool value);
    const AnsiString& SimpleText() const { return simpleText_; }
    void SetSimpleText(const AnsiString& text);
    bool SizeGrip() const { return sizeGrip_; }
    void SetSizeGrip(bool value);
    // The rectangle of a part (SB_GETRECT); empty for a part that does not
    // exist.
    RECT PartRect(int part);
    // Puts the panels into the parts (edges, texts and styles).
    void UpdatePanels();

    TDrawPanelEvent OnDrawPanel;

    void DefaultHandler(TMessage& message) override;
    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    void CreateParams(TCreateParams& params) override;
    // Owner-drawn panels: OnDrawPanel by default.
    virtual void DrawPanel(TStatusPanel* panel, const RECT& rect);

private:
    struct Part {
        int edge = -1;
        AnsiString text;
        WPARAM flags = 0;
        LPARAM data = 0;
    };
    void DrawPart(TCanvas& canvas, int index, const Part& part, RECT rect);
    std::unique_ptr<TStatusPanels> panels_;
    std::vector<Part> parts_{Part{}};
    Part simple_;
    bool simplePanel_ = false;
    bool simpleMode_ = false; // the SB_SIMPLE state
    AnsiString simpleText_;
    bool sizeGrip_ = true;
};

class TProgressBar : public TCustomControl {
public:
    explicit TProgressBar(TComponent* owner);
    AnsiString ClassName() const override { return "TProgressBar"; }
    void DefinePublished(TFiler& filer) override;
    int Min() const { return min_; }
    void SetMin(int v) { Perform(PBM_SETRANGE32, WPARAM(v), max_); }
    int Max() const { return max_; }
    void SetMax(int v) { Perform(PBM_SETRANGE32, WPARAM(min_), v); }
    int Position() const { return position_; }
    void SetPosition(int v) { Perform(PBM_SETPOS, WPARAM(v)); }
    int Step() const { return step_; }
    void SetStep(int v) { Perform(PBM_SETSTEP, WPARAM(v)); }
    bool Smooth() const { return smooth_; }
    void SetSmooth(bool v);
    TProgressBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TProgressBarOrientation v);
    void StepIt() { Perform(PBM_STEPIT); }
    void StepBy(int delta) { Perform(PBM_DELTAPOS, WPARAM(delta)); }

    void DefaultHandler(TMessage& message) override;

protected:
    void Paint() override;

private:
    int min_ = 0, max_ = 100, position_ = 0, step_ = 10;
    bool smooth_ = false;
    TProgressBarOrientation orientation_ = pbHorizontal;
    TColor barColor_ = clDefault;
};

} // namespace ax
