#pragma once
// Test support: writers of the packed debug format and of ".jdbg" files,
// so that their readers are tested on real data. Offsets are relative to
// the module's code range start.
#include "crash/vorCrypt.h"
#include "crash/vorMapFile.h"
#include "deflate.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ax::testsupport {

struct PackedSegment {
    std::uint32_t start, length;
    std::string unit;
};
struct PackedPublic {
    std::string name;
    std::uint32_t offset;
};
struct PackedLine {
    std::int32_t line;
    std::uint32_t offset;
};

inline void putCompact(std::string& s, std::int64_t v) {
    if (v >= -127 && v <= 127) {
        s += static_cast<char>(static_cast<std::int8_t>(v));
    } else {
        s += '\x80';
        putU32(s, static_cast<std::uint32_t>(v));
    }
}

inline void putShort(std::string& s, const std::string& text) {
    s += static_cast<char>(text.size());
    s += text;
}

// The plain payload; with minimal names no names are written, only a flag
// byte per segment.
inline std::string packedPayload(const std::vector<PackedSegment>& segments,
                                 const std::vector<PackedPublic>& publics,
                                 const std::vector<PackedLine>& lines, bool minimal = false,
                                 const std::uint32_t* entry = nullptr) {
    std::string p;
    putU32(p, static_cast<std::uint32_t>(segments.size()));
    for (const auto& s : segments) {
        putU32(p, s.start);
        putU32(p, s.length);
        if (minimal)
            p += '\0';
        else
            putShort(p, s.unit);
    }
    putU32(p, static_cast<std::uint32_t>(publics.size()));
    for (std::size_t i = 0; i < publics.size(); ++i) {
        if (!minimal) putShort(p, publics[i].name);
        if (i == 0)
            putU32(p, publics[i].offset);
        else
            putCompact(p, std::int64_t{publics[i].offset} - publics[i - 1].offset);
    }
    putU32(p, static_cast<std::uint32_t>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 0) {
            putU32(p, static_cast<std::uint32_t>(lines[i].line));
            putU32(p, lines[i].offset);
        } else {
            putCompact(p, std::int64_t{lines[i].line} - lines[i - 1].line);
            putCompact(p, std::int64_t{lines[i].offset} - lines[i - 1].offset);
        }
    }
    if (entry) putU32(p, *entry);
    return p;
}

// Header, then the compressed and enciphered payload.
inline std::string packedData(const std::string& plainPayload, std::uint32_t version = 3,
                              std::uint32_t check1 = 0, std::uint32_t check2 = 0,
                              std::uint8_t flags = 0) {
    std::string payload = zipContainer(plainPayload);
    EncryptInPlace(payload, PackedDataKey(static_cast<std::uint32_t>(payload.size())));
    std::string d(packedSignature, packedSignatureLength);
    putU32(d, static_cast<std::uint32_t>(payload.size()));
    putU32(d, version);
    if (version == 3) {
        putU32(d, check1);
        putU32(d, check2);
        d += static_cast<char>(flags);
        d += std::string(3, '\0');
    }
    return d + payload;
}

// ".jdbg" names: 6-bit packing, "@" packing or the XOR text form.
inline std::string jdbgName(const std::string& name) {
    auto code = [](char c) -> int {
        if (c >= '0' && c <= '9') return 1 + (c - '0');
        if (c >= 'A' && c <= 'Z') return 11 + (c - 'A');
        if (c >= 'a' && c <= 'z') return 37 + (c - 'a');
        if (c == '_') return 63;
        return -1;
    };
    std::string body = name;
    std::string prefix;
    if (!body.empty() && body[0] == '@') {
        prefix = "\x02";
        body.erase(0, 1);
    }
    bool packable = !body.empty();
    for (char c : body) packable = packable && code(c) > 0;
    std::string out;
    if (packable) {
        std::vector<int> codes;
        for (char c : body) codes.push_back(code(c));
        codes.push_back(0);
        while (codes.size() % 4) codes.push_back(0);
        for (std::size_t i = 0; i < codes.size(); i += 4) {
            std::uint32_t v = codes[i] | codes[i + 1] << 6 | codes[i + 2] << 12 | codes[i + 3] << 18;
            out += static_cast<char>(v & 0xFF);
            out += static_cast<char>((v >> 8) & 0xFF);
            out += static_cast<char>((v >> 16) & 0xFF);
        }
        // A first byte of 1 or 2 would read as a form marker.
        if (prefix.empty() && (out[0] == 1 || out[0] == 2)) packable = false;
    }
    if (!packable) {
        out = "\x01";
        for (char c : name) out += c == '\xaa' ? c : static_cast<char>(c ^ '\xaa');
        out += '\0';
        return out;
    }
    return prefix + out;
}

