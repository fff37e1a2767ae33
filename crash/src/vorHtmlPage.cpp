// The exception box as an HTML page. Everything that comes from the
// exception or the report is escaped: the message text is whatever the
// failing code put into it.
#include "crash/vorHtmlPage.h"

#include "crash/vorBugReport.h"
#include "crash/vorSettings.h"

namespace ax {

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c; break;
        }
    }
    return out;
}

namespace {

// Escaped, each line break (CR LF, or a lone LF or CR) as a visible one.
std::string HtmlLines(const std::string& text) {
    const std::string escaped = HtmlEscape(text);
    std::string out;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c != '\r' && c != '\n') {
            out += c;
            continue;
        }
        if (c == '\r' && i + 1 < escaped.size() && escaped[i + 1] == '\n') ++i;
        out += "<br>\r\n";
    }
    return out;
}

std::string ButtonCell(const std::string& caption, const std::string& onClick) {
    return "<td><input type=\"button\" value=\"" + HtmlEscape(caption) + "\" onclick=\"" + onClick + "\"></td>";
}

} // namespace

std::string BuildHtmlPage(bool frozen, const std::string& report, const std::string& exceptMessage) {
    const VorSettings& s = ReporterSettings();
    const std::string title = ExpandPlaceholders(s.BoxTitle.str(), exceptMessage);
    const std::string text = ExpandPlaceholders(frozen ? s.FrozenText.str() : s.BoxText.str(), exceptMessage);
    // In a browser the page can only go back or reveal the report; the
    // other actions have nothing to act on there.
    std::string buttons = ButtonCell(s.ContinueButtonCaption.str(), "history.back()");
    if (!s.ShowReportAtOnce && !s.ShowButtonCaption.empty())
        buttons += "<td>&nbsp;</td>" +
                   ButtonCell(s.ShowButtonCaption.str(),
                              "document.getElementById('bugReport').style.visibility='visible'");
    std::string page = "<html><head><title>" + HtmlEscape(title) + "</title></head><body>\r\n";
    page += "<table width=\"100%\" height=\"100%\">\r\n";
    page += "<tr><td style=\"font-size:2pt;\">&nbsp;</td></tr>\r\n";
    page += "<tr><td style=\"font-family:'MS Sans Serif';font-size:13pt;\">" + HtmlLines(text) + "</td></tr>\r\n";
    page += "<tr><td style=\"font-size:8pt;\">&nbsp;</td></tr>\r\n";
    page += "<tr><td><table><tr>" + buttons + "</tr></table></td></tr>\r\n";
    page += "<tr><td><textarea id=\"bugReport\" readonly cols=\"80\" rows=\"20\"";
    if (!s.ShowReportAtOnce) page += " style=\"visibility:hidden;\"";
    page += ">" + HtmlEscape(report) + "</textarea></td></tr></table></body></html>";
    return page;
}

} // namespace ax
