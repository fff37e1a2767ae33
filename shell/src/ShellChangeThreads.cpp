// The change notifier's threads: dispatch (folding and batching), shell
// (the namespace's change bus) and kernel (folders on disk).
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/exceptions.h"
#include "shell/ShellNotifier.h"
#include "shell/Namespace.h"

#include <algorithm>
#include <set>
#include <unistd.h>

namespace ax {
namespace {

constexpr const char* kShellThreadWindowClass = "ShellNotifyWndClass";

UniquePIDL Copy(PCItemIDList pidl) {
    return UniquePIDL(NamespacePIDLManager().CopyPIDL(pidl));
}

std::string Bytes(PCItemIDList pidl) {
    return pidl ? std::string(reinterpret_cast<const char*>(pidl), ILByteSize(pidl)) : std::string();
}

// pidl is ancestor or pidl itself.
bool IsAtOrUnder(PCItemIDList pidl, PCItemIDList ancestor) {
    return pidl && ancestor && NamespacePIDLManager().IsSubPIDL(pidl, ancestor);
}

// The part of pidl below ancestor (which it starts with).
PCItemIDList Below(PCItemIDList pidl, PCItemIDList ancestor) {
    PCItemIDList rest = pidl;
    for (int i = NamespacePIDLManager().IDCount(ancestor); i > 0; --i)
        rest = TPIDLManager::NextID(rest);
    return rest;
}

PItemIDList ParsePath(const std::string& path) {
    ShellFolderPtr desktop;
    PItemIDList pidl = nullptr;
    if (path.empty() || FAILED(SHGetDesktopFolder(&desktop)) ||
        FAILED(desktop->ParseDisplayName(path, &pidl)))
        return nullptr;
    return pidl;
}

} // namespace

void TShellThread::Stop() {
    Terminate(); // wakes the thread through TerminatedSet
    WaitFor();
}

UniquePIDL MapToVirtualFolder(PCItemIDList pidl, const TVirtualFolder& folder) {
    if (!folder.Virtual || !IsAtOrUnder(pidl, folder.Physical.get())) return nullptr;
    return UniquePIDL(
        NamespacePIDLManager().AppendPIDL(folder.Virtual.get(), Below(pidl, folder.Physical.get())));
}

// ---------------------------------------------------------------- dispatch

TChangeDispatchThread::TChangeDispatchThread(HWND target) : target_(target) {
    PItemIDList bin = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_BITBUCKET, &bin)) && bin) {
        recycleBins_.Add(bin);
        recycleFolders_.Add(NamespacePIDLManager().CopyPIDL(bin));
    }
    auto add = [this](const std::string& path) {
        PItemIDList pidl = ParsePath(path);
        if (!pidl) return false;
        // The trashed items live in "files": that is the folder a view of
        // them shows, so that is the one to refresh.
        PItemIDList files = ParsePath(path + "/files");
        recycleBins_.Add(pidl);
        recycleFolders_.Add(files ? files : NamespacePIDLManager().CopyPIDL(pidl));
        return true;
    };
    add(TrashDirectory());
    const std::string uid = std::to_string(getuid());
    for (const Volume& v : VisibleVolumes()) {
        if (v.remote) continue;
        const std::string top = v.mountPoint == "/" ? std::string() : v.mountPoint;
        if (!add(top + "/.Trash/" + uid)) add(top + "/.Trash-" + uid);
    }
}

TChangeDispatchThread::~TChangeDispatchThread() {
    TerminateAndWait();
}

void TChangeDispatchThread::Wake() {
    std::lock_guard lock(cond_.Mutex());
    cond_.NotifyAll();
}

uint64_t TChangeDispatchThread::EventsReceived() {
    std::lock_guard lock(cond_.Mutex());
    return eventsReceived_;
}

int TChangeDispatchThread::PendingCount() {
    std::lock_guard lock(cond_.Mutex());
    return static_cast<int>(pending_.size());
}

uint64_t TChangeDispatchThread::DebounceRounds() {
    std::lock_guard lock(cond_.Mutex());
    return debounceRounds_;
}

