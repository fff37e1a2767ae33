#pragma once
// A limit of kernel folder watches for one test: the calling process (a
// forked child, single-threaded) enters a user namespace of its own, where
// it is still root, and sets that namespace's limit. The machine's limit is
// never touched.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <string>

namespace ax::test {

namespace detail {
inline bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}
} // namespace detail

// False when this machine does not let a process do so.
inline bool LimitFolderWatches(int limit) {
    const std::string uid = std::to_string(::geteuid()), gid = std::to_string(::getegid());
    return ::unshare(CLONE_NEWUSER) == 0 && detail::WriteProcFile("/proc/self/setgroups", "deny") &&
           detail::WriteProcFile("/proc/self/uid_map", uid + " " + uid + " 1\n") &&
           detail::WriteProcFile("/proc/self/gid_map", gid + " " + gid + " 1\n") &&
           detail::WriteProcFile("/proc/sys/user/max_inotify_watches", std::to_string(limit) + "\n");
}

} // namespace ax::test
