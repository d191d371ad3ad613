// The runner for Windows PE's tools, against the probe standing in for them in a System32 folder
// of the case's own: SystemRoot is pointed there for the test process, as the program expands it.
#include "session/pe_tools.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace std::chrono;

namespace {

class PeToolsTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableA("SystemRoot", (folder_.Path() + "win").c_str());
        SetEnvironmentVariableA("TARN_PROBE_LOG", log_.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("SystemRoot", systemRoot_.c_str());
        SetEnvironmentVariableA("TARN_PROBE_LOG", nullptr);
    }
    void StandIn(const char* name) { CopyOrFail(BinFolder() + "probe.exe", folder_.File(std::string("win\\System32\\") + name)); }
    static std::string Variable(const char* name)
    {
        char value[MAX_PATH] = "";
        GetEnvironmentVariableA(name, value, MAX_PATH);
        return value;
    }

    std::string systemRoot_ = Variable("SystemRoot");
    CaseFolder folder_;
    std::string log_ = folder_.File("tools.log");
};

int g_timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_timerTicks; }

}  // namespace

TEST_F(PeToolsTest, RunsTheToolHiddenWithItsExitCodeAndTellsAMissingOne)
{
    StandIn("wpeinit.exe");
    ToolRun run = RunSystemTool("wpeinit.exe", "exit=3", 30000);
    EXPECT_EQ(run.outcome, ToolRun::Outcome::Ran);
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_EQ(run.path, folder_.Path() + "win\\System32\\wpeinit.exe");
    std::vector<ProbeRun> runs = ReadProbeLog(log_);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]["show"], "0") << "hidden";
    EXPECT_EQ(runs[0]["cmdline"], "\"" + run.path + "\" exit=3");

    ToolRun missing = RunSystemTool("wpeutil.exe", "", 30000);
    EXPECT_EQ(missing.outcome, ToolRun::Outcome::Missing);
    EXPECT_EQ(missing.path, folder_.Path() + "win\\System32\\wpeutil.exe");
    EXPECT_EQ(ReadProbeLog(log_).size(), 1u);
}

// The wait ends at the limit with the tool still running, and the thread's timers kept firing.
TEST_F(PeToolsTest, StopsWaitingAtTheLimitLeavesTheToolRunningAndHandlesMessagesMeanwhile)
{
    StandIn("wpeinit.exe");
    g_timerTicks = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTick);
    auto start = steady_clock::now();
    ToolRun run = RunSystemTool("wpeinit.exe", "sleep=4000", 600);
    auto took = steady_clock::now() - start;
    KillTimer(nullptr, timer);
    EXPECT_EQ(run.outcome, ToolRun::Outcome::TimedOut);
    EXPECT_GE(took, milliseconds(550));
    EXPECT_LT(took, milliseconds(3000));
    EXPECT_GE(g_timerTicks, 3) << "messages are handled while the tool runs";

    std::vector<ProbeRun> runs = ReadProbeLog(log_);
    ASSERT_EQ(runs.size(), 1u);
    UniqueHandle tool(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(runs[0]["pid"])));
    ASSERT_TRUE(tool);
    EXPECT_EQ(WaitForSingleObject(tool.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "left running";
    EXPECT_EQ(WaitForSingleObject(tool.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST_F(PeToolsTest, LoadDriverQuotesTheInfForDrvload)
{
    StandIn("drvload.exe");
    const std::string inf = folder_.File("my drivers\\iaStorVD.inf");
    ToolRun run = LoadDriver(inf);
    EXPECT_EQ(run.outcome, ToolRun::Outcome::Ran);
    std::vector<ProbeRun> runs = ReadProbeLog(log_);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]["cmdline"], "\"" + run.path + "\" \"" + inf + "\"");
}
