// The settings file: parses its lines once (a line that is neither section
// nor key is kept as it stands), edits them in memory and writes them back
// whole through SaveFileAtomically.
#include "rtl/inifile.h"

#include "rtl/exceptions.h"
#include "rtl/streams.h"
#include "rtl/sysutils.h"

namespace ax {

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    if (!FileExists(fileName_)) return;
    TStringList text;
    text.LoadFromFile(fileName_);
    std::string section;
    for (int i = 0; i < text.Count(); ++i) {
        Line line = Parse(text[i]);
        if (line.header) section = line.section;
        else line.section = section;
        lines_.push_back(std::move(line));
    }
}

TIniFile::Line TIniFile::Parse(const std::string& text) {
    Line line;
    line.text = text;
    const AnsiString t = Trim(text);
    if (t.size() >= 2 && t.front() == '[') {
        const size_t close = t.find(']');
        if (close != AnsiString::npos) {
            line.header = true;
            line.section = Trim(t.substr(1, close - 1));
            return line;
        }
    }
    if (t.empty() || t[0] == ';' || t[0] == '#') return line;
    const size_t eq = t.find('=');
    if (eq != AnsiString::npos && eq > 0) line.key = Trim(t.substr(0, eq));
    return line;
}

bool TIniFile::FindSection(const AnsiString& section, size_t& first, size_t& last) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (!lines_[i].header || !SameText(lines_[i].section, section)) continue;
        first = i + 1;
        last = first;
        while (last < lines_.size() && !lines_[last].header) ++last;
        return true;
    }
    return false;
}

bool TIniFile::FindKey(const AnsiString& section, const AnsiString& key, size_t& index) const {
    size_t first, last;
    if (!FindSection(section, first, last)) return false;
    for (size_t i = first; i < last; ++i) {
        if (!lines_[i].key.empty() && SameText(lines_[i].key, key)) {
            index = i;
            return true;
        }
    }
    return false;
}

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& key,
                                const AnsiString& fallback) const {
    size_t i;
    if (!FindKey(section, key, i)) return fallback;
    const std::string& text = lines_[i].text;
    AnsiString value = Trim(text.substr(text.find('=') + 1));
    // A value written in matching quotes reads without them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

int64_t TIniFile::ReadInteger(const AnsiString& section, const AnsiString& key, int64_t fallback) const {
    return StrToIntDef(ReadString(section, key, ""), fallback);
}

bool TIniFile::ReadBool(const AnsiString& section, const AnsiString& key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(const AnsiString& section, const AnsiString& key, const AnsiString& value) {
    if (key.empty() || key.find('=') != AnsiString::npos || key.find('\n') != AnsiString::npos ||
        value.find('\n') != AnsiString::npos || value.find('\r') != AnsiString::npos ||
        section.find(']') != AnsiString::npos || section.find('\n') != AnsiString::npos)
        throw EIniFileException(Format("Unable to write to %s", fileName_));
    Line line = Parse(key + "=" + value);
    line.section = section;
    size_t i;
    if (FindKey(section, key, i)) {
        line.section = lines_[i].section;
        lines_[i] = std::move(line);
    } else {
        size_t first, last;
        if (!FindSection(section, first, last)) {
            // A blank line before a new section when the file has content.
            if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(Parse(""));
            Line header = Parse("[" + section + "]");
            lines_.push_back(header);
            first = last = lines_.size();
        }
        // After the section's last non-blank line.
        size_t at = last;
        while (at > first && Trim(lines_[at - 1].text).empty()) --at;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    }
    Changed();
}

void TIniFile::WriteInteger(const AnsiString& section, const AnsiString& key, int64_t value) {
    WriteString(section, key, IntToStr(value));
}

void TIniFile::WriteBool(const AnsiString& section, const AnsiString& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::SectionExists(const AnsiString& section) const {
    size_t first, last;
    return FindSection(section, first, last);
}

bool TIniFile::ValueExists(const AnsiString& section, const AnsiString& key) const {
    size_t i;
    return FindKey(section, key, i);
}

void TIniFile::ReadSections(TStringList& sections) const {
    sections.BeginUpdate();
    sections.Clear();
    for (const Line& line : lines_)
        if (line.header) sections.Add(line.section);
    sections.EndUpdate();
}

void TIniFile::ReadSection(const AnsiString& section, TStringList& keys) const {
    keys.BeginUpdate();
    keys.Clear();
    size_t first, last;
    if (FindSection(section, first, last))
        for (size_t i = first; i < last; ++i)
            if (!lines_[i].key.empty()) keys.Add(lines_[i].key);
    keys.EndUpdate();
}

void TIniFile::ReadSectionValues(const AnsiString& section, TStringList& values) const {
    values.BeginUpdate();
    values.Clear();
    size_t first, last;
    if (FindSection(section, first, last))
        for (size_t i = first; i < last; ++i)
            if (!lines_[i].key.empty()) values.Add(lines_[i].key + "=" + ReadString(section, lines_[i].key, ""));
    values.EndUpdate();
}

void TIniFile::EraseSection(const AnsiString& section) {
    size_t first, last;
    bool any = false;
    while (FindSection(section, first, last)) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first - 1),
                     lines_.begin() + static_cast<std::ptrdiff_t>(last));
        any = true;
    }
    if (any) Changed();
}

void TIniFile::DeleteKey(const AnsiString& section, const AnsiString& key) {
    size_t i;
    if (!FindKey(section, key, i)) return;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    Changed();
}

void TIniFile::Changed() {
    dirty_ = true;
    if (updateCount_ == 0) UpdateFile();
}

void TIniFile::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && dirty_) UpdateFile();
}

void TIniFile::UpdateFile() {
    std::string text;
    for (const Line& line : lines_) {
        text += line.text;
        text += '\n';
    }
    SaveFileAtomically(fileName_, [&](TStream& out) { out.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); });
    dirty_ = false;
}

} // namespace ax
