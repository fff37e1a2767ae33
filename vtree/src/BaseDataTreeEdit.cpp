// In-place editing of a node's label.
#include "DTEdit.h"
#include "NodeLayout.h"
#include "NodeWalk.h"
#include "TreeMessages.h"
#include "stdctrls/edit.h"

namespace ax {

void TDTEdit::KeyDown(WORD& key, TShiftState shift) {
    if (tree_ && key == VK_RETURN) {
        key = 0;
        tree_->EndEditNode();
        return;
    }
    if (tree_ && key == VK_ESCAPE) {
        key = 0;
        tree_->CancelEditNode();
        return;
    }
    TEdit::KeyDown(key, shift);
}

void TDTEdit::Dispatch(TMessage& m) {
    TEdit::Dispatch(m);
    // Ending the edit moves the focus; decide once the focus change is done.
    if (m.Msg == WM_KILLFOCUS && tree_ && tree_->HandleAllocated())
        PostMessage(tree_->Handle(), kTreeEditorKilled);
}

void TBaseDataTree::DoCanEdit(PDataNode node, TColumnIndex column, bool& allowed) {
    if (OnEditing) OnEditing(this, node, column, allowed);
}

void TBaseDataTree::DoEdited(PDataNode node, TColumnIndex column) {
    if (OnEdited) OnEdited(this, node, column);
}

WideString TBaseDataTree::GetEditText(PDataNode, TColumnIndex) { return {}; }

void TBaseDataTree::SetEditText(PDataNode, TColumnIndex, const WideString&) {}

bool TBaseDataTree::EditNode(PDataNode node, TColumnIndex column) {
    if (!IsRealNode(node) || !HasMisc(toEditable) || HasMisc(toReadOnly) || (node->States & vsDisabled))
        return false;
    if (IsEditing() && !EndEditNode()) return false;
    if (column == NoColumn || !HasVisibleColumns()) column = MainColumnIndex();
    bool allowed = true;
    DoCanEdit(node, column, allowed);
    if (!allowed) return false;
    ScrollIntoView(node, false, true);
    if (!HandleAllocated() || !walk::IsShown(node, root_)) return false;
    if (!editor_) {
        editor_ = TComponent::Create<TDTEdit>(this, this);
        editor_->SetVisible(false);
        editor_->SetParent(this);
    }
    editNode_ = node;
    editColumn_ = column;
    treeStates_ |= tsEditing;
    editor_->SetText(WideToUtf8(GetEditText(node, column)));
    PlaceEditor();
    editor_->Show();
    editor_->SetFocus();
    editor_->SelectAll();
    return true;
}

void TBaseDataTree::PlaceEditor() {
    if (!editor_ || !editNode_) return;
    RECT r = GetDisplayRect(editNode_, editColumn_, true);
    int left, right;
    ColumnExtent(editColumn_, left, right);
    // The editor reaches to the end of the cell, or of the client without columns.
    r.right = std::max<int>(r.right, HasVisibleColumns() ? right - offsetX_ : ClientWidthSafe());
    editor_->SetBounds(r.left, r.top, std::max<int>(r.width(), 20), r.height());
}

namespace {

// Leaves editing mode: hides the editor and gives the focus back to the
// tree when the editor had it.
struct StopEditing {
    TWinControl* tree;
    TDTEdit* editor;
    void operator()() const {
        const bool refocus = editor->Focused();
        if (refocus && tree->CanFocus()) tree->SetFocus();
        editor->Hide();
    }
};

} // namespace

bool TBaseDataTree::EndEditNode() {
    if (!IsEditing()) return false;
    PDataNode node = std::exchange(editNode_, nullptr);
    const TColumnIndex column = editColumn_;
    treeStates_ &= ~tsEditing;
    const WideString text = Utf8ToWide(editor_->Text());
    StopEditing{this, editor_}();
    if (text != GetEditText(node, column)) SetEditText(node, column, text);
    // Before the handlers: one of them may delete the node.
    InvalidateNode(node);
    DoEdited(node, column);
    return true;
}

bool TBaseDataTree::CancelEditNode() {
    if (!IsEditing()) return false;
    PDataNode node = std::exchange(editNode_, nullptr);
    treeStates_ &= ~tsEditing;
    StopEditing{this, editor_}();
    InvalidateNode(node);
    return true;
}

void TBaseDataTree::EditorKilled() {
    // The editor lost the focus to something else: the edit is over, the
    // text kept.
    if (IsEditing() && editor_ && !editor_->Focused()) EndEditNode();
}

} // namespace ax
