#pragma once
// Small helpers used all over the system: number and date formatting with a
// locale that tests can fix, POSIX file-name functions and file checks.
#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/clock.h"
#include "rtl/text.h"

namespace ax {

struct TFormatSettings {
    char ThousandSeparator = ',';
    char DecimalSeparator = '.';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
};

// The process's format settings. They start from the C locale's values;
// LoadLocaleFormatSettings reads the user's locale instead, and tests set
// the fields they need.
TFormatSettings& FormatSettings();
void LoadLocaleFormatSettings();

// "1,234,567" with the thousands separator.
AnsiString FormatThousands(int64_t value, const TFormatSettings& fs = FormatSettings());
// Fixed decimals with both separators: FormatNumber(1234.5, 2) = "1,234.50".
AnsiString FormatNumber(double value, int decimals, const TFormatSettings& fs = FormatSettings());
// Fixed decimals, decimal separator only.
AnsiString FormatFixed(double value, int decimals, const TFormatSettings& fs = FormatSettings());

// Tokens: yyyy yy m mm mmm mmmm d dd ddd dddd h hh n nn s ss z zzz am/pm
// ampm, "/" and ":" for the separators, quoted text and c (short date and
// long time).
AnsiString FormatDateTime(std::string_view format, TDateTime value,
                          const TFormatSettings& fs = FormatSettings());
AnsiString DateTimeToStr(TDateTime value, const TFormatSettings& fs = FormatSettings());
TDateTime Now();

// File names are POSIX paths; the delimiter is "/".
inline constexpr char PathDelim = '/';
AnsiString ExtractFilePath(std::string_view fileName); // keeps the trailing "/"
AnsiString ExtractFileDir(std::string_view fileName);  // without it (but "/" stays)
AnsiString ExtractFileName(std::string_view fileName);
AnsiString ExtractFileExt(std::string_view fileName); // with its ".", or empty
AnsiString ChangeFileExt(std::string_view fileName, std::string_view extension);
AnsiString IncludeTrailingPathDelimiter(std::string_view path);
AnsiString ExcludeTrailingPathDelimiter(std::string_view path); // "/" stays "/"
AnsiString ExpandFileName(std::string_view fileName);

bool FileExists(const std::string& fileName);      // exists and is not a folder
bool DirectoryExists(const std::string& dirName);  // exists and is a folder
bool PathExists(const std::string& path);          // anything at all, links not followed
bool ForceDirectories(const std::string& dirName);
bool DeleteFile(const std::string& fileName);
bool RemoveDir(const std::string& dirName);
int64_t FileSizeOf(const std::string& fileName); // -1 when it cannot be read
// Modification time as local TDateTime, or -1.
TDateTime FileDateTime(const std::string& fileName);
AnsiString GetCurrentDir();
// Folder of the running executable, with a trailing "/".
AnsiString ProgramDirectory();

} // namespace ax
