// The "wts client name" of a report: the machine a remote session runs from.
// An SSH session names its client's address; an X display on another host
// names that host. A local session has none.
#include "crash/vorBugReport.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace ax {

namespace {

std::string FirstWord(const char* text) {
    std::string_view s = text;
    const auto start = s.find_first_not_of(' ');
    if (start == std::string_view::npos) return {};
    s.remove_prefix(start);
    return std::string(s.substr(0, s.find(' ')));
}

// "host:display.screen", or "proto/host:..."; the local forms (and a
// socket's path) name none.
std::string DisplayHost(std::string_view display) {
    if (!display.empty() && display.front() == '/') return {};
    const auto colon = display.rfind(':');
    if (colon == std::string_view::npos) return {};
    std::string_view host = display.substr(0, colon);
    if (const auto slash = host.rfind('/'); slash != std::string_view::npos) host.remove_prefix(slash + 1);
    if (!host.empty() && host.back() == ':') host.remove_suffix(1); // DECnet's "host::0"
    static constexpr std::array<std::string_view, 5> local = {"", "unix", "localhost", "127.0.0.1", "::1"};
    for (std::string_view l : local)
        if (host == l) return {};
    return std::string(host);
}

} // namespace

std::string TerminalClientName() {
    for (const char* name : {"SSH_CLIENT", "SSH_CONNECTION"})
        if (const char* value = std::getenv(name); value != nullptr)
            if (std::string client = FirstWord(value); !client.empty()) return client;
    if (const char* display = std::getenv("DISPLAY"); display != nullptr) return DisplayHost(display);
    return {};
}

} // namespace ax
