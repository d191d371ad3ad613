#include "shellctl/chords.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::set<unsigned> g_down;
int g_queries = 0;
bool FakeIsDown(unsigned vk)
{
    ++g_queries;
    return g_down.count(vk) != 0;
}

}  // namespace

TEST(MatchChord, NeedsTheModifiersAndAKeyDownAndAsksAtMostFourTimes)
{
    g_down = {kVkControl, kVkMenu};
    EXPECT_EQ(MatchChord(kVkDelete, 0x11, FakeIsDown), HotKeyChord::CtrlAltDel);
    EXPECT_EQ(MatchChord(kVkDelete, 0x91, FakeIsDown), HotKeyChord::None) << "key-up";
    EXPECT_EQ(MatchChord(kVkEscape, 0, FakeIsDown), HotKeyChord::None);
    g_down = {kVkControl, kVkShift, kVkMenu};
    EXPECT_EQ(MatchChord(kVkDelete, 0, FakeIsDown), HotKeyChord::CtrlAltDel) << "extra modifiers";
    EXPECT_EQ(MatchChord(kVkEscape, 0, FakeIsDown), HotKeyChord::CtrlShiftEsc);
    g_down = {kVkShift, kVkMenu};
    EXPECT_EQ(MatchChord(kVkEscape, 0, FakeIsDown), HotKeyChord::None);

    g_down = {kVkControl, kVkShift, kVkMenu};
    for (unsigned vk = 0; vk < 256; ++vk) {
        g_queries = 0;
        MatchChord(vk, 0x80, FakeIsDown);
        EXPECT_LE(g_queries, 4) << vk;
    }
}
