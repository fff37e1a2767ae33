#include "wave_data.h"

#include <cstdint>

namespace ax::wm {

namespace {

constexpr uint16_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;

uint32_t Le(std::string_view s, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint32_t(uint8_t(s[at + i])) << (8 * i);
    return v;
}

// The format chunk's fields into wave; false when they describe samples
// that are not taken.
bool ReadFormat(std::string_view fmt, WaveData& wave) {
    if (fmt.size() < 16) return false;
    uint16_t tag = uint16_t(Le(fmt, 0, 2));
    wave.channels = Le(fmt, 2, 2);
    wave.rate = Le(fmt, 4, 4);
    const uint32_t blockAlign = Le(fmt, 12, 2);
    wave.bits = Le(fmt, 14, 2);
    // The extensible chunk names the real format in its sub-format's
    // first two bytes.
    if (tag == kExtensible) {
        if (fmt.size() < 40) return false;
        tag = uint16_t(Le(fmt, 24, 2));
    }
    wave.floating = tag == kFloat;
    if (tag != kPcm && !(tag == kFloat && wave.bits == 32)) return false;
    if (wave.bits != 8 && wave.bits != 16 && wave.bits != 24 && wave.bits != 32) return false;
    if (wave.channels < 1 || wave.channels > 8) return false;
    if (wave.rate < 1000 || wave.rate > 384000) return false;
    return blockAlign == wave.FrameBytes();
}

} // namespace

std::optional<WaveData> ParseWave(std::string_view bytes) {
    if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") return std::nullopt;
    WaveData wave;
    bool haveFormat = false;
    std::optional<std::string_view> data;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string_view id = bytes.substr(at, 4);
        const size_t size = Le(bytes, at + 4, 4);
        const std::string_view body = bytes.substr(at + 8, size); // cut at the end of the bytes
        if (id == "fmt " && !haveFormat) {
            if (!ReadFormat(body, wave)) return std::nullopt;
            haveFormat = true;
        } else if (id == "data" && !data) {
            data = body;
        }
        if (body.size() < size) break;
        at += 8 + size + (size & 1); // chunks are padded to an even size
    }
    if (!haveFormat || !data) return std::nullopt;
    wave.samples.assign(data->substr(0, data->size() / wave.FrameBytes() * wave.FrameBytes()));
    return wave;
}

} // namespace ax::wm
