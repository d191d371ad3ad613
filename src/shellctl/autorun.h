// The image's machine-wide autostart entries, run once at start-up when UseRegRun allows:
// RunOnceEx first, then RunOnce, then Run, as Windows orders them, so that once-only set-up
// work is done before the programs that run at every start.
#pragma once

#include <string>

// Whether the autorun runs at this start: UseRegRun on, and on Windows PE, or else UseRegRun=YES
// written in the settings, as the Run keys of a full Windows belong to that computer. A skip is
// logged with its reason.
bool IsAutorunWanted();

// Each section (subkey) of RunOnceEx in turn: its entries one after the other, each for at most
// 5 s, then the section with everything below it is deleted. The key itself and its own values stay.
void ProcessRunOnceEx();

// The entries of one RunOnceEx section, given by its full path from the root; each value is
// deleted after its run. The unnamed value is the section's title: neither run nor deleted here.
void ProcessRunOnceExSection(const std::string& sectionPath);

// Every RunOnce entry started hidden, without waiting; each deleted right after its start.
void ProcessRunOnce();

// Every Run entry started hidden, without waiting; nothing deleted.
void ProcessRun();
