#pragma once
// The desktop's sound theme, through libcanberra bound at run time: an
// event of the theme ("dialog-warning") or a sound file the theme's player
// decodes. One context for the process, made on first use.
#include "platform/library.h"

#include <string>

namespace ax::wm {

class ThemePlayer {
public:
    ThemePlayer() = default;
    ~ThemePlayer();
    ThemePlayer(const ThemePlayer&) = delete;
    ThemePlayer& operator=(const ThemePlayer&) = delete;

    // Plays one sound described by a property ("event.id" or
    // "media.filename"); false when there is no player or it refused.
    bool Play(const char* property, const std::string& value);

private:
    struct Context;
    using CreateFn = int (*)(Context**);
    using DestroyFn = int (*)(Context*);
    using PlayFn = int (*)(Context*, uint32_t, ...);
    bool Open();

    bool tried_ = false;
    HMODULE library_ = 0;
    Context* context_ = nullptr;
    DestroyFn destroy_ = nullptr;
    PlayFn play_ = nullptr;
};

} // namespace ax::wm
