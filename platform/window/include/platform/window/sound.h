#pragma once
// Sounds: the message beep and the playing of sound files and named sounds.
// On X11 they go to the desktop's sound theme when libcanberra can be
// loaded at run time, and the beep falls back to the X bell; the headless
// display stays silent. Every request is recorded, whatever the display,
// so that tests can check what was asked for.
#include "platform/ole/msgbox.h"
#include "platform/window/types.h"

#include <string>
#include <string_view>
#include <vector>

namespace ax {

// MessageBeep types are the message boxes' icon kinds (MB_ICON...) or
// MB_SIMPLEBEEP, from platform/ole/msgbox.h.

// PlaySound flags.
inline constexpr DWORD SND_SYNC = 0x0000, SND_ASYNC = 0x0001, SND_NODEFAULT = 0x0002,
                       SND_MEMORY = 0x0004, SND_LOOP = 0x0008, SND_NOSTOP = 0x0010,
                       SND_NOWAIT = 0x00002000, SND_ALIAS = 0x00010000,
                       SND_FILENAME = 0x00020000, SND_RESOURCE = 0x00040004;

BOOL MessageBeep(UINT type);
// A file name, or the name of a sound of the desktop's theme
// ("dialog-warning"). Wave resources of a module (SND_RESOURCE) are not
// played: no module of this system carries one.
BOOL PlaySound(std::string_view sound, uintptr_t module, DWORD flags);

struct SoundRequest {
    enum Kind { Beep, Play } kind = Beep;
    UINT beepType = 0;     // Beep
    std::string sound;     // Play
    uintptr_t module = 0;  // Play
    DWORD flags = 0;       // Play
};
// The requests made since the last call, oldest first (at most the last
// 256 are kept).
std::vector<SoundRequest> TakeSoundRequests();

} // namespace ax
