#include "envdialog/environment_pass.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/shared_state.h"
#include "session/target_root.h"

#include <gtest/gtest.h>

TEST(RunEnvironmentDialog, WithoutTheDialogPublishesTheTargetInForceAndFreesTheCatalogues)
{
    Shared().Settings.LangModuleName = "NoSuchModule.dll";
    ForgetLangModule();
    Shared().TargetRoot = "E:\\Kept";
    RunEnvironmentDialog(GetDesktopWindow());
    char value[64] = "";
    GetEnvironmentVariableA("TARGET_ROOT", value, sizeof value);
    EXPECT_STREQ(value, "E:\\Kept");
    EXPECT_EQ(Shared().ShellCommand, "%windir%\\system32\\cmd.exe");
    PublishSystemVariable("TARGET_ROOT", "");
    Shared() = SharedState();
}
