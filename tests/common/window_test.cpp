#include "common/window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

// A plain top-level window of the given outer size, destroyed at the end of the test.
class TestWindow {
public:
    TestWindow(int width, int height)
    {
        window_ = CreateWindowExA(0, "STATIC", "test", WS_POPUP | WS_BORDER, 10, 20, width, height, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    }
    ~TestWindow() { DestroyWindow(window_); }
    HWND get() const { return window_; }

private:
    HWND window_;
};

}  // namespace

TEST(WindowHelpers, MeasureRectanglesAndWindows)
{
    EXPECT_EQ(RectWidth(RECT{10, 20, 35, 60}), 25);
    EXPECT_EQ(RectHeight(RECT{10, 20, 35, 60}), 40);
    EXPECT_EQ(RectWidth(RECT{10, 0, 5, 0}), -5);

    TestWindow window(300, 200);
    ASSERT_TRUE(window.get());
    EXPECT_EQ(WindowWidth(window.get()), 300);
    EXPECT_EQ(WindowHeight(window.get()), 200);
    EXPECT_EQ(ClientWidth(window.get()), 300 - 2 * GetSystemMetrics(SM_CXBORDER));
}

TEST(WindowHelpers, CentreOnScreenKeepsTheSizeAndTruncatesTowardZero)
{
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);

    TestWindow small(301, 201);
    CentreOnScreen(small.get());
    RECT rect{};
    GetWindowRect(small.get(), &rect);
    EXPECT_EQ(rect.left, (screenWidth - 301) / 2);
    EXPECT_EQ(rect.top, (screenHeight - 201) / 2);
    EXPECT_EQ(RectWidth(rect), 301);

    // Larger than the screen by an odd amount: the halving truncates toward zero, not down.
    TestWindow large(screenWidth + 101, screenHeight + 51);
    CentreOnScreen(large.get());
    GetWindowRect(large.get(), &rect);
    EXPECT_EQ(rect.left, -50);
    EXPECT_EQ(rect.top, -25);
    EXPECT_EQ(RectHeight(rect), screenHeight + 51);
}

TEST(WindowHelpers, MakeLongAndHiWordMaskToSixteenBits)
{
    EXPECT_EQ(MakeLong(0, 8), 0x00080000);
    EXPECT_EQ(MakeLong(-1, 0), 0x0000FFFF);
    EXPECT_EQ(static_cast<unsigned long>(MakeLong(0x12345, 0x1FFFF)), 0xFFFF2345ul);
    EXPECT_EQ(HiWord(0xFFFF2345ul), 0xFFFFu);
    EXPECT_EQ(HiWord(0x00080000ul), 8u);
}

TEST(WindowHelpers, EnsureCommonControlsRegistersTheClasses)
{
    EXPECT_TRUE(EnsureCommonControls(ICC_LISTVIEW_CLASSES | ICC_ANIMATE_CLASS));
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(list);
    DestroyWindow(list);
}
