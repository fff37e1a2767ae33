// The memory and file streams (a 64 KiB buffer each way, flock share
// locks), and the atomic save: a private temporary file beside the target,
// links resolved without following another user's planted link, protected
// files left alone, and the temporary file removed on any failure.
#include "rtl/streams.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rtl/exceptions.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"

namespace ax {

int64_t TStream::Size() {
    const int64_t here = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(here, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError(SWriteError);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
    int64_t left = count;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= n;
    }
    return count;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t available = std::max<int64_t>(0, Size() - position_);
    const int64_t n = std::clamp<int64_t>(count, 0, available);
    if (n > 0) std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t end = position_ + count;
    if (end > Size()) data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : Size();
    const int64_t target = base + offset;
    if (target < 0) throw EStreamError("Invalid stream position");
    position_ = target;
    return position_;
}

void TMemoryStream::SetSize(int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    data_.resize(static_cast<size_t>(size));
    position_ = std::min(position_, size);
}

void TMemoryStream::Clear() {
    data_.clear();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    const int64_t size = source.Size();
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    source.ReadBuffer(bytes.data(), size);
    data_ = std::move(bytes);
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& target) { target.WriteBuffer(data_.data(), Size()); }

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    SaveFileAtomically(fileName, [this](TStream& out) { SaveToStream(out); });
}

namespace {

std::string SystemError(int error) { return std::strerror(error); }

int ShareLock(uint16_t mode) {
    const uint16_t share = mode == fmCreate ? fmShareExclusive : (mode & 0xF0);
    const uint16_t access = mode == fmCreate ? fmOpenReadWrite : (mode & 0x03);
    switch (share) {
    case fmShareExclusive:
    case fmShareDenyRead:
        return LOCK_EX;
    case fmShareDenyWrite:
        return access == fmOpenRead ? LOCK_SH : LOCK_EX;
    case fmShareDenyNone:
        return 0;
    default:
        return access == fmOpenRead ? 0 : LOCK_EX;
    }
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
    const bool create = (mode & fmCreate) == fmCreate;
    int flags = O_CLOEXEC;
    if (create) flags |= O_RDWR | O_CREAT;
    else if ((mode & 3) == fmOpenWrite) flags |= O_WRONLY;
    else if ((mode & 3) == fmOpenReadWrite) flags |= O_RDWR;
    else flags |= O_RDONLY;
    fd_ = ::open(fileName.c_str(), flags, 0666);
    if (fd_ < 0) {
        const int err = errno;
        if (create)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, SystemError(err)));
        throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, SystemError(err)));
    }
    if (const int lock = ShareLock(mode); lock != 0 && ::flock(fd_, lock | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        const std::string reason =
            err == EWOULDBLOCK ? "The file is in use by another process" : SystemError(err);
        if (create) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, reason));
        throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, reason));
    }
    // Truncate only once we hold the lock, so a refused create destroys nothing.
    if (create && ::ftruncate(fd_, 0) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, SystemError(err)));
    }
    Start();
}

TFileStream::TFileStream(int fd, std::string fileName) : fd_(fd), fileName_(std::move(fileName)) {
    Start();
}

void TFileStream::Start() {
    const off_t here = ::lseek(fd_, 0, SEEK_CUR);
    kernelPosition_ = here < 0 ? 0 : here;
    const int flags = ::fcntl(fd_, F_GETFL);
    readOnly_ = flags >= 0 && (flags & O_ACCMODE) == O_RDONLY;
}

TFileStream::~TFileStream() {
    if (fd_ < 0) return;
    // Whoever needs to know that the data arrived calls Flush.
    try {
        FlushWrites();
    } catch (const EWriteError&) {
    }
    ::close(fd_);
}

void TFileStream::FlushWrites() {
    size_t done = 0;
    while (done < pending_) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, pending_ - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // What was not written is dropped: the failure is reported once.
            pending_ = 0;
            throw EWriteError(SWriteError);
        }
        done += size_t(n);
        kernelPosition_ += n;
    }
    pending_ = 0;
}

