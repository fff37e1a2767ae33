// Streams, the clipboard and the drop side of drag and drop.
#include <cstring>
#include <unistd.h>

#include "NodeWalk.h"
#include "PositionCache.h"
#include "rtl/scopeguard.h"
#include "TreeStream.h"
#include "vtree/BaseDataTree.h"
#include "vtree/DTDataObject.h"

namespace ax {
namespace {

void PutU32(TStream& s, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    s.WriteBuffer(b, 4);
}

void PutU16(TStream& s, uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    s.WriteBuffer(b, 2);
}

void PutU8(TStream& s, uint8_t v) { s.WriteBuffer(&v, 1); }

void WriteStreamHead(TStream& s) {
    s.WriteBuffer(treestream::kMagic, 4);
    PutU32(s, treestream::kVersion);
}

std::vector<uint8_t> ReadRest(TStream& stream) {
    const int64_t remaining = stream.Remaining();
    std::vector<uint8_t> bytes(size_t(std::max<int64_t>(remaining, 0)));
    if (!bytes.empty()) stream.ReadBuffer(bytes.data(), int64_t(bytes.size()));
    return bytes;
}

constexpr size_t kReferenceSize = 16;

} // namespace

// ---- Writing -------------------------------------------------------------------------------

void TBaseDataTree::DoSaveNode(PDataNode node, TStream& stream) {
    if (OnSaveNode) OnSaveNode(this, node, stream);
}

void TBaseDataTree::DoLoadNode(PDataNode node, TStream& stream) {
    if (OnLoadNode) OnLoadNode(this, node, stream);
}

void TBaseDataTree::WriteNodes(TStream& stream, const std::vector<PDataNode>& nodes) {
    struct Frame {
        PDataNode node;
        int64_t head;
        PDataNode next;
    };
    std::vector<Frame> stack;
    auto open = [&](PDataNode n) {
        if (HasMisc(toInitOnSave)) {
            InitNode(n);
            if ((n->States & vsHasChildren) && n->ChildCount == 0) InitChildren(n);
        }
        const int64_t head = stream.Position();
        PutU32(stream, treestream::kNodeChunk);
        PutU32(stream, 0); // the size, filled in when the node is closed
        PutU32(stream, n->ChildCount);
        PutU16(stream, n->NodeHeight);
        PutU16(stream, n->States & treestream::kStoredStates);
        PutU8(stream, UnpressedCheckState(n->CheckState));
        PutU8(stream, n->CheckType);
        PutU16(stream, 0);
        TMemoryStream data;
        DoSaveNode(n, data);
        if (data.Size() > 0) {
            if (data.Size() > int64_t(UINT32_MAX)) throw EWriteError(SWriteError);
            PutU32(stream, treestream::kDataChunk);
            PutU32(stream, uint32_t(data.Size()));
            stream.WriteBuffer(data.Memory(), data.Size());
        }
        stack.push_back({n, head, n->FirstChild});
    };
    for (PDataNode top : nodes) {
        open(top);
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next) {
                PDataNode child = f.next;
                f.next = child->NextSibling;
                open(child);
                continue;
            }
            const int64_t end = stream.Position();
            const int64_t size = end - f.head - treestream::kHeadSize;
            if (size > int64_t(UINT32_MAX)) throw EWriteError(SWriteError);
            stream.SetPosition(f.head + 4);
            PutU32(stream, uint32_t(size));
            stream.SetPosition(end);
            stack.pop_back();
        }
    }
}

void TBaseDataTree::SaveToStream(TStream& stream, PDataNode node) {
    std::vector<PDataNode> nodes;
    if (IsRealNode(node)) nodes.push_back(node);
    else
        for (PDataNode c = root_->FirstChild; c; c = c->NextSibling) nodes.push_back(c);
    WriteStreamHead(stream);
    WriteNodes(stream, nodes);
}

// ---- Reading -------------------------------------------------------------------------------

