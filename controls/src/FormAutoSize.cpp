// Form auto-size on first show.
#include "controls/FormAutoSize.h"

#include "framework/streaming.h"

namespace ax {

struct TFormAutoSize::Hold {
    TFormAutoSize* component;
    TNotifyEvent previous;
};

void TDesignTimeSize::DefinePublished(TFiler& f) {
    TPersistent::DefinePublished(f);
    f.Integer("Width", [this] { return Width; }, [this](int64_t v) { Width = int(v); }, 0);
    f.Integer("Height", [this] { return Height; }, [this](int64_t v) { Height = int(v); }, 0);
    f.Integer("ClientHeight", [this] { return ClientHeight; }, [this](int64_t v) { ClientHeight = int(v); }, 0);
    f.Integer("PixelsPerInch", [this] { return PixelsPerInch; }, [this](int64_t v) { PixelsPerInch = int(v); }, 0);
}

void TDesignTimeSize::Assign(const TPersistent* source) {
    if (const auto* s = dynamic_cast<const TDesignTimeSize*>(source)) {
        Width = s->Width;
        Height = s->Height;
        ClientHeight = s->ClientHeight;
        PixelsPerInch = s->PixelsPerInch;
        return;
    }
    TPersistent::Assign(source);
}

TFormAutoSize::TFormAutoSize(TComponent* owner) : TComponent(owner) {
    auto* form = dynamic_cast<TCustomForm*>(owner);
    if (form && (form->HasState(csDesigning) || HasState(csDesigning)) && Screen()) {
        designTimeSize_.Width = Screen()->Width();
        designTimeSize_.Height = Screen()->Height();
        designTimeSize_.ClientHeight = form->ClientHeight();
        designTimeSize_.PixelsPerInch = form->PixelsPerInch();
    }
}

TFormAutoSize::~TFormAutoSize() {
    Destroying();
    // The form keeps the handler, which now passes straight on to the
    // previous one: a handler set after ours is never undone.
    if (hold_) hold_->component = nullptr;
}

void TFormAutoSize::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.DefineObject("DesignTimeSize", &designTimeSize_);
    f.Bool("Active", [this] { return active_; }, [this](bool v) { active_ = v; }, false);
    f.Bool("ClientAutoSize", [this] { return clientAutoSize_; }, [this](bool v) { SetClientAutoSize(v); }, false);
    f.Bool("AllowAutoSize", [this] { return allowAutoSize_; }, [this](bool v) { SetAllowAutoSize(v); }, false);
    f.Bool("CheckPixelsPerInch", [this] { return checkPixelsPerInch_; }, [this](bool v) { checkPixelsPerInch_ = v; },
           false);
    f.Bool("CheckFontSize", [this] { return checkFontSize_; }, [this](bool v) { checkFontSize_ = v; }, false);
}

void TFormAutoSize::SetClientAutoSize(bool value) {
    clientAutoSize_ = value;
    if (value) allowAutoSize_ = false;
}

void TFormAutoSize::SetAllowAutoSize(bool value) {
    allowAutoSize_ = value;
    if (value) clientAutoSize_ = false;
}

void TFormAutoSize::Loaded() {
    TComponent::Loaded();
    TCustomForm* form = Form();
    if (!active_ || HasState(csDesigning) || !form || hold_) return;
    hold_ = std::make_shared<Hold>(Hold{this, form->OnShow});
    form->OnShow = [hold = hold_](TObject* sender) {
        if (hold->component) hold->component->ScaleOnShow(sender);
        else if (hold->previous) hold->previous(sender);
    };
}

void TFormAutoSize::ScaleOnShow(TObject* sender) {
    // The previous handler is held here too: this component may go in it.
    const std::shared_ptr<Hold> hold = hold_;
    TCustomForm* form = Form();
    if (active_ && form) {
        const TDesignTimeSize& design = designTimeSize_;
        // Without recorded design values there is nothing to go by.
        if (clientAutoSize_ && design.ClientHeight > 0 && form->ClientHeight() != design.ClientHeight)
            form->SetClientSize(form->ClientWidth(), design.ClientHeight);
        if (allowAutoSize_) Scale(*form);
        active_ = false;
    }
    if (hold && hold->previous) hold->previous(sender);
}

void TFormAutoSize::Scale(TCustomForm& form) {
    const TDesignTimeSize& design = designTimeSize_;
    const int W = form.Width(), H = form.Height();
    int width = W, height = H;
    const int screenWidth = Screen() ? Screen()->Width() : design.Width;
    const int screenHeight = Screen() ? Screen()->Height() : design.Height;
    if (design.Width > 0 && design.Height > 0 && (screenWidth != design.Width || screenHeight != design.Height) &&
        form.Scaled()) {
        const int64_t cw = form.ClientWidth(), ch = form.ClientHeight();
        height = int(H + ch * screenHeight / design.Height - ch);
        width = int(W + cw * screenWidth / design.Width - cw);
        form.ScaleBy(screenWidth, design.Width);
        // The framework's ScaleBy sizes the client area too; the size
        // worked out from the screen is the one that stands.
        form.SetBounds(form.Left(), form.Top(), width, height);
    }
    if (checkPixelsPerInch_ && design.PixelsPerInch > 0 && form.PixelsPerInch() != design.PixelsPerInch) {
        height = int(int64_t(height) * form.PixelsPerInch() / design.PixelsPerInch);
        width = int(int64_t(width) * form.PixelsPerInch() / design.PixelsPerInch);
        form.SetBounds(form.Left(), form.Top(), width, height);
    }
    const int w0 = W, w1 = form.Width();
    if (checkFontSize_ && w1 != w0 && w0 > 0)
        for (int i = form.ControlCount() - 1; i >= 0; --i) {
            TControl* control = form.Controls(i);
            if (!control->ParentFont())
                control->Font().SetSize(int(int64_t(control->Font().Size()) * w1 / w0));
        }
}

} // namespace ax