inline void putJdbgValue(std::string& s, std::uint32_t v) {
    do {
        std::uint8_t b = v & 0x7F;
        v >>= 7;
        if (v) b |= 0x80;
        s += static_cast<char>(b);
    } while (v);
}

struct JdbgEntry {
    std::uint32_t offset;
    std::string name;
};
struct JdbgProc {
    std::uint32_t offset;
    std::string unit;
    std::string name;
};

// The checksum that makes the reader's check hold. The check sums the
// aligned dwords (the checksum's own bytes among them, at 29..32), takes the
// checksum away and rotates right by 8; the checksum's bytes then add up to
// the checksum rotated left by 8, and the rotations cancel: what remains is
// the plain sum of the aligned dwords with the checksum bytes zero.
inline std::uint32_t jdbgPlainSum(const std::string& file) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= file.size(); i += 4) {
        std::uint32_t d = 0;
        for (std::size_t b = 0; b < 4; ++b)
            if (i + b < 29 || i + b > 32) d |= std::uint32_t{static_cast<unsigned char>(file[i + b])} << (8 * b);
        sum += d;
    }
    return sum;
}

// Lists of running totals: units (address, name), procedures (address, unit
// name, name), lines (address, line).
inline std::string jdbgFile(const std::vector<JdbgEntry>& units, const std::vector<JdbgProc>& procs,
                            const std::vector<PackedLine>& lines, bool checksum = true) {
    std::string names;
    auto nameAt = [&](const std::string& name) {
        auto at = static_cast<std::uint32_t>(names.size());
        names += jdbgName(name);
        return at;
    };
    std::string unitList;
    {
        std::uint32_t address = 0, name = 0;
        for (const auto& e : units) {
            const std::uint32_t at = nameAt(e.name);
            putJdbgValue(unitList, e.offset - address);
            putJdbgValue(unitList, at - name);
            address = e.offset;
            name = at;
        }
        putJdbgValue(unitList, 0x7FFFFFFF);
    }
    std::string procList;
    {
        std::uint32_t address = 0, unit = 0, name = 0;
        for (const auto& e : procs) {
            const std::uint32_t unitAt = nameAt(e.unit), at = nameAt(e.name);
            putJdbgValue(procList, e.offset - address);
            putJdbgValue(procList, unitAt - unit);
            putJdbgValue(procList, at - name);
            address = e.offset;
            unit = unitAt;
            name = at;
        }
        putJdbgValue(procList, 0x7FFFFFFF);
    }
    std::string lineList;
    std::uint32_t address = 0, line = 0;
    for (const auto& l : lines) {
        putJdbgValue(lineList, l.offset - address);
        putJdbgValue(lineList, static_cast<std::uint32_t>(l.line) - line);
        address = l.offset;
        line = static_cast<std::uint32_t>(l.line);
    }
    putJdbgValue(lineList, 0x7FFFFFFF);
    std::string f;
    putU32(f, jdbgMagic);
    f += '\x01';
    f += std::string(4, '\0');
    const std::uint32_t headerSize = 36;
    putU32(f, headerSize);
    putU32(f, headerSize + static_cast<std::uint32_t>(unitList.size()));
    putU32(f, headerSize + static_cast<std::uint32_t>(unitList.size() + procList.size()));
    putU32(f, headerSize + static_cast<std::uint32_t>(unitList.size() + procList.size() + lineList.size()));
    f += std::string(4, '\0'); // 25..28
    f += std::string(4, '\0'); // 29..32 checksum
    f += checksum ? '\x01' : '\0';
    f += std::string(2, '\0'); // to 36
    f += unitList + procList + lineList + names;
    while (f.size() % 4) f += '\0';
    if (checksum) {
        const std::uint32_t c = jdbgPlainSum(f);
        for (int i = 0; i < 4; ++i) f[29 + i] = static_cast<char>((c >> (8 * i)) & 0xFF);
    }
    return f;
}

} // namespace ax::testsupport
