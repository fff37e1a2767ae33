// Number and date formatting under the format settings (loaded from the
// locale, or fixed by tests), file-name functions and file checks.
#include "rtl/sysutils.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

void LoadLocaleFormatSettings() {
    std::setlocale(LC_NUMERIC, "");
    const lconv* lc = std::localeconv();
    TFormatSettings& fs = FormatSettings();
    if (lc->thousands_sep && lc->thousands_sep[0] && !lc->thousands_sep[1])
        fs.ThousandSeparator = lc->thousands_sep[0];
    if (lc->decimal_point && lc->decimal_point[0] && !lc->decimal_point[1])
        fs.DecimalSeparator = lc->decimal_point[0];
    std::setlocale(LC_NUMERIC, "C");
}

static AnsiString GroupDigits(std::string_view digits, char separator) {
    AnsiString out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0 && separator) out += separator;
        out += digits[i];
    }
    return out;
}

AnsiString FormatThousands(int64_t value, const TFormatSettings& fs) {
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    const AnsiString grouped = GroupDigits(std::to_string(magnitude), fs.ThousandSeparator);
    return negative ? "-" + grouped : grouped;
}

static AnsiString FixedParts(double value, int decimals, const TFormatSettings& fs, bool group) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals < 0 ? 0 : decimals, std::fabs(value));
    std::string_view s(buf);
    const size_t dot = s.find('.');
    std::string_view whole = s.substr(0, dot);
    AnsiString out = group ? GroupDigits(whole, fs.ThousandSeparator) : AnsiString(whole);
    if (dot != std::string_view::npos) {
        out += fs.DecimalSeparator;
        out += s.substr(dot + 1);
    }
    bool zero = true;
    for (char c : s)
        if (c >= '1' && c <= '9') zero = false;
    return (value < 0 && !zero) ? "-" + out : out;
}

AnsiString FormatNumber(double value, int decimals, const TFormatSettings& fs) {
    return FixedParts(value, decimals, fs, true);
}

AnsiString FormatFixed(double value, int decimals, const TFormatSettings& fs) {
    return FixedParts(value, decimals, fs, false);
}

static const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
static const char* const kLongMonths[] = {"January", "February", "March",     "April",
                                          "May",     "June",     "July",      "August",
                                          "September", "October", "November", "December"};
static const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
static const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};

AnsiString FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& fs) {
    int year, month, day, hour, minute, second, ms;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, ms);
    // 1899-12-30 was a Saturday.
    const int64_t days = static_cast<int64_t>(std::floor(value));
    const int weekday = static_cast<int>(((days % 7) + 7 + 6) % 7);

    // A 12-hour clock is used when the format holds an am/pm token.
    const bool twelve = format.find("am/pm") != std::string_view::npos ||
                        format.find("ampm") != std::string_view::npos;
    AnsiString out;
    auto two = [&](int v) { out += Format("%02d", v); };
    size_t i = 0;
    char last = 0; // whether "m" after "h" means minutes
    while (i < format.size()) {
        const char c = format[i];
        auto run = [&](char ch) {
            size_t n = 0;
            while (i + n < format.size() && (format[i + n] | 0x20) == ch) ++n;
            return n;
        };
        const char lc = static_cast<char>(c | 0x20);
        if (c == '"' || c == '\'') {
            const size_t end = format.find(c, i + 1);
            out += format.substr(i + 1, end == std::string_view::npos ? end : end - i - 1);
            i = end == std::string_view::npos ? format.size() : end + 1;
            continue;
        }
        if (format.substr(i, 5) == "am/pm") {
            out += hour < 12 ? "am" : "pm";
            i += 5;
            continue;
        }
        if (format.substr(i, 4) == "ampm") {
            out += hour < 12 ? fs.TimeAMString : fs.TimePMString;
            i += 4;
            continue;
        }
        if (lc == 'y') {
            const size_t n = run('y');
            out += n <= 2 ? Format("%02d", year % 100) : Format("%04d", year);
            i += n;
        } else if (lc == 'm') {
            const size_t n = run('m');
            if (last == 'h' && n <= 2) {
                n == 1 ? void(out += std::to_string(minute)) : two(minute);
            } else if (n == 1) {
                out += std::to_string(month);
            } else if (n == 2) {
                two(month);
            } else if (n == 3) {
                out += kShortMonths[month - 1];
            } else {
                out += kLongMonths[month - 1];
            }
            i += n;
            last = 'm';
        } else if (lc == 'd') {
            const size_t n = run('d');
            if (n == 1) out += std::to_string(day);
            else if (n == 2) two(day);
            else if (n == 3) out += kShortDays[weekday];
            else out += kLongDays[weekday];
            i += n;
        } else if (lc == 'h') {
            const size_t n = run('h');
            int h = hour;
            if (twelve) h = hour % 12 == 0 ? 12 : hour % 12;
            n == 1 ? void(out += std::to_string(h)) : two(h);
            i += n;
            last = 'h';
        } else if (lc == 'n') {
            const size_t n = run('n');
            n == 1 ? void(out += std::to_string(minute)) : two(minute);
            i += n;
        } else if (lc == 's') {
            const size_t n = run('s');
            n == 1 ? void(out += std::to_string(second)) : two(second);
            i += n;
        } else if (lc == 'z') {
            const size_t n = run('z');
            out += n >= 3 ? Format("%03d", ms) : std::to_string(ms);
            i += n;
        } else if (lc == 'c' && run('c') == 1) {
            out += FormatDateTime(fs.ShortDateFormat, value, fs);
            if (hour || minute || second) out += " " + FormatDateTime(fs.LongTimeFormat, value, fs);
            ++i;
        } else if (c == '/') {
            out += fs.DateSeparator;
            ++i;
        } else if (c == ':') {
            out += fs.TimeSeparator;
            ++i;
        } else {
            out += c;
            ++i;
        }
        if (lc != 'h' && lc != 'm' && lc != ' ' && lc != ':' && lc != '\'' && lc != '"') {
            if (lc >= 'a' && lc <= 'z') last = 0;
        }
    }
    return out;
}

