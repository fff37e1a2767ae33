// The hook list: one control hook per hooked control, each an entry in the
// control window's subclass chain. Control hooks are named by a serial
// number wherever they travel (subclass callbacks, posted messages), so a
// late message for a freed one finds nothing instead of a stale pointer.
#include "controls/ExHook.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "framework/forms.h"
#include "framework/streaming.h"
#include "rtl/scopeguard.h"

namespace ax {

class TControlHook {
public:
    TControlHook(TWinControl* control, uint64_t id) : control_(control), id_(id) {}
    TWinControl* Control() const { return control_; }
    uint64_t Id() const { return id_; }
    bool Empty() const { return hooks_.empty(); }
    // No message of the control is inside this hook now.
    bool Idle() const { return running_ == 0; }
    void Add(TExWindowHook* hook);
    void Remove(TExWindowHook* hook);
    // Puts the control's window under this hook (making the window first).
    void Install();
    // Takes this hook out of the window's chain, if it is in it.
    void Uninstall();
    // The control is going: nothing of it is touched again.
    void ControlGone() {
        Uninstall();
        control_ = nullptr;
    }
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    void Notify(bool before, TMessage& m, bool& handled);
    TWinControl* control_;
    const uint64_t id_;
    std::vector<TExWindowHook*> hooks_; // attach order
    HWND installed_ = nullptr;
    int running_ = 0;
};

namespace {

class HookList {
public:
    ~HookList() = default; // at exit no window is touched
    TControlHook* Find(uint64_t id) const {
        for (const auto& h : hooks_)
            if (h->Id() == id) return h.get();
        return nullptr;
    }
    TControlHook* FindControl(const TWinControl* control) const {
        for (const auto& h : hooks_)
            if (h->Control() == control) return h.get();
        return nullptr;
    }
    TControlHook* Add(TWinControl* control) {
        CollectEmpty();
        hooks_.push_back(std::make_unique<TControlHook>(control, ++lastId_));
        return hooks_.back().get();
    }
    void Free(uint64_t id) {
        std::erase_if(hooks_, [id](const auto& h) { return h->Id() == id && h->Empty() && h->Idle(); });
    }
    // Entries left empty whose freeing message never came (a queue that was
    // emptied unread) go at the next chance.
    void CollectEmpty() {
        std::erase_if(hooks_, [](const auto& h) { return h->Empty() && h->Idle(); });
    }
    int Count() {
        CollectEmpty();
        return int(hooks_.size());
    }
    void Post(UINT msg, uint64_t id) {
        if (!window_ || !IsWindow(window_)) window_ = CreateListWindow();
        PostMessage(window_, msg, 0, LPARAM(id));
    }

private:
    HWND CreateListWindow() {
        static const char* kClass = "TExHookList";
        WNDCLASS wc;
        if (!GetClassInfo(kClass, wc)) {
            wc.lpszClassName = kClass;
            wc.lpfnWndProc = [this](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
                const uint64_t id = uint64_t(lp);
                if (msg == CM_RECREATEHOOK) {
                    if (TControlHook* hook = Find(id); hook && hook->Control() && !hook->Empty()) hook->Install();
                    return 0;
                }
                if (msg == CM_FREEHOOK) {
                    Free(id);
                    return 0;
                }
                return DefWindowProc(h, msg, wp, lp);
            };
            RegisterClass(wc);
        }
        return CreateWindowEx(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE);
    }
    std::vector<std::unique_ptr<TControlHook>> hooks_;
    uint64_t lastId_ = 0;
    HWND window_ = nullptr;
};

HookList& Hooks() {
    static HookList list;
    return list;
}

} // namespace

int HookedControlCount() { return Hooks().Count(); }

// ---- TControlHook ---------------------------------------------------------------------------

void TControlHook::Add(TExWindowHook* hook) {
    if (std::find(hooks_.begin(), hooks_.end(), hook) == hooks_.end()) hooks_.push_back(hook);
    if (!installed_) Install();
}

void TControlHook::Remove(TExWindowHook* hook) {
    std::erase(hooks_, hook);
    if (!hooks_.empty()) return;
    Uninstall();
    // Freed from the list's window, after whatever message is running now.
    Hooks().Post(CM_FREEHOOK, id_);
}

void TControlHook::Install() {
    if (!control_ || control_->HasState(csDesigning | csDestroying)) return;
    if (installed_ && IsWindow(installed_)) return;
    const HWND window = control_->Handle();
    const uint64_t id = id_;
    SetWindowSubclass(
        window,
        [id](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
            if (TControlHook* hook = Hooks().Find(id)) return hook->WindowProc(h, msg, wp, lp);
            return DefSubclassProc(h, msg, wp, lp);
        },
        UINT_PTR(id));
    installed_ = window;
}

void TControlHook::Uninstall() {
    if (installed_ && IsWindow(installed_)) RemoveWindowSubclass(installed_, UINT_PTR(id_));
    installed_ = nullptr;
}

void TControlHook::Notify(bool before, TMessage& m, bool& handled) {
    if (!control_ || control_->HasState(csDestroying)) return;
    // A copy: a hook may detach itself (or another) while it is told.
    const std::vector<TExWindowHook*> hooks = hooks_;
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) {
        if (std::find(hooks_.begin(), hooks_.end(), *it) == hooks_.end() || !(*it)->active_) continue;
        if (before) (*it)->DoBeforeMessage(m, handled);
        else (*it)->DoAfterMessage(m, handled);
        if (handled) break;
    }
}

