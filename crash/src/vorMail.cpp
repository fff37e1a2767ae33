// Sends a bug report: the reporter's own DNS client (MX records over UDP,
// every reply checked against its query and bounds; without name servers it
// walks down the referrals from the root servers), SMTP to the domain's
// exchanger or a configured server, and a mailto address for the desktop.
#include "crash/vorMail.h"

#include "crash/vorBugReport.h"
#include "crash/vorCrypt.h"
#include "crash/vorExceptBox.h"
#include "crash/vorSettings.h"
#include "crash/vorStrings.h"
#include "rtl/clock.h"
#include "vorMailSocket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>

extern char** environ;

namespace ax {

TMailNetwork& MailNetwork() {
    static TMailNetwork network;
    return network;
}

namespace {

constexpr char CRLF[] = "\r\n";

// ---- small helpers ------------------------------------------------------------

// host or host:port; dotted addresses or names (the system resolver).
bool ResolveIPv4(const std::string& host, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    if (::inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    out.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

std::vector<std::string> SystemDnsServers() {
    if (!MailNetwork().DnsServers.empty()) return MailNetwork().DnsServers;
    std::vector<std::string> servers;
    std::ifstream in(MailNetwork().ResolverConfig);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key, value;
        if (fields >> key >> value && key == "nameserver" &&
            std::find(servers.begin(), servers.end(), value) == servers.end())
            servers.push_back(value);
    }
    return servers;
}

bool InternetConnected() {
    if (MailNetwork().ConnectedOverride >= 0) return MailNetwork().ConnectedOverride != 0;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool up = false;
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next)
        if ((a->ifa_flags & IFF_UP) && !(a->ifa_flags & IFF_LOOPBACK) && a->ifa_addr != nullptr) up = true;
    ::freeifaddrs(list);
    return up;
}

std::string ComputerName() {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return host[0] != 0 ? host : "localhost";
}

// "<address>" of "address" or of "Name <address>".
std::string AngleForm(const std::string& address) {
    const auto lt = address.find('<');
    if (lt == std::string::npos) return "<" + address + ">";
    const auto gt = address.find('>', lt);
    return address.substr(lt, gt == std::string::npos ? std::string::npos : gt - lt + 1);
}

// ---- DNS ----------------------------------------------------------------------

std::uint16_t Get16(std::string_view d, std::size_t at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(d[at]) << 8) | static_cast<unsigned char>(d[at + 1]));
}

// Reads a name at at; end receives the position after the name as it
// stands (pointers not followed). False on anything out of bounds or a
// pointer that does not point backwards (which rules out loops).
bool ReadName(std::string_view d, std::size_t at, std::string& name, std::size_t& end) {
    name.clear();
    bool jumped = false;
    std::size_t limit = at; // a pointer must point before the place it stands
    for (int steps = 0; steps < 256; ++steps) {
        if (at >= d.size()) return false;
        const auto length = static_cast<unsigned char>(d[at]);
        if (length == 0) {
            if (!jumped) end = at + 1;
            return true;
        }
        if ((length & 0xC0) == 0xC0) {
            if (at + 1 >= d.size()) return false;
            const std::size_t target = ((length & 0x3Fu) << 8) | static_cast<unsigned char>(d[at + 1]);
            if (target >= limit) return false;
            if (!jumped) end = at + 2;
            jumped = true;
            limit = target;
            at = target;
            continue;
        }
        if ((length & 0xC0) != 0 || at + 1 + length > d.size()) return false;
        if (!name.empty()) name += '.';
        name.append(d.substr(at + 1, length));
        if (name.size() > 255) return false;
        at += 1 + length;
    }
    return false;
}

