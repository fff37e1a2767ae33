// Mounts and media: mountinfo's POLLPRI and the kernel's device events.
#include "platform/mount_watch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/netlink.h>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ax {
namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && std::all_of(s.begin() + i + 1, s.begin() + i + 4,
                                                                 [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

uint64_t ReadNumber(const std::string& path, bool& ok) {
    std::ifstream in(path);
    uint64_t value = 0;
    ok = static_cast<bool>(in >> value);
    return ok ? value : 0;
}

} // namespace

MountWatch::MountWatch() {
    mounts_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    events_ = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (events_ >= 0) {
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = 1; // the kernel's own events
        if (bind(events_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(events_);
            events_ = -1;
        }
    }
}

MountWatch::~MountWatch() {
    for (int fd : {mounts_, events_, wake_})
        if (fd >= 0) close(fd);
}

std::vector<MountWatch::Mount> MountWatch::ReadMounts(const std::string& file) {
    std::vector<Mount> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        // id parent major:minor root mount-point options [optional...] - type source super
        std::istringstream fields(line);
        std::string id, parent, device, root, point, options, word;
        if (!(fields >> id >> parent >> device >> root >> point >> options)) continue;
        while (fields >> word && word != "-") {}
        Mount m;
        if (!(fields >> m.type >> m.source)) continue;
        if (sscanf(device.c_str(), "%u:%u", &m.major, &m.minor) != 2) continue;
        m.mountPoint = Unescape(point);
        m.source = Unescape(m.source);
        std::erase_if(out, [&](const Mount& o) { return o.mountPoint == m.mountPoint; });
        out.push_back(std::move(m));
    }
    return out;
}

MountWatch::Medium MountWatch::ReadMedium(unsigned major, unsigned minor) {
    const std::string dir = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    Medium medium;
    bool ok = false;
    medium.present = ReadNumber(dir + "/size", ok) > 0;
    medium.sequence = ReadNumber(dir + "/diskseq", ok);
    return medium;
}

void MountWatch::Wake() {
    if (wake_ < 0) return;
    const uint64_t one = 1;
    // A full counter still wakes the waiter, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = write(wake_, &one, sizeof one);
}

MountWatch::Changes MountWatch::Wait(int timeoutMs) {
    Changes changes;
    for (;;) {
        pollfd fds[3] = {{wake_, POLLIN, 0}, {mounts_, POLLPRI, 0}, {events_, POLLIN, 0}};
        const int n = poll(fds, 3, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return changes;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t r = read(wake_, &count, sizeof count);
            changes.woken = true;
        }
        // The poll itself takes note of the table's new state.
        if (fds[1].revents & (POLLPRI | POLLERR)) changes.mounts = true;
        if (fds[2].revents & POLLIN) ReadDeviceEvents(changes);
        // Events of other devices, or other kinds, do not end the wait.
        if (!changes.Empty()) return changes;
    }
}

// Each event is NUL-separated text: "action@path", then KEY=value lines.
void MountWatch::ReadDeviceEvents(Changes& changes) {
    char buffer[8192];
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t length = recvfrom(events_, buffer, sizeof buffer - 1, 0,
                                        reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) return;
        if (sender.nl_pid != 0) continue; // only the kernel speaks for devices
        buffer[length] = '\0';
        bool block = false, change = false;
        unsigned major = 0, minor = 0;
        bool haveMajor = false, haveMinor = false;
        for (ssize_t at = 0; at < length; at += ssize_t(strlen(buffer + at)) + 1) {
            const std::string field(buffer + at);
            if (field == "SUBSYSTEM=block") block = true;
            else if (field == "ACTION=change") change = true;
            else if (field.rfind("MAJOR=", 0) == 0) haveMajor = sscanf(field.c_str() + 6, "%u", &major) == 1;
            else if (field.rfind("MINOR=", 0) == 0) haveMinor = sscanf(field.c_str() + 6, "%u", &minor) == 1;
        }
        if (!block || !change || !haveMajor || !haveMinor) continue;
        const std::pair<unsigned, unsigned> device{major, minor};
        if (std::find(changes.media.begin(), changes.media.end(), device) == changes.media.end())
            changes.media.push_back(device);
    }
}

} // namespace ax
