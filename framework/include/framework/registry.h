#pragma once
// The registry stand-in: keys and values kept in one settings file,
// "registry.ini" in the user's configuration folder ($XDG_CONFIG_HOME, or
// ~/.config, then "ardentixxp"). A key is a section named by its root and
// path ("HKEY_CURRENT_USER\Software\..."); its values are the section's
// entries. Integers are stored in decimal, strings as they are.
#include <cstdint>
#include <memory>

#include "rtl/exceptions.h"
#include "rtl/inifile.h"

namespace ax {

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

using HKEY = uint32_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000, HKEY_CURRENT_USER = 0x80000001,
                      HKEY_LOCAL_MACHINE = 0x80000002, HKEY_USERS = 0x80000003,
                      HKEY_CURRENT_CONFIG = 0x80000005;

// The file every registry object uses.
AnsiString RegistryFileName();

class TRegistry {
public:
    TRegistry();
    HKEY RootKey() const { return rootKey_; }
    void SetRootKey(HKEY root);
    // Opens a key relative to the current one ("\" first: from the root).
    bool OpenKey(const AnsiString& key, bool canCreate);
    bool OpenKeyReadOnly(const AnsiString& key) { return OpenKey(key, false); }
    void CloseKey() { currentPath_.clear(); }
    const AnsiString& CurrentPath() const { return currentPath_; }
    bool KeyExists(const AnsiString& key) const;
    bool DeleteKey(const AnsiString& key);
    bool ValueExists(const AnsiString& name) const;
    bool DeleteValue(const AnsiString& name);
    void GetValueNames(TStringList& names) const;
    void GetKeyNames(TStringList& names) const;

    // A missing value raises ERegistryException, as a read of the wrong
    // kind does.
    AnsiString ReadString(const AnsiString& name) const;
    int64_t ReadInteger(const AnsiString& name) const;
    bool ReadBool(const AnsiString& name) const { return ReadInteger(name) != 0; }
    void WriteString(const AnsiString& name, const AnsiString& value);
    void WriteInteger(const AnsiString& name, int64_t value);
    void WriteBool(const AnsiString& name, bool value) { WriteInteger(name, value ? 1 : 0); }

private:
    AnsiString Section(const AnsiString& path) const;
    AnsiString Resolve(const AnsiString& key) const;
    void RequireOpen() const;
    HKEY rootKey_ = HKEY_CURRENT_USER;
    AnsiString currentPath_;
    bool open_ = false;
    std::unique_ptr<TIniFile> file_;
};

} // namespace ax
