// The headless display records sounds without playing them.
#include <gtest/gtest.h>

#include "platform/window/display.h"
#include "platform/window/sound.h"

namespace ax {
namespace {

TEST(Sound, RequestsAreRecordedInOrderAndTakenOnce) {
    SelectDisplay(DisplayKind::Headless);
    TakeSoundRequests();
    EXPECT_TRUE(MessageBeep(MB_ICONQUESTION));
    PlaySound("/tmp/some.wav", 0, SND_ASYNC);
    // No module is loaded there.
    EXPECT_FALSE(PlaySound("DING", 0x400000, SND_RESOURCE | SND_ASYNC));
    const std::vector<SoundRequest> r = TakeSoundRequests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].kind, SoundRequest::Beep);
    EXPECT_EQ(r[0].beepType, 0x20u);
    EXPECT_EQ(r[1].kind, SoundRequest::Play);
    EXPECT_EQ(r[1].sound, "/tmp/some.wav");
    EXPECT_EQ(r[1].flags, 1u);
    EXPECT_EQ(r[2].flags, 0x40005u);
    EXPECT_EQ(r[2].module, 0x400000u);
    EXPECT_TRUE(TakeSoundRequests().empty());
}

TEST(Sound, WaveResourcesAreFoundByNameWithoutBeingHeard) {
    SelectDisplay(DisplayKind::Headless);
    // The program carries the wave resource "CHIME"; names compare
    // without case. Nothing else is a wave resource of it.
    EXPECT_TRUE(PlaySound("Chime", 0, SND_RESOURCE | SND_ASYNC));
    EXPECT_TRUE(PlaySound("CHIME", 0, SND_RESOURCE));
    EXPECT_FALSE(PlaySound("GONG", 0, SND_RESOURCE | SND_ASYNC));
    EXPECT_FALSE(PlaySound("", 0, SND_RESOURCE | SND_ASYNC));
    EXPECT_EQ(TakeSoundRequests().size(), 4u);
}

TEST(Sound, TheRecordKeepsOnlyTheNewestRequests) {
    SelectDisplay(DisplayKind::Headless);
    TakeSoundRequests();
    for (UINT i = 0; i < 300; ++i) MessageBeep(i);
    const std::vector<SoundRequest> r = TakeSoundRequests();
    ASSERT_EQ(r.size(), 256u);
    EXPECT_EQ(r.front().beepType, 44u);
    EXPECT_EQ(r.back().beepType, 299u);
}

} // namespace
} // namespace ax
