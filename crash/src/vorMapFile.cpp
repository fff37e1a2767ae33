// Loads a module's debug information from the ".map" text, the packed
// (encrypted and compressed) form, TD32 and ".jdbg", each read from data
// that may be damaged (offsets and counts are checked, never trusted), and
// answers address and name lookups.
#include "crash/vorMapFile.h"

#include "crash/vorCrypt.h"
#include "crash/vorStrings.h"
#include "crash/vorZip.h"
#include "platform/module.h"
#include "platform/resource.h"
#include "vorTD32.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>

namespace ax {

namespace {

constexpr std::uint64_t maxCompanionFileSize = 256u << 20;

std::uint32_t u32At(std::string_view s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

std::uint32_t hexAt(std::string_view line, std::size_t at, std::size_t digits) {
    if (at + digits > line.size()) return 0;
    return static_cast<std::uint32_t>(vor::StrToIntEx(true, line.data() + at, static_cast<int>(digits)));
}

bool charAt(std::string_view line, std::size_t at, char c) { return at < line.size() && line[at] == c; }

bool hexDigitsAt(std::string_view line, std::size_t at, std::size_t digits) {
    if (at + digits > line.size()) return false;
    for (std::size_t i = at; i < at + digits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return false;
    return true;
}

std::string stripUnitExtension(std::string name) {
    auto dot = name.rfind('.');
    if (dot != std::string::npos) {
        std::string_view ext = std::string_view(name).substr(dot + 1);
        if (vor::SameText(ext, "dpr") || vor::SameText(ext, "pas")) name.resize(dot);
    }
    return name;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    auto size = static_cast<std::uint64_t>(in.tellg());
    if (!in || size > maxCompanionFileSize) return {};
    in.seekg(0);
    std::string data(size, '\0');
    if (!in.read(data.data(), static_cast<std::streamsize>(size))) return {};
    return data;
}

// Line numbers of hostile data may run past the 32-bit range: they wrap.
std::int32_t wrappingAdd(std::int32_t value, std::uint32_t delta) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + delta);
}

std::string hex8(std::uint32_t v) { return vor::IntToHexEx(std::uint64_t{v}, 8, '0'); }

// Cuts a trailing parenthesised part, matching nested parentheses.
std::string_view cutTrailingParens(std::string_view s) {
    if (s.empty() || s.back() != ')') return s;
    int depth = 0;
    for (std::size_t i = s.size(); i-- > 0;) {
        if (s[i] == ')') ++depth;
        if (s[i] == '(' && --depth == 0) return s.substr(0, i);
    }
    return s;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
    return s;
}

void removeUnitPrefix(std::string& name, const std::string& unit) {
    if (!unit.empty() && name.size() > unit.size() + 1 && name[unit.size()] == '.' &&
        vor::StartsWithText(unit, name))
        name.erase(0, unit.size() + 1);
}

} // namespace

std::int64_t TMiniStream::Read(void* buffer, std::int64_t count) {
    if (Position < 0 || count <= 0) return 0;
    std::int64_t n = std::min(count, Remaining());
    if (n <= 0) return 0;
    std::memcpy(buffer, Data.data() + Position, static_cast<std::size_t>(n));
    Position += n;
    return n;
}

TMapFile::TMapFile(const TModuleRanges& ranges, std::string fileName)
    : Ranges(ranges), ModuleFileName(std::move(fileName)) {}

std::string CompanionFileName(const std::string& moduleFileName, std::string_view ext) {
    auto slash = moduleFileName.rfind('/');
    auto dot = moduleFileName.rfind('.');
    std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (dot != std::string::npos && dot > base) return moduleFileName.substr(0, dot) + std::string(ext);
    return moduleFileName + std::string(ext);
}

std::string PackedDataKey(std::uint32_t payloadLength) {
    std::string text = "Ardent" + vor::IntToStrEx(std::int64_t{payloadLength}, 7, '0') +
                       vor::IntToStrEx(std::int64_t{payloadLength}, 8, '0');
    const std::string key = text;
    EncryptInPlace(text, key);
    return text;
}

// ---- segments --------------------------------------------------------------

void TMapFile::AddSegment(TSegmentRec segment, bool ordered) {
    segment.Valid = true;
    for (auto it = Segments.rbegin(); it != Segments.rend(); ++it) {
        if (it->Code != segment.Code) continue;
        if (it->UnitName == segment.UnitName && segment.Start >= it->Start &&
            segment.Start <= it->Start + it->Length + 2) {
            auto end = std::max<std::uintptr_t>(it->Start + it->Length, segment.Start + segment.Length);
            it->Length = static_cast<std::uint32_t>(end - it->Start);
            return;
        }
        break;
    }
    if (!ordered) {
        Segments.push_back(std::move(segment));
        return;
    }
    auto at = std::find_if(Segments.begin(), Segments.end(), [&](const TSegmentRec& s) {
        return s.Code == segment.Code && s.Start > segment.Start;
    });
    Segments.insert(at, std::move(segment));
}

static void sortSegments(std::vector<TSegmentRec>& segments) {
    std::stable_sort(segments.begin(), segments.end(), [](const TSegmentRec& a, const TSegmentRec& b) {
        if (a.Code != b.Code) return a.Code;
        if (a.Start != b.Start) return a.Start < b.Start;
        return a.Length > b.Length;
    });
}

void TMapFile::MergeSegments(bool keepGaps) {
    sortSegments(Segments);
    std::vector<TSegmentRec> merged;
    for (auto& s : Segments) {
        if (!merged.empty() && merged.back().Code == s.Code && merged.back().UnitName == s.UnitName) {
            auto end = std::max<std::uintptr_t>(merged.back().Start + merged.back().Length, s.Start + s.Length);
            merged.back().Length = static_cast<std::uint32_t>(end - merged.back().Start);
            continue;
        }
        merged.push_back(s);
    }
    for (std::size_t i = 0; i + 1 < merged.size(); ++i) {
        auto& s = merged[i];
        const auto& next = merged[i + 1];
        if (next.Code != s.Code) continue;
        bool gap = s.Start + s.Length < next.Start && s.Length != 0;
        if (next.Start > s.Start && !(keepGaps && gap))
            s.Length = static_cast<std::uint32_t>(next.Start - s.Start);
    }
    for (auto it = merged.rbegin(); it != merged.rend(); ++it)
        if (it->Code) {
            if (Ranges.CodeEnd > it->Start)
                it->Length = static_cast<std::uint32_t>(Ranges.CodeEnd - it->Start);
            break;
        }
    std::erase_if(merged, [](const TSegmentRec& s) { return s.Length == 0; });
    Segments = std::move(merged);
}

// ---- ".map" text -------------------------------------------------------------

namespace {

enum class MapSection { None, SegmentTable, Detailed, Publics, Lines };

// What the segment table says about the others: code segments after the
// first start at codeLength, segments from dataSegment on hold data.
struct MapLayout {
    std::uint32_t codeLength = 0; // rounded up to whole pages
    std::uint32_t dataSegment = 2;
};

// The next line, trimmed at the front and of its line end; moves at past it.
std::string_view NextLine(std::string_view text, std::size_t& at) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return line;
}

// The section a heading line opens, nothing for any other line.
std::optional<MapSection> SectionHeading(std::string_view line) {
    if (line.find("Start         Length     Name                   Class") != line.npos)
        return MapSection::SegmentTable;
    if (line.find("Detailed map of segments") != line.npos) return MapSection::Detailed;
    if (line.find("Publics by Value") != line.npos) return MapSection::Publics;
    if (line.find("Line numbers for ") != line.npos && line.find('(') != line.npos &&
        line.find(')') != line.npos)
        return MapSection::Lines;
    return std::nullopt;
}

void ReadSegmentTableLine(std::string_view line, MapLayout& layout) {
    if (line.find(".text") != line.npos && charAt(line, 4, ':') && charAt(line, 13, ' ') &&
        charAt(line, 22, 'H')) {
        std::uint64_t length = hexAt(line, 14, 8);
        layout.codeLength = static_cast<std::uint32_t>((length + 4095) / 4096 * 4096);
    } else if (line.find(".data") != line.npos) {
        layout.dataSegment = hexAt(line, 0, 4);
        if (layout.dataSegment < 2 || layout.dataSegment > 9) layout.dataSegment = 2;
    }
}

std::optional<TSegmentRec> DetailedSegment(std::string_view line, const MapLayout& layout,
                                           const TModuleRanges& ranges) {
    if (line.size() <= 72 || !charAt(line, 4, ':') || !charAt(line, 13, ' ') || !charAt(line, 22, ' ') ||
        line.substr(23, 2) != "C=")
        return std::nullopt;
    std::uint32_t seg = hexAt(line, 0, 4);
    if (seg < 1 || seg > layout.dataSegment) return std::nullopt;
    std::string_view rest = trimRight(line);
    auto lastBlank = rest.find_last_of(' ');
    if (lastBlank != rest.npos) rest = trimRight(rest.substr(0, lastBlank));
    auto m = rest.rfind("M=");
    if (m == rest.npos) return std::nullopt;
    TSegmentRec s;
    s.Code = seg < layout.dataSegment;
    std::uint64_t offset = hexAt(line, 5, 8);
    if (seg > 1 && seg < layout.dataSegment) offset += layout.codeLength;
    s.Start = offset + (s.Code ? ranges.CodeStart : ranges.DataStart);
    s.Length = hexAt(line, 14, 8);
    s.UnitName = stripUnitExtension(std::string(vor::TrimCopy(rest.substr(m + 2))));
    return s;
}

// A public symbol, its name as written (with its unit's prefix).
std::optional<TPublicRec> PublicSymbol(std::string_view line, const MapLayout& layout,
                                       const TModuleRanges& ranges) {
    if (line.size() <= 13 || !charAt(line, 4, ':')) return std::nullopt;
    std::string_view body = trimRight(cutTrailingParens(trimRight(line)));
    auto lastBlank = body.find_last_of(' ');
    if (lastBlank == body.npos) return std::nullopt;
    std::string name(body.substr(lastBlank + 1));
    if (name.size() >= 6 && name.compare(0, 3, "@$x") == 0 && name[4] == '$') return std::nullopt;
    std::uint32_t seg = hexAt(line, 0, 4);
    if (seg < 1 || seg > layout.dataSegment) return std::nullopt;
    std::uint64_t offset = hexAt(line, 5, 8);
    if (layout.dataSegment > 2 && seg > 1 && seg < layout.dataSegment) offset += layout.codeLength;
    TPublicRec p;
    p.Valid = true;
    p.Code = seg < layout.dataSegment;
    p.Address = offset + (p.Code ? ranges.CodeStart : ranges.DataStart);
    p.Name = std::move(name);
    return p;
}

// A line of "number segment:offset" pairs.
void ReadLineNumbers(std::string_view line, const MapLayout& layout, const TModuleRanges& ranges,
                     std::vector<TLineRec>& lines) {
    std::istringstream groups{std::string(line)};
    std::string number, place;
    while (groups >> number >> place) {
        if (place.size() < 13 || place[4] != ':') break;
        std::uint32_t seg = hexAt(place, 0, 4);
        if (seg < 1 || seg >= layout.dataSegment) continue;
        std::uint64_t address = hexAt(place, 5, 8) + ranges.CodeStart;
        if (seg > 1) address += layout.codeLength;
        lines.push_back({static_cast<std::int32_t>(
                             vor::StrToIntEx(false, number.data(), static_cast<int>(number.size()))),
                         static_cast<std::uintptr_t>(address)});
    }
}

} // namespace