std::vector<PDataNode> TBaseDataTree::BuildNodes(const std::vector<uint8_t>& bytes, PDataNode target) {
    const std::vector<treestream::ParsedNode> parsed = treestream::Parse(bytes);
    std::vector<PDataNode> made;
    made.reserve(parsed.size());
    std::vector<PDataNode> tops;
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    // Anything that fails on the way takes the nodes made so far with it.
    ScopeGuard undo([this, &tops] {
        for (auto it = tops.rbegin(); it != tops.rend(); ++it) DeleteNodeInternal(*it, false);
    });
    for (const treestream::ParsedNode& p : parsed) {
        PDataNode parent = p.parent < 0 ? target : made[size_t(p.parent)];
        PDataNode n = MakeNode();
        n->NodeHeight = p.height;
        n->TotalHeight = p.height;
        n->States = vsVisible | (p.states & (vsInitialized | vsDisabled | vsHasChildren | vsAllChildrenHidden));
        n->CheckState = p.checkState;
        n->CheckType = p.checkType;
        LinkLastChild(parent, n);
        if (walk::IsExpanded(parent)) AdjustHeights(parent, n->TotalHeight);
        made.push_back(n);
        if (p.parent < 0) {
            tops.push_back(n);
            if (tops.size() == 1) StructureChanged(n, true);
        }
    }
    // Children first, so each expansion finds its subtree's heights final.
    for (size_t i = parsed.size(); i-- > 0;)
        if (parsed[i].states & vsExpanded) ExpandInternal(made[i], false);
    for (size_t i = 0; i < parsed.size(); ++i)
        if (!(parsed[i].states & vsVisible)) SetVisible(made[i], false);
    for (size_t i = 0; i < parsed.size(); ++i) {
        if (!parsed[i].hasData) continue;
        TMemoryStream data(std::vector<uint8_t>(bytes.begin() + std::ptrdiff_t(parsed[i].dataOffset),
                                                bytes.begin() + std::ptrdiff_t(parsed[i].dataOffset + parsed[i].dataSize)));
        DoLoadNode(made[i], data);
    }
    undo.Dismiss();
    return tops;
}

void TBaseDataTree::LoadFromStream(TStream& stream) {
    CheckIterating();
    const std::vector<uint8_t> bytes = ReadRest(stream);
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    // The new nodes are made next to the old ones, which go only once the
    // whole stream was read: a damaged stream or a failing DoLoadNode
    // leaves the tree as it was.
    std::vector<PDataNode> old;
    for (PDataNode c = root_->FirstChild; c; c = c->NextSibling) old.push_back(c);
    BuildNodes(bytes, root_);
    if (IsEditing()) CancelEditNode();
    for (auto it = old.rbegin(); it != old.rend(); ++it) DeleteNodeInternal(*it, false);
    uint32_t index = 0;
    for (PDataNode c = root_->FirstChild; c; c = c->NextSibling) c->Index = index++;
    offsetX_ = offsetY_ = 0;
}

void TBaseDataTree::AddFromStream(TStream& stream, PDataNode target) {
    BuildNodes(ReadRest(stream), target ? target : root_);
}

// ---- Clipboard -----------------------------------------------------------------------------

std::vector<PDataNode> TBaseDataTree::SelectedSubtreeRoots() {
    std::vector<PDataNode> roots;
    for (PDataNode n : SelectionInTreeOrder()) {
        bool covered = false;
        for (PDataNode p = n->Parent; p && p != root_; p = p->Parent)
            if (p->States & vsSelected) {
                covered = true;
                break;
            }
        if (!covered) roots.push_back(n);
    }
    return roots;
}

void TBaseDataTree::GetNativeClipboardFormats(std::vector<FORMATETC>& formats) {
    auto add = [&formats](UINT id) {
        for (const FORMATETC& f : formats)
            if (f.cfFormat == id) return;
        formats.push_back(FormatOf(id));
    };
    if (clipboardFormats_.Count() == 0) {
        add(CF_DATATREE());
        add(CF_DATATREEREFERENCE());
        return;
    }
    for (int i = 0; i < clipboardFormats_.Count(); ++i) {
        if (SameText(clipboardFormats_[i], CFSTR_DATATREE)) add(CF_DATATREE());
        else if (SameText(clipboardFormats_[i], CFSTR_DATATREEREFERENCE)) add(CF_DATATREEREFERENCE());
    }
}

HRESULT TBaseDataTree::RenderOLEData(const FORMATETC& format, STGMEDIUM& medium, bool) {
    if (format.cfFormat == CF_DATATREE()) {
        TMemoryStream s;
        WriteStreamHead(s);
        WriteNodes(s, SelectedSubtreeRoots());
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = s.Bytes();
        return S_OK;
    }
    if (format.cfFormat == CF_DATATREEREFERENCE()) {
        TMemoryStream s;
        PutU32(s, uint32_t(getpid()));
        PutU32(s, 0);
        PutU32(s, uint32_t(treeId_));
        PutU32(s, uint32_t(treeId_ >> 32));
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = s.Bytes();
        return S_OK;
    }
    return DV_E_FORMATETC;
}

