#include "catalogues/display_mode_rules.h"
#include "catalogues/display_modes.h"
#include "common/resource_ids.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/shared_state.h"
#include "support/dialog_driver.h"
#include "support/test_display.h"

#include <gtest/gtest.h>

class DisplayModeCatalogueTest : public testing::Test {
protected:
    void TearDown() override
    {
        Shared() = SharedState();
        ForgetLangModule();
    }
    TDisplayModeList modes_;
};

// The suite's display is Xvfb at 1280x1024x24, whose driver offers 1280x1024 at 32, 16 and 8 bpp,
// all at 0 Hz: no mode qualifies, so the operator gets the fallback table with the mode in force
// selected. Another display would test something else, so it fails the test, saying so.
TEST_F(DisplayModeCatalogueTest, ADriverWithoutRefreshRatesGivesTheFallbackTableWithTheModeInForce)
{
    ASSERT_TRUE(IsTheTestDisplay());
    BuildDisplayModeList(modes_);
    const TDisplayModeList& list = modes_;
    std::vector<std::string> lines;
    for (size_t i = 0; i < list.Count(); ++i) lines.push_back(list.At(i).Text);
    EXPECT_EQ(lines, FallbackModeLines());
    int current = FindCurrentDisplayMode(modes_);
    ASSERT_GE(current, 0);
    EXPECT_EQ(list.At(current).Text, "1280 x 1024 x 32bpp x 0Hz");
}

TEST_F(DisplayModeCatalogueTest, RefusedModeWarnsWithoutOwnerAndChangesNothing)
{
    Shared().Settings.LangModuleName = "LangPack.dll";
    ForgetLangModule();
    modes_.Add(std::make_unique<TScrResInfo>(TScrResInfo{1234, 567, 16, 0, ""}));
    std::string before = DisplayInForceAndStored();

    HWND owner = reinterpret_cast<HWND>(-1);
    auto recordOwner = [&](HWND active) {
        if (MessageBoxText(active).empty()) return false;
        owner = GetWindow(active, GW_OWNER);
        return true;
    };
    DialogDriver driver({recordOwner, ExpectBox(LoadLangString(IDS_DISPLAY_TEST_FAILED))});
    ApplyDisplayModeAt(modes_, 0);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(driver.boxes, (std::vector<std::string>{LoadLangString(IDS_DISPLAY_TEST_CAPTION) + "|" +
                                                      LoadLangString(IDS_DISPLAY_TEST_FAILED) + "|warning"}));
    EXPECT_EQ(owner, nullptr);
    // -1 is what an empty selection gives; neither it nor a stale index may reach the list.
    EXPECT_NO_THROW(ApplyDisplayModeAt(modes_, -1));
    EXPECT_NO_THROW(ApplyDisplayModeAt(modes_, 1));

    EXPECT_EQ(DisplayInForceAndStored(), before);
}
