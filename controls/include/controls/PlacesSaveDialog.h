#pragma once
// The save dialog whose places bar can be switched off (see
// TPlacesOpenDialog).
#include "controls/PlacesOpenDialog.h"

namespace ax {

class TPlacesSaveDialog : public TPlacesOpenDialog {
public:
    explicit TPlacesSaveDialog(TComponent* owner);
    AnsiString ClassName() const override { return "TPlacesSaveDialog"; }
    bool Execute() override;
};

} // namespace ax
