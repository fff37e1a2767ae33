// PIDL arithmetic and streaming through the task allocator, and the lists
// of PIDLs: the owning one and the borrowing one.
#include "shell/PIDLTools.h"

#include "rtl/exceptions.h"

#include <cstring>
#include <vector>

namespace ax {
namespace {

const uint8_t* Bytes(PCItemIDList pidl) {
    return reinterpret_cast<const uint8_t*>(pidl);
}

IMalloc* TaskAllocator() {
    IMalloc* malloc = nullptr;
    if (FAILED(SHGetMalloc(&malloc))) return nullptr;
    return malloc;
}

} // namespace

TPIDLManager::TPIDLManager() : malloc_(TaskAllocator()) {
    if (!malloc_) throw EOutOfMemory(SOutOfMemory);
}

std::unique_ptr<TPIDLManager> TPIDLManager::Create() {
    if (!TaskAllocator()) return nullptr;
    return std::make_unique<TPIDLManager>();
}

PItemIDList TPIDLManager::CopyPIDL(PCItemIDList pidl) const {
    if (!pidl) return nullptr;
    const size_t size = PIDLSize(pidl);
    void* copy = malloc_->Alloc(size);
    if (!copy) return nullptr;
    std::memcpy(copy, pidl, size);
    return static_cast<PItemIDList>(copy);
}

PItemIDList TPIDLManager::AppendPIDL(PCItemIDList first, PCItemIDList second) const {
    static constexpr uint8_t kDesktop[2] = {0, 0};
    if (!second) second = reinterpret_cast<PCItemIDList>(kDesktop);
    const size_t head = first ? PIDLSize(first) - 2 : 0;
    const size_t tail = PIDLSize(second);
    auto* joined = static_cast<uint8_t*>(malloc_->Alloc(head + tail));
    if (!joined) return nullptr;
    if (head) std::memcpy(joined, first, head);
    std::memcpy(joined + head, second, tail);
    return reinterpret_cast<PItemIDList>(joined);
}

void TPIDLManager::FreePIDL(PItemIDList pidl) const {
    if (pidl) malloc_->Free(pidl);
}

void TPIDLManager::FreeAndNilPIDL(PItemIDList& pidl) const {
    PItemIDList old = pidl;
    pidl = nullptr;
    FreePIDL(old);
}

int TPIDLManager::PIDLSize(PCItemIDList pidl) const {
    return static_cast<int>(ILByteSize(pidl));
}

int TPIDLManager::IDCount(PCItemIDList pidl) const {
    return ILItemCount(pidl);
}

PItemIDList TPIDLManager::NextID(PItemIDList pidl) {
    return reinterpret_cast<PItemIDList>(reinterpret_cast<uint8_t*>(pidl) + pidl->mkid.cb);
}

PCItemIDList TPIDLManager::NextID(PCItemIDList pidl) {
    return ILNextItem(pidl);
}

bool TPIDLManager::IsDesktopFolder(PCItemIDList pidl) const {
    return pidl && pidl->mkid.cb == 0;
}

PCItemIDList TPIDLManager::GetPointerToLastID(PCItemIDList pidl) const {
    if (!pidl || pidl->mkid.cb == 0) return pidl;
    PCItemIDList last = pidl;
    for (PCItemIDList next = NextID(last); next->mkid.cb != 0; next = NextID(next))
        last = next;
    return last;
}

PItemIDList TPIDLManager::GetPointerToLastID(PItemIDList pidl) const {
    return const_cast<PItemIDList>(GetPointerToLastID(static_cast<PCItemIDList>(pidl)));
}

PItemIDList TPIDLManager::StripLastID(PItemIDList pidl) const {
    uint16_t lastCB;
    PItemIDList lastID;
    return StripLastIDEx(pidl, lastCB, lastID);
}

PItemIDList TPIDLManager::StripLastIDEx(PItemIDList pidl, uint16_t& lastCB,
                                        PItemIDList& lastID) const {
    lastID = GetPointerToLastID(pidl);
    lastCB = lastID ? lastID->mkid.cb : 0;
    if (lastID) lastID->mkid.cb = 0;
    return pidl;
}

bool TPIDLManager::IsSubPIDL(PCItemIDList pidl, PCItemIDList ancestor) const {
    if (!pidl || !ancestor) return false;
    if (IDCount(pidl) < IDCount(ancestor)) return false;
    // Item by item, as if pidl were cut after as many items as ancestor has.
    for (PCItemIDList p = pidl, a = ancestor; a->mkid.cb != 0; p = NextID(p), a = NextID(a)) {
        if (p->mkid.cb != a->mkid.cb || std::memcmp(p, a, a->mkid.cb) != 0) return false;
    }
    return true;
}

PItemIDList TPIDLManager::LoadFromStream(TStream& stream) const {
    const int32_t size = stream.ReadValue<int32_t>();
    if (size == 0) return nullptr;
    // Negative sizes are never written; anything larger than what is left
    // cannot be a PIDL and must not decide how much we allocate.
    if (size < 0 || size > stream.Remaining()) throw EReadError(SReadError);
    UniquePIDL pidl(static_cast<PItemIDList>(malloc_->Alloc(static_cast<size_t>(size))));
    if (!pidl) throw EOutOfMemory(SOutOfMemory);
    stream.ReadBuffer(pidl.get(), size);
    if (!ILIsValid(pidl.get(), static_cast<size_t>(size))) throw EReadError(SReadError);
    return pidl.release();
}

void TPIDLManager::SaveToStream(TStream& stream, PCItemIDList pidl) const {
    const int32_t size = PIDLSize(pidl);
    stream.WriteValue<int32_t>(size);
    if (size > 0) stream.WriteBuffer(Bytes(pidl), size);
}

bool EqualPIDL(PCItemIDList a, PCItemIDList b) {
    if (!a || !b) return false;
    return ILIsEqual(a, b);
}

bool IsParentPIDL(PCItemIDList parent, PCItemIDList child, bool immediate) {
    if (!parent || !child) return false;
    return ILIsParent(parent, child, immediate);
}

namespace {

// index within 0..limit, else EListError.
void CheckIndex(int index, int limit) {
    if (index < 0 || index > limit) throw EListError(Format(SListIndexError, index));
}

} // namespace

TPIDLList::~TPIDLList() {
    Clear();
}

TPIDLManager& TPIDLList::PIDLManager() {
    if (!manager_) manager_ = std::make_unique<TPIDLManager>();
    return *manager_;
}

PItemIDList TPIDLList::Get(int index) const {
    CheckIndex(index, Count() - 1);
    return items_[size_t(index)].get();
}

int TPIDLList::IndexOf(PCItemIDList pidl) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)].get() == pidl) return i;
    return -1;
}

