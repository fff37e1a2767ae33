// Parses a tree stream without recursion into a flat list of nodes; every
// size, count and state is checked against the bytes, so a damaged stream
// raises an error naming the damage and never reads past its end.
#include "TreeStream.h"

#include <cstring>

namespace ax::treestream {
namespace {

[[noreturn]] void Damaged(const char* what) {
    throw EDataTreeError(dteDamagedStream, std::string("The tree data is damaged: ") + what);
}

uint32_t U32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

uint16_t U16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// The smallest node: its chunk head and base record.
constexpr size_t kMinNode = kHeadSize + kBaseSize;

} // namespace

std::vector<ParsedNode> Parse(std::span<const uint8_t> bytes) {
    if (bytes.size() < 8 || std::memcmp(bytes.data(), kMagic, 4) != 0) Damaged("no tree stream signature");
    if (U32(bytes, 4) != kVersion) Damaged("unknown version");
    struct Frame {
        size_t end;
        uint32_t remaining;
        int64_t index;
    };
    std::vector<ParsedNode> nodes;
    std::vector<Frame> stack;
    size_t pos = 8;
    const size_t end = bytes.size();
    for (;;) {
        size_t limit = end;
        int64_t parent = -1;
        if (stack.empty()) {
            if (pos == end) break;
        } else {
            Frame& f = stack.back();
            if (f.remaining == 0) {
                if (pos != f.end) Damaged("a node holds more than its children");
                stack.pop_back();
                continue;
            }
            --f.remaining;
            limit = f.end;
            parent = f.index;
        }
        if (limit - pos < kMinNode) Damaged("a node is cut short");
        if (U32(bytes, pos) != kNodeChunk) Damaged("a node chunk is expected");
        const uint32_t size = U32(bytes, pos + 4);
        if (size < kBaseSize || size > limit - pos - kHeadSize) Damaged("a node's size is out of range");
        const size_t chunkEnd = pos + kHeadSize + size;
        ParsedNode n;
        n.parent = parent;
        const size_t base = pos + kHeadSize;
        n.childCount = U32(bytes, base);
        n.height = U16(bytes, base + 4);
        n.states = U16(bytes, base + 6) & kStoredStates;
        const uint8_t check = bytes[base + 8], type = bytes[base + 9];
        if (check > csMixedPressed) Damaged("a check state is out of range");
        if (type > ctButton) Damaged("a check type is out of range");
        if (n.height == 0) Damaged("a node has no height");
        n.checkState = UnpressedCheckState(TCheckState(check));
        n.checkType = TCheckType(type);
        size_t p = base + kBaseSize;
        if (chunkEnd - p >= kHeadSize && U32(bytes, p) == kDataChunk) {
            const uint32_t dataSize = U32(bytes, p + 4);
            if (dataSize > chunkEnd - p - kHeadSize) Damaged("a node's data is out of range");
            n.hasData = true;
            n.dataOffset = p + kHeadSize;
            n.dataSize = dataSize;
            p = n.dataOffset + dataSize;
        }
        if (n.childCount > (chunkEnd - p) / kMinNode) Damaged("a node counts more children than it holds");
        nodes.push_back(n);
        if (n.childCount > 0) {
            stack.push_back({chunkEnd, n.childCount, int64_t(nodes.size() - 1)});
            pos = p;
        } else {
            if (p != chunkEnd) Damaged("a node holds more than its data");
            pos = chunkEnd;
        }
    }
    return nodes;
}

} // namespace ax::treestream
