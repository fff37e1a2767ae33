#pragma once
// The PIDL toolbox: allocate, copy, join, split, measure, compare and stream
// item identifier lists, and a list that owns the PIDLs it holds.
//
// Every PIDL made or freed here goes through the shell's task allocator, so
// a PIDL can be handed to the namespace layer and back freely. Nil (nullptr)
// is accepted everywhere and means "no PIDL"; the empty PIDL (00 00) is the
// desktop.
#include "platform/shellns/pidl.h"
#include "rtl/lists.h"
#include "rtl/streams.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ax {

class TPIDLManager {
public:
    // Raises EOutOfMemory when the task allocator cannot be had; Create()
    // answers nullptr instead.
    TPIDLManager();
    static std::unique_ptr<TPIDLManager> Create();

    // Nil gives nil; an allocation failure gives nil.
    PItemIDList CopyPIDL(PCItemIDList pidl) const;
    // The items of first (terminator dropped) followed by all of second; a nil
    // second counts as the desktop. Neither input is freed. Nil when the
    // allocation fails.
    PItemIDList AppendPIDL(PCItemIDList first, PCItemIDList second) const;
    void FreePIDL(PItemIDList pidl) const;
    // Clears the variable before freeing, so it never holds a freed block.
    void FreeAndNilPIDL(PItemIDList& pidl) const;

    // Bytes of all items plus the 2-byte terminator; 0 for nil.
    int PIDLSize(PCItemIDList pidl) const;
    // Items before the terminator; 0 for nil.
    int IDCount(PCItemIDList pidl) const;
    // The item cb bytes further on; no check.
    static PItemIDList NextID(PItemIDList pidl);
    static PCItemIDList NextID(PCItemIDList pidl);
    // The first count is 0; false for nil.
    bool IsDesktopFolder(PCItemIDList pidl) const;
    // The last item inside the same block; the PIDL itself with fewer than
    // two items; nil for nil.
    PItemIDList GetPointerToLastID(PItemIDList pidl) const;
    PCItemIDList GetPointerToLastID(PCItemIDList pidl) const;
    // In place: the last item's count becomes 0, so the block names the
    // parent. The desktop stays as it is. Returns pidl.
    PItemIDList StripLastID(PItemIDList pidl) const;
    // As StripLastID, also giving back the removed item's count and address;
    // writing lastCB to lastID->mkid.cb restores the PIDL. The desktop gives
    // 0 and itself, nil gives 0 and nil.
    PItemIDList StripLastIDEx(PItemIDList pidl, uint16_t& lastCB, PItemIDList& lastID) const;
    // pidl starts with all the items of ancestor (so a PIDL is a sub-PIDL of
    // itself); false when either is nil.
    bool IsSubPIDL(PCItemIDList pidl, PCItemIDList ancestor) const;

    // Stream form: a 4-byte little-endian size (terminator included, 0 for
    // nil), then that many bytes. Loading checks the size against what the
    // stream still holds and the item chain against the size, and raises
    // EReadError on anything else, freeing what it read.
    PItemIDList LoadFromStream(TStream& stream) const;
    void SaveToStream(TStream& stream, PCItemIDList pidl) const;

private:
    IMalloc* malloc_;
};

// Equal item by item; false when either is nil.
bool EqualPIDL(PCItemIDList a, PCItemIDList b);
// parent is a strict prefix of child (immediate: by exactly one item); false
// when either is nil.
bool IsParentPIDL(PCItemIDList parent, PCItemIDList child, bool immediate);

// A list of PIDLs that owns its items: an item that leaves the list
// (Delete, Put over it, Clear, the destructor) is freed through the task
// allocator; Extract hands one to the caller. TSharedPIDLList below holds
// borrowed ones.
class TPIDLList {
public:
    TPIDLList() = default;
    ~TPIDLList();
    TPIDLList(const TPIDLList&) = delete;
    TPIDLList& operator=(const TPIDLList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    // Index errors raise EListError ("List index out of bounds (%d)").
    PItemIDList Get(int index) const;
    PItemIDList operator[](int index) const { return Get(index); }
    int IndexOf(PCItemIDList pidl) const;
    // Take ownership (nil is a valid item).
    int Add(PItemIDList pidl);
    int Add(UniquePIDL pidl) { return Add(pidl.release()); }
    void Insert(int index, PItemIDList pidl);
    // Replaces an item; the one replaced is freed.
    void Put(int index, PItemIDList pidl);
    // Adds a copy; the caller keeps pidl.
    int CopyAdd(PCItemIDList pidl);
    void Delete(int index);
    // Takes an item out; the caller owns it now.
    UniquePIDL Extract(int index);
    void Clear();

    // Stream form: a 4-byte count, then each PIDL as TPIDLManager writes it.
    // Loading appends to the list. A stream that does not hold a whole,
    // well-formed list raises EReadError and leaves the list as it was.
    bool LoadFromStream(TStream& stream);
    bool SaveToStream(TStream& stream);

    TPIDLManager& PIDLManager();

private:
    std::vector<UniquePIDL> items_;
    std::unique_ptr<TPIDLManager> manager_;
};

// PIDLs borrowed from their holders, who keep them alive while they are
// listed: the list frees nothing. Index errors as in TPIDLList.
class TSharedPIDLList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    PItemIDList Get(int index) const;
    PItemIDList operator[](int index) const { return Get(index); }
    int IndexOf(PCItemIDList pidl) const;
    int Add(PItemIDList pidl);
    void Insert(int index, PItemIDList pidl);
    void Put(int index, PItemIDList pidl);
    void Delete(int index);
    void Clear() { items_.clear(); }

private:
    std::vector<PItemIDList> items_;
};

} // namespace ax
