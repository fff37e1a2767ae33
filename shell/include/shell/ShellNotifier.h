#pragma once
// The change notifier: tells registered window controls that something in
// the shell namespace or in a watched folder changed.
//
// Three threads work for it while some control needs them. The shell
// thread hears the namespace's own change bus (every file operation of this
// process announces itself there); the kernel thread watches folders on
// disk (the special folders registered with it and each control's
// WatchFolder); both hand their events to the dispatch thread, which folds
// them (renames, creations and deletions become "Update Directory" of the
// folder, duplicates go), waits for 750 ms without a change on the installed
// clock (at most ShellNotifyLongestHoldMs) and posts the batch to the notifier's window on the GUI thread.
// That window hands the batch to every registered control as
// WM_SHELLNOTIFY; each control calls Release on the list when done with it.
// A control's window destroyed with batches queued has them released by the
// window layer's dropped-message handler, so no batch is ever lost track of.
//
// Registration, the notifier's window and the controls' handling of the
// batches belong to the GUI thread (the thread that first calls
// ChangeNotifier). Locks: the control list's (registration, the fan-out,
// the kernel thread reading watch folders), the dispatch thread's (its
// pending events), the kernel thread's (its special folders) and the shell
// thread's delivery table. None is taken while another of them is held,
// except that a delivery that cannot be posted is queued with the dispatch
// thread under the delivery table's lock.
#include "framework/controls.h"
#include "platform/directory_watch.h"
#include "platform/mount_watch.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "rtl/threads.h"
#include "shell/PIDLTools.h"
#include "shell/WideStrings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ax {

// Private messages of the notifier (WM_APP range).
inline constexpr UINT WM_SHELLNOTIFYTHREADEVENT = 0x8009; // ShellNotify's event, to the shell thread
inline constexpr UINT WM_SHELLNOTIFY = 0x8033;            // a batch: TShellEventList* in wParam
inline constexpr UINT WM_SHELLNOTIFYTHREADQUIT = 0x8036;  // stops the shell thread
inline constexpr UINT WM_CHANGENOTIFY = 0x8037;           // a delivery from the change bus
inline constexpr UINT WM_CHANGENOTIFY_NT4 = 0x8038;       // a delivery of two PIDLs in place
inline constexpr UINT WM_SHELLNOTIFYCANNOTFOLLOW = 0x8039; // to the notifier: folders went on the timer

// The debounce: a batch goes out once this long passed without a change...
inline constexpr uint32_t ShellNotifyQuietMs = 750;
// ...or once changes kept coming this long after its first event, so that a
// folder written to without pause does not hold every refresh back.
inline constexpr uint32_t ShellNotifyLongestHoldMs = 10 * ShellNotifyQuietMs;
// Folders the kernel will not watch (its limit of watches reached) are
// refreshed this often instead.
inline constexpr uint32_t ShellNotifyPollMs = 5000;
// What the user is told, once, when that starts: the number of folders and
// the period in seconds.
inline constexpr const char* SCannotFollowFolders =
    "The system's limit of watched folders is reached: %d folders are checked for changes "
    "every %d seconds instead.";

// The kinds of change, in the order of their display names
// (SShellEventNames, ShellResources.h).
enum TShellNotifyEvent : uint8_t {
    sneAssociationChanged,
    sneAttributes,
    sneCreate,
    sneDelete,
    sneDriveAdd,
    sneDriveAddGUI,
    sneDriveRemoved,
    sneFreeSpace,
    sneMediaInserted,
    sneMediaRemoved,
    sneMakeDirectory,
    sneNetShare,
    sneNetUnshare,
    sneRenameFolder,
    sneRenameItem,
    sneRemoveDirectory,
    sneServerDisconnect,
    sneUpdateDir,
    sneUpdateImage,
    sneUpdateItem,
};
// The shell event number (SHCNE_) of a kind, and back: false for a number
// that is not exactly one of them (one carrying other bits included).
uint32_t ShellEventNumber(TShellNotifyEvent kind);
bool ShellEventKind(uint32_t number, TShellNotifyEvent& kind);

