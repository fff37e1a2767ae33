// Text conversions and comparisons of the sort grid.
#include "controls/SortCompare.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace ax {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Strip(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Reads an unsigned decimal number of 1..maxDigits digits.
bool ReadNumber(std::string_view& s, int& value, size_t maxDigits) {
    size_t n = 0;
    value = 0;
    while (n < s.size() && n < maxDigits && IsDigit(s[n])) value = value * 10 + (s[n++] - '0');
    if (n == 0 || (n < s.size() && IsDigit(s[n]))) return false;
    s.remove_prefix(n);
    return true;
}

bool ReadChar(std::string_view& s, char c) {
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && CompareText(s.substr(0, prefix.size()), prefix) == 0;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// The order of day, month and year in a short date format ("dmy", "mdy", "ymd").
std::string DateOrder(const std::string& format) {
    std::string order;
    for (char c : format) {
        const char l = char(c | 0x20);
        if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos) order += l;
    }
    return order.size() == 3 ? order : "dmy";
}

bool ParseTime(std::string_view& s, double& value, const TFormatSettings& fs) {
    int hour = 0, minute = 0, second = 0, ms = 0;
    if (!ReadNumber(s, hour, 2) || !ReadChar(s, fs.TimeSeparator) || !ReadNumber(s, minute, 2)) return false;
    if (ReadChar(s, fs.TimeSeparator)) {
        if (!ReadNumber(s, second, 2)) return false;
        if (ReadChar(s, fs.DecimalSeparator) && !ReadNumber(s, ms, 3)) return false;
    }
    s = Strip(s);
    if (!s.empty()) {
        const bool am = StartsWithNoCase(s, fs.TimeAMString) || StartsWithNoCase(s, "AM");
        const bool pm = !am && (StartsWithNoCase(s, fs.TimePMString) || StartsWithNoCase(s, "PM"));
        if (!am && !pm) return false;
        s.remove_prefix(am ? (StartsWithNoCase(s, fs.TimeAMString) ? fs.TimeAMString.size() : 2)
                           : (StartsWithNoCase(s, fs.TimePMString) ? fs.TimePMString.size() : 2));
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || minute > 59 || second > 59) return false;
    value = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
    return true;
}

