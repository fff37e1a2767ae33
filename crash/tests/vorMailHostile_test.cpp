// The mail senders against hostile peers on loopback: servers written for
// the purpose, each on a thread of the test. Every wait of the tests is a
// safety bound against a hang, never a pace the senders must keep.
#include "crash/vorMail.h"

#include "crash/vorSettings.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <thread>

namespace ax {
namespace {

constexpr int kSafetyMs = 60000;
constexpr auto kSafety = std::chrono::milliseconds(kSafetyMs);

// A loopback socket of the given type bound to a free port.
int BoundSocket(int type, std::uint16_t& port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
    return fd;
}

bool Readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1;
}

// Whether the peer closed its side (or reset) within ms.
bool HungUp(int fd, int ms) {
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, ms) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

bool SendText(int fd, std::string_view text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// One line of a command, without its CR LF; nothing when the connection
// ended first.
std::optional<std::string> ReadLine(int fd) {
    std::string line;
    char c = 0;
    while (Readable(fd, kSafetyMs) && ::recv(fd, &c, 1, 0) == 1) {
        if (c == '\n') return line;
        if (c != '\r') line += c;
    }
    return std::nullopt;
}

// An SMTP server that accepts one connection and serves it with serve on
// its own thread. The sender's return does not mean the server has seen
// the hang-up yet: what serve records is read only after Join().
class THostileSmtp {
public:
    explicit THostileSmtp(std::function<void(int)> serve, int receiveBuffer = 0) {
        listener_ = BoundSocket(SOCK_STREAM, port_);
        // Inherited by the accepted socket: a small window fills at once.
        if (receiveBuffer > 0) ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        ::listen(listener_, 1);
        thread_ = std::thread([this, serve = std::move(serve)] {
            if (!Readable(listener_, kSafetyMs)) return;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            serve(fd);
            ::close(fd);
        });
    }
    ~THostileSmtp() {
        Join();
        ::close(listener_);
    }
    std::uint16_t Port() const { return port_; }
    // Until serve has returned.
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// The reporter's settings pointed at a server on loopback, a report file
// to attach, and a short SMTP time-out; all restored afterwards.
class HostileMail : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/axmailhostileXXXXXX";
        folder_ = ::mkdtemp(tmpl);
        savedNetwork_ = MailNetwork();
        savedSettings_ = ReporterSettings();
        MailNetwork().ConnectedOverride = 1;
        MailNetwork().SmtpTimeoutMs = 1000;
        MailNetwork().MailtoProgram = "/nonexistent/mailto";
        auto& settings = ReporterSettings();
        settings.MailRecipient = "support@example.test";
        settings.AttachReportFile = true;
        settings.BugReportFile = ReportFile();
        std::ofstream(ReportFile(), std::ios::binary) << kFileContent;
    }
    void TearDown() override {
        MailNetwork() = savedNetwork_;
        ReporterSettings() = savedSettings_;
        std::filesystem::remove_all(folder_);
    }
    void ThroughServer(std::uint16_t port) {
        auto& settings = ReporterSettings();
        settings.MailViaSmtpServer = true;
        settings.SmtpServer = "127.0.0.1";
        settings.SmtpPort = port;
    }
    std::string ReportFile() const { return folder_ + "/bugreport.txt"; }
    // A silent send on a thread of its own: the test's safety bound holds
    // even when the sender hangs.
    static std::future<bool> SendAsync(std::string report = "exception message : boom") {
        return std::async(std::launch::async, [report = std::move(report)] { return SendBugReport(report, 0, true); });
    }
    void ExpectFailedAndFileKept(std::future<bool>& sent) {
        ASSERT_EQ(sent.wait_for(kSafety), std::future_status::ready) << "the sender still waits";
        EXPECT_FALSE(sent.get());
        std::ifstream in(ReportFile(), std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        EXPECT_EQ(content.str(), kFileContent) << "the report file is kept";
    }

    static constexpr char kFileContent[] = "date/time : 2026-12-07\r\nexception message : boom\r\n";
    std::string folder_;
    TMailNetwork savedNetwork_;
    VorSettings savedSettings_;
};

TEST_F(HostileMail, EndlessContinuationLinesFailTheReply) {
    // Lines go out until the sender hangs up; far more than any buffer
    // between us holds, so an unbounded reader would still be reading.
    std::atomic<bool> hungUp = false;
    THostileSmtp server([&](int fd) {
        const std::string line = "250-" + std::string(60, 'x') + "\r\n";
        std::string block;
        while (block.size() < 64 * 1024) block += line;
        for (std::size_t sent = 0; sent < 64u * 1024 * 1024; sent += block.size())
            if (!SendText(fd, block)) {
                hungUp = true;
                return;
            }
    });
    ThroughServer(server.Port());
    auto sent = SendAsync();
    ExpectFailedAndFileKept(sent);
    server.Join();
    EXPECT_TRUE(hungUp) << "the sender read on";
}

// What the sender says after the greeting: "no greeting" when it was
// refused, "HELO refused" when it was taken (the server then hangs up).
std::string AfterGreeting(const std::string& greeting) {
    THostileSmtp server([&](int fd) {
        SendText(fd, greeting);
        ReadLine(fd);
    });
    std::string error;
    SendSmtpMail("127.0.0.1", server.Port(), "", "", "a@example.test", {{"b", "b@example.test"}}, "s", "body", {},
                 &error);
    return error;
}

// A reply of count lines of length bytes each (CR LF included), the last
// of them longer by extra.
std::string Lines(std::size_t count, std::size_t length, std::size_t extra = 0) {
    std::string reply;
    for (std::size_t i = 1; i < count; ++i) reply += "220-" + std::string(length - 6, 'x') + "\r\n";
    return reply + "220 " + std::string(length + extra - 6, 'x') + "\r\n";
}

TEST_F(HostileMail, ReplyBoundsAreWellAboveRealReplies) {
    EXPECT_EQ(AfterGreeting(Lines(512, 100)), "HELO refused");
    EXPECT_EQ(AfterGreeting(Lines(513, 100)), "no greeting");
    EXPECT_EQ(AfterGreeting(Lines(2, 32768)), "HELO refused") << "64 KiB in all";
    EXPECT_EQ(AfterGreeting(Lines(2, 32768, 1)), "no greeting");
    EXPECT_EQ(AfterGreeting("220 " + std::string(70000, 'x')), "no greeting") << "a line without end";
}

TEST_F(HostileMail, TrickledReplyEndsAtOneDeadlineForTheWhole) {
    // A byte at a time, each well within the time-out of one read; the
    // greeting never ends. Between bytes the server waits up to 100 ms
    // for the sender to hang up.
    std::atomic<bool> hungUp = false;
    THostileSmtp server([&](int fd) {
        const std::string greeting = "220-" + std::string(1000, 'x');
        for (std::size_t i = 0; i < greeting.size(); ++i) {
            if (!SendText(fd, greeting.substr(i, 1)) || HungUp(fd, 100)) {
                hungUp = true;
                return;
            }
        }
    });
    ThroughServer(server.Port());
    auto sent = SendAsync();
    ExpectFailedAndFileKept(sent);
    server.Join();
    EXPECT_TRUE(hungUp) << "the sender waited for the whole trickle";
}

TEST_F(HostileMail, ServerThatStopsReadingDuringALargeMail) {
    std::atomic<bool> hungUp = false;
    THostileSmtp server(
        [&](int fd) {
            SendText(fd, "220 hostile\r\n");
            for (;;) {
                const auto command = ReadLine(fd);
                if (!command) return;
                if (*command == "DATA") break;
                SendText(fd, "250 ok\r\n");
            }
            SendText(fd, "354 go on\r\n");
            // From here on nothing is read; the sender must give up by itself.
            hungUp = HungUp(fd, kSafetyMs);
        },
        4096);
    ThroughServer(server.Port());
    // Far more than the small window and the sender's socket buffer hold.
    auto sent = SendAsync("exception message : boom\r\n" + std::string(16 * 1024 * 1024, 'r'));
    ExpectFailedAndFileKept(sent);
    server.Join();
    EXPECT_TRUE(hungUp);
}

TEST_F(HostileMail, SlowServerIsCutAtTenTimesTheTimeOut) {
    // Every reply comes 600 ms after its command on the test's clock,
    // within the 1 s of one step; the 25 replies of a mail to 20
    // recipients would take 15 s, past the 10 s of a whole conversation.
    ManualClock clock;
    SetClock(&clock);
    const ScopeGuard restore([] { SetClock(nullptr); });
    std::atomic<int> replies = 0;
    std::atomic<bool> quit = false;
    THostileSmtp server([&](int fd) {
        SendText(fd, "220 slow\r\n");
        for (bool data = false;;) {
            const auto command = ReadLine(fd);
            if (!command) return;
            if (data && *command != ".") continue;
            quit = *command == "QUIT";
            data = *command == "DATA";
            clock.Advance(600);
            ++replies;
            if (!SendText(fd, data ? "354 go on\r\n" : quit ? "221 bye\r\n" : "250 ok\r\n")) return;
        }
    });
    std::vector<TMailAddress> recipients;
    for (int i = 0; i < 20; ++i) {
        const std::string address = "r" + std::to_string(i) + "@example.test";
        recipients.push_back({address, address});
    }
    auto sent = std::async(std::launch::async, [&] {
        std::string error;
        return SendSmtpMail("127.0.0.1", server.Port(), "", "", "a@example.test", recipients, "s", "body", {}, &error);
    });
    ASSERT_EQ(sent.wait_for(kSafety), std::future_status::ready) << "the sender still waits";
    EXPECT_FALSE(sent.get());
    EXPECT_FALSE(quit);
    // 10 s of the conversation at 600 ms a reply.
    EXPECT_EQ(replies, 17);
}

TEST_F(HostileMail, SilentConnectEndsAtTheTimeOut) {
    // A listener whose accept queue is full drops further connection
    // requests without a word: the sender's connect gets no answer.
    std::uint16_t port = 0;
    const int listener = BoundSocket(SOCK_STREAM, port);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<int> queued;
    for (int i = 0; i < 8; ++i) {
        tcp_info info{};
        socklen_t length = sizeof info;
        ASSERT_EQ(::getsockopt(listener, IPPROTO_TCP, TCP_INFO, &info, &length), 0);
        // For a listener the kernel reports the queue's length and limit here.
        if (info.tcpi_unacked > info.tcpi_sacked) break;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        queued.push_back(fd);
    }
    ThroughServer(port);
    auto sent = SendAsync();
    ExpectFailedAndFileKept(sent);
    for (int fd : queued) ::close(fd);
    ::close(listener);
}

// ---- DNS ----------------------------------------------------------------------

// The reply of our server to a query: its id, the question named (the
// query's own when empty), one MX answer naming exchanger.
std::string MxReply(const std::string& query, const std::string& question, const std::string& exchanger) {
    std::string reply = query.substr(0, 2) + std::string("\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00", 10);
    if (question.empty()) {
        reply += query.substr(12);
    } else {
        reply += DnsQuery(0, question, 15).substr(12);
    }
    std::string name = DnsQuery(0, exchanger, 15).substr(12);
    name.resize(name.size() - 4); // the name alone
    const std::size_t length = 2 + name.size();
    reply += std::string("\xC0\x0C\x00\x0F\x00\x01\x00\x00\x00\x3C", 10);
    reply += static_cast<char>(length >> 8);
    reply += static_cast<char>(length & 0xFF);
    reply += std::string("\x00\x0A", 2) + name;
    return reply;
}

// A DNS server on loopback that answers the first query with the replies
// that answer gives, each sent from its own port or from another one.
struct TReply {
    std::string Question; // empty: the query's own
    std::string Exchanger;
    bool FromOtherPort = false;
};

class THostileDns {
public:
    THostileDns(std::vector<TReply> replies, std::function<void()> after = {}) {
        fd_ = BoundSocket(SOCK_DGRAM, port_);
        std::uint16_t otherPort = 0;
        other_ = BoundSocket(SOCK_DGRAM, otherPort);
        thread_ = std::thread([this, replies = std::move(replies), after = std::move(after)] {
            if (!Readable(fd_, kSafetyMs)) return;
            char buffer[512];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 12) return;
            const std::string query(buffer, static_cast<std::size_t>(n));
            for (const TReply& r : replies) {
                const std::string reply = MxReply(query, r.Question, r.Exchanger);
                ::sendto(r.FromOtherPort ? other_ : fd_, reply.data(), reply.size(), 0,
                         reinterpret_cast<sockaddr*>(&from), length);
            }
            if (after) after();
        });
    }
    ~THostileDns() {
        thread_.join();
        ::close(fd_);
        ::close(other_);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1, other_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

TEST_F(HostileMail, DnsReplyFromAnotherPortIsIgnored) {
    THostileDns dns({{"", "evil.example.test", true}, {"", "mail.example.test", false}});
    MailNetwork().DnsServers = {dns.Address()};
    EXPECT_EQ(FindMailServer("someone@example.test"), "mail.example.test");
}

TEST_F(HostileMail, DnsReplyToAnotherQuestionIsIgnored) {
    THostileDns dns({{"example.net", "evil.example.test", false},
                     {"mail.example.test", "evil.example.test", false},
                     {"EXAMPLE.Test", "mail.example.test", false}});
    MailNetwork().DnsServers = {dns.Address()};
    EXPECT_EQ(FindMailServer("someone@example.test"), "mail.example.test") << "the name compares in any case";
}

TEST_F(HostileMail, OnlyForeignDnsRepliesEndAtTheDeadline) {
    // The clock moves past the DNS time-out only once both foreign replies
    // are on their way: the sender must have dropped them and waited on.
    ManualClock clock;
    SetClock(&clock);
    const ScopeGuard restore([] { SetClock(nullptr); });
    THostileDns dns({{"", "evil.example.test", true}, {"example.net", "evil.example.test", false}},
                    [&] { clock.Advance(static_cast<std::uint64_t>(MailNetwork().DnsTimeoutMs) + 1); });
    MailNetwork().DnsServers = {dns.Address()};
    auto found = std::async(std::launch::async, [] { return FindMailServer("someone@example.test"); });
    ASSERT_EQ(found.wait_for(kSafety), std::future_status::ready) << "the lookup still waits";
    EXPECT_EQ(found.get(), "");
}

} // namespace
} // namespace ax
