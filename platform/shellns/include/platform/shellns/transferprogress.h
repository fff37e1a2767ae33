#pragma once
// The progress of long copies, moves and link drops: the display shows it
// through this service. Until a display installs one, nothing is shown.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ax {

class ITransferProgress {
public:
    virtual ~ITransferProgress() = default;
    // A transfer of count items has run long enough to be shown.
    virtual void Open(uintptr_t owner, const std::string& text, size_t count) = 0;
    // done of the items are finished, failed ones included; the display
    // answers its user meanwhile.
    virtual void Advance(size_t done) = 0;
    virtual void Close() = 0;
};
void SetTransferProgress(ITransferProgress* service); // nullptr: nothing shown
ITransferProgress& TransferProgress();

// When the progress shows and how often it moves (clock milliseconds).
inline constexpr uint64_t kTransferProgressDelay = 500;
inline constexpr uint64_t kTransferProgressInterval = 100;

} // namespace ax
