#pragma once
// The icon thread: finds the system image index of items off the GUI
// thread. A control with threaded images shows a placeholder, queues a
// request here and repaints the item when the reply arrives: the request
// itself, posted to the control's window with the message it asked for
// (the explorer controls ask for WM_ICONTHREADREPLY). The receiver hands
// the request back with ReleaseItem once it has used it.
//
// The newest request is served first (what the user sees now). The worker
// copies a request's PIDL under the queue's lock, resolves it outside the
// lock and completes it under the lock again, posting the reply while it
// holds the lock; a control clearing its requests drains the replies
// already posted to it and drops its queued requests in one hold of the
// same lock, so no reply can reach it for a request it has let go of.
// Replies posted to a window that is destroyed before it reads them are
// released by the window layer's dropped-message handler. Releasing a
// request needs neither the thread nor the manager.
//
// The manager's operations belong to the GUI thread.
#include "framework/controls.h"
#include "platform/window/window.h"
#include "rtl/threads.h"
#include "shell/PIDLTools.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace ax {

// The explorer controls' icon reply (WM_APP range): the request in wParam.
inline constexpr UINT WM_ICONTHREADREPLY = 0x8034;

inline constexpr const char* SAddToUnregisteredControl =
    "Trying to add Image Thread Item to a unregistered control";
inline constexpr const char* SClearForUnregisteredControl =
    "Trying to clear pending Image Thead Items from an unregistered control";

// One request, owned by the thread's queue until the reply is posted, then
// by the receiver until it releases it.
struct TImageThreadRequest {
    UniquePIDL PIDL;       // absolute, a copy owned by the request
    int ImageIndex = -1;   // the result
    bool Large = false;
    TWinControl* Control = nullptr; // compared, never used by the thread
    void* Data = nullptr;  // the caller's item (the explorer tree's node)
    intptr_t Tag = 0;
    UINT Message = 0;      // posted back with the request in wParam
    HWND Window = nullptr; // the control's window when the request was made
    uint64_t Serial = 0;   // tells requests apart while one is resolved
};

// Frees a request and its PIDL. Safe at any time on any thread.
void ReleaseImageThreadRequest(TImageThreadRequest* request);

class TImageThread : public TThread {
public:
    TImageThread();
    ~TImageThread() override;

    TCriticalSection& QueueLock() { return lock_; }
    // Queue operations; each takes the lock (which is reentrant).
    void Add(std::unique_ptr<TImageThreadRequest> request, bool atFront);
    // Drops every queued request for which match answers true.
    void Clear(const std::function<bool(const TImageThreadRequest&)>& match);
    int Count();
    // Requests that vanished while they were being resolved.
    int Vanished() const { return vanished_.load(); }

protected:
    void Execute() override;
    void TerminatedSet() override { event_.SetEvent(); }
    // The system image index of an absolute PIDL; 0 when it has none.
    virtual int ExtractInfo(PCItemIDList pidl);
    // Called when a request left the queue while it was being resolved.
    virtual void RequestVanished() { ++vanished_; }

private:
    // Posts the reply (retrying a full queue for a while) or releases it.
    void Reply(std::unique_ptr<TImageThreadRequest> request);
    TCriticalSection lock_; // guards queue_
    std::deque<std::unique_ptr<TImageThreadRequest>> queue_;
    TEvent event_{true, false}; // set by every add, reset only when the queue is empty
    std::atomic<int> vanished_{0};
};

class TImageThreadManager {
public:
    TImageThreadManager() = default;
    virtual ~TImageThreadManager();
    TImageThreadManager(const TImageThreadManager&) = delete;
    TImageThreadManager& operator=(const TImageThreadManager&) = delete;

    void RegisterControl(TWinControl* control);
    void UnRegisterControl(TWinControl* control);
    bool Registered(TWinControl* control) const;
    void AddNewItem(TWinControl* control, UINT message, intptr_t tag, void* data, bool large,
                    PCItemIDList pidl);
    // The same, but at the front of the queue, which is served from the
    // back: after everything already queued.
    void InsertNewItem(TWinControl* control, UINT message, intptr_t tag, void* data, bool large,
                       PCItemIDList pidl);
    // Dispatches the replies already posted to the control, then drops its
    // queued requests, in one hold of the queue's lock.
    void ClearPendingItems(TWinControl* control, UINT message);
    // The same for the requests of one item.
    void ClearPendingItem(TWinControl* control, void* data, UINT message);
    // A reply the control has used.
    static void ReleaseItem(TImageThreadRequest* request) { ReleaseImageThreadRequest(request); }
    void LockThread();
    void UnlockThread();
    // The worker's priority: applied to a running worker at once, and to
    // each new one as it starts.
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority priority);
    TImageThread* Thread() const { return thread_.get(); }

protected:
    virtual std::unique_ptr<TImageThread> CreateThread();

private:
    void Add(TWinControl* control, UINT message, intptr_t tag, void* data, bool large,
             PCItemIDList pidl, bool atFront);
    void Clear(TWinControl* control, UINT message,
               const std::function<bool(const TImageThreadRequest&)>& match);
    std::vector<TWinControl*> controls_;
    std::unique_ptr<TImageThread> thread_;
    std::set<UINT> dropHandled_;
    uint64_t serial_ = 0;
    TThreadPriority priority_ = tpNormal;
};

// The process-wide manager, made on first call.
TImageThreadManager& ImageThreadManager();
// The unit's shut-down: stops the thread and frees the manager.
void IconThreadFinalize();

} // namespace ax
