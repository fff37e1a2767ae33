// The node storage: records of the explorer's check boxes and columns kept
// by absolute PIDL, their lookups, the backup selection, and the ".JOB"
// stream read with nothing trusted.
#include "shell/NodeStorage.h"

#include "platform/shellns/shellops.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "shell/PIDLTools.h"
#include "shell/WideStrings.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace ax {
namespace {

constexpr uint8_t kDesktopBytes[2] = {0, 0};
PCItemIDList DesktopPIDL() {
    return reinterpret_cast<PCItemIDList>(kDesktopBytes);
}


// The order of two sibling IDs from the low 8 bits of CompareIDs, read as a
// signed number; nothing when the folder could not compare them.
std::optional<int> CompareSiblings(IShellFolder& folder, PCItemIDList a, PCItemIDList b) {
    const HRESULT hr = folder.CompareIDs(0, a, b);
    if (FAILED(hr)) return std::nullopt;
    return static_cast<int8_t>(static_cast<uint8_t>(hr & 0xFF));
}

uint8_t ReadBooleanByte(TStream& stream) {
    const auto value = stream.ReadValue<uint8_t>();
    if (value > 1) throw EReadError(SReadError);
    return value;
}

template <typename T> void ReadArray(TStream& stream, TDynArray<T>& out) {
    const auto count = stream.ReadValue<int32_t>();
    if (count == 0) {
        out.clear();
        return;
    }
    if (count < 0 || count > stream.Remaining() / static_cast<int64_t>(sizeof(T)))
        throw EReadError(SReadError);
    TDynArray<T> values;
    values.resize(static_cast<size_t>(count));
    stream.ReadBuffer(values.data(), count * static_cast<int64_t>(sizeof(T)));
    out = std::move(values);
}

template <typename T> void WriteArray(TStream& stream, const TDynArray<T>& values) {
    stream.WriteValue<int32_t>(static_cast<int32_t>(values.size()));
    if (!values.empty())
        stream.WriteBuffer(values.data(), static_cast<int64_t>(values.size() * sizeof(T)));
}

// The bytes of one item followed by a terminator, so it stands alone
// without touching the caller's PIDL.
std::string SingleID(PCItemIDList item) {
    std::string bytes(reinterpret_cast<const char*>(item), item->mkid.cb);
    bytes.append(2, '\0');
    return bytes;
}
PCItemIDList AsPIDL(const std::string& bytes) {
    return reinterpret_cast<PCItemIDList>(bytes.data());
}

// The bytes of a one-item PIDL without its terminator.
std::string_view ItemKey(PCItemIDList item) {
    return {reinterpret_cast<const char*>(item), item->mkid.cb};
}

// Which items of one folder are there with the attributes asked. Most often
// all are: one question about all of them answers (a file-system folder
// then reads its listing once). Otherwise each is asked about; but a
// file-system folder lists everything it holds, so many items of one are
// checked against a single listing instead.
class ExistingItems {
public:
    // asked: the attributes each item is asked for (with SFGAO_VALIDATE);
    // required: those it must have.
    ExistingItems(IShellFolder& folder, bool fileSystemFolder, std::vector<PCItemIDList> items,
                  uint32_t asked, uint32_t required)
        : folder_(folder), asked_(asked | required), required_(required),
          useListing_(fileSystemFolder && items.size() >= kManyItems) {
        if (items.size() >= kManyItems) {
            uint32_t all = required | SFGAO_VALIDATE;
            allThere_ = SUCCEEDED(folder.GetAttributesOf(items.data(), int(items.size()), &all)) &&
                        (all & required) == required;
        }
    }

    bool Has(PCItemIDList relative) {
        if (allThere_) return true;
        uint32_t attributes = asked_;
        if (useListing_) {
            if (!listed_) List();
            if (listed_) {
                return listed_->count(std::string(ItemKey(relative))) > 0 &&
                       SUCCEEDED(folder_.GetAttributesOf(&relative, 1, &attributes)) &&
                       (attributes & required_) == required_;
            }
        }
        attributes |= SFGAO_VALIDATE;
        return SUCCEEDED(folder_.GetAttributesOf(&relative, 1, &attributes)) &&
               (attributes & required_) == required_;
    }

private:
    static constexpr size_t kManyItems = 16;
    void List() {
        std::unique_ptr<IEnumIDList> list;
        if (FAILED(folder_.EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                       &list)) ||
            !list) {
            useListing_ = false;
            return;
        }
        listed_.emplace();
        for (PItemIDList child = nullptr; list->Next(&child) == S_OK;) {
            const UniquePIDL owned(child);
            if (child->mkid.cb != 0) listed_->emplace(ItemKey(child));
        }
    }

    IShellFolder& folder_;
    uint32_t asked_;
    uint32_t required_;
    bool useListing_;
    bool allThere_ = false;
    std::optional<std::unordered_set<std::string>> listed_;
};

