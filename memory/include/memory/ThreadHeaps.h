// The process heap built on the block allocator: one main pool that owns
// every chunk, and one pool per thread that trades batches of free blocks
// with it, so that ordinary allocations take no lock.
#pragma once

#include "memory/BlockHeap.h"

#include <cstddef>
#include <cstdint>
#include <pthread.h>

namespace ax::memory {

// The allocator that was there before us: it serves what we do not (blocks
// it handed out, requests above the largest class, very large alignments).
struct PreviousManager {
    void* (*allocate)(std::size_t);
    void (*release)(void*);
    void* (*resize)(void*, std::size_t);
    void* (*allocateAligned)(std::size_t align, std::size_t size);
    std::size_t (*usableSize)(void*);
    // calloc of the previous manager; when null, allocate and clear.
    void* (*allocateZeroed)(std::size_t count, std::size_t size) = nullptr;
};

class TThreadMemManager;

// What one thread knows about its pool. A retired thread has run its exit
// step and is served by the main pool under its lock from then on.
struct ThreadContext {
    TThreadMemManager* pool = nullptr;
    std::uint32_t slot = 0;
    bool retired = false;
};

class TMainMemManager;

class TThreadMemManager final : public TBlockManager {
public:
    explicit TThreadMemManager(TMainMemManager& main);
    ~TThreadMemManager() override;

    bool HasFree(int k) noexcept override;
    bool GetMoreMemory(std::size_t size) noexcept override;
    void ProvideBlocks(int k, std::int32_t& n) noexcept override { n = Count(k); }

    // Gives back the inner pages of the pool's dirty free blocks of
    // kMinReleaseClass and above, but for the first keep bytes of them, where
    // resident; answers the bytes given back.
    std::size_t ReleaseLarge(std::size_t keep) noexcept;
    static constexpr std::size_t kIdleLargeKept = std::size_t{1} << 20;
    // Free blocks of kMinReleaseClass and above a pool holds before, at its
    // next exchange, it gives back the pages of those beyond half of it.
    static constexpr std::size_t kLargeLimit = std::size_t{16} << 20;

    // Guarded by the pool-table lock.
    bool inUse = false;
    // Set by the owning thread during its exit step.
    bool leaving = false;

protected:
    void OnOverLimit() noexcept override { GetMoreMemory(0); }
    void LimitLarge() noexcept;
    void OnHugeFree(BlockHeader* h) noexcept override;

private:
    TMainMemManager& main_;
    // Grows while giving back brings little (blocks barely resident).
    std::size_t largeLimit_ = kLargeLimit;
};

struct MainOptions {
    PreviousManager previous;
    // Nonzero while the process has a single thread; the main pool is then
    // used without its lock.
    const char* singleThreaded;
    // A release or resize of a pointer into our chunks that is not a used
    // block with a sound header (a second release, a pointer into a block, a
    // header written into) is reported as heap corruption when set (see
    // HeapCorruption.h), and refused and ignored otherwise.
    bool reportCorruption;
    // Called on the thread, outside every lock, once it has taken a pool.
    void (*poolAcquired)();
    // Checks the chunks, the main pool's lists and the calling thread's own
    // lists at every exchange, trim and thread exit, and aborts with a
    // message on the first fault (a debugging aid: it walks every list).
    bool checkHeap = false;
};

// The entry points that release, as a report of heap corruption names them.
inline constexpr char kFreeEntry[] = "free";
inline constexpr char kDeleteEntry[] = "operator delete";
inline constexpr char kDeleteArrayEntry[] = "operator delete[]";

class TMainMemManager final : public TMemManager {
public:
    constexpr TMainMemManager(PageSource* pages, const MainOptions& options)
        : TMemManager(pages), options_(options) {}
    ~TMainMemManager() override;

