#include "envdialog/log_collection.h"

#include "common/resource_ids.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/pe_tools.h"
#include "session/shared_state.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

class LogCollectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        Shared().Settings.LangModuleName = "LangPack.dll";
        ForgetLangModule();
        cancel_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        progress_.cancel = cancel_.get();
    }
    void TearDown() override
    {
        Shared() = SharedState();
        ForgetLangModule();
    }
    std::string Out(const std::string& relative) const { return folder_.Path() + "out\\" + relative; }
    CollectionJob Job(const std::string& target)
    {
        CollectionJob job;
        job.sources = PlanLogSources(folder_.Path() + "run.log", folder_.Path() + "pe\\Windows", target);
        job.folder = folder_.Path() + "out";
        CreateDirectoryA(job.folder.c_str(), nullptr);
        job.sizeLimit = 1000;
        job.header = {"PC1", "2026-12-09 13:15:00", folder_.Path() + "pe\\Windows", target, false};
        return job;
    }

    // Every file below the collection folder, with its contents.
    void ReadTree(const std::string& folder, std::string& all) const
    {
        WIN32_FIND_DATAA entry{};
        UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
        if (!find) return;
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ReadTree(folder + "\\" + name, all);
            } else {
                all += ReadBytes(folder + "\\" + name);
            }
        } while (FindNextFileA(find.get(), &entry));
    }
    // A job whose first source stalls mid-file: a pipe that sends a little and then nothing.
    CollectionJob StallingJob()
    {
        pipe_.reset(CreateNamedPipeA(pipeName_.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                     0, nullptr));
        WriteBytes(folder_.File("pe\\Windows\\Panther\\setupact.log"), "panther");
        CollectionJob job = Job("");
        job.sources.insert(job.sources.begin(), LogSource{LogSourceKind::File, pipeName_, "", "PE\\slow.log"});
        return job;
    }
    // A driver step: true once the copy has read from the pipe and waits in its next read.
    bool HasStalled(HWND active)
    {
        char current[MAX_PATH] = "";
        GetDlgItemTextA(active, IDC_COLLECT_CURRENT, current, sizeof current);
        if (pipeName_.find(current) == std::string::npos || !*current) return false;
        Sleep(200);  // the copy has opened the pipe: what is written now is read, and the next read waits
        DWORD written = 0;
        WriteFile(pipe_.get(), "partial", 7, &written, nullptr);
        Sleep(200);
        return true;
    }

    CaseFolder folder_;
    UniqueHandle cancel_;
    CollectionProgress progress_;
    const std::string pipeName_ = "\\\\.\\pipe\\tarn-slow-log-" + std::to_string(GetCurrentProcessId());
    UniqueFile pipe_;
};

}  // namespace

