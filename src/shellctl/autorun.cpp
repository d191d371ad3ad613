#include "shellctl/autorun.h"

// The registry autorun arrives with its own change; until then nothing is run.
void ProcessRunOnceEx() {}
void ProcessRunOnce() {}
void ProcessRun() {}