    void* MultiGetMem(ThreadContext& t, std::size_t n) noexcept {
        if (TThreadMemManager* pool = t.pool; pool != nullptr) [[likely]] {
            if (void* p = pool->TryGetMem<false>(n)) [[likely]]
                return p;
        } else if (*options_.singleThreaded) {
            // No lock while the process has one thread.
            if (void* p = TryGetMem<true>(n)) [[likely]]
                return p;
        }
        return SlowGetMem(t, n);
    }
    // kFunction names the entry point in a report of heap corruption; as a
    // template argument it is not an argument the fast path must hold.
    template <const char* kFunction = kFreeEntry>
    void MultiFreeMem(ThreadContext& t, void* p) noexcept {
        if (TThreadMemManager* pool = t.pool; pool != nullptr) [[likely]] {
            if (pool->FreeMemTo<false>(p) == 0) [[likely]]
                return;
        } else if (*options_.singleThreaded) {
            if (FreeMemTo<true>(p) == 0) [[likely]] {
                ReleasedToMain(std::size_t{1} << HeaderOf(p)->cls);
                return;
            }
        }
        SlowFreeMem<kFunction>(t, p);
    }
    void* MultiReallocMem(ThreadContext& t, void* p, std::size_t n) noexcept;
    // count x size bytes that read as zero; NULL with ENOMEM on overflow.
    void* MultiCallocMem(ThreadContext& t, std::size_t count, std::size_t size) noexcept;
    void* MultiAlignedMem(ThreadContext& t, std::size_t align, std::size_t n) noexcept;
    std::size_t UsableSize(void* p) noexcept;

    // The exit step of a thread: its pool returns its surplus, is refilled to
    // Low and becomes free for the next new thread.
    void ThreadExit(ThreadContext& t) noexcept;

    // The batch exchange of a thread pool, under the main-pool lock; own is
    // the pool the batch came from (for the heap check), if any.
    void ExchangeWithMain(TransferBatch& b, const TThreadMemManager* own = nullptr) noexcept;

    // Runs the heap check over the main pool and own (may be null), under
    // the main-pool lock unless the process is single-threaded; aborts with
    // the fault. For the checkHeap option and for tests.
    void CheckNow(const TThreadMemManager* own) noexcept;

    // Switches the checkHeap option; before any thread but the caller runs.
    void SetHeapCheck(bool on) { options_.checkHeap = on; }

    // fork(): both locks are held across it and released on both sides.
    void LockForFork() noexcept;
    void UnlockAfterFork(bool child) noexcept;

    // Entries in use of the pool table (read without the lock).
    std::uint32_t PoolCount() const { return count_.load(std::memory_order_acquire); }
    std::uint32_t PoolCapacity() const { return capacity_; }
    // A pool of the table, slot 1..PoolCount(); for inspection when no thread
    // allocates.
    TThreadMemManager* Pool(std::uint32_t slot) const { return table_[slot]; }

protected:
    void BeforeTrim() noexcept override;

private:
    friend class TThreadMemManager;

    void* SlowGetMem(ThreadContext& t, std::size_t n) noexcept;
    template <const char* kFunction> void SlowFreeMem(ThreadContext& t, void* p) noexcept;
    void SlowFreeMem(ThreadContext& t, void* p, const char* function) noexcept;
    TThreadMemManager* AcquireThreadPool(ThreadContext& t) noexcept;
    void ReportInvalid(const char* function, void* p) noexcept;
    void CheckLocked(const TThreadMemManager* own) noexcept;
    // Counts a release into the main pool (for the trims).
    void ReleasedToMain(std::size_t bytes) noexcept {
        NoteReleased(bytes);
        if (options_.checkHeap) [[unlikely]]
            CheckNowAndThen();
    }
    void CheckNowAndThen() noexcept;
    template <class F> auto Route(ThreadContext& t, F&& f) noexcept;

    MainOptions options_;
    pthread_mutex_t mainLock_ = PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP;
    pthread_mutex_t tableLock_ = PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP;
    TThreadMemManager** table_ = nullptr;
    std::uint32_t capacity_ = 0;
    std::atomic<std::uint32_t> count_{0};
};

} // namespace ax::memory