// A child must be its parent plus one item, or the lookups break: the
// parent's bytes (parentBytes, without the terminator), then one item (both
// PIDLs were checked whole when read, so equal bytes mean equal items).
bool IsChildPIDL(PCItemIDList pidl, PCItemIDList parentPIDL, size_t parentBytes) {
    if (!pidl) return false;
    const size_t size = ILByteSize(pidl);
    if (size <= parentBytes + 2 || std::memcmp(pidl, parentPIDL, parentBytes) != 0) return false;
    const auto* item =
        reinterpret_cast<PCItemIDList>(reinterpret_cast<const uint8_t*>(pidl) + parentBytes);
    return parentBytes + item->mkid.cb + 2 == size;
}

// Only a record that carries a check and is checked selects its item: one
// kept for its columns after the check was removed selects nothing.
bool IsChecked(const TNodeStorage& node) {
    return (node.Storage.Kinds & skCheck) && node.Storage.CheckState == csCheckedNormal;
}

// Whether an item of folder is a file-system item (its own folder then
// lists what it holds); asks nothing of the disk.
bool IsFileSystemItem(IShellFolder& folder, PCItemIDList relative) {
    uint32_t attributes = SFGAO_FILESYSTEM;
    return SUCCEEDED(folder.GetAttributesOf(&relative, 1, &attributes)) &&
           (attributes & SFGAO_FILESYSTEM);
}

std::map<AnsiString, TStorageObjectFactory>& ClassRegistry() {
    static std::map<AnsiString, TStorageObjectFactory> registry;
    return registry;
}

} // namespace

// ---- class registry ----

void RegisterStorageClass(const AnsiString& name, TStorageObjectFactory factory) {
    if (name.empty() || name.size() > 255 || !factory)
        throw EInvalidOperation("Invalid storage class registration: " + name);
    ClassRegistry()[name] = std::move(factory);
}

void UnregisterStorageClass(const AnsiString& name) {
    ClassRegistry().erase(name);
}

std::unique_ptr<TStorageObject> CreateStorageObject(const AnsiString& name) {
    const auto found = ClassRegistry().find(name);
    if (found == ClassRegistry().end()) throw EClassNotFound(Format(SClassNotFound, name));
    auto object = found->second();
    if (!object) throw EClassNotFound(Format(SClassNotFound, name));
    return object;
}

// ---- TNodeStorage ----

TNodeStorage::TNodeStorage(UniquePIDL pidl, TNodeStorage* parent) : parent_(parent) {
    SetPIDL(std::move(pidl));
}

TNodeStorage::~TNodeStorage() {
    // The children first: a deep tree is freed from the top down.
    children_.reset();
}

void TNodeStorage::SetPIDL(UniquePIDL pidl) {
    absolutePIDL_ = std::move(pidl);
    relativePIDL_ = TPIDLManager().GetPointerToLastID(absolutePIDL_.get());
    shellFolder_.reset();
}

void TNodeStorage::CheckTree() const {
    const TPIDLManager pidls;
    std::vector<const TNodeStorage*> pending{this};
    while (!pending.empty()) {
        const TNodeStorage& node = *pending.back();
        pending.pop_back();
        Assert(node.relativePIDL_ == pidls.GetPointerToLastID(node.absolutePIDL_.get()),
               "Node storage: a relative PIDL outside its record's PIDL");
        if (!node.children_) continue;
        const TNodeStorageList& children = *node.children_;
        Assert(children.owner_ == &node, "Node storage: a list of another record");
        PCItemIDList pidl = node.absolutePIDL_ ? node.absolutePIDL_.get() : DesktopPIDL();
        const size_t bytes = ILByteSize(pidl) - 2;
        for (const std::unique_ptr<TNodeStorage>& child : children.nodes_) {
            Assert(child && child->parent_ == &node, "Node storage: a child of another parent");
            Assert(IsChildPIDL(child->AbsolutePIDL(), pidl, bytes),
                   "Node storage: a child PIDL that is not its parent's plus one item");
            pending.push_back(child.get());
        }
    }
}

void TNodeStorage::NodesFreed() {
    if (parent_) parent_->NodesFreed();
}

uint8_t TNodeStorage::RootCheckType() const {
    return parent_ ? parent_->RootCheckType() : Storage.CheckType;
}

ShellFolderPtr TNodeStorage::ShellFolder() {
    HRESULT result;
    return ShellFolder(result);
}

ShellFolderPtr TNodeStorage::ShellFolder(HRESULT& result) {
    result = S_OK;
    if (shellFolder_) return shellFolder_;
    result = E_FAIL;
    if (!parent_) {
        result = SHGetDesktopFolder(&shellFolder_);
    } else if (relativePIDL_ && !ILIsEmpty(relativePIDL_)) {
        if (ShellFolderPtr parentFolder = parent_->ShellFolder(result)) {
            result = parentFolder->BindToObject(relativePIDL_, &shellFolder_);
            if (FAILED(result)) shellFolder_.reset();
        }
    }
    return shellFolder_;
}

