// UTF-8 and UTF-16 conversion that carries invalid bytes through as
// U+DC80..U+DCFF, case folding and comparison, trimming, and integer
// parsing and formatting.
#include "rtl/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <unicode/uchar.h>

#include "rtl/exceptions.h"

namespace ax {
namespace {

constexpr char32_t kEscapeBase = 0xDC00; // U+DC80..U+DCFF carry the bytes 0x80..0xFF

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are
// not one (overlong forms, encoded surrogates and values past U+10FFFF are
// invalid, so their bytes are escaped one by one).
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, min = 0x80, cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, min = 0x800, cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, min = 0x10000, cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void AppendUtf8(AnsiString& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(WideString& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// Walks UTF-16 text; a lone surrogate comes out as itself.
template <typename F> void ForEachCodePoint(std::u16string_view text, F&& f) {
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        f(c);
    }
}

template <typename F> void ForEachCodePoint(std::string_view bytes, F&& f) {
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp;
        const size_t len = DecodeUtf8(bytes, i, cp);
        if (len == 0) {
            f(kEscapeBase + static_cast<unsigned char>(bytes[i]));
            ++i;
        } else {
            f(cp);
            i += len;
        }
    }
}

bool IsEscapedByte(char32_t c) { return c >= 0xDC80 && c <= 0xDCFF; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

template <typename Map> AnsiString MapUtf8(std::string_view text, Map map) {
    AnsiString out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t c) {
        if (IsEscapedByte(c)) out += static_cast<char>(c - kEscapeBase);
        else AppendUtf8(out, map(c));
    });
    return out;
}

template <typename Map> WideString MapUtf16(std::u16string_view text, Map map) {
    WideString out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t c) { AppendUtf16(out, IsSurrogate(c) ? c : map(c)); });
    return out;
}

template <typename S> int CompareFolded(S a, S b) {
    // A leading run of plain ASCII compares without decoding or the case
    // tables (folding maps only A to Z there); the rest, if any, as below.
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i < common; ++i) {
        const uint32_t ca = static_cast<std::make_unsigned_t<typename S::value_type>>(a[i]);
        const uint32_t cb = static_cast<std::make_unsigned_t<typename S::value_type>>(b[i]);
        if (ca >= 0x80 || cb >= 0x80) break;
        const uint32_t fa = ca >= 'A' && ca <= 'Z' ? ca + 32 : ca;
        const uint32_t fb = cb >= 'A' && cb <= 'Z' ? cb + 32 : cb;
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    if (i == common) return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    a = a.substr(i);
    b = b.substr(i);
    std::u32string fa, fb;
    ForEachCodePoint(a, [&](char32_t c) { fa += FoldCase(c); });
    ForEachCodePoint(b, [&](char32_t c) { fb += FoldCase(c); });
    return fa.compare(fb) < 0 ? -1 : (fa == fb ? 0 : 1);
}

} // namespace

WideString Utf8ToWide(std::string_view bytes) {
    WideString out;
    out.reserve(bytes.size());
    ForEachCodePoint(bytes, [&](char32_t c) { AppendUtf16(out, c); });
    return out;
}

AnsiString WideToUtf8(std::u16string_view text) {
    AnsiString out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t c) {
        if (IsEscapedByte(c)) {
            out += static_cast<char>(c - kEscapeBase);
        } else if (IsSurrogate(c)) {
            // Any other lone surrogate has no byte of its own; keep its
            // three-byte form so that nothing is silently dropped.
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            AppendUtf8(out, c);
        }
    });
    return out;
}

std::u32string Utf8ToCodePoints(std::string_view bytes) {
    std::u32string out;
    ForEachCodePoint(bytes, [&](char32_t c) { out += c; });
    return out;
}

char32_t FoldCase(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (IsSurrogate(c)) return c;
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

WideString FoldCase(std::u16string_view text) { return MapUtf16(text, [](char32_t c) { return FoldCase(c); }); }
AnsiString FoldCase(std::string_view text) { return MapUtf8(text, [](char32_t c) { return FoldCase(c); }); }

static char32_t Upper(char32_t c) { return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c))); }
static char32_t Lower(char32_t c) { return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))); }

WideString WideUpperCase(std::u16string_view text) { return MapUtf16(text, Upper); }
WideString WideLowerCase(std::u16string_view text) { return MapUtf16(text, Lower); }
AnsiString AnsiUpperCase(std::string_view text) { return MapUtf8(text, Upper); }
AnsiString AnsiLowerCase(std::string_view text) { return MapUtf8(text, Lower); }

AnsiString UpperCase(std::string_view text) {
    AnsiString out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

AnsiString LowerCase(std::string_view text) {
    AnsiString out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

int CompareText(std::string_view a, std::string_view b) { return CompareFolded(a, b); }
int WideCompareText(std::u16string_view a, std::u16string_view b) { return CompareFolded(a, b); }
bool SameText(std::string_view a, std::string_view b) { return CompareFolded(a, b) == 0; }

int CompareStr(std::string_view a, std::string_view b) {
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int WideCompareStr(std::u16string_view a, std::u16string_view b) {
    std::u32string ca, cb;
    ForEachCodePoint(a, [&](char32_t c) { ca += c; });
    ForEachCodePoint(b, [&](char32_t c) { cb += c; });
    const int r = ca.compare(cb);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

AnsiString Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

AnsiString TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return AnsiString(s.substr(i));
}

AnsiString TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return AnsiString(s.substr(0, n));
}

AnsiString IntToStr(int64_t value) { return std::to_string(value); }

AnsiString IntToHex(uint64_t value, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(value));
    return buf;
}

bool TryStrToInt(std::string_view s, int64_t& value) {
    const AnsiString t = Trim(s);
    std::string_view v = t;
    bool negative = false;
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
        negative = v[0] == '-';
        v.remove_prefix(1);
    }
    int base = 10;
    if (!v.empty() && v[0] == '$') {
        base = 16;
        v.remove_prefix(1);
    } else if (v.size() > 1 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
        base = 16;
        v.remove_prefix(2);
    }
    if (v.empty()) return false;
    uint64_t acc = 0;
    const uint64_t limit = base == 16 ? UINT64_MAX : (negative ? uint64_t(INT64_MAX) + 1 : INT64_MAX);
    for (char c : v) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        if (acc > (limit - d) / base) return false;
        acc = acc * base + d;
    }
    value = negative ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
    return true;
}

int64_t StrToInt(std::string_view s) {
    int64_t v;
    if (!TryStrToInt(s, v)) throw EConvertError("'" + AnsiString(s) + "' is not a valid integer value");
    return v;
}

int64_t StrToIntDef(std::string_view s, int64_t fallback) {
    int64_t v;
    return TryStrToInt(s, v) ? v : fallback;
}

std::vector<AnsiString> SplitString(std::string_view s, char delimiter) {
    std::vector<AnsiString> out;
    size_t start = 0;
    for (;;) {
        const size_t pos = s.find(delimiter, start);
        out.emplace_back(s.substr(start, pos - start));
        if (pos == std::string_view::npos) break;
        start = pos + 1;
    }
    return out;
}

namespace detail {
AnsiString FormatImpl(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    AnsiString out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, format, args);
    }
    va_end(args);
    return out;
}
} // namespace detail

} // namespace ax
