#pragma once
// Sounds: the message beep and the playing of sound files, sound aliases
// and wave resources. On X11 they are heard: beeps, aliases and sound files
// that are not wave data through the desktop's sound theme (libcanberra),
// wave data (wave files, wave resources) on the sound device (ALSA, which
// hands it to the desktop's sound server where there is one). Both
// libraries are loaded at run time and driven from threads of their own:
// without them, or without a device, the sound is silently not heard and
// no caller waits; the beep then rings the X bell. The headless display
// stays silent. Every request is recorded, whatever the display, so that
// tests can check what was asked for.
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

// The theme's event of the type: "dialog-error", "dialog-question",
// "dialog-warning", "dialog-information", or "bell" for any other.
BOOL MessageBeep(UINT type);
// SND_RESOURCE: the wave resource of that name (type "WAVE") of the module
// (0: the program); one that is missing or not wave data rings the default
// sound, unless SND_NODEFAULT, and answers FALSE.
// Otherwise a file (SND_FILENAME, or a name that is a file) or an alias: the
// system's beep names ("SystemAsterisk", "SystemExclamation", "SystemHand",
// "SystemQuestion", "SystemDefault", ".Default") as MessageBeep maps them,
// any other name as the theme's event of that name ("dialog-warning").
// SND_ASYNC returns at once; without it the call returns once the sound has
// been played (TRUE) or could not be (FALSE). A new wave stops the one
// playing. SND_MEMORY is not taken (FALSE).
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
