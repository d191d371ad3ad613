#include "catalogues/display_mode_rules.h"

#include <string>

namespace {

constexpr uint32_t kMinWidth = 640;
constexpr uint32_t kMinHeight = 480;
constexpr uint32_t kMinFrequency = 8;

void AppendMode(TDisplayModeList& list, int32_t width, int32_t height, uint8_t bitsPerPixel, int32_t frequency)
{
    TScrResInfo& mode = list.Add();
    mode.Width = width;
    mode.Height = height;
    mode.BitsPerPixel = bitsPerPixel;
    mode.Frequency = frequency;
    mode.Text = DisplayModeText(mode);
}

void AppendFallbackModes(TDisplayModeList& list)
{
    static const int32_t kSizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
    static const uint8_t kDepths[] = {8, 16, 24, 32};
    for (const auto& size : kSizes) {
        for (uint8_t depth : kDepths) AppendMode(list, size[0], size[1], depth, 0);
    }
}

}  // namespace

bool IsOfferedDriverMode(const TDriverMode& mode)
{
    return mode.PelsWidth >= kMinWidth && mode.PelsHeight >= kMinHeight && mode.DisplayFrequency >= kMinFrequency;
}

std::string DisplayModeText(const TScrResInfo& mode)
{
    // No snprintf: Debian's arm64 Wine 8, under which the ARM64 build is run here, misreads the
    // va_list of its printf family and would end the program at the first mode.
    return std::to_string(static_cast<int>(mode.Width)) + " x " + std::to_string(static_cast<int>(mode.Height)) +
           " x " + std::to_string(static_cast<int>(mode.BitsPerPixel)) + "bpp x " +
           std::to_string(static_cast<int>(mode.Frequency)) + "Hz";
}

void FillDisplayModeList(TDisplayModeList& list, const std::vector<TDriverMode>& driverModes)
{
    for (const TDriverMode& mode : driverModes) {
        if (!IsOfferedDriverMode(mode)) continue;
        AppendMode(list, static_cast<int32_t>(mode.PelsWidth), static_cast<int32_t>(mode.PelsHeight),
                   static_cast<uint8_t>(mode.BitsPerPel & 0xFF), static_cast<int32_t>(mode.DisplayFrequency));
    }
    if (list.Empty()) AppendFallbackModes(list);
}

int FindDisplayModeIndex(const TDisplayModeList& list, TCurrentMode current)
{
    if (current.Refresh == 1) current.Refresh = 0;
    if (current.Width == 0 || current.Height == 0 || current.BitsPerPixel == 0) {
        current.Width = 800;
        current.Height = 600;
        current.BitsPerPixel = 16;
    }
    for (size_t i = 0; i < list.Count(); ++i) {
        const TScrResInfo& mode = list.At(static_cast<long long>(i));
        if (mode.Width == current.Width && mode.Height == current.Height &&
            static_cast<int32_t>(mode.BitsPerPixel) == current.BitsPerPixel && mode.Frequency == current.Refresh) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

uint32_t DisplayModeFields(int32_t width, int32_t height, uint8_t bitsPerPixel, int32_t frequency)
{
    uint32_t fields = 0;
    if (width > 0 && height > 0) fields |= kFieldPelsWidth | kFieldPelsHeight;
    if (bitsPerPixel != 0) fields |= kFieldBitsPerPel;
    if (frequency != 0) fields |= kFieldDisplayFrequency;
    return fields;
}
