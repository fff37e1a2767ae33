#pragma once
// Named mappings and mutexes on POSIX shared memory. Names are the
// platform's names ("vorExceptRestart$1a2b"); the object lives in /dev/shm
// as "/" + name, readable and writable by the owner only. The creator
// removes the name when it closes the mapping, and a process that ends
// abruptly leaves names that SweepStaleMappings removes later: every name
// this system makes ends in "$" and the hexadecimal id of a process.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ax {

class NamedMapping {
public:
    NamedMapping() = default;
    ~NamedMapping() { Close(); }
    NamedMapping(NamedMapping&& other) noexcept { *this = std::move(other); }
    NamedMapping& operator=(NamedMapping&& other) noexcept;
    NamedMapping(const NamedMapping&) = delete;
    NamedMapping& operator=(const NamedMapping&) = delete;

    // Creates a new zero-filled mapping; fails when the name exists (errno
    // EEXIST) or the memory cannot be had (errno says why).
    static NamedMapping Create(std::string_view name, std::size_t size);
    // Opens an existing mapping whole; fails when there is none, and when
    // it is another user's.
    static NamedMapping Open(std::string_view name, bool writable = true);
    // True when the name is held by another user's object, which neither
    // Create nor Open will ever give.
    static bool TakenByAnotherUser(std::string_view name);

    bool Valid() const { return data_ != nullptr; }
    void* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    const std::string& Name() const { return name_; }
    bool Owner() const { return owner_; }
    // Removes the name now (the memory stays for whoever has it mapped).
    void RemoveName();
    // Leaves the name in place when the object closes (another process
    // opens and removes it).
    void KeepName() { owner_ = false; }
    void Close();

private:
    std::string name_;
    void* data_ = nullptr;
    std::size_t size_ = 0;
    bool owner_ = false;
};

// A mutex shared by name between the modules and processes of the owner.
// Robust: a holder that dies releases it to the next waiter.
class NamedMutex {
public:
    NamedMutex() = default;
    // Creates the mutex or opens the existing one of that name.
    explicit NamedMutex(std::string_view name);
    bool Valid() const { return mapping_.Valid(); }
    // Waits at most timeoutMs (negative: without limit); true when held.
    bool Lock(int timeoutMs = -1);
    void Unlock();
    bool Created() const { return mapping_.Owner(); }

private:
    NamedMapping mapping_;
};

// "$" and the id in lower-case hexadecimal without leading zeros.
std::string DollarHex(std::uint64_t value);
// Removes names "<prefix>$<hex pid>" of processes that no longer exist.
// Returns how many were removed.
int SweepStaleMappings(std::string_view prefix);

} // namespace ax
