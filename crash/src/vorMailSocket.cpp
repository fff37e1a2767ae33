// Mail sockets whose every wait ends at a deadline of the project's clock.
#include "vorMailSocket.h"

#include "rtl/clock.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ax {

namespace {

// A wait on the socket is cut into slices of at most this many
// milliseconds, so that a clock that tests move by hand ends it soon after
// its deadline has come; on the system clock the last slice ends at the
// deadline itself.
constexpr std::uint64_t kSliceMs = 50;

} // namespace

std::uint64_t DeadlineAfter(std::uint64_t timeoutMs) { return CurrentClock().Ticks() + timeoutMs; }

std::uint64_t StepDeadline(std::uint64_t timeoutMs, std::uint64_t overall) {
    return std::min(DeadlineAfter(timeoutMs), overall);
}

TMailSocket::TMailSocket(int type) : fd_(::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}

TMailSocket::~TMailSocket() {
    if (fd_ >= 0) ::close(fd_);
}

bool TMailSocket::WaitFor(short events, std::uint64_t deadline) const {
    Clock& clock = CurrentClock();
    for (;;) {
        const std::uint64_t now = clock.Ticks();
        if (now >= deadline) return false;
        pollfd p{fd_, events, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::min(deadline - now, kSliceMs)));
        // An error or hang-up counts as ready: the call that follows tells it.
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) return false;
    }
}

bool TMailSocket::Connect(const sockaddr_in& to, std::uint64_t deadline) {
    if (fd_ < 0) return false;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    if (!WaitFor(POLLOUT, deadline)) return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool TMailSocket::SendAll(std::string_view data, std::uint64_t stepMs, std::uint64_t overall) {
    if (CurrentClock().Ticks() >= overall) return false;
    while (!data.empty()) {
        const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(POLLOUT, StepDeadline(stepMs, overall))) return false;
        } else {
            return false;
        }
    }
    return true;
}

void TMailSocket::Abort() {
    const linger now{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
}

ssize_t TMailSocket::Receive(char* buffer, std::size_t size, std::uint64_t deadline, sockaddr_in* from) {
    if (CurrentClock().Ticks() >= deadline) return -1;
    for (;;) {
        sockaddr_in source{};
        socklen_t length = sizeof source;
        const ssize_t n = ::recvfrom(fd_, buffer, size, 0, reinterpret_cast<sockaddr*>(&source), &length);
        if (n >= 0) {
            if (from != nullptr) *from = source;
            return n;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (!WaitFor(POLLIN, deadline)) return -1;
    }
}

} // namespace ax
