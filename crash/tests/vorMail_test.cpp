#include "crash/vorMail.h"

#include "crash/vorCrypt.h"
#include "crash/vorSettings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ax {
namespace {

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

TEST(Mail, DotStuffingDoublesEveryLeadingDot) {
    EXPECT_EQ(DotStuff(".start\r\nmiddle\r\n.\r\n..two\r\nend."), "..start\r\nmiddle\r\n..\r\n...two\r\nend.");
    EXPECT_EQ(DotStuff("a.b\r\n"), "a.b\r\n");
}

TEST(Mail, SubjectIsQuotedPrintableWithUpperCaseHex) {
    EXPECT_EQ(EncodeSubject("bug report"), "=?ISO-8859-1?Q?bug=20report?=");
    EXPECT_EQ(EncodeSubject("a=b?\xE9"), "=?ISO-8859-1?Q?a=3Db=3F=E9?=");
}

TEST(Mail, MailtoEscapesReservedCharacters) {
    EXPECT_EQ(MailtoUrl("a@x.org; Bob <b@y.org>", "x & y", "line 1\r\n50% ?#+<>\""),
              "mailto:a@x.org,b@y.org?subject=x%20%26%20y&body=line%201%0D%0A50%25%20%3F%23%2B%3C%3E%22");
}

TEST(Mail, MailtoKeepsRecipientsAsTheyAre) {
    EXPECT_EQ(MailtoUrl("support@example.test", "bug report", "x"),
              "mailto:support@example.test?subject=bug%20report&body=x");
    EXPECT_EQ(MailtoUrl("first.last+crash@example.test,b_c@y.org", "s", ""),
              "mailto:first.last+crash@example.test,b_c@y.org?subject=s&body=");
}

TEST(Mail, RecipientsWithNamesAndBothSeparators) {
    const auto r = ParseRecipients("a@x.org; Bob Smith <b@y.org>,  ,c@z.org");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].Name, "a@x.org");
    EXPECT_EQ(r[1].Name, "Bob Smith");
    EXPECT_EQ(r[1].Address, "b@y.org");
    EXPECT_EQ(r[2].Address, "c@z.org");
}

TEST(Mail, ExceptionMessageTakenFromTheReport) {
    EXPECT_EQ(ReportExceptionMessage("x\r\nexception class   : E\r\nexception message : Boom here.\r\n\r\nmain"),
              "Boom here.");
    EXPECT_EQ(ReportExceptionMessage("exception class   : E"), "Unknown");
}

TEST(Dns, QueryLayout) {
    EXPECT_EQ(DnsQuery(0x1234, "mx.example.org", 15),
              Bytes({0x12, 0x34, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0, 2, 'm', 'x', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e',
                     3, 'o', 'r', 'g', 0, 0, 15, 0, 1}));
}

// A reply to "example.org" MX: one answer, name by pointer to the question,
// preference 10, exchanger "mail" + pointer to "example.org".
std::string MxReply(std::uint16_t id) {
    std::string r = Bytes({id >> 8, id & 0xFF, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0});
    r += Bytes({7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 3, 'o', 'r', 'g', 0, 0, 15, 0, 1});
    r += Bytes({0xC0, 12, 0, 15, 0, 1, 0, 0, 0, 60, 0, 9, 0, 10, 4, 'm', 'a', 'i', 'l', 0xC0, 12});
    return r;
}

TEST(Dns, ReplyWithCompressedNames) {
    const auto names = ParseDnsReply(MxReply(7), 7, "example.org", 15);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "mail.example.org");
}

TEST(Dns, HostileRepliesGiveNothing) {
    EXPECT_TRUE(ParseDnsReply(MxReply(7), 8, "example.org", 15).empty()) << "another query's id";
    std::string error = MxReply(7);
    error[3] = static_cast<char>(0x83);
    EXPECT_TRUE(ParseDnsReply(error, 7, "example.org", 15).empty()) << "a response code";
    // A pointer to itself, and one pointing forwards: loops are impossible.
    std::string loop = MxReply(7);
    loop[loop.size() - 1] = static_cast<char>(loop.size() - 2);
    EXPECT_TRUE(ParseDnsReply(loop, 7, "example.org", 15).empty());
    std::string forward = MxReply(7);
    forward[forward.size() - 1] = static_cast<char>(200);
    EXPECT_TRUE(ParseDnsReply(forward, 7, "example.org", 15).empty());
    // Data lengths past the end, every truncation.
    std::string longData = MxReply(7);
    longData[longData.size() - 10] = 100;
    EXPECT_TRUE(ParseDnsReply(longData, 7, "example.org", 15).empty());
    const std::string good = MxReply(7);
    for (std::size_t n = 0; n < good.size(); ++n) EXPECT_TRUE(ParseDnsReply(good.substr(0, n), 7, "example.org", 15).empty()) << n;
    // Too many answers claimed.
    std::string many = MxReply(7);
    many[7] = 50;
    EXPECT_EQ(ParseDnsReply(many, 7, "example.org", 15).size(), 1u);
}

