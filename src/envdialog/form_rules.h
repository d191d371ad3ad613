// The environment dialog's short form as arithmetic on its long form, in client pixels with y
// growing downward; no platform calls.
#pragma once

#include <vector>

// A horizontal band [Top, Bottom) of the long form that the short form leaves out.
struct FormBand {
    int Top = 0;
    int Bottom = 0;
    friend bool operator==(const FormBand& a, const FormBand& b) { return a.Top == b.Top && a.Bottom == b.Bottom; }
};

// The bands of the long form, top to bottom: each runs from the top of a row of long-form
// controls to the top of the next control below it that stays in the short form (or formBottom),
// so the gap above the band is kept. A long-form row that begins inside a band belongs to it.
std::vector<FormBand> ShortFormBands(std::vector<int> longFormTops, const std::vector<int>& stayingTops,
                                     int formBottom);

// How far a control that stays, with its top at top in the long form, moves up in the short form:
// the height of every band above it.
int ShortFormShift(const std::vector<FormBand>& bands, int top);

// How much shorter the short form is than the long one.
int ShortFormSaving(const std::vector<FormBand>& bands);
