#pragma once
// Wave data played on the sound device through ALSA (whose default device
// is the desktop's sound server where there is one). The library is bound
// at run time, so that the program runs on a machine without it.
#include "platform/library.h"
#include "wave_data.h"

#include <functional>
#include <memory>

namespace ax::wm {

class AlsaOutput {
public:
    AlsaOutput();
    ~AlsaOutput();
    AlsaOutput(const AlsaOutput&) = delete;
    AlsaOutput& operator=(const AlsaOutput&) = delete;

    // Plays the wave to its end, or until stop() answers true (asked
    // between two blocks of a twentieth of a second). Blocks the caller
    // meanwhile. False when there is no library or device, or the device
    // takes no such format.
    bool Play(const WaveData& wave, const std::function<bool()>& stop);

private:
    struct Api;
    bool Load();

    bool tried_ = false;
    HMODULE library_ = 0;
    std::unique_ptr<Api> api_;
};

} // namespace ax::wm
