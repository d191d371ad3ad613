"""What every part of tarn-pe shares: its one way of stopping, and where Tarn Logon's files go."""
import os
import re

SYSTEM32 = "/Windows/System32"
PROGRAM = "tarn_logon.exe"
SETTINGS = "tarn_logon.ini"
ENGLISH_MODULE = "LangPack.dll"
LAUNCHER = "winpeshl.ini"
KEPT_LAUNCHER = "winpeshl.ini.before-tarn"
HIVE = "config/SOFTWARE"
LAUNCHER_TEXT = b"[LaunchApps]\r\n%SYSTEMROOT%\\System32\\tarn_logon.exe\r\n"
# Only names of our own making are ever deleted from an image.
OUR_MODULE = re.compile(r"langpack(_\w+)?\.dll", re.IGNORECASE)
# The drivers folder beside the program; System32 has a "drivers" folder of its own.
DRIVERS = "TarnDrivers"


class Refusal(Exception):
    """A reason to stop, in one line; raised before the image is touched unless it says otherwise."""


def package_home():
    """Where the package lies: tools/ in the source tree, or the zipapp file a release archive holds."""
    return os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def stage(work, name, data):
    """data as the file work/name, for the tools that take files only (wimlib, hivex)."""
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def launches_us(launcher):
    return PROGRAM.encode() in launcher.lower()
