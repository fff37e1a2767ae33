#include "platform/directory_watch.h"
#include "fork_child.h"
#include "watch_limit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace ax {
namespace {

// Only a broken watch comes near this: a change is seen at once.
constexpr int kGuardMs = 20000;
// Short enough to keep the suite quick, long enough for the kernel to have
// queued anything that was coming (events are queued before the syscall
// that causes them returns).
constexpr int kQuietMs = 50;

class DirectoryWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/axwatchXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_TRUE(watch.Valid());
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string Make(const std::string& name) {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    std::string dir;
    DirectoryWatch watch;
};

TEST_F(DirectoryWatchTest, CreateDeleteRenameAndAttributesFireTheFoldersWatch) {
    const int id = watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES);
    ASSERT_GT(id, 0);
    const std::string file = Make("a.txt");
    auto c = watch.Wait(kGuardMs);
    EXPECT_EQ(c.changed, std::vector<int>{id}) << "creation";
    ASSERT_EQ(rename(file.c_str(), (dir + "/b.txt").c_str()), 0);
    EXPECT_EQ(watch.Wait(kGuardMs).changed, std::vector<int>{id}) << "rename";
    ASSERT_EQ(chmod((dir + "/b.txt").c_str(), 0600), 0);
    EXPECT_EQ(watch.Wait(kGuardMs).changed, std::vector<int>{id}) << "attributes";
    ASSERT_EQ(unlink((dir + "/b.txt").c_str()), 0);
    EXPECT_EQ(watch.Wait(kGuardMs).changed, std::vector<int>{id}) << "deletion";
}

// A rename or a move between watched folders comes as one pair with both
// names; a move out to a folder nobody watches is only a change.
TEST_F(DirectoryWatchTest, MovesBetweenWatchedFoldersArePaired) {
    const std::string other = dir + "/other";
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    const int here = watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
    const int there = watch.Add(other, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_GT(here, 0);
    ASSERT_GT(there, 0);
    Make("a.txt");
    watch.Wait(kGuardMs);
    ASSERT_EQ(rename((dir + "/a.txt").c_str(), (dir + "/b.txt").c_str()), 0);
    auto c = watch.Wait(kGuardMs);
    ASSERT_EQ(c.moves.size(), 1u);
    EXPECT_EQ(c.moves[0].from, here);
    EXPECT_EQ(c.moves[0].fromName, "a.txt");
    EXPECT_EQ(c.moves[0].to, here);
    EXPECT_EQ(c.moves[0].toName, "b.txt");
    EXPECT_FALSE(c.moves[0].folder);

    ASSERT_EQ(rename((dir + "/b.txt").c_str(), (other + "/c.txt").c_str()), 0);
    c = watch.Wait(kGuardMs);
    ASSERT_EQ(c.moves.size(), 1u) << "into another watched folder";
    EXPECT_EQ(c.moves[0].from, here);
    EXPECT_EQ(c.moves[0].to, there);
    EXPECT_EQ(c.moves[0].toName, "c.txt");
    EXPECT_EQ(c.changed, (std::vector<int>{here, there}));

    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
    watch.Wait(kGuardMs);
    ASSERT_EQ(rename((dir + "/sub").c_str(), (dir + "/sub2").c_str()), 0);
    c = watch.Wait(kGuardMs);
    ASSERT_EQ(c.moves.size(), 1u);
    EXPECT_TRUE(c.moves[0].folder);

    // Out to where nobody watches: only the change of the folder it left.
    const std::string away = dir + "-away";
    ASSERT_EQ(rename((other + "/c.txt").c_str(), away.c_str()), 0);
    c = watch.Wait(kGuardMs);
    EXPECT_TRUE(c.moves.empty());
    EXPECT_EQ(c.changed, std::vector<int>{there});
    unlink(away.c_str());
}

TEST_F(DirectoryWatchTest, ManyChangesAreOneReportPerWatch) {
    const int id = watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME);
    for (int i = 0; i < 50; ++i)
        Make("f" + std::to_string(i));
    auto c = watch.Wait(kGuardMs);
    EXPECT_EQ(c.changed, std::vector<int>{id});
    EXPECT_TRUE(watch.Wait(kQuietMs).Empty()) << "everything waiting was read at once";
}

TEST_F(DirectoryWatchTest, FiltersTellFileNamesFromFolderNamesAndSkipWhatNobodyAsked) {
    const int files = watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME);
    const int folders = watch.Add(dir, FILE_NOTIFY_CHANGE_DIR_NAME);
    ASSERT_GT(files, 0);
    ASSERT_GT(folders, 0);
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
    EXPECT_EQ(watch.Wait(kGuardMs).changed, std::vector<int>{folders});
    Make("plain");
    EXPECT_EQ(watch.Wait(kGuardMs).changed, std::vector<int>{files});
    // Attributes: neither asked, so the wait does not end.
    ASSERT_EQ(chmod((dir + "/plain").c_str(), 0600), 0);
    EXPECT_TRUE(watch.Wait(kQuietMs).Empty());
}

TEST_F(DirectoryWatchTest, RemovingOneOfTwoWatchesOfAFolderKeepsTheOther) {
    const int a = watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME);
    const int b = watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE);
    watch.Remove(a);
    EXPECT_EQ(watch.Count(), 1);
    Make("x");
    EXPECT_EQ(watch.Wait(kGuardMs).changed, std::vector<int>{b});
    watch.Remove(b);
    Make("y");
    EXPECT_TRUE(watch.Wait(kQuietMs).Empty()) << "no watch left";
}

