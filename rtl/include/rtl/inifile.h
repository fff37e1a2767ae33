#pragma once
// Settings files: TIniFile reads a file of [sections] and key=value lines
// once, answers from memory, and saves the whole file atomically after each
// write (or once per BeginUpdate/EndUpdate batch). No lock inside: one
// thread uses an object at a time.
#include <string>
#include <vector>

#include "rtl/lists.h"
#include "rtl/text.h"

namespace ax {

// A settings file of [sections] and key=value lines. Section and key names
// compare without case. Lines that are neither are kept as they stand, so a
// damaged file is never made worse by a write. Every write saves the file
// at once, atomically.
class TIniFile {
public:
    explicit TIniFile(std::string fileName);
    const std::string& FileName() const { return fileName_; }

    AnsiString ReadString(const AnsiString& section, const AnsiString& key, const AnsiString& fallback) const;
    int64_t ReadInteger(const AnsiString& section, const AnsiString& key, int64_t fallback) const;
    bool ReadBool(const AnsiString& section, const AnsiString& key, bool fallback) const;
    void WriteString(const AnsiString& section, const AnsiString& key, const AnsiString& value);
    void WriteInteger(const AnsiString& section, const AnsiString& key, int64_t value);
    void WriteBool(const AnsiString& section, const AnsiString& key, bool value);

    bool SectionExists(const AnsiString& section) const;
    bool ValueExists(const AnsiString& section, const AnsiString& key) const;
    void ReadSections(TStringList& sections) const;
    void ReadSection(const AnsiString& section, TStringList& keys) const;
    void ReadSectionValues(const AnsiString& section, TStringList& values) const;
    void EraseSection(const AnsiString& section);
    void DeleteKey(const AnsiString& section, const AnsiString& key);

    // Writes are batched between BeginUpdate and EndUpdate, saved once.
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    void UpdateFile();

private:
    struct Line {
        std::string text;
        std::string section; // for a header line: the section's name
        std::string key;     // for a key line: its key; empty otherwise
        bool header = false;
    };
    // Index range [first, last) of the lines of a section, header excluded.
    bool FindSection(const AnsiString& section, size_t& first, size_t& last) const;
    bool FindKey(const AnsiString& section, const AnsiString& key, size_t& index) const;
    static Line Parse(const std::string& text);
    void Changed();

    std::string fileName_;
    std::vector<Line> lines_;
    int updateCount_ = 0;
    bool dirty_ = false;
};

} // namespace ax
