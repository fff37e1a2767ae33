// The shared thread-name list: opening or joining the process's mapping (a
// private block when another user holds the name or none can be made), registering and
// unregistering threads, and reading records under the list's robust mutex,
// within the caller's wait.
#include "crash/vorThreadList.h"

#include "platform/named_mapping.h"
#include "platform/robust_mutex.h"
#include "platform/thread_hooks.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

namespace ax {
namespace {

struct TNode {
    TThreadRecord Record;
    TNode* Next = nullptr;
};

// The mapping's layout: both mutexes, the list head and the reference count.
struct TSharedBlock {
    pthread_mutex_t WatchdogMutex;
    pthread_mutex_t ListMutex;
    TNode* Head;
    std::int32_t References;
    std::atomic<int> Ready;
};

std::mutex g_openLock; // guards g_mapping between opening and closing
NamedMapping g_mapping;
TSharedBlock* g_block = nullptr;
// This module's own opens: it stays attached until the last of them is
// closed, whose close then counts in the shared references too.
int g_moduleOpens = 0;
// The block kept in the process's own memory when another user holds the
// mapping's name: this module keeps its thread names, unshared.
alignas(TSharedBlock) unsigned char g_privateBlock[sizeof(TSharedBlock)];

std::string MappingName() {
    return "vorExceptThreadNameBuf" + DollarHex(static_cast<std::uint64_t>(::getpid()));
}

class TListLock {
public:
    explicit TListLock(int timeoutMs)
        : held_(g_block != nullptr && LockRobustMutex(&g_block->ListMutex, timeoutMs)) {}
    ~TListLock() {
        if (held_) pthread_mutex_unlock(&g_block->ListMutex);
    }
    explicit operator bool() const { return held_; }

private:
    bool held_;
};

// A new list in memory of its own, holding the first thread of the process.
void StartList(void* memory) {
    auto* block = new (memory) TSharedBlock;
    InitRobustMutex(&block->WatchdogMutex);
    InitRobustMutex(&block->ListMutex);
    block->Head = nullptr;
    block->References = 1;
    block->Ready.store(1);
    g_block = block;
    RegisterThread(::getpid(), "main thread");
}

bool AttachThreadList();

} // namespace

bool OpenThreadList() {
    std::lock_guard open(g_openLock);
    if (g_block != nullptr) {
        TListLock lock(-1);
        ++g_block->References;
        ++g_moduleOpens;
        return true;
    }
    const bool opened = AttachThreadList();
    if (opened) g_moduleOpens = 1;
    return opened;
}

namespace {

// The first open of this module: creates or opens the mapping.
bool AttachThreadList() {
    SweepStaleMappings("vorExceptThreadNameBuf");
    const std::string name = MappingName();
    g_mapping = NamedMapping::Create(name, sizeof(TSharedBlock));
    if (g_mapping.Valid()) {
        StartList(g_mapping.Data());
        return true;
    }
    const int error = errno;
    if (error != EEXIST) {
        // Shared memory full or missing: a backup must still run, its
        // thread names kept to itself.
        static std::once_flag told;
        std::call_once(told, [&] {
            const std::string text = "vorExcept: " + name + " cannot be made (" +
                                     std::strerror(error) + "); thread names are not shared\n";
            [[maybe_unused]] auto n = ::write(2, text.data(), text.size());
        });
        StartList(g_privateBlock);
        return true;
    }
    if (NamedMapping::TakenByAnotherUser(name)) {
        // Someone made the name for this process id in its way: the
        // program runs all the same, its thread names kept to itself.
        static std::once_flag told;
        std::call_once(told, [&] {
            const std::string text =
                "vorExcept: " + name + " is another user's; thread names are not shared\n";
            [[maybe_unused]] auto n = ::write(2, text.data(), text.size());
        });
        StartList(g_privateBlock);
        return true;
    }
    g_mapping = NamedMapping::Open(name);
    if (!g_mapping.Valid() || g_mapping.Size() < sizeof(TSharedBlock)) {
        g_mapping.Close();
        return false;
    }
    g_block = static_cast<TSharedBlock*>(g_mapping.Data());
    TListLock lock(-1);
    ++g_block->References;
    return true;
}

} // namespace

void CloseThreadList() {
    std::lock_guard open(g_openLock);
    if (g_block == nullptr) return;
    bool last;
    {
        TListLock lock(-1);
        last = --g_block->References <= 0;
        if (--g_moduleOpens > 0) return; // this module still holds it
        if (last) {
            for (TNode* n = g_block->Head; n != nullptr;) {
                TNode* next = n->Next;
                delete n;
                n = next;
            }
            g_block->Head = nullptr;
        }
    }
    g_block = nullptr;
    if (!last) g_mapping.KeepName();
    g_mapping.Close();
}

bool ThreadListOpen() {
    return g_block != nullptr;
}

bool TakeWatchdogMutex(int timeoutMs) {
    return g_block != nullptr && LockRobustMutex(&g_block->WatchdogMutex, timeoutMs);
}

void ReleaseWatchdogMutex() {
    if (g_block != nullptr) pthread_mutex_unlock(&g_block->WatchdogMutex);
}

void RegisterThread(pid_t id, const std::string& name, std::uintptr_t startAddress, pid_t creator) {
    TListLock lock(-1);
    if (!lock) return;
    for (TNode* n = g_block->Head; n != nullptr; n = n->Next)
        if (n->Record.ThreadId == id) {
            n->Record.Name = name;
            if (startAddress != 0) n->Record.StartAddress = startAddress;
            if (creator != 0) n->Record.CreatorId = creator;
            return;
        }
    auto* node = new TNode;
    node->Record = {id, name, {}, startAddress, creator};
    node->Next = g_block->Head;
    g_block->Head = node;
}

void UnregisterThread(pid_t id) {
    TListLock lock(-1);
    if (!lock) return;
    for (TNode** at = &g_block->Head; *at != nullptr; at = &(*at)->Next)
        if ((*at)->Record.ThreadId == id) {
            TNode* gone = *at;
            *at = gone->Next;
            delete gone;
            return;
        }
}

std::vector<TThreadRecord> ThreadRecords(int timeoutMs) {
    std::vector<TThreadRecord> out;
    TListLock lock(timeoutMs);
    if (!lock) return out;
    for (TNode* n = g_block->Head; n != nullptr; n = n->Next) out.push_back(n->Record);
    return out;
}

std::optional<TThreadRecord> FindThreadRecord(pid_t id, int timeoutMs) {
    TListLock lock(timeoutMs);
    if (!lock) return std::nullopt;
    for (TNode* n = g_block->Head; n != nullptr; n = n->Next)
        if (n->Record.ThreadId == id) return n->Record;
    return std::nullopt;
}

pid_t MainThreadId() {
    {
        TListLock lock(50);
        if (lock) {
            TNode* last = nullptr;
            for (TNode* n = g_block->Head; n != nullptr; n = n->Next) last = n;
            if (last != nullptr) return last->Record.ThreadId;
        }
    }
    return ::getpid();
}

} // namespace ax
