#pragma once
// The "?" help mode: StartHelp puts the active form into a mode in which a
// click on a control shows that control's help topic as a pop-up; Escape, a
// click, or the program losing the activation ends it. Entering the mode
// again while in it changes nothing, and ending it twice is harmless.
#include "framework/forms.h"

namespace ax {

enum TUseTags { utNever, utGraphicControl, utAlways };

class TPopUpHelp : public TComponent {
public:
    explicit TPopUpHelp(TComponent* owner) : TComponent(owner) {}
    ~TPopUpHelp() override;
    AnsiString ClassName() const override { return "TPopUpHelp"; }
    void DefinePublished(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;

    TUseTags UseTags() const { return useTags_; }
    void SetUseTags(TUseTags value) { useTags_ = value; }
    bool CancelOnZero() const { return cancelOnZero_; }
    void SetCancelOnZero(bool value) { cancelOnZero_ = value; }

    void StartHelp();
    bool InHelpMode() const { return helpMode_; }
    // The control and point of the last help click.
    TControl* ClickedControl() const { return clicked_; }

private:
    void HelpClick();
    void HelpKey(WORD& key);
    void ShowHelp(TControl* control);
    int ContextOf(TControl* control) const;
    void EndHelp();

    TUseTags useTags_ = utGraphicControl;
    bool cancelOnZero_ = true;
    bool helpMode_ = false;
    TCustomForm* form_ = nullptr;
    TCursor savedCursor_ = crDefault;
    TNotifyEvent savedClick_, savedDblClick_;
    TKeyEvent savedKeyDown_;
    bool savedKeyPreview_ = false;
    TNotifyEvent savedDeactivate_;
    TControl* clicked_ = nullptr;
    POINT clickPoint_{};
};

} // namespace ax
