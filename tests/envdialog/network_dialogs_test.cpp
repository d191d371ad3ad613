#include "envdialog/address_dialog.h"
#include "envdialog/drive_dialog.h"
#include "envdialog/folder_browser.h"
#include "envdialog/log_collection.h"
#include "envdialog/network_address.h"
#include "envdialog/network_drive.h"
#include "envdialog/network_texts.h"
#include "envdialog/network_wait.h"
#include "envdialog/network_proxy.h"
#include "envdialog/network_status.h"

#include "common/registry.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/shared_state.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"
#include "support/wine_drives.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

constexpr const char* kProviderName = "TarnTestNP";
constexpr const char* kOrderKey = "\\System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
constexpr const char* kProviderKey = "\\System\\CurrentControlSet\\Services\\TarnTestNP";

class NetworkDialogsTest : public testing::Test {
protected:
    void SetUp() override
    {
        Shared().Settings.LangModuleName = "LangPack.dll";
        ForgetLangModule();
        StartRunLog(folder_.File("run.log"));
    }
    void TearDown() override
    {
        StartRunLog(std::string());
        Shared() = SharedState();
        ForgetLangModule();
    }
    std::string RunLog() const { return ReadBytes(folder_.File("run.log")); }
    CaseFolder folder_;
};

std::string Text(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// mpr.dll reads the providers when it loads; the program loads it at its first connection, so
// the stand-in is registered before that, for the whole run. Wine's prefix has no other provider.
void RegisterTestProvider()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    ASSERT_EQ(GetModuleHandleA("mpr.dll"), nullptr) << "mpr.dll was loaded before its provider was registered";
    UniqueKey order = CreateRegKey(kOrderKey, KEY_ALL_ACCESS);
    ASSERT_TRUE(order);
    WriteRegString(order.get(), "ProviderOrder", kProviderName);
    UniqueKey provider = CreateRegKey(std::string(kProviderKey) + "\\NetworkProvider", KEY_ALL_ACCESS);
    ASSERT_TRUE(provider);
    WriteRegExpandString(provider.get(), "ProviderPath", BinFolder() + "TestNetProvider.dll");
    WriteRegString(provider.get(), "Name", "Tarn test provider");
    WriteRegDword(provider.get(), "Class", 1);  // WN_NETWORK_CLASS
}

}  // namespace

