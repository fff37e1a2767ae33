#pragma once
// A non-blocking socket of the mail road whose every wait ends at a
// deadline in ticks of the system's clock (rtl/clock.h). A peer that never
// answers the connection, stops reading or trickles its reply can hold the
// reporter no longer than the deadline its caller gave.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <sys/types.h>

namespace ax {

class TMailSocket {
public:
    // type: SOCK_STREAM or SOCK_DGRAM; Valid() tells whether it was made.
    explicit TMailSocket(int type);
    ~TMailSocket();
    TMailSocket(const TMailSocket&) = delete;
    TMailSocket& operator=(const TMailSocket&) = delete;

    bool Valid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // False when the connection failed or did not stand by the deadline.
    bool Connect(const sockaddr_in& to, std::uint64_t deadline);
    // All of data, or false: the peer went away, took nothing for stepMs
    // or had not taken all by the overall deadline (or it had passed
    // already).
    bool SendAll(std::string_view data, std::uint64_t stepMs, std::uint64_t overall);
    // Drops the connection at once when the socket closes, with whatever
    // the peer has not taken yet, instead of leaving the system to deliver
    // it to a peer that may never read it.
    void Abort();
    // Up to size bytes of what has arrived; 0 on end of stream, -1 on an
    // error, when the deadline had passed already or nothing came by it. from (datagrams)
    // receives the sender's address.
    ssize_t Receive(char* buffer, std::size_t size, std::uint64_t deadline, sockaddr_in* from = nullptr);

private:
    // Until events are signalled on the socket or the deadline passes.
    bool WaitFor(short events, std::uint64_t deadline) const;

    int fd_;
};

// The deadline timeoutMs from now on the system's clock.
std::uint64_t DeadlineAfter(std::uint64_t timeoutMs);
// The earlier of the step's own deadline and the whole exchange's one.
std::uint64_t StepDeadline(std::uint64_t timeoutMs, std::uint64_t overall);

} // namespace ax
