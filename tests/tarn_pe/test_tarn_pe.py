"""tarn-pe against a small Windows PE image made here: install, status and remove, each checked by
extracting from the image and reading its hive with hivex; refusals leave the WIM byte for byte.
Runs tools/tarn-pe, the zipapp the release archives ship, and the package's modules where a table
says more than the command line.

Run with the Debian system Python, which has the hivex binding: /usr/bin/python3 test_tarn_pe.py
"""
import contextlib
import datetime
import hashlib
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import warnings
from unittest import mock

import hivex
from cryptography import x509
from cryptography.exceptions import UnsupportedAlgorithm
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.serialization import pkcs7

from minimal_hive import minimal_hive, with_sequences

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TOOL = os.path.join(ROOT, "tools", "tarn-pe")
sys.path.insert(0, os.path.join(ROOT, "tools"))
import make_package  # noqa: E402  (from tools/, as the package)
from tarn_pe import commands, pe, settings  # noqa: E402
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


def efi_file(machine=0x8664):
    """A PE32+ file with an optional header and one section: as little as osslsigncode signs."""
    data = bytearray(0x400)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, 0x80)
    struct.pack_into("<4sHHIIIHH", data, 0x80, b"PE\0\0", machine, 1, 0, 0, 0, 112 + 16 * 8, 0x2022)
    struct.pack_into("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII", data, 0x98, 0x20B, 14, 0, 0x200, 0, 0, 0x1000, 0x1000,
                     0x10000, 0x1000, 0x200, 0, 0, 0, 0, 0, 0, 0, 0x2000, 0x400, 0, 10, 0,
                     0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    struct.pack_into("<8sIIIIIIHHI", data, 0x98 + 112 + 16 * 8, b".text", 0x200, 0x1000, 0x200, 0x400,
                     0, 0, 0, 0, 0x60000020)
    return bytes(data) + b"\xc3" + bytes(0x1FF)


class Signer:
    """Certificates with the real CAs' names and keys of the test's own, and files signed through them."""
    WINDOWS_ROOT = "Microsoft Root Certificate Authority 2010"
    CAS = {"Windows 2011": ("Microsoft Windows Production PCA 2011", True, WINDOWS_ROOT),
           "Windows 2023": ("Windows UEFI CA 2023", False, WINDOWS_ROOT),
           "third-party 2011": ("Microsoft Corporation UEFI CA 2011", True, "Microsoft Corporation Third Party Marketplace Root"),
           "third-party 2023": ("Microsoft UEFI CA 2023", False, "Microsoft RSA Devices Root CA 2021"),
           "impostor": ("Windows UEFI CA 2023", False, WINDOWS_ROOT),
           "other": ("Example Boot Signing CA", False, "Example Root")}

    def __init__(self, folder):
        self.folder = folder
        self.pairs, thumbprints = {}, {}
        for kind, (name, redmond, root) in self.CAS.items():
            root_pair = self.certificate(root, None, redmond)
            ca = self.certificate(name, root_pair, redmond)
            leaf = self.certificate("Microsoft Windows", ca, redmond)
            self.pairs[kind] = (leaf, ca)
            if kind in ("Windows 2011", "Windows 2023", "third-party 2011", "third-party 2023"):
                thumbprints[name] = ca[0].fingerprint(hashes.SHA1()).hex()
        self.table = os.path.join(folder, "thumbprints.json")
        with open(self.table, "w") as f:
            json.dump(thumbprints, f)

    @staticmethod
    def certificate(name, issuer, redmond):
        """(certificate, key) of name, signed by issuer's key (self-signed without one)."""
        key = ec.generate_private_key(ec.SECP256R1())
        parts = [(x509.NameOID.COUNTRY_NAME, "US")]
        if redmond:
            parts += [(x509.NameOID.STATE_OR_PROVINCE_NAME, "Washington"), (x509.NameOID.LOCALITY_NAME, "Redmond")]
        parts += [(x509.NameOID.ORGANIZATION_NAME, "Microsoft Corporation"), (x509.NameOID.COMMON_NAME, name)]
        subject = x509.Name([x509.NameAttribute(oid, value) for oid, value in parts])
        now = datetime.datetime.now(datetime.timezone.utc)
        cert = (x509.CertificateBuilder().subject_name(subject)
                .issuer_name(issuer[0].subject if issuer else subject).public_key(key.public_key())
                .serial_number(x509.random_serial_number()).not_valid_before(now - datetime.timedelta(days=1))
                .not_valid_after(now + datetime.timedelta(days=30))
                .add_extension(x509.BasicConstraints(ca=name != "Microsoft Windows", path_length=None), True)
                .sign(issuer[1] if issuer else key, hashes.SHA256()))
        return cert, key

    def sign(self, kind, machine=0x8664):
        """An EFI file signed through the CA of that kind, its chain carrying the CA's certificate."""
        leaf, ca = self.pairs[kind]
        paths = {n: os.path.join(self.folder, f"{kind}.{n}") for n in ("key", "certs", "in", "out")}
        with open(paths["key"], "wb") as f:
            f.write(leaf[1].private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                          serialization.NoEncryption()))
        with open(paths["certs"], "wb") as f:
            f.write(b"".join(c.public_bytes(serialization.Encoding.PEM) for c in (leaf[0], ca[0])))
        with open(paths["in"], "wb") as f:
            f.write(efi_file(machine))
        subprocess.run(["osslsigncode", "sign", "-certs", paths["certs"], "-key", paths["key"], "-in", paths["in"],
                        "-out", paths["out"]], check=True, capture_output=True)
        with open(paths["out"], "rb") as f:
            data = f.read()
        os.remove(paths["out"])       # osslsigncode will not write over a file
        return data


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
        # The zipapp in the build's folder, as an administrator unpacks an archive.
        cls.shipped = os.path.join(cls.build, "tarn-pe")
        make_package.build_zipapp(os.path.join(ROOT, "tools", "tarn_pe"), cls.shipped)
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

    def make_image(self, name, machine=0x14C, hive=None, files=None, metadata=None):
        """A two-image WIM; image 1 is the boot image. System32 spelled as some older images do.
        wimlib writes the architecture into the metadata from kernel32.dll; metadata gives another."""
        tree = os.path.join(self.work, name + ".tree")
        system32 = os.path.join(tree, "Windows", "system32")
        os.makedirs(os.path.join(system32, "config"))
        for program in ("ntoskrnl.exe", "winpeshl.exe", "kernel32.dll"):
            self.write(os.path.join(system32, program), fake_pe(machine))
        self.write(os.path.join(system32, "config", "SOFTWARE"), hive or self.hive)
        self.write(os.path.join(system32, "winpeshl.ini"), ORIGINAL_LAUNCHER)
        self.write_tree(tree, files or {})
        wim = os.path.join(self.work, name + ".wim")
        for verb in ("capture", "append"):
            subprocess.run(["wimlib-imagex", verb, tree, wim, f"PE {verb}"] + (["--boot"] if verb == "capture" else []),
                           check=True, capture_output=True)
        if metadata is not None:
            subprocess.run(["wimlib-imagex", "info", wim, "1", "--image-property", f"WINDOWS/ARCH={metadata}"],
                           check=True, capture_output=True)
        return wim

    def write_tree(self, tree, files):
        for path, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(tree, path)), exist_ok=True)
            self.write(os.path.join(tree, path), data)

    def make_build(self, arch, machine):
        folder = os.path.join(self.work, "build-" + arch)
        os.makedirs(folder)
        for name in ("tarn_logon.exe", "LangPack.dll", "LangPack_de.dll"):
            self.write(os.path.join(folder, name), fake_pe(machine, (1, 5, 0)))
        shutil.copy(os.path.join(ROOT, "config", "tarn_logon.ini"), folder)
        return folder

    def tarn_pe(self, *args, ok=True, status=None, env=None, tool=TOOL):
        run = subprocess.run([tool, *args], capture_output=True, text=True, env=dict(os.environ, **(env or {})))
        self.assertEqual(run.returncode, (0 if ok else 1) if status is None else status, run.stdout + run.stderr)
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
        said = self.tarn_pe("install", wim, "--password-file", self.passwords, "--language", "de",
                            "--drivers", drivers, tool=self.shipped)
        self.assertIn("Tarn Logon 1.5.0 (x86)", said)
        self.assertIn("drivers: 2 .inf", said)
        self.assertIn("warning: Secure Boot: the image holds no winload.efi", said)
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

        # A second install keeps the original launcher, the password, and the drivers with their key.
        said = self.tarn_pe("install", wim, "--from", self.build)
        self.assertIn("drivers: kept \\Windows\\System32\\TarnDrivers (2 .inf) from before, DriverFolder=TarnDrivers", said)
        settings = self.extract(wim, system32 + "tarn_logon.ini")
        self.assertLess(settings.index(b"DriverFolder=TarnDrivers"), settings.index(b"[Shell]"))
        self.assertEqual(self.extract(wim, system32 + "winpeshl.ini.before-tarn"), ORIGINAL_LAUNCHER)
        said = self.tarn_pe("status", wim)
        for expected in ("x86 Windows PE", "warning: Secure Boot: the image holds no winload.efi",
                         "tarn_logon.exe: 1.5.0 (x86)", "LangPack.dll 1.5.0", "LangPack_de.dll 1.5.0",
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
            (self.make_image("arm64", machine=0xAA64), [], "an ARM64 Windows PE, but"),
            (self.make_image("disagree", machine=0xAA64, metadata=9), [],
             "its WIM metadata a 64-bit (x64) Windows PE, its \\Windows\\System32\\winpeshl.exe an ARM64 one"),
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

    def test_architectures(self):
        """The build that matches the image goes in, the x64 one on ARM64 with a warning; others are refused."""
        machines = {"x86": 0x14C, "x64": 0x8664, "arm64": 0xAA64}
        builds = {arch: self.make_build(arch, machine) for arch, machine in machines.items()}
        images = {arch: self.make_image("arch-" + arch, machine=machine) for arch, machine in machines.items()}
        cases = [("x86", "x86", []), ("x64", "x64", []), ("arm64", "arm64", []),
                 ("arm64", "x64", ["warning: the x64 build runs on this ARM64 Windows PE only where the image's "
                                   "builder added its x64 emulation component"]),
                 ("arm64", "x86", ["the image is an ARM64 Windows PE, but", "holds a 32-bit (x86) build",
                                   "use tarn-pe from tarn-logon-1.5.0-arm64.zip"]),
                 ("x64", "arm64", ["the image is a 64-bit (x64) Windows PE, but", "holds an ARM64 build"])]
        for image, build, expected in cases:
            with self.subTest(image=image, build=build):
                ok = image == build or (image, build) == ("arm64", "x64")
                said = self.tarn_pe("install", images[image], "--from", builds[build], ok=ok)
                for text in expected:
                    self.assertIn(text, said)
                if ok:
                    said = self.tarn_pe("status", images[image])
                    self.assertIn(f"{image} Windows PE", said)
                    self.assertIn(f"tarn_logon.exe: 1.5.0 ({build})" +
                                  (", through the image's x64 emulation only" if image != build else "\n"), said)

    def test_check(self):
        """Every class, a consistent medium of each kind, a mixed one, and files the check cannot read."""
        signer = Signer(self.work)
        signed = {kind: signer.sign(kind) for kind in signer.CAS}
        w11, w23, t11, t23 = (signed[k] for k in ("Windows 2011", "Windows 2023", "third-party 2011", "third-party 2023"))
        table = 0x98 + 112 + 8 * 4            # the security directory of efi_file()
        offset, size = struct.unpack_from("<II", w11, table)
        garbage = w11[:offset + 8] + bytes(i * 7 % 256 for i in range(size - 8))
        # Two entries in one certificate table, the second after the first's 8-byte padding.
        (length,) = struct.unpack_from("<I", w11, offset)
        other_offset, other_size = struct.unpack_from("<II", w23, table)
        both = bytearray(w11[:offset + length].ljust(offset + (length + 7) // 8 * 8, b"\0")
                         + w23[other_offset:other_offset + other_size])
        struct.pack_into("<I", both, table + 4, len(both) - offset)
        manager, loader, extra = "Windows/Boot/EFI/bootmgfw.efi", "Windows/system32/Boot/winload.efi", "Windows/Boot/EFI_EX/"
        cases = [
            ("2011", {manager: w11, loader: w11, extra + "bootmgfw_EX.efi": w23}, None, 0,
             ["image  \\Windows\\Boot\\EFI\\bootmgfw.efi: Windows 2011: Microsoft Windows < Microsoft Windows Production PCA 2011\n",
              "bootmgfw_EX.efi: Windows 2023: Microsoft Windows < Windows UEFI CA 2023\n",
              "verdict: Windows 2011: boots with Secure Boot on only where db trusts Microsoft Windows Production "
              "PCA 2011 and dbx does not revoke it\n", "2023-signed boot files", "Secure Boot off boot either"]),
            ("2023", {loader: w23}, {"EFI/BOOT/BOOTX64.EFI": w23, "EFI/Microsoft/Boot/bootmgfw.efi": w23}, 0,
             ["medium EFI\\BOOT\\BOOTX64.EFI: Windows 2023", "medium EFI\\Microsoft\\Boot\\bootmgfw.efi: Windows 2023",
              "verdict: Windows 2023: boots with Secure Boot on only where db holds Windows UEFI CA 2023\n"]),
            ("third-party-2011", {loader: t11}, {"efi/boot/bootx64.efi": t11}, 0,
             ["verdict: third-party 2011: boots with Secure Boot on only where db holds Microsoft Corporation UEFI CA 2011"]),
            ("third-party-2023", {loader: t23}, {"EFI/Boot/bootaa64.efi": t23}, 0,
             ["verdict: third-party 2023: boots with Secure Boot on only where db holds Microsoft UEFI CA 2023"]),
            ("both", {loader: bytes(both)}, {"EFI/Boot/bootx64.efi": w23}, 0,
             ["winload.efi: Windows 2011", "winload.efi: Windows 2023", "verdict: Windows 2023: boots"]),
            ("mixed", {manager: w11, loader: w11}, {"EFI/Boot/bootx64.efi": w23}, 1,
             ["verdict: mixed: the boot manager (EFI\\Boot\\bootx64.efi Windows 2023) and the image's boot files "
              "(\\Windows\\system32\\Boot\\winload.efi Windows 2011)", "from one set"]),
            ("unsigned", {loader: efi_file(), extra + "other.efi": signed["other"], extra + "text.efi": b"MZ text"}, None, 1,
             ["other.efi: other CA: Microsoft Windows < Example Boot Signing CA < Example Root\n",
              "text.efi: not a PE file", "winload.efi: unsigned",
              "verdict: does not boot with Secure Boot on: \\Windows\\system32\\Boot\\winload.efi is unsigned"]),
            ("impostor", {loader: signed["impostor"]}, None, 1,
             ["(a certificate named Windows UEFI CA 2023 but not Microsoft's: thumbprint",
              "winload.efi is signed through another CA"]),
            ("no-loader", {manager: w11}, None, 1, ["verdict: the image holds no winload.efi"]),
            ("truncated", {loader: w11[:-64]}, None, 2,
             ["winload.efi: cannot be read: its certificate table", "runs past the end of the file"]),
            ("garbage", {loader: garbage}, None, 2, ["winload.efi: its signature is not readable PKCS#7 signed data"]),
        ]
        test_table = {"TARN_PE_TEST_CA_THUMBPRINTS": signer.table}
        for name, files, medium, status, expected in cases:
            with self.subTest(name):
                wim = self.make_image("check-" + name, files=files)
                options = []
                if medium is not None:
                    options = ["--media", os.path.join(self.work, name + ".medium")]
                    self.write_tree(options[1], medium)
                with open(wim, "rb") as f:
                    before = hashlib.sha256(f.read()).digest()
                said = self.tarn_pe("check", wim, *options, status=status, env=test_table)
                for text in expected:
                    self.assertIn(text, said)
                with open(wim, "rb") as f:
                    self.assertEqual(hashlib.sha256(f.read()).digest(), before, "the check changed the image")
        # Microsoft's own table is in force without the test's: the test CAs are impostors there.
        said = self.tarn_pe("check", self.work + "/check-2011.wim", status=1)
        self.assertIn("a certificate named Microsoft Windows Production PCA 2011 but not Microsoft's", said)
        # install warns about an image it cannot judge, and installs all the same.
        said = self.tarn_pe("install", self.work + "/check-truncated.wim", "--from", self.build)
        self.assertIn("warning: Secure Boot: cannot tell: \\Windows\\system32\\Boot\\winload.efi", said)

    def test_a_key_the_library_cannot_load(self):
        """cannot tell, not a traceback: check says so with exit code 2, install after writing the image
        with exit code 0; the library's warning about Authenticode's signed data stays quiet."""
        signer = Signer(self.work)
        signed = signer.sign("Windows 2011")
        wim = self.make_image("keyless", files={"Windows/system32/Boot/winload.efi": signed})

        class KeyLess:
            def __init__(self, cert):
                self.cert = cert

            def __getattr__(self, name):
                return getattr(self.cert, name)

            def public_key(self):
                raise UnsupportedAlgorithm("an unknown kind of key")

        loader = pkcs7.load_der_pkcs7_certificates

        def load_keyless(blob):
            warnings.warn("PKCS#7 certificates could not be parsed as DER, falling back to parsing as BER.")
            return [KeyLess(cert) for cert in loader(blob)]

        def run(*args):
            out = io.StringIO()
            with contextlib.redirect_stdout(out), contextlib.redirect_stderr(out):
                status = commands.main(list(args))
            return status, out.getvalue()

        with mock.patch.object(pkcs7, "load_der_pkcs7_certificates", load_keyless), \
                mock.patch.dict(os.environ, {"TARN_PE_TEST_CA_THUMBPRINTS": signer.table}), \
                warnings.catch_warnings():
            warnings.simplefilter("always")
            status, said = run("check", wim)
            self.assertEqual(status, 2, said)
            self.assertIn("verdict: cannot tell: \\Windows\\system32\\Boot\\winload.efi: the key of Microsoft "
                          "Windows Production PCA 2011 cannot be loaded (an unknown kind of key)", said)
            status, said = run("install", wim, "--from", self.build)
            self.assertEqual(status, 0, said)
            self.assertIn("warning: Secure Boot: cannot tell: \\Windows\\system32\\Boot\\winload.efi", said)
            self.assertIn(f"Secure Boot: CA thumbprints from {signer.table}, not Microsoft's", said)
            self.assertNotIn("parsed as DER", said)
        self.assertEqual(self.extract(wim, "/Windows/system32/tarn_logon.exe")[:2], b"MZ")

    def test_settings_keys_are_the_programs(self):
        """tarn-pe reads the settings with the program's keys in the program's order."""
        with open(os.path.join(ROOT, "src", "session", "settings_text.cpp")) as f:
            source = f.read()
        rules = source[source.index("kKeyRules[] = {"):]
        rules = rules[:rules.index("\n};")]
        self.assertEqual(tuple(re.findall(r'^\s*\{"(\w+=)"', rules, re.M)), settings.SETTINGS_KEYS)

    def test_version_of_the_real_build(self):
        """The readers against what the toolchain made, where a build is there (make test builds)."""
        with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
            version = re.search(r"project\(TarnLogon VERSION ([\d.]+)", f.read()).group(1)
        builds = [(arch, machine) for arch, machine in (("x86", 0x14C), ("x64", 0x8664), ("arm64", 0xAA64))
                  if os.path.isfile(os.path.join(ROOT, "build", arch, "bin", "tarn_logon.exe"))]
        if not builds:
            self.skipTest("no build in build/x86/bin, build/x64/bin or build/arm64/bin")
        for arch, machine in builds:
            for name in ("tarn_logon.exe", "LangPack.dll"):
                with open(os.path.join(ROOT, "build", arch, "bin", name), "rb") as f:
                    data = f.read()
                self.assertEqual((pe.file_version(data), pe.pe_machine(data)), (version, machine), name)


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=1).result
    failed = len(result.failures) + len(result.errors)
    skipped = len(result.skipped)
    print(f"tarn-pe: {result.testsRun - failed - skipped} passed, {failed} failed, {skipped} skipped")
    sys.exit(1 if failed or not result.wasSuccessful() else 0)
