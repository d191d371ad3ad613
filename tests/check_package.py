#!/usr/bin/env python3
"""Checks the release archive: exactly the expected files, and PE-only imports in its programs."""
import subprocess
import sys
import tempfile
import zipfile

archive, objdump, version = sys.argv[1], sys.argv[2], sys.argv[3]
expected = {"tarn_logon.exe", "LangPack.dll", "LangPack_de.dll", "tarn_logon.ini", "winpeshl.ini", "VERSION.txt",
            "tarn-pe", "tarn-pe.txt"}
allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "comctl32.dll",
           "msvcrt.dll", "ole32.dll", "shlwapi.dll", "ntdll.dll", "comdlg32.dll", "version.dll",
           "uxtheme.dll", "powrprof.dll", "bcrypt.dll", "iphlpapi.dll", "setupapi.dll", "cfgmgr32.dll"}
failures = []
with zipfile.ZipFile(archive) as z:
    names = set(z.namelist())
    if names != expected:
        failures.append(f"archive holds {sorted(names)}, expected {sorted(expected)}")
    # Unpacked on Linux, tarn-pe must run as it is.
    if "tarn-pe" in names and not (z.getinfo("tarn-pe").external_attr >> 16) & 0o100:
        failures.append("tarn-pe is not executable in the archive")
    if version not in z.read("VERSION.txt").decode():
        failures.append("VERSION.txt does not name the version")
    with tempfile.TemporaryDirectory() as folder:
        for program in ("tarn_logon.exe", "LangPack.dll", "LangPack_de.dll"):
            path = z.extract(program, folder)
            dump = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
            dlls = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
            if not dlls or dlls - allowed:
                failures.append(f"{program} imports {sorted(dlls - allowed) or 'nothing'}")
for failure in failures:
    print("FAIL:", failure)
print("package check:", "failed" if failures else "passed", archive)
sys.exit(1 if failures else 0)
