#include "session/launch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono;

namespace {

std::string Probe(const std::string& arguments) { return "\"" + BinFolder() + "probe.exe\" " + arguments; }

milliseconds TimeOf(const std::function<void()>& action)
{
    auto start = steady_clock::now();
    action();
    return duration_cast<milliseconds>(steady_clock::now() - start);
}

int g_timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_timerTicks; }

// Each message it handles posts the next one: a queue that is never empty.
int g_streamed = 0;
LRESULT CALLBACK StreamProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_APP) return DefWindowProcA(window, message, wParam, lParam);
    ++g_streamed;
    PostMessageA(window, WM_APP, 0, 0);
    return 0;
}

}  // namespace

TEST(ExpandCommand, ReplacesDefinedReferencesAndKeepsUndefinedOnes)
{
    SetEnvironmentVariableA("TARN_TEST_DIR", "C:\\Tools");
    EXPECT_EQ(ExpandCommand("%TARN_TEST_DIR%\\a.exe %TARN_UNDEFINED_X% 100%"), "C:\\Tools\\a.exe %TARN_UNDEFINED_X% 100%");
    EXPECT_EQ(ExpandCommand(""), "");
    EXPECT_EQ(ExpandCommand("plain"), "plain");

    char windows[MAX_PATH];
    GetEnvironmentVariableA("windir", windows, MAX_PATH);
    EXPECT_EQ(ExpandCommand("%windir%\\system32\\cmd.exe"), std::string(windows) + "\\system32\\cmd.exe");

    std::string longValue(20000, 'v');  // far beyond MAX_PATH
    SetEnvironmentVariableA("TARN_TEST_LONG", longValue.c_str());
    EXPECT_EQ(ExpandCommand("[%TARN_TEST_LONG%]"), "[" + longValue + "]");
    SetEnvironmentVariableA("TARN_TEST_LONG", nullptr);
}

TEST(RunShellAndWait, ReturnsFalseAtOnceForAProgramThatDoesNotExist)
{
    bool started = true;
    EXPECT_LT(TimeOf([&] { started = RunShellAndWait("C:\\no\\such\\shell.exe /k"); }), milliseconds(1000));
    EXPECT_FALSE(started);
    EXPECT_FALSE(RunShellAndWait(""));
}

TEST(RunShellAndWait, WaitsForTheShellWithItsWindowShownAndExpandedCommandLine)
{
    CaseFolder folder;
    std::string log = folder.File("shell.log");
    SetEnvironmentVariableA("TARN_TEST_LOG", log.c_str());
    bool started = false;
    milliseconds took = TimeOf([&] { started = RunShellAndWait(Probe("log=%TARN_TEST_LOG% sleep=700 %TARN_UNDEFINED_X%")); });
    EXPECT_TRUE(started);
    EXPECT_GE(took, milliseconds(650));
    auto runs = ReadProbeLog(log);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]["show"], "5");   // SW_SHOW
    EXPECT_EQ(runs[0]["flags"], "1");  // STARTF_USESHOWWINDOW
    EXPECT_NE(runs[0]["cmdline"].find("log=" + log + " sleep=700 %TARN_UNDEFINED_X%"), std::string::npos)
        << runs[0]["cmdline"];
}

TEST(RunShellAndWait, EndsForAShellThatExitsWithCodeStillActive)
{
    bool started = false;
    milliseconds took = TimeOf([&] { started = RunShellAndWait(Probe("exit=259")); });
    EXPECT_TRUE(started);
    EXPECT_LT(took, milliseconds(5000));
}

TEST(RunShellAndWait, DispatchesTheThreadsMessagesWhileWaiting)
{
    g_timerTicks = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTick);
    ASSERT_NE(timer, 0u);
    EXPECT_TRUE(RunShellAndWait(Probe("sleep=800")));
    KillTimer(nullptr, timer);
    EXPECT_GE(g_timerTicks, 5) << "timer messages are dispatched during the wait";
}

TEST(RunShellAndWait, AnEndlessStreamOfMessagesNeitherStarvesNorHidesTheShellsEnd)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = StreamProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TarnMessageStream";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "TarnMessageStream", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    g_streamed = 0;
    PostMessageA(window, WM_APP, 0, 0);
    milliseconds took = TimeOf([&] { EXPECT_TRUE(RunShellAndWait(Probe("sleep=500"))); });
    DestroyWindow(window);
    EXPECT_LT(took, milliseconds(3000));
    EXPECT_GT(g_streamed, 10) << "the messages are dispatched meanwhile";
    MSG left;
    while (PeekMessageA(&left, nullptr, WM_APP, WM_APP, PM_REMOVE)) {
    }
}

TEST(RunHiddenLimited, ReturnsAsSoonAsAShortProgramEnds)
{
    CaseFolder folder;
    std::string log = folder.File("once.log");
    milliseconds took = TimeOf([&] { RunHiddenLimited(Probe("log=" + log + " sleep=1000")); });
    EXPECT_GE(took, milliseconds(950));
    EXPECT_LT(took, milliseconds(3500));
    auto runs = ReadProbeLog(log);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]["show"], "0");  // SW_HIDE
}

TEST(RunHiddenLimited, TerminatesAProgramThatRunsPastFiveSecondsWithExitCodeZero)
{
    CaseFolder folder;
    std::string log = folder.File("slow.log");

    // Hold a handle to the probe from another thread, so its exit code can be read afterwards.
    std::atomic<bool> done{false};
    UniqueHandle watched;
    std::thread watcher([&] {
        while (!done) {
            auto runs = ReadProbeLog(log);
            if (!runs.empty()) {
                watched.reset(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE,
                                          std::stoul(runs[0]["pid"])));
                return;
            }
            Sleep(20);
        }
    });
    milliseconds took = TimeOf([&] { RunHiddenLimited(Probe("log=" + log + " sleep=60000 exit=7")); });
    done = true;
    watcher.join();

    EXPECT_GE(took, milliseconds(4900));
    EXPECT_LT(took, milliseconds(8000));
    ASSERT_TRUE(watched);
    DWORD code = STILL_ACTIVE;
    EXPECT_EQ(WaitForSingleObject(watched.get(), 2000), WAIT_OBJECT_0) << "the program has been ended";
    GetExitCodeProcess(watched.get(), &code);
    EXPECT_EQ(code, 0u);
}

TEST(StartHidden, ReturnsWithoutWaitingAndStartsTheProgramHidden)
{
    CaseFolder folder;
    std::string log = folder.File("run.log");
    EXPECT_LT(TimeOf([&] { StartHidden(Probe("log=" + log + " sleep=2000")); }), milliseconds(1500));
    ASSERT_TRUE(WaitUntil([&] { return !ReadProbeLog(log).empty(); }, seconds(10)));
    EXPECT_EQ(ReadProbeLog(log)[0]["show"], "0");
    StartHidden("C:\\no\\such\\program.exe");  // silently nothing
    RunHiddenLimited("C:\\no\\such\\program.exe");
}