// Names compare as DNS compares them: ASCII letters in either case, and a
// final dot (the root) or none.
bool SameDnsName(std::string_view a, std::string_view b) {
    if (!a.empty() && a.back() == '.') a.remove_suffix(1);
    if (!b.empty() && b.back() == '.') b.remove_suffix(1);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Whether name is zone or lies below it; every name lies below the root ("").
bool WithinZone(std::string_view name, std::string_view zone) {
    if (!zone.empty() && zone.back() == '.') zone.remove_suffix(1);
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    if (zone.empty()) return true;
    if (name.size() < zone.size()) return false;
    const std::string_view tail = name.substr(name.size() - zone.size());
    return SameDnsName(tail, zone) && (name.size() == zone.size() || name[name.size() - zone.size() - 1] == '.');
}

// Visits the records of a reply to our query in order: section 0 the
// answers, 1 the authority, 2 the additional records. False when the reply
// is not ours, reports an error or breaks a bound (records visited before
// that stand).
using TRecordVisit = std::function<void(int section, const std::string& owner, std::uint16_t type,
                                        std::size_t data, std::size_t length)>;
bool ForEachRecord(std::string_view d, std::uint16_t id, std::string_view asked, std::uint16_t type,
                   const TRecordVisit& visit) {
    if (!DnsReplyAnswers(d, id, asked, type)) return false;
    if ((static_cast<unsigned char>(d[3]) & 0x0F) != 0) return false; // an error
    std::string name;
    std::size_t at = 0;
    if (!ReadName(d, 12, name, at)) return false;
    at += 4;
    for (int section = 0; section < 3; ++section) {
        const std::uint16_t count = Get16(d, 6 + 2 * static_cast<std::size_t>(section));
        for (int r = 0; r < count; ++r) {
            std::size_t end = 0;
            if (!ReadName(d, at, name, end) || end + 10 > d.size()) return false;
            const std::uint16_t rtype = Get16(d, end), length = Get16(d, end + 8);
            const std::size_t data = end + 10;
            if (data + length > d.size()) return false;
            visit(section, name, rtype, data, length);
            at = data + length;
        }
    }
    return true;
}

// The name in a record's data, offset bytes in; it may not run past the
// record.
bool RecordName(std::string_view d, std::size_t data, std::size_t length, std::size_t offset, std::string& name) {
    std::size_t end = 0;
    return offset < length && ReadName(d.substr(0, data + length), data + offset, name, end);
}

std::string DottedAddress(std::string_view d, std::size_t data) {
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", static_cast<unsigned char>(d[data]),
                  static_cast<unsigned char>(d[data + 1]), static_cast<unsigned char>(d[data + 2]),
                  static_cast<unsigned char>(d[data + 3]));
    return dotted;
}

// A referral: the servers of a zone nearer to the name asked.
struct TDnsReferral {
    std::string Zone;
    std::vector<std::string> Hosts;     // the zone's name servers
    std::vector<std::string> Addresses; // those of them the reply gave
};

// The referral of a reply from the servers of zone below: only to a zone
// deeper than theirs that holds the name, and addresses only for names
// they are in charge of, so that no server can send the walk back up or
// sideways, or plant addresses for another's names.
TDnsReferral ParseDnsReferral(std::string_view d, std::uint16_t id, const std::string& asked, std::uint16_t type,
                              const std::string& below) {
    TDnsReferral referral;
    ForEachRecord(d, id, asked, type,
                  [&](int section, const std::string& owner, std::uint16_t rtype, std::size_t data,
                      std::size_t length) {
                      if (section == 1 && rtype == 2 && WithinZone(asked, owner) && WithinZone(owner, below) &&
                          !SameDnsName(owner, below) && (referral.Hosts.empty() || SameDnsName(owner, referral.Zone))) {
                          std::string host;
                          if (!RecordName(d, data, length, 0, host)) return;
                          referral.Zone = owner;
                          referral.Hosts.push_back(host);
                      } else if (section == 2 && rtype == 1 && length == 4 && WithinZone(owner, below) &&
                                 std::any_of(referral.Hosts.begin(), referral.Hosts.end(),
                                             [&](const std::string& h) { return SameDnsName(h, owner); })) {
                          referral.Addresses.push_back(DottedAddress(d, data));
                      }
                  });
    return referral;
}

