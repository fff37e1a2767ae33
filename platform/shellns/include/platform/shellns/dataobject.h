#pragma once
// The shell's data object for drag and drop and the clipboard: the items as
// a "Shell IDList Array" block and, when every item is a file, their paths
// as CF_HDROP. Reading a block refuses one whose offsets or items leave it.
#include "platform/ole/ole.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

// Drag and drop uses the shared interfaces of platform/ole/ole.h. The
// shell's data object offers the items as "Shell IDList Array" (below) and,
// when every item is a file, their paths as CF_HDROP.
inline constexpr std::string_view CFSTR_SHELLIDLIST = "Shell IDList Array";
std::shared_ptr<IDataObject> CreateShellDataObject(std::vector<std::string> absolutePidls);

// The "Shell IDList Array" block: count n (u32), n + 1 offsets (u32) from
// the block's start, the parent folder's absolute PIDL, then n PIDLs
// relative to it. Written with the desktop as parent, so the items are
// their absolute PIDLs; reading joins parent and item and refuses offsets
// or items that leave the block.
std::vector<uint8_t> MakeIdListArray(const std::vector<std::string>& absolutePidls);
bool ReadIdListArray(std::span<const uint8_t> block, std::vector<std::string>& absolutePidls);

// What the shell's own drag calls answer when no target is there.
inline constexpr HRESULT DRAGDROP_S_NOTHANDLED = 0x00040100;

} // namespace ax