bool TMapFile::ReadMapText(std::string_view text) {
    MapSection section = MapSection::None;
    bool sectionHasEntries = false;
    MapLayout layout;
    const std::size_t segmentsBefore = Segments.size(), publicsBefore = Publics.size(),
                      linesBefore = Lines.size();
    std::size_t at = 0;
    while (at < text.size()) {
        const std::string_view line = NextLine(text, at);
        if (line.empty()) {
            if (sectionHasEntries) section = MapSection::None;
            continue;
        }
        if (const auto heading = SectionHeading(line)) {
            section = *heading;
            sectionHasEntries = false;
            // Publics look up the segment that holds them.
            if (section == MapSection::Publics) sortSegments(Segments);
            continue;
        }
        if (auto p = line.find("Program entry point at "); p != line.npos) {
            std::size_t colon = p + 23 + 4;
            if (line.size() >= 35 && charAt(line, colon, ':') && hexDigitsAt(line, colon + 1, 8))
                EntryPoint = hexAt(line, colon + 1, 8) + Ranges.CodeStart;
            continue;
        }
        if (section == MapSection::None) continue;
        sectionHasEntries = true;
        switch (section) {
        case MapSection::None:
            break;
        case MapSection::SegmentTable:
            ReadSegmentTableLine(line, layout);
            break;
        case MapSection::Detailed:
            if (auto s = DetailedSegment(line, layout, Ranges)) AddSegment(std::move(*s), false);
            break;
        case MapSection::Publics:
            if (auto p = PublicSymbol(line, layout, Ranges)) {
                if (const TSegmentRec* s = SegmentAt(p->Code, p->Address))
                    removeUnitPrefix(p->Name, s->UnitName);
                Publics.push_back(std::move(*p));
            }
            break;
        case MapSection::Lines:
            ReadLineNumbers(line, layout, Ranges, Lines);
            break;
        }
    }
    sortSegments(Segments);
    std::stable_sort(Publics.begin(), Publics.end(),
                     [](const TPublicRec& a, const TPublicRec& b) { return a.Address < b.Address; });
    return Segments.size() > segmentsBefore || Publics.size() > publicsBefore ||
           Lines.size() > linesBefore;
}

