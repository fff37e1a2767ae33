// Reads an executable's version block once and answers its values; a
// missing block, entry or text that runs past the block answers "".
#include "controls/VersionInfo.h"

#include <cstring>

namespace ax {

TVersionInfo::TVersionInfo(const AnsiString& fileName) : fileName_(fileName) {
    size_ = GetFileVersionInfoSizeA(fileName_, &handle_);
    if (size_ == 0) return;
    buffer_.assign(size_, '\0');
    valid_ = GetFileVersionInfoA(fileName_, handle_, size_, buffer_.data());
}

AnsiString TVersionInfo::Translation() const {
    if (!valid_) return "";
    const void* value = nullptr;
    uint32_t length = 0;
    if (!VerQueryValueA(buffer_.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4) return "";
    const auto* p = static_cast<const unsigned char*>(value);
    return Format("%.4X%.4X", p[0] | (p[1] << 8), p[2] | (p[3] << 8));
}

AnsiString TVersionInfo::GetVerValue(const AnsiString& name) const {
    if (!valid_) return "";
    AnsiString key = "\\StringFileInfo\\" + Translation() + "\\" + name;
    if (key.size() > 255) key.resize(255);
    const void* value = nullptr;
    uint32_t length = 0;
    // A failed query, or a value that is not text ending inside the block,
    // is an empty string.
    if (!VerQueryValueA(buffer_.data(), key, &value, &length) || length == 0) return "";
    const auto* text = static_cast<const char*>(value);
    return AnsiString(text, strnlen(text, length));
}

const VS_FIXEDFILEINFO* TVersionInfo::FixedFileInfo() const {
    if (!valid_) return nullptr;
    const void* value = nullptr;
    uint32_t length = 0;
    if (!VerQueryValueA(buffer_.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return nullptr;
    return static_cast<const VS_FIXEDFILEINFO*>(value);
}

AnsiString TVersionInfo::FileVersion() const {
    AnsiString version = GetVerValue("FileVersion");
    if (!version.empty() || !valid_) return version;
    const VS_FIXEDFILEINFO* fixed = FixedFileInfo();
    if (!fixed) return "";
    VS_FIXEDFILEINFO f;
    std::memcpy(&f, fixed, sizeof f); // the block need not be aligned for it
    return Format("%d.%d.%d.%d", int(f.dwFileVersionMS >> 16), int(f.dwFileVersionMS & 0xFFFF),
                  int(f.dwFileVersionLS >> 16), int(f.dwFileVersionLS & 0xFFFF));
}

} // namespace ax
