#pragma once
// Node storage: what must outlive an explorer tree's nodes (above all their
// check boxes) kept in a tree of records keyed by the shell item's absolute
// PIDL. The root storage yields the backup selection (CheckedFileNames) and
// is the stream of a job's ".JOB" file.
//
// Records of one folder stay sorted by that folder's CompareIDs and are found
// by binary search. Loading a stream is all or nothing: the records are read
// into a fresh tree that replaces the old one only when the whole stream was
// read; a short, corrupt or hostile stream raises EReadError and changes
// nothing. The byte layout is in docs/layers/nodestorage.md.
#include "framework/streaming.h" // SClassNotFound
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/dynarray.h"
#include "rtl/exceptions.h"
#include "rtl/lists.h"
#include "rtl/streams.h"
#include "rtl/text.h"
#include "shell/NodeItem.h"
#include "shell/Streamable.h"
#include "vtree/DataTreeTypes.h" // check states and types: the tree control's numbers

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ax {

// Storage kinds: which parts of a record are valid.
enum : uint8_t {
    skCheck = 1,   // CheckState and CheckType
    skColumns = 2, // Columns
    skObject = 4,  // UserObject
};
using TStorageKinds = uint8_t;

using TWordArray = TDynArray<uint16_t>;
// One byte per element, kept as stored.
using TBooleanArray = TDynArray<uint8_t>;

struct TColumnStorage {
    TWordArray Widths;
    TWordArray Positions;
    TBooleanArray Visible;
};

// An object a record may carry. It is streamed by its registered class name
// and saves and loads its own data.
class TStorageObject : public TStreamableClass {
public:
    // The name it is registered under (at most 255 bytes).
    virtual AnsiString ClassName() const = 0;
    virtual void Assign(const TStorageObject& source) = 0;
};

// What few records hold: a column layout, a user object. Kept out of line,
// so that a record of a checked file costs no room for them.
struct TStorageExtras {
    TColumnStorage Columns;
    std::shared_ptr<TStorageObject> UserObject;
};

struct TStorage {
    TStorageKinds Kinds = 0;
    uint8_t CheckState = 0;
    uint8_t CheckType = 0;

    TStorage() = default;
    TStorage(const TStorage& source);
    TStorage& operator=(const TStorage& source);
    TStorage(TStorage&&) noexcept = default;
    TStorage& operator=(TStorage&&) noexcept = default;

    // The writing forms make the out-of-line part; the reading ones answer
    // empty without making it.
    TColumnStorage& Columns();
    const TColumnStorage& Columns() const;
    // Held by the record; freeing it means dropping the record's reference.
    std::shared_ptr<TStorageObject>& UserObject();
    const std::shared_ptr<TStorageObject>& UserObject() const;

private:
    friend class TNodeStorage;
    std::unique_ptr<TStorageExtras> extras_;
};

class EClassNotFound : public EReadError {
public:
    using EReadError::EReadError;
};

inline constexpr const char* SNodeUnexpectedlyFound =
    "Error in NodeListBinarySearch. Node unexpectedly found";

// The registry of storage object classes, by name. Registering a name again
// replaces its factory; names longer than 255 bytes raise EInvalidOperation.
using TStorageObjectFactory = std::function<std::unique_ptr<TStorageObject>()>;
void RegisterStorageClass(const AnsiString& name, TStorageObjectFactory factory);
void UnregisterStorageClass(const AnsiString& name);
// Raises EClassNotFound ("Class %s not found") for a name not registered.
std::unique_ptr<TStorageObject> CreateStorageObject(const AnsiString& name);

// Deepest nesting of records a stream may hold, which keeps a hostile
// stream from running the reader out of stack. Folders may nest deeper on
// disk; Store refuses items below this depth, so that every job written
// loads again.
inline constexpr int kMaxNodeDepth = 2100;

class TNodeStorageList;
class NodeRecordReader;
class NodeRecordWriter;

// A record keeps only its own item (a top record: its whole PIDL); the
// absolute PIDL is made from the items above it when asked. A checked file
// of a selection of millions then costs a small block and its name, once.
class TNodeStorage : public TStreamableClass {
    friend class TRootNodeStorage;
    friend class NodeRecordReader;
    friend class NodeRecordWriter;

    // A PIDL's bytes with their terminator: one item below a parent. First,
    // so that it takes the room the base leaves after its version and the
    // record of a short name stays one 64-byte block.
    TNodeItem item_;

public:
    // pidl may be nil; parent is borrowed (the node above, nil for a top).
    // Below a parent the node keeps only the PIDL's last item.
    TNodeStorage(UniquePIDL pidl, TNodeStorage* parent);
    ~TNodeStorage() override;
    TNodeStorage(const TNodeStorage&) = delete;
    TNodeStorage& operator=(const TNodeStorage&) = delete;

    void LoadFromFile(const WideString& fileName, int32_t version, bool readVerFromStream) override;
    // Replaces this record (PIDL, children, storage) with the one read; on
    // any error nothing changes. A record inside a tree only takes a record
    // of its own item (as Assign), else EReadError.
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToFile(const WideString& fileName, int32_t version, bool writeVerToStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;

    // Deep copy of source's PIDL, children and record; Parent is cleared.
    virtual void Assign(const TNodeStorage& source);
    virtual void AssignTo(TNodeStorage& dest) const;
    // Frees the PIDL, the folder and all children, and the user object when
    // freeObjects is set. The record's kinds, check pair and columns stay.
    virtual void Clear(bool freeObjects);

    // Made afresh from the items of the records above; nil when the top
    // record has no PIDL and this is the top.
    UniquePIDL AbsolutePIDL() const;
    // The last item of the record's PIDL, held by the record; nil without one.
    // Inline below a parent: asked for on every comparison of siblings.
    PItemIDList RelativePIDL() const {
        return parent_ ? reinterpret_cast<PItemIDList>(item_.Bytes()) : TopRelativePIDL();
    }
    TNodeStorage* Parent() const { return parent_; }
    // Nil when the node has no list object; the list may exist and be empty.
    TNodeStorageList* Children() const { return children_.get(); }
    // Forgets a list of children that records deleted left empty: the record
    // then saves as one that never had any.
    void DropEmptyChildren();
    // This item's folder, bound on first use and cached with the children
    // (a record without a children list binds it again); nil when the item
    // is no folder or cannot be bound (result: why, E_ACCESSDENIED for a
    // folder that is there but cannot be read).
    ShellFolderPtr ShellFolder();
    ShellFolderPtr ShellFolder(HRESULT& result);

    // The child for one item ID (a one-item PIDL), found by binary search
    // over the children in this folder's order. With create, a missing child
    // is made (intermediate: on the way to a deeper item). Nil when not
    // found, or when this item has no folder to order its children by.
    TNodeStorage* FindChild(PCItemIDList id, bool create, bool intermediate);

    TStorage Storage;

protected:
    // Called whenever records below the top of this tree are freed or
    // replaced; the root drops its lookup cache.
    virtual void NodesFreed();
    // The record check type that intermediate records take (the root's).
    virtual uint8_t RootCheckType() const;
    // Takes over another node's PIDL, children, storage and version.
    void TakeOver(TNodeStorage& source, bool keepCheckType, bool keepObject);

private:
    friend class TNodeStorageList;
    void SetPIDL(UniquePIDL pidl);
    // RelativePIDL of a top record, which holds its whole PIDL.
    PItemIDList TopRelativePIDL() const;
    // Keeps a copy of an item's bytes (with a terminator) as this record's.
    void SetItem(const void* bytes, size_t size);
    // Appends the absolute PIDL's bytes, without the terminator.
    void AppendPathBytes(std::string& path) const;
    // Writes this record with the records below; path holds the bytes of
    // the record's absolute PIDL without the terminator (changed meanwhile,
    // given back as it was).
    void WriteRecord(TStream& stream, int32_t version, bool writeVerToStream, std::string& path);
    // A record's bytes before its children's (up to whether a list
    // follows), and after them.
    void WriteHead(TStream& stream, int32_t version, bool writeVerToStream, const std::string& path);
    void WriteTail(TStream& stream, int32_t version, bool writeVerToStream);
    // The structure the lookups rest on, checked once on a tree just read,
    // before it replaces anything: each child names its record as parent
    // (and its list the record as owner) and holds exactly one item. A break
    // raises EAssertionFailed. Linear in the records, without recursion.
    void CheckTree() const;
    static std::unique_ptr<TNodeStorage> CopyTree(const TNodeStorage& source, TNodeStorage* parent);

    TNodeStorage* parent_ = nullptr;
    std::unique_ptr<TNodeStorageList> children_;
};

// The children of one node, owned, in ascending CompareIDs order of the
// node's folder. The items live in a vector of owning pointers; the base
// list's own untyped storage is not used (its members are out of reach).
class TNodeStorageList : public TStreamableList {
public:
    explicit TNodeStorageList(TNodeStorage* owner) : owner_(owner) {}
    ~TNodeStorageList() override;

    int Count() const { return static_cast<int>(nodes_.size()); }
    // Index errors raise EListError.
    TNodeStorage* Items(int index) const;
    TNodeStorage* operator[](int index) const { return Items(index); }
    // -1 when node is not in the list.
    int IndexOf(const TNodeStorage* node) const;
    // The node must name the owner as its parent.
    void Insert(int index, std::unique_ptr<TNodeStorage> node);
    int Add(std::unique_ptr<TNodeStorage> node);
    // Takes the node out; the caller owns it.
    std::unique_ptr<TNodeStorage> Extract(int index);
    // Frees every item.
    void Clear() override;

    // A list version word (with the flag), the count, then each record.
    // Loading keeps only children that fit under the owner and still exist
    // (see the source), and replaces the list only when all was read.
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;

    TNodeStorage* Owner() const { return owner_; }

private:
    friend class TNodeStorage;
    friend class TRootNodeStorage;
    friend class NodeRecordReader;
    friend class NodeRecordWriter;
    // Keeps of records read those whose items are still there, in their
    // folder's order, without doubles; parentPIDL: the owner's.
    void Settle(std::vector<std::unique_ptr<TNodeStorage>>& kept, PCItemIDList parentPIDL);
    // Settles this list alone.
    void SettleOwn();
    // Settles this list, then the lists below what it keeps.
    void SettleTree();
    // The version word, the count and each record; path: the owner's PIDL's
    // bytes, as TNodeStorage::WriteRecord takes them.
    void WriteRecords(TStream& stream, int32_t version, bool writeVerToStream, std::string& path);
    // The version word and the count: what comes before the records.
    void WriteHead(TStream& stream, int32_t version, bool writeVerToStream);
    void CheckIndex(int index, int limit) const;
    using TList::Add;
    using TList::Capacity;
    using TList::Delete;
    using TList::Exchange;
    using TList::First;
    using TList::Get;
    using TList::Insert;
    using TList::Last;
    using TList::Move;
    using TList::Put;
    using TList::Remove;
    using TList::SetCapacity;
    using TList::Sort;

    std::vector<std::unique_ptr<TNodeStorage>> nodes_;
    TNodeStorage* owner_;
    // The owner's folder, bound on first use.
    ShellFolderPtr folder_;
    // Where the last lookup landed, near which the next most likely lands:
    // a guess, always checked, so no change to the list needs to keep it true.
    int last_ = 0;
};

// The storage of the desktop: the one an explorer tree owns.
class TRootNodeStorage : public TNodeStorage {
    friend class TCheckedFileNameWalk;

public:
    TRootNodeStorage();
    ~TRootNodeStorage() override;

    // The record for pidl, made (with the records on the way) when missing;
    // kinds are added to it. Nil when the item cannot be placed (its folder
    // cannot be bound, or it lies deeper than kMaxNodeDepth).
    TNodeStorage* Store(PCItemIDList pidl, TStorageKinds kinds);
    // The record when its kinds share a bit with the asked ones.
    TNodeStorage* Find(PCItemIDList pidl, TStorageKinds kinds);
    // The record for pidl whatever it holds, one made on the way to a
    // deeper record too; nil when there is none. Records exist for every
    // folder above a record, so without one here nothing below is stored.
    TNodeStorage* Lookup(PCItemIDList pidl) { return FindNode(pidl, false); }
    bool Find(PCItemIDList pidl, TStorageKinds kinds, TNodeStorage*& node);
    void Delete(PCItemIDList pidl, TStorageKinds kinds, bool force = false,
                bool freeObject = false);
    // An item renamed or moved on disk: its record and everything stored
    // below it now belong to newPIDL (a record held there before, of an
    // item the move replaced, goes). Folders left holding nothing but a
    // mixed state on the way to it lose their records. Nothing happens when
    // oldPIDL has no record or newPIDL cannot be placed; answers whether
    // the record moved.
    bool Rename(PCItemIDList oldPIDL, PCItemIDList newPIDL);
    void Clear(bool freeObjects) override;
    void Assign(const TNodeStorage& source) override;
    // The root's record must be the desktop's (or none).
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override;
    // A load in two steps, for a window that must answer in between: the
    // first reads the whole stream and raises as LoadFromStream does,
    // changing nothing; FinishLoad then checks every record read against the
    // disk (a listing of each folder that holds many) and only then replaces
    // the storage. A load begun again replaces the one pending.
    void BeginLoadFromFile(const WideString& fileName, int32_t version, bool readVerFromStream);
    void BeginLoadFromStream(TStream& stream, int32_t version, bool readVerFromStream);
    // The same load read a piece at a time too, for a window that must
    // answer between pieces: up to records records are read now (a file
    // that cannot be opened, or a fault in what is read, raises and changes
    // nothing), the rest by BeginLoadStep, or first thing by FinishLoadStep
    // and FinishLoad. A fault met by a later step raises as the load in one
    // piece would and drops the load: the storage stays as it was. The file
    // stays open until it is read whole.
    void BeginLoadFromFile(const WideString& fileName, int32_t version, bool readVerFromStream,
                           size_t records);
    void BeginLoadFromStream(std::unique_ptr<TStream> stream, int32_t version,
                             bool readVerFromStream, size_t records);
    // Reads up to records more records; answers whether the stream is read
    // whole (then, or with no load being read, true).
    bool BeginLoadStep(size_t records);
    bool LoadReading() const { return reading_ != nullptr; }
    // How far the reading has come through the stream's bytes, 0 to 1.
    double BeginLoadProgress() const;
    bool LoadPending() const { return pending_ != nullptr || reading_ != nullptr; }
    // The records of the pending load, not yet checked against the disk;
    // nil while they are still being read.
    const TNodeStorage* PendingLoad() const { return pending_.get(); }
    // Does nothing when no load is pending; a load still being read is read
    // first (and raises as the reading would).
    void FinishLoad();
    // FinishLoad a piece at a time, for a window that must answer between
    // pieces: each step checks up to records more records of the pending
    // load against the disk (reads them first, while it is being read),
    // changing nothing; the last takes the load as
    // FinishLoad does. Answers whether no load is pending any more. A
    // FinishLoad meanwhile does what is left, so the storage ends the same
    // either way.
    bool FinishLoadStep(size_t records);
    // How far the steps have come through the records known so far, 0 to 1.
    double FinishLoadProgress() const;
    // FinishLoad that hands each path of the selection it keeps to visit, as
    // ForEachCheckedFileName would after it: each folder is read once for
    // both. Should visit raise, nothing is replaced.
    void FinishLoad(const std::function<void(std::string&&)>& visit);

    // The backup selection: every item in state checked, pre-order, that is
    // a file-system item and still exists. The same list object every time,
    // refilled on each call; the storage owns it.
    TStringList& CheckedFileNames();
    // The same selection, each path handed to visit as it is found and none
    // kept: for a selection of millions of paths.
    void ForEachCheckedFileName(const std::function<void(std::string&&)>& visit);
    // Clears and stores each path that parses as checked; others are skipped.
    void SetCheckedFileNames(const TStringList& paths);
    // The folders the last CheckedFileNames (or ForEachCheckedFileName)
    // could not read, and why. What is checked below them was listed
    // without being checked against the disk.
    const std::vector<ShellProblem>& CheckedFileNameProblems() const {
        return checkedFileNameProblems_;
    }

    TNodeStorage* LastParent() const { return lastParent_; }
    // Counts the calls that may have changed the records (a store, a delete,
    // a load taken, records freed): a walk in pieces that sees it move
    // starts again.
    uint64_t Changes() const { return changes_; }

    // Work that changes the records in pieces (a check spreading over a big
    // folder) completes here before the whole storage is read or replaced:
    // the selection, a save, a load taken, a clear. Set by that work's owner.
    std::function<void()> OnCompletePending;
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override;

    // A save in slices, for a window that must answer between them: the
    // records go to a temporary file beside fileName a slice at a time,
    // which replaces the file after the last; on any failure the old file
    // stays untouched. The bytes are SaveToFile's. Whatever changes the
    // records meanwhile (a store, a lookup that hands a record out to be
    // changed, a delete, a rename, a clear, a load taken) first completes
    // the save, so the file holds the records as they were when it began.
    // Begun while one is pending, that one is completed first (its failure
    // raises here, and none is begun). Raises as SaveToFile does when the
    // file cannot be made.
    void BeginSaveToFile(const WideString& fileName, int32_t version, bool writeVerToStream);
    // From the begin until SaveStep or FinishSave told its end.
    bool SavePending() const { return save_ != nullptr; }
    // Writes up to records more records, or after the last renames the
    // file over the job; answers whether the save is over (the file
    // replaced), or raises its failure, once.
    bool SaveStep(size_t records);
    // The rest of the save at once, its failure raised; nothing without one.
    void FinishSave();
    // How far the save has come, 0 to 1.
    double SaveProgress() const;

protected:
    void NodesFreed() override;
    uint8_t RootCheckType() const override { return Storage.CheckType; }

private:
    TNodeStorage* FindNode(PCItemIDList pidl, bool create);
    // The walk of ForEachCheckedFileName from top; with settle, each list is
    // first checked against the disk as a load does.
    void VisitChecked(TNodeStorage& top, bool settle, const std::function<void(std::string&&)>& visit);
    // Frees records from node upwards that hold nothing but a mixed (or no)
    // state and no children: they only marked the way to what went.
    void PruneEmptyWay(TNodeStorage* node);

    // Runs OnCompletePending, once at a time.
    void CompletePending();
    // Before the records change: a save pending is written to its end, its
    // failure kept for SaveStep or FinishSave to raise.
    void CompleteSave();
    struct SlicedSave;
    std::unique_ptr<SlicedSave> save_;

    TNodeStorage* lastParent_ = nullptr;
    // lastParent_'s absolute PIDL, without the terminator.
    std::string lastParentPath_;
    bool completing_ = false;
    uint64_t changes_ = 0;
    // What BeginLoad read, until FinishLoad.
    std::unique_ptr<TNodeStorage> pending_;
    // Where FinishLoadStep has got to in pending_.
    struct LoadSettling;
    std::unique_ptr<LoadSettling> settling_;
    // Settles the list on top of settling_'s stack by up to records more.
    size_t SettleStep(size_t records);
    // The load being read, until it is read whole.
    struct ReadingLoad;
    std::unique_ptr<ReadingLoad> reading_;
    // Reads up to records more of reading_, which goes on a fault; answers
    // how many. The load read whole becomes pending_.
    size_t ReadStep(size_t records);
    // A load read whole: pending, once it proves to hang from the desktop.
    void TakeRead(std::unique_ptr<TNodeStorage> fresh);
    TStringList checkedFileNames_;
    std::vector<ShellProblem> checkedFileNameProblems_;
};

} // namespace ax
