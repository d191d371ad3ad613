"""tarn-pe against a small Windows PE image made here: install, status and remove, each checked by
extracting from the image and reading its hive with hivex; refusals leave the WIM byte for byte.

Run with the Debian system Python, which has the hivex binding: /usr/bin/python3 test_tarn_pe.py
"""
import hashlib
import importlib.machinery
import importlib.util
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import hivex

from minimal_hive import minimal_hive, with_sequences

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TOOL = os.path.join(ROOT, "tools", "tarn-pe")
ENV = dict(os.environ, WIMLIB_IMAGEX_IGNORE_CASE="1")
PASS_KEY = bytes([1]) + struct.pack("<I", 600_000) + bytes(range(16)) + hashlib.sha256(b"pw").digest()
ORIGINAL_LAUNCHER = b"[LaunchApps]\r\n%SYSTEMDRIVE%\\startnet.cmd\r\n"


def fake_pe(machine, version=None):
    """A PE header with the Machine field, and a version resource when a version is given."""
    data = bytearray(0x200)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, 0x80)
    struct.pack_into("<4sH", data, 0x80, b"PE\0\0", machine)
    if version:
        major, minor, patch = version
        data += struct.pack("<HHH", 0x2E4, 0x34, 0) + "VS_VERSION_INFO\0".encode("utf-16-le") + bytes(2)
        data += struct.pack("<IIII", 0xFEEF04BD, 0x10000, major << 16 | minor, patch << 16) + bytes(36)
    return bytes(data)


def password_file(key, agree=True):
    listed = ",".join(f"{b:02x}" for b in key)
    spelled = key.hex() if agree else key[:-1].hex() + "00"
    lines = ["; Note: for set password, please add noncomment contents of this file",
             "; in Tarn Desk plyg-in ini file and recompile yours Corvin`s PE",
             "; the password itself is not stored here", "", "[Software.AddReg]",
             '0x3, "Quillon\\TarnDesk\\1.5","PassKey", ' + listed, "",
             '; reg add "HKLM\\PE_SOFT\\Quillon\\TarnDesk\\1.5" /v PassKey /t REG_BINARY /d ' + spelled,
             '; reg delete "HKLM\\PE_SOFT\\Quillon\\TarnDesk\\1.5" /v PassHash /f']
    return ("\r\n".join(lines) + "\r\n").encode()


LEGACY_FILE = (b'; current password: "ab"\r\n\r\n[Software.AddReg]\r\n'
               b'0x4, "Quillon\\TarnDesk\\1.5","PassHash", 0x2E4A8F72\r\n\r\n')


def software_hive(folder):
    """A hive that already holds a legacy PassHash and another value of ours that must survive."""
    path = os.path.join(folder, "SOFTWARE.gen")
    with open(path, "wb") as f:
        f.write(minimal_hive())
    hive = hivex.Hivex(path, write=True)
    node = hive.root()
    for name in ("Quillon", "TarnDesk", "1.5"):
        node = hive.node_add_child(node, name)
    hive.node_set_values(node, [{"key": "PassHash", "t": 4, "value": struct.pack("<I", 0x2E4A8F72)},
                                {"key": "Keep", "t": 1, "value": "x\0".encode("utf-16-le")}])
    hive.commit(path)
    with open(path, "rb") as f:
        return f.read()


class TarnPeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tarn-pe-test-")
        cls.build = os.path.join(cls.work, "x86")
        os.makedirs(cls.build)
        for name, data in {"tarn_logon.exe": fake_pe(0x14C, (1, 5, 0)), "LangPack.dll": fake_pe(0x14C, (1, 5, 0)),
                           "LangPack_de.dll": fake_pe(0x14C, (1, 5, 0)), "extra.dll": b""}.items():
            cls.write(os.path.join(cls.build, name), data)
        shutil.copy(os.path.join(ROOT, "config", "tarn_logon.ini"), cls.build)
        cls.hive = software_hive(cls.work)
        cls.passwords = os.path.join(cls.work, "tarn_password.txt")
        cls.write(cls.passwords, password_file(PASS_KEY))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    @staticmethod
    def write(path, data):
        with open(path, "wb") as f:
            f.write(data)

    def make_image(self, name, machine=0x14C, hive=None):
        """A two-image WIM; image 1 is the boot image. System32 spelled as some older images do."""
        tree = os.path.join(self.work, name + ".tree")
        system32 = os.path.join(tree, "Windows", "system32")
        os.makedirs(os.path.join(system32, "config"))
        self.write(os.path.join(system32, "ntoskrnl.exe"), fake_pe(machine))
        self.write(os.path.join(system32, "config", "SOFTWARE"), hive or self.hive)
        self.write(os.path.join(system32, "winpeshl.ini"), ORIGINAL_LAUNCHER)
        wim = os.path.join(self.work, name + ".wim")
        for verb in ("capture", "append"):
            subprocess.run(["wimlib-imagex", verb, tree, wim, f"PE {verb}"] + (["--boot"] if verb == "capture" else []),
                           check=True, capture_output=True)
        return wim

    def tarn_pe(self, *args, ok=True):
        run = subprocess.run([TOOL, *args], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0 if ok else 1, run.stdout + run.stderr)
        return run.stdout + run.stderr

    def extract(self, wim, path, index=1):
        run = subprocess.run(["wimlib-imagex", "extract", wim, str(index), path, "--to-stdout"],
                             capture_output=True, env=ENV)
        return run.stdout if run.returncode == 0 else None

    def listing(self, wim, index):
        return subprocess.run(["wimlib-imagex", "dir", wim, str(index)], capture_output=True, check=True).stdout

    def password_values(self, wim):
        path = os.path.join(self.work, "read-back.hive")
        self.write(path, self.extract(wim, "/Windows/System32/config/SOFTWARE"))
        hive = hivex.Hivex(path)
        node = hive.root()
        for name in ("Quillon", "TarnDesk", "1.5"):
            node = hive.node_get_child(node, name)
        return {hive.value_key(v): hive.value_value(v) for v in hive.node_values(node)}

    def test_install_status_remove(self):
        wim = self.make_image("roundtrip")
        other_image = self.listing(wim, 2)
        drivers = os.path.join(self.work, "drivers")
        for name in ("VMD/iaStorVD.inf", "VMD/iaStorVD.sys", "Chipset/x.inf"):
            os.makedirs(os.path.dirname(os.path.join(drivers, name)), exist_ok=True)
            self.write(os.path.join(drivers, name), name.encode())
        said = self.tarn_pe("install", wim, "--from", self.build, "--password-file", self.passwords, "--language", "de",
                            "--drivers", drivers)
        self.assertIn("Tarn Logon 1.5.0 (x86)", said)
        self.assertIn("drivers: 2 .inf", said)
        system32 = "/Windows/system32/"
        for name in ("tarn_logon.exe", "LangPack.dll", "LangPack_de.dll"):
            with open(os.path.join(self.build, name), "rb") as f:
                self.assertEqual(self.extract(wim, system32 + name), f.read(), name)
        self.assertIsNone(self.extract(wim, system32 + "extra.dll"))
        settings = self.extract(wim, system32 + "tarn_logon.ini")
        self.assertLess(settings.index(b"LangModuleName=LangPack_de.dll"), settings.index(b"[Shell]"))
        self.assertLess(settings.index(b"DriverFolder=TarnDrivers"), settings.index(b"[Shell]"))
        self.assertEqual(self.extract(wim, system32 + "TarnDrivers/VMD/iaStorVD.sys"), b"VMD/iaStorVD.sys")
        self.assertEqual(self.extract(wim, system32 + "winpeshl.ini"),
                         b"[LaunchApps]\r\n%SYSTEMROOT%\\System32\\tarn_logon.exe\r\n")
        self.assertEqual(self.extract(wim, system32 + "winpeshl.ini.before-tarn"), ORIGINAL_LAUNCHER)
        self.assertEqual(self.password_values(wim), {"PassKey": (3, PASS_KEY), "Keep": (1, "x\0".encode("utf-16-le"))})
        # Exact case kept: no second System32 beside the image's own, and image 2 untouched.
        self.assertNotIn(b"/Windows/System32", self.listing(wim, 1))
        self.assertEqual(self.listing(wim, 2), other_image)
        self.assertIn("Boot Index:     1", subprocess.run(["wimlib-imagex", "info", wim], capture_output=True,
                                                          text=True).stdout)

        # A second install keeps the original launcher and the password.
        self.tarn_pe("install", wim, "--from", self.build)
        self.assertEqual(self.extract(wim, system32 + "winpeshl.ini.before-tarn"), ORIGINAL_LAUNCHER)
        said = self.tarn_pe("status", wim)
        for expected in ("tarn_logon.exe: 1.5.0 (x86)", "LangPack.dll 1.5.0", "LangPack_de.dll 1.5.0",
                         "language module LangPack.dll", "starts Tarn Logon; winpeshl.ini.before-tarn kept",
                         "password: PassKey (PBKDF2-SHA256, 600,000 iterations)",
                         "drivers folder TarnDrivers: 2 .inf (Chipset/x.inf, VMD/iaStorVD.inf)"):
            self.assertIn(expected, said)

        self.tarn_pe("remove", wim)
        for name in ("tarn_logon.exe", "LangPack.dll", "LangPack_de.dll", "tarn_logon.ini", "winpeshl.ini.before-tarn"):
            self.assertIsNone(self.extract(wim, system32 + name), name)
        self.assertEqual(self.extract(wim, system32 + "winpeshl.ini"), ORIGINAL_LAUNCHER)
        self.assertEqual(list(self.password_values(wim)), ["Keep"])
        said = self.tarn_pe("status", wim)
        self.assertIn("tarn_logon.exe: not installed", said)
        self.assertIn("drivers folder: none", said)
        self.assertIn("password: none", said)
        self.assertIn("holds nothing of Tarn Logon", self.tarn_pe("remove", wim))
        subprocess.run(["wimlib-imagex", "verify", wim], check=True, capture_output=True)

        # A hive without our key gets it level by level: hivex makes no missing parents.
        fresh = self.make_image("fresh", hive=minimal_hive())
        self.tarn_pe("install", fresh, "--from", self.build, "--password-file", self.passwords)
        self.assertEqual(self.password_values(fresh), {"PassKey": (3, PASS_KEY)})

    def test_refusals_leave_the_image_unchanged(self):
        clean = self.make_image("clean")
        dirty = self.make_image("dirty", hive=with_sequences(self.hive, 7, 6))
        readonly = self.make_image("readonly")
        os.chmod(readonly, 0o444)
        files = {"legacy": LEGACY_FILE, "disagree": password_file(PASS_KEY, agree=False),
                 "zero-iterations": password_file(PASS_KEY[:1] + bytes(4) + PASS_KEY[5:])}
        for name, data in files.items():
            self.write(os.path.join(self.work, name), data)
        cases = [
            (dirty, ["--password-file", self.passwords], "not closed cleanly"),
            (self.make_image("x64", machine=0x8664), [], "use tarn-pe from tarn-logon-1.5.0-x64.zip"),
            (self.make_image("arm64", machine=0xAA64), [], "ARM64 Windows PE: Tarn Logon has no ARM64 build"),
            (readonly, ["--password-file", self.passwords], "is read-only"),
            (clean, ["--index", "3"], "has no image 3"),
            (clean, ["--password-file", os.path.join(self.work, "legacy")], "old PassHash form"),
            (clean, ["--password-file", os.path.join(self.work, "disagree")], "lines 6 and 8 give different"),
            (clean, ["--password-file", os.path.join(self.work, "zero-iterations")], "iteration count 0"),
            (clean, ["--language", "fr"], "LangPack_fr.dll, which"),
        ]
        for wim, extra, reason in cases:
            with self.subTest(reason):
                with open(wim, "rb") as f:
                    before = f.read()
                said = self.tarn_pe("install", wim, "--from", self.build, *extra, ok=False)
                self.assertIn(reason, said)
                self.assertEqual(len(said.strip().splitlines()), 1, said)
                with open(wim, "rb") as f:
                    self.assertTrue(f.read() == before, "the image changed")
        self.assertIn("not closed cleanly", self.tarn_pe("remove", dirty, ok=False))

    def test_version_of_the_real_build(self):
        """The readers against what the toolchain made, where a build is there (make test builds)."""
        loader = importlib.machinery.SourceFileLoader("tarn_pe", TOOL)
        tool = importlib.util.module_from_spec(importlib.util.spec_from_loader("tarn_pe", loader))
        loader.exec_module(tool)
        with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
            version = re.search(r"project\(TarnLogon VERSION ([\d.]+)", f.read()).group(1)
        builds = [(arch, machine) for arch, machine in (("x86", 0x14C), ("x64", 0x8664))
                  if os.path.isfile(os.path.join(ROOT, "build", arch, "bin", "tarn_logon.exe"))]
        if not builds:
            self.skipTest("no build in build/x86/bin or build/x64/bin")
        for arch, machine in builds:
            for name in ("tarn_logon.exe", "LangPack.dll"):
                with open(os.path.join(ROOT, "build", arch, "bin", name), "rb") as f:
                    data = f.read()
                self.assertEqual((tool.file_version(data), tool.pe_machine(data)), (version, machine), name)


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=1).result
    failed = len(result.failures) + len(result.errors)
    skipped = len(result.skipped)
    print(f"tarn-pe: {result.testsRun - failed - skipped} passed, {failed} failed, {skipped} skipped")
    sys.exit(1 if failed or not result.wasSuccessful() else 0)
