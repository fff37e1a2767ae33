// TD32 symbol information: segments, procedures, data, publics and line
// numbers of the modules (units) of one program. The record layouts are
// written down in docs/layers/crash.md. Every offset, count and length is
// checked against the block before it is used; anything that does not fit
// rejects the whole block, so a damaged file leaves the reader as it was.
#include "vorTD32.h"

#include <cstdint>
#include <string>

namespace ax {

namespace {

constexpr std::uint32_t signatureFB09 = 0x39304246;
constexpr std::uint32_t signatureFB0A = 0x41304246;

constexpr std::uint16_t sstModule = 0x120;
constexpr std::uint16_t sstAlignSym = 0x125;
constexpr std::uint16_t sstSrcModule = 0x127;
constexpr std::uint16_t sstGlobalSym = 0x129;
constexpr std::uint16_t sstGlobalPub = 0x12A;
constexpr std::uint16_t sstNames = 0x130;
constexpr std::uint16_t sstStaticSym = 0x134;

constexpr std::uint16_t symPublicCode = 0x20;
constexpr std::uint16_t symPublicData = 0x21;
constexpr std::uint16_t symLocalData = 0x201;
constexpr std::uint16_t symGlobalData = 0x202;
constexpr std::uint16_t symLocalProc = 0x204;
constexpr std::uint16_t symGlobalProc = 0x205;

constexpr std::uint16_t codeSegment = 1;
constexpr std::uint16_t dataSegment = 2;

constexpr int maxDirectories = 64;

struct Malformed {};

// A bounds-checked little-endian view; a read outside it throws Malformed.
class Block {
public:
    explicit Block(std::string_view data) : Data(data) {}
    std::uint64_t Size() const { return Data.size(); }
    void Need(std::uint64_t at, std::uint64_t count) const {
        if (at > Data.size() || count > Data.size() - at) throw Malformed{};
    }
    std::uint8_t U8(std::uint64_t at) const {
        Need(at, 1);
        return static_cast<std::uint8_t>(Data[at]);
    }
    std::uint16_t U16(std::uint64_t at) const {
        Need(at, 2);
        return static_cast<std::uint16_t>(byte(at) | byte(at + 1) << 8);
    }
    std::uint32_t U32(std::uint64_t at) const {
        Need(at, 4);
        return byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24;
    }
    Block Sub(std::uint64_t at, std::uint64_t count) const {
        Need(at, count);
        return Block(Data.substr(at, count));
    }
    std::string_view Data;

private:
    std::uint32_t byte(std::uint64_t at) const { return static_cast<unsigned char>(Data[at]); }
};

struct DirEntry {
    std::uint16_t Type = 0;
    std::uint32_t Offset = 0, Size = 0;
};

class Td32Parser {
public:
    Td32Parser(std::string_view data, const TModuleRanges& ranges)
        : File(data), Ranges(ranges), LineBudget(data.size() / 6), TableBudget(data.size() / 4) {}

    std::vector<TSegmentRec> Segments;
    std::vector<TPublicRec> Procedures; // procedures and data symbols
    std::vector<TPublicRec> Publics;
    std::vector<TLineRec> Lines;

    void Parse() {
        const std::uint32_t signature = File.U32(0);
        if (signature != signatureFB09 && signature != signatureFB0A) throw Malformed{};
        const auto entries = readDirectory();
        // The name table usually comes last; every other subsection refers to it.
        for (const auto& e : entries)
            if (e.Type == sstNames) readNames(File.Sub(e.Offset, e.Size));
        for (const auto& e : entries) {
            Block sub = File.Sub(e.Offset, e.Size);
            switch (e.Type) {
            case sstModule:
                readModule(sub);
                break;
            case sstAlignSym:
                sub.Need(0, 4); // the symbol-format signature
                readSymbols(sub.Sub(4, sub.Size() - 4));
                break;
            case sstGlobalSym:
            case sstGlobalPub:
            case sstStaticSym:
                readHashedSymbols(sub);
                break;
            case sstSrcModule:
                readSourceModule(sub);
                break;
            default:
                break;
            }
        }
    }

private:
    Block File;
    const TModuleRanges& Ranges;
    std::vector<std::string_view> Names;
    std::uint64_t LineBudget, TableBudget;

