// The shell layer's display services on the window layer: menus, key
// state, message boxes and the text clipboard.
#include "app/DisplayServices.h"

#include "controls/MessageBoxes.h"
#include "platform/shellns/inputstate.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/textclipboard.h"
#include "platform/window/window.h"
#include "rtl/text.h"

namespace ax {

class TDisplayServices::Input final : public IInputState {
public:
    bool KeyDown(int virtualKey) override { return GetKeyState(virtualKey) < 0; }
    ShellPoint CursorPos() override {
        POINT p{};
        GetCursorPos(p);
        return ShellPoint{p.x, p.y};
    }
};

class TDisplayServices::Boxes final : public IMessageBoxService {
public:
    // The control library's boxes belong to the application's main form.
    int MessageBox(uintptr_t, const std::u16string& text, const std::u16string& caption,
                   uint32_t flags) override {
        return MessageBoxEx(WideToUtf8(text), WideToUtf8(caption), false, flags);
    }
};

class TDisplayServices::Clipboard final : public ITextClipboard {
public:
    void SetText(const std::string& utf8) override { SetClipboardText(utf8); }
};

TDisplayServices::TDisplayServices()
    : input_(std::make_unique<Input>()), boxes_(std::make_unique<Boxes>()),
      clipboard_(std::make_unique<Clipboard>()) {
    if (installed_) return;
    installed_ = this;
    SetMenuTracker(&tracker_);
    SetInputState(input_.get());
    SetMessageBoxService(boxes_.get());
    SetTextClipboard(clipboard_.get());
}

TDisplayServices::~TDisplayServices() {
    if (installed_ != this) return;
    installed_ = nullptr;
    SetTextClipboard(nullptr);
    SetMessageBoxService(nullptr);
    SetInputState(nullptr);
    SetMenuTracker(nullptr);
}

} // namespace ax
