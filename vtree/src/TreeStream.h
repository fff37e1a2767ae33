#pragma once
// The tree stream: what SaveToStream writes and "Data Tree Data" carries.
// All integers are little-endian.
//
//   stream  = "DTSF" u32 version(1) node*
//   node    = u32 type(1) u32 size  base [data] node{ChildCount}
//   base    = u32 ChildCount  u16 NodeHeight  u16 States  u8 CheckState  u8 CheckType  u16 0
//   data    = u32 type(2) u32 size  bytes          (what DoSaveNode wrote, when anything)
//
// size counts the bytes after the 8-byte chunk head. States keeps only the
// bits in kStoredStates; check states are stored unpressed.
#include <cstdint>
#include <span>
#include <vector>

#include "vtree/DataTreeTypes.h"

namespace ax::treestream {

inline constexpr uint8_t kMagic[4] = {'D', 'T', 'S', 'F'};
inline constexpr uint32_t kVersion = 1;
inline constexpr uint32_t kNodeChunk = 1;
inline constexpr uint32_t kDataChunk = 2;
inline constexpr uint32_t kHeadSize = 8;
inline constexpr uint32_t kBaseSize = 12;
inline constexpr TDataNodeStates kStoredStates =
    vsInitialized | vsDisabled | vsExpanded | vsHasChildren | vsVisible | vsAllChildrenHidden;

struct ParsedNode {
    int64_t parent = -1; // index into the parsed nodes; -1 for a top-level node
    uint32_t childCount = 0;
    uint16_t height = 0;
    TDataNodeStates states = 0;
    TCheckState checkState = csUncheckedNormal;
    TCheckType checkType = ctNone;
    size_t dataOffset = 0;
    size_t dataSize = 0;
    bool hasData = false;
};

// Checks every length, count and value of a whole stream before anything is
// made from it; raises EDataTreeError (dteDamagedStream) otherwise. Nodes
// come in tree order.
std::vector<ParsedNode> Parse(std::span<const uint8_t> bytes);

} // namespace ax::treestream
