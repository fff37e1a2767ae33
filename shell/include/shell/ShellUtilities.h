#pragma once
// The shell model's start-up and shut-down (the clipboard formats and the
// special-folder objects), and small helpers of the views: the dates they
// show and their placeholder icons.
#include "platform/shellns/shellapi.h"
#include "rtl/text.h"

#include <cstdint>

namespace ax {

// The shell's clipboard formats, registered at start-up (each a 16-bit
// identifier, 0 until registered).
struct TShellClipboardFormats {
    uint16_t ShellIDList = 0;                // "Shell IDList Array"
    uint16_t LogicalPerformedDropEffect = 0; // "Logical Performed DropEffect"
    uint16_t PreferredDropEffect = 0;        // "Preferred DropEffect"
    uint16_t FileContents = 0;               // "FileContents"
    uint16_t FileGroupDescriptor = 0;        // "FileGroupDescriptor"
    uint16_t FileGroupDescriptorW = 0;       // "FileGroupDescriptorW"
};
const TShellClipboardFormats& ShellClipboardFormats();

// Start-up: registers the clipboard formats and creates the special-folder
// objects. Shut-down frees the objects.
void ShellUtilitiesInitialize();
void ShellUtilitiesFinalize();

WideString FileTimeToDateTimeStr(const FILETIME& time);
// The placeholder icon of a kind of item, shown while the real one is read;
// -1 for an unknown kind.
int DefaultSystemImageIndex(int kind);

} // namespace ax
