// The save dialog component.
#include "stdctrls/savedialog.h"

namespace ax {

bool TSaveDialog::Execute() { return DoExecute(&GetSaveFileNameA); }

} // namespace ax
