#pragma once
// Controls: TControl (bounds, visibility, parent, font and colour with
// parent inheritance, text, hints, mouse), TWinControl (a window made on
// demand from its creation parameters, children, tab order, focus, keys),
// TGraphicControl (drawn on its parent) and TCustomControl (a window with a
// canvas and Paint). Messages reach handler methods through Dispatch, each
// class handling its numbers and passing the rest to its base; what nobody
// handles goes to DefaultHandler, the window's default procedure.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "framework/classes.h"
#include "framework/dragobject.h"
#include "framework/graphics.h"
#include "framework/messages.h"
#include "framework/sizeconstraints.h"
#include "platform/window/window.h"
#include "platform/window/windowdc.h"

namespace ax {

class TWinControl;
class TPopupMenu;
class TCustomForm;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAnchorKind : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateFlag : unsigned {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64
};
using TShiftState = unsigned;
using TCursor = int;
inline constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4,
                         crSize = -22, crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9,
                         crUpArrow = -10, crHourGlass = -11, crDrag = -12, crNoDrop = -13, crHSplit = -14,
                         crVSplit = -15, crMultiDrag = -16, crSQLWait = -17, crNo = -18,
                         crAppStart = -19, crHelp = -20, crHandPoint = -21, crSizeAll = -22;

enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
// Right to left: the layout mirrored and the text read right to left; "no
// alignment": read right to left, laid out as usual (the vertical scroll
// bar still at the left); "reading only": only the text reads right to left.
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
// What a windowed control asks of the input method while it has the focus:
// none at all, composing off or on, or as the user left it. The script
// modes ask for composing; the display has no conversion modes to pick.
enum TImeMode {
    imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata, imKata, imChinese,
    imSHanguel, imHanguel
};
using TImeName = AnsiString;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TContextPopupEvent = std::function<void(TObject* Sender, POINT MousePos, bool& Handled)>;
// MousePos is on the screen; Handled keeps the control's own wheel handling away.
using TMouseWheelUpDownEvent = std::function<void(TObject* Sender, TShiftState Shift, POINT MousePos, bool& Handled)>;

// The keyboard and mouse state of a message: Shift from key-flag words.
TShiftState KeysToShiftState(WPARAM keys);
TShiftState KeyDataToShiftState(LPARAM keyData);
TShiftState CurrentShiftState();
// Whether c is the accelerator ("&c") of caption.
bool IsAccel(char c, const AnsiString& caption);
// The caption without its "&" marks ("&&" gives "&").
AnsiString StripHotkey(const AnsiString& caption);

struct TCreateParams {
    AnsiString Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
    UINT WindowClassStyle = CS_DBLCLKS;
    int Background = COLOR_BTNFACE; // system colour index of the class brush, -1 none
    AnsiString WinClassName;
};

struct THintInfo {
    class TControl* HintControl = nullptr;
    POINT CursorPos{};
    RECT CursorRect{};
    AnsiString HintStr;
    int HintMaxWidth = 0;
    TColor HintColor = clInfoBk;
    int HideTimeout = 0;
};

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;
    AnsiString ClassName() const override { return "TControl"; }
    void DefinePublished(TFiler& filer) override;

    // Messages.
    std::function<void(TMessage&)> WindowProc;
    virtual void WndProc(TMessage& message);
    virtual void Dispatch(TMessage& message);
    virtual void DefaultHandler(TMessage& message);
    LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

