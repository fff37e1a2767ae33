// Robust process-shared mutexes: initialising them, and a bounded lock that
// takes a dead holder's mutex over.
#include "platform/robust_mutex.h"

#include <time.h>

#include <cerrno>

namespace ax {

void InitRobustMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

bool LockRobustMutex(pthread_mutex_t* mutex, int timeoutMs) {
    int rc;
    if (timeoutMs < 0) {
        rc = pthread_mutex_lock(mutex);
    } else {
        timespec until{};
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_sec += timeoutMs / 1000;
        until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            ++until.tv_sec;
            until.tv_nsec -= 1000000000L;
        }
        rc = pthread_mutex_timedlock(mutex, &until);
    }
    // Without this the mutex would be unusable for good after its unlock.
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(mutex);
        rc = 0;
    }
    return rc == 0;
}

} // namespace ax
