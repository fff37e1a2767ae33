#pragma once
// Walks over the nodes that exist, in display order, without initialising
// anything: what the position cache, painting and hit testing stand on.
// A node is shown when it and every ancestor below the root are visible and
// every ancestor below the root is expanded.
#include "vtree/DataTreeTypes.h"

namespace ax::walk {

inline bool IsVisible(PDataNode n) { return (n->States & vsVisible) != 0; }
inline bool IsExpanded(PDataNode n) { return (n->States & vsExpanded) != 0; }

inline bool IsShown(PDataNode node, PDataNode root) {
    if (!node || node == root) return false;
    for (PDataNode n = node; n != root; n = n->Parent) {
        if (!n) return false; // a detached node
        if (!IsVisible(n)) return false;
        if (n->Parent != root && n->Parent && !IsExpanded(n->Parent)) return false;
    }
    return true;
}

inline PDataNode FirstVisibleChild(PDataNode parent) {
    for (PDataNode c = parent->FirstChild; c; c = c->NextSibling)
        if (IsVisible(c)) return c;
    return nullptr;
}

inline PDataNode LastVisibleChild(PDataNode parent) {
    for (PDataNode c = parent->LastChild; c; c = c->PrevSibling)
        if (IsVisible(c)) return c;
    return nullptr;
}

inline PDataNode NextVisibleSibling(PDataNode n) {
    for (PDataNode s = n->NextSibling; s; s = s->NextSibling)
        if (IsVisible(s)) return s;
    return nullptr;
}

inline PDataNode PrevVisibleSibling(PDataNode n) {
    for (PDataNode s = n->PrevSibling; s; s = s->PrevSibling)
        if (IsVisible(s)) return s;
    return nullptr;
}

// The shown node after a shown node, nullptr at the end.
inline PDataNode NextShown(PDataNode n, PDataNode root) {
    if (IsExpanded(n))
        if (PDataNode c = FirstVisibleChild(n)) return c;
    for (; n != root; n = n->Parent)
        if (PDataNode s = NextVisibleSibling(n)) return s;
    return nullptr;
}

// The deepest shown last descendant of a shown node (itself without one).
inline PDataNode LastShownDescendant(PDataNode n) {
    while (IsExpanded(n)) {
        PDataNode c = LastVisibleChild(n);
        if (!c) break;
        n = c;
    }
    return n;
}

// The shown node before a shown node, nullptr at the start.
inline PDataNode PrevShown(PDataNode n, PDataNode root) {
    if (PDataNode s = PrevVisibleSibling(n)) return LastShownDescendant(s);
    return n->Parent == root ? nullptr : n->Parent;
}

inline PDataNode FirstShown(PDataNode root) { return FirstVisibleChild(root); }

inline PDataNode LastShown(PDataNode root) {
    PDataNode last = LastVisibleChild(root);
    return last ? LastShownDescendant(last) : nullptr;
}

// Tree order over existing nodes below root.
inline PDataNode NextExisting(PDataNode n, PDataNode stop) {
    if (n->FirstChild) return n->FirstChild;
    for (; n && n != stop; n = n->Parent)
        if (n->NextSibling) return n->NextSibling;
    return nullptr;
}

} // namespace ax::walk