void TFileStream::DropReadAhead() {
    const size_t unread = windowEnd_ - windowStart_;
    windowStart_ = windowEnd_ = 0;
    if (unread == 0) return;
    // The kernel read further than the caller did: step back.
    const off_t r = ::lseek(fd_, -off_t(unread), SEEK_CUR);
    if (r < 0) throw EStreamError("Invalid stream position");
    kernelPosition_ = r;
}

int64_t TFileStream::RawRead(uint8_t* p, int64_t count) {
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
        kernelPosition_ += n;
    }
    return done;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    // The common case of a record read field by field: all in the window.
    if (size_t(count) <= windowEnd_ - windowStart_) {
        std::memcpy(buffer, buffer_.data() + windowStart_, size_t(count));
        windowStart_ += size_t(count);
        return count;
    }
    FlushWrites();
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        if (windowStart_ == windowEnd_) {
            // Large reads go straight to the caller's memory.
            if (count - done >= int64_t(kBufferSize)) return done + RawRead(p + done, count - done);
            buffer_.resize(kBufferSize);
            windowStart_ = 0;
            windowEnd_ = size_t(RawRead(buffer_.data(), int64_t(kBufferSize)));
            if (windowEnd_ == 0) break;
        }
        const size_t n = std::min(size_t(count - done), windowEnd_ - windowStart_);
        std::memcpy(p + done, buffer_.data() + windowStart_, n);
        windowStart_ += n;
        done += int64_t(n);
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    DropReadAhead();
    size_ = -1;
    const auto* p = static_cast<const uint8_t*>(buffer);
    try {
        if (pending_ + size_t(count) > kBufferSize) FlushWrites();
        if (count >= int64_t(kBufferSize)) {
            int64_t done = 0;
            while (done < count) {
                const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                done += n;
                kernelPosition_ += n;
            }
            return done;
        }
    } catch (const EWriteError&) {
        return 0;
    }
    buffer_.resize(kBufferSize);
    std::memcpy(buffer_.data() + pending_, p, size_t(count));
    pending_ += size_t(count);
    return count;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    // Where the caller is: the kernel's position less what was read ahead,
    // plus what waits to be written.
    const int64_t here = kernelPosition_ - int64_t(windowEnd_ - windowStart_) + int64_t(pending_);
    if (origin == soCurrent && offset == 0) return here;
    int64_t target;
    if (origin == soBeginning) {
        target = offset;
    } else if (origin == soCurrent) {
        target = here + offset;
    } else {
        target = Size() + offset;
    }
    if (target < 0) throw EStreamError("Invalid stream position");
    FlushWrites();
    // Within what was read ahead: no call needed.
    const int64_t windowBase = kernelPosition_ - int64_t(windowEnd_);
    if (windowEnd_ > 0 && target >= windowBase && target <= kernelPosition_) {
        windowStart_ = size_t(target - windowBase);
        return target;
    }
    windowStart_ = windowEnd_ = 0;
    const off_t r = ::lseek(fd_, target, SEEK_SET);
    if (r < 0) throw EStreamError("Invalid stream position");
    kernelPosition_ = r;
    return r;
}

int64_t TFileStream::Size() {
    // A stream opened for reading only keeps the size it first saw: a job is
    // read under its lock, and the checks ask for the size at every field.
    if (readOnly_ && size_ >= 0) return size_;
    FlushWrites();
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throw EStreamError("Invalid stream position");
    if (readOnly_) size_ = st.st_size;
    return st.st_size;
}

void TFileStream::SetSize(int64_t size) {
    FlushWrites();
    const int64_t here = Position();
    DropReadAhead();
    size_ = -1;
    if (::ftruncate(fd_, size) != 0) throw EWriteError(SWriteError);
    Seek(std::min(here, size), soBeginning);
}

void TFileStream::Flush() {
    FlushWrites();
    if (::fsync(fd_) != 0) throw EWriteError(SWriteError);
}

