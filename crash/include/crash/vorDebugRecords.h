#pragma once
// The records every debug-information source yields: segments (one per unit
// and class), public symbols and line numbers, and where the module lies.
#include <cstdint>
#include <string>

namespace ax {

struct TSegmentRec {
    bool Valid = false;
    bool Code = false;
    std::uintptr_t Start = 0;
    std::uint32_t Length = 0;
    std::string UnitName;
    std::uint8_t Flag = 0;
};

struct TPublicRec {
    bool Valid = false;
    bool Code = false;
    std::string Name;
    std::uintptr_t Address = 0;
};

struct TLineRec {
    std::int32_t Line = 0;
    std::uintptr_t Address = 0;
};

// Where a module lies; all zero for a file that is not loaded.
struct TModuleRanges {
    std::uintptr_t Handle = 0;
    std::uintptr_t CodeStart = 0, CodeEnd = 0; // CodeEnd exclusive; 0 = unset
    std::uintptr_t DataStart = 0, DataEnd = 0;
};

} // namespace ax
