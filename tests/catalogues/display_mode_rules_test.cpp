#include "catalogues/display_mode_rules.h"

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
