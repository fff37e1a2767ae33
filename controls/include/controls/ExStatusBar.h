#pragma once
// The status bar with typed panels: text, lock keys, date and time clocks,
// text and paths shortened with an ellipsis, a glyph, a gauge (percentage or
// a bouncing "busy" dot or gradient) and owner-drawn panels. Every typed
// panel owns one owner-drawn panel of the inherited status bar, which lays
// out the parts; the typed panel paints its part. Clocks and animated
// gauges share one timer per bar; lock-key panels follow the program's
// keyboard through a thread keyboard hook, or the optional keyboard-monitor
// library (ExKb.h). GUI thread only.
#include <memory>
#include <optional>
#include <vector>

#include "controls/ExHook.h"
#include "framework/menus.h"
#include "framework/timers.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquedc.h"
#include "platform/gdi/uniquegdiobject.h"
#include "stdctrls/comctrls.h"
#include "stdctrls/common.h"

namespace ax {

enum TExStatusPanelType {
    sptNormal, sptCapsLock, sptNumLock, sptScrollLock, sptDate, sptTime, sptDateTime, sptTimeDate,
    sptEllipsisText, sptEllipsisPath, sptGlyph, sptGauge, sptOwnerDraw
};
enum TExGaugeStyle { gsPercent, gsIndeterminate, gsIndeterminate2 };
using TPercent = int; // 0..100

class TExStatusBar;
class TExStatusPanel;
class TExStatusPanels;

using TExDrawPanelEvent = std::function<void(TExStatusBar* StatusBar, TExStatusPanel* Panel, const RECT& Rect)>;
using TExPanelHintTextEvent = std::function<void(TExStatusBar* StatusBar, TExStatusPanel* Panel, AnsiString& Hint)>;

// Posted to the bar when the lock keys may have changed unseen (the
// program was activated or deactivated).
inline constexpr UINT WM_REFRESHLOCKINDICATORS = 32998;

inline constexpr const char* SPanelOwner = "TExStatusPanel owner must be TExStatusPanels";
inline constexpr const char* SPanelLinksCorrupted = "Panel links corrupted";
inline constexpr const char* SCouldNotLoad = "Could not load ";
inline constexpr const char* SUnbalancedMainWinHook = "Unbalanced MainWinHook registrations";

// The gauge of a panel.
class TExGaugeAttrs : public TPersistent {
public:
    explicit TExGaugeAttrs(TExStatusPanel* owner) : owner_(owner) {}
    AnsiString ClassName() const override { return "TExGaugeAttrs"; }
    // Copies every attribute, each through its setter.
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;

    TExGaugeStyle Style() const { return style_; }
    void SetStyle(TExGaugeStyle style);
    TPercent Position() const { return position_; }
    void SetPosition(TPercent position); // clamped to 0..100
    // Pixels per animation step; the sign is ignored.
    int Speed() const { return speed_; }
    void SetSpeed(int speed);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TColor TextColor() const { return textColor_; }
    void SetTextColor(TColor color);
    TExStatusPanel* Owner() const { return owner_; }

private:
    TExStatusPanel* owner_;
    TExGaugeStyle style_ = gsPercent;
    TPercent position_ = 0;
    int speed_ = 4;
    TColor color_ = clHighlight;
    TColor textColor_ = clHighlightText;
};

class TExStatusPanel : public TCollectionItem {
public:
    // Raises "TExStatusPanel owner must be TExStatusPanels" in any other
    // collection.
    explicit TExStatusPanel(TCollection* collection);
    ~TExStatusPanel() override;
    AnsiString ClassName() const override { return "TExStatusPanel"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    // The type's name ("sptGauge"), or the text for text panels.
    AnsiString DisplayName() const override;
    void SetIndex(int index) override;

    TExGaugeAttrs& GaugeAttrs() { return *gaugeAttrs_; }
    TAlignment Alignment() const;
    void SetAlignment(TAlignment value);
    TStatusPanelBevel Bevel() const;
    void SetBevel(TStatusPanelBevel value);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int value);
    bool Grayed() const { return grayed_; }
    void SetGrayed(bool value);
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu);
    TBiDiMode BiDiMode() const { return biDiMode_; }
    void SetBiDiMode(TBiDiMode value) { biDiMode_ = value; }
    bool ParentBiDiMode() const { return parentBiDiMode_; }
    void SetParentBiDiMode(bool value) { parentBiDiMode_ = value; }
    TExStatusPanelType PanelType() const { return panelType_; }
    void SetPanelType(TExStatusPanelType type);
    TPicture& Glyph() { return *glyph_; }
    void SetGlyph(const TPicture& glyph) { glyph_->Assign(&glyph); }
    const AnsiString& Text() const { return text_; }
    void SetText(const AnsiString& text);
    const AnsiString& DateFormat() const { return dateFormat_; }
    void SetDateFormat(const AnsiString& format);
    const AnsiString& TimeFormat() const { return timeFormat_; }
    void SetTimeFormat(const AnsiString& format);
    bool Enabled() const; // own flag and the bar's
    void SetEnabled(bool value);
    int Width() const;
    void SetWidth(int width);
    bool AutoFit() const { return autoFit_; }
    void SetAutoFit(bool value);
    // The hint shown for the panel ("..." on an ellipsis panel: its text).
    AnsiString Hint() const;
    void SetHint(const AnsiString& hint) { hint_ = hint; }

