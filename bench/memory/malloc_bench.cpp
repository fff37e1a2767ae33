// One allocator workload at one thread count, with plain malloc, free and
// realloc calls; the allocator is whatever the dynamic linker binds them to.
// Every block carries a pattern that is verified before release, so that an
// allocator handing out overlapping memory cannot win.
//
// usage: malloc_bench <workload> <threads> [seed]
// prints: <workload> <threads> <operations> <seconds> <peak RSS KB> <faults>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<long> g_faults{0};

// Stamps the first and last 8 bytes (each half of a smaller block).
void Stamp(void* p, std::size_t n, std::uint64_t tag) {
    auto* b = static_cast<unsigned char*>(p);
    const std::size_t edge = n < 16 ? n / 2 : 8;
    for (std::size_t i = 0; i < edge; ++i)
        b[i] = static_cast<unsigned char>(tag >> (i % 8 * 8));
    for (std::size_t i = 0; i < edge; ++i)
        b[n - 1 - i] = static_cast<unsigned char>(~tag >> (i % 8 * 8));
}

void Check(const void* p, std::size_t n, std::uint64_t tag) {
    const auto* b = static_cast<const unsigned char*>(p);
    const std::size_t edge = n < 16 ? n / 2 : 8;
    bool ok = true;
    for (std::size_t i = 0; i < edge; ++i)
        ok &= b[i] == static_cast<unsigned char>(tag >> (i % 8 * 8));
    for (std::size_t i = 0; i < edge; ++i)
        ok &= b[n - 1 - i] == static_cast<unsigned char>(~tag >> (i % 8 * 8));
    if (!ok) ++g_faults;
}

void* Allocate(std::size_t n) {
    void* p = std::malloc(n);
    if (p == nullptr) {
        std::fputs("out of memory\n", stderr);
        std::exit(2);
    }
    return p;
}

// The high-water mark of this process image (ru_maxrss would include the
// parent's before exec).
long PeakRssKb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::atol(line + 6);
    }
    std::fclose(f);
    return kb;
}

void RunThreads(int threads, const std::function<void(int)>& body) {
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i)
        pool.emplace_back(body, i);
    for (auto& t : pool)
        t.join();
}

// Small LIFO pairs: allocate and release at once.
long SmallLifo(int threads, unsigned seed) {
    constexpr long kOps = 16'000'000;
    RunThreads(threads, [&](int id) {
        std::mt19937 rng(seed + static_cast<unsigned>(id));
        std::size_t sizes[256];
        for (auto& s : sizes)
            s = 8 + rng() % 120;
        for (long i = 0; i < kOps; ++i) {
            const std::size_t n = sizes[i & 255];
            void* p = Allocate(n);
            Stamp(p, n, static_cast<std::uint64_t>(i));
            Check(p, n, static_cast<std::uint64_t>(i));
            std::free(p);
        }
    });
    return kOps * threads;
}

// A live set of 16 B to 4 KB blocks, replaced at random.
long RandomLiveSet(int threads, unsigned seed) {
    constexpr long kOps = 5'000'000;
    constexpr std::size_t kSlots = 4096;
    RunThreads(threads, [&](int id) {
        std::mt19937 rng(seed + static_cast<unsigned>(id));
        struct Slot {
            void* p = nullptr;
            std::size_t n = 0;
        };
        std::vector<Slot> slots(kSlots);
        for (long i = 0; i < kOps; ++i) {
            Slot& s = slots[rng() % kSlots];
            if (s.p != nullptr) {
                Check(s.p, s.n, reinterpret_cast<std::uintptr_t>(&s));
                std::free(s.p);
            }
            s.n = 16 + rng() % 4081;
            s.p = Allocate(s.n);
            Stamp(s.p, s.n, reinterpret_cast<std::uintptr_t>(&s));
        }
        for (Slot& s : slots)
            std::free(s.p);
    });
    return kOps * threads;
}

// Producer/consumer: thread i hands blocks to thread i+1 (a ring), which
// releases them.
long ProducerConsumer(int threads, unsigned seed) {
    constexpr long kOps = 2'000'000;
    constexpr std::size_t kRing = 1024;
    struct Queue {
        std::atomic<std::size_t> head{0};
        alignas(64) std::atomic<std::size_t> tail{0};
        alignas(64) void* items[kRing];
        std::size_t sizes[kRing];
    };
    std::vector<Queue> queues(static_cast<std::size_t>(threads));
    RunThreads(threads, [&](int id) {
        std::mt19937 rng(seed + static_cast<unsigned>(id));
        Queue& out = queues[static_cast<std::size_t>(id)];
        Queue& in = queues[static_cast<std::size_t>((id + threads - 1) % threads)];
        long produced = 0;
        long consumed = 0;
        while (produced < kOps || consumed < kOps) {
            for (int b = 0; b < 64 && produced < kOps; ++b) {
                const std::size_t t = out.tail.load(std::memory_order_relaxed);
                if (t - out.head.load(std::memory_order_acquire) == kRing) break;
                const std::size_t n = 16 + rng() % 500;
                void* p = Allocate(n);
                Stamp(p, n, n);
                out.items[t % kRing] = p;
                out.sizes[t % kRing] = n;
                out.tail.store(t + 1, std::memory_order_release);
                ++produced;
            }
            for (int b = 0; b < 64 && consumed < kOps; ++b) {
                const std::size_t h = in.head.load(std::memory_order_relaxed);
                if (h == in.tail.load(std::memory_order_acquire)) break;
                void* p = in.items[h % kRing];
                const std::size_t n = in.sizes[h % kRing];
                in.head.store(h + 1, std::memory_order_release);
                Check(p, n, n);
                std::free(p);
                ++consumed;
            }
        }
    });
    return kOps * threads;
}

