#include "theme_player.h"

namespace ax::wm {

ThemePlayer::~ThemePlayer() {
    if (context_) destroy_(context_);
    // The library stays loaded: its sound drivers keep some state to the
    // process's end, and code unloaded under it cannot be told apart later.
}

bool ThemePlayer::Play(const char* property, const std::string& value) {
    if (!Open()) return false;
    return play_(context_, 0, property, value.c_str(), "event.description", "ArdentixXP",
                 static_cast<const char*>(nullptr)) == 0;
}

bool ThemePlayer::Open() {
    if (tried_) return context_ != nullptr;
    tried_ = true;
    library_ = LoadLibrary("libcanberra.so.0");
    if (!library_) return false;
    auto create = reinterpret_cast<CreateFn>(GetProcAddress(library_, "ca_context_create"));
    destroy_ = reinterpret_cast<DestroyFn>(GetProcAddress(library_, "ca_context_destroy"));
    play_ = reinterpret_cast<PlayFn>(GetProcAddress(library_, "ca_context_play"));
    if (!create || !destroy_ || !play_ || create(&context_) != 0) context_ = nullptr;
    return context_ != nullptr;
}

} // namespace ax::wm
