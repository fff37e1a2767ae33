#pragma once
// Unpacks the reporter's packed debug information: a container of
// uncompressed length (u32), an unused word, the CRC-32 of the data (u32)
// and a raw Deflate stream, integers little-endian.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ax {

// Table-driven CRC-32 (reflected 0xEDB88320). Start with 0xFFFFFFFF and
// complement the final value.
std::uint32_t UpdateCrc32(std::uint32_t crc, const void* buffer, std::size_t length);

// The uncompressed data, or empty when the container is 12 bytes or
// shorter, states a length the stream cannot produce, fails to decode or
// fails its CRC-32.
std::string Uncompress(std::string_view container);

// Where the general decoder reads from or writes to: a memory block or an
// open file descriptor (moved through a 1 MiB window).
struct ZipEndpoint {
    enum class Kind { Memory, File } kind = Kind::Memory;
    void* memory = nullptr; // for output: room for size bytes
    std::size_t size = 0;
    int fd = -1;

    static ZipEndpoint Memory(const void* data, std::size_t size) {
        return {Kind::Memory, const_cast<void*>(data), size, -1};
    }
    static ZipEndpoint File(int fd) { return {Kind::File, nullptr, 0, fd}; }
};

inline constexpr int zipDataError = -3;
inline constexpr int zipMemoryError = -4;

// Decodes a raw Deflate stream from source to target. Returns the number of
// bytes written, or zipDataError / zipMemoryError (what was written so far
// stays written). A short write to a file raises VorException
// "Stream write error.". The CRC-32 of the output goes to crc when given.
std::int64_t DecodeDeflate(std::uint32_t* crc, const ZipEndpoint& source,
                           const ZipEndpoint& target);

} // namespace ax
