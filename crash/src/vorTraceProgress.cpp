// Trace progress in weighted phases; the bar appears only after 750 ms when
// less than half is done, and counts from where it appeared.
#include "crash/vorTraceProgress.h"

#include "crash/vorTools.h"
#include "platform/tick_count.h"

namespace ax {

std::unique_ptr<TraceProgress> CreateTraceProgress() {
    auto p = std::make_unique<TraceProgress>();
    p->StartTick = tickCount();
    // A tick count of 0 means "not started"; the clock may well stand there.
    if (p->StartTick == 0) p->StartTick = 1;
    return p;
}

void AddPhase(TraceProgress* progress, std::uint64_t weight) {
    if (progress == nullptr) return;
    progress->Phases.push_back({progress->TotalWeight, weight});
    progress->TotalWeight += weight;
}

void SetPosition(TraceProgress* progress, int position) {
    if (progress == nullptr || progress->StartTick == 0) return;
    if (progress->CurrentPhase < 0 ||
        static_cast<std::size_t>(progress->CurrentPhase) >= progress->Phases.size())
        return;
    const auto& phase = progress->Phases[static_cast<std::size_t>(progress->CurrentPhase)];
    const std::uint64_t w = phase.Weight * static_cast<std::uint64_t>(position) / 1000;
    if (progress->TotalWeight <= progress->Offset) return;
    std::uint64_t overall =
        (w + phase.Start - progress->Offset) * 1000 / (progress->TotalWeight - progress->Offset);
    if (!progress->Window) {
        if (ElapsedTicks(progress->StartTick) > 750 && overall < 500) {
            progress->Window = std::make_unique<TProgressBar>();
            progress->Offset = w + phase.Start;
            overall = 0;
        } else {
            return;
        }
    }
    progress->Window->Draw(static_cast<int>(overall));
    progress->Shown = static_cast<int>(overall);
}

void NextPhase(TraceProgress* progress) {
    if (progress == nullptr) return;
    SetPosition(progress, 1000);
    ++progress->CurrentPhase;
}

} // namespace ax
