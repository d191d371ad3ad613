#include "catalogues/display_modes.h"

#include "catalogues/display_mode_rules.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"

#include <windows.h>

#include <cstring>

static_assert(kFieldBitsPerPel == DM_BITSPERPEL && kFieldPelsWidth == DM_PELSWIDTH &&
                  kFieldPelsHeight == DM_PELSHEIGHT && kFieldDisplayFrequency == DM_DISPLAYFREQUENCY,
              "the portable field flags must match the platform's");
// The size the mode is announced with; a larger dmSize would let the driver read past the record.
static_assert(sizeof(DEVMODEA) >= 156, "DEVMODEA is smaller than the size it is announced with");

namespace {

struct CreatedDcTraits {  // CreateDCA's device contexts go back through DeleteDC, not ReleaseDC
    using Handle = HDC;
    static HDC Invalid() { return nullptr; }
    static void Close(HDC dc) { DeleteDC(dc); }
};
using UniqueCreatedDc = Unique<CreatedDcTraits>;

std::string DisplayChangeResultName(LONG result)
{
    switch (result) {
    case DISP_CHANGE_SUCCESSFUL: return "successful";
    case DISP_CHANGE_RESTART: return "restart-needed";
    case DISP_CHANGE_FAILED: return "failed";
    case DISP_CHANGE_BADMODE: return "bad-mode";
    case DISP_CHANGE_NOTUPDATED: return "not-stored";
    case DISP_CHANGE_BADFLAGS: return "bad-flags";
    case DISP_CHANGE_BADPARAM: return "bad-parameter";
    }
    return std::to_string(result);
}

std::vector<TDriverMode> EnumerateDriverModes()
{
    std::vector<TDriverMode> modes;
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
        modes.push_back({mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel, mode.dmDisplayFrequency});
    }
    return modes;
}

TCurrentMode ReadCurrentMode()
{
    // Left at zero when there is no device context: the lookup then assumes 800 x 600 x 16.
    TCurrentMode current{};
    UniqueCreatedDc dc(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!dc) return current;
    current.Width = GetDeviceCaps(dc.get(), HORZRES);
    current.Height = GetDeviceCaps(dc.get(), VERTRES);
    current.BitsPerPixel = GetDeviceCaps(dc.get(), BITSPIXEL);
    current.Refresh = GetDeviceCaps(dc.get(), VREFRESH);
    return current;
}

}  // namespace

void BuildDisplayModeList(TDisplayModeList& list) { FillDisplayModeList(list, EnumerateDriverModes()); }

int FindCurrentDisplayMode(const TDisplayModeList& list) { return FindDisplayModeIndex(list, ReadCurrentMode()); }

void ApplyDisplayModeAt(const TDisplayModeList& list, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= list.Count()) return;
    const TScrResInfo& mode = list.At(index);
    ApplyDisplayMode(mode.Width, mode.Height, mode.BitsPerPixel, mode.Frequency);
}

void ApplyDisplayMode(int32_t width, int32_t height, uint8_t bitsPerPixel, int32_t frequency)
{
    DEVMODEA mode{};
    std::strcpy(reinterpret_cast<char*>(mode.dmDeviceName), "DISPLAY");
    mode.dmSize = 156;
    mode.dmDriverExtra = 0;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = bitsPerPixel;
    mode.dmDisplayFrequency = static_cast<DWORD>(frequency);
    mode.dmFields = DisplayModeFields(width, height, bitsPerPixel, frequency);

    // Only a mode the driver has accepted is switched to and stored, so a bad choice can never
    // leave the machine with a blank screen at the next start. Nothing depends on the switch's
    // outcome: the operator sees whether the screen changed. A switch can take seconds, during
    // which the hot keys must keep working.
    std::string entry = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bitsPerPixel) +
                        "@" + std::to_string(frequency);
    LONG tested = DISP_CHANGE_FAILED;
    LONG changed = DISP_CHANGE_FAILED;
    RunWhilePumping([&mode, &tested, &changed] {
        tested = ChangeDisplaySettingsA(&mode, CDS_TEST);
        if (tested == DISP_CHANGE_SUCCESSFUL) changed = ChangeDisplaySettingsA(&mode, CDS_UPDATEREGISTRY);
    });
    if (tested != DISP_CHANGE_SUCCESSFUL) {
        LogEvent("apply", {{"what", "display"}, {"entry", entry}, {"test", DisplayChangeResultName(tested)}});
        ShowLoggedMessageBox(nullptr, LoadLangString(IDS_DISPLAY_TEST_FAILED), LoadLangString(IDS_DISPLAY_TEST_CAPTION),
                             MB_ICONWARNING);
        return;
    }
    LogEvent("apply", {{"what", "display"}, {"entry", entry}, {"test", "successful"},
                       {"result", DisplayChangeResultName(changed)}});
}
