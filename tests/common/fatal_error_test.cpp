#include "common/registry.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

// An error that nothing catches ends the program through a task-modal box and exit code 1, also
// one thrown in a dialog procedure: it must not unwind through user32's frames, which the 32-bit
// build's unwinder cannot pass on Windows (Wine's frames it can, so here the box would show
// either way; what is checked is that the error gets out of the dialog whole).
TEST(FatalErrorBox, NamesTheErrorAndEndsWithExitCodeOne)
{
    for (const char* where : {"", " in=dialog"}) {
        SCOPED_TRACE(where);
        const std::string keyPath = "\\Software\\TarnTests\\FatalErrorBox";
        UniqueKey key = CreateRegKey(keyPath, KEY_ALL_ACCESS);
        ASSERT_TRUE(key);
        WriteRegDword(key.get(), "Wrong", 1);

        ChildProcess probe("\"" + BinFolder() + "probe.exe\" fatal-registry=" + keyPath + where);
        ASSERT_TRUE(probe.Started());

        HWND box = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (box = FindProcessWindow(probe.Id(), "Application Error")) != nullptr; },
                              std::chrono::seconds(20)));
        std::string text = DialogText(box);
        EXPECT_NE(text.find("Registry error: Invalid data type for 'Wrong'"), std::string::npos) << text;
        EXPECT_EQ(probe.WaitForExit(300), STILL_ACTIVE) << "the box waits for the operator";

        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(probe.WaitForExit(10000), 1u);

        key.reset();
        DeleteRegTree(keyPath);
    }
}