TNodeStorage* TNodeStorage::FindChild(PCItemIDList id, bool create, bool intermediate) {
    if (!children_) children_ = std::make_unique<TNodeStorageList>(this);
    if (!id || ILIsEmpty(id)) return nullptr;
    const ShellFolderPtr folder = ShellFolder();
    if (!folder) return nullptr;
    TNodeStorageList& list = *children_;

    int low = 0;
    int high = list.Count() - 1;
    // Items are mostly stored in their folder's order (a folder checked
    // item by item): one look at the last record settles those.
    bool afterLast = false;
    if (high >= 0) {
        const auto order = CompareSiblings(*folder, list[high]->RelativePIDL(), id);
        if (!order) return nullptr;
        if (*order == 0) return list[high];
        afterLast = *order < 0;
        if (afterLast) low = high + 1;
    }
    // A folder's records visited again in order, each perhaps more than
    // once: the last one found, or the one after it, is the likely one.
    for (const int guess : {list.last_, list.last_ + 1}) {
        if (afterLast || guess < low || guess > high) continue;
        const auto order = CompareSiblings(*folder, list[guess]->RelativePIDL(), id);
        if (!order) return nullptr;
        if (*order == 0) {
            list.last_ = guess;
            return list[guess];
        }
        if (*order > 0)
            high = guess - 1;
        else
            low = guess + 1;
    }
    while (low <= high) {
        const int middle = (low + high) / 2;
        const auto order = CompareSiblings(*folder, list[middle]->RelativePIDL(), id);
        if (!order) return nullptr;
        if (*order == 0) {
            list.last_ = middle;
            return list[middle];
        }
        if (*order > 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    if (!create) return nullptr;

    UniquePIDL pidl(TPIDLManager().AppendPIDL(absolutePIDL_.get(), id));
    if (!pidl) throw EOutOfMemory(SOutOfMemory);
    auto node = std::make_unique<TNodeStorage>(std::move(pidl), this);
    if (intermediate && RootCheckType() == ctTriStateCheckBox) {
        node->Storage.Kinds = skCheck;
        node->Storage.CheckState = csMixedNormal;
        node->Storage.CheckType = ctTriStateCheckBox;
    }

    // Where the new node goes (NodeListBinarySearch).
    low = afterLast ? list.Count() : 0;
    high = list.Count() - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const auto order = CompareSiblings(*folder, list[middle]->RelativePIDL(), id);
        if (!order) return nullptr;
        if (*order == 0) throw EInvalidOperation(SNodeUnexpectedlyFound);
        if (*order > 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    TNodeStorage* result = node.get();
    list.Insert(low, std::move(node));
    list.last_ = low;
    return result;
}

void TNodeStorage::Clear(bool freeObjects) {
    NodesFreed();
    absolutePIDL_.reset();
    relativePIDL_ = nullptr;
    shellFolder_.reset();
    children_.reset();
    if (freeObjects) Storage.UserObject.reset();
}

std::unique_ptr<TNodeStorage> TNodeStorage::CopyTree(const TNodeStorage& source,
                                                     TNodeStorage* parent) {
    UniquePIDL pidl;
    if (source.absolutePIDL_) {
        pidl.reset(TPIDLManager().CopyPIDL(source.absolutePIDL_.get()));
        if (!pidl) throw EOutOfMemory(SOutOfMemory);
    }
    auto copy = std::make_unique<TNodeStorage>(std::move(pidl), parent);
    copy->Storage.Kinds = source.Storage.Kinds;
    copy->Storage.CheckState = source.Storage.CheckState;
    copy->Storage.CheckType = source.Storage.CheckType;
    copy->Storage.Columns = source.Storage.Columns;
    if (source.children_) {
        copy->children_ = std::make_unique<TNodeStorageList>(copy.get());
        for (int i = 0; i < source.children_->Count(); ++i)
            copy->children_->Add(CopyTree(*source.children_->Items(i), copy.get()));
    }
    return copy;
}

void TNodeStorage::TakeOver(TNodeStorage& source, bool keepCheckType, bool keepObject) {
    SetPIDL(std::move(source.absolutePIDL_));
    source.relativePIDL_ = nullptr;
    children_ = std::move(source.children_);
    if (children_) {
        children_->owner_ = this;
        for (int i = 0; i < children_->Count(); ++i)
            children_->Items(i)->parent_ = this;
    }
    Storage.Kinds = source.Storage.Kinds;
    Storage.CheckState = source.Storage.CheckState;
    if (!keepCheckType) Storage.CheckType = source.Storage.CheckType;
    Storage.Columns = std::move(source.Storage.Columns);
    if (!keepObject) Storage.UserObject = std::move(source.Storage.UserObject);
    SetStreamVersion(source.StreamVersion());
}

void TNodeStorage::Assign(const TNodeStorage& source) {
    if (&source == this) return;
    // A record inside a tree stays where it is: it may only take over a copy
    // of its own item, or its folder's order and the lookups would break.
    if (parent_ && !(absolutePIDL_ && source.absolutePIDL_ &&
                     ILIsEqual(absolutePIDL_.get(), source.absolutePIDL_.get())))
        throw EInvalidOperation("Cannot assign the record of another item to a record in a tree");
    // The copy is made in full before anything of ours is freed: source may
    // live below this node.
    auto copy = CopyTree(source, nullptr);
    if (Storage.UserObject && source.Storage.UserObject)
        Storage.UserObject->Assign(*source.Storage.UserObject);
    const int32_t version = StreamVersion();
    NodesFreed();
    TakeOver(*copy, false, true);
    SetStreamVersion(version);
}

void TNodeStorage::AssignTo(TNodeStorage& dest) const {
    dest.Assign(*this);
}

void TNodeStorage::LoadFromFile(const WideString& fileName, int32_t version,
                                bool readVerFromStream) {
    TStreamableClass::LoadFromFile(fileName, version, readVerFromStream);
}

void TNodeStorage::SaveToFile(const WideString& fileName, int32_t version, bool writeVerToStream) {
    TStreamableClass::SaveToFile(fileName, version, writeVerToStream);
}

void TNodeStorage::ReadRecord(TStream& stream, int32_t version, bool readVerFromStream, int depth,
                              bool settle) {
    if (depth > kMaxNodeDepth) throw EReadError(SReadError);
    TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
    const int32_t recordVersion = StreamVersion();
    SetPIDL(UniquePIDL(TPIDLManager().LoadFromStream(stream)));

    if (ReadBooleanByte(stream)) {
        auto list = std::make_unique<TNodeStorageList>(this);
        list->ReadChildren(stream, version, readVerFromStream, depth + 1, settle);
        children_ = std::move(list);
    }

    // Kinds, the check state and (from version 2) the check type.
    uint8_t record[3] = {0, 0, Storage.CheckType};
    stream.ReadBuffer(record, recordVersion >= 2 ? 3 : 2);
    if (record[0] & ~(skCheck | skColumns | skObject)) throw EReadError(SReadError);
    if (record[1] > csMixedPressed || record[2] > ctButton) throw EReadError(SReadError);
    Storage.Kinds = record[0];
    Storage.CheckState = record[1];
    Storage.CheckType = record[2];

    ReadArray(stream, Storage.Columns.Widths);
    ReadArray(stream, Storage.Columns.Positions);
    ReadArray(stream, Storage.Columns.Visible);

    if (recordVersion >= 1 && ReadBooleanByte(stream)) {
        const auto length = stream.ReadValue<int32_t>();
        if (length < 1 || length > 255 || length > stream.Remaining()) throw EReadError(SReadError);
        AnsiString name(static_cast<size_t>(length), '\0');
        stream.ReadBuffer(name.data(), length);
        auto object = CreateStorageObject(name);
        object->LoadFromStream(stream, version, readVerFromStream);
        Storage.UserObject = std::move(object);
    }
}

void TNodeStorage::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    TNodeStorage fresh(nullptr, nullptr);
    fresh.ReadRecord(stream, version, readVerFromStream, 0);
    // In a tree, a record of another item would leave its folder's order and
    // the lookups behind.
    if (parent_ && !(absolutePIDL_ && fresh.absolutePIDL_ &&
                     ILIsEqual(absolutePIDL_.get(), fresh.absolutePIDL_.get())))
        throw EReadError(SReadError);
    fresh.CheckTree();
    NodesFreed();
    const bool oldLayout = fresh.StreamVersion() < 2;
    const bool noObject = !fresh.Storage.UserObject;
    TakeOver(fresh, oldLayout, noObject);
}

void TNodeStorage::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    TStreamableClass::SaveToStream(stream, version, writeVerToStream);
    TPIDLManager().SaveToStream(stream, absolutePIDL_.get());
    stream.WriteValue<uint8_t>(children_ ? 1 : 0);
    if (children_) children_->SaveToStream(stream, version, writeVerToStream);
    stream.WriteValue<uint8_t>(Storage.Kinds);
    stream.WriteValue<uint8_t>(Storage.CheckState);
    stream.WriteValue<uint8_t>(Storage.CheckType);
    WriteArray(stream, Storage.Columns.Widths);
    WriteArray(stream, Storage.Columns.Positions);
    WriteArray(stream, Storage.Columns.Visible);
    if (version >= 1) {
        const TStorageObject* object = Storage.UserObject.get();
        stream.WriteValue<uint8_t>(object ? 1 : 0);
        if (object) {
            const AnsiString name = object->ClassName();
            if (name.empty() || name.size() > 255)
                throw EWriteError("Storage class name too long: " + name);
            stream.WriteValue<int32_t>(static_cast<int32_t>(name.size()));
            stream.WriteBuffer(name.data(), static_cast<int64_t>(name.size()));
            Storage.UserObject->SaveToStream(stream, version, writeVerToStream);
        }
    }
}

// ---- TNodeStorageList ----

TNodeStorageList::~TNodeStorageList() {
    Clear();
}

void TNodeStorageList::CheckIndex(int index, int limit) const {
    if (index < 0 || index > limit) throw EListError(Format(SListIndexError, index));
}

TNodeStorage* TNodeStorageList::Items(int index) const {
    CheckIndex(index, Count() - 1);
    return nodes_[size_t(index)].get();
}

int TNodeStorageList::IndexOf(const TNodeStorage* node) const {
    for (int i = 0; i < Count(); ++i)
        if (nodes_[size_t(i)].get() == node) return i;
    return -1;
}

void TNodeStorageList::Insert(int index, std::unique_ptr<TNodeStorage> node) {
    CheckIndex(index, Count());
    Assert(node && node->parent_ == owner_, "TNodeStorageList: a node of another parent");
    nodes_.insert(nodes_.begin() + index, std::move(node));
}

int TNodeStorageList::Add(std::unique_ptr<TNodeStorage> node) {
    Assert(node && node->parent_ == owner_, "TNodeStorageList: a node of another parent");
    nodes_.push_back(std::move(node));
    return Count() - 1;
}

std::unique_ptr<TNodeStorage> TNodeStorageList::Extract(int index) {
    CheckIndex(index, Count() - 1);
    std::unique_ptr<TNodeStorage> node = std::move(nodes_[size_t(index)]);
    nodes_.erase(nodes_.begin() + index);
    // The caller may free it: no lookup cache may point into it any more.
    if (owner_) owner_->NodesFreed();
    return node;
}

void TNodeStorageList::Clear() {
    if (Count() > 0 && owner_) owner_->NodesFreed();
    // From the end, each out of the list before it is freed.
    while (!nodes_.empty()) {
        const std::unique_ptr<TNodeStorage> node = std::move(nodes_.back());
        nodes_.pop_back();
    }
    TStreamableList::Clear();
}

void TNodeStorageList::ReadChildren(TStream& stream, int32_t version, bool readVerFromStream,
                                    int depth, bool settle) {
    TStreamableList::LoadFromStream(stream, version, readVerFromStream);
    const auto count = stream.ReadValue<int32_t>();
    // The smallest record: PIDL size, has-children, kinds, one check byte and
    // three array counts, plus a version word when there are version words.
    const int64_t smallestRecord = readVerFromStream ? 23 : 19;
    if (count < 0 || count > stream.Remaining() / smallestRecord) throw EReadError(SReadError);

    PCItemIDList parentPIDL = owner_->AbsolutePIDL() ? owner_->AbsolutePIDL() : DesktopPIDL();
    const size_t parentBytes = ILByteSize(parentPIDL) - 2;
    auto fits = [&](PCItemIDList pidl) { return IsChildPIDL(pidl, parentPIDL, parentBytes); };
    std::vector<std::unique_ptr<TNodeStorage>> kept;
    for (int32_t i = 0; i < count; ++i) {
        auto child = std::make_unique<TNodeStorage>(nullptr, nullptr);
        child->ReadRecord(stream, version, readVerFromStream, depth, settle);
        // A dropped child goes with all it holds (read, so the stream stays
        // in step).
        if (fits(child->AbsolutePIDL())) kept.push_back(std::move(child));
    }
    if (settle) Settle(kept);
    nodes_.reserve(nodes_.size() + kept.size());
    for (auto& child : kept) {
        child->parent_ = owner_;
        Add(std::move(child));
    }
}

void TNodeStorageList::Settle(std::vector<std::unique_ptr<TNodeStorage>>& kept) {
    PCItemIDList parentPIDL = owner_->AbsolutePIDL() ? owner_->AbsolutePIDL() : DesktopPIDL();
    // And it must still be there, as its folder says.
    ShellFolderPtr parentFolder;
    if (!kept.empty()) {
        ShellFolderPtr desktop;
        SHGetDesktopFolder(&desktop);
        HRESULT bound = S_OK;
        if (ILIsEmpty(parentPIDL))
            parentFolder = desktop;
        else if (desktop && FAILED(bound = desktop->BindToObject(parentPIDL, &parentFolder)))
            parentFolder.reset();
        if (!parentFolder) {
            // A folder that is there but cannot be read keeps what the job
            // holds of it: it may be readable again next time.
            if (bound != E_ACCESSDENIED) kept.clear();
        } else {
            // The record keeps the folder it was bound to, as a lookup would.
            if (owner_->AbsolutePIDL()) owner_->shellFolder_ = parentFolder;
            std::vector<PCItemIDList> relatives;
            for (const auto& child : kept)
                relatives.push_back(child->RelativePIDL());
            ExistingItems existing(*parentFolder,
                                   !ILIsEmpty(parentPIDL) && IsFileSystemItem(*desktop, parentPIDL),
                                   std::move(relatives), SFGAO_FOLDER, 0);
            std::erase_if(kept, [&](const auto& child) { return !existing.Has(child->RelativePIDL()); });
        }
    }
    // The order is the folder's comparison, which rests on case folding that
    // another machine may do differently: siblings are sorted here rather
    // than trusted, and of two records of one item the first read stays.
    if (parentFolder) {
        auto less = [&](const std::unique_ptr<TNodeStorage>& a,
                        const std::unique_ptr<TNodeStorage>& b) {
            const auto order = CompareSiblings(*parentFolder, a->RelativePIDL(), b->RelativePIDL());
            return order.value_or(0) < 0;
        };
        auto notBefore = [&](const auto& a, const auto& b) { return !less(a, b); };
        // As written by us: strictly ascending, nothing to do.
        if (std::adjacent_find(kept.begin(), kept.end(), notBefore) != kept.end()) {
            std::stable_sort(kept.begin(), kept.end(), less);
            kept.erase(std::unique(kept.begin(), kept.end(),
                                   [&](const auto& a, const auto& b) {
                                       return CompareSiblings(*parentFolder, a->RelativePIDL(),
                                                              b->RelativePIDL()) == 0;
                                   }),
                       kept.end());
        }
    }
}

void TNodeStorageList::SettleTree() {
    std::vector<std::unique_ptr<TNodeStorage>> kept;
    kept.swap(nodes_);
    Settle(kept);
    for (auto& child : kept) {
        if (child->children_) child->children_->SettleTree();
        Add(std::move(child));
    }
}

void TNodeStorageList::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    TNodeStorageList fresh(owner_);
    fresh.ReadChildren(stream, version, readVerFromStream, 0);
    for (const std::unique_ptr<TNodeStorage>& child : fresh.nodes_)
        child->CheckTree();
    if (owner_) owner_->NodesFreed();
    Clear();
    nodes_.swap(fresh.nodes_);
    SetStreamVersion(fresh.StreamVersion());
}