// ---- packed format -------------------------------------------------------------

namespace {

struct PackedReader {
    TMiniStream& s;
    bool ok = true;
    std::uint32_t u32() {
        unsigned char b[4];
        if (s.Read(b, 4) != 4) {
            ok = false;
            return 0;
        }
        return u32At(std::string_view(reinterpret_cast<char*>(b), 4), 0);
    }
    std::uint8_t u8() {
        unsigned char b = 0;
        if (s.Read(&b, 1) != 1) ok = false;
        return b;
    }
    std::int32_t compact() {
        auto b = static_cast<std::int8_t>(u8());
        if (b != -128) return b;
        return static_cast<std::int32_t>(u32());
    }
    std::string shortString() {
        std::size_t n = u8();
        std::string r(n, '\0');
        if (s.Read(r.data(), static_cast<std::int64_t>(n)) != static_cast<std::int64_t>(n)) ok = false;
        return r;
    }
    // A count that the remaining bytes can hold at minRecord bytes a record.
    bool count(std::uint32_t& n, std::uint32_t minRecord) {
        n = u32();
        if (ok && static_cast<std::uint64_t>(n) * minRecord > static_cast<std::uint64_t>(s.Remaining()))
            ok = false;
        return ok;
    }
};

} // namespace

bool TMapFile::ReadPackedPayload(TMiniStream& stream, bool synthesiseNames) {
    PackedReader r{stream};
    std::vector<TSegmentRec> segments;
    std::vector<TPublicRec> publics;
    std::vector<TLineRec> lines;
    std::uint32_t n = 0;
    if (!r.count(n, synthesiseNames ? 9 : 9)) return false;
    for (std::uint32_t i = 0; i < n && r.ok; ++i) {
        TSegmentRec s;
        s.Valid = s.Code = true;
        s.Start = r.u32() + Ranges.CodeStart;
        s.Length = r.u32();
        if (synthesiseNames) {
            s.Flag = r.u8();
            s.UnitName = "segment%" + vor::IntToStrEx(static_cast<std::int32_t>(i));
        } else {
            s.UnitName = stripUnitExtension(r.shortString());
            s.Flag = 0;
        }
        segments.push_back(std::move(s));
    }
    if (!r.ok || !r.count(n, synthesiseNames ? 1 : 2)) return false;
    std::uintptr_t address = Ranges.CodeStart;
    for (std::uint32_t i = 0; i < n && r.ok; ++i) {
        TPublicRec p;
        p.Valid = p.Code = true;
        p.Name = synthesiseNames ? "public%" + vor::IntToStrEx(static_cast<std::int32_t>(i)) : r.shortString();
        if (i == 0)
            address = r.u32() + Ranges.CodeStart;
        else
            address += static_cast<std::uintptr_t>(static_cast<std::intptr_t>(r.compact()));
        p.Address = address;
        publics.push_back(std::move(p));
    }
    if (!r.ok || !r.count(n, 2)) return false;
    std::int32_t line = 0;
    for (std::uint32_t i = 0; i < n && r.ok; ++i) {
        if (i == 0) {
            line = static_cast<std::int32_t>(r.u32());
            address = r.u32() + Ranges.CodeStart;
        } else {
            line = wrappingAdd(line, static_cast<std::uint32_t>(r.compact()));
            address += static_cast<std::uintptr_t>(static_cast<std::intptr_t>(r.compact()));
        }
        lines.push_back({line, address});
    }
    if (!r.ok) return false;
    if (stream.Remaining() == 4) EntryPoint = r.u32() + Ranges.CodeStart;
    for (auto& s : segments) AddSegment(std::move(s), true);
    sortSegments(Segments);
    Publics.insert(Publics.end(), publics.begin(), publics.end());
    std::stable_sort(Publics.begin(), Publics.end(),
                     [](const TPublicRec& a, const TPublicRec& b) { return a.Address < b.Address; });
    Lines.insert(Lines.end(), lines.begin(), lines.end());
    return true;
}