// One change.
struct TShellEvent {
    TShellNotifyEvent Kind = sneUpdateDir;
    // The two values of "Free Space" and "Update Image"; 0 for the others.
    uint32_t DWord1 = 0;
    uint32_t DWord2 = 0;
    // Copies owned by the event; nil when absent.
    UniquePIDL PIDL1;
    UniquePIDL PIDL2;
    // PIDL1 and PIDL2 without their last item.
    UniquePIDL ParentPIDL1;
    UniquePIDL ParentPIDL2;
    // A receiver skips an event marked invalid (a handler of the tree's
    // OnShellNotify may set it).
    bool Invalid = false;

    // An event of kind with copies of the PIDLs.
    static std::unique_ptr<TShellEvent> Create(TShellNotifyEvent kind, PCItemIDList pidl1,
                                               PCItemIDList pidl2 = nullptr);
    // An event as the shell delivers it: the number mapped to its kind; for
    // "Free Space" and "Update Image" pidl1 is a data block whose two 32-bit
    // values at offsets 2 and 6 become DWord1 and DWord2 (the event then
    // carries no PIDL). Nullptr for an unknown number, or a data block too
    // short to hold its values.
    static std::unique_ptr<TShellEvent> FromShell(uint32_t number, PCItemIDList pidl1,
                                                  PCItemIDList pidl2);
};

// A list shared by reference count. It lives on the heap; the last Release
// frees it.
class TReferenceCountedList {
public:
    TReferenceCountedList() = default;
    virtual ~TReferenceCountedList() = default;
    TReferenceCountedList(const TReferenceCountedList&) = delete;
    TReferenceCountedList& operator=(const TReferenceCountedList&) = delete;

    int RefCount() const { return refCount_.load(); }
    void AddRef(int count = 1) { refCount_.fetch_add(count); }
    // Drops one reference; when none is left (below 1) the list is freed.
    void Release();

private:
    std::atomic<int> refCount_{0};
};

// An item renamed or moved: its PIDL before and after.
struct TRenamedItem {
    UniquePIDL Old;
    UniquePIDL New;
};

// A batch of events. Filled by the dispatch thread before it is posted and
// only read afterwards, so the windows sharing it read it without a lock.
// Renames folded into "Update Directory" events keep their two PIDLs here,
// in the order they happened, so that what a control keeps per item can
// follow the item to its new name.
class TShellEventList final : public TReferenceCountedList {
public:
    // Changes were lost on the way (the kernel's queue overflowed): the
    // folders' updates stand in for them, and renames among them are not
    // known, so what a control keeps per item may lose its item.
    bool ChangesLost() const { return changesLost_; }
    void SetChangesLost(bool value) { changesLost_ = value; }
    TShellEventList() { events_.reserve(50); }
    const std::vector<TRenamedItem>& Renames() const { return renames_; }
    void AddRename(TRenamedItem renamed) { renames_.push_back(std::move(renamed)); }
    std::vector<TRenamedItem> TakeRenames() { return std::exchange(renames_, {}); }
    int Count() const { return static_cast<int>(events_.size()); }
    TShellEvent& Items(int index) const { return *events_.at(static_cast<size_t>(index)); }
    TShellEvent& operator[](int index) const { return Items(index); }
    void Add(std::unique_ptr<TShellEvent> event) { events_.push_back(std::move(event)); }
    // Hands every event over, leaving the list empty.
    std::vector<std::unique_ptr<TShellEvent>> Take() { return std::exchange(events_, {}); }
    auto begin() const { return events_.begin(); }
    auto end() const { return events_.end(); }

private:
    std::vector<std::unique_ptr<TShellEvent>> events_;
    std::vector<TRenamedItem> renames_;
    bool changesLost_ = false;
};

// ShellNotify's event on its way to the shell thread (WM_SHELLNOTIFYTHREADEVENT's
// wParam, freed by the receiver).
struct TInjectedShellEvent {
    UniquePIDL PIDL1;
    UniquePIDL PIDL2;
};

// The kernel filter: bit 0 file names, 1 folder names, 2 attributes, 3 size,
// 4 last write, 5 last access, 6 creation, 7 security.
using TKernelFilter = uint8_t;
// Everything but the last access.
inline constexpr TKernelFilter DefaultKernelFilter = 0xDF;
// The FILE_NOTIFY_CHANGE_ flags of a filter.
uint32_t KernelFilterFlags(TKernelFilter filter);

