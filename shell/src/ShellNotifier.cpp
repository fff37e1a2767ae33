// The change notifier: events, batches, registration and the fan-out to
// the registered controls. The three threads are in ShellChangeThreads.cpp.
#include "shell/ShellNotifier.h"

#include "platform/shellns/shellapi.h"
#include "rtl/exceptions.h"
#include "shell/Namespace.h"

#include <algorithm>
#include <cstring>

namespace ax {
namespace {

constexpr const char* kNotifierWindowClass = "ShellChangeNotifierWindow";

// SHCNE_ numbers in the order of TShellNotifyEvent.
constexpr uint32_t kEventNumbers[] = {
    SHCNE_ASSOCCHANGED, SHCNE_ATTRIBUTES,      SHCNE_CREATE,      SHCNE_DELETE,
    SHCNE_DRIVEADD,     SHCNE_DRIVEADDGUI,     SHCNE_DRIVEREMOVED, SHCNE_FREESPACE,
    SHCNE_MEDIAINSERTED, SHCNE_MEDIAREMOVED,   SHCNE_MKDIR,       SHCNE_NETSHARE,
    SHCNE_NETUNSHARE,   SHCNE_RENAMEFOLDER,    SHCNE_RENAMEITEM,  SHCNE_RMDIR,
    SHCNE_SERVERDISCONNECT, SHCNE_UPDATEDIR,   SHCNE_UPDATEIMAGE, SHCNE_UPDATEITEM,
};
static_assert(std::size(kEventNumbers) == sneUpdateItem + 1);

// The data block of "Free Space" and "Update Image": a 2-byte count and two
// 32-bit values, the count covering all three.
constexpr uint16_t kDataBlockSize = 10;

UniquePIDL Copy(PCItemIDList pidl) {
    return UniquePIDL(NamespacePIDLManager().CopyPIDL(pidl));
}

UniquePIDL ParentOf(PCItemIDList pidl) {
    if (!pidl) return nullptr;
    UniquePIDL parent = Copy(pidl);
    if (parent) NamespacePIDLManager().StripLastID(parent.get());
    return parent;
}

std::unique_ptr<TShellChangeNotifier>& Instance() {
    static std::unique_ptr<TShellChangeNotifier> notifier;
    return notifier;
}

} // namespace

// ---------------------------------------------------------------- events

uint32_t ShellEventNumber(TShellNotifyEvent kind) {
    return kEventNumbers[kind];
}

bool ShellEventKind(uint32_t number, TShellNotifyEvent& kind) {
    for (size_t i = 0; i < std::size(kEventNumbers); ++i)
        if (kEventNumbers[i] == number) {
            kind = static_cast<TShellNotifyEvent>(i);
            return true;
        }
    return false;
}

std::unique_ptr<TShellEvent> TShellEvent::Create(TShellNotifyEvent kind, PCItemIDList pidl1,
                                                 PCItemIDList pidl2) {
    auto event = std::make_unique<TShellEvent>();
    event->Kind = kind;
    event->PIDL1 = Copy(pidl1);
    event->PIDL2 = Copy(pidl2);
    event->ParentPIDL1 = ParentOf(pidl1);
    event->ParentPIDL2 = ParentOf(pidl2);
    return event;
}

std::unique_ptr<TShellEvent> TShellEvent::FromShell(uint32_t number, PCItemIDList pidl1,
                                                    PCItemIDList pidl2) {
    TShellNotifyEvent kind;
    if (!ShellEventKind(number, kind)) return nullptr;
    if (kind != sneFreeSpace && kind != sneUpdateImage) return Create(kind, pidl1, pidl2);
    // The block's own count says how much may be read; anything shorter
    // than the two values is no such block.
    if (!pidl1 || pidl1->mkid.cb < kDataBlockSize) return nullptr;
    auto event = std::make_unique<TShellEvent>();
    event->Kind = kind;
    const auto* bytes = reinterpret_cast<const uint8_t*>(pidl1);
    std::memcpy(&event->DWord1, bytes + 2, 4);
    std::memcpy(&event->DWord2, bytes + 6, 4);
    return event;
}

void TReferenceCountedList::Release() {
    if (refCount_.fetch_sub(1) <= 1) delete this;
}

uint32_t KernelFilterFlags(TKernelFilter filter) {
    static constexpr uint32_t kFlags[8] = {
        FILE_NOTIFY_CHANGE_FILE_NAME,  FILE_NOTIFY_CHANGE_DIR_NAME,
        FILE_NOTIFY_CHANGE_ATTRIBUTES, FILE_NOTIFY_CHANGE_SIZE,
        FILE_NOTIFY_CHANGE_LAST_WRITE, FILE_NOTIFY_CHANGE_LAST_ACCESS,
        FILE_NOTIFY_CHANGE_CREATION,   FILE_NOTIFY_CHANGE_SECURITY};
    uint32_t flags = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (filter & (1u << bit)) flags |= kFlags[bit];
    return flags;
}

// ---------------------------------------------------------------- notifier

// Hears when a registered control is freed without unregistering, so that
// the fan-out never reaches a control that is gone.
class TShellChangeNotifier::Watcher final : public TComponent {
public:
    explicit Watcher(TShellChangeNotifier& notifier) : TComponent(nullptr), notifier_(notifier) {}
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == opRemove) notifier_.ControlFreed(component);
    }

