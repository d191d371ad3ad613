// What Windows PE's own start-up would have done before the program, had winpeshl.ini not put
// the program in startnet.cmd's place: wpeinit, then the storage and other drivers the medium
// carries, so that the autorun, the password and the first scan meet a prepared system.
#pragma once

// On Windows PE only: wpeinit.exe unless RunWpeInit=NO or it already ran this boot, then every
// .inf of DriverFolder= loaded with drvload, then the Wi-Fi profiles of WifiProfiles=, with the
// scan dialog telling which step runs. Each
// step, done or skipped, has its line in the run log.
void RunWindowsPeStartUp();
