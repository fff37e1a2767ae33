// The process's one settings block and one block of run-time values.
#include "crash/vorSettings.h"

namespace ax {

VorSettings& ReporterSettings() {
    static VorSettings settings;
    return settings;
}

VorRuntimeValues& ReporterRuntime() {
    static VorRuntimeValues values;
    return values;
}

} // namespace ax
