#pragma once
// File lists as other desktop programs exchange them: "text/uri-list"
// (file URIs, CR LF between them) and "x-special/gnome-copied-files" (a
// first line "copy" or "cut", then the URIs, one a line). Reading takes
// only local file URIs, refuses broken escapes and NUL bytes, and ignores
// comment lines.
#include <string>
#include <string_view>
#include <vector>

namespace ax::wm {

std::string FileUri(std::string_view path);
// The path of a local file URI ("file:///..." or "file://localhost/...");
// "" for anything else.
std::string PathOfFileUri(std::string_view uri);

std::string MakeUriList(const std::vector<std::string>& paths);
std::vector<std::string> ReadUriList(std::string_view list);

std::string MakeCopiedFiles(const std::vector<std::string>& paths, bool cut);
// False when the first line is neither "copy" nor "cut".
bool ReadCopiedFiles(std::string_view block, std::vector<std::string>& paths, bool& cut);

} // namespace ax::wm