// The connection reaches the provider with the share, the user and the password typed; its
// refusal is told in plain words; the password goes nowhere else; Collect logs offers the share;
// Disconnect ends what we connected.
TEST_F(NetworkDialogsTest, ConnectsADriveThroughTheNetworkProviderAndTellsItsRefusals)
{
    RegisterTestProvider();
    const std::string record = folder_.File("provider.txt");
    SetEnvironmentVariableA("TARN_TEST_NP_LOG", record.c_str());
    SetEnvironmentVariableA("TARN_TEST_NP_ANSWER", "1326");
    const char* secret = "S3cr3t-Marker";
    Shared().Settings.NetworkDrives = {"W: \\\\srv\\deploy CORP\\tech", "Q: not a share",
                                       std::string("X: \\\\srv\\deploy CORP\\tech ") + secret};
    auto setAnswer = [](const char* code) {
        return Check([code](HWND) { SetEnvironmentVariableA("TARN_TEST_NP_ANSWER", code); });
    };
    DialogDriver driver({
        Check([](HWND dialog) {
            EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_DRIVE_PATH, CB_GETCOUNT, 0, 0), 1) << "the malformed preset is left out";
            EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, IDC_DRIVE_PASSWORD), GWL_STYLE) & ES_PASSWORD);
            SendDlgItemMessageA(dialog, IDC_DRIVE_PATH, CB_SETCURSEL, 0, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_PATH, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_DRIVE_PATH)));
            EXPECT_EQ(Text(dialog, IDC_DRIVE_USER), "CORP\\tech");
            EXPECT_EQ(Text(dialog, IDC_DRIVE_LETTER), "W:") << "the preset's letter, not the one proposed";
        }),
        TypeInto(IDC_DRIVE_PASSWORD, secret), Click(IDOK),
        ExpectBox(DriveFailureText(1326, "\\\\srv\\deploy", 'W')),
        Check([](HWND dialog) { EXPECT_EQ(Text(dialog, IDC_DRIVE_PASSWORD), "") << "wiped after the attempt"; }),
        TypeInto(IDC_DRIVE_USER, "CORP\\"), Click(IDOK), ExpectBox(NetworkText(IDS_DRIVE_BAD_USER)),
        TypeInto(IDC_DRIVE_USER, "CORP\\tech"), setAnswer("0"), TypeInto(IDC_DRIVE_PASSWORD, secret), Click(IDOK),
        UntilIdle(),
        Check([&](HWND dialog) {
            EXPECT_EQ(Text(dialog, IDC_DRIVE_PASSWORD), "");
            // Collect logs offers the share: W: stands for what a redirector would make of it.
            TestDrive share('W', DRIVE_REMOTE);
            ASSERT_TRUE(share.Ok());
            // A test beside this one may have a USB drive plugged in, which comes first.
            const std::string proposed = ProposedDestination();
            EXPECT_TRUE(proposed == "W:\\" || GetDriveTypeA(proposed.c_str()) == DRIVE_REMOVABLE)
                << proposed << ": without a USB drive, the share connected last";
            EXPECT_TRUE(IsWritableFolder("W:\\"));
            ASSERT_EQ(SendDlgItemMessageA(dialog, IDC_DRIVE_CONNECTED, LB_GETCOUNT, 0, 0), 1);
            SendDlgItemMessageA(dialog, IDC_DRIVE_CONNECTED, LB_SETCURSEL, 0, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_CONNECTED, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_DRIVE_CONNECTED)));
        }),
        Click(IDC_DRIVE_DISCONNECT), UntilIdle(),
        Check([](HWND dialog) { EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_DRIVE_CONNECTED, LB_GETCOUNT, 0, 0), 0); }),
        Click(IDCANCEL),
    });
    RunDriveDialog(nullptr);
    EXPECT_TRUE(driver.Finished());
    SetEnvironmentVariableA("TARN_TEST_NP_LOG", nullptr);
    SetEnvironmentVariableA("TARN_TEST_NP_ANSWER", nullptr);

    // FNV-1a of the password's UTF-16 units, as the provider computes it.
    unsigned long long hash = 1469598103934665603ull;
    for (const char* c = secret; *c; ++c) {
        hash ^= static_cast<unsigned char>(*c);
        hash *= 1099511628211ull;
    }
    char hex[20];
    std::snprintf(hex, sizeof hex, "%016llx", hash);
    const std::vector<std::string> calls = ReadLines(record);
    ASSERT_EQ(calls.size(), 3u) << ReadBytes(record);
    EXPECT_EQ(calls[0], std::string("add|W:|\\\\srv\\deploy|CORP\\tech|") + hex + "|1326");
    EXPECT_EQ(calls[1], std::string("add|W:|\\\\srv\\deploy|CORP\\tech|") + hex + "|0");
    EXPECT_EQ(calls[2], "cancel|W:|gentle");
    EXPECT_TRUE(ConnectedDrives().empty());
    const std::string log = RunLog();
    EXPECT_EQ(log.find(secret), std::string::npos) << "the password never reaches the run log";
    EXPECT_NE(log.find("share=\\\\srv\\deploy"), std::string::npos) << log;
    EXPECT_NE(log.find("user=CORP\\tech"), std::string::npos);
    EXPECT_NE(log.find("preset=\"Q: not ...\" result=malformed"), std::string::npos) << "the malformed preset is logged";
    char* block = GetEnvironmentStringsA();
    std::string environment;
    for (const char* entry = block; entry && *entry; entry += std::strlen(entry) + 1) {
        environment += std::string(entry) + "\n";
    }
    FreeEnvironmentStringsA(block);
    EXPECT_EQ(environment.find(secret), std::string::npos) << "nor the environment";
}

