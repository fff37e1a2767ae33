#pragma once
// Item identifier lists, the names of shell items.
//
// A PIDL is a run of items, each [cb: u16 little-endian, counting itself]
// [kind: u8][payload: cb - 3 bytes], closed by a zero u16. The desktop is the
// empty PIDL (00 00). Item bytes are the whole identity of an item: they hold
// no stat data, so a stored PIDL never goes stale because a file changed,
// and two items are the same item exactly when their bytes are equal.
//
// These bytes are stored in job files. Do not change them lightly.
#include "platform/ole/types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ax {

#pragma pack(push, 1)
struct SHITEMID {
    uint16_t cb;
    uint8_t abID[1];
};
struct ITEMIDLIST {
    SHITEMID mkid;
};
#pragma pack(pop)
using PItemIDList = ITEMIDLIST*;
using PCItemIDList = const ITEMIDLIST*;

// The kind byte that follows each item's count.
enum : uint8_t {
    // A desktop item that is no file: the payload is one of the keys below.
    PIDL_KIND_VIRTUAL = 0x1F,
    // A volume under Computer: the payload is the mount point's absolute path.
    PIDL_KIND_VOLUME = 0x2F,
    // An entry of a directory: the payload is the raw bytes of its name.
    PIDL_KIND_FILE = 0x31,
    // An entry of the recycle bin: the payload is its name in the trash.
    PIDL_KIND_TRASH = 0x35,
    // A printer of the printers folder: the payload is its destination name
    // ("queue" or "queue/instance").
    PIDL_KIND_PRINTER = 0x71,
    // A computer of the network folder: the payload is its host name.
    PIDL_KIND_COMPUTER = 0x72,
};

// Keys of the virtual desktop items. Each holds a "/", which no file name
// can, so they can never collide with a directory entry.
inline constexpr std::string_view kVirtualComputer = "/computer";
inline constexpr std::string_view kVirtualDocuments = "/documents";
inline constexpr std::string_view kVirtualRecycleBin = "/recyclebin";
inline constexpr std::string_view kVirtualPrinters = "/printers";
inline constexpr std::string_view kVirtualNetwork = "/network";

// The shell's task allocator: every PIDL is allocated and freed through it.
// It counts the blocks it has handed out and not had back, which tests
// read to prove that no PIDL leaks and none is freed twice. Its blocks are
// aligned for a size_t, no more: they hold bytes.
class IMalloc {
public:
    void* Alloc(size_t size);
    void* Realloc(void* block, size_t size);
    void Free(void* block);
    size_t GetSize(const void* block) const;
    // Blocks allocated and not yet freed.
    int64_t LiveBlocks() const;
    // Test hook: the next count allocations fail (return nullptr).
    void FailNextAllocations(int count);
};

// Frees a PIDL through the task allocator (nullptr is ignored).
struct TaskAllocatorDeleter {
    void operator()(ITEMIDLIST* pidl) const noexcept;
};
// A PIDL owned by one holder and freed through the task allocator with it.
using UniquePIDL = std::unique_ptr<ITEMIDLIST, TaskAllocatorDeleter>;

// E_FAIL when the allocator cannot be had (test hook below); the allocator
// itself lives as long as the process.
HRESULT SHGetMalloc(IMalloc** allocator);
void SetTaskAllocatorUnavailable(bool unavailable);

// Equal item by item (bytes of each item, counts included).
bool ILIsEqual(PCItemIDList a, PCItemIDList b);
// Parent is a strict prefix of child, item by item; with immediate, the child
// has exactly one item more. The desktop is the parent of everything.
bool ILIsParent(PCItemIDList parent, PCItemIDList child, bool immediate);

// Byte helpers shared by the namespace layer.
size_t ILByteSize(PCItemIDList pidl); // terminator included; 0 for nullptr
int ILItemCount(PCItemIDList pidl);
inline PCItemIDList ILNextItem(PCItemIDList item) {
    return reinterpret_cast<PCItemIDList>(reinterpret_cast<const uint8_t*>(item) + item->mkid.cb);
}
inline bool ILIsEmpty(PCItemIDList pidl) {
    return pidl && pidl->mkid.cb == 0;
}
uint8_t ILItemKind(PCItemIDList item);
std::string_view ILItemPayload(PCItemIDList item);
// A new one-item PIDL from the task allocator; nullptr when it fails or the
// payload is too long for one item.
PItemIDList ILCreateItem(uint8_t kind, std::string_view payload);
// Checks that bytes[0..size) hold exactly one well-formed PIDL: every item
// at least 3 bytes and inside the block, the terminator last.
bool ILIsValid(const void* bytes, size_t size);

} // namespace ax
