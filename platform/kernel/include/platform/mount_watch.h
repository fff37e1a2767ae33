#pragma once
// Mounts and media: the mount table of this process's mount namespace
// (/proc/self/mountinfo, whose poll signals a change with POLLPRI) and the
// kernel's device events, which say when a block device's medium changed
// (a disc swapped, a loop device given another file, a card taken out).
//
// One thread waits; Wake may be called from any thread.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace ax {

class MountWatch {
public:
    MountWatch();
    ~MountWatch();
    MountWatch(const MountWatch&) = delete;
    MountWatch& operator=(const MountWatch&) = delete;

    // False when the mount table cannot be watched (then Wait only wakes).
    // Device events are a bonus: without them media changes go unseen.
    bool Valid() const { return mounts_ >= 0 && wake_ >= 0; }

    struct Mount {
        std::string mountPoint;
        std::string source; // the device or what stands for one
        std::string type;
        unsigned major = 0, minor = 0;
    };
    // The mount table now, in its order; a later mount on the same point
    // hides the earlier one.
    static std::vector<Mount> ReadMounts(const std::string& file = "/proc/self/mountinfo");

    // A block device's medium: whether one is in, and its sequence number,
    // which the kernel counts up at every change of medium (0: unknown).
    struct Medium {
        bool present = false;
        uint64_t sequence = 0;
        bool operator==(const Medium&) const = default;
    };
    static Medium ReadMedium(unsigned major, unsigned minor);

    struct Changes {
        bool woken = false;
        bool mounts = false; // the table changed: read it again
        // Block devices (major, minor) whose medium may have changed.
        std::vector<std::pair<unsigned, unsigned>> media;
        bool Empty() const { return !woken && !mounts && media.empty(); }
    };
    // Blocks until something changed or Wake; timeoutMs < 0 waits without
    // end, else an empty result comes back after that many milliseconds of
    // the system's time (a guard for tests).
    Changes Wait(int timeoutMs = -1);
    void Wake();

private:
    void ReadDeviceEvents(Changes& changes);
    int mounts_ = -1;
    int events_ = -1;
    int wake_ = -1;
};

} // namespace ax
