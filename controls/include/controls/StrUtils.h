#pragma once
// Words of a text: maximal runs of characters outside a delimiter set.
#include <bitset>
#include <string_view>

#include "rtl/text.h"

namespace ax {

class TCharSet {
public:
    TCharSet() = default;
    TCharSet(std::string_view chars) {
        for (char c : chars) bits_.set(uint8_t(c));
    }
    bool Contains(char c) const { return bits_.test(uint8_t(c)); }

private:
    std::bitset<256> bits_;
};

// The 1-based position of the first character of word n (counted from 1),
// 0 when the text has fewer words.
int WordPosition(int n, const AnsiString& s, const TCharSet& wordDelims);
// Word n, or an empty string.
AnsiString ExtractWord(int n, const AnsiString& s, const TCharSet& wordDelims);

} // namespace ax
