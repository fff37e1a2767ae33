// Check boxes: the state setter and its propagation.
//
// Propagation (under toAutoTristateTracking): checking or unchecking a node
// sets every initialised descendant that has a check box to the same state;
// each ancestor with a check box then becomes checked when all its
// checkable children are checked, unchecked when all are unchecked, and
// mixed otherwise. Every change asks OnChecking first: a refused descendant
// keeps its state and its subtree, and the nodes above it become mixed by
// the same rule. Pressed states only show a box held down with the mouse or
// the space bar; propagation never produces them and counts a pressed child
// by its unpressed state. Disabled nodes are left alone, their subtrees too.
#include <algorithm>
#include <unordered_set>

#include "NodeWalk.h"
#include "vtree/BaseDataTree.h"

namespace ax {

bool TBaseDataTree::HasCheckBox(PDataNode node) {
    return node->CheckType == ctTriStateCheckBox || node->CheckType == ctCheckBox;
}

TCheckState TBaseDataTree::CheckState(PDataNode node) const { return node ? node->CheckState : csUncheckedNormal; }

TCheckType TBaseDataTree::CheckType(PDataNode node) const { return node ? node->CheckType : ctNone; }

void TBaseDataTree::SetCheckType(PDataNode node, TCheckType type) {
    if (!IsRealNode(node) || node->CheckType == type) return;
    node->CheckType = type;
    node->CheckState = csUncheckedNormal;
    InvalidateNode(node);
}

bool TBaseDataTree::DoChecking(PDataNode node, TCheckState& newState) {
    bool allowed = true;
    if (OnChecking) OnChecking(this, node, newState, allowed);
    return allowed;
}

void TBaseDataTree::DoChecked(PDataNode node) {
    if (OnChecked) OnChecked(this, node);
}

bool TBaseDataTree::ChangeCheckState(PDataNode node, TCheckState state, std::vector<PDataNode>& changed) {
    TCheckState wanted = state;
    if (!DoChecking(node, wanted)) return false;
    if (wanted > csMixedPressed) return false;
    if (node->CheckState != wanted) {
        node->CheckState = wanted;
        InvalidateNode(node);
        changed.push_back(node);
    }
    return true;
}

namespace {

// The state the rule gives a parent from its checkable children; none
// checkable: the parent's own (unpressed) state.
TCheckState StateFromChildren(PDataNode parent) {
    bool checked = false, unchecked = false;
    for (PDataNode c = parent->FirstChild; c; c = c->NextSibling) {
        if (c->CheckType != ctTriStateCheckBox && c->CheckType != ctCheckBox) continue;
        switch (UnpressedCheckState(c->CheckState)) {
        case csCheckedNormal: checked = true; break;
        case csUncheckedNormal: unchecked = true; break;
        default: return csMixedNormal;
        }
        if (checked && unchecked) return csMixedNormal;
    }
    if (checked) return csCheckedNormal;
    if (unchecked) return csUncheckedNormal;
    return UnpressedCheckState(parent->CheckState);
}

} // namespace

void TBaseDataTree::PropagateDown(PDataNode node, TCheckState state, std::vector<PDataNode>& changed) {
    // Depth first over the existing descendants; a refused or disabled node
    // keeps its subtree as it is, and the ancestors of a refusal are
    // recomputed afterwards.
    std::vector<PDataNode> refused;
    PDataNode n = node->FirstChild;
    while (n) {
        bool descend = true;
        if (n->States & vsDisabled) {
            descend = false;
        } else if ((n->States & vsInitialized) && HasCheckBox(n) && UnpressedCheckState(n->CheckState) != state) {
            if (!ChangeCheckState(n, state, changed)) {
                refused.push_back(n);
                descend = false;
            }
        }
        if (descend && n->FirstChild) {
            n = n->FirstChild;
            continue;
        }
        while (n != node && !n->NextSibling) n = n->Parent;
        n = n == node ? nullptr : n->NextSibling;
    }
    for (PDataNode r : refused) {
        for (PDataNode p = r->Parent; p; p = p->Parent) {
            if (!HasCheckBox(p) || (p->States & vsDisabled)) break;
            const TCheckState s = StateFromChildren(p);
            if (s == UnpressedCheckState(p->CheckState)) break;
            if (!ChangeCheckState(p, s, changed)) break;
            if (p == node) break;
        }
    }
}

void TBaseDataTree::PropagateUp(PDataNode node, std::vector<PDataNode>& changed) {
    for (PDataNode p = node->Parent; p && p != root_; p = p->Parent) {
        if (!HasCheckBox(p) || (p->States & vsDisabled)) break;
        const TCheckState s = StateFromChildren(p);
        if (s == UnpressedCheckState(p->CheckState)) break;
        if (!ChangeCheckState(p, s, changed)) break;
    }
}

void TBaseDataTree::SetCheckState(PDataNode node, TCheckState state) {
    if (!IsRealNode(node) || state > csMixedPressed) return;
    if (node->CheckState == state || (node->States & vsDisabled)) return;
    std::vector<PDataNode> changed;
    if (!ChangeCheckState(node, state, changed)) return;
    const TCheckState now = UnpressedCheckState(node->CheckState);
    if (node->CheckType == ctRadioButton && now == csCheckedNormal) {
        // One radio button of a group of siblings is checked.
        for (PDataNode s = node->Parent->FirstChild; s; s = s->NextSibling)
            if (s != node && s->CheckType == ctRadioButton && s->CheckState != csUncheckedNormal &&
                !(s->States & vsDisabled))
                ChangeCheckState(s, csUncheckedNormal, changed);
    } else if (HasAuto(toAutoTristateTracking) && HasCheckBox(node) && !(node->CheckState & 1)) {
        if (now != csMixedNormal) PropagateDown(node, now, changed);
        PropagateUp(node, changed);
    }
    // Everything that changed is reported once, the node itself last.
    // (A set, not a search of the list: checking a folder may change a
    // hundred thousand nodes.)
    std::vector<PDataNode> reported;
    std::unordered_set<PDataNode> seen{node};
    for (PDataNode c : changed)
        if (seen.insert(c).second) reported.push_back(c);
    for (PDataNode c : reported) DoChecked(c);
    DoChecked(node);
}

TCheckState TBaseDataTree::NextUserCheckState(PDataNode node) const {
    switch (node->CheckType) {
    case ctTriStateCheckBox:
    case ctCheckBox:
        return UnpressedCheckState(node->CheckState) == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton: return csCheckedNormal;
    default: return UnpressedCheckState(node->CheckState);
    }
}

void TBaseDataTree::UserToggleCheck(PDataNode node) {
    if (!IsRealNode(node) || node->CheckType == ctNone || (node->States & vsDisabled)) return;
    if (HasMisc(toReadOnly)) {
        // The user changes nothing in a read-only tree; a held box lets go.
        node->CheckState = UnpressedCheckState(node->CheckState);
        InvalidateNode(node);
        return;
    }
    node->CheckState = UnpressedCheckState(node->CheckState);
    if (node->CheckType == ctButton) {
        // A button has no state: a click is reported as such.
        InvalidateNode(node);
        DoChecked(node);
        return;
    }
    SetCheckState(node, NextUserCheckState(node));
}

} // namespace ax
