#pragma once
// Forms, the application object with its message loop, and the screen.
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "framework/controls.h"
#include "framework/menus.h"
#include "platform/gdi/uniqueicon.h"

namespace ax {

using TModalResult = int;
inline constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                              mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

enum TPosition {
    poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
    poMainFormCenter, poOwnerFormCenter
};
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = unsigned;
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

inline constexpr const char* SCannotShowModal = "Cannot make a visible window modal";
inline constexpr const char* SCannotFocus = "Cannot focus a disabled or invisible window";

class TCustomForm : public TWinControl {
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;
    AnsiString ClassName() const override { return "TCustomForm"; }
    void DefinePublished(TFiler& filer) override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void Loaded() override;

    // Runs OnCreate; the application's CreateForm calls it after
    // construction, code that builds a form itself calls it once done.
    void DoCreate();

    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons icons);
    TIcon& Icon() { return *icon_; }
    TPosition Position() const { return position_; }
    void SetPosition(TPosition p) { position_ = p; }
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle style);
    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool v) { keyPreview_ = v; }
    TWinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(TWinControl* control);
    TModalResult ModalResult() const { return modalResult_; }
    // A modal loop blocked in its wait notices at once.
    void SetModalResult(TModalResult result);
    int PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(int ppi) { pixelsPerInch_ = ppi; }
    bool Scaled() const { return scaled_; }
    void SetScaled(bool v) { scaled_ = v; }
    // Scales positions, sizes and fonts of the form's controls by m / d.
    void ScaleBy(int m, int d);
    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* menu);
    bool Active() const { return active_; }
    bool Modal() const { return modal_; }
    int HelpContextOfForm() const { return helpContext_; }

    // Shows the form and runs a message loop until ModalResult is set;
    // the other windows of the thread are disabled meanwhile.
    virtual TModalResult ShowModal();
    void Show();
    void Hide() { SetVisible(false); }
    // Asks OnCloseQuery, then OnClose decides: hide, free, minimise or
    // nothing. A modal form sets ModalResult to mrCancel instead.
    void Close();
    virtual bool CloseQuery();
    // Frees the form once the messages now queued were handled.
    void Release();
    void SetFocusedControl(TWinControl* control);
    void FocusControl(TWinControl* control);
    void DefocusControl(TWinControl* control, bool removing);
    void SendCancelMode(TControl* sender);
    bool WantChildKey(TControl*, TMessage&) { return false; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;

    void Dispatch(TMessage& message) override;
    void Notification(TComponent* component, TOperation operation) override;
    void UpdateShowing() override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    bool HasMenuBar() const override { return menu_ && !parent_; }
    bool ShouldBeShowing() const override;
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& action);
    void SetWindowFocus();
    void ApplyPosition();
    // Tells the window manager whether the window shows a menu bar.
    void UpdateMenuBar();

private:
    TBorderStyle borderStyle_ = bsSizeable;
    TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    std::unique_ptr<TIcon> icon_;
    TPosition position_ = poDesigned;
    TFormStyle formStyle_ = fsNormal;
    TWindowState windowState_ = wsNormal;
    bool keyPreview_ = false;
    TWinControl* activeControl_ = nullptr;
    TWinControl* focusedControl_ = nullptr;
    TModalResult modalResult_ = mrNone;
    int pixelsPerInch_ = 96;
    bool scaled_ = true;
    TMainMenu* menu_ = nullptr;
    bool active_ = false;
    bool modal_ = false;
    bool created_ = false;
    bool positioned_ = false;
    int helpContext_ = 0;
};

class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    AnsiString ClassName() const override { return "TForm"; }
};

// The small window that shows a hint.
class THintWindow : public TCustomControl {
public:
    explicit THintWindow(TComponent* owner);
    AnsiString ClassName() const override { return "THintWindow"; }
    void ActivateHint(RECT rect, const AnsiString& hint);
    RECT CalcHintRect(int maxWidth, const AnsiString& hint);
    void ReleaseHandle() { DestroyHandle(); }

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint() override;
};

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
using TMessageEvent = std::function<void(MSG& Msg, bool& Handled)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using THelpEvent = std::function<bool(WORD Command, intptr_t Data, bool& CallHelp)>;

inline constexpr WORD HELP_CONTEXT = 1, HELP_QUIT = 2, HELP_INDEX = 3, HELP_CONTENTS = 3,
                      HELP_CONTEXTPOPUP = 8;

class TScreen;
class THelpViewer;

class TApplication : public TComponent {
public:
    // The one application object of the process: the constructor makes it
    // (and its screen) the current one, the destructor releases the
    // synchronised calls still waiting and withdraws it.
    explicit TApplication(TComponent* owner);
    ~TApplication() override;
    AnsiString ClassName() const override { return "TApplication"; }