TEST(Dns, ReplyMustAnswerTheQuestionAsked) {
    EXPECT_TRUE(DnsReplyAnswers(MxReply(7), 7, "example.org", 15));
    EXPECT_TRUE(DnsReplyAnswers(MxReply(7), 7, "EXAMPLE.Org.", 15)) << "names compare without regard to case";
    EXPECT_EQ(ParseDnsReply(MxReply(7), 7, "Example.ORG", 15).size(), 1u);
    EXPECT_FALSE(DnsReplyAnswers(MxReply(7), 7, "example.net", 15));
    EXPECT_TRUE(ParseDnsReply(MxReply(7), 7, "example.net", 15).empty()) << "an answer to another name";
    EXPECT_TRUE(ParseDnsReply(MxReply(7), 7, "mail.example.org", 15).empty());
    EXPECT_TRUE(ParseDnsReply(MxReply(7), 7, "example.or", 15).empty());
    EXPECT_TRUE(ParseDnsReply(MxReply(7), 7, "example.org", 2).empty()) << "an answer to another type";
    std::string chaos = MxReply(7);
    chaos[28] = 3; // class CH
    EXPECT_TRUE(ParseDnsReply(chaos, 7, "example.org", 15).empty()) << "an answer in another class";
    std::string two = MxReply(7);
    two[5] = 2;
    EXPECT_TRUE(ParseDnsReply(two, 7, "example.org", 15).empty()) << "we asked one question";
    std::string none = MxReply(7);
    none[5] = 0;
    EXPECT_TRUE(ParseDnsReply(none, 7, "example.org", 15).empty()) << "a reply without the question";
}

// ---- a real DNS server and a real SMTP server on loopback ------------------------

std::uint16_t FreePort(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

std::string Which(const std::string& name) {
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
        std::string p = std::string(dir) + "/" + name;
        if (::access(p.c_str(), X_OK) == 0) return p;
    }
    return {};
}

// A server process whose standard input we hold; it reports readiness by
// printing word on the stream it writes to.
class TServer {
public:
    bool Start(const std::vector<std::string>& argv, const std::string& word, bool onStderr) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], onStderr ? 2 : 1);
            ::close(in[1]);
            ::close(out[0]);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        output_ = out[0];
        // Bounded wait for the word; a failure bound, not a pace.
        std::string seen;
        while (seen.find(word) == std::string::npos) {
            pollfd p{output_, POLLIN, 0};
            if (::poll(&p, 1, 20000) != 1) {
                error_ = "no \"" + word + "\" from " + argv[0] + ": " + seen;
                return false;
            }
            char buffer[512];
            const ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n <= 0) {
                error_ = argv[0] + " ended: " + seen;
                return false;
            }
            seen.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    const std::string& Error() const { return error_; }
    ~TServer() {
        if (pid_ <= 0) return;
        ::close(stdin_);
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        ::close(output_);
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1, output_ = -1;
    std::string error_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class MailServers : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string dnsmasq = Which("dnsmasq");
        if (dnsmasq.empty()) GTEST_SKIP() << "dnsmasq is not installed (scripts/deps/crash-mail.list)";
        if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no python3";
        char tmpl[] = "/tmp/axmailXXXXXX";
        folder_ = ::mkdtemp(tmpl);
        dnsPort_ = FreePort(SOCK_DGRAM);
        smtpPort_ = FreePort(SOCK_STREAM);
        ASSERT_TRUE(dns_.Start({dnsmasq, "--no-daemon", "--conf-file=/dev/null", "--no-resolv", "--no-hosts",
                                "--listen-address=127.0.0.1", "--bind-interfaces", "--user=root", "--pid-file=",
                                "--port=" + std::to_string(dnsPort_), "--log-facility=-",
                                "--mx-host=example.test,mail.example.test,10",
                                "--host-record=mail.example.test,127.0.0.1"},
                               "started", true))
            << dns_.Error();
        previous_ = MailNetwork();
        MailNetwork().DnsServers = {"127.0.0.1:" + std::to_string(dnsPort_)};
        MailNetwork().RootServers.clear(); // never the real network
        MailNetwork().DirectSmtpPort = smtpPort_;
        MailNetwork().ConnectedOverride = 1;
        MailNetwork().SmtpTimeoutMs = 3000;
        MailNetwork().MailtoProgram = "/nonexistent/mailto";
    }
    void TearDown() override {
        MailNetwork() = previous_;
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    bool StartSmtp(const std::vector<std::string>& credentials = {}) {
        std::vector<std::string> argv = {"/usr/bin/python3", AX_SMTP_SINK, std::to_string(smtpPort_), folder_};
        argv.insert(argv.end(), credentials.begin(), credentials.end());
        return smtp_.Start(argv, "ready", false);
    }

    std::string folder_;
    std::uint16_t dnsPort_ = 0, smtpPort_ = 0;
    TServer dns_, smtp_;
    TMailNetwork previous_;
};

// Lines that an unstuffed body would have ended the message with, or that
// would have been read as commands.
const std::string kReport = "date/time         : 2026-01-02, 03:04:05, 6ms\r\n"
                            "exception class   : EAccessViolation\r\n"
                            "exception message : Access violation.\r\n"
                            ".\r\n"
                            "..two dots\r\n"
                            ".QUIT\r\n"
                            "RSET\r\n"
                            "\r\n.\r\n"
                            "last line without break";

