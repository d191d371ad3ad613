"""tarn_logon.ini as the program reads it (src/session/settings_text.cpp), for the values tarn-pe
needs and the lines it adds."""
from tarn_pe.common import ENGLISH_MODULE

# The order in which the program tests a settings line for its keys: the first key found decides.
# A test holds this to the program's own table.
SETTINGS_KEYS = ("CADApplication=", "CSEApplication=", "UseRegRun=", "ShutdownEmulate=",
                 "LangModuleName=", "LessLogonMode=", "EnableRebootButton=", "LogFile=", "RunWpeInit=",
                 "DriverFolder=", "TimeZoneFromTarget=", "WifiProfiles=", "StaticAddress=",
                 "ProxyServer=", "ProxyBypass=", "WaitForNetwork=", "NetworkDrive=",
                 "MatchDrivers=")
# The program's line ends and blanks: a zero byte ends the text, and every byte up to a space is
# trimmed off a value.
BLANKS = bytes(range(0x21))


def setting_values(settings, wanted):
    """The values of every line above [Shell] that the program reads as the key wanted, in order."""
    values = []
    for line in settings.split(b"\0", 1)[0].splitlines():
        text = line.decode("latin-1")
        key = next((k for k in SETTINGS_KEYS if k in text), None)
        if key is None and "[Shell]" in text:
            break
        if key == wanted:
            values.append(line.split(b"=", 1)[1].strip(BLANKS).decode("latin-1"))
    return values


def language_module(settings):
    """The language module the program will load with these settings (bytes of the file)."""
    return next((v for v in reversed(setting_values(settings, "LangModuleName=")) if v), ENGLISH_MODULE)


def driver_folder(settings):
    """What DriverFolder= says in the end ("" for none)."""
    return (setting_values(settings, "DriverFolder=") or [""])[-1]


def with_setting(settings, key, value):
    """The settings with a line key=value just above [Shell], where the last one counts."""
    newline = b"\r\n" if b"\r\n" in settings else b"\n"
    line = key.encode("latin-1") + value.encode("latin-1") + newline
    lines = settings.splitlines(keepends=True)
    at = next((i for i, text in enumerate(lines) if b"[Shell]" in text
               and not any(k.encode() in text for k in SETTINGS_KEYS)), len(lines))
    if at == len(lines) and lines and not lines[-1].endswith(b"\n"):
        lines[-1] += newline
    return b"".join(lines[:at] + [line] + lines[at:])


def with_language_module(settings, module):
    return with_setting(settings, "LangModuleName=", module)
