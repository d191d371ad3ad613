#include "envdialog/devices_dialog.h"

#include "common/resource_ids.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/shared_state.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

class DevicesDialogTest : public testing::Test {
protected:
    void TearDown() override
    {
        Shared() = SharedState();
        ForgetLangModule();
    }
    static void UseModule(const std::string& name)
    {
        Shared().Settings.LangModuleName = name;
        ForgetLangModule();
    }
};

std::string Text(HWND dialog, int id)
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(dialog, id))) + 1, '\0');
    text.resize(static_cast<size_t>(GetDlgItemTextA(dialog, id, &text[0], static_cast<int>(text.size()))));
    return text;
}

}  // namespace

// Under Wine the list is what Wine's SetupAPI reports. (The program's own copy of the template,
// for modules built for 1.5, is checked with the module contract.)
TEST_F(DevicesDialogTest, ShowsWhatSetupApiReportsAndReadsItAgainOnRefresh)
{
    const std::vector<DeviceEntry> devices = ReadDevices();
    UseModule("LangPack.dll");
    auto expectList = [&](HWND dialog) {
        EXPECT_EQ(Text(dialog, IDC_DEVICES_LIST), DevicesText(devices));
        EXPECT_EQ(Text(dialog, IDC_DEVICES_SUMMARY), DevicesSummary(devices));
        EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, IDC_DEVICES_LIST), GWL_STYLE) & ES_READONLY);
    };
    DialogDriver driver({Check(expectList), Click(IDC_DEVICES_REFRESH), Check(expectList), Click(IDCANCEL)});
    RunDevicesDialog(nullptr);
    EXPECT_TRUE(driver.Finished());
    std::cout << "[ devices  ] Wine reports " << devices.size() << " present devices, " << CountWithoutDriver(devices)
              << " without a driver:\n" << DevicesText(devices);
}

// Wine reports no device with a problem: the usual start, where a pack stays unread.
TEST_F(DevicesDialogTest, ADriverPassWithNothingToMatchReadsNoLibrary)
{
    const std::vector<DeviceEntry> devices = ReadDevices();
    if (CountWithoutDriver(devices) != 0) GTEST_SKIP() << "this Wine reports a device without a driver";
    CaseFolder folder;
    WriteBytes(folder.File("Drivers\\a.inf"), "[Manufacturer]\r\nA=M\r\n[M]\r\nD=I,PCI\\VEN_1234\r\n");
    const DriverPassResult pass = RunDriverPass({folder.Path() + "Drivers\\"}, nullptr);
    EXPECT_EQ(pass.infFiles, 0u);
    EXPECT_TRUE(pass.devices.empty());
    EXPECT_EQ(pass.loads, 0u);
}

TEST_F(DevicesDialogTest, ListsDevicesWithoutADriverFirstWithTheirFirstTwoHardwareIds)
{
    UseModule("LangPack.dll");
    const char* net = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
    const std::vector<DeviceEntry> devices = {
        {"Intel(R) Ethernet", "Net", net, {"PCI\\VEN_8086&DEV_15B8", "PCI\\VEN_8086"}, DeviceState::Working, 0, {}},
        {"Keyboard", "Keyboard", "{4D36E96B-E325-11CE-BFC1-08002BE10318}", {"ACPI\\PNP0303"}, DeviceState::Working, 0, {}},
        {"", "", "", {"PCI\\VEN_144D&DEV_A808&SUBSYS_A801144D", "PCI\\VEN_144D&DEV_A808", "PCI\\CC_010802"},
         DeviceState::NoDriver, 28, {}},
        {"Audio", "MEDIA", "", {}, DeviceState::Disabled, 22, {}},
    };
    EXPECT_EQ(DevicesText(devices), "(unnamed device)\r\n"
                                    "    Class: (none); no driver installed (problem 28)\r\n"
                                    "    PCI\\VEN_144D&DEV_A808&SUBSYS_A801144D\r\n"
                                    "    PCI\\VEN_144D&DEV_A808\r\n"
                                    "\r\n"
                                    "Audio\r\n"
                                    "    Class: MEDIA; disabled (problem 22)\r\n"
                                    "    (no hardware ID)\r\n"
                                    "\r\n"
                                    "Intel(R) Ethernet\r\n"
                                    "    Class: Net; working\r\n"
                                    "    PCI\\VEN_8086&DEV_15B8\r\n"
                                    "    PCI\\VEN_8086\r\n");
    EXPECT_EQ(DevicesSummary(devices).substr(0, 47), "1 devices without a driver, 1 with another prob");
    EXPECT_EQ(CountWithoutDriver(devices), 1u);

    // An Intel VMD controller without its driver while no fixed disk is visible: said in plain words.
    const DeviceEntry vmd{"", "", "", {"PCI\\VEN_8086&DEV_A77F&SUBSYS_0A7F1028&REV_00"}, DeviceState::NoDriver, 28,
                          {"PCI\\VEN_8086&CC_010400"}};
    EXPECT_EQ(DevicesText({vmd}, false), "(unnamed device)\r\n"
                                         "    Class: (none); no driver installed (problem 28)\r\n"
                                         "    PCI\\VEN_8086&DEV_A77F&SUBSYS_0A7F1028&REV_00\r\n"
                                         "    The disks are there, but Windows PE cannot see them: the storage driver for "
                                         "this controller is missing. Vendors ship it as iaStorVD.inf.\r\n");
    EXPECT_EQ(DevicesText({vmd}, true).find("disks are there"), std::string::npos) << "a disk is visible";
}
