"""Secure Boot: who signed a medium's boot files (their Authenticode signatures, read with the
cryptography module), and whether the medium boots where Secure Boot is on."""
import fnmatch
import hashlib
import json
import os
import tempfile
import warnings
from dataclasses import dataclass

from tarn_pe.common import Refusal, read_file
from tarn_pe.pe import Unreadable, certificate_entries
from tarn_pe.wim import wimlib, wimlib_reason

try:
    from cryptography import x509
    from cryptography.exceptions import InvalidSignature, UnsupportedAlgorithm
    from cryptography.hazmat.primitives import serialization
    from cryptography.hazmat.primitives.asymmetric import ec, padding, rsa
    from cryptography.hazmat.primitives.serialization import pkcs7
except ImportError:
    x509 = None

# The CAs in the db of machines that boot Windows media, by subject and SHA-1 thumbprint. Names and
# subjects as Microsoft's "Windows Secure Boot Key Creation and Management Guidance" gives them
# (learn.microsoft.com/windows-hardware/manufacture/desktop/windows-secure-boot-key-creation-and-
# management-guidance, the db certificates it links); each thumbprint is the SHA-1 of the DER
# certificate behind the link named beside it, the thumbprint Windows shows for that certificate.
WINDOWS_2011, WINDOWS_2023 = "Windows 2011", "Windows 2023"
THIRD_PARTY_2011, THIRD_PARTY_2023 = "third-party 2011", "third-party 2023"
OTHER_CA, UNSIGNED, NOT_PE = "other CA", "unsigned", "not a PE file"
KNOWN_CAS = (
    # go.microsoft.com/fwlink/p/?linkid=321192
    (WINDOWS_2011, "CN=Microsoft Windows Production PCA 2011, O=Microsoft Corporation, L=Redmond, S=Washington, C=US",
     "580a6f4cc4e4b669b9ebdc1b2b3e087b80d0678d"),
    # go.microsoft.com/fwlink/p/?linkid=2239776
    (WINDOWS_2023, "CN=Windows UEFI CA 2023, O=Microsoft Corporation, C=US",
     "45a0fa32604773c82433c3b7d59e7466b3ac0c67"),
    # go.microsoft.com/fwlink/p/?linkid=321194
    (THIRD_PARTY_2011, "CN=Microsoft Corporation UEFI CA 2011, O=Microsoft Corporation, L=Redmond, S=Washington, C=US",
     "46def63b5ce61cf8ba0de2e6639c1019d0ed14f3"),
    # go.microsoft.com/fwlink/p/?linkid=2239872
    (THIRD_PARTY_2023, "CN=Microsoft UEFI CA 2023, O=Microsoft Corporation, C=US",
     "b5eeb4a6706048073f0ed296e7f580a790b59eaa"),
)
# Only the tests set this: a JSON file {"CA name": "thumbprint"} for CAs made with their own keys.
TEST_THUMBPRINTS = "TARN_PE_TEST_CA_THUMBPRINTS"
TIME_STAMPING = "1.3.6.1.5.5.7.3.8"

# In the image: the boot managers it carries for media, and the loaders its boot manager starts.
IMAGE_BOOT_MANAGERS = ("/Windows/Boot/EFI/bootmgfw.efi", "/Windows/Boot/EFI/bootmgr.efi", "/Windows/Boot/EFI_EX/*.efi")
IMAGE_LOADERS = ("/Windows/System32/winload.efi", "/Windows/System32/Boot/winload.efi")
# The one a medium made from the image starts first, unless the medium is given.
IMAGE_MEDIUM_MANAGER = "\\Windows\\Boot\\EFI\\bootmgfw.efi"


def ca_table():
    """([(class, CN, subject, thumbprint)], notice): the thumbprints a test gives, if it does, and
    then a line that says so, for every output that rests on them."""
    path = os.environ.get(TEST_THUMBPRINTS)
    given = {}
    if path:
        try:
            with open(path) as f:
                given = json.load(f)
        except (OSError, ValueError) as e:
            raise Refusal(f"cannot read {TEST_THUMBPRINTS}={path}: {e}")
    table = []
    for kind, subject, thumbprint in KNOWN_CAS:
        name = subject.split(", ", 1)[0][3:]
        table.append((kind, name, subject, given.get(name, thumbprint).lower()))
    return table, f"CA thumbprints from {path}, not Microsoft's" if path else None

