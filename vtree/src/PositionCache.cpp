// The position cache: entries pushed as display order is walked forward,
// lookups by position and by node from the nearest entry, and truncation
// from a changed node on (clearing each dropped entry node's slot).
#include "PositionCache.h"

#include <algorithm>

#include "NodeWalk.h"
#include "rtl/exceptions.h"

namespace ax {

void TPositionCache::Push(PDataNode node, int64_t top) {
    entries_.push_back({node, top});
    node->CacheSlot = uint32_t(entries_.size());
}

void TPositionCache::Truncate(size_t count) {
    for (size_t i = count; i < entries_.size(); ++i) entries_[i].node->CacheSlot = 0;
    if (count < entries_.size()) entries_.resize(count);
}

void TPositionCache::Reset() {
    Truncate(0);
    complete_ = false;
    ++generation_;
}

void TPositionCache::Forget() {
    entries_.clear();
    complete_ = false;
    ++generation_;
}

int64_t TPositionCache::Extend(int64_t y, PDataNode target) {
    PDataNode n;
    int64_t top;
    if (entries_.empty()) {
        n = walk::FirstShown(root_);
        if (!n) {
            complete_ = true;
            return -1;
        }
        Push(n, 0);
        top = 0;
    } else {
        n = entries_.back().node;
        top = entries_.back().top;
    }
    int sinceEntry = 0;
    for (;;) {
        if (n == target) return top;
        if (!target && sinceEntry == 0 && top > y) return -1;
        top += n->NodeHeight;
        n = walk::NextShown(n, root_);
        if (!n) {
            complete_ = true;
            return -1;
        }
        if (++sinceEntry == kInterval) {
            Push(n, top);
            sinceEntry = 0;
        }
    }
}

PDataNode TPositionCache::NodeAt(int64_t y, int64_t* top) {
    if (y < 0) return nullptr;
    if (!complete_ && (entries_.empty() || entries_.back().top <= y)) Extend(y, nullptr);
    if (entries_.empty()) return nullptr;
    auto it = std::upper_bound(entries_.begin(), entries_.end(), y,
                               [](int64_t v, const Entry& e) { return v < e.top; });
    if (it == entries_.begin()) return nullptr;
    --it;
    PDataNode n = it->node;
    int64_t t = it->top;
    while (n && t + n->NodeHeight <= y) {
        t += n->NodeHeight;
        n = walk::NextShown(n, root_);
    }
    if (n && top) *top = t;
    return n;
}

int64_t TPositionCache::TopOf(PDataNode node) {
    PDataNode n = node;
    int64_t acc = 0;
    for (int steps = 0;; ++steps) {
        if (n->CacheSlot) return entries_[n->CacheSlot - 1].top + acc;
        if (steps == kInterval) break;
        PDataNode p = walk::PrevShown(n, root_);
        if (!p) return acc; // n is the first shown node
        acc += p->NodeHeight;
        n = p;
    }
    const int64_t top = Extend(0, node);
    Assert(top >= 0, "Position cache: the node is not shown");
    return top;
}

void TPositionCache::Invalidate(PDataNode node, bool inclusive) {
    ++generation_;
    complete_ = false;
    if (entries_.empty()) return;
    if (node == root_) {
        Truncate(0);
        return;
    }
    PDataNode n = node;
    for (int steps = 0;; ++steps) {
        if (n->CacheSlot) {
            const size_t k = n->CacheSlot - 1;
            Truncate(n == node && inclusive ? k : k + 1);
            return;
        }
        if (steps == kInterval) return; // the node lies beyond the entries
        PDataNode p = walk::PrevShown(n, root_);
        if (!p) {
            Truncate(0);
            return;
        }
        n = p;
    }
}

} // namespace ax
