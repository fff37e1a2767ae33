// The shell layer's display services on the window layer: menus, key
// state, message boxes, the progress of long transfers, the text clipboard
// and the file clipboard.
#include "app/DisplayServices.h"

#include "controls/MessageBoxes.h"
#include "platform/shellns/inputstate.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/shellclipboard.h"
#include "platform/shellns/textclipboard.h"
#include "platform/shellns/transferprogress.h"
#include "platform/window/window.h"
#include "rtl/text.h"

#include <algorithm>
#include <climits>

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

// A long transfer in the wait box, its gauge counting the items, the
// program answering meanwhile. A transfer started while another runs (a
// drop made during a long drop) counts in the first one's box; a box the
// program opened itself stays its own.
class TDisplayServices::Progress final : public ITransferProgress {
public:
    void Open(uintptr_t, const std::string& text, size_t count) override {
        if (depth_++ > 0) return;
        done_ = 0;
        TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
        shown_ = ShowProgressBox(text, "", "", nullptr, main ? poOwnerFormCenter : poDesktopCenter, true,
                                 main ? main->Color() : clBtnFace, 0, 0, 0, int(std::min<size_t>(count, INT_MAX)),
                                 nullptr, true, false);
    }
    void Advance(size_t done) override {
        if (depth_ == 1 && shown_) {
            SetProgressBoxPosition(int(done - done_));
            done_ = done;
        }
        if (Application()) Application()->ProcessMessages();
    }
    void Close() override {
        if (depth_ == 0 || --depth_ > 0) return;
        if (shown_) CloseProgressBox();
        shown_ = false;
    }

private:
    int depth_ = 0;
    bool shown_ = false;
    size_t done_ = 0;
};

class TDisplayServices::Clipboard final : public ITextClipboard {
public:
    void SetText(const std::string& utf8) override { SetClipboardText(utf8); }
};

// Copied and cut files on the window layer's clipboard, where other
// programs take them as file lists, and theirs as ours.
class TDisplayServices::Files final : public IFileClipboard {
public:
    void Offer(const std::vector<std::string>& paths, bool cut) override {
        if (paths.empty()) {
            ours_.reset();
            if (!OpenClipboard(nullptr)) return;
            EmptyClipboard();
            CloseClipboard();
            return;
        }
        ours_ = CreateDataObject();
        SetDataBytes(*ours_, CF_HDROP, MakeFileList(paths));
        const uint8_t effect = cut ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
        SetDataBytes(*ours_, RegisterClipboardFormat("Preferred DropEffect"), {effect, 0, 0, 0});
        OleSetClipboard(ours_);
    }
    std::optional<IFileClipboard::Files> Foreign() override {
        const bool files = IsClipboardFormatAvailable(CF_HDROP);
        if (ours_ && OleIsCurrentClipboard(ours_.get()) == S_OK) return std::nullopt;
        if (!files) return ours_ ? std::optional<IFileClipboard::Files>(IFileClipboard::Files{}) : std::nullopt;
        IFileClipboard::Files out;
        if (!OpenClipboard(nullptr)) return std::nullopt;
        if (auto list = GetClipboardData(CF_HDROP)) ReadFileList(*list, out.paths);
        if (auto e = GetClipboardData(RegisterClipboardFormat("Preferred DropEffect")); e && !e->empty())
            out.cut = ((*e)[0] & DROPEFFECT_MOVE) && !((*e)[0] & DROPEFFECT_COPY);
        CloseClipboard();
        return out;
    }

private:
    std::shared_ptr<IDataObject> ours_;
};

TDisplayServices::TDisplayServices()
    : input_(std::make_unique<Input>()), boxes_(std::make_unique<Boxes>()),
      progress_(std::make_unique<Progress>()), clipboard_(std::make_unique<Clipboard>()),
      files_(std::make_unique<Files>()) {
    if (installed_) return;
    installed_ = this;
    SetMenuTracker(&tracker_);
    SetInputState(input_.get());
    SetMessageBoxService(boxes_.get());
    SetTransferProgress(progress_.get());
    SetTextClipboard(clipboard_.get());
    SetFileClipboard(files_.get());
}

TDisplayServices::~TDisplayServices() {
    if (installed_ != this) return;
    installed_ = nullptr;
    SetFileClipboard(nullptr);
    SetTextClipboard(nullptr);
    SetTransferProgress(nullptr);
    SetMessageBoxService(nullptr);
    SetInputState(nullptr);
    SetMenuTracker(nullptr);
}

} // namespace ax
