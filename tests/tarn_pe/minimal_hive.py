"""An empty registry hive in the Windows format, for test images only: real images carry their own.

8 KiB: the base block, then one bin holding the root key, its security cell and free space.
"""
import struct

BLOCK = 0x1000
ROOT_CELL = 0x20          # first cell of the first bin, as the base block's root offset


def _cell(payload):
    """An allocated cell: negative size first, padded to the 8-byte granule."""
    size = (4 + len(payload) + 7) // 8 * 8
    return struct.pack("<i", -size) + payload + bytes(size - 4 - len(payload))


def _root_key(name, security_cell):
    # Flags: hive entry, not deletable, name stored in ASCII.
    fields = struct.pack("<2sHQIIIIIIIIIIIIIIIHH", b"nk", 0x2C, 0, 0, 0, 0, 0,
                         0xFFFFFFFF, 0xFFFFFFFF, 0, 0xFFFFFFFF, security_cell, 0xFFFFFFFF,
                         0, 0, 0, 0, 0, len(name), 0)
    return _cell(fields + name)


def _security(cell):
    # Self-relative descriptor naming BUILTIN\Administrators as owner and group, no ACLs.
    admins = struct.pack("<BB6sII", 1, 2, b"\0\0\0\0\0\5", 32, 544)
    descriptor = struct.pack("<BBHIIII", 1, 0, 0x8000, 20, 20, 0, 0) + admins
    # The only security cell links to itself both ways; one key refers to it.
    return _cell(struct.pack("<2sHIIII", b"sk", 0, cell, cell, 1, len(descriptor))
                 + descriptor)


def checksum(base_block):
    value = 0
    for (dword,) in struct.iter_unpack("<I", base_block[:0x1FC]):
        value ^= dword
    return {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(value, value)


def with_sequences(hive, primary, secondary):
    """The hive with new sequence numbers and a checksum that fits them: unequal ones make it dirty."""
    base = bytearray(hive[:BLOCK])
    struct.pack_into("<II", base, 4, primary, secondary)
    struct.pack_into("<I", base, 0x1FC, checksum(base))
    return bytes(base) + hive[BLOCK:]


def minimal_hive(root_name=b"ROOT"):
    security_cell = ROOT_CELL + len(_root_key(root_name, 0))
    cells = _root_key(root_name, security_cell) + _security(security_cell)
    free = BLOCK - 0x20 - len(cells)
    cells += struct.pack("<i", free) + bytes(free - 4)
    hbin = struct.pack("<4sIIQQI", b"hbin", 0, BLOCK, 0, 0, 0) + cells

    base = bytearray(BLOCK)
    # Signature, sequences, time, version 1.3, primary file, direct memory load, root, bins' size,
    # clustering factor.
    struct.pack_into("<4sIIQIIIIIII", base, 0, b"regf", 1, 1, 0, 1, 3, 0, 1, ROOT_CELL, BLOCK, 1)
    return with_sequences(bytes(base) + hbin, 1, 1)