void TNodeStorageList::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    TStreamableList::SaveToStream(stream, version, writeVerToStream);
    stream.WriteValue<int32_t>(Count());
    for (int i = 0; i < Count(); ++i)
        Items(i)->SaveToStream(stream, version, writeVerToStream);
}

// ---- TRootNodeStorage ----

TRootNodeStorage::TRootNodeStorage() : TNodeStorage(nullptr, nullptr) {
    PItemIDList desktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(CSIDL_DESKTOP, &desktop)) || !desktop)
        throw EOutOfMemory(SOutOfMemory);
    SetPIDL(UniquePIDL(desktop));
    children_ = std::make_unique<TNodeStorageList>(this);
}

TRootNodeStorage::~TRootNodeStorage() = default;

void TRootNodeStorage::NodesFreed() {
    lastParent_ = nullptr;
}

TNodeStorage* TRootNodeStorage::FindNode(PCItemIDList pidl, bool create) {
    if (!pidl) return nullptr;
    if (ILIsEmpty(pidl)) return this;
    // A record deeper than a stream may hold would make the job unreadable.
    if (create && ILItemCount(pidl) > kMaxNodeDepth) return nullptr;
    TPIDLManager pidls;

    // The walk from the top would reach this very record and ask it the
    // same question: its answer, found or not, stands.
    if (lastParent_ && IsParentPIDL(lastParent_->AbsolutePIDL(), pidl, true))
        return lastParent_->FindChild(pidls.GetPointerToLastID(pidl), create, false);
    lastParent_ = nullptr;

    TNodeStorage* node = this;
    for (PCItemIDList item = pidl; node && item->mkid.cb != 0; item = ILNextItem(item)) {
        const bool following = ILNextItem(item)->mkid.cb != 0;
        const std::string id = SingleID(item);
        node = node->FindChild(AsPIDL(id), create, following);
    }
    if (node) lastParent_ = node->Parent();
    return node;
}

