#pragma once
// The text clipboard service: the display's clipboard for text, where
// "Copy as Path" puts the items' paths; headless, the text stays in the
// process.
#include <string>

namespace ax {

class ITextClipboard {
public:
    virtual ~ITextClipboard() = default;
    virtual void SetText(const std::string& utf8) = 0;
};
void SetTextClipboard(ITextClipboard* clipboard); // nullptr: headless
ITextClipboard& TextClipboard();
// What the headless text clipboard holds.
std::string HeadlessClipboardText();

} // namespace ax
