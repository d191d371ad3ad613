// Which mode the command line selects. No platform calls.
#pragma once

// True when the first argument is exactly "setpass" (byte for byte, case-sensitive). Only the
// first argument counts: further arguments are ignored in either mode. argv as the C runtime
// hands it to the program, argv[0] being the program itself.
bool IsSetPasswordMode(int argc, const char* const* argv);
