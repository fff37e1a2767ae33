#pragma once
// Wave data: the RIFF "WAVE" layout of sound files and of the wave
// resources of a module, read into what an output device needs. Only
// uncompressed samples are taken (integer PCM of 8 to 32 bits, 32-bit
// float), in the plain and the extensible format chunk. The bytes come from
// files and modules the program does not control: every size is checked
// against what is there.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ax::wm {

struct WaveData {
    unsigned channels = 0;
    unsigned rate = 0;     // frames per second
    unsigned bits = 0;     // per sample: 8 (unsigned), 16, 24, 32 (signed), little-endian
    bool floating = false; // 32-bit float samples
    std::string samples;   // whole frames, channels interleaved, as stored

    size_t FrameBytes() const { return size_t(channels) * (bits / 8); }
    size_t Frames() const { return samples.size() / FrameBytes(); }
};

// nullopt when the bytes are not wave data this reads. A data chunk cut
// short (a truncated file) gives the whole frames that are there.
std::optional<WaveData> ParseWave(std::string_view bytes);

} // namespace ax::wm
