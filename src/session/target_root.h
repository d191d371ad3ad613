// The target root as the shell and everything it starts see it: the machine-wide environment
// variable TARGET_ROOT.
#pragma once

#include <string>

// Publishes TARGET_ROOT machine-wide, to the program's own environment and by broadcast.
void PublishTargetRoot(const std::string& text);

// Writes (or, for empty text, deletes) a machine environment variable, sets it in the program's
// own environment and announces the change. False when the machine environment key could not be
// opened or created.
bool PublishSystemVariable(const std::string& name, const std::string& value);
