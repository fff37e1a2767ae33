// The malloc family, defined here so that it replaces the C library's
// allocator in every program this library is linked into or preloaded into.
// The C library's own allocator stays behind it as the previous manager.
#include "memory/ProcessHeap.h"

#include "memory/HeapCorruption.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <malloc.h>
#include <new>
#include <sched.h>
#include <sys/single_threaded.h>
#include <unistd.h>

#define AX_EXPORT __attribute__((visibility("default")))

extern "C" {
void* __libc_malloc(size_t);
void __libc_free(void*);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void* __libc_calloc(size_t, size_t);
}

namespace ax::memory {
namespace {

// Lives forever: at exit, threads and exit handlers may still allocate.
template <class T> union NoDestroy {
    template <class... A> constexpr explicit NoDestroy(A&&... a) : value(static_cast<A&&>(a)...) {}
    ~NoDestroy() {}
    T value;
};

std::size_t PreviousUsableSize(void* p) {
    using Fn = std::size_t (*)(void*);
    static std::atomic<Fn> resolved{nullptr};
    Fn fn = resolved.load(std::memory_order_acquire);
    if (fn == nullptr) {
        // The C library's own answer; found behind ours in the lookup order.
        fn = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "malloc_usable_size"));
        if (fn == nullptr || fn == &malloc_usable_size) return 0;
        resolved.store(fn, std::memory_order_release);
    }
    return fn(p);
}

void* PreviousAligned(std::size_t align, std::size_t n) {
    return __libc_memalign(align, n);
}

void PoolAcquired();

constinit SystemPages g_pages;
constinit pthread_key_t g_exitKey = 0;
constinit std::atomic<int> g_hooks{0};

constinit NoDestroy<TMainMemManager>
    g_heap(&g_pages, MainOptions{PreviousManager{__libc_malloc, __libc_free, __libc_realloc,
                                                 PreviousAligned, PreviousUsableSize,
                                                 __libc_calloc},
                                 &__libc_single_threaded, true, PoolAcquired});

constinit thread_local ThreadContext t_thread __attribute__((tls_model("initial-exec")));

void ThreadEnds(void*) {
    g_heap.value.ThreadExit(t_thread);
}
void BeforeFork() {
    g_heap.value.LockForFork();
}
void AfterForkParent() {
    g_heap.value.UnlockAfterFork(false);
}
void AfterForkChild() {
    g_heap.value.UnlockAfterFork(true);
}

void InstallHooks() {
    int expected = 0;
    if (g_hooks.compare_exchange_strong(expected, 1)) {
        pthread_key_create(&g_exitKey, ThreadEnds);
        pthread_atfork(BeforeFork, AfterForkParent, AfterForkChild);
        g_hooks.store(2, std::memory_order_release);
        return;
    }
    while (g_hooks.load(std::memory_order_acquire) != 2)
        sched_yield();
}

// The exit step runs from the key's destructor, so the key must hold a value.
void PoolAcquired() {
    if (g_hooks.load(std::memory_order_acquire) != 2) InstallHooks();
    pthread_setspecific(g_exitKey, reinterpret_cast<void*>(1));
}

__attribute__((constructor(101))) void InstallAtLoad() {
    InstallHooks();
#ifndef NDEBUG
    // AX_HEAP_CHECK=1 walks the chunks and lists at every exchange, trim and
    // thread exit, and aborts with the first fault found.
    if (const char* check = getenv("AX_HEAP_CHECK"); check != nullptr && check[0] == '1')
        g_heap.value.SetHeapCheck(true);
#endif
}

bool IsPowerOfTwo(std::size_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

} // namespace

TMainMemManager& ProcessHeap() {
    return g_heap.value;
}

bool ProcessHeapOwns(const void* p) {
    return p != nullptr && g_heap.value.Classify(p) == Ownership::Used;
}

} // namespace ax::memory

using ax::memory::g_heap;
using ax::memory::t_thread;

