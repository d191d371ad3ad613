// Command lines as the run log may hold them: autorun entries, shells and hot-key programs are
// configured by the site, and a `net use` in a RunOnce entry carries its password in clear text.
// No platform calls.
#pragma once

#include <string>
#include <string_view>

// The command line with every credential it visibly carries replaced by ***, the rest byte for
// byte. Arguments are split as CreateProcess's programs split them: at blanks and tabs outside
// double quotes, a quoted stretch belonging to its argument. Masked are:
// - the value of a switch named p, pass, password or pwd (any letter case): /p:x, /pwd=x, -p:x,
//   --password=x and the bare password=x; after -p, --pass and /password (not /p, a common
//   flag of its own: xcopy /p, del /p) the next argument;
// - in `net use` (net, net1, with or without .exe and a folder, also behind cmd /c), the
//   password positional, the first argument after the share that is no switch, wherever it
//   stands (a * asks for it and stays), and the part after a second colon of /user:name:pass;
//   in `net user`, the positional after the user name (again not a *);
// - the password of a URL's user:pass@;
// - behind their own programs only: manage-bde's -rp and -RecoveryPassword, plink's, pscp's and
//   psftp's -pw, schtasks' /rp and /p (the next argument each); the part after the first colon
//   of curl's -u, -U, --user and --proxy-user (also glued: -uname:pass); the password glued to
//   7z's, 7za's and 7zr's -p and to rar's, unrar's and WinRAR's -p and -hp (-pSecret);
// - all of this also inside a command line quoted after cmd's /c or /k (any letter case, cmd's
//   other switches such as /s before it, the closing quote there or not), which cmd splits anew.
std::string MaskCommandCredentials(std::string_view commandLine);