    TExDrawPanelEvent OnDrawPanel;
    TExPanelHintTextEvent OnHintText;
    TNotifyEvent OnClick;

    // State the bar and the keyboard keep.
    bool LockState() const { return lockState_; }
    void SetLockState(bool on) { lockState_ = on; }
    int AnimPos() const { return animPos_; }
    int AnimStep() const { return animStep_; }
    TExStatusBar* StatusBar() const;
    TStatusPanel* LinkedPanel() const { return linked_; }
    // Draws the panel into its part now, not waiting for the next paint.
    void Redraw();

    virtual void UpdateAutoFitWidth();
    virtual void UpdateDateTime();
    virtual void GlyphChanged();
    // What the bar's owner drawing does for the panel.
    virtual void PanelNeedsDraw(TCanvas& canvas, const RECT& rect);
    virtual void EnabledChanged();
    virtual void DoHintText(AnsiString& hint);
    // Paints the part: background, then the type's contents.
    virtual void DrawPanel(TCanvas& canvas, RECT rect);
    virtual void Click();

protected:
    virtual void DrawKeyLock(TCanvas& canvas, RECT rect);
    virtual void DrawTextBased(TCanvas& canvas, RECT rect);
    virtual void DrawGlyph(TCanvas& canvas, RECT rect);
    virtual void DrawGauge(TCanvas& canvas, RECT rect);
    virtual void DrawIndeterminateGauge(TCanvas& canvas, RECT rect);
    virtual void CreateGaugeBitmap(int height);

private:
    friend class TExGaugeAttrs;
    friend class TExStatusPanels;
    friend class TExStatusBar;
    TExStatusPanels& Panels() const;
    bool IsLockKey() const { return panelType_ >= sptCapsLock && panelType_ <= sptScrollLock; }
    bool IsClock() const { return panelType_ >= sptDate && panelType_ <= sptTimeDate; }
    bool IsAnimatedGauge() const;
    // Registrations follow the panel's type, enabled state, gauge style and
    // the bar's keyboard choice: every change undoes what is registered and
    // registers what the new state needs.
    void Unregister();
    void Register();
    void ResetAnimation();
    UINT TextFlags() const;
    void DrawEmbossed(HDC dc, const AnsiString& text, RECT rect, UINT flags);

    TStatusPanel* linked_ = nullptr;
    std::unique_ptr<TExGaugeAttrs> gaugeAttrs_;
    std::unique_ptr<TPicture> glyph_;
    int borderWidth_ = 0;
    bool grayed_ = false;
    TPopupMenu* popupMenu_ = nullptr;
    TBiDiMode biDiMode_ = bdLeftToRight;
    bool parentBiDiMode_ = true;
    TExStatusPanelType panelType_ = sptNormal;
    AnsiString text_, dateFormat_, timeFormat_, hint_;
    bool enabled_ = true;
    bool autoFit_ = false;
    bool lockState_ = false;
    int animPos_ = 0, animStep_ = 1;
    std::unique_ptr<TBitmap> gradient_;
    // What is registered now.
    bool onTimer_ = false, onHook_ = false, onMonitor_ = false;
};

