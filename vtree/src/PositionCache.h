#pragma once
// Where shown nodes are, without walking from the top: every 32nd shown node
// is an entry with its top position, built lazily forward in display
// order. A position is found by a binary search over the entries and at
// most 31 steps; a node's top by at most 32 steps back to an entry. A
// structural change drops the entries from the changed node on.
//
// Entry nodes carry their entry number (plus one) in TDataNode::CacheSlot,
// so every change that can end or move an entry node must reach
// Invalidate before the node is unlinked or freed.
#include <cstdint>
#include <vector>

#include "vtree/DataTreeTypes.h"

namespace ax {

class TPositionCache {
public:
    explicit TPositionCache(PDataNode root) : root_(root) {}
    void SetRoot(PDataNode root) { root_ = root; }

    // The shown node covering position y (0 = top of the first node), and its
    // top; nullptr past the end.
    PDataNode NodeAt(int64_t y, int64_t* top);
    // Top of a shown node.
    int64_t TopOf(PDataNode node);
    // The shown order changes at node: entries after it (and the node's own
    // with inclusive) are dropped. The node must still be linked and shown
    // as it was when the entries were built, or be newly shown.
    void Invalidate(PDataNode node, bool inclusive);
    // Drops every entry (node still alive).
    void Reset();
    // Drops every entry without touching the nodes (they are being freed).
    void Forget();
    size_t EntryCount() const { return entries_.size(); }
    // Bumped by every change; painting watches it to notice that
    // initialising nodes moved things.
    uint64_t Generation() const { return generation_; }

    static constexpr int kInterval = 32;

private:
    struct Entry {
        PDataNode node;
        int64_t top;
    };
    void Truncate(size_t count);
    void Push(PDataNode node, int64_t top);
    // Extends the entries until one lies beyond y, or until node was passed;
    // answers node's top when it was met (-1 otherwise).
    int64_t Extend(int64_t y, PDataNode node);
    PDataNode root_;
    std::vector<Entry> entries_;
    bool complete_ = false;
    uint64_t generation_ = 0;
};

} // namespace ax
