#pragma once
// Where a user clicks in the explorer panes: a node's check box and its
// caption, in the control's client area (asked of the control, never
// computed from a font). Shared by the window's tests and its benchmark.
#include "explorer/ExplorerTree.h"

#include <string>

namespace ax::testing {

// No threads in tests: the change notifier and the icon thread stay off.
inline void QuietPane(TCustomExplorerTree* pane) {
    TExplorerTreeOptions& o = pane->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toChangeNotifierThread));
    o.SetExpImageOptions(o.ExpImageOptions() & ~TExpImageOptions(toThreadedImages));
}

// The first point of node's row, inside from, where the row shows part;
// {-1, -1} when it shows none.
inline POINT PartPoint(TCustomExplorerTree* tree, PDataNode node, THitPositions part, int inside) {
    tree->ScrollIntoView(node, false, false);
    const RECT row = tree->GetDisplayRect(node, NoColumn, false);
    const int y = (row.top + row.bottom) / 2;
    for (int x = 0; x < 200; ++x) {
        THitInfo hit;
        tree->GetHitTestInfoAt(x, y, true, hit);
        if (hit.HitNode == node && (hit.HitPositions & part)) return {x + inside, y};
    }
    return {-1, -1};
}

// {-1, -1} when the row shows no check box.
inline POINT CheckBoxPoint(TCustomExplorerTree* tree, PDataNode node) {
    return PartPoint(tree, node, hiOnItemCheckbox, 3);
}

// The button that opens a folder; {-1, -1} when the row shows none.
inline POINT ButtonPoint(TCustomExplorerTree* tree, PDataNode node) {
    return PartPoint(tree, node, hiOnItemButton, 2);
}

inline POINT CaptionPoint(TCustomExplorerTree* tree, PDataNode node) {
    tree->ScrollIntoView(node, false, false);
    const RECT text = tree->GetDisplayRect(node, NoColumn, true);
    return {(text.left + text.right) / 2, (text.top + text.bottom) / 2};
}

// The node named name under parent (nil: the top level); nil when none.
inline PDataNode ChildNamed(TCustomExplorerTree* tree, PDataNode parent, const std::string& name) {
    for (PDataNode c = tree->GetFirstChild(parent); c; c = tree->GetNextSibling(c))
        if (TNamespace* ns = tree->NodeNamespace(c); ns && WideToUtf8(ns->NameInFolder()) == name) return c;
    return nullptr;
}

} // namespace ax::testing
