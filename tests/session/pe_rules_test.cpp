#include "session/pe_rules.h"

#include <gtest/gtest.h>

TEST(DriverFolderRule, AbsolutePathsStayRelativeOnesStartAtTheProgramsFolder)
{
    const std::string program = "X:\\Tarn\\";
    EXPECT_EQ(ResolveDriverFolder("Drivers", program), "X:\\Tarn\\Drivers");
    EXPECT_EQ(ResolveDriverFolder(" ..\\Drivers ", program), "X:\\Tarn\\..\\Drivers");
    EXPECT_EQ(ResolveDriverFolder("D:\\Drivers", program), "D:\\Drivers");
    EXPECT_EQ(ResolveDriverFolder("\\Drivers", program), "\\Drivers");
    EXPECT_EQ(ResolveDriverFolder("\\\\server\\share\\inf", program), "\\\\server\\share\\inf");
    EXPECT_EQ(ResolveDriverFolder("", program), "");
    EXPECT_EQ(ResolveDriverFolder(" \t", program), "") << "a blank value names no folder";
}

TEST(DriverFolderRule, NameOrderIsFolderByFolderAndIgnoresCase)
{
    std::vector<std::string> paths = {"storage\\vmd\\iaStorVD.inf", "Chipset2\\a.inf", "b.inf", "Chipset\\x.inf",
                                      "A.inf", "chipset.b\\z.inf", "Storage\\RST.inf", "a.INF"};
    SortDriverPaths(paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"A.inf", "a.INF", "b.inf", "Chipset\\x.inf", "chipset.b\\z.inf",
                                               "Chipset2\\a.inf", "Storage\\RST.inf", "storage\\vmd\\iaStorVD.inf"}));
    EXPECT_TRUE(DriverPathLess("a", "a\\b"));
    EXPECT_FALSE(DriverPathLess("a\\b", "a"));
    EXPECT_FALSE(DriverPathLess("X\\y.inf", "x\\Y.INF"));
}
