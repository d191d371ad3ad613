#!/usr/bin/env python3
"""A driver library as vendors ship it, for the driver-matching figure of `make bench`.

    make_driver_library.py <root> <inf count> [seed]

Writes <root>/Drivers/<vendor>/<class>/<package>/[<platform>/]<name>.inf with a catalogue and a
binary beside each, and <root>/devices.txt: the devices to match, one a line, hardware IDs and
compatible IDs separated by '|', each list by ','. The same seed gives the same library; a larger
count keeps the same first packages, so that the sizes differ only in how many files there are.

The INF files look like real ones: [Version] with Class, ClassGuid and DriverVer, a [Manufacturer]
whose models sections are decorated for x86, amd64 (with OS versions) and arm64, several models
lines per section with PCI IDs down to SUBSYS and REV, install, service and registry sections,
[Strings] with a localized copy, comments; about one in seven is UTF-16 LE with its byte-order
mark. Sizes run from 5 KB to about 80 KB, the median near 18 KB.
"""
import os
import random
import shutil
import sys

VENDORS = [
    ("Intel", "8086"), ("Realtek", "10EC"), ("AMD", "1022"), ("NVIDIA", "10DE"), ("Broadcom", "14E4"),
    ("Marvell", "1B4B"), ("Qualcomm", "17CB"), ("MediaTek", "14C3"), ("ASMedia", "1B21"), ("Samsung", "144D"),
]
CLASSES = [
    ("Net", "{4d36e972-e325-11ce-bfc1-08002be10318}", "net"),
    ("SCSIAdapter", "{4d36e97b-e325-11ce-bfc1-08002be10318}", "storage"),
    ("HDC", "{4d36e96a-e325-11ce-bfc1-08002be10318}", "storage"),
    ("System", "{4d36e97d-e325-11ce-bfc1-08002be10318}", "chipset"),
    ("MEDIA", "{4d36e96c-e325-11ce-bfc1-08002be10318}", "audio"),
    ("USB", "{36fc9e60-c465-11cf-8056-444553540000}", "usb"),
    ("Bluetooth", "{e0cbf06c-cd8b-4647-bb8a-263b43f0f974}", "bluetooth"),
    ("Display", "{4d36e968-e325-11ce-bfc1-08002be10318}", "display"),
]
# What a models section is decorated with; the reader picks one per platform.
DECORATIONS = [
    ["NTx86", "NTamd64", "NTarm64"],
    ["NTamd64.10.0...17763", "NTamd64.10.0...22000", "NTx86.10.0", "NTarm64.10.0...22000"],
    ["NTamd64", "NTamd64.6.3", "NTx86"],
    ["NTamd64.10.0.1", "NTamd64.10.0.3", "NTx86.10.0.1", "NTarm64"],
    ["NTamd64"],
]


def device_ids(rng, vendor_id, count):
    """Model lines' IDs: a device, and for some lines its subsystems and revisions."""
    ids = []
    for _ in range(count):
        dev = "%04X" % rng.randrange(0x1000, 0xFFFF)
        kind = rng.random()
        if kind < 0.4:
            ids.append(["PCI\\VEN_%s&DEV_%s" % (vendor_id, dev)])
        elif kind < 0.8:
            sub = "%04X%s" % (rng.randrange(0x1000, 0xFFFF), rng.choice([v for _, v in VENDORS]))
            ids.append(["PCI\\VEN_%s&DEV_%s&SUBSYS_%s" % (vendor_id, dev, sub)])
        else:
            ids.append(["PCI\\VEN_%s&DEV_%s&SUBSYS_%04X%s&REV_%02X" % (vendor_id, dev, rng.randrange(0x1000, 0xFFFF),
                                                                          vendor_id, rng.randrange(0, 0x20)),
                        "PCI\\VEN_%s&DEV_%s&REV_%02X" % (vendor_id, dev, rng.randrange(0, 0x20))])
    return ids


