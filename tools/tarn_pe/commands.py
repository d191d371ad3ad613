"""tarn-pe's command line: install, status, remove and check."""
import argparse
import os
import sys
import tempfile

import tarn_pe
from tarn_pe.common import (DRIVERS, HIVE, KEPT_LAUNCHER, LAUNCHER, OUR_MODULE, PROGRAM, SETTINGS, Refusal,
                            launches_us, package_home, stage)
from tarn_pe.install import apply_install, plan_install
from tarn_pe.password import describe_password, hive_sequences, hivex, password_values, rewritten_hive
from tarn_pe.pe import MACHINES, file_version, pe_machine
from tarn_pe.secureboot import boot_check, boot_check_lines, x509
from tarn_pe.settings import language_module
from tarn_pe.wim import Image, architecture, runs_on

# Where Debian puts python3-hivex and python3-cryptography.
SYSTEM_PYTHON = "/usr/bin/python3"


def install(args):
    plan = plan_install(args)
    apply_install(plan)
    image, files = plan.image, plan.files
    report = plan.report + boot_check_lines(image)
    version = file_version(files[PROGRAM]) or "of unknown version"
    print(f"tarn-pe: installed Tarn Logon {version} ({plan.program_arch}) into image {image.index} of {image.wim}")
    print(f"  added to \\Windows\\System32: {', '.join(n for n in files if n != HIVE and n not in plan.drivers)}")
    print(f"  settings: {plan.settings_from}, language module {plan.module}")
    for line in report:
        print("  " + line)
    print("  read back from the image: all of it as written")


def remove(args):
    image = Image(args.wim, args.index, writable=True)
    doomed = [name for name in (PROGRAM, SETTINGS) if image.has(name)]
    doomed += [name for name in image.names if "/" not in name and OUR_MODULE.fullmatch(name)]
    commands = [("delete", image.path(name)) for name in doomed]
    if image.has(DRIVERS):
        commands.append(("delete", "--recursive", image.path(DRIVERS)))
        doomed.append(DRIVERS)
    report = [f"deleted from \\Windows\\System32: {', '.join(image.path(n).rsplit('/', 1)[1] for n in doomed)}"] if doomed else []
    if image.has(KEPT_LAUNCHER):
        commands.append(("rename", image.path(KEPT_LAUNCHER), image.path(LAUNCHER)))
        report.append(f"put back the {LAUNCHER} kept at install")
    elif image.has(LAUNCHER) and launches_us(image.read(LAUNCHER)):
        commands.append(("delete", image.path(LAUNCHER)))
        report.append(f"deleted {LAUNCHER}, which started Tarn Logon")

    with tempfile.TemporaryDirectory(prefix="tarn-pe-") as work:
        files = {}
        if image.has(HIVE):
            data = image.read(HIVE)
            if password_values(stage(work, "SOFTWARE.old", data)):
                files[HIVE] = rewritten_hive(work, data, None)
                commands.append(("add", stage(work, "SOFTWARE", files[HIVE]), image.path(HIVE)))
                report.append("deleted the password values (PassKey, PassHash)")
        if not commands:
            print(f"tarn-pe: image {image.index} of {image.wim} holds nothing of Tarn Logon; left as it was")
            return
        image.update(commands)
        image.check_read_back(files)
        if any(image.has(name) for name in doomed) or launches_us(image.read(LAUNCHER) or b""):
            raise Refusal("Tarn Logon is still in the image after the change: check it with 'tarn-pe status'")

    print(f"tarn-pe: removed Tarn Logon from image {image.index} of {image.wim}")
    for line in report:
        print("  " + line)


def status(args):
    image = Image(args.wim, args.index, writable=False)
    boot = " (the boot image)" if image.boot == image.index else ""
    arch = architecture(image)
    print(f"{image.wim}, image {image.index} of {image.count}{boot}: {arch} Windows PE")
    program = image.read(PROGRAM)
    if program is None:
        print(f"  {PROGRAM}: not installed")
    else:
        have = MACHINES.get(pe_machine(program))
        fit = runs_on(have, arch) if have else "of no architecture tarn-pe knows"
        note = {None: "", "emulated": ", through the image's x64 emulation only"}.get(fit, f": {fit}")
        print(f"  {PROGRAM}: {file_version(program) or 'no version'} ({have or 'unknown architecture'}){note}")
    modules = [image.path(n).rsplit("/", 1)[1] for n in image.names if "/" not in n and OUR_MODULE.fullmatch(n)]
    versions = [f"{m} {file_version(image.read(m)) or 'without version'}" for m in modules]
    print(f"  language modules: {', '.join(versions) or 'none'}")
    settings = image.read(SETTINGS)
    print(f"  {SETTINGS}: " + (f"present, language module {language_module(settings)}" if settings is not None else "missing"))
    infs = sorted(image.path(n).split("/" + DRIVERS + "/", 1)[-1] for n in image.names
                  if n.startswith(DRIVERS.lower() + "/") and n.endswith(".inf"))
    if image.has(DRIVERS):
        print(f"  drivers folder {DRIVERS}: {len(infs)} .inf" + (f" ({', '.join(infs)})" if infs else ""))
    else:
        print("  drivers folder: none")
    launcher = image.read(LAUNCHER)
    said = "none" if launcher is None else "starts Tarn Logon" if launches_us(launcher) else "starts something else"
    kept = f"; {KEPT_LAUNCHER} kept" if image.has(KEPT_LAUNCHER) else ""
    print(f"  {LAUNCHER}: {said}{kept}")
    for line in boot_check_lines(image):
        print("  " + line)
    if not image.has(HIVE):
        print("  password: the image has no SOFTWARE hive")
        return
    with tempfile.TemporaryDirectory(prefix="tarn-pe-") as work:
        data = image.read(HIVE)
        hive = stage(work, "SOFTWARE", data)
        primary, secondary = hive_sequences(data)
        dirty = " (hive not closed cleanly: its logs may hold newer values)" if primary != secondary else ""
        print(f"  password: {describe_password(password_values(hive))}{dirty}")


