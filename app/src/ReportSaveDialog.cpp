// The crash reporter's save dialog on the standard controls' file dialog.
#include "app/ReportSaveDialog.h"

#include "stdctrls/commdlg.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ax {

TReportSaveDialog::TReportSaveDialog() { SetSaveFileDialogService(this); }

TReportSaveDialog::~TReportSaveDialog() {
    if (SaveFileDialogService() == this) SetSaveFileDialogService(nullptr);
}

std::string TReportSaveDialog::SaveFileName(const SaveFileRequest& request) {
    // One file type: the pattern as its description and its pattern.
    std::string filter = request.filter;
    filter.push_back('\0');
    filter += request.filter;
    filter.push_back('\0');
    filter.push_back('\0');
    std::vector<char> file(4096, '\0');
    std::memcpy(file.data(), request.fileName.data(), std::min(request.fileName.size(), file.size() - 1));
    OPENFILENAMEA ofn;
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = reinterpret_cast<HWND>(request.owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = request.initialDir.c_str();
    ofn.lpstrTitle = request.title.c_str();
    ofn.Flags = request.flags;
    if (!GetSaveFileNameA(&ofn)) return {};
    return std::string(file.data());
}

} // namespace ax
