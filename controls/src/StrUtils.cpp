// Finding the n-th word of a text (1-based; 0 or empty when there is none).
#include "controls/StrUtils.h"

namespace ax {

int WordPosition(int n, const AnsiString& s, const TCharSet& wordDelims) {
    int count = 0;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && wordDelims.Contains(s[i])) ++i;
        if (i == s.size()) break;
        if (++count == n) return int(i) + 1;
        while (i < s.size() && !wordDelims.Contains(s[i])) ++i;
    }
    return 0;
}

AnsiString ExtractWord(int n, const AnsiString& s, const TCharSet& wordDelims) {
    const int start = WordPosition(n, s, wordDelims);
    if (start == 0) return {};
    size_t end = size_t(start) - 1;
    while (end < s.size() && !wordDelims.Contains(s[end])) ++end;
    return s.substr(size_t(start) - 1, end - size_t(start) + 1);
}

} // namespace ax
