// UTF-16 string helpers, POSIX path pieces, the wide string list and the
// file stream opened by a wide name.
#include "shell/WideStrings.h"

#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/exceptions.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace ax {
namespace {

constexpr char16_t kDelim = u'/';
constexpr uint32_t kIconExclamation = MB_ICONEXCLAMATION;

std::string Bytes(const WideString& path) {
    return WideToUtf8(path);
}

// Moves each unit so that the surrogates (U+D800..U+DFFF) sort above
// U+E000..U+FFFF, which gives code-point order over whole strings.
int CodePointRank(char16_t u) {
    if (u < 0xD800) return u;
    if (u < 0xE000) return u + 0x2000;
    return u - 0x800;
}

} // namespace

size_t StrLenW(const char16_t* p) {
    if (!p) return 0;
    size_t n = 0;
    while (p[n])
        ++n;
    return n;
}

char16_t* StrMoveW(char16_t* dest, const char16_t* source, size_t count) {
    if (count) std::memmove(dest, source, count * sizeof(char16_t));
    return dest;
}

int StrCompW(const char16_t* s1, const char16_t* s2) {
    static constexpr char16_t kEmpty[1] = {0};
    if (!s1) s1 = kEmpty;
    if (!s2) s2 = kEmpty;
    while (*s1 && *s1 == *s2) {
        ++s1;
        ++s2;
    }
    return CodePointRank(*s1) - CodePointRank(*s2);
}

const char16_t* StrScanW(const char16_t* p, char16_t ch) {
    if (!p) return nullptr;
    for (; *p; ++p)
        if (*p == ch) return p;
    return nullptr;
}

const char16_t* StrRScanW(const char16_t* p, char16_t ch) {
    const char16_t* found = nullptr;
    if (p)
        for (; *p; ++p)
            if (*p == ch) found = p;
    return found;
}

const char16_t* StrPosW(const char16_t* s, const char16_t* sub) {
    if (!s || !sub || !*sub) return nullptr;
    const std::u16string_view hay(s), needle(sub);
    const size_t at = hay.find(needle);
    return at == std::u16string_view::npos ? nullptr : s + at;
}

void StrSwapByteOrder(char16_t* p) {
    if (!p) return;
    for (; *p; ++p)
        *p = static_cast<char16_t>((*p >> 8) | (*p << 8));
}

char16_t* StrLowerW(char16_t* p) {
    if (!p) return p;
    const size_t n = StrLenW(p);
    const WideString mapped = WideLowerCase(std::u16string_view(p, n));
    // Simple case mapping keeps the length; the guard only keeps us in bounds.
    std::copy_n(mapped.begin(), std::min(n, mapped.size()), p);
    return p;
}

char16_t* StrUpperW(char16_t* p) {
    if (!p) return p;
    const size_t n = StrLenW(p);
    const WideString mapped = WideUpperCase(std::u16string_view(p, n));
    std::copy_n(mapped.begin(), std::min(n, mapped.size()), p);
    return p;
}

WideString WideInsertThousandSeparators(const WideString& digits) {
    const char16_t sep = static_cast<unsigned char>(FormatSettings().ThousandSeparator);
    WideString out = digits;
    if (!sep) return out;
    // Every third position from the right, only between two digits, so a
    // sign in front never gets a separator after it.
    for (int at = static_cast<int>(out.size()) - 3; at > 0; at -= 3) {
        const char16_t before = out[at - 1];
        if (before < u'0' || before > u'9') break;
        out.insert(out.begin() + at, sep);
    }
    return out;
}

bool WideCreateDirectory(const WideString& path) {
    if (path.empty()) return false;
    const std::string bytes = Bytes(path);
    if (::mkdir(bytes.c_str(), 0777) != 0) return false;
    SHChangeNotifyPaths(SHCNE_MKDIR, bytes);
    return true;
}

bool WideDirectoryExists(const WideString& path) {
    if (path.empty()) return false;
    return DirectoryExists(Bytes(path));
}

bool WideFileExists(const WideString& path) {
    if (path.empty()) return false;
    return PathExists(Bytes(path));
}

bool DriveReady(const WideString& path) {
    if (path.empty()) return false;
    const std::string bytes = Bytes(path);
    return PathExists(bytes) && ax::DriveReady(ax::DriveRoot(bytes));
}

WideString WideExtractFileDir(const WideString& path) {
    if (!HasDriveSeparator(path)) return {};
    const size_t last = path.rfind(kDelim);
    return last == 0 ? WideString(1, kDelim) : path.substr(0, last);
}

WideString WideExtractFileDrive(const WideString& path) {
    return HasDriveSeparator(path) ? WideString(1, kDelim) : WideString();
}

