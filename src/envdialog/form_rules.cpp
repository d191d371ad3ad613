#include "envdialog/form_rules.h"

#include <algorithm>

std::vector<FormBand> ShortFormBands(std::vector<int> longFormTops, const std::vector<int>& stayingTops,
                                     int formBottom)
{
    std::sort(longFormTops.begin(), longFormTops.end());
    std::vector<FormBand> bands;
    for (int top : longFormTops) {
        if (!bands.empty() && top < bands.back().Bottom) continue;
        int bottom = formBottom;
        for (int stayingTop : stayingTops) {
            if (stayingTop >= top) bottom = std::min(bottom, stayingTop);
        }
        bands.push_back(FormBand{top, bottom});
    }
    return bands;
}

int ShortFormShift(const std::vector<FormBand>& bands, int top)
{
    int shift = 0;
    for (const FormBand& band : bands) {
        if (top >= band.Bottom) shift += band.Bottom - band.Top;
    }
    return shift;
}

int ShortFormSaving(const std::vector<FormBand>& bands)
{
    int saving = 0;
    for (const FormBand& band : bands) saving += band.Bottom - band.Top;
    return saving;
}
