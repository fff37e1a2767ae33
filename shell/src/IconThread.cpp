// The icon thread and its manager.
#include "shell/IconThread.h"

#include "platform/shellns/shellapi.h"
#include "rtl/exceptions.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"

#include <algorithm>

namespace ax {
namespace {

// A reply whose window's queue stays full this many times is given up.
constexpr int kPostTries = 20;

std::unique_ptr<TImageThreadManager>& Instance() {
    static std::unique_ptr<TImageThreadManager> manager;
    return manager;
}

} // namespace

void ReleaseImageThreadRequest(TImageThreadRequest* request) {
    delete request;
}

// ---------------------------------------------------------------- thread

TImageThread::TImageThread() = default;

TImageThread::~TImageThread() {
    TerminateAndWait();
}

void TImageThread::Add(std::unique_ptr<TImageThreadRequest> request, bool atFront) {
    std::lock_guard lock(lock_);
    if (atFront)
        queue_.push_front(std::move(request));
    else
        queue_.push_back(std::move(request));
    event_.SetEvent();
}

void TImageThread::Clear(const std::function<bool(const TImageThreadRequest&)>& match) {
    std::lock_guard lock(lock_);
    std::erase_if(queue_, [&](const auto& r) { return match(*r); });
}

int TImageThread::Count() {
    std::lock_guard lock(lock_);
    return static_cast<int>(queue_.size());
}

int TImageThread::ExtractInfo(PCItemIDList pidl) {
    SHFILEINFO info;
    if (!SHGetFileInfo(pidl, {}, 0, info,
                       SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE | SHGFI_SMALLICON))
        return 0;
    // An expanded folder shows the open folder's icon, which the GUI thread
    // asks for itself once the reply is in: its picture is read here first.
    if (info.iIcon == DefaultSystemImageIndex(0)) ShellIconProvider().IconIndex(1, {}, true, false);
    return info.iIcon;
}

void TImageThread::Reply(std::unique_ptr<TImageThreadRequest> request) {
    const HWND window = request->Window;
    for (int i = 0; i < kPostTries && IsWindow(window); ++i) {
        if (PostMessage(window, request->Message, reinterpret_cast<WPARAM>(request.get()), 0)) {
            request.release(); // the receiver's now
            return;
        }
        CurrentClock().Sleep(1);
    }
    // No window, or one that never takes it: the request goes here.
}

void TImageThread::Execute() {
    for (;;) {
        event_.WaitFor(INFINITE);
        if (Terminated()) return;
        uint64_t serial = 0;
        UniquePIDL pidl;
        {
            std::lock_guard lock(lock_);
            if (queue_.empty()) {
                event_.ResetEvent();
                // A stop that set the event just before this reset is seen
                // here instead.
                if (Terminated()) return;
                continue;
            }
            const TImageThreadRequest& newest = *queue_.back();
            serial = newest.Serial;
            pidl.reset(NamespacePIDLManager().CopyPIDL(newest.PIDL.get()));
        }
        // Outside the lock: a slow item never holds up the GUI thread.
        const int index = ExtractInfo(pidl.get());
        std::lock_guard lock(lock_);
        pidl.reset();
        auto it = std::find_if(queue_.rbegin(), queue_.rend(),
                               [&](const auto& r) { return r->Serial == serial; });
        if (it == queue_.rend()) {
            RequestVanished();
            continue;
        }
        std::unique_ptr<TImageThreadRequest> request = std::move(*it);
        queue_.erase(std::next(it).base());
        request->ImageIndex = index;
        // Still under the lock: a control clearing its requests waits until
        // this reply is in its queue, and then drains it.
        Reply(std::move(request));
    }
}

// ---------------------------------------------------------------- manager

TImageThreadManager::~TImageThreadManager() {
    thread_.reset(); // the queue goes with it
}

std::unique_ptr<TImageThread> TImageThreadManager::CreateThread() {
    return std::make_unique<TImageThread>();
}

bool TImageThreadManager::Registered(TWinControl* control) const {
    return std::find(controls_.begin(), controls_.end(), control) != controls_.end();
}

void TImageThreadManager::RegisterControl(TWinControl* control) {
    if (!control || Registered(control)) return;
    controls_.push_back(control);
    if (!thread_) {
        thread_ = CreateThread();
        thread_->SetPriority(priority_);
        thread_->Start();
    }
}

void TImageThreadManager::UnRegisterControl(TWinControl* control) {
    std::erase(controls_, control);
    if (!controls_.empty() || !thread_) return;
    // An idle worker would wait behind everything else to see its end.
    thread_->SetPriority(tpNormal);
    thread_.reset();
}

void TImageThreadManager::SetThreadPriority(TThreadPriority priority) {
    priority_ = priority;
    if (thread_) thread_->SetPriority(priority);
}

void TImageThreadManager::Add(TWinControl* control, UINT message, intptr_t tag, void* data,
                              bool large, PCItemIDList pidl, bool atFront) {
    Assert(Registered(control), SAddToUnregisteredControl);
    if (dropHandled_.insert(message).second)
        SetDroppedMessageHandler(message, [](const MSG& m) {
            ReleaseImageThreadRequest(reinterpret_cast<TImageThreadRequest*>(m.wParam));
        });
    auto request = std::make_unique<TImageThreadRequest>();
    request->PIDL.reset(NamespacePIDLManager().CopyPIDL(pidl));
    request->Large = large;
    request->Control = control;
    request->Data = data;
    request->Tag = tag;
    request->Message = message;
    request->Window = control->HandleAllocated() ? control->Handle() : nullptr;
    request->Serial = ++serial_;
    thread_->Add(std::move(request), atFront);
}

void TImageThreadManager::AddNewItem(TWinControl* control, UINT message, intptr_t tag, void* data,
                                     bool large, PCItemIDList pidl) {
    Add(control, message, tag, data, large, pidl, false);
}

void TImageThreadManager::InsertNewItem(TWinControl* control, UINT message, intptr_t tag,
                                        void* data, bool large, PCItemIDList pidl) {
    Add(control, message, tag, data, large, pidl, true);
}

void TImageThreadManager::Clear(TWinControl* control, UINT message,
                                const std::function<bool(const TImageThreadRequest&)>& match) {
    Assert(Registered(control), SClearForUnregisteredControl);
    std::lock_guard lock(thread_->QueueLock());
    if (control->HandleAllocated()) {
        MSG m;
        const HWND window = control->Handle();
        while (PeekMessage(m, window, message, message, PM_REMOVE)) {
            TranslateMessage(m);
            DispatchMessage(m);
        }
    }
    thread_->Clear(match);
}

void TImageThreadManager::ClearPendingItems(TWinControl* control, UINT message) {
    Clear(control, message, [&](const TImageThreadRequest& r) { return r.Control == control; });
}

void TImageThreadManager::ClearPendingItem(TWinControl* control, void* data, UINT message) {
    Clear(control, message,
          [&](const TImageThreadRequest& r) { return r.Control == control && r.Data == data; });
}

void TImageThreadManager::LockThread() {
    if (thread_) thread_->QueueLock().Enter();
}

void TImageThreadManager::UnlockThread() {
    if (thread_) thread_->QueueLock().Leave();
}

TImageThreadManager& ImageThreadManager() {
    auto& manager = Instance();
    if (!manager) manager = std::make_unique<TImageThreadManager>();
    return *manager;
}

void IconThreadFinalize() {
    Instance().reset();
}

} // namespace ax
