// The display the suite runs on, and what its driver must offer for the display-mode tests to
// mean anything.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Success when the driver offers exactly 1280x1024 at 32, 16 and 8 bpp at 0 Hz (Xvfb 1280x1024x24
// as the test scripts start it, with 32-bit Wine's X libraries); otherwise a failure that names
// what was found.
testing::AssertionResult IsTheTestDisplay();

// The sixteen lines of the fallback table, in order.
std::vector<std::string> FallbackModeLines();

// The mode in force and the stored one, as "width x height x depth" each.
std::string DisplayInForceAndStored();
