#pragma once
// Counting what items hold: files, folders and their sizes, a folder's
// contents at every depth. The work is cut into steps of a bounded number
// of entries so that a window can count between its messages and show the
// figures as they grow.
//
// Symbolic links are counted as the small files they are and never
// followed; a folder that lies on another file system (a mount point) is
// counted but not entered; a folder that cannot be opened or read to its
// end is counted as unreadable and the count goes on.
#include <cstdint>
#include <dirent.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ax {

struct TFolderSize {
    int64_t Files = 0;
    int64_t Folders = 0;
    int64_t Bytes = 0;     // the files' sizes
    int64_t DiskBytes = 0; // the blocks the files take
    int64_t Unreadable = 0;
};

class TFolderSizeCounter {
public:
    TFolderSizeCounter() = default;
    ~TFolderSizeCounter();
    TFolderSizeCounter(const TFolderSizeCounter&) = delete;
    TFolderSizeCounter& operator=(const TFolderSizeCounter&) = delete;

    // A file counts at once; a folder's contents in the steps to come, and
    // the folder itself only with countSelf.
    void Add(const std::string& path, bool countSelf);
    // Reads at most maxEntries entries; true while work remains.
    bool Step(size_t maxEntries);
    bool Done() const { return !dir_ && pending_.empty(); }
    const TFolderSize& Totals() const { return totals_; }
    // Forgets the work not done; the totals stay.
    void Stop();

private:
    struct Pending {
        std::string path;
        dev_t device;
    };
    void CountEntry(const char* name);
    void OpenNext();
    void CloseDir();

    TFolderSize totals_;
    std::vector<Pending> pending_;
    DIR* dir_ = nullptr;
    Pending current_{};
};

} // namespace ax