TBaseDataTree* TBaseDataTree::SourceTreeOf(IDataObject* data) {
    if (!data) return nullptr;
    HRESULT hr = E_FAIL;
    const std::vector<uint8_t> ref = GetDataBytes(*data, CF_DATATREEREFERENCE(), &hr);
    if (FAILED(hr) || ref.size() != kReferenceSize) return nullptr;
    auto u32 = [&ref](size_t at) {
        return uint32_t(ref[at]) | uint32_t(ref[at + 1]) << 8 | uint32_t(ref[at + 2]) << 16 |
               uint32_t(ref[at + 3]) << 24;
    };
    if (u32(0) != uint32_t(getpid())) return nullptr;
    return FindTree(uint64_t(u32(8)) | uint64_t(u32(12)) << 32);
}

void TBaseDataTree::CancelCutOrCopy() {
    if (!(treeStates_ & tsCutPending)) return;
    treeStates_ &= ~tsCutPending;
    for (PDataNode n = root_->FirstChild; n; n = walk::NextExisting(n, root_)) n->States &= ~vsCutOrCopy;
    InvalidateAll();
}

void TBaseDataTree::DeleteCutNodes() {
    std::vector<PDataNode> cut;
    for (PDataNode n = root_->FirstChild; n; n = walk::NextExisting(n, root_))
        if (n->States & vsCutOrCopy) cut.push_back(n);
    treeStates_ &= ~tsCutPending;
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    for (auto it = cut.rbegin(); it != cut.rend(); ++it) DeleteNode(*it);
}

bool TBaseDataTree::CopyToClipboard() {
    if (selectedCount_ == 0) return false;
    CancelCutOrCopy();
    std::shared_ptr<IDataObject> data = DoCreateDataObject();
    if (!data) data = std::make_shared<TDTDataObject>(this, true);
    return SUCCEEDED(OleSetClipboard(data));
}

bool TBaseDataTree::CutToClipboard() {
    if (HasMisc(toReadOnly) || !CopyToClipboard()) return false;
    for (PDataNode n : SelectedSubtreeRoots()) n->States |= vsCutOrCopy;
    treeStates_ |= tsCutPending;
    InvalidateAll();
    return true;
}

bool TBaseDataTree::PasteFromClipboard() {
    if (HasMisc(toReadOnly)) return false;
    std::shared_ptr<IDataObject> data;
    if (FAILED(OleGetClipboard(&data)) || !data) return false;
    HRESULT hr = E_FAIL;
    std::vector<uint8_t> bytes = GetDataBytes(*data, CF_DATATREE(), &hr);
    if (FAILED(hr)) return false;
    PDataNode target = focusedNode_ ? focusedNode_ : root_;
    TBaseDataTree* source = SourceTreeOf(data.get());
    const bool move = source && (source->treeStates_ & tsCutPending);
    if (move && source == this) {
        // Moving nodes below themselves would delete what was just pasted.
        for (PDataNode n = target; n && n != root_; n = n->Parent)
            if (n->States & vsCutOrCopy) return false;
    }
    TMemoryStream stream(std::move(bytes));
    AddFromStream(stream, target);
    if (move) {
        source->DeleteCutNodes();
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
    }
    return true;
}

// ---- Drop target ---------------------------------------------------------------------------

class TBaseDataTree::DropTarget : public IDropTarget {
public:
    explicit DropTarget(TBaseDataTree* tree) : tree_(tree) {}
    void Detach() { tree_ = nullptr; }
    HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) override {
        if (!tree_) return Refuse(effect);
        return tree_->DragEnter(data, keyState, tree_->ScreenToClient(POINT{pt.x, pt.y}), *effect);
    }
    HRESULT DragOver(DWORD keyState, POINTL pt, DWORD* effect) override {
        if (!tree_) return Refuse(effect);
        return tree_->DragOver(keyState, tree_->ScreenToClient(POINT{pt.x, pt.y}), *effect);
    }
    HRESULT DragLeave() override { return tree_ ? tree_->DragLeave() : S_OK; }
    HRESULT Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) override {
        if (!tree_) return Refuse(effect);
        return tree_->DragDrop(data, keyState, tree_->ScreenToClient(POINT{pt.x, pt.y}), *effect);
    }

private:
    static HRESULT Refuse(DWORD* effect) {
        if (effect) *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    TBaseDataTree* tree_;
};

void TBaseDataTree::RegisterDropTarget(bool on) {
    if (!HandleAllocated()) return;
    if (on && !dropTarget_) {
        dropTarget_ = std::make_shared<DropTarget>(this);
        RegisterDragDrop(Handle(), dropTarget_);
    } else if (!on && dropTarget_) {
        RevokeDragDrop(Handle());
        dropTarget_->Detach();
        dropTarget_.reset();
    }
}

void TBaseDataTree::DetachDropTarget() {
    if (dropTarget_) dropTarget_->Detach();
    dropTarget_.reset();
}