uint64_t TChangeDispatchThread::PollRounds() {
    std::lock_guard lock(cond_.Mutex());
    return pollRounds_;
}

void TChangeDispatchThread::NoteChangesLost() {
    std::lock_guard lock(cond_.Mutex());
    changesLost_ = true;
}

void TChangeDispatchThread::SetPolledFolders(std::vector<UniquePIDL> folders) {
    std::lock_guard lock(cond_.Mutex());
    if (polled_.empty() && !folders.empty()) nextPoll_ = CurrentClock().Ticks() + ShellNotifyPollMs;
    polled_ = std::move(folders);
    cond_.NotifyAll(); // the wait takes the new deadline
}

void TChangeDispatchThread::PollLocked() {
    if (polled_.empty() || CurrentClock().Ticks() < nextPoll_) return;
    nextPoll_ = CurrentClock().Ticks() + ShellNotifyPollMs;
    ++pollRounds_;
    const size_t before = pending_.size();
    for (const UniquePIDL& folder : polled_)
        QueueLocked(TShellEvent::Create(sneUpdateDir, folder.get()));
    newEvent_ = true;
    if (pending_.size() == before || signalled_) return;
    signalled_ = true;
    firstPendingTicks_ = CurrentClock().Ticks();
}

PCItemIDList TChangeDispatchThread::RecycleFolderOf(PCItemIDList pidl) const {
    for (int i = 0; i < recycleBins_.Count(); ++i)
        if (IsAtOrUnder(pidl, recycleBins_[i])) return recycleFolders_[i];
    return nullptr;
}

std::string TChangeDispatchThread::KeyOf(const TShellEvent& event) const {
    std::string key(1, static_cast<char>(event.Kind));
    if (event.Kind == sneFreeSpace)
        key.append(reinterpret_cast<const char*>(&event.DWord1), sizeof event.DWord1);
    else
        key += Bytes(event.PIDL1.get());
    return key;
}

void TChangeDispatchThread::AddEvent(std::unique_ptr<TShellEvent> event) {
    if (!event) return;
    std::lock_guard lock(cond_.Mutex());
    ++eventsReceived_;
    const size_t before = pending_.size();
    if (!FilterEvents()) {
        pending_.push_back(std::move(event));
    } else {
        switch (event->Kind) {
        case sneRenameFolder:
        case sneRenameItem:
            QueueUpdateDirLocked(event->ParentPIDL1.get());
            if (!EqualPIDL(event->ParentPIDL1.get(), event->ParentPIDL2.get()))
                QueueUpdateDirLocked(event->ParentPIDL2.get());
            // The folders' updates say what changed; the pair says where
            // the item went.
            if (event->PIDL1 && event->PIDL2)
                pendingRenames_.push_back({std::move(event->PIDL1), std::move(event->PIDL2)});
            break;
        case sneCreate:
        case sneDelete:
        case sneMakeDirectory:
        case sneRemoveDirectory:
            QueueUpdateDirLocked(event->ParentPIDL1.get());
            break;
        default:
            QueueLocked(std::move(event));
        }
    }
    // Any change breaks the quiet, also one that folded into a pending
    // event: a burst in one folder goes out once it is over.
    newEvent_ = true;
    if (pending_.size() == before || signalled_) return;
    signalled_ = true;
    firstPendingTicks_ = CurrentClock().Ticks();
    cond_.NotifyAll();
}

void TChangeDispatchThread::QueueUpdateDirLocked(PCItemIDList folder) {
    // An item without a PIDL says nothing about any folder.
    if (folder) QueueLocked(TShellEvent::Create(sneUpdateDir, folder));
}

void TChangeDispatchThread::QueueLocked(std::unique_ptr<TShellEvent> event) {
    PCItemIDList bin = RecycleFolderOf(event->PIDL1.get());
    if (bin && event->Kind == sneUpdateDir) {
        QueueUniqueLocked(TShellEvent::Create(sneUpdateDir, bin));
        QueueUniqueLocked(TShellEvent::Create(sneUpdateDir, recycleBins_[0]));
        return;
    }
    if (bin && event->Kind == sneUpdateItem) return;
    QueueUniqueLocked(std::move(event));
}

