// The installed save dialog; set at start-up, read by whichever thread asks.
#include "platform/window/savefiledialog.h"

#include <atomic>

namespace ax {

namespace {
std::atomic<ISaveFileDialogService*> g_saveDialog{nullptr};
} // namespace

void SetSaveFileDialogService(ISaveFileDialogService* service) { g_saveDialog = service; }

ISaveFileDialogService* SaveFileDialogService() { return g_saveDialog.load(); }

} // namespace ax