class TExStatusPanels : public TCollection {
public:
    explicit TExStatusPanels(TExStatusBar* bar);
    ~TExStatusPanels() override;
    AnsiString ClassName() const override { return "TExStatusPanels"; }
    TExStatusPanel* Add() { return static_cast<TExStatusPanel*>(TCollection::Add()); }
    TExStatusPanel* Items(int index) const { return static_cast<TExStatusPanel*>(TCollection::Items(index)); }
    TExStatusPanel* operator[](int index) const { return Items(index); }
    TExStatusBar* Bar() const { return bar_; }
    // The shared timer of clocks and animated gauges (null when none needs it).
    TTimer* Timer() const { return timer_; }

protected:
    void Update(TCollectionItem* item) override;

private:
    friend class TExStatusPanel;
    void RegisterTimer(TExStatusPanel* panel);
    void DeregisterTimer(TExStatusPanel* panel);
    void Tick();
    TExStatusBar* bar_;
    TTimer* timer_ = nullptr;
    std::vector<TExStatusPanel*> timerPanels_;
    int lastDate_ = 0;
};

class TExStatusBar : public TStatusBar {
public:
    explicit TExStatusBar(TComponent* owner);
    ~TExStatusBar() override;
    AnsiString ClassName() const override { return "TExStatusBar"; }
    void DefinePublished(TFiler& filer) override;
    void Loaded() override;

    TExStatusPanels& Panels() { return *exPanels_; }
    void SetPanels(const TExStatusPanels& panels) { exPanels_->Assign(&panels); }
    bool UseMonitorDLL() const { return useMonitorDLL_; }
    void SetUseMonitorDLL(bool value);
    AnsiString Version() const { return "TExStatusBar v1.24 enhanced"; }
    // Draws the panel again at once; EListError for a bad index.
    void InvalidatePanel(int index);
    // The part's rectangle; empty without a window or for a bad index.
    RECT GetPanelRect(int index);
    // The panel whose part holds the point (client coordinates), if any.
    TExStatusPanel* PanelAt(POINT p);
    // The measuring context (the bar's font selected).
    HDC MeasureDC() const { return measureDC_.Get(); }
    // The library's message number while registered with it (0 otherwise).
    UINT MonitorMessage() const { return monitorMessage_; }

    TExDrawPanelEvent OnDrawPanel;

    void Click() override;
    void WndProc(TMessage& message) override;
    void Dispatch(TMessage& message) override;

protected:
    void CreateWnd() override;
    void DrawPanel(TStatusPanel* panel, const RECT& rect) override;

private:
    friend class TExStatusPanel;
    void RecreateMeasureFont();
    void UpdateAutoFitWidths();
    void RegisterMonitor();
    void DeregisterMonitor();
    void RegisterMainWinHook();
    void DeregisterMainWinHook();
    void RefreshLockPanels();
    void PaintSizeGrip();
    void ShowPanelHint(TMessage& m);

    std::unique_ptr<TExStatusPanels> exPanels_;
    UniqueDC measureDC_;
    UniqueFont measureFont_;
    // After the two: puts the DC's own font back before the font and the DC go.
    std::optional<ScopedSelection<HFONT>> measureSelection_;
    bool useMonitorDLL_ = false;
    int monitorPanels_ = 0;
    UINT monitorMessage_ = 0;
    int hookPanels_ = 0;
    TExWindowHook* mainWinHook_ = nullptr;
};

// Timer registrations of every bar (balanced when every panel is gone).
int StatusBarTimerRegistrations();
// Whether the thread keyboard hook for lock-key panels is installed.
bool StatusBarKeyboardHookInstalled();

} // namespace ax
