#pragma once
// The beep types the sound layer was asked for since the last call, in
// order, for tests of what the reporter's box beeps.
#include "platform/window/sound.h"

#include <vector>

namespace ax::test {

inline std::vector<UINT> TakeBeeps() {
    std::vector<UINT> types;
    for (const SoundRequest& r : TakeSoundRequests())
        if (r.kind == SoundRequest::Beep) types.push_back(r.beepType);
    return types;
}

} // namespace ax::test
