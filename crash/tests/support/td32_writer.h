#pragma once
// Test support: builds synthetic TD32 symbol information (as found in a
// ".tds" file) from a description of modules, symbols and line numbers, and
// records where it wrote every count, offset and name index so that tests
// can damage exactly those fields.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ax::testsupport {

struct Td32SegmentInfo {
    std::uint16_t segment; // 1 code, 2 data
    std::uint32_t offset, size;
};

struct Td32Symbol {
    std::uint16_t type; // 0x204/0x205 procedures, 0x201/0x202 data, 0x20/0x21 publics
    std::uint16_t segment;
    std::uint32_t offset;
    std::string name;
    std::uint32_t length = 0; // procedures only
};

struct Td32LineTable {
    std::uint16_t segment;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> lines; // offset, line
};

struct Td32SourceFile {
    std::string name;
    std::vector<Td32LineTable> tables;
};

struct Td32Module {
    std::string name;
    std::vector<Td32SegmentInfo> segments;
    std::vector<Td32Symbol> symbols;     // in the module's aligned-symbol subsection
    std::vector<Td32SourceFile> sources; // in its source-module subsection
};

struct Td32Field {
    std::size_t at;
    int width; // 2 or 4
};

struct Td32Image {
    std::string bytes;
    std::vector<Td32Field> fields; // counts, offsets, lengths and name indexes
};

class Td32Writer {
public:
    std::uint32_t signature = 0x39304246; // "FB09"
    std::vector<Td32Module> modules;
    std::vector<Td32Symbol> globalPublics; // in a hashed global-publics subsection

    Td32Image Build() {
        out = {};
        names.clear();
        nameList.clear();
        std::vector<Entry> entries;
        u32(signature);
        const std::size_t dirField = field32(0);

        for (std::size_t m = 0; m < modules.size(); ++m) {
            const auto index = static_cast<std::uint16_t>(m + 1);
            const Td32Module& mod = modules[m];
            entries.push_back(begin(0x120, index));
            u16(0);
            u16(0);
            field16(static_cast<std::uint16_t>(mod.segments.size()));
            u16(0);
            field32(name(mod.name));
            for (int i = 0; i < 4; ++i)
                u32(0);
            for (const auto& s : mod.segments) {
                u16(s.segment);
                u16(0);
                u32(s.offset);
                u32(s.size);
            }
            finish(entries.back());
            if (!mod.symbols.empty()) {
                entries.push_back(begin(0x125, index));
                u32(1);
                for (const auto& s : mod.symbols)
                    symbol(s);
                finish(entries.back());
            }
            if (!mod.sources.empty()) {
                entries.push_back(begin(0x127, index));
                sourceModule(mod.sources);
                finish(entries.back());
            }
        }
        if (!globalPublics.empty()) {
            entries.push_back(begin(0x12A, 0xFFFF));
            u16(0);
            u16(0);
            const std::size_t bytesField = field32(0);
            u32(0);
            u32(0);
            const std::size_t start = out.bytes.size();
            for (const auto& s : globalPublics)
                symbol(s);
            put32(bytesField, static_cast<std::uint32_t>(out.bytes.size() - start));
            finish(entries.back());
        }
        entries.push_back(begin(0x130, 0xFFFF));
        field32(static_cast<std::uint32_t>(nameList.size()));
        for (const auto& n : nameList) {
            out.bytes += static_cast<char>(n.size());
            out.bytes += n;
            out.bytes += '\0';
        }
        finish(entries.back());

        align();
        put32(dirField, static_cast<std::uint32_t>(out.bytes.size()));
        field16(16);
        field16(12);
        field32(static_cast<std::uint32_t>(entries.size()));
        field32(0); // next directory
        u32(0);
        for (const auto& e : entries) {
            u16(e.type);
            u16(e.module);
            field32(e.offset);
            field32(e.size);
        }
        return out;
    }

private:
    struct Entry {
        std::uint16_t type, module;
        std::uint32_t offset = 0, size = 0;
    };
    Td32Image out;
    std::map<std::string, std::uint32_t> names;
    std::vector<std::string> nameList;

    std::uint32_t name(const std::string& n) {
        auto [it, added] = names.try_emplace(n, static_cast<std::uint32_t>(nameList.size() + 1));
        if (added) nameList.push_back(n);
        return it->second;
    }
    void u16(std::uint16_t v) {
        out.bytes += static_cast<char>(v & 0xFF);
        out.bytes += static_cast<char>(v >> 8);
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    std::size_t field16(std::uint16_t v) {
        out.fields.push_back({out.bytes.size(), 2});
        u16(v);
        return out.fields.back().at;
    }
    std::size_t field32(std::uint32_t v) {
        out.fields.push_back({out.bytes.size(), 4});
        u32(v);
        return out.fields.back().at;
    }
    void align() {
        while (out.bytes.size() % 4 != 0)
            out.bytes += '\0';
    }
    Entry begin(std::uint16_t type, std::uint16_t module) {
        align();
        return {type, module, static_cast<std::uint32_t>(out.bytes.size())};
    }
    void finish(Entry& e) { e.size = static_cast<std::uint32_t>(out.bytes.size() - e.offset); }

    void symbol(const Td32Symbol& s) {
        const bool procedure = s.type == 0x204 || s.type == 0x205;
        field16(procedure ? 46 : 22);
        u16(s.type);
        if (procedure) {
            for (int i = 0; i < 3; ++i)
                u32(0); // parent, end, next
            u32(s.length);
            u32(0); // debug start
            u32(s.length);
        }
        u32(s.offset);
        u16(s.segment);
        u16(0); // flags
        u32(0); // type index
        field32(name(s.name));
        u32(0); // browser offset
    }

    void sourceModule(const std::vector<Td32SourceFile>& files) {
        const std::size_t base = out.bytes.size();
        std::vector<std::uint16_t> segments;
        for (const auto& f : files)
            for (const auto& t : f.tables)
                if (std::find(segments.begin(), segments.end(), t.segment) == segments.end())
                    segments.push_back(t.segment);
        field16(static_cast<std::uint16_t>(files.size()));
        field16(static_cast<std::uint16_t>(segments.size()));
        std::vector<std::size_t> fileFields;
        for (std::size_t i = 0; i < files.size(); ++i)
            fileFields.push_back(field32(0));
        for (std::size_t i = 0; i < segments.size(); ++i) {
            u32(0);
            u32(0);
        }
        for (auto s : segments)
            u16(s);
        align();
        for (std::size_t i = 0; i < files.size(); ++i) {
            const auto& f = files[i];
            put32(fileFields[i], static_cast<std::uint32_t>(out.bytes.size() - base));
            field16(static_cast<std::uint16_t>(f.tables.size()));
            u16(0);
            std::vector<std::size_t> tableFields;
            for (std::size_t t = 0; t < f.tables.size(); ++t)
                tableFields.push_back(field32(0));
            for (const auto& t : f.tables) {
                u32(t.lines.empty() ? 0 : t.lines.front().first);
                u32(t.lines.empty() ? 0 : t.lines.back().first);
            }
            field32(name(f.name));
            for (std::size_t t = 0; t < f.tables.size(); ++t) {
                const auto& table = f.tables[t];
                put32(tableFields[t], static_cast<std::uint32_t>(out.bytes.size() - base));
                u16(table.segment);
                field16(static_cast<std::uint16_t>(table.lines.size()));
                for (const auto& l : table.lines)
                    u32(l.first);
                for (const auto& l : table.lines)
                    u16(l.second);
                align();
            }
        }
    }
};

} // namespace ax::testsupport
