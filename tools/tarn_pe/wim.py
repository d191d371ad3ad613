"""The WIM file through wimlib-imagex: one image of it, its System32 folder, and its architecture."""
import hashlib
import os
import re
import subprocess

from tarn_pe.common import SYSTEM32, Refusal
from tarn_pe.pe import MACHINES, pe_machine

# What `wimlib-imagex info` calls the architectures in a WIM's metadata.
WIM_ARCHITECTURES = {"x86": "x86", "x86_64": "x64", "ARM64": "arm64"}
EMULATION_WARNING = ("warning: the x64 build runs on this ARM64 Windows PE only where the image's builder "
                     "added its x64 emulation component (ARM64 Windows PE from the 26100 kit on); "
                     "the ARM64 build needs none")


def wimlib(*args, stdin=None):
    # Case-blind paths, as Windows has them; without this /windows/system32 would be a new folder.
    env = dict(os.environ, WIMLIB_IMAGEX_IGNORE_CASE="1")
    try:
        return subprocess.run(["wimlib-imagex", *args], input=stdin, capture_output=True, env=env)
    except FileNotFoundError:
        raise Refusal("wimlib-imagex is missing: install wimtools (Debian, Ubuntu) or wimlib")


def wimlib_reason(run):
    lines = [line.strip() for line in run.stderr.decode(errors="replace").splitlines() if line.strip()]
    errors = [line for line in lines if line.startswith(("[ERROR]", "ERROR:"))]
    return (errors[0] if errors else lines[-1] if lines else f"exit code {run.returncode}").split("] ", 1)[-1]


class Image:
    """One image of a WIM file, with the exact names of what its System32 folder holds."""

    def __init__(self, wim, index, writable):
        """index None: the WIM's boot image, which is what a medium starts (image 1 without one)."""
        if not os.path.isfile(wim):
            raise Refusal(f"{wim} is not a file")
        if writable and (not os.access(wim, os.W_OK) or not os.stat(wim).st_mode & 0o222):
            raise Refusal(f"{wim} is read-only")
        self.wim = wim
        self.count, self.boot = self._header()
        self.index = index or self.boot or 1
        if not 1 <= self.index <= self.count:
            raise Refusal(f"{wim} has no image {self.index} (it holds {self.count})")
        self.list_system32()

    def _header(self):
        run = wimlib("info", self.wim)
        if run.returncode != 0:
            raise Refusal(f"cannot read {self.wim} as a WIM file: {wimlib_reason(run)}")
        fields = dict(re.findall(r"^([A-Za-z ]+?):\s*(.*?)\s*$", run.stdout.decode(errors="replace"), re.M))
        if fields.get("Part Number", "1/1") != "1/1":
            raise Refusal(f"{self.wim} is one part of a split WIM, which cannot be changed in place")
        return int(fields["Image Count"]), int(fields.get("Boot Index", "0"))

    def metadata_architecture(self):
        """The Architecture of this image in the WIM's metadata as wimlib names it, or None."""
        run = wimlib("info", self.wim, str(self.index))
        found = re.search(r"^Architecture:\s*(\S+)", run.stdout.decode(errors="replace"), re.M)
        return found.group(1) if run.returncode == 0 and found else None

    def list_system32(self):
        run = wimlib("dir", self.wim, str(self.index), "--path=" + SYSTEM32)
        lines = run.stdout.decode("utf-8", errors="replace").splitlines()
        if run.returncode != 0 or not lines:
            raise Refusal(f"image {self.index} of {self.wim} has no \\Windows\\System32: not a Windows PE image")
        self.system32 = lines[0]
        self.names = {line[len(self.system32) + 1:].lower(): line for line in lines[1:]}

    def path(self, name):
        """The image's own spelling of System32/name; a new name goes into its System32 as given."""
        return self.names.get(name.lower(), f"{self.system32}/{name}")

    def has(self, name):
        return name.lower() in self.names

    def read(self, name):
        if not self.has(name):
            return None
        run = wimlib("extract", self.wim, str(self.index), self.path(name), "--to-stdout", "--no-globs")
        if run.returncode != 0:
            raise Refusal(f"cannot read {self.path(name)} from {self.wim}: {wimlib_reason(run)}")
        return run.stdout

    def update(self, commands):
        """Applies all commands in one wimlib run: it writes the image only when all of them work."""
        script = "".join(" ".join([word] + [f'"{arg}"' for arg in args]) + "\n" for word, *args in commands)
        run = wimlib("update", self.wim, str(self.index), stdin=script.encode("utf-8"))
        if run.returncode != 0:
            raise Refusal(f"wimlib-imagex could not change {self.wim}: {wimlib_reason(run)}")
        if self._header() != (self.count, self.boot):
            raise Refusal(f"{self.wim} changed its image count or boot index: check it with 'wimlib-imagex info'")
        self.list_system32()

    def check_read_back(self, files):
        """Refuses when one of files ({name in System32: bytes}) does not read back as written."""
        for name, data in files.items():
            back = self.read(name)
            if back is None or hashlib.sha256(back).digest() != hashlib.sha256(data).digest():
                raise Refusal(f"{self.path(name)} does not read back as written: check the image with "
                              "'tarn-pe status'")


def described(arch):
    return {"x86": "a 32-bit (x86)", "x64": "a 64-bit (x64)", "arm64": "an ARM64"}[arch]


def architecture(image):
    """The image's architecture: what its WIM metadata says and what machine its winpeshl.exe (in an
    image without one, its kernel) is built for. An image on which the two disagree is refused, as
    either could be the stale one."""
    said = image.metadata_architecture()
    if said is not None and said not in WIM_ARCHITECTURES:
        raise Refusal(f"image {image.index} of {image.wim} is an {said} Windows PE (its WIM metadata says so): "
                      "Tarn Logon has builds for x86, x64 and ARM64 only")
    said = WIM_ARCHITECTURES.get(said)
    name = next((n for n in ("winpeshl.exe", "ntoskrnl.exe") if image.has(n)), None)
    if name is None:
        raise Refusal(f"image {image.index} of {image.wim} has no \\Windows\\System32\\winpeshl.exe or "
                      "ntoskrnl.exe: not a Windows PE image")
    machine = pe_machine(image.read(name))
    if machine not in MACHINES:
        raise Refusal(f"{name} of image {image.index} is not a Windows program for x86, x64 or ARM64 "
                      f"(machine {'unreadable' if machine is None else hex(machine)})")
    found = MACHINES[machine]
    if said is not None and said != found:
        raise Refusal(f"image {image.index} of {image.wim} says two things: its WIM metadata {described(said)} "
                      f"Windows PE, its \\Windows\\System32\\{name} {described(found)} one; check which is "
                      f"right with 'wimlib-imagex info' and 'wimlib-imagex dir'")
    return found


def runs_on(program, image):
    """None when a build runs on an image of that architecture, else why not; "emulated" for the one
    pairing that needs an optional component of the image."""
    if program == image:
        return None
    if (program, image) == ("x64", "arm64"):
        return "emulated"
    return f"{described(program)} build does not run on {described(image)} Windows PE"
