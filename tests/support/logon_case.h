// A case folder laid out like a PE boot medium, with the real tarn_logon.exe in it, and the
// means to start it and watch what it does. The shell stand-in is the probe program placed as
// %windir%\system32\cmd.exe of a fake Windows folder: the shell in force before the operator
// picks another.
#pragma once

#include "common/registry.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <memory>

class LogonCase : public testing::Test {
protected:
    // Copies the executable (under the given name) and, when given, a settings file into the case folder.
    void Install(const std::string& exeName = "tarn_logon.exe", const char* settings = "UseRegRun=NO\r\n")
    {
        exe_ = folder_.File("pe\\" + exeName);
        CopyOrFail(BinFolder() + "tarn_logon.exe", exe_);
        if (settings) WriteBytes(folder_.File("pe\\tarn_logon.ini"), settings);
        CopyOrFail(BinFolder() + "probe.exe", folder_.File("win\\system32\\cmd.exe"));
    }

    // A language module (the recording test module unless told), under the name the program looks for.
    void InstallLanguage(const std::string& name = "LangPack.dll", const std::string& source = "TestLang.dll")
    {
        CopyOrFail(BinFolder() + source, folder_.File("pe\\" + name));
    }

    // The program's message box with the given caption, once it is shown.
    HWND WaitForBox(const std::string& caption)
    {
        HWND box = nullptr;
        WaitUntil([&] { return (box = FindProcessWindow(program_->Id(), caption)) != nullptr; }, std::chrono::seconds(20));
        return box;
    }

    // The first visible window of the program that has the given control.
    HWND WaitForWindowWith(int control)
    {
        HWND found = nullptr;
        WaitUntil([&] { return (found = FindProcessWindowWithControl(program_->Id(), control)) != nullptr; },
                  std::chrono::seconds(20));
        return found;
    }

    static std::string BoxText(HWND box)
    {
        char text[2048] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message box's text control
        return text;
    }

    ChildProcess& Start(const std::string& arguments = std::string(), unsigned shellMs = 300,
                        std::map<std::string, std::string> environment = {})
    {
        std::string command = "\"" + exe_ + "\"" + (arguments.empty() ? "" : " " + arguments);
        environment["WINDIR"] = folder_.Path() + "win";
        environment["TARN_PROBE_LOG"] = ShellLog();
        environment["TARN_PROBE_SLEEP_MS"] = std::to_string(shellMs);
        program_ = std::make_unique<ChildProcess>(command, environment);
        EXPECT_TRUE(program_->Started());
        return *program_;
    }

    std::string ShellLog() const { return folder_.Path() + "shell.log"; }
    std::vector<ProbeRun> ShellRuns() const { return ReadProbeLog(ShellLog()); }
    bool WaitForShellRuns(size_t count, std::chrono::seconds timeout = std::chrono::seconds(20))
    {
        return WaitUntil([&] { return ShellRuns().size() >= count; }, timeout);
    }

    CaseFolder folder_;
    std::string exe_;
    std::unique_ptr<ChildProcess> program_;
};

