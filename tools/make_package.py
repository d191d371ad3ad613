#!/usr/bin/env python3
"""Builds the release archive: the shipped program files, the samples, tarn-pe and a file list."""
import argparse
import os
import shutil
import tempfile
import zipapp
import zipfile

# The zipapp's entry: main's return value is the exit code, which zipapp's own entry would drop.
ZIPAPP_MAIN = "import sys\n\nfrom tarn_pe.commands import main\n\nsys.exit(main())\n"


def build_zipapp(package, target):
    """tarn-pe as one executable file: the package folder (tools/tarn_pe) in a zipapp at target."""
    with tempfile.TemporaryDirectory(prefix="tarn-pe-zipapp-") as staging:
        shutil.copytree(package, os.path.join(staging, "tarn_pe"),
                        ignore=shutil.ignore_patterns("__pycache__", "*.pyc"))
        with open(os.path.join(staging, "__main__.py"), "w") as f:
            f.write(ZIPAPP_MAIN)
        zipapp.create_archive(staging, target, interpreter="/usr/bin/env python3", compressed=True)
    os.chmod(target, 0o755)     # zipapp makes it executable for its owner only


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--tarn-pe", metavar="PACKAGE", help="tools/tarn_pe, shipped after the files as the zipapp tarn-pe")
    parser.add_argument("files", nargs="+", help="files to ship, stored flat in the archive")
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    name = f"tarn-logon-{args.version}-{args.arch}"
    archive = os.path.join(args.out, name + ".zip")
    with tempfile.TemporaryDirectory(prefix="tarn-package-") as work:
        files = list(args.files)
        if args.tarn_pe:
            files.append(os.path.join(work, "tarn-pe"))
            build_zipapp(args.tarn_pe, files[-1])
        names = [os.path.basename(f) for f in files]
        readme = (
            f"Tarn Logon {args.version} ({args.arch})\r\n"
            "\r\n"
            "Files:\r\n"
            + "".join(f"  {n}\r\n" for n in names + ["VERSION.txt"])
            + "\r\nSee the administrator's guide for putting them on a Windows PE image;\r\n"
            "on Linux, tarn-pe does it in one command (see tarn-pe.txt).\r\n"
        )
        tmp = archive + ".tmp"
        with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
            for path, stored in zip(files, names):
                z.write(path, stored)
            z.writestr("VERSION.txt", readme)
        os.replace(tmp, archive)
    print(archive)


if __name__ == "__main__":
    main()
