#include "common/fatal_error_box.h"

#include "common/errors.h"
#include "common/run_log.h"

#include <windows.h>

namespace {

void ShowFatalError(std::exception_ptr error)
{
    // No language module is involved: it may be the very thing that failed.
    std::string text = "Tarn Logon has met an error it cannot recover from and will end.\r\n\r\n" + DescribeError(error);
    LogEvent("fatal", {{"text", text}});
    MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace

int RunGuarded(int (*body)())
{
    try {
        return body();
    } catch (...) {
        ShowFatalError(std::current_exception());
    }
    ExitProcess(1);
}

void EndWithFatalError(std::exception_ptr error)
{
    ShowFatalError(error);
    ExitProcess(1);
}
