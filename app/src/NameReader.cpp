// Splitting a stream of names at their separators, a block at a time.
#include "app/NameReader.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace ax {

NameReader::NameReader(int fd, char separator) : fd_(fd), separator_(separator), buffer_(64 * 1024) {}

bool NameReader::Fill() {
    if (ended_) return false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error_ = errno;
        if (n <= 0) {
            ended_ = true;
            return false;
        }
        at_ = 0;
        filled_ = size_t(n);
        return true;
    }
}

bool NameReader::Next(std::string& name) {
    name.clear();
    bool any = false; // a name begun, perhaps still empty
    for (;;) {
        if (at_ == filled_ && !Fill()) return any && error_ == 0;
        any = true;
        const char* begin = buffer_.data() + at_;
        const auto* end = static_cast<const char*>(std::memchr(begin, separator_, filled_ - at_));
        if (end) {
            name.append(begin, end);
            at_ = size_t(end - buffer_.data()) + 1;
            return true;
        }
        name.append(begin, filled_ - at_);
        at_ = filled_;
    }
}

} // namespace ax
