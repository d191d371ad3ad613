#include "common/run_log.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/launch.h"
#include "session/shared_state.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Points the program at a module (relative to the executable's folder) for one test.
class LangModuleTest : public testing::Test {
protected:
    void UseModule(const std::string& name)
    {
        Shared().Settings.LangModuleName = name;
        ForgetLangModule();
    }
    void TearDown() override
    {
        Shared().Settings = TSettings();
        ForgetLangModule();
    }
};

// A folder below the executable's folder, for modules that appear or break during a test.
class ModuleFolder {
public:
    ModuleFolder() : name_("lang-test-" + std::to_string(GetCurrentProcessId()))
    {
        CreateDirectoryA((BinFolder() + name_).c_str(), nullptr);
    }
    ~ModuleFolder()
    {
        for (const std::string& file : files_) {
            while (HMODULE loaded = GetModuleHandleA((BinFolder() + file).c_str())) FreeLibrary(loaded);
        }
        RemoveTree(BinFolder() + name_);
    }
    // The module's name as LangModuleName would give it.
    std::string Name(const std::string& file)
    {
        files_.push_back(name_ + "\\" + file);
        return files_.back();
    }

private:
    std::string name_;
    std::vector<std::string> files_;
};

}  // namespace

TEST_F(LangModuleTest, LoadsTheNamedModuleOnceAndKeepsUsingIt)
{
    UseModule("TestLang.dll");
    HMODULE module = LoadLangModule();
    ASSERT_TRUE(module);
    EXPECT_EQ(module, GetModuleHandleA((BinFolder() + "TestLang.dll").c_str()));
    EXPECT_EQ(LoadLangString(3042), "CAPTION");

    Shared().Settings.LangModuleName = "NoSuchModule.dll";  // not looked at again
    EXPECT_EQ(LoadLangModule(), module);
    EXPECT_EQ(LoadLangString(3041), "HINT");
}

TEST_F(LangModuleTest, MissingModuleGivesEmptyTextsAndIsTriedAgainOnTheNextUse)
{
    ModuleFolder folder;
    std::string name = folder.Name("Late.dll");
    UseModule(name);
    EXPECT_EQ(LoadLangModule(), nullptr);
    EXPECT_EQ(LoadLangString(3042), "");
    EXPECT_EQ(ShowLangDialog(2800, nullptr, nullptr, 0), -1);
    EXPECT_EQ(CreateLangDialog(2800, nullptr), nullptr);
    EXPECT_FALSE(RunShutdownChoice(nullptr, false));

    CopyOrFail(BinFolder() + "TestLang.dll", BinFolder() + name);
    EXPECT_EQ(LoadLangString(3042), "CAPTION");
}

TEST_F(LangModuleTest, BrokenModuleFailsQuietly)
{
    ModuleFolder folder;
    std::string name = folder.Name("Broken.dll");
    WriteBytes(BinFolder() + name, "MZ this is not a library");
    UseModule(name);
    EXPECT_EQ(LoadLangModule(), nullptr);
    EXPECT_EQ(LoadLangString(3041), "");
}

TEST_F(LangModuleTest, StringsAreCutAt1023CharactersAndMissingIdsAreEmpty)
{
    UseModule("TestLang.dll");
    std::string text = LoadLangString(3999);  // 1500 characters in the module
    ASSERT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.substr(0, 12), "012345678901");
    EXPECT_EQ(LoadLangString(3050), "");
}

TEST_F(LangModuleTest, ModelessDialogsComeFromTheModule)
{
    UseModule("TestLang.dll");
    HWND scan = CreateLangDialog(2800, nullptr);
    ASSERT_TRUE(scan);
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(scan, GWLP_HINSTANCE)), LoadLangModule());
    EXPECT_TRUE(IsWindowVisible(scan));
    EXPECT_TRUE(GetDlgItem(scan, 1));
    DestroyWindow(scan);

    // A template the module lacks is on record once, however often a pass asks for it.
    UseModule("TestLangNoTemplates.dll");
    CaseFolder folder;
    StartRunLog(folder.File("run.log"));
    EXPECT_FALSE(CreateLangDialog(2800, nullptr));
    EXPECT_FALSE(CreateLangDialog(2800, nullptr));
    StartRunLog(std::string());
    const std::vector<std::string> lines = ReadLines(folder.File("run.log"));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find(" dialog template=2800 action=unavailable error=") != std::string::npos;
                            }),
              1);
}

