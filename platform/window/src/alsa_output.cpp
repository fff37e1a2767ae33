#include "alsa_output.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <memory>

namespace ax::wm {

struct AlsaOutput::Api {
    decltype(&snd_pcm_open) open = nullptr;
    decltype(&snd_pcm_set_params) setParams = nullptr;
    decltype(&snd_pcm_writei) writei = nullptr;
    decltype(&snd_pcm_recover) recover = nullptr;
    decltype(&snd_pcm_drain) drain = nullptr;
    decltype(&snd_pcm_drop) drop = nullptr;
    decltype(&snd_pcm_close) close = nullptr;
    decltype(&snd_lib_error_set_handler) setErrorHandler = nullptr;
};

namespace {

// The library's complaints (no card, no such device) would land on the
// program's stderr; a sound that cannot be played is not worth a line.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

snd_pcm_format_t Format(const WaveData& wave) {
    if (wave.floating) return SND_PCM_FORMAT_FLOAT_LE;
    switch (wave.bits) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    default: return SND_PCM_FORMAT_S32_LE;
    }
}

template <class Fn> bool Bind(HMODULE library, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(GetProcAddress(library, name));
    return fn != nullptr;
}

} // namespace

AlsaOutput::AlsaOutput() = default;

// The library stays loaded to the process's end: it keeps its parsed
// configuration in globals of its own.
AlsaOutput::~AlsaOutput() = default;

bool AlsaOutput::Load() {
    if (tried_) return api_ != nullptr;
    tried_ = true;
    library_ = LoadLibrary("libasound.so.2");
    if (!library_) return false;
    auto api = std::make_unique<Api>();
    if (!Bind(library_, "snd_pcm_open", api->open) || !Bind(library_, "snd_pcm_set_params", api->setParams) ||
        !Bind(library_, "snd_pcm_writei", api->writei) || !Bind(library_, "snd_pcm_recover", api->recover) ||
        !Bind(library_, "snd_pcm_drain", api->drain) || !Bind(library_, "snd_pcm_drop", api->drop) ||
        !Bind(library_, "snd_pcm_close", api->close) ||
        !Bind(library_, "snd_lib_error_set_handler", api->setErrorHandler))
        return false;
    api->setErrorHandler(&Quiet);
    api_ = std::move(api);
    return true;
}

bool AlsaOutput::Play(const WaveData& wave, const std::function<bool()>& stop) {
    if (!Load() || wave.Frames() == 0) return false;
    snd_pcm_t* pcm = nullptr;
    if (api_->open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
    // Resampled and converted by the library where the device wants it;
    // a tenth of a second of latency.
    if (api_->setParams(pcm, Format(wave), SND_PCM_ACCESS_RW_INTERLEAVED, wave.channels, wave.rate, 1, 100000) <
        0) {
        api_->close(pcm);
        return false;
    }
    const size_t frameBytes = wave.FrameBytes();
    const size_t block = std::max<size_t>(1, wave.rate / 20);
    size_t done = 0;
    bool stopped = false;
    while (done < wave.Frames()) {
        if ((stopped = stop())) break;
        const size_t n = std::min(block, wave.Frames() - done);
        snd_pcm_sframes_t written = api_->writei(pcm, wave.samples.data() + done * frameBytes, n);
        if (written < 0) written = api_->recover(pcm, int(written), 1);
        if (written < 0) break;
        done += size_t(written);
    }
    if (stopped) api_->drop(pcm);
    else api_->drain(pcm);
    api_->close(pcm);
    return done == wave.Frames();
}

} // namespace ax::wm
