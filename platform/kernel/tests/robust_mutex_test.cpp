// The robust shared mutex: a lock left held by a process that ended is taken
// over, and the mutex stays usable afterwards.
#include "platform/robust_mutex.h"

#include "fork_child.h"

#include <gtest/gtest.h>

#include <sys/mman.h>


namespace ax {
namespace {

// A mutex in memory the test process shares with its children.
class SharedMutex {
public:
    SharedMutex() {
        void* p = ::mmap(nullptr, sizeof(pthread_mutex_t), PROT_READ | PROT_WRITE,
                         MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        mutex_ = p == MAP_FAILED ? nullptr : static_cast<pthread_mutex_t*>(p);
        if (mutex_ != nullptr) InitRobustMutex(mutex_);
    }
    ~SharedMutex() {
        if (mutex_ != nullptr) ::munmap(mutex_, sizeof(pthread_mutex_t));
    }
    SharedMutex(const SharedMutex&) = delete;
    SharedMutex& operator=(const SharedMutex&) = delete;
    pthread_mutex_t* get() const { return mutex_; }

private:
    pthread_mutex_t* mutex_ = nullptr;
};

// A child that takes the mutex and ends without unlocking it.
int DieHolding(pthread_mutex_t* m) {
    return test::RunInChild([m] { return LockRobustMutex(m, 1000) ? 0 : 1; });
}

TEST(RobustMutex, ABoundedLockFailsWhileAnotherProcessHoldsIt) {
    SharedMutex m;
    ASSERT_NE(m.get(), nullptr);
    ASSERT_TRUE(LockRobustMutex(m.get(), -1));
    EXPECT_EQ(test::RunInChild([&] { return LockRobustMutex(m.get(), 50) ? 1 : 0; }), 0)
        << "the child's bounded wait took a mutex the parent holds";
    pthread_mutex_unlock(m.get());
    EXPECT_EQ(test::RunInChild([&] { return LockRobustMutex(m.get(), 50) ? 0 : 1; }), 0)
        << "a free mutex was refused";
}

// Both ways to wait: bounded and without limit.
TEST(RobustMutex, ADeadHoldersLockIsTakenOverAndStaysUsable) {
    for (int timeoutMs : {1000, -1}) {
        SharedMutex m;
        ASSERT_NE(m.get(), nullptr);
        ASSERT_EQ(DieHolding(m.get()), 0) << timeoutMs;
        ASSERT_TRUE(LockRobustMutex(m.get(), timeoutMs)) << "not taken over, wait " << timeoutMs;
        pthread_mutex_unlock(m.get());
        // Had the state not been made consistent, the unlock above would have
        // left the mutex unrecoverable.
        ASSERT_TRUE(LockRobustMutex(m.get(), timeoutMs)) << "unusable after, wait " << timeoutMs;
        EXPECT_EQ(pthread_mutex_unlock(m.get()), 0);
        EXPECT_EQ(pthread_mutex_trylock(m.get()), 0) << "not free again";
        pthread_mutex_unlock(m.get());
    }
}

} // namespace
} // namespace ax
