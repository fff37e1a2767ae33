// The saved state's streams and the view managers.
//
// Reading trusts nothing: every count and length is checked against what
// the stream still holds before anything is made from it, bytes no writer
// produces are refused, and each object takes what was read only once all
// of it was read (EReadError otherwise, with nothing changed).
#include "ExplorerTreeInternal.h"
#include "rtl/scopeguard.h"
#include "explorer/ExpPersistent.h"

namespace ax {
namespace {

int32_t ReadVersion(TStream& stream, int32_t version, bool readVerFromStream) {
    return readVerFromStream ? stream.ReadValue<int32_t>() : version;
}

int32_t ReadCount(TStream& stream, int64_t smallestItem) {
    const auto count = stream.ReadValue<int32_t>();
    if (count < 0 || count > stream.Remaining() / smallestItem) throw EReadError(SReadError);
    return count;
}

void WriteWide(TStream& stream, const WideString& text) {
    stream.WriteValue<int32_t>(int32_t(text.size()));
    for (char16_t c : text) stream.WriteValue<uint16_t>(uint16_t(c));
}

WideString ReadWide(TStream& stream) {
    const int32_t count = ReadCount(stream, 2);
    WideString text(size_t(count), u'\0');
    for (char16_t& c : text) c = char16_t(stream.ReadValue<uint16_t>());
    return text;
}

// The smallest stored leaf: its expanded byte and an empty PIDL's size.
int64_t SmallestLeaf(bool versionWords) { return 5 + (versionWords ? 4 : 0); }

// Well below the smallest stored view (the empty lists and PIDLs, the root
// byte, the path and name counts and the storage's smallest record).
constexpr int64_t kSmallestView = 40;

} // namespace

// ---- Leaves -------------------------------------------------------------------------------

void TLeafNode::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    TStreamableClass::SaveToStream(stream, version, writeVerToStream);
    stream.WriteValue<uint8_t>(Expanded);
    NamespacePIDLManager().SaveToStream(stream, PIDL.get());
}

void TLeafNode::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
    const auto expanded = stream.ReadValue<uint8_t>();
    if (expanded > 1) throw EReadError(SReadError);
    UniquePIDL pidl(NamespacePIDLManager().LoadFromStream(stream));
    Expanded = expanded;
    PIDL = std::move(pidl);
}

TLeafNodeList::~TLeafNodeList() { TLeafNodeList::Clear(); }

TLeafNode* TLeafNodeList::Add(PCItemIDList pidl, bool expanded) {
    auto leaf = std::make_unique<TLeafNode>(this);
    leaf->Expanded = expanded ? 1 : 0;
    leaf->PIDL.reset(NamespacePIDLManager().CopyPIDL(pidl));
    leaves_.push_back(std::move(leaf));
    return leaves_.back().get();
}

void TLeafNodeList::Clear() {
    leaves_.clear();
    TStreamableList::Clear();
}

void TLeafNodeList::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    TStreamableList::SaveToStream(stream, version, writeVerToStream);
    stream.WriteValue<int32_t>(Count());
    for (auto& leaf : leaves_) leaf->SaveToStream(stream, version, writeVerToStream);
}

void TLeafNodeList::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    // The base would empty the list first: the version word is read here.
    const int32_t listVersion = ReadVersion(stream, version, readVerFromStream);
    const int32_t count = ReadCount(stream, SmallestLeaf(readVerFromStream));
    std::vector<std::unique_ptr<TLeafNode>> read;
    for (int32_t i = 0; i < count; ++i) {
        auto leaf = std::make_unique<TLeafNode>(this);
        leaf->LoadFromStream(stream, listVersion, readVerFromStream);
        read.push_back(std::move(leaf));
    }
    leaves_.swap(read);
    SetStreamVersion(listVersion);
}

// ---- The saved state ----------------------------------------------------------------------

void TExpPersistent::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    TStreamableClass::SaveToStream(stream, version, writeVerToStream);
    TPIDLManager& pm = NamespacePIDLManager();
    leafNodes_->SaveToStream(stream, version, writeVerToStream);
    pm.SaveToStream(stream, selectionParentPIDL_.get());
    selectedPIDLs_->SaveToStream(stream);
    pm.SaveToStream(stream, rootFolderCustomPIDL_.get());
    pm.SaveToStream(stream, topNodePIDL_.get());
    stream.WriteValue<uint8_t>(uint8_t(rootFolder_));
    if (version >= 3) {
        WriteWide(stream, rootFolderCustomPath_);
    } else {
        const std::string path = WideToUtf8(rootFolderCustomPath_);
        stream.WriteValue<int32_t>(int32_t(path.size()));
        stream.WriteBuffer(path.data(), int64_t(path.size()));
    }
    storage_->SaveToStream(stream, version, writeVerToStream);
}

std::unique_ptr<TExpPersistent> TExpPersistent::ReadRecord(TStream& stream, int32_t version, bool readVerFromStream) {
    auto fresh = std::make_unique<TExpPersistent>();
    fresh->TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
    const int32_t recordVersion = fresh->StreamVersion();
    TPIDLManager& pm = NamespacePIDLManager();
    fresh->leafNodes_->LoadFromStream(stream, recordVersion, readVerFromStream);
    fresh->selectionParentPIDL_.reset(pm.LoadFromStream(stream));
    fresh->selectedPIDLs_->LoadFromStream(stream);
    fresh->rootFolderCustomPIDL_.reset(pm.LoadFromStream(stream));
    fresh->topNodePIDL_.reset(pm.LoadFromStream(stream));
    const auto root = stream.ReadValue<uint8_t>();
    if (root > rfCustomPIDL) throw EReadError(SReadError);
    fresh->rootFolder_ = TRootFolder(root);
    if (recordVersion >= 3) {
        fresh->rootFolderCustomPath_ = ReadWide(stream);
    } else {
        // Older records hold the path as 8-bit text.
        const int32_t count = ReadCount(stream, 1);
        std::string path(size_t(count), '\0');
        stream.ReadBuffer(path.data(), count);
        fresh->rootFolderCustomPath_ = Utf8ToWide(path);
    }
    fresh->storage_->LoadFromStream(stream, recordVersion, readVerFromStream);
    return fresh;
}

