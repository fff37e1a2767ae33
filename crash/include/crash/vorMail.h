#pragma once
// Mailing a bug report: SMTP straight to the recipient domain's mail
// exchanger (found by the reporter's own DNS client over UDP), SMTP through
// a configured server, the desktop's mail composer (the system mail
// channel: the message with its attachments handed to xdg-email) and the
// desktop's mailto handler.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

// Where the mail road goes; the defaults are the real ones, tests point
// them at servers on loopback.
struct TMailNetwork {
    std::vector<std::string> DnsServers; // "host" or "host:port"; empty: ResolverConfig's
    std::string ResolverConfig = "/etc/resolv.conf";
    // Without name servers (none configured, or none answers) a lookup walks
    // down from the root servers (a.root-servers.net, c.root-servers.net),
    // following referrals; the servers it is referred to are asked on
    // WalkPort. Tests put a root and the port on loopback.
    std::vector<std::string> RootServers = {"198.41.0.4", "192.33.4.12"};
    std::uint16_t WalkPort = 53;
    std::uint16_t DirectSmtpPort = 25;   // the exchanger's port in direct mode
    // One DNS exchange (all servers asked at once) ends after DnsTimeoutMs.
    // In SMTP the connect, each reply and each wait for the server to take
    // more data end after SmtpTimeoutMs, a whole conversation after ten
    // times it. Waits follow the injected clock (rtl/clock.h).
    int DnsTimeoutMs = 5000;
    int SmtpTimeoutMs = 7000;
    std::string MailtoProgram = "xdg-open";
    // Run as: program --subject S --body B [--attach FILE]... recipients;
    // the channel worked when it ends with status 0.
    std::string MailComposerProgram = "xdg-email";
    // Overrides the connection check (tests); unset: an interface other
    // than loopback is up.
    int ConnectedOverride = -1;
};
TMailNetwork& MailNetwork();

// Returns whether the mail went out. Not silent: the result is told in a
// message box owned by owner (a window handle as a number, 0 none).
bool SendBugReport(const std::string& report, std::uintptr_t owner, bool silent);

struct TMailAddress {
    std::string Name;
    std::string Address;
};
// "a@x.org; Bob <b@y.org>" -> entries; ";" counts as ",".
std::vector<TMailAddress> ParseRecipients(std::string_view list);

// One SMTP conversation; an empty server means the exchanger of each
// recipient's domain (one conversation per recipient).
bool SendSmtpMail(const std::string& server, std::uint16_t port, const std::string& account,
                  const std::string& password, const std::string& sender,
                  const std::vector<TMailAddress>& recipients, const std::string& subject,
                  const std::string& body, const std::vector<std::string>& attachments,
                  std::string* error = nullptr);

// The first mail exchanger of the address's domain (its short form tried
// when the domain has none); empty when there is none. Without name servers
// the walk from the root servers takes at most ten referrals per name, a
// name server without an address is looked up by a walk of its own (one
// level deep), and a lookup sends at most 32 queries.
std::string FindMailServer(const std::string& address);

// The building blocks, exposed for tests.
// Every line that begins with "." gets another one (RFC 5321, 4.5.2).
std::string DotStuff(std::string_view body);
// "=?ISO-8859-1?Q?" + letters and digits as they are, every other byte as
// "=" and two upper-case hex digits + "?=".
std::string EncodeSubject(std::string_view subject);
// Percent-encodes everything but unreserved characters.
std::string MailtoEscape(std::string_view text);
// "mailto:" + the recipients' addresses as they are, "," between them, then
// the subject and body escaped.
std::string MailtoUrl(const std::string& recipients, const std::string& subject,
                      const std::string& body);
// A DNS query of one question (type 15 MX, 2 NS, 1 A) with the given id.
std::string DnsQuery(std::uint16_t id, const std::string& name, std::uint16_t type);
// Whether reply is a response to our query: its id, and its one question
// being the name (letters in any case), type and class IN we asked.
bool DnsReplyAnswers(std::string_view reply, std::uint16_t id, std::string_view name, std::uint16_t type);
// The names (MX exchangers, NS hosts) or addresses (A, dotted) of a reply to
// the query of that id, name and type (nothing when DnsReplyAnswers says
// no); every length, offset and pointer is checked, and compression
// pointers may only point backwards.
std::vector<std::string> ParseDnsReply(std::string_view reply, std::uint16_t id, std::string_view name,
                                       std::uint16_t type);
// The exception message of a report ("Unknown" when there is none).
std::string ReportExceptionMessage(const std::string& report);

} // namespace ax