// One registered control.
struct TShellChangeControl {
    TWinControl* Control = nullptr;
    bool ShellRegistered = false;
    bool KernelRegistered = false;
    WideString WatchFolder;
    TKernelFilter KernelFilter = 0;
    // The folders a shell-registered control shows (see NotifyShownFolders).
    std::vector<WideString> ShownFolders;
    bool ShownCounted = false; // counted on the kernel thread for them
};
using TShellChangeControlList = std::vector<TShellChangeControl>;

class IShellChangeNotifier {
public:
    virtual ~IShellChangeNotifier() = default;
    // Queues an event with the dispatch thread directly (nothing happens
    // while no thread runs). The PIDLs are copied.
    virtual void PostShellEvent(TShellNotifyEvent kind, PCItemIDList pidl1,
                                PCItemIDList pidl2 = nullptr) = 0;
    virtual bool FilterEvents() const = 0;
    virtual bool MapVirtualFolders() const = 0;
    // Holds the control list's lock until UnlockControlList.
    virtual const TShellChangeControlList& LockControlList() = 0;
    // False when the control is not registered. A changed folder is stored
    // and the kernel thread watches it from then on; true.
    virtual bool NotifyWatchFolder(TWinControl* control, const WideString& folder) = 0;
    // Injects a shell event (an SHCNE_ number) through the shell thread, as
    // if the shell had announced it; nothing without a shell thread.
    virtual void ShellNotify(uint32_t eventNumber, PCItemIDList pidl1, PCItemIDList pidl2) = 0;
    virtual bool RegisterKernelChangeNotify(TWinControl* control, TKernelFilter filter) = 0;
    // Watches a special folder (CSIDL) on disk; a control must be
    // registered for kernel notifications first.
    virtual void RegisterKernelSpecialFolderWatch(int csidl) = 0;
    virtual bool RegisterShellChangeNotify(TWinControl* control) = 0;
    virtual void SetFilterEvents(bool value) = 0;
    virtual void SetMapVirtualFolders(bool value) = 0;
    // Removes every entry that equals or lies under another entry.
    virtual void StripDuplicatePIDLs(TPIDLList& list) = 0;
    virtual void UnlockControlList() = 0;
    // Each answers whether the control was known; threads nobody needs any
    // more are stopped.
    virtual bool UnRegisterKernelChangeNotify(TWinControl* control) = 0;
    virtual bool UnRegisterShellChangeNotify(TWinControl* control) = 0;
    virtual bool UnRegisterChangeNotify(TWinControl* control) = 0;
    virtual void UnRegisterAll() = 0;
    // The folders on disk a shell-registered control shows, watched as the
    // shell watches the folders its windows show: a change in one is an
    // "Update Directory" of it (with ShownFolderFilter). False when the
    // control is not registered for shell notifications.
    virtual bool NotifyShownFolders(TWinControl* control, const std::vector<WideString>& folders) = 0;
    // Called on the GUI thread with SCannotFollowFolders filled in when
    // folders start being refreshed on the timer, because the kernel will
    // not watch them; once until every folder is watched again.
    virtual void SetOnCannotFollow(std::function<void(const AnsiString& text)> handler) = 0;
};

// What the folders a control shows are watched for: names and attributes.
inline constexpr TKernelFilter ShownFolderFilter = 0x07;

// The process-wide notifier, made on the first call (on the GUI thread).
IShellChangeNotifier& ChangeNotifier();
// The unit's shut-down: frees the notifier (the next ChangeNotifier makes a
// new one). Controls still registered fail an assertion after everything
// was stopped and freed.
void ShellNotifierFinalize();

inline constexpr const char* SKernelThreadStillRegistered =
    "A KernelChangeNotifier is still registered with a Control";
inline constexpr const char* SShellThreadStillRegistered =
    "A ShellChangeThread is still registered with a Control";
inline constexpr const char* SDispatchThreadStillRegistered = "ChangeDispatchThread is still registered";
inline constexpr const char* SRegisterKernelFirst =
    "A control must be registered with the ShellChangeNotifier using RegisterShellChangeNotify "
    "before this method may be used.";
