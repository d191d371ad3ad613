#include "common/unique.h"

#include <gtest/gtest.h>

namespace {

int g_closed = 0;
int g_lastClosed = 0;

struct FakeTraits {
    using Handle = int;
    static int Invalid() { return -1; }
    static void Close(int h)
    {
        ++g_closed;
        g_lastClosed = h;
    }
};
using FakeUnique = Unique<FakeTraits>;

class UniqueTest : public testing::Test {
protected:
    void SetUp() override { g_closed = g_lastClosed = 0; }
};

}  // namespace

TEST_F(UniqueTest, ClosesOnceAtScopeEndAndNeverTheInvalidValue)
{
    { FakeUnique empty; EXPECT_FALSE(empty); }
    { FakeUnique zero(0); EXPECT_TRUE(zero); }  // 0 is a valid handle for these traits
    EXPECT_EQ(g_closed, 1);
    EXPECT_EQ(g_lastClosed, 0);
}

TEST_F(UniqueTest, ReleaseGivesUpOwnershipAndResetClosesTheOldHandle)
{
    FakeUnique h(5);
    EXPECT_EQ(h.release(), 5);
    EXPECT_FALSE(h);
    h.reset(7);
    h.reset(8);
    EXPECT_EQ(g_closed, 1);
    EXPECT_EQ(g_lastClosed, 7);
    *h.put() = 9;  // put() closes 8 first
    EXPECT_EQ(g_closed, 2);
    EXPECT_EQ(h.get(), 9);
}

TEST_F(UniqueTest, MovesTransferOwnershipWithoutDoubleClose)
{
    {
        FakeUnique a(1);
        FakeUnique b(std::move(a));
        EXPECT_FALSE(a);
        FakeUnique c(2);
        c = std::move(b);  // closes 2, takes 1
        EXPECT_EQ(g_closed, 1);
        EXPECT_EQ(g_lastClosed, 2);
        FakeUnique& same = c;  // through a reference, as self-moves happen in real code
        c = std::move(same);
        EXPECT_EQ(c.get(), 1);
    }
    EXPECT_EQ(g_closed, 2);
    EXPECT_EQ(g_lastClosed, 1);
}

TEST(ScopeExit, RunsOnceUnlessDismissedAlsoOnException)
{
    int runs = 0;
    { ScopeExit guard([&] { ++runs; }); }
    EXPECT_EQ(runs, 1);
    {
        ScopeExit guard([&] { ++runs; });
        guard.Dismiss();
    }
    EXPECT_EQ(runs, 1);
    try {
        ScopeExit guard([&] { ++runs; });
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(runs, 2);
}