bool TMapFile::ReadPacked(std::string_view data) {
    if (data.size() <= 22 || data.substr(0, packedSignatureLength) !=
                                 std::string_view(packedSignature, packedSignatureLength))
        return false;
    const std::uint32_t payloadLength = u32At(data, 14);
    const std::uint32_t version = u32At(data, 18);
    if (version != 2 && version != 3) return false;
    const std::size_t payloadAt = version == 3 ? 34 : 22;
    if (data.size() < payloadAt || payloadLength > data.size() - payloadAt) return false;
    std::uint32_t check1 = 0, check2 = 0;
    std::uint8_t flags = 0;
    if (version == 3) {
        check1 = u32At(data, 22);
        check2 = u32At(data, 26);
        flags = static_cast<std::uint8_t>(data[30]);
    }
    if (!MinCheckText.empty()) {
        if (version != 3) return false;
        std::string expected = hex8(static_cast<std::uint32_t>(data.size())) + ", " + hex8(check1) +
                               ", " + hex8(check2);
        if (expected != MinCheckText) return false;
    }
    if (version == 3 && (flags & 1) != 0) {
        // The names live in the ".vor" file beside the module; its header
        // must carry the check text the module's own resource names.
        static constexpr char marker[] = "\fMinDebugInfo\f\x1f\0\0\0";
        std::string check;
        if (Ranges.Handle != 0)
            if (auto rc = findResource(Ranges.Handle, "RCDATA", "TVOREXCEPT")) {
                auto p = rc->find(std::string_view(marker, 18));
                if (p != std::string::npos && rc->size() - (p + 18) >= 31) check = rc->substr(p + 18, 31);
            }
        if (!check.empty() && !ModuleFileName.empty()) {
            TMapFile names(Ranges, ModuleFileName);
            names.MinCheckText = check;
            std::string file = readWholeFile(CompanionFileName(ModuleFileName, ".vor"));
            if (!file.empty() && names.ReadPacked(file)) {
                Segments = std::move(names.Segments);
                Publics = std::move(names.Publics);
                Lines = std::move(names.Lines);
                EntryPoint = names.EntryPoint;
                MinCheckText.clear();
                return true;
            }
        }
        MinCheckText = check.empty() ? "?" : check;
    } else {
        MinCheckText.clear();
    }
    std::string payload(data.substr(payloadAt, payloadLength));
    DecryptInPlace(payload, PackedDataKey(payloadLength));
    std::string plain = Uncompress(payload);
    if (plain.empty()) return false;
    TMiniStream stream(std::move(plain));
    return ReadPackedPayload(stream, !MinCheckText.empty());
}