    // Creates a form owned by the application; the first one becomes the
    // main form.
    template <class T> T* CreateForm() {
        T* form = TComponent::Create<T>(this);
        if (!mainForm_) mainForm_ = form;
        form->DoCreate();
        return form;
    }
    TCustomForm* MainForm() const { return mainForm_; }
    void SetMainForm(TCustomForm* form) { mainForm_ = form; }
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool v) { showMainForm_ = v; }

    // Shows the main form and serves messages until Terminate.
    void Run();
    // Serves every message waiting, without blocking.
    void ProcessMessages();
    // Serves one message, or idles and waits for one.
    void HandleMessage();
    void Terminate();
    bool Terminated() const { return terminated_; }
    int ModalLevel() const { return modalLevel_; }
    HWND Handle() const { return handle_; }

    const AnsiString& Title() const { return title_; }
    void SetTitle(const AnsiString& title);
    const AnsiString& HelpFile() const { return helpFile_; }
    void SetHelpFile(const AnsiString& file) { helpFile_ = file; }
    // Runs OnHelp (the help hook) first; unless the hook says otherwise,
    // the help file then gives the help (HELP_CONTEXTPOPUP: a pop-up topic
    // at the pointer; HELP_CONTEXT and HELP_CONTENTS: pages in the desktop's
    // browser). A file name without a folder is looked for beside the
    // program. True when help was given; a failure is reported through
    // HandleException, never raised.
    bool HelpCommand(WORD command, intptr_t data);
    bool HelpContext(int context) { return HelpCommand(HELP_CONTEXT, context); }

    // Runs OnException, or ShowException, for the exception being handled.
    void HandleException(TObject* sender);
    void ShowException(const std::exception& e);
    // How ShowException shows its text (a message box by default; tests
    // and unattended runs replace it).
    std::function<void(const AnsiString& text, const AnsiString& caption)> ExceptionDisplay;

    const AnsiString& Hint() const { return hint_; }
    void SetHint(const AnsiString& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool v);
    int HintPause() const { return hintPause_; }
    void SetHintPause(int ms) { hintPause_ = ms; }
    int HintHidePause() const { return hintHidePause_; }
    void SetHintHidePause(int ms) { hintHidePause_ = ms; }
    TColor HintColor() const { return hintColor_; }
    void SetHintColor(TColor c) { hintColor_ = c; }
    void CancelHint();
    THintWindow* HintWindow() const { return hintWindow_; }
    // The control the hint logic tracks (under the mouse).
    TControl* MouseControl() const { return mouseControl_; }

    void Minimize();
    void Restore();
    bool Minimized() const { return minimized_; }
    bool Active() const { return active_; }
    void BringToFront();

    TExceptionEvent OnException;
    TMessageEvent OnMessage;
    TNotifyEvent OnHint;
    TIdleEvent OnIdle;
    THelpEvent OnHelp;
    TNotifyEvent OnMinimize;
    TNotifyEvent OnRestore;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;

    // Internal: forms report activation and modal loops.
    void ActivateApp(bool active);
    void ModalStarted() { ++modalLevel_; }
    void ModalFinished() { --modalLevel_; }
    // Internal: a control going away is no longer tracked under the mouse.
    void ForgetControl(TControl* control);
    void Notification(TComponent* component, TOperation operation) override;

private:
    bool ProcessMessage(MSG& msg);
    void Idle(const MSG& msg);
    bool IsKeyMsg(MSG& msg);
    void DoMouseIdle();
    void HintTimerExpired();
    void HideHintTimerExpired();
    void ActivateHint(POINT cursor);
    LRESULT AppProc(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
    TCustomForm* mainForm_ = nullptr;
    bool showMainForm_ = true;
    bool terminated_ = false;
    int modalLevel_ = 0;
    AnsiString title_;
    AnsiString helpFile_;
    std::unique_ptr<THelpViewer> helpViewer_;
    AnsiString hint_;
    bool showHint_ = true;
    int hintPause_ = 500;
    int hintHidePause_ = 2500;
    TColor hintColor_ = clInfoBk;
    THintWindow* hintWindow_ = nullptr;
    TControl* mouseControl_ = nullptr;
    TControl* hintControl_ = nullptr;
    bool hintActive_ = false;
    bool minimized_ = false;
    bool active_ = false;
    std::unique_ptr<TScreen> screen_;
};

class TScreen : public TComponent {
public:
    explicit TScreen(TComponent* owner);
    ~TScreen() override;
    AnsiString ClassName() const override { return "TScreen"; }
    int Width() const;
    int Height() const;
    int PixelsPerInch() const { return 96; }
    TCursor Cursor() const { return cursor_; }
    // Shows the cursor over the whole application (crDefault: each
    // control's own again).
    void SetCursor(TCursor cursor);
    // The cursor registered under an id; unknown ids give the arrow.
    HCURSOR Cursors(TCursor id) const;
    // Registers a cursor under an id (the screen takes ownership).
    void SetCursors(TCursor id, HCURSOR cursor);
    int FormCount() const { return int(forms_.size()); }
    TCustomForm* Forms(int index) const { return forms_.at(size_t(index)); }
    TCustomForm* ActiveForm() const { return activeForm_; }
    TWinControl* ActiveControl() const { return activeControl_; }
    // Family names the system offers, sorted.
    const TStringList& Fonts();
    TFont& HintFont() { return *hintFont_; }
    TFont& MenuFont() { return *menuFont_; }
    TFont& IconFont() { return *iconFont_; }

    TNotifyEvent OnActiveFormChange;
    TNotifyEvent OnActiveControlChange;

    // Internal: forms register and report focus.
    void AddForm(TCustomForm* form);
    void RemoveForm(TCustomForm* form);
    void SetActiveForm(TCustomForm* form);
    void SetActiveControl(TWinControl* control);

private:
    TCursor cursor_ = crDefault;
    std::map<TCursor, UniqueIcon> cursors_;
    std::vector<TCustomForm*> forms_;
    TCustomForm* activeForm_ = nullptr;
    TWinControl* activeControl_ = nullptr;
    std::unique_ptr<TStringList> fonts_;
    std::unique_ptr<TFont> hintFont_, menuFont_, iconFont_;
};

// The current application object and its screen (null when none exists).
TApplication* Application();
TScreen* Screen();

// The form a control sits on.
TCustomForm* GetParentForm(const TControl* control);
// The part of a hint before "|", and the part after it (or all of it).
AnsiString GetShortHint(const AnsiString& hint);
AnsiString GetLongHint(const AnsiString& hint);

} // namespace ax
