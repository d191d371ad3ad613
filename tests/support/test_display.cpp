#include "support/test_display.h"

#include <windows.h>

testing::AssertionResult IsTheTestDisplay()
{
    std::string found;
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
        found += " " + std::to_string(mode.dmPelsWidth) + "x" + std::to_string(mode.dmPelsHeight) + "x" +
                 std::to_string(mode.dmBitsPerPel) + "@" + std::to_string(mode.dmDisplayFrequency);
    }
    if (found == " 1280x1024x32@0 1280x1024x16@0 1280x1024x8@0") return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "this test needs the display the test scripts start (Xvfb 1280x1024x24, and for 32-bit Wine its "
              "X libraries from tools/install-deps.sh), whose driver offers 1280x1024x32@0 1280x1024x16@0 "
              "1280x1024x8@0; this one offers" << (found.empty() ? " nothing" : found);
}

std::vector<std::string> FallbackModeLines()
{
    std::vector<std::string> lines;
    for (const char* size : {"640 x 480", "800 x 600", "1024 x 768", "1280 x 1024"}) {
        for (const char* depth : {"8", "16", "24", "32"}) lines.push_back(std::string(size) + " x " + depth + "bpp x 0Hz");
    }
    return lines;
}

std::string DisplayInForceAndStored()
{
    std::string modes;
    for (DWORD which : {ENUM_CURRENT_SETTINGS, ENUM_REGISTRY_SETTINGS}) {
        DEVMODEA mode{};
        mode.dmSize = sizeof mode;
        EnumDisplaySettingsA(nullptr, which, &mode);
        modes += std::to_string(mode.dmPelsWidth) + "x" + std::to_string(mode.dmPelsHeight) + "x" +
                 std::to_string(mode.dmBitsPerPel) + " ";
    }
    return modes;
}