WideString WideExtractFileExt(const WideString& path) {
    const size_t dot = path.rfind(u'.');
    if (dot == WideString::npos) return {};
    const size_t delim = path.rfind(kDelim);
    if (delim != WideString::npos && delim > dot) return {};
    return path.substr(dot);
}

WideString WideIncludeTrailingBackslash(const WideString& path) {
    if (!path.empty() && path.back() == kDelim) return path;
    return path + kDelim;
}

WideString WideExcludeTrailingBackslash(const WideString& path, bool always) {
    if (path.empty() || path.back() != kDelim) return path;
    if (WideIsDriveRoot(path) && !always) return path;
    return path.substr(0, path.size() - 1);
}

bool WideIsDriveRoot(const WideString& path) {
    return path.size() == 1 && path[0] == kDelim;
}

bool HasDriveSeparator(const WideString& path) {
    return !path.empty() && path[0] == kDelim;
}

void WideStrInsert(const WideString& sub, WideString& s, int index) {
    if (index < 0 || index > static_cast<int>(s.size())) return;
    s.insert(static_cast<size_t>(index), sub);
}

WideString WideIntToStr(int64_t n) {
    return Utf8ToWide(IntToStr(n));
}

WideString UniqueDirName(const WideString& path, const WideString& name) {
    const WideString stem =
        WideExcludeTrailingBackslash(path, true) + kDelim + (name.empty() ? u"New Folder" : name);
    WideString candidate = stem;
    for (int n = 1; n <= 20 && WideFileExists(candidate); ++n)
        candidate = stem + u" (" + WideIntToStr(n) + u")";
    return candidate;
}

void WideShowMessage(uintptr_t window, const WideString& text, const WideString& caption) {
    MessageBoxService().MessageBox(window, text, caption, kIconExclamation);
}

// ---- TWideFileStream ----

// The errors say which file, in the class library's words and nothing more.
TWideFileStream::TWideFileStream(const WideString& fileName, uint16_t mode) try
    : TFileStream(WideToUtf8(fileName), mode == fmWideCreate ? fmCreate : mode) {
} catch (const EFCreateError&) {
    throw EFCreateError(Format("Cannot create file %s", fileName));
} catch (const EFOpenError&) {
    throw EFOpenError(Format("Cannot open file %s", fileName));
}

// ---- TWideStringList ----

void TWideStringList::Assign(const TWideStringList& source) {
    if (&source == this) return;
    BeginUpdate();
    const ScopeGuard endUpdate([this] { EndUpdate(); });
    Clear();
    for (int i = 0; i < source.Count(); ++i)
        AddObject(source[i], source.GetObject(i));
}

void TWideStringList::Assign(const TStringList& source) {
    BeginUpdate();
    const ScopeGuard endUpdate([this] { EndUpdate(); });
    Clear();
    for (int i = 0; i < source.Count(); ++i)
        AddObject(Utf8ToWide(source[i]), source.Objects(i));
}

void TWideStringList::AssignTo(TStringList& dest) const {
    dest.BeginUpdate();
    const ScopeGuard endUpdate([&dest] { dest.EndUpdate(); });
    dest.Clear();
    for (int i = 0; i < Count(); ++i)
        dest.AddObject(WideToUtf8(Get(i)), GetObject(i));
}

void TWideStringList::LoadFromStream(TStream& stream) {
    const int64_t size = std::max<int64_t>(stream.Remaining(), 0);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (size) stream.ReadBuffer(bytes.data(), size);
    const bool little = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    const bool big = size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
    if (!little && !big) {
        SetText(Utf8ToWide(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
        return;
    }
    // A trailing odd byte is no whole unit and is dropped.
    WideString text((bytes.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t b0 = bytes[2 + 2 * i], b1 = bytes[3 + 2 * i];
        text[i] = little ? char16_t(b0 | (b1 << 8)) : char16_t((b0 << 8) | b1);
    }
    SetText(text);
}

void TWideStringList::SaveToStream(TStream& stream) const {
    const WideString text = Text();
    std::vector<uint8_t> bytes;
    bytes.reserve(2 + 2 * text.size());
    bytes.push_back(0xFF);
    bytes.push_back(0xFE);
    for (char16_t u : text) {
        bytes.push_back(static_cast<uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TWideStringList::LoadFromFile(const WideString& fileName) {
    TWideFileStream stream(fileName, fmOpenRead | fmShareDenyNone);
    LoadFromStream(stream);
}

void TWideStringList::SaveToFile(const WideString& fileName) const {
    SaveFileAtomically(WideToUtf8(fileName), [this](TStream& out) { SaveToStream(out); });
}

} // namespace ax
