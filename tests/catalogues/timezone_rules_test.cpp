#include "catalogues/timezone_rules.h"

#include <gtest/gtest.h>

TEST(TziMapping, ShortTziFillsWhatItReachesAndLongNamesKeepNoHalfCharacter)
{
    TTimeZoneInformationEx shorter;  // six bytes: Bias and half of StandardBias
    MapTzi({0x2c, 0x01, 0, 0, 0xff, 0xff}, shorter);
    EXPECT_EQ(shorter.Bias, 300);
    EXPECT_EQ(shorter.StandardBias, 0xffff);
    EXPECT_EQ(shorter.DaylightDate.Month, 0);

    const std::wstring fits(30, L'x');
    EXPECT_EQ(FitZoneName(fits + L"y"), fits + L"y");
    EXPECT_EQ(FitZoneName(fits + L"\xD83D\xDE00"), fits);
}