private:
    TShellChangeNotifier& notifier_;
};

TShellChangeNotifier::TShellChangeNotifier() : watcher_(std::make_unique<Watcher>(*this)) {
    WNDCLASS wc;
    if (!GetClassInfo(kNotifierWindowClass, wc)) {
        wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            auto* self = reinterpret_cast<TShellChangeNotifier*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
            return self ? self->WindowProc(hwnd, msg, wParam, lParam)
                        : DefWindowProc(hwnd, msg, wParam, lParam);
        };
        wc.lpszClassName = kNotifierWindowClass;
        RegisterClass(wc);
    }
    window_ = CreateWindowEx(0, kNotifierWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE);
    SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Payloads of messages whose window went before they were served.
    SetDroppedMessageHandler(WM_SHELLNOTIFY, [](const MSG& m) {
        reinterpret_cast<TShellEventList*>(m.wParam)->Release();
    });
    SetDroppedMessageHandler(WM_SHELLNOTIFYTHREADEVENT, [](const MSG& m) {
        delete reinterpret_cast<TInjectedShellEvent*>(m.wParam);
    });
}

TShellChangeNotifier::~TShellChangeNotifier() {
    mounts_.reset();
    shell_.reset();
    kernel_.reset();
    dispatch_.reset();
    // Batches still queued for the window are released by the drop handler.
    if (window_) {
        SetWindowLongPtr(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    watcher_.reset();
}

std::vector<std::string> TShellChangeNotifier::StillRegistered() const {
    std::vector<std::string> out;
    if (kernel_ && kernel_->RefCount() > 0) out.push_back(SKernelThreadStillRegistered);
    if (shell_ && shell_->RefCount() > 0) out.push_back(SShellThreadStillRegistered);
    if (dispatch_ && dispatch_->RefCount() > 0) out.push_back(SDispatchThreadStillRegistered);
    return out;
}

LRESULT TShellChangeNotifier::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SHELLNOTIFY) {
        FanOut(reinterpret_cast<TShellEventList*>(wParam));
        return 0;
    }
    if (msg == WM_SHELLNOTIFYCANNOTFOLLOW) {
        if (onCannotFollow_)
            onCannotFollow_(Format(SCannotFollowFolders, int(wParam), int(ShellNotifyPollMs / 1000)));
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

void TShellChangeNotifier::SetOnCannotFollow(std::function<void(const AnsiString& text)> handler) {
    onCannotFollow_ = std::move(handler);
}

void TShellChangeNotifier::FanOut(TShellEventList* list) {
    {
        std::lock_guard lock(controlLock_);
        list->AddRef(static_cast<int>(controls_.size()));
        for (const TShellChangeControl& c : controls_) {
            TWinControl* control = c.Control;
            if (!control->HandleAllocated() ||
                !PostMessage(control->Handle(), WM_SHELLNOTIFY, reinterpret_cast<WPARAM>(list), 0))
                list->Release();
        }
    }
    list->Release();
}

TShellChangeControl* TShellChangeNotifier::FindLocked(TWinControl* control) {
    for (TShellChangeControl& c : controls_)
        if (c.Control == control) return &c;
    return nullptr;
}

TShellChangeControl* TShellChangeNotifier::AddLocked(TWinControl* control) {
    TShellChangeControl record;
    record.Control = control;
    controls_.push_back(record);
    watcher_->FreeNotification(control);
    return &controls_.back();
}

const TShellChangeControlList& TShellChangeNotifier::LockControlList() {
    controlLock_.Enter();
    return controls_;
}

void TShellChangeNotifier::UnlockControlList() {
    controlLock_.Leave();
}

void TShellChangeNotifier::EnsureDispatchThread() {
    if (dispatch_) return;
    dispatch_ = std::make_unique<TChangeDispatchThread>(window_);
    dispatch_->SetFilterEvents(filterEvents_);
    dispatch_->Start();
}

void TShellChangeNotifier::EnsureKernelThread() {
    if (kernel_) return;
    EnsureDispatchThread();
    dispatch_->AddRef();
    kernel_ = std::make_unique<TKernelChangeThread>(*this, *dispatch_);
    kernel_->Start();
}

void TShellChangeNotifier::EnsureShellThread() {
    if (shell_) return;
    EnsureDispatchThread();
    dispatch_->AddRef();
    // The desktop's items and the Documents item are also folders on disk;
    // what the bus announces by disk path is repeated at those places.
    std::vector<TVirtualFolder> folders;
    PItemIDList desktopDir = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_DESKTOPDIRECTORY, &desktopDir)) && desktopDir) {
        PItemIDList desktop = nullptr;
        SHGetSpecialFolderLocation(CSIDL_DESKTOP, &desktop);
        folders.push_back({UniquePIDL(desktopDir), UniquePIDL(desktop)});
    }
    UniquePIDL documents(GetMyDocumentsVirtualPIDL());
    if (documents) {
        UniquePIDL physical(PathToPIDL(Utf8ToWide(XdgUserDirectory("DOCUMENTS"))));
        if (physical) folders.push_back({std::move(physical), std::move(documents)});
    }
    shell_ = std::make_unique<TShellChangeThread>(*dispatch_, std::move(folders));
    shell_->SetMapVirtualFolders(mapVirtualFolders_);
    shell_->StartAndWaitReady();
    mounts_ = std::make_unique<TMountChangeThread>(*dispatch_);
    mounts_->Start();
}

