#pragma once
// The exception box as an HTML page, for programs whose standard output is
// a web server's answer: the message, a way back and the report.
#include <string>

namespace ax {

// Every byte that could open markup or end an attribute in the text written
// as an entity (& < > " '), so that a message can never become markup.
std::string HtmlEscape(const std::string& text);

// The page for an exception (frozen: the main thread hangs) with the
// report; the texts and captions come from the reporter's settings.
std::string BuildHtmlPage(bool frozen, const std::string& report, const std::string& exceptMessage);

} // namespace ax
