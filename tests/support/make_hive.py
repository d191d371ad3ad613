#!/usr/bin/python3
"""Registry hives in the file format Windows keeps them in, written by hivex (Debian's
python3-hivex), for the tests, the demo's sample installations and the bench: a writer that is
not the program's, so that its reader is checked against someone else's reading of the format.

    make_hive.py OUT LISTING [--dirty]

LISTING lists keys and values as a .reg file does, below the hive's root:

    [Microsoft\\Windows NT\\CurrentVersion]
    "ProductName"="Windows 10 Pro"
    "Current"=dword:00000001
    "Raw"=hex(1):54,00,00,00
    @="the key's default value"

A key is made with its missing parents; "text" is a REG_SZ in UTF-16LE with its terminator, as
Windows stores it; hex(N) gives a value's bytes as stored, of type N (hex alone: REG_BINARY).
--dirty gives the base block unequal sequence numbers, as a hive has whose .LOG files hold
changes. OUT appears whole or not at all; on failure OUT.failed holds the reason.
"""
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tarn_pe"))
from minimal_hive import minimal_hive, with_sequences  # noqa: E402

import hivex  # noqa: E402

REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4
_VALUE = re.compile(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$')


def _unescape(text):
    return re.sub(r'\\(.)', r'\1', text)


def _data(text):
    """(type, bytes) of a value as a .reg file writes it."""
    if text.startswith('"') and text.endswith('"') and len(text) >= 2:
        return REG_SZ, (_unescape(text[1:-1]) + "\0").encode("utf-16-le")
    if text.startswith("dword:"):
        return REG_DWORD, struct.pack("<I", int(text[6:], 16))
    match = re.match(r"^hex(?:\(([0-9a-fA-F]+)\))?:(.*)$", text)
    if not match:
        raise ValueError("not a value: " + text)
    kind = int(match.group(1), 16) if match.group(1) else REG_BINARY
    return kind, bytes(int(b, 16) for b in match.group(2).replace(" ", "").split(",") if b)


def parse(listing):
    """{key path: [(name, type, bytes)]} in the listing's order."""
    keys, current = {}, None
    for line in listing.splitlines():
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1].strip("\\")
            keys.setdefault(current, [])
            continue
        match = _VALUE.match(line)
        if current is None or not match:
            raise ValueError("not a key or a value of one: " + line)
        name = "" if match.group(1) == "@" else _unescape(match.group(2))
        keys[current].append((name,) + _data(match.group(3)))
    return keys


def child(hive, node, path):
    """The key at path below node, made with its missing parents."""
    for name in filter(None, path.split("\\")):
        node = hive.node_get_child(node, name) or hive.node_add_child(node, name)
    return node


def set_values(hive, node, values):
    hive.node_set_values(node, [{"key": name, "t": kind, "value": data} for name, kind, data in values])


def write_hive(path, keys, dirty=False, fill=None):
    """Writes keys ({path: [(name, type, bytes)]}) as the hive file path; fill(hive, root), when
    given, adds more before the file is written."""
    part = path + ".part"
    with open(part, "wb") as f:
        f.write(minimal_hive())
    hive = hivex.Hivex(part, write=True)
    for key, values in keys.items():
        set_values(hive, child(hive, hive.root(), key), values)
    if fill:
        fill(hive, hive.root())
    hive.commit(part)
    del hive
    if dirty:
        with open(part, "rb") as f:
            content = f.read()
        primary, = struct.unpack_from("<I", content, 4)
        with open(part, "wb") as f:
            f.write(with_sequences(content, primary + 1, primary))
    os.replace(part, path)


def main(argv):
    out, listing = argv[1], argv[2]
    try:
        with open(listing, encoding="utf-8") as f:
            keys = parse(f.read())
        write_hive(out, keys, dirty="--dirty" in argv[3:])
    except Exception as e:  # the caller waits for OUT or OUT.failed
        with open(out + ".failed", "w") as f:
            f.write("%s: %s\n" % (type(e).__name__, e))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