bool ParseDate(std::string_view& s, double& value, const TFormatSettings& fs) {
    int parts[3] = {0, 0, 0};
    size_t digits[3] = {0, 0, 0};
    int count = 0;
    for (; count < 3; ++count) {
        if (count > 0 && !ReadChar(s, fs.DateSeparator)) break;
        const size_t before = s.size();
        if (!ReadNumber(s, parts[count], 4)) return false;
        digits[count] = before - s.size();
    }
    if (count < 2) return false;
    const std::string order = DateOrder(fs.ShortDateFormat);
    int day = 0, month = 0, year = 0;
    bool yearGiven = false;
    size_t yearDigits = 0;
    if (count == 3) {
        for (int i = 0; i < 3; ++i) {
            if (order[size_t(i)] == 'd') day = parts[i];
            if (order[size_t(i)] == 'm') month = parts[i];
            if (order[size_t(i)] == 'y') {
                year = parts[i];
                yearDigits = digits[i];
            }
        }
        yearGiven = true;
    } else {
        // Two numbers: day and month in the format's order, this year.
        const bool dayFirst = order.find('d') < order.find('m');
        day = dayFirst ? parts[0] : parts[1];
        month = dayFirst ? parts[1] : parts[0];
    }
    int thisYear = 0, m0 = 0, d0 = 0;
    DecodeDate(CurrentClock().Now(), thisYear, m0, d0);
    if (!yearGiven) year = thisYear;
    else if (yearDigits <= 2) year += year < 50 ? 2000 : 1900;
    if (month < 1 || month > 12 || day < 1 || year < 1 || year > 9999 || day > DaysIn(year, month)) return false;
    value = EncodeDate(year, month, day);
    return true;
}

} // namespace

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& fs) {
    const std::string_view s = Strip(text);
    // The syntax is checked here; the conversion itself reads '.' only.
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const size_t mantissa = i;
    bool digits = false;
    while (i < s.size() && IsDigit(s[i])) ++i, digits = true;
    size_t separator = std::string_view::npos;
    if (i < s.size() && s[i] == fs.DecimalSeparator) {
        separator = i++;
        while (i < s.size() && IsDigit(s[i])) ++i, digits = true;
    }
    if (!digits) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (i >= s.size() || !IsDigit(s[i])) return false;
        while (i < s.size() && IsDigit(s[i])) ++i;
    }
    if (i != s.size()) return false;
    // from_chars takes no '+' and only '.' as the separator.
    char buffer[64];
    std::string long_;
    std::string_view number = s.substr(s[0] == '+' ? mantissa : 0);
    if (separator != std::string_view::npos && fs.DecimalSeparator != '.') {
        char* out = buffer;
        if (number.size() > sizeof buffer) {
            long_.assign(number);
            out = long_.data();
        } else {
            std::copy(number.begin(), number.end(), buffer);
        }
        out[separator - (s.size() - number.size())] = '.';
        number = std::string_view(out, number.size());
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
    if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool TryStrToTime(std::string_view text, double& value, const TFormatSettings& fs) {
    std::string_view s = Strip(text);
    double v = 0;
    if (!ParseTime(s, v, fs) || !Strip(s).empty()) return false;
    value = v;
    return true;
}

bool TryStrToDateTime(std::string_view text, double& value, const TFormatSettings& fs) {
    std::string_view s = Strip(text);
    double date = 0, time = 0;
    std::string_view probe = s;
    if (ParseDate(probe, date, fs)) {
        probe = Strip(probe);
        if (!probe.empty() && !ParseTime(probe, time, fs)) return false;
        if (!Strip(probe).empty()) return false;
        value = date < 0 ? date - time : date + time;
        return true;
    }
    return TryStrToTime(s, value, fs);
}

int StrComp(std::string_view a, std::string_view b) {
    a = a.substr(0, a.find('\0'));
    b = b.substr(0, b.find('\0'));
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = uint8_t(a[i]), y = uint8_t(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

namespace {

char Fold(char c, bool fold) { return fold && c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

// Byte order, ASCII case folded when asked.
int CompareBytes(std::string_view a, std::string_view b, bool fold) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = uint8_t(Fold(a[i], fold)), y = uint8_t(Fold(b[i], fold));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int Natural(std::string_view a, std::string_view b, bool fold) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Two runs of digits: by value, without converting (any length).
            while (a[i] == '0' && i + 1 < a.size() && IsDigit(a[i + 1])) ++i;
            while (b[j] == '0' && j + 1 < b.size() && IsDigit(b[j + 1])) ++j;
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
            for (; i < ei; ++i, ++j)
                if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
            continue;
        }
        const auto x = uint8_t(Fold(a[i], fold)), y = uint8_t(Fold(b[j], fold));
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    const bool aDone = i >= a.size(), bDone = j >= b.size();
    if (aDone && bDone) return 0;
    return aDone ? -1 : 1;
}

int CompareTexts(const TSortKey& a, const TSortKey& b) {
    if (a.major != b.major) return a.major < b.major ? -1 : 1;
    return CompareBytes(a.text, b.text, a.fold);
}

// The bits of a finite double as an unsigned number of the same order.
uint64_t OrderedBits(double v) {
    if (v == 0) v = 0; // -0 and +0 are one value
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits & 0x8000000000000000ull) ? ~bits : bits | 0x8000000000000000ull;
}

} // namespace

int CompareNumeric(std::string_view a, std::string_view b) {
    return CompareSortKeys(MakeSortKey(a, ssNumeric, true), MakeSortKey(b, ssNumeric, true), ssNumeric);
}

int CompareNumericExtended(std::string_view a, std::string_view b) { return Natural(a, b, false); }

TSortKey MakeSortKey(std::string_view text, TSortStyle style, bool caseSensitive) {
    TSortKey key;
    key.text = text.substr(0, text.find('\0'));
    key.fold = !caseSensitive;
    if (key.text.empty()) return key;
    key.kind = 2;
    bool converted = false;
    switch (style) {
    case ssNumeric: converted = TryStrToFloat(key.text, key.value); break;
    case ssDateTime: converted = TryStrToDateTime(key.text, key.value); break;
    case ssTime: converted = TryStrToTime(key.text, key.value); break;
    default: break;
    }
    if (converted) {
        key.kind = 1;
        key.major = OrderedBits(key.value);
        return key;
    }
    for (size_t i = 0; i < 8; ++i)
        key.major = (key.major << 8) | (i < key.text.size() ? uint8_t(Fold(key.text[i], key.fold)) : 0u);
    return key;
}

int CompareSortKeys(const TSortKey& a, const TSortKey& b, TSortStyle style) {
    switch (style) {
    case ssNumeric:
    case ssDateTime:
    case ssTime:
        if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
        if (a.kind == 1) return a.major < b.major ? -1 : (b.major < a.major ? 1 : 0);
        return CompareTexts(a, b);
    case ssNumericExtended: return Natural(a.text, b.text, a.fold);
    default: return CompareTexts(a, b);
    }
}

} // namespace ax