// The planted Windows PE and installation hold a log of each kind the plan names, and what it
// must leave: a file over the limit, one locked against reading, the settings and password files,
// Setup's answer files, names that do not match, and folders that are no log folders.
TEST_F(LogCollectionTest, CopiesThePlannedLogsKeepingTheirPathsAndListsWhatItSkipped)
{
    const std::string pe = folder_.Path() + "pe\\Windows\\";
    const std::string target = folder_.Path() + "target\\Windows";
    WriteBytes(folder_.File("run.log"), "start\r\n");
    WriteBytes(folder_.File("pe\\Windows\\Logs\\DISM\\dism.log"), "dism");
    WriteBytes(folder_.File("pe\\Windows\\Logs\\CBS\\huge.log"), std::string(1001, 'h'));
    WriteBytes(folder_.File("pe\\Windows\\Logs\\tarn_logon.ini"), "PassHash=x");
    WriteBytes(folder_.File("pe\\Windows\\Panther\\setupact.log"), "panther");
    WriteBytes(folder_.File("pe\\Windows\\Panther\\unattend.xml"), "<AdministratorPassword>Pw1");
    WriteBytes(folder_.File("pe\\Windows\\Panther\\Unattend\\Unattend.xml"), "<AutoLogon>Pw2");
    WriteBytes(folder_.File("pe\\Windows\\System32\\wpeinit.log"), "wpeinit");
    WriteBytes(folder_.File("pe\\Windows\\System32\\other.log"), "not planned");
    WriteBytes(folder_.File("pe\\Windows\\INF\\setupapi.offline.log"), "offline");
    WriteBytes(folder_.File("pe\\Windows\\INF\\setupapi.app.log"), std::string(1000, 'a'));
    WriteBytes(folder_.File("pe\\Windows\\INF\\netrtl.inf"), "no log");
    WriteBytes(folder_.File("pe\\Windows\\INF\\sub\\setupapi.sub.log"), "not below INF");
    WriteBytes(folder_.File("target\\Windows\\Minidump\\120926-01.dmp"), "dump");
    WriteBytes(folder_.File("target\\Windows\\INF\\setupapi.dev.log"), "locked");
    WriteBytes(folder_.File("target\\Windows\\Logs\\DISM\\tarn_password.txt"), "secret");
    WriteBytes(folder_.File("target\\Windows\\System32\\LogFiles\\Srt\\SrtTrail.txt"), "srt");
    // Held open without sharing, as a program holds a log it keeps to itself. (Wine does not
    // enforce byte-range locks on reads, so a locked region would read.)
    UniqueFile holder(CreateFileA((target + "\\INF\\setupapi.dev.log").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    const CollectionJob job = Job(target);
    const CollectionResult result = CopyLogs(job, progress_);
    EXPECT_FALSE(result.cancelled);
    EXPECT_TRUE(result.indexWritten);
    EXPECT_EQ(result.copied, 8u);
    EXPECT_EQ(result.bytes, 7u + 4 + 7 + 7 + 7 + 1000 + 4 + 3);
    EXPECT_EQ(result.skipped, 6u);

    for (const auto& [copy, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"PE\\run.log", "start\r\n"},
             {"PE\\Windows\\Logs\\DISM\\dism.log", "dism"},
             {"PE\\Windows\\Panther\\setupact.log", "panther"},
             {"PE\\Windows\\System32\\wpeinit.log", "wpeinit"},
             {"PE\\Windows\\INF\\setupapi.offline.log", "offline"},
             {"PE\\Windows\\INF\\setupapi.app.log", std::string(1000, 'a')},
             {"Target\\Minidump\\120926-01.dmp", "dump"},
             {"Target\\System32\\LogFiles\\Srt\\SrtTrail.txt", "srt"}}) {
        EXPECT_EQ(ReadBytes(Out(copy)), bytes) << copy;
    }
    for (const char* left : {"PE\\Windows\\Logs\\CBS\\huge.log", "PE\\Windows\\Logs\\tarn_logon.ini",
                             "PE\\Windows\\System32\\other.log", "PE\\Windows\\INF\\netrtl.inf", "PE\\Windows\\INF\\sub",
                             "Target\\INF\\setupapi.dev.log", "Target\\Logs\\DISM\\tarn_password.txt", "Target\\Panther",
                             "PE\\Windows\\Panther\\unattend.xml", "PE\\Windows\\Panther\\Unattend"}) {
        EXPECT_EQ(GetFileAttributesA(Out(left).c_str()), INVALID_FILE_ATTRIBUTES) << left;
    }

    const std::string index = ReadBytes(Out("index.txt"));
    EXPECT_NE(index.find("Installation: " + target + "\r\n"), std::string::npos) << index;
    EXPECT_NE(index.find("Copied: 8 files, 1,039 bytes\r\n"), std::string::npos) << index;
    EXPECT_NE(index.find("  " + pe + "Logs\\DISM\\dism.log  (4 bytes)\r\n"), std::string::npos) << index;
    EXPECT_NE(index.find("Skipped: 6 files\r\n"), std::string::npos) << index;
    EXPECT_NE(index.find(pe + "Logs\\CBS\\huge.log  (1,001 bytes): larger than 1,000 bytes\r\n"), std::string::npos)
        << index;
    EXPECT_NE(index.find(pe + "Logs\\tarn_logon.ini  (10 bytes): withheld"), std::string::npos) << index;
    EXPECT_NE(index.find(target + "\\Logs\\DISM\\tarn_password.txt  (6 bytes): withheld"), std::string::npos) << index;
    EXPECT_NE(index.find(target + "\\INF\\setupapi.dev.log  (6 bytes): unreadable: "), std::string::npos) << index;
    for (const char* answerFile : {"Panther\\unattend.xml  (26 bytes)", "Panther\\Unattend\\Unattend.xml  (14 bytes)"}) {
        EXPECT_NE(index.find(pe + answerFile + ": withheld: a Windows Setup answer file, which may hold passwords\r\n"),
                  std::string::npos)
            << index;
    }
    EXPECT_NE(index.find("Not found: 2 of the planned files and folders\r\n  " + target + "\\Panther\r\n  " + target +
                         "\\Logs\\CBS\r\n"),
              std::string::npos)
        << index;
    std::string everything;
    ReadTree(folder_.Path() + "out", everything);
    for (const char* secret : {"secret", "PassHash", "Pw1", "Pw2"}) {
        EXPECT_EQ(everything.find(secret), std::string::npos) << secret;
    }
}

// A source that stalls mid-file (a pipe that sent a little and then nothing) is left at once
// when the operator cancels; the index says the copy was cancelled.
TEST_F(LogCollectionTest, CancelStopsWithinASecondWhileASourceStalls)
{
    const CollectionJob job = StallingJob();
    ASSERT_TRUE(pipe_);
    DWORD cancelledAt = 0;
    DialogDriver driver({[&](HWND active) {
        if (!HasStalled(active)) return false;
        cancelledAt = GetTickCount();
        PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
        return true;
    }});
    const CollectionResult result = RunCollection(nullptr, job);
    const DWORD took = GetTickCount() - cancelledAt;
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(result.cancelled);
    EXPECT_LT(took, 1000u);
    EXPECT_EQ(result.copied, 0u) << "the stalled file is not taken as copied, nor what came after it";
    EXPECT_EQ(GetFileAttributesA(Out("PE\\slow.log").c_str()), INVALID_FILE_ATTRIBUTES) << "no partial copy is left";
    EXPECT_NE(ReadBytes(Out("index.txt")).find("Cancelled by the operator"), std::string::npos);
}

// A quit message (any process can post one) ends the progress dialog's loop while the copy waits
// on a stalled source: the copy is stopped and waited for before the call returns, and the quit
// message is left in the queue for the program's own loop, as after any other dialog.
TEST_F(LogCollectionTest, AQuitMessageStopsTheCopyBeforeTheCallReturnsAndStaysQueued)
{
    const CollectionJob job = StallingJob();
    ASSERT_TRUE(pipe_);
    DialogDriver driver({[&](HWND active) {
        if (!HasStalled(active)) return false;
        PostQuitMessage(42);
        return true;
    }});
    const CollectionResult result = RunCollection(nullptr, job);
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(result.indexWritten) << "the worker finished its work before the call returned";
    EXPECT_NE(ReadBytes(Out("index.txt")).find("Cancelled: the program was ending"), std::string::npos);
    EXPECT_EQ(GetFileAttributesA(Out("PE\\slow.log").c_str()), INVALID_FILE_ATTRIBUTES);
    MSG quit{};
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit message was swallowed";
    EXPECT_EQ(quit.wParam, 42u);
}

// The command as the dialog runs it: the folder under TarnLogs named by computer and time, the
// closing box with the counts, and the planned files that are not there named in the index.
TEST_F(LogCollectionTest, CollectsIntoANewFolderUnderTarnLogsAndReportsTheCounts)
{
    WriteBytes(folder_.File("pe\\Windows\\Logs\\DISM\\dism.log"), "dism");
    CreateDirectoryA((folder_.Path() + "stick").c_str(), nullptr);
    SetEnvironmentVariableA("WINDIR", (folder_.Path() + "pe\\Windows").c_str());
    char systemRoot[MAX_PATH] = "";
    GetEnvironmentVariableA("SystemRoot", systemRoot, sizeof systemRoot);
    SetEnvironmentVariableA("SystemRoot", (folder_.Path() + "pe\\Windows").c_str());
    const std::string wpeinitLog = SystemToolPath("wpeinit.log");  // through Sysnative on a 64-bit system
    std::string box;
    DialogDriver driver({[&](HWND active) {
        box = MessageBoxText(active);
        if (box.empty()) return false;
        PostMessageA(active, WM_COMMAND, IDOK, 0);
        return true;
    }});
    CollectLogsInto(nullptr, folder_.Path() + "stick\\", "");
    SetEnvironmentVariableA("WINDIR", nullptr);
    SetEnvironmentVariableA("SystemRoot", systemRoot);
    ASSERT_TRUE(driver.Finished());
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    WIN32_FIND_DATAA found{};
    UniqueFind find(FindFirstFileA((folder_.Path() + "stick\\TarnLogs\\" + computer + "-2*").c_str(), &found));
    ASSERT_TRUE(find);
    const std::string folder = folder_.Path() + "stick\\TarnLogs\\" + found.cFileName;
    EXPECT_EQ(std::string(found.cFileName).size(), std::string(computer).size() + 16);
    EXPECT_EQ(ReadBytes(folder + "\\PE\\Windows\\Logs\\DISM\\dism.log"), "dism");
    const std::string index = ReadBytes(folder + "\\index.txt");
    EXPECT_NE(index.find("Installation: (none selected)"), std::string::npos) << index;
    const size_t absent = index.find("\r\nNot found: ");
    ASSERT_NE(absent, std::string::npos) << index;
    EXPECT_NE(index.find("\r\n  " + wpeinitLog + "\r\n", absent), std::string::npos) << index;
    EXPECT_NE(index.find("\r\n  " + folder_.Path() + "pe\\Windows\\Panther\r\n", absent), std::string::npos) << index;
    EXPECT_EQ(box, "1 files (4 bytes) were copied to " + folder +
                       ". 0 files were skipped; index.txt in that folder lists every file and why one was skipped.");
}