def inf_text(rng, vendor, vendor_id, cls, guid, name, model_ids, planted):
    """planted: extra model IDs (lists) that devices of the bench will match."""
    year = rng.randrange(2016, 2026)
    lines = []
    add = lines.append
    add(";")
    add("; %s.inf" % name)
    add("; Copyright (c) %d %s Corporation. All rights reserved." % (year, vendor))
    add(";")
    add("")
    add("[Version]")
    add("Signature   = \"$WINDOWS NT$\"")
    add("Class       = %s" % cls)
    add("ClassGuid   = %s" % guid)
    add("Provider    = %ManufacturerName%")
    add("CatalogFile = %s.cat" % name)
    add("DriverVer   = %02d/%02d/%d,%d.%d.%d.%d ; build %d" % (
        rng.randrange(1, 13), rng.randrange(1, 29), year, rng.randrange(1, 31), rng.randrange(0, 10),
        rng.randrange(0, 999), rng.randrange(0, 9999), rng.randrange(1000, 9999)))
    add("PnpLockdown = 1")
    add("")
    add("[SourceDisksNames]")
    add("1 = %DiskName%,,,\"\"")
    add("")
    add("[SourceDisksFiles]")
    add("%s.sys = 1,," % name)
    add("")
    add("[DestinationDirs]")
    add("DefaultDestDir = 13")
    add("")
    decorations = rng.choice(DECORATIONS)
    add("[Manufacturer]")
    add("%%ManufacturerName%% = %s, %s" % (vendor, ", ".join(decorations)))
    add("")
    models = model_ids + planted
    rng.shuffle(models)
    for decoration in decorations:
        add("; %s" % decoration)
        add("[%s.%s]" % (vendor, decoration))
        for i, ids in enumerate(models):
            add("%%%s.DeviceDesc%d%% = %s_Device%s, %s" % (name, i % 8, name, "" if i % 3 else ".NT", ", ".join(ids)))
        add("")
    for install in ("", ".NT"):
        section = "%s_Device%s" % (name, install)
        add("[%s]" % section)
        add("CopyFiles   = %s.CopyFiles" % name)
        add("AddReg      = %s.AddReg, %s.Params" % (name, name))
        add("Characteristics = 0x84 ; NCF_HAS_UI | NCF_PHYSICAL")
        add("BusType     = 5")
        add("")
        add("[%s.Services]" % section)
        add("AddService = %s, 0x00000002, %s.Service, %s.EventLog" % (name, name, name))
        add("")
    add("[%s.CopyFiles]" % name)
    add("%s.sys,,,0x100" % name)
    add("")
    add("[%s.Service]" % name)
    add("DisplayName    = %%%s.Service.DispName%%" % name)
    add("ServiceType    = 1 ; SERVICE_KERNEL_DRIVER")
    add("StartType      = %d" % (0 if cls in ("SCSIAdapter", "HDC") else 3))
    add("ErrorControl   = 1")
    add("ServiceBinary  = %%13%%\\%s.sys" % name)
    add("LoadOrderGroup = %s" % ("SCSI Miniport" if cls in ("SCSIAdapter", "HDC") else "NDIS"))
    add("")
    add("[%s.EventLog]" % name)
    add("AddReg = %s.EventLog.AddReg" % name)
    add("")
    add("[%s.EventLog.AddReg]" % name)
    add("HKR,,EventMessageFile,0x00020000,\"%%%%SystemRoot%%%%\\System32\\IoLogMsg.dll;%%13%%\\%s.sys\"" % name)
    add("HKR,,TypesSupported,0x00010001,7")
    add("")
    add("[%s.AddReg]" % name)
    add("HKR, Ndi, Service, 0, \"%s\"" % name)
    add("HKR, Ndi\\Interfaces, UpperRange, 0, \"ndis5\"")
    add("")
    # The part that makes real INF files long: advanced properties, each with its choices.
    add("[%s.Params]" % name)
    for p in range(rng.choice([4, 10, 20, 40, 80])):
        key = "Param%03d" % p
        add("HKR, Ndi\\Params\\*%s, ParamDesc, 0, %%%s%%" % (key, key))
        add("HKR, Ndi\\Params\\*%s, default,   0, \"%d\"" % (key, rng.randrange(0, 4)))
        add("HKR, Ndi\\Params\\*%s, type,      0, \"enum\"" % key)
        for choice in range(3):
            add("HKR, Ndi\\Params\\*%s\\enum, \"%d\", 0, %%Choice%d%%" % (key, choice, choice))
    add("")
    strings = ["ManufacturerName = \"%s\"" % vendor, "DiskName = \"%s Driver Disk\"" % vendor,
               "%s.Service.DispName = \"%s %s Service\"" % (name, vendor, cls)]
    strings += ["%s.DeviceDesc%d = \"%s %s Controller %d\"" % (name, i, vendor, cls, i) for i in range(8)]
    strings += ["Choice%d = \"Choice %d\"" % (i, i) for i in range(3)]
    add("[Strings]")
    lines.extend(strings)
    add("")
    add("[Strings.0407]")
    lines.extend(s.replace("Controller", "Controller (de)") for s in strings)
    add("")
    return "\r\n".join(lines) + "\r\n"