void TChangeDispatchThread::QueueUniqueLocked(std::unique_ptr<TShellEvent> event) {
    if (pendingKeys_.insert(KeyOf(*event)).second) pending_.push_back(std::move(event));
}

void TChangeDispatchThread::Execute() {
    std::unique_lock lock(cond_.Mutex());
    while (!Terminated()) {
        // With folders on the timer, the wait ends at their next refresh.
        auto nextRefresh = [&] { return polled_.empty() ? 0 : nextPoll_; };
        const uint64_t due = nextRefresh();
        const auto woken = [&] { return signalled_ || Terminated() || nextRefresh() != due; };
        if (due) cond_.WaitUntil(lock, due, woken);
        else cond_.WaitFor(lock, INFINITE, woken);
        PollLocked();
        if (!signalled_ || Terminated()) continue;
        // The quiet period: it ends once a whole period passed without a
        // change, or when changes have kept coming for the longest hold.
        do {
            newEvent_ = false;
            ++debounceRounds_;
            cond_.WaitFor(lock, ShellNotifyQuietMs, [&] { return Terminated(); });
            PollLocked(); // a refresh due meanwhile joins this batch
        } while (newEvent_ && !Terminated() &&
                 CurrentClock().Ticks() - firstPendingTicks_ < ShellNotifyLongestHoldMs);
        if (Terminated()) break;
        signalled_ = false;
        auto batch = std::make_unique<TShellEventList>();
        for (auto& event : pending_)
            batch->Add(std::move(event));
        for (auto& renamed : pendingRenames_)
            batch->AddRename(std::move(renamed));
        batch->SetChangesLost(std::exchange(changesLost_, false));
        pending_.clear();
        pendingKeys_.clear();
        pendingRenames_.clear();
        if (batch->Count() == 0) continue;
        lock.unlock();
        batch->AddRef();
        if (target_ &&
            PostMessage(target_, WM_SHELLNOTIFY, reinterpret_cast<WPARAM>(batch.get()), 0))
            batch.release();
        lock.lock();
        if (!batch) continue;
        // The GUI's queue is full: nothing is dropped, the batch waits for
        // the next round with whatever comes meanwhile.
        for (auto& event : batch->Take())
            QueueUniqueLocked(std::move(event));
        std::vector<TRenamedItem> renames = batch->TakeRenames();
        for (auto& renamed : pendingRenames_) renames.push_back(std::move(renamed));
        pendingRenames_ = std::move(renames);
        changesLost_ = changesLost_ || batch->ChangesLost();
        signalled_ = true;
        firstPendingTicks_ = CurrentClock().Ticks();
    }
}

// ---------------------------------------------------------------- shell

// The change bus's deliveries to the thread: each announcement waits in the
// table under a handle until the thread's window takes it out.
struct TShellChangeThread::Delivery {
    struct Item {
        uint32_t number = 0;
        UniquePIDL pidl1;
        UniquePIDL pidl2;
    };
    std::mutex mutex; // guards everything below
    TShellChangeThread* thread = nullptr; // nullptr once the thread stopped listening
    HWND window = nullptr;
    uint32_t next = 1;
    std::map<uint32_t, Item> table;

    // On the announcing thread.
    void Announce(uint32_t number, PCItemIDList pidl1, PCItemIDList pidl2) {
        std::lock_guard lock(mutex);
        if (!thread) return;
        uint32_t handle = next++;
        if (handle == 0) handle = next++; // 0 is no handle
        auto [it, added] = table.emplace(handle, Item{number, Copy(pidl1), Copy(pidl2)});
        if (added && PostMessage(window, WM_CHANGENOTIFY, handle, static_cast<LPARAM>(getpid())))
            return;
        // The thread's queue is full: the event goes on from here instead.
        Item item = std::move(it->second);
        table.erase(it);
        thread->DispatchShellEvent(item.number, item.pidl1.get(), item.pidl2.get());
    }
    // SHChangeNotification_Lock: the item is the caller's until it frees it.
    bool Take(uint32_t handle, Item& item) {
        std::lock_guard lock(mutex);
        auto it = table.find(handle);
        if (it == table.end()) return false;
        item = std::move(it->second);
        table.erase(it);
        return true;
    }
};