TNodeStorage* TRootNodeStorage::Store(PCItemIDList pidl, TStorageKinds kinds) {
    TNodeStorage* node = FindNode(pidl, true);
    if (node) node->Storage.Kinds |= kinds;
    return node;
}

TNodeStorage* TRootNodeStorage::Find(PCItemIDList pidl, TStorageKinds kinds) {
    TNodeStorage* node = FindNode(pidl, false);
    return node && (node->Storage.Kinds & kinds) ? node : nullptr;
}

bool TRootNodeStorage::Find(PCItemIDList pidl, TStorageKinds kinds, TNodeStorage*& node) {
    node = Find(pidl, kinds);
    return node != nullptr;
}

void TRootNodeStorage::Delete(PCItemIDList pidl, TStorageKinds kinds, bool force, bool freeObject) {
    TNodeStorage* node = FindNode(pidl, false);
    lastParent_ = nullptr;
    if (!node) return;
    node->Storage.Kinds &= static_cast<TStorageKinds>(~kinds);
    if ((node->Storage.Kinds == 0 || force) && node != this) {
        TNodeStorageList& siblings = *node->Parent()->Children();
        auto removed = siblings.Extract(siblings.IndexOf(node));
        if (freeObject) removed->Storage.UserObject.reset();
        return; // freed here with all its children
    }
    if ((kinds & skObject) && freeObject) node->Storage.UserObject.reset();
    if (node == this) Storage.CheckState = csUncheckedNormal;
}

