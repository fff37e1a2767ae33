#pragma once
// Test support: builds the packed-data container with zlib's raw Deflate,
// an encoder independent of the reader under test.
#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ax::testsupport {

inline std::string rawDeflate(std::string_view data, int level = 9) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int r = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (r != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

inline void putU32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Container: stated length, unused word, CRC-32 (zlib's), raw Deflate stream.
inline std::string zipContainer(std::string_view data) {
    std::string c;
    putU32(c, static_cast<std::uint32_t>(data.size()));
    putU32(c, 0);
    putU32(c, static_cast<std::uint32_t>(
                  crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()))));
    return c + rawDeflate(data);
}

} // namespace ax::testsupport
