"""The password: the file 'tarn_logon.exe setpass' writes, and the values it becomes in the image's
SOFTWARE hive (hivex)."""
import os
import re
import struct

from tarn_pe.common import Refusal, read_file, stage

try:
    import hivex
except ImportError:
    hivex = None

PASSWORD_KEY = ("Quillon", "TarnDesk", "1.5")
REG_BINARY = 3
KEY_SIZE, KEY_FORMAT, MAX_ITERATIONS = 53, 1, 10_000_000
PASSKEY_LINE = '0x3, "Quillon\\TarnDesk\\1.5","PassKey", '
REG_ADD_LINE = '; reg add "HKLM\\PE_SOFT\\Quillon\\TarnDesk\\1.5" /v PassKey /t REG_BINARY /d '
LEGACY_LINE = '0x4, "Quillon\\TarnDesk\\1.5","PassHash", '


def pass_key_problem(key):
    """What is wrong with PassKey bytes, or None when the program can use them."""
    if len(key) != KEY_SIZE:
        return f"{len(key)} bytes instead of {KEY_SIZE}"
    if key[0] != KEY_FORMAT:
        return f"format {key[0]} instead of {KEY_FORMAT}"
    iterations = iteration_count(key)
    if not 1 <= iterations <= MAX_ITERATIONS:
        return f"iteration count {iterations} outside 1 to {MAX_ITERATIONS:,}"
    return None


def iteration_count(key):
    return struct.unpack_from("<I", key, 1)[0]


def read_password_file(path):
    """The PassKey bytes of a password file that setpass wrote, checked; refuses anything else."""
    try:
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
    except OSError as e:
        raise Refusal(f"cannot read {path}: {e.strerror}")
    lines = [line.rstrip("\r") for line in text.split("\n")]
    if any(line.startswith(LEGACY_LINE) for line in lines):
        raise Refusal(f"{path} holds the old PassHash form, a 32-bit hash that anyone who reads the "
                      "image can turn back into a password: set the password again with "
                      "'tarn_logon.exe setpass' of the build you install, which writes a PassKey")
    if len(lines) < 8 or not lines[5].startswith(PASSKEY_LINE):
        raise Refusal(f"{path} is not a password file written by setpass: line 6 sets no PassKey")
    listed = lines[5][len(PASSKEY_LINE):]
    if not re.fullmatch(r"[0-9a-fA-F]{2}(,[0-9a-fA-F]{2})*", listed):
        raise Refusal(f"{path}: line 6 holds no list of hexadecimal bytes")
    key = bytes.fromhex(listed.replace(",", ""))
    spelled = lines[7][len(REG_ADD_LINE):] if lines[7].startswith(REG_ADD_LINE) else ""
    if not re.fullmatch(r"[0-9a-fA-F]*", spelled) or bytes.fromhex(spelled) != key:
        raise Refusal(f"{path}: lines 6 and 8 give different PassKey bytes; the file was changed "
                      "after setpass wrote it")
    problem = pass_key_problem(key)
    if problem:
        raise Refusal(f"{path}: the PassKey is unusable ({problem})")
    return key


def hive_sequences(data):
    """The hive's two sequence numbers: unequal ones mean it was not closed cleanly."""
    return struct.unpack_from("<II", data, 4) if len(data) >= 12 else (0, 0)


def refuse_dirty_hive(data):
    if len(data) < 0x1000 or data[:4] != b"regf":
        raise Refusal("the image's SOFTWARE hive is not a registry hive")
    primary, secondary = hive_sequences(data)
    if primary != secondary:
        # hivex ignores transaction logs: editing would lose what they hold.
        raise Refusal("the image's SOFTWARE hive was not closed cleanly (sequence numbers "
                      f"{primary} and {secondary}); load and unload it once on Windows "
                      "(reg load, reg unload) and try again")


def open_hive(path, write=False):
    try:
        return hivex.Hivex(path, write=write)
    except RuntimeError as e:
        raise Refusal(f"the image's SOFTWARE hive cannot be read: {e}")


def password_key(hive, create):
    node = hive.root()
    for name in PASSWORD_KEY:
        child = hive.node_get_child(node, name)     # names compare without case, as in Windows
        if child is None:
            if not create:
                return None
            child = hive.node_add_child(node, name)
        node = child
    return node


def password_values(hive_path):
    """{"passkey": (type, bytes), "passhash": ...} for the password values the hive holds."""
    hive = open_hive(hive_path)
    node = password_key(hive, create=False)
    found = {}
    for value in hive.node_values(node) if node is not None else []:
        name = hive.value_key(value).lower()
        if name in ("passkey", "passhash"):
            found[name] = hive.value_value(value)
    return found


def describe_password(values):
    if "passkey" in values:
        kind, key = values["passkey"]
        problem = "not REG_BINARY" if kind != REG_BINARY else pass_key_problem(key)
        if problem:
            return f"a PassKey the program cannot use ({problem})"
        text = f"PassKey (PBKDF2-SHA256, {iteration_count(key):,} iterations)"
        return text + (", and a PassHash beside it" if "passhash" in values else "")
    if "passhash" in values:
        return "PassHash only: the legacy 32-bit hash, which anyone who reads the image can break"
    return "none"


def rewrite_password(hive_in, hive_out, pass_key):
    """Writes the hive with PassKey set to pass_key (None: removed) and PassHash removed."""
    hive = open_hive(hive_in, write=True)
    node = password_key(hive, create=True)
    kept = []
    for value in hive.node_values(node):
        name = hive.value_key(value)
        if name.lower() not in ("passkey", "passhash"):
            kind, data = hive.value_value(value)
            kept.append({"key": name, "t": kind, "value": data})
    if pass_key is not None:
        kept.append({"key": "PassKey", "t": REG_BINARY, "value": pass_key})
    hive.node_set_values(node, kept)
    hive.commit(hive_out)


def rewritten_hive(work, data, pass_key):
    """The hive's bytes with PassKey set to pass_key (None: removed) and PassHash removed."""
    refuse_dirty_hive(data)
    new = os.path.join(work, "SOFTWARE.new")
    rewrite_password(stage(work, "SOFTWARE.old", data), new, pass_key)
    return read_file(new)
