#pragma once
// The save dialog for layers below the control library (the crash
// reporter's save button): the program installs the control library's
// dialog at start-up; without one nobody is there to ask. The dialog runs
// on the calling thread, which may be a worker whose window owns it.
#include <cstdint>
#include <string>

namespace ax {

struct SaveFileRequest {
    std::uintptr_t owner = 0; // the owning window (0 none)
    std::string title;
    std::string filter;     // one pattern: "*.txt"
    std::string initialDir;
    std::string fileName;   // the name offered
    std::uint32_t flags = 0; // OFN_ flags, as the common dialog takes them
};

class ISaveFileDialogService {
public:
    virtual ~ISaveFileDialogService() = default;
    // The file chosen, or empty when the user cancelled.
    virtual std::string SaveFileName(const SaveFileRequest& request) = 0;
};

// nullptr: none installed.
void SetSaveFileDialogService(ISaveFileDialogService* service);
ISaveFileDialogService* SaveFileDialogService();

} // namespace ax
