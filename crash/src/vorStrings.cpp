// The reporter's own string routines: searches, case folding through a fixed
// table, trimming, padding and replacing, with 1-based positions.
#include "crash/vorStrings.h"

#include <langinfo.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

namespace ax::vor {

namespace {

constexpr auto makeFoldTable() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c + 32);
    for (int c = 192; c <= 222; ++c)
        if (c != 215) t[c] = static_cast<unsigned char>(c + 32);
    t[138] = 154;
    t[140] = 156;
    t[142] = 158;
    t[159] = 255;
    return t;
}

constexpr auto makeDigitTable() {
    std::array<unsigned char, 256> t{};
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<unsigned char>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<unsigned char>(c - 'a' + 10);
    return t;
}

constexpr auto foldTable = makeFoldTable();
constexpr auto digitTable = makeDigitTable();

unsigned char fold(char c) { return foldTable[static_cast<unsigned char>(c)]; }

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

bool sameBytes(const char* a, const char* b, int n, bool folded) {
    for (int i = 0; i < n; ++i)
        if (folded ? fold(a[i]) != fold(b[i]) : a[i] != b[i]) return false;
    return true;
}

// Converts 1-based from/to (with the end markers) to 0-based RawSearch bounds.
void toRaw(int from, int to, int length, int& rawFrom, int& rawTo) {
    rawFrom = from == posFromEnd ? length - 1 : from - 1;
    rawTo = to == posToEnd ? length - 1 : to - 1;
}

char hexDigit(unsigned v) { return "0123456789abcdef"[v & 15]; }

} // namespace