inline constexpr const char* SWatchFolderWithoutKernel =
    "Attempting to change WatchFolder with out registering a Kernel notifier in "
    "TShellChangeNotifier class";

// ---- The threads -----------------------------------------------------------------------

// A notifier thread: counted by the controls that need it, stopped by
// terminating, waking and joining it.
class TShellThread : public TThread {
public:
    int RefCount() const { return refCount_.load(); }
    int AddRef() { return ++refCount_; }
    int ReleaseRef() { return --refCount_; }
    // Terminate, wake, wait for the end.
    void Stop();

protected:
    void TerminatedSet() override { Wake(); }
    virtual void Wake() = 0;

private:
    std::atomic<int> refCount_{0};
};

// Collects, folds and batches events; posts each batch to target.
class TChangeDispatchThread final : public TShellThread {
public:
    // Builds the recycle-bin list: the Recycle Bin itself, then every trash
    // folder on disk (the home trash, each local volume's), each with the
    // folder its items live in (its "files" folder).
    explicit TChangeDispatchThread(HWND target);
    ~TChangeDispatchThread() override;

    // Queuing an event; safe from any thread.
    void AddEvent(std::unique_ptr<TShellEvent> event);
    // The next batch says that changes were lost; safe from any thread.
    void NoteChangesLost();
    // Folders refreshed every ShellNotifyPollMs: an "Update Directory" of
    // each, the first a period after the list stops being empty.
    void SetPolledFolders(std::vector<UniquePIDL> folders);
    // Refreshes of polled folders queued so far.
    uint64_t PollRounds();
    bool FilterEvents() const { return filterEvents_.load(); }
    void SetFilterEvents(bool value) { filterEvents_ = value; }
    const TPIDLList& RecycleBins() const { return recycleBins_; }

    // What tests watch, each read under the thread's lock.
    uint64_t EventsReceived();
    int PendingCount();
    // Quiet periods begun (each is a 750 ms wait on the clock).
    uint64_t DebounceRounds();

protected:
    void Execute() override;
    void Wake() override;

private:
    // Queues the refreshes of the polled folders when they are due.
    void PollLocked();
    // Steps 3 to 6 of queuing, with the lock held.
    void QueueLocked(std::unique_ptr<TShellEvent> event);
    void QueueUniqueLocked(std::unique_ptr<TShellEvent> event);
    void QueueUpdateDirLocked(PCItemIDList folder);
    // The recycle folder of the recycle-bin folder that holds or is pidl
    // (a trash's "files" folder; the Recycle Bin itself); nullptr if none.
    PCItemIDList RecycleFolderOf(PCItemIDList pidl) const;
    std::string KeyOf(const TShellEvent& event) const;

    const HWND target_;
    std::atomic<bool> filterEvents_{true};
    TPIDLList recycleBins_;    // fixed after construction
    TPIDLList recycleFolders_; // index-aligned with recycleBins_
    TimedCondition cond_;    // guards everything below
    std::vector<std::unique_ptr<TShellEvent>> pending_;
    std::unordered_set<std::string> pendingKeys_;
    std::vector<TRenamedItem> pendingRenames_;
    bool signalled_ = false;
    bool newEvent_ = false;
    bool changesLost_ = false;
    std::vector<UniquePIDL> polled_;
    uint64_t nextPoll_ = 0;
    uint64_t pollRounds_ = 0;
    uint64_t firstPendingTicks_ = 0;
    uint64_t eventsReceived_ = 0;
    uint64_t debounceRounds_ = 0;
};

// A folder the namespace shows at two places: on disk (physical, through
// Computer) and as a desktop item (virtual). Events under the physical one
// are repeated under the virtual one.
struct TVirtualFolder {
    UniquePIDL Physical;
    UniquePIDL Virtual;
};
// pidl rewritten below folder's virtual PIDL when it is or lies under the
// physical one; nil otherwise.
UniquePIDL MapToVirtualFolder(PCItemIDList pidl, const TVirtualFolder& folder);

