#include "catalogues/display_mode_rules.h"
#include "catalogues/display_modes.h"
#include "common/resource_ids.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "shellctl/shared_state.h"
#include "support/dialog_driver.h"

#include <gtest/gtest.h>

class DisplayModeCatalogueTest : public testing::Test {
protected:
    void SetUp() override { Shared().DisplayModeList = std::make_unique<TDisplayModeList>(); }
    void TearDown() override
    {
        Shared() = SharedState();
        ForgetLangModule();
    }
    // The mode in force and the stored one, as "width x height x depth" each.
    static std::string InForceAndStored()
    {
        std::string modes;
        for (DWORD which : {ENUM_CURRENT_SETTINGS, ENUM_REGISTRY_SETTINGS}) {
            DEVMODEA mode{};
            mode.dmSize = sizeof mode;
            EnumDisplaySettingsA(nullptr, which, &mode);
            modes += std::to_string(mode.dmPelsWidth) + "x" + std::to_string(mode.dmPelsHeight) + "x" +
                     std::to_string(mode.dmBitsPerPel) + " ";
        }
        return modes;
    }
};

// What qualifies depends on the X server (the Xvfb here reports its one mode at 60 Hz, others
// report theirs at 0 Hz and get the fallback table), so the driver's own list is the reference.
TEST_F(DisplayModeCatalogueTest, DriverModesAreListedInDriverOrderAndTheModeInForceFound)
{
    std::vector<TDriverMode> driver;
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
        driver.push_back({mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel, mode.dmDisplayFrequency});
    }
    BuildDisplayModeList();
    const TDisplayModeList& list = *Shared().DisplayModeList;
    TDisplayModeList expected;
    FillDisplayModeList(expected, driver);
    ASSERT_EQ(list.Count(), expected.Count());
    for (size_t i = 0; i < list.Count(); ++i) EXPECT_EQ(list.At(i).Text, expected.At(i).Text) << i;

    int current = FindCurrentDisplayMode();
    ASSERT_GE(current, 0);
    EXPECT_EQ(list.At(current).Width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(list.At(current).Height, GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(DisplayModeCatalogueTest, RefusedModeWarnsWithoutOwnerAndChangesNothing)
{
    Shared().Settings.LangModuleName = "LangPack.dll";
    ForgetLangModule();
    Shared().DisplayModeList->Add(std::make_unique<TScrResInfo>(TScrResInfo{1234, 567, 16, 0, ""}));
    std::string before = InForceAndStored();

    HWND owner = reinterpret_cast<HWND>(-1);
    auto recordOwner = [&](HWND active) {
        if (MessageBoxText(active).empty()) return false;
        owner = GetWindow(active, GW_OWNER);
        return true;
    };
    DialogDriver driver({recordOwner, ExpectBox(LoadLangString(IDS_DISPLAY_TEST_FAILED))});
    ApplyDisplayModeAt(0);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(driver.boxes, (std::vector<std::string>{LoadLangString(IDS_DISPLAY_TEST_CAPTION) + "|" +
                                                      LoadLangString(IDS_DISPLAY_TEST_FAILED) + "|warning"}));
    EXPECT_EQ(owner, nullptr);
    // -1 is what an empty selection gives; neither it nor a stale index may reach the list.
    EXPECT_NO_THROW(ApplyDisplayModeAt(-1));
    EXPECT_NO_THROW(ApplyDisplayModeAt(1));

    EXPECT_EQ(InForceAndStored(), before);
}
