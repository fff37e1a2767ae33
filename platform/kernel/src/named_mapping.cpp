// Named mappings on shm_open: a new name is created exclusively with owner
// rights, an existing one is opened only when it is a regular file of ours
// (never blocking on another user's FIFO), and stale names of ended
// processes are swept. The named mutex is a robust mutex in such a mapping.
#include "platform/named_mapping.h"

#include "platform/robust_mutex.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

namespace ax {
namespace {

std::string ShmName(std::string_view name) {
    std::string s = "/";
    for (char c : name) s += c == '/' ? '_' : c;
    return s;
}

} // namespace

NamedMapping& NamedMapping::operator=(NamedMapping&& other) noexcept {
    if (this != &other) {
        Close();
        name_ = std::move(other.name_);
        data_ = other.data_;
        size_ = other.size_;
        owner_ = other.owner_;
        other.data_ = nullptr;
        other.size_ = 0;
        other.owner_ = false;
    }
    return *this;
}

NamedMapping NamedMapping::Create(std::string_view name, std::size_t size) {
    NamedMapping m;
    if (size == 0) return m;
    std::string shm = ShmName(name);
    int fd = ::shm_open(shm.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return m;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const int error = errno;
        ::close(fd);
        ::shm_unlink(shm.c_str());
        errno = error;
        return m;
    }
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    const int error = errno;
    ::close(fd);
    if (p == MAP_FAILED) {
        ::shm_unlink(shm.c_str());
        errno = error;
        return m;
    }
    m.name_ = std::string(name);
    m.data_ = p;
    m.size_ = size;
    m.owner_ = true;
    return m;
}

NamedMapping NamedMapping::Open(std::string_view name, bool writable) {
    NamedMapping m;
    std::string shm = ShmName(name);
    // Not blocking: a FIFO another user put under the name would hold the
    // open until someone writes to it.
    int fd = ::shm_open(shm.c_str(), (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) return m;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_size <= 0) {
        ::close(fd);
        return m;
    }
    std::size_t size = static_cast<std::size_t>(st.st_size);
    void* p = ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return m;
    m.name_ = std::string(name);
    m.data_ = p;
    m.size_ = size;
    return m;
}

bool NamedMapping::TakenByAnotherUser(std::string_view name) {
    struct stat st{};
    return ::lstat(("/dev/shm" + ShmName(name)).c_str(), &st) == 0 && st.st_uid != ::geteuid();
}

void NamedMapping::RemoveName() {
    if (!name_.empty()) ::shm_unlink(ShmName(name_).c_str());
    owner_ = false;
}

void NamedMapping::Close() {
    if (data_ != nullptr) ::munmap(data_, size_);
    if (owner_) RemoveName();
    data_ = nullptr;
    size_ = 0;
    owner_ = false;
}

namespace {

struct SharedMutexBlock {
    std::atomic<int> ready;
    pthread_mutex_t mutex;
};

} // namespace

NamedMutex::NamedMutex(std::string_view name) {
    mapping_ = NamedMapping::Create(name, sizeof(SharedMutexBlock));
    if (mapping_.Valid()) {
        auto* block = new (mapping_.Data()) SharedMutexBlock;
        InitRobustMutex(&block->mutex);
        block->ready.store(1, std::memory_order_release);
        return;
    }
    mapping_ = NamedMapping::Open(name);
    if (!mapping_.Valid() || mapping_.Size() < sizeof(SharedMutexBlock)) {
        mapping_.Close();
        return;
    }
    auto* block = static_cast<SharedMutexBlock*>(mapping_.Data());
    // The creator initialises the mutex right after making the object.
    for (int i = 0; i < 100000 && block->ready.load(std::memory_order_acquire) == 0; ++i)
        sched_yield();
    if (block->ready.load(std::memory_order_acquire) == 0) mapping_.Close();
}

bool NamedMutex::Lock(int timeoutMs) {
    if (!Valid()) return false;
    return LockRobustMutex(&static_cast<SharedMutexBlock*>(mapping_.Data())->mutex, timeoutMs);
}

void NamedMutex::Unlock() {
    if (Valid()) pthread_mutex_unlock(&static_cast<SharedMutexBlock*>(mapping_.Data())->mutex);
}

std::string DollarHex(std::uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    char buffer[17];
    int at = 16;
    buffer[at] = 0;
    do {
        buffer[--at] = digits[value & 15];
        value >>= 4;
    } while (value != 0);
    return std::string("$") + (buffer + at);
}

int SweepStaleMappings(std::string_view prefix) {
    DIR* dir = ::opendir("/dev/shm");
    if (dir == nullptr) return 0;
    int removed = 0;
    std::string lead = ShmName(prefix).substr(1) + "$";
    while (dirent* e = ::readdir(dir)) {
        std::string_view n = e->d_name;
        if (n.size() <= lead.size() || n.substr(0, lead.size()) != lead) continue;
        std::string_view hex = n.substr(lead.size());
        if (hex.size() > 8) continue;
        pid_t pid = 0;
        bool ok = true;
        for (char c : hex) {
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (d < 0) ok = false;
            pid = pid * 16 + d;
        }
        if (!ok || pid <= 0) continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
        std::string path = "/" + std::string(n);
        struct stat st{};
        std::string full = "/dev/shm/" + std::string(n);
        if (::stat(full.c_str(), &st) == 0 && st.st_uid == ::geteuid() &&
            ::shm_unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace ax