// ---- ".jdbg" -------------------------------------------------------------------

namespace {

struct JdbgList {
    std::string_view data;
    std::size_t at;
    bool ok = true;
    static constexpr std::uint32_t end = 0x7FFFFFFF;
    std::uint32_t next() {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            if (at >= data.size()) {
                ok = false;
                return end;
            }
            auto b = static_cast<unsigned char>(data[at++]);
            v |= std::uint64_t{b & 0x7Fu} << shift;
            if ((b & 0x80) == 0) return static_cast<std::uint32_t>(v);
        }
        ok = false;
        return end;
    }
};

std::string jdbgName(std::string_view names, std::uint64_t offset) {
    if (offset >= names.size()) return {};
    std::string_view s = names.substr(offset);
    std::string out;
    if (s[0] == 1) {
        for (std::size_t i = 1; i < s.size() && s[i] != 0 && out.size() < 255; ++i)
            out += s[i] == '\xaa' ? s[i] : static_cast<char>(s[i] ^ '\xaa');
        return out;
    }
    if (s[0] == 2) {
        out = "@";
        s.remove_prefix(1);
    }
    static constexpr char codes[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_";
    for (std::size_t i = 0; i + 2 < s.size() + 2 && out.size() < 255; i += 3) {
        std::uint32_t v = 0;
        for (int k = 0; k < 3; ++k)
            if (i + k < s.size()) v |= std::uint32_t{static_cast<unsigned char>(s[i + k])} << (8 * k);
        for (int k = 0; k < 4; ++k) {
            std::uint32_t code = (v >> (6 * k)) & 63;
            if (code == 0 || out.size() >= 255) return out;
            out += codes[code - 1];
        }
        if (i + 3 >= s.size()) break;
    }
    return out;
}

} // namespace

namespace {

// The stored checksum C is right when C equals (every 4-byte-aligned dword
// of the file, summed, minus C) rotated right by 8 bits. The dwords include
// C's own bytes, which stand unaligned at 29..32.
bool jdbgChecksumHolds(std::string_view data) {
    const std::uint32_t stored = u32At(data, 29);
    std::uint32_t sum = 0 - stored;
    for (std::size_t i = 0; i + 4 <= data.size(); i += 4) sum += u32At(data, i);
    return ((sum >> 8) | (sum << 24)) == stored;
}

// One list of ".jdbg": entries of a fixed number of values, each a running
// total of its deltas, until the end value.
template <std::size_t Fields, class Entry>
bool readJdbgList(std::string_view data, std::size_t at, Entry entry) {
    JdbgList list{data, at};
    std::array<std::uint64_t, Fields> totals{};
    for (;;) {
        const std::uint32_t first = list.next();
        if (!list.ok) return false;
        if (first == JdbgList::end) return true;
        totals[0] += first;
        for (std::size_t f = 1; f < Fields; ++f) {
            const std::uint32_t delta = list.next();
            if (!list.ok || delta == JdbgList::end) return false;
            totals[f] += delta;
        }
        entry(totals);
    }
}

} // namespace