def common_name(name):
    found = name.get_attributes_for_oid(x509.NameOID.COMMON_NAME)
    return found[0].value if found else name.rfc4514_string()


def windows_subject(name):
    """A name as Windows shows it, most specific part first, as Microsoft documents the CAs."""
    return ", ".join(f"{'S' if a.rfc4514_attribute_name == 'ST' else a.rfc4514_attribute_name}={a.value}"
                     for a in reversed(list(name)))


def issued_by(child, parent):
    """True when parent's key verifies child's signature, False when it does not, None when the
    library cannot tell for this kind of key; Unreadable when it cannot load the key at all."""
    # An RSASSA-PSS signature's parameters are in its algorithm identifier, which the library does not give.
    if child.signature_algorithm_oid == x509.SignatureAlgorithmOID.RSASSA_PSS:
        return None
    try:
        key = parent.public_key()
    except (ValueError, TypeError, UnsupportedAlgorithm) as e:
        raise Unreadable(f"the key of {common_name(parent.subject)} cannot be loaded ({e})")
    try:
        if isinstance(key, rsa.RSAPublicKey):
            key.verify(child.signature, child.tbs_certificate_bytes, padding.PKCS1v15(),
                       child.signature_hash_algorithm)
        elif isinstance(key, ec.EllipticCurvePublicKey):
            key.verify(child.signature, child.tbs_certificate_bytes, ec.ECDSA(child.signature_hash_algorithm))
        else:
            return None
    except InvalidSignature:
        return False
    except (ValueError, TypeError, UnsupportedAlgorithm):
        return None
    return True


def is_time_stamper(cert):
    try:
        usage = cert.extensions.get_extension_for_class(x509.ExtendedKeyUsage).value
    except x509.ExtensionNotFound:
        return False
    return any(oid.dotted_string == TIME_STAMPING for oid in usage)


def chains(certs):
    """Each signer's chain, leaf first, from the certificates of a signature by issuer and subject.

    The signer is a certificate that issued none of the others: reading which one the SignerInfo
    names would take ASN.1 by hand, and the time stamper's chain is told apart by its key usage."""
    found = []
    for leaf in certs:
        if is_time_stamper(leaf) or any(o is not leaf and o.issuer == leaf.subject for o in certs):
            continue
        chain = [leaf]
        while chain[-1].issuer != chain[-1].subject:
            parent = next((c for c in certs if c.subject == chain[-1].issuer and c not in chain), None)
            if parent is None:
                break
            chain.append(parent)
        found.append(chain)
    return found


def judge_chain(chain, table):
    """(class, chain in words, note) of one signer's chain."""
    words = " < ".join(common_name(c.subject) for c in chain)
    for child, parent in zip(chain, chain[1:]):
        if issued_by(child, parent) is False:
            return OTHER_CA, words, (f"broken chain: {common_name(child.subject)} does not verify with the "
                                     f"key of {common_name(parent.subject)}")
    for cert in chain:
        thumbprint = hashlib.sha1(cert.public_bytes(serialization.Encoding.DER)).hexdigest()
        for kind, name, subject, known in table:
            if common_name(cert.subject) != name:
                continue
            if thumbprint == known and windows_subject(cert.subject) == subject:
                return kind, words, ""
            return OTHER_CA, words, (f"a certificate named {name} but not Microsoft's: thumbprint "
                                     f"{thumbprint} instead of {known}")
    top = chain[-1]
    if top.issuer != top.subject:
        issuer = common_name(top.issuer)
        if any(issuer == name for _, name, _, _ in table):
            return OTHER_CA, words, (f"issued by a {issuer} whose certificate the signature does not carry, "
                                     "so its thumbprint cannot be checked")
        return OTHER_CA, words + f" < {issuer}", ""
    return OTHER_CA, words, ""


