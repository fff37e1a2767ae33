#pragma once
// Robust mutexes shared between processes: the pthread mutexes that live in
// named mappings (NamedMutex, the crash reporter's thread list). A holder
// that dies without unlocking does not block the others: the next locker
// takes the mutex over and marks its state consistent, so the mutex stays
// usable. What the dead holder was changing may be half done; callers keep
// their shared data valid at every step.
#include <pthread.h>

namespace ax {

// Initialises *mutex (in memory shared with other processes) as a robust,
// process-shared mutex.
void InitRobustMutex(pthread_mutex_t* mutex);
// Waits at most timeoutMs (negative: without limit); true when held,
// including when taken over from a holder that died.
bool LockRobustMutex(pthread_mutex_t* mutex, int timeoutMs);

} // namespace ax
