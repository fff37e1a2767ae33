// The task allocator (each block carries its size) and the PIDL primitives:
// sizes, counts, comparison, parenthood, making an item, and checking that
// bytes from outside form a valid PIDL within their length.
#include "platform/shellns/pidl.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace ax {
namespace {

std::atomic<int64_t> g_live{0};
std::atomic<int> g_failures{0};
std::atomic<bool> g_unavailable{false};

// Each block carries its size in front, so GetSize needs no table. PIDLs
// are bytes (their records packed), so the size alone makes the header: a
// short item then takes the heap's 32-byte block, not a 64-byte one.
constexpr size_t kHeader = sizeof(size_t);

IMalloc& TheTaskAllocator() {
    static IMalloc instance;
    return instance;
}

} // namespace

void* IMalloc::Alloc(size_t size) {
    if (g_failures.load() > 0 && g_failures.fetch_sub(1) > 0) return nullptr;
    auto* raw = static_cast<uint8_t*>(std::malloc(size + kHeader));
    if (!raw) return nullptr;
    std::memcpy(raw, &size, sizeof size);
    ++g_live;
    return raw + kHeader;
}

void* IMalloc::Realloc(void* block, size_t size) {
    if (!block) return Alloc(size);
    void* fresh = Alloc(size);
    if (!fresh) return nullptr;
    std::memcpy(fresh, block, std::min(size, GetSize(block)));
    Free(block);
    return fresh;
}

void IMalloc::Free(void* block) {
    if (!block) return;
    --g_live;
    std::free(static_cast<uint8_t*>(block) - kHeader);
}

size_t IMalloc::GetSize(const void* block) const {
    if (!block) return 0;
    size_t size;
    std::memcpy(&size, static_cast<const uint8_t*>(block) - kHeader, sizeof size);
    return size;
}

int64_t IMalloc::LiveBlocks() const { return g_live.load(); }
void IMalloc::FailNextAllocations(int count) { g_failures = count; }

void TaskAllocatorDeleter::operator()(ITEMIDLIST* pidl) const noexcept {
    // Whoever could allocate a block can free it, even while the allocator
    // is refused to new callers.
    TheTaskAllocator().Free(pidl);
}

HRESULT SHGetMalloc(IMalloc** allocator) {
    IMalloc& instance = TheTaskAllocator();
    if (!allocator) return E_INVALIDARG;
    if (g_unavailable) {
        *allocator = nullptr;
        return E_FAIL;
    }
    *allocator = &instance;
    return S_OK;
}

void SetTaskAllocatorUnavailable(bool unavailable) { g_unavailable = unavailable; }

size_t ILByteSize(PCItemIDList pidl) {
    if (!pidl) return 0;
    size_t size = 2;
    for (PCItemIDList p = pidl; p->mkid.cb != 0; p = ILNextItem(p)) size += p->mkid.cb;
    return size;
}

int ILItemCount(PCItemIDList pidl) {
    int n = 0;
    if (pidl)
        for (PCItemIDList p = pidl; p->mkid.cb != 0; p = ILNextItem(p)) ++n;
    return n;
}

static bool ItemsEqual(PCItemIDList a, PCItemIDList b) {
    return a->mkid.cb == b->mkid.cb && std::memcmp(a, b, a->mkid.cb) == 0;
}

bool ILIsEqual(PCItemIDList a, PCItemIDList b) {
    if (!a || !b) return false;
    for (;; a = ILNextItem(a), b = ILNextItem(b)) {
        if (a->mkid.cb == 0 || b->mkid.cb == 0) return a->mkid.cb == b->mkid.cb;
        if (!ItemsEqual(a, b)) return false;
    }
}

bool ILIsParent(PCItemIDList parent, PCItemIDList child, bool immediate) {
    if (!parent || !child) return false;
    for (; parent->mkid.cb != 0; parent = ILNextItem(parent), child = ILNextItem(child)) {
        if (child->mkid.cb == 0 || !ItemsEqual(parent, child)) return false;
    }
    if (child->mkid.cb == 0) return false; // equal, not a parent
    return !immediate || ILNextItem(child)->mkid.cb == 0;
}

uint8_t ILItemKind(PCItemIDList item) { return item->mkid.cb >= 3 ? item->mkid.abID[0] : 0; }

std::string_view ILItemPayload(PCItemIDList item) {
    if (item->mkid.cb < 3) return {};
    return {reinterpret_cast<const char*>(item->mkid.abID + 1), size_t(item->mkid.cb) - 3};
}

PItemIDList ILCreateItem(uint8_t kind, std::string_view payload) {
    const size_t cb = payload.size() + 3;
    if (cb > 0xFFFF) return nullptr;
    IMalloc* m = nullptr;
    if (FAILED(SHGetMalloc(&m))) return nullptr;
    auto* bytes = static_cast<uint8_t*>(m->Alloc(cb + 2));
    if (!bytes) return nullptr;
    bytes[0] = static_cast<uint8_t>(cb & 0xFF);
    bytes[1] = static_cast<uint8_t>(cb >> 8);
    bytes[2] = kind;
    std::memcpy(bytes + 3, payload.data(), payload.size());
    bytes[cb] = 0;
    bytes[cb + 1] = 0;
    return reinterpret_cast<PItemIDList>(bytes);
}

bool ILIsValid(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t at = 0;
    for (;;) {
        if (at + 2 > size) return false;
        const size_t cb = bytes[at] | (bytes[at + 1] << 8);
        if (cb == 0) return at + 2 == size;
        if (cb < 3 || at + cb > size) return false;
        at += cb;
    }
}

} // namespace ax
