// The change-link dispatcher: registering and unregistering links, and one
// change handed to the controls that follow its server.
#include "explorer/ExpChangeDispatch.h"

#include "rtl/scopeguard.h"

#include <algorithm>

namespace ax {

TExpChangeDispatch::~TExpChangeDispatch() {
    if (ExpChangeDispatch() == this) SetExpChangeDispatch(nullptr);
}

TExpChangeDispatch& TExpChangeDispatch::Instance() {
    static TExpChangeDispatch dispatch;
    return dispatch;
}

void TExpChangeDispatch::RegisterChangeLink(TComponent* server, TComponent* client, TExpChangeLinkEvent onChange,
                                            TExpChangeLinkFreeEvent onFree) {
    auto link = std::make_shared<TExpChangeLink>();
    link->ChangeLinkServer = server;
    link->ChangeLinkClient = client;
    link->OnChangeLink = std::move(onChange);
    link->OnChangeLinkFree = std::move(onFree);
    const std::lock_guard hold(lock_);
    links_.push_back(std::move(link));
}

bool TExpChangeDispatch::UnRegisterChangeLink(TComponent* server, TComponent* client, TUnRegisterKind kind) {
    auto matches = [&](const TExpChangeLink& l) {
        switch (kind) {
        case ukServer: return l.ChangeLinkServer == server;
        case ukClient: return l.ChangeLinkClient == client;
        case ukBoth: return l.ChangeLinkServer == server && l.ChangeLinkClient == client;
        case ukEither: return l.ChangeLinkServer == server || l.ChangeLinkClient == client;
        }
        return false;
    };
    std::vector<LinkPtr> removed;
    {
        const std::lock_guard hold(lock_);
        for (size_t i = links_.size(); i-- > 0;) {
            if (!matches(*links_[i])) continue;
            removed.push_back(links_[i]);
            links_.erase(links_.begin() + std::ptrdiff_t(i));
            if (kind != ukEither) break;
        }
    }
    // The free callbacks may register or unregister links themselves.
    for (const LinkPtr& link : removed) {
        TExpChangeLinkFreeEvent onFree = std::move(link->OnChangeLinkFree);
        link->OnChangeLinkFree = nullptr;
        if (onFree) onFree(*link);
        link->OnChangeLink = nullptr;
        link->ChangeLinkServer = nullptr;
        link->ChangeLinkClient = nullptr;
    }
    return kind != ukEither && !removed.empty();
}

int TExpChangeDispatch::Count() const {
    const std::lock_guard hold(lock_);
    return int(links_.size());
}

std::vector<TExpChangeDispatch::LinkPtr> TExpChangeDispatch::Snapshot() const {
    const std::lock_guard hold(lock_);
    return links_;
}

void TExpChangeDispatch::DispatchChange(TCustomExplorerTree* server, PCItemIDList pidl) {
    DispatchChange(static_cast<TComponent*>(server), pidl);
}

void TExpChangeDispatch::Notify(const std::vector<LinkPtr>& links, TComponent* server, PCItemIDList pidl) {
    for (const LinkPtr& link : links) {
        // A link unregistered by an earlier callback has lost its server.
        if (link->ChangeLinkServer != server || !link->OnChangeLink || link->ChangeLinkClient == current_) continue;
        // A copy: the callback may unregister (and so clear) its own link.
        const TExpChangeLinkEvent onChange = link->OnChangeLink;
        onChange(server, pidl);
    }
}

void TExpChangeDispatch::DispatchChange(TComponent* server, PCItemIDList pidl) {
    if (!server) return;
    // The server or a callback may free the announced item.
    TPIDLManager& pm = NamespacePIDLManager();
    const UniquePIDL copy(pidl ? pm.CopyPIDL(pidl) : nullptr);
    if (current_) {
        // A client announces its own move: only the links the first
        // announcement did not serve.
        const std::vector<LinkPtr> pending = pending_;
        Notify(pending, server, copy.get());
        return;
    }
    const std::vector<LinkPtr> links = Snapshot();
    current_ = server;
    ScopeGuard idle([this] {
        current_ = nullptr;
        pending_.clear();
    });
    pending_.clear();
    for (const LinkPtr& link : links) {
        if (link->ChangeLinkServer == server) continue;
        const bool servedClient = std::any_of(links.begin(), links.end(), [&](const LinkPtr& own) {
            return own->ChangeLinkServer == server && own->ChangeLinkClient == link->ChangeLinkClient;
        });
        if (!servedClient) pending_.push_back(link);
    }
    Notify(links, server, copy.get());
}

} // namespace ax