def main():
    root, count = sys.argv[1], int(sys.argv[2])
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    rng = random.Random(seed)
    shutil.rmtree(root, ignore_errors=True)
    drivers = os.path.join(root, "Drivers")
    # The devices to match: a hardware ID down to SUBSYS and REV, then the compatible IDs a PCI
    # function lists. Every eighth finds a driver: some by the hardware ID, some by a compatible one.
    devices = []
    for d in range(36):
        vendor, vendor_id = VENDORS[d % len(VENDORS)]
        dev = "%04X" % (0x0A00 + d)
        sub = "%04X%s" % (0x8000 + d, vendor_id)
        rev = "%02X" % (d % 16)
        cc = rng.choice(["010802", "020000", "028000", "040300", "0C0330", "0C0500", "010400", "030000"])
        hardware = ["PCI\\VEN_%s&DEV_%s&SUBSYS_%s&REV_%s" % (vendor_id, dev, sub, rev),
                    "PCI\\VEN_%s&DEV_%s&SUBSYS_%s" % (vendor_id, dev, sub),
                    "PCI\\VEN_%s&DEV_%s&CC_%s" % (vendor_id, dev, cc),
                    "PCI\\VEN_%s&DEV_%s&CC_%s" % (vendor_id, dev, cc[:4])]
        compatible = ["PCI\\VEN_%s&DEV_%s&REV_%s" % (vendor_id, dev, rev), "PCI\\VEN_%s&DEV_%s" % (vendor_id, dev),
                      "PCI\\VEN_%s&CC_%s" % (vendor_id, cc), "PCI\\VEN_%s&CC_%s" % (vendor_id, cc[:4]),
                      "PCI\\VEN_%s" % vendor_id, "PCI\\CC_%s" % cc, "PCI\\CC_%s" % cc[:4]]
        devices.append((vendor_id, hardware, compatible))
    # Which INF files list which device: spread over the first 1,000 files, so every size has them.
    planted = {}
    for d in range(0, 36, 8):
        vendor_id, hardware, compatible = devices[d]
        ids = [hardware[1]] if d % 16 == 0 else [compatible[1]]
        for k in range(3):
            planted.setdefault((d * 97 + k * 331) % min(count, 1000), []).append(ids)
    package = 0
    written = 0
    while written < count:
        vendor, vendor_id = VENDORS[rng.randrange(len(VENDORS))]
        cls, guid, kind = rng.choice(CLASSES)
        version = "%d.%d.%d" % (rng.randrange(1, 30), rng.randrange(0, 10), rng.randrange(0, 9999))
        folder = os.path.join(drivers, vendor, kind, "%s_%s_%s_%04d" % (vendor, kind, version, package))
        # Some packages keep one copy per platform, some one INF for all.
        platforms = rng.choice([[""], [""], ["x64", "x86"], ["Win10_x64", "Win11_x64", "ARM64"]])
        files = rng.randrange(1, 4)
        for platform in platforms:
            for f in range(files):
                if written >= count:
                    break
                name = "%s%s%d" % (vendor[:3].lower(), kind[:4], package * 10 + f)
                path = os.path.join(folder, platform, name + ".inf")
                os.makedirs(os.path.dirname(path), exist_ok=True)
                text = inf_text(rng, vendor, vendor_id, cls, guid, name,
                                device_ids(rng, vendor_id, rng.randrange(3, 40)), planted.get(written, []))
                data = (b"\xff\xfe" + text.encode("utf-16-le")) if rng.random() < 0.15 else text.encode("ascii")
                with open(path, "wb") as out:
                    out.write(data)
                with open(os.path.join(os.path.dirname(path), name + ".cat"), "wb") as out:
                    out.write(bytes(rng.randrange(256) for _ in range(64)))
                with open(os.path.join(os.path.dirname(path), name + ".sys"), "wb") as out:
                    out.write(b"MZ" + bytes(126))
                written += 1
        package += 1
    with open(os.path.join(root, "devices.txt"), "w") as out:
        for _, hardware, compatible in devices:
            out.write(",".join(hardware) + "|" + ",".join(compatible) + "\n")


if __name__ == "__main__":
    main()
