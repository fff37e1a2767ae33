#pragma once
// 8-bit text is UTF-8 in std::string, 16-bit text is UTF-16 in std::u16string.
// The conversion between them is lossless for any byte string: a byte that
// is not part of valid UTF-8 travels as U+DC80..U+DCFF, so every file name
// the kernel can hand us survives a trip through 16-bit text unchanged.
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace ax {

using AnsiString = std::string;
using WideString = std::u16string;

WideString Utf8ToWide(std::string_view bytes);
AnsiString WideToUtf8(std::u16string_view text);

// Code points of a UTF-8 string, invalid bytes given as U+DC80..U+DCFF.
std::u32string Utf8ToCodePoints(std::string_view bytes);

// Simple Unicode case folding, independent of the process locale.
char32_t FoldCase(char32_t c);
WideString FoldCase(std::u16string_view text);
AnsiString FoldCase(std::string_view text);

WideString WideUpperCase(std::u16string_view text);
WideString WideLowerCase(std::u16string_view text);
AnsiString AnsiUpperCase(std::string_view text);
AnsiString AnsiLowerCase(std::string_view text);
// Only "A" to "Z" and "a" to "z" change.
AnsiString UpperCase(std::string_view text);
AnsiString LowerCase(std::string_view text);

// Case-insensitive comparisons by folded code point: <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
int WideCompareText(std::u16string_view a, std::u16string_view b);
bool SameText(std::string_view a, std::string_view b);
// Case-sensitive comparison by code point (bytes for UTF-8, which agrees).
int CompareStr(std::string_view a, std::string_view b);
int WideCompareStr(std::u16string_view a, std::u16string_view b);

AnsiString Trim(std::string_view s);
AnsiString TrimLeft(std::string_view s);
AnsiString TrimRight(std::string_view s);
AnsiString IntToStr(int64_t value);
AnsiString IntToHex(uint64_t value, int digits);
// Decimal, or hexadecimal after "$" or "0x"; raises EConvertError.
int64_t StrToInt(std::string_view s);
int64_t StrToIntDef(std::string_view s, int64_t fallback);
bool TryStrToInt(std::string_view s, int64_t& value);
std::vector<AnsiString> SplitString(std::string_view s, char delimiter);

namespace detail {
AnsiString FormatImpl(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline const char* CStr(const std::string& s) { return s.c_str(); }
template <typename T> const T& CStr(const T& v) { return v; }
} // namespace detail

// printf-style formatting that also takes std::string and std::u16string
// arguments for "%s".
template <typename... Args> AnsiString Format(const char* format, const Args&... args) {
    auto convert = [](const auto& a) -> decltype(auto) {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, std::u16string>) return WideToUtf8(a);
        else return a;
    };
    return [&](const auto&... converted) {
        return detail::FormatImpl(format, detail::CStr(converted)...);
    }(convert(args)...);
}

} // namespace ax