std::uint16_t NewQueryId() {
    static std::mt19937 random{std::random_device{}()};
    return static_cast<std::uint16_t>(random() & 0xFFFF);
}

// "host" or "host:port" (53 when none is given).
bool ServerAddress(const std::string& server, sockaddr_in& to) {
    std::string host = server;
    std::uint16_t port = 53;
    if (auto colon = server.rfind(':'); colon != std::string::npos && server.find(':') == colon) {
        host = server.substr(0, colon);
        port = static_cast<std::uint16_t>(std::atoi(server.c_str() + colon + 1));
    }
    if (!ResolveIPv4(host, to)) return false;
    to.sin_port = htons(port);
    return true;
}

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// Asks every server; the first reply that accept takes ends the waiting.
// Only datagrams from a server asked, answering our question, count: any
// other is dropped and the waiting goes on until the one deadline.
// answered tells whether any server answered the question at all.
using TAcceptReply = std::function<bool(std::string_view reply, std::uint16_t id)>;
void AskServers(const std::vector<std::string>& servers, const std::string& name, std::uint16_t type,
                const TAcceptReply& accept, bool* answered = nullptr) {
    TMailSocket sock(SOCK_DGRAM);
    if (!sock.Valid()) return;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    if (::bind(sock.Fd(), reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) return;
    const std::uint16_t id = NewQueryId();
    const std::string query = DnsQuery(id, name, type);
    const std::uint64_t deadline = DeadlineAfter(static_cast<std::uint64_t>(MailNetwork().DnsTimeoutMs));
    std::vector<sockaddr_in> asked;
    for (const std::string& server : servers) {
        sockaddr_in to{};
        if (ServerAddress(server, to) &&
            ::sendto(sock.Fd(), query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
                static_cast<ssize_t>(query.size()))
            asked.push_back(to);
    }
    for (std::size_t replies = 0; replies < asked.size();) {
        char buffer[512];
        sockaddr_in from{};
        const ssize_t n = sock.Receive(buffer, sizeof buffer, deadline, &from);
        if (n < 0) return;
        if (std::none_of(asked.begin(), asked.end(), [&](const sockaddr_in& a) { return SameEndpoint(a, from); }))
            continue;
        const std::string_view reply(buffer, static_cast<std::size_t>(n));
        if (!DnsReplyAnswers(reply, id, name, type)) continue;
        ++replies;
        if (answered != nullptr) *answered = true;
        if (accept(reply, id)) return;
    }
}

std::vector<std::string> AskForNames(const std::vector<std::string>& servers, const std::string& name,
                                     std::uint16_t type, bool* answered = nullptr) {
    std::vector<std::string> names;
    AskServers(
        servers, name, type,
        [&](std::string_view reply, std::uint16_t id) {
            names = ParseDnsReply(reply, id, name, type);
            return !names.empty();
        },
        answered);
    return names;
}

// ---- the walk from the root servers -------------------------------------------

constexpr int kMaxReferrals = 10;
constexpr int kMaxWalkQueries = 32;
constexpr int kMaxGluelessDepth = 1;

// What one lookup may still spend, over all its walks.
struct TWalkBudget {
    int QueriesLeft = kMaxWalkQueries;
};

std::vector<std::string> OnWalkPort(const std::vector<std::string>& addresses) {
    std::vector<std::string> servers;
    for (const auto& a : addresses) servers.push_back(a + ":" + std::to_string(MailNetwork().WalkPort));
    return servers;
}

// Walks from the root servers down the referrals to an answer for name.
std::vector<std::string> Walk(TWalkBudget& budget, const std::string& name, std::uint16_t type, int depth) {
    std::vector<std::string> servers = MailNetwork().RootServers;
    std::string zone; // of the servers asked: the root's first
    for (int step = 0; step <= kMaxReferrals && !servers.empty() && budget.QueriesLeft > 0; ++step) {
        --budget.QueriesLeft;
        std::vector<std::string> names;
        TDnsReferral referral;
        AskServers(servers, name, type, [&](std::string_view reply, std::uint16_t id) {
            names = ParseDnsReply(reply, id, name, type);
            if (names.empty()) referral = ParseDnsReferral(reply, id, name, type, zone);
            return !names.empty() || !referral.Hosts.empty();
        });
        if (!names.empty()) return names;
        if (referral.Hosts.empty()) return {};
        zone = referral.Zone;
        servers = OnWalkPort(referral.Addresses);
        // A name server without glue is found by a walk of its own.
        for (const auto& host : referral.Hosts) {
            if (!servers.empty() || depth >= kMaxGluelessDepth || budget.QueriesLeft <= 0) break;
            servers = OnWalkPort(Walk(budget, host, 1, depth + 1));
        }
    }
    return {};
}

// The configured name servers' answer; without any, or when none answers,
// the walk's.
std::vector<std::string> LookUp(const std::string& name, std::uint16_t type, TWalkBudget& budget) {
    const auto servers = SystemDnsServers();
    if (!servers.empty()) {
        bool answered = false;
        auto names = AskForNames(servers, name, type, &answered);
        if (answered) return names;
    }
    return Walk(budget, name, type, 0);
}

// ---- SMTP ---------------------------------------------------------------------

// Far above any real server's reply: a reply larger or longer than this
// is a hostile one and fails.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
constexpr std::size_t kMaxReplyLines = 512;
// A whole conversation may take this many times the time-out of one step.
constexpr std::uint64_t kConversationSteps = 10;

// One conversation's commands and replies. Every wait of it (each reply as
// a whole, each wait for the server to take more data) ends after the
// SMTP time-out, and all of them by the conversation's deadline.
class TSmtp {
public:
    TSmtp(TMailSocket& sock, std::uint64_t stepMs, std::uint64_t deadline)
        : sock_(sock), stepMs_(stepMs), deadline_(deadline) {}

    bool Send(std::string_view text) {
        std::string line(text);
        line += CRLF;
        return sock_.SendAll(line, stepMs_, deadline_);
    }

    // Reads a whole reply (lines with "-" as fourth character go on) and
    // checks its code; every line of it is kept in Lines.
    bool Expect(const char* code) {
        Lines.clear();
        const std::uint64_t deadline = StepDeadline(stepMs_, deadline_);
        std::size_t size = 0;
        for (;;) {
            auto eol = pending_.find(CRLF);
            while (eol == std::string::npos) {
                if (size + pending_.size() > kMaxReplyBytes) return false;
                char buffer[1024];
                const ssize_t n = sock_.Receive(buffer, sizeof buffer, deadline);
                if (n <= 0) return false;
                pending_.append(buffer, static_cast<std::size_t>(n));
                eol = pending_.find(CRLF);
            }
            size += eol + 2;
            if (size > kMaxReplyBytes || Lines.size() == kMaxReplyLines) return false;
            std::string line = pending_.substr(0, eol);
            pending_.erase(0, eol + 2);
            for (char& c : line)
                if (c == '=') c = ' ';
            Lines.push_back(line);
            if (line.size() < 4 || line[3] != '-') break;
        }
        return Lines.back().compare(0, 3, code) == 0;
    }

    bool Command(std::string_view text, const char* code) { return Send(text) && Expect(code); }

    std::vector<std::string> Lines;

private:
    TMailSocket& sock_;
    const std::uint64_t stepMs_, deadline_;
    std::string pending_;
};

std::string DateHeader() {
    const double days = CurrentClock().Now();
    // The clock gives local time; the header wants UTC.
    std::time_t local = static_cast<std::time_t>(std::llround((days - 25569.0) * 86400.0));
    std::tm lt{};
    ::gmtime_r(&local, &lt);
    std::tm probe = lt;
    probe.tm_isdst = -1;
    const std::time_t asLocal = ::mktime(&probe);
    const std::time_t utc = local - (local - asLocal);
    std::tm t{};
    ::gmtime_r(&utc, &t);
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%d %s %d %02d:%02d:%02d UT", t.tm_mday, months[t.tm_mon], t.tm_year + 1900,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string MessageId() {
    const double days = CurrentClock().Now();
    const auto fileTime = static_cast<std::uint64_t>((days + 109205.0) * 86400.0 * 10000000.0);
    char text[64];
    std::snprintf(text, sizeof text, "<%016llx@vorExcept>", static_cast<unsigned long long>(fileTime));
    return text;
}

constexpr char kBoundary[] = "ArdentixXP_Report_SMTP_Boundary";

bool SendAttachment(TSmtp& smtp, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return true; // a file that does not exist is left out
    const std::string name = path.substr(path.rfind('/') + 1);
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool png = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".png") == 0;
    if (!smtp.Send(std::string("--") + kBoundary) ||
        !smtp.Send(std::string("Content-Type: ") + (png ? "image/png" : "application/octet-stream") + "; name=\"" +
                   name + "\"") ||
        !smtp.Send("Content-Transfer-Encoding: base64") ||
        !smtp.Send("Content-Disposition: attachment; filename=\"" + name + "\"") || !smtp.Send(""))
        return false;
    char block[57];
    for (;;) {
        in.read(block, sizeof block);
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        if (!smtp.Send(Base64Encode(block, static_cast<std::size_t>(got)))) return false;
        if (got < static_cast<std::streamsize>(sizeof block)) break;
    }
    return !in.bad();
}

bool Converse(const sockaddr_in& to, const std::string& account, const std::string& password,
              const std::string& sender, const std::vector<TMailAddress>& recipients, const std::string& subject,
              const std::string& body, const std::vector<std::string>& attachments, std::string* error) {
    TMailSocket sock(SOCK_STREAM);
    auto fail = [&](const std::string& what) {
        if (error != nullptr) *error = what;
        sock.Abort();
        return false;
    };
    if (!sock.Valid()) return fail("no socket");
    const auto stepMs = static_cast<std::uint64_t>(MailNetwork().SmtpTimeoutMs);
    const std::uint64_t deadline = DeadlineAfter(stepMs * kConversationSteps);
    if (!sock.Connect(to, StepDeadline(stepMs, deadline))) return fail("no connection");
    TSmtp smtp(sock, stepMs, deadline);
    if (!smtp.Expect("220")) return fail("no greeting");
    bool authLogin = false;
    if (smtp.Command("EHLO " + ComputerName(), "250")) {
        for (std::string line : smtp.Lines) {
            line += ' ';
            if (line.size() > 4 && line.compare(4, 5, "AUTH ") == 0 && line.find(" LOGIN ") != std::string::npos)
                authLogin = true;
        }
    } else if (!smtp.Command("HELO " + ComputerName(), "250")) {
        return fail("HELO refused");
    }
    if (!account.empty() || !password.empty()) {
        if (!authLogin || !smtp.Command("AUTH LOGIN", "334") || !smtp.Command(Base64Encode(account), "334") ||
            !smtp.Command(Base64Encode(password), "235")) {
            // A refusal is a server behaving well: it gets a proper goodbye.
            smtp.Send("QUIT");
            if (error != nullptr) *error = "login refused";
            return false;
        }
    }
    if (!smtp.Command("MAIL FROM:" + AngleForm(sender), "250")) return fail("sender refused");
    int accepted = 0;
    std::string to_list;
    for (const auto& r : recipients) {
        if (smtp.Command("RCPT TO:<" + r.Address + ">", "250")) ++accepted;
        to_list += (to_list.empty() ? "" : ", ") + (r.Name == r.Address ? r.Address : r.Name + " <" + r.Address + ">");
    }
    if (accepted == 0) return fail("no recipient accepted");
    if (subject.empty() && body.empty()) {
        if (!smtp.Command("RSET", "250")) return fail("RSET refused");
    } else {
        if (!smtp.Command("DATA", "354")) return fail("DATA refused");
        std::string head = "To: " + to_list + CRLF + "From: " + sender + CRLF + "Subject: " + EncodeSubject(subject) +
                           CRLF + "Date: " + DateHeader() + CRLF + "Message-ID: " + MessageId();
        if (!smtp.Send(head)) return fail("send failed");
        std::vector<std::string> present;
        for (const auto& a : attachments)
            if (std::filesystem::exists(a)) present.push_back(a);
        // The body goes out dot-stuffed, so no line of it can end the message.
        if (present.empty()) {
            if (!smtp.Send("\r\n" + DotStuff(body))) return fail("send failed");
        } else {
            const std::string intro = std::string("MIME-Version: 1.0") + CRLF +
                                      "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"" + CRLF + CRLF +
                                      "This is a multi-part message in MIME format." + CRLF + CRLF + "--" + kBoundary +
                                      CRLF + "Content-Type: text/plain; charset=\"iso-8859-1\"" + CRLF +
                                      "Content-Transfer-Encoding: 8bit" + CRLF + CRLF + DotStuff(body);
            if (!smtp.Send(intro)) return fail("send failed");
            for (const auto& a : present)
                if (!SendAttachment(smtp, a)) return fail("attachment unreadable");
            if (!smtp.Send(std::string("--") + kBoundary + "--")) return fail("send failed");
        }
        // The last line of the message ended with its CR LF: "." ends the data.
        if (!smtp.Command(".", "250")) return fail("message refused");
    }
    smtp.Command("QUIT", "221");
    return true;
}

// The desktop's composer gets the message to show the user, who sends it;
// it is waited for, as the system's mail dialog is, so that its status says
// whether it took the message.
bool LaunchComposer(const std::vector<TMailAddress>& recipients, const std::string& subject, const std::string& body,
                    const std::vector<std::string>& attachments) {
    std::vector<std::string> args = {MailNetwork().MailComposerProgram, "--subject", subject, "--body", body};
    for (const auto& file : attachments) {
        args.push_back("--attach");
        args.push_back(file);
    }
    for (const auto& r : recipients) args.push_back(r.Address);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    pid_t done;
    while ((done = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (done < 0) return errno == ECHILD; // someone else reaps children: it started
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool LaunchMailto(const std::string& url) {
    const std::string program = MailNetwork().MailtoProgram;
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(url.c_str()), nullptr};
    pid_t pid = 0;
    return ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

} // namespace

std::vector<TMailAddress> ParseRecipients(std::string_view list) {
    std::string text(list);
    for (char& c : text)
        if (c == ';') c = ',';
    std::vector<TMailAddress> out;
    std::size_t at = 0;
    while (at <= text.size()) {
        auto comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        std::string entry = vor::TrimCopy(text.substr(at, comma - at));
        at = comma + 1;
        if (entry.empty()) continue;
        const auto lt = entry.find('<');
        if (lt != std::string::npos) {
            const auto gt = entry.find('>', lt);
            std::string name = entry.substr(0, lt);
            while (!name.empty() && name.back() == ' ') name.pop_back();
            out.push_back({name, entry.substr(lt + 1, (gt == std::string::npos ? entry.size() : gt) - lt - 1)});
        } else {
            out.push_back({entry, entry});
        }
    }
    return out;
}

std::string DotStuff(std::string_view body) {
    std::string out;
    out.reserve(body.size() + 16);
    bool lineStart = true;
    for (char c : body) {
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string EncodeSubject(std::string_view subject) {
    std::string out = "=?ISO-8859-1?Q?";
    for (char ch : subject) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "=%02X", c);
            out += hex;
        }
    }
    return out + "?=";
}

std::string MailtoEscape(std::string_view text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string MailtoUrl(const std::string& recipients, const std::string& subject, const std::string& body) {
    std::string to;
    for (const auto& r : ParseRecipients(recipients)) to += (to.empty() ? "" : ",") + r.Address;
    return "mailto:" + to + "?subject=" + MailtoEscape(subject) + "&body=" + MailtoEscape(body);
}

std::string DnsQuery(std::uint16_t id, const std::string& name, std::uint16_t type) {
    std::string q;
    q += static_cast<char>(id >> 8);
    q += static_cast<char>(id & 0xFF);
    q += '\x01';
    q += '\x00'; // recursion desired
    q += std::string("\x00\x01\x00\x00\x00\x00\x00\x00", 8);
    std::size_t at = 0;
    while (at < name.size()) {
        auto dot = name.find('.', at);
        if (dot == std::string::npos) dot = name.size();
        const std::size_t length = std::min<std::size_t>(dot - at, 63);
        q += static_cast<char>(length);
        q += name.substr(at, length);
        at = dot + 1;
    }
    q += '\0';
    q += static_cast<char>(type >> 8);
    q += static_cast<char>(type & 0xFF);
    q += std::string("\x00\x01", 2);
    return q;
}

bool DnsReplyAnswers(std::string_view d, std::uint16_t id, std::string_view name, std::uint16_t type) {
    if (d.size() < 12 || Get16(d, 0) != id) return false;
    if ((static_cast<unsigned char>(d[2]) & 0x80) == 0) return false; // not a response
    if (Get16(d, 4) != 1) return false;                                // we asked one question
    std::string asked;
    std::size_t end = 0;
    if (!ReadName(d, 12, asked, end) || end + 4 > d.size()) return false;
    return Get16(d, end) == type && Get16(d, end + 2) == 1 && SameDnsName(asked, name);
}

std::vector<std::string> ParseDnsReply(std::string_view d, std::uint16_t id, std::string_view asked,
                                       std::uint16_t type) {
    std::vector<std::string> out;
    ForEachRecord(d, id, asked, type,
                  [&](int section, const std::string&, std::uint16_t rtype, std::size_t data, std::size_t length) {
                      if (section != 0 || rtype != type) return;
                      std::string target;
                      if (type == 1) {
                          if (length == 4) out.push_back(DottedAddress(d, data));
                      } else if (RecordName(d, data, length, type == 15 ? 2 : 0, target)) {
                          out.push_back(target);
                      }
                  });
    return out;
}

std::string FindMailServer(const std::string& address) {
    std::string domain = address.substr(address.rfind('@') == std::string::npos ? 0 : address.rfind('@') + 1);
    if (!domain.empty() && domain.back() == '>') domain.pop_back();
    std::string shortDomain = domain;
    int dots = 0;
    for (std::size_t i = domain.size(); i-- > 0;)
        if (domain[i] == '.' && ++dots == 3) {
            shortDomain = domain.substr(i + 1);
            break;
        }
    if (domain.empty()) return {};
    TWalkBudget budget;
    auto names = LookUp(domain, 15, budget);
    if (names.empty() && shortDomain != domain) names = LookUp(shortDomain, 15, budget);
    return names.empty() ? std::string() : names.front();
}

bool SendSmtpMail(const std::string& server, std::uint16_t port, const std::string& account,
                  const std::string& password, const std::string& sender,
                  const std::vector<TMailAddress>& recipients, const std::string& subject, const std::string& body,
                  const std::vector<std::string>& attachments, std::string* error) {
    if (!server.empty()) {
        sockaddr_in to{};
        if (!ResolveIPv4(server, to)) {
            if (error != nullptr) *error = "unknown server " + server;
            return false;
        }
        to.sin_port = htons(port);
        return Converse(to, account, password, sender, recipients, subject, body, attachments, error);
    }
    // Direct: one conversation per recipient with its domain's exchanger.
    bool any = false;
    for (const auto& r : recipients) {
        const std::string exchanger = FindMailServer(r.Address);
        if (exchanger.empty()) continue;
        sockaddr_in to{};
        TWalkBudget budget;
        auto addresses = LookUp(exchanger, 1, budget);
        if (addresses.empty() ? !ResolveIPv4(exchanger, to) : !ResolveIPv4(addresses.front(), to)) continue;
        to.sin_port = htons(port);
        if (Converse(to, account, password, sender, {r}, subject, body, attachments, error)) any = true;
    }
    return any;
}

std::string ReportExceptionMessage(const std::string& report) {
    const std::string key = "\r\nexception message ";
    auto at = report.find(key);
    if (at == std::string::npos) return "Unknown";
    auto colon = report.find(':', at + key.size());
    auto end = report.find("\r\n", at + key.size());
    if (colon == std::string::npos || (end != std::string::npos && colon > end)) return "Unknown";
    std::string text = vor::TrimCopy(report.substr(colon + 1, end == std::string::npos ? std::string::npos : end - colon - 1));
    return text.empty() ? "Unknown" : text;
}

bool SendBugReport(const std::string& report, std::uintptr_t owner, bool silent) {
    const VorSettings& settings = ReporterSettings();
    const auto& runtime = ReporterRuntime();
    std::string subject = settings.MailSubject.str();
    vor::ReplaceText(subject, "%appname%", AppName());
    vor::ReplaceText(subject, "%exceptMsg%", ReportExceptionMessage(report));
    const auto recipients = ParseRecipients(settings.MailRecipient.str());
    std::string sender = runtime.SenderAddress;
    if (sender.empty() && !recipients.empty()) {
        sender = "vorExcept <" + recipients.front().Address + ">";
        vor::ReplaceText(sender, "%appname%", AppName());
    }
    std::vector<std::string> attachments;
    if (settings.AttachReportFile) {
        const std::string file = BugReportFileName();
        if (std::filesystem::exists(file)) {
            if (settings.AttachTempCopy) {
                std::error_code ec;
                const auto temp = std::filesystem::temp_directory_path(ec) / std::filesystem::path(file).filename();
                std::filesystem::copy_file(file, temp, std::filesystem::copy_options::overwrite_existing, ec);
                attachments.push_back(ec ? file : temp.string());
            } else {
                attachments.push_back(file);
            }
        }
    }
    for (const auto& extra : runtime.ExtraAttachments) attachments.push_back(extra);
    bool sent = false, bySmtp = false;
    const bool connected = !recipients.empty() && InternetConnected();
    if (connected && settings.MailDirect) {
        sent = SendSmtpMail("", MailNetwork().DirectSmtpPort, "", "", sender, recipients, subject, report, attachments);
    } else if (connected && settings.MailViaSmtpServer && !settings.SmtpServer.empty()) {
        sent = SendSmtpMail(settings.SmtpServer.str(), static_cast<std::uint16_t>(settings.SmtpPort),
                            settings.SmtpAccount.str(), settings.SmtpPassword.str(), sender, recipients, subject,
                            report, attachments);
    }
    bySmtp = sent;
    // The composer shows the message to the user: never in silent mode,
    // where nobody asked for a window and nothing would be sent.
    if (!sent && settings.MailViaMapi && !silent) sent = LaunchComposer(recipients, subject, report, attachments);
    if (!sent && settings.MailViaMailto && !silent)
        sent = LaunchMailto(MailtoUrl(settings.MailRecipient.str(), subject, report));
    if (!silent) {
        if (!sent)
            ShowReporterMessage(owner, ExpandPlaceholders(settings.MailFailureText.str(), ""),
                                settings.MailButtonCaption.str());
        else if (bySmtp)
            ShowReporterMessage(owner, settings.MailSuccessText.str(), settings.MailButtonCaption.str());
    }
    return sent;
}

} // namespace ax