// Thread churn: short-lived threads, each allocating and releasing a few
// hundred blocks.
long ThreadChurn(int threads, unsigned seed) {
    constexpr int kWaves = 1500;
    constexpr int kBlocks = 500;
    for (int wave = 0; wave < kWaves; ++wave) {
        RunThreads(threads, [&](int id) {
            std::mt19937 rng(seed + static_cast<unsigned>(wave * 64 + id));
            void* blocks[kBlocks];
            std::size_t sizes[kBlocks];
            for (int i = 0; i < kBlocks; ++i) {
                sizes[i] = 16 + rng() % 1000;
                blocks[i] = Allocate(sizes[i]);
                Stamp(blocks[i], sizes[i], static_cast<std::uint64_t>(i));
            }
            for (int i = 0; i < kBlocks; ++i) {
                Check(blocks[i], sizes[i], static_cast<std::uint64_t>(i));
                std::free(blocks[i]);
            }
        });
    }
    return static_cast<long>(kWaves) * kBlocks * threads;
}

// Realloc growth: strings appended to piece by piece.
long ReallocGrowth(int threads, unsigned seed) {
    constexpr long kStrings = 8000;
    std::atomic<long> ops{0};
    RunThreads(threads, [&](int id) {
        std::mt19937 rng(seed + static_cast<unsigned>(id));
        long mine = 0;
        for (long s = 0; s < kStrings; ++s) {
            char* text = nullptr;
            std::size_t length = 0;
            const std::size_t limit = 1000 + rng() % 60000;
            while (length < limit) {
                const std::size_t piece = 1 + rng() % 64;
                auto* grown = static_cast<char*>(std::realloc(text, length + piece));
                if (grown == nullptr) std::exit(2);
                text = grown;
                std::memset(text + length, static_cast<int>('a' + (length % 26)), piece);
                length += piece;
                ++mine;
            }
            // The first and the last piece survived every move.
            if (text[0] != 'a' || text[length - 1] == 0) ++g_faults;
            std::free(text);
        }
        ops += mine;
    });
    return ops.load();
}

// Large blocks of 64 KB to 16 MB.
long LargeBlocks(int threads, unsigned seed) {
    constexpr long kOps = 100'000;
    RunThreads(threads, [&](int id) {
        std::mt19937 rng(seed + static_cast<unsigned>(id));
        struct Slot {
            void* p = nullptr;
            std::size_t n = 0;
        };
        Slot slots[8];
        for (long i = 0; i < kOps; ++i) {
            Slot& s = slots[rng() % 8];
            if (s.p != nullptr) {
                Check(s.p, s.n, s.n);
                std::free(s.p);
            }
            // Log-uniform between 64 KB and 16 MB.
            s.n = std::size_t{65536} << (rng() % 8);
            s.n += rng() % s.n;
            s.p = Allocate(s.n);
            Stamp(s.p, s.n, s.n);
        }
        for (Slot& s : slots)
            std::free(s.p);
    });
    return kOps * threads;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(
            "usage: malloc_bench <lifo|live|prodcons|churn|realloc|large> <threads> [seed]\n",
            stderr);
        return 1;
    }
    const std::string workload = argv[1];
    const int threads = std::atoi(argv[2]);
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1;
    const auto start = std::chrono::steady_clock::now();
    long ops;
    if (workload == "lifo")
        ops = SmallLifo(threads, seed);
    else if (workload == "live")
        ops = RandomLiveSet(threads, seed);
    else if (workload == "prodcons")
        ops = ProducerConsumer(threads, seed);
    else if (workload == "churn")
        ops = ThreadChurn(threads, seed);
    else if (workload == "realloc")
        ops = ReallocGrowth(threads, seed);
    else if (workload == "large")
        ops = LargeBlocks(threads, seed);
    else {
        std::fprintf(stderr, "unknown workload %s\n", workload.c_str());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %d %ld %.6f %ld %ld\n", workload.c_str(), threads, ops, seconds, PeakRssKb(),
                g_faults.load());
    return g_faults.load() == 0 ? 0 : 3;
}
