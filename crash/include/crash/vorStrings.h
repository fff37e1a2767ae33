#pragma once
// The crash reporter's self-contained text toolbox. Strings are 8-bit,
// positions 1-based; "not found" is 0 for positions and -1 for RawSearch.
// The names live in ax::vor so they do not meet the runtime's helpers.
#include <cstdint>
#include <string>
#include <string_view>

namespace ax::vor {

// 256-byte tables: case folding (Latin-1 aware) and hex digit values.
extern const unsigned char CaseFoldTable[256];
extern const unsigned char DigitTable[256];

void TrimInPlace(std::string& s);
std::string TrimCopy(std::string_view s);
// Deletes every byte that is in the set; true when anything was deleted.
bool RemoveChars(std::string& s, std::string_view set);

// Replaces every occurrence of oldText, left to right. With rescan the
// search resumes at the inserted text (one character later when newText is
// longer), unless newText itself contains oldText: rescanning would then
// never end, so the search resumes after it.
bool ReplaceStr(std::string& s, std::string_view oldText, std::string_view newText,
                bool rescan = false);
bool ReplaceText(std::string& s, std::string_view oldText, std::string_view newText,
                 bool rescan = false);
bool Replace(std::string& s, std::string_view oldText, std::string_view newText,
             bool ignoreCase, bool rescan);

// Delete(s, index, count) on a copy; Copy(s, index, count) into s itself.
std::string DeleteCopy(std::string_view s, int index, int count);
void CopyInPlace(std::string& s, int index, int count);
std::string RightStr(std::string_view s, int count);

char UpChar(char c);
std::string UpStr(std::string_view s);
char LowChar(char c);

bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);

inline constexpr int posToEnd = -1;
inline constexpr int posFromEnd = 0x7FFFFFFF;
// Position of sub in s, searching [from, to] forward when from <= to and
// backward from "from" down to "to" otherwise; the match lies wholly inside.
int PosStr(std::string_view sub, std::string_view s, int from = 1, int to = posToEnd);
int PosText(std::string_view sub, std::string_view s, int from = 1, int to = posToEnd);
// Core search: 0-based from/to as above (clamped), -1 when not found.
int RawSearch(const char* pattern, const char* text, int patternLength, int from, int to,
              bool fold, int textLength);
bool StartsWithText(std::string_view prefix, std::string_view s);
// First (forward) or last (backward) position of any byte of the set.
int PosChars(std::string_view set, std::string_view s, int from = 1, int to = posToEnd);

void FillStr(std::string& s, int count, bool atFront, char fill);
void PadStr(std::string& s, int width, char fill);

std::string IntToStrEx(std::int32_t value);
std::string IntToStrEx(std::int64_t value);
std::string IntToHexEx(std::uint32_t value);
std::string IntToHexEx(std::uint64_t value);
std::string IntToStrEx(std::int64_t value, int width, char fill);
std::string IntToHexEx(std::uint64_t value, int width, char fill);
std::int64_t StrToIntEx(bool hex, const char* chars, int length);

void CollapseSeparators(std::string& s, char separator);
int SubStrCount(std::string_view s, char separator);
std::string SubStr(std::string_view s, int index, char separator);
bool IsTextInList(std::string_view list, std::string_view item, char separator);

// The locale's decimal separator, read once; "," when it cannot be read.
char DecimalSeparator();
std::string SizeToStr(std::int64_t bytes);
// The system's text for an error number, CR turned into blanks, LF removed.
std::string ErrorCodeToStr(std::uint32_t code);
std::u16string WidenStr(std::string_view s, bool terminate);

} // namespace ax::vor
