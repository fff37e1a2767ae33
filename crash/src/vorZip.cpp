// Inflates packed debug information: a raw Deflate decoder with CRC-32,
// refusing a stated length the stream could not hold and data whose CRC
// does not match.
#include "crash/vorZip.h"

#include "crash/vorTypes.h"

#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace ax {

namespace {

constexpr std::size_t windowSize = 0x100000;
// Deflate cannot expand by more than this factor (a 258-byte match costs at least a bit or two).
constexpr std::uint64_t maxDeflateRatio = 1032;

constexpr auto makeCrcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}
constexpr auto crcTable = makeCrcTable();

std::uint32_t u32At(std::string_view s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

struct InflateStream {
    z_stream z{};
    bool ready = false;
    InflateStream() { ready = inflateInit2(&z, -MAX_WBITS) == Z_OK; }
    ~InflateStream() {
        if (ready) inflateEnd(&z);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
};

} // namespace

std::uint32_t UpdateCrc32(std::uint32_t crc, const void* buffer, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    for (std::size_t i = 0; i < length; ++i) crc = crcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::int64_t DecodeDeflate(std::uint32_t* crc, const ZipEndpoint& source,
                           const ZipEndpoint& target) {
    InflateStream stream;
    if (!stream.ready) return zipMemoryError;
    std::vector<unsigned char> inWindow, outWindow;
    const bool fileIn = source.kind == ZipEndpoint::Kind::File;
    const bool fileOut = target.kind == ZipEndpoint::Kind::File;
    try {
        if (fileIn) inWindow.resize(windowSize);
        if (fileOut) outWindow.resize(windowSize);
    } catch (const std::bad_alloc&) {
        return zipMemoryError;
    }
    z_stream& z = stream.z;
    std::size_t sourceLeft = source.size;
    auto* sourceAt = static_cast<unsigned char*>(source.memory);
    std::size_t targetUsed = 0;
    std::uint32_t running = 0xFFFFFFFFu;
    std::int64_t written = 0;

    auto refill = [&]() -> bool {
        if (fileIn) {
            ssize_t n = ::read(source.fd, inWindow.data(), inWindow.size());
            if (n <= 0) return false;
            z.next_in = inWindow.data();
            z.avail_in = static_cast<uInt>(n);
        } else {
            if (sourceLeft == 0) return false;
            std::size_t n = std::min(sourceLeft, windowSize);
            z.next_in = sourceAt;
            z.avail_in = static_cast<uInt>(n);
            sourceAt += n;
            sourceLeft -= n;
        }
        return true;
    };
    // Hands out the next output window; false when a memory target is full.
    auto nextWindow = [&]() -> bool {
        if (fileOut) {
            z.next_out = outWindow.data();
            z.avail_out = static_cast<uInt>(outWindow.size());
            return true;
        }
        if (targetUsed >= target.size) return false;
        std::size_t n = std::min(target.size - targetUsed, windowSize);
        z.next_out = static_cast<unsigned char*>(target.memory) + targetUsed;
        z.avail_out = static_cast<uInt>(n);
        targetUsed += n;
        return true;
    };
    unsigned char* windowStart = nullptr;
    auto flush = [&]() {
        std::size_t produced = static_cast<std::size_t>(z.next_out - windowStart);
        running = UpdateCrc32(running, windowStart, produced);
        written += static_cast<std::int64_t>(produced);
        if (fileOut && produced != 0) {
            ssize_t n = ::write(target.fd, windowStart, produced);
            if (n < 0 || static_cast<std::size_t>(n) != produced)
                throw VorException("Stream write error.");
        }
    };

    int result = Z_OK;
    bool haveWindow = nextWindow();
    windowStart = z.next_out;
    while (haveWindow) {
        if (z.avail_in == 0 && !refill()) {
            result = Z_DATA_ERROR; // the stream ended before its last block
            break;
        }
        result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END || (result != Z_OK && result != Z_BUF_ERROR)) break;
        if (z.avail_out == 0) {
            flush();
            haveWindow = nextWindow();
            windowStart = z.next_out;
            if (!haveWindow) {
                // The target is full: the stream may still hold its end
                // marker, but any further byte is more than was stated.
                unsigned char spare = 0;
                z.next_out = &spare;
                z.avail_out = 1;
                do {
                    result = inflate(&z, Z_NO_FLUSH);
                } while (result == Z_OK && z.avail_out == 1 && (z.avail_in != 0 || refill()));
                if (z.avail_out == 0 || result != Z_STREAM_END) result = Z_DATA_ERROR;
                break;
            }
        }
    }
    if (haveWindow) flush();
    if (crc != nullptr) *crc = ~running;
    if (result == Z_STREAM_END) return written;
    return result == Z_MEM_ERROR ? zipMemoryError : zipDataError;
}

std::string Uncompress(std::string_view container) {
    if (container.size() <= 12) return {};
    std::uint64_t stated = u32At(container, 0);
    std::uint32_t storedCrc = u32At(container, 8);
    std::string_view stream = container.substr(12);
    if (stated > std::uint64_t{stream.size()} * maxDeflateRatio + 258) return {};
    std::string result(static_cast<std::size_t>(stated), '\0');
    std::uint32_t crc = 0;
    std::int64_t n = DecodeDeflate(&crc, ZipEndpoint::Memory(stream.data(), stream.size()),
                                   ZipEndpoint::Memory(result.data(), result.size()));
    if (n < 0) return {};
    result.resize(static_cast<std::size_t>(n));
    if (!result.empty() && crc != storedCrc) return {};
    return result;
}

} // namespace ax
