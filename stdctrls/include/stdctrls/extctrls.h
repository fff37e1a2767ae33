#pragma once
// Panel, bevel and image.
#include "framework/controls.h"
#include "stdctrls/common.h"

namespace ax {

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };
using TBevelWidth = int;

class TCustomPanel : public TCustomControl {
public:
    explicit TCustomPanel(TComponent* owner);
    AnsiString ClassName() const override { return "TCustomPanel"; }
    void DefinePublished(TFiler& filer) override;
    void SetName(const AnsiString& name) override;
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut value);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut value);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int value);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    // The client area less the bevels and border (where children align).
    RECT ClientRect() override;

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint() override;
    // Whether a new name also becomes the caption (while it still equals
    // the old name); descendants that show other text turn it off.
    bool setCaptionFromName_ = true;
    TBevelCut bevelInner_ = bvNone;
    TBevelCut bevelOuter_ = bvRaised;
    int bevelWidth_ = 1;
    TBorderStyle borderStyle_ = bsNone;
    TAlignment alignment_ = taCenter;
};

class TPanel : public TCustomPanel {
public:
    using TCustomPanel::TCustomPanel;
    AnsiString ClassName() const override { return "TPanel"; }
};

class TBevel : public TGraphicControl {
public:
    explicit TBevel(TComponent* owner);
    AnsiString ClassName() const override { return "TBevel"; }
    void DefinePublished(TFiler& filer) override;
    TBevelShape Shape() const { return shape_; }
    void SetShape(TBevelShape value);
    TBevelStyle Style() const { return style_; }
    void SetStyle(TBevelStyle value);

protected:
    void Paint() override;

private:
    TBevelShape shape_ = bsBox;
    TBevelStyle style_ = bsLowered;
};

class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* owner);
    ~TImage() override;
    AnsiString ClassName() const override { return "TImage"; }
    void DefinePublished(TFiler& filer) override;
    TPicture& Picture() { return *picture_; }
    void SetPicture(const TPicture& picture) { picture_->Assign(&picture); }
    // The canvas of the picture's bitmap; an empty picture first becomes a
    // bitmap the size of the image.
    TCanvas& Canvas();
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    // Where the picture is drawn, in client coordinates.
    RECT DestRect();

protected:
    void Paint() override;

private:
    void PictureChanged();
    std::unique_ptr<TPicture> picture_;
    bool autoSize_ = false;
    bool center_ = false;
    bool stretch_ = false;
    bool transparent_ = false;
};

} // namespace ax