    std::vector<DirEntry> readDirectory() const {
        std::vector<DirEntry> entries;
        std::uint64_t at = File.U32(4);
        for (int n = 0;; ++n) {
            if (n == maxDirectories) throw Malformed{};
            const std::uint16_t headerSize = File.U16(at), entrySize = File.U16(at + 2);
            const std::uint32_t count = File.U32(at + 4), next = File.U32(at + 8);
            if (headerSize < 16 || entrySize < 12) throw Malformed{};
            File.Need(at, headerSize + std::uint64_t{count} * entrySize);
            entries.reserve(entries.size() + count);
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint64_t e = at + headerSize + std::uint64_t{i} * entrySize;
                DirEntry entry{File.U16(e), File.U32(e + 4), File.U32(e + 8)};
                File.Need(entry.Offset, entry.Size);
                entries.push_back(entry);
            }
            if (next == 0) return entries;
            at = next;
        }
    }

    // u32 count; per name: u8 length, the characters, a terminating zero.
    void readNames(Block b) {
        const std::uint32_t count = b.U32(0);
        if (count > (b.Size() - 4) / 2) throw Malformed{};
        Names.clear();
        Names.reserve(count);
        std::uint64_t at = 4;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t length = b.U8(at);
            if (b.U8(at + 1 + length) != 0) throw Malformed{};
            Names.push_back(b.Data.substr(at + 1, length));
            at += 2u + length;
        }
    }

    // Index 0 is "no name"; the table counts from 1.
    std::string name(std::uint32_t index) const {
        if (index == 0) return {};
        if (index > Names.size()) throw Malformed{};
        return std::string(Names[index - 1]);
    }

    bool baseOf(std::uint16_t segment, std::uintptr_t& base) const {
        if (segment == codeSegment)
            base = Ranges.CodeStart;
        else if (segment == dataSegment)
            base = Ranges.DataStart;
        else
            return false;
        return true;
    }