TShellChangeThread::TShellChangeThread(TChangeDispatchThread& dispatch,
                                       std::vector<TVirtualFolder> folders)
    : dispatch_(dispatch), folders_(std::move(folders)), delivery_(std::make_shared<Delivery>()) {}

TShellChangeThread::~TShellChangeThread() {
    TerminateAndWait();
}

void TShellChangeThread::StartAndWaitReady() {
    Start();
    ready_.WaitFor(INFINITE);
}

void TShellChangeThread::Wake() {
    // Any message makes the loop look at Terminated; a full queue is being
    // served, so a failed post loses nothing.
    if (DWORD id = threadId_.load()) PostThreadMessage(id, WM_SHELLNOTIFYTHREADQUIT);
}

void TShellChangeThread::DispatchShellEvent(uint32_t number, PCItemIDList pidl1,
                                            PCItemIDList pidl2) {
    auto event = TShellEvent::FromShell(number, pidl1, pidl2);
    if (!event) return;
    const bool carriesPIDLs = event->Kind != sneFreeSpace && event->Kind != sneUpdateImage;
    dispatch_.AddEvent(std::move(event));
    if (!carriesPIDLs || !MapVirtualFolders()) return;
    UniquePIDL mapped1, mapped2;
    for (const TVirtualFolder& folder : folders_) {
        if (!mapped1) mapped1 = MapToVirtualFolder(pidl1, folder);
        if (!mapped2) mapped2 = MapToVirtualFolder(pidl2, folder);
    }
    if (mapped1 || mapped2)
        dispatch_.AddEvent(TShellEvent::FromShell(number, mapped1 ? mapped1.get() : pidl1,
                                                  mapped2 ? mapped2.get() : pidl2));
}

LRESULT TShellChangeThread::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CHANGENOTIFY: {
        Delivery::Item item;
        if (lParam == static_cast<LPARAM>(getpid()) &&
            delivery_->Take(static_cast<uint32_t>(wParam), item))
            DispatchShellEvent(item.number, item.pidl1.get(), item.pidl2.get());
        return 0;
    }
    case WM_CHANGENOTIFY_NT4: {
        // Two PIDLs the sender keeps until this returns.
        const auto* pidls = reinterpret_cast<const PCItemIDList*>(wParam);
        if (pidls) DispatchShellEvent(static_cast<uint32_t>(lParam), pidls[0], pidls[1]);
        return 0;
    }
    case WM_SHELLNOTIFYTHREADEVENT: {
        std::unique_ptr<TInjectedShellEvent> block(reinterpret_cast<TInjectedShellEvent*>(wParam));
        if (block) DispatchShellEvent(static_cast<uint32_t>(lParam), block->PIDL1.get(),
                                      block->PIDL2.get());
        return 0;
    }
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void TShellChangeThread::Execute() {
    EnsureMessageQueue();
    threadId_ = GetCurrentThreadId();
    WNDCLASS wc;
    if (!GetClassInfo(kShellThreadWindowClass, wc)) {
        wc.style = CS_VREDRAW | CS_HREDRAW;
        wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            auto* self = reinterpret_cast<TShellChangeThread*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
            return self ? self->WindowProc(hwnd, msg, wParam, lParam)
                        : DefWindowProc(hwnd, msg, wParam, lParam);
        };
        wc.lpszClassName = kShellThreadWindowClass;
        RegisterClass(wc);
    }
    // A message-only window: it is never shown on any display.
    const HWND window =
        CreateWindowEx(0, kShellThreadWindowClass, "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE);
    if (!window) {
        ready_.SetEvent();
        return;
    }
    SetWindowLongPtr(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window;
    {
        std::lock_guard lock(delivery_->mutex);
        delivery_->thread = this;
        delivery_->window = window;
    }
    const int subscription = SubscribeShellChanges(
        [delivery = delivery_](uint32_t number, PCItemIDList pidl1, PCItemIDList pidl2) {
            delivery->Announce(number, pidl1, pidl2);
        });
    ready_.SetEvent();

    MSG msg;
    while (!Terminated() && GetMessage(msg, nullptr, 0, 0) > 0) {
        if (!msg.hwnd && msg.message == WM_SHELLNOTIFYTHREADQUIT) {
            PostQuitMessage(0);
            continue;
        }
        DispatchMessage(msg);
    }

    UnsubscribeShellChanges(subscription);
    {
        // A listener still running on another thread finds nobody here.
        std::lock_guard lock(delivery_->mutex);
        delivery_->thread = nullptr;
        delivery_->window = nullptr;
        delivery_->table.clear();
    }
    window_ = nullptr;
    // Injected events still queued are freed by the drop handler.
    DestroyWindow(window);
}

// ---------------------------------------------------------------- kernel

TKernelChangeThread::TKernelChangeThread(TShellChangeNotifier& notifier,
                                         TChangeDispatchThread& dispatch)
    : notifier_(notifier), dispatch_(dispatch) {}

TKernelChangeThread::~TKernelChangeThread() {
    TerminateAndWait();
}

void TKernelChangeThread::Wake() {
    ++rebuildsAsked_;
    watch_.Wake();
}

void TKernelChangeThread::AddSpecialFolder(const std::string& path, UniquePIDL physical,
                                           UniquePIDL virtualPidl) {
    std::lock_guard lock(mutex_);
    paths_.push_back(path);
    physical_.Add(std::move(physical));
    virtual_.Add(std::move(virtualPidl));
}

int TKernelChangeThread::SpecialFolderCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(paths_.size());
}

