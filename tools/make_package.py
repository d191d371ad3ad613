#!/usr/bin/env python3
"""Builds the release archive: the shipped program files, the samples and a file list."""
import argparse
import os
import zipfile

parser = argparse.ArgumentParser()
parser.add_argument("--version", required=True)
parser.add_argument("--arch", required=True)
parser.add_argument("--out", required=True)
parser.add_argument("files", nargs="+", help="files to ship, stored flat in the archive")
args = parser.parse_args()

os.makedirs(args.out, exist_ok=True)
name = f"tarn-logon-{args.version}-{args.arch}"
archive = os.path.join(args.out, name + ".zip")
names = [os.path.basename(f) for f in args.files]
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
    for path, stored in zip(args.files, names):
        z.write(path, stored)
    z.writestr("VERSION.txt", readme)
os.replace(tmp, archive)
print(archive)
