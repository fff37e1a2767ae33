// The node storage: records of the explorer's check boxes and columns kept
// by absolute PIDL, their lookups, the backup selection, and the ".JOB"
// stream read with nothing trusted.
#include "shell/NodeStorage.h"

#include "NodeRecordWriter.h"
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

// A PIDL from the task allocator holding path's bytes and a terminator.
UniquePIDL PIDLOfPath(const std::string& path) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator))) throw EOutOfMemory(SOutOfMemory);
    UniquePIDL pidl(static_cast<PItemIDList>(allocator->Alloc(path.size() + 2)));
    if (!pidl) throw EOutOfMemory(SOutOfMemory);
    auto* bytes = reinterpret_cast<uint8_t*>(pidl.get());
    std::memcpy(bytes, path.data(), path.size());
    bytes[path.size()] = bytes[path.size() + 1] = 0;
    return pidl;
}

// A PIDL's bytes without the terminator.
size_t PathLength(PCItemIDList pidl) {
    return ILByteSize(pidl) - 2;
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

// ---- TStorage ----

TStorage::TStorage(const TStorage& source)
    : Kinds(source.Kinds), CheckState(source.CheckState), CheckType(source.CheckType),
      extras_(source.extras_ ? std::make_unique<TStorageExtras>(*source.extras_) : nullptr) {}

TStorage& TStorage::operator=(const TStorage& source) {
    if (&source != this) *this = TStorage(source);
    return *this;
}

TColumnStorage& TStorage::Columns() {
    if (!extras_) extras_ = std::make_unique<TStorageExtras>();
    return extras_->Columns;
}

const TColumnStorage& TStorage::Columns() const {
    static const TColumnStorage none;
    return extras_ ? extras_->Columns : none;
}

std::shared_ptr<TStorageObject>& TStorage::UserObject() {
    if (!extras_) extras_ = std::make_unique<TStorageExtras>();
    return extras_->UserObject;
}

const std::shared_ptr<TStorageObject>& TStorage::UserObject() const {
    static const std::shared_ptr<TStorageObject> none;
    return extras_ ? extras_->UserObject : none;
}

// ---- TNodeStorage ----

// With the heap's 4-byte block header, a record fills a 64-byte block: a
// field more doubles what a selection of millions costs. The item held in
// place lies in the base's tail room; were it laid out after the pointers,
// the record would grow to 64 bytes.
static_assert(sizeof(TNodeStorage) <= 56, "a node storage record outgrew its 64-byte block");

TNodeStorage::TNodeStorage(UniquePIDL pidl, TNodeStorage* parent) : parent_(parent) {
    SetPIDL(std::move(pidl));
}

TNodeStorage::~TNodeStorage() {
    // The children first: a deep tree is freed from the top down.
    children_.reset();
}

void TNodeStorage::SetItem(const void* bytes, size_t size) {
    item_.Set(bytes, size);
    if (children_) children_->folder_.reset();
}

void TNodeStorage::SetPIDL(UniquePIDL pidl) {
    if (!pidl) {
        item_.Reset();
        if (children_) children_->folder_.reset();
    } else if (parent_) {
        PCItemIDList last = TPIDLManager().GetPointerToLastID(static_cast<PCItemIDList>(pidl.get()));
        SetItem(last, last->mkid.cb);
    } else {
        SetItem(pidl.get(), PathLength(pidl.get()));
    }
}

PItemIDList TNodeStorage::TopRelativePIDL() const {
    if (!item_.Held()) return nullptr;
    return TPIDLManager().GetPointerToLastID(reinterpret_cast<PItemIDList>(item_.Bytes()));
}

void TNodeStorage::AppendPathBytes(std::string& path) const {
    if (parent_) parent_->AppendPathBytes(path);
    if (item_.Held())
        path.append(reinterpret_cast<const char*>(item_.Bytes()),
                    PathLength(reinterpret_cast<PCItemIDList>(item_.Bytes())));
}

UniquePIDL TNodeStorage::AbsolutePIDL() const {
    if (!parent_ && !item_.Held()) return nullptr;
    std::string path;
    AppendPathBytes(path);
    return PIDLOfPath(path);
}

void TNodeStorage::CheckTree() const {
    std::vector<const TNodeStorage*> pending{this};
    while (!pending.empty()) {
        const TNodeStorage& node = *pending.back();
        pending.pop_back();
        if (!node.children_) continue;
        const TNodeStorageList& children = *node.children_;
        Assert(children.owner_ == &node, "Node storage: a list of another record");
        for (const std::unique_ptr<TNodeStorage>& child : children.nodes_) {
            Assert(child && child->parent_ == &node, "Node storage: a child of another parent");
            const auto* item = reinterpret_cast<PCItemIDList>(child->item_.Bytes());
            Assert(item && item->mkid.cb != 0 && ILNextItem(item)->mkid.cb == 0,
                   "Node storage: a child that is not one item below its parent");
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
    if (children_ && children_->folder_) return children_->folder_;
    result = E_FAIL;
    ShellFolderPtr folder;
    PCItemIDList relative = RelativePIDL();
    if (!parent_) {
        result = SHGetDesktopFolder(&folder);
    } else if (relative && !ILIsEmpty(relative)) {
        if (ShellFolderPtr parentFolder = parent_->ShellFolder(result)) {
            result = parentFolder->BindToObject(relative, &folder);
            if (FAILED(result)) folder.reset();
        }
    }
    if (children_) children_->folder_ = folder;
    return folder;
}

void TNodeStorage::DropEmptyChildren() {
    if (children_ && children_->Count() == 0) children_.reset();
}

TNodeStorage* TNodeStorage::FindChild(PCItemIDList id, bool create, bool intermediate) {
    // A look that finds nothing changes nothing: no empty list is saved.
    if (!children_ && !create) return nullptr;
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

    auto node = std::make_unique<TNodeStorage>(nullptr, this);
    node->SetItem(id, id->mkid.cb);
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
    item_.Reset();
    children_.reset();
    if (freeObjects && std::as_const(Storage).UserObject()) Storage.UserObject().reset();
}

std::unique_ptr<TNodeStorage> TNodeStorage::CopyTree(const TNodeStorage& source,
                                                     TNodeStorage* parent) {
    auto copy = std::make_unique<TNodeStorage>(nullptr, parent);
    if (parent) {
        if (source.item_.Held())
            copy->SetItem(source.item_.Bytes(),
                          reinterpret_cast<PCItemIDList>(source.item_.Bytes())->mkid.cb);
    } else if (source.parent_ || source.item_.Held()) {
        // A top record holds its whole PIDL.
        std::string path;
        source.AppendPathBytes(path);
        copy->SetItem(path.data(), path.size());
    }
    copy->Storage.Kinds = source.Storage.Kinds;
    copy->Storage.CheckState = source.Storage.CheckState;
    copy->Storage.CheckType = source.Storage.CheckType;
    if (source.Storage.extras_) copy->Storage.Columns() = source.Storage.extras_->Columns;
    if (source.children_) {
        copy->children_ = std::make_unique<TNodeStorageList>(copy.get());
        for (int i = 0; i < source.children_->Count(); ++i)
            copy->children_->Add(CopyTree(*source.children_->Items(i), copy.get()));
    }
    return copy;
}

void TNodeStorage::TakeOver(TNodeStorage& source, bool keepCheckType, bool keepObject) {
    // In a tree the record keeps its own item: source holds the same one.
    if (!parent_) item_ = std::move(source.item_);
    children_ = std::move(source.children_);
    if (children_) {
        children_->owner_ = this;
        for (int i = 0; i < children_->Count(); ++i)
            children_->Items(i)->parent_ = this;
    }
    Storage.Kinds = source.Storage.Kinds;
    Storage.CheckState = source.Storage.CheckState;
    if (!keepCheckType) Storage.CheckType = source.Storage.CheckType;
    std::shared_ptr<TStorageObject> object;
    if (keepObject) object = std::as_const(Storage).UserObject();
    Storage.extras_ = std::move(source.Storage.extras_);
    if (keepObject && (object || Storage.extras_)) Storage.UserObject() = std::move(object);
    SetStreamVersion(source.StreamVersion());
}

void TNodeStorage::Assign(const TNodeStorage& source) {
    if (&source == this) return;
    // A record inside a tree stays where it is: it may only take over a copy
    // of its own item, or its folder's order and the lookups would break.
    if (parent_) {
        const UniquePIDL mine = AbsolutePIDL();
        const UniquePIDL theirs = source.AbsolutePIDL();
        if (!mine || !theirs || !ILIsEqual(mine.get(), theirs.get()))
            throw EInvalidOperation("Cannot assign the record of another item to a record in a tree");
    }
    // The copy is made in full before anything of ours is freed: source may
    // live below this node.
    auto copy = CopyTree(source, nullptr);
    if (std::as_const(Storage).UserObject() && std::as_const(source.Storage).UserObject())
        Storage.UserObject()->Assign(*source.Storage.UserObject());
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

// Reads records with nothing trusted. Each record's PIDL is read whole, as
// stored, and checked against its parent's (held in path_ while the records
// below are read); a child keeps only its own item. The records under way
// are held on a stack of their own rather than the call stack, so that the
// reading may stop after any record and go on later.
class NodeRecordReader {
public:
    // Without settle, records are kept unchecked against the disk (see
    // TNodeStorageList::SettleTree).
    NodeRecordReader(TStream& stream, int32_t version, bool readVerFromStream, bool settle)
        : stream_(stream), version_(version), readVer_(readVerFromStream), settle_(settle) {}

    // A top record into a fresh node (borrowed), which keeps its whole PIDL.
    void StartTop(TNodeStorage& node) {
        path_.clear();
        BeginRecord(node, nullptr, 0, false);
    }
    // The records of a list (borrowed), below the owner whose PIDL's bytes
    // are path.
    void StartList(TNodeStorageList& list, std::string path) {
        path_ = std::move(path);
        Frame frame;
        frame.list = &list;
        frame.left = ReadListHead(list);
        frames_.push_back(std::move(frame));
    }
    // Reads up to records more records (one at least); answers how many.
    // After a raise the reader is of no further use.
    size_t Step(size_t records);
    bool Done() const { return frames_.empty(); }

    void ReadTop(TNodeStorage& node) {
        StartTop(node);
        Step(SIZE_MAX);
    }
    void ReadList(TNodeStorageList& list, std::string path) {
        StartList(list, std::move(path));
        Step(SIZE_MAX);
    }

private:
    // A record whose children are being read.
    struct Frame {
        TNodeStorage* node = nullptr;        // nil: a list read on its own
        std::unique_ptr<TNodeStorage> owned; // a child's, until its list keeps it
        // A child that is not its parent plus one item is read (so the
        // stream stays in step) and dropped.
        bool fits = false;
        size_t parentLength = 0;
        std::string setAside;
        TNodeStorageList* list = nullptr; // nil without children
        std::unique_ptr<TNodeStorageList> ownedList;
        int32_t left = 0; // children still to read
        int depth = 0;    // the children's
        std::vector<std::unique_ptr<TNodeStorage>> kept;
    };
    // Reads a record up to its children and puts it on the stack; one
    // without children is read whole.
    void BeginRecord(TNodeStorage& node, std::unique_ptr<TNodeStorage> owned, int depth,
                     bool child);
    // The list's version word and count; answers the count.
    int32_t ReadListHead(TNodeStorageList& list);
    // A record off the stack (or never on it) has all its children: its
    // list is filled and the rest of it read; a child that fits goes to its
    // parent's list, on top of the stack.
    void EndRecord(Frame& frame);
    void ReadTail(TNodeStorage& node);

    TStream& stream_;
    const int32_t version_;
    const bool readVer_;
    const bool settle_;
    std::string path_;
    std::string read_;
    std::vector<Frame> frames_;
};

void NodeRecordReader::BeginRecord(TNodeStorage& node, std::unique_ptr<TNodeStorage> owned,
                                   int depth, bool child) {
    if (depth > kMaxNodeDepth) throw EReadError(SReadError);
    node.TStreamableClass::LoadFromStream(stream_, version_, readVer_);
    Frame frame;
    frame.node = &node;
    frame.owned = std::move(owned);
    frame.parentLength = path_.size();
    const size_t parentLength = frame.parentLength;
    // What is below a record that does not fit is checked against its own
    // PIDL: path_ is set aside meanwhile.
    const auto size = stream_.ReadValue<int32_t>();
    if (size != 0) {
        if (size < 0 || size > stream_.Remaining()) throw EReadError(SReadError);
        read_.resize(size_t(size));
        stream_.ReadBuffer(read_.data(), size);
        if (!ILIsValid(read_.data(), size_t(size))) throw EReadError(SReadError);
        const size_t length = size_t(size) - 2;
        // Both PIDLs are whole, so where the parent's bytes end in the
        // child's, an item begins.
        if (child && length > parentLength &&
            std::memcmp(read_.data(), path_.data(), parentLength) == 0) {
            const auto* item = reinterpret_cast<PCItemIDList>(read_.data() + parentLength);
            frame.fits = parentLength + item->mkid.cb == length;
        }
        if (frame.fits) {
            node.SetItem(read_.data() + parentLength, length - parentLength);
            path_.append(read_, parentLength, length - parentLength);
        } else {
            if (!child) node.SetItem(read_.data(), length);
            frame.setAside.swap(path_);
            path_.assign(read_, 0, length);
        }
    } else {
        // No PIDL: what is below hangs from the desktop.
        frame.setAside.swap(path_);
    }

    if (ReadBooleanByte(stream_)) {
        frame.ownedList = std::make_unique<TNodeStorageList>(&node);
        frame.list = frame.ownedList.get();
        frame.left = ReadListHead(*frame.list);
        frame.depth = depth + 1;
        frames_.push_back(std::move(frame));
        return;
    }
    // Most records hold no children: done without the stack.
    EndRecord(frame);
}

int32_t NodeRecordReader::ReadListHead(TNodeStorageList& list) {
    list.TStreamableList::LoadFromStream(stream_, version_, readVer_);
    const auto count = stream_.ReadValue<int32_t>();
    // The smallest record: PIDL size, has-children, kinds, one check byte and
    // three array counts, plus a version word when there are version words.
    const int64_t smallestRecord = readVer_ ? 23 : 19;
    if (count < 0 || count > stream_.Remaining() / smallestRecord) throw EReadError(SReadError);
    return count;
}

size_t NodeRecordReader::Step(size_t records) {
    size_t used = 0;
    while (!frames_.empty() && used < std::max<size_t>(records, 1)) {
        Frame& top = frames_.back();
        if (top.left == 0) {
            Frame done = std::move(top);
            frames_.pop_back();
            EndRecord(done);
            continue;
        }
        --top.left;
        auto child = std::make_unique<TNodeStorage>(nullptr, nullptr);
        TNodeStorage& node = *child;
        BeginRecord(node, std::move(child), top.depth, true);
        ++used;
    }
    return used;
}

void NodeRecordReader::EndRecord(Frame& frame) {
    if (frame.list) {
        TNodeStorageList& list = *frame.list;
        if (settle_ && !frame.kept.empty()) list.Settle(frame.kept, PIDLOfPath(path_).get());
        list.nodes_.reserve(list.nodes_.size() + frame.kept.size());
        for (auto& child : frame.kept) {
            child->parent_ = list.owner_;
            list.Add(std::move(child));
        }
        if (frame.ownedList) frame.node->children_ = std::move(frame.ownedList);
    }
    if (!frame.node) return;
    if (frame.fits)
        path_.resize(frame.parentLength);
    else
        path_.swap(frame.setAside);
    ReadTail(*frame.node);
    // A dropped child goes with all it holds.
    if (frame.fits && !frames_.empty()) frames_.back().kept.push_back(std::move(frame.owned));
}

void NodeRecordReader::ReadTail(TNodeStorage& node) {
    // Kinds, the check state and (from version 2) the check type.
    const int32_t recordVersion = node.StreamVersion();
    TStorage& storage = node.Storage;
    uint8_t record[3] = {0, 0, storage.CheckType};
    stream_.ReadBuffer(record, recordVersion >= 2 ? 3 : 2);
    if (record[0] & ~(skCheck | skColumns | skObject)) throw EReadError(SReadError);
    if (record[1] > csMixedPressed || record[2] > ctButton) throw EReadError(SReadError);
    storage.Kinds = record[0];
    storage.CheckState = record[1];
    storage.CheckType = record[2];

    TColumnStorage columns;
    ReadArray(stream_, columns.Widths);
    ReadArray(stream_, columns.Positions);
    ReadArray(stream_, columns.Visible);
    if (!columns.Widths.empty() || !columns.Positions.empty() || !columns.Visible.empty())
        storage.Columns() = std::move(columns);

    if (recordVersion >= 1 && ReadBooleanByte(stream_)) {
        const auto length = stream_.ReadValue<int32_t>();
        if (length < 1 || length > 255 || length > stream_.Remaining()) throw EReadError(SReadError);
        AnsiString name(static_cast<size_t>(length), '\0');
        stream_.ReadBuffer(name.data(), length);
        auto object = CreateStorageObject(name);
        object->LoadFromStream(stream_, version_, readVer_);
        storage.UserObject() = std::move(object);
    }
}

void TNodeStorage::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    TNodeStorage fresh(nullptr, nullptr);
    NodeRecordReader(stream, version, readVerFromStream, true).ReadTop(fresh);
    // In a tree, a record of another item would leave its folder's order and
    // the lookups behind.
    if (parent_) {
        const UniquePIDL mine = AbsolutePIDL();
        const UniquePIDL theirs = fresh.AbsolutePIDL();
        if (!mine || !theirs || !ILIsEqual(mine.get(), theirs.get())) throw EReadError(SReadError);
    }
    fresh.CheckTree();
    NodesFreed();
    const bool oldLayout = fresh.StreamVersion() < 2;
    const bool noObject = !std::as_const(fresh.Storage).UserObject();
    TakeOver(fresh, oldLayout, noObject);
}

void TNodeStorage::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    std::string path;
    AppendPathBytes(path);
    WriteRecord(stream, version, writeVerToStream, path);
}

void TNodeStorage::WriteRecord(TStream& stream, int32_t version, bool writeVerToStream,
                               std::string& path) {
    WriteHead(stream, version, writeVerToStream, path);
    if (children_) children_->WriteRecords(stream, version, writeVerToStream, path);
    WriteTail(stream, version, writeVerToStream);
}

void TNodeStorage::WriteHead(TStream& stream, int32_t version, bool writeVerToStream,
                             const std::string& path) {
    TStreamableClass::SaveToStream(stream, version, writeVerToStream);
    if (parent_ || item_.Held()) {
        stream.WriteValue<int32_t>(static_cast<int32_t>(path.size() + 2));
        stream.WriteBuffer(path.data(), static_cast<int64_t>(path.size()));
        stream.WriteValue<uint16_t>(0);
    } else {
        stream.WriteValue<int32_t>(0);
    }
    stream.WriteValue<uint8_t>(children_ ? 1 : 0);
}

void TNodeStorage::WriteTail(TStream& stream, int32_t version, bool writeVerToStream) {
    const TStorage& storage = Storage;
    const uint8_t record[3] = {storage.Kinds, storage.CheckState, storage.CheckType};
    stream.WriteBuffer(record, 3);
    const TColumnStorage& columns = storage.Columns();
    WriteArray(stream, columns.Widths);
    WriteArray(stream, columns.Positions);
    WriteArray(stream, columns.Visible);
    if (version >= 1) {
        const TStorageObject* object = storage.UserObject().get();
        stream.WriteValue<uint8_t>(object ? 1 : 0);
        if (object) {
            const AnsiString name = object->ClassName();
            if (name.empty() || name.size() > 255)
                throw EWriteError("Storage class name too long: " + name);
            stream.WriteValue<int32_t>(static_cast<int32_t>(name.size()));
            stream.WriteBuffer(name.data(), static_cast<int64_t>(name.size()));
            storage.UserObject()->SaveToStream(stream, version, writeVerToStream);
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
    // The caller may free it: no lookup cache may point into it any more.
    // Told first, while the list is whole: a save pending ends before.
    if (owner_) owner_->NodesFreed();
    std::unique_ptr<TNodeStorage> node = std::move(nodes_[size_t(index)]);
    nodes_.erase(nodes_.begin() + index);
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

void TNodeStorageList::Settle(std::vector<std::unique_ptr<TNodeStorage>>& kept,
                              PCItemIDList parentPIDL) {
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
            if (owner_->parent_ || owner_->item_.Held()) folder_ = parentFolder;
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

void TNodeStorageList::SettleOwn() {
    std::vector<std::unique_ptr<TNodeStorage>> kept;
    kept.swap(nodes_);
    if (!kept.empty()) {
        const UniquePIDL parent = owner_->AbsolutePIDL();
        Settle(kept, parent ? parent.get() : DesktopPIDL());
    }
    for (auto& child : kept)
        Add(std::move(child));
}

void TNodeStorageList::SettleTree() {
    SettleOwn();
    for (const auto& child : nodes_)
        if (child->children_) child->children_->SettleTree();
}

void TNodeStorageList::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    TNodeStorageList fresh(owner_);
    std::string path;
    if (owner_) owner_->AppendPathBytes(path);
    NodeRecordReader(stream, version, readVerFromStream, true).ReadList(fresh, std::move(path));
    for (const std::unique_ptr<TNodeStorage>& child : fresh.nodes_)
        child->CheckTree();
    if (owner_) owner_->NodesFreed();
    Clear();
    nodes_.swap(fresh.nodes_);
    SetStreamVersion(fresh.StreamVersion());
}

void TNodeStorageList::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    std::string path;
    if (owner_) owner_->AppendPathBytes(path);
    WriteRecords(stream, version, writeVerToStream, path);
}

void TNodeStorageList::WriteHead(TStream& stream, int32_t version, bool writeVerToStream) {
    TStreamableList::SaveToStream(stream, version, writeVerToStream);
    stream.WriteValue<int32_t>(Count());
}

void TNodeStorageList::WriteRecords(TStream& stream, int32_t version, bool writeVerToStream,
                                    std::string& path) {
    WriteHead(stream, version, writeVerToStream);
    const size_t length = path.size();
    for (const std::unique_ptr<TNodeStorage>& child : nodes_) {
        const auto* item = reinterpret_cast<PCItemIDList>(child->item_.Bytes());
        Assert(item != nullptr, "Node storage: a child without an item");
        path.append(reinterpret_cast<const char*>(item), item->mkid.cb);
        child->WriteRecord(stream, version, writeVerToStream, path);
        path.resize(length);
    }
}

// ---- TRootNodeStorage ----

TRootNodeStorage::TRootNodeStorage() : TNodeStorage(nullptr, nullptr) {
    PItemIDList desktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(CSIDL_DESKTOP, &desktop)) || !desktop)
        throw EOutOfMemory(SOutOfMemory);
    SetPIDL(UniquePIDL(desktop));
    children_ = std::make_unique<TNodeStorageList>(this);
}

TRootNodeStorage::~TRootNodeStorage() {
    // A save asked for is not lost with the window.
    CompleteSave();
}

void TRootNodeStorage::NodesFreed() {
    CompleteSave();
    ++changes_;
    lastParent_ = nullptr;
}

TNodeStorage* TRootNodeStorage::FindNode(PCItemIDList pidl, bool create) {
    // What it finds may be changed by the caller.
    CompleteSave();
    if (!pidl) return nullptr;
    if (ILIsEmpty(pidl)) return this;
    // A record deeper than a stream may hold would make the job unreadable.
    if (create && ILItemCount(pidl) > kMaxNodeDepth) return nullptr;
    PCItemIDList last = TPIDLManager().GetPointerToLastID(pidl);
    const auto prefix = size_t(reinterpret_cast<const uint8_t*>(last) -
                               reinterpret_cast<const uint8_t*>(pidl));

    // The walk from the top would reach this very record and ask it the
    // same question: its answer, found or not, stands.
    if (lastParent_ && prefix == lastParentPath_.size() &&
        std::memcmp(pidl, lastParentPath_.data(), prefix) == 0)
        return lastParent_->FindChild(last, create, false);
    lastParent_ = nullptr;

    TNodeStorage* node = this;
    std::string id;
    for (PCItemIDList item = pidl; node && item->mkid.cb != 0; item = ILNextItem(item)) {
        const bool following = ILNextItem(item)->mkid.cb != 0;
        id.assign(reinterpret_cast<const char*>(item), item->mkid.cb);
        id.append(2, '\0');
        node = node->FindChild(AsPIDL(id), create, following);
    }
    if (node) {
        lastParent_ = node->Parent();
        lastParentPath_.assign(reinterpret_cast<const char*>(pidl), prefix);
    }
    return node;
}

TNodeStorage* TRootNodeStorage::Store(PCItemIDList pidl, TStorageKinds kinds) {
    // The caller goes on to set the record's check pair.
    ++changes_;
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
    ++changes_;
    TNodeStorage* node = FindNode(pidl, false);
    lastParent_ = nullptr;
    if (!node) return;
    node->Storage.Kinds &= static_cast<TStorageKinds>(~kinds);
    if ((node->Storage.Kinds == 0 || force) && node != this) {
        TNodeStorageList& siblings = *node->Parent()->Children();
        auto removed = siblings.Extract(siblings.IndexOf(node));
        if (freeObject && std::as_const(removed->Storage).UserObject())
            removed->Storage.UserObject().reset();
        return; // freed here with all its children
    }
    if ((kinds & skObject) && freeObject && std::as_const(node->Storage).UserObject())
        node->Storage.UserObject().reset();
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
    // The records below keep their own items and now hang from the new
    // place; only the folders bound at the old one go.
    if (target->children_) {
        target->children_->owner_ = target;
        for (const auto& child : target->children_->nodes_)
            child->parent_ = target;
        std::vector<TNodeStorageList*> pending{target->children_.get()};
        while (!pending.empty()) {
            TNodeStorageList* list = pending.back();
            pending.pop_back();
            list->folder_.reset();
            for (const auto& child : list->nodes_)
                if (child->children_) pending.push_back(child->children_.get());
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
    ++changes_;
    checkedFileNames_.Clear();
    TNodeStorage::Clear(freeObjects);
}

void TRootNodeStorage::Assign(const TNodeStorage& source) {
    ++changes_;
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
    NodeRecordReader(stream, version, readVerFromStream, false).ReadTop(*fresh);
    TakeRead(std::move(fresh));
}

void TRootNodeStorage::TakeRead(std::unique_ptr<TNodeStorage> fresh) {
    // Everything below hangs from the desktop: a root record of another item
    // is no storage of ours.
    if (fresh->RelativePIDL() && !ILIsEmpty(fresh->RelativePIDL())) throw EReadError(SReadError);
    settling_.reset();
    reading_.reset();
    pending_ = std::move(fresh);
}

void TRootNodeStorage::FinishLoad() {
    if (reading_) ReadStep(SIZE_MAX);
    if (settling_) {
        while (!FinishLoadStep(SIZE_MAX)) {
        }
        return;
    }
    if (pending_) CompletePending();
    // Taken first: a failure below leaves the storage as it was and nothing
    // pending.
    const std::unique_ptr<TNodeStorage> fresh = std::move(pending_);
    if (!fresh) return;
    if (fresh->children_) fresh->children_->SettleTree();
    fresh->CheckTree();
    NodesFreed();
    const bool oldLayout = fresh->StreamVersion() < 2;
    const bool noObject = !std::as_const(fresh->Storage).UserObject();
    TakeOver(*fresh, oldLayout, noObject);
}

void TRootNodeStorage::FinishLoad(const std::function<void(std::string&&)>& visit) {
    if (reading_) ReadStep(SIZE_MAX);
    if (settling_) FinishLoad();
    if (!pending_) {
        ForEachCheckedFileName(visit);
        return;
    }
    CompletePending();
    const std::unique_ptr<TNodeStorage> fresh = std::move(pending_);
    VisitChecked(*fresh, true, visit);
    fresh->CheckTree();
    NodesFreed();
    const bool oldLayout = fresh->StreamVersion() < 2;
    const bool noObject = !std::as_const(fresh->Storage).UserObject();
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
    VisitChecked(*this, false, visit);
}

void TRootNodeStorage::VisitChecked(TNodeStorage& top, bool settle,
                                    const std::function<void(std::string&&)>& visit) {
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
            if (settle && child.children_) child.children_->SettleTree();
            std::string name;
            if (IsChecked(child) && desktop) {
                const UniquePIDL pidl = child.AbsolutePIDL();
                if (IsFileSystemItem(*desktop, pidl.get()) &&
                    SUCCEEDED(desktop->GetDisplayNameOf(pidl.get(), SHGDN_FORPARSING, &name)))
                    visit(std::move(name));
            }
            self(self, child);
        }
    };
    auto walk = [&](auto& self, TNodeStorage& node, bool fileSystemFolder) -> void {
        TNodeStorageList* children = node.Children();
        if (!children || children->Count() == 0) return;
        // What is gone goes first, as a load does; the listing this takes
        // answers the existence of what is listed below as well.
        if (settle) children->SettleOwn();
        HRESULT bound;
        ShellFolderPtr folder = node.ShellFolder(bound);
        if (!folder) {
            if (bound == E_ACCESSDENIED && desktop) {
                std::string path;
                desktop->GetDisplayNameOf(node.AbsolutePIDL().get(), SHGDN_FORPARSING, &path);
                checkedFileNameProblems_.push_back(
                    {path, "cannot be read; what is checked in it was listed unchecked"});
                unchecked(unchecked, node);
            }
            return; // gone: nothing below it is there
        }
        std::vector<PCItemIDList> checked;
        if (!settle)
            for (int i = 0; i < children->Count(); ++i)
                if (IsChecked(*children->Items(i))) checked.push_back(children->Items(i)->RelativePIDL());
        // Listed: file-system items that are still there (all that settling
        // kept are).
        ExistingItems existing(*folder, fileSystemFolder, std::move(checked), SFGAO_FILESYSTEM,
                               SFGAO_FILESYSTEM);
        auto there = [&](PCItemIDList relative) {
            return settle ? IsFileSystemItem(*folder, relative) : existing.Has(relative);
        };
        for (int i = 0; i < children->Count(); ++i) {
            TNodeStorage& child = *children->Items(i);
            const bool hasChildren = child.Children() && child.Children()->Count() > 0;
            const PCItemIDList relative = child.RelativePIDL();
            std::string name;
            if (IsChecked(child) && there(relative) &&
                SUCCEEDED(folder->GetDisplayNameOf(relative, SHGDN_FORPARSING, &name)))
                visit(std::move(name));
            if (hasChildren) self(self, child, IsFileSystemItem(*folder, relative));
        }
        // A load walked this way binds every folder it holds: each is let go
        // once walked, or a million files would keep ten thousand folders.
        if (settle) children->folder_.reset();
    };
    walk(walk, top, false);
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

// ---- A load checked against the disk a piece at a time -------------------------------------

namespace ax {

struct TRootNodeStorage::LoadSettling {
    // Lists still to settle, the one under way on top; each is settled as
    // TNodeStorageList::Settle does, in place, so that the pending records
    // stay whole until the list is done.
    std::vector<TNodeStorageList*> lists;
    bool begun = false;
    ShellFolderPtr folder; // nil: nothing to ask (all kept or all gone)
    bool fileSystemFolder = false;
    std::vector<char> gone;
    size_t asked = 0;    // items asked about so far
    bool compacted = false;
    size_t compared = 1; // the next item compared with the one before
    bool ordered = true;
    size_t descended = 0; // kept records checked as a tree just read is
    std::vector<TNodeStorageList*> below;
    size_t known = 0, done = 0;
};

namespace {
// Items of one folder asked about in one question: a big folder's listing
// is kept, so each question costs its items.
constexpr size_t kSettledAtOnce = 4096;
} // namespace

bool TRootNodeStorage::FinishLoadStep(size_t records) {
    if (reading_) {
        // Read first; what the step has left checks against the disk.
        const size_t budget = std::max<size_t>(records, 1);
        const size_t read = ReadStep(budget);
        if (reading_ || read >= budget) return !LoadPending();
        records = budget - read;
    }
    if (!pending_) return true;
    if (!settling_) {
        settling_ = std::make_unique<LoadSettling>();
        if (pending_->children_) {
            Assert(pending_->children_->owner_ == pending_.get(), "Node storage: a list of another record");
            settling_->lists.push_back(pending_->children_.get());
            settling_->known = size_t(pending_->children_->Count());
        }
    }
    for (size_t used = 0; !settling_->lists.empty() && used < std::max<size_t>(records, 1);)
        used += SettleStep(std::max<size_t>(records, 1) - used);
    if (!settling_->lists.empty()) return false;
    settling_.reset();
    CompletePending();
    // Each list was checked as CheckTree checks a tree when it was done.
    const std::unique_ptr<TNodeStorage> fresh = std::move(pending_);
    NodesFreed();
    const bool oldLayout = fresh->StreamVersion() < 2;
    const bool noObject = !std::as_const(fresh->Storage).UserObject();
    TakeOver(*fresh, oldLayout, noObject);
    return true;
}

double TRootNodeStorage::FinishLoadProgress() const {
    if (reading_) return 0;
    if (!pending_) return 1;
    if (!settling_ || settling_->known == 0) return 0;
    // Each record is asked about, compared and descended from.
    return std::min(1.0, double(settling_->done) / double(3 * settling_->known));
}

size_t TRootNodeStorage::SettleStep(size_t records) {
    LoadSettling& s = *settling_;
    TNodeStorageList& list = *s.lists.back();
    std::vector<std::unique_ptr<TNodeStorage>>& nodes = list.nodes_;
    if (!s.begun) {
        s.begun = true;
        s.folder.reset();
        s.gone.assign(nodes.size(), 0);
        s.asked = 0;
        s.compacted = false;
        s.compared = 1;
        s.ordered = true;
        s.descended = 0;
        s.below.clear();
        if (!nodes.empty()) {
            const UniquePIDL owner = list.owner_->AbsolutePIDL();
            const PCItemIDList parentPIDL = owner ? owner.get() : DesktopPIDL();
            ShellFolderPtr desktop;
            SHGetDesktopFolder(&desktop);
            HRESULT bound = S_OK;
            if (ILIsEmpty(parentPIDL))
                s.folder = desktop;
            else if (desktop && FAILED(bound = desktop->BindToObject(parentPIDL, &s.folder)))
                s.folder.reset();
            if (!s.folder) {
                // A folder that cannot be read keeps what the job holds of it.
                if (bound != E_ACCESSDENIED) std::fill(s.gone.begin(), s.gone.end(), 1);
                s.asked = nodes.size();
            } else {
                if (list.owner_->parent_ || list.owner_->item_.Held()) list.folder_ = s.folder;
                s.fileSystemFolder = !ILIsEmpty(parentPIDL) && IsFileSystemItem(*desktop, parentPIDL);
            }
        }
    }
    size_t used = 0;
    // Still there?
    while (s.asked < nodes.size() && used < records) {
        const size_t end = std::min({nodes.size(), s.asked + kSettledAtOnce, s.asked + (records - used)});
        std::vector<PCItemIDList> relatives;
        for (size_t i = s.asked; i < end; ++i) relatives.push_back(nodes[i]->RelativePIDL());
        ExistingItems existing(*s.folder, s.fileSystemFolder, relatives, SFGAO_FOLDER, 0);
        for (size_t i = s.asked; i < end; ++i)
            if (!existing.Has(nodes[i]->RelativePIDL())) s.gone[i] = 1;
        used += end - s.asked;
        s.done += end - s.asked;
        s.asked = end;
    }
    if (s.asked < nodes.size()) return used;
    if (!s.compacted) {
        s.compacted = true;
        size_t at = 0;
        for (size_t i = 0; i < nodes.size(); ++i)
            if (!s.gone[i]) nodes[at++] = std::move(nodes[i]);
        nodes.resize(at);
    }
    // In the folder's order, as written by us? Foreign jobs get sorted.
    auto less = [&](const std::unique_ptr<TNodeStorage>& a, const std::unique_ptr<TNodeStorage>& b) {
        return CompareSiblings(*s.folder, a->RelativePIDL(), b->RelativePIDL()).value_or(0) < 0;
    };
    for (; s.folder && s.ordered && s.compared < nodes.size() && used < records; ++s.compared, ++used, ++s.done)
        s.ordered = less(nodes[s.compared - 1], nodes[s.compared]);
    if (s.folder && s.ordered && s.compared < nodes.size()) return used;
    if (!s.ordered) {
        std::stable_sort(nodes.begin(), nodes.end(), less);
        nodes.erase(std::unique(nodes.begin(), nodes.end(),
                                [&](const auto& a, const auto& b) {
                                    return CompareSiblings(*s.folder, a->RelativePIDL(), b->RelativePIDL()) == 0;
                                }),
                    nodes.end());
        s.ordered = true;
        s.compared = nodes.size();
    }
    // Each kept record checked as CheckTree checks a tree just read; the
    // lists below come next.
    for (; s.descended < nodes.size() && used < records; ++s.descended, ++used, ++s.done) {
        const TNodeStorage& child = *nodes[s.descended];
        Assert(child.parent_ == list.owner_, "Node storage: a child of another parent");
        const auto* item = reinterpret_cast<PCItemIDList>(child.item_.Bytes());
        Assert(item && item->mkid.cb != 0 && ILNextItem(item)->mkid.cb == 0,
               "Node storage: a child that is not one item below its parent");
        if (child.children_) {
            Assert(child.children_->owner_ == &child, "Node storage: a list of another record");
            s.below.push_back(child.children_.get());
            s.known += size_t(child.children_->Count());
        }
    }
    if (s.descended < nodes.size()) return used;
    s.lists.pop_back();
    s.lists.insert(s.lists.end(), s.below.rbegin(), s.below.rend());
    s.begun = false;
    s.folder.reset();
    s.below.clear();
    return std::max<size_t>(used, 1);
}

// ---- A load read a piece at a time ----------------------------------------------------------

struct TRootNodeStorage::ReadingLoad {
    ReadingLoad(std::unique_ptr<TStream> from, int32_t version, bool readVerFromStream)
        : stream(std::move(from)), reader(*stream, version, readVerFromStream, false) {}
    std::unique_ptr<TStream> stream;
    std::unique_ptr<TNodeStorage> fresh = std::make_unique<TNodeStorage>(nullptr, nullptr);
    NodeRecordReader reader;
};

void TRootNodeStorage::BeginLoadFromFile(const WideString& fileName, int32_t version,
                                         bool readVerFromStream, size_t records) {
    BeginLoadFromStream(std::make_unique<TWideFileStream>(fileName, fmOpenRead | fmShareExclusive),
                        version, readVerFromStream, records);
}

void TRootNodeStorage::BeginLoadFromStream(std::unique_ptr<TStream> stream, int32_t version,
                                           bool readVerFromStream, size_t records) {
    Assert(stream != nullptr, "Node storage: a load from no stream");
    // Whatever is pending stays until this load has read its first piece.
    auto reading = std::make_unique<ReadingLoad>(std::move(stream), version, readVerFromStream);
    reading->reader.StartTop(*reading->fresh);
    reading->reader.Step(records);
    if (reading->reader.Done()) return TakeRead(std::move(reading->fresh));
    settling_.reset();
    pending_.reset();
    reading_ = std::move(reading);
}

bool TRootNodeStorage::BeginLoadStep(size_t records) {
    if (reading_) ReadStep(records);
    return !reading_;
}

double TRootNodeStorage::BeginLoadProgress() const {
    if (!reading_) return 1;
    const int64_t size = reading_->stream->Size();
    if (size <= 0) return 0;
    return std::clamp(double(reading_->stream->Position()) / double(size), 0.0, 1.0);
}

size_t TRootNodeStorage::ReadStep(size_t records) {
    // A fault drops the load; the records read so far go with it.
    ScopeGuard drop([this] { reading_.reset(); });
    const size_t read = reading_->reader.Step(records);
    if (reading_->reader.Done()) TakeRead(std::move(reading_->fresh));
    drop.Dismiss();
    return read;
}

} // namespace ax