bool TMapFile::ReadJdbg(std::string_view data) {
    if (data.size() < 35 || data.size() % 4 != 0 || u32At(data, 0) != jdbgMagic || data[4] != 1)
        return false;
    if (data[33] != 0 && !jdbgChecksumHolds(data)) return false;
    const std::uint32_t unitsAt = u32At(data, 9), procsAt = u32At(data, 13), linesAt = u32At(data, 17),
                        namesAt = u32At(data, 21);
    if (unitsAt >= data.size() || procsAt >= data.size() || linesAt >= data.size() ||
        namesAt > data.size())
        return false;
    const std::string_view names = data.substr(namesAt);
    const std::uintptr_t base = Ranges.CodeStart;
    std::vector<TSegmentRec> segments;
    std::vector<TPublicRec> publics;
    std::vector<std::string> publicUnits;
    std::vector<TLineRec> lines;

    // Units: address, name.
    const bool unitsRead = readJdbgList<2>(data, unitsAt, [&](const std::array<std::uint64_t, 2>& v) {
        TSegmentRec s;
        s.Valid = s.Code = true;
        s.Start = static_cast<std::uintptr_t>(v[0]) + base;
        s.UnitName = stripUnitExtension(jdbgName(names, v[1]));
        segments.push_back(std::move(s));
    });
    // Procedures: address, unit name, name.
    const bool procsRead = readJdbgList<3>(data, procsAt, [&](const std::array<std::uint64_t, 3>& v) {
        TPublicRec p;
        p.Valid = p.Code = true;
        p.Address = static_cast<std::uintptr_t>(v[0]) + base;
        publicUnits.push_back(stripUnitExtension(jdbgName(names, v[1])));
        p.Name = jdbgName(names, v[2]);
        publics.push_back(std::move(p));
    });
    // Lines: address, line (a 32-bit number; hostile deltas wrap).
    const bool linesRead = readJdbgList<2>(data, linesAt, [&](const std::array<std::uint64_t, 2>& v) {
        lines.push_back({static_cast<std::int32_t>(static_cast<std::uint32_t>(v[1])),
                         static_cast<std::uintptr_t>(v[0]) + base});
    });
    if (!unitsRead || !procsRead || !linesRead) return false;
    Segments.insert(Segments.end(), segments.begin(), segments.end());
    MergeSegments(false);
    for (std::size_t i = 0; i < publics.size(); ++i) {
        // The procedure's own unit, else the one whose segment holds it.
        const TSegmentRec* s = SegmentAt(true, publics[i].Address);
        removeUnitPrefix(publics[i].Name, !publicUnits[i].empty() ? publicUnits[i]
                                          : s != nullptr          ? s->UnitName
                                                                  : std::string());
    }
    Publics.insert(Publics.end(), publics.begin(), publics.end());
    std::stable_sort(Publics.begin(), Publics.end(),
                     [](const TPublicRec& a, const TPublicRec& b) { return a.Address < b.Address; });
    Lines.insert(Lines.end(), lines.begin(), lines.end());
    return !segments.empty() || !publics.empty() || !lines.empty();
}

// ---- TD32 ----------------------------------------------------------------------

bool TMapFile::ReadTD32(std::string_view data) {
    TTD32Symbols parsed;
    if (!ParseTD32(data, Ranges, parsed)) return false;
    if (parsed.Segments.empty() && parsed.Procedures.empty() && parsed.Publics.empty() &&
        parsed.Lines.empty())
        return false;
    // Empty contributions would otherwise be stretched over their neighbours' gaps.
    std::erase_if(parsed.Segments, [](const TSegmentRec& s) { return s.Length == 0; });
    for (auto& s : parsed.Segments) s.UnitName = stripUnitExtension(std::move(s.UnitName));
    Segments.insert(Segments.end(), parsed.Segments.begin(), parsed.Segments.end());
    MergeSegments(false);

    // Publics first: at an address that also has a procedure, the procedure
    // comes last and is the one found.
    std::vector<TPublicRec> publics = std::move(parsed.Publics);
    publics.insert(publics.end(), parsed.Procedures.begin(), parsed.Procedures.end());
    for (auto& p : publics)
        removeUnitPrefix(p.Name, FindSegment(p.Code, p.Address).UnitName);
    Publics.insert(Publics.end(), publics.begin(), publics.end());
    std::stable_sort(Publics.begin(), Publics.end(), [](const TPublicRec& a, const TPublicRec& b) {
        return a.Address < b.Address;
    });
    auto same = [](const TPublicRec& a, const TPublicRec& b) {
        return a.Address == b.Address && a.Code == b.Code && a.Name == b.Name;
    };
    Publics.erase(std::unique(Publics.begin(), Publics.end(), same), Publics.end());
    Lines.insert(Lines.end(), parsed.Lines.begin(), parsed.Lines.end());
    return true;
}

namespace {

// Day number of a time in local time, as the file dates compare.
long localDay(std::time_t t) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return 0;
    return static_cast<long>(tm.tm_year) * 366 + tm.tm_yday;
}

// The whole ".tds" file beside the module, or empty when there is none, it
// cannot be read, it is too large, or its date (in whole local days) is
// before the module file's. Read whole rather than mapped: a file shortened
// while mapped would fault the reader.
std::string readTdsBeside(const std::string& moduleFileName) {
    const std::string path = CompanionFileName(moduleFileName, ".tds");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string data;
    struct stat tds = {};
    struct stat module = {};
    bool ok = ::fstat(fd, &tds) == 0 && S_ISREG(tds.st_mode) && tds.st_size > 0 &&
              static_cast<std::uint64_t>(tds.st_size) <= maxCompanionFileSize;
    // A module whose date cannot be read does not reject the file.
    if (ok && ::stat(moduleFileName.c_str(), &module) == 0 &&
        localDay(tds.st_mtime) < localDay(module.st_mtime))
        ok = false;
    if (ok) {
        data.resize(static_cast<std::size_t>(tds.st_size));
        std::size_t got = 0;
        while (got < data.size()) {
            const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        // A file that changed size while it was read is not used.
        if (got != data.size()) data.clear();
    }
    ::close(fd);
    return data;
}

} // namespace