bool TRootNodeStorage::Rename(PCItemIDList oldPIDL, PCItemIDList newPIDL) {
    if (!oldPIDL || !newPIDL || ILIsEmpty(oldPIDL) || ILIsEmpty(newPIDL)) return false;
    // A folder never moves into itself or onto one of its own folders.
    if (ILIsEqual(oldPIDL, newPIDL) || ILIsParent(oldPIDL, newPIDL, false) ||
        ILIsParent(newPIDL, oldPIDL, false))
        return false;
    if (!FindNode(oldPIDL, false)) return false;
    Delete(newPIDL, 0, true);
    // The new place first: when it cannot be had, the record stays put.
    TNodeStorage* target = FindNode(newPIDL, true);
    TNodeStorage* node = FindNode(oldPIDL, false);
    lastParent_ = nullptr;
    if (!target || !node) return false;
    target->Storage = std::move(node->Storage);
    node->Storage = TStorage();
    target->children_ = std::move(node->children_);
    if (target->children_) {
        target->children_->owner_ = target;
        // Every record below takes the new beginning in place of the old.
        const int oldCount = ILItemCount(oldPIDL);
        std::vector<TNodeStorage*> pending;
        for (int i = 0; i < target->children_->Count(); ++i) pending.push_back(target->children_->Items(i));
        for (int i = 0; i < target->children_->Count(); ++i) target->children_->Items(i)->parent_ = target;
        while (!pending.empty()) {
            TNodeStorage* n = pending.back();
            pending.pop_back();
            PCItemIDList rest = n->AbsolutePIDL();
            for (int k = 0; k < oldCount; ++k) rest = ILNextItem(rest);
            UniquePIDL moved(TPIDLManager().AppendPIDL(newPIDL, rest));
            if (!moved) throw EOutOfMemory(SOutOfMemory);
            n->SetPIDL(std::move(moved));
            if (n->children_)
                for (int i = 0; i < n->children_->Count(); ++i) pending.push_back(n->children_->Items(i));
        }
    }
    TNodeStorage* oldParent = node->Parent();
    TNodeStorageList& siblings = *oldParent->Children();
    siblings.Extract(siblings.IndexOf(node)); // freed here
    PruneEmptyWay(oldParent);
    lastParent_ = nullptr;
    return true;
}