AnsiString DateTimeToStr(TDateTime value, const TFormatSettings& fs) {
    return FormatDateTime("c", value, fs);
}

TDateTime Now() { return CurrentClock().Now(); }

AnsiString ExtractFilePath(std::string_view fileName) {
    const size_t slash = fileName.rfind(PathDelim);
    return slash == std::string_view::npos ? AnsiString() : AnsiString(fileName.substr(0, slash + 1));
}

AnsiString ExtractFileDir(std::string_view fileName) {
    const size_t slash = fileName.rfind(PathDelim);
    if (slash == std::string_view::npos) return AnsiString();
    if (slash == 0) return "/";
    return AnsiString(fileName.substr(0, slash));
}

AnsiString ExtractFileName(std::string_view fileName) {
    const size_t slash = fileName.rfind(PathDelim);
    return AnsiString(slash == std::string_view::npos ? fileName : fileName.substr(slash + 1));
}

AnsiString ExtractFileExt(std::string_view fileName) {
    const size_t slash = fileName.rfind(PathDelim);
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return AnsiString(fileName.substr(dot));
}

AnsiString ChangeFileExt(std::string_view fileName, std::string_view extension) {
    const AnsiString ext = ExtractFileExt(fileName);
    return AnsiString(fileName.substr(0, fileName.size() - ext.size())) + AnsiString(extension);
}

AnsiString IncludeTrailingPathDelimiter(std::string_view path) {
    AnsiString out(path);
    if (out.empty() || out.back() != PathDelim) out += PathDelim;
    return out;
}

AnsiString ExcludeTrailingPathDelimiter(std::string_view path) {
    AnsiString out(path);
    while (out.size() > 1 && out.back() == PathDelim) out.pop_back();
    return out;
}

AnsiString ExpandFileName(std::string_view fileName) {
    AnsiString path(fileName);
    if (path.empty() || path[0] != '/') path = IncludeTrailingPathDelimiter(GetCurrentDir()) + path;
    // Resolve "." and ".." by text; links are left as they are.
    std::vector<AnsiString> parts;
    for (const AnsiString& part : SplitString(path, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    AnsiString out;
    for (const AnsiString& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

bool FileExists(const std::string& fileName) {
    struct stat st{};
    return ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& dirName) {
    struct stat st{};
    return ::stat(dirName.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

bool ForceDirectories(const std::string& dirName) {
    if (dirName.empty()) return false;
    const AnsiString dir = ExcludeTrailingPathDelimiter(dirName);
    if (DirectoryExists(dir)) return true;
    const AnsiString parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir && !ForceDirectories(parent)) return false;
    return ::mkdir(dir.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(dir));
}

bool DeleteFile(const std::string& fileName) { return ::unlink(fileName.c_str()) == 0; }
bool RemoveDir(const std::string& dirName) { return ::rmdir(dirName.c_str()) == 0; }

int64_t FileSizeOf(const std::string& fileName) {
    struct stat st{};
    return ::stat(fileName.c_str(), &st) == 0 ? st.st_size : -1;
}

TDateTime FileDateTime(const std::string& fileName) {
    struct stat st{};
    if (::stat(fileName.c_str(), &st) != 0) return -1;
    tm local{};
    localtime_r(&st.st_mtime, &local);
    return UnixToDateTime(st.st_mtime + local.tm_gmtoff);
}

AnsiString GetCurrentDir() {
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) ? AnsiString(buf) : AnsiString();
}

AnsiString ProgramDirectory() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return IncludeTrailingPathDelimiter(GetCurrentDir());
    return ExtractFilePath(std::string_view(buf, static_cast<size_t>(n)));
}

} // namespace ax
