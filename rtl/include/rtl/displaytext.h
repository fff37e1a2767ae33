#pragma once
// Names as a person reads them. A file name is any byte string but "/" and
// NUL: it may hold line breaks, tabs, other control characters and bytes
// that are not UTF-8, which a display would drop, break lines at or draw
// alike. The display form shows each of them as an escape, so that two
// different names never look the same:
//   line feed "\n", tab "\t", a backslash "\\", every other control
//   character and every byte not part of valid UTF-8 "\xHH" (its bytes, in
//   upper-case hex); anything else as it is.
// The form stands for bytes: "\xC2\x85" is the two bytes of U+0085, "\x85"
// the lone byte. Only what is shown takes it; what is stored keeps the
// bytes.
#include "rtl/text.h"

namespace ax {

AnsiString EscapedName(std::string_view bytes);
// The same for 16-bit text (bytes not part of UTF-8 as U+DC80..U+DCFF).
WideString EscapedName(std::u16string_view text);
// The bytes a display form stands for; false when shown holds a backslash
// that starts none of the escapes above.
bool UnescapeName(std::string_view shown, AnsiString& bytes);

} // namespace ax