void TShellChangeNotifier::StopIdleThreads() {
    if (kernel_ && kernel_->RefCount() <= 0) {
        kernel_->Stop();
        kernel_.reset();
        dispatch_->ReleaseRef();
    }
    if (shell_ && shell_->RefCount() <= 0) {
        mounts_->Stop();
        mounts_.reset();
        shell_->Stop();
        shell_.reset();
        dispatch_->ReleaseRef();
    }
    if (dispatch_ && dispatch_->RefCount() <= 0) {
        dispatch_->Stop();
        dispatch_.reset();
    }
}

bool TShellChangeNotifier::RegisterShellChangeNotify(TWinControl* control) {
    if (!control) return false;
    EnsureShellThread();
    std::lock_guard lock(controlLock_);
    TShellChangeControl* record = FindLocked(control);
    if (!record) record = AddLocked(control);
    if (!record->ShellRegistered) {
        record->ShellRegistered = true;
        shell_->AddRef();
    }
    return true;
}

bool TShellChangeNotifier::RegisterKernelChangeNotify(TWinControl* control, TKernelFilter filter) {
    if (!control) return false;
    EnsureKernelThread();
    {
        std::lock_guard lock(controlLock_);
        TShellChangeControl* record = FindLocked(control);
        if (record && record->KernelRegistered && record->KernelFilter == filter) return true;
        if (!record) record = AddLocked(control);
        if (!record->KernelRegistered) kernel_->AddRef();
        record->KernelRegistered = true;
        record->KernelFilter = filter;
    }
    kernel_->Wake();
    return true;
}