    // Geometry, relative to the parent's client area.
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    void SetBoundsRect(const RECT& r) { SetBounds(r.left, r.top, r.width(), r.height()); }
    virtual RECT ClientRect();
    int ClientWidth() { return ClientRect().width(); }
    int ClientHeight() { return ClientRect().height(); }
    // Sizes the control so that its client area is width x height.
    void SetClientSize(int width, int height);
    // What the frame around the client area takes, across and down.
    virtual SIZE NonClientSize() { return {0, 0}; }
    POINT ClientOrigin();
    POINT ClientToScreen(POINT p);
    POINT ScreenToClient(POINT p);
    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);
    TAnchors Anchors() const { return anchors_; }
    void SetAnchors(TAnchors anchors) { anchors_ = anchors; }

    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;
    bool HasParent() const override { return true; }
    void Notification(TComponent* component, TOperation operation) override;

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    void Show();
    void Hide() { SetVisible(false); }
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    // Visible here and in every parent up to a shown window.
    virtual bool Showing() const;

    const AnsiString& Caption() const { return text_; }
    void SetCaption(const AnsiString& text) { SetText(text); }
    virtual AnsiString Text() const { return text_; }
    virtual void SetText(const AnsiString& text);

    TFont& Font() { return *font_; }
    void SetFont(const TFont& font) { font_->Assign(&font); }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool value);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool value);
    const AnsiString& Hint() const { return hint_; }
    void SetHint(const AnsiString& hint) { hint_ = hint; }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value);
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool value);
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu);
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int v) { helpContext_ = v; }
    // The parent's mode while ParentBiDiMode is on (the default); setting
    // a mode turns it off. Every change reaches the control and the
    // children that follow it as CM_BIDIMODECHANGED.
    TBiDiMode BiDiMode() const;
    void SetBiDiMode(TBiDiMode mode);
    bool ParentBiDiMode() const { return parentBiDiMode_; }
    void SetParentBiDiMode(bool value);
    bool IsRightToLeft() const { return BiDiMode() != bdLeftToRight; }
    // The layout is mirrored.
    bool UseRightToLeftAlignment() const { return BiDiMode() == bdRightToLeft; }
    bool UseRightToLeftReading() const { return BiDiMode() != bdLeftToRight; }
    bool UseRightToLeftScrollBar() const {
        return BiDiMode() == bdRightToLeft || BiDiMode() == bdRightToLeftNoAlign;
    }

    virtual void Invalidate();
    // Paints what is invalid at once. Not virtual: a descendant may have an
    // Update of its own (a dialog's "apply"), and a repaint must never reach
    // it. Descendants change how the paint is flushed through FlushPaint.
    void Update() { FlushPaint(); }
    virtual void FlushPaint();
    virtual void Repaint();
    void Refresh() { Repaint(); }
    void BringToFront();
    void SendToBack();
    virtual void Click();
    virtual void DblClick();
    TCustomForm* ParentForm() const;
    // The control as a windowed one, or null (cheaper than a dynamic cast).
    TWinControl* AsWinControl();

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnResize;
    TContextPopupEvent OnContextPopup;

    bool MouseCapture() const;
    void SetMouseCapture(bool value);
    bool MouseInControl() const { return mouseInControl_; }

    // Dragging. In automatic mode a left press begins a drag that starts
    // once the pointer has moved past the default threshold. A control of
    // kind dkDock is dragged itself: dropped on a dock site it moves there,
    // dropped anywhere else it floats in a window of its own.
    TDragMode DragMode() const { return dragMode_; }
    void SetDragMode(TDragMode mode) { dragMode_ = mode; }
    TDragKind DragKind() const { return dragKind_; }
    void SetDragKind(TDragKind kind) { dragKind_ = kind; }
    TCursor DragCursor() const { return dragCursor_; }
    void SetDragCursor(TCursor cursor) { dragCursor_ = cursor; }
    // Starts a drag of this control at once, or when the pointer has moved
    // more than threshold pixels (negative: the default) with the button held.
    void BeginDrag(bool immediate, int threshold = -1);
    // Drops on the target under the pointer when drop is true and it
    // accepts; cancels otherwise.
    void EndDrag(bool drop);
    // A drag of this control is under way (not merely waiting).
    bool Dragging() const;
    TSizeConstraints& Constraints() { return *constraints_; }

    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;
    TStartDragEvent OnStartDrag;
    TEndDragEvent OnEndDrag;
    TStartDockEvent OnStartDock;
    TEndDockEvent OnEndDock;
    TMouseWheelUpDownEvent OnMouseWheelDown;
    TMouseWheelUpDownEvent OnMouseWheelUp;

