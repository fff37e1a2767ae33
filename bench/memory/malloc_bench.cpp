// One allocator workload at one thread count, with plain malloc, free and
// realloc calls; the allocator is whatever the dynamic linker binds them to.
// Every block carries a pattern that is verified before release, so that an
// allocator handing out overlapping memory cannot win.
//
// usage: malloc_bench <workload> <threads> [seed]
// prints: <workload> <threads> <operations> <seconds> <peak RSS KB> <faults>
//         <RSS KB at start> <RSS KB at end>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
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

// A field of /proc/self/status in KB: VmHWM is the high-water mark of this
// process image (ru_maxrss would include the parent's before exec), VmRSS
// the resident size now.
long StatusKb(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return -1;
    char line[256];
    long kb = -1;
    const std::size_t len = std::strlen(field);
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, field, len) == 0) kb = std::atol(line + len);
    }
    std::fclose(f);
    return kb;
}
long PeakRssKb() {
    return StatusKb("VmHWM:");
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


// In the style of xmalloc-test: an asymmetric server, where half the threads
// only allocate and the other half only release what they are handed. Blocks
// of 8-128 B travel in batches of 100 through one shared queue.
long XmallocStyle(int threads, unsigned seed) {
    constexpr long kObjects = 4'000'000; // per producer
    constexpr int kBatch = 100;
    struct Batch {
        void* p[kBatch];
        std::uint32_t n[kBatch];
    };
    const int producers = std::max(1, threads / 2);
    const int consumers = threads - producers;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Batch*> queue;
    int producing = producers;
    // At most this many batches wait, so the live set stays bounded.
    constexpr std::size_t kMaxQueued = 64;
    auto produce = [&](std::mt19937& rng, Batch* b) {
        for (int i = 0; i < kBatch; ++i) {
            const std::uint32_t n = 8 + rng() % 121;
            b->p[i] = Allocate(n);
            b->n[i] = n;
            Stamp(b->p[i], n, n);
        }
    };
    auto consume = [](Batch* b) {
        for (int i = 0; i < kBatch; ++i) {
            Check(b->p[i], b->n[i], b->n[i]);
            std::free(b->p[i]);
        }
    };
    if (consumers == 0) {
        // One thread: it hands batches to itself.
        std::mt19937 rng(seed);
        static Batch b;
        for (long done = 0; done < kObjects; done += kBatch) {
            produce(rng, &b);
            consume(&b);
        }
        return kObjects;
    }
    std::vector<Batch> storage(kMaxQueued + static_cast<std::size_t>(threads) + 1);
    std::vector<Batch*> spare;
    for (Batch& b : storage)
        spare.push_back(&b);
    RunThreads(threads, [&](int id) {
        if (id < producers) {
            std::mt19937 rng(seed + static_cast<unsigned>(id));
            for (long done = 0; done < kObjects; done += kBatch) {
                Batch* b;
                {
                    std::unique_lock<std::mutex> l(lock);
                    changed.wait(l, [&] { return queue.size() < kMaxQueued && !spare.empty(); });
                    b = spare.back();
                    spare.pop_back();
                }
                produce(rng, b);
                {
                    std::lock_guard<std::mutex> l(lock);
                    queue.push_back(b);
                }
                changed.notify_all();
            }
            std::lock_guard<std::mutex> l(lock);
            --producing;
            changed.notify_all();
            return;
        }
        for (;;) {
            Batch* b;
            {
                std::unique_lock<std::mutex> l(lock);
                changed.wait(l, [&] { return !queue.empty() || producing == 0; });
                if (queue.empty()) return;
                b = queue.front();
                queue.pop_front();
            }
            consume(b);
            {
                std::lock_guard<std::mutex> l(lock);
                spare.push_back(b);
            }
            changed.notify_all();
        }
    });
    return kObjects * producers;
}

// In the style of larson: a server whose threads each keep a set of blocks
// of 8-1000 B and replace one at random per operation; after a round the
// thread ends and a new thread takes over its set, so most blocks are
// released by a thread that did not allocate them.
long LarsonStyle(int threads, unsigned seed) {
    constexpr int kSlots = 1000;
    constexpr long kPerRound = 200'000;
    constexpr int kRounds = 10;
    struct Slot {
        void* p = nullptr;
        std::uint32_t n = 0;
    };
    std::vector<std::vector<Slot>> sets(static_cast<std::size_t>(threads),
                                        std::vector<Slot>(kSlots));
    for (auto& set : sets) {
        for (Slot& s : set) {
            s.n = 8 + static_cast<std::uint32_t>(std::rand() % 993);
            s.p = Allocate(s.n);
            Stamp(s.p, s.n, s.n);
        }
    }
    for (int round = 0; round < kRounds; ++round) {
        RunThreads(threads, [&](int id) {
            std::mt19937 rng(seed + static_cast<unsigned>(round * 64 + id));
            auto& set = sets[static_cast<std::size_t>(id)];
            for (long i = 0; i < kPerRound; ++i) {
                Slot& s = set[rng() % kSlots];
                Check(s.p, s.n, s.n);
                std::free(s.p);
                s.n = 8 + rng() % 993;
                s.p = Allocate(s.n);
                Stamp(s.p, s.n, s.n);
            }
        });
    }
    for (auto& set : sets)
        for (Slot& s : set)
            std::free(s.p);
    return kPerRound * kRounds * threads;
}

// In the style of cache-scratch (passive false sharing): one thread
// allocates a small block for every thread, side by side; each thread
// releases the one it is given, then repeatedly allocates a block of the
// same size, writes it many times and releases it. An allocator that hands
// the thread back the released block makes neighbouring threads write the
// same cache line.
long CacheScratch(int threads, unsigned) {
    constexpr long kIterations = 20'000;
    constexpr int kWrites = 500;
    constexpr std::size_t kSize = 8;
    std::vector<void*> given(static_cast<std::size_t>(threads));
    for (void*& p : given)
        p = Allocate(kSize);
    RunThreads(threads, [&](int id) {
        std::free(given[static_cast<std::size_t>(id)]);
        for (long i = 0; i < kIterations; ++i) {
            auto* p = static_cast<volatile char*>(Allocate(kSize));
            for (int w = 0; w < kWrites; ++w)
                for (std::size_t j = 0; j < kSize; ++j)
                    p[j] = static_cast<char>(p[j] + 1);
            std::free(const_cast<char*>(p));
        }
    });
    return kIterations * threads;
}

// In the style of cache-thrash (active false sharing): every thread
// repeatedly allocates a small block, writes it many times and releases it.
// An allocator that places the blocks of different threads in one cache line
// makes them fight over it.
long CacheThrash(int threads, unsigned) {
    constexpr long kIterations = 20'000;
    constexpr int kWrites = 500;
    constexpr std::size_t kSize = 8;
    RunThreads(threads, [&](int) {
        for (long i = 0; i < kIterations; ++i) {
            auto* p = static_cast<volatile char*>(Allocate(kSize));
            for (int w = 0; w < kWrites; ++w)
                for (std::size_t j = 0; j < kSize; ++j)
                    p[j] = static_cast<char>(p[j] + 1);
            std::free(const_cast<char*>(p));
        }
    });
    return kIterations * threads;
}

// Memory given back: 1 GB allocated and released three times, each time in
// blocks of a different size, spread over the threads. The figures that
// matter are the peak and the resident size at the end.
long GiveBack(int threads, unsigned) {
    constexpr std::size_t kTotal = std::size_t{1} << 30;
    constexpr std::size_t kSizes[] = {100, 3000, 200'000};
    for (std::size_t size : kSizes) {
        const std::size_t count = kTotal / size / static_cast<std::size_t>(threads);
        std::vector<std::vector<void*>> held(static_cast<std::size_t>(threads));
        RunThreads(threads, [&](int id) {
            auto& mine = held[static_cast<std::size_t>(id)];
            mine.reserve(count);
            for (std::size_t i = 0; i < count; ++i) {
                auto* p = static_cast<char*>(Allocate(size));
                // Touch every page, as a program filling its buffers would.
                for (std::size_t o = 0; o < size; o += 4096)
                    p[o] = 1;
                p[size - 1] = 1;
                mine.push_back(p);
            }
        });
        RunThreads(threads, [&](int id) {
            for (void* p : held[static_cast<std::size_t>(id)])
                std::free(p);
        });
    }
    return static_cast<long>(3 * (kTotal >> 20));
}

// calloc of fresh memory: 200 MB that the program never writes, still held
// when the resident size at the end is read.
long CallocFresh(int, unsigned) {
    constexpr std::size_t kSize = 200u << 20;
    static void* held = std::calloc(1, kSize);
    if (held == nullptr) std::exit(2);
    // Read one byte so the call cannot be dropped.
    if (static_cast<volatile char*>(held)[kSize / 2] != 0) ++g_faults;
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(
            "usage: malloc_bench <lifo|live|prodcons|churn|realloc|large|xmalloc|larson|"
            "cscratch|cthrash|giveback|calloc> <threads> [seed]\n",
            stderr);
        return 1;
    }
    const std::string workload = argv[1];
    const int threads = std::atoi(argv[2]);
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1;
    const long startRss = StatusKb("VmRSS:");
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
    else if (workload == "xmalloc")
        ops = XmallocStyle(threads, seed);
    else if (workload == "larson")
        ops = LarsonStyle(threads, seed);
    else if (workload == "cscratch")
        ops = CacheScratch(threads, seed);
    else if (workload == "cthrash")
        ops = CacheThrash(threads, seed);
    else if (workload == "giveback")
        ops = GiveBack(threads, seed);
    else if (workload == "calloc")
        ops = CallocFresh(threads, seed);
    else {
        std::fprintf(stderr, "unknown workload %s\n", workload.c_str());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %d %ld %.6f %ld %ld %ld %ld\n", workload.c_str(), threads, ops, seconds,
                PeakRssKb(), g_faults.load(), startRss, StatusKb("VmRSS:"));
    return g_faults.load() == 0 ? 0 : 3;
}