// Hears the namespace's change bus. Each announcement is taken into a
// delivery table on the announcing thread and posted to the thread's window
// as WM_CHANGENOTIFY (the table entry's handle and the process id); the
// window takes it out, dispatches it and frees it.
class TShellChangeThread final : public TShellThread {
public:
    TShellChangeThread(TChangeDispatchThread& dispatch, std::vector<TVirtualFolder> folders);
    ~TShellChangeThread() override;
    // Starts the thread and returns once its window and queue exist.
    void StartAndWaitReady();
    HWND Window() const { return window_.load(); }
    DWORD QueueThreadId() const { return threadId_.load(); }
    bool MapVirtualFolders() const { return mapVirtualFolders_.load(); }
    void SetMapVirtualFolders(bool value) { mapVirtualFolders_ = value; }

    // Dispatching one shell event: to the dispatch thread, then again with
    // the PIDLs moved below a virtual folder when that applies.
    void DispatchShellEvent(uint32_t number, PCItemIDList pidl1, PCItemIDList pidl2);

protected:
    void Execute() override;
    void Wake() override;

private:
    struct Delivery;
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    TChangeDispatchThread& dispatch_;
    const std::vector<TVirtualFolder> folders_;
    std::atomic<bool> mapVirtualFolders_{true};
    std::shared_ptr<Delivery> delivery_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<DWORD> threadId_{0};
    TEvent ready_;
};

// Watches folders on disk: the registered special folders and each
// kernel-registered control's WatchFolder. Every change of a watched folder
// is an "Update Directory" of it (and of its virtual place); a lost event
// (the kernel's queue overflowed) is one for every watched folder. A
// rebuild keeps the watches that are still wanted, so nothing that happens
// in those folders meanwhile is missed.
class TShellChangeNotifier;
class TKernelChangeThread final : public TShellThread {
public:
    TKernelChangeThread(TShellChangeNotifier& notifier, TChangeDispatchThread& dispatch);
    ~TKernelChangeThread() override;
    void AddSpecialFolder(const std::string& path, UniquePIDL physical, UniquePIDL virtualPidl);
    int SpecialFolderCount();
    // Builds the watches again from the special folders and the controls.
    void Wake() override;
    // Rebuilds asked for and done: once RebuildsDone reaches the number
    // RebuildsAsked gave, every change stored before that ask is watched.
    uint64_t RebuildsAsked() const { return rebuildsAsked_.load(); }
    uint64_t RebuildsDone() const { return rebuildsDone_.load(); }
    // The folders the kernel would not watch, refreshed on the timer.
    int PolledCount() const { return polledCount_.load(); }
    // For tests: the next wait reports lost changes, as an overflowing
    // kernel queue does.
    void InjectOverflow() { watch_.InjectOverflow(); }

protected:
    void Execute() override;

private:
    struct Entry {
        int id = 0;
        UniquePIDL pidl;
        UniquePIDL virtualPidl; // the same folder's virtual place, if it has one
    };
    using Key = std::pair<std::string, uint32_t>; // path, FILE_NOTIFY_CHANGE_ flags
    void Rebuild(std::map<Key, Entry>& entries);
    // Hands the folders that could not be watched to the timer, and tells
    // the notifier's window when that begins.
    void PollUnwatched(std::vector<Entry>& unwatched);
    void QueueChange(const Entry& entry);
    // An item moved from one watched folder to another (or within one).
    void QueueMove(const Entry& from, const Entry& to, const DirectoryWatch::Move& move);
    TShellChangeNotifier& notifier_;
    TChangeDispatchThread& dispatch_;
    DirectoryWatch watch_;
    std::mutex mutex_; // guards the special folders
    std::vector<std::string> paths_;
    TPIDLList physical_;
    TPIDLList virtual_;
    std::atomic<uint64_t> rebuildsAsked_{1};
    std::atomic<uint64_t> rebuildsDone_{0};
    std::atomic<int> polledCount_{0};
};

