#pragma once
// The save dialog the crash reporter asks for a report's file name: the
// standard controls' own (GetSaveFileNameA), run on the reporter's thread
// while the faulting thread waits. Installed while an object lives.
#include "platform/window/savefiledialog.h"

namespace ax {

class TReportSaveDialog final : public ISaveFileDialogService {
public:
    TReportSaveDialog();
    ~TReportSaveDialog() override;
    TReportSaveDialog(const TReportSaveDialog&) = delete;
    TReportSaveDialog& operator=(const TReportSaveDialog&) = delete;

    std::string SaveFileName(const SaveFileRequest& request) override;
};

} // namespace ax
