#pragma once
// The process-wide list of thread names, kept in the named mapping
// "vorExceptThreadNameBuf$<pid>" that every module of the process carrying
// the reporter shares. Records are pushed at the head, so the oldest (the
// main thread's) is the last. The list's mutex is a robust process-shared
// mutex inside the mapping; readers that must not block long wait 50 ms.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ax {

struct TThreadRecord {
    pid_t ThreadId = 0;
    std::string Name;
    std::string SecondText; // shown after an unnamed thread's title
    std::uintptr_t StartAddress = 0;
    pid_t CreatorId = 0;
};

// Opens the mapping (creating it and registering the first thread of the
// process as "main thread" when it is new) and counts the reference.
// False when the mapping cannot be had.
bool OpenThreadList();
// Drops the reference; the last one removes the mapping.
void CloseThreadList();
bool ThreadListOpen();
// The first mutex of the mapping, taken for good by the freeze watchdog so
// that one watchdog runs per process; false when another holds it.
bool TakeWatchdogMutex(int timeoutMs);
void ReleaseWatchdogMutex();

// Registers or renames the thread (name "-" marks the reporter's own
// threads, which reports leave out).
void RegisterThread(pid_t id, const std::string& name, std::uintptr_t startAddress = 0,
                    pid_t creator = 0);
void UnregisterThread(pid_t id);
// Copies of the records; empty on a lock time-out (timeoutMs < 0: no limit).
std::vector<TThreadRecord> ThreadRecords(int timeoutMs = -1);
std::optional<TThreadRecord> FindThreadRecord(pid_t id, int timeoutMs = -1);
// The main thread: the thread of the list's last record.
pid_t MainThreadId();

} // namespace ax