int TPIDLList::Add(PItemIDList pidl) {
    items_.emplace_back(pidl);
    return Count() - 1;
}

void TPIDLList::Insert(int index, PItemIDList pidl) {
    CheckIndex(index, Count());
    items_.insert(items_.begin() + index, UniquePIDL(pidl));
}

void TPIDLList::Put(int index, PItemIDList pidl) {
    CheckIndex(index, Count() - 1);
    UniquePIDL& item = items_[size_t(index)];
    if (item.get() != pidl) item.reset(pidl);
}

int TPIDLList::CopyAdd(PCItemIDList pidl) {
    return Add(PIDLManager().CopyPIDL(pidl));
}

void TPIDLList::Delete(int index) {
    CheckIndex(index, Count() - 1);
    items_.erase(items_.begin() + index);
}

UniquePIDL TPIDLList::Extract(int index) {
    CheckIndex(index, Count() - 1);
    UniquePIDL item = std::move(items_[size_t(index)]);
    items_.erase(items_.begin() + index);
    return item;
}

void TPIDLList::Clear() {
    items_.clear();
}

bool TPIDLList::LoadFromStream(TStream& stream) {
    const int32_t count = stream.ReadValue<int32_t>();
    // Each PIDL takes at least its 4-byte size, which bounds a believable count.
    if (count < 0 || count > stream.Remaining() / 4) throw EReadError(SReadError);
    TPIDLManager& manager = PIDLManager();
    // All or nothing: what was read is freed when a later PIDL fails.
    std::vector<UniquePIDL> read;
    read.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        read.emplace_back(manager.LoadFromStream(stream));
    for (UniquePIDL& pidl : read)
        items_.push_back(std::move(pidl));
    return true;
}

bool TPIDLList::SaveToStream(TStream& stream) {
    stream.WriteValue<int32_t>(Count());
    TPIDLManager& manager = PIDLManager();
    for (int i = 0; i < Count(); ++i)
        manager.SaveToStream(stream, Get(i));
    return true;
}

// ---- TSharedPIDLList ----

PItemIDList TSharedPIDLList::Get(int index) const {
    CheckIndex(index, Count() - 1);
    return items_[size_t(index)];
}

int TSharedPIDLList::IndexOf(PCItemIDList pidl) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)] == pidl) return i;
    return -1;
}

int TSharedPIDLList::Add(PItemIDList pidl) {
    items_.push_back(pidl);
    return Count() - 1;
}

void TSharedPIDLList::Insert(int index, PItemIDList pidl) {
    CheckIndex(index, Count());
    items_.insert(items_.begin() + index, pidl);
}

void TSharedPIDLList::Put(int index, PItemIDList pidl) {
    CheckIndex(index, Count() - 1);
    items_[size_t(index)] = pidl;
}

void TSharedPIDLList::Delete(int index) {
    CheckIndex(index, Count() - 1);
    items_.erase(items_.begin() + index);
}

} // namespace ax
