#pragma once
// The save dialog component: the open dialog's properties, run through the
// platform's save dialog (GetSaveFileNameA).
#include "stdctrls/opendialog.h"

namespace ax {

class TSaveDialog : public TOpenDialog {
public:
    using TOpenDialog::TOpenDialog;
    AnsiString ClassName() const override { return "TSaveDialog"; }
    bool Execute() override;
};

} // namespace ax
