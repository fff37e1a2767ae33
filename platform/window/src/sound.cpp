// Sounds. Theme sounds (beeps, aliases, sound files that are not wave
// data) go to the desktop's sound theme through libcanberra; wave data
// (wave files, wave resources of a module) to the sound device through
// ALSA. Both libraries are loaded when first needed, so that they stay
// optional, and both are driven from worker threads, so that no caller
// waits for a device that is slow or missing. Without the theme the beep
// rings the display's bell.
#include "platform/window/sound.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>

#include "alsa_output.h"
#include "driver.h"
#include "platform/resource.h"
#include "sound_worker.h"
#include "theme_player.h"
#include "wave_data.h"
#include "wm.h"

namespace ax {

namespace {

using wm::WaveData;

constexpr size_t kMaxRecords = 256;
// A sound file is read whole; longer files than this are not sounds of a
// message box.
constexpr std::streamoff kMaxSoundFile = 64 << 20;

struct SoundState {
    std::mutex mutex;
    std::deque<SoundRequest> records;
    wm::ThemePlayer theme;  // on themeWorker only
    wm::AlsaOutput device;  // on waveWorker only
    // Each wave played takes the next number; a wave stops when the number
    // moved on (a newer wave, or the end of the process).
    std::atomic<uint64_t> waveNumber{0};
    // Last: the workers end before what they use goes.
    wm::SoundWorker themeWorker;
    wm::SoundWorker waveWorker;
    ~SoundState() { ++waveNumber; }
};

SoundState& State() {
    static SoundState state;
    return state;
}

void Record(SoundRequest request) {
    SoundState& s = State();
    std::lock_guard<std::mutex> g(s.mutex);
    if (s.records.size() == kMaxRecords) s.records.pop_front();
    s.records.push_back(std::move(request));
}

bool Audible() { return ActiveDisplay() == DisplayKind::X11; }

// Runs the job on the worker; a synchronous caller waits for its answer.
BOOL Run(wm::SoundWorker& worker, bool async, std::function<bool()> job) {
    if (async) {
        worker.Post([job = std::move(job)] { job(); });
        return TRUE;
    }
    auto done = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = done->get_future();
    worker.Post([job = std::move(job), done] { done->set_value(job()); });
    return answer.get() ? TRUE : FALSE;
}

BOOL PlayTheme(const char* property, std::string value, bool async, bool bellOtherwise) {
    SoundState& s = State();
    return Run(s.themeWorker, async, [&s, property, value = std::move(value), bellOtherwise] {
        if (s.theme.Play(property, value)) return true;
        if (bellOtherwise) wm::Driver().Bell();
        return false;
    });
}

BOOL PlayWave(WaveData wave, bool async) {
    SoundState& s = State();
    const uint64_t number = ++s.waveNumber;
    return Run(s.waveWorker, async, [&s, number, wave = std::move(wave)] {
        if (s.waveNumber != number) return false; // a newer one came before it began
        return s.device.Play(wave, [&s, number] { return s.waveNumber != number; });
    });
}

// The theme's sound for a beep type (the icon kinds of message boxes).
const char* BeepEvent(UINT type) {
    switch (type) {
    case MB_ICONHAND: return "dialog-error";
    case MB_ICONQUESTION: return "dialog-question";
    case MB_ICONEXCLAMATION: return "dialog-warning";
    case MB_ICONASTERISK: return "dialog-information";
    default: return "bell";
    }
}

// The theme's event for a sound alias: the system's own names for the
// beeps, and any other name as the theme's event of that name.
std::string AliasEvent(std::string_view alias) {
    static const std::pair<const char*, UINT> kSystem[] = {
        {"systemasterisk", MB_ICONASTERISK}, {"systemexclamation", MB_ICONEXCLAMATION},
        {"systemhand", MB_ICONHAND},         {"systemquestion", MB_ICONQUESTION},
        {"systemdefault", MB_OK},            {".default", MB_OK},
    };
    std::string lower(alias);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const auto& [name, type] : kSystem)
        if (lower == name) return BeepEvent(type);
    return std::string(alias);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> ReadSoundFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxSoundFile) return std::nullopt;
    std::string bytes(size_t(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) return std::nullopt;
    return bytes;
}

BOOL PlayFile(const std::string& path, bool async) {
    if (std::optional<std::string> bytes = ReadSoundFile(path))
        if (std::optional<WaveData> wave = wm::ParseWave(*bytes)) return PlayWave(std::move(*wave), async);
    // Other kinds of sound file (Ogg Vorbis, ...) are the theme player's.
    return PlayTheme("media.filename", path, async, false);
}

} // namespace

// The display is asked first: the window manager's state is then made
// before the sound state, and ends after it.
BOOL MessageBeep(UINT type) {
    const bool audible = Audible();
    SoundRequest r;
    r.kind = SoundRequest::Beep;
    r.beepType = type;
    Record(r);
    if (audible) PlayTheme("event.id", BeepEvent(type), true, true);
    return TRUE;
}

BOOL PlaySound(std::string_view sound, uintptr_t module, DWORD flags) {
    const bool audible = Audible();
    SoundRequest r;
    r.kind = SoundRequest::Play;
    r.sound = std::string(sound);
    r.module = module;
    r.flags = flags;
    Record(r);
    // SND_RESOURCE holds the SND_MEMORY bit.
    const bool resource = (flags & SND_RESOURCE) == SND_RESOURCE;
    if (sound.empty() || (!resource && (flags & SND_MEMORY))) return FALSE;
    const bool async = flags & SND_ASYNC;
    if (resource) {
        std::optional<std::string> bytes = findResource(module, "WAVE", sound);
        std::optional<WaveData> wave = bytes ? wm::ParseWave(*bytes) : std::nullopt;
        if (!wave) {
            // What cannot be found rings the default sound, unless told not to.
            if (!(flags & SND_NODEFAULT) && audible) PlayTheme("event.id", BeepEvent(MB_OK), true, false);
            return FALSE;
        }
        return audible ? PlayWave(std::move(*wave), async) : TRUE;
    }
    if (!audible) return TRUE;
    if ((flags & SND_FILENAME) || (!(flags & SND_ALIAS) && IsFile(r.sound))) return PlayFile(r.sound, async);
    return PlayTheme("event.id", AliasEvent(sound), async, false);
}

std::vector<SoundRequest> TakeSoundRequests() {
    SoundState& s = State();
    std::lock_guard<std::mutex> g(s.mutex);
    std::vector<SoundRequest> out(s.records.begin(), s.records.end());
    s.records.clear();
    return out;
}

} // namespace ax
