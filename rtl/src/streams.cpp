#include "rtl/streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rtl/exceptions.h"
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
}

TFileStream::TFileStream(int fd, std::string fileName) : fd_(fd), fileName_(std::move(fileName)) {}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t r = ::lseek(fd_, offset, whence);
    if (r < 0) throw EStreamError("Invalid stream position");
    return r;
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(fd_, size) != 0) throw EWriteError(SWriteError);
    if (Position() > size) Seek(size, soBeginning);
}

void TFileStream::Flush() {
    if (::fsync(fd_) != 0) throw EWriteError(SWriteError);
}

void SaveFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& writer) {
    const std::string dir = ExtractFileDir(fileName);
    std::string pattern =
        (dir.empty() ? std::string() : IncludeTrailingPathDelimiter(dir)) + "." + ExtractFileName(fileName) + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, SystemError(errno)));
    }
    // Keep the permissions of the file being replaced; a new one gets the
    // usual mode under the process umask.
    struct stat st{};
    mode_t mode;
    if (::stat(fileName.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    try {
        TFileStream out(fd, pattern);
        writer(out);
        out.Flush();
    } catch (...) {
        ::unlink(pattern.c_str());
        throw;
    }
    if (::rename(pattern.c_str(), fileName.c_str()) != 0) {
        const int err = errno;
        ::unlink(pattern.c_str());
        throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, SystemError(err)));
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace ax
