// Directory change watches on inotify.
#include "platform/directory_watch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace ax {
namespace {

constexpr uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

// The kernel events that can satisfy a filter.
uint32_t MaskOf(uint32_t filter) {
    uint32_t mask = kSelfEvents | IN_ONLYDIR;
    if (filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME)) mask |= kNameEvents;
    if (filter & FILE_NOTIFY_CHANGE_CREATION) mask |= IN_CREATE;
    if (filter & (FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SECURITY)) mask |= IN_ATTRIB;
    if (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) mask |= IN_MODIFY;
    if (filter & FILE_NOTIFY_CHANGE_LAST_ACCESS) mask |= IN_ACCESS;
    return mask;
}

// Whether one event is a change this filter asked for. Names of files and
// of folders are told apart as the filter's two name bits are.
bool Matches(uint32_t filter, uint32_t mask) {
    if (mask & kNameEvents) {
        const bool folder = (mask & IN_ISDIR) != 0;
        if (filter & (folder ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME))
            return true;
        if ((mask & IN_CREATE) && (filter & FILE_NOTIFY_CHANGE_CREATION)) return true;
    }
    if ((mask & IN_ATTRIB) &&
        (filter & (FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SECURITY)))
        return true;
    if ((mask & IN_MODIFY) && (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)))
        return true;
    return (mask & IN_ACCESS) && (filter & FILE_NOTIFY_CHANGE_LAST_ACCESS);
}

void AddOnce(std::vector<int>& ids, int id) {
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
}

} // namespace

DirectoryWatch::DirectoryWatch() {
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    mounts_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
}

DirectoryWatch::~DirectoryWatch() {
    if (inotify_ >= 0) close(inotify_);
    if (wake_ >= 0) close(wake_);
    if (mounts_ >= 0) close(mounts_);
}

int DirectoryWatch::Add(const std::string& path, uint32_t filter) {
    if (!Valid() || path.empty()) return 0;
    // IN_MASK_ADD: another watch of the same folder keeps what it asked for.
    const int descriptor = inotify_add_watch(inotify_, path.c_str(), MaskOf(filter) | IN_MASK_ADD);
    if (descriptor < 0) {
        lastAddError_ = errno;
        return 0;
    }
    lastAddError_ = 0;
    const int id = nextId_++;
    watches_[id] = {descriptor, filter};
    descriptors_[descriptor].push_back(id);
    return id;
}

void DirectoryWatch::Remove(int id) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    const int descriptor = it->second.descriptor;
    watches_.erase(it);
    auto d = descriptors_.find(descriptor);
    if (d == descriptors_.end()) return;
    std::erase(d->second, id);
    // The folder's kernel mask stays as wide as it was while other watches
    // remain; their filters still decide what reaches them.
    if (d->second.empty()) {
        descriptors_.erase(d);
        inotify_rm_watch(inotify_, descriptor);
    }
}

void DirectoryWatch::RemoveAll() {
    for (const auto& [descriptor, ids] : descriptors_)
        inotify_rm_watch(inotify_, descriptor);
    descriptors_.clear();
    watches_.clear();
}

bool DirectoryWatch::LastAddHitLimit() const {
    return lastAddError_ == ENOSPC || lastAddError_ == ENOMEM;
}

void DirectoryWatch::InjectOverflow() {
    overflowAsked_ = true;
    Signal();
}

void DirectoryWatch::Wake() {
    wakeAsked_ = true;
    Signal();
}

void DirectoryWatch::Signal() {
    if (wake_ < 0) return;
    const uint64_t one = 1;
    // A full counter still wakes the waiter, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = write(wake_, &one, sizeof one);
}

DirectoryWatch::Changes DirectoryWatch::Wait(int timeoutMs) {
    Changes changes;
    if (!Valid()) return changes;
    for (;;) {
        pollfd fds[3] = {{inotify_, POLLIN, 0}, {wake_, POLLIN, 0}, {mounts_, POLLPRI, 0}};
        const int n = poll(fds, 3, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return changes;
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t r = read(wake_, &count, sizeof count);
            if (wakeAsked_.exchange(false)) changes.woken = true;
            if (overflowAsked_.exchange(false)) changes.overflow = true;
        }
        if (fds[0].revents & POLLIN) ReadEvents(changes);
        // The poll itself takes note of the table's new state.
        if (fds[2].revents & (POLLPRI | POLLERR)) changes.mounts = true;
        // Events no filter asked for (the kernel mask is shared) do not
        // end the wait.
        if (!changes.Empty()) return changes;
    }
}

// The first watch of a folder that asked for the names of items of the
// event's sort; 0 when none did.
int DirectoryWatch::NameWatch(int descriptor, uint32_t mask) {
    auto d = descriptors_.find(descriptor);
    if (d == descriptors_.end()) return 0;
    for (int id : d->second)
        if (Matches(watches_[id].filter, mask)) return id;
    return 0;
}

void DirectoryWatch::ReadEvents(Changes& changes) {
    alignas(inotify_event) char buffer[64 * 1024];
    // The leaving half of each move, by the kernel's cookie, until its
    // arriving half pairs it.
    struct Leaving {
        int watch;
        std::string name;
    };
    std::map<uint32_t, Leaving> leaving;
    for (;;) {
        const ssize_t length = read(inotify_, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) return;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += ssize_t(sizeof(inotify_event)) + event.len;
            if (event.mask & IN_Q_OVERFLOW) {
                changes.overflow = true;
                continue;
            }
            auto d = descriptors_.find(event.wd);
            if (d == descriptors_.end()) continue;
            if (event.mask & (kSelfEvents | IN_IGNORED)) {
                EndDescriptor(event.wd, changes);
                continue;
            }
            for (int id : d->second)
                if (Matches(watches_[id].filter, event.mask)) AddOnce(changes.changed, id);
            const char* name = buffer + at - event.len;
            const std::string item = event.len ? std::string(name, strnlen(name, event.len)) : std::string();
            if ((event.mask & IN_MOVED_FROM) && event.cookie) {
                if (const int id = NameWatch(event.wd, event.mask)) leaving[event.cookie] = {id, item};
            } else if ((event.mask & IN_MOVED_TO) && event.cookie) {
                auto from = leaving.find(event.cookie);
                const int id = NameWatch(event.wd, event.mask);
                if (from != leaving.end() && id)
                    changes.moves.push_back({from->second.watch, from->second.name, id, item,
                                             (event.mask & IN_ISDIR) != 0});
                if (from != leaving.end()) leaving.erase(from);
            }
        }
    }
}

// The folder itself went: every watch of it reports a change and ends.
void DirectoryWatch::EndDescriptor(int descriptor, Changes& changes) {
    auto d = descriptors_.find(descriptor);
    if (d == descriptors_.end()) return;
    for (int id : d->second) {
        AddOnce(changes.changed, id);
        AddOnce(changes.gone, id);
        watches_.erase(id);
    }
    descriptors_.erase(d);
    // Harmless after IN_IGNORED; after a move the folder is still there.
    inotify_rm_watch(inotify_, descriptor);
}

} // namespace ax
