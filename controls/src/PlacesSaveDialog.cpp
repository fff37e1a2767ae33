// The save dialog with a switchable places bar.
#include "controls/PlacesSaveDialog.h"

namespace ax {

TPlacesSaveDialog::TPlacesSaveDialog(TComponent* owner) : TPlacesOpenDialog(owner) {
    dialogFunction_ = &PlacesSaveFileName;
}

bool TPlacesSaveDialog::Execute() {
    if (!FileDialogNewStyle()) return DoExecute(&GetSaveFileNameA);
    return TPlacesOpenDialog::Execute();
}

} // namespace ax