LRESULT TControlHook::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ++running_;
    ScopeGuard leave([this] { --running_; });
    TMessage m{msg, wParam, lParam, 0};
    bool handled = false;
    if (msg != WM_QUIT) Notify(true, m, handled);
    if (!handled || msg == WM_DESTROY) {
        m.Result = DefSubclassProc(hwnd, m.Msg, m.WParam, m.LParam);
        bool afterHandled = false;
        Notify(false, m, afterHandled);
    }
    if (msg == WM_DESTROY) {
        Uninstall();
        // Back on the control's next window, unless the control goes.
        if (control_ && !control_->HasState(csDestroying)) Hooks().Post(CM_RECREATEHOOK, id_);
    }
    return m.Result;
}

// ---- TExWindowHook --------------------------------------------------------------------------

TExWindowHook::TExWindowHook(TComponent* owner) : TComponent(owner) {}

TExWindowHook::~TExWindowHook() {
    Destroying();
    UnhookControl();
}

void TExWindowHook::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Bool("Active", [this] { return active_; }, [this](bool v) { SetActive(v); }, true);
    // The owner form is recorded by "IsForm", any other control by name.
    if (!winControl_ || winControl_ != Owner())
        f.ComponentRef("WinControl", [this]() -> TComponent* { return winControl_; },
                       [this](TComponent* c) { SetWinControl(dynamic_cast<TWinControl*>(c)); });
}

void TExWindowHook::DefineProperties(TFiler& f) {
    TComponent::DefineProperties(f);
    const bool isForm = winControl_ && winControl_ == Owner();
    f.DefineProperty(
        "IsForm", [this](TReader& r) { isForm_ = r.ReadBoolean(); }, [](TWriter& w) { w.WriteBoolean(true); },
        isForm);
}

void TExWindowHook::Loaded() {
    TComponent::Loaded();
    if (isForm_)
        if (auto* form = dynamic_cast<TWinControl*>(Owner())) SetWinControl(form);
    isForm_ = false;
    if (active_) HookControl();
}

void TExWindowHook::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == winControl_) {
        if (TControlHook* hook = Hooks().Find(hookId_)) hook->ControlGone();
        UnhookControl();
        winControl_ = nullptr;
    }
}

void TExWindowHook::SetActive(bool value) {
    if (active_ == value) return;
    active_ = value;
    if (value) HookControl();
    else UnhookControl();
}

void TExWindowHook::SetWinControl(TWinControl* control) {
    if (control == winControl_) return;
    UnhookControl();
    if (winControl_) winControl_->RemoveFreeNotification(this);
    winControl_ = control;
    if (control) {
        control->FreeNotification(this);
        if (active_) HookControl();
    }
}

void TExWindowHook::HookControl() {
    if (hooked_ || !winControl_ || HasState(csDestroying | csLoading)) return;
    TControlHook* hook = Hooks().FindControl(winControl_);
    if (!hook) hook = Hooks().Add(winControl_);
    hooked_ = true;
    hookId_ = hook->Id();
    hook->Add(this);
}

void TExWindowHook::UnhookControl() {
    if (!hooked_) return;
    hooked_ = false;
    if (TControlHook* hook = Hooks().Find(hookId_)) hook->Remove(this);
}

void TExWindowHook::DoBeforeMessage(TMessage& msg, bool& handled) {
    if (BeforeMessage) BeforeMessage(this, msg, handled);
}

void TExWindowHook::DoAfterMessage(TMessage& msg, bool& handled) {
    if (AfterMessage) AfterMessage(this, msg, handled);
}

} // namespace ax
