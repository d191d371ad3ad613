#include "envdialog/form_rules.h"

#include <gtest/gtest.h>

// Rows of long-form controls that overlap make one band; a band ends at the next control that
// stays, or at the form's bottom; a control that stays moves up by the bands above it only.
TEST(ShortFormBands, EndAtTheNextStayingControlAndShiftOnlyWhatLiesBelow)
{
    struct Row {
        std::vector<int> longTops, stayingTops;
        int bottom;
        std::vector<FormBand> bands;
    } rows[] = {
        {{}, {10, 200}, 300, {}},
        {{120, 100, 140}, {10, 200}, 300, {{100, 200}}},   // one template band, tops in any order
        {{100, 260}, {10, 200}, 300, {{100, 200}, {260, 300}}},  // and rows added below the template
        {{100, 150}, {10, 120}, 300, {{100, 120}, {150, 300}}},  // a staying control splits a band
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ShortFormBands(row.longTops, row.stayingTops, row.bottom), row.bands) << row.longTops.size();
    }
    const std::vector<FormBand> bands{{100, 200}, {260, 300}};
    EXPECT_EQ(ShortFormShift(bands, 10), 0);
    EXPECT_EQ(ShortFormShift(bands, 199), 0) << "inside a band: not below it";
    EXPECT_EQ(ShortFormShift(bands, 200), 100);
    EXPECT_EQ(ShortFormShift(bands, 300), 140);
    EXPECT_EQ(ShortFormSaving(bands), 140);
}