void TKernelChangeThread::Rebuild(std::map<Key, Entry>& entries) {
    std::set<Key> wanted;
    {
        std::lock_guard lock(mutex_);
        for (const std::string& path : paths_)
            wanted.emplace(path, KernelFilterFlags(0x1F));
    }
    {
        const TShellChangeControlList& controls = notifier_.LockControlList();
        for (const TShellChangeControl& c : controls) {
            if (c.KernelRegistered && !c.WatchFolder.empty())
                wanted.emplace(WideToUtf8(c.WatchFolder), KernelFilterFlags(c.KernelFilter));
            if (c.ShellRegistered)
                for (const WideString& folder : c.ShownFolders)
                    wanted.emplace(WideToUtf8(folder), KernelFilterFlags(ShownFolderFilter));
        }
        notifier_.UnlockControlList();
    }
    for (auto it = entries.begin(); it != entries.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        watch_.Remove(it->second.id);
        it = entries.erase(it);
    }
    std::vector<Entry> unwatched;
    for (const Key& key : wanted) {
        if (entries.count(key)) continue;
        UniquePIDL pidl(ParsePath(key.first));
        if (!pidl) continue;
        const int id = watch_.Add(key.first, key.second);
        // A folder that is there but over the kernel's limit still follows
        // its changes, on the timer.
        if (!id && !watch_.LastAddHitLimit()) continue;
        Entry entry{id, std::move(pidl), nullptr};
        {
            std::lock_guard lock(mutex_);
            for (int i = 0; i < physical_.Count(); ++i)
                if (virtual_[i] && IsAtOrUnder(entry.pidl.get(), physical_[i])) {
                    entry.virtualPidl = MapToVirtualFolder(
                        entry.pidl.get(), TVirtualFolder{Copy(physical_[i]), Copy(virtual_[i])});
                    break;
                }
        }
        if (id) entries.emplace(key, std::move(entry));
        else unwatched.push_back(std::move(entry));
    }
    PollUnwatched(unwatched);
}

