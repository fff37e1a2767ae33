// The network folder's items: the computers announced on the local network
// by DNS-SD, asked of the Avahi daemon (on the system bus) each time the
// folder is listed. A computer is the host a service of one of the kinds
// below resolves to.
#include "items.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <algorithm>
#include <chrono>
#include <set>

namespace ax::shellns {
namespace {

// Kinds of service a computer announces itself with.
constexpr const char* kComputerServices[] = {"_workstation._tcp", "_smb._tcp", "_sftp-ssh._tcp"};
// The daemon answers what it knows within about a second; a network that
// keeps it busy longer is cut off here, so that listing never hangs.
constexpr auto kLongestListing = std::chrono::seconds(4);

struct Browse {
    AvahiSimplePoll* poll = nullptr;
    AvahiClient* client = nullptr;
    int browsing = 0;  // browsers not yet through what the daemon knows
    int resolving = 0; // resolvers not yet answered
    std::set<std::string> hosts;
};

std::string HostOf(const char* hostName) {
    std::string host = hostName ? hostName : "";
    if (host.size() > 6 && host.compare(host.size() - 6, 6, ".local") == 0) host.resize(host.size() - 6);
    return host;
}

void Resolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
              const char*, const char*, const char*, const char* hostName, const AvahiAddress*, uint16_t,
              AvahiStringList*, AvahiLookupResultFlags, void* data) {
    auto& browse = *static_cast<Browse*>(data);
    if (event == AVAHI_RESOLVER_FOUND && !HostOf(hostName).empty()) browse.hosts.insert(HostOf(hostName));
    avahi_service_resolver_free(resolver);
    --browse.resolving;
}

void Browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
             const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* data) {
    auto& browse = *static_cast<Browse*>(data);
    switch (event) {
    case AVAHI_BROWSER_NEW:
        if (avahi_service_resolver_new(browse.client, interface, protocol, name, type, domain,
                                       AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0), Resolved, data))
            ++browse.resolving;
        break;
    case AVAHI_BROWSER_ALL_FOR_NOW:
    case AVAHI_BROWSER_FAILURE:
        --browse.browsing;
        break;
    default:
        break;
    }
}

} // namespace

std::vector<std::string> ListNetworkComputers() {
    Browse browse;
    browse.poll = avahi_simple_poll_new();
    if (!browse.poll) return {};
    int error = 0;
    // Without a daemon the client fails at once: no computers.
    browse.client = avahi_client_new(avahi_simple_poll_get(browse.poll), AvahiClientFlags(0), nullptr, nullptr, &error);
    std::vector<AvahiServiceBrowser*> browsers;
    if (browse.client) {
        for (const char* type : kComputerServices)
            if (AvahiServiceBrowser* b = avahi_service_browser_new(browse.client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type,
                                                                   nullptr, AvahiLookupFlags(0), Browsed, &browse)) {
                browsers.push_back(b);
                ++browse.browsing;
            }
        const auto end = std::chrono::steady_clock::now() + kLongestListing;
        while ((browse.browsing > 0 || browse.resolving > 0) && std::chrono::steady_clock::now() < end)
            if (avahi_simple_poll_iterate(browse.poll, 100) != 0) break;
        for (AvahiServiceBrowser* b : browsers) avahi_service_browser_free(b);
        avahi_client_free(browse.client); // frees resolvers still pending
    }
    avahi_simple_poll_free(browse.poll);
    return {browse.hosts.begin(), browse.hosts.end()};
}

bool FindNetworkComputer(const std::string& name) {
    const std::vector<std::string> all = ListNetworkComputers();
    return std::find(all.begin(), all.end(), name) != all.end();
}

} // namespace ax::shellns