TEST(SetupLoader, IsPresentExactlyWhenTheMarkerFileExists)
{
    CaseFolder folder;
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("WinDir", saved, MAX_PATH);
    SetEnvironmentVariableA("WinDir", (folder.Path() + "win").c_str());
    ScopeExit restore([&] { SetEnvironmentVariableA("WinDir", saved); });

    EXPECT_FALSE(IsSetupLoaderPresent());
    WriteBytes(folder.File("win\\setupldr.bin"), "x");
    EXPECT_TRUE(IsSetupLoaderPresent());
    DeleteFileA((folder.Path() + "win\\setupldr.bin").c_str());
    CreateDirectoryA((folder.Path() + "win\\setupldr.bin").c_str(), nullptr);
    EXPECT_FALSE(IsSetupLoaderPresent()) << "a folder of that name is no marker";
}

namespace {

// Drives RunShutdownChoice through the real DLL boundary of the recording test module.
class ShutdownChoiceTest : public LangModuleTest {
protected:
    void SetUp() override
    {
        log_ = folder_.File("calls.log");
        SetEnvironmentVariableA("TARN_TESTLANG_LOG", log_.c_str());
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_TRUE(owner_);
        UseModule("TestLang.dll");
        DrainQueue();
    }
    void TearDown() override
    {
        DestroyWindow(owner_);
        SetEnvironmentVariableA("TARN_TESTLANG_LOG", nullptr);
        SetEnvironmentVariableA("TARN_TESTLANG_RESULT", nullptr);
        LangModuleTest::TearDown();
    }
    bool Choose(unsigned result, bool emulate, bool setupLoader = false)
    {
        DeleteFileA(log_.c_str());
        DrainQueue();
        SetEnvironmentVariableA("TARN_TESTLANG_RESULT", std::to_string(result).c_str());
        Shared().Settings.ShutdownEmulate = emulate;
        return RunShutdownChoice(owner_, setupLoader);
    }
    std::vector<std::string> Calls() { return ReadLines(log_); }
    bool QuitQueued()
    {
        MSG message;
        bool quit = false;
        // Dispatch as well: an undispatched WM_PAINT would stay in the queue for ever.
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
            } else {
                DispatchMessageA(&message);
            }
        }
        return quit;
    }
    void DrainQueue() { QuitQueued(); }

    CaseFolder folder_;
    std::string log_;
    HWND owner_ = nullptr;
};

using CallList = std::vector<std::string>;

}  // namespace

TEST_F(ShutdownChoiceTest, QuitQueuesAQuitMessageAndShutsNothingDown)
{
    EXPECT_TRUE(Choose(0, true, true));
    EXPECT_TRUE(QuitQueued());
    EXPECT_EQ(Calls(), CallList{"ShowShutdownDlg flag=1 owner_visible=1"});
    EXPECT_TRUE(IsWindowVisible(owner_));

    EXPECT_TRUE(Choose(0x100, false)) << "only the low 8 bits of the choice count";
    EXPECT_TRUE(QuitQueued());
    EXPECT_EQ(Calls(), CallList{"ShowShutdownDlg flag=0 owner_visible=1"});
}

TEST_F(ShutdownChoiceTest, ShutdownCodesPrepareOnlyWhenEmulatingThenHideTheOwnerAndShutDown)
{
    for (unsigned code = 1; code <= 6; ++code) {
        ShowWindow(owner_, SW_SHOW);
        EXPECT_TRUE(Choose(code, true));
        EXPECT_EQ(Calls(), (CallList{"ShowShutdownDlg flag=0 owner_visible=1", "InitShutdown owner_visible=1",
                                  "ShutdownSystem code=" + std::to_string(code) + " owner_visible=0"}));
        EXPECT_FALSE(QuitQueued());

        ShowWindow(owner_, SW_SHOW);
        EXPECT_TRUE(Choose(code, false));
        EXPECT_EQ(Calls(), (CallList{"ShowShutdownDlg flag=0 owner_visible=1",
                                  "ShutdownSystem code=" + std::to_string(code) + " owner_visible=0"}));
    }
}

TEST_F(ShutdownChoiceTest, CodesFromSevenOnAreCancelled)
{
    for (unsigned code : {7u, 8u, 255u, 0x107u}) {
        EXPECT_FALSE(Choose(code, true)) << code;
        EXPECT_EQ(Calls(), CallList{"ShowShutdownDlg flag=0 owner_visible=1"}) << code;
        EXPECT_TRUE(IsWindowVisible(owner_));
        EXPECT_FALSE(QuitQueued());
    }
}

TEST_F(ShutdownChoiceTest, AModuleWithoutAllEntryPointsOffersNoChoice)
{
    UseModule("TestLangPartial.dll");
    EXPECT_FALSE(Choose(1, true));
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(IsWindowVisible(owner_));
}
