// The mount table and media watch, in private mount namespaces of forked
// children (root is needed; without it the tests say so and skip).
#include "platform/mount_watch.h"
#include "fork_child.h"
#include "loop_device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace ax {
namespace {

// Only a broken watch comes near this: a change is seen at once.
constexpr int kGuardMs = 20000;

// A private copy of the mount table for this process: what it mounts is
// seen by nobody else.
bool PrivateMounts() {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool Has(const std::vector<MountWatch::Mount>& mounts, const std::string& point, const char* type) {
    for (const auto& m : mounts)
        if (m.mountPoint == point && m.type == type) return true;
    return false;
}

std::string TempDir() {
    char name[] = "/tmp/ax-mountwatch-XXXXXX";
    return ::mkdtemp(name) ? name : "";
}

TEST(MountWatch, AMountAndAnUnmountAreSeenAndTheTableNamesThem) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    const std::string point = dir + "/with blank";
    ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
    const int status = test::RunInChild([&] {
        if (geteuid() != 0 || !PrivateMounts()) return 126;
        MountWatch watch;
        if (!watch.Valid()) return 1;
        if (Has(MountWatch::ReadMounts(), point, "tmpfs")) return 2;
        if (::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m") != 0) return 3;
        if (!watch.Wait(kGuardMs).mounts) return 4;
        if (!Has(MountWatch::ReadMounts(), point, "tmpfs")) return 5; // the blank unescaped
        if (::umount(point.c_str()) != 0) return 6;
        if (!watch.Wait(kGuardMs).mounts) return 7;
        if (Has(MountWatch::ReadMounts(), point, "tmpfs")) return 8;
        watch.Wake();
        const MountWatch::Changes woken = watch.Wait(kGuardMs);
        if (!woken.woken || woken.mounts) return 9;
        return 0;
    });
    rmdir(point.c_str());
    rmdir(dir.c_str());
    if (status == 126) GTEST_SKIP() << "no private mount namespace without root";
    EXPECT_EQ(status, 0) << "see the step numbers in the test";
}

TEST(MountWatch, TheTableIsReadWithItsDevicesAndLaterMountsHideEarlierOnes) {
    const std::string dir = TempDir();
    const std::string file = dir + "/mountinfo";
    std::ofstream(file) << "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                           "30 27 7:3 / /mnt/disc ro shared:5 - iso9660 /dev/loop3 ro\n"
                           "31 30 0:40 / /mnt/disc rw - tmpfs tmp\\040fs rw\n"
                           "broken line\n";
    const auto mounts = MountWatch::ReadMounts(file);
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].mountPoint, "/proc");
    EXPECT_EQ(mounts[1].mountPoint, "/mnt/disc");
    EXPECT_EQ(mounts[1].type, "tmpfs");
    EXPECT_EQ(mounts[1].source, "tmp fs");
    EXPECT_EQ(mounts[1].major, 0u);
    EXPECT_EQ(mounts[1].minor, 40u);
    unlink(file.c_str());
    rmdir(dir.c_str());
}

TEST(MountWatch, AMediumSwappedOrTakenOutIsSeenOnItsDevice) {
    if (geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    const std::string dir = TempDir();
    const std::string a = dir + "/a.img", b = dir + "/b.img";
    for (const std::string& f : {a, b}) {
        std::ofstream out(f);
        out << std::string(64 * 1024, f == a ? 'a' : 'b');
    }
    MountWatch watch;
    test::LoopDevice loop;
    if (!loop.Attach(a)) GTEST_SKIP() << "no free loop device here";
    auto waitFor = [&](unsigned major, unsigned minor) {
        for (int i = 0; i < 10; ++i) {
            const MountWatch::Changes c = watch.Wait(kGuardMs);
            for (const auto& d : c.media)
                if (d.first == major && d.second == minor) return true;
            if (c.Empty()) return false;
        }
        return false;
    };
    ASSERT_TRUE(waitFor(loop.Major(), loop.Minor())) << "attached";
    const MountWatch::Medium first = MountWatch::ReadMedium(loop.Major(), loop.Minor());
    EXPECT_TRUE(first.present);
    ASSERT_TRUE(loop.Swap(b));
    ASSERT_TRUE(waitFor(loop.Major(), loop.Minor())) << "swapped";
    const MountWatch::Medium second = MountWatch::ReadMedium(loop.Major(), loop.Minor());
    EXPECT_TRUE(second.present);
    EXPECT_NE(second.sequence, first.sequence) << "another medium";
    loop.Detach();
    ASSERT_TRUE(waitFor(loop.Major(), loop.Minor())) << "taken out";
    EXPECT_FALSE(MountWatch::ReadMedium(loop.Major(), loop.Minor()).present);
    unlink(a.c_str());
    unlink(b.c_str());
    rmdir(dir.c_str());
}

} // namespace
} // namespace ax