const unsigned char CaseFoldTable[256] = {
#define R(i) foldTable[i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)};
#undef R
#define R(i) digitTable[i]
const unsigned char DigitTable[256] = {R64(0), R64(64), R64(128), R64(192)};
#undef R64
#undef R8
#undef R

void TrimInPlace(std::string& s) { s = TrimCopy(s); }

std::string TrimCopy(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

bool RemoveChars(std::string& s, std::string_view set) {
    auto it = std::remove_if(s.begin(), s.end(),
                             [&](char c) { return set.find(c) != std::string_view::npos; });
    bool removed = it != s.end();
    s.erase(it, s.end());
    return removed;
}

bool Replace(std::string& s, std::string_view oldText, std::string_view newText, bool ignoreCase,
             bool rescan) {
    if (oldText.empty()) return false;
    const int oldLen = static_cast<int>(oldText.size());
    const int newLen = static_cast<int>(newText.size());
    if (rescan && RawSearch(oldText.data(), newText.data(), oldLen, 0, newLen - 1, ignoreCase,
                            newLen) >= 0)
        rescan = false;
    bool replaced = false;
    int at = 0;
    for (;;) {
        int length = static_cast<int>(s.size());
        if (at >= length) break; // a forward search past the end would turn backward
        int found = RawSearch(oldText.data(), s.data(), oldLen, at, length - 1, ignoreCase, length);
        if (found < 0) break;
        s.replace(static_cast<std::size_t>(found), oldText.size(), newText);
        replaced = true;
        if (!rescan)
            at = found + newLen;
        else
            at = newLen > oldLen ? found + 1 : found;
    }
    return replaced;
}

bool ReplaceStr(std::string& s, std::string_view oldText, std::string_view newText, bool rescan) {
    return Replace(s, oldText, newText, false, rescan);
}

bool ReplaceText(std::string& s, std::string_view oldText, std::string_view newText, bool rescan) {
    return Replace(s, oldText, newText, true, rescan);
}

std::string DeleteCopy(std::string_view s, int index, int count) {
    std::string r(s);
    if (index < 1 || count <= 0 || index > static_cast<int>(s.size())) return r;
    r.erase(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
    return r;
}

void CopyInPlace(std::string& s, int index, int count) {
    if (index < 1) index = 1;
    if (count <= 0 || index > static_cast<int>(s.size())) {
        s.clear();
        return;
    }
    s = s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

std::string RightStr(std::string_view s, int count) {
    if (count <= 0) return {};
    if (count >= static_cast<int>(s.size())) return std::string(s);
    return std::string(s.substr(s.size() - static_cast<std::size_t>(count)));
}

char UpChar(char c) {
    auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || u == 228 || u == 246 || u == 252)
        return static_cast<char>(u - 32);
    return c;
}

std::string UpStr(std::string_view s) {
    std::string r(s);
    for (auto& c : r) c = UpChar(c);
    return r;
}

char LowChar(char c) { return static_cast<char>(fold(c)); }

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && sameBytes(a.data(), b.data(), static_cast<int>(a.size()), true);
}

int CompareText(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (fold(a[i]) != fold(b[i])) return int{fold(a[i])} - int{fold(b[i])};
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int RawSearch(const char* pattern, const char* text, int patternLength, int from, int to,
              bool fold, int textLength) {
    if (patternLength <= 0 || textLength < patternLength) return -1;
    const int lastStart = textLength - patternLength;
    if (from <= to) {
        if (from < 0) from = 0;
        if (to > textLength - 1) to = textLength - 1;
        for (int i = from; i + patternLength - 1 <= to && i <= lastStart; ++i)
            if (sameBytes(text + i, pattern, patternLength, fold)) return i;
    } else {
        if (to < 0) to = 0;
        if (from > textLength - 1) from = textLength - 1;
        for (int i = std::min(from - patternLength + 1, lastStart); i >= to; --i)
            if (sameBytes(text + i, pattern, patternLength, fold)) return i;
    }
    return -1;
}

static int posImpl(std::string_view sub, std::string_view s, int from, int to, bool fold) {
    int length = static_cast<int>(s.size());
    int rawFrom, rawTo;
    toRaw(from, to, length, rawFrom, rawTo);
    return RawSearch(sub.data(), s.data(), static_cast<int>(sub.size()), rawFrom, rawTo, fold,
                     length) + 1;
}

int PosStr(std::string_view sub, std::string_view s, int from, int to) {
    return posImpl(sub, s, from, to, false);
}

int PosText(std::string_view sub, std::string_view s, int from, int to) {
    return posImpl(sub, s, from, to, true);
}

bool StartsWithText(std::string_view prefix, std::string_view s) {
    return prefix.size() <= s.size() &&
           sameBytes(prefix.data(), s.data(), static_cast<int>(prefix.size()), true);
}

int PosChars(std::string_view set, std::string_view s, int from, int to) {
    int length = static_cast<int>(s.size());
    int rawFrom, rawTo;
    toRaw(from, to, length, rawFrom, rawTo);
    auto inSet = [&](int i) { return set.find(s[static_cast<std::size_t>(i)]) != set.npos; };
    if (rawFrom <= rawTo) {
        for (int i = std::max(rawFrom, 0); i <= std::min(rawTo, length - 1); ++i)
            if (inSet(i)) return i + 1;
    } else {
        for (int i = std::min(rawFrom, length - 1); i >= std::max(rawTo, 0); --i)
            if (inSet(i)) return i + 1;
    }
    return 0;
}

void FillStr(std::string& s, int count, bool atFront, char fill) {
    if (count <= 0) return;
    std::string fillText(static_cast<std::size_t>(count), fill);
    if (!atFront) {
        s += fillText;
    } else if (!s.empty() && s[0] == '-' && fill >= '0' && fill <= '9') {
        s.insert(1, fillText);
    } else {
        s.insert(0, fillText);
    }
}

void PadStr(std::string& s, int width, char fill) {
    int target = width < 0 ? -width : width;
    FillStr(s, target - static_cast<int>(s.size()), width >= 1, fill);
}

std::string IntToStrEx(std::int32_t value) { return IntToStrEx(std::int64_t{value}); }

std::string IntToStrEx(std::int64_t value) {
    if (value == 0) return "0";
    bool negative = value < 0;
    // Work in unsigned so that the smallest value negates without overflow.
    std::uint64_t v = negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    std::string r;
    while (v != 0) {
        r.insert(r.begin(), static_cast<char>('0' + v % 10));
        v /= 10;
    }
    if (negative) r.insert(r.begin(), '-');
    return r;
}

std::string IntToHexEx(std::uint32_t value) {
    if (value == 0) return "0";
    std::string r;
    while (value != 0) {
        r.insert(r.begin(), hexDigit(value));
        value >>= 4;
    }
    return r;
}

std::string IntToHexEx(std::uint64_t value) {
    auto high = static_cast<std::uint32_t>(value >> 32);
    auto low = static_cast<std::uint32_t>(value);
    if (high == 0) return IntToHexEx(low);
    std::string lowText = IntToHexEx(low);
    FillStr(lowText, 8 - static_cast<int>(lowText.size()), true, '0');
    return IntToHexEx(high) + lowText;
}

std::string IntToStrEx(std::int64_t value, int width, char fill) {
    std::string r = IntToStrEx(value);
    PadStr(r, width, fill);
    return r;
}

std::string IntToHexEx(std::uint64_t value, int width, char fill) {
    std::string digits = IntToHexEx(value);
    int missing = width - static_cast<int>(digits.size());
    bool hexFill = digitTable[static_cast<unsigned char>(fill)] != 0 || fill == '0';
    std::string fillText(static_cast<std::size_t>(std::max(missing, 0)), fill);
    return hexFill ? "$" + fillText + digits : fillText + "$" + digits;
}

std::int64_t StrToIntEx(bool hex, const char* chars, int length) {
    if (chars == nullptr || length <= 0) return 0;
    bool negative = chars[0] == '-';
    std::uint64_t v = 0;
    for (int i = negative ? 1 : 0; i < length; ++i)
        v = v * (hex ? 16 : 10) + digitTable[static_cast<unsigned char>(chars[i])];
    return static_cast<std::int64_t>(negative ? ~v + 1 : v);
}

void CollapseSeparators(std::string& s, char separator) {
    std::string r;
    for (char c : s) {
        if (c == separator && (r.empty() || r.back() == separator)) continue;
        r += c;
    }
    if (!r.empty() && r.back() == separator) r.pop_back();
    s = std::move(r);
}

int SubStrCount(std::string_view s, char separator) {
    if (s.empty()) return 0;
    return static_cast<int>(std::count(s.begin(), s.end(), separator)) + 1;
}

std::string SubStr(std::string_view s, int index, char separator) {
    if (index < 1) return {};
    std::size_t start = 0;
    for (int i = 1; i < index; ++i) {
        auto next = s.find(separator, start);
        if (next == s.npos) return {};
        start = next + 1;
    }
    auto end = s.find(separator, start);
    return std::string(s.substr(start, end == s.npos ? s.npos : end - start));
}

bool IsTextInList(std::string_view list, std::string_view item, char separator) {
    int length = static_cast<int>(list.size()), itemLength = static_cast<int>(item.size());
    for (int at = 0; at < length;) {
        int found = RawSearch(item.data(), list.data(), itemLength, at, length - 1, true, length);
        if (found < 0) return false;
        bool frontOk = found == 0 || list[static_cast<std::size_t>(found - 1)] == separator;
        int end = found + itemLength;
        bool backOk = end == length || list[static_cast<std::size_t>(end)] == separator;
        if (frontOk && backOk) return true;
        at = found + 1;
    }
    return false;
}

char DecimalSeparator() {
    static const char separator = [] {
        const char* radix = nl_langinfo(RADIXCHAR);
        return radix != nullptr && radix[0] != 0 && radix[1] == 0 ? radix[0] : ',';
    }();
    return separator;
}

std::string SizeToStr(std::int64_t bytes) {
    if (bytes < 1024) return IntToStrEx(bytes) + " Bytes";
    std::int64_t hundredths;
    const char* unit;
    if (bytes < 1024 * 1024) {
        hundredths = bytes * 100 / 1024;
        unit = " KB";
    } else if (bytes < 1024ll * 1024 * 1024) {
        hundredths = bytes / 1024 * 100 / 1024;
        unit = " MB";
    } else {
        hundredths = bytes / 1024 / 1024 * 100 / 1024;
        unit = " GB";
    }
    std::string digits = IntToStrEx(hundredths);
    digits.insert(digits.size() - 2, 1, DecimalSeparator());
    return digits + unit;
}

std::string ErrorCodeToStr(std::uint32_t code) {
    // A code with either top bit set is a status word of a system this one
    // has no conversion for: its low half is no error number of ours.
    if ((code & 0xC0000000u) != 0) return "Unknown error $" + IntToHexEx(code);
    char buffer[256];
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    std::string r = text != nullptr ? text : "";
    if (r.empty() || r.rfind("Unknown error", 0) == 0) return "Unknown error $" + IntToHexEx(code);
    ReplaceStr(r, "\r", " ");
    RemoveChars(r, "\n");
    return r;
}

std::u16string WidenStr(std::string_view s, bool terminate) {
    std::u16string r;
    r.reserve(s.size() + 1);
    for (char c : s) r += static_cast<char16_t>(static_cast<unsigned char>(c));
    if (terminate) r += u'\0';
    return r;
}

} // namespace ax::vor