extern "C" {

AX_EXPORT void* malloc(size_t n) noexcept {
    return g_heap.value.MultiGetMem(t_thread, n);
}

AX_EXPORT void free(void* p) noexcept {
    g_heap.value.MultiFreeMem(t_thread, p);
}

AX_EXPORT void* calloc(size_t count, size_t size) noexcept {
    return g_heap.value.MultiCallocMem(t_thread, count, size);
}

AX_EXPORT void* realloc(void* p, size_t n) noexcept {
    return g_heap.value.MultiReallocMem(t_thread, p, n);
}

AX_EXPORT void* reallocarray(void* p, size_t count, size_t size) noexcept {
    size_t n;
    if (__builtin_mul_overflow(count, size, &n)) {
        errno = ENOMEM;
        return nullptr;
    }
    return g_heap.value.MultiReallocMem(t_thread, p, n);
}

AX_EXPORT void* memalign(size_t align, size_t n) noexcept {
    // Like the C library: a non-power-of-two alignment is rounded up.
    if (!ax::memory::IsPowerOfTwo(align)) {
        if (align > (SIZE_MAX >> 1) + 1) {
            errno = EINVAL;
            return nullptr;
        }
        size_t a = 1;
        while (a < align)
            a <<= 1;
        align = a;
    }
    return g_heap.value.MultiAlignedMem(t_thread, align, n);
}

AX_EXPORT int posix_memalign(void** out, size_t align, size_t n) noexcept {
    if (!ax::memory::IsPowerOfTwo(align) || align % sizeof(void*) != 0) return EINVAL;
    const int saved = errno;
    void* p = g_heap.value.MultiAlignedMem(t_thread, align, n);
    if (p == nullptr) {
        errno = saved;
        return ENOMEM;
    }
    *out = p;
    return 0;
}

AX_EXPORT void* aligned_alloc(size_t align, size_t n) noexcept {
    if (!ax::memory::IsPowerOfTwo(align)) {
        errno = EINVAL;
        return nullptr;
    }
    return g_heap.value.MultiAlignedMem(t_thread, align, n);
}

AX_EXPORT void* valloc(size_t n) noexcept {
    return g_heap.value.MultiAlignedMem(t_thread, static_cast<size_t>(sysconf(_SC_PAGESIZE)), n);
}

AX_EXPORT void* pvalloc(size_t n) noexcept {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t rounded;
    if (__builtin_add_overflow(n, page - 1, &rounded)) {
        errno = ENOMEM;
        return nullptr;
    }
    rounded &= ~(page - 1);
    return g_heap.value.MultiAlignedMem(t_thread, page, rounded == 0 ? page : rounded);
}

AX_EXPORT size_t malloc_usable_size(void* p) noexcept {
    return g_heap.value.UsableSize(p);
}

} // extern "C"

// The C++ runtime's own deletes end in free; ours name themselves when they
// find a damaged block. (The aligned forms still end in free.)
AX_EXPORT void operator delete(void* p) noexcept {
    g_heap.value.MultiFreeMem<ax::memory::kDeleteEntry>(t_thread, p);
}

AX_EXPORT void operator delete(void* p, std::size_t) noexcept {
    g_heap.value.MultiFreeMem<ax::memory::kDeleteEntry>(t_thread, p);
}

AX_EXPORT void operator delete[](void* p) noexcept {
    g_heap.value.MultiFreeMem<ax::memory::kDeleteArrayEntry>(t_thread, p);
}

AX_EXPORT void operator delete[](void* p, std::size_t) noexcept {
    g_heap.value.MultiFreeMem<ax::memory::kDeleteArrayEntry>(t_thread, p);
}

// Lets a program that did not link us ask whether the preloaded heap served
// a pointer.
extern "C" AX_EXPORT int axmalloc_owns(const void* p) {
    return ax::memory::ProcessHeapOwns(p) ? 1 : 0;
}

// Lets a crash reporter, linked in or not, turn heap corruption into a report
// (see HeapCorruption.h); null goes back to the line on standard error.
extern "C" AX_EXPORT void axmalloc_set_corruption_handler(void (*handler)(const char*,
                                                                          const void*)) {
    ax::memory::SetCorruptionHandler(handler);
}