def judge_file(data, table):
    """[(class, chain in words, note)] of a boot file, one per signer; Unreadable when it cannot say."""
    blobs = certificate_entries(data)
    if blobs is None:
        return [(NOT_PE, "", "")]
    if not blobs:
        return [(UNSIGNED, "", "")]
    judged = []
    for blob in blobs:
        try:
            with warnings.catch_warnings():
                # Newer releases of the library warn that Authenticode's signed data is not what they
                # expect, and read it all the same: nothing an administrator could act on.
                warnings.simplefilter("ignore", UserWarning)
                certs = pkcs7.load_der_pkcs7_certificates(blob)
        except ValueError as e:
            raise Unreadable(f"its signature is not readable PKCS#7 signed data ({e})")
        try:
            signers = chains(certs)
            judged += [judge_chain(chain, table) for chain in signers]
        except (ValueError, x509.DuplicateExtension) as e:   # the library parses extensions and names only when asked
            raise Unreadable(f"a certificate of its signature is damaged ({e})")
        if not signers:
            raise Unreadable("its signature carries no signer's certificate")
    return judged


def classes(judged):
    return {kind for kind, _, _ in judged}


def image_boot_files(image, work):
    """[(path as Windows writes it, bytes)] of the boot files the image holds."""
    run = wimlib("extract", image.wim, str(image.index), *IMAGE_BOOT_MANAGERS, *IMAGE_LOADERS, "--nullglob",
                 "--preserve-dir-structure", "--no-acls", "--dest-dir=" + work)
    if run.returncode != 0:
        raise Refusal(f"cannot read the boot files of image {image.index} of {image.wim}: {wimlib_reason(run)}")
    return files_below(work, "\\")


def files_below(folder, prefix):
    found = []
    for top, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(top, name)
            found.append((prefix + os.path.relpath(path, folder).replace(os.sep, "\\"), read_file(path)))
    return found


def child(folder, name):
    """folder/name in whatever case the medium spells it, or None."""
    if folder is None or not os.path.isdir(folder):
        return None
    return next((os.path.join(folder, n) for n in sorted(os.listdir(folder)) if n.lower() == name.lower()), None)


def medium_boot_files(medium):
    """[(path on the medium, bytes)]: EFI\\Boot\\boot*.efi and EFI\\Microsoft\\Boot\\*.efi."""
    if not os.path.isdir(medium):
        raise Refusal(f"--media {medium} is not a folder")
    efi = child(medium, "EFI")
    found = []
    for folder, pattern in ((child(efi, "Boot"), "boot*.efi"), (child(child(efi, "Microsoft"), "Boot"), "*.efi")):
        for name in sorted(os.listdir(folder)) if folder and os.path.isdir(folder) else []:
            path = os.path.join(folder, name)
            if fnmatch.fnmatch(name.lower(), pattern) and os.path.isfile(path):
                found.append((os.path.relpath(path, medium).replace(os.sep, "\\"), read_file(path)))
    return found


@dataclass
class BootCheck:
    status: int       # the exit status of check: 0 fine, 1 warnings, 2 cannot tell
    verdict: str      # in one line
    advice: list      # lines
    listed: list      # [(where, path, judged or the reason it cannot be read)]
    notice: str       # None, or the line that says the CA table is not Microsoft's


def boot_check(image, medium=None):
    """The check of an image (and a medium)."""
    if x509 is None:
        raise Refusal("the cryptography Python module is missing: install python3-cryptography and run "
                      "tarn-pe with /usr/bin/python3")
    table, notice = ca_table()
    with tempfile.TemporaryDirectory(prefix="tarn-pe-") as work:
        files = [("image", path, data) for path, data in image_boot_files(image, work)]
    if medium is not None:
        files += [("medium", path, data) for path, data in medium_boot_files(medium)]
    listed = []
    for where, path, data in files:
        try:
            listed.append((where, path, judge_file(data, table)))
        except Unreadable as e:
            listed.append((where, path, str(e)))
    return BootCheck(*verdict(listed, medium is not None), listed, notice)


