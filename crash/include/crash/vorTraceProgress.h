#pragma once
// The progress bar shown in the middle of the screen while the bug report
// traces the stacks of several threads, only when that takes noticeably
// long. The caller divides the work into weighted phases (one per thread);
// the stack tracer reports positions within the current phase.
#include <cstdint>
#include <memory>
#include <vector>

namespace ax {

// A pop-up window of class "STATIC" with a bar and a percentage, drawn into
// a memory device context and copied to the window on every change.
class TProgressBar {
public:
    TProgressBar();
    ~TProgressBar();
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;
    void Draw(int perMille);
    // The window's handle (an HWND as a number), for tests.
    std::uintptr_t Window() const;
    int LastPosition() const { return lastPosition_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int lastPosition_ = -1;
};

struct TraceProgress {
    struct Phase {
        std::uint64_t Start = 0;
        std::uint64_t Weight = 0;
    };
    std::unique_ptr<TProgressBar> Window;
    std::uint32_t StartTick = 0;
    std::vector<Phase> Phases;
    std::uint64_t TotalWeight = 0;
    std::int32_t CurrentPhase = 0;
    std::uint64_t Offset = 0;
    // The overall position last shown (per mille), for tests.
    int Shown = -1;
};

std::unique_ptr<TraceProgress> CreateTraceProgress();
void AddPhase(TraceProgress* progress, std::uint64_t weight);
void SetPosition(TraceProgress* progress, int position);
void NextPhase(TraceProgress* progress);

} // namespace ax
