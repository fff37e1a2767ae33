// The progress service and the meter that feeds it.
#include "transfermeter.h"

#include "platform/shellns/transferprogress.h"
#include "rtl/clock.h"

#include <utility>

namespace ax {
namespace {

class NoProgress final : public ITransferProgress {
public:
    void Open(uintptr_t, const std::string&, size_t) override {}
    void Advance(size_t) override {}
    void Close() override {}
};

ITransferProgress* g_progress = nullptr;

} // namespace

void SetTransferProgress(ITransferProgress* service) {
    g_progress = service;
}

ITransferProgress& TransferProgress() {
    static NoProgress none;
    return g_progress ? *g_progress : none;
}

namespace shellns {

TransferMeter::TransferMeter(uintptr_t owner, std::string text, size_t count)
    : owner_(owner), text_(std::move(text)), count_(count), start_(CurrentClock().Ticks()) {}

TransferMeter::~TransferMeter() {
    if (open_) TransferProgress().Close();
}

void TransferMeter::ItemDone() {
    ++done_;
    const uint64_t now = CurrentClock().Ticks();
    if (!open_) {
        // Short transfers end before anything could be read from a box.
        if (now - start_ < kTransferProgressDelay) return;
        open_ = true;
        TransferProgress().Open(owner_, text_, count_);
    } else if (now - shown_ < kTransferProgressInterval && done_ < count_) {
        return;
    }
    shown_ = now;
    TransferProgress().Advance(done_);
}

} // namespace shellns
} // namespace ax