def verdict(listed, with_medium):
    """(exit status, verdict in one line, advice) from what the boot files are signed through."""
    broken = [(path, reason) for _, path, reason in listed if isinstance(reason, str)]
    if broken:
        path, reason = broken[0]
        return 2, f"cannot tell: {path}: {reason}", []
    loaders = [(p, j) for w, p, j in listed if w == "image" and p.lower().endswith("\\winload.efi")]
    if with_medium:
        managers = [(p, j) for w, p, j in listed if w == "medium" and
                    (p.lower().startswith("efi\\boot\\") or p.lower() == "efi\\microsoft\\boot\\bootmgfw.efi")]
        if not managers:
            return 1, "the medium holds no EFI\\Boot\\boot*.efi: UEFI firmware does not start it", []
    else:
        managers = [(p, j) for w, p, j in listed if w == "image" and p.lower() == IMAGE_MEDIUM_MANAGER.lower()]
    if not loaders:
        return 1, "the image holds no winload.efi: it does not start on UEFI firmware", []
    microsoft = (WINDOWS_2011, WINDOWS_2023, THIRD_PARTY_2011, THIRD_PARTY_2023)
    boot_path = managers + loaders
    for path, judged in boot_path:
        if not classes(judged) & set(microsoft):
            kind = " and ".join(sorted({OTHER_CA: "signed through another CA"}.get(k, k) for k in classes(judged)))
            return 1, f"does not boot with Secure Boot on: {path} is {kind}", [FIX_UNSIGNED, SECURE_BOOT_OFF]
    common = set(microsoft)
    for _, judged in boot_path:
        common &= classes(judged)
    if not common:
        first = " / ".join(f"{p} {'+'.join(sorted(classes(j)))}" for p, j in managers) or "no boot manager"
        second = " / ".join(f"{p} {'+'.join(sorted(classes(j)))}" for p, j in loaders)
        return 1, (f"mixed: the boot manager ({first}) and the image's boot files ({second}) are signed "
                   "through different CAs, so one of the two stages fails on every machine with Secure "
                   "Boot on"), [FIX_MIXED, SECURE_BOOT_OFF]
    where = {WINDOWS_2011: "where db trusts Microsoft Windows Production PCA 2011 and dbx does not revoke it",
             WINDOWS_2023: "where db holds Windows UEFI CA 2023",
             THIRD_PARTY_2011: "where db holds Microsoft Corporation UEFI CA 2011",
             THIRD_PARTY_2023: "where db holds Microsoft UEFI CA 2023"}
    kinds = [k for k in microsoft if k in common]
    said = " or ".join(where[k] for k in kinds)
    unseen = "" if managers else " (the medium's boot manager must be signed through the same CA)"
    advice = [] if len(kinds) > 1 else [{WINDOWS_2011: FIX_2023, WINDOWS_2023: FIX_2011}.get(kinds[0], FIX_THIRD_PARTY)]
    return 0, f"{' + '.join(kinds)}: boots with Secure Boot on only {said}{unseen}", advice + [SECURE_BOOT_OFF]


FIX_2023 = ("Machines that applied the CVE-2023-24932 (BlackLotus) mitigations and new machines without the "
            "2011 certificates refuse 2011-signed media: for them, make the medium from the ADK's "
            "2023-signed boot files (the image's \\Windows\\Boot\\EFI_EX, with the image's own loaders "
            "signed the same way), boot manager and image alike.")
FIX_2011 = ("Firmware whose db lacks the 2023 CA refuses this medium until the machine's db is updated "
            "(by Windows Update or a firmware update); for such machines keep a medium made wholly from "
            "the 2011-signed files.")
FIX_MIXED = ("Make the medium's boot manager and the image's boot files from one set: all of the ADK's "
             "2023-signed boot files (the image's \\Windows\\Boot\\EFI_EX and media made with them), or "
             "all of the 2011-signed ones.")
FIX_THIRD_PARTY = ("Many machines (Secured-core PCs among them) leave the third-party CAs out of db unless an "
                   "option of the firmware setup lets them in; a third-party boot file signed through the 2011 "
                   "CA and one signed through the 2023 CA each boot only where db holds that CA.")
FIX_UNSIGNED = ("Firmware starts only files signed through a CA in its db: use the boot files as Microsoft "
                "signed them (from the ADK or the image), or enrol your own CA in the machines' db.")
SECURE_BOOT_OFF = "Machines with Secure Boot off boot either kind."


def boot_check_lines(image):
    """The check's verdict in one line for install and status, a warning where there is something
    to do but never a reason to stop, and the test table's notice where one is in force."""
    try:
        found = boot_check(image)
    except (Refusal, OSError, ValueError) as reason:     # install has written the image by now
        return [f"warning: Secure Boot: not checked: {reason} ('tarn-pe check' tells more)"]
    line = f"{'warning: ' if found.status else ''}Secure Boot: {found.verdict} ('tarn-pe check' tells more)"
    return [line] + ([f"Secure Boot: {found.notice}"] if found.notice else [])