void TExpPersistent::TakeOver(TExpPersistent& source) noexcept {
    leafNodes_.swap(source.leafNodes_);
    selectedPIDLs_.swap(source.selectedPIDLs_);
    topNodePIDL_.swap(source.topNodePIDL_);
    rootFolderCustomPath_.swap(source.rootFolderCustomPath_);
    rootFolder_ = source.rootFolder_;
    selectionParentPIDL_.swap(source.selectionParentPIDL_);
    storage_.swap(source.storage_);
    rootFolderCustomPIDL_.swap(source.rootFolderCustomPIDL_);
    focusedPIDL_.swap(source.focusedPIDL_);
    SetStreamVersion(source.StreamVersion());
}

void TExpPersistent::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    const std::unique_ptr<TExpPersistent> fresh = ReadRecord(stream, version, readVerFromStream);
    TakeOver(*fresh);
}

// ---- Views --------------------------------------------------------------------------------

void TView::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    TExpPersistent::SaveToStream(stream, version, writeVerToStream);
    WriteWide(stream, ViewName);
}

void TView::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    const std::unique_ptr<TExpPersistent> fresh = ReadRecord(stream, version, readVerFromStream);
    WideString name = ReadWide(stream);
    TakeOver(*fresh);
    ViewName.swap(name);
}

TViewList::~TViewList() { TViewList::Clear(); }

TView* TViewList::Add(std::unique_ptr<TView> view) {
    views_.push_back(std::move(view));
    return views_.back().get();
}

void TViewList::Clear() {
    while (!views_.empty()) views_.pop_back();
    TStreamableList::Clear();
}

void TViewList::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    TStreamableList::SaveToStream(stream, version, writeVerToStream);
    stream.WriteValue<int32_t>(Count());
    for (auto& view : views_) view->SaveToStream(stream, version, writeVerToStream);
}

void TViewList::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    const int32_t listVersion = ReadVersion(stream, version, readVerFromStream);
    const int32_t count = ReadCount(stream, kSmallestView);
    std::vector<std::unique_ptr<TView>> read;
    for (int32_t i = 0; i < count; ++i) {
        auto view = std::make_unique<TView>();
        view->LoadFromStream(stream, listVersion, readVerFromStream);
        read.push_back(std::move(view));
    }
    views_.swap(read);
    SetStreamVersion(listVersion);
}

TViewManager::TViewManager() = default;
TViewManager::~TViewManager() = default;

void TViewManager::Clear() { views_.Clear(); }

TView* TViewManager::FindView(const WideString& name) {
    TView* found = nullptr;
    for (int i = 0; i < views_.Count(); ++i)
        if (WideCompareText(views_.Items(i)->ViewName, name) == 0) found = views_.Items(i);
    return found;
}

void TViewManager::ShowView(const WideString& name, TCustomExplorerTree& tree) {
    tree.WaitCursor(true);
    ScopeGuard cursor([&tree] { tree.WaitCursor(false); });
    if (TView* view = FindView(name)) view->Restore(tree, true, true);
}

void TViewManager::StoreView(const WideString& name, TCustomExplorerTree& tree) {
    if (TView* view = FindView(name)) {
        view->Save(tree, true, true);
        return;
    }
    auto view = std::make_unique<TView>();
    view->ViewName = name;
    view->Save(tree, true, true);
    views_.Add(std::move(view));
}

void TViewManager::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    TStreamableClass::SaveToStream(stream, version, writeVerToStream);
    views_.SaveToStream(stream, StreamVersion(), writeVerToStream);
}

void TViewManager::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    const int32_t oldVersion = StreamVersion();
    ScopeGuard keepVersion([&] { SetStreamVersion(oldVersion); });
    TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
    views_.LoadFromStream(stream, StreamVersion(), readVerFromStream);
    keepVersion.Dismiss();
}

void TGlobalViewManager::ShowView(const WideString& name, TCustomExplorerTree& tree) {
    tree.WaitCursor(true);
    ScopeGuard cursor([&tree] { tree.WaitCursor(false); });
    if (TView* view = FindView(name)) {
        tree.Storage().Assign(view->Storage());
        view->Restore(tree, true, true);
        tree.InitAllNodes();
    }
}

void TGlobalViewManager::StoreView(const WideString& name, TCustomExplorerTree& tree) {
    TView* view = FindView(name);
    std::unique_ptr<TView> made;
    if (!view) {
        made = std::make_unique<TView>();
        made->ViewName = name;
        view = made.get();
    }
    view->Clear();
    view->Save(tree, true, true);
    view->Storage().Assign(tree.Storage());
    if (made) Views().Add(std::move(made));
}

void TGlobalViewManager::SaveToStream(TStream& stream, int32_t, bool) { TViewManager::SaveToStream(stream, 3, true); }

void TGlobalViewManager::LoadFromStream(TStream& stream, int32_t, bool) { TViewManager::LoadFromStream(stream, 3, true); }

TGlobalViewManager& GlobalViewManager() {
    static TGlobalViewManager manager;
    return manager;
}

} // namespace ax