// Wine 8's IP Helper lacks the calls that set addresses and routes, as an image without them
// would: the rule's refusals come first, then the plain message naming the missing call, and
// nothing is half applied. (What a real adapter does with the address is not shown here.)
TEST_F(NetworkDialogsTest, RefusesAWrongGatewayAndNamesACallTheSystemLacks)
{
    const std::vector<NetworkAdapter> adapters = ConfigurableAdapters();
    if (adapters.empty()) GTEST_SKIP() << "Wine reports no wired or wireless adapter here";
    const std::string key = "\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" + adapters[0].Guid;
    const AddressInput wrong{"192.0.2.10", "24", "192.0.3.1", "", ""};
    DialogDriver driver({
        Check([&](HWND dialog) {
            EXPECT_EQ(Text(dialog, IDC_ADDRESS_ADAPTER), adapters[0].Name);
            EXPECT_NE(Text(dialog, IDC_ADDRESS_STATE).find(adapters[0].Mac), std::string::npos);
            CheckRadioButton(dialog, IDC_ADDRESS_AUTOMATIC, IDC_ADDRESS_FIXED, IDC_ADDRESS_FIXED);
            SendMessageA(dialog, WM_COMMAND, IDC_ADDRESS_FIXED, 0);
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_ADDRESS_GATEWAY)));
        }),
        TypeInto(IDC_ADDRESS_ADDRESS, wrong.Address), TypeInto(IDC_ADDRESS_PREFIX, wrong.Prefix),
        TypeInto(IDC_ADDRESS_GATEWAY, wrong.Gateway), Click(IDOK),
        ExpectBox(AddressProblemText(AddressProblem::GatewayOutside, wrong)),
        TypeInto(IDC_ADDRESS_GATEWAY, "192.0.2.1"), TypeInto(IDC_ADDRESS_DNS1, "192.0.2.53"), Click(IDOK),
        ExpectBox(NetworkText(IDS_ADDRESS_FAILED, {adapters[0].Name, "CreateUnicastIpAddressEntry", "127",
                                                   SystemErrorText(ERROR_PROC_NOT_FOUND)})),
        Click(IDCANCEL),
    });
    RunAddressDialog(nullptr);
    EXPECT_TRUE(driver.Finished());
    EXPECT_FALSE(OpenRegKey(key, KEY_READ)) << "no TCP/IP value written before every call is there";
    const std::string log = RunLog();
    EXPECT_NE(log.find("192.0.2.10/24 gw 192.0.2.1"), std::string::npos) << log;
    EXPECT_NE(log.find("CreateUnicastIpAddressEntry"), std::string::npos);
}

// No wait for 0 seconds or an address already there (Wine's host adapters have one); the box
// says the time left and each adapter, Skip ends it, and with an address it ends by itself.
TEST_F(NetworkDialogsTest, WaitsForAnAddressOnlyWhenThereIsNoneAndEndsOnSkip)
{
    EXPECT_EQ(WaitForNetworkAddress(0), NetworkWaitEnd::NotNeeded);
    EXPECT_EQ(RunLog().find(" wait "), std::string::npos) << "no wait, no line";
    const bool connected = CurrentNetworkStatus().state == NetworkState::Connected;
    if (connected) {
        EXPECT_EQ(WaitForNetworkAddress(30), NetworkWaitEnd::NotNeeded);
    }

    DialogDriver skip({Check([](HWND box) {
                           EXPECT_NE(Text(box, IDC_WAIT_REMAINING).find("30 s left"), std::string::npos);
                           EXPECT_FALSE(Text(box, IDC_WAIT_ADAPTERS).empty());
                       }),
                       Click(IDCANCEL)});
    EXPECT_EQ(ShowNetworkWaitBox(30), NetworkWaitEnd::Skipped);
    EXPECT_TRUE(skip.Finished());
    if (connected) {
        DialogDriver none({});
        EXPECT_EQ(ShowNetworkWaitBox(30), NetworkWaitEnd::Connected) << "the first poll finds the address";
    }
    const std::string log = RunLog();
    EXPECT_NE(log.find("end=skipped"), std::string::npos) << log;
    if (connected) {
        EXPECT_NE(log.find("end=not-needed"), std::string::npos);
    }
}