protected:
    friend class TDragManager;
    // A drag is over the control: accept says whether it would take it.
    // The default asks OnDragOver, and refuses when there is none.
    virtual void DoControlDragOver(TObject* source, int x, int y, TDragState state, bool& accept);
    virtual void DoControlDragDrop(TObject* source, int x, int y);
    virtual void DoStartDrag(TDragObject*& dragObject);
    virtual void DoEndDrag(TObject* target, int x, int y);
    virtual void DoStartDock(TDragDockObject*& dragObject);
    virtual void DoEndDock(TObject* target, int x, int y);
    // A drag of this control ended without a drop.
    virtual void DragCanceled() {}
    // Raises OnMouseWheelDown or OnMouseWheelUp for a WM_MOUSEWHEEL.
    bool MouseWheelEvents(const TMessage& m);
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void Resize();
    virtual void Changed();
    // Tells the parent and the control of a change (CM_ message).
    void SendCancelMode(TControl* sender);
    virtual void AdjustSize() {}
    void InvalidateControl(bool isVisible, bool isOpaque);
    bool opaque_ = false; // graphic controls that paint every pixel
    bool clicksDisabled_ = false;
    bool mouseInControl_ = false;
    bool windowed_ = false; // a TWinControl

    void WMMouse(TMessage& m, TMouseButton button, bool down, bool dbl);
    void CMMouseEnter(TMessage& m);
    void CMMouseLeave(TMessage& m);
    void CMParentFontChanged(TMessage& m);
    void CMParentColorChanged(TMessage& m);
    void CMParentShowHintChanged(TMessage& m);
    void CMHitTest(TMessage& m) { m.Result = HTCLIENT; }
    void WMContextMenu(TMessage& m);

    friend class TWinControl;
    TWinControl* parent_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    TAlign align_ = alNone;
    TAnchors anchors_ = akLeft | akTop;
    bool visible_ = true;
    bool enabled_ = true;
    AnsiString text_;
    std::unique_ptr<TFont> font_;
    bool parentFont_ = true;
    TColor color_ = clWindow;
    bool parentColor_ = false;
    AnsiString hint_;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    TBiDiMode biDiMode_ = bdLeftToRight;
    bool parentBiDiMode_ = true;
    TCursor cursor_ = crDefault;
    TPopupMenu* popupMenu_ = nullptr;
    int helpContext_ = 0;
    bool pressedLeft_ = false;
    TDragMode dragMode_ = dmManual;
    TDragKind dragKind_ = dkDrag;
    TCursor dragCursor_ = crDrag;
    std::unique_ptr<TSizeConstraints> constraints_;

private:
    void FontChanged();
    bool ignoreFontChange_ = false;
};

// Draws on a control: its window's DC, or for a graphic control its
// parent's DC moved and clipped to the control.
class TControlCanvas : public TCanvas {
public:
    explicit TControlCanvas(TControl& control) : control_(control) {}
    ~TControlCanvas() override { FreeHandle(); }
    // Lets go of the DC the canvas made for itself, if it holds one; the
    // next drawing makes a new one where the control is then.
    void FreeHandle();
    // Another DC (a paint DC, or none) replaces the canvas's own, which is
    // released.
    void SetHandle(HDC dc) override;
    void UpdateTextFlags() {}

protected:
    void CreateHandle() override;

private:
    TControl& control_;
    std::optional<WindowDC> own_;
};

class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;
    AnsiString ClassName() const override { return "TWinControl"; }
    void DefinePublished(TFiler& filer) override;

    // The window, made with its parents' when first asked for.
    HWND Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }
    void HandleNeeded() { (void)Handle(); }
    // Destroys the window, keeping the control's state; the next Handle
    // makes a new one (at once when the control is showing).
    void RecreateWnd();
    void DestroyHandle();
    HWND ParentWindow() const { return parentWindow_; }
    void SetParentWindow(HWND window);

    int ControlCount() const { return int(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(size_t(index)); }
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    bool ContainsControl(const TControl* control) const;
    TControl* ControlAtPos(POINT p, bool allowDisabled) const;

    // Focus and tab order.
    int TabOrder() const;
    void SetTabOrder(int order);
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool value);
    virtual bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();
    // The tab stops of this control and its children, in tab order.
    void GetTabOrderList(std::vector<TWinControl*>& list);
    TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop,
                                 bool checkParent);
    void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);
    virtual void SelectFirst();

    bool Showing() const override;
    void SetBounds(int left, int top, int width, int height) override;
    RECT ClientRect() override;
    SIZE NonClientSize() override;
    void Invalidate() override;
    void FlushPaint() override;
    void Repaint() override;
    void Realign() { AlignControls(nullptr); }
    // Shows or hides the window as the control and its parents say.
    virtual void UpdateShowing();
    // Paints the graphic children of this window.
    void PaintControls(HDC dc, TControl* first);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);
    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool value) { ctl3D_ = value; }
    TImeMode ImeMode() const { return imeMode_; }
    void SetImeMode(TImeMode mode);
    const TImeName& ImeName() const { return imeName_; }
    void SetImeName(const TImeName& name);
    void DisableAlign() { ++alignDisabled_; }
    void EnableAlign();
    // Controls of kind dkDock dropped on the window become its children.
    bool DockSite() const { return dockSite_; }
    void SetDockSite(bool value) { dockSite_ = value; }

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;

    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;

    // The control a window belongs to, if it is one of ours.
    static TWinControl* FindControl(HWND window);