void TShellChangeNotifier::RegisterKernelSpecialFolderWatch(int csidl) {
    Assert(kernel_ != nullptr, SRegisterKernelFirst);
    std::lock_guard lock(specialFolderLock_);
    PItemIDList located = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(csidl, &located)) || !located) return;
    UniquePIDL pidl(located);
    std::string path;
    if (ILIsEmpty(pidl.get())) {
        PItemIDList dir = nullptr;
        if (SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_DESKTOPDIRECTORY, &dir))) {
            path = SHGetPathFromIDList(dir);
            NamespacePIDLManager().FreePIDL(dir);
        }
    } else {
        path = SHGetPathFromIDList(pidl.get());
    }
    if (path.empty()) return;
    UniquePIDL physical(PathToPIDL(Utf8ToWide(path)));
    UniquePIDL virtualPidl;
    if (csidl == CSIDL_DESKTOP)
        virtualPidl = std::move(pidl);
    else if (csidl == CSIDL_PERSONAL)
        virtualPidl.reset(GetMyDocumentsVirtualPIDL());
    kernel_->AddSpecialFolder(path, std::move(physical), std::move(virtualPidl));
    kernel_->Wake();
}

bool TShellChangeNotifier::NotifyWatchFolder(TWinControl* control, const WideString& folder) {
    {
        std::lock_guard lock(controlLock_);
        TShellChangeControl* record = FindLocked(control);
        if (!record) return false;
        if (folder == record->WatchFolder) return true;
        if (!record->KernelRegistered) {
            record->WatchFolder.clear();
            Assert(false, SWatchFolderWithoutKernel);
        }
        record->WatchFolder = folder;
    }
    if (kernel_) kernel_->Wake();
    return true;
}

bool TShellChangeNotifier::NotifyShownFolders(TWinControl* control,
                                              const std::vector<WideString>& folders) {
    if (!folders.empty()) EnsureKernelThread();
    bool known = false;
    {
        std::lock_guard lock(controlLock_);
        TShellChangeControl* record = FindLocked(control);
        if (record && record->ShellRegistered) {
            known = true;
            record->ShownFolders = folders;
            // The control counts once on the kernel thread while it shows any.
            if (!folders.empty() && !record->ShownCounted) kernel_->AddRef();
            if (folders.empty() && record->ShownCounted && kernel_) kernel_->ReleaseRef();
            record->ShownCounted = !folders.empty();
        }
    }
    if (kernel_) kernel_->Wake();
    StopIdleThreads();
    return known;
}

bool TShellChangeNotifier::UnRegisterKernelChangeNotify(TWinControl* control) {
    bool known = false;
    {
        std::lock_guard lock(controlLock_);
        TShellChangeControl* record = FindLocked(control);
        if (record) {
            known = true;
            if (record->KernelRegistered && kernel_) kernel_->ReleaseRef();
            record->KernelRegistered = false;
            if (!record->ShellRegistered) {
                watcher_->RemoveFreeNotification(control);
                std::erase_if(controls_, [&](const auto& c) { return c.Control == control; });
            }
        }
    }
    if (kernel_) kernel_->Wake();
    StopIdleThreads();
    return known;
}

bool TShellChangeNotifier::UnRegisterShellChangeNotify(TWinControl* control) {
    bool known = false;
    {
        std::lock_guard lock(controlLock_);
        TShellChangeControl* record = FindLocked(control);
        if (record) {
            known = true;
            if (record->ShellRegistered && shell_) shell_->ReleaseRef();
            record->ShellRegistered = false;
            record->ShownFolders.clear();
            if (record->ShownCounted && kernel_) kernel_->ReleaseRef();
            record->ShownCounted = false;
            if (!record->KernelRegistered) {
                watcher_->RemoveFreeNotification(control);
                std::erase_if(controls_, [&](const auto& c) { return c.Control == control; });
            }
        }
    }
    StopIdleThreads();
    return known;
}