TEST_F(MailServers, ExchangerFoundThroughOwnDnsClient) {
    EXPECT_EQ(FindMailServer("someone@example.test"), "mail.example.test");
    EXPECT_EQ(FindMailServer("Some One <someone@sub.a.b.example.test>"), "") << "no exchanger, even for the short form";
}

TEST_F(MailServers, DirectMailArrivesIntactAfterUnstuffing) {
    ASSERT_TRUE(StartSmtp()) << smtp_.Error();
    std::string error;
    ASSERT_TRUE(SendSmtpMail("", smtpPort_, "", "", "vorExcept <someone@example.test>",
                             {{"Some One", "someone@example.test"}}, "bug report", kReport, {}, &error))
        << error;
    const std::string mail = ReadFile(folder_ + "/mail1.eml");
    const auto split = mail.find("\r\n\r\n");
    ASSERT_NE(split, std::string::npos) << mail;
    const std::string head = mail.substr(0, split + 2), body = mail.substr(split + 4);
    EXPECT_EQ(body, kReport + "\r\n") << "the body as sent, byte for byte";
    EXPECT_NE(head.find("To: Some One <someone@example.test>\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("From: vorExcept <someone@example.test>\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Subject: =?ISO-8859-1?Q?bug=20report?=\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find(" UT\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("@vorExcept>\r\n"), std::string::npos) << head;
    EXPECT_EQ(ReadFile(folder_ + "/mail1.rcpt"), "someone@example.test\nsomeone@example.test\n");
}

TEST_F(MailServers, SendBugReportDirectWithTheReportFileAttached) {
    ASSERT_TRUE(StartSmtp()) << smtp_.Error();
    auto& settings = ReporterSettings();
    const VorSettings saved = settings;
    settings.MailRecipient = "Support <support@example.test>";
    settings.MailSubject = "crash in %appname%: %exceptMsg%";
    settings.MailDirect = true;
    settings.AttachReportFile = true;
    settings.BugReportFile = folder_ + "/bugreport.txt";
    std::string fileContent(200, 'x');
    fileContent += "\x01\xFF end";
    std::ofstream(folder_ + "/bugreport.txt", std::ios::binary) << fileContent;
    const bool sent = SendBugReport(kReport, 0, true);
    settings = saved;
    ASSERT_TRUE(sent);
    const std::string mail = ReadFile(folder_ + "/mail1.eml");
    EXPECT_NE(mail.find("Subject: =?ISO-8859-1?Q?crash=20in=20crash=5FvorMail=5Ftest=3A=20Access=20violation=2E?="),
              std::string::npos)
        << mail.substr(0, 600);
    EXPECT_NE(mail.find("Content-Type: multipart/mixed; boundary=\"ArdentixXP_Report_SMTP_Boundary\""),
              std::string::npos);
    EXPECT_NE(mail.find("Content-Transfer-Encoding: 8bit\r\n\r\n" + kReport + "\r\n--ArdentixXP_Report_SMTP_Boundary\r\n"),
              std::string::npos);
    const std::string part = "Content-Disposition: attachment; filename=\"bugreport.txt\"\r\n\r\n";
    const auto at = mail.find(part);
    ASSERT_NE(at, std::string::npos) << mail;
    // 57 bytes a line: 76 characters of Base64 each.
    const std::string expected = Base64Encode(fileContent.substr(0, 57)) + "\r\n" +
                                 Base64Encode(fileContent.substr(57, 57)) + "\r\n" +
                                 Base64Encode(fileContent.substr(114, 57)) + "\r\n" +
                                 Base64Encode(fileContent.substr(171)) + "\r\n--ArdentixXP_Report_SMTP_Boundary--\r\n";
    EXPECT_EQ(mail.substr(at + part.size()), expected);
}

TEST_F(MailServers, LoginThroughAConfiguredServer) {
    ASSERT_TRUE(StartSmtp({"reporter", "s3cret"})) << smtp_.Error();
    std::string error;
    EXPECT_FALSE(SendSmtpMail("127.0.0.1", smtpPort_, "reporter", "wrong", "a@example.test", {{"b", "b@example.test"}},
                              "s", "body", {}, &error));
    EXPECT_EQ(error, "login refused");
    EXPECT_TRUE(SendSmtpMail("127.0.0.1", smtpPort_, "reporter", "s3cret", "a@example.test", {{"b", "b@example.test"}},
                             "s", "body", {}, &error))
        << error;
    EXPECT_EQ(ReadFile(folder_ + "/mail1.rcpt"), "a@example.test\nb@example.test\n");
}

TEST_F(MailServers, NoServerListeningFailsAndSilentModeTriesNoMailto) {
    auto& settings = ReporterSettings();
    const VorSettings saved = settings;
    settings.MailRecipient = "support@example.test";
    settings.MailDirect = true;
    const bool sent = SendBugReport(kReport, 0, true);
    settings = saved;
    EXPECT_FALSE(sent);
}

} // namespace
} // namespace ax
