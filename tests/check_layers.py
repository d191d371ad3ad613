#!/usr/bin/env python3
"""Every folder of src/ includes only folders below it. Bottom to top: common, session,
langmodule, catalogues, then password and envdialog side by side (neither includes the other),
then shellctl, which nothing includes. Prints each include that reaches up, with file and line,
and fails on any; a folder of src/ outside the order fails too, until it is given its floor."""
import pathlib
import re
import sys

FLOORS = {"common": 0, "session": 1, "langmodule": 2, "catalogues": 3, "password": 4, "envdialog": 4, "shellctl": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([A-Za-z_]+)/')


def main(src):
    root = pathlib.Path(src)
    faults = [f"{folder}/: a folder outside the order; give it a floor in {pathlib.Path(__file__).name}"
              for folder in sorted(p.name for p in root.iterdir() if p.is_dir()) if folder not in FLOORS]
    for path in sorted(root.rglob("*")):
        if not path.is_file() or path.suffix not in (".h", ".cpp", ".rc", ".rci", ".in"):
            continue
        room = path.relative_to(root).parts[0]
        if room not in FLOORS:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or match.group(1) not in FLOORS or match.group(1) == room:
                continue
            target = match.group(1)
            if FLOORS[target] >= FLOORS[room]:
                side = "beside" if FLOORS[target] == FLOORS[room] else "above"
                faults.append(f"{path.relative_to(root.parent)}:{number}: {room}/ includes {target}/, which is {side} it")
    for fault in faults:
        print(fault)
    print(f"check_layers: {len(faults)} fault(s)" if faults else "check_layers: every include reaches down")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else str(pathlib.Path(__file__).resolve().parent.parent / "src")))
