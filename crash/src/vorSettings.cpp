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