bool TShellChangeNotifier::UnRegisterChangeNotify(TWinControl* control) {
    const bool kernel = UnRegisterKernelChangeNotify(control);
    const bool shell = UnRegisterShellChangeNotify(control);
    return kernel || shell;
}

void TShellChangeNotifier::UnRegisterAll() {
    std::vector<TWinControl*> registered;
    {
        std::lock_guard lock(controlLock_);
        for (const TShellChangeControl& c : controls_)
            registered.push_back(c.Control);
    }
    for (TWinControl* c : registered)
        UnRegisterChangeNotify(c);
}

void TShellChangeNotifier::ControlFreed(TComponent* component) {
    bool known = false;
    {
        std::lock_guard lock(controlLock_);
        for (auto it = controls_.begin(); it != controls_.end(); ++it) {
            if (static_cast<TComponent*>(it->Control) != component) continue;
            if (it->KernelRegistered && kernel_) kernel_->ReleaseRef();
            if (it->ShownCounted && kernel_) kernel_->ReleaseRef();
            if (it->ShellRegistered && shell_) shell_->ReleaseRef();
            controls_.erase(it);
            known = true;
            break;
        }
    }
    if (!known) return;
    if (kernel_) kernel_->Wake();
    StopIdleThreads();
}

void TShellChangeNotifier::PostShellEvent(TShellNotifyEvent kind, PCItemIDList pidl1,
                                          PCItemIDList pidl2) {
    if (dispatch_) dispatch_->AddEvent(TShellEvent::Create(kind, pidl1, pidl2));
}

void TShellChangeNotifier::ShellNotify(uint32_t eventNumber, PCItemIDList pidl1,
                                       PCItemIDList pidl2) {
    // A null window would make the post a message of this very thread.
    if (!shell_ || !shell_->Window()) return;
    auto block = std::make_unique<TInjectedShellEvent>(TInjectedShellEvent{Copy(pidl1), Copy(pidl2)});
    if (PostMessage(shell_->Window(), WM_SHELLNOTIFYTHREADEVENT,
                    reinterpret_cast<WPARAM>(block.get()), static_cast<LPARAM>(eventNumber)))
        block.release();
}

void TShellChangeNotifier::SetFilterEvents(bool value) {
    filterEvents_ = value;
    if (dispatch_) dispatch_->SetFilterEvents(value);
}

void TShellChangeNotifier::SetMapVirtualFolders(bool value) {
    mapVirtualFolders_ = value;
    if (shell_) shell_->SetMapVirtualFolders(value);
}

void TShellChangeNotifier::StripDuplicatePIDLs(TPIDLList& list) {
    std::vector<bool> drop(static_cast<size_t>(list.Count()), false);
    for (int i = 0; i < list.Count(); ++i)
        for (int j = 0; j < list.Count() && !drop[size_t(i)]; ++j) {
            if (i == j || drop[size_t(j)]) continue;
            // Of two equal entries the first stays.
            if (IsParentPIDL(list[j], list[i], false) || (j < i && EqualPIDL(list[j], list[i])))
                drop[size_t(i)] = true;
        }
    for (int i = list.Count() - 1; i >= 0; --i)
        if (drop[size_t(i)]) list.Delete(i);
}

// ---------------------------------------------------------------- singleton

IShellChangeNotifier& ChangeNotifier() {
    auto& notifier = Instance();
    if (!notifier) notifier = std::make_unique<TShellChangeNotifier>();
    return *notifier;
}

void ShellNotifierFinalize() {
    auto& notifier = Instance();
    if (!notifier) return;
    const std::vector<std::string> failures = notifier->StillRegistered();
    notifier.reset();
    if (!failures.empty()) throw EAssertionFailed(failures.front());
}

} // namespace ax
