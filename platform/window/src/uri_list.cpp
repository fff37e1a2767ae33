#include "uri_list.h"

namespace ax::wm {

namespace {

bool Unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Lines of a block, with CR LF or LF between them and blank lines left out.
template <typename Fn> void EachLine(std::string_view block, Fn&& fn) {
    while (!block.empty()) {
        const size_t end = block.find('\n');
        std::string_view line = block.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) fn(line);
        if (end == std::string_view::npos) break;
        block.remove_prefix(end + 1);
    }
}

} // namespace

std::string FileUri(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (Unreserved(c)) {
            uri.push_back(static_cast<char>(c));
        } else {
            uri.push_back('%');
            uri.push_back(kHex[c >> 4]);
            uri.push_back(kHex[c & 15]);
        }
    }
    return uri;
}

std::string PathOfFileUri(std::string_view uri) {
    constexpr std::string_view kScheme = "file://", kLocal = "localhost";
    if (uri.substr(0, kScheme.size()) != kScheme) return {};
    uri.remove_prefix(kScheme.size());
    if (uri.substr(0, kLocal.size()) == kLocal) uri.remove_prefix(kLocal.size());
    if (uri.empty() || uri.front() != '/') return {}; // another host's file
    std::string path;
    for (size_t i = 0; i < uri.size(); ++i) {
        char c = uri[i];
        if (c == '%') {
            const int hi = i + 2 < uri.size() ? HexValue(uri[i + 1]) : -1;
            const int lo = hi >= 0 ? HexValue(uri[i + 2]) : -1;
            if (lo < 0) return {};
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (c == '\0') return {};
        path.push_back(c);
    }
    return path;
}

std::string MakeUriList(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& p : paths)
        list += FileUri(p) + "\r\n";
    return list;
}

std::vector<std::string> ReadUriList(std::string_view list) {
    std::vector<std::string> paths;
    EachLine(list, [&](std::string_view line) {
        if (line.front() == '#') return;
        if (std::string p = PathOfFileUri(line); !p.empty()) paths.push_back(std::move(p));
    });
    return paths;
}

std::string MakeCopiedFiles(const std::vector<std::string>& paths, bool cut) {
    std::string block = cut ? "cut" : "copy";
    for (const std::string& p : paths)
        block += "\n" + FileUri(p);
    return block;
}

bool ReadCopiedFiles(std::string_view block, std::vector<std::string>& paths, bool& cut) {
    // Some programs close the block with a NUL byte.
    while (!block.empty() && block.back() == '\0')
        block.remove_suffix(1);
    const size_t eol = block.find('\n');
    std::string_view first = block.substr(0, eol);
    if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
    if (first != "copy" && first != "cut") return false;
    cut = first == "cut";
    paths = eol == std::string_view::npos ? std::vector<std::string>{}
                                          : ReadUriList(block.substr(eol + 1));
    return true;
}

} // namespace ax::wm
