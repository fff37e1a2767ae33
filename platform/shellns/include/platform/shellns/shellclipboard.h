#pragma once
// The clipboard of cut and copied items: their absolute PIDL bytes and
// whether they were cut. Any thread may call. With a file clipboard set,
// files go to other programs too, and what another program copied or cut
// later is what a paste takes.
#include <optional>
#include <string>
#include <vector>

namespace ax {

class IFileClipboard {
public:
    virtual ~IFileClipboard() = default;
    virtual void Offer(const std::vector<std::string>& paths, bool cut) = 0;
    struct Files {
        std::vector<std::string> paths; // empty: the clipboard holds no files
        bool cut = false;
    };
    // What another program put on the clipboard after our last offer;
    // nullopt while our offer stands or no other program offered anything.
    virtual std::optional<Files> Foreign() = 0;
};
void SetFileClipboard(IFileClipboard* clipboard); // nullptr: in the process only

void SetShellClipboard(std::vector<std::string> absolutePidls, bool cut);
bool GetShellClipboard(std::vector<std::string>& absolutePidls, bool& cut);
void ClearShellClipboard();

} // namespace ax
