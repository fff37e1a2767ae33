// Counting folders in steps: one open folder at a time, the folders found
// in it waiting by path, each entry looked at without following links.
#include "shell/FolderSizeCounter.h"

#include "rtl/sysutils.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

} // namespace

TFolderSizeCounter::~TFolderSizeCounter() {
    CloseDir();
}

void TFolderSizeCounter::Add(const std::string& path, bool countSelf) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        // Gone, or not to be looked at: nothing to count of it.
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        ++totals_.Files;
        totals_.Bytes += st.st_size;
        totals_.DiskBytes += int64_t(st.st_blocks) * 512;
        return;
    }
    if (countSelf) ++totals_.Folders;
    pending_.push_back({path, st.st_dev});
}

void TFolderSizeCounter::CountEntry(const char* name) {
    struct stat st;
    // An entry gone since the folder was read is not counted.
    if (fstatat(dirfd(dir_), name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        ++totals_.Files;
        totals_.Bytes += st.st_size;
        totals_.DiskBytes += int64_t(st.st_blocks) * 512;
        return;
    }
    ++totals_.Folders;
    if (st.st_dev == current_.device)
        pending_.push_back({IncludeTrailingPathDelimiter(current_.path) + name, st.st_dev});
}

void TFolderSizeCounter::OpenNext() {
    current_ = std::move(pending_.back());
    pending_.pop_back();
    const int fd = open(current_.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    dir_ = fd >= 0 ? fdopendir(fd) : nullptr;
    if (dir_) return;
    if (fd >= 0) close(fd);
    ++totals_.Unreadable;
}

void TFolderSizeCounter::CloseDir() {
    if (dir_) closedir(dir_);
    dir_ = nullptr;
}

bool TFolderSizeCounter::Step(size_t maxEntries) {
    for (size_t done = 0; done < maxEntries && !Done(); ++done) {
        if (!dir_) {
            OpenNext();
            continue;
        }
        errno = 0;
        const dirent* e = readdir(dir_);
        if (!e) {
            if (errno != 0) ++totals_.Unreadable;
            CloseDir();
        } else if (!IsDotEntry(e->d_name)) {
            CountEntry(e->d_name);
        }
    }
    return !Done();
}

void TFolderSizeCounter::Stop() {
    CloseDir();
    pending_.clear();
}

} // namespace ax
