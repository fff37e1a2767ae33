// The node pool's release loop and the check inside it: 1000 blocks taken
// and given back, many rounds, against the same loop with a check that builds
// its message string on every call (as a check taking std::string did); and
// the three forms of Assert alone (a plain text, a text made on failure, and
// that string-building form).
//
// nodepool_bench [--rounds=N]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "NodePool.h"
#include "rtl/exceptions.h"

namespace {

using namespace ax;
using Wall = std::chrono::steady_clock;

// The check as it was: the message becomes a std::string before the test.
inline void AssertBuildingText(bool condition, const std::string& message) {
    if (!condition) throw EAssertionFailed(message);
}

// What the pool's Release does, with the string-building check.
struct StringCheckedPool {
    TNodePool pool{64};
    size_t live = 0;
    void* Allocate() {
        ++live;
        return pool.Allocate();
    }
    void Release(void* block) {
        AssertBuildingText(live > 0, "Node pool released more blocks than it gave");
        --live;
        pool.Release(block);
    }
};

template <class Pool>
double PoolLoopNs(Pool& pool, int rounds) {
    std::vector<void*> blocks(1000);
    const auto start = Wall::now();
    for (int r = 0; r < rounds; ++r) {
        for (auto& b : blocks) b = pool.Allocate();
        for (void* b : blocks) pool.Release(b);
    }
    const double ns = std::chrono::duration<double, std::nano>(Wall::now() - start).count();
    return ns / (double(rounds) * 1000);
}

// i, hidden from the optimiser, so that the check is made every time.
long Opaque(long i) {
    asm volatile("" : "+r"(i));
    return i;
}

template <class Check>
double CheckNs(Check check, long calls) {
    const auto start = Wall::now();
    for (long i = 0; i < calls; ++i) check(Opaque(i));
    const double ns = std::chrono::duration<double, std::nano>(Wall::now() - start).count();
    return ns / double(calls);
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20000;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::atoi(argv[i] + 9);
    TNodePool pool(64);
    StringCheckedPool old;
    PoolLoopNs(pool, rounds / 10); // warm both up
    PoolLoopNs(old, rounds / 10);
    const double now = PoolLoopNs(pool, rounds);
    const double before = PoolLoopNs(old, rounds);
    std::printf("| node pool, allocate + release a block | ns |\n|---|---|\n");
    std::printf("| Assert with a plain text (the pool as built) | %.2f |\n", now);
    std::printf("| check building a std::string | %.2f |\n", before);
    std::printf("| string-building / plain | %.2fx |\n\n", before / now);

    const long calls = long(rounds) * 1000;
    const double plain =
        CheckNs([](long i) { Assert(i >= 0, "Node pool released more blocks than it gave"); }, calls);
    const double made = CheckNs(
        [](long i) { Assert(i >= 0, [i] { return "entry " + std::to_string(i) + " out of step"; }); },
        calls);
    const double building = CheckNs(
        [](long i) { AssertBuildingText(i >= 0, "Node pool released more blocks than it gave"); },
        calls);
    std::printf("| one check that holds | ns |\n|---|---|\n");
    std::printf("| plain text | %.2f |\n| text made on failure | %.2f |\n", plain, made);
    std::printf("| std::string built every call | %.2f |\n", building);
}
