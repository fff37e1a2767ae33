// Names shown with escapes, and the escapes read back to bytes.
#include "rtl/displaytext.h"

#include <algorithm>

namespace ax {
namespace {

constexpr char32_t kEscapedBytes = 0xDC80, kEscapedBytesEnd = 0xDCFF;
constexpr char kHex[] = "0123456789ABCDEF";

void AppendByte(AnsiString& out, unsigned char b) {
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
}

void AppendUtf8(AnsiString& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

AnsiString EscapedName(std::string_view bytes) {
    // Most names are printable ASCII throughout, shown as they are: a
    // selection shows a million of them.
    const bool plain = std::all_of(bytes.begin(), bytes.end(),
                                   [](char b) { return b >= 0x20 && b < 0x7F && b != '\\'; });
    if (plain) return AnsiString(bytes);
    AnsiString out;
    out.reserve(bytes.size());
    for (const char32_t c : Utf8ToCodePoints(bytes)) {
        if (c >= kEscapedBytes && c <= kEscapedBytesEnd) {
            AppendByte(out, static_cast<unsigned char>(c - 0xDC00));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            AppendByte(out, static_cast<unsigned char>(c));
        } else if (c >= 0x80 && c < 0xA0) {
            // A C1 control is two bytes of UTF-8: both shown, so that it
            // never reads as the lone byte of the same value.
            AppendByte(out, 0xC2);
            AppendByte(out, static_cast<unsigned char>(c));
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

WideString EscapedName(std::u16string_view text) { return Utf8ToWide(EscapedName(WideToUtf8(text))); }

bool UnescapeName(std::string_view shown, AnsiString& bytes) {
    bytes.clear();
    bytes.reserve(shown.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] != '\\') {
            bytes += shown[i];
            continue;
        }
        if (i + 1 >= shown.size()) return false;
        const char kind = shown[++i];
        if (kind == '\\') {
            bytes += '\\';
        } else if (kind == 'n') {
            bytes += '\n';
        } else if (kind == 't') {
            bytes += '\t';
        } else if (kind == 'x' && i + 2 < shown.size() && HexValue(shown[i + 1]) >= 0 &&
                   HexValue(shown[i + 2]) >= 0) {
            bytes += char(HexValue(shown[i + 1]) * 16 + HexValue(shown[i + 2]));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace ax
