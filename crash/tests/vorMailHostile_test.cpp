// The mail senders against hostile peers on loopback: servers written for
// the purpose, each on a thread of the test. Every wait of the tests is a
// safety bound against a hang, never a pace the senders must keep.
#include "crash/vorMail.h"

#include "crash/vorSettings.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
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
        MailNetwork().RootServers.clear(); // never the real network
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

// ---- the walk from the root servers ----------------------------------------------

// name in label form.
std::string Encoded(const std::string& name) {
    std::string encoded = DnsQuery(0, name, 15).substr(12);
    encoded.resize(encoded.size() - 4);
    return encoded;
}

std::string Number16(std::size_t n) { return {static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)}; }

std::string Record(const std::string& owner, char type, const std::string& data) {
    return Encoded(owner) + '\0' + type + std::string("\x00\x01\x00\x00\x00\x3C", 6) + Number16(data.size()) + data;
}

// The type a query asks for (15 MX, 1 A).
int QueryType(const std::string& query) { return static_cast<unsigned char>(query[query.size() - 3]); }

// A reply sending the asker to zone's servers: host and its address (none
// when empty) per server.
std::string Referral(const std::string& query, const std::string& zone,
                     const std::vector<std::pair<std::string, std::string>>& servers) {
    std::string authority, additional;
    std::size_t glue = 0;
    for (const auto& [host, address] : servers) {
        authority += Record(zone, 2, Encoded(host));
        if (address.empty()) continue;
        in_addr a{};
        ::inet_pton(AF_INET, address.c_str(), &a);
        additional += Record(host, 1, std::string(reinterpret_cast<const char*>(&a), 4));
        ++glue;
    }
    return query.substr(0, 2) + std::string("\x81\x00\x00\x01\x00\x00", 6) + Number16(servers.size()) +
           Number16(glue) + query.substr(12) + authority + additional;
}

std::string AddressReply(const std::string& query, const std::string& address) {
    in_addr a{};
    ::inet_pton(AF_INET, address.c_str(), &a);
    return query.substr(0, 2) + std::string("\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00", 10) + query.substr(12) +
           std::string("\xC0\x0C\x00\x01\x00\x01\x00\x00\x00\x3C\x00\x04", 12) +
           std::string(reinterpret_cast<const char*>(&a), 4);
}

std::string WrongId(std::string reply) {
    reply[0] = static_cast<char>(reply[0] ^ 0x5A);
    return reply;
}

