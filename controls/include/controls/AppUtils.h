#pragma once
// Names and storage of settings: the default ini file, registry key and
// section names, an ini-or-registry storage with read and write helpers,
// values kept per screen resolution, and a form's window placement.
#include <functional>
#include <memory>

#include "framework/forms.h"
#include "framework/registry.h"
#include "rtl/inifile.h"

namespace ax {

// Where settings go: an ini file, or a registry key whose sub-keys are the
// sections.
class TIniStorage {
public:
    virtual ~TIniStorage() = default;
    virtual AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& def) = 0;
    virtual void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) = 0;
    virtual bool ValueExists(const AnsiString& section, const AnsiString& ident) = 0;
    virtual void EraseSection(const AnsiString& section) = 0;
    int64_t ReadInteger(const AnsiString& section, const AnsiString& ident, int64_t def);
    void WriteInteger(const AnsiString& section, const AnsiString& ident, int64_t value);
    bool ReadBool(const AnsiString& section, const AnsiString& ident, bool def) {
        return ReadInteger(section, ident, def ? 1 : 0) != 0;
    }
    void WriteBool(const AnsiString& section, const AnsiString& ident, bool value) {
        WriteInteger(section, ident, value ? 1 : 0);
    }
};

class TIniFileStorage : public TIniStorage {
public:
    explicit TIniFileStorage(const AnsiString& fileName) : file_(fileName) {}
    AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& def) override;
    // A value in matching quotes is written in an extra pair of double
    // quotes, so that it reads back with its own.
    void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) override;
    bool ValueExists(const AnsiString& section, const AnsiString& ident) override;
    void EraseSection(const AnsiString& section) override { file_.EraseSection(section); }
    TIniFile& File() { return file_; }

private:
    TIniFile file_;
};

class TRegistryStorage : public TIniStorage {
public:
    TRegistryStorage(HKEY root, const AnsiString& key);
    AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& def) override;
    void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) override;
    bool ValueExists(const AnsiString& section, const AnsiString& ident) override;
    void EraseSection(const AnsiString& section) override;

private:
    AnsiString KeyOf(const AnsiString& section) const;
    TRegistry registry_;
    AnsiString key_;
};

// A form: its class name; a control on a form: the form's class name and
// the control's name; on a parent without a form: the parent's name and
// its own; another component owned by a form: "Owner class.Name".
AnsiString GetDefaultSection(const TComponent* component);
// The application may name the default ini file.
inline std::function<AnsiString()> OnGetDefaultIniName;
// The default registry key uses the application's title when set.
inline bool RegUseAppTitle = false;
// The program's file name with ".INI" (no folder), unless the hook names one.
AnsiString GetDefaultIniName();
// "Software\" and the application title or the program's base name.
AnsiString GetDefaultIniRegKey();

// Each does nothing, or answers def, without a storage.
AnsiString IniReadString(TIniStorage* ini, const AnsiString& section, const AnsiString& ident, const AnsiString& def);
void IniWriteString(TIniStorage* ini, const AnsiString& section, const AnsiString& ident, const AnsiString& value);
int64_t IniReadInteger(TIniStorage* ini, const AnsiString& section, const AnsiString& ident, int64_t def);
void IniWriteInteger(TIniStorage* ini, const AnsiString& section, const AnsiString& ident, int64_t value);
void IniEraseSection(TIniStorage* ini, const AnsiString& section);
// Values that depend on the screen: written under "Name(WxH)" and "Name",
// read from the first that is there.
void IniWriteScreenString(TIniStorage* ini, const AnsiString& section, const AnsiString& ident,
                          const AnsiString& value);
AnsiString IniReadScreenString(TIniStorage* ini, const AnsiString& section, const AnsiString& ident,
                               const AnsiString& def);

// A form's window placement: "Flags", "ShowCmd", "PixelsPerInch",
// "MinMaxPos" and "NormPos".
void WriteFormPlacement(TCustomForm& form, TIniStorage* ini, const AnsiString& section);
void ReadFormPlacement(TCustomForm& form, TIniStorage* ini, const AnsiString& section, bool loadState,
                       bool loadPosition);

} // namespace ax
