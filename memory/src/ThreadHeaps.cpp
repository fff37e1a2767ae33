// The process heap: thread pools that serve allocations without a lock and
// trade batches with the main pool, the main pool's slow paths under its
// lock, a pool handed back when its thread ends, periodic checks, and fork
// safety.
#include "memory/ThreadHeaps.h"

#include "memory/HeapChecker.h"
#include "memory/HeapCorruption.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

namespace ax::memory {

namespace {

constexpr std::size_t PoolBytes() {
    return (sizeof(TThreadMemManager) + 4095) & ~std::size_t{4095};
}

class MutexGuard {
public:
    explicit MutexGuard(pthread_mutex_t& m) : m_(m) { pthread_mutex_lock(&m_); }
    ~MutexGuard() { pthread_mutex_unlock(&m_); }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

private:
    pthread_mutex_t& m_;
    // A report of heap corruption must not wait for this lock.
    HeapLockNote note_;
};

} // namespace

// ---------------------------------------------------------------- thread pool

TThreadMemManager::TThreadMemManager(TMainMemManager& main)
    : TBlockManager(&main.Chunks(), true), main_(main) {}

TThreadMemManager::~TThreadMemManager() {
    TransferBatch b;
    for (int c = kMinClass; c <= kMaxClass; ++c)
        b.e[c].n = -Count(c);
    TakeBatch(b);
    main_.ExchangeWithMain(b, this);
}

bool TThreadMemManager::HasFree(int k) noexcept {
    if (Class(k).head != kEndOfList) return true;
    // Even when the main pool has none of the class: it splits under its
    // lock, where a trim may be walking the chunks, rather than this pool
    // splitting one of its own blocks behind the trim's back.
    GetMoreMemory(std::size_t{1} << k);
    return Class(k).head != kEndOfList;
}

bool TThreadMemManager::GetMoreMemory(std::size_t size) noexcept {
    LimitLarge();
    const int k = SizeClass(size);
    TransferBatch b;
    for (int c = kMinClass; c <= kMaxClass; ++c) {
        const std::int32_t over = Count(c) - Class(c).target;
        if (over > 0) b.e[c].n = -over;
    }
    TakeBatch(b);
    for (int c = kMinClass; c <= kMaxClass; ++c) {
        const std::int32_t under = Class(c).low - Count(c);
        if (under > 0) b.e[c].n = -under;
    }
    if (b.e[k].n == 0) b.e[k].n = -1;
    main_.ExchangeWithMain(b, this);
    PutBatch(b);
    return Class(k).head != kEndOfList;
}

std::size_t TThreadMemManager::ReleaseLarge(std::size_t keep) noexcept {
    std::size_t kept = 0;
    std::size_t released = 0;
    for (int k = kMinReleaseClass; k <= kMaxClass; ++k) {
        for (std::uintptr_t b = Class(k).head; b != kEndOfList; b = NextFree(AsBlock(b))) {
            if (AsBlock(b)->used != kDirty) continue;
            kept += std::size_t{1} << k;
            if (kept > keep) released += ReleaseInnerPages(*main_.Pages(), AsBlock(b));
        }
    }
    return released;
}

void TThreadMemManager::LimitLarge() noexcept {
    std::size_t large = 0;
    for (int k = kMinReleaseClass; k <= kMaxClass; ++k)
        large += static_cast<std::size_t>(Count(k)) << k;
    if (large <= largeLimit_) return;
    if (ReleaseLarge(kLargeLimit / 2) < large / 4) {
        // Its large blocks are barely resident or already given back: look
        // again only when the pool holds twice as much.
        largeLimit_ = std::min(largeLimit_ * 2, TMemManager::kMaxTrimStep);
    } else {
        largeLimit_ = kLargeLimit;
    }
}

void TThreadMemManager::OnHugeFree(BlockHeader* h) noexcept {
    if (h->used == kDirty) ReleaseInnerPages(*main_.Pages(), h);
}

// ---------------------------------------------------------------- main pool

TMainMemManager::~TMainMemManager() {
    // A trim would look at the pools being destroyed.
    StopTrims();
    const std::uint32_t count = count_.load(std::memory_order_relaxed);
    for (std::uint32_t i = 1; i <= count; ++i) {
        TThreadMemManager* pool = table_[i];
        pool->~TThreadMemManager();
        Pages()->Unmap(pool, PoolBytes());
    }
    // The table itself lives in a chunk, released with the chunks.
}

template <class F> auto TMainMemManager::Route(ThreadContext& t, F&& f) noexcept {
    if (t.pool != nullptr) return f(static_cast<TBlockManager&>(*t.pool));
    if (*options_.singleThreaded) return f(static_cast<TBlockManager&>(*this));
    if (!t.retired && AcquireThreadPool(t) != nullptr)
        return f(static_cast<TBlockManager&>(*t.pool));
    MutexGuard lock(mainLock_);
    return f(static_cast<TBlockManager&>(*this));
}

void* TMainMemManager::SlowGetMem(ThreadContext& t, std::size_t n) noexcept {
    if (n > kMaxRequest) return options_.previous.allocate(n);
    void* p = Route(t, [n](TBlockManager& m) { return m.GetMem(n); });
    if (p == nullptr) errno = ENOMEM;
    return p;
}

template <const char* kFunction>
void TMainMemManager::SlowFreeMem(ThreadContext& t, void* p) noexcept {
    SlowFreeMem(t, p, kFunction);
}
template void TMainMemManager::SlowFreeMem<kFreeEntry>(ThreadContext&, void*) noexcept;
template void TMainMemManager::SlowFreeMem<kDeleteEntry>(ThreadContext&, void*) noexcept;
template void TMainMemManager::SlowFreeMem<kDeleteArrayEntry>(ThreadContext&, void*) noexcept;

void TMainMemManager::SlowFreeMem(ThreadContext& t, void* p, const char* function) noexcept {
    if (p == nullptr) return;
    switch (Classify(p)) {
    case Ownership::Foreign:
        options_.previous.release(p);
        return;
    case Ownership::Invalid:
        ReportInvalid(function, p);
        return;
    case Ownership::Used: {
        const std::size_t bytes = std::size_t{1} << HeaderOf(p)->cls;
        Route(t, [&](TBlockManager& m) {
            m.ReleaseUsed(HeaderOf(p));
            if (&m == static_cast<TBlockManager*>(this)) ReleasedToMain(bytes);
        });
        return;
    }
    }
}

void* TMainMemManager::MultiCallocMem(ThreadContext& t, std::size_t count,
                                      std::size_t size) noexcept {
    std::size_t n;
    if (__builtin_mul_overflow(count, size, &n)) {
        errno = ENOMEM;
        return nullptr;
    }
    if (n > kMaxRequest) {
        if (options_.previous.allocateZeroed != nullptr)
            return options_.previous.allocateZeroed(count, size);
        void* p = options_.previous.allocate(n);
        if (p != nullptr) std::memset(p, 0, n);
        return p;
    }
    void* p = Route(t, [n](TBlockManager& m) { return m.GetZeroedMem(n); });
    if (p == nullptr) errno = ENOMEM;
    return p;
}

void* TMainMemManager::MultiReallocMem(ThreadContext& t, void* p, std::size_t n) noexcept {
    if (p == nullptr) return MultiGetMem(t, n);
    switch (Classify(p)) {
    case Ownership::Invalid:
        ReportInvalid("realloc", p);
        errno = EINVAL;
        return nullptr;
    case Ownership::Used: {
        if (n <= kMaxRequest) {
            void* q = Route(t, [p, n](TBlockManager& m) { return m.ReallocMem(p, n); });
            if (q == nullptr) errno = ENOMEM;
            return q;
        }
        void* q = options_.previous.allocate(n);
        if (q == nullptr) return nullptr;
        const BlockHeader* h = HeaderOf(p);
        std::memcpy(q, p, std::min(UsedSize(h), std::size_t{1} << h->cls) - kHeaderSize);
        MultiFreeMem(t, p);
        return q;
    }
    case Ownership::Foreign:
        break;
    }
    if (n > kMaxRequest) return options_.previous.resize(p, n);
    void* q = MultiGetMem(t, n);
    if (q == nullptr) return nullptr;
    // Copy no more than the old block holds.
    std::memcpy(q, p, std::min(n, options_.previous.usableSize(p)));
    options_.previous.release(p);
    return q;
}

void* TMainMemManager::MultiAlignedMem(ThreadContext& t, std::size_t align,
                                       std::size_t n) noexcept {
    if (align <= 32) return MultiGetMem(t, n);
    if (align <= kMaxBlockAlign && n <= kMaxRequest) {
        // A block of class log2(align) or more starts on an align boundary.
        return MultiGetMem(t, std::max(n, align - kHeaderSize));
    }
    return options_.previous.allocateAligned(align, n);
}

std::size_t TMainMemManager::UsableSize(void* p) noexcept {
    if (p == nullptr) return 0;
    switch (Classify(p)) {
    case Ownership::Used: {
        BlockHeader* h = HeaderOf(p);
        const std::size_t capacity = std::size_t{1} << h->cls;
        // The caller may now use every byte; a later move must keep them all.
        SetUsedSize(h, capacity);
        return capacity - kHeaderSize;
    }
    case Ownership::Invalid:
        return 0;
    case Ownership::Foreign:
        break;
    }
    return options_.previous.usableSize(p);
}

TThreadMemManager* TMainMemManager::AcquireThreadPool(ThreadContext& t) noexcept {
    TThreadMemManager* pool = nullptr;
    std::uint32_t slot = 0;
    {
        MutexGuard table(tableLock_);
        const std::uint32_t count = count_.load(std::memory_order_relaxed);
        for (std::uint32_t i = 1; i <= count; ++i) {
            if (!table_[i]->inUse) {
                pool = table_[i];
                slot = i;
                break;
            }
        }
        if (pool == nullptr) {
            slot = count + 1;
            if (slot >= capacity_) {
                const std::uint32_t grown = capacity_ == 0 ? 100 : capacity_ * 2;
                MutexGuard main(mainLock_);
                auto** bigger =
                    static_cast<TThreadMemManager**>(GetMem(grown * sizeof(TThreadMemManager*)));
                if (bigger == nullptr) return nullptr;
                std::fill_n(bigger, grown, nullptr);
                if (table_ != nullptr) {
                    std::copy_n(table_, capacity_, bigger);
                    FreeMem(table_);
                }
                table_ = bigger;
                capacity_ = grown;
            }
            void* mem = Pages()->Map(PoolBytes(), 64);
            if (mem == nullptr) return nullptr;
            pool = new (mem) TThreadMemManager(*this);
            table_[slot] = pool;
            count_.store(slot, std::memory_order_release);
        }
        pool->inUse = true;
    }
    t.pool = pool;
    t.slot = slot;
    if (options_.poolAcquired != nullptr) options_.poolAcquired();
    return pool;
}

void TMainMemManager::ThreadExit(ThreadContext& t) noexcept {
    if (TThreadMemManager* pool = t.pool) {
        // The exit step's exchange also trims if the main pool grew.
        pool->leaving = true;
        pool->GetMoreMemory(0);
        pool->leaving = false;
        // An idle pool keeps few large pages to itself.
        pool->ReleaseLarge(TThreadMemManager::kIdleLargeKept);
        if (options_.checkHeap) [[unlikely]]
            CheckNow(pool);
        MutexGuard table(tableLock_);
        pool->inUse = false;
    }
    // From now on this thread must not touch the pool: another thread may
    // take it at any moment.
    t.pool = nullptr;
    t.slot = 0;
    t.retired = true;
}

void TMainMemManager::ExchangeWithMain(TransferBatch& b, const TThreadMemManager* own) noexcept {
    std::size_t handed = 0;
    for (int c = kMinClass; c <= kMaxClass; ++c) {
        if (b.e[c].n > 0) handed += static_cast<std::size_t>(b.e[c].n) << c;
    }
    MutexGuard main(mainLock_);
    PutBatch(b);
    TakeBatch(b);
    if (handed != 0)
        NoteReleased(handed);
    else
        NoteLevel();
    if (own != nullptr && own->leaving) TrimIfGrown();
    if (options_.checkHeap) [[unlikely]]
        CheckLocked(own);
}

void TMainMemManager::BeforeTrim() noexcept {
    // Pools of exited threads give everything back, so that the few blocks
    // each keeps do not hold whole chunks. The pool-table lock comes first in
    // the lock order and the main-pool lock may be held here: only try it.
    if (pthread_mutex_trylock(&tableLock_) != 0) return;
    const std::uint32_t count = count_.load(std::memory_order_relaxed);
    for (std::uint32_t i = 1; i <= count; ++i) {
        TThreadMemManager* pool = table_[i];
        if (pool->inUse) continue;
        TransferBatch b;
        for (int c = kMinClass; c <= kMaxClass; ++c)
            b.e[c].n = -pool->Count(c);
        pool->TakeBatch(b);
        PutBatch(b);
    }
    pthread_mutex_unlock(&tableLock_);
}

void TMainMemManager::CheckNowAndThen() noexcept {
    // Single-threaded programs never exchange: look now and then.
    static thread_local unsigned calls = 0;
    if (++calls % 4096 == 0) CheckLocked(nullptr);
}

void TMainMemManager::CheckNow(const TThreadMemManager* own) noexcept {
    if (*options_.singleThreaded) {
        CheckLocked(own);
        return;
    }
    MutexGuard main(mainLock_);
    CheckLocked(own);
}

void TMainMemManager::CheckLocked(const TThreadMemManager* own) noexcept {
    const TBlockManager* pools[1] = {own};
    const HeapCheckScope scope{this, pools, own != nullptr ? 1u : 0u, false};
    char fault[200];
    if (CheckHeap(scope, fault, sizeof fault)) return;
    static const char prefix[] = "memory: heap check failed ";
    [[maybe_unused]] auto w1 = write(2, prefix, sizeof prefix - 1);
    [[maybe_unused]] auto w2 = write(2, fault, std::strlen(fault));
    [[maybe_unused]] auto w3 = write(2, "\n", 1);
    std::abort();
}

void TMainMemManager::LockForFork() noexcept {
    pthread_mutex_lock(&tableLock_);
    pthread_mutex_lock(&mainLock_);
}

void TMainMemManager::UnlockAfterFork(bool child) noexcept {
    if (child) {
        // The child has one thread; the locks are simply fresh again. The pools
        // of the threads that did not come along stay marked in use: one of
        // them may have been caught in the middle of a list update.
        pthread_mutex_init(&mainLock_, nullptr);
        pthread_mutex_init(&tableLock_, nullptr);
        return;
    }
    pthread_mutex_unlock(&mainLock_);
    pthread_mutex_unlock(&tableLock_);
}

void TMainMemManager::ReportInvalid(const char* function, void* p) noexcept {
    if (options_.reportCorruption) ReportCorruption(function, p);
}

} // namespace ax::memory
