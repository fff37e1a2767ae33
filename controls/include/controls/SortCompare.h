#pragma once
// How the sort grid orders the texts of a key column. Every comparison here
// is a strict weak order, whatever the texts hold, so a sort can rely on it:
// an empty text sorts first, texts that convert (numbers, dates, times) come
// next in the order of their values, and texts that do not convert follow
// in byte order.
#include <cstdint>
#include <functional>
#include <string_view>

#include "rtl/sysutils.h"
#include "rtl/text.h"

namespace ax {

enum TSortStyle { ssAutomatic, ssNormal, ssNumeric, ssNumericExtended, ssDateTime, ssTime, ssCustom };
enum TSortDirection { sdAscending, sdDescending };

// A caller's comparison of two texts: below, at or above 0.
using TSortCompare = std::function<int(const AnsiString& Str1, const AnsiString& Str2)>;

// Conversions with the process's format settings; false when the text is
// not one. Blanks around the text are allowed.
bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& fs = FormatSettings());
// "h:nn", "h:nn:ss", "h:nn:ss.zzz", optionally followed by "AM" or "PM".
bool TryStrToTime(std::string_view text, double& value, const TFormatSettings& fs = FormatSettings());
// A date in the order of the short date format (two or three numbers;
// the year may be left out or given with two digits), optionally followed
// by a time; or a time alone.
bool TryStrToDateTime(std::string_view text, double& value, const TFormatSettings& fs = FormatSettings());

// Byte order of two texts read as zero-terminated strings.
int StrComp(std::string_view a, std::string_view b);
// Numbers in order of value; see the header comment for the rest.
int CompareNumeric(std::string_view a, std::string_view b);
// Numbers inside text: runs of digits compare by value, everything else by
// bytes, so "file9" sorts before "file10".
int CompareNumericExtended(std::string_view a, std::string_view b);

// A key column's text prepared once per row, so that a sort converts each
// text once instead of at every comparison. The key refers to the text it
// was made from, which must stay in place while the key is used.
struct TSortKey {
    int kind = 0; // 0 empty, 1 converted, 2 other text
    double value = 0;
    // An unsigned number in the key's order, deciding most comparisons by
    // itself: for a converted text its value's order, for other texts
    // their first eight bytes (folded unless case-sensitive), big-endian.
    uint64_t major = 0;
    std::string_view text; // cut at a zero byte
    bool fold = false;     // compared without ASCII case
};
TSortKey MakeSortKey(std::string_view text, TSortStyle style, bool caseSensitive);
// ssAutomatic and ssCustom compare as ssNormal here (a custom routine is
// the caller's to call). Keys of different kinds or different major values
// never need more than those two fields.
int CompareSortKeys(const TSortKey& a, const TSortKey& b, TSortStyle style);

} // namespace ax
