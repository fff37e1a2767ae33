#pragma once
// Streams of bytes: the abstract TStream with checked reads and writes and
// little-endian values, the memory stream, the buffered file stream with
// advisory share locks, and SaveFileAtomically, the one way the system
// saves a file (a complete new file or the old one untouched).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ax {

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;
    // Transfers up to count bytes; returns how many moved.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    virtual int64_t Size();
    virtual void SetSize(int64_t size);
    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    int64_t Remaining() { return Size() - Position(); }

    // Raise EReadError / EWriteError when fewer bytes move than asked.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source (all of it from the start when 0).
    int64_t CopyFrom(TStream& source, int64_t count);

    // Little-endian fixed-width values, the form every stored format uses.
    template <typename T> T ReadValue() {
        T v{};
        ReadBuffer(&v, sizeof v);
        return v;
    }
    template <typename T> void WriteValue(T v) { WriteBuffer(&v, sizeof v); }
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t size) override;

    uint8_t* Memory() { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    void Clear();
    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& target);
    void LoadFromFile(const std::string& fileName);
    // Written atomically: a failure leaves the previous file as it was.
    void SaveToFile(const std::string& fileName);

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

// Open modes and share modes keep their classic values.
inline constexpr uint16_t fmCreate = 0xFF00;
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;

// A stream on a file. Share modes are advisory locks (flock) on the open
// file: an exclusive or deny-read open takes the lock exclusively, a
// deny-write open shares it with other deny-write readers, any open for
// writing takes it exclusively unless it denies nothing. Locks only bind
// programs that use them, which is all of ours.
//
// Reads and writes go through a buffer of 64 KiB, so a record read field by
// field costs no call per field; writes reach the file at Flush, at a Seek
// or SetSize, and when the stream is freed (only Flush reports a failure
// then). A stream opened for reading only keeps the size it first saw.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    // Adopts an open descriptor (closed with the stream).
    TFileStream(int fd, std::string fileName);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t size) override;
    // Writes what waits and flushes the file's data to the disk; raises
    // EWriteError on failure.
    void Flush();
    int Handle() const { return fd_; }
    const std::string& FileName() const { return fileName_; }

private:
    static constexpr size_t kBufferSize = 1 << 16;
    void Start();
    void FlushWrites();
    void DropReadAhead();
    int64_t RawRead(uint8_t* p, int64_t count);

    int fd_ = -1;
    std::string fileName_;
    bool readOnly_ = false;
    std::vector<uint8_t> buffer_; // read ahead, or waiting to be written
    size_t windowStart_ = 0;      // read ahead: buffer_[windowStart_, windowEnd_)
    size_t windowEnd_ = 0;
    size_t pending_ = 0;          // waiting to be written: buffer_[0, pending_)
    int64_t kernelPosition_ = 0;
    int64_t size_ = -1;
};

// The one way the system saves a file: writer fills a temporary file in the
// same folder, which is flushed and renamed over fileName. A file the user
// write-protected (not writable by the caller, or without any write
// permission, which binds root too) is not replaced. A link on the way is
// followed, except one another user made in a sticky folder anyone may
// write (unless that user owns the folder). The temporary file is the
// caller's alone until its content is complete; it then gets mode, or by
// default the replaced file's permissions (a new file: the umask's). When
// the writer or any step fails, the temporary file is removed, the previous
// file is untouched and the failure propagates: ESaveError saying why ("the
// file is write-protected", "the folder ... cannot be written (...)"),
// EWriteError or the writer's own.
inline constexpr int kKeepMode = -1;
void SaveFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& writer,
                        int mode = kKeepMode);

// SaveFileAtomically for a writer that returns between its pieces (a save
// in slices): made, it checks fileName and makes the temporary file,
// raising as SaveFileAtomically does; Commit gives it its permissions and
// renames it over fileName. Until then, and after a failed Commit, the
// previous file is untouched; destroyed uncommitted, the temporary file
// goes.
class TAtomicSave {
public:
    explicit TAtomicSave(const std::string& fileName, int mode = kKeepMode);
    ~TAtomicSave();
    TAtomicSave(const TAtomicSave&) = delete;
    TAtomicSave& operator=(const TAtomicSave&) = delete;

    // Where the content goes.
    TStream& Stream() { return *out_; }
    void Commit();

private:
    std::string fileName_;
    std::string target_;
    std::string temporary_;
    // What the file gets once complete.
    unsigned permissions_ = 0600;
    std::unique_ptr<TFileStream> out_;
    bool committed_ = false;
};

} // namespace ax
