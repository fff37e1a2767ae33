#pragma once
// The in-process clipboard of cut and copied items: their absolute PIDL
// bytes and whether they were cut. Any thread may call.
#include <string>
#include <vector>

namespace ax {

void SetShellClipboard(std::vector<std::string> absolutePidls, bool cut);
bool GetShellClipboard(std::vector<std::string>& absolutePidls, bool& cut);
void ClearShellClipboard();

} // namespace ax