// ---- lookups ---------------------------------------------------------------------

void TMapFile::SortLines() {
    std::stable_sort(Lines.begin(), Lines.end(),
                     [](const TLineRec& a, const TLineRec& b) { return a.Address < b.Address; });
}

// Segments are sorted code before data, then by start (longer first).
const TSegmentRec* TMapFile::SegmentAt(bool code, std::uintptr_t address) const {
    const auto classEnd = std::partition_point(Segments.begin(), Segments.end(),
                                               [](const TSegmentRec& s) { return s.Code; });
    const auto first = code ? Segments.begin() : classEnd;
    const auto last = code ? classEnd : Segments.end();
    auto it = std::upper_bound(first, last, address,
                               [](std::uintptr_t a, const TSegmentRec& s) { return a < s.Start; });
    // Among segments of the same start the shorter ones come last.
    while (it != first) {
        --it;
        if (address - it->Start < it->Length) return &*it;
        if (it == first || std::prev(it)->Start != it->Start) break;
    }
    return nullptr;
}

TSegmentRec TMapFile::FindSegment(bool code, std::uintptr_t address) const {
    const TSegmentRec* s = SegmentAt(code, address);
    return s != nullptr ? *s : TSegmentRec{};
}

TPublicRec TMapFile::FindPublic(std::uintptr_t address) const {
    auto it = std::upper_bound(Publics.begin(), Publics.end(), address,
                               [](std::uintptr_t a, const TPublicRec& p) { return a < p.Address; });
    if (it == Publics.begin()) return {};
    const TPublicRec& p = *std::prev(it);
    if (it == Publics.end() && Ranges.CodeEnd != 0 && address >= Ranges.CodeEnd) return {};
    // A code public does not reach past the code range.
    if (p.Code && Ranges.CodeEnd != 0 && (address >= Ranges.CodeEnd || address < Ranges.CodeStart))
        return {};
    return p;
}

std::uintptr_t TMapFile::FindSymbol(bool code, std::string_view unitName, bool caseSensitive,
                                    std::string_view symbolName) const {
    auto search = [&](std::string_view unit) -> std::uintptr_t {
        for (const auto& s : Segments) {
            if (s.Code != code || !vor::SameText(s.UnitName, unit)) continue;
            auto p = std::lower_bound(Publics.begin(), Publics.end(), s.Start,
                                      [](const TPublicRec& p, std::uintptr_t a) { return p.Address < a; });
            for (; p != Publics.end() && p->Address - s.Start < s.Length; ++p)
                if (p->Code == code &&
                    (caseSensitive ? p->Name == symbolName : vor::SameText(p->Name, symbolName)))
                    return p->Address;
        }
        return 0;
    };
    if (auto found = search(unitName)) return found;
    if (unitName.find('.') != std::string_view::npos) return 0;
    for (const char* ext : {".cpp", ".h", ".c"})
        if (auto found = search(std::string(unitName) + ext)) return found;
    return 0;
}

TMapFile::TLineLookup TMapFile::LookUpLine(std::uintptr_t address) const {
    TLineLookup r;
    r.Segment = SegmentAt(true, address);
    if (Lines.empty()) {
        r.Line = r.Segment != nullptr && !r.Segment->UnitName.empty() ? -1 : 0;
        return r;
    }
    auto it = std::upper_bound(Lines.begin(), Lines.end(), address,
                               [](std::uintptr_t a, const TLineRec& l) { return a < l.Address; });
    if (it == Lines.begin()) return r;
    if (it == Lines.end() && Ranges.CodeEnd != 0 && address >= Ranges.CodeEnd) return r;
    const TLineRec& rec = *std::prev(it);
    // The record counts only inside the address's own code segment.
    if (r.Segment == nullptr || rec.Address < r.Segment->Start) return r;
    r.Record = &rec;
    r.Following = it != Lines.end() ? &*it : nullptr;
    r.Line = rec.Line;
    return r;
}

std::int32_t TMapFile::LineOf(std::uintptr_t address, std::uintptr_t& next) const {
    const TLineLookup r = LookUpLine(address);
    next = r.Following != nullptr ? r.Following->Address : address + 1;
    return r.Line;
}

std::int32_t TMapFile::LineRange(std::uintptr_t address, std::uintptr_t& first, std::uintptr_t& end) const {
    const TLineLookup r = LookUpLine(address);
    first = address;
    end = address + 1;
    if (r.Record == nullptr) return r.Line;
    first = r.Record->Address;
    end = r.Segment->Start + r.Segment->Length;
    if (r.Following != nullptr) end = std::min(end, r.Following->Address);
    if (Ranges.CodeEnd != 0) end = std::min(end, Ranges.CodeEnd);
    return r.Line;
}

