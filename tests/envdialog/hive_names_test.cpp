#include "envdialog/hive_names.h"

#include <gtest/gtest.h>

TEST(HiveNames, AcceptsTheListAndItsPiecesOnly)
{
    for (const char* name : {"SOFTWARE", "SAM", "SECURITY", "SYSTEM", "DEFAULT", "SOFT", "CURITY", "TEM", "E"}) {
        EXPECT_TRUE(IsHiveName(name)) << name;
    }
    for (const char* name : {"", "SOFTWARE2", "USERDIFF", "SYSTEMX", "SYSTEM.ALT", "SOFTWARE.LOG", "system"}) {
        EXPECT_FALSE(IsHiveName(name)) << name;
    }
}
