#!/usr/bin/env python3
"""Checks the release archive of one build: exactly the expected files; in its programs the machine,
subsystem, system versions and mitigations the PE headers declare, PE-only imports, the manifest
and the resources."""
import struct
import subprocess
import sys
import tempfile
import zipfile

archive, objdump, version, build, manifest_template = sys.argv[1:6]
expected = {"tarn_logon.exe", "LangPack.dll", "LangPack_de.dll", "tarn_logon.ini", "winpeshl.ini", "VERSION.txt",
            "tarn-pe", "tarn-pe.txt"}
allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "comctl32.dll",
           "msvcrt.dll", "ole32.dll", "shlwapi.dll", "ntdll.dll", "comdlg32.dll", "version.dll",
           "uxtheme.dll", "powrprof.dll", "bcrypt.dll", "iphlpapi.dll", "crypt32.dll", "cfgmgr32.dll", "setupapi.dll"}
# Loaded at run time where the image has it: imported, it would stop the start on a plain Windows PE.
run_time_only = {"wlanapi.dll"}

# Per build: the machine, the manifest's name for it, the C runtime and the (operating system,
# subsystem) versions the headers ask for. None asks for more than Windows 7 (6.1), the oldest
# system the code supports; ARM64 Windows starts at 10 anyway. The ARM64 build's runtime is the
# Universal CRT (ucrtbase.dll, through its api-ms-win-crt names), part of every Windows 10 and
# later system, Windows PE included.
builds = {
    "x86": (0x014C, "x86", "msvcrt", (4, 0), (4, 0)),
    "x64": (0x8664, "amd64", "msvcrt", (4, 0), (5, 2)),
    "arm64": (0xAA64, "arm64", "ucrt", (6, 0), (6, 0)),
    "x64-clang": (0x8664, "amd64", "ucrt", (6, 0), (6, 0)),  # the second-compiler build, not shipped
}
machine, manifest_arch, crt, os_version, subsystem_version = builds[build]
GUI, DYNAMIC_BASE, NX_COMPAT = 2, 0x0040, 0x0100
RT_STRING, RT_DIALOG, RT_VERSION, RT_MANIFEST = 6, 5, 16, 24
resources_needed = {
    "tarn_logon.exe": {RT_MANIFEST, RT_VERSION, RT_DIALOG},
    "LangPack.dll": {RT_STRING, RT_DIALOG, "AVI"},
    "LangPack_de.dll": {RT_STRING, RT_DIALOG, "AVI"},
}


def read_pe(data):
    """The header fields checked here, and the resources as {type: {name: bytes}} (first language)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    file_machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    header = {
        "machine": file_machine,
        "os": struct.unpack_from("<HH", data, opt + 40),
        "subsystem_version": struct.unpack_from("<HH", data, opt + 48),
        "subsystem": struct.unpack_from("<H", data, opt + 68)[0],
        "dll_characteristics": struct.unpack_from("<H", data, opt + 70)[0],
    }
    directories = opt + (96 if magic == 0x10B else 112)
    resource_rva, resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
    table = [struct.unpack_from("<8sIIII", data, opt + optional_size + 40 * i) for i in range(sections)]

    def offset(rva):
        for _, size, address, raw_size, raw in table:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError(f"RVA {rva:#x} lies in no section")

    base = offset(resource_rva) if resource_size else None

    def entries(at):
        named, numbered = struct.unpack_from("<HH", data, base + at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
            if name & 0x80000000:
                length = struct.unpack_from("<H", data, base + (name & 0x7FFFFFFF))[0]
                start = base + (name & 0x7FFFFFFF) + 2
                name = data[start:start + 2 * length].decode("utf-16-le")
            yield name, target

    resources = {}
    if base is not None:
        for type_id, names in entries(0):
            for name, languages in entries(names & 0x7FFFFFFF):
                _, leaf = next(entries(languages & 0x7FFFFFFF))
                rva, size = struct.unpack_from("<II", data, base + leaf)
                resources.setdefault(type_id, {})[name] = data[offset(rva):offset(rva) + size]
    return header, resources


failures = []
with open(manifest_template, encoding="utf-8") as f:
    expected_manifest = (f.read().replace("@TARN_MANIFEST_ARCH@", manifest_arch)
                         .replace("@PROJECT_VERSION@", version).strip())
with zipfile.ZipFile(archive) as z:
    names = set(z.namelist())
    if names != expected:
        failures.append(f"archive holds {sorted(names)}, expected {sorted(expected)}")
    # Unpacked on Linux, tarn-pe must run as it is: one file, the zipapp of tools/tarn_pe.
    if "tarn-pe" in names and not (z.getinfo("tarn-pe").external_attr >> 16) & 0o100:
        failures.append("tarn-pe is not executable in the archive")
    if "tarn-pe" in names:
        with tempfile.TemporaryDirectory() as folder:
            tool = z.extract("tarn-pe", folder)
            helped = subprocess.run([sys.executable, tool, "--help"], capture_output=True, text=True)
            if not z.read("tarn-pe").startswith(b"#!/usr/bin/env python3\n") or "install" not in helped.stdout:
                failures.append(f"tarn-pe from the archive does not run: {helped.stderr.strip()[-300:]}")
    if version not in z.read("VERSION.txt").decode():
        failures.append("VERSION.txt does not name the version")
    with tempfile.TemporaryDirectory() as folder:
        for program, needed in resources_needed.items():
            path = z.extract(program, folder)
            header, resources = read_pe(z.read(program))
            if header["machine"] != machine:
                failures.append(f"{program} is for machine {header['machine']:#06x}, not {machine:#06x}")
            if program.endswith(".exe") and header["subsystem"] != GUI:
                failures.append(f"{program} has subsystem {header['subsystem']}, not the GUI's")
            if header["os"] != os_version or header["subsystem_version"] != subsystem_version:
                failures.append(f"{program} asks for system {header['os']}, subsystem {header['subsystem_version']}")
            if header["dll_characteristics"] & (DYNAMIC_BASE | NX_COMPAT) != DYNAMIC_BASE | NX_COMPAT:
                failures.append(f"{program} lacks DYNAMIC_BASE or NX_COMPAT")
            if needed - resources.keys():
                failures.append(f"{program} lacks resources of type {sorted(map(str, needed - resources.keys()))}")
            if program.endswith(".exe"):
                manifest = resources.get(RT_MANIFEST, {}).get(1, b"").decode("utf-8", "replace").strip()
                if manifest != expected_manifest:
                    failures.append(f"{program}'s manifest is not the template's for {manifest_arch}")
            dump = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
            dlls = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
            foreign = {dll for dll in dlls - allowed
                       if not (crt == "ucrt" and (dll == "ucrtbase.dll" or
                                                  (dll.startswith("api-ms-win-crt-") and dll.endswith("-l1-1-0.dll"))))}
            if not dlls or foreign:
                failures.append(f"{program} imports {sorted(foreign) or 'nothing'}")
            if dlls & run_time_only:
                failures.append(f"{program} imports {sorted(dlls & run_time_only)}, which it must load at run time")
            # The C runtime is one of them, never a MinGW or C++ runtime DLL beside it.
            if crt == "msvcrt" and "msvcrt.dll" not in dlls:
                failures.append(f"{program} does not import msvcrt.dll")
for failure in failures:
    print("FAIL:", failure)
print("package check:", "failed" if failures else "passed", archive)
sys.exit(1 if failures else 0)
