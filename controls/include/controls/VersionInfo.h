#pragma once
// The version information of an executable file: text values by name and
// the file version. Every query that finds nothing answers an empty string.
#include <memory>
#include <vector>

#include "platform/version.h"
#include "rtl/text.h"

namespace ax {

class TVersionInfo {
public:
    // Reads the file's version data; never fails (Valid tells).
    explicit TVersionInfo(const AnsiString& fileName);
    bool Valid() const { return valid_; }
    // The text value under "\StringFileInfo\<translation>\<name>".
    AnsiString GetVerValue(const AnsiString& name) const;
    // The "FileVersion" text, else the fixed file version as "a.b.c.d".
    AnsiString FileVersion() const;
    // The first translation as 8 hex digits, language first ("040904E4").
    AnsiString Translation() const;
    // The fixed information, when there is any.
    const VS_FIXEDFILEINFO* FixedFileInfo() const;

private:
    AnsiString fileName_;
    bool valid_ = false;
    uint32_t handle_ = 0;
    uint32_t size_ = 0;
    std::vector<char> buffer_;
};

} // namespace ax