void TKernelChangeThread::PollUnwatched(std::vector<Entry>& unwatched) {
    std::vector<UniquePIDL> folders;
    for (Entry& entry : unwatched) {
        folders.push_back(std::move(entry.pidl));
        if (entry.virtualPidl) folders.push_back(std::move(entry.virtualPidl));
    }
    const int count = static_cast<int>(unwatched.size());
    const int before = polledCount_.exchange(count);
    dispatch_.SetPolledFolders(std::move(folders));
    // The user hears of it once, as it begins; a failed post is no reason
    // to stop following the folders.
    if (before == 0 && count > 0 && notifier_.Window())
        PostMessage(notifier_.Window(), WM_SHELLNOTIFYCANNOTFOLLOW, static_cast<WPARAM>(count), 0);
}

void TKernelChangeThread::QueueChange(const Entry& entry) {
    dispatch_.AddEvent(TShellEvent::Create(sneUpdateDir, entry.pidl.get()));
    if (entry.virtualPidl)
        dispatch_.AddEvent(TShellEvent::Create(sneUpdateDir, entry.virtualPidl.get()));
}

void TKernelChangeThread::QueueMove(const Entry& from, const Entry& to, const DirectoryWatch::Move& move) {
    const TShellNotifyEvent kind = move.folder ? sneRenameFolder : sneRenameItem;
    auto queue = [&](PCItemIDList fromFolder, PCItemIDList toFolder) {
        const UniquePIDL oldItem(ILCreateItem(PIDL_KIND_FILE, move.fromName));
        const UniquePIDL newItem(ILCreateItem(PIDL_KIND_FILE, move.toName));
        if (!oldItem || !newItem) return;
        const UniquePIDL oldPidl(NamespacePIDLManager().AppendPIDL(fromFolder, oldItem.get()));
        const UniquePIDL newPidl(NamespacePIDLManager().AppendPIDL(toFolder, newItem.get()));
        if (oldPidl && newPidl) dispatch_.AddEvent(TShellEvent::Create(kind, oldPidl.get(), newPidl.get()));
    };
    queue(from.pidl.get(), to.pidl.get());
    // Where a folder also shows at its desktop place, so does the move.
    if (from.virtualPidl || to.virtualPidl)
        queue(from.virtualPidl ? from.virtualPidl.get() : from.pidl.get(),
              to.virtualPidl ? to.virtualPidl.get() : to.pidl.get());
}

void TKernelChangeThread::Execute() {
    if (!watch_.Valid()) return; // no kernel watches here: this source stays silent
    std::map<Key, Entry> entries;
    while (!Terminated()) {
        const uint64_t asked = rebuildsAsked_.load();
        Rebuild(entries);
        rebuildsDone_ = asked;
        for (;;) {
            const DirectoryWatch::Changes changes = watch_.Wait();
            if (Terminated()) break;
            auto hit = [&](const std::vector<int>& ids, int id) {
                return std::find(ids.begin(), ids.end(), id) != ids.end();
            };
            if (!changes.moves.empty()) {
                std::map<int, const Entry*> byId;
                for (const auto& [key, entry] : entries)
                    byId.emplace(entry.id, &entry);
                for (const DirectoryWatch::Move& move : changes.moves) {
                    auto from = byId.find(move.from), to = byId.find(move.to);
                    if (from != byId.end() && to != byId.end()) QueueMove(*from->second, *to->second, move);
                }
            }
            // Lost changes: every watched folder is refreshed, and the batch
            // says why, since moves among them went unseen.
            if (changes.overflow) dispatch_.NoteChangesLost();
            for (const auto& [key, entry] : entries)
                if (changes.overflow || hit(changes.changed, entry.id)) QueueChange(entry);
            // A folder that went is watched again by a rebuild if it is back.
            std::erase_if(entries, [&](const auto& e) { return hit(changes.gone, e.second.id); });
            if (changes.mounts) {
                // Each path is watched afresh: it may name another folder now.
                watch_.RemoveAll();
                entries.clear();
                ++rebuildsAsked_;
            }
            if (changes.woken || changes.mounts) break;
        }
    }
    watch_.RemoveAll();
    dispatch_.SetPolledFolders({});
}

} // namespace ax
