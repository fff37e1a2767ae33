// The pair's tree expanding a big folder in slices: its items read, its
// children made and initialised a slice at a time, the folder opened at the
// end; Escape takes it all back.
#include "explorer/ExplorerViews.h"

#include "explorer/SliceWindow.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"
#include "shell/NodeStorage.h"
#include "shell/PIDLTools.h"

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <utility>

namespace ax {
namespace {

std::string IdBytes(PCItemIDList id) {
    const size_t size = id ? ILByteSize(id) : 0;
    return std::string(reinterpret_cast<const char*>(id), size);
}

// The items below folder's record that hold a check state.
std::set<std::string> CheckedChildRecords(TRootNodeStorage& storage, PCItemIDList folder) {
    std::set<std::string> ids;
    TNodeStorage* record = storage.Lookup(folder);
    TNodeStorageList* children = record ? record->Children() : nullptr;
    for (int i = 0; children && i < children->Count(); ++i) {
        const TNodeStorage& child = *children->Items(i);
        if (child.Storage.Kinds & skCheck) ids.insert(IdBytes(child.RelativePIDL()));
    }
    return ids;
}

// A slice's time, and the items read between looks at the clock.
constexpr uint64_t kExpandSliceMs = 20;
constexpr int kExpandStep = 64;

} // namespace

struct TExplorerTreeview::Expansion {
    UniquePIDL pidl;
    PDataNode node = nullptr;
    // Being read; nil once the children are made.
    TChildListingPtr listing;
    int listed = 0;
    // The first child not initialised yet.
    PDataNode next = nullptr;
    int done = 0;
    // The children were made by this expansion, and the items below the
    // folder holding a check state before: what a cancel takes back.
    bool made = false;
    std::set<std::string> checkedBefore;
    bool childRecordsBefore = false;
};

void TExplorerTreeview::ExpansionDeleter::operator()(Expansion* expansion) const { delete expansion; }

TExplorerTreeview::~TExplorerTreeview() = default;

PCItemIDList TExplorerTreeview::ExpansionFolder() const { return expansion_ ? expansion_->pidl.get() : nullptr; }

bool TExplorerTreeview::BeginExpansion(PDataNode node) {
    CompleteExpansion();
    TNamespace* ns = NodeNamespace(node);
    if (!ns || !ns->AbsolutePIDL() || Expanded(node)) return false;
    TChildListingPtr listing = BeginChildListing(node);
    if (!listing) return false;
    expansion_.reset(new Expansion);
    expansion_->pidl.reset(NamespacePIDLManager().CopyPIDL(ns->AbsolutePIDL()));
    expansion_->node = node;
    expansion_->listing = std::move(listing);
    // A folder done within the first slice opens at once, as without slices.
    if (!ExpansionSlice(expandSliceSize_)) {
        expansion_.reset();
        return false;
    }
    if (!expansionWindow_) expansionWindow_ = std::make_unique<TSliceWindow>([this] { ServeExpansion(); });
    expansionWindow_->Schedule();
    return true;
}

bool TExplorerTreeview::ExpansionSlice(int count) {
    Expansion& e = *expansion_;
    // A slice ends at its count or its time, whichever comes first: an item
    // may cost a look into its own folder, slow on a slow disk.
    const bool whole = count == INT_MAX;
    const uint64_t deadline = CurrentClock().Ticks() + kExpandSliceMs;
    const auto due = [&] { return !whole && CurrentClock().Ticks() >= deadline; };
    if (e.listing && !ReadExpansionSlice(count, due)) {
        ReportExpansion(e.listed, 0);
        return true;
    }
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    for (int n = 0; e.next && n < count; ++n, ++e.done) {
        if (n > 0 && due()) break;
        InitNode(e.next);
        e.next = e.next->NextSibling;
    }
    if (!e.next) return false;
    ReportExpansion(e.done, int(e.node->ChildCount));
    return true;
}

bool TExplorerTreeview::ReadExpansionSlice(int count, const std::function<bool()>& due) {
    Expansion& e = *expansion_;
    bool end = false;
    for (int left = count; !end && left > 0 && !due(); left -= kExpandStep) {
        const int step = std::min(left, kExpandStep);
        end = ContinueChildListing(*e.listing, step);
        if (!end) e.listed += step;
    }
    if (!end) {
        // The children's memory is had a slice at a time.
        ReserveNodes(uint32_t(e.listed));
        return false;
    }
    // Made meanwhile (the synchroniser needed them): those stay.
    if (e.node->ChildCount == 0) {
        e.checkedBefore = CheckedChildRecords(Storage(), e.pidl.get());
        const TNodeStorage* record = Storage().Lookup(e.pidl.get());
        e.childRecordsBefore = record && record->Children();
        e.made = EndChildListing(e.node, *e.listing);
    }
    e.listing.reset();
    // What the slices reserved and no node took.
    DropNodeReserve();
    e.next = e.node->FirstChild;
    return true;
}

void TExplorerTreeview::ServeExpansion() {
    if (!expansion_) return;
    if (HasState(csDestroying)) {
        expansion_.reset();
        return;
    }
    if (ExpansionSlice(expandSliceSize_)) return expansionWindow_->Schedule();
    FinishExpansion();
}

void TExplorerTreeview::CompleteExpansion() {
    if (!expansion_ || HasState(csDestroying)) return;
    while (ExpansionSlice(INT_MAX)) {
    }
    FinishExpansion();
}

void TExplorerTreeview::FinishExpansion() {
    // Not pending any more while the folder opens: what its expansion runs
    // may complete what is pending.
    const PDataNode node = expansion_->node;
    expansion_.reset();
    if (expansionWindow_) expansionWindow_->Cancel();
    {
        // Allowed when it began: opened now whatever let it begin.
        const bool outer = std::exchange(openingExpanded_, true);
        ScopeGuard restore([this, outer] { openingExpanded_ = outer; });
        SetExpanded(node, true);
    }
    ReportExpansion(int(node->ChildCount), int(node->ChildCount));
}

void TExplorerTreeview::CancelExpansion() {
    if (!expansion_) return;
    const std::unique_ptr<Expansion, ExpansionDeleter> e = std::move(expansion_);
    if (expansionWindow_) expansionWindow_->Cancel();
    DropNodeReserve();
    if (e->made) {
        BeginUpdate();
        ScopeGuard end([this] { EndUpdate(); });
        UnmakeChildren(e->node);
        // The records the children's initialisation added go with them.
        const std::set<std::string> after = CheckedChildRecords(Storage(), e->pidl.get());
        TPIDLManager& pm = NamespacePIDLManager();
        for (const std::string& id : after) {
            if (e->checkedBefore.count(id)) continue;
            const UniquePIDL child(pm.AppendPIDL(e->pidl.get(), reinterpret_cast<PCItemIDList>(id.data())));
            Storage().Delete(child.get(), skCheck);
        }
        if (TNodeStorage* record = Storage().Lookup(e->pidl.get()); record && !e->childRecordsBefore)
            record->DropEmptyChildren();
    }
    ReportExpansion(0, 0);
}

void TExplorerTreeview::ReportExpansion(int done, int total) {
    if (OnExpansionProgress) OnExpansionProgress(this, done, total);
}

bool TExplorerTreeview::DoExpanding(PDataNode node) {
    if (openingExpanded_) return true;
    if (expansion_) {
        // A click on the folder being expanded waits for it.
        if (node == expansion_->node) return false;
        CompleteExpansion();
    }
    if (!TExplorerViews::DoExpanding(node)) return false;
    const bool user = std::exchange(userExpanding_, false);
    ScopeGuard restore([this, user] { userExpanding_ = user; });
    return !(user && BeginExpansion(node));
}

void TExplorerTreeview::DoFreeNode(PDataNode node) {
    if (expansion_) {
        // The listing's items refer to the folder's item, going now.
        if (node == expansion_->node) {
            expansion_.reset();
            if (expansionWindow_) expansionWindow_->Cancel();
        } else if (node == expansion_->next) {
            expansion_->next = node->NextSibling;
        }
    }
    TExplorerViews::DoFreeNode(node);
}

void TExplorerTreeview::WMKeyDown(TMessage& m) {
    const bool outer = std::exchange(userExpanding_, true);
    ScopeGuard restore([this, outer] { userExpanding_ = outer; });
    TExplorerViews::WMKeyDown(m);
}

void TExplorerTreeview::WMLButtonDown(TMessage& m) {
    const bool outer = std::exchange(userExpanding_, true);
    ScopeGuard restore([this, outer] { userExpanding_ = outer; });
    TExplorerViews::WMLButtonDown(m);
}

void TExplorerTreeview::WMLButtonDblClk(TMessage& m) {
    const bool outer = std::exchange(userExpanding_, true);
    ScopeGuard restore([this, outer] { userExpanding_ = outer; });
    TExplorerViews::WMLButtonDblClk(m);
}

} // namespace ax