// Two name servers on loopback on one port: "the root" on 127.0.0.1 and
// "the zone's" on 127.0.0.2, each answering every query with what its
// responder gives, until the server goes.
class TLoopbackZone {
public:
    using TResponder = std::function<std::vector<std::string>(const std::string& query)>;
    TLoopbackZone(TResponder root, TResponder zone) {
        for (int attempt = 0; attempt < 50 && fds_[1] < 0; ++attempt) {
            if (fds_[0] >= 0) ::close(fds_[0]);
            fds_[0] = BoundSocket(SOCK_DGRAM, port_);
            fds_[1] = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(0x7F000002);
            a.sin_port = htons(port_);
            if (::bind(fds_[1], reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(fds_[1]);
                fds_[1] = -1;
            }
        }
        EXPECT_EQ(::pipe2(stop_, O_CLOEXEC), 0);
        thread_ = std::thread([this, responders = std::array<TResponder, 2>{std::move(root), std::move(zone)}] {
            for (;;) {
                pollfd p[3] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}, {stop_[0], POLLIN, 0}};
                if (::poll(p, 3, kSafetyMs) <= 0 || p[2].revents != 0) return;
                for (int i = 0; i < 2; ++i) {
                    if (p[i].revents == 0) continue;
                    char buffer[512];
                    sockaddr_in from{};
                    socklen_t length = sizeof from;
                    const ssize_t n =
                        ::recvfrom(fds_[i], buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
                    if (n < 12) continue;
                    ++queries_[i];
                    for (const std::string& reply : responders[i](std::string(buffer, static_cast<std::size_t>(n))))
                        ::sendto(fds_[i], reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
                }
            }
        });
    }
    ~TLoopbackZone() {
        EXPECT_EQ(::write(stop_[1], "x", 1), 1);
        thread_.join();
        for (int fd : {fds_[0], fds_[1], stop_[0], stop_[1]}) ::close(fd);
    }
    bool Ready() const { return fds_[1] >= 0; }
    std::uint16_t Port() const { return port_; }
    // Read once the lookup has returned: every reply is sent by then.
    int RootQueries() const { return queries_[0]; }
    int ZoneQueries() const { return queries_[1]; }

private:
    int fds_[2] = {-1, -1};
    int stop_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<int> queries_[2] = {0, 0};
    std::thread thread_;
};

// No name server in the resolver's configuration: the lookup walks from
// the zone's root.
class WalkFromRoot : public HostileMail {
protected:
    void Use(const TLoopbackZone& zone) {
        ASSERT_TRUE(zone.Ready()) << "no port free on both loopback addresses";
        std::ofstream(folder_ + "/resolv.conf") << "search example.test\noptions ndots:1\n";
        MailNetwork().ResolverConfig = folder_ + "/resolv.conf";
        MailNetwork().DnsServers.clear();
        MailNetwork().RootServers = {"127.0.0.1:" + std::to_string(zone.Port())};
        MailNetwork().WalkPort = zone.Port();
    }
    static std::string Find(const std::string& address) {
        auto found = std::async(std::launch::async, [address] { return FindMailServer(address); });
        return found.wait_for(kSafety) == std::future_status::ready ? found.get() : "(still waiting)";
    }
};

TEST_F(WalkFromRoot, ReferralWithGlueLeadsToTheExchanger) {
    TLoopbackZone zone(
        [](const std::string& q) { return std::vector{Referral(q, "example.test", {{"ns.example.test", "127.0.0.2"}})}; },
        [](const std::string& q) { return std::vector{MxReply(q, "", "mail.example.test")}; });
    Use(zone);
    EXPECT_EQ(Find("someone@example.test"), "mail.example.test");
    EXPECT_EQ(zone.RootQueries(), 1);
    EXPECT_EQ(zone.ZoneQueries(), 1);
}

TEST_F(WalkFromRoot, NameServerWithoutGlueIsFoundByAWalkOfItsOwn) {
    TLoopbackZone zone(
        [](const std::string& q) {
            if (QueryType(q) == 1) return std::vector{Referral(q, "example.net", {{"ns.example.net", "127.0.0.2"}})};
            return std::vector{Referral(q, "example.test", {{"ns.example.net", ""}})};
        },
        [](const std::string& q) {
            return std::vector{QueryType(q) == 1 ? AddressReply(q, "127.0.0.2") : MxReply(q, "", "mail.example.test")};
        });
    Use(zone);
    EXPECT_EQ(Find("someone@example.test"), "mail.example.test");
    EXPECT_EQ(zone.RootQueries(), 2);
    EXPECT_EQ(zone.ZoneQueries(), 2);
}

TEST_F(WalkFromRoot, ConfiguredServersThatAnswerAreNotWalkedAround) {
    TLoopbackZone zone(
        [](const std::string& q) { return std::vector{Referral(q, "example.test", {{"ns.example.test", "127.0.0.2"}})}; },
        [](const std::string& q) { return std::vector{MxReply(q, "", "mail.example.test")}; });
    Use(zone);
    THostileDns configured({{"", "configured.example.test", false}});
    std::ofstream(folder_ + "/resolv.conf") << "nameserver " << configured.Address() << "\n";
    EXPECT_EQ(Find("someone@example.test"), "configured.example.test");
    EXPECT_EQ(zone.RootQueries(), 0);
}

TEST_F(WalkFromRoot, SilentConfiguredServersAreWalkedAround) {
    // The configured server's only reply comes from another port; the clock
    // then moves past the time-out.
    ManualClock clock;
    SetClock(&clock);
    const ScopeGuard restore([] { SetClock(nullptr); });
    TLoopbackZone zone(
        [](const std::string& q) { return std::vector{Referral(q, "example.test", {{"ns.example.test", "127.0.0.2"}})}; },
        [](const std::string& q) { return std::vector{MxReply(q, "", "mail.example.test")}; });
    Use(zone);
    THostileDns configured({{"", "evil.example.test", true}},
                           [&] { clock.Advance(static_cast<std::uint64_t>(MailNetwork().DnsTimeoutMs) + 1); });
    std::ofstream(folder_ + "/resolv.conf") << "nameserver " << configured.Address() << "\n";
    EXPECT_EQ(Find("someone@example.test"), "mail.example.test");
}

TEST_F(WalkFromRoot, ReferralLoopBetweenTwoServersEnds) {
    TLoopbackZone zone(
        [](const std::string& q) { return std::vector{Referral(q, "example.test", {{"ns2.example.test", "127.0.0.2"}})}; },
        [](const std::string& q) { return std::vector{Referral(q, "example.test", {{"ns1.example.test", "127.0.0.1"}})}; });
    Use(zone);
    EXPECT_EQ(Find("someone@example.test"), "");
    // The second referral, back to the same zone, is not followed.
    EXPECT_EQ(zone.RootQueries(), 1);
    EXPECT_EQ(zone.ZoneQueries(), 1);
}

TEST_F(WalkFromRoot, EndlessDescentStopsAfterTenReferrals) {
    // Each reply refers one label further down the name asked, to the other
    // server, as long as the name has labels left.
    std::map<std::string, int> asked;
    std::mutex lock;
    auto deeper = [&](const std::string& q) {
        const std::lock_guard hold(lock);
        std::vector<std::string> labels;
        for (std::size_t at = 12; q[at] != 0; at += 1 + static_cast<unsigned char>(q[at]))
            labels.push_back(q.substr(at + 1, static_cast<unsigned char>(q[at])));
        const std::size_t depth = std::min<std::size_t>(++asked[q.substr(12)], labels.size());
        std::string zone;
        for (std::size_t i = labels.size() - depth; i < labels.size(); ++i) zone += (zone.empty() ? "" : ".") + labels[i];
        const std::string server = depth % 2 == 1 ? "127.0.0.2" : "127.0.0.1";
        return std::vector{Referral(q, zone, {{"ns." + zone, server}})};
    };
    TLoopbackZone zone(deeper, deeper);
    Use(zone);
    EXPECT_EQ(Find("someone@a.b.c.d.e.f.g.h.i.j.k.l.test"), "");
    // The name: the root's reply and ten referrals followed (eleven
    // queries); its short form k.l.test: three referrals, then a fourth
    // reply to its own zone, not followed.
    EXPECT_EQ(zone.RootQueries() + zone.ZoneQueries(), 15);
}

TEST_F(WalkFromRoot, WrongRepliesAreRefused) {
    TLoopbackZone zone(
        [](const std::string& q) {
            return std::vector{WrongId(Referral(q, "example.test", {{"ns.example.test", "127.0.0.3"}})),
                               Referral(q, "example.test", {{"ns.example.test", "127.0.0.2"}})};
        },
        [](const std::string& q) {
            return std::vector{WrongId(MxReply(q, "", "evil.example.test")), MxReply(q, "example.net", "evil.example.test"),
                               MxReply(q, "", "mail.example.test")};
        });
    Use(zone);
    EXPECT_EQ(Find("someone@example.test"), "mail.example.test");
}

TEST_F(WalkFromRoot, ReferralSidewaysIsRefused) {
    // The root refers the name to a zone that does not hold it.
    TLoopbackZone sideways(
        [](const std::string& q) { return std::vector{Referral(q, "example.net", {{"ns.example.net", "127.0.0.2"}})}; },
        [](const std::string& q) { return std::vector{MxReply(q, "", "evil.example.test")}; });
    Use(sideways);
    EXPECT_EQ(Find("someone@example.test"), "");
    EXPECT_EQ(sideways.ZoneQueries(), 0);
}

TEST_F(WalkFromRoot, GlueForAnotherZonesNamesIsRefused) {
    // The servers of "test" give an address for a name of "example.org";
    // the walk for that name finds nothing at the root.
    std::vector<int> rootTypes;
    TLoopbackZone zone(
        [&](const std::string& q) {
            rootTypes.push_back(QueryType(q));
            return std::vector{Referral(q, "test", {{"ns.test", "127.0.0.2"}})};
        },
        [](const std::string& q) {
            return std::vector{QueryType(q) == 15 ? Referral(q, "example.test", {{"ns.example.org", "127.0.0.1"}})
                                                  : MxReply(q, "", "evil.example.test")};
        });
    Use(zone);
    EXPECT_EQ(Find("someone@example.test"), "");
    // The MX query, then the walk for the address of ns.example.org, not
    // the MX query again to the planted address.
    EXPECT_EQ(rootTypes, (std::vector{15, 1}));
    EXPECT_EQ(zone.ZoneQueries(), 1);
}

} // namespace
} // namespace ax