TEST_F(DirectoryWatchTest, WhatCannotBeWatchedGivesNoId) {
    EXPECT_EQ(watch.Add(dir + "/missing", FILE_NOTIFY_CHANGE_FILE_NAME), 0);
    EXPECT_EQ(watch.Add(Make("file"), FILE_NOTIFY_CHANGE_FILE_NAME), 0) << "no folder";
    EXPECT_EQ(watch.Add("", FILE_NOTIFY_CHANGE_FILE_NAME), 0);
    EXPECT_EQ(watch.Count(), 0);
}

TEST_F(DirectoryWatchTest, AWatchedFolderThatGoesIsReportedAndEnds) {
    const std::string sub = dir + "/sub";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    const int id = watch.Add(sub, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_EQ(rmdir(sub.c_str()), 0);
    auto c = watch.Wait(kGuardMs);
    EXPECT_EQ(c.changed, std::vector<int>{id});
    EXPECT_EQ(c.gone, std::vector<int>{id});
    EXPECT_EQ(watch.Count(), 0);
}

TEST_F(DirectoryWatchTest, WakeEndsAWaitFromAnotherThreadAndIsKeptUntilWaited) {
    watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME);
    watch.Wake();
    EXPECT_TRUE(watch.Wait(kGuardMs).woken) << "a wake before the wait is not lost";
    std::thread waker([&] { watch.Wake(); });
    auto c = watch.Wait(kGuardMs);
    waker.join();
    EXPECT_TRUE(c.woken);
    EXPECT_TRUE(c.changed.empty());
}

TEST_F(DirectoryWatchTest, AnOverflowingQueueIsReported) {
    int limit = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit > 200000) GTEST_SKIP() << "event queue limit too large to fill here: " << limit;
    const int id = watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_GT(id, 0);
    // Creation and deletion alternate, so the kernel merges none of them.
    const std::string path = dir + "/churn";
    for (int i = 0; i < limit / 2 + 100; ++i) {
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
        ASSERT_EQ(unlink(path.c_str()), 0);
    }
    auto c = watch.Wait(kGuardMs);
    EXPECT_TRUE(c.overflow);
    EXPECT_EQ(c.changed, std::vector<int>{id}) << "the events before the overflow still count";
}

TEST_F(DirectoryWatchTest, AnInjectedOverflowIsReportedWithoutAWake) {
    const int id = watch.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_GT(id, 0);
    watch.InjectOverflow();
    auto c = watch.Wait(kGuardMs);
    EXPECT_TRUE(c.overflow);
    EXPECT_FALSE(c.woken) << "a rebuild nobody asked for";
    watch.Wake();
    c = watch.Wait(kGuardMs);
    EXPECT_TRUE(c.woken);
    EXPECT_FALSE(c.overflow) << "the injected overflow is reported once";
}

TEST_F(DirectoryWatchTest, AMountIsReportedAndAFreshWatchFollowsTheMountedFolder) {
    const std::string point = dir + "/mnt";
    ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
    const int status = test::RunInChild([&] {
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return 126;
        DirectoryWatch w;
        if (w.Add(point, FILE_NOTIFY_CHANGE_FILE_NAME) == 0) return 1;
        if (mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m") != 0) return 2;
        DirectoryWatch::Changes c = w.Wait(kGuardMs);
        if (!c.mounts) return 3;
        w.RemoveAll();
        const int id = w.Add(point, FILE_NOTIFY_CHANGE_FILE_NAME);
        if (id == 0) return 4;
        std::ofstream(point + "/on-tmpfs") << "x";
        c = w.Wait(kGuardMs);
        if (c.changed != std::vector<int>{id}) return 5;
        return 0;
    });
    if (status == 126) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(status, 0) << "1 watch, 2 mount, 3 not reported, 4 watch again, 5 not followed";
}

TEST_F(DirectoryWatchTest, TheWatchLimitIsToldApartFromAMissingFolder) {
    const int status = test::RunInChild([&] {
        if (!test::LimitFolderWatches(3)) return 126;
        DirectoryWatch limited;
        for (int i = 0; i < 3; ++i) {
            const std::string sub = dir + "/f" + std::to_string(i);
            mkdir(sub.c_str(), 0755);
            if (limited.Add(sub, FILE_NOTIFY_CHANGE_FILE_NAME) == 0) return 1;
        }
        if (limited.Add(dir + "/missing", FILE_NOTIFY_CHANGE_FILE_NAME) != 0) return 2;
        if (limited.LastAddHitLimit()) return 3; // gone is not the limit
        if (limited.Add(dir, FILE_NOTIFY_CHANGE_FILE_NAME) != 0) return 4;
        if (!limited.LastAddHitLimit()) return 5;
        return 0;
    });
    if (status == 126) GTEST_SKIP() << "no user namespace of our own here";
    EXPECT_EQ(status, 0) << "1: under the limit refused; 2: a missing folder watched; "
                            "3: a missing folder taken for the limit; 4: over the limit "
                            "watched; 5: the limit not told";
}

} // namespace
} // namespace ax
