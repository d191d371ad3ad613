#include "catalogues/layout_rules.h"
#include "catalogues/layouts.h"
#include "common/registry.h"
#include "session/launch.h"
#include "session/shared_state.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

namespace {

const char kLayoutsKey[] = "\\System\\CurrentControlSet\\Control\\Keyboard Layouts";
const char kTestFile[] = "tarn_test_kbd.dll";

// The prefix has few or no layouts of its own: the tests add subkeys (and the layouts key when
// it is missing) and remove only what they added.
class LayoutCatalogueTest : public testing::Test {
protected:
    void SetUp() override
    {
        hadLayoutsKey_ = static_cast<bool>(OpenRegKey(kLayoutsKey, KEY_READ));
        WriteBytes(ExpandCommand("%windir%\\system32\\") + kTestFile, "MZ");
    }
    void TearDown() override
    {
        for (const std::string& name : added_) DeleteRegTree(std::string(kLayoutsKey) + "\\" + name);
        if (!hadLayoutsKey_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kLayoutsKey + 1);
        DeleteFileA((ExpandCommand("%windir%\\system32\\") + kTestFile).c_str());
    }
    // Adds a layout subkey unless the machine has one of that name already.
    UniqueKey AddLayout(const std::string& name, const char* file = kTestFile, const char* text = nullptr)
    {
        const std::string path = std::string(kLayoutsKey) + "\\" + name;
        if (OpenRegKey(path, KEY_READ)) return UniqueKey();
        UniqueKey layout = CreateRegKey(path, KEY_ALL_ACCESS);
        added_.push_back(name);
        if (file) WriteRegString(layout.get(), "Layout File", file);
        if (text) WriteRegString(layout.get(), "Layout Text", text);
        return layout;
    }
    int IndexOf(const std::string& id) const { return FindLayoutIndex(layouts_, id); }
    const TLayoutInfo& Layout(const std::string& id) const { return layouts_.At(IndexOf(id)); }

    TLayoutList layouts_;
    bool hadLayoutsKey_ = false;
    std::vector<std::string> added_;
};

TEST_F(LayoutCatalogueTest, LayoutsWhoseFileIsInTheSystemFolderAreListed)
{
    AddLayout("A000F409", kTestFile, "Tarn High");
    AddLayout("0000F401");
    AddLayout("0000F402", "tarn_missing_kbd.dll", "Tarn Missing");
    AddLayout("0000F403", "drivers", "Tarn Folder");
    WriteRegDword(AddLayout("0000F405", nullptr).get(), "Layout File", 1);
    RegSetValueExA(AddLayout("0000F406").get(), "Layout Text", 0, REG_BINARY, reinterpret_cast<const BYTE*>("Tarn"), 4);

    BuildLayoutList(layouts_);
    EXPECT_EQ(Layout("A000F409").Text, "Tarn High");
    EXPECT_EQ(Layout("A000F409").FileName, kTestFile);
    EXPECT_EQ(Layout("0000F401").Text + Layout("0000F406").Text, "");
    for (const char* unusable : {"0000F402", "0000F403", "0000F405"}) {
        EXPECT_EQ(IndexOf(unusable), -1) << unusable;
    }
    EXPECT_LT(IndexOf("0000F401"), IndexOf("0000F406"));
}

TEST_F(LayoutCatalogueTest, TheActiveLayoutIsFoundByItsExactName)
{
    char active[KL_NAMELENGTH] = {};
    ASSERT_TRUE(GetKeyboardLayoutNameA(active));
    AddLayout(active);
    AddLayout("0000f40a");
    AddLayout("A000F409");
    BuildLayoutList(layouts_);
    EXPECT_EQ(FindCurrentLayout(layouts_), IndexOf(active));
    EXPECT_NE(IndexOf(active), -1);
}

TEST_F(LayoutCatalogueTest, ApplyingWhereThePlatformRefusesChangesNothing)
{
    AddLayout("A000F409");
    AddLayout("Tarn Not Hex");
    BuildLayoutList(layouts_);
    const int count = static_cast<int>(layouts_.Count());
    // Wine switches neither the layout nor the default input language: the calls fail there and
    // must leave the program and the active layout as they were, also for a name that is no number.
    const int before = FindCurrentLayout(layouts_);
    ApplyLayout(layouts_, -1);
    ApplyLayout(layouts_, count);
    ApplyLayout(layouts_, IndexOf("A000F409"));
    ApplyLayout(layouts_, IndexOf("Tarn Not Hex"));
    EXPECT_EQ(FindCurrentLayout(layouts_), before);
}

}  // namespace
