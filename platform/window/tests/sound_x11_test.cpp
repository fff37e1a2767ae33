// Sounds heard on the X11 display. Theme sounds are checked by what the
// sound theme's library is handed (a stand-in for it records the event);
// wave data is played on an ALSA device of the test's own configuration
// that writes what it gets to a file, compared with the samples of the
// wave file the test carries (a resource of this program, and the file).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "bounded_wait.h"
#include "platform/library.h"
#include "platform/window/display.h"
#include "platform/window/sound.h"
#include "xvfb.h"

namespace ax {
namespace {

namespace fs = std::filesystem;

// The sound theme's library, as far as the sound layer calls it: every
// sound played is kept as its first property and value.
struct ThemeService {
    static inline std::mutex mutex;
    static inline std::vector<std::pair<std::string, std::string>> played;
    static inline int context = 0;

    static int Create(void** c) {
        *c = &context;
        return 0;
    }
    static int Destroy(void*) { return 0; }
    static int Play(void*, uint32_t id, ...) {
        va_list args;
        va_start(args, id);
        const char* property = va_arg(args, const char*);
        const char* value = property ? va_arg(args, const char*) : nullptr;
        va_end(args);
        std::lock_guard<std::mutex> g(mutex);
        played.emplace_back(property ? property : "", value ? value : "");
        return 0;
    }
    static std::vector<std::pair<std::string, std::string>> Take(size_t count) {
        test::WaitUntil([&] {
            std::lock_guard<std::mutex> g(mutex);
            return played.size() >= count;
        });
        std::lock_guard<std::mutex> g(mutex);
        auto out = std::move(played);
        played.clear();
        return out;
    }
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class SoundX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        work = fs::temp_directory_path() / ("ax-sound-" + std::to_string(getpid()));
        fs::create_directories(work);
        // The default device writes what it is given to a file.
        std::ofstream(work / "asound.conf") << "pcm.!default { type file; slave.pcm \"null\"; file \""
                                              << (work / "out.raw").string() << "\"; format \"raw\"; }\n";
        setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + (work / "asound.conf").string()).c_str(), 1);
        RegisterLibraryStandIn("libcanberra.so.0",
                               {{"ca_context_create", reinterpret_cast<void*>(&ThemeService::Create)},
                                {"ca_context_destroy", reinterpret_cast<void*>(&ThemeService::Destroy)},
                                {"ca_context_play", reinterpret_cast<void*>(&ThemeService::Play)}});
    }
    static void TearDownTestSuite() { fs::remove_all(work); }
    void SetUp() override {
        if (test::FindXvfb().empty()) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(server.Start(test::FindXvfb())) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
        fs::remove(work / "out.raw");
    }
    void TearDown() override { SelectDisplay(DisplayKind::Headless); }

    // The samples of the test's wave file: everything after its 44-byte
    // header (22050 frames a second, 2 channels of 16 bits, 4410 frames).
    static std::string Samples() {
        const std::string wave = ReadFile(AX_SOUND_TEST_WAVE);
        EXPECT_EQ(wave.size(), 44u + 4410u * 4u);
        return wave.substr(44);
    }
    // The device got the samples, followed by nothing but the silence that
    // fills its last period.
    static void ExpectPlayed(const std::string& out, const std::string& samples) {
        ASSERT_GE(out.size(), samples.size());
        EXPECT_TRUE(out.compare(0, samples.size(), samples) == 0) << "the device got other samples";
        EXPECT_EQ(out.find_first_not_of('\0', samples.size()), std::string::npos) << "more than silence after";
    }

    static inline fs::path work;
    test::Xvfb server;
};

TEST_F(SoundX11, BeepsAndAliasesAreTheThemesEvents) {
    ThemeService::Take(0);
    MessageBeep(MB_ICONHAND);
    MessageBeep(MB_ICONQUESTION);
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBeep(MB_ICONASTERISK);
    MessageBeep(0);
    MessageBeep(0xFFFF);
    EXPECT_TRUE(PlaySound("SystemQuestion", 0, SND_ALIAS | SND_ASYNC));
    EXPECT_TRUE(PlaySound(".DEFAULT", 0, SND_ALIAS | SND_ASYNC));
    // A name that is no file is the theme's event of that name; without
    // SND_ASYNC the call answers once the theme took it.
    EXPECT_TRUE(PlaySound("dialog-warning", 0, 0));
    const auto played = ThemeService::Take(9);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"event.id", "dialog-error"},   {"event.id", "dialog-question"},    {"event.id", "dialog-warning"},
        {"event.id", "dialog-information"}, {"event.id", "bell"},           {"event.id", "bell"},
        {"event.id", "dialog-question"}, {"event.id", "bell"},             {"event.id", "dialog-warning"}};
    EXPECT_EQ(played, expected);
}

TEST_F(SoundX11, SoundFilesThatAreNoWaveDataGoToTheTheme) {
    const fs::path oga = work / "chime.oga";
    std::ofstream(oga) << "OggS, not a wave";
    EXPECT_TRUE(PlaySound(oga.string(), 0, SND_ASYNC));
    const auto played = ThemeService::Take(1);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0].first, "media.filename");
    EXPECT_EQ(played[0].second, oga.string());
}

TEST_F(SoundX11, AMissingResourceRingsTheDefaultSoundUnlessTold) {
    ThemeService::Take(0);
    EXPECT_FALSE(PlaySound("NOSUCHSOUND", 0, SND_RESOURCE | SND_ASYNC | SND_NODEFAULT));
    EXPECT_FALSE(PlaySound("NOSUCHSOUND", 0, SND_RESOURCE | SND_ASYNC));
    const auto played = ThemeService::Take(1);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0].second, "bell");
}

TEST_F(SoundX11, AWaveResourceOfTheProgramIsPlayedOnTheDevice) {
    // Without SND_ASYNC the call returns once the device took it all.
    EXPECT_TRUE(PlaySound("chime", 0, SND_RESOURCE));
    ExpectPlayed(ReadFile(work / "out.raw"), Samples());
}

TEST_F(SoundX11, AWaveFileIsPlayedWhileTheCallerGoesOn) {
    const std::string samples = Samples();
    EXPECT_TRUE(PlaySound(AX_SOUND_TEST_WAVE, 0, SND_ASYNC | SND_FILENAME));
    std::string out;
    ASSERT_TRUE(test::WaitUntil([&] {
        out = ReadFile(work / "out.raw");
        return out.size() >= samples.size();
    })) << "the device got " << out.size() << " bytes";
    ExpectPlayed(out, samples);
}

} // namespace
} // namespace ax
