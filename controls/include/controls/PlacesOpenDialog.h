#pragma once
// The open dialog whose places bar (the column of shortcuts beside the
// list) can be switched off, on platforms whose file dialogs take the
// larger record that carries the switch.
#include "stdctrls/opendialog.h"

namespace ax {

// Whether the platform's file dialogs take the 88-byte record: NT 5 and
// later, 9x 4.90 and later; false when the version cannot be had.
bool FileDialogNewStyle();

// The dialog functions of the places dialogs: the caller's record runs as an
// 88-byte one whose FlagsEx carries the places-bar switch of the dialog
// being executed; what the dialog gives back (file offsets, filter index,
// flags) is copied into the caller's record, whose size and last three
// fields stay as they were.
BOOL PlacesOpenFileName(OPENFILENAMEA* ofn);
BOOL PlacesSaveFileName(OPENFILENAMEA* ofn);

class TPlacesOpenDialog : public TOpenDialog {
public:
    explicit TPlacesOpenDialog(TComponent* owner);
    AnsiString ClassName() const override { return "TPlacesOpenDialog"; }
    void DefinePublished(TFiler& filer) override;
    bool Execute() override;
    bool ShowPlacesBar() const { return showPlacesBar_; }
    void SetShowPlacesBar(bool value) { showPlacesBar_ = value; }

protected:
    // What the execution routine runs on a platform of the new style.
    TFileDialogFunction dialogFunction_ = &PlacesOpenFileName;

private:
    bool showPlacesBar_ = true;
};

} // namespace ax