void TRootNodeStorage::PruneEmptyWay(TNodeStorage* node) {
    while (node && node != this && (!node->children_ || node->children_->Count() == 0) &&
           (node->Storage.Kinds & ~skCheck) == 0 &&
           (node->Storage.Kinds == 0 || UnpressedCheckState(TCheckState(node->Storage.CheckState)) ==
                                            csMixedNormal)) {
        TNodeStorage* parent = node->Parent();
        TNodeStorageList& siblings = *parent->Children();
        siblings.Extract(siblings.IndexOf(node));
        node = parent;
    }
    lastParent_ = nullptr;
}

void TRootNodeStorage::CompletePending() {
    if (!OnCompletePending || completing_) return;
    completing_ = true;
    ScopeGuard done([this] { completing_ = false; });
    OnCompletePending();
}

void TRootNodeStorage::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    CompletePending();
    TNodeStorage::SaveToStream(stream, version, writeVerToStream);
}

void TRootNodeStorage::Clear(bool freeObjects) {
    CompletePending();
    checkedFileNames_.Clear();
    TNodeStorage::Clear(freeObjects);
}

void TRootNodeStorage::Assign(const TNodeStorage& source) {
    TNodeStorage::Assign(source);
    lastParent_ = nullptr;
}

void TRootNodeStorage::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    BeginLoadFromStream(stream, version, readVerFromStream);
    FinishLoad();
}

void TRootNodeStorage::BeginLoadFromFile(const WideString& fileName, int32_t version,
                                         bool readVerFromStream) {
    TWideFileStream stream(fileName, fmOpenRead | fmShareExclusive);
    BeginLoadFromStream(stream, version, readVerFromStream);
}

void TRootNodeStorage::BeginLoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    auto fresh = std::make_unique<TNodeStorage>(nullptr, nullptr);
    fresh->ReadRecord(stream, version, readVerFromStream, 0, false);
    // Everything below hangs from the desktop: a root record of another item
    // is no storage of ours.
    if (fresh->AbsolutePIDL() && !ILIsEmpty(fresh->AbsolutePIDL())) throw EReadError(SReadError);
    pending_ = std::move(fresh);
}

