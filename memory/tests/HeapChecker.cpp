#include "HeapChecker.h"

namespace ax::memory::testing {

std::string CheckHeap(const TMemManager& owner, const std::vector<const TBlockManager*>& pools) {
    char fault[200];
    const HeapCheckScope scope{&owner, pools.data(), pools.size(), true};
    return ax::memory::CheckHeap(scope, fault, sizeof fault) ? std::string{} : std::string{fault};
}

std::string CheckHeap(const TMainMemManager& main) {
    std::vector<const TBlockManager*> pools;
    for (std::uint32_t i = 1; i <= main.PoolCount(); ++i)
        pools.push_back(main.Pool(i));
    return CheckHeap(main, pools);
}

} // namespace ax::memory::testing
