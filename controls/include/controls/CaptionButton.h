#pragma once
// A push button with a glyph in the title bar of the form that owns it,
// left of the system buttons, reporting clicks. It hears the form's window
// through an entry of its own in the window's subclass chain (which it
// alone takes out again), hit-tests the caption as a code of its own and
// paints into the frame after the window layer has.
#include <memory>

#include "controls/ExHook.h"
#include "framework/forms.h"

namespace ax {

class TCaptionButton : public TComponent {
public:
    // owner: the form whose caption carries the button.
    explicit TCaptionButton(TComponent* owner);
    ~TCaptionButton() override;
    AnsiString ClassName() const override { return "TCaptionButton"; }
    void DefinePublished(TFiler& filer) override;

    TBitmap& Glyph() { return *glyph_; }
    void SetGlyph(const TBitmap* glyph);
    // Distance of the button from the window's right edge, in pixels.
    int RightMargin() const { return rightMargin_; }
    void SetRightMargin(int margin);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    // The hit-test code the caption answers over the button: 666 for the
    // first button made, one more for each after it.
    WORD HitTestCode() const { return hitCode_; }
    bool Pressed() const { return pressed_; }
    // Where the button was last drawn, as kept for the hit test (only its
    // left and right edges are compared, in client coordinates).
    RECT ButtonRect() const { return rect_; }

    TNotifyEvent OnClick;

private:
    void BeforeFormMessage(TMessage& m);
    void FormMessage(TMessage& m);
    void DrawCaptionButton(bool pressed);
    // Repaints the frame, keeping the caption's activation as it is.
    void Repaint();
    // Whether a point on the screen is over the button now.
    bool Over(POINT screen);
    void Release();

    TCustomForm* form_;
    std::unique_ptr<TBitmap> glyph_;
    std::unique_ptr<TExWindowHook> hook_;
    int rightMargin_ = 0;
    bool visible_ = true;
    const WORD hitCode_;
    RECT rect_{};
    bool pressed_ = false;
    bool captured_ = false;
    bool releasedOnButton_ = false; // the release being handled is a click
};

} // namespace ax
