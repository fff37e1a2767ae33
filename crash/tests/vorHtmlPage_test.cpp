// The exception page for web output: its exact bytes for a small report,
// and a hostile message or report that must stay text.
#include "crash/vorHtmlPage.h"

#include "crash/vorExceptBox.h"
#include "crash/vorSettings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace ax {
namespace {

class HtmlPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = ReporterSettings();
        savedRuntime = ReporterRuntime();
        ReporterSettings().BoxTitle = "backup";
        ReporterSettings().BoxText = "Failed: %exceptMsg%%LF%Sorry.";
    }
    void TearDown() override {
        ReporterSettings() = saved;
        ReporterRuntime() = savedRuntime;
    }
    VorSettings saved;
    VorRuntimeValues savedRuntime;
};

TEST(HtmlEscape, EveryMarkupByteBecomesAnEntity) {
    EXPECT_EQ(HtmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
    EXPECT_EQ(HtmlEscape("&amp;"), "&amp;amp;") << "text that looks escaped is escaped again";
    EXPECT_EQ(HtmlEscape("plain \xe9 text"), "plain \xe9 text");
}

TEST_F(HtmlPageTest, SmallReportHasExactlyTheseBytes) {
    const std::string expected =
        "<html><head><title>backup</title></head><body>\r\n"
        "<table width=\"100%\" height=\"100%\">\r\n"
        "<tr><td style=\"font-size:2pt;\">&nbsp;</td></tr>\r\n"
        "<tr><td style=\"font-family:'MS Sans Serif';font-size:13pt;\">Failed: disk full<br>\r\nSorry.</td></tr>\r\n"
        "<tr><td style=\"font-size:8pt;\">&nbsp;</td></tr>\r\n"
        "<tr><td><table><tr>"
        "<td><input type=\"button\" value=\"continue application\" onclick=\"history.back()\"></td>"
        "<td>&nbsp;</td>"
        "<td><input type=\"button\" value=\"show bug report\" "
        "onclick=\"document.getElementById('bugReport').style.visibility='visible'\"></td>"
        "</tr></table></td></tr>\r\n"
        "<tr><td><textarea id=\"bugReport\" readonly cols=\"80\" rows=\"20\" style=\"visibility:hidden;\">"
        "line 1\r\nline 2</textarea></td></tr></table></body></html>";
    EXPECT_EQ(BuildHtmlPage(false, "line 1\r\nline 2", "disk full"), expected);
}

TEST_F(HtmlPageTest, ReportShownAtOnceIsVisibleAndHasNoShowButton) {
    ReporterSettings().ShowReportAtOnce = true;
    ReporterSettings().FrozenText = "Hangs";
    const std::string page = BuildHtmlPage(true, "r", "m");
    EXPECT_NE(page.find(">Hangs</td>"), std::string::npos) << "a freeze says so";
    EXPECT_EQ(page.find("show bug report"), std::string::npos);
    EXPECT_EQ(page.find("visibility:hidden"), std::string::npos);
    EXPECT_NE(page.find("rows=\"20\">r</textarea>"), std::string::npos);
}

TEST_F(HtmlPageTest, HostileTextStaysText) {
    ReporterSettings().BoxTitle = "%exceptMsg%";
    ReporterSettings().ContinueButtonCaption = "go\" onmouseover=\"x()";
    const std::string message = "<script>alert('x')</script>";
    const std::string report = "exception message : " + message + "\r\n</textarea><script>steal()</script>";
    const std::string page = BuildHtmlPage(false, report, message);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("</textarea><"), page.rfind("</textarea></td>")) << "the report cannot end its own area";
    EXPECT_EQ(page.find("onmouseover=\""), std::string::npos);
    EXPECT_NE(page.find("<title>&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;</title>"), std::string::npos);
    EXPECT_NE(page.find("Failed: &lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;<br>"), std::string::npos);
    EXPECT_NE(page.find("&lt;/textarea&gt;&lt;script&gt;steal()&lt;/script&gt;</textarea>"), std::string::npos);
}

// A web module's console answer is the header and the page, on standard
// output; nothing of the plain text form.
TEST_F(HtmlPageTest, WebModuleAnswersWithHeaderAndPage) {
    ReporterRuntime().ConsoleProgram = true;
    ReporterRuntime().WebModule = true;
    char name[] = "/tmp/axhtmlXXXXXX";
    const int file = ::mkstemp(name);
    ASSERT_GE(file, 0);
    const int out = ::dup(1);
    ::dup2(file, 1);
    ShowExceptionDialog(true, false, "r<", "m&");
    ::dup2(out, 1);
    ::close(out);
    ::close(file);
    std::ifstream in(name, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    ::unlink(name);
    const std::string text = got.str();
    EXPECT_EQ(text, "Content-Type: text/html\r\n\r\n" + BuildHtmlPage(false, "r<", "m&"));
    EXPECT_NE(text.find("Failed: m&amp;<br>"), std::string::npos);
    EXPECT_NE(text.find(">r&lt;</textarea>"), std::string::npos);
}

} // namespace
} // namespace ax
