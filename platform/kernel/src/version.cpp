// Reads the version block (every node checked to lie inside its parent, the
// tree's depth bounded), answers the version queries from it, and builds a
// block for the build's version resource.
#include "platform/version.h"

#include "platform/resource.h"

#include <cstring>
#include <optional>

namespace ax {

namespace {

constexpr std::size_t kHeader = 6;

std::uint16_t U16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

std::size_t Pad4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

// One node of a block, every part checked to lie inside its parent.
struct Node {
    std::size_t start = 0, end = 0; // [start, end) in the block
    std::string_view key;
    std::size_t valueAt = 0, valueLength = 0;
    std::size_t childrenAt = 0;
};

std::optional<Node> ReadNode(const unsigned char* block, std::size_t at, std::size_t limit) {
    if (at > limit || limit - at < kHeader) return std::nullopt;
    Node n;
    n.start = at;
    const std::size_t length = U16(block + at);
    const std::size_t valueLength = U16(block + at + 2);
    if (length < kHeader + 1 || length > limit - at) return std::nullopt;
    n.end = at + length;
    const auto* keyStart = reinterpret_cast<const char*>(block + at + kHeader);
    const std::size_t room = n.end - (at + kHeader);
    const void* zero = std::memchr(keyStart, 0, room);
    if (!zero) return std::nullopt;
    n.key = std::string_view(keyStart, std::size_t(static_cast<const char*>(zero) - keyStart));
    n.valueAt = Pad4(at + kHeader + n.key.size() + 1);
    if (n.valueAt > n.end || valueLength > n.end - n.valueAt) return std::nullopt;
    n.valueLength = valueLength;
    n.childrenAt = Pad4(n.valueAt + valueLength);
    return n;
}

// The child of parent with the key (compared without case).
std::optional<Node> FindChild(const unsigned char* block, const Node& parent, std::string_view key) {
    std::size_t at = parent.childrenAt;
    while (at < parent.end) {
        auto child = ReadNode(block, at, parent.end);
        if (!child) return std::nullopt;
        if (SameKey(child->key, key)) return child;
        at = Pad4(child->end);
    }
    return std::nullopt;
}

// Every node inside the root, recursively.
bool CheckTree(const unsigned char* block, const Node& node, int depth) {
    if (depth > 8) return false;
    std::size_t at = node.childrenAt;
    while (at < node.end) {
        auto child = ReadNode(block, at, node.end);
        if (!child || !CheckTree(block, *child, depth + 1)) return false;
        at = Pad4(child->end);
    }
    return true;
}

std::optional<std::string> BlockOf(const std::string& fileName) {
    auto data = findResourceInFile(fileName, versionResourceType, versionResourceName);
    if (!data || data->size() < kHeader) return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data->data());
    const std::size_t length = U16(bytes);
    if (length > data->size()) return std::nullopt;
    auto root = ReadNode(bytes, 0, length);
    if (!root || !CheckTree(bytes, *root, 0)) return std::nullopt;
    data->resize(length);
    return data;
}

void PutU16(std::string& out, std::size_t at, std::size_t v) {
    out[at] = char(v & 0xFF);
    out[at + 1] = char((v >> 8) & 0xFF);
}

void Align(std::string& out) { out.resize(Pad4(out.size()), '\0'); }

// Appends a node; children are appended by fill, then the length is set.
template <class Fill>
void AppendNode(std::string& out, std::string_view key, std::string_view value, bool text, Fill fill) {
    Align(out);
    const std::size_t start = out.size();
    out.append(kHeader, '\0');
    PutU16(out, start + 2, value.size());
    PutU16(out, start + 4, text ? 1 : 0);
    out.append(key);
    out.push_back('\0');
    Align(out);
    out.append(value);
    fill();
    PutU16(out, start, out.size() - start);
}

std::string Hex4(unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i, v >>= 4) s[std::size_t(i)] = digits[v & 0xF];
    return s;
}

} // namespace

std::uint32_t GetFileVersionInfoSizeA(const std::string& fileName, std::uint32_t* handle) {
    if (handle) *handle = 0;
    auto block = BlockOf(fileName);
    return block ? std::uint32_t(block->size()) : 0;
}

bool GetFileVersionInfoA(const std::string& fileName, std::uint32_t, std::uint32_t size, void* data) {
    auto block = BlockOf(fileName);
    if (!block || !data || size < block->size()) return false;
    std::memcpy(data, block->data(), block->size());
    return true;
}

bool VerQueryValueA(const void* block, std::string_view subBlock, const void** buffer, std::uint32_t* length) {
    if (!block || !buffer || !length) return false;
    const auto* bytes = static_cast<const unsigned char*>(block);
    auto node = ReadNode(bytes, 0, U16(bytes));
    if (!node) return false;
    std::size_t at = 0;
    while (at < subBlock.size()) {
        while (at < subBlock.size() && subBlock[at] == '\\') ++at;
        if (at == subBlock.size()) break;
        std::size_t next = subBlock.find('\\', at);
        if (next == std::string_view::npos) next = subBlock.size();
        node = FindChild(bytes, *node, subBlock.substr(at, next - at));
        if (!node) return false;
        at = next;
    }
    if (node->valueLength == 0) return false;
    *buffer = bytes + node->valueAt;
    *length = std::uint32_t(node->valueLength);
    return true;
}

std::string BuildVersionBlock(const VersionBlockContents& c) {
    std::string out;
    const std::string_view fixed(reinterpret_cast<const char*>(&c.fixed), sizeof c.fixed);
    AppendNode(out, "VS_VERSION_INFO", fixed, false, [&] {
        if (c.withStrings)
            AppendNode(out, "StringFileInfo", {}, true, [&] {
                AppendNode(out, Hex4(c.language) + Hex4(c.codePage), {}, true, [&] {
                    for (const auto& [key, value] : c.strings)
                        AppendNode(out, key, std::string_view(value.c_str(), value.size() + 1), true, [] {});
                });
            });
        if (c.withTranslation)
            AppendNode(out, "VarFileInfo", {}, true, [&] {
                const char pair[4] = {char(c.language & 0xFF), char(c.language >> 8), char(c.codePage & 0xFF),
                                      char(c.codePage >> 8)};
                AppendNode(out, "Translation", std::string_view(pair, 4), false, [] {});
            });
    });
    return out;
}

} // namespace ax
