// The process-wide thread list when another user made its shared-memory
// name for this process's id first.
#include "crash/vorThreadList.h"

#include "platform/named_mapping.h"

#include "fork_child.h"
#include "other_user.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace ax {
namespace {

using test::kNobody;

// The reporter must not stop the program: the list lives in the process's
// own memory, says so once, and leaves the other user's object alone.
TEST(ThreadList, ANameAnotherUserMadeLeavesTheListPrivate) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    const std::string name = "vorExceptThreadNameBuf" + DollarHex(static_cast<std::uint64_t>(::getpid()));
    ASSERT_EQ(test::AsNobody([&] {
                  const int fd = ::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
                  return fd >= 0 && ::ftruncate(fd, 4096) == 0 ? 0 : 1;
              }),
              0);

    testing::internal::CaptureStderr();
    ASSERT_TRUE(OpenThreadList());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vorExcept: " + name + " is another user's; thread names are not shared\n");
    EXPECT_EQ(MainThreadId(), ::getpid());
    RegisterThread(4242, "copier", 0x1000, ::getpid());
    const auto record = FindThreadRecord(4242);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->Name, "copier");
    EXPECT_EQ(record->CreatorId, ::getpid());
    EXPECT_TRUE(TakeWatchdogMutex(0));
    ReleaseWatchdogMutex();
    CloseThreadList();
    EXPECT_FALSE(ThreadListOpen());

    struct stat st{};
    ASSERT_EQ(::stat(("/dev/shm/" + name).c_str(), &st), 0) << "the other user's object was removed";
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_size, 4096);
    ::shm_unlink(("/" + name).c_str());
}

// Two opens and two closes in one module: the first close leaves the list
// in use, the second releases the shared area (its name is gone).
TEST(ThreadList, TheSecondCloseOfTwoOpensInOneModuleReleasesTheArea) {
    const std::string area = "/dev/shm/vorExceptThreadNameBuf" + DollarHex(static_cast<std::uint64_t>(::getpid()));
    struct stat st{};
    ASSERT_TRUE(OpenThreadList());
    ASSERT_TRUE(OpenThreadList());
    ASSERT_EQ(::stat(area.c_str(), &st), 0) << "no shared area " << area;

    CloseThreadList();
    EXPECT_TRUE(ThreadListOpen()) << "one open is left";
    RegisterThread(4343, "still listed", 0, ::getpid());
    ASSERT_TRUE(FindThreadRecord(4343).has_value());
    EXPECT_EQ(::stat(area.c_str(), &st), 0);

    CloseThreadList();
    EXPECT_FALSE(ThreadListOpen());
    EXPECT_NE(::stat(area.c_str(), &st), 0) << "the shared area was left behind";
}

// A full /dev/shm (its inodes spent by other programs) must not stop a
// backup at start: the list is kept private and the reason said once.
TEST(ThreadList, AFullSharedMemoryLeavesTheListPrivate) {
    const int status = test::RunInChild([] {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return 126;
        // One inode: the root's own, so no name can be made in it.
        if (::mount("tmpfs", "/dev/shm", "tmpfs", 0, "nr_inodes=1") != 0) return 126;
        const std::string name = "vorExceptThreadNameBuf" + DollarHex(static_cast<std::uint64_t>(::getpid()));
        testing::internal::CaptureStderr();
        if (!OpenThreadList()) return 1;
        const std::string said = testing::internal::GetCapturedStderr();
        if (said != "vorExcept: " + name + " cannot be made (No space left on device); thread names are not shared\n")
            return 2;
        if (MainThreadId() != ::getpid()) return 3;
        RegisterThread(4545, "reader", 0, ::getpid());
        const auto record = FindThreadRecord(4545);
        if (!record || record->Name != "reader") return 4;
        CloseThreadList();
        return ThreadListOpen() ? 5 : 0;
    });
    if (status == 126) GTEST_SKIP() << "needs root and a private mount namespace";
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace ax