namespace {

// A link in a sticky folder anyone may write is followed only when it is
// the caller's or the folder's owner's, as the kernel's protected_symlinks
// rule has it: the save resolves links itself, so the kernel never checks.
bool PlantedLink(const std::string& link, const struct stat& st) {
    if (st.st_uid == ::geteuid()) return false;
    const std::string dir = ExtractFileDir(link);
    struct stat folder{};
    if (::stat(dir.empty() ? "." : dir.c_str(), &folder) != 0) return true;
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return shared && st.st_uid != folder.st_uid;
}

// The file a save lands in: a link is followed to its target (also when the
// target does not exist yet), so the link stays a link.
std::string SaveTarget(const std::string& fileName) {
    std::string target = fileName;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st{};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
        if (PlantedLink(target, st))
            throw ESaveError(fileName, (target == fileName ? std::string("it") : target) +
                                           " is a link another user made in a shared folder; not followed");
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return target;
        link.resize(static_cast<size_t>(n));
        if (link[0] == '/') {
            target = link;
        } else {
            const std::string dir = ExtractFileDir(target);
            target = (dir.empty() ? std::string() : IncludeTrailingPathDelimiter(dir)) + link;
        }
    }
    throw ESaveError(fileName, "it is reached through too many links (" + SystemError(ELOOP) + ")");
}

// Why the folder a save lands in refuses the temporary file.
std::string FolderProblem(const std::string& target, int error) {
    const std::string dir = ExtractFileDir(target);
    return "the folder " + (dir.empty() ? GetCurrentDir() : dir) + " cannot be written (" +
           SystemError(error) + ")";
}

// A file the user protected is not replaced: no write permission for the
// caller, or none for anyone (which root would otherwise pass).
bool WriteProtected(const std::string& target, const struct stat& st) {
    if ((st.st_mode & 0222) == 0) return true;
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

// A new file beside fileName under a name nobody else uses, readable by
// the caller only until its content is complete: another user who opened
// it meanwhile would keep the descriptor after the mode widened.
int CreateTemporaryBeside(const std::string& fileName, std::string& name) {
    const std::string dir = ExtractFileDir(fileName);
    const std::string stem = (dir.empty() ? std::string() : IncludeTrailingPathDelimiter(dir)) + "." +
                             ExtractFileName(fileName) + ".";
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem;
        for (int i = 0; i < 8; ++i) name += kDigits[random() % 36];
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// The permissions a new file gets from the umask. The umask is read, never
// set: setting it to learn it would race with other threads creating
// files. Without /proc the file stays the caller's alone.
mode_t UmaskMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return 0666 & ~static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 0600;
}

} // namespace

void SaveFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& writer,
                        int mode) {
    TAtomicSave save(fileName, mode);
    writer(save.Stream());
    save.Commit();
}

TAtomicSave::TAtomicSave(const std::string& fileName, int mode)
    : fileName_(fileName), target_(SaveTarget(fileName)) {
    struct stat st{};
    const bool replacing = ::stat(target_.c_str(), &st) == 0;
    if (replacing && WriteProtected(target_, st)) throw ESaveError(fileName, "the file is write-protected");
    // Set-id and sticky bits are not kept: a replaced file in a shared
    // folder may be another user's, and a data file never needs them.
    permissions_ = mode != kKeepMode ? static_cast<mode_t>(mode) : replacing ? st.st_mode & 0777 : UmaskMode();
    const int fd = CreateTemporaryBeside(target_, temporary_);
    if (fd < 0) throw ESaveError(fileName, FolderProblem(target_, errno));
    ScopeGuard removeTemporary([&] {
        ::close(fd);
        ::unlink(temporary_.c_str());
    });
    out_ = std::make_unique<TFileStream>(fd, temporary_);
    removeTemporary.Dismiss();
}

TAtomicSave::~TAtomicSave() {
    if (committed_) return;
    out_.reset();
    ::unlink(temporary_.c_str());
}

void TAtomicSave::Commit() {
    Assert(!committed_ && out_, "TAtomicSave: committed twice");
    out_->Flush();
    // The content is complete: now the file may get its final permissions.
    if (::fchmod(out_->Handle(), static_cast<mode_t>(permissions_)) != 0)
        throw ESaveError(fileName_, "its permissions cannot be kept (" + SystemError(errno) + ")");
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw ESaveError(fileName_, "it cannot be replaced (" + SystemError(errno) + ")");
    committed_ = true;
    out_.reset();
    // Make the rename itself durable.
    const std::string dir = ExtractFileDir(target_);
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace ax
