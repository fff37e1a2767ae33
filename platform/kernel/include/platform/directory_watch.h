#pragma once
// Directory change watches: the kernel's change notifications for folders
// (FindFirstChangeNotification and friends) on one inotify descriptor.
//
// A watch covers one folder, not its subtree, and fires for the kinds of
// change its filter names (the FILE_NOTIFY_CHANGE_ flags keep their values).
// Several watches may name the same folder with different filters: the
// kernel gives one watch descriptor per folder, so the descriptor map holds
// every watch of a folder and each change is matched against each filter.
// When the kernel's event queue overflows, changes were lost: Wait says so
// and the caller treats every watched folder as changed.
//
// One thread adds, removes and waits; Wake may be called from any thread.
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ax {

enum : uint32_t {
    FILE_NOTIFY_CHANGE_FILE_NAME = 0x1,
    FILE_NOTIFY_CHANGE_DIR_NAME = 0x2,
    FILE_NOTIFY_CHANGE_ATTRIBUTES = 0x4,
    FILE_NOTIFY_CHANGE_SIZE = 0x8,
    FILE_NOTIFY_CHANGE_LAST_WRITE = 0x10,
    FILE_NOTIFY_CHANGE_LAST_ACCESS = 0x20,
    FILE_NOTIFY_CHANGE_CREATION = 0x40,
    FILE_NOTIFY_CHANGE_SECURITY = 0x100,
};

class DirectoryWatch {
public:
    DirectoryWatch();
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    // False when the descriptors could not be had (then nothing is watched).
    bool Valid() const { return inotify_ >= 0 && wake_ >= 0; }

    // Watches a folder for the changes of filter. Answers the watch's id
    // (1 and up), or 0 when the folder cannot be watched: gone, no folder,
    // no right to read it, or the user's limit of watches reached.
    int Add(const std::string& path, uint32_t filter);
    // Why the last Add answered 0 (an errno value: ENOSPC for the limit).
    int LastAddError() const { return lastAddError_; }
    // Whether that error is the kernel running out of watches for this
    // user (a folder that is there, but cannot be watched now).
    bool LastAddHitLimit() const;
    void Remove(int id);
    void RemoveAll();
    int Count() const { return static_cast<int>(watches_.size()); }

    // Makes the current or the next Wait return with woken set.
    void Wake();
    // Makes the current or the next Wait report an overflow, as if the
    // kernel had dropped events; for tests, from any thread.
    void InjectOverflow();

    struct Move {
        int from = 0; // the watch of the folder it left
        std::string fromName;
        int to = 0; // the watch of the folder it came to
        std::string toName;
        bool folder = false;
    };
    struct Changes {
        bool woken = false;
        // The kernel dropped events: any watched folder may have changed.
        bool overflow = false;
        // Something was mounted or unmounted: a watch follows the folder it
        // was set on, so a path now covered by a mount (or uncovered) names
        // another folder than the one watched.
        bool mounts = false;
        // Watches that saw a change of their filter, each once, in the
        // order of their first change.
        std::vector<int> changed;
        // Watches whose folder went away (deleted, moved, unmounted); they
        // are also in changed, and they end.
        std::vector<int> gone;
        // Items renamed or moved between watched folders (or within one),
        // as the kernel paired them; both watches are also in changed.
        // Moves in or out of unwatched folders are plain changes.
        std::vector<Move> moves;
        bool Empty() const { return !woken && !overflow && !mounts && changed.empty(); }
    };
    // Blocks until a change, an overflow or a wake, then takes every event
    // already waiting. timeoutMs < 0 waits without end; otherwise an empty
    // result comes back after that many milliseconds of the system's time
    // (a guard for callers that must not hang, such as tests).
    Changes Wait(int timeoutMs = -1);

private:
    struct Watch {
        int descriptor;
        uint32_t filter;
    };
    void ReadEvents(Changes& changes);
    void Signal(); // wakes the waiter
    int NameWatch(int descriptor, uint32_t mask);
    void EndDescriptor(int descriptor, Changes& changes);
    int inotify_ = -1;
    int wake_ = -1;
    int mounts_ = -1; // the mount table, for its POLLPRI
    int nextId_ = 1;
    int lastAddError_ = 0;
    std::atomic<bool> wakeAsked_{false};
    std::atomic<bool> overflowAsked_{false};
    std::map<int, Watch> watches_;                // id -> watch
    std::map<int, std::vector<int>> descriptors_; // descriptor -> ids, in order added
};

} // namespace ax
