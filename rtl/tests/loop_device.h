#pragma once
// A loop device for one test: a block device whose medium is a file, which
// can be given another file (a medium swapped) or none (taken out). Needs
// root; every call answers false where the machine has no loop devices.
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace ax::test {

class LoopDevice {
public:
    LoopDevice() = default;
    ~LoopDevice() { Detach(); }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    // Attaches file (read-only, so that it can be swapped later) to a free
    // device; other users of the machine may take the same one first.
    bool Attach(const std::string& file) {
        const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        if (control < 0) return false;
        for (int attempt = 0; attempt < 20 && fd_ < 0; ++attempt) {
            const int number = ::ioctl(control, LOOP_CTL_GET_FREE);
            if (number < 0) break;
            path_ = "/dev/loop" + std::to_string(number);
            const int device = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
            const int backing = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            loop_config config{};
            config.fd = static_cast<uint32_t>(backing);
            config.info.lo_flags = LO_FLAGS_READ_ONLY;
            if (device >= 0 && backing >= 0 && ::ioctl(device, LOOP_CONFIGURE, &config) == 0) fd_ = device;
            else if (device >= 0) ::close(device);
            if (backing >= 0) ::close(backing);
        }
        ::close(control);
        return fd_ >= 0;
    }
    // Another file of the same size in the running device.
    bool Swap(const std::string& file) {
        const int backing = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        const bool ok = backing >= 0 && fd_ >= 0 && ::ioctl(fd_, LOOP_CHANGE_FD, backing) == 0;
        if (backing >= 0) ::close(backing);
        return ok;
    }
    void Detach() {
        if (fd_ < 0) return;
        ::ioctl(fd_, LOOP_CLR_FD, 0);
        ::close(fd_);
        fd_ = -1;
    }
    const std::string& Path() const { return path_; }
    unsigned Major() const { return Stat().first; }
    unsigned Minor() const { return Stat().second; }

private:
    std::pair<unsigned, unsigned> Stat() const {
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0) return {0, 0};
        return {major(st.st_rdev), minor(st.st_rdev)};
    }
    int fd_ = -1;
    std::string path_;
};

} // namespace ax::test
