// The image's registry autostart entries, run once at start-up when UseRegRun allows.
#pragma once

void ProcessRunOnceEx();
void ProcessRunOnce();
void ProcessRun();
