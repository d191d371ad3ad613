#include "shellctl/command_line.h"

#include <cstring>

bool IsSetPasswordMode(int argc, const char* const* argv)
{
    return argc > 1 && argv && argv[1] && std::strcmp(argv[1], "setpass") == 0;
}
