// Sounds. The desktop's sound theme is reached through libcanberra, loaded
// when first needed so that the library stays optional; without it (or
// when it fails) the beep rings the display's bell.
#include "platform/window/sound.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <deque>
#include <mutex>

#include "driver.h"
#include "wm.h"

namespace ax {

namespace {

constexpr size_t kMaxRecords = 256;

struct CanberraContext;
using CreateFn = int (*)(CanberraContext**);
using DestroyFn = int (*)(CanberraContext*);
using PlayFn = int (*)(CanberraContext*, uint32_t, ...);

// The theme player: one context for the process, made on first use.
class ThemePlayer {
public:
    ~ThemePlayer() {
        if (context_) destroy_(context_);
        if (library_) dlclose(library_);
    }
    // Plays one sound described by a property ("event.id" or
    // "media.filename"); false when there is no player or it refused.
    bool Play(const char* property, const std::string& value) {
        if (!Open()) return false;
        return play_(context_, 0, property, value.c_str(), "event.description", "ArdentixXP",
                     static_cast<const char*>(nullptr)) == 0;
    }

private:
    bool Open() {
        if (tried_) return context_ != nullptr;
        tried_ = true;
        library_ = dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library_) return false;
        auto create = reinterpret_cast<CreateFn>(dlsym(library_, "ca_context_create"));
        destroy_ = reinterpret_cast<DestroyFn>(dlsym(library_, "ca_context_destroy"));
        play_ = reinterpret_cast<PlayFn>(dlsym(library_, "ca_context_play"));
        if (!create || !destroy_ || !play_ || create(&context_) != 0) context_ = nullptr;
        return context_ != nullptr;
    }
    bool tried_ = false;
    void* library_ = nullptr;
    CanberraContext* context_ = nullptr;
    DestroyFn destroy_ = nullptr;
    PlayFn play_ = nullptr;
};

struct SoundState {
    std::mutex mutex;
    std::deque<SoundRequest> records;
    ThemePlayer player;
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

bool PlayTheme(const char* property, const std::string& value) {
    SoundState& s = State();
    std::lock_guard<std::mutex> g(s.mutex);
    return s.player.Play(property, value);
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

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

BOOL MessageBeep(UINT type) {
    SoundRequest r;
    r.kind = SoundRequest::Beep;
    r.beepType = type;
    Record(r);
    if (!Audible()) return TRUE;
    if (!PlayTheme("event.id", BeepEvent(type))) wm::Driver().Bell();
    return TRUE;
}

BOOL PlaySound(std::string_view sound, uintptr_t module, DWORD flags) {
    SoundRequest r;
    r.kind = SoundRequest::Play;
    r.sound = std::string(sound);
    r.module = module;
    r.flags = flags;
    Record(r);
    if (sound.empty() || (flags & SND_RESOURCE) == SND_RESOURCE || (flags & SND_MEMORY)) return FALSE;
    if (!Audible()) return TRUE;
    const bool file = (flags & SND_FILENAME) || (!(flags & SND_ALIAS) && IsFile(r.sound));
    return PlayTheme(file ? "media.filename" : "event.id", r.sound) ? TRUE : FALSE;
}

std::vector<SoundRequest> TakeSoundRequests() {
    SoundState& s = State();
    std::lock_guard<std::mutex> g(s.mutex);
    std::vector<SoundRequest> out(s.records.begin(), s.records.end());
    s.records.clear();
    return out;
}

} // namespace ax
