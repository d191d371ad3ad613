#include "shellctl/chords.h"
#include "shellctl/hotkeys.h"
#include "shellctl/launch.h"
#include "shellctl/shared_state.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace std::chrono;

namespace {

std::set<unsigned> g_down;
int g_queries = 0;
bool FakeIsDown(unsigned vk)
{
    ++g_queries;
    return g_down.count(vk) != 0;
}

}  // namespace

TEST(MatchChord, NeedsTheModifiersAKeyDownAndAsksForStateOnlyOnChordKeys)
{
    g_down = {kVkControl, kVkMenu};
    EXPECT_EQ(MatchChord(kVkDelete, 0x11, FakeIsDown), HotKeyChord::CtrlAltDel);
    EXPECT_EQ(MatchChord(kVkDelete, 0x91, FakeIsDown), HotKeyChord::None) << "key-up";
    EXPECT_EQ(MatchChord(kVkEscape, 0, FakeIsDown), HotKeyChord::None);
    g_down = {kVkControl, kVkShift, kVkMenu};
    EXPECT_EQ(MatchChord(kVkDelete, 0, FakeIsDown), HotKeyChord::CtrlAltDel) << "extra modifiers";
    EXPECT_EQ(MatchChord(kVkEscape, 0, FakeIsDown), HotKeyChord::CtrlShiftEsc);
    g_down = {kVkShift, kVkMenu};
    EXPECT_EQ(MatchChord(kVkEscape, 0, FakeIsDown), HotKeyChord::None);

    g_queries = 0;
    for (unsigned vk = 0; vk < 256; ++vk) {
        if (vk != kVkDelete && vk != kVkEscape) MatchChord(vk, 0, FakeIsDown);
    }
    EXPECT_EQ(g_queries, 0);
}

namespace {

// Real key events through SendInput, seen by the real low-level hook of this thread.
class HotKeyTest : public testing::Test {
protected:
    void SetUp() override
    {
        log_ = folder_.File("chords.log");
        SetEnvironmentVariableA("TARN_PROBE_LOG", log_.c_str());
        SetEnvironmentVariableA("TARN_TEST_BIN", BinFolder().c_str());
        // The whole setting is the file name: the probe finds its log through the environment.
        Shared().Settings.CADApplication = "%TARN_TEST_BIN%probe.exe";
        Shared().Settings.CSEApplication = folder_.File("cse.exe");
        CopyOrFail(BinFolder() + "probe.exe", Shared().Settings.CSEApplication);
        InstallHotKeys();
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("TARN_PROBE_LOG", nullptr);
        Shared() = SharedState();
    }
    static INPUT Key(WORD vk, bool up)
    {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
        input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (vk == VK_DELETE ? KEYEVENTF_EXTENDEDKEY : 0);
        return input;
    }
    // Presses the keys in order and releases them in reverse.
    static void Press(std::initializer_list<WORD> keys)
    {
        std::vector<INPUT> inputs;
        for (WORD vk : keys) inputs.push_back(Key(vk, false));
        for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) inputs.push_back(Key(*it, true));
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    std::vector<std::string> Programs(size_t expected)
    {
        WaitUntil([&] { return ReadProbeLog(log_).size() >= expected; }, seconds(10));
        Sleep(300);  // and nothing more follows
        std::vector<std::string> programs;
        for (const ProbeRun& run : ReadProbeLog(log_)) {
            programs.push_back(run["cmdline"].find("cse.exe") != std::string::npos ? "cse" : "cad");
        }
        return programs;
    }

    CaseFolder folder_;
    std::string log_;
};

using ProgramList = std::vector<std::string>;

}  // namespace

TEST_F(HotKeyTest, ChordsStartTheirProgramsOnEveryKeyDown)
{
    Press({VK_CONTROL, VK_MENU, VK_DELETE});
    Press({VK_RCONTROL, VK_RSHIFT, VK_ESCAPE});
    Press({VK_LCONTROL, VK_LMENU, VK_LSHIFT, VK_DELETE});
    ProgramList started = Programs(3);
    std::sort(started.begin(), started.end());  // the programs start side by side
    EXPECT_EQ(started, (ProgramList{"cad", "cad", "cse"}));

    // Auto-repeat: two key-downs of Del, then its key-up, which starts nothing.
    std::vector<INPUT> repeat = {Key(VK_CONTROL, false), Key(VK_MENU, false), Key(VK_DELETE, false),
                                 Key(VK_DELETE, false),  Key(VK_DELETE, true), Key(VK_MENU, true),
                                 Key(VK_CONTROL, true)};
    SendInput(static_cast<UINT>(repeat.size()), repeat.data(), sizeof(INPUT));
    EXPECT_EQ(Programs(5).size(), 5u);
    Press({VK_MENU, VK_DELETE});
    Press({VK_CONTROL, VK_ESCAPE});
    EXPECT_EQ(Programs(5).size(), 5u) << "incomplete chords start nothing";
}

TEST_F(HotKeyTest, KeyEventsStillReachTheFocusedWindow)
{
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 30, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(edit);
    SetFocus(edit);
    // Typed from elsewhere, as an operator's keyboard does, while this thread pumps messages.
    std::thread keyboard([] {
        Sleep(100);
        Press({'A'});
        Press({VK_CONTROL, VK_MENU, VK_DELETE});
    });
    PumpMessagesFor(600);
    keyboard.join();
    char text[16] = "";
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "a");
    EXPECT_EQ(Programs(1).size(), 1u);
    DestroyWindow(edit);
}

TEST_F(HotKeyTest, ChordWorksWhileAShellRunsAndStartsPromptly)
{
    DWORD injected = 0;
    std::thread operatorThread([&] {
        Sleep(400);
        injected = GetTickCount();
        Press({VK_CONTROL, VK_MENU, VK_DELETE});
    });
    // The hook runs on this thread while the shell wait pumps messages.
    RunShellAndWait("\"" + BinFolder() + "probe.exe\" sleep=1500");
    operatorThread.join();
    auto runs = ReadProbeLog(log_);
    ASSERT_FALSE(runs.empty());
    long latency = static_cast<long>(std::stoul(runs[0]["tick"]) - injected);
    std::printf("Ctrl+Alt+Del to program start while a shell runs: %ld ms\n", latency);
    RecordProperty("chord_latency_ms", static_cast<int>(latency));
    EXPECT_LT(latency, 2000);
}