// Watches the mount table and the media of mounted devices while the shell
// thread runs. A mount is a "Drive Add", an unmount a "Drive Removed", each
// with an "Update Directory" of its mount point (whose content is another
// file system's now); a mounted device whose medium went or came is a
// "Media Removed" or "Media Inserted" of its mount point, both in that order
// for a medium swapped.
class TMountChangeThread final : public TShellThread {
public:
    // The table as it is now is the one changes are told against.
    explicit TMountChangeThread(TChangeDispatchThread& dispatch);
    ~TMountChangeThread() override;
    // Changes of the table or of media looked at so far (for tests).
    uint64_t Rounds() const { return rounds_.load(); }

protected:
    void Execute() override;
    void Wake() override { watch_.Wake(); }

private:
    struct Known {
        unsigned major = 0, minor = 0;
        MountWatch::Medium medium;
    };
    using Table = std::map<std::string, Known>; // by mount point
    static Table Snapshot();
    void MountsChanged(Table& known);
    void MediaChanged(Table& known, const std::vector<std::pair<unsigned, unsigned>>& devices);
    void Announce(TShellNotifyEvent kind, const std::string& mountPoint);
    TChangeDispatchThread& dispatch_;
    MountWatch watch_;
    Table known_;
    std::atomic<uint64_t> rounds_{0};
};

// ---- The notifier ------------------------------------------------------------------------

class TShellChangeNotifier final : public IShellChangeNotifier {
public:
    TShellChangeNotifier();
    ~TShellChangeNotifier() override;

    void PostShellEvent(TShellNotifyEvent kind, PCItemIDList pidl1,
                        PCItemIDList pidl2 = nullptr) override;
    bool FilterEvents() const override { return filterEvents_; }
    bool MapVirtualFolders() const override { return mapVirtualFolders_; }
    const TShellChangeControlList& LockControlList() override;
    bool NotifyWatchFolder(TWinControl* control, const WideString& folder) override;
    void ShellNotify(uint32_t eventNumber, PCItemIDList pidl1, PCItemIDList pidl2) override;
    bool RegisterKernelChangeNotify(TWinControl* control, TKernelFilter filter) override;
    void RegisterKernelSpecialFolderWatch(int csidl) override;
    bool RegisterShellChangeNotify(TWinControl* control) override;
    void SetFilterEvents(bool value) override;
    void SetMapVirtualFolders(bool value) override;
    void StripDuplicatePIDLs(TPIDLList& list) override;
    void UnlockControlList() override;
    bool UnRegisterKernelChangeNotify(TWinControl* control) override;
    bool UnRegisterShellChangeNotify(TWinControl* control) override;
    bool UnRegisterChangeNotify(TWinControl* control) override;
    void UnRegisterAll() override;
    bool NotifyShownFolders(TWinControl* control, const std::vector<WideString>& folders) override;
    void SetOnCannotFollow(std::function<void(const AnsiString& text)> handler) override;

    HWND Window() const { return window_; }
    TChangeDispatchThread* DispatchThread() const { return dispatch_.get(); }
    TKernelChangeThread* KernelThread() const { return kernel_.get(); }
    TShellChangeThread* ShellThread() const { return shell_.get(); }
    TMountChangeThread* MountThread() const { return mounts_.get(); }
    // The assertion texts for threads that still have controls; empty when
    // none is left.
    std::vector<std::string> StillRegistered() const;

private:
    friend class TKernelChangeThread;
    class Watcher;
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void FanOut(TShellEventList* list);
    TShellChangeControl* FindLocked(TWinControl* control);
    TShellChangeControl* AddLocked(TWinControl* control);
    void EnsureDispatchThread();
    void EnsureKernelThread();
    void EnsureShellThread();
    void StopIdleThreads();
    void ControlFreed(TComponent* component);

    TCriticalSection controlLock_;
    TShellChangeControlList controls_;
    TCriticalSection specialFolderLock_;
    std::unique_ptr<TChangeDispatchThread> dispatch_;
    std::unique_ptr<TKernelChangeThread> kernel_;
    std::unique_ptr<TShellChangeThread> shell_;
    std::unique_ptr<TMountChangeThread> mounts_; // runs with the shell thread
    std::unique_ptr<Watcher> watcher_;
    HWND window_ = nullptr;
    bool filterEvents_ = true;
    bool mapVirtualFolders_ = true;
    std::function<void(const AnsiString& text)> onCannotFollow_;
};

} // namespace ax
