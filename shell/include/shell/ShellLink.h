#pragma once
// A shell link (here: a symbolic link or a desktop launcher) as read from
// the file system, with the item its target names.
#include "platform/shellns/pidl.h"
#include "rtl/text.h"

#include <cstdint>

namespace ax {

class TShellLink {
public:
    TShellLink() = default;
    TShellLink(const TShellLink&) = delete;
    TShellLink& operator=(const TShellLink&) = delete;
    bool ReadLink(const WideString& linkFile);

    WideString FileName;
    WideString TargetPath;
    WideString Arguments;
    WideString Description;
    WideString WorkingDirectory;
    WideString IconLocation;
    int IconIndex = 0;
    // Nil when the target is no file's item (a program found on PATH, an
    // address).
    UniquePIDL TargetIDList;
    uint16_t HotKey = 0;
    int ShowCmd = 1;
};

} // namespace ax
