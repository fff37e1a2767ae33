#pragma once
// Debug information of one module: for a code address its unit, public
// symbol and source line, and for a unit and symbol name its address. It
// comes from the module's own packed resource, from TD32 symbol information
// (the ".tds" file beside the module), or from a companion file beside it:
// a ".map" text, a ".vor" packed file or a ".jdbg" file.
// Addresses are absolute in memory; the file formats hold 32-bit offsets.
#include "crash/vorDebugRecords.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

// A read stream over a memory block; Read copies at most what is left.
class TMiniStream {
public:
    explicit TMiniStream(std::string data) : Data(std::move(data)) {}
    std::int64_t Read(void* buffer, std::int64_t count);
    std::int64_t Size() const { return static_cast<std::int64_t>(Data.size()); }
    std::int64_t Position = 0;
    std::int64_t Remaining() const { return Position < 0 ? 0 : Size() - std::min(Position, Size()); }

private:
    std::string Data;
};

inline constexpr char packedSignature[] = "ArdentixDbgInf"; // 14 bytes, no terminator stored
inline constexpr std::size_t packedSignatureLength = 14;
inline constexpr std::uint32_t jdbgMagic = 0x4742444A;

class TMapFile {
public:
    TMapFile() = default;
    TMapFile(const TModuleRanges& ranges, std::string fileName);

    // Builds the reader of a loaded module (handle = load base) or, with
    // handle 0 and only a file name, of a file: packed resource, then the
    // ".tds" file, then the other companion files. Sorts the line table.
    static std::shared_ptr<TMapFile> Build(const TModuleRanges& ranges, const std::string& fileName);

    // The individual sources; each returns whether it yielded information.
    bool ReadMapText(std::string_view text);
    bool ReadPacked(std::string_view data);
    bool ReadJdbg(std::string_view data);
    bool ReadTD32(std::string_view data);
    void SortLines();

    TSegmentRec FindSegment(bool code, std::uintptr_t address) const;
    TPublicRec FindPublic(std::uintptr_t address) const;
    std::uintptr_t FindSymbol(bool code, std::string_view unitName, bool caseSensitive,
                              std::string_view symbolName) const;
    // Line of address; next receives the address where the next line starts.
    std::int32_t LineOf(std::uintptr_t address, std::uintptr_t& next) const;
    // The same line, and the addresses [first, end) around address that
    // share this answer (the line's own first address to the next record or
    // the end of its segment).
    std::int32_t LineRange(std::uintptr_t address, std::uintptr_t& first, std::uintptr_t& end) const;

    bool OwnModule = false; // the reader of the program itself
    // Every reader leaves these sorted: segments code before data, then by
    // start; publics and (after SortLines) lines by address.
    std::vector<TSegmentRec> Segments;
    std::vector<TPublicRec> Publics;
    std::vector<TLineRec> Lines;
    std::uintptr_t EntryPoint = 0;
    TModuleRanges Ranges;
    bool Valid = false;
    std::string ModuleFileName;
    std::string MinCheckText; // check text of minimal information, empty when unused

private:
    struct TLineLookup {
        std::int32_t Line = 0;
        const TSegmentRec* Segment = nullptr;
        const TLineRec* Record = nullptr;    // the record that gives the line
        const TLineRec* Following = nullptr; // the record after it
    };
    TLineLookup LookUpLine(std::uintptr_t address) const;
    const TSegmentRec* SegmentAt(bool code, std::uintptr_t address) const;
    bool ReadPackedPayload(TMiniStream& stream, bool synthesiseNames);
    void AddSegment(TSegmentRec segment, bool ordered);
    void MergeSegments(bool keepGaps);
    void ClipPublicsToCode();
};

// The companion file of a module: its last extension replaced by ext
// (".map", ".vor", ".jdbg"), or ext appended when it has none.
std::string CompanionFileName(const std::string& moduleFileName, std::string_view ext);

// Key of a packed payload of the given length.
std::string PackedDataKey(std::uint32_t payloadLength);

// The cached reader of the module that holds address (0 = this program), or
// nullptr when it has no debug information. A reader stays alive for its
// holders even when the cache replaces it after the module file changed.
std::shared_ptr<const TMapFile> MapFileForAddress(std::uintptr_t address);
void ClearMapFileCache();

struct TAddressInfo {
    std::string ModuleFileName;
    std::string UnitName;
    std::int32_t Line = 0;
    std::uintptr_t SymbolStart = 0;
    std::string SymbolName;
};
bool GetAddressInfo(std::uintptr_t address, TAddressInfo& info);

// Services for the function listing: the name of the symbol that starts
// exactly at address ("Unit.Name"), and the line of an address (0 unknown).
std::string SymbolNameAt(std::uintptr_t address);
std::int32_t LineAt(std::uintptr_t address);

} // namespace ax
