// The open dialog with a switchable places bar, and the dialog functions
// that carry the switch.
#include "controls/PlacesOpenDialog.h"

#include "framework/streaming.h"
#include "platform/osversion.h"

namespace ax {

namespace {

// The switch of the dialog being executed, for the dialog functions (GUI
// thread only, as every dialog).
bool placesBarShown = true;

BOOL RunWithPlacesSwitch(OPENFILENAMEA* ofn, TFileDialogFunction dialog) {
    if (!ofn) return dialog(nullptr);
    OPENFILENAMEA record = *ofn;
    record.lStructSize = OPENFILENAME_SIZE_VERSION_500A;
    record.pvReserved = nullptr;
    record.dwReserved = 0;
    record.FlagsEx = placesBarShown ? 0 : OFN_EX_NOPLACESBAR;
    const BOOL result = dialog(&record);
    // The caller reads what the dialog chose in its own record.
    record.lStructSize = ofn->lStructSize;
    record.pvReserved = ofn->pvReserved;
    record.dwReserved = ofn->dwReserved;
    record.FlagsEx = ofn->FlagsEx;
    *ofn = record;
    return result;
}

} // namespace

bool FileDialogNewStyle() {
    OSVERSIONINFOA version;
    if (!GetVersionExA(&version)) return false;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) return version.dwMajorVersion >= 5;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return version.dwMajorVersion >= 4 && version.dwMinorVersion >= 90;
    return false;
}

BOOL PlacesOpenFileName(OPENFILENAMEA* ofn) { return RunWithPlacesSwitch(ofn, &GetOpenFileNameA); }

BOOL PlacesSaveFileName(OPENFILENAMEA* ofn) { return RunWithPlacesSwitch(ofn, &GetSaveFileNameA); }

TPlacesOpenDialog::TPlacesOpenDialog(TComponent* owner) : TOpenDialog(owner) {}

void TPlacesOpenDialog::DefinePublished(TFiler& f) {
    TOpenDialog::DefinePublished(f);
    // Always stored: the switch has no default in descriptions.
    f.Bool("ShowPlacesBar", [this] { return showPlacesBar_; }, [this](bool v) { showPlacesBar_ = v; }, std::nullopt);
}

bool TPlacesOpenDialog::Execute() {
    if (!FileDialogNewStyle()) return TOpenDialog::Execute();
    placesBarShown = showPlacesBar_;
    return DoExecute(dialogFunction_);
}

} // namespace ax
