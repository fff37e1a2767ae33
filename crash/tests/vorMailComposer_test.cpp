// The system mail channel: the report handed to the desktop's mail
// composer. A script stands in for the composer, records its arguments and
// copies what it was asked to attach.
#include "crash/vorMail.h"

#include "crash/vorSettings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace ax {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The arguments a script wrote, one NUL-ended each.
std::vector<std::string> SplitNul(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
        parts.push_back(text.substr(at, end - at));
    return parts;
}

class MailComposer : public ::testing::Test {
protected:
    void SetUp() override {
        savedSettings = ReporterSettings();
        savedNetwork = MailNetwork();
        char tmpl[] = "/tmp/axcomposerXXXXXX";
        folder = ::mkdtemp(tmpl);
        composer = folder + "/composer";
        WriteAll(composer, "#!/bin/sh\n"
                           "out='" + folder + "'\n"
                           "printf '%s\\0' \"$@\" > \"$out/args\"\n"
                           "while [ $# -gt 0 ]; do\n"
                           "  if [ \"$1\" = --attach ]; then cp \"$2\" \"$out/attached\"; fi\n"
                           "  shift\n"
                           "done\n"
                           "exit ${COMPOSER_STATUS:-0}\n");
        ::chmod(composer.c_str(), 0755);
        auto& s = ReporterSettings();
        s.MailRecipient = "support@example.test; Help Desk <help@example.test>";
        s.MailSubject = "crash: %exceptMsg%";
        s.MailDirect = false;
        s.MailViaSmtpServer = false;
        s.MailViaMapi = true;
        s.MailViaMailto = false;
        s.BugReportFile = folder + "/bugreport.txt";
        s.AttachReportFile = true;
        s.AttachTempCopy = false;
        MailNetwork().MailComposerProgram = composer;
        MailNetwork().MailtoProgram = "/nonexistent/mailto";
        MailNetwork().ConnectedOverride = 0;
    }
    void TearDown() override {
        ReporterSettings() = savedSettings;
        MailNetwork() = savedNetwork;
        unsetenv("COMPOSER_STATUS");
        std::filesystem::remove_all(folder);
    }

    VorSettings savedSettings;
    TMailNetwork savedNetwork;
    std::string folder, composer;
};

const std::string kReport = "date/time         : 2026-12-07, 10:11:12, 13ms\r\n"
                            "exception message : Access violation.\r\n"
                            "--subject \"quoted\" $HOME `x`";

TEST_F(MailComposer, HandsSubjectBodyAttachmentAndRecipientsAsArguments) {
    const std::string fileContent = std::string("saved report\r\n\0\xff binary tail", 28);
    WriteAll(folder + "/bugreport.txt", fileContent);
    ASSERT_TRUE(SendBugReport(kReport, 0, false));
    const std::vector<std::string> expected = {"--subject", "crash: Access violation.",
                                               "--body",    kReport,
                                               "--attach",  folder + "/bugreport.txt",
                                               "support@example.test", "help@example.test"};
    EXPECT_EQ(SplitNul(ReadAll(folder + "/args")), expected);
    EXPECT_EQ(ReadAll(folder + "/attached"), fileContent);
}

TEST_F(MailComposer, WithoutAReportFileNothingIsAttached) {
    ASSERT_TRUE(SendBugReport(kReport, 0, false));
    const auto args = SplitNul(ReadAll(folder + "/args"));
    EXPECT_EQ(std::count(args.begin(), args.end(), "--attach"), 0);
    EXPECT_FALSE(std::filesystem::exists(folder + "/attached"));
}

TEST_F(MailComposer, AMissingComposerIsAFailure) {
    MailNetwork().MailComposerProgram = folder + "/no-such-composer";
    EXPECT_FALSE(SendBugReport(kReport, 0, false));
}

TEST_F(MailComposer, AComposerThatFailsLeavesTheMailtoHandlerToTry) {
    setenv("COMPOSER_STATUS", "3", 1); // xdg-email: no mail program found
    EXPECT_FALSE(SendBugReport(kReport, 0, false));
    ASSERT_TRUE(std::filesystem::exists(folder + "/args")) << "the composer was not asked";
    ReporterSettings().MailViaMailto = true;
    MailNetwork().MailtoProgram = "true";
    EXPECT_TRUE(SendBugReport(kReport, 0, false));
}

TEST_F(MailComposer, SilentMailNeverOpensTheComposer) {
    EXPECT_FALSE(SendBugReport(kReport, 0, true));
    EXPECT_FALSE(std::filesystem::exists(folder + "/args"));
}

TEST_F(MailComposer, SwitchedOffItIsNotAsked) {
    ReporterSettings().MailViaMapi = false;
    EXPECT_FALSE(SendBugReport(kReport, 0, false));
    EXPECT_FALSE(std::filesystem::exists(folder + "/args"));
}

} // namespace
} // namespace ax