    // u16 overlay, u16 library, u16 segment count, u16 style, u32 name,
    // u32 time stamp, 3 x u32 reserved; then per segment u16 segment,
    // u16 flags, u32 offset, u32 size.
    void readModule(Block b) {
        const std::uint16_t count = b.U16(4);
        std::string unit = name(b.U32(8));
        const auto slash = unit.find_last_of("\\/:");
        if (slash != std::string::npos) unit.erase(0, slash + 1);
        b.Need(28, std::uint64_t{count} * 12);
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::uint64_t at = 28 + std::uint64_t{i} * 12;
            std::uintptr_t base = 0;
            const std::uint16_t segment = b.U16(at);
            if (!baseOf(segment, base)) continue;
            TSegmentRec s;
            s.Valid = true;
            s.Code = segment == codeSegment;
            s.Start = base + b.U32(at + 4);
            s.Length = b.U32(at + 8);
            s.UnitName = unit;
            Segments.push_back(std::move(s));
        }
    }

    // Records: u16 length (of what follows), u16 type, fields.
    void readSymbols(Block b) {
        std::uint64_t at = 0;
        while (b.Size() - at >= 4) { // fewer bytes left are padding
            const std::uint16_t length = b.U16(at);
            if (length < 2) throw Malformed{};
            readSymbol(b.Sub(at + 2, length));
            at += 2u + length;
        }
    }

    // u16 name hash, u16 address hash, u32 symbol bytes, u32 name-hash
    // bytes, u32 address-hash bytes; the symbols follow.
    void readHashedSymbols(Block b) {
        const std::uint32_t symbolBytes = b.U32(4);
        b.Need(16, std::uint64_t{symbolBytes} + b.U32(8) + b.U32(12));
        readSymbols(b.Sub(16, symbolBytes));
    }

    void readSymbol(Block r) {
        const std::uint16_t type = r.U16(0);
        bool code = false;
        std::uint64_t offsetAt = 0, nameAt = 0;
        switch (type) {
        case symLocalProc:
        case symGlobalProc:
            // parent, end, next, length, debug start, debug end, offset,
            // segment, flags, type, name
            code = true;
            offsetAt = 26;
            nameAt = 38;
            break;
        case symLocalData:
        case symGlobalData:
        case symPublicCode:
        case symPublicData:
            // offset, segment, flags, type, name
            code = type == symPublicCode;
            offsetAt = 2;
            nameAt = 14;
            break;
        default:
            return;
        }
        TPublicRec p;
        p.Name = name(r.U32(nameAt));
        const std::uint16_t segment = r.U16(offsetAt + 4);
        std::uintptr_t base = 0;
        if (segment != (code ? codeSegment : dataSegment) || !baseOf(segment, base)) return;
        p.Valid = true;
        p.Code = code;
        p.Address = base + r.U32(offsetAt);
        (type == symPublicCode || type == symPublicData ? Publics : Procedures)
            .push_back(std::move(p));
    }

    // u16 file count, u16 segment count, u32 file-table offsets, per segment
    // u32 start and end, u16 segment numbers. A file table: u16 segment
    // count, u16 pad, u32 line-table offsets, per segment u32 start and end,
    // u32 name. A line table: u16 segment, u16 pair count, u32 offsets,
    // u16 line numbers.
    void readSourceModule(Block b) {
        const std::uint16_t files = b.U16(0), segments = b.U16(2);
        b.Need(4, std::uint64_t{files} * 4 + std::uint64_t{segments} * 10);
        for (std::uint16_t f = 0; f < files; ++f) {
            const std::uint64_t fileAt = b.U32(4 + std::uint64_t{f} * 4);
            const std::uint16_t tables = b.U16(fileAt);
            b.Need(fileAt + 4, std::uint64_t{tables} * 12 + 4);
            name(b.U32(fileAt + 4 + std::uint64_t{tables} * 12));
            for (std::uint16_t t = 0; t < tables; ++t) {
                // Tables may be shared; the budgets keep aliasing from
                // multiplying the work beyond what the bytes can hold.
                if (TableBudget-- == 0) throw Malformed{};
                readLineTable(b, b.U32(fileAt + 4 + std::uint64_t{t} * 4));
            }
        }
    }

    void readLineTable(const Block& b, std::uint64_t at) {
        const std::uint16_t segment = b.U16(at), pairs = b.U16(at + 2);
        b.Need(at + 4, std::uint64_t{pairs} * 6);
        if (segment != codeSegment) return;
        if (pairs > LineBudget) throw Malformed{};
        LineBudget -= pairs;
        const std::uint64_t linesAt = at + 4 + std::uint64_t{pairs} * 4;
        for (std::uint16_t i = 0; i < pairs; ++i)
            Lines.push_back({b.U16(linesAt + std::uint64_t{i} * 2),
                             Ranges.CodeStart + b.U32(at + 4 + std::uint64_t{i} * 4)});
    }
};

} // namespace

bool ParseTD32(std::string_view data, const TModuleRanges& ranges, TTD32Symbols& symbols) {
    Td32Parser parser(data, ranges);
    try {
        parser.Parse();
    } catch (const Malformed&) {
        return false;
    }
    symbols.Segments = std::move(parser.Segments);
    symbols.Procedures = std::move(parser.Procedures);
    symbols.Publics = std::move(parser.Publics);
    symbols.Lines = std::move(parser.Lines);
    return true;
}

} // namespace ax
