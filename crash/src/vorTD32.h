#pragma once
// TD32 symbol information: segments, procedures, data, publics and line
// numbers of the units of one program, parsed from a whole ".tds" block.
#include "crash/vorDebugRecords.h"

#include <string_view>
#include <vector>

namespace ax {

struct TTD32Symbols {
    std::vector<TSegmentRec> Segments;  // unit names without directory, as stored
    std::vector<TPublicRec> Procedures; // procedures and data symbols
    std::vector<TPublicRec> Publics;
    std::vector<TLineRec> Lines;
};

// Parses a TD32 block; false when anything in it does not fit, in which
// case symbols is left unspecified.
bool ParseTD32(std::string_view data, const TModuleRanges& ranges, TTD32Symbols& symbols);

} // namespace ax
