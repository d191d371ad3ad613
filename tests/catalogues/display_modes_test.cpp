#include "catalogues/display_mode_rules.h"
#include "catalogues/display_modes.h"
#include "common/resource_ids.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "shellctl/shared_state.h"
#include "support/dialog_driver.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Texts(const TDisplayModeList& list)
{
    std::vector<std::string> texts;
    for (size_t i = 0; i < list.Count(); ++i) texts.push_back(list.At(static_cast<long long>(i)).Text);
    return texts;
}

TDisplayModeList Filled(const std::vector<TDriverMode>& driver)
{
    TDisplayModeList list;
    FillDisplayModeList(list, driver);
    return list;
}

}  // namespace

TEST(DisplayModeRules, DriverModesNeedSizeAndRefreshRateButNotDepth)
{
    TDisplayModeList list = Filled({{640, 480, 4, 60}, {600, 480, 32, 60}, {640, 400, 32, 60},
                                    {1024, 768, 32, 1},  // the driver's default rate
                                    {1024, 768, 32, 60}, {1024, 768, 32, 60}, {800, 600, 16, 7},
                                    {800, 600, 0x120, 8},           // only the depth's low byte is kept
                                    {0xFFFFFFFFu, 480, 8, 75}});  // compared unsigned, so it passes
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"640 x 480 x 4bpp x 60Hz", "1024 x 768 x 32bpp x 60Hz",
                                                     "1024 x 768 x 32bpp x 60Hz", "800 x 600 x 32bpp x 8Hz",
                                                     "-1 x 480 x 8bpp x 75Hz"}));
    EXPECT_EQ(FindDisplayModeIndex(list, {1024, 768, 32, 60}), 1) << "the first of two equal entries";
    EXPECT_EQ(FindDisplayModeIndex(list, {1024, 768, 32, 1}), -1) << "a default rate never matches a driver mode";
    EXPECT_EQ(FindDisplayModeIndex(list, {800, 600, 32 + 256, 8}), -1) << "the depth in force is not cut to a byte";
}

TEST(DisplayModeRules, WithoutQualifyingModesTheFallbackTableIsListedAndMatched)
{
    TDisplayModeList list = Filled({{1280, 1024, 32, 0}, {1280, 1024, 16, 1}});
    std::vector<std::string> texts = Texts(list);
    ASSERT_EQ(texts.size(), 16u);
    EXPECT_EQ(texts, Texts(Filled({})));
    EXPECT_EQ(texts[0], "640 x 480 x 8bpp x 0Hz");
    EXPECT_EQ(texts[4], "800 x 600 x 8bpp x 0Hz");
    EXPECT_EQ(texts[15], "1280 x 1024 x 32bpp x 0Hz");

    EXPECT_EQ(FindDisplayModeIndex(list, {1280, 1024, 32, 1}), 15);
    EXPECT_EQ(FindDisplayModeIndex(list, {1280, 1024, 32, 60}), -1);
    EXPECT_EQ(FindDisplayModeIndex(list, {1024, 0, 32, 0}), 5) << "a silent device counts as 800 x 600 x 16";
}

TEST(DisplayModeRules, FieldsLeaveZeroPartsToTheDriver)
{
    const uint32_t size = kFieldPelsWidth | kFieldPelsHeight;
    EXPECT_EQ(DisplayModeFields(640, 480, 8, 0), size | kFieldBitsPerPel);  // a fallback entry
    EXPECT_EQ(DisplayModeFields(1024, 768, 32, 60), size | kFieldBitsPerPel | kFieldDisplayFrequency);
    EXPECT_EQ(DisplayModeFields(-1024, 768, 16, 0), kFieldBitsPerPel) << "sizes compare signed";
    EXPECT_EQ(DisplayModeFields(1024, 0, 0, -1), kFieldDisplayFrequency);
}

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
    EXPECT_EQ(Texts(list), Texts(Filled(driver)));

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