def check(args):
    image = Image(args.wim, args.index, writable=False)
    found = boot_check(image, args.media)
    medium = f" with the medium {args.media}" if args.media else ""
    print(f"tarn-pe: Secure Boot check of image {image.index} of {image.wim}{medium}")
    if found.notice:
        print(f"  {found.notice}")
    for where, path, judged in found.listed:
        if isinstance(judged, str):
            print(f"  {where:6} {path}: cannot be read: {judged}")
            continue
        for kind, chain, note in judged:
            print(f"  {where:6} {path}: {kind}" + (f": {chain}" if chain else "") + (f" ({note})" if note else ""))
    if not found.listed:
        print("  no boot files found")
    print(f"verdict: {found.verdict}")
    for line in found.advice:
        print("  " + line)
    return found.status


def main(argv=None):
    if argv is None:
        in_system_python()
    parser = argparse.ArgumentParser(prog="tarn-pe", description=tarn_pe.__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)

    def command(name, run, helptext, index="image in the WIM (default 1)"):
        sub = commands.add_parser(name, help=helptext, description=helptext)
        sub.add_argument("wim", metavar="BOOT.WIM")
        sub.add_argument("--index", type=int, default=None if "boot" in index else 1, help=index)
        sub.set_defaults(run=run)
        return sub

    put = command("install", install, "put Tarn Logon into an image, started by winpeshl.ini")
    put.add_argument("--from", dest="from_dir", metavar="DIR",
                     help="folder of the build to install (default: the tool's own folder, or build/<arch>/bin)")
    put.add_argument("--password-file", metavar="FILE", help="tarn_password.txt written by 'tarn_logon.exe setpass'")
    put.add_argument("--settings", metavar="FILE", help="tarn_logon.ini to install (default: the sample)")
    put.add_argument("--drivers", metavar="DIR",
                     help=f"a folder of driver packages (.inf with their files), copied to System32\\{DRIVERS}"
                          " and loaded at start-up")
    put.add_argument("--language", metavar="LANG", help="language module: en (LangPack.dll) or de (LangPack_de.dll)")
    command("status", status, "tell what of Tarn Logon an image holds")
    command("remove", remove, "take Tarn Logon out of an image again")
    verify = command("check", check, "tell whether the image (and a medium made with it) boots with Secure Boot on: "
                     "who signed each boot file, and a verdict (exit code 0 fine, 1 warnings, 2 unreadable)",
                     index="image in the WIM (default: its boot image)")
    verify.add_argument("--media", metavar="DIR", help="the medium too: the root of a USB stick or an extracted ISO")

    args = parser.parse_args(argv)
    failed = 2 if args.command == "check" else 1
    try:
        if hivex is None and args.command != "check":
            raise Refusal("the hivex Python module is missing: install python3-hivex and run tarn-pe "
                          "with /usr/bin/python3")
        return args.run(args) or 0
    except Refusal as reason:
        print(f"tarn-pe: {reason}", file=sys.stderr)
        return failed
    except OSError as e:
        print(f"tarn-pe: {e.filename}: {e.strerror}", file=sys.stderr)
        return failed
    except RuntimeError as e:     # hivex's way of failing on a damaged hive
        print(f"tarn-pe: the image's SOFTWARE hive cannot be edited: {e}", file=sys.stderr)
        return 1


def in_system_python():
    """Runs the zipapp again with the system Python when the python3 on PATH (a virtual environment,
    pyenv) lacks the Debian modules; returns only when that is not the case."""
    zipapp = package_home()
    if (hivex is not None and x509 is not None) or not os.path.isfile(zipapp):
        return
    if os.path.isfile(SYSTEM_PYTHON) and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON):
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, zipapp, *sys.argv[1:]])