TDropMode TBaseDataTree::DropModeAt(PDataNode node, int y, int top) {
    if (!node) return dmNowhere;
    const int h = node->NodeHeight;
    if (y - top < h / 4) return dmAbove;
    if (y - top >= h - h / 4) return dmBelow;
    return dmOnNode;
}

void TBaseDataTree::DoDragOver(TBaseDataTree* source, TShiftState shift, TDragState state, POINT pt,
                               TDropMode mode, DWORD& effect, bool& accept) {
    if (OnDragOver) OnDragOver(this, source, shift, state, pt, mode, effect, accept);
}

void TBaseDataTree::DoDragDrop(TBaseDataTree* source, IDataObject* data, const std::vector<FORMATETC>& formats,
                               TShiftState shift, POINT pt, DWORD& effect, TDropMode mode) {
    if (OnDragDrop) OnDragDrop(this, source, data, formats, shift, pt, effect, mode);
    else effect = DROPEFFECT_NONE;
}

HRESULT TBaseDataTree::DragOverState(DWORD keyState, POINT pt, DWORD& effect, TDragState state) {
    const DWORD allowed = effect;
    int top = 0;
    PDataNode node = InternalGetNodeAt(pt.x, pt.y, true, top);
    const TDropMode mode = DropModeAt(node, pt.y, top);
    if (node != dropTargetNode_ || mode != dropMode_) {
        PDataNode old = dropTargetNode_;
        if (node != dropTargetNode_) dropTargetSince_ = CurrentClock().Ticks();
        dropTargetNode_ = node;
        dropMode_ = mode;
        InvalidateNode(old);
        InvalidateNode(node);
    }
    if (node && HasAuto(toAutoDropExpand) && (node->States & vsHasChildren) && !Expanded(node) &&
        CurrentClock().Ticks() - dropTargetSince_ >= autoExpandDelay_)
        SetExpanded(node, true);
    if (HasAuto(toAutoScroll)) {
        if (pt.y < defaultNodeHeight_) ScrollByLines(-1);
        else if (pt.y >= ClientHeightSafe() - defaultNodeHeight_) ScrollByLines(1);
    }
    DWORD chosen = DropEffectFromKeyState(keyState, allowed, dragSource_ == this ? DROPEFFECT_MOVE : DROPEFFECT_COPY);
    bool accept = false;
    DoDragOver(dragSource_, KeysToShiftState(keyState), state, pt, mode, chosen, accept);
    effect = accept ? (chosen & allowed) : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT TBaseDataTree::DragEnter(IDataObject* data, DWORD keyState, POINT pt, DWORD& effect) {
    dragFormats_.clear();
    if (data) data->EnumFormatEtc(DATADIR_GET, &dragFormats_);
    dragSource_ = SourceTreeOf(data);
    return DragOverState(keyState, pt, effect, dsDragEnter);
}

HRESULT TBaseDataTree::DragOver(DWORD keyState, POINT pt, DWORD& effect) {
    return DragOverState(keyState, pt, effect, dsDragMove);
}

HRESULT TBaseDataTree::DragLeave() {
    PDataNode old = std::exchange(dropTargetNode_, nullptr);
    dropMode_ = dmNowhere;
    InvalidateNode(old);
    DWORD none = DROPEFFECT_NONE;
    bool accept = false;
    DoDragOver(dragSource_, 0, dsDragLeave, POINT{}, dmNowhere, none, accept);
    dragSource_ = nullptr;
    dragFormats_.clear();
    return S_OK;
}

HRESULT TBaseDataTree::DragDrop(IDataObject* data, DWORD keyState, POINT pt, DWORD& effect) {
    const DWORD allowed = effect;
    int top = 0;
    PDataNode node = InternalGetNodeAt(pt.x, pt.y, true, top);
    dropTargetNode_ = node;
    dropMode_ = DropModeAt(node, pt.y, top);
    std::vector<FORMATETC> formats;
    if (data) data->EnumFormatEtc(DATADIR_GET, &formats);
    TBaseDataTree* source = SourceTreeOf(data);
    DWORD chosen = DropEffectFromKeyState(keyState, allowed, source == this ? DROPEFFECT_MOVE : DROPEFFECT_COPY);
    ScopeGuard clear([this] {
        PDataNode old = std::exchange(dropTargetNode_, nullptr);
        dropMode_ = dmNowhere;
        InvalidateNode(old);
            dragSource_ = nullptr;
        dragFormats_.clear();
    });
    DoDragDrop(source, data, formats, KeysToShiftState(keyState), pt, chosen, dropMode_);
    effect = chosen & allowed;
    return S_OK;
}

} // namespace ax
