#pragma once
// The process-wide change-link dispatcher. Explorer controls linked to each
// other follow each other's navigation: a control (the server) announces
// the item it moved to, and every control linked to it as a client follows.
// A client that follows announces its own move in turn; that announcement
// reaches only links that were not already served by the first one, so a
// change never comes back to the control that started it.
//
// Links are shared objects: a dispatch walks its own snapshot, and a link
// unregistered meanwhile (a callback freeing a control, or unlinking) has
// its callbacks cleared and is skipped. The announced PIDL is copied before
// any callback runs, so a server freed by a callback leaves nothing dangling.
//
// Threads: GUI thread only. The lock guards the link list only; no callback
// runs under it.
#include "explorer/ExplorerTree.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ax {

class TExpChangeLink;
using TExpChangeLinkEvent = std::function<void(TComponent* Server, PCItemIDList PIDL)>;
using TExpChangeLinkFreeEvent = std::function<void(TExpChangeLink& ChangeLink)>;

// One link: the client follows the server's changes.
class TExpChangeLink {
public:
    TComponent* ChangeLinkServer = nullptr;
    TComponent* ChangeLinkClient = nullptr;
    TExpChangeLinkEvent OnChangeLink;
    TExpChangeLinkFreeEvent OnChangeLinkFree;
};

// Which links UnRegisterChangeLink matches.
enum TUnRegisterKind : int {
    ukServer = 0, // the server; the first match only
    ukClient = 1, // the client; the first match only
    ukBoth = 2,   // server and client; the first match only
    ukEither = 3, // server or client; every match
};

class TExpChangeDispatch final : public IExpChangeDispatch {
public:
    TExpChangeDispatch() = default;
    // No explorer tree announces to it any more.
    ~TExpChangeDispatch() override;
    TExpChangeDispatch(const TExpChangeDispatch&) = delete;
    TExpChangeDispatch& operator=(const TExpChangeDispatch&) = delete;

    // The one dispatcher of the process.
    static TExpChangeDispatch& Instance();

    void RegisterChangeLink(TComponent* server, TComponent* client, TExpChangeLinkEvent onChange,
                            TExpChangeLinkFreeEvent onFree);
    // Removes matching links from the last to the first, telling each
    // link's free callback first. ukServer..ukBoth answer whether one was
    // removed; ukEither removes every match and answers false.
    bool UnRegisterChangeLink(TComponent* server, TComponent* client, TUnRegisterKind kind);
    void DispatchChange(TComponent* server, PCItemIDList pidl);
    void DispatchChange(TCustomExplorerTree* server, PCItemIDList pidl) override;

    int Count() const;
    // The control whose change is being dispatched; nil when idle.
    TComponent* Dispatching() const { return current_; }

private:
    using LinkPtr = std::shared_ptr<TExpChangeLink>;
    std::vector<LinkPtr> Snapshot() const;
    // Calls every link of links that server feeds and that may follow.
    void Notify(const std::vector<LinkPtr>& links, TComponent* server, PCItemIDList pidl);

    mutable std::mutex lock_;
    std::vector<LinkPtr> links_; // guarded by lock_
    TComponent* current_ = nullptr;
    std::vector<LinkPtr> pending_;
};

} // namespace ax