void TRootNodeStorage::FinishLoad() {
    if (pending_) CompletePending();
    // Taken first: a failure below leaves the storage as it was and nothing
    // pending.
    const std::unique_ptr<TNodeStorage> fresh = std::move(pending_);
    if (!fresh) return;
    if (fresh->children_) fresh->children_->SettleTree();
    fresh->CheckTree();
    NodesFreed();
    const bool oldLayout = fresh->StreamVersion() < 2;
    const bool noObject = !fresh->Storage.UserObject;
    TakeOver(*fresh, oldLayout, noObject);
}

TStringList& TRootNodeStorage::CheckedFileNames() {
    CompletePending();
    checkedFileNames_.Clear();
    // Room for every checked record at once: a selection may be long.
    auto countChecked = [](auto& self, const TNodeStorage& node) -> int {
        int n = IsChecked(node) ? 1 : 0;
        if (const TNodeStorageList* children = node.Children())
            for (int i = 0; i < children->Count(); ++i)
                n += self(self, *children->Items(i));
        return n;
    };
    checkedFileNames_.SetCapacity(countChecked(countChecked, *this));
    ForEachCheckedFileName([this](std::string&& name) { checkedFileNames_.Add(std::move(name)); });
    return checkedFileNames_;
}

void TRootNodeStorage::ForEachCheckedFileName(const std::function<void(std::string&&)>& visit) {
    // Pre-order: a node before its children, children in list order. The
    // root (the desktop) itself is never listed. Each stored folder is bound
    // once (its record caches the folder) and asked about all its children.
    // A check still spreading is completed first, so the listing is whole.
    CompletePending();
    checkedFileNameProblems_.clear();
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    // Below a folder that cannot be read nothing can be checked: what is
    // checked there is listed as it is named (the backup will tell what it
    // cannot read), and the folder is reported.
    auto unchecked = [&](auto& self, TNodeStorage& node) -> void {
        TNodeStorageList* children = node.Children();
        for (int i = 0; children && i < children->Count(); ++i) {
            TNodeStorage& child = *children->Items(i);
            std::string name;
            if (IsChecked(child) && desktop && IsFileSystemItem(*desktop, child.AbsolutePIDL()) &&
                SUCCEEDED(desktop->GetDisplayNameOf(child.AbsolutePIDL(), SHGDN_FORPARSING, &name)))
                visit(std::move(name));
            self(self, child);
        }
    };
    auto walk = [&](auto& self, TNodeStorage& node, bool fileSystemFolder) -> void {
        TNodeStorageList* children = node.Children();
        if (!children || children->Count() == 0) return;
        HRESULT bound;
        ShellFolderPtr folder = node.ShellFolder(bound);
        if (!folder) {
            if (bound == E_ACCESSDENIED && desktop) {
                std::string path;
                desktop->GetDisplayNameOf(node.AbsolutePIDL(), SHGDN_FORPARSING, &path);
                checkedFileNameProblems_.push_back(
                    {path, "cannot be read; what is checked in it was listed unchecked"});
                unchecked(unchecked, node);
            }
            return; // gone: nothing below it is there
        }
        std::vector<PCItemIDList> checked;
        for (int i = 0; i < children->Count(); ++i)
            if (IsChecked(*children->Items(i))) checked.push_back(children->Items(i)->RelativePIDL());
        // Listed: file-system items that are still there.
        ExistingItems existing(*folder, fileSystemFolder, std::move(checked), SFGAO_FILESYSTEM,
                               SFGAO_FILESYSTEM);
        for (int i = 0; i < children->Count(); ++i) {
            TNodeStorage& child = *children->Items(i);
            const bool hasChildren = child.Children() && child.Children()->Count() > 0;
            const PCItemIDList relative = child.RelativePIDL();
            std::string name;
            if (IsChecked(child) && existing.Has(relative) &&
                SUCCEEDED(folder->GetDisplayNameOf(relative, SHGDN_FORPARSING, &name)))
                visit(std::move(name));
            if (hasChildren) self(self, child, IsFileSystemItem(*folder, relative));
        }
    };
    walk(walk, *this, false);
}

void TRootNodeStorage::SetCheckedFileNames(const TStringList& paths) {
    // Our own result list may be the source; Clear empties it.
    std::vector<std::string> entries;
    for (int i = 0; i < paths.Count(); ++i)
        entries.push_back(paths[i]);
    Clear(false);
    // Parsed as the desktop folder parses them, all at once: a folder that
    // holds many of them is read once. What does not parse is skipped.
    for (const UniquePIDL& pidl : ParsePaths(entries)) {
        if (!pidl) continue;
        if (TNodeStorage* node = Store(pidl.get(), skCheck)) {
            node->Storage.CheckState = csCheckedNormal;
            node->Storage.CheckType = ctTriStateCheckBox;
        }
    }
}

} // namespace ax
