#pragma once
// Wide-string helpers, a list of wide strings and a file stream opened by a
// wide name.
//
// The shell controls work on UTF-16 text (WideString). File names reach the
// kernel as WideToUtf8 of that text, which is lossless for any name the
// kernel can hold, so there is one code path for every call: no "wide" and
// "narrow" variants of the system functions.
//
// Paths are POSIX paths: the path delimiter is "/", and the one root a path
// can have is "/" (the helpers named after backslashes and drives work on
// "/" and the file-system root).
//
// Case-insensitive comparison and case mapping of whole strings are the
// runtime's WideCompareText, WideLowerCase and WideUpperCase.
#include "rtl/lists.h"
#include "rtl/streams.h"
#include "rtl/text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace ax {

// ---- zero-terminated UTF-16 ----

// Units before the terminating 0; 0 for nil.
size_t StrLenW(const char16_t* p);
// Copies count units; overlapping ranges are fine. Returns dest.
char16_t* StrMoveW(char16_t* dest, const char16_t* source, size_t count);
// Code-point order: supplementary characters (surrogate pairs) sort after the
// rest of the basic plane. Nil reads as empty. <0, 0, >0.
int StrCompW(const char16_t* s1, const char16_t* s2);
// First / last occurrence of ch before the terminator; nil when absent.
const char16_t* StrScanW(const char16_t* p, char16_t ch);
const char16_t* StrRScanW(const char16_t* p, char16_t ch);
// First occurrence of sub in s; nil when either is nil, sub is empty or
// longer than s.
const char16_t* StrPosW(const char16_t* s, const char16_t* sub);
// Swaps the two bytes of every unit up to the terminator, in place.
void StrSwapByteOrder(char16_t* p);
// In-place case mapping; returns p.
char16_t* StrLowerW(char16_t* p);
char16_t* StrUpperW(char16_t* p);

// ---- strings and paths ----

// "1234567" becomes "1,234,567" with the thousands separator of the format
// settings.
WideString WideInsertThousandSeparators(const WideString& digits);
// Creates the folder (never replacing anything) and announces it on the
// shell change bus (SHCNE_MKDIR).
bool WideCreateDirectory(const WideString& path);
// An existing folder (links followed); false for "".
bool WideDirectoryExists(const WideString& path);
// Anything at all under that exact name (no wildcards; links not followed).
bool WideFileExists(const WideString& path);
// The file system holding path answers a free-space query.
bool DriveReady(const WideString& path);
// An absolute path's folder: everything before the last "/", or "/" for an
// item of the root; "" for a relative path.
WideString WideExtractFileDir(const WideString& path);
// "/" for an absolute path, "" otherwise.
WideString WideExtractFileDrive(const WideString& path);
// From the last "." of the last path element on (with the "."), or "".
WideString WideExtractFileExt(const WideString& path);
// Appends "/" unless the path ends in one.
WideString WideIncludeTrailingBackslash(const WideString& path);
// Removes a final "/"; the root "/" keeps it unless always is set.
WideString WideExcludeTrailingBackslash(const WideString& path, bool always = false);
// The path is the root "/".
bool WideIsDriveRoot(const WideString& path);
// The path is absolute.
bool HasDriveSeparator(const WideString& path);
// Inserts sub before position index (0-based); an index outside 0..length
// changes nothing.
void WideStrInsert(const WideString& sub, WideString& s, int index);
WideString WideIntToStr(int64_t n);
// path + "/" + name ("New Folder" when name is empty); while something of
// that name exists, name + " (n)" for n = 1 .. 20 (the last is returned
// even when it exists, and creating it then fails).
WideString UniqueDirName(const WideString& path, const WideString& name);
// An exclamation box (MB_ICONEXCLAMATION) through the message-box service.
void WideShowMessage(uintptr_t window, const WideString& text, const WideString& caption);

// ---- file stream by wide name ----

inline constexpr uint16_t fmWideCreate = 0xFFFF;

// Opens the file whose name bytes are WideToUtf8(fileName). fmWideCreate (or
// fmCreate) creates or truncates; any other mode opens an existing file with
// the access and share bits of the file stream.
class TWideFileStream : public TFileStream {
public:
    TWideFileStream(const WideString& fileName, uint16_t mode);
};

// ---- list of wide strings ----

// The class library's string list of 16-bit strings: the runtime's shared
// core (rtl/stringlistcore.h) with case-insensitive comparison, lines ended
// by CR LF, and byte-order-marked UTF-16 streams.
class TWideStringList : public TStringListCore<char16_t, TWideStringList> {
public:
    TWideStringList() = default;
    TWideStringList(const TWideStringList&) = delete;
    TWideStringList& operator=(const TWideStringList&) = delete;

    // Strings and object references are copied; objects stay owned by
    // whichever list owned them.
    void Assign(const TWideStringList& source);
    void Assign(const TStringList& source);
    void AssignTo(TStringList& dest) const;

    // The rest of the stream: UTF-16 after a byte-order mark (either byte
    // order), UTF-8 otherwise.
    void LoadFromStream(TStream& stream);
    // Byte-order mark FF FE, then Text as little-endian UTF-16.
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const WideString& fileName);
    // Written atomically: a failure leaves the previous file as it was.
    void SaveToFile(const WideString& fileName) const;
};

} // namespace ax