// ---- building and the cache --------------------------------------------------------

std::shared_ptr<TMapFile> TMapFile::Build(const TModuleRanges& ranges, const std::string& fileName) {
    auto map = std::make_shared<TMapFile>(ranges, fileName);
    bool found = false;
    if (ranges.Handle != 0)
        if (auto packed = findResource(ranges.Handle, "VOR", "EXCEPT")) found = map->ReadPacked(*packed);
    if (!found && !fileName.empty())
        if (auto tds = readTdsBeside(fileName); !tds.empty()) found = map->ReadTD32(tds);
    if (!found && !fileName.empty()) {
        if (auto text = readWholeFile(CompanionFileName(fileName, ".map")); !text.empty())
            found = map->ReadMapText(text);
        if (!found)
            if (auto vor = readWholeFile(CompanionFileName(fileName, ".vor")); !vor.empty())
                found = map->ReadPacked(vor);
        if (!found)
            if (auto jdbg = readWholeFile(CompanionFileName(fileName, ".jdbg")); !jdbg.empty())
                found = map->ReadJdbg(jdbg);
    }
    map->SortLines();
    map->Valid = found;
    return map;
}

namespace {

struct CacheEntry {
    std::int64_t stamp = 0;
    std::shared_ptr<const TMapFile> reader;
};

std::mutex cacheMutex;
// Moves whenever a reader enters or leaves the cache, so that the line
// service's own cache does not outlive the reader it came from.
std::atomic<std::uint64_t> cacheGeneration{0};
std::map<std::string, CacheEntry>& cache() {
    static std::map<std::string, CacheEntry> entries;
    return entries;
}

std::int64_t fileStamp(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec +
           (static_cast<std::int64_t>(st.st_size) << 1);
}

} // namespace

std::shared_ptr<const TMapFile> MapFileForAddress(std::uintptr_t address) {
    auto module = address == 0 ? programModule() : moduleOfAddress(address);
    if (!module || module->fileName.empty()) return nullptr;
    const std::int64_t stamp = fileStamp(module->fileName);
    {
        std::lock_guard lock(cacheMutex);
        auto it = cache().find(module->fileName);
        if (it != cache().end() && it->second.stamp == stamp &&
            it->second.reader->Ranges.Handle == module->handle)
            return it->second.reader;
    }
    TModuleRanges ranges{module->handle, module->codeStart, module->codeEnd, module->dataStart,
                         module->dataEnd};
    auto reader = TMapFile::Build(ranges, module->fileName);
    if (!reader->Valid) return nullptr;
    // Whatever address found the module first.
    const auto program = programModule();
    reader->OwnModule = program && program->handle == module->handle;
    std::lock_guard lock(cacheMutex);
    cache()[module->fileName] = {stamp, reader};
    ++cacheGeneration;
    return reader;
}

void ClearMapFileCache() {
    std::lock_guard lock(cacheMutex);
    cache().clear();
    ++cacheGeneration;
}

bool GetAddressInfo(std::uintptr_t address, TAddressInfo& info) {
    info = {};
    auto reader = MapFileForAddress(address);
    if (!reader) return false;
    info.ModuleFileName = reader->ModuleFileName;
    info.UnitName = reader->FindSegment(true, address).UnitName;
    auto p = reader->FindPublic(address);
    if (p.Valid) {
        info.SymbolStart = p.Address;
        info.SymbolName = p.Name;
    }
    std::uintptr_t next = 0;
    info.Line = std::max(reader->LineOf(address, next), 0);
    return true;
}

std::string SymbolNameAt(std::uintptr_t address) {
    auto reader = MapFileForAddress(address);
    if (!reader) return {};
    auto p = reader->FindPublic(address);
    if (!p.Valid || p.Address != address) return {};
    std::string unit = reader->FindSegment(p.Code, address).UnitName;
    std::string name = unit.empty() ? p.Name : unit + "." + p.Name;
    if (p.Name.find('%') != std::string::npos) {
        auto slash = reader->ModuleFileName.rfind('/');
        name += " (" + reader->ModuleFileName.substr(slash == std::string::npos ? 0 : slash + 1) + ")";
    }
    return name;
}

std::int32_t LineAt(std::uintptr_t address) {
    struct TLineCache {
        std::uint64_t Generation = ~std::uint64_t{0};
        std::uintptr_t First = 1, End = 0;
        std::int32_t Line = 0;
    };
    thread_local TLineCache cached;
    const std::uint64_t generation = cacheGeneration.load();
    if (cached.Generation == generation && address >= cached.First && address < cached.End)
        return cached.Line;
    auto reader = MapFileForAddress(address);
    if (!reader) return 0;
    std::uintptr_t first = 0, end = 0;
    const std::int32_t line = std::max(reader->LineRange(address, first, end), 0);
    cached = {generation, first, end, line};
    return line;
}

} // namespace ax
