"""install in two steps: the plan (everything that will be written, worked out while the image is
only read) and its application (one wimlib run, then the read-back)."""
import os
import tempfile
from dataclasses import dataclass, field

from tarn_pe.common import (DRIVERS, ENGLISH_MODULE, HIVE, KEPT_LAUNCHER, LAUNCHER, LAUNCHER_TEXT, PROGRAM,
                            SETTINGS, Refusal, launches_us, package_home, read_file, stage)
from tarn_pe.password import describe_password, password_values, read_password_file, rewritten_hive
from tarn_pe.pe import MACHINES, file_version, pe_machine
from tarn_pe.settings import driver_folder, language_module, with_language_module, with_setting
from tarn_pe.wim import EMULATION_WARNING, Image, architecture, described, runs_on


def tool_dir():
    """The folder of the tarn-pe that runs: the zipapp's (a release archive's folder), or tools/ in
    the source tree, where the package lies beside tools/tarn-pe."""
    home = package_home()
    return os.path.dirname(os.path.realpath(home)) if os.path.isfile(home) else os.path.realpath(home)


@dataclass
class InstallPlan:
    image: Image
    program_arch: str
    settings_from: str                # "the sample" or the file given
    module: str                       # the language module the settings choose
    files: dict                       # {name in System32: bytes}: everything written, the hive included
    drivers: list                     # the names in files that belong to the drivers folder
    first: list = field(default_factory=list)    # wimlib commands that go before the files: deletions, renames
    report: list = field(default_factory=list)   # lines that tell what the plan does besides adding files


def build_folder(given, arch):
    """The folder holding a build for an image of arch, and that build's architecture: --from, the
    tool's own (a release archive), or the source tree's build folder."""
    here = tool_dir()
    if given:
        folder = given
    elif os.path.isfile(os.path.join(here, PROGRAM)):
        folder = here
    else:
        folder = os.path.join(here, "..", "build", arch, "bin")
    program = os.path.join(folder, PROGRAM)
    data = read_file(program) if os.path.isfile(program) else b""
    have = MACHINES.get(pe_machine(data))
    if have is not None and runs_on(have, arch) in (None, "emulated"):
        return folder, have
    holds = f"holds {described(have)} build" if have else f"holds no {PROGRAM}"
    archive = f"tarn-logon-{file_version(data) or '<version>'}-{arch}.zip"
    raise Refusal(f"the image is {described(arch)} Windows PE, but {os.path.normpath(folder)} {holds}: "
                  f"use tarn-pe from {archive}, or --from a folder with that build")


def sample_settings(folder):
    for path in (os.path.join(folder, SETTINGS), os.path.join(tool_dir(), "..", "config", SETTINGS)):
        if os.path.isfile(path):
            return path
    raise Refusal(f"no sample {SETTINGS} beside the build in {folder}: give one with --settings")


def driver_files(folder):
    """Every file below folder, as image paths under the drivers folder, with its bytes."""
    if not os.path.isdir(folder):
        raise Refusal(f"--drivers {folder} is not a folder")
    found = {}
    for top, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            relative = os.path.relpath(os.path.join(top, name), folder).replace(os.sep, "/")
            found[f"{DRIVERS}/{relative}"] = read_file(os.path.join(top, name))
    if not any(name.lower().endswith(".inf") for name in found):
        raise Refusal(f"--drivers {folder} holds no .inf file")
    return found


def plan_install(options):
    """What install will write, from its options (wim, index, from_dir, password_file, settings,
    language, drivers); reads the password file before it opens the image, and writes nothing."""
    pass_key = read_password_file(options.password_file) if options.password_file else None
    image = Image(options.wim, options.index, writable=True)
    arch = architecture(image)
    folder, program_arch = build_folder(options.from_dir, arch)
    settings_path = options.settings or sample_settings(folder)
    settings = read_file(settings_path)
    if options.language:
        chosen = ENGLISH_MODULE if options.language == "en" else f"LangPack_{options.language}.dll"
        settings = with_language_module(settings, chosen)
    drivers = driver_files(options.drivers) if options.drivers else {}
    report = [EMULATION_WARNING] if runs_on(program_arch, arch) == "emulated" else []
    if drivers:
        settings = with_setting(settings, "DriverFolder=", DRIVERS)
    elif image.has(DRIVERS):
        # The drivers of an earlier install stay; settings without the key would leave them unloaded.
        named = driver_folder(settings)
        if not named:
            settings = with_setting(settings, "DriverFolder=", DRIVERS)
        infs = sum(n.startswith(DRIVERS.lower() + "/") and n.endswith(".inf") for n in image.names)
        report.append(f"drivers: kept \\Windows\\System32\\{DRIVERS} ({infs} .inf) from before, "
                      + (f"DriverFolder={DRIVERS} in {SETTINGS}" if not named else
                         f"but the settings name DriverFolder={named}"))
    module = language_module(settings)
    files = {PROGRAM: read_file(os.path.join(folder, PROGRAM))}
    for name in dict.fromkeys([ENGLISH_MODULE, module]):
        if os.path.basename(name) != name or not os.path.isfile(os.path.join(folder, name)):
            raise Refusal(f"the settings choose the language module {name}, which {folder} does not hold")
        files[name] = read_file(os.path.join(folder, name))
    files[SETTINGS] = settings
    files[LAUNCHER] = LAUNCHER_TEXT
    files.update(drivers)
    plan = InstallPlan(image, program_arch, "the sample" if not options.settings else settings_path, module,
                       files, list(drivers), report=report)

    if drivers:
        if image.has(DRIVERS):
            plan.first.append(("delete", "--recursive", image.path(DRIVERS)))
        report.append(f"drivers: {sum(n.lower().endswith('.inf') for n in drivers)} .inf in "
                      f"\\Windows\\System32\\{DRIVERS}, DriverFolder={DRIVERS} in {SETTINGS}")
    old_launcher = image.read(LAUNCHER)
    if old_launcher is not None and not launches_us(old_launcher):
        if image.has(KEPT_LAUNCHER):
            raise Refusal(f"the image holds a {LAUNCHER} of its own and a {KEPT_LAUNCHER}: remove one first")
        plan.first.append(("rename", image.path(LAUNCHER), image.path(KEPT_LAUNCHER)))
        report.append(f"kept the previous {LAUNCHER} as {KEPT_LAUNCHER}")

    with tempfile.TemporaryDirectory(prefix="tarn-pe-") as work:
        if pass_key is not None:
            data = image.read(HIVE)
            if data is None:
                raise Refusal(f"image {image.index} has no \\Windows\\System32\\config\\SOFTWARE to hold the password")
            files[HIVE] = rewritten_hive(work, data, pass_key)
            written = password_values(stage(work, "SOFTWARE.planned", files[HIVE]))
            report.append(f"password: {describe_password(written)} set, no PassHash left")
        elif image.has(HIVE):
            values = password_values(stage(work, "SOFTWARE.old", image.read(HIVE)))
            hint = "; give --password-file to replace it" if "passhash" in values else ""
            report.append(f"password: left as it was: {describe_password(values)}{hint}")
    return plan


def apply_install(plan):
    """Writes the plan into the image in one wimlib run and reads every file back."""
    image = plan.image
    with tempfile.TemporaryDirectory(prefix="tarn-pe-") as work:
        adds = [("add", stage(work, name.replace("/", "_"), data), image.path(name))
                for name, data in plan.files.items()]
        image.update(plan.first + adds)
    image.check_read_back(plan.files)
