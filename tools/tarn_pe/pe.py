"""The PE format, as far as tarn-pe reads it: the machine, the version resource and the certificate
table of the programs and boot files it meets."""
import struct

MACHINES = {0x014C: "x86", 0x8664: "x64", 0xAA64: "arm64"}
VERSION_KEY = "VS_VERSION_INFO\0".encode("utf-16-le")

# The certificate table: WIN_CERTIFICATE entries, 8-byte aligned.
WIN_CERT_REVISION_2_0 = 0x0200
WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002
SECURITY_DIRECTORY = 4


class Unreadable(Exception):
    """A PE file whose signatures cannot be read: what the Secure Boot check cannot judge."""


def pe_header(data, size):
    """The offset of the PE signature when the file is a PE file with size bytes of header after
    it, else None."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    (offset,) = struct.unpack_from("<I", data, 0x3C)
    if offset + size > len(data) or data[offset:offset + 4] != b"PE\0\0":
        return None
    return offset


def pe_machine(data):
    """The Machine field of a PE file's header, or None for anything that is not one."""
    offset = pe_header(data, 6)
    return None if offset is None else struct.unpack_from("<H", data, offset + 4)[0]


def file_version(data):
    """FileVersion of a PE file's version resource, as "1.5.0", or None.

    The resource starts with its key, and its fixed part follows at the next 32-bit boundary, so
    finding the key is enough for the files we build: no walk of the resource directory is needed.
    """
    at = data.find(VERSION_KEY)
    if at < 0:
        return None
    start = at + len(VERSION_KEY)
    signature = data.find(struct.pack("<I", 0xFEEF04BD), start, start + 8)
    if signature < 0 or signature + 16 > len(data):
        return None
    high, low = struct.unpack_from("<II", data, signature + 8)
    parts = [high >> 16, high & 0xFFFF, low >> 16] + ([low & 0xFFFF] if low & 0xFFFF else [])
    return ".".join(map(str, parts))


def certificate_entries(data):
    """The PKCS#7 blobs of a PE file's Authenticode signatures; None for a file that is no PE file."""
    header = pe_header(data, 24)
    if header is None:
        return None
    (optional_size,) = struct.unpack_from("<H", data, header + 20)
    optional = header + 24
    end_of_optional = optional + optional_size
    if optional_size < 2 or end_of_optional > len(data):
        raise Unreadable("its optional header is cut off")
    (magic,) = struct.unpack_from("<H", data, optional)
    directories = {0x10B: optional + 96, 0x20B: optional + 112}.get(magic)
    if directories is None:
        raise Unreadable(f"its optional header has the magic {magic:#06x}, neither PE32 nor PE32+")
    if directories > end_of_optional:
        raise Unreadable("its optional header is cut off")
    (count,) = struct.unpack_from("<I", data, directories - 4)
    entry = directories + 8 * SECURITY_DIRECTORY
    if count <= SECURITY_DIRECTORY or entry + 8 > end_of_optional:
        return []
    # The security directory alone holds a file offset rather than an address: the table is not loaded.
    offset, size = struct.unpack_from("<II", data, entry)
    if size == 0:
        return []
    if offset + size > len(data):
        raise Unreadable(f"its certificate table ({size} bytes at {offset:#x}) runs past the end of the "
                         f"file ({len(data)} bytes): the file is truncated")
    blobs, at, end = [], offset, offset + size
    while at < end:
        if end - at < 8:
            if any(data[at:end]):
                raise Unreadable(f"its certificate table ends in {end - at} stray bytes")
            break
        length, revision, kind = struct.unpack_from("<IHH", data, at)
        if length < 8 or at + length > end:
            raise Unreadable(f"the certificate entry at {at:#x} claims {length} bytes, which the table "
                             f"({size} bytes) does not hold")
        # Firmware takes only revision 2.0 PKCS#7 entries as Authenticode; others cannot sign a boot.
        if (revision, kind) == (WIN_CERT_REVISION_2_0, WIN_CERT_TYPE_PKCS_SIGNED_DATA):
            blobs.append(data[at + 8:at + length])
        at += (length + 7) // 8 * 8
    return blobs