protected:
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateWnd();
    virtual void CreateWindowHandle(const TCreateParams& params);
    // Runs before the window goes; derived classes save what the window
    // alone held.
    virtual void DestroyWnd();
    virtual void DestroyWindowHandle();
    virtual void CreateHandle();
    // Whether the window shows a menu bar (which takes from the client area).
    virtual bool HasMenuBar() const { return false; }
    virtual void PaintWindow(HDC dc);
    virtual void AlignControls(TControl* control);
    // Whether the window should be shown now; top-level windows decide by
    // themselves.
    virtual bool ShouldBeShowing() const;
    virtual void DoEnter();
    virtual void DoExit();
    // Answer true to swallow the key.
    virtual bool DoKeyDown(WORD& key, TShiftState shift);
    virtual bool DoKeyPress(char& key);
    virtual bool DoKeyUp(WORD& key, TShiftState shift);
    virtual void KeyDown(WORD& key, TShiftState shift);
    virtual void KeyPress(char& key);
    virtual void KeyUp(WORD& key, TShiftState shift);
    // What the window wants of the dialog keys.
    virtual LRESULT DialogCode() { return 0; }
    void SetWindowStyleBit(DWORD bit, bool on);
    // For the controls that publish ImeMode and ImeName.
    void DefineImePublished(TFiler& f);
    void UpdateBounds();
    void PaintHandler(TMessage& m);

    void WMPaint(TMessage& m);
    void WMEraseBkgnd(TMessage& m);
    void WMSetFocus(TMessage& m);
    void WMKillFocus(TMessage& m);
    void WMKey(TMessage& m);
    void WMSize(TMessage& m);
    void WMMove(TMessage& m);
    void WMCommand(TMessage& m);
    void WMSetCursor(TMessage& m);
    void CMEnabledChanged(TMessage& m);
    void CMVisibleChanged(TMessage& m);
    void CMColorChanged(TMessage& m);
    void CMFontChanged(TMessage& m);
    void CMShowingChanged(TMessage& m);
    void CMSysColorChange(TMessage& m);
    void CMDialogKey(TMessage& m);
    void CMDialogChar(TMessage& m);
    void CMEnter(TMessage&) { DoEnter(); }
    void CMExit(TMessage&) { DoExit(); }
    void CMChildKey(TMessage& m);
    void CMFocusChanged(TMessage& m);

    friend class TControl;
    HWND handle_ = nullptr;
    HWND parentWindow_ = nullptr;
    std::vector<TControl*> controls_;     // all children, z order
    std::vector<TWinControl*> tabList_;   // windowed children, tab order
    bool tabStop_ = false;
    bool ctl3D_ = true;
    bool dockSite_ = false;
    TImeMode imeMode_ = imDontCare;
    TImeName imeName_;
    int borderWidth_ = 0;
    int alignDisabled_ = 0;
    bool alignPending_ = false;
    bool creating_ = false;
    bool showing_ = false;
    bool destroyingHandle_ = false;
    bool aligning_ = false;
    bool creatingChildren_ = false; // making the children's windows in stacking order

private:
    static LRESULT ClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void MainWndProc(TMessage& m);
    void ApplyIme();
    void TakeStackingPlace();
};

class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* owner);
    ~TGraphicControl() override;
    AnsiString ClassName() const override { return "TGraphicControl"; }
    TCanvas& Canvas() { return *canvas_; }
    void Dispatch(TMessage& message) override;
    void SetBounds(int left, int top, int width, int height) override;
    // The canvas draws through the parent's DC: a new parent window needs a new one.
    void FreeCanvasHandle() { canvas_->FreeHandle(); }

protected:
    virtual void Paint() {}

private:
    std::unique_ptr<TControlCanvas> canvas_;
};

class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* owner);
    ~TCustomControl() override;
    AnsiString ClassName() const override { return "TCustomControl"; }
    TCanvas& Canvas() { return *canvas_; }
    void Dispatch(TMessage& message) override;

protected:
    virtual void Paint() {}
    void PaintWindow(HDC dc) override;

private:
    std::unique_ptr<TControlCanvas> canvas_;
};

// Turns the current exception into the application's exception handling;
// message handlers run inside this guard.
void HandleControlException();
// Installed by the application object.
void SetControlExceptionHandler(std::function<void()> handler);

} // namespace ax
