// Whether the short date format shows four-digit years, read once from the
// format settings.
#include "controls/DateUtil.h"

#include "rtl/sysutils.h"
#include "rtl/text.h"

namespace ax {

bool FourDigitYear() {
    static const bool fourDigits = [] {
        AnsiString format = FormatSettings().ShortDateFormat;
        for (char& c : format) c = char(std::toupper(uint8_t(c)));
        return format.find("YYYY") != AnsiString::npos;
    }();
    return fourDigits;
}

} // namespace ax
