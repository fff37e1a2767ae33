#pragma once
// TFormAutoSize adapts the form that owns it once, when the form is first
// shown: it restores the client height the form had at design time, or
// scales the form to the screen's size and pixel density (and the fonts of
// its controls). A component whose design values were never recorded
// changes nothing.
#include <memory>

#include "framework/forms.h"

namespace ax {

// The screen and form at design time.
class TDesignTimeSize : public TPersistent {
public:
    AnsiString ClassName() const override { return "TDesignTimeSize"; }
    void DefinePublished(TFiler& filer) override;
    void Assign(const TPersistent* source) override;
    int Width = 0, Height = 0; // the screen, in pixels
    int ClientHeight = 0;      // the form's client height
    int PixelsPerInch = 0;
};

class TFormAutoSize : public TComponent {
public:
    // Owned by a form that is being designed, the component records the
    // screen and the form as they are.
    explicit TFormAutoSize(TComponent* owner);
    ~TFormAutoSize() override;
    AnsiString ClassName() const override { return "TFormAutoSize"; }
    void DefinePublished(TFiler& filer) override;
    // Once the form's description is read: an active component takes the
    // form's OnShow (the form's own handler runs after it).
    void Loaded() override;

    TDesignTimeSize& DesignTimeSize() { return designTimeSize_; }
    void SetDesignTimeSize(const TDesignTimeSize& size) { designTimeSize_.Assign(&size); }
    // Cleared by the first show.
    bool Active() const { return active_; }
    void SetActive(bool value) { active_ = value; }
    // These two exclude each other: setting one clears the other.
    bool ClientAutoSize() const { return clientAutoSize_; }
    void SetClientAutoSize(bool value);
    bool AllowAutoSize() const { return allowAutoSize_; }
    void SetAllowAutoSize(bool value);
    bool CheckPixelsPerInch() const { return checkPixelsPerInch_; }
    void SetCheckPixelsPerInch(bool value) { checkPixelsPerInch_ = value; }
    bool CheckFontSize() const { return checkFontSize_; }
    void SetCheckFontSize(bool value) { checkFontSize_ = value; }

    // The form's OnShow while the component has it.
    void ScaleOnShow(TObject* sender);

private:
    struct Hold;
    TCustomForm* Form() const { return dynamic_cast<TCustomForm*>(Owner()); }
    void Scale(TCustomForm& form);

    TDesignTimeSize designTimeSize_;
    bool active_ = false;
    bool clientAutoSize_ = false;
    bool allowAutoSize_ = false;
    bool checkPixelsPerInch_ = false;
    bool checkFontSize_ = false;
    // What the form's OnShow reaches: this component while it lives, and
    // the form's previous handler.
    std::shared_ptr<Hold> hold_;
};

} // namespace ax
