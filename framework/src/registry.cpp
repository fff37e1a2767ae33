// The registry stand-in over one ini file: keys become sections named by
// root and path, deleting a key deletes its sub-keys, and reading or
// writing a value with no key open raises ERegistryException.
#include "framework/registry.h"

#include <cstdlib>

#include "rtl/sysutils.h"

namespace ax {

AnsiString RegistryFileName() {
    AnsiString base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) base = AnsiString(home) + "/.config";
    else base = "/tmp";
    return IncludeTrailingPathDelimiter(base) + "ardentixxp/registry.ini";
}

namespace {

const char* RootName(HKEY root) {
    switch (root) {
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS: return "HKEY_USERS";
    case HKEY_CURRENT_CONFIG: return "HKEY_CURRENT_CONFIG";
    default: return "HKEY_CURRENT_USER";
    }
}

// "a\\b\" -> "a\b"
AnsiString Normalise(const AnsiString& path) {
    AnsiString out;
    for (const auto& part : SplitString(path, '\\'))
        if (!part.empty()) out += (out.empty() ? "" : "\\") + part;
    return out;
}

} // namespace

TRegistry::TRegistry() {
    const AnsiString name = RegistryFileName();
    ForceDirectories(ExtractFileDir(name));
    file_ = std::make_unique<TIniFile>(name);
}

void TRegistry::SetRootKey(HKEY root) {
    rootKey_ = root;
    CloseKey();
    open_ = false;
}

AnsiString TRegistry::Section(const AnsiString& path) const {
    return path.empty() ? AnsiString(RootName(rootKey_)) : AnsiString(RootName(rootKey_)) + "\\" + path;
}

AnsiString TRegistry::Resolve(const AnsiString& key) const {
    if (!key.empty() && key[0] == '\\') return Normalise(key);
    return Normalise(currentPath_ + "\\" + key);
}

bool TRegistry::OpenKey(const AnsiString& key, bool canCreate) {
    const AnsiString path = Resolve(key);
    if (!path.empty() && !file_->SectionExists(Section(path))) {
        if (!canCreate) return false;
        // A section with no values still marks the key (and its parents) as there.
        AnsiString partial;
        for (const auto& part : SplitString(path, '\\')) {
            partial += (partial.empty() ? "" : "\\") + part;
            if (!file_->SectionExists(Section(partial))) {
                file_->WriteString(Section(partial), "@", "");
                file_->DeleteKey(Section(partial), "@");
            }
        }
    }
    currentPath_ = path;
    open_ = true;
    return true;
}

bool TRegistry::KeyExists(const AnsiString& key) const {
    return file_->SectionExists(Section(Resolve(key)));
}

bool TRegistry::DeleteKey(const AnsiString& key) {
    const AnsiString path = Resolve(key);
    if (path.empty()) return false;
    const AnsiString section = Section(path);
    TStringList sections;
    file_->ReadSections(sections);
    bool found = false;
    file_->BeginUpdate();
    for (int i = 0; i < sections.Count(); ++i) {
        const AnsiString& s = sections[i];
        if (SameText(s, section) || (s.size() > section.size() && SameText(s.substr(0, section.size() + 1), section + "\\"))) {
            file_->EraseSection(s);
            found = true;
        }
    }
    file_->EndUpdate();
    return found;
}

void TRegistry::RequireOpen() const {
    if (!open_) throw ERegistryException("No key is open");
}

bool TRegistry::ValueExists(const AnsiString& name) const {
    return open_ && file_->ValueExists(Section(currentPath_), name);
}

bool TRegistry::DeleteValue(const AnsiString& name) {
    if (!ValueExists(name)) return false;
    file_->DeleteKey(Section(currentPath_), name);
    return true;
}

void TRegistry::GetValueNames(TStringList& names) const {
    names.Clear();
    if (!open_) return;
    TStringList keys;
    file_->ReadSection(Section(currentPath_), keys);
    for (int i = 0; i < keys.Count(); ++i)
        if (!keys[i].empty()) names.Add(keys[i]);
}

void TRegistry::GetKeyNames(TStringList& names) const {
    names.Clear();
    const AnsiString prefix = Section(currentPath_) + "\\";
    TStringList sections;
    file_->ReadSections(sections);
    for (int i = 0; i < sections.Count(); ++i) {
        const AnsiString& s = sections[i];
        if (s.size() > prefix.size() && SameText(s.substr(0, prefix.size()), prefix)) {
            const AnsiString rest = s.substr(prefix.size());
            if (rest.find('\\') == AnsiString::npos) names.Add(rest);
        }
    }
}

AnsiString TRegistry::ReadString(const AnsiString& name) const {
    RequireOpen();
    if (!ValueExists(name)) throw ERegistryException("Invalid data type for '" + name + "'");
    return file_->ReadString(Section(currentPath_), name, "");
}

int64_t TRegistry::ReadInteger(const AnsiString& name) const {
    const AnsiString text = ReadString(name);
    int64_t v;
    if (!TryStrToInt(text, v)) throw ERegistryException("Invalid data type for '" + name + "'");
    return v;
}

void TRegistry::WriteString(const AnsiString& name, const AnsiString& value) {
    RequireOpen();
    file_->WriteString(Section(currentPath_), name, value);
}

void TRegistry::WriteInteger(const AnsiString& name, int64_t value) {
    RequireOpen();
    file_->WriteInteger(Section(currentPath_), name, value);
}

} // namespace ax