// The proxy reaches WinHTTP (read back as another program would) and the machine's variables in
// the forms the tools read; an empty server takes it away again.
TEST_F(NetworkDialogsTest, PublishesTheProxyToWinHttpAndTheEnvironment)
{
    struct ProxyInfo {
        DWORD accessType;
        wchar_t* proxy;
        wchar_t* bypass;
    };
    using GetProc = BOOL(WINAPI*)(ProxyInfo*);
    UniqueLibrary winhttp(LoadLibraryA("winhttp.dll"));
    ASSERT_TRUE(winhttp);
    auto get = reinterpret_cast<GetProc>(
        reinterpret_cast<void*>(GetProcAddress(winhttp.get(), "WinHttpGetDefaultProxyConfiguration")));
    ASSERT_NE(get, nullptr);
    auto variable = [](const char* name) {
        char value[256] = "";
        GetEnvironmentVariableA(name, value, sizeof value);
        return std::string(value);
    };
    auto machineVariable = [](const char* name) {
        UniqueKey key = OpenRegKey("\\System\\CurrentControlSet\\Control\\Session Manager\\Environment", KEY_READ);
        return key ? ReadRegString(key.get(), name) : std::string("(no key)");
    };

    EXPECT_EQ(ApplyProxy("proxy.example:8080", "<local>;*.corp"), ProxyResult::Applied);
    ProxyInfo info{};
    ASSERT_TRUE(get(&info));
    EXPECT_EQ(info.accessType, 3u) << "a named proxy";
    EXPECT_EQ(std::wstring(info.proxy ? info.proxy : L""), L"proxy.example:8080");
    EXPECT_EQ(std::wstring(info.bypass ? info.bypass : L""), L"<local>;*.corp");
    if (info.proxy) GlobalFree(info.proxy);
    if (info.bypass) GlobalFree(info.bypass);
    EXPECT_EQ(variable("HTTP_PROXY"), "http://proxy.example:8080");
    EXPECT_EQ(variable("HTTPS_PROXY"), "http://proxy.example:8080");
    EXPECT_EQ(variable("NO_PROXY"), "localhost,127.0.0.1,.corp");
    EXPECT_EQ(machineVariable("HTTPS_PROXY"), "http://proxy.example:8080");

    EXPECT_EQ(ApplyProxy("", ""), ProxyResult::Applied);
    ProxyInfo none{};
    ASSERT_TRUE(get(&none));
    EXPECT_EQ(none.accessType, 1u) << "no proxy";
    if (none.proxy) GlobalFree(none.proxy);
    if (none.bypass) GlobalFree(none.bypass);
    EXPECT_EQ(variable("HTTP_PROXY"), "");
    EXPECT_EQ(machineVariable("NO_PROXY"), "");
    EXPECT_NE(RunLog().find("server=proxy.example:8080"), std::string::npos);
}

// The presets at start-up: a malformed one and one for an absent adapter are logged and skipped;
// the present adapter's gets as far as Wine lets it (the missing call, as in the dialog).
TEST_F(NetworkDialogsTest, AppliesAddressPresetsByMacAndLogsTheRest)
{
    const std::vector<NetworkAdapter> adapters = ConfigurableAdapters();
    Shared().Settings.StaticAddresses = {"02-00-00-00-00-99 192.0.2.10/24", "02-00-00-00-00-99 192.0.2.0/24"};
    if (!adapters.empty() && !adapters[0].Mac.empty()) {
        Shared().Settings.StaticAddresses.push_back(adapters[0].Mac + " 192.0.2.20/24 192.0.2.1");
    }
    ApplyAddressPresets();
    const std::string log = RunLog();
    EXPECT_NE(log.find("preset=\"02-00-00-00-00-99 192.0.2.10/24\" result=no-adapter"), std::string::npos) << log;
    EXPECT_NE(log.find("preset=\"02-00-00-00-00-99 192.0.2.0/24\" result=malformed"), std::string::npos);
    if (Shared().Settings.StaticAddresses.size() == 3) {
        EXPECT_NE(log.find(adapters[0].Name), std::string::npos);
        EXPECT_NE(log.find("CreateUnicastIpAddressEntry"), std::string::npos);
    }
}
