#include "platform/named_mapping.h"

#include "other_user.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

namespace ax {
namespace {

std::string UniqueName(const char* stem) {
    return std::string(stem) + DollarHex(static_cast<std::uint64_t>(::getpid()));
}

bool NameExists(const std::string& name) {
    struct stat st{};
    return ::stat(("/dev/shm/" + name).c_str(), &st) == 0;
}

TEST(NamedMapping, CreatorSharesByNameAndRemovesTheNameOnClose) {
    const std::string name = UniqueName("axTestMapping");
    {
        NamedMapping a = NamedMapping::Create(name, 88);
        ASSERT_TRUE(a.Valid());
        EXPECT_FALSE(NamedMapping::Create(name, 88).Valid()) << "a second creation must fail";
        struct stat st{};
        ASSERT_EQ(::stat(("/dev/shm/" + name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << "owner only";
        std::memcpy(a.Data(), "hello", 6);
        NamedMapping b = NamedMapping::Open(name);
        ASSERT_TRUE(b.Valid());
        EXPECT_EQ(b.Size(), 88u);
        EXPECT_STREQ(static_cast<const char*>(b.Data()), "hello");
        EXPECT_FALSE(b.Owner());
    }
    EXPECT_FALSE(NameExists(name));
    EXPECT_FALSE(NamedMapping::Open(name).Valid());
}

TEST(NamedMapping, KeptNameSurvivesForAnotherProcessWhichRemovesIt) {
    const std::string name = UniqueName("axTestHandOver");
    {
        NamedMapping a = NamedMapping::Create(name, 16);
        ASSERT_TRUE(a.Valid());
        static_cast<char*>(a.Data())[0] = 42;
        a.KeepName();
    }
    ASSERT_TRUE(NameExists(name));
    pid_t child = ::fork();
    if (child == 0) {
        NamedMapping m = NamedMapping::Open(name);
        int code = m.Valid() && static_cast<char*>(m.Data())[0] == 42 ? 0 : 1;
        m.RemoveName();
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(NameExists(name));
}

TEST(NamedMapping, SweepRemovesOnlyNamesOfEndedProcesses) {
    // A process that ended leaves its name behind.
    pid_t child = ::fork();
    if (child == 0) {
        NamedMapping m = NamedMapping::Create("axTestSweep" + DollarHex(::getpid()), 8);
        m.KeepName();
        ::_exit(m.Valid() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const std::string dead = "axTestSweep" + DollarHex(static_cast<std::uint64_t>(child));
    NamedMapping alive = NamedMapping::Create(UniqueName("axTestSweep"), 8);
    ASSERT_TRUE(NameExists(dead));
    EXPECT_GE(SweepStaleMappings("axTestSweep"), 1);
    EXPECT_FALSE(NameExists(dead));
    EXPECT_TRUE(NameExists(alive.Name()));
}

TEST(NamedMutex, ExcludesAnotherProcessAndSurvivesAHolderThatDies) {
    const std::string name = UniqueName("axTestMutex");
    NamedMutex mine(name);
    ASSERT_TRUE(mine.Valid());
    EXPECT_TRUE(mine.Created());
    ASSERT_TRUE(mine.Lock());
    pid_t child = ::fork();
    if (child == 0) {
        NamedMutex other(name);
        // Held by the parent: the bounded wait fails.
        if (!other.Valid() || other.Lock(50)) ::_exit(1);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    mine.Unlock();
    // A holder that dies without unlocking.
    child = ::fork();
    if (child == 0) {
        NamedMutex other(name);
        ::_exit(other.Lock(1000) ? 0 : 1);
    }
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(mine.Lock(5000)) << "the dead holder's lock is passed on";
    mine.Unlock();
}

using test::AsNobody;
using test::kNobody;

// Another user may make any name first, as a mapping or as a FIFO: it is
// neither opened (no waiting on the FIFO) nor removed, and can be told.
TEST(NamedMapping, AnotherUsersNameIsToldAndNeverOpened) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    const std::string mapping = UniqueName("axTestTheirs"), fifo = UniqueName("axTestTheirFifo");
    ASSERT_EQ(AsNobody([&] {
                  const int fd = ::shm_open(("/" + mapping).c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
                  const bool made = fd >= 0 && ::ftruncate(fd, 4096) == 0;
                  return made && ::mkfifo(("/dev/shm/" + fifo).c_str(), 0666) == 0 ? 0 : 1;
              }),
              0);
    for (const std::string& name : {mapping, fifo}) {
        EXPECT_TRUE(NamedMapping::TakenByAnotherUser(name)) << name;
        EXPECT_FALSE(NamedMapping::Create(name, 88).Valid()) << name;
        EXPECT_FALSE(NamedMapping::Open(name).Valid()) << name;
        EXPECT_FALSE(NamedMapping::Open(name, false).Valid()) << name;
        EXPECT_TRUE(NameExists(name)) << name;
        ::unlink(("/dev/shm/" + name).c_str());
    }
    // Names of one's own, or none, are no one else's.
    const std::string mine = UniqueName("axTestMine");
    EXPECT_FALSE(NamedMapping::TakenByAnotherUser(mine));
    NamedMapping own = NamedMapping::Create(mine, 88);
    ASSERT_TRUE(own.Valid());
    EXPECT_FALSE(NamedMapping::TakenByAnotherUser(mine));
}

TEST(DollarHex, LowerCaseWithoutLeadingZeros) {
    EXPECT_EQ(DollarHex(0), "$0");
    EXPECT_EQ(DollarHex(0x1a2b), "$1a2b");
    EXPECT_EQ(DollarHex(0xFFFFFFFF), "$ffffffff");
}

} // namespace
} // namespace ax
